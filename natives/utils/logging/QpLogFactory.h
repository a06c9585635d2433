// QpLogFactory.h - owner of the current logging options and of the one current writer, and the
// application's callback.
//
// Threads: every operation runs under QpLogging::mLoggerLock; nothing here locks by itself.
#ifndef QP_LOG_FACTORY_H
#define QP_LOG_FACTORY_H

#include "QpLogBasic.h"
#include "QpLogging.h"
#include "QpLoggingState.h"

class QpLogTab;
class QpLogXML;

class QP_EXPORT QpLogFactory {
 public:
  QpLogFactory();   // the default options (QpLoggingState::loadDefaults)
  ~QpLogFactory();  // closes the writer

  // The current writer, created on first need (null when the options ask for none). With
  // loadStateFile the state file is re-read first; a bad one is ignored.
  QpLogBasic* GetInstance(bool loadStateFile);
  // Closes the writer, takes a copy of options, creates the writer they ask for.
  void applyOptions(QpLoggingState* options);
  void CloseLog();
  // The live writer takes the environment's level, filter, limits and flags.
  void UpdateConfig();
  // Re-reads the state file and applies what changed; sets state to 0 or 1 when logging was
  // switched off, on or reconfigured. Never raises.
  void pollLogStateFile(QpLogging::LoggingState& state);

  int (*getAppCallback())(char*) { return mAppCallback; }
  void setAppCallback(int (*callback)(char*)) { mAppCallback = callback; }
  bool isAppCallbackMode() { return mAppCallback != nullptr && !mLogState.getDisableCallback(); }
  QpLoggingState* getLogState() { return &mLogState; }

  static QpLogBasic* mLogBasic;
  static int (*mAppCallback)(char*);

 private:
  QpLogFactory(const QpLogFactory&) = delete;
  QpLogFactory& operator=(const QpLogFactory&) = delete;

  QpLogTab* CreateLogTab(QpLoggingState* options);
  QpLogXML* CreateLogXML(QpLoggingState* options);
  QpLogBasic* createWriter(QpLoggingState* options);

  QpLoggingState mLogState;
};

#endif  // QP_LOG_FACTORY_H
