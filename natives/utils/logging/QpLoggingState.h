// QpLoggingState.h - one complete set of logging options (_logOptions) and its state file.
//
// The options say where the log goes (path, or a one-off file name), in which format (XML or
// tab-separated), how verbose and for which components, how the file is opened (overwrite,
// append, create under a unique name), how large it may grow and how many overflow files are
// kept, and which state file is re-read every few minutes. A QpLoggingState is a QpProperties
// whose key/value table is the state file's content, followed by the options it was read into.
//
// creationOpt, append and keepExisting always agree: OVERWRITE is neither flag, APPEND is append
// alone, CREATE is keepExisting alone.
//
// Threads: a QpLoggingState is used by one thread at a time; the one that the logging factory
// holds is guarded by QpLogging::mLoggerLock.
#ifndef QP_LOGGING_STATE_H
#define QP_LOGGING_STATE_H

#include "QpLogging.h"
#include "QpProperties.h"
#include "QpTypes.h"

// Values of _logOptions::format.
enum { kLogFormatXML = 1, kLogFormatTab = 2 };
// Values of _logOptions::creationOpt.
enum { kLogOverwrite = 1, kLogAppend = 2, kLogCreate = 3 };

// Passed and copied whole. The texts belong to whoever filled the record (see QpLoggingState and
// QpLogging::GetEnvVarOptions).
struct _logOptions {
  char* path;              // the log file; null or empty: no log file
  char* newLogFileName;    // when set, opened instead of path
  char* logStatePath;      // the state file, or null
  int format;              // kLogFormatXML or kLogFormatTab
  int level;               // 0 none ... 8
  int creationOpt;         // kLogOverwrite, kLogAppend or kLogCreate
  int maxOverflows;        // overflow files kept
  int pollIntervalInMins;  // minutes between state-file polls; negative: never
  component_t components;  // filter
  bool append;             // agrees with creationOpt
  bool keepExisting;       // agrees with creationOpt
  bool disableCallback;    // ignore a registered application callback
  QpLong maxSizeInKb;      // size limit of one file in KiB; -1 unbounded
};

class QP_EXPORT QpLoggingState : public QpProperties {
 public:
  // The options of "QpLogState.cfg" in the working directory when it exists, otherwise those of
  // the environment (loadDefaults).
  QpLoggingState();
  // The options of the state file at path (loadFile).
  explicit QpLoggingState(char* path);
  ~QpLoggingState();

  // Reads the state file: keys it does not name take the environment's value (poll interval,
  // callback switch, path) or their fixed default (everything else). QpParameterException for a
  // null path, QpFileSystemException when it does not exist or cannot be read; the options are
  // then unchanged.
  void loadFile(const char* path);
  // "QpLogState.cfg" in the working directory when it can be read, else the environment.
  void loadDefaults();
  // Writes the options under their keys, then the whole table, to path.
  void writeToFile(const char* path);

  // Copy of the record; its texts still belong to this state.
  _logOptions getLogOptions() const { return mOptions; }
  // Takes its own copies of the record's texts (QpOutOfMemException leaves the state unchanged).
  void setLogOptions(_logOptions options);

  // Whether path names a log file.
  bool isEnabled() const { return mOptions.path != nullptr && mOptions.path[0] != 0; }

  const char* getLogPath() const { return mOptions.path; }
  void setPath(const char* path);
  const char* getNewLogFileName() const { return mOptions.newLogFileName; }
  void setNewLogFileName(const char* name);
  const char* getLogStatePath() const { return mOptions.logStatePath; }
  void setLogStatePath(const char* path);
  int getFormat() const { return mOptions.format; }
  void setFormat(int format) { mOptions.format = format; }
  int getLevel() const { return mOptions.level; }
  void setLevel(int level) { mOptions.level = level; }
  component_t getComponents() const { return mOptions.components; }
  void setComponents(component_t components) { mOptions.components = components; }
  int getMaxOverflows() const { return mOptions.maxOverflows; }
  void setMaxOverflows(int count) { mOptions.maxOverflows = count; }
  int getPollIntervalInMins() const { return mOptions.pollIntervalInMins; }
  void setPollIntervalInMins(int minutes) { mOptions.pollIntervalInMins = minutes; }
  QpLong getMaxSizeInKb() const { return mOptions.maxSizeInKb; }
  void setMaxSizeInKb(QpLong size) { mOptions.maxSizeInKb = size; }
  bool getDisableCallback() const { return mOptions.disableCallback; }
  void setDisableCallback(bool disable) { mOptions.disableCallback = disable; }
  bool getAppend() const { return mOptions.append; }
  void setAppend(bool append);
  bool getKeepExisting() const { return mOptions.keepExisting; }
  void setKeepExisting(bool keepExisting);
  int getCreationOpt() const { return mOptions.creationOpt; }

 private:
  friend class QpLogFactory;
  struct NoLoad {};
  // Options all 0 or null, nothing read: the factory loads its defaults itself, so that a bad
  // state file or a shortage met while the library loads cannot abort the process.
  explicit QpLoggingState(NoLoad);

  QpLoggingState(const QpLoggingState&) = delete;
  QpLoggingState& operator=(const QpLoggingState&) = delete;

  void freeTexts();
  void applyCreationFlags();

  _logOptions mOptions;
};

#endif  // QP_LOGGING_STATE_H
