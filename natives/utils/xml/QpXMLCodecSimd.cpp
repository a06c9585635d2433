// QpXMLCodecSimd.cpp - the fast paths of the UTF-8 and UTF-16 conversions (see
// QpXMLCodecSimdInternal.h for what they promise) and the level switch of QpXMLCodecHooks.h.
//
// Layout: the level in force; the vector primitives of each level (SSE2, AVX2, AVX-512 BW), each
// compiled for its own instruction set through target attributes, so that the library as a whole
// needs no more than the x86-64 baseline; the loops, written once over a level's primitives;
// one flattened entry point per level and loop; the dispatch.
//
// The vector steps judge and convert ASCII only: a block of bytes (or of UTF-16 units) is
// converted whole and the clean part of it kept, which is why the outputs must have room for a
// whole block past the clean part. Longer characters take straight-line scalar steps.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "QpXMLCodecHooks.h"
#include "QpXMLCodecSimdInternal.h"

#if defined(__x86_64__)
// GCC 12 takes the deliberately undefined pass-through operand of many AVX-512 intrinsics for an
// uninitialised read once they are inlined, and says so from inside the header.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#define QP_HAVE_X86_SIMD 1
#endif

namespace {

// ================================================================================================
// The level.
// ================================================================================================
int bestLevel() {
#if defined(QP_HAVE_X86_SIMD)
  __builtin_cpu_init();
  const bool vAvx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
                     __builtin_cpu_supports("bmi");
  if (vAvx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vbmi2"))
    return QP_SIMD_AVX512;
  if (vAvx2) return QP_SIMD_AVX2;
  return QP_SIMD_SSE2;  // part of every x86-64 processor
#else
  return QP_SIMD_SCALAR;
#endif
}

const int kBestLevel = bestLevel();
std::atomic<int> sLevel{kBestLevel};

int level() {
  return sLevel.load(std::memory_order_relaxed);
}

// ================================================================================================
// Scalar pieces shared by every level.
// ================================================================================================
inline bool isCleanAscii(unsigned int inByte) {
  return (inByte >= 0x20 && inByte < 0x80) || inByte == 0x9 || inByte == 0xA || inByte == 0xD;
}

inline int trailingOnes(uint64_t inMask) {
  return __builtin_ctzll(~inMask);
}

// What a level that decodes mixed UTF-8 a block at a time (kMulti) found in one block: the
// bytes it takes (whole characters only) and, among them, the positions of the characters'
// first bytes by length.
struct MultiBlock {
  uint64_t mLeads;  // first bytes of every character
  uint64_t mLead2;
  uint64_t mLead3;
  uint64_t mLead4;
  int mTaken;
  bool mAllAscii;
};

// Output sinks of the UTF-8 loop. block() converts a whole vector of ASCII bytes, skip() keeps
// the first n of them, put() writes one character's code point, multi() a block of mixed text
// (sinks with kMulti only).
template <class B>
struct Utf16Sink {
  static const bool kMulti = true;
  unsigned short* mOut;
  void multi(const unsigned char* inBytes, const MultiBlock& inBlock) {
    mOut += B::transcode16(inBytes, inBlock, mOut);
  }
  void block(const unsigned char* inBytes) { B::widen16(inBytes, mOut); }
  void skip(int inCount) { mOut += inCount; }
  void put(unsigned int inCp) {
    if (inCp < 0x10000) {
      *mOut++ = static_cast<unsigned short>(inCp);
    } else {
      // 0xD800 + ((cp - 0x10000) >> 10), the subtraction folded into the constant
      mOut[0] = static_cast<unsigned short>(0xD7C0 + (inCp >> 10));
      mOut[1] = static_cast<unsigned short>(0xDC00 + (inCp & 0x3FF));
      mOut += 2;
    }
  }
};

template <class B>
struct Ucs2Sink {
  static const bool kMulti = false;
  unsigned short* mOut;
  void block(const unsigned char* inBytes) { B::widen16(inBytes, mOut); }
  void skip(int inCount) { mOut += inCount; }
  void put(unsigned int inCp) { *mOut++ = static_cast<unsigned short>(inCp & 0xFFFF); }
};

template <class B>
struct Ucs4Sink {
  static const bool kMulti = false;
  int* mOut;
  void block(const unsigned char* inBytes) { B::widen32(inBytes, mOut); }
  void skip(int inCount) { mOut += inCount; }
  void put(unsigned int inCp) { *mOut++ = static_cast<int>(inCp); }
};

template <class B>
struct CountSink {
  static const bool kMulti = true;
  int mCount;
  void multi(const unsigned char*, const MultiBlock& inBlock) {
    mCount += __builtin_popcountll(inBlock.mLeads);
  }
  void block(const unsigned char*) {}
  void skip(int inCount) { mCount += inCount; }
  void put(unsigned int) { ++mCount; }
};

// ================================================================================================
// The loops.
// ================================================================================================

// The clean UTF-8 prefix of inText (inAvail bytes), into ioSink. Returns the bytes taken.
template <class B, class Sink>
inline int utf8Prefix(const unsigned char* inText, int inAvail, Sink& ioSink) {
  const int W = B::kBytes;
  int i = 0;
  for (;;) {
    while (inAvail - i >= W) {
      const uint64_t vClean = B::cleanAscii(inText + i);
      ioSink.block(inText + i);
      if (vClean == B::kAll) {
        ioSink.skip(W);
        i += W;
        continue;
      }
      const int vRun = trailingOnes(vClean);
      ioSink.skip(vRun);
      i += vRun;
      break;
    }
    if (i >= inAvail) return i;
    const unsigned int b0 = inText[i];
    if (b0 < 0x80) {
      if (!isCleanAscii(b0)) return i;
      ioSink.put(b0);  // the tail, shorter than a vector
      ++i;
      continue;
    }
    if constexpr (B::kMulti && Sink::kMulti) {
      // Mixed text a block at a time, while the blocks are clean and not plain ASCII again. The
      // block reads two bytes past its 64.
      const int vStart = i;
      while (inAvail - i >= 66) {
        MultiBlock vBlock;
        if (!B::classify8(inText + i, &vBlock)) break;
        ioSink.multi(inText + i, vBlock);
        i += vBlock.mTaken;
        if (vBlock.mAllAscii) break;
      }
      if (i != vStart) continue;
    }
    // A run of longer characters, one straight-line step each. Each step refuses what the
    // character-by-character decoder would not pass unchanged in every mode: a bad lead, a cut
    // or broken sequence, an overlong form, a surrogate, U+FFFE/U+FFFF, anything past U+10FFFF.
    do {
      const unsigned int vLead = inText[i];
      if (vLead < 0xE0) {
        if (vLead < 0xC2 || inAvail - i < 2) return i;
        const unsigned int b1 = inText[i + 1];
        if ((b1 & 0xC0) != 0x80) return i;
        ioSink.put(((vLead & 0x1F) << 6) | (b1 & 0x3F));
        i += 2;
      } else if (vLead < 0xF0) {
        if (inAvail - i < 3) return i;
        const unsigned int b1 = inText[i + 1], b2 = inText[i + 2];
        if (((b1 & 0xC0) ^ 0x80) | ((b2 & 0xC0) ^ 0x80)) return i;
        const unsigned int vCp = ((vLead & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F);
        if (vCp < 0x800 || (vCp - 0xD800) < 0x800 || vCp >= 0xFFFE) return i;
        ioSink.put(vCp);
        i += 3;
      } else {
        if (vLead > 0xF4 || inAvail - i < 4) return i;
        const unsigned int b1 = inText[i + 1], b2 = inText[i + 2], b3 = inText[i + 3];
        if (((b1 & 0xC0) ^ 0x80) | ((b2 & 0xC0) ^ 0x80) | ((b3 & 0xC0) ^ 0x80)) return i;
        const unsigned int vCp =
            ((vLead & 0x07) << 18) | ((b1 & 0x3F) << 12) | ((b2 & 0x3F) << 6) | (b3 & 0x3F);
        if (vCp - 0x10000 > 0xFFFFF) return i;
        ioSink.put(vCp);
        i += 4;
      }
    } while (i < inAvail && inText[i] >= 0x80);
  }
}

// One UTF-16 character of the scan: adds its UTF-8 bytes and returns the units it takes, 0 at a
// zero unit (the end), -1 when it is not clean.
inline int scanUtf16Char(const unsigned short* inText, int inPos, int inUnits, bool inCheck,
                         size_t* ioBytes) {
  const unsigned int u = inText[inPos];
  if (u < 0x80) {
    if (u == 0) return 0;
    if (inCheck && u < 0x20 && u != 0x9 && u != 0xA && u != 0xD) return -1;
    *ioBytes += 1;
    return 1;
  }
  if (u < 0x800) {
    *ioBytes += 2;
    return 1;
  }
  if (u < 0xD800 || (u >= 0xE000 && u < 0xFFFE)) {
    *ioBytes += 3;
    return 1;
  }
  if (u <= 0xDBFF && inPos + 1 < inUnits && (inText[inPos + 1] & 0xFC00) == 0xDC00) {
    *ioBytes += 4;
    return 2;
  }
  return -1;  // an unpaired surrogate, U+FFFE or U+FFFF
}

template <class B>
inline bool utf16Scan(const unsigned short* inText, int inUnits, bool inCheck, int* outUnits,
                      size_t* outBytes) {
  const int W = B::kUnits;
  size_t vBytes = 0;
  int i = 0;
  while (i < inUnits) {
    if (inUnits - i >= W) {
      const int vTaken = B::scan16(inText + i, inUnits - i, inCheck, &vBytes);
      if (vTaken > 0) {
        i += vTaken;
        continue;
      }
    }
    // Something the vector step does not take (a zero, a surrogate, a refused unit) lies in the
    // next block, or the tail is shorter than a block: go through it one character at a time.
    const int vEnd = (inUnits - i >= W) ? i + W : inUnits;
    while (i < vEnd) {
      const int vTaken = scanUtf16Char(inText, i, inUnits, inCheck, &vBytes);
      if (vTaken < 0) return false;
      if (vTaken == 0) {
        *outUnits = i;
        *outBytes = vBytes;
        return true;
      }
      i += vTaken;
    }
  }
  *outUnits = i;
  *outBytes = vBytes;
  return true;
}

// Encodes the character at inText[*ioPos] (clean, as the scan found it) and returns the bytes
// written.
inline int encodeUtf16Char(const unsigned short* inText, int* ioPos, unsigned char* outBuf) {
  const unsigned int u = inText[*ioPos];
  if (u < 0x80) {
    outBuf[0] = static_cast<unsigned char>(u);
    ++*ioPos;
    return 1;
  }
  if (u < 0x800) {
    outBuf[0] = static_cast<unsigned char>(0xC0 | (u >> 6));
    outBuf[1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
    ++*ioPos;
    return 2;
  }
  if ((u & 0xFC00) != 0xD800) {
    outBuf[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
    outBuf[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
    outBuf[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
    ++*ioPos;
    return 3;
  }
  // A high surrogate: the scan saw its low half.
  const unsigned int vCp = 0x10000 + ((u - 0xD800) << 10) + (inText[*ioPos + 1] - 0xDC00u);
  outBuf[0] = static_cast<unsigned char>(0xF0 | (vCp >> 18));
  outBuf[1] = static_cast<unsigned char>(0x80 | ((vCp >> 12) & 0x3F));
  outBuf[2] = static_cast<unsigned char>(0x80 | ((vCp >> 6) & 0x3F));
  outBuf[3] = static_cast<unsigned char>(0x80 | (vCp & 0x3F));
  *ioPos += 2;
  return 4;
}

template <class B>
inline void utf16Encode(const unsigned short* inText, int inUnits, char* outBuf) {
  const int W = B::kUnits;
  unsigned char* vOut = reinterpret_cast<unsigned char*>(outBuf);
  int i = 0;
  while (i < inUnits) {
    while (inUnits - i >= W) {
      // Every unit takes at least one byte, so a whole block fits wherever the clean part ends.
      const uint64_t vAscii = B::narrow8(inText + i, vOut);
      if (vAscii == B::kAllUnits) {
        i += W;
        vOut += W;
        continue;
      }
      const int vRun = trailingOnes(vAscii);
      i += vRun;
      vOut += vRun;
      break;
    }
    if (i >= inUnits) break;
    if constexpr (B::kMulti) {
      // Mixed text 16 or 32 units at a time, until a block is plain ASCII again.
      const int vStart = i;
      while (inUnits - i >= 64) {
        int vTaken = 0;
        const int vWritten = B::encode16(inText + i, vOut, &vTaken);
        i += vTaken;
        vOut += vWritten;
        if (vWritten == vTaken) break;  // one byte a unit: ASCII only
      }
      if (i != vStart) continue;
    }
    do {
      vOut += encodeUtf16Char(inText, &i, vOut);
    } while (i < inUnits && inText[i] >= 0x80);
  }
}

#if defined(QP_HAVE_X86_SIMD)
// ================================================================================================
// The vector primitives. Per level:
//   cleanAscii(p)   bit i set when byte p[i] is an XML character below 0x80 (0x9, 0xA, 0xD or
//                   0x20-0x7F), for kBytes bytes
//   widen16/32(p,o) the kBytes bytes at p as kBytes 16-bit or 32-bit units at o
//   countPlain16(p, check, ioBytes)  false when one of the kUnits units at p is zero, a
//                   surrogate, U+FFFE/U+FFFF or (check) a refused control; otherwise adds the
//                   UTF-8 bytes of the units to *ioBytes
//   narrow8(p,o)    writes the low bytes of the kUnits units at p to o; bit i set when unit i
//                   is below 0x80
// ================================================================================================
#define QP_TARGET_SSE2 __attribute__((target("sse2")))
#define QP_TARGET_AVX2 __attribute__((target("avx2,popcnt,bmi")))
#define QP_TARGET_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi2,avx2,popcnt,bmi")))

// SSE2 has no population count instruction.
inline int popcount32(uint32_t inBits) {
  inBits = inBits - ((inBits >> 1) & 0x55555555u);
  inBits = (inBits & 0x33333333u) + ((inBits >> 2) & 0x33333333u);
  return static_cast<int>((((inBits + (inBits >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24);
}

struct Sse2 {
  static const int kBytes = 16;
  static const int kUnits = 8;
  static const bool kMulti = false;
  static constexpr uint64_t kAll = 0xFFFF;
  static constexpr uint64_t kAllUnits = 0xFF;

  QP_TARGET_SSE2 static uint64_t cleanAscii(const unsigned char* inBytes) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(inBytes));
    // Signed bytes above 0x1F are 0x20-0x7F; 0x80 and up are negative.
    __m128i vOk = _mm_cmpgt_epi8(v, _mm_set1_epi8(0x1F));
    vOk = _mm_or_si128(vOk, _mm_cmpeq_epi8(v, _mm_set1_epi8(0x9)));
    vOk = _mm_or_si128(vOk, _mm_cmpeq_epi8(v, _mm_set1_epi8(0xA)));
    vOk = _mm_or_si128(vOk, _mm_cmpeq_epi8(v, _mm_set1_epi8(0xD)));
    return static_cast<uint32_t>(_mm_movemask_epi8(vOk));
  }
  QP_TARGET_SSE2 static void widen16(const unsigned char* inBytes, unsigned short* outUnits) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(inBytes));
    const __m128i z = _mm_setzero_si128();
    __m128i* vOut = reinterpret_cast<__m128i*>(outUnits);
    _mm_storeu_si128(vOut, _mm_unpacklo_epi8(v, z));
    _mm_storeu_si128(vOut + 1, _mm_unpackhi_epi8(v, z));
  }
  QP_TARGET_SSE2 static void widen32(const unsigned char* inBytes, int* outUnits) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(inBytes));
    const __m128i z = _mm_setzero_si128();
    const __m128i vLo = _mm_unpacklo_epi8(v, z), vHi = _mm_unpackhi_epi8(v, z);
    __m128i* vOut = reinterpret_cast<__m128i*>(outUnits);
    _mm_storeu_si128(vOut, _mm_unpacklo_epi16(vLo, z));
    _mm_storeu_si128(vOut + 1, _mm_unpackhi_epi16(vLo, z));
    _mm_storeu_si128(vOut + 2, _mm_unpacklo_epi16(vHi, z));
    _mm_storeu_si128(vOut + 3, _mm_unpackhi_epi16(vHi, z));
  }
  QP_TARGET_SSE2 static int scan16(const unsigned short* inUnits, int, bool inCheck,
                                   size_t* ioBytes) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(inUnits));
    const __m128i z = _mm_setzero_si128();
    __m128i vBad = _mm_cmpeq_epi16(v, z);
    vBad = _mm_or_si128(vBad, _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(-0x800)),
                                              _mm_set1_epi16(-0x2800)));  // D800-DFFF
    vBad = _mm_or_si128(vBad, _mm_cmpeq_epi16(_mm_or_si128(v, _mm_set1_epi16(1)),
                                              _mm_set1_epi16(-1)));  // FFFE, FFFF
    if (inCheck) {
      __m128i vCtl = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(-0x20)), z);
      vCtl = _mm_andnot_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16(0x9)), vCtl);
      vCtl = _mm_andnot_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16(0xA)), vCtl);
      vCtl = _mm_andnot_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16(0xD)), vCtl);
      vBad = _mm_or_si128(vBad, vCtl);
    }
    if (_mm_movemask_epi8(vBad) != 0) return 0;
    // Units below 0x80 and below 0x800 (two mask bits per unit).
    const int vOne = popcount32(static_cast<uint32_t>(_mm_movemask_epi8(
                         _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(-0x80)), z)))) /
                     2;
    const int vTwo = popcount32(static_cast<uint32_t>(_mm_movemask_epi8(
                         _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(-0x800)), z)))) /
                     2;
    *ioBytes += static_cast<size_t>(3 * kUnits - vOne - vTwo);
    return kUnits;
  }
  QP_TARGET_SSE2 static uint64_t narrow8(const unsigned short* inUnits, unsigned char* outBytes) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(inUnits));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(outBytes), _mm_packus_epi16(v, v));
    const __m128i vAscii =
        _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(-0x80)), _mm_setzero_si128());
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(vAscii, vAscii))) & 0xFF;
  }
};

struct Avx2 {
  static const int kBytes = 32;
  static const int kUnits = 16;
  static const bool kMulti = false;
  static constexpr uint64_t kAll = 0xFFFFFFFFull;
  static constexpr uint64_t kAllUnits = 0xFFFF;

  QP_TARGET_AVX2 static uint64_t cleanAscii(const unsigned char* inBytes) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(inBytes));
    __m256i vOk = _mm256_cmpgt_epi8(v, _mm256_set1_epi8(0x1F));
    vOk = _mm256_or_si256(vOk, _mm256_cmpeq_epi8(v, _mm256_set1_epi8(0x9)));
    vOk = _mm256_or_si256(vOk, _mm256_cmpeq_epi8(v, _mm256_set1_epi8(0xA)));
    vOk = _mm256_or_si256(vOk, _mm256_cmpeq_epi8(v, _mm256_set1_epi8(0xD)));
    return static_cast<uint32_t>(_mm256_movemask_epi8(vOk));
  }
  QP_TARGET_AVX2 static void widen16(const unsigned char* inBytes, unsigned short* outUnits) {
    const __m128i* vIn = reinterpret_cast<const __m128i*>(inBytes);
    __m256i* vOut = reinterpret_cast<__m256i*>(outUnits);
    _mm256_storeu_si256(vOut, _mm256_cvtepu8_epi16(_mm_loadu_si128(vIn)));
    _mm256_storeu_si256(vOut + 1, _mm256_cvtepu8_epi16(_mm_loadu_si128(vIn + 1)));
  }
  QP_TARGET_AVX2 static void widen32(const unsigned char* inBytes, int* outUnits) {
    __m256i* vOut = reinterpret_cast<__m256i*>(outUnits);
    for (int k = 0; k < 4; ++k)
      _mm256_storeu_si256(
          vOut + k,
          _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(inBytes + 8 * k))));
  }
  QP_TARGET_AVX2 static int scan16(const unsigned short* inUnits, int, bool inCheck,
                                   size_t* ioBytes) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(inUnits));
    const __m256i z = _mm256_setzero_si256();
    __m256i vBad = _mm256_cmpeq_epi16(v, z);
    vBad = _mm256_or_si256(vBad, _mm256_cmpeq_epi16(_mm256_and_si256(v, _mm256_set1_epi16(-0x800)),
                                                    _mm256_set1_epi16(-0x2800)));
    vBad = _mm256_or_si256(
        vBad, _mm256_cmpeq_epi16(_mm256_or_si256(v, _mm256_set1_epi16(1)), _mm256_set1_epi16(-1)));
    if (inCheck) {
      __m256i vCtl = _mm256_cmpeq_epi16(_mm256_and_si256(v, _mm256_set1_epi16(-0x20)), z);
      vCtl = _mm256_andnot_si256(_mm256_cmpeq_epi16(v, _mm256_set1_epi16(0x9)), vCtl);
      vCtl = _mm256_andnot_si256(_mm256_cmpeq_epi16(v, _mm256_set1_epi16(0xA)), vCtl);
      vCtl = _mm256_andnot_si256(_mm256_cmpeq_epi16(v, _mm256_set1_epi16(0xD)), vCtl);
      vBad = _mm256_or_si256(vBad, vCtl);
    }
    if (!_mm256_testz_si256(vBad, vBad)) return 0;
    const int vOne = __builtin_popcount(static_cast<uint32_t>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi16(_mm256_and_si256(v, _mm256_set1_epi16(-0x80)), z))));
    const int vTwo = __builtin_popcount(static_cast<uint32_t>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi16(_mm256_and_si256(v, _mm256_set1_epi16(-0x800)), z))));
    *ioBytes += static_cast<size_t>(3 * kUnits - (vOne + vTwo) / 2);
    return kUnits;
  }
  QP_TARGET_AVX2 static uint64_t narrow8(const unsigned short* inUnits, unsigned char* outBytes) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(inUnits));
    const __m128i vLo = _mm256_castsi256_si128(v), vHi = _mm256_extracti128_si256(v, 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(outBytes), _mm_packus_epi16(vLo, vHi));
    const __m256i vAscii =
        _mm256_cmpeq_epi16(_mm256_and_si256(v, _mm256_set1_epi16(-0x80)), _mm256_setzero_si256());
    const __m128i vPacked =
        _mm_packs_epi16(_mm256_castsi256_si128(vAscii), _mm256_extracti128_si256(vAscii, 1));
    return static_cast<uint32_t>(_mm_movemask_epi8(vPacked));
  }
};

struct Avx512 {
  static const int kBytes = 64;
  static const int kUnits = 32;
  static const bool kMulti = true;
  static constexpr uint64_t kAll = ~0ull;
  static constexpr uint64_t kAllUnits = 0xFFFFFFFFull;

  QP_TARGET_AVX512 static uint64_t cleanAscii(const unsigned char* inBytes) {
    const __m512i v = _mm512_loadu_si512(inBytes);
    return _mm512_cmpgt_epi8_mask(v, _mm512_set1_epi8(0x1F)) |
           _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(0x9)) |
           _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(0xA)) |
           _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(0xD));
  }
  QP_TARGET_AVX512 static void widen16(const unsigned char* inBytes, unsigned short* outUnits) {
    const __m256i* vIn = reinterpret_cast<const __m256i*>(inBytes);
    _mm512_storeu_si512(outUnits, _mm512_maskz_cvtepu8_epi16(~0u, _mm256_loadu_si256(vIn)));
    _mm512_storeu_si512(outUnits + 32,
                        _mm512_maskz_cvtepu8_epi16(~0u, _mm256_loadu_si256(vIn + 1)));
  }
  QP_TARGET_AVX512 static void widen32(const unsigned char* inBytes, int* outUnits) {
    for (int k = 0; k < 4; ++k)
      _mm512_storeu_si512(
          outUnits + 16 * k,
          _mm512_maskz_cvtepu8_epi32(
              0xFFFF, _mm_loadu_si128(reinterpret_cast<const __m128i*>(inBytes + 16 * k))));
  }
  // Surrogates pass here too when they pair up: a high surrogate in the last lane takes the
  // unit after the block with it.
  QP_TARGET_AVX512 static int scan16(const unsigned short* inUnits, int inAvail, bool inCheck,
                                     size_t* ioBytes) {
    const __m512i v = _mm512_loadu_si512(inUnits);
    const __m512i vTop6 = _mm512_and_si512(v, _mm512_set1_epi16(-0x400));
    __mmask32 vBad = _mm512_cmpeq_epi16_mask(v, _mm512_setzero_si512()) |
                     _mm512_cmpge_epu16_mask(v, _mm512_set1_epi16(-2));
    const __mmask32 vLow32 = _mm512_cmplt_epu16_mask(v, _mm512_set1_epi16(0x20));
    if (inCheck && vLow32 != 0) {  // mostly tab, line feed and carriage return
      vBad |= vLow32 & ~(_mm512_cmpeq_epi16_mask(v, _mm512_set1_epi16(0x9)) |
                         _mm512_cmpeq_epi16_mask(v, _mm512_set1_epi16(0xA)) |
                         _mm512_cmpeq_epi16_mask(v, _mm512_set1_epi16(0xD)));
    }
    const __mmask32 vHigh = _mm512_cmpeq_epi16_mask(vTop6, _mm512_set1_epi16(-0x2800));
    const __mmask32 vLow = _mm512_cmpeq_epi16_mask(vTop6, _mm512_set1_epi16(-0x2400));
    if (vBad != 0 || vLow != static_cast<__mmask32>(vHigh << 1)) return 0;
    int vTaken = kUnits;
    // Three bytes a unit from 0x800 up makes six for a pair, which takes four.
    size_t vBytes = kUnits +
                    __builtin_popcount(_mm512_cmpge_epu16_mask(v, _mm512_set1_epi16(0x80))) +
                    __builtin_popcount(_mm512_cmpge_epu16_mask(v, _mm512_set1_epi16(0x800))) -
                    2 * __builtin_popcount(vHigh);
    if ((vHigh >> 31) != 0) {
      if (inAvail <= kUnits || (inUnits[kUnits] & 0xFC00) != 0xDC00) return 0;
      vTaken = kUnits + 1;
      vBytes += 3;
    }
    *ioBytes += vBytes;
    return vTaken;
  }
  QP_TARGET_AVX512 static uint64_t narrow8(const unsigned short* inUnits, unsigned char* outBytes) {
    const __m512i v = _mm512_loadu_si512(inUnits);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(outBytes), _mm512_maskz_cvtepi16_epi8(~0u, v));
    return _mm512_cmplt_epu16_mask(v, _mm512_set1_epi16(0x80));
  }

  // Mixed UTF-8, 64 bytes at a time: the block takes the characters that start in its first 60
  // bytes (they end within its 64) and stops at the first that starts later. It is clean when
  // every byte is where the leads say it should be and no character needs the slow steps:
  // bad leads (C0, C1, F5-FF), refused ASCII, overlong forms, surrogates, U+FFFE/U+FFFF, or
  // anything past U+10FFFF. Reads inBytes[0..66).
  QP_TARGET_AVX512 static bool classify8(const unsigned char* inBytes, MultiBlock* outBlock) {
    const __m512i v0 = _mm512_loadu_si512(inBytes);
    const __m512i v1 = _mm512_loadu_si512(inBytes + 1);
    const __mmask64 vCont = _mm512_cmpeq_epi8_mask(_mm512_and_si512(v0, byte(0xC0)), byte(0x80));
    const uint64_t vLate = static_cast<uint64_t>(~vCont) >> 60;
    if (vLate == 0) return false;
    const int vTaken = 60 + __builtin_ctzll(vLate);
    const uint64_t vIn = (1ull << vTaken) - 1;
    const uint64_t vAscii = _mm512_cmplt_epu8_mask(v0, byte(0x80)) & vIn;
    const uint64_t vL2 = _mm512_cmplt_epu8_mask(_mm512_sub_epi8(v0, byte(0xC2)), byte(0x1E)) & vIn;
    const uint64_t vL3 = _mm512_cmplt_epu8_mask(_mm512_sub_epi8(v0, byte(0xE0)), byte(0x10)) & vIn;
    const uint64_t vL4 = _mm512_cmplt_epu8_mask(_mm512_sub_epi8(v0, byte(0xF0)), byte(0x05)) & vIn;
    const uint64_t vCleanAscii = vAscii & cleanAscii(inBytes);
    const uint64_t vLeads = ~static_cast<uint64_t>(vCont) & vIn;
    const uint64_t vExpected =
        (vL2 << 1) | (vL3 << 1) | (vL3 << 2) | (vL4 << 1) | (vL4 << 2) | (vL4 << 3);
    if (vExpected != (vCont & vIn) || (vCleanAscii | vL2 | vL3 | vL4) != vLeads) return false;
    // Only three- and four-byte leads can start an overlong form, a surrogate, a non-character
    // or a code point past U+10FFFF: text of one- and two-byte characters skips the checks.
    if ((vL3 | vL4) != 0) {
      const uint64_t vRefused =
          (_mm512_cmpeq_epi8_mask(v0, byte(0xE0)) & _mm512_cmplt_epu8_mask(v1, byte(0xA0))) |
          (_mm512_cmpeq_epi8_mask(v0, byte(0xED)) & _mm512_cmpge_epu8_mask(v1, byte(0xA0))) |
          (_mm512_cmpeq_epi8_mask(v0, byte(0xF0)) & _mm512_cmplt_epu8_mask(v1, byte(0x90))) |
          (_mm512_cmpeq_epi8_mask(v0, byte(0xF4)) & _mm512_cmpge_epu8_mask(v1, byte(0x90))) |
          (_mm512_cmpeq_epi8_mask(v0, byte(0xEF)) & _mm512_cmpeq_epi8_mask(v1, byte(0xBF)) &
           _mm512_cmpge_epu8_mask(_mm512_loadu_si512(inBytes + 2), byte(0xBE)));
      if ((vRefused & vIn) != 0) return false;
    }
    *outBlock = MultiBlock{vLeads, vL2, vL3, vL4, vTaken, vAscii == vIn};
    return true;
  }

  // The UTF-16 units of a block that classify8 passed: each lane computes what its byte would
  // give as the first byte of a one-, two-, three- or four-byte character (the high surrogate)
  // and as the byte after a four-byte lead (the low surrogate); the lanes that matter are kept.
  QP_TARGET_AVX512 static int transcode16(const unsigned char* inBytes, const MultiBlock& inBlock,
                                          unsigned short* outUnits) {
    const __m512i v0 = _mm512_loadu_si512(inBytes);
    const __m512i v1 = _mm512_loadu_si512(inBytes + 1);
    const __m512i v2 = _mm512_loadu_si512(inBytes + 2);
    const uint64_t vKeep = inBlock.mLeads | (inBlock.mLead4 << 1);
    int vWritten = 0;
    for (int h = 0; h < 2; ++h) {
      const int vShift = 32 * h;
      const __m512i x0 = widenHalf(v0, h), x1 = widenHalf(v1, h), x2 = widenHalf(v2, h);
      const __m512i c1 = _mm512_and_si512(x1, unit(0x3F)), c2 = _mm512_and_si512(x2, unit(0x3F));
      const __m512i t2 =
          _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(x0, unit(0x1F)), 6), c1);
      __m512i v = x0;
      v = _mm512_mask_mov_epi16(v, static_cast<__mmask32>(inBlock.mLead2 >> vShift), t2);
      if ((inBlock.mLead3 | inBlock.mLead4) != 0) {  // Latin and the like have neither
        const __m512i t3 = _mm512_or_si512(
            _mm512_or_si512(_mm512_slli_epi16(x0, 12), _mm512_slli_epi16(c1, 6)), c2);
        const __m512i vHigh = _mm512_add_epi16(
            _mm512_or_si512(_mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(x0, unit(0x07)), 8),
                                            _mm512_slli_epi16(c1, 2)),
                            _mm512_srli_epi16(c2, 4)),
            unit(0xD800 - 0x40));
        const __m512i vLow = _mm512_or_si512(
            _mm512_or_si512(unit(0xDC00), _mm512_slli_epi16(_mm512_and_si512(x1, unit(0x0F)), 6)),
            c2);
        v = _mm512_mask_mov_epi16(v, static_cast<__mmask32>(inBlock.mLead3 >> vShift), t3);
        v = _mm512_mask_mov_epi16(v, static_cast<__mmask32>(inBlock.mLead4 >> vShift), vHigh);
        v = _mm512_mask_mov_epi16(v, static_cast<__mmask32>((inBlock.mLead4 << 1) >> vShift), vLow);
      }
      const __mmask32 vLanes = static_cast<__mmask32>(vKeep >> vShift);
      _mm512_storeu_si512(outUnits + vWritten, _mm512_maskz_compress_epi16(vLanes, v));
      vWritten += __builtin_popcount(vLanes);
    }
    return vWritten;
  }

  // UTF-8 of 16 units that the scan passed (pairs included; a high surrogate in the last lane
  // is left for the next block), as bytes packed four to a lane and compressed; 32 units when
  // all are below U+0800. Returns the bytes written; *outUnits gets the units taken. Reads
  // inUnits[0..32); writes 64 bytes, so the caller leaves at least 64 units (64 bytes of output)
  // behind the block.
  QP_TARGET_AVX512 static int encode16(const unsigned short* inUnits, unsigned char* outBytes,
                                       int* outUnits) {
    // Text below U+0800 (Latin, Greek, Cyrillic, Hebrew, Arabic...): 32 units at a time, each
    // as its one or two bytes in its own 16-bit lane.
    const __m512i v32 = _mm512_loadu_si512(inUnits);
    if (_mm512_cmpge_epu16_mask(v32, unit(0x800)) == 0) {
      const __mmask32 vTwo = _mm512_cmpge_epu16_mask(v32, unit(0x80));
      const __m512i vLead = _mm512_or_si512(_mm512_srli_epi16(v32, 6), unit(0xC0));
      const __m512i vTrail = _mm512_or_si512(_mm512_and_si512(v32, unit(0x3F)), unit(0x80));
      const __m512i w =
          _mm512_mask_mov_epi16(v32, vTwo, _mm512_or_si512(vLead, _mm512_slli_epi16(vTrail, 8)));
      const __mmask64 vBytes =
          _mm512_movepi8_mask(_mm512_mask_mov_epi16(unit(0x00FF), vTwo, unit(0xFFFF)));
      _mm512_storeu_si512(outBytes, _mm512_maskz_compress_epi8(vBytes, w));
      *outUnits = 32;
      return __builtin_popcountll(vBytes);
    }
    const __m512i u =
        _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(inUnits)));
    const __m512i un =
        _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(inUnits + 1)));
    const __m512i vTop6 = _mm512_and_si512(u, lane(0xFC00));
    __mmask16 vHigh = _mm512_cmpeq_epi32_mask(vTop6, lane(0xD800));
    __mmask16 vNone = _mm512_cmpeq_epi32_mask(vTop6, lane(0xDC00));
    *outUnits = 16;
    if ((vHigh >> 15) != 0) {
      vHigh &= 0x7FFF;
      vNone |= 0x8000;
      *outUnits = 15;
    }
    const __mmask16 vOne = _mm512_cmplt_epu32_mask(u, lane(0x80));
    const __mmask16 vTwo = _mm512_cmplt_epu32_mask(u, lane(0x800)) & ~vOne;
    const __m512i c0 = _mm512_or_si512(_mm512_and_si512(u, lane(0x3F)), lane(0x80));
    const __m512i c1 =
        _mm512_or_si512(_mm512_and_si512(_mm512_srli_epi32(u, 6), lane(0x3F)), lane(0x80));
    const __m512i w2 = _mm512_or_si512(_mm512_or_si512(_mm512_srli_epi32(u, 6), lane(0xC0)),
                                       _mm512_slli_epi32(c0, 8));
    const __m512i w3 =
        _mm512_or_si512(_mm512_or_si512(_mm512_or_si512(_mm512_srli_epi32(u, 12), lane(0xE0)),
                                        _mm512_slli_epi32(c1, 8)),
                        _mm512_slli_epi32(c0, 16));
    const __m512i cp =
        _mm512_sub_epi32(_mm512_add_epi32(_mm512_slli_epi32(u, 10), un), lane(0x35FDC00));
    const __m512i w4 = _mm512_or_si512(
        _mm512_or_si512(_mm512_or_si512(_mm512_srli_epi32(cp, 18), lane(0xF0)),
                        _mm512_slli_epi32(
                            _mm512_or_si512(_mm512_and_si512(_mm512_srli_epi32(cp, 12), lane(0x3F)),
                                            lane(0x80)),
                            8)),
        _mm512_or_si512(
            _mm512_slli_epi32(
                _mm512_or_si512(_mm512_and_si512(_mm512_srli_epi32(cp, 6), lane(0x3F)), lane(0x80)),
                16),
            _mm512_slli_epi32(_mm512_or_si512(_mm512_and_si512(cp, lane(0x3F)), lane(0x80)), 24)));
    __m512i w = w3;
    w = _mm512_mask_mov_epi32(w, vOne, u);
    w = _mm512_mask_mov_epi32(w, vTwo, w2);
    w = _mm512_mask_mov_epi32(w, vHigh, w4);
    // Bytes per lane as a byte mask: lane length L keeps the lane's bytes 0..L-1.
    __m512i vLength = lane(3);
    vLength = _mm512_mask_mov_epi32(vLength, vOne, lane(1));
    vLength = _mm512_mask_mov_epi32(vLength, vTwo, lane(2));
    vLength = _mm512_mask_mov_epi32(vLength, vHigh, lane(4));
    vLength = _mm512_mask_mov_epi32(vLength, vNone, lane(0));
    const __mmask64 vBytes =
        _mm512_cmplt_epu8_mask(lane(0x03020100), _mm512_mullo_epi32(vLength, lane(0x01010101)));
    _mm512_storeu_si512(outBytes, _mm512_maskz_compress_epi8(vBytes, w));
    return __builtin_popcountll(vBytes);
  }

 private:
  QP_TARGET_AVX512 static __m512i byte(int inValue) {
    return _mm512_set1_epi8(static_cast<char>(inValue));
  }
  QP_TARGET_AVX512 static __m512i unit(int inValue) {
    return _mm512_set1_epi16(static_cast<short>(inValue));
  }
  QP_TARGET_AVX512 static __m512i lane(int inValue) { return _mm512_set1_epi32(inValue); }
  QP_TARGET_AVX512 static __m512i widenHalf(__m512i inBytes, int inHalf) {
    return _mm512_maskz_cvtepu8_epi16(
        ~0u, inHalf == 0 ? _mm512_castsi512_si256(inBytes) : _mm512_extracti64x4_epi64(inBytes, 1));
  }
};

// ================================================================================================
// One entry point per level and loop. flatten pulls the loop and the primitives into a function
// compiled for the level's instruction set.
// ================================================================================================
#define QP_LEVEL_ENTRIES(B, TARGET)                                                               \
  __attribute__((target(TARGET), flatten)) int utf8ToUtf16##B(                                    \
      const unsigned char* inText, int inAvail, unsigned short* outBuf, size_t* ioUsed) {         \
    Utf16Sink<B> vSink{outBuf};                                                                   \
    const int vTaken = utf8Prefix<B>(inText, inAvail, vSink);                                     \
    *ioUsed += static_cast<size_t>(vSink.mOut - outBuf);                                          \
    return vTaken;                                                                                \
  }                                                                                               \
  __attribute__((target(TARGET), flatten)) int utf8ToUcs2##B(                                     \
      const unsigned char* inText, int inAvail, unsigned short* outBuf, size_t* ioUsed) {         \
    Ucs2Sink<B> vSink{outBuf};                                                                    \
    const int vTaken = utf8Prefix<B>(inText, inAvail, vSink);                                     \
    *ioUsed += static_cast<size_t>(vSink.mOut - outBuf);                                          \
    return vTaken;                                                                                \
  }                                                                                               \
  __attribute__((target(TARGET), flatten)) int utf8ToUcs4##B(                                     \
      const unsigned char* inText, int inAvail, int* outBuf, size_t* ioUsed) {                    \
    Ucs4Sink<B> vSink{outBuf};                                                                    \
    const int vTaken = utf8Prefix<B>(inText, inAvail, vSink);                                     \
    *ioUsed += static_cast<size_t>(vSink.mOut - outBuf);                                          \
    return vTaken;                                                                                \
  }                                                                                               \
  __attribute__((target(TARGET), flatten)) int utf8Count##B(const unsigned char* inText,          \
                                                            int inAvail, int* ioCount) {          \
    CountSink<B> vSink{*ioCount};                                                                 \
    const int vTaken = utf8Prefix<B>(inText, inAvail, vSink);                                     \
    *ioCount = vSink.mCount;                                                                      \
    return vTaken;                                                                                \
  }                                                                                               \
  __attribute__((target(TARGET), flatten)) bool utf16Scan##B(                                     \
      const unsigned short* inText, int inUnits, bool inCheck, int* outUnits, size_t* outBytes) { \
    return utf16Scan<B>(inText, inUnits, inCheck, outUnits, outBytes);                            \
  }                                                                                               \
  __attribute__((target(TARGET), flatten)) void utf16Encode##B(const unsigned short* inText,      \
                                                               int inUnits, char* outBuf) {       \
    utf16Encode<B>(inText, inUnits, outBuf);                                                      \
  }

QP_LEVEL_ENTRIES(Sse2, "sse2")
QP_LEVEL_ENTRIES(Avx2, "avx2,popcnt,bmi")
QP_LEVEL_ENTRIES(Avx512, "avx512f,avx512bw,avx512vbmi2,avx2,popcnt,bmi")
#endif  // QP_HAVE_X86_SIMD

// The level switch may turn while a conversion runs. The scalar level's prefixes take nothing,
// so such a conversion goes on character by character with the same result; its encoder still
// encodes, for a scan that a faster level had already passed.
int utf8NoneU16(const unsigned char*, int, unsigned short*, size_t*) {
  return 0;
}
int utf8NoneU32(const unsigned char*, int, int*, size_t*) {
  return 0;
}
int utf8NoneCount(const unsigned char*, int, int*) {
  return 0;
}
bool utf16ScanNone(const unsigned short*, int, bool, int*, size_t*) {
  return false;
}
void utf16EncodeNone(const unsigned short* inText, int inUnits, char* outBuf) {
  unsigned char* vOut = reinterpret_cast<unsigned char*>(outBuf);
  for (int i = 0; i < inUnits;) vOut += encodeUtf16Char(inText, &i, vOut);
}

struct Entries {
  int (*mUtf8ToUtf16)(const unsigned char*, int, unsigned short*, size_t*);
  int (*mUtf8ToUcs2)(const unsigned char*, int, unsigned short*, size_t*);
  int (*mUtf8ToUcs4)(const unsigned char*, int, int*, size_t*);
  int (*mUtf8Count)(const unsigned char*, int, int*);
  bool (*mUtf16Scan)(const unsigned short*, int, bool, int*, size_t*);
  void (*mUtf16Encode)(const unsigned short*, int, char*);
};

const Entries kEntries[] = {
    {utf8NoneU16, utf8NoneU16, utf8NoneU32, utf8NoneCount, utf16ScanNone, utf16EncodeNone},
#if defined(QP_HAVE_X86_SIMD)
    {utf8ToUtf16Sse2, utf8ToUcs2Sse2, utf8ToUcs4Sse2, utf8CountSse2, utf16ScanSse2,
     utf16EncodeSse2},
    {utf8ToUtf16Avx2, utf8ToUcs2Avx2, utf8ToUcs4Avx2, utf8CountAvx2, utf16ScanAvx2,
     utf16EncodeAvx2},
    {utf8ToUtf16Avx512, utf8ToUcs2Avx512, utf8ToUcs4Avx512, utf8CountAvx512, utf16ScanAvx512,
     utf16EncodeAvx512},
#endif
};

const Entries& entries() {
  return kEntries[level()];
}

const unsigned char* bytesOf(const char* inText) {
  return reinterpret_cast<const unsigned char*>(inText);
}

}  // namespace

// ================================================================================================
// The hooks and the library's entry points.
// ================================================================================================
bool QpXMLCodecSetSimdLevel(int inLevel) {
  if (inLevel < QP_SIMD_SCALAR || inLevel > kBestLevel) return false;
  sLevel.store(inLevel, std::memory_order_relaxed);
  return true;
}

int QpXMLCodecSimdLevel() {
  return level();
}

bool qpFastPathOn() {
  return level() != QP_SIMD_SCALAR;
}

int qpFastUtf8ToUtf16(const char* inText, int inAvail, unsigned short* outBuf, size_t* ioUsed) {
  return entries().mUtf8ToUtf16(bytesOf(inText), inAvail, outBuf, ioUsed);
}

int qpFastUtf8ToUcs2(const char* inText, int inAvail, unsigned short* outBuf, size_t* ioUsed) {
  return entries().mUtf8ToUcs2(bytesOf(inText), inAvail, outBuf, ioUsed);
}

int qpFastUtf8ToUcs4(const char* inText, int inAvail, int* outBuf, size_t* ioUsed) {
  return entries().mUtf8ToUcs4(bytesOf(inText), inAvail, outBuf, ioUsed);
}

int qpFastUtf8Count(const char* inText, int inAvail, int* ioCount) {
  return entries().mUtf8Count(bytesOf(inText), inAvail, ioCount);
}

// Aligned 16-byte reads: one may run past the zero unit (or past inLimit) but never into another
// page than the unit before it, so it cannot fault. The sanitizers would still call the bytes
// past the text's end an overflow (or, when they belong to a freed neighbour, a use after free),
// as they would for the C library's own strlen; hence the exemption, for these two functions
// alone.
#if defined(QP_HAVE_X86_SIMD)
__attribute__((no_sanitize("address", "thread"))) static unsigned int zeroUnits(
    const unsigned short* inAt) {
  return static_cast<unsigned int>(_mm_movemask_epi8(_mm_cmpeq_epi16(
      _mm_load_si128(reinterpret_cast<const __m128i*>(inAt)), _mm_setzero_si128())));
}
#endif

__attribute__((no_sanitize("address", "thread"))) int qpFastUtf16Units(const unsigned short* inText,
                                                                       int inLimit) {
  const size_t vLimit = inLimit < 0 ? 0 : static_cast<size_t>(inLimit);
  size_t i = 0;
  // An odd address never reaches alignment: such a text is searched unit by unit.
  while (i < vLimit && (reinterpret_cast<uintptr_t>(inText + i) & 15) != 0) {
    if (inText[i] == 0) return static_cast<int>(i);
    ++i;
  }
#if defined(QP_HAVE_X86_SIMD)
  // One block at a time up to a 64-byte boundary, then four at a time (they share one page),
  // then one at a time to the block that holds the zero.
  while (i < vLimit && (reinterpret_cast<uintptr_t>(inText + i) & 63) != 0 &&
         zeroUnits(inText + i) == 0)
    i += 8;
  while (i < vLimit && (reinterpret_cast<uintptr_t>(inText + i) & 63) == 0 &&
         (zeroUnits(inText + i) | zeroUnits(inText + i + 8) | zeroUnits(inText + i + 16) |
          zeroUnits(inText + i + 24)) == 0)
    i += 32;
  for (; i < vLimit; i += 8) {
    const unsigned int vZeros = zeroUnits(inText + i);
    if (vZeros != 0) {
      const size_t vAt = i + static_cast<size_t>(__builtin_ctz(vZeros) / 2);
      return static_cast<int>(vAt < vLimit ? vAt : vLimit);
    }
  }
#endif
  for (; i < vLimit; ++i)
    if (inText[i] == 0) return static_cast<int>(i);
  return static_cast<int>(vLimit);
}

bool qpFastUtf16Scan(const unsigned short* inText, int inLength, bool inCheckControls,
                     int* outUnits, size_t* outBytes) {
  return entries().mUtf16Scan(inText, inLength, inCheckControls, outUnits, outBytes);
}

void qpFastUtf16ToUtf8(const unsigned short* inText, int inUnits, char* outBuf) {
  entries().mUtf16Encode(inText, inUnits, outBuf);
}
