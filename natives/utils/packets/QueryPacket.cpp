// QueryPacket.cpp - the query family.
#include "QueryPacket.h"

#include "PacketFieldNamesInternal.h"
#include "QpObjectGuid.h"
#include "QpStringBuffer.h"

// Field 113 of a query reply carries the result text; it has no name of its own.
static const short kResultString = 113;

QueryPacket::QueryPacket() {}

QueryPacket::QueryPacket(const QpBasicStringBuffer* inTransactionId)
    : NetworkPacket(inTransactionId) {
  store(NET_MESSAGEID, kMessageId);
  store(HPP_VERSION, 1);
  store(HPP_CONTROL, 0);
}

QueryPacket::QueryPacket(const QueryPacket& inOther) : NetworkPacket(inOther) {}

QueryPacket::~QueryPacket() {}

const char* QueryPacket::GetFieldName(long code, char* buf, unsigned int size) {
  const char* vName = qpCopyFieldName(kQueryNames, code, buf, size);
  return vName != nullptr ? vName : NetworkPacket::GetFieldName(code, buf, size);
}

int QueryPacket::GetResultCode() {
  return GetInt(QUERY_RESULT_CODE);
}

QpLong QueryPacket::GetResultTimestamp() {
  return GetLong(QUERY_RESULT_TIMESTAMP);
}

QpClipGuid QueryPacket::GetResultClipID() {
  char vBuffer[256];
  int vLen = sizeof(vBuffer);
  GetString(QUERY_RESULT_BLOBID, vBuffer, &vLen);
  return QpClipGuid(vBuffer);
}

void QueryPacket::GetResultString(QpBasicStringBuffer& out) {
  GetString(kResultString, out);
}

HPPQueryRequest::HPPQueryRequest(const QpBasicStringBuffer* inTransactionId, QpLong inStart,
                                 QpLong inStop, const QpBasicStringBuffer* inQuery)
    : QueryPacket(inTransactionId) {
  store(QUERY_OPCODE, kQuery);
  store(QUERY_START_TIMESTAMP, inStart);
  store(QUERY_STOP_TIMESTAMP, inStop);
  if (inQuery != nullptr && !inQuery->isEmpty()) store(QUERY_QUERY_STRING, inQuery);
  logTransaction("Query Request", inTransactionId);
}

HPPQueryRequest::HPPQueryRequest(const HPPQueryRequest& inOther) : QueryPacket(inOther) {}

HPPQueryRequest::~HPPQueryRequest() {}

HPPQueryReply::HPPQueryReply(const QpBasicStringBuffer* inTransactionId) {
  logTransaction("Query Reply", inTransactionId);
}

HPPQueryReply::HPPQueryReply(const HPPQueryReply& inOther) : QueryPacket(inOther) {}

HPPQueryReply::~HPPQueryReply() {}
