// QpBase32.cpp - the Base32 and Base64 codecs.
//
// Base32 works on groups of five bytes, which are exactly eight digits (40 bits); a 64-bit word
// holds a whole group, so no bit accumulator has to carry state between digits.
//
// Base64 has a plain loop that is the definition of the result (one group of three bytes or four
// sextets at a time, skipping foreign bytes while decoding) and bulk paths in front of it that
// take the long clean middle of an input in 64-bit words or AVX2 vectors. A bulk path only ever
// consumes whole groups, so when it stops (at the tail, or at the first block of the text that
// holds a byte outside the alphabet) the plain loop resumes in exactly the state it would have
// been in had it run from the start.
#include "QpBase32.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "QpBase64Hooks.h"
#include "QpRaise.h"
#include "qpos32.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QP_BASE64_X86 1
#endif

namespace {

constexpr char kBase32Alphabet[] = "ybndrfg8ejkmcpqxot1uwisza345h769";
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned char kNoDigit = 0xFF;

// Reverse lookup over all 256 byte values, built at compile time from an alphabet so that the
// two directions cannot disagree.
struct DecodeTable {
  unsigned char mValue[256];
  constexpr explicit DecodeTable(const char* inAlphabet) : mValue() {
    for (int i = 0; i < 256; ++i) mValue[i] = kNoDigit;
    for (int i = 0; inAlphabet[i] != '\0'; ++i) {
      mValue[static_cast<unsigned char>(inAlphabet[i])] = static_cast<unsigned char>(i);
    }
  }
  // Indexed by the unsigned byte: a plain char above 0x7F would otherwise index below the table.
  unsigned char operator[](char inChar) const { return mValue[static_cast<unsigned char>(inChar)]; }
};

constexpr DecodeTable kBase32Decode(kBase32Alphabet);
constexpr DecodeTable kBase64Decode(kBase64Alphabet);

const char kForeignDigit[] = "Base32 text holds a character outside the alphabet";

const int kGroupBytes = 5;
const int kGroupDigits = 8;

}  // namespace

// ---- QpBase32 ----------------------------------------------------------------------------------

int QpBase32::getNumEncodedChars(int bits, int width) {
  if (bits > 0) return (bits + width - 1) / width;
  return bits / width;
}

char* QpBase32::encode(const char* data, int length) {
  const size_t vBytes = length > 0 ? static_cast<size_t>(length) : 0;
  QP_CHECK(vBytes == 0 || data != nullptr);
  const size_t vWhole = vBytes / kGroupBytes;
  const int vTailBytes = static_cast<int>(vBytes % kGroupBytes);
  const int vTailDigits = getNumEncodedChars(8 * vTailBytes, 5);
  // Counted per group rather than as ceil(8n / 5), which would overflow an int for inputs of a
  // quarter of a gigabyte or more.
  const size_t vDigits = vWhole * kGroupDigits + static_cast<size_t>(vTailDigits);

  char* vText = static_cast<char*>(qp_malloc(vDigits + 2));
  if (vText == nullptr) qpRaiseOutOfMemory(QP_HERE);

  const unsigned char* vIn = reinterpret_cast<const unsigned char*>(data);
  char* vOut = vText;
  *vOut++ = 'Z';
  for (size_t g = 0; g <= vWhole; ++g) {
    const int vCount = g < vWhole ? kGroupBytes : vTailBytes;
    const int vDigitCount = g < vWhole ? kGroupDigits : vTailDigits;
    // A short last group sits at the top of the 40 bits with zeros below it, which is exactly
    // the zero fill its last digit needs.
    uint64_t vGroup = 0;
    for (int i = 0; i < kGroupBytes; ++i) {
      vGroup = (vGroup << 8) | (i < vCount ? vIn[i] : 0u);
    }
    for (int i = 0; i < vDigitCount; ++i) {
      *vOut++ = kBase32Alphabet[(vGroup >> (35 - 5 * i)) & 0x1F];
    }
    vIn += vCount;
  }
  *vOut = '\0';
  return vText;
}

char* QpBase32::encode(const char* text) {
  QP_CHECK(text != nullptr);
  return encode(text, static_cast<int>(qp_strlen(text)));
}

char* QpBase32::decode(const char* text, int length) {
  // Only whole bytes come out: m - 1 digits hold floor(5(m - 1) / 8) of them, and those need
  // ceil(8 bytes / 5) digits; a digit beyond that carries only fill bits and is not read.
  const size_t vDigitsGiven = length > 1 ? static_cast<size_t>(length) - 1 : 0;
  const size_t vBytes = vDigitsGiven * 5 / 8;
  const size_t vWhole = vBytes / kGroupBytes;
  const int vTailBytes = static_cast<int>(vBytes % kGroupBytes);
  const int vTailDigits = getNumEncodedChars(8 * vTailBytes, 5);
  const size_t vDigits = vWhole * kGroupDigits + static_cast<size_t>(vTailDigits);

  // Checked before anything is allocated, so that a refusal has nothing to release. A stray
  // byte would otherwise contribute eight bits where five belong and corrupt its neighbours.
  if (length >= 1) {
    QP_CHECK(text != nullptr);
    if (text[0] != 'Z') {
      qpRaise<QpParameterException>(QP_HERE, 0, "Base32 text does not start with Z");
    }
    for (size_t i = 1; i <= vDigits; ++i) {
      if (kBase32Decode[text[i]] == kNoDigit) {
        qpRaise<QpParameterException>(QP_HERE, 0, kForeignDigit);
      }
    }
  }

  // Room for ceil(5 digits / 8) bytes, which may be one more than the whole bytes written: the
  // extra byte, like the terminator, stays zero. An empty result gets two bytes all the same.
  const size_t vRoom = vDigits > 0 ? (vDigits * 5 + 7) / 8 + 1 : 2;
  char* vResult = static_cast<char*>(qp_malloc(vRoom));
  if (vResult == nullptr) qpRaiseOutOfMemory(QP_HERE);
  qp_memset(vResult, 0, vRoom);
  // With nothing to decode the text may be empty or even null: do not form a pointer into it.
  if (vDigits == 0) return vResult;

  const char* vIn = text + 1;
  unsigned char* vOut = reinterpret_cast<unsigned char*>(vResult);
  for (size_t g = 0; g <= vWhole; ++g) {
    const int vCount = g < vWhole ? kGroupBytes : vTailBytes;
    const int vDigitCount = g < vWhole ? kGroupDigits : vTailDigits;
    uint64_t vGroup = 0;
    for (int i = 0; i < kGroupDigits; ++i) {
      vGroup = (vGroup << 5) | (i < vDigitCount ? kBase32Decode[vIn[i]] : 0u);
    }
    for (int i = 0; i < vCount; ++i) {
      *vOut++ = static_cast<unsigned char>(vGroup >> (32 - 8 * i));
    }
    vIn += vDigitCount;
  }
  return vResult;
}

char* QpBase32::decode(const char* text) {
  QP_CHECK(text != nullptr);
  return decode(text, static_cast<int>(qp_strlen(text)));
}

// ---- QpBase64 ----------------------------------------------------------------------------------

void QpBase64::encodeblock(unsigned char in[3], unsigned char out[4], int count) {
  out[0] = static_cast<unsigned char>(kBase64Alphabet[in[0] >> 2]);
  out[1] = static_cast<unsigned char>(kBase64Alphabet[((in[0] & 0x03) << 4) | (in[1] >> 4)]);
  out[2] = static_cast<unsigned char>(
      count > 1 ? kBase64Alphabet[((in[1] & 0x0F) << 2) | (in[2] >> 6)] : '=');
  out[3] = static_cast<unsigned char>(count > 2 ? kBase64Alphabet[in[2] & 0x3F] : '=');
}

void QpBase64::decodeblock(unsigned char in[4], unsigned char out[3]) {
  out[0] = static_cast<unsigned char>((in[0] << 2) | (in[1] >> 4));
  out[1] = static_cast<unsigned char>((in[1] << 4) | (in[2] >> 2));
  out[2] = static_cast<unsigned char>((in[2] << 6) | in[3]);
}

namespace {

// ---- Bulk paths -------------------------------------------------------------------------------

std::atomic<int> sForcedLevel{-1};

int detectBestLevel() {
#if defined(QP_BASE64_X86)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return kQpBase64Vector;
#endif
  return kQpBase64Words;
}

int bestLevel() {
  static const int kBest = detectBestLevel();
  return kBest;
}

int activeLevel() {
  const int vForced = sForcedLevel.load(std::memory_order_relaxed);
  const int vBest = bestLevel();
  return vForced < 0 || vForced > vBest ? vBest : vForced;
}

// Six bytes make eight characters: the whole 48 bits are read once and cut in sextets from the top.
size_t encodeWords(const unsigned char* inData, size_t inLength, char* outText) {
  size_t vDone = 0;
  for (; inLength - vDone >= 6; vDone += 6) {
    const unsigned char* p = inData + vDone;
    const uint64_t vBits = (uint64_t{p[0]} << 40) | (uint64_t{p[1]} << 32) |
                           (uint64_t{p[2]} << 24) | (uint64_t{p[3]} << 16) | (uint64_t{p[4]} << 8) |
                           uint64_t{p[5]};
    char vChars[8];
    for (int i = 0; i < 8; ++i) vChars[i] = kBase64Alphabet[(vBits >> (42 - 6 * i)) & 0x3F];
    std::memcpy(outText + vDone / 3 * 4, vChars, 8);
  }
  return vDone;
}

// Eight characters make six bytes. A foreign byte has the table value 0xFF, the only value with
// the top bit set, so one test of the OR of the eight values finds it.
size_t decodeWords(const char* inText, size_t inLength, unsigned char* outData) {
  size_t vDone = 0;
  for (; inLength - vDone >= 8; vDone += 8) {
    uint64_t vBits = 0;
    unsigned vAny = 0;
    for (int i = 0; i < 8; ++i) {
      const unsigned vValue = kBase64Decode[inText[vDone + i]];
      vAny |= vValue;
      vBits = (vBits << 6) | vValue;
    }
    if ((vAny & 0x80) != 0) break;
    unsigned char* q = outData + vDone / 4 * 3;
    for (int i = 0; i < 6; ++i) q[i] = static_cast<unsigned char>(vBits >> (40 - 8 * i));
  }
  return vDone;
}

#if defined(QP_BASE64_X86)
// 24 bytes make 32 characters. Each 128-bit lane takes 12 bytes; within a lane every group of
// three bytes a b c is spread over a 32-bit word as b a c b, so that the four sextets sit at fixed
// bit positions of its two 16-bit halves and two multiplications move each to the bottom of its
// own byte. A sextet becomes its character by adding one of five offsets (A-Z, a-z, 0-9, +, /),
// chosen by a 16-entry table lookup on a small class number.
__attribute__((target("avx2"))) size_t encodeVector(const unsigned char* inData, size_t inLength,
                                                    char* outText) {
  const __m256i kSpread = _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10,  //
                                           1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
  // Class 0: 26..51 ('a' - 26); 1..10: 52..61 ('0' - 52); 11: 62 ('+'); 12: 63 ('/');
  // 13: 0..25 ('A').
  const __m256i kOffsets =
      _mm256_setr_epi8(71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 65, 0, 0,  //
                       71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 65, 0, 0);
  size_t vDone = 0;
  // The two 16-byte loads read 28 bytes for the 24 they use.
  for (; inLength - vDone >= 28; vDone += 24) {
    const __m128i vLow = _mm_loadu_si128(reinterpret_cast<const __m128i*>(inData + vDone));
    const __m128i vHigh = _mm_loadu_si128(reinterpret_cast<const __m128i*>(inData + vDone + 12));
    __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(vLow), vHigh, 1);
    v = _mm256_shuffle_epi8(v, kSpread);
    // Low half a:b holds sextets 0 (bits 15-10) and 1 (bits 9-4); high half b:c holds sextets 2
    // (bits 11-6) and 3 (bits 5-0). The high-product moves 0 and 2 down, the low-product moves 1
    // and 3 up, each to the bottom of its byte.
    const __m256i vDown = _mm256_mulhi_epu16(_mm256_and_si256(v, _mm256_set1_epi32(0x0FC0FC00)),
                                             _mm256_set1_epi32(0x04000040));
    const __m256i vUp = _mm256_mullo_epi16(_mm256_and_si256(v, _mm256_set1_epi32(0x003F03F0)),
                                           _mm256_set1_epi32(0x01000010));
    const __m256i vSextets = _mm256_or_si256(vDown, vUp);
    __m256i vClass = _mm256_subs_epu8(vSextets, _mm256_set1_epi8(51));
    const __m256i vUpper = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), vSextets);
    vClass = _mm256_or_si256(vClass, _mm256_and_si256(vUpper, _mm256_set1_epi8(13)));
    const __m256i vChars = _mm256_add_epi8(vSextets, _mm256_shuffle_epi8(kOffsets, vClass));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(outText + vDone / 3 * 4), vChars);
  }
  return vDone;
}

// 32 characters make 24 bytes. A character is classified by its two nibbles: each high nibble
// selects the set of low nibbles that are foreign under it (one bit per set), so a byte is in the
// alphabet exactly when the bits of its two table entries do not meet. Its sextet is the byte
// plus an offset chosen by the high nibble ('/' shares its nibble with '+' and is moved one entry
// down). Two multiply-adds then join four sextets into 24 bits.
__attribute__((target("avx2"))) size_t decodeVector(const char* inText, size_t inLength,
                                                    unsigned char* outData) {
  // Bits: 0x01 high nibble 2 (only B and F belong), 0x02 nibble 3 (only 0-9), 0x04 nibbles 4 and
  // 6 (all but 0), 0x08 nibbles 5 and 7 (only 0-A), 0x10 every other high nibble (none belong).
  const __m256i kForeignLow =
      _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B,
                       0x1B, 0x1B, 0x1A, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                       0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
  const __m256i kForeignHigh =
      _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10,
                       0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10,
                       0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
  // By high nibble: 1 '/' (+16), 2 '+' (+19), 3 digits (+4), 4-5 upper case (-65), 6-7 lower case
  // (-71).
  const __m256i kShift = _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0,
                                          0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
  // The three bytes of each 32-bit result, most significant first; the last four lane bytes are
  // not used.
  const __m256i kGather =
      _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,  //
                       2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  const __m256i kLanes = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  const __m256i kNibble = _mm256_set1_epi8(0x0F);
  size_t vDone = 0;
  for (; inLength - vDone >= 32; vDone += 32) {
    const __m256i vChars = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(inText + vDone));
    const __m256i vHigh = _mm256_and_si256(_mm256_srli_epi32(vChars, 4), kNibble);
    const __m256i vLow = _mm256_and_si256(vChars, kNibble);
    const __m256i vForeign = _mm256_and_si256(_mm256_shuffle_epi8(kForeignLow, vLow),
                                              _mm256_shuffle_epi8(kForeignHigh, vHigh));
    if (!_mm256_testz_si256(vForeign, vForeign)) break;
    const __m256i vSlash = _mm256_cmpeq_epi8(vChars, _mm256_set1_epi8('/'));
    const __m256i vSextets =
        _mm256_add_epi8(vChars, _mm256_shuffle_epi8(kShift, _mm256_add_epi8(vHigh, vSlash)));
    // Pairs of sextets become 12-bit values, pairs of those 24-bit values.
    const __m256i vPairs = _mm256_maddubs_epi16(vSextets, _mm256_set1_epi32(0x01400140));
    const __m256i vGroups = _mm256_madd_epi16(vPairs, _mm256_set1_epi32(0x00011000));
    const __m256i vBytes =
        _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(vGroups, kGather), kLanes);
    // Exactly the 24 bytes: nothing past the decoded length is touched, and the bytes written
    // never reach characters not yet read, so decoding in place works as well.
    unsigned char* vOut = outData + vDone / 4 * 3;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(vOut), _mm256_castsi256_si128(vBytes));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(vOut + 16), _mm256_extracti128_si256(vBytes, 1));
  }
  return vDone;
}
#endif

}  // namespace

int QpBase64ForceLevel(int inLevel) {
  return sForcedLevel.exchange(inLevel < 0 ? -1 : inLevel);
}

int QpBase64BestLevel() {
  return bestLevel();
}

void QpBase64::encode(const char* data, int length, char* out, int* outLength) {
  const unsigned char* vIn = reinterpret_cast<const unsigned char*>(data);
  const size_t vLength = length > 0 ? static_cast<size_t>(length) : 0;
  size_t vDone = 0;
  const int vLevel = activeLevel();
#if defined(QP_BASE64_X86)
  if (vLevel >= kQpBase64Vector) vDone = encodeVector(vIn, vLength, out);
#endif
  if (vLevel >= kQpBase64Words)
    vDone += encodeWords(vIn + vDone, vLength - vDone, out + vDone / 3 * 4);
  size_t vWritten = vDone / 3 * 4;
  for (; vDone < vLength; vDone += 3) {
    const int vCount = vLength - vDone < 3 ? static_cast<int>(vLength - vDone) : 3;
    // The missing bytes of a short last group count as zero, so its last real sextet is padded
    // with zero bits as the standard requires.
    unsigned char vGroup[3] = {0, 0, 0};
    for (int i = 0; i < vCount; ++i) vGroup[i] = vIn[vDone + i];
    encodeblock(vGroup, reinterpret_cast<unsigned char*>(out) + vWritten, vCount);
    vWritten += 4;
  }
  *outLength = static_cast<int>(vWritten);
}

void QpBase64::decode(const char* text, int length, char* out, int* outLength) {
  unsigned char* vOut = reinterpret_cast<unsigned char*>(out);
  const size_t vLength = length > 0 ? static_cast<size_t>(length) : 0;
  size_t vPos = 0;
  const int vLevel = activeLevel();
#if defined(QP_BASE64_X86)
  if (vLevel >= kQpBase64Vector) vPos = decodeVector(text, vLength, vOut);
#endif
  if (vLevel >= kQpBase64Words)
    vPos += decodeWords(text + vPos, vLength - vPos, vOut + vPos / 4 * 3);
  size_t vWritten = vPos / 4 * 3;
  while (vPos < vLength) {
    unsigned char vSextets[4] = {0, 0, 0, 0};
    int vFound = 0;
    while (vFound < 4 && vPos < vLength) {
      const unsigned char vValue = kBase64Decode[text[vPos++]];
      if (vValue != kNoDigit) vSextets[vFound++] = vValue;
    }
    // k sextets carry 6k bits, which hold k - 1 whole bytes; a lone sextet holds none.
    if (vFound > 1) {
      unsigned char vBytes[3];
      decodeblock(vSextets, vBytes);
      for (int i = 0; i < vFound - 1; ++i) vOut[vWritten++] = vBytes[i];
    }
  }
  *outLength = static_cast<int>(vWritten);
}
