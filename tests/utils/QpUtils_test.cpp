// Tests of the process-wide settings.
#include <climits>
#include <vector>

#include "QpTestSupport.h"

// Per setting: its name, getter and setter, initial value, refusal message, the values accepted
// and those refused (each refusal keeps the last accepted value).
#define QP_SETTING(name) #name, &QpUtils::GetSocketOption##name, &QpUtils::SetSocketOption##name
const char kBuffer[] = "Cannot set buffer to less than 4K.";
const struct {
  const char* mName;
  int (*mGet)();
  void (*mSet)(int);
  int mInitial;
  const char* mRefusal;
  std::vector<int> mAccepted, mRefused;
} kSettings[] = {
    {QP_SETTING(TCPNoDelay), 1, "NoDelay mode must be true(1) or false(0).", {0, 1}, {2, -1}},
    {QP_SETTING(DebugMode), -2, "DebugMode must be set to true(1) or false(0).", {1, 0}, {2}},
    {QP_SETTING(ReceiveBufferSize), -2, kBuffer, {4096, 1 << 20}, {4095, -2}},
    {QP_SETTING(SendBufferSize), -2, kBuffer, {4096, 1 << 20}, {4095, 0}},
    {QP_SETTING(TCPMaxRT),
     -2,
     "MaxRT setting is -1 (forever), 0 (system default), or a positive integer.",
     {-1, 0, 1},
     {-2, INT_MIN}},
    {QP_SETTING(TCPMaxSegSize),
     -2,
     "Cannot set max segment size to less than 1K.",
     {1024, 1 << 16},
     {1023}},
};

// Runs first in this program, before any test has set anything: the settings are process-wide,
// and a refused initial value cannot be put back through the setters.
TEST(QpUtilsTest, InitialValuesThenEverySetterAcceptsAndRefuses) {
  EXPECT_TRUE(QpUtils::isReadOfInvalidXMLAllowed());
  for (const auto& s : kSettings) {
    EXPECT_EQ(s.mGet(), s.mInitial) << s.mName;
    for (int vValue : s.mAccepted) {
      s.mSet(vValue);
      EXPECT_EQ(s.mGet(), vValue) << s.mName;
    }
    for (int vValue : s.mRefused) {
      const std::string vTrace =
          std::string("QpUtils.SetSocketOption") + s.mName + "(" + std::to_string(vValue) + ")";
      EXPECT_QP_FAILURE(QpOutOfBoundsException, s.mSet(vValue), s.mRefusal, vTrace.c_str());
      EXPECT_EQ(s.mGet(), s.mAccepted.back()) << s.mName;
    }
  }
}

TEST(QpUtilsTest, InvalidXmlSwitchStoresNonZeroAndTheProbePrintsItsName) {
  QpUtils::SetAllowReadOfInvalidXML(5);
  EXPECT_TRUE(QpUtils::isReadOfInvalidXMLAllowed());
  QpUtils::SetAllowReadOfInvalidXML(0);
  EXPECT_FALSE(QpUtils::isReadOfInvalidXMLAllowed());
  testing::internal::CaptureStdout();
  QpUtils_Test();
  fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "QpUtils_Test\n");
}
