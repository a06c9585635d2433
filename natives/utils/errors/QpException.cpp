// QpException.cpp - the exception family: construction, copying, trace, text and log line.
#include "QpException.h"

#include <memory>
#include <new>

#include "QpLogging.h"
#include "QpMemory.h"
#include "QpRaise.h"
#include "QpStringBuffer.h"
#include "QpStringConversion.h"
#include "qpos32.h"

namespace {

int countEntries(QpBasicStringBuffer* const* inTrace) {
  int n = 0;
  if (inTrace != nullptr)
    while (inTrace[n] != nullptr) ++n;
  return n;
}

void freeTrace(QpBasicStringBuffer** ioTrace) {
  if (ioTrace == nullptr) return;
  for (int i = 0; ioTrace[i] != nullptr; ++i) delete ioTrace[i];
  qp_free(ioTrace);
}

// The library's answer to a failed operator new. It must not allocate: the exception has no
// message or trace, and it is not logged.
[[noreturn]] void throwOutOfMemory() {
  throw QpOutOfMemException(12);
}

// Installs the out-of-memory handler when the library is loaded and puts the previous one back
// when it is unloaded.
struct OutOfMemoryHandlerInstaller {
  QpNewHandler mPrevious;
  OutOfMemoryHandlerInstaller() : mPrevious(qpSetLibraryNewHandler(&throwOutOfMemory)) {}
  ~OutOfMemoryHandlerInstaller() { qpSetLibraryNewHandler(mPrevious); }
} sOutOfMemoryHandlerInstaller;

}  // namespace

// ---- QpException ---------------------------------------------------------------------------

QpException::QpException(int sysErrorCode)
    : mTrace(nullptr),
      mMessage(nullptr),
      mTransID(nullptr),
      mErrorCode(-1),
      mSysErrorCode(sysErrorCode),
      mExceptionClass(EC_GENERIC) {}

QpException::QpException(const QpException& inOther)
    : mTrace(nullptr),
      mMessage(nullptr),
      mTransID(nullptr),
      mErrorCode(0),
      mSysErrorCode(0),
      mExceptionClass(inOther.mExceptionClass) {
  copy(&inOther);
}

QpException& QpException::operator=(const QpException& inOther) {
  copy(&inOther);
  return *this;
}

QpException::~QpException() {
  copy(nullptr);
}

// Builds every copy first and releases the old parts only when all copies exist: an allocation
// failure then leaves this exception exactly as it was, and copying an exception onto itself
// (whose parts are the source's) keeps them intact.
void QpException::copy(const QpException* source) {
  QpBasicStringBuffer* vMessage = nullptr;
  QpBasicStringBuffer* vTransID = nullptr;
  QpBasicStringBuffer** vTrace = nullptr;
  if (source != nullptr) {
    try {
      if (source->mMessage != nullptr) vMessage = new QpBasicStringBuffer(*source->mMessage);
      if (source->mTransID != nullptr) vTransID = new QpBasicStringBuffer(*source->mTransID);
      int n = countEntries(source->mTrace);
      if (n > 0) {
        // Without room for the array the copy simply has no trace.
        vTrace = static_cast<QpBasicStringBuffer**>(qp_calloc(n + 1, sizeof(*vTrace)));
        if (vTrace != nullptr)
          for (int i = 0; i < n; ++i) vTrace[i] = new QpBasicStringBuffer(*source->mTrace[i]);
      }
    } catch (...) {
      delete vMessage;
      delete vTransID;
      freeTrace(vTrace);
      throw;
    }
  }
  delete mMessage;
  delete mTransID;
  freeTrace(mTrace);
  mMessage = vMessage;
  mTransID = vTransID;
  mTrace = vTrace;
  mErrorCode = source != nullptr ? source->mErrorCode : 0;
  mSysErrorCode = source != nullptr ? source->mSysErrorCode : 0;
}

void QpException::addTrace(QpBasicStringBuffer* entry) {
  if (entry == nullptr) return;
  int n = countEntries(mTrace);
  auto** vTrace =
      static_cast<QpBasicStringBuffer**>(qp_malloc((n + 2) * sizeof(QpBasicStringBuffer*)));
  if (vTrace == nullptr) {
    // No room for a longer array: drop the new entry and keep the trace as it was, whole.
    delete entry;
    return;
  }
  for (int i = 0; i < n; ++i) vTrace[i] = mTrace[i];
  vTrace[n] = entry;
  vTrace[n + 1] = nullptr;
  qp_free(mTrace);
  mTrace = vTrace;
}

void QpException::addTrace(const char* format, ...) {
  if (format == nullptr) return;
  try {
    va_list vArgs;
    va_start(vArgs, format);
    QpBasicStringBuffer* vEntry = nullptr;
    try {
      vEntry = new QpBasicStringBuffer(format, vArgs);
    } catch (...) {
      va_end(vArgs);
      throw;
    }
    va_end(vArgs);
    addTrace(vEntry);
  } catch (...) {
    // A trace entry is a courtesy: failing to record it must never replace the exception that
    // is on its way out.
  }
}

void QpException::SetMessage(const char* format, ...) {
  QpBasicStringBuffer* vMessage = nullptr;
  if (format != nullptr) {
    va_list vArgs;
    va_start(vArgs, format);
    try {
      vMessage = new QpBasicStringBuffer(format, vArgs);
    } catch (...) {
      va_end(vArgs);
      throw;
    }
    va_end(vArgs);
  }
  SetMessage(vMessage);
}

void QpException::SetMessage(QpBasicStringBuffer& message) {
  SetMessage(message.isEmpty() ? nullptr : new QpBasicStringBuffer(message));
}

void QpException::SetMessage(QpBasicStringBuffer* message) {
  if (message == mMessage) return;
  delete mMessage;
  mMessage = message;
}

void QpException::SetTransID(const QpBasicStringBuffer& transID) {
  auto* vTransID = new QpBasicStringBuffer(transID);
  delete mTransID;
  mTransID = vTransID;
}

bool QpException::isRetryable() {
  return false;
}

bool QpException::hasLowerSeverity(QpException& other) {
  return !other.isRetryable();
}

QpStringBuffer* QpException::GetMessageA() {
  return mMessage == nullptr ? nullptr : new QpStringBuffer(*mMessage);
}

char* QpException::GetMessageString() {
  return mMessage == nullptr ? nullptr : mMessage->toString();
}

char* QpException::GetTransIDString() {
  return mTransID == nullptr ? nullptr : mTransID->toString();
}

QpStringBuffer* QpException::GetTrace(const char* separator) {
  if (mTrace == nullptr || mTrace[0] == nullptr) return new QpStringBuffer("No trace available");
  std::unique_ptr<QpStringBuffer> vTrace(new QpStringBuffer(*mTrace[0]));
  for (int i = 1; mTrace[i] != nullptr; ++i) {
    vTrace->strcat(separator);
    vTrace->strcat(*mTrace[i]);
  }
  return vTrace.release();
}

char* QpException::GetTraceString(const char* separator) {
  std::unique_ptr<QpStringBuffer> vTrace(GetTrace(separator));
  return vTrace->toString();
}

void QpException::toString(QpBasicStringBuffer& out) {
  struct Freer {
    void operator()(char* p) const { qp_free(p); }
  };
  char vLine[256];
  out.strcpy("Exception\n");
  qp_snprintf(vLine, sizeof(vLine), " error=%ld\n", static_cast<long>(mErrorCode));
  out.strcat(vLine);
  qp_snprintf(vLine, sizeof(vLine), " syserror=%ld\n", static_cast<long>(mSysErrorCode));
  out.strcat(vLine);
  out.strcat(" message=");
  std::unique_ptr<char, Freer> vMessage(GetMessageString());
  if (vMessage) out.strcat(vMessage.get());
  out.strcat("\n trace=");
  std::unique_ptr<char, Freer> vTrace(GetTraceString("<"));
  out.strcat(vTrace.get());
  std::unique_ptr<char, Freer> vTransID(GetTransIDString());
  if (vTransID) {
    out.strcat("\n transid=");
    out.strcat(vTransID.get());
  }
  out.strcat("\n");
}

void QpException::print() {
  QpStringBuffer vText;
  toString(vText);
  qp_printf("%s", vText.toStringConst());
}

void QpException::log(const char* file, long line) {
  try {
    if (!QpLogging::isDebugLogging()) return;
    const char* vBase = file != nullptr ? file : "";
    const char* vSlash = qp_strrchr(vBase, '/');
    if (vSlash == nullptr) vSlash = qp_strrchr(vBase, '\\');
    if (vSlash != nullptr) vBase = vSlash + 1;
    if (mErrorCode == QP_OUT_OF_MEMORY_ERR) {
      // Nothing may be allocated for this one: memory is what is missing.
      QpLogging::Debug(EXCEPTION, "In '%s' at line %ld: Out of memory", vBase, line);
      return;
    }
    try {
      QpBasicStringBuffer vText;
      toString(vText);
      QpLogging::Debug(EXCEPTION, "In '%s' at line %ld: %s", vBase, line,
                       QpStringConversion::removePercent(vText.toStringConst()));
    } catch (...) {
      QpLogging::Debug(EXCEPTION, "In '%s' at line %ld: Error formatting exception", vBase, line);
    }
  } catch (...) {
    // Logging an exception must never raise another one in its place.
  }
}

// ---- Families ------------------------------------------------------------------------------

QpGenericException::QpGenericException(int sysErrorCode) : QpException(sysErrorCode) {}

#define QP_DEFINE_FAMILY(Family, Base, Class)             \
  Family::Family(int sysErrorCode) : Base(sysErrorCode) { \
    mExceptionClass = Class;                              \
  }                                                       \
  Family::Family(const Family& inOther) : Base(inOther) { \
    mExceptionClass = Class;                              \
  }
QP_DEFINE_FAMILY(QpNetworkException, QpException, EC_NETWORK)
QP_DEFINE_FAMILY(QpServerException, QpException, EC_SERVER)
QP_DEFINE_FAMILY(QpClientException, QpException, EC_CLIENT)
QP_DEFINE_FAMILY(QpApplicationException, QpClientException, EC_CLIENT)
QP_DEFINE_FAMILY(QpOSException, QpClientException, EC_CLIENT)
#undef QP_DEFINE_FAMILY

bool QpNetworkException::isRetryable() {
  return true;
}

bool QpServerException::isRetryable() {
  switch (mErrorCode) {
    case QP_TRANSACTION_FAILED_ERR:
    case QP_PACKETDATA_ERR:
    case QP_SERVER_NO_CAPACITY_ERR:
    case QP_SERVER_NOTREADY_ERR:
    case QP_BLOBBUSY_ERR:
    case QP_CLIP_NOT_FOUND_ERR:
    case QP_FILE_NOT_STORED_ERR:
    case QP_SERVER_ERR:
      return true;
    default:
      return false;
  }
}

// ---- Leaves --------------------------------------------------------------------------------

#define QP_LEAF_CTOR(Leaf, Family, name)                \
  Leaf::Leaf(int sysErrorCode) : Family(sysErrorCode) { \
    mErrorCode = name;                                  \
  }
#define QP_LEAF_PLAIN(Leaf, Family, name) QP_LEAF_CTOR(Leaf, Family, name)
#define QP_LEAF_OWN(Leaf, Family, name) QP_LEAF_CTOR(Leaf, Family, name)
#define QP_ERROR(code, name, message, leaf, family, kind) QP_LEAF_##kind(leaf, family, name)
#include "QpErrorTable.h"
#undef QP_LEAF_PLAIN
#undef QP_LEAF_OWN
#undef QP_LEAF_CTOR

bool QpNoPoolException::isRetryable() {
  return false;
}

QpMigrationException::QpMigrationException(const QpMigrationException& inOther)
    : QpClientException(inOther), mRetryable(inOther.mRetryable) {}

QpMigrationException& QpMigrationException::operator=(const QpMigrationException& inOther) {
  QpClientException::operator=(inOther);
  mRetryable = inOther.mRetryable;
  return *this;
}

bool QpMigrationException::isRetryable() {
  return mRetryable;
}

bool QpCollocationException::isRetryable() {
  return false;
}

bool QpRedirectedException::isRetryable() {
  return true;
}

void QpOutOfMemException::addTrace(const char*, ...) {}
void QpOutOfMemException::SetMessage(const char*, ...) {}
void QpOutOfMemException::SetMessage(QpBasicStringBuffer&) {}
void QpOutOfMemException::SetMessage(QpBasicStringBuffer* message) {
  delete message;
}
void QpOutOfMemException::SetTransID(const QpBasicStringBuffer&) {}

void QpSDKInternalException::Throw(const char* file, long line, const char* condition) {
  QpLogging::Debug("unexpected exception in '%s' at line %ld because not '%s'", file, line,
                   condition);
  QpSDKInternalException vE(0);
  // The condition is the message. It is passed as an argument rather than as the format so that
  // a condition containing '%' cannot be misread as a conversion.
  vE.SetMessage("%s", condition);
  throw vE;
}

[[noreturn]] void qpRaiseOutOfMemory(const char* inFile, long inLine) {
  QpOutOfMemException vE(12);
  vE.log(inFile, inLine);
  throw vE;
}
