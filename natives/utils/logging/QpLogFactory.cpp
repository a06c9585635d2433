// QpLogFactory.cpp - the current options, the current writer and the state-file poll.
#include "QpLogFactory.h"

#include "QpException.h"
#include "QpLogTab.h"
#include "QpLogXML.h"
#include "qpos32.h"

QpLogBasic* QpLogFactory::mLogBasic = nullptr;
int (*QpLogFactory::mAppCallback)(char*) = nullptr;

QpLogFactory::QpLogFactory() : mLogState(QpLoggingState::NoLoad()) {
  // Built while the library loads: a state file or environment that cannot be taken leaves the
  // options empty (logging off) rather than aborting the process.
  try {
    mLogState.loadDefaults();
  } catch (QpException&) {
  }
}

QpLogFactory::~QpLogFactory() {
  CloseLog();
}

QpLogTab* QpLogFactory::CreateLogTab(QpLoggingState* options) {
  return new QpLogTab(options);
}

QpLogXML* QpLogFactory::CreateLogXML(QpLoggingState* options) {
  return new QpLogXML(options);
}

QpLogBasic* QpLogFactory::createWriter(QpLoggingState* options) {
  switch (options->getFormat()) {
    case kLogFormatXML:
      return CreateLogXML(options);
    case kLogFormatTab:
      return CreateLogTab(options);
    default:
      return nullptr;
  }
}

QpLogBasic* QpLogFactory::GetInstance(bool loadStateFile) {
  if (mLogBasic != nullptr) return mLogBasic;
  if (loadStateFile && mLogState.getLogStatePath() != nullptr) {
    try {
      mLogState.loadFile(mLogState.getLogStatePath());
    } catch (QpException&) {
      // A bad state file leaves the options as they are.
    }
  }
  if (!mLogState.isEnabled() && !isAppCallbackMode()) return nullptr;
  mLogBasic = createWriter(&mLogState);
  return mLogBasic;
}

void QpLogFactory::applyOptions(QpLoggingState* options) {
  if (mLogBasic != nullptr) CloseLog();
  if (options != &mLogState) mLogState.setLogOptions(options->getLogOptions());
  if (mLogState.isEnabled() || isAppCallbackMode()) mLogBasic = createWriter(options);
}

void QpLogFactory::CloseLog() {
  QpLogBasic* vWriter = mLogBasic;
  mLogBasic = nullptr;
  delete vWriter;
}

void QpLogFactory::UpdateConfig() {
  if (mLogBasic == nullptr) return;
  _logOptions vOptions;
  QpLogging::GetEnvVarOptions(vOptions);
  mLogBasic->updateConfig(vOptions);
  qp_free(vOptions.newLogFileName);
}

void QpLogFactory::pollLogStateFile(QpLogging::LoggingState& state) {
  if (mLogState.getLogStatePath() == nullptr) return;
  try {
    mLogState.loadFile(mLogState.getLogStatePath());
    if (!mLogState.isEnabled() && !isAppCallbackMode()) {
      if (mLogBasic != nullptr) {
        CloseLog();
        state = QpLogging::LOGGING_OFF;
      }
      return;
    }
    if (mLogBasic == nullptr) {
      state = GetInstance(false) != nullptr ? QpLogging::LOGGING_ON : QpLogging::LOGGING_OFF;
      return;
    }
    const char* vOld = mLogBasic->getPath();
    const char* vNew = mLogState.getLogPath();
    const bool vSame =
        vOld != nullptr && vNew != nullptr ? qp_strcmp(vOld, vNew) == 0 : vOld == vNew;
    if (!vSame) {
      applyOptions(&mLogState);
    } else {
      mLogBasic->updateConfig(mLogState.getLogOptions());
    }
    state = QpLogging::LOGGING_ON;
  } catch (QpException&) {
    // A poll never raises: the options and the writer stay as they then are.
  }
}
