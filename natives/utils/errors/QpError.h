// QpError.h - names and messages of the error codes, and each thread's record of its last error.
//
// The lookups return constant text and never allocate. The record (QpErrorInfo) is filled by the
// client library at its API boundary with SetError and read by the application with
// GetErrorInfo; each thread has its own, freed when the thread ends. Inside this library only the
// logging dispatch calls SetError, for a writer failure that stopped logging.
//
// Threads: every operation may be called from any thread. Records are per thread and need no
// lock; only the one-time creation of the thread-local key is serialised (sMutex).
#ifndef QP_ERROR_H
#define QP_ERROR_H

#include "QpErrorCodes.h"
#include "QpMutex.h"
#include "QpTypes.h"

class QpException;

struct QpErrorInfo {
  int errorCode;         // code of the last error, 0 when cleared
  int sysErrorCode;      // system error that came with it, 0 when none
  char* trace;           // entries joined by "<"; owned (qp_free)
  char* message;         // message, possibly with " (transid='...')"; owned (qp_free)
  char* errorString;     // symbolic name or "-----"; owned (qp_free)
  short exceptionClass;  // QpException::ExceptionClass of the exception
};

class QP_EXPORT QpError {
 public:
  // Symbolic name / message of a code, or null when the table has none. Constant text.
  static const char* GetErrorString(short code);
  static const char* GetMessageString(short code);

  static int Initialise();               // non-zero once the thread-local key exists
  static QpErrorInfo* GetErrorInfo();    // this thread's record, or null
  static void ClearError();              // empties this thread's record, keeps it
  static void SetError(QpException& e);  // records e for this thread; never throws
  static void DestroyError(void* info);  // the key's destructor

  QpError& operator=(const QpError&) { return *this; }

  static unsigned long sErrorKey;
  static int sInitialised;
  static QpMutex sMutex;
};

#endif  // QP_ERROR_H
