// Tests of the object identifiers: SetID's checks, content address, discriminator, method,
// type characters, comparison and dummy ids.
#include <string>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

const std::string kClipCA = "0123456789ABCeDEFGHIJKLMNOP";  // 27 characters, "e" at 13
const std::string kBlobCA = "0123456789ABCxDEFGHIJKLMNOP";

TEST(QpObjectGuidTest, SetIDSplitsAcceptedIds) {
  const struct {
    std::string mID;
    const char* mDiscriminator;
    const char* mMethod;
    bool mClip;
  } kCases[] = {
      {kClipCA, nullptr, "MD5", true},
      {kBlobCA + "D", "D", "MG", false},
      {kClipCA + std::string(37, 'z'), "zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz", "MG", true},
  };
  for (const auto& c : kCases) {
    QpBlobGuid vGuid(c.mID.c_str());
    EXPECT_EQ(vGuid.toString(), c.mID);
    EXPECT_EQ(std::string(vGuid.GetCA()), c.mID.substr(0, 27));
    EXPECT_STREQ(vGuid.GetDiscriminator(), c.mDiscriminator);
    EXPECT_STREQ(vGuid.GetMethod(), c.mMethod);
    EXPECT_EQ(vGuid.isClipID(), c.mClip);
    EXPECT_EQ(vGuid.isBlobID(), !c.mClip);
    EXPECT_FALSE(vGuid.isEmpty());
  }
}

TEST(QpObjectGuidTest, SetIDRefusesMalformedIdsAndKeepsTheOldOne) {
  const std::string kUpper = "0123456789ABCEDEFGHIJKLMNOP";
  const std::string kDummy = "0123456789ABCuDEFGHIJKLMNOP";
  const std::string kLong = kClipCA + std::string(38, 'z');  // 65 characters
  const std::string kShort = kClipCA.substr(0, 26);
  const struct {
    const char* mID;
    std::string mTrace;
  } kCases[] = {
      {nullptr, "QpObjectGuid::SetID(NULL)"},
      {"", "QpObjectGuid::SetID()"},
      {kShort.c_str(), "QpObjectGuid::SetID(" + kShort + ")"},
      {kUpper.c_str(), "QpObjectGuid::SetID(" + kUpper + ")"},
      {kDummy.c_str(), "QpObjectGuid::SetID(" + kDummy + ")"},
      {kLong.c_str(), "QpObjectGuid::SetID(" + kLong + ")"},
  };
  QpClipGuid vGuid((kClipCA + "disc").c_str());
  for (const auto& c : kCases) {
    EXPECT_QP_FAILURE(QpParameterException, vGuid.SetID(c.mID), nullptr, c.mTrace.c_str());
    EXPECT_EQ(vGuid.toString(), kClipCA + "disc");
    EXPECT_STREQ(vGuid.GetDiscriminator(), "disc");
    EXPECT_STREQ(vGuid.GetMethod(), "MG");
  }
  try {
    vGuid.SetID(nullptr);
  } catch (QpException& e) {
    EXPECT_EQ(e.GetErrorCode(), -10006);
    EXPECT_EQ(e.GetSysErrorCode(), 0);
  }
}

TEST(QpObjectGuidTest, EmptyTypedCopiedAndCompared) {
  const QpObjectGuid vEmpty;
  EXPECT_TRUE(vEmpty.isEmpty());
  EXPECT_EQ(vEmpty.GetCA(), nullptr);
  EXPECT_EQ(vEmpty.GetDiscriminator(), nullptr);
  EXPECT_STREQ(vEmpty.GetMethod(), "MD5");
  EXPECT_FALSE(vEmpty.isClipID() || vEmpty.isBlobID());
  EXPECT_EQ(vEmpty.GetTypeChar(), 'u');
  EXPECT_EQ(QpClipGuid(kBlobCA.c_str()).GetTypeChar(), 'e');
  EXPECT_EQ(QpBlobGuid(kClipCA.c_str()).GetTypeChar(), 'x');

  const QpClipGuid vLong((kClipCA + "Disc").c_str());
  QpClipGuid vCopy(vLong);
  EXPECT_TRUE(vCopy == vLong);
  EXPECT_STREQ(vCopy.GetDiscriminator(), "Disc");
  vCopy = QpClipGuid(kClipCA.c_str());
  EXPECT_EQ(vCopy.GetDiscriminator(), nullptr);
  EXPECT_STREQ(vCopy.GetMethod(), "MD5");
  EXPECT_TRUE(vCopy != vLong);
  EXPECT_TRUE(QpObjectGuid((kClipCA + "disc").c_str()) != vLong) << "case matters";
}

TEST(QpObjectGuidTest, SetDummyID) {
  QpObjectGuid vA, vB;
  vA.SetDummyID();
  vB.SetDummyID();
  EXPECT_EQ(std::string(vA.toString()).size(), 27u);
  EXPECT_EQ(vA.toString()[13], 'u');
  EXPECT_TRUE(vA.isBlobID());
  EXPECT_STREQ(vA.GetMethod(), "MD5");
  EXPECT_TRUE(vA != vB);
  QpObjectGuid vSame;
  EXPECT_QP_FAILURE(QpParameterException, vSame.SetID(vA.toString()), nullptr,
                    ("QpObjectGuid::SetID(" + std::string(vA.toString()) + ")").c_str());

  const std::string vBefore = vA.toString();
  qpWalkAllocations([&] { vA.SetDummyID(); }, [&] { EXPECT_EQ(vA.toString(), vBefore); });
}

}  // namespace
