// QpLogTab.h - the tab-separated log writer: a column header, then one line an entry:
//   `seconds+millis \t UTC time \t\t [level] \t\t pid.thread \t [component] \t text`
//
// Threads: as QpLogBasic (called under QpLogging::mLoggerLock only).
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
  QpLong mSecondShown;    // the second that mSecondText shows, -1 for none yet
  char mSecondText[128];  // "YYYY-MM-DD hh:mm:ss" of mSecondShown, or empty
};

#endif  // QP_LOG_TAB_H
