// QpTime.cpp - the cluster's time: a Gregorian calendar of our own and the cluster time text.
#include "QpTime.h"

#include <climits>

#include "QpRaise.h"
#include "qpos32.h"

namespace {

const QpLong MSECS_IN_SECOND = 1000;
const QpLong MSECS_IN_MINUTE = 60000;
const QpLong MSECS_IN_HOUR = 3600000;
const QpLong MSECS_IN_DAY = 86400000;
const QpLong MSECS_IN_YEAR = 31536000000;       // 365 days
const QpLong MSECS_IN_LEAP_YEAR = 31622400000;  // 366 days
// The first millisecond of the year 10000: (10000 - 1970) years of 365 days and 1952 leap days.
const QpLong kEndOf9999 = 253402300800000;

// Room for the longest text we write, "YYYY.MM.DD hh:mm:ss.mmm GMT" and its terminator. Every
// constructor gives the text at least this much, so writing a time never allocates: it cannot
// fail, and a reference handed out by an earlier getString... call stays valid.
const int kTextCapacity = 28;

const int kFirstYear = 1970;
const int kLastYear = 9999;
const int kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

const char kBefore1970[] = "QpTime Error - Time before 1970 unsupported\n";
const char kOutOfBounds[] = "Time is out of bounds\n";
const char kUnexpectedFormat[] = "Cluster Time string is in an unexpected format\n";
const char kUnsupportedTime[] = "Cluster Time string contains an unsupported time\n";
const char kAlgorithmError[] = "Internal Time algorithm error: number out of range\n";

bool isLeap(int inYear) {
  return inYear % 4 == 0 && (inYear % 100 != 0 || inYear % 400 == 0);
}

int daysInMonth(int inMonth, int inYear) {
  return kDaysInMonth[inMonth - 1] + (inMonth == 2 && isLeap(inYear) ? 1 : 0);
}

// Leap years 1972, 1976, ... below inYear (inYear >= 1970), counted in closed form so that the
// cost does not grow with the year.
QpLong leapYearsBefore(int inYear) {
  auto vUpTo = [](QpLong inY) { return inY / 4 - inY / 100 + inY / 400; };
  return vUpTo(inYear - 1) - vUpTo(kFirstYear - 1);
}

bool fieldsInRange(int inYear, int inMonth, int inDay, int inHour, int inMinute, int inSecond,
                   int inMillisecond) {
  if (inYear < kFirstYear || inYear > kLastYear || inMonth < 1 || inMonth > 12 || inDay < 1 ||
      inDay > 31 || inHour < 0 || inHour > 23 || inMinute < 0 || inMinute > 59 || inSecond < 0 ||
      inSecond > 59 || inMillisecond < 0 || inMillisecond > 999) {
    return false;
  }
  return inDay <= daysInMonth(inMonth, inYear);
}

// The white space of the C locale, fixed here so that the host's locale cannot change what a
// cluster time text means.
bool isBlank(char inChar) {
  return inChar == ' ' || (inChar >= '\t' && inChar <= '\r');
}

// Reads inText against inPattern the way sscanf matches "%d", blanks and plain characters: a
// blank in the pattern takes any run of white space (none included), "%d" skips white space and
// takes an optional sign and at least one decimal digit, a plain character must be the next
// character. Stops at the first mismatch and returns how many numbers were read. A number too
// large for an int, where sscanf's result is undefined, is pinned to INT_MAX or INT_MIN: no field
// accepts those, so the field check refuses the text instead of a wrapped value passing for a
// valid field.
int scanNumbers(const char* inText, const char* inPattern, int* outValues) {
  const char* vIn = inText;
  int vCount = 0;
  for (const char* p = inPattern; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 'd') {
      ++p;
      while (isBlank(*vIn)) ++vIn;
      const bool vNegative = *vIn == '-';
      if (*vIn == '-' || *vIn == '+') ++vIn;
      if (*vIn < '0' || *vIn > '9') break;
      QpLong vValue = 0;
      for (; *vIn >= '0' && *vIn <= '9'; ++vIn) {
        // Past 2^31 the value is out of every field's range; stop growing, keep consuming.
        if (vValue <= INT_MAX) vValue = vValue * 10 + (*vIn - '0');
      }
      if (vNegative) vValue = -vValue;
      outValues[vCount++] = vValue > INT_MAX   ? INT_MAX
                            : vValue < INT_MIN ? INT_MIN
                                               : static_cast<int>(vValue);
    } else if (isBlank(*p)) {
      while (isBlank(*vIn)) ++vIn;
    } else {
      if (*vIn != *p) break;
      ++vIn;
    }
  }
  return vCount;
}

}  // namespace

QpTime::QpTime(QpLong millisecondsSince1970)
    : mYear(0),
      mMonth(0),
      mDay(0),
      mHour(0),
      mMinute(0),
      mSecond(0),
      mMillisecond(0),
      mTime(0),
      mText(new QpBasicStringBuffer(kTextCapacity)) {
  setFromCount(millisecondsSince1970);
}

QpTime::QpTime(int year, int month, int day, int hour, int minute, int second, int millisecond)
    : mYear(year),
      mMonth(month),
      mDay(day),
      mHour(hour),
      mMinute(minute),
      mSecond(second),
      mMillisecond(millisecond),
      mTime(0),
      mText(new QpBasicStringBuffer(kTextCapacity)) {
  if (!fieldsInRange(year, month, day, hour, minute, second, millisecond)) {
    qpRaise<QpNotSupportedException>(QP_HERE, 0, kOutOfBounds);
  }
  computeCount();
}

QpTime::QpTime(const char* clusterTime)
    : mYear(0),
      mMonth(0),
      mDay(0),
      mHour(0),
      mMinute(0),
      mSecond(0),
      mMillisecond(0),
      mTime(0),
      mText(new QpBasicStringBuffer(kTextCapacity)) {
  if (clusterTime == nullptr) qpRaise<QpParameterException>(QP_HERE, 0, kUnexpectedFormat);
  setText(clusterTime);
  int vField[7] = {0, 0, 0, 0, 0, 0, 0};
  if (scanNumbers(clusterTime, "%d.%d.%d %d:%d:%d.%d GMT", vField) != 7) {
    if (scanNumbers(clusterTime, "%d.%d.%d %d:%d:%d GMT", vField) != 6) {
      qpRaise<QpParameterException>(QP_HERE, 0, kUnexpectedFormat);
    }
    vField[6] = 0;
  }
  if (!fieldsInRange(vField[0], vField[1], vField[2], vField[3], vField[4], vField[5], vField[6])) {
    qpRaise<QpNotSupportedException>(QP_HERE, 0, kUnsupportedTime);
  }
  mYear = vField[0];
  mMonth = vField[1];
  mDay = vField[2];
  mHour = vField[3];
  mMinute = vField[4];
  mSecond = vField[5];
  mMillisecond = vField[6];
  computeCount();
}

QpTime::QpTime(const QpTime& inOther)
    : mYear(inOther.mYear),
      mMonth(inOther.mMonth),
      mDay(inOther.mDay),
      mHour(inOther.mHour),
      mMinute(inOther.mMinute),
      mSecond(inOther.mSecond),
      mMillisecond(inOther.mMillisecond),
      mTime(inOther.mTime),
      mText(new QpBasicStringBuffer(*inOther.mText)) {}

QpTime& QpTime::operator=(const QpTime& inOther) {
  if (this == &inOther) return *this;
  // The text first: it is the only part that can fail, and then nothing has changed.
  setText(inOther.mText->toStringConst());
  mYear = inOther.mYear;
  mMonth = inOther.mMonth;
  mDay = inOther.mDay;
  mHour = inOther.mHour;
  mMinute = inOther.mMinute;
  mSecond = inOther.mSecond;
  mMillisecond = inOther.mMillisecond;
  mTime = inOther.mTime;
  return *this;
}

QpTime::~QpTime() {}

void QpTime::setText(const char* inText) {
  const size_t vLength = qp_strlen(inText);
  if (vLength < static_cast<size_t>(mText->getCapacity())) {
    mText->strcpy(inText);  // fits: no allocation, nothing can fail
    return;
  }
  // A failed growth would leave the buffer refusing every later change; build the new text
  // aside and swap it in only once it is complete.
  std::unique_ptr<QpBasicStringBuffer> vText(new QpBasicStringBuffer(inText));
  mText.swap(vText);
}

unsigned char QpTime::isaLeapYear(int year) const {
  return isLeap(year) ? 1 : 0;
}

void QpTime::setFromCount(QpLong inCount) {
  if (inCount < 0) qpRaise<QpNotSupportedException>(QP_HERE, 0, kBefore1970);
  // Past 9999 the calendar below would end on a year the field check refuses; say so now rather
  // than walk back over millions of years first.
  if (inCount >= kEndOf9999) qpRaise<QpSDKInternalException>(QP_HERE, 0, kAlgorithmError);

  // Every year taken as 365 days overshoots by the leap days, so the first guess is never too
  // early; take the leap days off and step back while the rest is negative.
  int vYear = kFirstYear + static_cast<int>(inCount / MSECS_IN_YEAR);
  QpLong vRest = inCount - static_cast<QpLong>(vYear - kFirstYear) * MSECS_IN_YEAR;
  vRest -= leapYearsBefore(vYear) * MSECS_IN_DAY;
  while (vRest < 0) {
    --vYear;
    vRest += isLeap(vYear) ? MSECS_IN_LEAP_YEAR : MSECS_IN_YEAR;
  }
  int vMonth = 1;
  while (vMonth <= 12) {
    const QpLong vLength = daysInMonth(vMonth, vYear) * MSECS_IN_DAY;
    if (vRest < vLength) break;
    vRest -= vLength;
    ++vMonth;
  }
  const int vDay = static_cast<int>(vRest / MSECS_IN_DAY) + 1;
  vRest %= MSECS_IN_DAY;
  const int vHour = static_cast<int>(vRest / MSECS_IN_HOUR);
  vRest %= MSECS_IN_HOUR;
  const int vMinute = static_cast<int>(vRest / MSECS_IN_MINUTE);
  vRest %= MSECS_IN_MINUTE;
  const int vSecond = static_cast<int>(vRest / MSECS_IN_SECOND);
  const int vMillisecond = static_cast<int>(vRest % MSECS_IN_SECOND);

  if (vMonth > 12 || !fieldsInRange(vYear, vMonth, vDay, vHour, vMinute, vSecond, vMillisecond)) {
    if (vMonth == 2 && isLeap(vYear) && (vDay == 30 || vDay == 31)) {
      qpRaise<QpNotSupportedException>(QP_HERE, 0, kAlgorithmError);
    }
    qpRaise<QpSDKInternalException>(QP_HERE, 0, kAlgorithmError);
  }
  mYear = vYear;
  mMonth = vMonth;
  mDay = vDay;
  mHour = vHour;
  mMinute = vMinute;
  mSecond = vSecond;
  mMillisecond = vMillisecond;
  mTime = inCount;
}

void QpTime::computeCount() {
  if (mYear < kFirstYear) qpRaise<QpNotSupportedException>(QP_HERE, 0, kBefore1970);
  QpLong vDays = leapYearsBefore(mYear);
  for (int m = 1; m < mMonth; ++m) vDays += daysInMonth(m, mYear);
  vDays += mDay - 1;
  mTime = static_cast<QpLong>(mYear - kFirstYear) * MSECS_IN_YEAR + vDays * MSECS_IN_DAY +
          ((static_cast<QpLong>(mHour) * 60 + mMinute) * 60 + mSecond) * MSECS_IN_SECOND +
          mMillisecond;
}

const QpBasicStringBuffer& QpTime::getStringWithSeconds() {
  char vText[32];
  qp_snprintf(vText, sizeof(vText), "%4.4d.%2.2d.%2.2d %2.2d:%2.2d:%2.2d GMT", mYear, mMonth, mDay,
              mHour, mMinute, mSecond);
  setText(vText);
  return *mText;
}

const QpBasicStringBuffer& QpTime::getStringWithMilliseconds() {
  char vText[32];
  qp_snprintf(vText, sizeof(vText), "%4.4d.%2.2d.%2.2d %2.2d:%2.2d:%2.2d.%3.3d GMT", mYear, mMonth,
              mDay, mHour, mMinute, mSecond, mMillisecond);
  setText(vText);
  return *mText;
}
