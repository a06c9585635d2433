// Tests of the HPP family: export segments, replies, accessors, blob ids and names.
#include <gmock/gmock.h>

#include <string>

#include "QpPacketTestHelpers.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

using qptest::Codes;
using qptest::codesOf;
using qptest::dumpOf;
using testing::HasSubstr;

namespace {

// A blob id: 27 characters with the type character 'x' at position 13.
const char* const kBlobId = "ABCDEFGHIJKLMxNOPQRSTUVWXYZ";

}  // namespace

TEST(HPPPacket, RequestFields) {
  QpStringBuffer vTid("T-5");
  const QpObjectGuid vId(kBlobId);
  const QpObjectGuid vNoId;
  const unsigned char kData[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const struct {
    const void* mData;
    int mLen;
    const QpObjectGuid* mId;
    Codes mOwn;    // after 4, 5, 0, 123, 301, 3, 108
    int mControl;  // field 113
    int mDataLen;  // field 118
  } kCases[] = {
      {kData, 10, &vId, {113, 114, 118}, 0, 10}, {nullptr, 0, &vId, {114, 118, 113, 102}, 1, 0},
      {kData, 0, &vNoId, {114, 118, 113}, 1, 0}, {kData, 0, nullptr, {114, 118, 113}, 1, 0},
      {kData, -1, &vId, {114, 118, 113}, 23, 0},
  };
  for (const auto& c : kCases) {
    HPPExportData p(&vTid, 4096, c.mData, c.mLen, c.mId);
    Codes vExpected = {4, 5, 0, 123, 301, 3, 108};
    vExpected.insert(vExpected.end(), c.mOwn.begin(), c.mOwn.end());
    EXPECT_EQ(codesOf(p), vExpected) << "length " << c.mLen;
    EXPECT_EQ(p.GetInt(NET_MESSAGEID), 42);
    EXPECT_EQ(p.GetInt(HPP_VERSION), 1);
    EXPECT_EQ(p.GetInt(HPP_CONTROL), c.mControl);
    EXPECT_EQ(p.GetOffset(), 4096);
    EXPECT_EQ(p.GetBlobDataLen(), c.mDataLen);
  }
  HPPExportData vLast(&vTid, 0, nullptr, 0, &vId);
  EXPECT_STREQ(vLast.GetBlobID().toString(), kBlobId);

  HPPFederationDiscoveryRequest vDiscover(&vTid);
  EXPECT_EQ(codesOf(vDiscover), (Codes{4, 5, 0, 123, 301, 3, 108, 113, 101}));
  EXPECT_EQ(vDiscover.GetOpCode(), 11);
  HPPExportData vPlain(nullptr);
  EXPECT_EQ(codesOf(vPlain), (Codes{4, 0, 123, 301, 3, 108, 113}));
}

TEST(HPPPacket, RepliesAndAccessors) {
  QpStringBuffer vTid("T-5");
  HPPExportReply a(&vTid);
  HPPExportAck b(&vTid);
  HPPImportData c(&vTid);
  HPPPurgeReply d(&vTid);
  HPPExistsReply e(&vTid);
  HPPFederationDiscoveryReply f(&vTid);
  for (HPPPacket* p : std::initializer_list<HPPPacket*>{&a, &b, &c, &d, &e, &f}) {
    EXPECT_EQ(codesOf(*p), (Codes{4, 0, 123, 301, 3, 108, 113}));
    EXPECT_EQ(p->GetError() + p->GetOffset(), -1);  // the defaults 0 and -1
  }
  a.store(HPP_ERROR, 5);
  a.store(HPP_BLOBSIZE, static_cast<QpLong>(1) << 40);
  a.store(HPP_NUMLOCATIONS, 2);
  a.store(HPP_CREATE_TIMESTAMP, 1700000000);
  EXPECT_EQ(a.GetError(), 5);
  EXPECT_EQ(a.GetBlobSize(), static_cast<QpLong>(1) << 40);
  EXPECT_EQ(a.GetNumLocations() + a.GetCreateTimeStamp(), 1700000002);
  EXPECT_QP_THROW(a.GetBlobData(), QpRequiredPacketFieldMissingException, "field id=118 missing");

  // Blob ids: 255 characters pass the length check (the id may still refuse them), 256 do not.
  b.store(HPP_BLOBID, (std::string(kBlobId) + std::string(255 - 27, 'd')).c_str());
  try {
    b.GetBlobID();
  } catch (QpParameterException& e) {
    EXPECT_NE(qpTake(e.GetMessageString()), "Invalid blob id length");
  }
  c.store(HPP_BLOBID, std::string(256, 'x').c_str());
  EXPECT_QP_THROW(c.GetBlobID(), QpParameterException, "Invalid blob id length");

  d.store(HPP_STORAGEBLOB_BASENAME, 1);
  EXPECT_THAT(dumpOf(a),
              HasSubstr("  HPP_CONTROL type=integer value=0\n  HPP_ERROR type=integer value=5\n"));
  EXPECT_THAT(dumpOf(a), HasSubstr("  fieldcode=301 type=integer value=65539\n"));
  EXPECT_THAT(dumpOf(d), HasSubstr("  HPP_STORAGEBLOB_BASENAME|TRANSPORT_OBJECT_ID type=integer"));
}

// The node's error code (HPP_ERROR) fails the reception; a control code alone does not.
TEST(HPPPacket, ReplyCheck) {
  QpSmartPacket vError, vControl;
  vError.store(HPP_ERROR, 5);
  vError.store(HPP_EXCEPTION, "no such blob");
  vControl.store(HPP_CONTROL, 18);
  vControl.store(HPP_ERROR, 0);
  qptest::Bytes vStream = qptest::imageOf(vError);
  const qptest::Bytes vSecond = qptest::imageOf(vControl);
  vStream.insert(vStream.end(), vSecond.begin(), vSecond.end());
  qptest::LoopbackPeer vPeer(true, 0, vStream);
  QpStreamSocket vSocket;
  vSocket.open(vPeer.address());
  HPPExportReply p(nullptr);
  EXPECT_QP_FAILURE(QpServerErrorException, p.receive(vSocket), "no such blob",
                    "HPPPacket.receive(-)");
  try {
    p.checkControl(1);  // success code: the failed reply leaves nothing to translate
  } catch (QpException&) {
    ADD_FAILURE();
  }
  p.receive(vSocket);
  EXPECT_EQ(p.GetControl(), 18);
  EXPECT_QP_THROW(p.checkControl(), QpNotAllowedException, nullptr);
}
