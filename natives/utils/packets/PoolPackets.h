// PoolPackets.h - the messages with which a client learns about a storage pool before it works
// with it: the probe of an access node (PoolServerPacket, message family 36, which may travel in
// datagrams) and the pool information exchange (PoolClientPacket, family 31, over a stream).
//
// Datagram form: a PoolServerPacket hands out its image without the marker and size, so that the
// datagram starts with the magic "FSP2", and receives one datagram of at most 8192 bytes.
//
// Threads: a packet is used by one thread at a time.
#ifndef QP_POOL_PACKETS_H
#define QP_POOL_PACKETS_H

#include "NetworkPacket.h"

class QpAddressArray;
class QpDatagramSocket;

class QP_EXPORT PoolPacket : public NetworkPacket {
 public:
  static constexpr int kPoolVersion = 1;  // POOLSERVER_VERSION in every request

  PoolPacket();  // an empty packet, for receiving
  PoolPacket(const QpSmartPacket& inOther);
  // The common request fields, then POOLSERVER_VERSION.
  PoolPacket(const QpBasicStringBuffer* inTransactionId);
  ~PoolPacket() override;

  QpLong GetCapacity();                           // HPP_POOL_CAPACITY, required
  QpLong GetBytesFree();                          // HPP_POOL_FREE, required
  void GetClusterName(QpBasicStringBuffer& out);  // HPP_CLUSTERNAME, required
  void GetPoolVersion(QpBasicStringBuffer& out);  // HPP_POOL_VERSION, required

 protected:
  // Appends the replicas of the array field inArrayCode, or when it is absent the address list
  // of the text field inTextCode (then required). Entries that are no usable address are skipped.
  void readReplicas(QpAddressArray& out, short inArrayCode, short inTextCode);
};

class QP_EXPORT PoolClientPacket : public PoolPacket {
 public:
  static constexpr int kMessageId = 31;

  PoolClientPacket();
  PoolClientPacket(const QpSmartPacket& inOther);
  PoolClientPacket(const QpBasicStringBuffer* inTransactionId);
  ~PoolClientPacket() override;

  void GetClusterID(QpBasicStringBuffer& out);            // HPP_CLUSTER_ID, required
  void GetClusterCapabilities(QpBasicStringBuffer& out);  // HPP_CAPABILITIES, required
  // Field 161 (one address per element), else HPP_REPLICA_LOCATIONS as one list text.
  void GetReplica(QpAddressArray& out);
};

class QP_EXPORT PoolServerPacket : public PoolPacket {
 public:
  static constexpr int kMessageId = 36;
  static constexpr int kMaxDatagram = 8192;  // payload bytes of one datagram, magic included

  PoolServerPacket();
  PoolServerPacket(const QpSmartPacket& inOther);
  PoolServerPacket(const QpBasicStringBuffer* inTransactionId);
  ~PoolServerPacket() override;

  // Slot 2: the datagram form, from the magic on.
  void toBytes(void** outData, int* outLen) override;
  // Slot 5: one datagram from conn replaces the content.
  void receive(QpConnection& conn) override;
  // The same through the datagram socket's receive2.
  void receive2(QpDatagramSocket& sock);

  int GetOpCode();                                          // POOLSERVER_OPCODE, required
  void GetClusterID(QpBasicStringBuffer& out);              // POOLSERVER_CLUSTER_ID, required
  int GetSegmentSize();                                     // POOLSERVER_SEGMENT_SIZE, required
  QpLong GetIdleTimeout();                                  // POOLSERVER_IDLE_TIMEOUT, required
  void GetClusterCapabilities(QpBasicStringBuffer& out);    // POOLSERVER_CAPABILITIES, required
  void GetArbitraryMMetaVersion(QpBasicStringBuffer& out);  // POOLSERVER_ARBITRARY_MMETA_VER
  // Field 374 (one address per element), else POOLSERVER_REPLICA as one list text.
  void GetReplica(QpAddressArray& out);

 private:
  // Loads the datagram that inReceive (a receive of inMaxLen bytes into a buffer) delivers.
  template <class Receive>
  void receiveDatagram(Receive inReceive);
};

class QP_EXPORT HPPProbeRequest : public PoolServerPacket {
 public:
  static constexpr int kProbe = 1;  // POOLSERVER_OPCODE

  HPPProbeRequest(const QpBasicStringBuffer* inTransactionId = nullptr);
  HPPProbeRequest(const HPPProbeRequest& inOther);
  ~HPPProbeRequest() override;
};

class QP_EXPORT HPPProbeReply : public PoolServerPacket {
 public:
  HPPProbeReply(const QpBasicStringBuffer* inTransactionId);  // empty, for receiving
  HPPProbeReply(const HPPProbeReply& inOther);
  ~HPPProbeReply() override;
};

class QP_EXPORT HPPGetPoolInfoRequest : public PoolClientPacket {
 public:
  static constexpr int kGetPoolInfo = 5;  // HPP_OPCODE

  HPPGetPoolInfoRequest(const QpBasicStringBuffer* inTransactionId = nullptr);
  HPPGetPoolInfoRequest(const HPPGetPoolInfoRequest& inOther);
  ~HPPGetPoolInfoRequest() override;
};

class QP_EXPORT HPPGetPoolInfoReply : public PoolClientPacket {
 public:
  HPPGetPoolInfoReply(const QpBasicStringBuffer* inTransactionId);  // empty, for receiving
  HPPGetPoolInfoReply(const HPPGetPoolInfoReply& inOther);
  ~HPPGetPoolInfoReply() override;
};

#endif  // QP_POOL_PACKETS_H
