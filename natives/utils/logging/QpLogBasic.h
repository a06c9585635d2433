// QpLogBasic.h - the base of the log writers: one log file (or the application's callback), the
// writer's own level and component filter, the count of bytes written and the rotation of a full
// file into numbered overflow files ("QpLog.txt" -> "QpLog_ovr1.txt" -> "QpLog_ovr2.txt" ...).
//
// Every formatted write is one qp_vfprintf, flushed at once, and counts what it printed plus one;
// before an entry the count plus the writer's reserve() is compared with the limit, and a file
// that would pass it is closed (with its footer), shifted to the overflow names and opened anew
// (with its header).
//
// Threads: a writer is not thread-safe. The logging facade calls it only under
// QpLogging::mLoggerLock; the tab writer takes StProtectQPOS inside it to format the time.
#ifndef QP_LOG_BASIC_H
#define QP_LOG_BASIC_H

#include <cstdio>

#include "QpLogging.h"
#include "QpTypes.h"

struct _logOptions;

class QP_EXPORT QpLogBasic {
 public:
  typedef int (*Callback)(char*);

  virtual ~QpLogBasic();
  virtual void log(verbosity_level_t level, component_t component, const char* text) = 0;
  virtual void writeHeader();
  virtual void writeFooter();
  // Bytes added to the count before the size test.
  virtual int reserve();
  // Level, filter, limits and flags; the path, the open file and the count stay.
  virtual void updateConfig(_logOptions options) = 0;

  // The entry point: filters, runs the size test (it may rotate), then log(). The text is
  // written unchanged.
  void logEntry(verbosity_level_t level, component_t component, const char* text);
  // While set, entries go to the callback instead of the file.
  void setCallback(Callback callback) { mCallback = callback; }
  Callback getCallback() const { return mCallback; }

  const char* getPath() const { return mPath; }
  verbosity_level_t getLevel() const { return mLevel; }
  component_t getComponents() const { return mComponents; }
  int getMaxOverflows() const { return mMaxOverflows; }
  QpLong getMaxSizeInKb() const { return mMaxSizeInKb; }
  bool getAppend() const { return mAppend; }
  bool getKeepExisting() const { return mKeepExisting; }
  QpLong getSizeCount() const { return mSizeCount; }
  bool isOpen() const { return mFile != nullptr; }

 protected:
  QpLogBasic();
  // Takes the options' file name, flags, limits and level, and opens the file. Called from the
  // derived constructor's body, so that the header is the derived writer's. On a failure the
  // file is closed and the exception passes.
  void construct(const _logOptions& inOptions, bool inAppend);
  void takeLimits(const _logOptions& inOptions);

  // Opens inPath (see the modes in QpLogBasic.cpp) and writes the header. QpFileSystemException
  // when no file can be opened, QpOutOfMemException for a unique name.
  FILE* openFile(const char* inPath, bool inAppend, bool inKeepExisting);
  // Shifts inPath and its first inCount overflow files one number up; the last one is removed.
  void rotateFiles(const char* inPath, int inCount);
  // One counted, flushed write to the open file.
  void write(const char* inFormat, ...) __attribute__((format(printf, 2, 3)));
  // The same for an entry whose fields are already text: the first inHeadLen bytes of ioLine,
  // inText and a line break, counted and flushed as one write("%s%s\n", ...) would be, without
  // parsing a format per entry. ioLine has inRoom bytes; the text is joined to the head there
  // when it fits.
  void writeLine(char* ioLine, size_t inHeadLen, size_t inRoom, const char* inText);
  // Hands a copy of inText to the callback; QpLogCallbackException on a non-zero return.
  void callBack(const char* inText);

  FILE* mFile;
  char* mPath;  // qp_strdup'd, or null
  bool mAppend;
  bool mKeepExisting;
  verbosity_level_t mLevel;  // 0 to 8
  int mMaxOverflows;
  QpLong mMaxSizeInKb;  // -1 unbounded
  QpLong mSizeCount;    // bytes counted as written to the current file
  component_t mComponents;
  Callback mCallback;
  bool mOpening;  // inside openFile: the header's own entry must not start another rotation

 private:
  QpLogBasic(const QpLogBasic&) = delete;
  QpLogBasic& operator=(const QpLogBasic&) = delete;

  void sizeTest(const char* inText);
  void rotate();
};

#endif  // QP_LOG_BASIC_H
