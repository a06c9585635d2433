// AppProfilePacket.cpp - the application-profile family and its control table.
#include "AppProfilePacket.h"

#include "QpException.h"
#include "QpLogging.h"
#include "QpObjectGuid.h"
#include "QpRaise.h"
#include "QpStringConversion.h"

namespace {

typedef void (*ControlRaise)(int inCode);

template <class E>
[[noreturn]] void raiseControl(int inCode) {
  qpRaise<E>(QP_HERE, inCode, nullptr);
}

struct ControlRule {
  int mCode;
  ControlRaise mRaise;
};

// Codes not listed here are success.
const ControlRule kControlRules[] = {
    {1, raiseControl<QpNotAllowedException>},
    {2, raiseControl<QpProfileClipIDNotFoundException>},
    {3, raiseControl<QpProfileClipIDWriteException>},
    {4, raiseControl<QpParameterException>},
};

// The family's log lines name the class and its arguments: "Class(a,b)", "Class()".
void logCall(const char* inClass, const QpBasicStringBuffer* inTransactionId) {
  if (!QpLogging::isDebugLogging()) return;
  if (inTransactionId != nullptr) {
    QpLogging::Debug(TRANSACTION, "%s(%s)", inClass, QpStringConversion::toString(inTransactionId));
  } else {
    QpLogging::Debug(TRANSACTION, "%s()", inClass);
  }
}

}  // namespace

AppProfilePacket::AppProfilePacket(const QpBasicStringBuffer* inTransactionId)
    : NetworkPacket(inTransactionId) {
  store(NET_MESSAGEID, kMessageId);
  store(kRequestMark, 1);
}

AppProfilePacket::AppProfilePacket(const AppProfilePacket& inOther) : NetworkPacket(inOther) {}

AppProfilePacket::~AppProfilePacket() {}

int AppProfilePacket::GetControl() {
  return GetInt(kControl, 0);
}

void AppProfilePacket::checkControl() {
  checkControl(GetControl());
}

void AppProfilePacket::checkControl(int code) {
  for (const ControlRule& vRule : kControlRules) {
    if (vRule.mCode == code) vRule.mRaise(code);
  }
}

AppProfileSetClipRequest::AppProfileSetClipRequest(const QpClipGuid& inFirst,
                                                   const QpClipGuid& inSecond,
                                                   const QpBasicStringBuffer* inTransactionId,
                                                   unsigned char /*inUnused*/)
    : AppProfilePacket(inTransactionId) {
  store(kOperation, 0);
  store(kFirstId, inFirst.toString());
  store(kSecondId, inSecond.toString());
  if (QpLogging::isDebugLogging()) {
    if (inTransactionId != nullptr) {
      QpLogging::Debug(TRANSACTION, "AppProfileSetClipRequest(%s,%s,%s)",
                       QpStringConversion::toString(inTransactionId),
                       QpStringConversion::toString(inFirst.toString()),
                       QpStringConversion::toString(inSecond.toString()));
    } else {
      QpLogging::Debug(TRANSACTION, "AppProfileSetClipRequest(%s,%s)",
                       QpStringConversion::toString(inFirst.toString()),
                       QpStringConversion::toString(inSecond.toString()));
    }
  }
}

AppProfileSetClipRequest::AppProfileSetClipRequest(const AppProfileSetClipRequest& inOther)
    : AppProfilePacket(inOther) {}

AppProfileSetClipRequest::~AppProfileSetClipRequest() {}

AppProfileSetClipReply::AppProfileSetClipReply(const QpBasicStringBuffer* inTransactionId)
    : AppProfilePacket(nullptr) {
  logCall("AppProfileSetClipReply", inTransactionId);
}

AppProfileSetClipReply::AppProfileSetClipReply(const AppProfileSetClipReply& inOther)
    : AppProfilePacket(inOther) {}

AppProfileSetClipReply::~AppProfileSetClipReply() {}

AppProfileGetClipRequest::AppProfileGetClipRequest(const QpBasicStringBuffer* inTransactionId)
    : AppProfilePacket(inTransactionId) {
  store(kOperation, 1);
  logCall("AppProfileGetClipRequest", inTransactionId);
}

AppProfileGetClipRequest::AppProfileGetClipRequest(const AppProfileGetClipRequest& inOther)
    : AppProfilePacket(inOther) {}

AppProfileGetClipRequest::~AppProfileGetClipRequest() {}

AppProfileGetClipReply::AppProfileGetClipReply(const QpBasicStringBuffer* /*inTransactionId*/)
    : AppProfilePacket(nullptr) {}

AppProfileGetClipReply::AppProfileGetClipReply(const AppProfileGetClipReply& inOther)
    : AppProfilePacket(inOther) {}

AppProfileGetClipReply::~AppProfileGetClipReply() {}

QpClipGuid AppProfileGetClipReply::GetClipID() {
  char vBuffer[256];
  int vLen = sizeof(vBuffer);
  GetString(kFirstId, vBuffer, &vLen);
  return QpClipGuid(vBuffer);
}
