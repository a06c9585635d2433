// QpLogTab.h - the tab-separated log writer: a column header, then one line an entry:
//   `seconds+millis \t UTC time \t\t [level] \t\t pid.thread \t [component] \t text`
//
// The writer keeps the pieces of a line that change rarely (the second's date, the stretch from
// the level to the component) and builds each line from them without a format string.
//
// Threads: as QpLogBasic (called under QpLogging::mLoggerLock only); that lock also guards the
// kept pieces.
#ifndef QP_LOG_TAB_H
#define QP_LOG_TAB_H

#include "QpLogBasic.h"

class QpLoggingState;

class QP_EXPORT QpLogTab : public QpLogBasic {
 public:
  // Opens the options' file; QpFileSystemException when it cannot be opened.
  explicit QpLogTab(QpLoggingState* options);
  ~QpLogTab() override;

  void log(verbosity_level_t level, component_t component, const char* text) override;
  void writeHeader() override;
  void writeFooter() override;
  // What the column header adds to the count: 72 characters in 8 writes.
  int reserve() override;
  void updateConfig(_logOptions options) override;

 private:
  // Brings the texts of the second below up to date for inSecond.
  void showSecond(QpLong inSecond);
  // Brings the line's tail before the text up to date for these four values.
  void showTail(verbosity_level_t inLevel, int inPid, unsigned long inThread,
                component_t inComponent);

  // What stays the same for a whole second: its decimal number and its date and time of day.
  bool mSecondValid;       // false until the first entry
  QpLong mSecondShown;     // the second that the two texts show
  char mSecondDigits[24];  // the second in decimal
  size_t mSecondDigitsLen;
  char mSecondText[128];  // "YYYY-MM-DD hh:mm:ss" of mSecondShown, or empty
  size_t mSecondTextLen;
  // What stays the same while one thread logs one kind of message: from the tabs after the time
  // up to the tab before the text, "\t\t[level]\t\tpid.thread\t[component]\t".
  bool mTailValid;
  verbosity_level_t mTailLevel;
  int mTailPid;
  unsigned long mTailThread;
  component_t mTailComponent;
  char mTail[96];  // at most 63: 11 separators, names of 5 and 16, pid and thread
  size_t mTailLen;
};

#endif  // QP_LOG_TAB_H
