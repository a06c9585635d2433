// Tests of QpTime: the calendar against the C library's (in the test only), the refusals, the
// cluster time text in both directions.
#include <time.h>

#include <climits>
#include <cstdio>
#include <random>

#include "QpTestSupport.h"

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
    gmtime_r(&vSeconds, &vTm);
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
    if (vDay % 97 == 0) {
      ASSERT_EQ(QpTime(vExpected).getTimeAsMilliseconds(), vCount);
    }
  }
}

// Each bad field set is refused by the field constructor and, written as text, by the text one.
TEST(QpTimeTest, RefusesWithTheExactClassAndMessage) {
  const int kBad[][7] = {
      {1969, 12, 31, 23, 59, 59, 999}, {10000, 1, 1, 0, 0, 0, 0},   {2000, 13, 1, 0, 0, 0, 0},
      {2000, 1, 0, 0, 0, 0, 0},        {2100, 2, 29, 0, 0, 0, 0},   {2000, 2, 30, 0, 0, 0, 0},
      {2000, 9, 31, 0, 0, 0, 0},       {2000, 1, 1, 24, 0, 0, 0},   {2000, 1, 1, 0, 60, 0, 0},
      {2000, 1, 1, 0, 0, 60, 0},       {2000, 1, 1, 0, 0, 0, 1000},
  };
  const char* kUnsupported = "Cluster Time string contains an unsupported time\n";
  for (const auto& f : kBad) {
    char vText[96];
    std::snprintf(vText, sizeof(vText), "%d.%d.%d %d:%d:%d.%d GMT", f[0], f[1], f[2], f[3], f[4],
                  f[5], f[6]);
    SCOPED_TRACE(vText);
    EXPECT_QP_THROW(QpTime(f[0], f[1], f[2], f[3], f[4], f[5], f[6]), QpNotSupportedException,
                    "Time is out of bounds\n");
    EXPECT_QP_THROW(QpTime vT(vText), QpNotSupportedException, kUnsupported);
  }
  // 2^32 + 1970: a reader that wraps to 32 bits would take this year for 1970.
  EXPECT_QP_THROW(QpTime vT("4294969266.01.01 00:00:00"), QpNotSupportedException, kUnsupported);
  for (const char* vText :
       {"2008-07-15 13:45:30", "2008.07.15 13:45 GMT", "2008 .07.15 13:45:30", (const char*)0}) {
    EXPECT_QP_THROW(QpTime vT(vText), QpParameterException,
                    "Cluster Time string is in an unexpected format\n");
  }
  EXPECT_QP_THROW(QpTime(QpLong{-1}), QpNotSupportedException,
                  "QpTime Error - Time before 1970 unsupported\n");
  EXPECT_QP_THROW(QpTime(QpLong{kEndOf9999}), QpSDKInternalException,
                  "Internal Time algorithm error: number out of range\n");
}

// Texts are read as sscanf reads the two patterns: blanks before numbers, signs, and anything
// after the last number.
TEST(QpTimeTest, ParsesBothTextFormsAndFormats) {
  const QpLong kBase = 1216129530000;  // 2008.07.15 13:45:30 GMT
  const struct {
    const char* mText;
    QpLong mCount;
  } kCases[] = {
      {"2008.07.15 13:45:30 GMT", kBase},
      {"2008.7.15 13:45:30.250", kBase + 250},
      {" \t2008.+07.15\n13:45: 30. 7 GMT", kBase + 7},
      {"0002008.07.15 13:45:30.000000250GMT", kBase + 250},
      {"9999.12.31 23:59:59.999 GMT", kEndOf9999 - 1},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(QpTime(c.mText).getTimeAsMilliseconds(), c.mCount) << c.mText;
  QpTime vZero(0), vLast(9999, 12, 31, 23, 59, 59, 999);
  EXPECT_STREQ(vZero.getStringWithSeconds().toStringConst(), "1970.01.01 00:00:00 GMT");
  QpTime vCopy(vLast);
  EXPECT_EQ(withMillis(vCopy), "9999.12.31 23:59:59.999 GMT");
  EXPECT_EQ(vZero.isaLeapYear(2000) + vZero.isaLeapYear(2100), 1);
}

// A text longer than the room a time keeps for its own texts makes the copies allocate.
TEST(QpTimeTest, OutOfMemoryLeavesTheTimeAsItWas) {
  const std::string kLong = "2008.07.15 13:45:30.250 GMT" + std::string(100, ' ');
  EXPECT_GT(qpWalkAllocations([&] { QpTime vT(kLong.c_str()); }, [] {}), 0);
  QpTime vLong(kLong.c_str()), vOther(0);
  EXPECT_GT(
      qpWalkAllocations([&] { vOther = vLong; },
                        [&] { EXPECT_EQ(withMillis(vOther), "1970.01.01 00:00:00.000 GMT"); }),
      0);
  EXPECT_EQ(vOther.getTimeAsMilliseconds(), vLong.getTimeAsMilliseconds());
}
