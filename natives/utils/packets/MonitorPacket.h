// MonitorPacket.h - monitoring streams on a cluster (message family 40): open a stream, keep it
// alive, ask for discovery or statistics information or for event notifications, receive the
// answers as XML (passed through unread), and unregister.
//
// Threads: a packet is used by one thread at a time.
#ifndef QP_MONITOR_PACKET_H
#define QP_MONITOR_PACKET_H

#include "NetworkPacket.h"

class QP_EXPORT MonitorPacket : public NetworkPacket {
 public:
  static constexpr int kMessageId = 40;
  static constexpr int kFrmpVersion = 2;  // MONITOR_FRMP_VERSION

  // Slot 0: the monitor names, else the base table.
  const char* GetFieldName(long code, char* buf, unsigned int size) override;

  int GetCode(int def);         // MONITOR_OPCODE, def when absent
  int GetIdleTimeout(int def);  // MONITOR_IDLETIMEOUT, def when absent
  void* GetResultXML();         // MONITOR_RESULT_XML inside the image, required
  int GetResultXMLLen();        // its length in bytes, required

 protected:
  MonitorPacket();  // an empty packet, for receiving
  // The common request fields, then NET_MESSAGEID and MONITOR_FRMP_VERSION.
  MonitorPacket(const QpBasicStringBuffer* inTransactionId);
  MonitorPacket(const MonitorPacket& inOther);
  ~MonitorPacket() override;
};

class QP_EXPORT MonitorKeepAlive : public MonitorPacket {
 public:
  MonitorKeepAlive(const QpBasicStringBuffer* inTransactionId);
  MonitorKeepAlive(const MonitorKeepAlive& inOther);
  ~MonitorKeepAlive() override;
};

class QP_EXPORT MonitorOpenRequest : public MonitorPacket {
 public:
  MonitorOpenRequest(const QpBasicStringBuffer* inTransactionId);
  MonitorOpenRequest(const MonitorOpenRequest& inOther);
  ~MonitorOpenRequest() override;
};

class QP_EXPORT MonitorOpenAccept : public MonitorPacket {
 public:
  MonitorOpenAccept(const QpBasicStringBuffer* inTransactionId);  // empty, for receiving
  MonitorOpenAccept(const MonitorOpenAccept& inOther);
  ~MonitorOpenAccept() override;
};

class QP_EXPORT MonitorInfoRequest : public MonitorPacket {
 public:
  enum { kDiscovery = 0, kStatistics = 1 };  // the kinds of information

  // Any other kind is a broken internal assertion (QpSDKInternalException).
  MonitorInfoRequest(const QpBasicStringBuffer* inTransactionId,
                     const QpBasicStringBuffer& inStreamId, int inKind);
  MonitorInfoRequest(const MonitorInfoRequest& inOther);
  ~MonitorInfoRequest() override;
};

class QP_EXPORT MonitorImportData : public MonitorPacket {
 public:
  MonitorImportData(const QpBasicStringBuffer* inTransactionId);  // empty, for receiving
  MonitorImportData(const MonitorImportData& inOther);
  ~MonitorImportData() override;
};

class QP_EXPORT MonitorUnregister : public MonitorPacket {
 public:
  MonitorUnregister(const QpBasicStringBuffer* inTransactionId,
                    const QpBasicStringBuffer& inStreamId);
  MonitorUnregister(const MonitorUnregister& inOther);
  ~MonitorUnregister() override;
};

class QP_EXPORT MonitorEventRequest : public MonitorPacket {
 public:
  MonitorEventRequest(const QpBasicStringBuffer* inTransactionId,
                      const QpBasicStringBuffer& inStreamId);
  MonitorEventRequest(const MonitorEventRequest& inOther);
  ~MonitorEventRequest() override;
};

class QP_EXPORT MonitorEventData : public MonitorPacket {
 public:
  MonitorEventData(const QpBasicStringBuffer* inTransactionId);  // empty, for receiving
  MonitorEventData(const MonitorEventData& inOther);
  ~MonitorEventData() override;
};

#endif  // QP_MONITOR_PACKET_H
