// Fuzz target: QpTime's cluster time text. Any text is either refused with the two parse
// exceptions or read into a time that prints and reads back to the same count. Where the C
// library's sscanf is well defined (no number longer than nine digits) it is the reference for
// which numbers are read, so both must agree on acceptance and on the count.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "QpUtilsLib.h"

namespace {

void check(bool inCondition) {
  if (!inCondition) __builtin_trap();
}

const QpLong kEndOf9999 = 253402300800000;

bool hasLongNumber(const char* inText) {
  int vRun = 0;
  for (const char* p = inText; *p != '\0'; ++p) {
    vRun = (*p >= '0' && *p <= '9') ? vRun + 1 : 0;
    if (vRun > 9) return true;
  }
  return false;
}

enum Outcome { kFormat, kUnsupported, kAccepted };

// What sscanf makes of the text: the outcome and, when accepted, the count.
Outcome reference(const char* inText, QpLong& outCount) {
  int v[7] = {0, 0, 0, 0, 0, 0, 0};
  if (std::sscanf(inText, "%d.%d.%d %d:%d:%d.%d GMT", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                  &v[6]) != 7) {
    if (std::sscanf(inText, "%d.%d.%d %d:%d:%d GMT", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) !=
        6) {
      return kFormat;
    }
    v[6] = 0;
  }
  try {
    outCount = QpTime(v[0], v[1], v[2], v[3], v[4], v[5], v[6]).getTimeAsMilliseconds();
    return kAccepted;
  } catch (QpNotSupportedException&) {
    return kUnsupported;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 256) return 0;
  std::string vText(reinterpret_cast<const char*>(data), size);
  const char* vC = vText.c_str();

  Outcome vOutcome = kAccepted;
  QpLong vCount = -1;
  try {
    QpTime vTime(vC);
    vCount = vTime.getTimeAsMilliseconds();
    check(vCount >= 0 && vCount < kEndOf9999);
    std::string vPrinted = vTime.getStringWithMilliseconds().toStringConst();
    check(vPrinted.size() == 27);
    check(QpTime(vPrinted.c_str()).getTimeAsMilliseconds() == vCount);
    QpTime vFromCount(vCount);
    check(vPrinted == vFromCount.getStringWithMilliseconds().toStringConst());
    check(QpTime(vTime.getStringWithSeconds().toStringConst()).getTimeAsSeconds() ==
          vTime.getTimeAsSeconds());
  } catch (QpParameterException& e) {
    char* vMessage = e.GetMessageString();
    check(std::strcmp(vMessage, "Cluster Time string is in an unexpected format\n") == 0);
    qp_free(vMessage);
    vOutcome = kFormat;
  } catch (QpNotSupportedException& e) {
    char* vMessage = e.GetMessageString();
    check(std::strcmp(vMessage, "Cluster Time string contains an unsupported time\n") == 0);
    qp_free(vMessage);
    vOutcome = kUnsupported;
  }

  if (!hasLongNumber(vC)) {
    QpLong vExpected = -1;
    check(reference(vC, vExpected) == vOutcome);
    if (vOutcome == kAccepted) check(vExpected == vCount);
  }
  return 0;
}
