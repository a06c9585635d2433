// HPPPacket.cpp - the data-operation family: common fields, export segments, the reply check.
#include "HPPPacket.h"

#include "PacketFieldNamesInternal.h"
#include "QpException.h"
#include "QpObjectGuid.h"
#include "QpRaise.h"
#include "QpStringBuffer.h"

// ---- HPPPacket ---------------------------------------------------------------------------------

HPPPacket::HPPPacket(const QpBasicStringBuffer* inTransactionId) : NetworkPacket(inTransactionId) {
  store(NET_MESSAGEID, kMessageId);
  store(HPP_VERSION, kVersion);
  store(HPP_CONTROL, 0);
}

HPPPacket::HPPPacket(const HPPPacket& inOther) : NetworkPacket(inOther) {}

HPPPacket::~HPPPacket() {}

const char* HPPPacket::GetFieldName(long code, char* buf, unsigned int size) {
  const char* vName = qpCopyFieldName(kHPPNames, code, buf, size);
  return vName != nullptr ? vName : NetworkPacket::GetFieldName(code, buf, size);
}

void HPPPacket::receive(QpConnection& conn) {
  QP_TRACE_BEGIN
  NetworkPacket::receive(conn);
  const int vError = GetInt(HPP_ERROR, 0);
  if (vError != 0) {
    QpServerErrorException vE(vError);
    QpStringBuffer vText;
    GetException(vText);
    if (!vText.isEmpty()) vE.SetMessage(vText);
    qpThrow(vE, QP_HERE);
  }
  QP_TRACE_END("HPPPacket.receive(-)")
}

int HPPPacket::GetError() {
  return GetInt(HPP_ERROR, 0);
}

QpLong HPPPacket::GetOffset() {
  return GetLong(HPP_OFFSET, static_cast<QpLong>(-1));
}

QpLong HPPPacket::GetBlobSize() {
  return GetLong(HPP_BLOBSIZE);
}

void* HPPPacket::GetBlobData() {
  return GetData(HPP_SEGDATA);
}

int HPPPacket::GetBlobDataLen() {
  return GetDataLen(HPP_SEGDATA);
}

int HPPPacket::GetNumLocations() {
  return GetInt(HPP_NUMLOCATIONS);
}

int HPPPacket::GetCreateTimeStamp() {
  return GetInt(HPP_CREATE_TIMESTAMP);
}

QpObjectGuid HPPPacket::GetBlobID() {
  char vBuffer[256];
  int vLen = 0;
  GetStringLen(HPP_BLOBID, &vLen);
  if (vLen >= static_cast<int>(sizeof(vBuffer))) {
    qpRaise<QpParameterException>(QP_HERE, 0, "Invalid blob id length");
  }
  vLen = sizeof(vBuffer);
  GetString(HPP_BLOBID, vBuffer, &vLen);
  return QpObjectGuid(vBuffer);
}

// ---- Export data -------------------------------------------------------------------------------

HPPExportData::HPPExportData(const QpBasicStringBuffer* inTransactionId)
    : HPPPacket(inTransactionId) {}

HPPExportData::HPPExportData(const QpBasicStringBuffer* inTransactionId, QpLong inOffset,
                             const void* inData, int inLen, const QpObjectGuid* inBlobId)
    : HPPPacket(inTransactionId) {
  Init(inTransactionId, inOffset, inData, inLen, inBlobId);
}

HPPExportData::HPPExportData(const HPPExportData& inOther) : HPPPacket(inOther) {}

HPPExportData::~HPPExportData() {}

void HPPExportData::Init(const QpBasicStringBuffer* inTransactionId, QpLong inOffset,
                         const void* inData, int inLen, const QpObjectGuid* inBlobId) {
  store(HPP_OFFSET, inOffset);
  static const unsigned char kNoData = 0;
  if (inData != nullptr && inLen > 0) {
    store(HPP_SEGDATA, static_cast<const unsigned char*>(inData), inLen);
  } else {
    store(HPP_SEGDATA, &kNoData, 0);
  }
  if (inLen == -1) {
    Set(HPP_CONTROL, kAbort);
  } else if (inLen == 0) {
    Set(HPP_CONTROL, kLastSegment);
    // Only the last segment names the blob: the node then knows the whole of it.
    if (inBlobId != nullptr && !inBlobId->isEmpty()) store(HPP_BLOBID, inBlobId->toString());
  }
  logTransaction("Export Data", inTransactionId);
}

// ---- Replies and discovery ---------------------------------------------------------------------

#define QP_HPP_REPLY(Class, Label)                                                \
  Class::Class(const QpBasicStringBuffer* inTransactionId) : HPPPacket(nullptr) { \
    logTransaction(Label, inTransactionId);                                       \
  }                                                                               \
  Class::Class(const Class& inOther) : HPPPacket(inOther) {}                      \
  Class::~Class() {}

QP_HPP_REPLY(HPPExportReply, "Export Reply")
QP_HPP_REPLY(HPPExportAck, "Export Ack")
QP_HPP_REPLY(HPPImportData, "Import Data")
QP_HPP_REPLY(HPPPurgeReply, "Purge Reply")
QP_HPP_REPLY(HPPExistsReply, "Exists Reply")
QP_HPP_REPLY(HPPFederationDiscoveryReply, "Federation Reply")

#undef QP_HPP_REPLY

HPPFederationDiscoveryRequest::HPPFederationDiscoveryRequest(
    const QpBasicStringBuffer* inTransactionId)
    : HPPPacket(inTransactionId) {
  store(HPP_OPCODE, kDiscover);
}

HPPFederationDiscoveryRequest::HPPFederationDiscoveryRequest(
    const HPPFederationDiscoveryRequest& inOther)
    : HPPPacket(inOther) {}

HPPFederationDiscoveryRequest::~HPPFederationDiscoveryRequest() {}
