// Reads arbitrary file content as a properties file, then writes the set out and reads it back:
// parsing must never crash, and what was read must survive a round trip through the file.
#include <QpUtilsLib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string tempPath(const char* inTag) {
  return std::string("/tmp/qp_properties_fuzz_") + inTag + "_" + std::to_string(getpid());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize) {
  static const std::string sIn = tempPath("in");
  static const std::string sOut = tempPath("out");
  FILE* vFile = std::fopen(sIn.c_str(), "wb");
  if (vFile == nullptr) return 0;
  std::fwrite(inData, 1, inSize, vFile);
  std::fclose(vFile);

  QpProperties vSet("fuzz");
  try {
    vSet.readFromFile(sIn.c_str());
  } catch (QpException&) {
    return 0;
  }
  // A name or value that holds a line feed or '=' cannot come out of a read, so the written file
  // must read back to the same entries, except a name beginning with '#' ("==#a=b" names "#a"),
  // whose line reads back as a comment.
  vSet.writeToFile(sOut.c_str());
  QpProperties vBack("back");
  vBack.readFromFile(sOut.c_str());
  for (int i = 0; i < vSet.getSize(); ++i) {
    const char* vName = vSet.QpHashMap::getName(i);
    if (vName[0] == '#') continue;
    const char* vValue = vSet.getValue(vName);
    const char* vBackValue = vBack.getValue(vName);
    if ((vValue == nullptr) != (vBackValue == nullptr)) __builtin_trap();
    if (vValue != nullptr && std::strcmp(vValue, vBackValue) != 0) __builtin_trap();
  }
  return 0;
}
