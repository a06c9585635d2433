// MonitorPacket.cpp - the monitoring family.
#include "MonitorPacket.h"

#include "PacketFieldNamesInternal.h"
#include "QpException.h"

namespace {

// MONITOR_OPCODE values.
const int kOpOpen = 0;
const int kOpRequest = 6;
const int kOpUnregister = 7;
const int kOpKeepAlive = 21;
// MONITOR_EVENT_TYPE values.
const int kEventInformation = 2;
const int kEventNotification = 8;

const char* const kInfoParameters[] = {
    "<parameter name=\"module\" value=\"RemoteManager\"/>"
    "<parameter name=\"command\" value=\"getmonitoringdiscovery\"/>",
    "<parameter name=\"module\" value=\"RemoteManager\"/>"
    "<parameter name=\"command\" value=\"getmonitoringstatistics\"/>",
};

}  // namespace

// ---- MonitorPacket -----------------------------------------------------------------------------

MonitorPacket::MonitorPacket() {}

MonitorPacket::MonitorPacket(const QpBasicStringBuffer* inTransactionId)
    : NetworkPacket(inTransactionId) {
  store(NET_MESSAGEID, kMessageId);
  store(MONITOR_FRMP_VERSION, kFrmpVersion);
}

MonitorPacket::MonitorPacket(const MonitorPacket& inOther) : NetworkPacket(inOther) {}

MonitorPacket::~MonitorPacket() {}

const char* MonitorPacket::GetFieldName(long code, char* buf, unsigned int size) {
  const char* vName = qpCopyFieldName(kMonitorNames, code, buf, size);
  return vName != nullptr ? vName : NetworkPacket::GetFieldName(code, buf, size);
}

int MonitorPacket::GetCode(int def) {
  return GetInt(MONITOR_OPCODE, def);
}

int MonitorPacket::GetIdleTimeout(int def) {
  return GetInt(MONITOR_IDLETIMEOUT, def);
}

void* MonitorPacket::GetResultXML() {
  return GetData(MONITOR_RESULT_XML);
}

int MonitorPacket::GetResultXMLLen() {
  return GetDataLen(MONITOR_RESULT_XML);
}

// ---- Messages ----------------------------------------------------------------------------------

#define QP_MONITOR_COPY(Class)                                   \
  Class::Class(const Class& inOther) : MonitorPacket(inOther) {} \
  Class::~Class() {}

MonitorKeepAlive::MonitorKeepAlive(const QpBasicStringBuffer* inTransactionId)
    : MonitorPacket(inTransactionId) {
  store(MONITOR_OPCODE, kOpKeepAlive);
  logTransaction("Monitor keep alive", inTransactionId);
}
QP_MONITOR_COPY(MonitorKeepAlive)

MonitorOpenRequest::MonitorOpenRequest(const QpBasicStringBuffer* inTransactionId)
    : MonitorPacket(inTransactionId) {
  store(MONITOR_OPCODE, kOpOpen);
  store(MONITOR_USERNAME, "monitor");
  logTransaction("Monitor Open Request", inTransactionId);
}
QP_MONITOR_COPY(MonitorOpenRequest)

MonitorOpenAccept::MonitorOpenAccept(const QpBasicStringBuffer* inTransactionId) {
  logTransaction("Monitor Open Accept", inTransactionId);
}
QP_MONITOR_COPY(MonitorOpenAccept)

MonitorInfoRequest::MonitorInfoRequest(const QpBasicStringBuffer* inTransactionId,
                                       const QpBasicStringBuffer& inStreamId, int inKind)
    : MonitorPacket(inTransactionId) {
  store(MONITOR_OPCODE, kOpRequest);
  store(MONITOR_STREAM_ID, &inStreamId);
  store(MONITOR_TARGET_XML, "");
  store(MONITOR_EVENT_TYPE, kEventInformation);
  if (inKind != kDiscovery && inKind != kStatistics) {
    QpSDKInternalException::Throw(__FILE__, __LINE__, "false");
  }
  store(MONITOR_FILTER_XML, kInfoParameters[inKind]);
  logTransaction("Monitor Info Request", inTransactionId);
}
QP_MONITOR_COPY(MonitorInfoRequest)

MonitorImportData::MonitorImportData(const QpBasicStringBuffer* inTransactionId) {
  logTransaction("Monitor Info Data", inTransactionId);
}
QP_MONITOR_COPY(MonitorImportData)

MonitorUnregister::MonitorUnregister(const QpBasicStringBuffer* inTransactionId,
                                     const QpBasicStringBuffer& inStreamId)
    : MonitorPacket(inTransactionId) {
  store(MONITOR_OPCODE, kOpUnregister);
  store(MONITOR_STREAM_ID, &inStreamId);
  logTransaction("Monitor Unregister", inTransactionId);
}
QP_MONITOR_COPY(MonitorUnregister)

MonitorEventRequest::MonitorEventRequest(const QpBasicStringBuffer* inTransactionId,
                                         const QpBasicStringBuffer& inStreamId)
    : MonitorPacket(inTransactionId) {
  store(MONITOR_OPCODE, kOpRequest);
  store(MONITOR_STREAM_ID, &inStreamId);
  store(MONITOR_TARGET_XML, "");
  store(MONITOR_FILTER_XML, "");
  store(MONITOR_EVENT_TYPE, kEventNotification);
  logTransaction("Monitor Event Request", inTransactionId);
}
QP_MONITOR_COPY(MonitorEventRequest)

MonitorEventData::MonitorEventData(const QpBasicStringBuffer* inTransactionId) {
  logTransaction("Monitor Event Data", inTransactionId);
}
QP_MONITOR_COPY(MonitorEventData)

#undef QP_MONITOR_COPY
