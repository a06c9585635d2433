// Tests of the object identifiers: SetID's checks, content address, discriminator, method,
// type characters, comparison and dummy ids.

#include "QpTestSupport.h"

const std::string kClipCA = "0123456789ABCeDEFGHIJKLMNOP";  // 27 characters, "e" at 13
const std::string kBlobCA = "0123456789ABCxDEFGHIJKLMNOP";

TEST(QpObjectGuidTest, SetIDSplitsAcceptedIdsAndRefusesMalformedOnes) {
  const struct {
    std::string mID;
    const char* mDiscriminator;
    const char* mMethod;
  } kCases[] = {
      {kClipCA, nullptr, "MD5"},
      {kBlobCA + "D", "D", "MG"},
      {kClipCA + std::string(37, 'z'), "zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz", "MG"},
  };
  for (const auto& c : kCases) {
    QpBlobGuid vGuid(c.mID.c_str());
    EXPECT_EQ(vGuid.toString(), c.mID);
    EXPECT_EQ(std::string(vGuid.GetCA()), c.mID.substr(0, 27));
    EXPECT_STREQ(vGuid.GetDiscriminator(), c.mDiscriminator);
    EXPECT_STREQ(vGuid.GetMethod(), c.mMethod);
    EXPECT_EQ(vGuid.isClipID(), c.mID[13] == 'e');
    EXPECT_EQ(vGuid.isBlobID(), c.mID[13] != 'e');
  }
  QpClipGuid vGuid((kClipCA + "disc").c_str());
  EXPECT_QP_FAILURE(QpParameterException, vGuid.SetID(nullptr), nullptr,
                    "QpObjectGuid::SetID(NULL)");
  for (const std::string& vID :
       {std::string(), kClipCA.substr(0, 26), kClipCA + std::string(38, 'z'),
        std::string("0123456789ABCEDEFGHIJKLMNOP"), std::string("0123456789ABCuDEFGHIJKLMNOP")}) {
    EXPECT_QP_FAILURE(QpParameterException, vGuid.SetID(vID.c_str()), nullptr,
                      ("QpObjectGuid::SetID(" + vID + ")").c_str());
    EXPECT_EQ(vGuid.toString(), kClipCA + "disc");
    EXPECT_STREQ(vGuid.GetMethod(), "MG");
  }
}

TEST(QpObjectGuidTest, EmptyTypedComparedAndDummy) {
  EXPECT_EQ(QpObjectGuid().GetTypeChar(), 'u');
  EXPECT_EQ(QpClipGuid(kBlobCA.c_str()).GetTypeChar(), 'e');
  EXPECT_EQ(QpBlobGuid(kClipCA.c_str()).GetTypeChar(), 'x');
  const QpClipGuid vLong((kClipCA + "Disc").c_str());
  EXPECT_TRUE(QpClipGuid(vLong) == vLong);
  EXPECT_TRUE(QpObjectGuid((kClipCA + "disc").c_str()) != vLong) << "case matters";

  QpObjectGuid vA, vB;
  vA.SetDummyID();
  vB.SetDummyID();
  EXPECT_EQ(std::string(vA.toString()).size(), 27u);
  EXPECT_EQ(vA.toString()[13], 'u');
  EXPECT_TRUE(vA.isBlobID());
  EXPECT_TRUE(vA != vB);
  const std::string vBefore = vA.toString();
  qpWalkAllocations([&] { vA.SetDummyID(); }, [&] { EXPECT_EQ(vA.toString(), vBefore); });
}
