// QpLogging.cpp - the logging facade's dispatch.
//
// The writers and their configuration are not part of this build yet: no writer can be made, so
// the first message settles the state to "off" and every later test is the cheap unlocked one.
// Callers already use the final interface and need no change when writers arrive.
#include "QpLogging.h"

#include <cstdarg>

QpMutex QpLogging::mLoggerLock;
std::atomic<QpLogging::LoggingState> QpLogging::mLoggingState(QpLogging::LOGGING_UNDECIDED);
std::atomic<verbosity_level_t> QpLogging::mActiveVerbosityLevel(8);
std::atomic<component_t> QpLogging::mActiveComponentFilter(ALL);

namespace {

const int kMaxLogAttempts = 5;
const verbosity_level_t kDebugLevel = 4;

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

}  // namespace

void QpLogging::Log(verbosity_level_t level, component_t component, const char* format, ...) {
  va_list vArgs;
  va_start(vArgs, format);
  logV(level, component, format, vArgs);
  va_end(vArgs);
}

void QpLogging::Log(int level, const char* text) {
  Log(level, APP, "%s", text);
}

void QpLogging::Debug(component_t component, const char* format, ...) {
  va_list vArgs;
  va_start(vArgs, format);
  logV(kDebugLevel, component, format, vArgs);
  va_end(vArgs);
}

void QpLogging::Debug(const char* format, ...) {
  va_list vArgs;
  va_start(vArgs, format);
  logV(kDebugLevel, NONE, format, vArgs);
  va_end(vArgs);
}

bool QpLogging::LogList(verbosity_level_t, component_t, const char*, va_list) {
  if (mLoggingState.load(std::memory_order_relaxed) == LOGGING_UNDECIDED) {
    StCriticalSection vLock(&mLoggerLock);
    // No writer can be made in this build, so the first message settles logging to off.
    mLoggingState.store(LOGGING_OFF, std::memory_order_relaxed);
  }
  return true;
}

bool QpLogging::isDebugLogging() {
  return (mLoggingState.load(std::memory_order_relaxed) & 0xFF) != 0;
}

bool QpLogging::isDebugLogging(verbosity_level_t level, component_t component) {
  if (level > mActiveVerbosityLevel.load(std::memory_order_relaxed) ||
      (component & mActiveComponentFilter.load(std::memory_order_relaxed)) == 0)
    return false;
  return isDebugLogging();
}
