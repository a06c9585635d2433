// QpLogging.cpp - the logging facade: option texts, the environment, the decision at the first
// message, dispatch to the writer, and the poll clock.
#include "QpLogging.h"

#include <cstdarg>
#include <cstring>
#include <memory>

#include "QpError.h"
#include "QpException.h"
#include "QpLogBasic.h"
#include "QpLogFactory.h"
#include "QpLoggingInternal.h"
#include "QpLoggingState.h"
#include "QpRaise.h"
#include "qpos32.h"

// Construction order matters: the lock and the plain statics exist before the factory, whose
// construction may already raise and so log.
QpMutex QpLogging::mLoggerLock;
std::atomic<QpLogging::LoggingState> QpLogging::mLoggingState(QpLogging::LOGGING_UNDECIDED);
std::atomic<verbosity_level_t> QpLogging::mActiveVerbosityLevel(8);
std::atomic<component_t> QpLogging::mActiveComponentFilter(ALL);
char* QpLogging::mMsgBuf = nullptr;
int QpLogging::mMsgBufLen = 256;
std::atomic<bool> QpLogging::mUseConfigFile(false);
std::atomic<bool> QpLogging::mPollConfig(false);
std::atomic<int> QpLogging::mPollConfig_IntervalInMin(-1);
std::atomic<QpLong> QpLogging::mPollConfig_TimeOfLastPollEvent(0);
bool QpLogging::mUseDefaultFile = false;
QpLogFactory QpLogging::mLogFactory;

namespace {

// Whether mLogFactory may be used: false while the library loads and unloads, so that a message
// logged by another static object's construction or destruction finds logging undecided and
// drops quietly instead of reaching a factory that does not exist yet, or any more.
bool sFactoryReady = false;

struct FactoryLife {
  FactoryLife() { sFactoryReady = true; }
  ~FactoryLife() {
    sFactoryReady = false;
    qp_free(QpLogging::mMsgBuf);
    QpLogging::mMsgBuf = nullptr;
  }
};
FactoryLife sFactoryLife;

const int kMaxLogAttempts = 5;
const verbosity_level_t kDebugLevel = 4;
const int kMsgBufGrowth = 256;
const size_t kFilterPieceMax = 23;  // a filter piece is compared by its first 23 characters
const size_t kFilterTextSize = 1024;

struct FilterName {
  const char* mName;
  component_t mValue;
};
// The names a filter text accepts, in the order they are searched and listed.
const FilterName kFilterNames[] = {
    {"POOL", POOL},
    {"RETRY", RETRY},
    {"XML", XML},
    {"API", API},
    {"NET", NET},
    {"TRANSACTION", TRANSACTION},
    {"PACKET", PACKET},
    {"EXCEPTION", EXCEPTION},
    {"REFS", REFS},
    {"MOPI", MOPI},
    {"STREAM", STREAM},
    {"CSOD", CSO_HPPD},
    {"CSO", CSO},
    {"CORE", CORE},
    {"LFS", LFS},
    {"MD5", MD5},
    {"SHA", SHA},
    {"LIB", LIB},
    {"CSO_TRANSACTIONS", CSO_TRANSACTIONS},
    {"CSO_STORAGE_UNIT", CSO_STORAGE_UNIT},
    {"SCRATCH", SCRATCH},
    {"CSO_REPLICATOR", CSO_REPLICATOR},
    {"ALL", ALL},
    {"APP", APP},
};

// The names the writers print, by exact value.
const FilterName kPrintedNames[] = {
    {"NONE", NONE},
    {"POOL", POOL},
    {"RETRY", RETRY},
    {"XML", XML},
    {"API", API},
    {"NET", NET},
    {"TRANSACTION", TRANSACTION},
    {"PACKET", PACKET},
    {"EXCEPTION", EXCEPTION},
    {"REFS", REFS},
    {"MOPI", MOPI},
    {"STREAM", STREAM},
    {"CSO_HPPD", CSO_HPPD},
    {"CSO", CSO},
    {"MD5", MD5},
    {"APP", APP},
    {"CSO_STORAGE_UNIT", CSO_STORAGE_UNIT},
    {"CSO_REPLICATOR", CSO_REPLICATOR},
    {"CSO_TRANSACTIONS", CSO_TRANSACTIONS},
    {"SHA", SHA},
    {"LIB", LIB},
    {"LFS", LFS},
    {"CORE", CORE},
    {"STATS", STATS},
    {"SCRATCH", SCRATCH},
    {"---", ALL},
};

const char* const kLevelNames[] = {"none", "error", "warn", "log", "debug",
                                   "dbg1", "dbg2",  "dbg3", "dbg+"};

// A set variable with a value of at least one character.
const char* nonEmptyEnv(const char* inName) {
  const char* vValue = qp_getenv(inName);
  return vValue != nullptr && vValue[0] != 0 ? vValue : nullptr;
}

// Which thread holds mLoggerLock through StLoggerLock, and whether it is logging the refusal of
// its own re-entry. The writer and the application's callback run under the lock; when they log
// (the callback by mistake, the library when it raises inside the writer) the relock is refused
// by QpMutex, and that refusal is itself raised and so logged. Without the second flag, logging
// the refusal would be refused again, without end.
thread_local bool tInDispatch = false;
thread_local bool tRefusing = false;

// Holds mLoggerLock. A thread already inside the dispatch gets the relock refusal raised, except
// while it is logging that very refusal: then held() is false and the message is dropped.
class StLoggerLock {
 public:
  StLoggerLock() : mHeld(false) {
    if (tInDispatch) {
      if (tRefusing) return;
      tRefusing = true;
      try {
        QpLogging::mLoggerLock.lock();  // refused: this thread holds it already
      } catch (...) {
        tRefusing = false;
        throw;
      }
      tRefusing = false;
      return;  // not reached: QpMutex always refuses its holder
    }
    QpLogging::mLoggerLock.lock();
    tInDispatch = true;
    mHeld = true;
  }
  ~StLoggerLock() { release(); }
  bool held() const { return mHeld; }
  void release() {
    if (!mHeld) return;
    mHeld = false;
    tInDispatch = false;
    QpLogging::mLoggerLock.unlock();
  }

 private:
  StLoggerLock(const StLoggerLock&) = delete;
  StLoggerLock& operator=(const StLoggerLock&) = delete;
  bool mHeld;
};

void logV(verbosity_level_t inLevel, component_t inComponent, const char* inFormat,
          va_list inArgs) {
  for (int i = 0; i < kMaxLogAttempts; ++i) {
    va_list vArgs;
    va_copy(vArgs, inArgs);
    bool vDone = QpLogging::LogList(inLevel, inComponent, inFormat, vArgs);
    va_end(vArgs);
    if (vDone) return;
  }
}

bool wanted(verbosity_level_t inLevel, component_t inComponent) {
  return inLevel <= QpLogging::mActiveVerbosityLevel.load(std::memory_order_relaxed) &&
         (inComponent & QpLogging::mActiveComponentFilter.load(std::memory_order_relaxed)) != 0;
}

void copyWriterFilter(QpLogBasic* inWriter) {
  QpLogging::mActiveVerbosityLevel.store(inWriter->getLevel(), std::memory_order_relaxed);
  QpLogging::mActiveComponentFilter.store(inWriter->getComponents(), std::memory_order_relaxed);
}

}  // namespace

int qpLogLevelFromText(const char* inText) {
  const int vLevel = qp_atoi(inText);
  if (vLevel > 8 || vLevel < 0) return 4;
  if (vLevel == 0) return qp_strcmp(inText, "0") == 0 ? 0 : 3;
  return vLevel;
}

// ---- Dispatch ----------------------------------------------------------------------------------

namespace {
// The early test once more, before anything is set up for the arguments: a message that is
// not wanted costs a call and three loads.
inline bool rejectedEarly(verbosity_level_t inLevel, component_t inComponent) {
  const QpLogging::LoggingState vState = QpLogging::mLoggingState.load(std::memory_order_relaxed);
  return vState == QpLogging::LOGGING_OFF ||
         (vState == QpLogging::LOGGING_ON && !wanted(inLevel, inComponent));
}
}  // namespace

void QpLogging::Log(verbosity_level_t level, component_t component, const char* format, ...) {
  if (rejectedEarly(level, component)) return;
  va_list vArgs;
  va_start(vArgs, format);
  logV(level, component, format, vArgs);
  va_end(vArgs);
}

void QpLogging::Log(int level, const char* text) {
  Log(level, APP, "%s", text);
}

void QpLogging::Debug(component_t component, const char* format, ...) {
  if (rejectedEarly(kDebugLevel, component)) return;
  va_list vArgs;
  va_start(vArgs, format);
  logV(kDebugLevel, component, format, vArgs);
  va_end(vArgs);
}

void QpLogging::Debug(const char* format, ...) {
  va_list vArgs;
  va_start(vArgs, format);
  logV(kDebugLevel, EXCEPTION, format, vArgs);
  va_end(vArgs);
}

void QpLogging::refreshPollSettings() {
  QpLoggingState* vOptions = mLogFactory.getLogState();
  const bool vUseConfigFile = vOptions->getLogStatePath() != nullptr;
  const int vInterval = vOptions->getPollIntervalInMins();
  mUseConfigFile.store(vUseConfigFile, std::memory_order_relaxed);
  mPollConfig_IntervalInMin.store(vInterval, std::memory_order_relaxed);
  mPollConfig.store(vUseConfigFile && vInterval >= 0, std::memory_order_relaxed);
}

bool QpLogging::LogList(verbosity_level_t level, component_t component, const char* format,
                        va_list args) {
  const LoggingState vState = mLoggingState.load(std::memory_order_relaxed);
  if (vState != LOGGING_ON && vState != LOGGING_UNDECIDED) return true;
  if (vState == LOGGING_UNDECIDED) {
    if (!sFactoryReady) return true;
    StLoggerLock vLock;
    if (!vLock.held()) return true;
    // Another thread may have decided while this one waited for the lock.
    if (mLoggingState.load(std::memory_order_relaxed) == LOGGING_UNDECIDED) {
      QpLogBasic* vWriter = mLogFactory.GetInstance(true);
      refreshPollSettings();
      resetPollTime();
      if (vWriter == nullptr) {
        mLoggingState.store(LOGGING_OFF, std::memory_order_relaxed);
        return true;
      }
      copyWriterFilter(vWriter);
      mLoggingState.store(LOGGING_ON, std::memory_order_relaxed);
    }
  }
  if (!wanted(level, component) || !sFactoryReady) return true;

  StLoggerLock vLock;
  if (!vLock.held()) return true;
  QpLogBasic* vWriter = mLogFactory.GetInstance(true);
  refreshPollSettings();
  if (vWriter == nullptr) return true;
  if (mMsgBuf == nullptr) {
    mMsgBuf = static_cast<char*>(qp_malloc(static_cast<size_t>(mMsgBufLen)));
    if (mMsgBuf == nullptr) {
      // Raised with the lock released, so that the raise can log and the caller can go on.
      vLock.release();
      qpRaiseOutOfMemory(QP_HERE);
    }
  }
  const int vLen = qp_vsnprintf(mMsgBuf, static_cast<size_t>(mMsgBufLen - 1), format, args);
  if (vLen < 0) {
    // An encoding error in the arguments: no buffer would ever hold this message, and growing
    // for it on every call would let it claim memory without bound.
    return true;
  }
  if (vLen >= mMsgBufLen - 1) {
    qp_free(mMsgBuf);
    mMsgBuf = nullptr;
    mMsgBufLen += kMsgBufGrowth;
    return false;
  }
  const bool vCallbackMode = mLogFactory.isAppCallbackMode();
  if (vCallbackMode) vWriter->setCallback(mLogFactory.getAppCallback());
  try {
    vWriter->logEntry(level, component, mMsgBuf);
  } catch (QpException& e) {
    // A failed callback or rotation stops logging until the next Start. The state is set first:
    // the trace and SetError below log themselves, and must find logging off.
    mLoggingState.store(LOGGING_OFF, std::memory_order_relaxed);
    if (vCallbackMode) vWriter->setCallback(nullptr);
    e.addTrace("QpLogging::LogList(-,-,-,-)");
    QpError::SetError(e);
    return true;
  } catch (...) {
    // Anything else came from the application's callback: it is the caller's, but the writer
    // must not keep a callback that was only lent for this message.
    if (vCallbackMode) vWriter->setCallback(nullptr);
    throw;
  }
  if (vCallbackMode) vWriter->setCallback(nullptr);
  copyWriterFilter(vWriter);
  return true;
}

bool QpLogging::isDebugLogging() {
  // The poll is skipped inside the dispatch: this thread holds the lock the poll needs.
  if (mPollConfig.load(std::memory_order_relaxed) && !tInDispatch && sFactoryReady &&
      isPollEvent()) {
    StLoggerLock vLock;
    if (vLock.held()) {
      LoggingState vState = mLoggingState.load(std::memory_order_relaxed);
      mLogFactory.pollLogStateFile(vState);
      mLoggingState.store(vState, std::memory_order_relaxed);
    }
  }
  return (mLoggingState.load(std::memory_order_relaxed) & 0xFF) != 0;
}

bool QpLogging::isDebugLogging(verbosity_level_t level, component_t component) {
  if (!wanted(level, component)) return false;
  return isDebugLogging();
}

// ---- Lifecycle ---------------------------------------------------------------------------------

void QpLogging::Start(QpLoggingState* options) {
  std::unique_ptr<QpLoggingState> vOwned;
  if (options == nullptr) {
    vOwned.reset(new QpLoggingState());
    options = vOwned.get();
  }
  StLoggerLock vLock;
  if (!vLock.held()) return;
  mLogFactory.applyOptions(options);
  mLoggingState.store(LOGGING_ON, std::memory_order_relaxed);
  QpLoggingState* vCurrent = mLogFactory.getLogState();
  mPollConfig.store(vCurrent->getPollIntervalInMins() >= 0, std::memory_order_relaxed);
  mUseConfigFile.store(vCurrent->getLogStatePath() != nullptr, std::memory_order_relaxed);
  mActiveComponentFilter.store(vCurrent->getComponents(), std::memory_order_relaxed);
  mActiveVerbosityLevel.store(vCurrent->getLevel(), std::memory_order_relaxed);
}

void QpLogging::Stop() {
  StLoggerLock vLock;
  if (!vLock.held()) return;
  mLoggingState.store(LOGGING_OFF, std::memory_order_relaxed);
  mLogFactory.CloseLog();
  mPollConfig.store(false, std::memory_order_relaxed);
  mPollConfig_IntervalInMin.store(-1, std::memory_order_relaxed);
  mLogFactory.getLogState()->setPollIntervalInMins(-1);
}

void QpLogging::UpdateConfig() {
  StLoggerLock vLock;
  if (vLock.held()) mLogFactory.UpdateConfig();
}

void QpLogging::RegisterCallback(int (*callback)(char*)) {
  StLoggerLock vLock;
  if (vLock.held()) mLogFactory.setAppCallback(callback);
}

// ---- The poll clock ----------------------------------------------------------------------------

void QpLogging::resetPollTime() {
  qp_timeval vNow;
  if (qp_gettimeofday(&vNow, nullptr) == 0)
    mPollConfig_TimeOfLastPollEvent.store(vNow.tv_sec, std::memory_order_relaxed);
}

bool QpLogging::isPollEvent() {
  const int vInterval = mPollConfig_IntervalInMin.load(std::memory_order_relaxed);
  if (vInterval < 0) return false;
  qp_timeval vNow;
  if (qp_gettimeofday(&vNow, nullptr) != 0) return false;
  // Seconds are 64-bit: the difference cannot overflow for any clock a machine reports.
  const QpLong vMinutes =
      (vNow.tv_sec - mPollConfig_TimeOfLastPollEvent.load(std::memory_order_relaxed)) / 60;
  if (vInterval > vMinutes) return false;
  mPollConfig_TimeOfLastPollEvent.store(vNow.tv_sec, std::memory_order_relaxed);
  return true;
}

// ---- Options from the environment and option texts ---------------------------------------------

void QpLogging::GetDefaultOptions(_logOptions& options) {
  GetEnvVarOptions(options);
}

void QpLogging::GetEnvVarOptions(_logOptions& options) {
  options.path = nullptr;
  options.newLogFileName = nullptr;
  options.logStatePath = nullptr;
  options.format = kLogFormatTab;
  options.level = 4;
  options.creationOpt = kLogOverwrite;
  options.maxOverflows = 1;
  options.pollIntervalInMins = 5;
  options.components = ALL;
  options.append = false;
  options.keepExisting = false;
  options.disableCallback = false;
  options.maxSizeInKb = 1048576;

  // The debugging override: a file (";a" to append) and a filter, everything else fixed.
  if (const char* vDebugFile = nonEmptyEnv("QPLIBRARY_LOG_FILE_DEBUG")) {
    if (const char* vAppend = qp_strstr(vDebugFile, ";a")) {
      const size_t vLen = static_cast<size_t>(vAppend - vDebugFile);
      char* vName = static_cast<char*>(qp_malloc(vLen + 1));
      if (vName == nullptr) qpRaiseOutOfMemory(QP_HERE);
      qp_memcpy(vName, vDebugFile, vLen);
      vName[vLen] = 0;
      options.newLogFileName = vName;
      options.append = true;
    } else {
      options.path = const_cast<char*>(vDebugFile);
    }
    if (const char* vFilter = nonEmptyEnv("QPLIBRARY_LOG_DEBUG_FILTER"))
      options.components = GetFilterOpts(vFilter);
    return;
  }

  if (const char* vStatePath = nonEmptyEnv("QP_LOG_STATE_PATH")) {
    options.logStatePath = const_cast<char*>(vStatePath);
    if (const char* vInterval = qp_getenv("QP_LOG_STATE_POLL_INTERVAL"))
      options.pollIntervalInMins = qp_atoi(vInterval);
  }
  if (const char* vDisable = qp_getenv("QP_LOG_DISABLE_CALLBACK"))
    options.disableCallback = qp_strcasecmp(vDisable, "true") == 0;
  const char* vPath = qp_getenv("QP_LOGPATH");
  if (vPath != nullptr) {
    if (vPath[0] != 0) options.path = const_cast<char*>(vPath);
  } else if (mUseDefaultFile) {
    options.path = const_cast<char*>("QpLog.txt");
  }
  if (const char* vLevel = nonEmptyEnv("QP_LOGLEVEL")) options.level = qpLogLevelFromText(vLevel);
  if (const char* vFilter = nonEmptyEnv("QP_LOGFILTER"))
    options.components = GetFilterOpts(vFilter);
  if (const char* vFormat = nonEmptyEnv("QP_LOGFORMAT")) options.format = GetFormatOpt(vFormat);
  if (const char* vKeep = nonEmptyEnv("QP_LOGKEEP")) options.creationOpt = GetCreationOpt(vKeep);
  if (const char* vSize = nonEmptyEnv("QP_LOG_MAX_SIZE")) {
    const int vKb = qp_atoi(vSize);
    if (vKb != 0 || qp_strcmp(vSize, "0") == 0) options.maxSizeInKb = vKb;
  }
  if (const char* vOverflows = nonEmptyEnv("QP_LOG_MAX_OVERFLOWS")) {
    const int vCount = qp_atoi(vOverflows);
    options.maxOverflows = vCount == 0 ? 1 : vCount;
  }
  // An XML document cannot be continued by appending to it.
  if (options.format == kLogFormatXML && options.creationOpt == kLogAppend)
    options.creationOpt = kLogCreate;
  options.append = options.creationOpt == kLogAppend;
  options.keepExisting = options.creationOpt == kLogCreate;
}

int QpLogging::GetFormatOpt(const char* text) {
  if (text != nullptr && qp_strcasecmp(text, "TAB") == 0) return kLogFormatTab;
  return kLogFormatXML;
}

const char* QpLogging::FormatOptToString(int format) {
  if (format == kLogFormatXML) return "XML";
  if (format == kLogFormatTab) return "TAB";
  return nullptr;
}

int QpLogging::GetCreationOpt(const char* text) {
  if (text != nullptr && qp_strcasecmp(text, "APPEND") == 0) return kLogAppend;
  if (text != nullptr && qp_strcasecmp(text, "CREATE") == 0) return kLogCreate;
  return kLogOverwrite;
}

const char* QpLogging::CreationOptToString(int creationOpt) {
  switch (creationOpt) {
    case kLogOverwrite:
      return "OVERWRITE";
    case kLogAppend:
      return "APPEND";
    case kLogCreate:
      return "CREATE";
    default:
      return nullptr;
  }
}

int QpLogging::GetFilterOpts(const char* text) {
  if (text == nullptr) return 0;
  int vMask = 0;
  const char* vPiece = text;
  for (;;) {
    const char* vEnd = qp_strchr(vPiece, ',');
    size_t vLen = vEnd != nullptr ? static_cast<size_t>(vEnd - vPiece) : qp_strlen(vPiece);
    if (vLen > kFilterPieceMax) vLen = kFilterPieceMax;
    char vName[kFilterPieceMax + 1];
    qp_memcpy(vName, vPiece, vLen);
    vName[vLen] = 0;
    for (const FilterName& vEntry : kFilterNames) {
      if (qp_strcasecmp(vName, vEntry.mName) == 0) {
        vMask |= vEntry.mValue;
        break;
      }
    }
    if (vEnd == nullptr) return vMask;
    vPiece = vEnd + 1;
  }
}

char* QpLogging::FilterOptsToString(int mask) {
  if (mask == ALL) {
    char* vText = static_cast<char*>(qp_malloc(4));
    if (vText == nullptr) qpRaiseOutOfMemory(QP_HERE);
    qp_strcpy(vText, "ALL");
    return vText;
  }
  char* vText = static_cast<char*>(qp_malloc(kFilterTextSize));
  if (vText == nullptr) qpRaiseOutOfMemory(QP_HERE);
  vText[0] = 0;
  // Every name but ALL, joined, is well under 1024 characters.
  for (const FilterName& vEntry : kFilterNames) {
    if (vEntry.mValue == ALL || (vEntry.mValue & mask) == 0) continue;
    if (vText[0] != 0) qp_strcat(vText, ",");
    qp_strcat(vText, vEntry.mName);
  }
  if (vText[0] == 0) {
    qp_free(vText);
    return nullptr;
  }
  return vText;
}

const char* QpLogging::ComponentToString(component_t component) {
  for (const FilterName& vEntry : kPrintedNames)
    if (vEntry.mValue == component) return vEntry.mName;
  return "???";
}

const char* QpLogging::LevelToString(verbosity_level_t level) {
  if (level < 0) return kLevelNames[0];
  if (level > 8) return kLevelNames[8];
  return kLevelNames[level];
}
