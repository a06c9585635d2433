// QpLoggingState.cpp - the logging options, their state file and the environment's defaults.
#include "QpLoggingState.h"

#include "QpException.h"
#include "QpLoggingInternal.h"
#include "QpRaise.h"
#include "QpStringConversion.h"
#include "qpos32.h"

namespace {

const char kDefaultStateFile[] = "QpLogState.cfg";
const char kUnbounded[] = "QP_LOG_SIZE_UNBOUNDED";

// A copy of inText (null stays null); QpOutOfMemException when it cannot be had.
char* copyText(const char* inText) {
  if (inText == nullptr) return nullptr;
  char* vCopy = qp_strdup(inText);
  if (vCopy == nullptr) qpRaiseOutOfMemory(QP_HERE);
  return vCopy;
}

}  // namespace

QpLoggingState::QpLoggingState(NoLoad) : QpProperties("QpLoggingState") {
  qp_memset(&mOptions, 0, sizeof mOptions);
}

QpLoggingState::QpLoggingState() : QpLoggingState(NoLoad()) {
  loadDefaults();
}

QpLoggingState::QpLoggingState(char* path) : QpLoggingState(NoLoad()) {
  loadFile(path);
}

QpLoggingState::~QpLoggingState() {
  freeTexts();
}

void QpLoggingState::freeTexts() {
  qp_free(mOptions.path);
  qp_free(mOptions.newLogFileName);
  qp_free(mOptions.logStatePath);
  mOptions.path = nullptr;
  mOptions.newLogFileName = nullptr;
  mOptions.logStatePath = nullptr;
}

void QpLoggingState::setLogOptions(_logOptions options) {
  // All three copies are taken before anything is freed: options may hold this state's own
  // texts, and a shortage must leave the state as it was.
  char* vTexts[3] = {nullptr, nullptr, nullptr};
  try {
    vTexts[0] = copyText(options.path);
    vTexts[1] = copyText(options.newLogFileName);
    vTexts[2] = copyText(options.logStatePath);
  } catch (...) {
    for (char* vText : vTexts) qp_free(vText);
    throw;
  }
  freeTexts();
  mOptions = options;
  mOptions.path = vTexts[0];
  mOptions.newLogFileName = vTexts[1];
  mOptions.logStatePath = vTexts[2];
}

void QpLoggingState::setPath(const char* path) {
  char* vCopy = copyText(path);
  qp_free(mOptions.path);
  mOptions.path = vCopy;
}

void QpLoggingState::setNewLogFileName(const char* name) {
  char* vCopy = copyText(name);
  qp_free(mOptions.newLogFileName);
  mOptions.newLogFileName = vCopy;
}

void QpLoggingState::setLogStatePath(const char* path) {
  char* vCopy = copyText(path);
  qp_free(mOptions.logStatePath);
  mOptions.logStatePath = vCopy;
}

void QpLoggingState::applyCreationFlags() {
  mOptions.creationOpt =
      mOptions.keepExisting ? kLogCreate : (mOptions.append ? kLogAppend : kLogOverwrite);
}

void QpLoggingState::setAppend(bool append) {
  mOptions.append = append;
  applyCreationFlags();
}

void QpLoggingState::setKeepExisting(bool keepExisting) {
  mOptions.keepExisting = keepExisting;
  applyCreationFlags();
}

void QpLoggingState::loadDefaults() {
  if (qp_access(kDefaultStateFile, 0) == 0) {
    try {
      loadFile(kDefaultStateFile);
      return;
    } catch (QpFileSystemException&) {
      // An unreadable default state file counts as none.
    }
  }
  _logOptions vOptions;
  QpLogging::GetDefaultOptions(vOptions);
  try {
    setLogOptions(vOptions);
  } catch (...) {
    qp_free(vOptions.newLogFileName);
    throw;
  }
  qp_free(vOptions.newLogFileName);
}

void QpLoggingState::loadFile(const char* path) {
  if (path == nullptr)
    qpRaise<QpParameterException>(QP_HERE, 0, nullptr, "QpLoggingState::loadFile(%s)", "NULL");
  if (qp_access(path, 0) != 0)
    qpRaise<QpFileSystemException>(QP_HERE, 0, nullptr, "QpLoggingState::loadFile(%s)",
                                   QpStringConversion::removePercent(path));
  char* vStatePath = copyText(path);
  // The file is read before any option changes: a file that cannot be read leaves the options
  // as they were (the table keeps its entries too).
  try {
    readFromFile(vStatePath);
    _logOptions vEnv;
    QpLogging::GetDefaultOptions(vEnv);
    try {
      setLogOptions(vEnv);
    } catch (...) {
      qp_free(vEnv.newLogFileName);
      throw;
    }
    qp_free(vEnv.newLogFileName);
  } catch (...) {
    qp_free(vStatePath);
    throw;
  }
  qp_free(mOptions.logStatePath);
  mOptions.logStatePath = vStatePath;

  if (const char* vValue = getValue("QP_LOG_STATE_POLL_INTERVAL"))
    mOptions.pollIntervalInMins = qp_atoi(vValue);
  if (const char* vValue = getValue("QP_LOG_DISABLE_CALLBACK")) {
    if (qp_strcasecmp(vValue, "true") == 0) mOptions.disableCallback = true;
  }
  if (const char* vValue = getValue("QP_LOGPATH")) setPath(vValue);
  const char* vLevel = getValue("QP_LOGLEVEL");
  mOptions.level = vLevel != nullptr ? qpLogLevelFromText(vLevel) : 4;
  const char* vFilter = getValue("QP_LOGFILTER");
  mOptions.components = vFilter != nullptr ? QpLogging::GetFilterOpts(vFilter) : ALL;
  const char* vFormat = getValue("QP_LOGFORMAT");
  mOptions.format = vFormat != nullptr ? QpLogging::GetFormatOpt(vFormat) : kLogFormatTab;
  const char* vKeep = getValue("QP_LOGKEEP");
  mOptions.creationOpt = vKeep != nullptr ? QpLogging::GetCreationOpt(vKeep) : kLogOverwrite;
  mOptions.maxSizeInKb = -1;
  if (const char* vSize = getValue("QP_LOG_MAX_SIZE")) {
    if (qp_strcasecmp(vSize, kUnbounded) != 0) {
      const int vKb = qp_atoi(vSize);
      if (vKb != 0 || qp_strcmp(vSize, "0") == 0) mOptions.maxSizeInKb = vKb;
    }
  }
  const char* vOverflows = getValue("QP_LOG_MAX_OVERFLOWS");
  mOptions.maxOverflows = vOverflows != nullptr ? qp_atoi(vOverflows) : 1;

  if (mOptions.format == kLogFormatXML && mOptions.creationOpt == kLogAppend)
    mOptions.creationOpt = kLogCreate;
  mOptions.append = mOptions.creationOpt == kLogAppend;
  mOptions.keepExisting = mOptions.creationOpt == kLogCreate;
}

void QpLoggingState::writeToFile(const char* path) {
  set("QP_LOGPATH", mOptions.path);
  set("QP_LOGLEVEL", mOptions.level);
  set("QP_LOGFORMAT", QpLogging::FormatOptToString(mOptions.format));
  char* vFilter = QpLogging::FilterOptsToString(mOptions.components);
  try {
    set("QP_LOGFILTER", vFilter);
  } catch (...) {
    qp_free(vFilter);
    throw;
  }
  qp_free(vFilter);
  set("QP_LOGKEEP", QpLogging::CreationOptToString(mOptions.creationOpt));
  set("QP_LOG_DISABLE_CALLBACK", mOptions.disableCallback ? "TRUE" : nullptr);
  set("QP_LOG_STATE_POLL_INTERVAL", mOptions.pollIntervalInMins);
  if (mOptions.maxSizeInKb == -1)
    set("QP_LOG_MAX_SIZE", kUnbounded);
  else
    set("QP_LOG_MAX_SIZE", mOptions.maxSizeInKb);
  set("QP_LOG_MAX_OVERFLOWS", mOptions.maxOverflows);
  QpProperties::writeToFile(path);
}
