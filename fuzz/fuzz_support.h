// fuzz_support.h - what the fuzz targets share: the trap that reports a broken property, the
// wrapper for readers whose refusal is an accepted answer, exact-size copies of the input (so the
// sanitizer sees a read past them), temporary files, the name-lookup refusal, and a small UTF-8
// reader written from the RFCs independently of the library's decoder, so that the two can be
// compared on arbitrary bytes. libFuzzer runs each target on one thread; nothing here locks.
#ifndef QP_FUZZ_SUPPORT_H
#define QP_FUZZ_SUPPORT_H

#include <netdb.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "QpOsHooks.h"
#include "QpUtilsLib.h"

namespace qpfuzz {

inline void check(bool inCondition) {
  if (!inCondition) __builtin_trap();
}

// Runs one reader; a QpException is an accepted outcome.
template <class F>
void attempt(F&& inRead) {
  try {
    inRead();
  } catch (QpException&) {
  }
}

// The statements as one reader (a block of their own, so they may declare what they read into);
// a QpException is an accepted outcome.
#define QP_FUZZ_READ(...) qpfuzz::attempt([&] { __VA_ARGS__; })

// inCount units of T copied from the input into an allocation of exactly that size. new[] rather
// than a vector: an empty input must still be a real (zero-length) text, not the null that an
// empty vector hands out and that the conversions answer with null.
template <class T>
std::unique_ptr<T[]> exactCopy(const uint8_t* inData, size_t inCount) {
  std::unique_ptr<T[]> vCopy(new T[inCount]);
  if (inCount > 0) std::memcpy(vCopy.get(), inData, inCount * sizeof(T));
  return vCopy;
}

// The input as a C text: it ends at its first zero byte.
inline std::string cText(const uint8_t* inData, size_t inSize) {
  const char* vChars = reinterpret_cast<const char*>(inData);
  return std::string(vChars, strnlen(vChars, inSize));
}

// A file of this process named after inTag ("/tmp/qp_<inTag>_<pid>"); with inData it is written
// with those bytes first, and false comes back when that fails.
inline bool tempFile(const char* inTag, std::string& outPath, const uint8_t* inData = nullptr,
                     size_t inSize = 0) {
  outPath = std::string("/tmp/qp_") + inTag + "_" + std::to_string(getpid());
  if (inData == nullptr) return true;
  FILE* vFile = std::fopen(outPath.c_str(), "wb");
  if (vFile == nullptr) return false;
  std::fwrite(inData, 1, inSize, vFile);
  return std::fclose(vFile) == 0;
}

// Refuses every name lookup from the first call on, so that address texts from the input resolve
// only when dotted and the fuzzer never waits on the network.
inline void refuseNameLookups() {
  static const bool sHooked = [] {
    QpOsHooks vHooks = qpOsGetHooks();
    vHooks.mGetAddrInfo = [](const char*, const char*, const void*, void**) { return EAI_NONAME; };
    qpOsSetHooks(vHooks);
    return true;
  }();
  (void)sHooked;
}

inline bool messageIs(QpException& inE, const char* inMessage) {
  char* vMessage = inE.GetMessageString();
  const bool vSame = vMessage != nullptr && std::strcmp(vMessage, inMessage) == 0;
  qp_free(vMessage);
  return vSame;
}

// Reference reader: counts the lead byte's leading ones (RFC 2279: up to six bytes) and refuses a
// sequence that is cut short, has a follower outside 10xxxxxx, or is longer than its value needs.
// With inRfc3629 the limits of Unicode apply (four bytes at most, nothing above U+10FFFF, no
// surrogate); without them, four-byte forms still stop at U+10FFFF while five and six-byte forms
// reach up to 0x7FFFFFFF. FE and FF are always malformed. Decodes the whole of inText[0, inSize)
// into outCodePoints; false at the first malformed sequence.
inline bool decodeUtf8(const unsigned char* inText, size_t inSize, bool inRfc3629,
                       std::vector<uint32_t>& outCodePoints) {
  static const uint32_t kSmallest[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
  for (size_t i = 0; i < inSize;) {
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
    if (cp < kSmallest[n] || (n == 4 && cp > 0x10FFFF)) return false;
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

// UTF-16 of code points: one unit below 0x10000, a pair up to 0x10FFFF, nothing above.
template <class Cps>
std::vector<unsigned short> toUtf16(const Cps& inCodePoints) {
  std::vector<unsigned short> vUnits;
  for (const auto c : inCodePoints) {
    const uint32_t cp = static_cast<uint32_t>(c);
    if (cp < 0x10000) {
      vUnits.push_back(static_cast<unsigned short>(cp));
    } else if (cp <= 0x10FFFF) {
      vUnits.push_back(static_cast<unsigned short>(0xD800 + ((cp - 0x10000) >> 10)));
      vUnits.push_back(static_cast<unsigned short>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  return vUnits;
}

// The shortest UTF-8 form of a code point up to 0x1FFFFF.
inline void appendUtf8(std::string& out, uint32_t inCp) {
  const int n = inCp < 0x80 ? 1 : inCp < 0x800 ? 2 : inCp < 0x10000 ? 3 : 4;
  static const unsigned char kLead[5] = {0, 0, 0xC0, 0xE0, 0xF0};
  out += static_cast<char>(n == 1 ? inCp : kLead[n] | (inCp >> (6 * (n - 1))));
  for (int k = n - 2; k >= 0; --k) out += static_cast<char>(0x80 | ((inCp >> (6 * k)) & 0x3F));
}

}  // namespace qpfuzz

#endif  // QP_FUZZ_SUPPORT_H
