// CompliancePacket.cpp - the compliance family.
#include "CompliancePacket.h"

#include "QpLogging.h"
#include "QpStringConversion.h"

CompliancePacket::CompliancePacket(const QpBasicStringBuffer* inTransactionId)
    : NetworkPacket(inTransactionId) {
  store(NET_MESSAGEID, kMessageId);
  store(HPP_VERSION, 1);
}

CompliancePacket::CompliancePacket(const CompliancePacket& inOther) : NetworkPacket(inOther) {}

CompliancePacket::~CompliancePacket() {}

ComplianceGetRetentionClassesRequest::ComplianceGetRetentionClassesRequest(
    const QpBasicStringBuffer* inTransactionId)
    : CompliancePacket(inTransactionId) {
  store(HPP_OPCODE, kGetRetentionClasses);
  if (inTransactionId != nullptr && QpLogging::isDebugLogging()) {
    QpLogging::Debug(TRANSACTION, "ComplianceGetRetentionClassesRequest(%s)",
                     QpStringConversion::toString(inTransactionId));
  }
}

ComplianceGetRetentionClassesRequest::ComplianceGetRetentionClassesRequest(
    const ComplianceGetRetentionClassesRequest& inOther)
    : CompliancePacket(inOther) {}

ComplianceGetRetentionClassesRequest::~ComplianceGetRetentionClassesRequest() {}

ComplianceGetRetentionClassesReply::ComplianceGetRetentionClassesReply(
    const QpBasicStringBuffer* /*inTransactionId*/)
    : CompliancePacket(nullptr) {}

ComplianceGetRetentionClassesReply::ComplianceGetRetentionClassesReply(
    const ComplianceGetRetentionClassesReply& inOther)
    : CompliancePacket(inOther) {}

ComplianceGetRetentionClassesReply::~ComplianceGetRetentionClassesReply() {}
