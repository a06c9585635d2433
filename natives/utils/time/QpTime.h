// QpTime.h - a point in time between 1970-01-01 00:00:00.000 UTC and the end of the year 9999,
// held at once as milliseconds since 1970 and as Gregorian calendar fields, and written in the
// cluster's time text "YYYY.MM.DD hh:mm:ss GMT" (optionally with ".mmm" after the seconds).
//
// The calendar is computed here, without the C library's time functions: those depend on the
// host's time_t range and time zone data, and the cluster's texts must read the same everywhere.
// Once a constructor has returned, the fields and the count describe the same instant; times
// before 1970 and after 9999 are refused.
//
// Threads: a QpTime has no lock; one object must not be used by two threads at once (the
// getString... calls rewrite its text).
#ifndef QP_TIME_H
#define QP_TIME_H

#include <memory>
#include <type_traits>

#include "QpStringBuffer.h"
#include "QpTypes.h"

class QP_EXPORT QpTime {
 public:
  // Raises QpNotSupportedException "QpTime Error - Time before 1970 unsupported\n" for a negative
  // count, and "Internal Time algorithm error: number out of range\n" (QpSDKInternalException)
  // for a count past the end of 9999.
  QpTime(QpLong millisecondsSince1970);
  // Any other integer is a count too, so that QpTime(0) or QpTime(1999) does not compete with the
  // text constructor for the literal.
  template <class T,
            typename std::enable_if<std::is_integral<T>::value && !std::is_same<T, QpLong>::value,
                                    int>::type = 0>
  QpTime(T millisecondsSince1970) : QpTime(static_cast<QpLong>(millisecondsSince1970)) {}
  // Raises QpNotSupportedException "Time is out of bounds\n" for any field out of range.
  QpTime(int year, int month, int day, int hour, int minute, int second, int millisecond);
  // Reads "Y.M.D h:m:s.ms GMT" or "Y.M.D h:m:s GMT" (as sscanf would; see the .cpp). Raises
  // QpParameterException "Cluster Time string is in an unexpected format\n" for any other text
  // (null included) and QpNotSupportedException "Cluster Time string contains an unsupported
  // time\n" for fields out of range.
  QpTime(const char* clusterTime);
  QpTime(const QpTime& inOther);
  QpTime& operator=(const QpTime& inOther);
  ~QpTime();

  // Write the time into the object's text and return it; the reference stays valid until the
  // next call on this object or its end.
  const QpBasicStringBuffer& getStringWithSeconds();       // "YYYY.MM.DD hh:mm:ss GMT"
  const QpBasicStringBuffer& getStringWithMilliseconds();  // "YYYY.MM.DD hh:mm:ss.mmm GMT"
  QpLong getTimeAsMilliseconds() const { return mTime; }
  QpLong getTimeAsSeconds() const { return mTime / 1000; }
  // 1 when year is divisible by 4 and either not by 100 or by 400.
  unsigned char isaLeapYear(int year) const;

 private:
  void setFromCount(QpLong inCount);
  void computeCount();
  void setText(const char* inText);

  int mYear;         // 1970 to 9999
  int mMonth;        // 1 to 12
  int mDay;          // 1 to the length of the month
  int mHour;         // 0 to 23
  int mMinute;       // 0 to 59
  int mSecond;       // 0 to 59, no leap seconds
  int mMillisecond;  // 0 to 999
  QpLong mTime;      // milliseconds since 1970-01-01 00:00:00.000 UTC
  // The last text produced, or the text parsed from; never null. Held by pointer so that a copy
  // that runs out of memory can be dropped whole instead of leaving a failed buffer behind.
  std::unique_ptr<QpBasicStringBuffer> mText;
};

#endif  // QP_TIME_H
