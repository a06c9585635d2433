// Tests of the pool family: the datagram form, the accessors, replicas, a probe over UDP.
#include <string>

#include "QpPacketTestHelpers.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

using qptest::Bytes;
using qptest::imageOf;

TEST(PoolPackets, Accessors) {
  QpSmartPacket f;
  f.store(HPP_POOL_CAPACITY, static_cast<QpLong>(5) << 40);
  f.store(HPP_POOL_FREE, static_cast<QpLong>(3) << 40);
  f.store(POOLSERVER_SEGMENT_SIZE, 65536);
  f.store(POOLSERVER_IDLE_TIMEOUT, static_cast<QpLong>(600));
  f.store(POOLSERVER_CLUSTER_TIMESTAMP, static_cast<QpLong>(1700000000000));
  for (short vCode : std::initializer_list<short>{
           HPP_CLUSTERNAME, HPP_POOL_VERSION, HPP_CLUSTER_ID, HPP_CAPABILITIES,
           POOLSERVER_CLUSTER_ID, POOLSERVER_CAPABILITIES, POOLSERVER_ARBITRARY_MMETA_VER})
    f.store(vCode, std::to_string(vCode).c_str());  // each text names its field
  PoolClientPacket c(f);
  PoolServerPacket s(f);
  EXPECT_EQ(c.GetCapacity() + c.GetBytesFree(), static_cast<QpLong>(8) << 40);
  EXPECT_EQ(s.GetSegmentSize() + s.GetIdleTimeout(), 66136);
  EXPECT_EQ(s.GetClusterTimestamp(), 1700000000000);
  QpStringBuffer a, b, d, e, g, h, i;
  c.GetClusterName(a), c.GetPoolVersion(b), c.GetClusterID(d), c.GetClusterCapabilities(e);
  s.GetClusterID(g), s.GetClusterCapabilities(h), s.GetArbitraryMMetaVersion(i);
  std::string vAll;
  for (QpStringBuffer* t : {&a, &b, &d, &e, &g, &h, &i})
    vAll += std::string(t->toStringConst()) + " ";
  EXPECT_EQ(vAll, "134 127 126 135 336 373 375 ");
  EXPECT_QP_THROW(s.GetOpCode(), QpRequiredPacketFieldMissingException, "field id=334 missing");
}

TEST(PoolPackets, Replicas) {
  // The array wins over the list text; empty elements and texts that are no address are skipped.
  QpSmartPacket vFields;
  QpStringBuffer vItems("10.1.2.3:4000,,ftp://bad,10.1.2.4");
  vFields.store(161, &vItems, ',');
  vFields.store(HPP_REPLICA_LOCATIONS, "10.9.9.9");
  vFields.store(POOLSERVER_REPLICA, "10.0.0.1,10.0.0.2");
  PoolClientPacket c(vFields);
  QpAddressArray vFromArray, vFromText;
  c.GetReplica(vFromArray);
  ASSERT_EQ(vFromArray.getSize(), 2);
  EXPECT_STREQ(vFromArray.getConstAddress(1), "10.1.2.4");
  PoolServerPacket s(vFields);
  s.GetReplica(vFromText);
  ASSERT_EQ(vFromText.getSize(), 2);
  EXPECT_STREQ(vFromText.getConstAddress(1), "10.0.0.2");
  QpSmartPacket vNone;
  vNone.store(1, 1);
  PoolServerPacket vEmpty(vNone);
  EXPECT_QP_THROW(vEmpty.GetReplica(vFromText), QpRequiredPacketFieldMissingException,
                  "field id=342 missing");
}

// A probe goes out as one datagram from the magic on; the answer comes back as one datagram,
// of at most 8192 bytes.
TEST(PoolPackets, ProbeOverUdp) {
  QpSmartPacket vFields;
  vFields.store(POOLSERVER_CLUSTER_ID, "c-7");
  const Bytes vImage = imageOf(vFields);
  QpStringBuffer vTid("T-4");
  HPPProbeRequest vProbe(&vTid);
  NetworkPacket vFullProbe(vProbe);
  const Bytes vProbeImage = imageOf(vFullProbe);
  EXPECT_EQ(imageOf(vProbe), Bytes(vProbeImage.begin() + 8, vProbeImage.end()));
  qptest::LoopbackPeer vPeer(false, 0, Bytes(vImage.begin() + 8, vImage.end()));
  QpDatagramSocket vSocket;
  vSocket.open(vPeer.address());
  vProbe.send(vSocket);
  HPPProbeReply vReply(&vTid);
  vReply.receive2(vSocket);
  EXPECT_EQ(vPeer.request(), imageOf(vProbe));
  NetworkPacket vFull(vReply);
  EXPECT_EQ(imageOf(vFull), vImage);

  Bytes vMax = qptest::hex("46535032 0001 03 001FF6");
  vMax.resize(8192, 0x11);
  qptest::MemoryConnection vWhole(vMax.data(), vMax.size());
  vReply.receive(vWhole);
  EXPECT_EQ(vReply.GetDataLen(1), 8182);
}
