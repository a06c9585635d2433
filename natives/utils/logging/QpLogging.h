// QpLogging.h - the static logging facade through which the library logs.
//
// Callers ask isDebugLogging() (or isDebugLogging(level, component)) before they format anything
// costly, then call Log or Debug. Texts from outside the library pass through
// QpStringConversion::removePercent before they become arguments of a format.
//
// The first message decides whether logging is on: it is when the options (state file
// "QpLogState.cfg" or QP_LOG_STATE_PATH, else the QP_LOG* environment variables) name a log file
// or an application callback is registered. A message that is not wanted costs two reads of
// statics and no lock; an accepted one is formatted once into a shared buffer and handed to the
// one current writer (QpLogTab, QpLogXML) under mLoggerLock.
//
// Threads: any thread may log; dispatch is serialised by mLoggerLock, which is held while the
// writer and the application's callback run. A callback that logs gets the relock refusal
// (QpSDKInternalException) instead of a deadlock.
#ifndef QP_LOGGING_H
#define QP_LOGGING_H

#include <atomic>
#include <cstdarg>
#include "QpTypes.h"

#include "QpMutex.h"
#include "QpTypes.h"

class QpLogFactory;
class QpLoggingState;
struct _logOptions;

typedef int component_t;        // a bit mask, one bit per component
typedef int verbosity_level_t;  // 0 none ... 8; larger is more verbose

// Components of a message (filter bits).
enum {
  NONE = 0x0,
  POOL = 0x1,
  RETRY = 0x2,
  XML = 0x4,
  API = 0x8,
  NET = 0x10,
  TRANSACTION = 0x20,
  PACKET = 0x40,
  EXCEPTION = 0x80,
  REFS = 0x100,
  MOPI = 0x200,
  STREAM = 0x400,
  CSO_HPPD = 0x800,
  CSO = 0x1000,
  MD5 = 0x2000,
  APP = 0x4000,
  CSO_STORAGE_UNIT = 0x8000,
  CSO_REPLICATOR = 0x10000,
  CSO_TRANSACTIONS = 0x20000,
  SHA = 0x40000,
  LIB = 0x80000,
  LFS = 0x100000,
  CORE = 0x200000,
  STATS = 0x10000000,
  SCRATCH = 0x40000000,
  ALL = (int)0xFFFFFEFF
};

class QP_EXPORT QpLogging {
 public:
  enum LoggingState { LOGGING_OFF = 0, LOGGING_ON = 1, LOGGING_UNDECIDED = 2 };

  static void Log(verbosity_level_t level, component_t component, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  static void Log(int level, const char* text);  // text unchanged, component APP
  static void Debug(component_t component, const char* format, ...)
      __attribute__((format(printf, 2, 3)));
  // Level 4 under EXCEPTION: the library's untagged debug lines all report failures.
  static void Debug(const char* format, ...) __attribute__((format(printf, 1, 2)));
  // One attempt: false when the message did not fit and the shared buffer has been enlarged.
  static bool LogList(verbosity_level_t level, component_t component, const char* format,
                      va_list args) __attribute__((format(printf, 3, 0)));
  // Runs a due state-file poll; true while logging is on or not yet decided.
  static bool isDebugLogging();
  static bool isDebugLogging(verbosity_level_t level, component_t component);

  // Starts logging with options (null: a new default QpLoggingState); the caller keeps options.
  static void Start(QpLoggingState* options);
  static void Stop();          // nothing is logged until the next Start
  static void UpdateConfig();  // the live writer takes the environment's level, filter, limits
  // Null removes the callback; effective from the next message.
  static void RegisterCallback(int (*callback)(char*));

  // The options of the QP_LOG* environment variables. path and logStatePath point into the
  // environment; newLogFileName is new heap text that the caller frees with qp_free.
  static void GetEnvVarOptions(_logOptions& options);
  static void GetDefaultOptions(_logOptions& options);
  static int GetFormatOpt(const char* text);  // "XML" 1, "TAB" 2, anything else 1
  static const char* FormatOptToString(int format);
  static int GetCreationOpt(const char* text);  // "OVERWRITE" 1, "APPEND" 2, "CREATE" 3, else 1
  static const char* CreationOptToString(int creationOpt);
  static int GetFilterOpts(const char* text);  // comma-separated filter names, ORed
  // "ALL", or the names sharing a bit with mask joined by ","; null when none. qp_free it.
  static char* FilterOptsToString(int mask);
  // The names the writers print: "???" for a component that is not exactly one of the table,
  // "none" for negative levels (they pass every level test, as 0 does), "dbg+" above 8.
  static const char* ComponentToString(component_t component);
  static const char* LevelToString(verbosity_level_t level);

  static QpLogFactory mLogFactory;
  static QpMutex mLoggerLock;
  // Read without the lock by the early tests; atomic so that those reads are well defined.
  static std::atomic<LoggingState> mLoggingState;
  static std::atomic<verbosity_level_t> mActiveVerbosityLevel;
  static std::atomic<component_t> mActiveComponentFilter;
  // The shared message buffer (under mLoggerLock): null until first needed, grows by 256 bytes
  // for each message that did not fit, never shrinks.
  static char* mMsgBuf;
  static int mMsgBufLen;
  // The poll clock. Set under mLoggerLock, read without it by isDebugLogging().
  static std::atomic<bool> mUseConfigFile;
  static std::atomic<bool> mPollConfig;
  static std::atomic<int> mPollConfig_IntervalInMin;
  // Seconds of the last poll or reset; polls are counted in whole minutes, so the microseconds
  // are not kept.
  static std::atomic<QpLong> mPollConfig_TimeOfLastPollEvent;
  // When on and QP_LOGPATH is unset, the path defaults to "QpLog.txt". Off; nothing turns it on.
  static bool mUseDefaultFile;

 private:
  static bool isPollEvent();
  static void resetPollTime();
  static void refreshPollSettings();
};

#endif  // QP_LOGGING_H
