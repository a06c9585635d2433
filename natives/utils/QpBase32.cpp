// QpBase32.cpp - the Base32 and Base64 codecs.
//
// Base32 works on groups of five bytes, which are exactly eight digits (40 bits); a 64-bit word
// holds a whole group, so no bit accumulator has to carry state between digits.
#include "QpBase32.h"

#include <cstdint>

#include "QpRaise.h"
#include "qpos32.h"

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

void QpBase64::encode(const char* data, int length, char* out, int* outLength) {
  const unsigned char* vIn = reinterpret_cast<const unsigned char*>(data);
  size_t vWritten = 0;
  for (int vDone = 0; vDone < length; vDone += 3) {
    const int vCount = length - vDone < 3 ? length - vDone : 3;
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
  int vWritten = 0;
  int vPos = 0;
  while (vPos < length) {
    unsigned char vSextets[4] = {0, 0, 0, 0};
    int vFound = 0;
    while (vFound < 4 && vPos < length) {
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
  *outLength = vWritten;
}
