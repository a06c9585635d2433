// Fuzz target: the strict UTF-8 readers against an independent reference, on arbitrary bytes.
//
// QpValidUTF8 must accept exactly the texts that the reference reads whole, whose one-byte
// characters pass the XML rule (the strict decode step refuses control characters), and that
// hold a character. The strict count and the strict UCS-4 conversion must then agree with the
// reference character for character; the conversion raises exactly when a character breaks the
// XML rule. In every other mode a text without a zero byte never decodes to U+0000.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "QpUtilsLib.h"
#include "utf8_reference.h"

namespace {

void check(bool inCondition) {
  if (!inCondition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 14) return 0;
  std::unique_ptr<char[]> vText(new char[size + 1]);
  if (size > 0) std::memcpy(vText.get(), data, size);
  const int vLength = static_cast<int>(size);

  std::vector<uint32_t> vRef;
  bool vReads = qpref::decodeUtf8(data, size, false, vRef);
  for (uint32_t cp : vRef)
    if (cp < 0x80 && !qpref::isXmlChar(cp)) vReads = false;
  check(QpValidUTF8(vText.get(), vLength) == ((vReads && !vRef.empty()) ? 1 : 0));

  try {
    const int vCount = QpCountCharacters(vText.get(), vLength, 1, 0);
    check(vReads && vCount == static_cast<int>(vRef.size()));
  } catch (QpInvalidXMLException&) {
    check(!vReads);
  }

  bool vAllXml = true;
  for (uint32_t cp : vRef)
    if (!qpref::isXmlChar(cp)) vAllXml = false;
  try {
    int* vUcs4 = QpConvertUTF8ToUCS4(vText.get(), vLength, 1, 0);
    check(vReads && vAllXml);
    for (size_t i = 0; i < vRef.size(); ++i) check(vUcs4[i] == static_cast<int>(vRef[i]));
    check(vUcs4[vRef.size()] == 0);
    qp_free(vUcs4);
  } catch (QpInvalidXMLException&) {
    check(!vReads || !vAllXml);
  }

  if (std::memchr(data, 0, size) == nullptr) {
    const unsigned char kModes[3][2] = {{0, 0}, {0, 1}, {1, 1}};
    for (const auto& m : kModes) {
      const int vCount = QpCountCharacters(vText.get(), vLength, m[0], m[1]);
      int* vUcs4 = QpConvertUTF8ToUCS4(vText.get(), vLength, m[0], m[1]);
      for (int i = 0; i < vCount; ++i) check(vUcs4[i] != 0);
      qp_free(vUcs4);
    }
  }
  return 0;
}
