// QpProperties.h - a named set of name=value settings that can be read from and written to a
// text file. Names match without regard to case; a value that is empty or "<NULL>" counts as
// absent.
//
// File text: a four-line header (34 '#', "# " + the set's name, 34 '#', an empty line), then one
// "name=value" line per entry. Reading accepts any text: '#' lines are comments, every other line
// is cut at each run of '=' and its pieces are taken two by two as name and value; nothing is
// trimmed.
//
// Threads: every operation takes the set's lock, so a set may be shared. Lock()/Unlock() hold the
// same non-recursive lock for a caller that makes several calls as one step: calling an operation
// of the set while holding it through Lock() raises the relock error.
#ifndef QP_PROPERTIES_H
#define QP_PROPERTIES_H

#include "QpHashMap.h"
#include "QpMutex.h"
#include "QpTypes.h"

class QP_EXPORT QpProperties : public QpHashMap {
 public:
  // Names are taken as const char*: the set never changes a caller's text, and callers may pass
  // literals.
  explicit QpProperties(const char* name);  // null: "QpProperties"
  ~QpProperties();

  void Lock() { mLock.lock(); }
  void Unlock() { mLock.unlock(); }

  const char* getValue(const char* name);  // null when missing or absent
  QpLong getLongValue(const char* name);   // -1 when getValue is null
  // Stores value (null as "<NULL>"); 1 when getValue(name) then equals value.
  unsigned char set(const char* name, const char* value);
  unsigned char set(const char* name, QpLong value);
  unsigned char set(const char* name, int value);
  unsigned char remove(const char* name);  // 1 when the name then has no value
  void clear();
  int getSize();
  // Raise QpFileSystemException (system error errno) when the file cannot be opened.
  unsigned char readFromFile(const char* path);
  unsigned char writeToFile(const char* path);

 private:
  QpProperties(const QpProperties&) = delete;
  QpProperties& operator=(const QpProperties&) = delete;

  const char* valueOf(const char* inName);
  void clearEntries();
  char* toString();

  QpMutex mLock;
  char* mName;  // qp_strdup'd
};

#endif  // QP_PROPERTIES_H
