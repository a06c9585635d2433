// CompliancePacket.h - asking a cluster for its retention classes (message family 58). The
// reply's content is read with the packet's generic getters.
//
// Threads: a packet is used by one thread at a time.
#ifndef QP_COMPLIANCE_PACKET_H
#define QP_COMPLIANCE_PACKET_H

#include "NetworkPacket.h"

class QP_EXPORT CompliancePacket : public NetworkPacket {
 public:
  static constexpr int kMessageId = 58;

  // The common request fields, then NET_MESSAGEID and HPP_VERSION = 1.
  CompliancePacket(const QpBasicStringBuffer* inTransactionId = nullptr);
  CompliancePacket(const CompliancePacket& inOther);
  ~CompliancePacket() override;
};

class QP_EXPORT ComplianceGetRetentionClassesRequest : public CompliancePacket {
 public:
  static constexpr int kGetRetentionClasses = 10;  // field 101

  ComplianceGetRetentionClassesRequest(const QpBasicStringBuffer* inTransactionId = nullptr);
  ComplianceGetRetentionClassesRequest(const ComplianceGetRetentionClassesRequest& inOther);
  ~ComplianceGetRetentionClassesRequest() override;
};

class QP_EXPORT ComplianceGetRetentionClassesReply : public CompliancePacket {
 public:
  // The family's fields without a transaction id; receive replaces them.
  ComplianceGetRetentionClassesReply(const QpBasicStringBuffer* inTransactionId = nullptr);
  ComplianceGetRetentionClassesReply(const ComplianceGetRetentionClassesReply& inOther);
  ~ComplianceGetRetentionClassesReply() override;
};

#endif  // QP_COMPLIANCE_PACKET_H
