// Fuzz target: QpXmlUnescape on arbitrary text, against a reference pass written here.
//
// The reference walks the text once, left to right, and replaces "&amp;", "&lt;", "&gt;",
// "&quot;" and "&apos;" by their characters without looking at a produced character again;
// anything else, a lone "&" included, is copied. The library must give the same text, in place,
// and never write past the terminator (the text is an exact-size allocation).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "QpUtilsLib.h"

namespace {

void check(bool inCondition) {
  if (!inCondition) __builtin_trap();
}

std::string reference(const std::string& inText) {
  static const struct {
    const char* mEntity;
    char mChar;
  } kEntities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string vOut;
  size_t i = 0;
  while (i < inText.size()) {
    bool vReplaced = false;
    if (inText[i] == '&') {
      for (const auto& e : kEntities) {
        const size_t n = std::strlen(e.mEntity);
        if (inText.compare(i, n, e.mEntity) == 0) {
          vOut += e.mChar;
          i += n;
          vReplaced = true;
          break;
        }
      }
    }
    if (!vReplaced) vOut += inText[i++];
  }
  return vOut;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 14) return 0;
  const std::string vInput(reinterpret_cast<const char*>(data), size);
  const std::string vText = vInput.substr(0, vInput.find('\0'));
  std::unique_ptr<char[]> vBuffer(new char[vText.size() + 1]);
  std::memcpy(vBuffer.get(), vText.c_str(), vText.size() + 1);
  check(QpXmlUnescape(vBuffer.get()) == vBuffer.get());
  check(vBuffer.get() == reference(vText));
  return 0;
}
