// utf8_reference.h - a small UTF-8 reader for the fuzz targets, written from the RFCs and
// independently of the library's decoder, so that the two can be compared on arbitrary bytes.
//
// It reads by counting the lead byte's leading ones (RFC 2279: up to six bytes) and refuses a
// sequence that is cut short, has a follower outside 10xxxxxx, or is longer than its value needs.
// The strict RFC 3629 form adds the limits of Unicode: four bytes at most, nothing above
// U+10FFFF and no surrogate. Both always read FE and FF as malformed.
#ifndef QP_FUZZ_UTF8_REFERENCE_H
#define QP_FUZZ_UTF8_REFERENCE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qpref {

// Decodes the whole of inText[0, inSize) into outCodePoints; false at the first malformed
// sequence. With inRfc3629 the Unicode limits apply; without them, four-byte forms still stop at
// U+10FFFF while five and six-byte forms reach up to 0x7FFFFFFF.
inline bool decodeUtf8(const unsigned char* inText, size_t inSize, bool inRfc3629,
                       std::vector<uint32_t>& outCodePoints) {
  static const uint32_t kSmallest[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
  size_t i = 0;
  while (i < inSize) {
    const unsigned b = inText[i];
    int n = 0;
    while (n < 8 && (b & (0x80u >> n)) != 0) ++n;
    if (n == 0) {
      outCodePoints.push_back(b);
      ++i;
      continue;
    }
    if (n == 1 || n > 6 || (inRfc3629 && n > 4)) return false;
    if (inSize - i < static_cast<size_t>(n)) return false;
    uint32_t cp = b & (0x7Fu >> n);
    for (int k = 1; k < n; ++k) {
      if ((inText[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (inText[i + k] & 0x3F);
    }
    if (cp < kSmallest[n]) return false;
    if (n == 4 && cp > 0x10FFFF) return false;
    if (inRfc3629 && cp >= 0xD800 && cp <= 0xDFFF) return false;
    outCodePoints.push_back(cp);
    i += static_cast<size_t>(n);
  }
  return true;
}

// The XML 1.0 character production.
inline bool isXmlChar(uint32_t inCp) {
  return inCp == 0x9 || inCp == 0xA || inCp == 0xD || (inCp >= 0x20 && inCp <= 0xD7FF) ||
         (inCp >= 0xE000 && inCp <= 0xFFFD) || (inCp >= 0x10000 && inCp <= 0x10FFFF);
}

}  // namespace qpref

#endif  // QP_FUZZ_UTF8_REFERENCE_H
