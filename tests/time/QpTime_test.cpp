// Tests of QpTime: the calendar against the C library's (in the test only), the refusals, the
// cluster time text in both directions.
#include <time.h>

#include <climits>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <typeinfo>

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

TEST(QpTimeTest, RefusesWithTheExactClassAndMessage) {
  const char* kBefore1970 = "QpTime Error - Time before 1970 unsupported\n";
  const char* kBounds = "Time is out of bounds\n";
  const char* kFormat = "Cluster Time string is in an unexpected format\n";
  const char* kUnsupported = "Cluster Time string contains an unsupported time\n";
  const char* kAlgorithm = "Internal Time algorithm error: number out of range\n";
  auto vCount = [](QpLong inCount) { return [inCount] { QpTime vT(inCount); }; };
  auto vFields = [](int y, int mo, int d, int h, int mi, int s, int ms) {
    return [=] { QpTime vT(y, mo, d, h, mi, s, ms); };
  };
  auto vText = [](const char* inText) { return [inText] { QpTime vT(inText); }; };
  const struct {
    const char* mWhat;
    std::function<void()> mOp;
    const std::type_info& mClass;
    const char* mMessage;
  } kCases[] = {
      {"count -1", vCount(-1), typeid(QpNotSupportedException), kBefore1970},
      {"count min", vCount(LLONG_MIN), typeid(QpNotSupportedException), kBefore1970},
      {"count 10000", vCount(kEndOf9999), typeid(QpSDKInternalException), kAlgorithm},
      {"count max", vCount(LLONG_MAX), typeid(QpSDKInternalException), kAlgorithm},
      {"1969", vFields(1969, 12, 31, 23, 59, 59, 999), typeid(QpNotSupportedException), kBounds},
      {"10000", vFields(10000, 1, 1, 0, 0, 0, 0), typeid(QpNotSupportedException), kBounds},
      {"month 0", vFields(2000, 0, 1, 0, 0, 0, 0), typeid(QpNotSupportedException), kBounds},
      {"month 13", vFields(2000, 13, 1, 0, 0, 0, 0), typeid(QpNotSupportedException), kBounds},
      {"day 0", vFields(2000, 1, 0, 0, 0, 0, 0), typeid(QpNotSupportedException), kBounds},
      {"day 32", vFields(2000, 1, 32, 0, 0, 0, 0), typeid(QpNotSupportedException), kBounds},
      {"2001-02-29", vFields(2001, 2, 29, 0, 0, 0, 0), typeid(QpNotSupportedException), kBounds},
      {"2100-02-29", vFields(2100, 2, 29, 0, 0, 0, 0), typeid(QpNotSupportedException), kBounds},
      {"2000-02-30", vFields(2000, 2, 30, 0, 0, 0, 0), typeid(QpNotSupportedException), kBounds},
      {"04-31", vFields(2000, 4, 31, 0, 0, 0, 0), typeid(QpNotSupportedException), kBounds},
      {"06-31", vFields(2000, 6, 31, 0, 0, 0, 0), typeid(QpNotSupportedException), kBounds},
      {"09-31", vFields(2000, 9, 31, 0, 0, 0, 0), typeid(QpNotSupportedException), kBounds},
      {"11-31", vFields(2000, 11, 31, 0, 0, 0, 0), typeid(QpNotSupportedException), kBounds},
      {"hour -1", vFields(2000, 1, 1, -1, 0, 0, 0), typeid(QpNotSupportedException), kBounds},
      {"hour 24", vFields(2000, 1, 1, 24, 0, 0, 0), typeid(QpNotSupportedException), kBounds},
      {"minute 60", vFields(2000, 1, 1, 0, 60, 0, 0), typeid(QpNotSupportedException), kBounds},
      {"second 60", vFields(2000, 1, 1, 0, 0, 60, 0), typeid(QpNotSupportedException), kBounds},
      {"ms 1000", vFields(2000, 1, 1, 0, 0, 0, 1000), typeid(QpNotSupportedException), kBounds},
      {"ms -1", vFields(2000, 1, 1, 0, 0, 0, -1), typeid(QpNotSupportedException), kBounds},
      {"dashes", vText("2008-07-15 13:45:30"), typeid(QpParameterException), kFormat},
      {"null", vText(nullptr), typeid(QpParameterException), kFormat},
      {"empty", vText(""), typeid(QpParameterException), kFormat},
      {"five", vText("2008.07.15 13:45 GMT"), typeid(QpParameterException), kFormat},
      {"blank before dot", vText("2008 .07.15 13:45:30"), typeid(QpParameterException), kFormat},
      {"bare sign", vText("2008.07.15 13:45:+ GMT"), typeid(QpParameterException), kFormat},
      {"month 13 text", vText("2008.13.15 13:45:30 GMT"), typeid(QpNotSupportedException),
       kUnsupported},
      {"2001-02-29 text", vText("2001.02.29 00:00:00 GMT"), typeid(QpNotSupportedException),
       kUnsupported},
      {"1969 text", vText("1969.12.31 23:59:59.999 GMT"), typeid(QpNotSupportedException),
       kUnsupported},
      {"ms 1000 text", vText("2008.07.15 13:45:30.1000 GMT"), typeid(QpNotSupportedException),
       kUnsupported},
      {"negative year", vText("-2008.07.15 13:45:30 GMT"), typeid(QpNotSupportedException),
       kUnsupported},
      // 2^32 + 1970: a reader that wraps to 32 bits would take this for 1970.
      {"wrapping year", vText("4294969266.01.01 00:00:00 GMT"), typeid(QpNotSupportedException),
       kUnsupported},
      {"huge ms", vText("2008.07.15 13:45:30.99999999999999999999999 GMT"),
       typeid(QpNotSupportedException), kUnsupported},
  };
  for (const auto& c : kCases) {
    try {
      c.mOp();
      ADD_FAILURE() << c.mWhat << " was accepted";
    } catch (QpException& e) {
      EXPECT_EQ(typeid(e), c.mClass) << c.mWhat;
      EXPECT_EQ(qpTake(e.GetMessageString()), c.mMessage) << c.mWhat;
      EXPECT_EQ(e.GetSysErrorCode(), 0) << c.mWhat;
    }
  }
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
  EXPECT_EQ(QpTime("2008.07.15 13:45:30.250 GMT").getTimeAsMilliseconds() -
                QpTime("2008.07.15 13:45:30 GMT").getTimeAsMilliseconds(),
            250);

  QpTime vCopy(vLeap);
  EXPECT_STREQ(vCopy.getStringWithMilliseconds().toStringConst(), "2000.02.29 00:00:00.000 GMT");
  vCopy = vLast;
  EXPECT_EQ(vCopy.getTimeAsMilliseconds(), kEndOf9999 - 1);
  EXPECT_EQ(withMillis(vCopy), "9999.12.31 23:59:59.999 GMT");

  const int kYears[] = {1900, 1970, 1972, 2000, 2001, 2004, 2100, 2400};
  const unsigned char kLeap[] = {0, 0, 1, 1, 0, 1, 0, 1};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(vZero.isaLeapYear(kYears[i]), kLeap[i]) << kYears[i];
}

TEST(QpTimeTest, OutOfMemoryLeavesTheTimeAsItWas) {
  QpTime vTime(951782400000);
  qpWalkAllocations([&] { vTime.getStringWithSeconds(); },
                    [&] { EXPECT_EQ(vTime.getTimeAsMilliseconds(), 951782400000); });
  EXPECT_STREQ(vTime.getStringWithSeconds().toStringConst(), "2000.02.29 00:00:00 GMT");
  qpWalkAllocations([] { QpTime vParsed("2008.07.15 13:45:30.250 GMT"); }, [] {});
  QpTime vOther(0);
  qpWalkAllocations([&] { vOther = vTime; }, [&] { EXPECT_EQ(vOther.getTimeAsMilliseconds(), 0); });
}

}  // namespace
