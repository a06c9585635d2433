// QpDigestTextInternal.h - the digest text shared by the MD5 and SHA-256 engines, and the byte
// order helpers their block functions use.
//
// A digest is written 8 bytes at a time: each group is read as one unsigned 64-bit number in
// little-endian order and written as 13 digits of the alphabet "0-9A-V", most significant first.
// 64 bits fill 12 digits of 5 bits and a first digit of 4, so a group never starts above "F".
// A type character, when there is one, stands right after the first group.
//
// Threads: pure functions and constant tables; any thread may call them.
#ifndef QP_DIGEST_TEXT_INTERNAL_H
#define QP_DIGEST_TEXT_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "QpRaise.h"
#include "qpos32.h"

namespace qpdigest {

constexpr int kGroupBytes = 8;
constexpr int kGroupDigits = 13;
constexpr char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
constexpr unsigned char kNoDigit = 0xFF;

// Reverse lookup of every byte value, derived from the alphabet so that the two cannot disagree.
struct UnMapTable {
  unsigned char mValue[256];
  constexpr UnMapTable() : mValue() {
    for (int i = 0; i < 256; ++i) mValue[i] = kNoDigit;
    for (int i = 0; i < 32; ++i) mValue[static_cast<unsigned char>(kAlphabet[i])] = i;
  }
};
constexpr UnMapTable kUnMap{};

inline char mapDigit(unsigned inValue) {
  return kAlphabet[inValue & 31];
}
// The value of a digit, or kNoDigit for any other byte (lower case included).
inline unsigned char unMapDigit(char inChar) {
  return kUnMap.mValue[static_cast<unsigned char>(inChar)];
}

// Text length of a digest of inGroups groups, with or without a type character (no zero byte).
constexpr long textLength(int inGroups, bool inTyped) {
  return inGroups * kGroupDigits + (inTyped ? 1 : 0);
}

// Writes the text of inGroups * 8 raw bytes to out, which has room for textLength() + 1 bytes
// and has been zeroed by the caller; inTypeChar 0 means none.
inline void writeText(const unsigned char* inRaw, int inGroups, char inTypeChar, char* out) {
  for (int g = 0; g < inGroups; ++g) {
    uint64_t vValue = 0;
    for (int b = kGroupBytes - 1; b >= 0; --b) vValue = (vValue << 8) | inRaw[g * kGroupBytes + b];
    for (int d = kGroupDigits - 1; d >= 0; --d) {
      out[d] = mapDigit(static_cast<unsigned>(vValue));
      vValue >>= 5;
    }
    out += kGroupDigits;
    if (g == 0 && inTypeChar != 0) *out++ = inTypeChar;
  }
}

inline uint32_t loadLE32(const unsigned char* inBytes) {
  uint32_t v;
  std::memcpy(&v, inBytes, 4);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap32(v);
#endif
  return v;
}

inline void storeLE32(unsigned char* out, uint32_t inValue) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  inValue = __builtin_bswap32(inValue);
#endif
  std::memcpy(out, &inValue, 4);
}

inline uint32_t loadBE32(const unsigned char* inBytes) {
  uint32_t v;
  std::memcpy(&v, inBytes, 4);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  v = __builtin_bswap32(v);
#endif
  return v;
}

inline void storeBE32(unsigned char* out, uint32_t inValue) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  inValue = __builtin_bswap32(inValue);
#endif
  std::memcpy(out, &inValue, 4);
}

inline uint32_t rotl(uint32_t inValue, int inBits) {
  return (inValue << inBits) | (inValue >> (32 - inBits));
}
inline uint32_t rotr(uint32_t inValue, int inBits) {
  return (inValue >> inBits) | (inValue << (32 - inBits));
}

// The bit count of a resumed computation. Splitting byteCount into whole blocks and a rest
// (q * blockSize + r, as C++ division guarantees for any non-zero divisor) gives byteCount back,
// so the count is byteCount * 8 modulo 2^64 whatever the block size; computing it unsigned keeps
// a hostile negative or huge count from overflowing, and a zero block size from dividing by 0.
inline uint64_t resumedBitCount(int64_t inByteCount) {
  return static_cast<uint64_t>(inByteCount) * 8u;
}

// Steps shared by every makeDummy: checks out, empties it, and writes the text to digest into
// outGuid: a fresh UUID's text followed by inAdditional (when set). False when the OS layer
// gives no UUID; out then stays empty. The refusals are raised with the caller's file and line,
// so that the log names the operation that was called.
constexpr size_t kGuidBufferSize = 256;
inline bool dummySource(const char* inFile, long inLine, char* out, long inOutLength,
                        const char* inAdditional, char (&outGuid)[kGuidBufferSize]) {
  if (out == nullptr) qpRaise<QpSDKInternalException>(inFile, inLine, 0, "outBuf is NULL.");
  if (inOutLength > 0) out[0] = '\0';
  qp_uuid_t vUuid;
  char* vText = nullptr;
  if (qp_uuid_create(&vUuid) != 0 || qp_uuid_to_string(&vUuid, &vText) != 0) return false;
  const size_t vLength = qp_strlen(vText);
  const bool vFits = vLength < kGuidBufferSize;
  if (vFits) qp_memcpy(outGuid, vText, vLength + 1);
  qp_uuid_string_free(vText);
  if (!vFits) return false;
  if (inAdditional != nullptr) {
    if (vLength + qp_strlen(inAdditional) >= kGuidBufferSize) {
      qpRaise<QpSDKInternalException>(inFile, inLine, 0,
                                      "vGuid len + inAdditional is >= sizeof vGuid.");
    }
    qp_strcat(outGuid, inAdditional);
  }
  return true;
}

}  // namespace qpdigest

#endif  // QP_DIGEST_TEXT_INTERNAL_H
