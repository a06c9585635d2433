// QpException.h - the exception family of the library: one leaf class per error code, grouped
// under network, server and client families (the client family splits into application and
// operating-system failures).
//
// An exception carries its code, a system error number, an optional message, an optional
// transaction id and a call trace: the raising function adds the first entry and every function
// with a trace label that the exception passes through appends its own, so the trace reads from
// the failure outwards. Exceptions are thrown by value and caught by reference; copies own
// separate copies of every part. QpRaise.h holds the helpers every raising site uses.
//
// Threads: an exception belongs to the thread that raised it; no operation locks.
#ifndef QP_EXCEPTION_H
#define QP_EXCEPTION_H

#include "QpErrorCodes.h"
#include "QpTypes.h"

class QpBasicStringBuffer;
class QpStringBuffer;

class QP_EXPORT QpException {
 public:
  enum ExceptionClass { EC_GENERIC = 0, EC_NETWORK = 1, EC_SERVER = 2, EC_CLIENT = 3 };

  QpException(int sysErrorCode = 0);
  QpException(const QpException& inOther);
  QpException& operator=(const QpException& inOther);
  virtual ~QpException();

  // Appends one formatted trace entry. Never throws: an entry that cannot be built is dropped.
  virtual void addTrace(const char* format, ...) __attribute__((format(printf, 2, 3)));
  virtual void SetMessage(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // An empty message removes the message.
  virtual void SetMessage(QpBasicStringBuffer& message);
  // Takes ownership of message (null allowed); message must not be the current message.
  virtual void SetMessage(QpBasicStringBuffer* message);
  virtual void SetTransID(const QpBasicStringBuffer& transID);
  // Whether repeating the failed operation may succeed.
  virtual bool isRetryable();
  // True exactly when other is not retryable; the receiver's own state does not enter.
  virtual bool hasLowerSeverity(QpException& other);

  int GetErrorCode() { return mErrorCode; }
  void SetErrorCode(int inCode) { mErrorCode = inCode; }
  int GetSysErrorCode() { return mSysErrorCode; }
  ExceptionClass GetExceptionClass() { return mExceptionClass; }

  QpStringBuffer* GetMessageA();  // new copy of the message, or null; the caller deletes it
  char* GetMessageString();       // qp_malloc'd copy, or null; the caller frees it
  char* GetTransIDString();       // qp_malloc'd copy, or null; the caller frees it
  // The entries joined by separator, oldest first, or "No trace available"; caller deletes it.
  QpStringBuffer* GetTrace(const char* separator);
  char* GetTraceString(const char* separator);  // the same as qp_malloc'd text

  // "Exception\n error=...\n syserror=...\n message=...\n trace=...[\n transid=...]\n"
  void toString(QpBasicStringBuffer& out);
  void print();
  // The exception's log line under the EXCEPTION component; never throws.
  void log(const char* file, long line);

 protected:
  void addTrace(QpBasicStringBuffer* entry);
  void copy(const QpException* source);

  QpBasicStringBuffer** mTrace;   // null-terminated, oldest first; null without entries
  QpBasicStringBuffer* mMessage;  // owned, or null
  QpBasicStringBuffer* mTransID;  // owned, or null
  int mErrorCode;                 // -1 in a plain QpException
  int mSysErrorCode;              // OS or socket error number, 0 when none
  ExceptionClass mExceptionClass;
};

class QP_EXPORT QpGenericException : public QpException {
 public:
  QpGenericException(int sysErrorCode = -1);
};

// The five families. Their constructors are for the leaves; the copy constructors set the
// family's class value again.
#define QP_DECLARE_FAMILY(Family)               \
  class QP_EXPORT Family : public QpException { \
   public:                                      \
    Family(const Family& inOther);              \
    Family& operator=(const Family&) = default; \
                                                \
   protected:                                   \
    Family(int sysErrorCode);                   \
    QP_FAMILY_EXTRA_##Family                    \
  };
#define QP_FAMILY_EXTRA_QpNetworkException \
 public:                                   \
  bool isRetryable() override;
#define QP_FAMILY_EXTRA_QpServerException \
 public:                                  \
  bool isRetryable() override;
#define QP_FAMILY_EXTRA_QpClientException
QP_DECLARE_FAMILY(QpNetworkException)
QP_DECLARE_FAMILY(QpServerException)
QP_DECLARE_FAMILY(QpClientException)
#undef QP_DECLARE_FAMILY
#undef QP_FAMILY_EXTRA_QpNetworkException
#undef QP_FAMILY_EXTRA_QpServerException
#undef QP_FAMILY_EXTRA_QpClientException

class QP_EXPORT QpApplicationException : public QpClientException {
 public:
  QpApplicationException(const QpApplicationException& inOther);
  QpApplicationException& operator=(const QpApplicationException&) = default;

 protected:
  QpApplicationException(int sysErrorCode);
};

class QP_EXPORT QpOSException : public QpClientException {
 public:
  QpOSException(const QpOSException& inOther);
  QpOSException& operator=(const QpOSException&) = default;

 protected:
  QpOSException(int sysErrorCode);
};

// The leaves that only set their code.
#define QP_LEAF_PLAIN(Leaf, Family)      \
  class QP_EXPORT Leaf : public Family { \
   public:                               \
    Leaf(int sysErrorCode = 0);          \
  };
#define QP_LEAF_OWN(Leaf, Family)
#define QP_ERROR(code, name, message, leaf, family, kind) QP_LEAF_##kind(leaf, family)
#include "QpErrorTable.h"
#undef QP_LEAF_PLAIN
#undef QP_LEAF_OWN

// The leaves with behaviour of their own.
class QP_EXPORT QpNoPoolException : public QpNetworkException {
 public:
  QpNoPoolException(int sysErrorCode = 0);
  bool isRetryable() override;  // false: there is no pool to retry against
};

class QP_EXPORT QpMigrationException : public QpClientException {
 public:
  QpMigrationException(int sysErrorCode = 0);
  QpMigrationException(const QpMigrationException& inOther);
  QpMigrationException& operator=(const QpMigrationException& inOther);
  bool isRetryable() override;
  void setRetryable(bool inRetryable) { mRetryable = inRetryable; }
  void setErrorCode(int inCode) { SetErrorCode(inCode); }

 protected:
  bool mRetryable = true;  // a failed migration write may be retried unless told otherwise
};

class QP_EXPORT QpCollocationException : public QpClientException {
 public:
  QpCollocationException(int sysErrorCode = 0);
  bool isRetryable() override;
};

class QP_EXPORT QpRedirectedException : public QpClientException {
 public:
  QpRedirectedException(int sysErrorCode = 0);
  bool isRetryable() override;
};

// Raised when memory runs out. It must not need memory itself after construction, so it keeps no
// message, trace or transaction id: the setters below do nothing.
class QP_EXPORT QpOutOfMemException : public QpOSException {
 public:
  QpOutOfMemException(int sysErrorCode);
  void addTrace(const char* format, ...) override __attribute__((format(printf, 2, 3)));
  void SetMessage(const char* format, ...) override __attribute__((format(printf, 2, 3)));
  void SetMessage(QpBasicStringBuffer& message) override;
  void SetMessage(QpBasicStringBuffer* message) override;  // deletes message
  void SetTransID(const QpBasicStringBuffer& transID) override;
};

// The internal check: QpSDKInternalException::Throw logs the failed condition and raises with
// the condition's text as message. Use QP_CHECK(cond) rather than calling it directly.
class QP_EXPORT QpSDKInternalException : public QpApplicationException {
 public:
  QpSDKInternalException(int sysErrorCode = 0);
  [[noreturn]] static void Throw(const char* file, long line, const char* condition);
};

#endif  // QP_EXCEPTION_H
