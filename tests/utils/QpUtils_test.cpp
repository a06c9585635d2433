// Tests of the process-wide settings.
#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

struct Setting {
  const char* mName;
  int (*mGet)();
  void (*mSet)(int);
  int mInitial;
  const char* mRefusal;
};

const char kNoDelay[] = "NoDelay mode must be true(1) or false(0).";
const char kDebug[] = "DebugMode must be set to true(1) or false(0).";
const char kBuffer[] = "Cannot set buffer to less than 4K.";
const char kMaxRT[] = "MaxRT setting is -1 (forever), 0 (system default), or a positive integer.";
const char kSegment[] = "Cannot set max segment size to less than 1K.";

// clang-format off
const Setting kSettings[] = {
    {"TCPNoDelay", &QpUtils::GetSocketOptionTCPNoDelay, &QpUtils::SetSocketOptionTCPNoDelay, 1, kNoDelay},
    {"DebugMode", &QpUtils::GetSocketOptionDebugMode, &QpUtils::SetSocketOptionDebugMode, -2, kDebug},
    {"ReceiveBufferSize", &QpUtils::GetSocketOptionReceiveBufferSize, &QpUtils::SetSocketOptionReceiveBufferSize, -2, kBuffer},
    {"SendBufferSize", &QpUtils::GetSocketOptionSendBufferSize, &QpUtils::SetSocketOptionSendBufferSize, -2, kBuffer},
    {"TCPMaxRT", &QpUtils::GetSocketOptionTCPMaxRT, &QpUtils::SetSocketOptionTCPMaxRT, -2, kMaxRT},
    {"TCPMaxSegSize", &QpUtils::GetSocketOptionTCPMaxSegSize, &QpUtils::SetSocketOptionTCPMaxSegSize, -2, kSegment},
};
// Per setting, in order: the values accepted and those refused (each refusal keeps the last
// accepted value). The initial -2 is refused by every setter but none of the others.
const std::pair<std::vector<int>, std::vector<int>> kValues[] = {
    {{0, 1}, {2, -1, -2}},
    {{1, 0}, {2, -1, -2}},
    {{4096, 1 << 20}, {4095, 0, -2}},
    {{4096, 1 << 20}, {4095, 0, -2}},
    {{-1, 0, 1}, {-2, -3, INT_MIN}},
    {{1024, 1 << 16}, {1023, -2, INT_MIN}},
};
// clang-format on

// Runs first in this program, before any test has set anything: the settings are process-wide,
// and a refused initial value cannot be put back through the setters.
TEST(QpUtilsTest, InitialValuesThenEverySetterAcceptsAndRefuses) {
  for (const Setting& s : kSettings) EXPECT_EQ(s.mGet(), s.mInitial) << s.mName;
  EXPECT_TRUE(QpUtils::isReadOfInvalidXMLAllowed());
  EXPECT_EQ(QpUtils::kDefaultSocketOption, -2);
  for (size_t i = 0; i < 6; ++i) {
    const Setting& s = kSettings[i];
    for (int vValue : kValues[i].first) {
      s.mSet(vValue);
      EXPECT_EQ(s.mGet(), vValue) << s.mName;
    }
    for (int vValue : kValues[i].second) {
      const std::string vTrace =
          std::string("QpUtils.SetSocketOption") + s.mName + "(" + std::to_string(vValue) + ")";
      EXPECT_QP_FAILURE(QpOutOfBoundsException, s.mSet(vValue), s.mRefusal, vTrace.c_str());
      EXPECT_EQ(s.mGet(), kValues[i].first.back()) << s.mName;
    }
  }
}

TEST(QpUtilsTest, InvalidXmlSwitchStoresNonZeroAndTheProbePrintsItsName) {
  for (int vValue : {0, 5, 0, -1}) {
    QpUtils::SetAllowReadOfInvalidXML(vValue);
    EXPECT_EQ(QpUtils::isReadOfInvalidXMLAllowed(), vValue != 0);
  }
  testing::internal::CaptureStdout();
  QpUtils_Test();
  fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "QpUtils_Test\n");
}

}  // namespace
