// Fuzz target: QpTime's cluster time text. Any text is refused with one of the two parse
// exceptions or read into a time that prints and reads back to the same count. Where sscanf is
// well defined (no run of more than nine digits) it decides which numbers are read, and both
// must agree on the outcome and the count.
#include "fuzz_support.h"

namespace {

using qpfuzz::check;
using qpfuzz::messageIs;

// -2: not in either form, -1: a field out of range, else the count.
QpLong reference(const char* inText) {
  int v[7] = {0, 0, 0, 0, 0, 0, 0};
  if (std::sscanf(inText, "%d.%d.%d %d:%d:%d.%d GMT", v, v + 1, v + 2, v + 3, v + 4, v + 5,
                  v + 6) != 7 &&
      std::sscanf(inText, "%d.%d.%d %d:%d:%d GMT", v, v + 1, v + 2, v + 3, v + 4, v + 5) != 6) {
    return -2;
  }
  try {
    return QpTime(v[0], v[1], v[2], v[3], v[4], v[5], v[6]).getTimeAsMilliseconds();
  } catch (QpNotSupportedException&) {
    return -1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 256) return 0;
  const std::string vText(reinterpret_cast<const char*>(data), size);
  QpLong vResult = -3;
  try {
    QpTime vTime(vText.c_str());
    vResult = vTime.getTimeAsMilliseconds();
    const std::string vPrinted = vTime.getStringWithMilliseconds().toStringConst();
    check(QpTime(vPrinted.c_str()).getTimeAsMilliseconds() == vResult);
    check(vPrinted == QpTime(vResult).getStringWithMilliseconds().toStringConst());
  } catch (QpParameterException& e) {
    check(messageIs(e, "Cluster Time string is in an unexpected format\n"));
    vResult = -2;
  } catch (QpNotSupportedException& e) {
    check(messageIs(e, "Cluster Time string contains an unsupported time\n"));
    vResult = -1;
  }
  for (size_t vRun = 0, i = 0; i < size; ++i) {
    vRun = (vText[i] >= '0' && vText[i] <= '9') ? vRun + 1 : 0;
    if (vRun > 9) return 0;
  }
  check(reference(vText.c_str()) == vResult);
  return 0;
}
