// Fuzz target: QpXmlUnescape on arbitrary text, against a reference pass written here.
//
// The reference walks the text once, left to right, and replaces "&amp;", "&lt;", "&gt;",
// "&quot;" and "&apos;" by their characters without looking at a produced character again;
// anything else, a lone "&" included, is copied. The library must give the same text, in place,
// and never write past the terminator (the text is an exact-size allocation).
#include "fuzz_support.h"

namespace {

std::string reference(const std::string& inText) {
  static const char* const kEntities[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"};
  static const char kChars[] = "&<>\"'";
  std::string vOut;
  for (size_t i = 0; i < inText.size();) {
    int e = 0;
    while (e < 5 && inText.compare(i, std::strlen(kEntities[e]), kEntities[e]) != 0) ++e;
    vOut += e < 5 ? kChars[e] : inText[i];
    i += e < 5 ? std::strlen(kEntities[e]) : 1;
  }
  return vOut;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 14) return 0;
  const std::string vText = qpfuzz::cText(data, size);
  const auto vBuffer =
      qpfuzz::exactCopy<char>(reinterpret_cast<const uint8_t*>(vText.c_str()), vText.size() + 1);
  qpfuzz::check(QpXmlUnescape(vBuffer.get()) == vBuffer.get());
  qpfuzz::check(vBuffer.get() == reference(vText));
  return 0;
}
