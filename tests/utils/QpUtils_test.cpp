// Tests of the process-wide settings.
#include <string>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

typedef int (*Getter)();
typedef void (*Setter)(int);

struct Setting {
  const char* mName;
  Getter mGet;
  Setter mSet;
  int mInitial;
};

const Setting kSettings[] = {
    {"TCPNoDelay", &QpUtils::GetSocketOptionTCPNoDelay, &QpUtils::SetSocketOptionTCPNoDelay, 1},
    {"DebugMode", &QpUtils::GetSocketOptionDebugMode, &QpUtils::SetSocketOptionDebugMode, -2},
    {"ReceiveBufferSize", &QpUtils::GetSocketOptionReceiveBufferSize,
     &QpUtils::SetSocketOptionReceiveBufferSize, -2},
    {"SendBufferSize", &QpUtils::GetSocketOptionSendBufferSize,
     &QpUtils::SetSocketOptionSendBufferSize, -2},
    {"TCPMaxRT", &QpUtils::GetSocketOptionTCPMaxRT, &QpUtils::SetSocketOptionTCPMaxRT, -2},
    {"TCPMaxSegSize", &QpUtils::GetSocketOptionTCPMaxSegSize,
     &QpUtils::SetSocketOptionTCPMaxSegSize, -2},
};

// The settings are process-wide: every test puts back what it found.
class QpUtilsTest : public testing::Test {
 protected:
  void SetUp() override {
    for (size_t i = 0; i < 6; ++i) mSaved[i] = kSettings[i].mGet();
    mSavedXml = QpUtils::isReadOfInvalidXMLAllowed();
  }
  void TearDown() override {
    // A saved value the setter refuses (the initial -2) cannot be put back through the API; the
    // tests that depend on it run first or in a process of their own.
    for (size_t i = 0; i < 6; ++i) {
      try {
        kSettings[i].mSet(mSaved[i]);
      } catch (QpOutOfBoundsException&) {
      }
    }
    QpUtils::SetAllowReadOfInvalidXML(mSavedXml ? 1 : 0);
  }

  int mSaved[6];
  bool mSavedXml;
};

// Expects inSet(inValue) to be refused with the exact message and trace, leaving the value.
void expectRefused(const Setting& inSetting, int inValue, const char* inMessage) {
  SCOPED_TRACE(std::string(inSetting.mName) + " " + std::to_string(inValue));
  const int vBefore = inSetting.mGet();
  try {
    inSetting.mSet(inValue);
    ADD_FAILURE() << "accepted";
  } catch (QpOutOfBoundsException& e) {
    EXPECT_EQ(e.GetErrorCode(), QP_OUT_OF_BOUNDS_ERR);
    EXPECT_EQ(e.GetSysErrorCode(), 0);
    EXPECT_EQ(qpTake(e.GetMessageString()), inMessage);
    EXPECT_EQ(qpTake(e.GetTraceString("<")), std::string("QpUtils.SetSocketOption") +
                                                 inSetting.mName + "(" + std::to_string(inValue) +
                                                 ")");
  }
  EXPECT_EQ(inSetting.mGet(), vBefore);
}

void expectAccepted(const Setting& inSetting, int inValue) {
  inSetting.mSet(inValue);
  EXPECT_EQ(inSetting.mGet(), inValue) << inSetting.mName;
}

}  // namespace

// Runs first in this program, before any test has set anything.
TEST_F(QpUtilsTest, InitialValues) {
  for (const Setting& s : kSettings) EXPECT_EQ(s.mGet(), s.mInitial) << s.mName;
  EXPECT_TRUE(QpUtils::isReadOfInvalidXMLAllowed());
  EXPECT_EQ(QpUtils::kDefaultSocketOption, -2);
}

TEST_F(QpUtilsTest, FlagsAcceptZeroAndOneOnly) {
  const Setting& vNoDelay = kSettings[0];
  const Setting& vDebug = kSettings[1];
  expectAccepted(vNoDelay, 0);
  expectRefused(vNoDelay, 2, "NoDelay mode must be true(1) or false(0).");
  EXPECT_EQ(vNoDelay.mGet(), 0);
  expectAccepted(vNoDelay, 1);
  expectRefused(vNoDelay, -1, "NoDelay mode must be true(1) or false(0).");
  expectRefused(vNoDelay, -2, "NoDelay mode must be true(1) or false(0).");

  expectRefused(vDebug, 2, "DebugMode must be set to true(1) or false(0).");
  expectRefused(vDebug, -2, "DebugMode must be set to true(1) or false(0).");
  expectAccepted(vDebug, 1);
  expectAccepted(vDebug, 0);
  expectRefused(vDebug, -1, "DebugMode must be set to true(1) or false(0).");
}

TEST_F(QpUtilsTest, BufferSizesStartAt4K) {
  for (const Setting* s : {&kSettings[2], &kSettings[3]}) {
    expectRefused(*s, 4095, "Cannot set buffer to less than 4K.");
    expectRefused(*s, -2, "Cannot set buffer to less than 4K.");
    expectAccepted(*s, 4096);
    expectRefused(*s, 0, "Cannot set buffer to less than 4K.");
    EXPECT_EQ(s->mGet(), 4096);
    expectAccepted(*s, 1 << 20);
  }
}

TEST_F(QpUtilsTest, MaxRetransmissionTime) {
  const Setting& vMaxRT = kSettings[4];
  const char* kMessage =
      "MaxRT setting is -1 (forever), 0 (system default), or a positive integer.";
  expectRefused(vMaxRT, -2, kMessage);
  expectAccepted(vMaxRT, -1);
  expectAccepted(vMaxRT, 0);
  expectAccepted(vMaxRT, 1);
  expectRefused(vMaxRT, -3, kMessage);
  EXPECT_EQ(vMaxRT.mGet(), 1);
}

TEST_F(QpUtilsTest, MaxSegmentSizeStartsAt1K) {
  const Setting& vSeg = kSettings[5];
  expectRefused(vSeg, 1023, "Cannot set max segment size to less than 1K.");
  expectAccepted(vSeg, 1024);
  expectRefused(vSeg, -2147483647 - 1, "Cannot set max segment size to less than 1K.");
  EXPECT_EQ(vSeg.mGet(), 1024);
}

TEST_F(QpUtilsTest, InvalidXmlSwitchStoresNonZero) {
  QpUtils::SetAllowReadOfInvalidXML(0);
  EXPECT_FALSE(QpUtils::isReadOfInvalidXMLAllowed());
  QpUtils::SetAllowReadOfInvalidXML(5);
  EXPECT_TRUE(QpUtils::isReadOfInvalidXMLAllowed());
  QpUtils::SetAllowReadOfInvalidXML(0);
  QpUtils::SetAllowReadOfInvalidXML(-1);
  EXPECT_TRUE(QpUtils::isReadOfInvalidXMLAllowed());
}

TEST(QpUtilsProbe, PrintsItsName) {
  testing::internal::CaptureStdout();
  QpUtils_Test();
  fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "QpUtils_Test\n");
}
