// QueryPacket.h - the time-window query over a cluster's content (message family 48) and its
// result records.
//
// Threads: a packet is used by one thread at a time.
#ifndef QP_QUERY_PACKET_H
#define QP_QUERY_PACKET_H

#include "NetworkPacket.h"
#include "QpObjectGuid.h"

class QP_EXPORT QueryPacket : public NetworkPacket {
 public:
  static constexpr int kMessageId = 48;

  QueryPacket();  // an empty packet, for receiving
  // The common request fields, then NET_MESSAGEID, HPP_VERSION = 1 and HPP_CONTROL = 0.
  QueryPacket(const QpBasicStringBuffer* inTransactionId);
  QueryPacket(const QueryPacket& inOther);
  ~QueryPacket() override;

  // Slot 0: the query names, else the base table (so 108 prints as HPP_VERSION).
  const char* GetFieldName(long code, char* buf, unsigned int size) override;

  int GetResultCode();           // QUERY_RESULT_CODE, required
  QpLong GetResultTimestamp();   // QUERY_RESULT_TIMESTAMP, required
  QpClipGuid GetResultClipID();  // QUERY_RESULT_BLOBID as an id (at most 255 characters read)
  // Field 113 when it is a string (out untouched otherwise); the field is required.
  void GetResultString(QpBasicStringBuffer& out);
};

class QP_EXPORT HPPQueryRequest : public QueryPacket {
 public:
  static constexpr int kQuery = 1;  // QUERY_OPCODE

  // The window [inStart, inStop]; inQuery only when it is given and not empty.
  HPPQueryRequest(const QpBasicStringBuffer* inTransactionId, QpLong inStart, QpLong inStop,
                  const QpBasicStringBuffer* inQuery);
  HPPQueryRequest(const HPPQueryRequest& inOther);
  ~HPPQueryRequest() override;
};

class QP_EXPORT HPPQueryReply : public QueryPacket {
 public:
  HPPQueryReply(const QpBasicStringBuffer* inTransactionId);  // empty, for receiving
  HPPQueryReply(const HPPQueryReply& inOther);
  ~HPPQueryReply() override;
};

#endif  // QP_QUERY_PACKET_H
