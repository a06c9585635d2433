// Tests of QpTime: the calendar against the C library's (in the test only), the refusals, the
// cluster time text in both directions.
#include <time.h>

#include <climits>
#include <cstdio>
#include <random>
#include <string>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

const QpLong kDay = 86400000;
const QpLong kEndOf9999 = 253402300800000;  // 10000-01-01 00:00:00.000

std::string withMillis(QpTime& inTime) {
  return inTime.getStringWithMilliseconds().toStringConst();
}

// Every day from 1970 to 9999 at a random millisecond of the day: the fields of the count are the
// C library's, the fields give the count back, and so does the text.
TEST(QpTimeTest, AgreesWithTheCLibraryCalendarOnEveryDay) {
  std::mt19937_64 vRng(6001);
  std::uniform_int_distribution<QpLong> vInDay(0, kDay - 1);
  for (QpLong vDay = 0; vDay * kDay < kEndOf9999; ++vDay) {
    const QpLong vCount = vDay * kDay + (vDay == 0 ? 0 : vInDay(vRng));
    const time_t vSeconds = static_cast<time_t>(vCount / 1000);
    struct tm vTm;
    ASSERT_NE(gmtime_r(&vSeconds, &vTm), nullptr);
    const int vMs = static_cast<int>(vCount % 1000);
    char vExpected[96];
    std::snprintf(vExpected, sizeof(vExpected), "%04d.%02d.%02d %02d:%02d:%02d.%03d GMT",
                  vTm.tm_year + 1900, vTm.tm_mon + 1, vTm.tm_mday, vTm.tm_hour, vTm.tm_min,
                  vTm.tm_sec, vMs);
    QpTime vTime(vCount);
    ASSERT_EQ(withMillis(vTime), vExpected) << vCount;
    QpTime vFromFields(vTm.tm_year + 1900, vTm.tm_mon + 1, vTm.tm_mday, vTm.tm_hour, vTm.tm_min,
                       vTm.tm_sec, vMs);
    ASSERT_EQ(vFromFields.getTimeAsMilliseconds(), vCount) << vExpected;
    ASSERT_EQ(static_cast<QpLong>(timegm(&vTm)), vCount / 1000) << vExpected;
    if (vDay % 97 == 0) {
      ASSERT_EQ(QpTime(vExpected).getTimeAsMilliseconds(), vCount);
    }
  }
}

// Each bad field set is refused by the field constructor and, written as text, by the text one.
TEST(QpTimeTest, RefusesWithTheExactClassAndMessage) {
  const int kBad[][7] = {
      {1969, 12, 31, 23, 59, 59, 999}, {10000, 1, 1, 0, 0, 0, 0}, {2000, 0, 1, 0, 0, 0, 0},
      {2000, 13, 1, 0, 0, 0, 0},       {2000, 1, 0, 0, 0, 0, 0},  {2000, 1, 32, 0, 0, 0, 0},
      {2001, 2, 29, 0, 0, 0, 0},       {2100, 2, 29, 0, 0, 0, 0}, {2000, 2, 30, 0, 0, 0, 0},
      {2000, 4, 31, 0, 0, 0, 0},       {2000, 6, 31, 0, 0, 0, 0}, {2000, 9, 31, 0, 0, 0, 0},
      {2000, 11, 31, 0, 0, 0, 0},      {2000, 1, 1, -1, 0, 0, 0}, {2000, 1, 1, 24, 0, 0, 0},
      {2000, 1, 1, 0, 60, 0, 0},       {2000, 1, 1, 0, 0, 60, 0}, {2000, 1, 1, 0, 0, 0, -1},
      {2000, 1, 1, 0, 0, 0, 1000},
  };
  for (const auto& f : kBad) {
    char vText[96];
    std::snprintf(vText, sizeof(vText), "%d.%d.%d %d:%d:%d.%d GMT", f[0], f[1], f[2], f[3], f[4],
                  f[5], f[6]);
    SCOPED_TRACE(vText);
    EXPECT_QP_THROW(QpTime(f[0], f[1], f[2], f[3], f[4], f[5], f[6]), QpNotSupportedException,
                    "Time is out of bounds\n");
    EXPECT_QP_THROW(QpTime vT(vText), QpNotSupportedException,
                    "Cluster Time string contains an unsupported time\n");
  }
  const char* kUnsupported = "Cluster Time string contains an unsupported time\n";
  // 2^32 + 1970: a reader that wraps to 32 bits would take this year for 1970.
  EXPECT_QP_THROW(QpTime vT("4294969266.01.01 00:00:00"), QpNotSupportedException, kUnsupported);
  EXPECT_QP_THROW(QpTime vT("2008.07.15 13:45:30.99999999999999999999"), QpNotSupportedException,
                  kUnsupported);
  for (const char* vText : {"2008-07-15 13:45:30", "", "2008.07.15 13:45 GMT",
                            "2008 .07.15 13:45:30", "2008.07.15 13:45:+ GMT", (const char*)0}) {
    EXPECT_QP_THROW(QpTime vT(vText), QpParameterException,
                    "Cluster Time string is in an unexpected format\n");
  }
  const char* kBefore1970 = "QpTime Error - Time before 1970 unsupported\n";
  EXPECT_QP_THROW(QpTime(QpLong{-1}), QpNotSupportedException, kBefore1970);
  EXPECT_QP_THROW(QpTime(QpLong{LLONG_MIN}), QpNotSupportedException, kBefore1970);
  const char* kAlgorithm = "Internal Time algorithm error: number out of range\n";
  EXPECT_QP_THROW(QpTime(QpLong{kEndOf9999}), QpSDKInternalException, kAlgorithm);
  EXPECT_QP_THROW(QpTime(QpLong{LLONG_MAX}), QpSDKInternalException, kAlgorithm);
}

// Texts are read as sscanf reads the two patterns: blanks before numbers, signs, and anything
// after the last number.
TEST(QpTimeTest, ParsesBothTextForms) {
  const QpLong kBase = 1216129530000;  // 2008.07.15 13:45:30 GMT
  const struct {
    const char* mText;
    QpLong mCount;
  } kCases[] = {
      {"2008.07.15 13:45:30 GMT", kBase},
      {"2008.07.15 13:45:30.250 GMT", kBase + 250},
      {"2008.7.15 13:45:30", kBase},
      {"2008.07.15 13:45:30.250", kBase + 250},
      {" \t2008.+07.15\n13:45: 30. 7 GMT", kBase + 7},
      {"2008.07.15 13:45:30 UTC", kBase},
      {"2008.07.15 13:45:30.xyz GMT", kBase},
      {"2008.07.15 13:45:30.-0 GMT", kBase},
      {"0002008.07.15 13:45:30.000000250GMT", kBase + 250},
      {"1970.01.01 00:00:00 GMT", 0},
      {"9999.12.31 23:59:59.999 GMT", kEndOf9999 - 1},
  };
  for (const auto& c : kCases) {
    QpTime vTime(c.mText);
    EXPECT_EQ(vTime.getTimeAsMilliseconds(), c.mCount) << c.mText;
  }
}

TEST(QpTimeTest, FormatsAndCopies) {
  QpTime vZero(0);
  EXPECT_STREQ(vZero.getStringWithSeconds().toStringConst(), "1970.01.01 00:00:00 GMT");
  EXPECT_STREQ(vZero.getStringWithMilliseconds().toStringConst(), "1970.01.01 00:00:00.000 GMT");
  QpTime vLeap(951782400000);
  EXPECT_EQ(withMillis(vLeap), "2000.02.29 00:00:00.000 GMT");
  EXPECT_EQ(QpTime(2000, 2, 29, 0, 0, 0, 0).getTimeAsMilliseconds(), 951782400000);
  EXPECT_EQ(QpTime(1999).getTimeAsSeconds(), 1);
  QpTime vLast(9999, 12, 31, 23, 59, 59, 999);
  EXPECT_EQ(vLast.getTimeAsMilliseconds(), kEndOf9999 - 1);

  QpTime vCopy(vLeap);
  EXPECT_EQ(withMillis(vCopy), "2000.02.29 00:00:00.000 GMT");
  vCopy = vLast;
  EXPECT_EQ(withMillis(vCopy), "9999.12.31 23:59:59.999 GMT");

  const int kYears[] = {1900, 1970, 1972, 2000, 2001, 2004, 2100, 2400};
  const unsigned char kLeap[] = {0, 0, 1, 1, 0, 1, 0, 1};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(vZero.isaLeapYear(kYears[i]), kLeap[i]) << kYears[i];
}

// A text longer than the room a time keeps for its own texts makes the copies allocate.
TEST(QpTimeTest, OutOfMemoryLeavesTheTimeAsItWas) {
  const std::string kLong = "2008.07.15 13:45:30.250 GMT" + std::string(100, ' ');
  EXPECT_GT(qpWalkAllocations([&] { QpTime vT(kLong.c_str()); }, [] {}), 0);
  QpTime vLong(kLong.c_str());
  QpTime vOther(0);
  EXPECT_GT(
      qpWalkAllocations([&] { vOther = vLong; },
                        [&] { EXPECT_EQ(withMillis(vOther), "1970.01.01 00:00:00.000 GMT"); }),
      0);
  EXPECT_EQ(vOther.getTimeAsMilliseconds(), vLong.getTimeAsMilliseconds());
}

}  // namespace
