// QpLogging.h - the static logging facade through which the library logs.
//
// Callers ask isDebugLogging() (or isDebugLogging(level, component)) before they format anything
// costly, then call Log or Debug. Texts from outside the library pass through
// QpStringConversion::removePercent before they become arguments of a format.
//
// Threads: any thread may log; dispatch is serialised by mLoggerLock.
#ifndef QP_LOGGING_H
#define QP_LOGGING_H

#include <atomic>
#include <cstdarg>
#include "QpTypes.h"

#include "QpMutex.h"

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
  static void Log(int level, const char* text);
  static void Debug(component_t component, const char* format, ...)
      __attribute__((format(printf, 2, 3)));
  static void Debug(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static bool LogList(verbosity_level_t level, component_t component, const char* format,
                      va_list args) __attribute__((format(printf, 3, 0)));
  static bool isDebugLogging();
  static bool isDebugLogging(verbosity_level_t level, component_t component);

  static QpMutex mLoggerLock;
  // Read without the lock by the early tests; atomic so that those reads are well defined.
  static std::atomic<LoggingState> mLoggingState;
  static std::atomic<verbosity_level_t> mActiveVerbosityLevel;
  static std::atomic<component_t> mActiveComponentFilter;
};

#endif  // QP_LOGGING_H
