// QpLogTab.cpp - the tab-separated writer.
#include "QpLogTab.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "QpDecimalInternal.h"
#include "QpLoggingState.h"
#include "QpMutex.h"
#include "qpos32.h"

namespace {

const size_t kTimeRoom = 123;  // what strftime may fill, leaving room for ".mmm"
const size_t kTimeText = 128;  // the time text's home: what does not fit there is not shown
// A line is put together in one block when its text fits, so that it reaches the stream in one
// piece: the head (two numbers of up to 20 characters, the time text, the tail) and the text.
const size_t kLineRoom = 512;

// The milliseconds, "%.3ld": three digits in the usual case, the general form otherwise.
char* putMillis(char* outPos, long inMillis) {
  if (inMillis < 0 || inMillis > 999) return QpPutDecimal(outPos, inMillis, 3);
  outPos[0] = static_cast<char>('0' + inMillis / 100);
  outPos[1] = static_cast<char>('0' + inMillis / 10 % 10);
  outPos[2] = static_cast<char>('0' + inMillis % 10);
  return outPos + 3;
}

// Appends inText without its terminator: the line is built in pieces and ended once.
char* putText(char* outPos, const char* inText) {
  return std::copy_n(inText, std::strlen(inText), outPos);
}

}  // namespace

QpLogTab::QpLogTab(QpLoggingState* options)
    : mSecondValid(false),
      mSecondShown(0),
      mSecondDigitsLen(0),
      mSecondTextLen(0),
      mTailValid(false),
      mTailLevel(0),
      mTailPid(0),
      mTailThread(0),
      mTailComponent(0),
      mTailLen(0) {
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

void QpLogTab::showSecond(QpLong inSecond) {
  mSecondDigitsLen = static_cast<size_t>(QpPutDecimal(mSecondDigits, inSecond, 1) - mSecondDigits);
  mSecondText[0] = 0;
  if (inSecond >= 0) {
    StProtectQPOS vGuard;  // qp_gmtime's result is shared until strftime has read it
    const struct tm* vBrokenDown = qp_gmtime(&inSecond);
    if (vBrokenDown == nullptr ||
        qp_strftime(mSecondText, kTimeRoom, "%Y-%m-%d %H:%M:%S", vBrokenDown) == 0)
      mSecondText[0] = 0;
  }
  mSecondTextLen = std::strlen(mSecondText);
  mSecondShown = inSecond;
  mSecondValid = true;
}

void QpLogTab::showTail(verbosity_level_t inLevel, int inPid, unsigned long inThread,
                        component_t inComponent) {
  char* vPos = putText(mTail, "\t\t[");
  vPos = putText(vPos, QpLogging::LevelToString(inLevel));
  vPos = putText(vPos, "]\t\t");
  vPos = QpPutDecimal(vPos, static_cast<long>(inPid), 1);
  *vPos++ = '.';
  vPos = QpPutDecimal(vPos, static_cast<long>(inThread), 1);
  vPos = putText(vPos, "\t[");
  vPos = putText(vPos, QpLogging::ComponentToString(inComponent));
  vPos = putText(vPos, "]\t");
  mTailLen = static_cast<size_t>(vPos - mTail);
  mTailLevel = inLevel;
  mTailPid = inPid;
  mTailThread = inThread;
  mTailComponent = inComponent;
  mTailValid = true;
}

void QpLogTab::log(verbosity_level_t level, component_t component, const char* text) {
  if (mCallback != nullptr) {
    callBack(text);
    return;
  }
  qp_timeval vNow;
  if (qp_gettimeofday(&vNow, nullptr) != 0) vNow.tv_sec = 0, vNow.tv_usec = 0;
  const int vPid = qp_getpid();
  const unsigned long vThread = qp_thread_self();
  // The line is "%lld%.3ld\t%s\t\t[%s]\t\t%ld.%ld\t[%s]\t%s\n" of seconds, milliseconds, the
  // time text, level, pid, thread, component and text. It is put together by hand from texts
  // kept while they stay valid: parsing that format for every entry, and breaking the time down
  // again, cost more than all the rest of an entry but the flush.
  if (!mSecondValid || vNow.tv_sec != mSecondShown) showSecond(vNow.tv_sec);
  if (!mTailValid || level != mTailLevel || vPid != mTailPid || vThread != mTailThread ||
      component != mTailComponent)
    showTail(level, vPid, vThread, component);
  const long vMillis = static_cast<long>(vNow.tv_usec / 1000);
  char vLine[kLineRoom];
  std::memcpy(vLine, mSecondDigits, mSecondDigitsLen);
  char* vPos = putMillis(vLine + mSecondDigitsLen, vMillis);
  *vPos++ = '\t';
  if (vNow.tv_sec >= 0 && vNow.tv_usec >= 0 && mSecondTextLen != 0) {
    char* vTime = vPos;
    std::memcpy(vPos, mSecondText, mSecondTextLen);
    vPos += mSecondTextLen;
    *vPos++ = '.';
    vPos = putMillis(vPos, vMillis);
    if (vPos - vTime > static_cast<ptrdiff_t>(kTimeText - 1)) vPos = vTime + kTimeText - 1;
  }
  std::memcpy(vPos, mTail, mTailLen);
  vPos += mTailLen;
  writeLine(vLine, static_cast<size_t>(vPos - vLine), sizeof vLine, text);
}
