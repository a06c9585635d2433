// Tests of the pool family: field order, the datagram form and the accessors.
#include <string>

#include "QpPacketTestHelpers.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

using qptest::Bytes;
using qptest::Codes;
using qptest::codesOf;
using qptest::imageOf;

TEST(PoolPackets, RequestFields) {
  QpStringBuffer vTid("T-4");
  HPPProbeRequest vProbe(&vTid);
  EXPECT_EQ(codesOf(vProbe), (Codes{4, 5, 0, 123, 301, 333, 3, 334}));
  EXPECT_EQ(vProbe.GetInt(POOLSERVER_VERSION), 1);
  EXPECT_EQ(vProbe.GetInt(NET_MESSAGEID), 36);
  EXPECT_EQ(vProbe.GetOpCode(), 1);
  // The datagram form is the image from its magic on.
  const Bytes vDatagram = imageOf(vProbe);
  NetworkPacket vFull(vProbe);
  const Bytes vImage = imageOf(vFull);
  EXPECT_EQ(vDatagram, Bytes(vImage.begin() + 8, vImage.end()));
  EXPECT_EQ(std::string(vDatagram.begin(), vDatagram.begin() + 4), "FSP2");

  HPPGetPoolInfoRequest vInfo;
  EXPECT_EQ(codesOf(vInfo), (Codes{4, 0, 123, 301, 333, 3, 101}));
  EXPECT_EQ(vInfo.GetInt(NET_MESSAGEID), 31);
  EXPECT_EQ(vInfo.GetOpCode(), 5);
  HPPProbeReply vProbeReply(&vTid);
  HPPGetPoolInfoReply vInfoReply(&vTid);
  EXPECT_TRUE(codesOf(vProbeReply).empty() && codesOf(vInfoReply).empty());
}

TEST(PoolPackets, Accessors) {
  QpSmartPacket f;
  f.store(HPP_POOL_CAPACITY, static_cast<QpLong>(5) << 40);
  f.store(HPP_POOL_FREE, static_cast<QpLong>(3) << 40);
  f.store(POOLSERVER_SEGMENT_SIZE, 65536);
  f.store(POOLSERVER_IDLE_TIMEOUT, static_cast<QpLong>(600));
  f.store(POOLSERVER_CLUSTER_TIMESTAMP, static_cast<QpLong>(1700000000000));
  for (short vCode : std::initializer_list<short>{
           HPP_CLUSTERNAME, HPP_POOL_VERSION, HPP_CLUSTER_ID, HPP_CAPABILITIES,
           POOLSERVER_CLUSTER_ID, POOLSERVER_CAPABILITIES, POOLSERVER_ARBITRARY_MMETA_VER}) {
    f.store(vCode, std::to_string(vCode).c_str());  // each text names its field
  }
  PoolClientPacket c(f);
  PoolServerPacket s(f);
  EXPECT_EQ(c.GetCapacity(), static_cast<QpLong>(5) << 40);
  EXPECT_EQ(c.GetBytesFree(), static_cast<QpLong>(3) << 40);
  EXPECT_EQ(s.GetSegmentSize(), 65536);
  EXPECT_EQ(s.GetIdleTimeout(), 600);
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
  QpAddressArray vFromArray;
  c.GetReplica(vFromArray);
  ASSERT_EQ(vFromArray.getSize(), 2);
  EXPECT_STREQ(vFromArray.getConstAddress(0), "10.1.2.3:4000");
  EXPECT_STREQ(vFromArray.getConstAddress(1), "10.1.2.4");

  PoolServerPacket s(vFields);
  QpAddressArray vFromText;
  s.GetReplica(vFromText);
  ASSERT_EQ(vFromText.getSize(), 2);
  EXPECT_STREQ(vFromText.getConstAddress(1), "10.0.0.2");
  QpSmartPacket vNone;
  vNone.store(1, 1);
  PoolServerPacket vEmpty(vNone);
  EXPECT_QP_THROW(vEmpty.GetReplica(vFromText), QpRequiredPacketFieldMissingException,
                  "field id=342 missing");
}

// A probe goes out as one datagram from the magic on; the answer comes back as one datagram.
TEST(PoolPackets, ProbeOverUdp) {
  QpSmartPacket vFields;
  vFields.store(POOLSERVER_CLUSTER_ID, "c-7");
  const Bytes vImage = imageOf(vFields);
  const Bytes vAnswer(vImage.begin() + 8, vImage.end());
  QpStringBuffer vTid("T-4");
  HPPProbeRequest vProbe(&vTid);

  qptest::LoopbackPeer vPeer(false, 0, vAnswer);
  QpDatagramSocket vSocket;
  vSocket.open(vPeer.address());
  vProbe.send(vSocket);
  HPPProbeReply vReply(&vTid);
  vReply.receive2(vSocket);
  EXPECT_EQ(vPeer.request(), imageOf(vProbe));
  QpStringBuffer vId;
  vReply.GetClusterID(vId);
  EXPECT_STREQ(vId.toStringConst(), "c-7");
  NetworkPacket vFull(vReply);
  EXPECT_EQ(imageOf(vFull), vImage);
}

TEST(PoolPackets, DatagramLimits) {
  // 8192 bytes are taken whole; a datagram must begin with the magic.
  Bytes vMax = qptest::hex("46535032 0001 03 001FF6");
  vMax.resize(8192, 0x11);
  qptest::MemoryConnection vFull(vMax.data(), vMax.size());
  HPPProbeReply p(nullptr);
  p.receive(vFull);
  EXPECT_EQ(p.GetDataLen(1), 8182);
  NetworkPacket vCopy(p);
  EXPECT_EQ(imageOf(vCopy).size(), 8200u);
  const Bytes vBad = qptest::hex("46535033 0001 01 000004 00000001");
  qptest::MemoryConnection vWrong(vBad.data(), vBad.size());
  EXPECT_QP_THROW(p.receive(vWrong), QpPacketDataException, nullptr);
}
