// Reads arbitrary file content as a properties file, then writes the set out and reads it back:
// parsing must never crash, and what was read must survive a round trip through the file.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  std::string vIn, vOut;
  if (!qpfuzz::tempFile("properties_fuzz_in", vIn, inData, inSize)) return 0;
  qpfuzz::tempFile("properties_fuzz_out", vOut);
  QpProperties vSet("fuzz");
  try {
    vSet.readFromFile(vIn.c_str());
  } catch (QpException&) {
    return 0;
  }
  // A name or value that holds a line feed or '=' cannot come out of a read, so the written file
  // must read back to the same entries, except a name beginning with '#' ("==#a=b" names "#a"),
  // whose line reads back as a comment.
  vSet.writeToFile(vOut.c_str());
  QpProperties vBack("back");
  vBack.readFromFile(vOut.c_str());
  for (int i = 0; i < vSet.getSize(); ++i) {
    const char* vName = vSet.QpHashMap::getName(i);
    if (vName[0] == '#') continue;
    const char* vValue = vSet.getValue(vName);
    const char* vBackValue = vBack.getValue(vName);
    qpfuzz::check((vValue == nullptr) == (vBackValue == nullptr));
    qpfuzz::check(vValue == nullptr || std::strcmp(vValue, vBackValue) == 0);
  }
  return 0;
}
