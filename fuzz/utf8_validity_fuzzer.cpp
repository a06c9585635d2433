// Fuzz target: the strict UTF-8 readers against an independent reference, on arbitrary bytes.
//
// QpValidUTF8 must accept exactly the texts that the reference reads whole, whose one-byte
// characters pass the XML rule (the strict decode step refuses control characters), and that
// hold a character. The strict count and the strict UCS-4 conversion must then agree with the
// reference character for character; the conversion raises exactly when a character breaks the
// XML rule. In every other mode a text without a zero byte never decodes to U+0000.
#include <algorithm>

#include "fuzz_support.h"

using qpfuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 14) return 0;
  const auto vText = qpfuzz::exactCopy<char>(data, size);
  const int vLength = static_cast<int>(size);

  std::vector<uint32_t> vRef;
  const bool vReads = qpfuzz::decodeUtf8(data, size, false, vRef) &&
                      std::all_of(vRef.begin(), vRef.end(),
                                  [](uint32_t cp) { return cp >= 0x80 || qpfuzz::isXmlChar(cp); });
  check(QpValidUTF8(vText.get(), vLength) == ((vReads && !vRef.empty()) ? 1 : 0));

  try {
    const int vCount = QpCountCharacters(vText.get(), vLength, 1, 0);
    check(vReads && vCount == static_cast<int>(vRef.size()));
  } catch (QpInvalidXMLException&) {
    check(!vReads);
  }

  const bool vAllXml = std::all_of(vRef.begin(), vRef.end(), qpfuzz::isXmlChar);
  try {
    int* vUcs4 = QpConvertUTF8ToUCS4(vText.get(), vLength, 1, 0);
    check(vReads && vAllXml);
    for (size_t i = 0; i <= vRef.size(); ++i)
      check(vUcs4[i] == (i < vRef.size() ? static_cast<int>(vRef[i]) : 0));
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
