// QpError.cpp - code lookups and the per-thread last-error record.
#include "QpError.h"

#include <cerrno>
#include <memory>

#include "QpException.h"
#include "QpLogging.h"
#include "qpos32.h"

unsigned long QpError::sErrorKey = 0;
int QpError::sInitialised = 0;
QpMutex QpError::sMutex;

namespace {

const char kRetiredMessage[] = "SDK 2.0: no longer used";

// The lookups are switches over constant strings generated from the one code table: no
// allocation, no initialisation order to worry about.
const char* nameOf(int inCode) {
  switch (inCode) {
    case 0:
      return "ENOERR";
    case 12:
      return "ENOMEM";
#define QP_ERROR(code, name, message, leaf, family, kind) \
  case code:                                              \
    return #name;
#define QP_ERROR_NOCLASS(code, name, message) \
  case code:                                  \
    return #name;
#include "QpErrorTable.h"
    default:
      return nullptr;
  }
}

const char* messageOf(int inCode) {
  switch (inCode) {
    case 0:
      return "no error";
    case 12:
      return "Out of memory";
#define QP_ERROR(code, name, message, leaf, family, kind) \
  case code:                                              \
    return message;
#define QP_ERROR_NOCLASS(code, name, message) \
  case code:                                  \
    return message;
#define QP_ERROR_RETIRED(code) \
  case code:                   \
    return kRetiredMessage;
#include "QpErrorTable.h"
    default:
      return nullptr;
  }
}

void freeStrings(QpErrorInfo* ioInfo) {
  qp_free(ioInfo->trace);
  qp_free(ioInfo->message);
  qp_free(ioInfo->errorString);
  ioInfo->trace = nullptr;
  ioInfo->message = nullptr;
  ioInfo->errorString = nullptr;
}

// sInitialised is tested once without the lock; the atomic access makes that first test a proper
// acquire of the key that another thread created.
int loadInitialised() {
  return __atomic_load_n(&QpError::sInitialised, __ATOMIC_ACQUIRE);
}

}  // namespace

const char* QpError::GetErrorString(short code) {
  return nameOf(code);
}

const char* QpError::GetMessageString(short code) {
  return messageOf(code);
}

int QpError::Initialise() {
  int vInitialised = loadInitialised();
  if (vInitialised != 0) return vInitialised;
  StCriticalSection vLock(&sMutex);
  if (sInitialised == 0) {
    unsigned long vKey = 0;
    int vResult = qp_key_create(&vKey, &QpError::DestroyError);
    if (vResult != 0) {
      errno = vResult;
      return sInitialised;
    }
    sErrorKey = vKey;
    __atomic_store_n(&sInitialised, 1, __ATOMIC_RELEASE);
  }
  return sInitialised;
}

QpErrorInfo* QpError::GetErrorInfo() {
  if (Initialise() == 0) return nullptr;
  return static_cast<QpErrorInfo*>(qp_getspecific(sErrorKey));
}

void QpError::ClearError() {
  QpErrorInfo* vInfo = GetErrorInfo();
  if (vInfo == nullptr) return;
  freeStrings(vInfo);
  vInfo->errorCode = 0;
  vInfo->sysErrorCode = 0;
  vInfo->exceptionClass = 0;
}

void QpError::DestroyError(void* info) {
  if (info == nullptr) return;
  auto* vInfo = static_cast<QpErrorInfo*>(info);
  freeStrings(vInfo);
  qp_free(vInfo);
}

void QpError::SetError(QpException& e) {
  if (Initialise() == 0) return;
  QpErrorInfo* vInfo = GetErrorInfo();
  if (vInfo == nullptr) {
    vInfo = static_cast<QpErrorInfo*>(qp_calloc(1, sizeof(QpErrorInfo)));
    qp_setspecific(sErrorKey, vInfo);
  }
  ClearError();
  if (vInfo == nullptr) {
    // SetError runs while the caller handles an exception: it must not raise one of its own,
    // not even when logging runs out of memory.
    try {
      QpLogging::Debug("errorkey not found");
    } catch (...) {
    }
    return;
  }
  vInfo->errorCode = e.GetErrorCode();
  vInfo->sysErrorCode = e.GetSysErrorCode();
  // Each part is copied on its own: a part that cannot be had (out of memory) leaves its field
  // null and the table fills in what it can below.
  try {
    vInfo->trace = e.GetTraceString("<");
    vInfo->message = e.GetMessageString();
    vInfo->errorString = nullptr;
    vInfo->exceptionClass = static_cast<short>(e.GetExceptionClass());
  } catch (...) {
  }
  if (vInfo->message == nullptr) {
    const char* vText = GetMessageString(static_cast<short>(vInfo->errorCode));
    char vBuffer[128];
    if (vText == nullptr) {
      qp_snprintf(vBuffer, sizeof(vBuffer), "error=%ld", static_cast<long>(vInfo->errorCode));
      vText = vBuffer;
    }
    vInfo->message = qp_strdup(vText);
  }
  if (vInfo->errorString == nullptr) {
    const char* vName = GetErrorString(static_cast<short>(vInfo->errorCode));
    vInfo->errorString = qp_strdup(vName != nullptr ? vName : "-----");
  }
  try {
    char* vTransID = e.GetTransIDString();
    if (vTransID != nullptr) {
      const char* vMessage = vInfo->message != nullptr ? vInfo->message : "";
      size_t vSize = qp_strlen(vTransID) + qp_strlen(vMessage) + 50;
      auto* vJoined = static_cast<char*>(qp_malloc(vSize));
      if (vJoined != nullptr) {
        qp_snprintf(vJoined, vSize, "%s (transid='%s')", vMessage, vTransID);
        qp_free(vInfo->message);
        vInfo->message = vJoined;
      }
      qp_free(vTransID);
    }
  } catch (...) {
  }
  try {
    QpLogging::Debug("Exception errorcode=%ld, syserror=%ld message='%s'\n   trace='%s'",
                     static_cast<long>(vInfo->errorCode), static_cast<long>(vInfo->sysErrorCode),
                     vInfo->message != nullptr ? vInfo->message : "",
                     vInfo->trace != nullptr ? vInfo->trace : "");
  } catch (...) {
  }
}
