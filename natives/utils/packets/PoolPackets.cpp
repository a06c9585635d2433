// PoolPackets.cpp - probe and pool information messages, their datagram form and the reading of
// replica lists.
#include "PoolPackets.h"

#include "Connection.h"
#include "QpAddress.h"
#include "QpAddressArray.h"
#include "QpException.h"
#include "QpLogging.h"
#include "QpRaise.h"
#include "QpStringBuffer.h"
#include "QpStringConversion.h"

namespace {

const short kClientReplicaArray = 161;  // PoolClientPacket: one replica address per element
const short kServerReplicaArray = 374;  // PoolServerPacket: the same

}  // namespace

// ---- PoolPacket --------------------------------------------------------------------------------

PoolPacket::PoolPacket() {}

PoolPacket::PoolPacket(const QpSmartPacket& inOther) : NetworkPacket(inOther) {}

PoolPacket::PoolPacket(const QpBasicStringBuffer* inTransactionId)
    : NetworkPacket(inTransactionId) {
  store(POOLSERVER_VERSION, kPoolVersion);
}

PoolPacket::~PoolPacket() {}

QpLong PoolPacket::GetCapacity() {
  return GetLong(HPP_POOL_CAPACITY);
}

QpLong PoolPacket::GetBytesFree() {
  return GetLong(HPP_POOL_FREE);
}

void PoolPacket::GetClusterName(QpBasicStringBuffer& out) {
  GetString(HPP_CLUSTERNAME, out);
}

void PoolPacket::GetPoolVersion(QpBasicStringBuffer& out) {
  GetString(HPP_POOL_VERSION, out);
}

void PoolPacket::readReplicas(QpAddressArray& out, short inArrayCode, short inTextCode) {
  int vCount = 0;
  QpBasicStringBuffer* vItems = nullptr;
  if (GetExists(inArrayCode)) {
    vItems = GetStrArray(inArrayCode, vCount);
  } else {
    QpStringBuffer vList;
    GetString(inTextCode, vList);
    if (!vList.isEmpty()) out.storeAllAddresses(vList, 0, true);
    return;
  }
  try {
    for (int i = 0; i < vCount; ++i) {
      const char* vText = vItems[i].toStringConst();
      if (*vText == 0) continue;
      // A replica list comes from the server; one bad entry must not cost the others.
      try {
        QpAddress vAddress(vText, 2);
        if (vAddress.isAddressStringSupported()) out.pushAddress(vAddress, 0, true, 2);
      } catch (QpOutOfMemException&) {
        throw;
      } catch (QpException&) {
        if (QpLogging::isDebugLogging()) {
          QpLogging::Log(4, POOL, "Ignoring bad replica: '%s'",
                         QpStringConversion::removePercent(vText));
        }
      }
    }
  } catch (QpException&) {
    delete[] vItems;
    throw;
  }
  delete[] vItems;
}

// ---- PoolClientPacket --------------------------------------------------------------------------

PoolClientPacket::PoolClientPacket() {}

PoolClientPacket::PoolClientPacket(const QpSmartPacket& inOther) : PoolPacket(inOther) {}

PoolClientPacket::PoolClientPacket(const QpBasicStringBuffer* inTransactionId)
    : PoolPacket(inTransactionId) {
  store(NET_MESSAGEID, kMessageId);
}

PoolClientPacket::~PoolClientPacket() {}

void PoolClientPacket::GetClusterID(QpBasicStringBuffer& out) {
  GetString(HPP_CLUSTER_ID, out);
}

void PoolClientPacket::GetClusterCapabilities(QpBasicStringBuffer& out) {
  GetString(HPP_CAPABILITIES, out);
}

void PoolClientPacket::GetReplica(QpAddressArray& out) {
  readReplicas(out, kClientReplicaArray, HPP_REPLICA_LOCATIONS);
}

// ---- PoolServerPacket --------------------------------------------------------------------------

PoolServerPacket::PoolServerPacket() {}

PoolServerPacket::PoolServerPacket(const QpSmartPacket& inOther) : PoolPacket(inOther) {}

PoolServerPacket::PoolServerPacket(const QpBasicStringBuffer* inTransactionId)
    : PoolPacket(inTransactionId) {
  store(NET_MESSAGEID, kMessageId);
}

PoolServerPacket::~PoolServerPacket() {}

void PoolServerPacket::toBytes(void** outData, int* outLen) {
  QpSmartPacket::toBytes(outData, outLen);
  *outData = static_cast<char*>(*outData) + 8;
  *outLen -= 8;
}

template <class Receive>
void PoolServerPacket::receiveDatagram(Receive inReceive) {
  reserve(8 + kMaxDatagram);
  const int vLen = inReceive(mBuffer + 8, kMaxDatagram);
  // The sockets raise instead of returning a negative count; a connection that does not is
  // refused here, as is one that claims more than it was given room for.
  if (vLen < 0 || vLen > kMaxDatagram) {
    deleteMemory();
    qpRaise<QpSocketException>(QP_HERE, 0, "Unable to read packet data");
  }
  _setBytes(0, sPACKETMARKER, 4);
  _setInt(4, vLen);
  mUsedLen = 8 + vLen;
  resetCursor();
  try {
    checkMagic();
  } catch (QpException&) {
    deleteMemory();
    throw;
  }
  logReceived();
}

void PoolServerPacket::receive(QpConnection& conn) {
  receiveDatagram([&conn](void* outBuf, int inLen) { return conn.receive(outBuf, inLen); });
}

void PoolServerPacket::receive2(QpDatagramSocket& sock) {
  receiveDatagram([&sock](void* outBuf, int inLen) { return sock.receive2(outBuf, inLen); });
}

int PoolServerPacket::GetOpCode() {
  return GetInt(POOLSERVER_OPCODE);
}

void PoolServerPacket::GetClusterID(QpBasicStringBuffer& out) {
  GetString(POOLSERVER_CLUSTER_ID, out);
}

int PoolServerPacket::GetSegmentSize() {
  return GetInt(POOLSERVER_SEGMENT_SIZE);
}

QpLong PoolServerPacket::GetIdleTimeout() {
  return GetLong(POOLSERVER_IDLE_TIMEOUT);
}

void PoolServerPacket::GetClusterCapabilities(QpBasicStringBuffer& out) {
  GetString(POOLSERVER_CAPABILITIES, out);
}

void PoolServerPacket::GetArbitraryMMetaVersion(QpBasicStringBuffer& out) {
  GetString(POOLSERVER_ARBITRARY_MMETA_VER, out);
}

void PoolServerPacket::GetReplica(QpAddressArray& out) {
  readReplicas(out, kServerReplicaArray, POOLSERVER_REPLICA);
}

// ---- Messages ----------------------------------------------------------------------------------

HPPProbeRequest::HPPProbeRequest(const QpBasicStringBuffer* inTransactionId)
    : PoolServerPacket(inTransactionId) {
  store(POOLSERVER_OPCODE, kProbe);
  logTransaction("Probe Request", inTransactionId);
}

HPPProbeRequest::HPPProbeRequest(const HPPProbeRequest& inOther) : PoolServerPacket(inOther) {}

HPPProbeRequest::~HPPProbeRequest() {}

HPPProbeReply::HPPProbeReply(const QpBasicStringBuffer* inTransactionId) {
  logTransaction("Probe Reply", inTransactionId);
}

HPPProbeReply::HPPProbeReply(const HPPProbeReply& inOther) : PoolServerPacket(inOther) {}

HPPProbeReply::~HPPProbeReply() {}

HPPGetPoolInfoRequest::HPPGetPoolInfoRequest(const QpBasicStringBuffer* inTransactionId)
    : PoolClientPacket(inTransactionId) {
  store(HPP_OPCODE, kGetPoolInfo);
  logTransaction("GetPoolInfo Request", inTransactionId);
}

HPPGetPoolInfoRequest::HPPGetPoolInfoRequest(const HPPGetPoolInfoRequest& inOther)
    : PoolClientPacket(inOther) {}

HPPGetPoolInfoRequest::~HPPGetPoolInfoRequest() {}

HPPGetPoolInfoReply::HPPGetPoolInfoReply(const QpBasicStringBuffer* inTransactionId) {
  logTransaction("GetPoolInfo Reply", inTransactionId);
}

HPPGetPoolInfoReply::HPPGetPoolInfoReply(const HPPGetPoolInfoReply& inOther)
    : PoolClientPacket(inOther) {}

HPPGetPoolInfoReply::~HPPGetPoolInfoReply() {}
