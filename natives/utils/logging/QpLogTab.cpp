// QpLogTab.cpp - the tab-separated writer.
#include "QpLogTab.h"

#include "QpLoggingState.h"
#include "QpMutex.h"
#include "qpos32.h"

namespace {

const size_t kTimeText = 128;
const size_t kTimeRoom = 123;  // what strftime may fill, leaving room for ".mmm"

}  // namespace

QpLogTab::QpLogTab(QpLoggingState* options) : mSecondShown(-1) {
  mSecondText[0] = 0;
  const _logOptions vOptions = options->getLogOptions();
  construct(vOptions, vOptions.append);
}

QpLogTab::~QpLogTab() {}

int QpLogTab::reserve() {
  return 80;
}

void QpLogTab::writeFooter() {}

void QpLogTab::updateConfig(_logOptions options) {
  mAppend = options.append;
  takeLimits(options);
}

void QpLogTab::writeHeader() {
  if (mFile != nullptr) {
    write("Time         \t");
    write("FormattedTime        \t");
    write("\t");
    write("LogLevel\t");
    write("PID.Thread\t");
    write("Module\t");
    write("Message");
    write("\n");
  }
  logEntry(0, ALL, "SDK Version 4.0.710");
}

void QpLogTab::log(verbosity_level_t level, component_t component, const char* text) {
  if (mCallback != nullptr) {
    callBack(text);
    return;
  }
  qp_timeval vNow;
  if (qp_gettimeofday(&vNow, nullptr) != 0) vNow.tv_sec = 0, vNow.tv_usec = 0;
  char vTime[kTimeText];
  vTime[0] = 0;
  if (vNow.tv_sec >= 0 && vNow.tv_usec >= 0) {
    // The date and time of day change once a second; only then are they broken down again.
    if (vNow.tv_sec != mSecondShown) {
      StProtectQPOS vGuard;  // qp_gmtime's result is shared until strftime has read it
      const struct tm* vBrokenDown = qp_gmtime(&vNow.tv_sec);
      mSecondText[0] = 0;
      if (vBrokenDown == nullptr ||
          qp_strftime(mSecondText, kTimeRoom, "%Y-%m-%d %H:%M:%S", vBrokenDown) == 0)
        mSecondText[0] = 0;
      mSecondShown = vNow.tv_sec;
    }
    if (mSecondText[0] != 0)
      qp_snprintf(vTime, sizeof vTime, "%s.%03ld", mSecondText, vNow.tv_usec / 1000);
  }
  write("%lld%.3ld\t%s\t\t[%s]\t\t%ld.%ld\t[%s]\t%s\n", static_cast<long long>(vNow.tv_sec),
        vNow.tv_usec / 1000, vTime, QpLogging::LevelToString(level), static_cast<long>(qp_getpid()),
        static_cast<long>(qp_thread_self()), QpLogging::ComponentToString(component), text);
}
