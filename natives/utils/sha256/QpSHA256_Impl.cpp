// QpSHA256_Impl.cpp - the SHA-256 engine (FIPS 180-2) and its digest text.
//
// Two compression functions: the portable one, written as eight rounds per loop pass so that the
// working variables rename instead of moving, and one built on the x86 SHA extensions (two rounds
// per instruction, message schedule in hardware). Which one runs is decided once, from CPUID, on
// first use; the test hook in QpSHA256Hooks.h can force the portable one. Whole blocks are
// compressed straight from the caller's data; only a block that the data splits is gathered in
// the context.
#include "QpSHA256_Impl.h"

#include <atomic>

#include "QpDigestTextInternal.h"
#include "QpRaise.h"
#include "QpSHA256Hooks.h"
#include "qpos32.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define QP_SHA256_X86 1
#endif

using std::uint32_t;
using std::uint64_t;

namespace {

const uint32_t kInitialHash[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                  0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

alignas(16) const uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

const unsigned char kPadding[64] = {0x80};

using qpdigest::rotr;

inline uint32_t bigSigma0(uint32_t x) {
  return rotr(x, 2) ^ rotr(x, 13) ^ rotr(x, 22);
}
inline uint32_t bigSigma1(uint32_t x) {
  return rotr(x, 6) ^ rotr(x, 11) ^ rotr(x, 25);
}
inline uint32_t smallSigma0(uint32_t x) {
  return rotr(x, 7) ^ rotr(x, 18) ^ (x >> 3);
}
inline uint32_t smallSigma1(uint32_t x) {
  return rotr(x, 17) ^ rotr(x, 19) ^ (x >> 10);
}

#define QP_SHA_ROUND(a, b, c, d, e, f, g, h, i)                                                \
  do {                                                                                         \
    const uint32_t vT1 = (h) + bigSigma1(e) + ((g) ^ ((e) & ((f) ^ (g)))) + kRound[i] + vW[i]; \
    const uint32_t vT2 = bigSigma0(a) + (((a) & (b)) | ((c) & ((a) | (b))));                   \
    (d) += vT1;                                                                                \
    (h) = vT1 + vT2;                                                                           \
  } while (0)

void compressPortable(uint32_t ioState[8], const unsigned char* inBlocks, uint64_t inCount) {
  for (; inCount > 0; --inCount, inBlocks += 64) {
    uint32_t vW[64];
    for (int i = 0; i < 16; ++i) vW[i] = qpdigest::loadBE32(inBlocks + 4 * i);
    for (int i = 16; i < 64; ++i) {
      vW[i] = smallSigma1(vW[i - 2]) + vW[i - 7] + smallSigma0(vW[i - 15]) + vW[i - 16];
    }
    uint32_t a = ioState[0], b = ioState[1], c = ioState[2], d = ioState[3];
    uint32_t e = ioState[4], f = ioState[5], g = ioState[6], h = ioState[7];
    for (int i = 0; i < 64; i += 8) {
      QP_SHA_ROUND(a, b, c, d, e, f, g, h, i);
      QP_SHA_ROUND(h, a, b, c, d, e, f, g, i + 1);
      QP_SHA_ROUND(g, h, a, b, c, d, e, f, i + 2);
      QP_SHA_ROUND(f, g, h, a, b, c, d, e, i + 3);
      QP_SHA_ROUND(e, f, g, h, a, b, c, d, i + 4);
      QP_SHA_ROUND(d, e, f, g, h, a, b, c, i + 5);
      QP_SHA_ROUND(c, d, e, f, g, h, a, b, i + 6);
      QP_SHA_ROUND(b, c, d, e, f, g, h, a, i + 7);
    }
    ioState[0] += a;
    ioState[1] += b;
    ioState[2] += c;
    ioState[3] += d;
    ioState[4] += e;
    ioState[5] += f;
    ioState[6] += g;
    ioState[7] += h;
  }
}

#if defined(QP_SHA256_X86)
// The extensions keep the working variables as two vectors, ABEF and CDGH, and run two rounds
// per sha256rnds2 with the message word plus constant in the low half of its third operand.
// Words w[t] for t >= 16 come four at a time: msg1 adds w[t-16] and sigma0(w[t-15]), the
// alignr supplies w[t-7], and msg2 adds sigma1(w[t-2]), two of which it computes itself.
__attribute__((target("sha,sse4.1,ssse3"))) void compressShaExtensions(
    uint32_t ioState[8], const unsigned char* inBlocks, uint64_t inCount) {
  const __m128i vByteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i vTmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&ioState[0]));     // DCBA
  __m128i vState1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&ioState[4]));  // HGFE
  vTmp = _mm_shuffle_epi32(vTmp, 0xB1);                                              // CDAB
  vState1 = _mm_shuffle_epi32(vState1, 0x1B);                                        // EFGH
  __m128i vState0 = _mm_alignr_epi8(vTmp, vState1, 8);                               // ABEF
  vState1 = _mm_blend_epi16(vState1, vTmp, 0xF0);                                    // CDGH

  for (; inCount > 0; --inCount, inBlocks += 64) {
    const __m128i vSaved0 = vState0;
    const __m128i vSaved1 = vState1;
    __m128i vW[4];
#pragma GCC unroll 16
    for (int j = 0; j < 16; ++j) {
      __m128i& vCur = vW[j & 3];
      if (j < 4) {
        vCur = _mm_shuffle_epi8(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(inBlocks + 16 * j)), vByteSwap);
      } else {
        const __m128i vPrev = vW[(j - 1) & 3];
        __m128i vNext = _mm_sha256msg1_epu32(vCur, vW[(j - 3) & 3]);
        vNext = _mm_add_epi32(vNext, _mm_alignr_epi8(vPrev, vW[(j - 2) & 3], 4));
        vCur = _mm_sha256msg2_epu32(vNext, vPrev);
      }
      __m128i vMsg =
          _mm_add_epi32(vCur, _mm_load_si128(reinterpret_cast<const __m128i*>(&kRound[4 * j])));
      vState1 = _mm_sha256rnds2_epu32(vState1, vState0, vMsg);
      vMsg = _mm_shuffle_epi32(vMsg, 0x0E);
      vState0 = _mm_sha256rnds2_epu32(vState0, vState1, vMsg);
    }
    vState0 = _mm_add_epi32(vState0, vSaved0);
    vState1 = _mm_add_epi32(vState1, vSaved1);
  }

  vTmp = _mm_shuffle_epi32(vState0, 0x1B);         // FEBA
  vState1 = _mm_shuffle_epi32(vState1, 0xB1);      // DCHG
  vState0 = _mm_blend_epi16(vTmp, vState1, 0xF0);  // DCBA
  vState1 = _mm_alignr_epi8(vState1, vTmp, 8);     // HGFE
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&ioState[0]), vState0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&ioState[4]), vState1);
}

bool detectShaExtensions() {
  unsigned vEax = 0, vEbx = 0, vEcx = 0, vEdx = 0;
  if (__get_cpuid(1, &vEax, &vEbx, &vEcx, &vEdx) == 0) return false;
  const bool vSsse3 = (vEcx & bit_SSSE3) != 0;
  const bool vSse41 = (vEcx & bit_SSE4_1) != 0;
  if (__get_cpuid_count(7, 0, &vEax, &vEbx, &vEcx, &vEdx) == 0) return false;
  return vSsse3 && vSse41 && (vEbx & bit_SHA) != 0;
}
#else
bool detectShaExtensions() {
  return false;
}
#endif

std::atomic<bool> sForcePortable{false};

bool hasShaExtensions() {
  static const bool kHas = detectShaExtensions();
  return kHas;
}

void compress(uint32_t ioState[8], const unsigned char* inBlocks, uint64_t inCount) {
#if defined(QP_SHA256_X86)
  if (hasShaExtensions() && !sForcePortable.load(std::memory_order_relaxed)) {
    compressShaExtensions(ioState, inBlocks, inCount);
    return;
  }
#endif
  compressPortable(ioState, inBlocks, inCount);
}

SHA256Context* asContext(void* inCtx) {
  QP_CHECK(inCtx != nullptr);
  return static_cast<SHA256Context*>(inCtx);
}

}  // namespace

bool QpSHA256ForcePortable(bool inForce) {
  return sForcePortable.exchange(inForce);
}

bool QpSHA256HasShaExtensions() {
  return hasShaExtensions();
}

void QpSHA256_Impl::QpSHA256_Reset(SHA256Context* ctx) {
  qp_memset(ctx, 0, sizeof *ctx);
  qp_memcpy(ctx->mIntermediateHash, kInitialHash, sizeof kInitialHash);
}

void* QpSHA256_Impl::QpSHA256_CreateContext() {
  auto* vCtx = static_cast<SHA256Context*>(qp_malloc(sizeof(SHA256Context)));
  if (vCtx != nullptr) QpSHA256_Reset(vCtx);
  return vCtx;
}

void* QpSHA256_Impl::QpSHA256_CreatePartialContext(const char* rawState, QpLong byteCount,
                                                   int /*blockSize*/) {
  QP_CHECK(rawState != nullptr);
  auto* vCtx = static_cast<SHA256Context*>(qp_malloc(sizeof(SHA256Context)));
  if (vCtx == nullptr) return nullptr;
  qp_memset(vCtx, 0, sizeof *vCtx);
  const auto* vRaw = reinterpret_cast<const unsigned char*>(rawState);
  for (int i = 0; i < 8; ++i) vCtx->mIntermediateHash[i] = qpdigest::loadBE32(vRaw + 4 * i);
  const uint64_t vBits = qpdigest::resumedBitCount(byteCount);
  vCtx->mLengthLow = static_cast<uint32_t>(vBits);
  vCtx->mLengthHigh = static_cast<uint32_t>(vBits >> 32);
  return vCtx;
}

void QpSHA256_Impl::QpSHA256ProcessMessageBlock(SHA256Context* ctx) {
  compress(ctx->mIntermediateHash, ctx->mMessageBlock, 1);
  ctx->mMessageBlockIndex = 0;
}

int QpSHA256_Impl::QpSHA256_Input(SHA256Context* ctx, const unsigned char* inData,
                                  uint64_t inLength, unsigned int& scratch) {
  const uint64_t vBits = (static_cast<uint64_t>(ctx->mLengthHigh) << 32) | ctx->mLengthLow;
  scratch = ctx->mLengthLow;
  // The count must stay below 2^64 bits: the padding writes it in 64 bits, and a wrapped count
  // would give a digest of some other message length.
  if (inLength > (UINT64_MAX >> 3) || inLength * 8 > UINT64_MAX - vBits) {
    ctx->mCorrupted = kNull;
    return kNull;
  }
  const uint64_t vNewBits = vBits + inLength * 8;
  ctx->mLengthLow = static_cast<uint32_t>(vNewBits);
  ctx->mLengthHigh = static_cast<uint32_t>(vNewBits >> 32);
  if (inLength == 0) return kSuccess;

  const unsigned vUsed = static_cast<unsigned>(ctx->mMessageBlockIndex);
  if (vUsed != 0) {
    const unsigned vFree = 64 - vUsed;
    if (inLength < vFree) {
      qp_memcpy(ctx->mMessageBlock + vUsed, inData, inLength);
      ctx->mMessageBlockIndex = static_cast<std::int16_t>(vUsed + inLength);
      return kSuccess;
    }
    qp_memcpy(ctx->mMessageBlock + vUsed, inData, vFree);
    QpSHA256ProcessMessageBlock(ctx);
    inData += vFree;
    inLength -= vFree;
  }
  const uint64_t vBlocks = inLength / 64;
  if (vBlocks > 0) compress(ctx->mIntermediateHash, inData, vBlocks);
  inData += vBlocks * 64;
  inLength -= vBlocks * 64;
  if (inLength > 0) qp_memcpy(ctx->mMessageBlock, inData, inLength);
  ctx->mMessageBlockIndex = static_cast<std::int16_t>(inLength);
  return kSuccess;
}

int QpSHA256_Impl::QpSHA256_Update(void* ctx, char* data, unsigned long length,
                                   unsigned int& scratch) {
  if (length == 0) return kSuccess;
  if (ctx == nullptr || data == nullptr) return kNull;
  auto* vCtx = static_cast<SHA256Context*>(ctx);
  if (vCtx->mComputed != 0) {
    vCtx->mCorrupted = kStateError;
    return kStateError;
  }
  if (vCtx->mCorrupted != 0) return vCtx->mCorrupted;
  return QpSHA256_Input(vCtx, reinterpret_cast<const unsigned char*>(data), length, scratch);
}

void QpSHA256_Impl::QpSHA256PadMessage(SHA256Context* ctx, unsigned char inPadByte) {
  int vIndex = ctx->mMessageBlockIndex;
  ctx->mMessageBlock[vIndex++] = inPadByte;
  if (vIndex > 56) {
    qp_memset(ctx->mMessageBlock + vIndex, 0, static_cast<size_t>(64 - vIndex));
    QpSHA256ProcessMessageBlock(ctx);
    vIndex = 0;
  }
  qp_memset(ctx->mMessageBlock + vIndex, 0, static_cast<size_t>(56 - vIndex));
  qpdigest::storeBE32(ctx->mMessageBlock + 56, ctx->mLengthHigh);
  qpdigest::storeBE32(ctx->mMessageBlock + 60, ctx->mLengthLow);
  QpSHA256ProcessMessageBlock(ctx);
}

void QpSHA256_Impl::QpSHA256Finalize(SHA256Context* ctx, unsigned char inPadByte) {
  QpSHA256PadMessage(ctx, inPadByte);
  // The message may have been secret: keep none of it, nor its length, once the digest exists.
  qp_memset(ctx->mMessageBlock, 0, sizeof ctx->mMessageBlock);
  ctx->mLengthLow = 0;
  ctx->mLengthHigh = 0;
  ctx->mComputed = 1;
}

void QpSHA256_Impl::QpSHA256Result(const SHA256Context* ctx, unsigned char out[32]) {
  for (int i = 0; i < 8; ++i) qpdigest::storeBE32(out + 4 * i, ctx->mIntermediateHash[i]);
}

int QpSHA256_Impl::QpSHA256_Final(unsigned char digest[32], SHA256Context* ctx) {
  if (ctx == nullptr || digest == nullptr) return kNull;
  if (ctx->mCorrupted != 0) return ctx->mCorrupted;
  if (ctx->mComputed == 0) QpSHA256Finalize(ctx, 0x80);
  QpSHA256Result(ctx, digest);
  return kSuccess;
}

int QpSHA256_Impl::QpSHA256_Pad(SHA256Context* ctx) {
  if (ctx == nullptr) return kNull;
  const unsigned vUsed = static_cast<unsigned>(ctx->mMessageBlockIndex);
  const unsigned vPadLength = vUsed < 56 ? 56 - vUsed : 120 - vUsed;
  unsigned int vScratch = 0;
  return QpSHA256_Update(ctx, const_cast<char*>(reinterpret_cast<const char*>(kPadding)),
                         vPadLength, vScratch);
}

long QpSHA256_Impl::QpSHA256_Complete(void* ctx, char typeChar, char* out, long outLength) {
  unsigned char vDigest[32];
  const int vStatus = QpSHA256_Final(vDigest, static_cast<SHA256Context*>(ctx));
  if (vStatus != kSuccess) {
    if (out != nullptr && outLength > 0) out[0] = '\0';
    return vStatus;
  }
  QpSHA256_ToString(vDigest, out, outLength, typeChar);
  return kSuccess;
}

short QpSHA256_Impl::QpSHA256_ToString(const unsigned char* raw, char* out, long outLength,
                                       char typeChar) {
  if (out == nullptr) qpRaise<QpSDKInternalException>(QP_HERE, 0, "inBuf is NULL.");
  if (raw == nullptr) qpRaise<QpSDKInternalException>(QP_HERE, 0, nullptr);
  const long vSHA256Len = qpdigest::textLength(4, typeChar != 0) + 1;
  if (outLength < vSHA256Len) qpRaise<QpSDKInternalException>(QP_HERE, 0, nullptr);
  qp_memset(out, 0, static_cast<size_t>(vSHA256Len));
  qpdigest::writeText(raw, 4, typeChar, out);
  return 0;
}

void QpSHA256_Impl::QpSHA256_ContextToRawSHA256(unsigned char out[32], void* ctx) {
  QP_CHECK(out != nullptr);
  QpSHA256Result(asContext(ctx), out);
}

int QpSHA256_Impl::QpSHA256_DeleteContext(void* ctx) {
  qp_free(ctx);
  return 0;
}

void QpSHA256_Impl::QpSHA256_HMAC(unsigned char* text, int textLength, unsigned char* key,
                                  int keyLength, char* digest, unsigned int& scratch) {
  QP_CHECK(textLength >= 0 && keyLength >= 0);
  QP_CHECK(digest != nullptr);
  QP_CHECK(textLength == 0 || text != nullptr);
  QP_CHECK(keyLength == 0 || key != nullptr);
  unsigned char vKey[64] = {0};
  SHA256Context vCtx;
  if (keyLength > 64) {
    QpSHA256_Reset(&vCtx);
    QpSHA256_Input(&vCtx, key, static_cast<uint64_t>(keyLength), scratch);
    QpSHA256_Final(vKey, &vCtx);
  } else if (keyLength > 0) {
    qp_memcpy(vKey, key, static_cast<size_t>(keyLength));
  }
  unsigned char vPad[64];
  unsigned char vInner[32];
  for (int i = 0; i < 64; ++i) vPad[i] = vKey[i] ^ 0x36;
  QpSHA256_Reset(&vCtx);
  QpSHA256_Input(&vCtx, vPad, 64, scratch);
  QpSHA256_Input(&vCtx, text, static_cast<uint64_t>(textLength), scratch);
  QpSHA256_Final(vInner, &vCtx);
  for (int i = 0; i < 64; ++i) vPad[i] = vKey[i] ^ 0x5c;
  QpSHA256_Reset(&vCtx);
  QpSHA256_Input(&vCtx, vPad, 64, scratch);
  QpSHA256_Input(&vCtx, vInner, 32, scratch);
  QpSHA256_Final(reinterpret_cast<unsigned char*>(digest), &vCtx);
}

void QpSHA256_Impl::QpSHA256_MakeDummy(char* out, long outLength, char typeChar,
                                       unsigned int& scratch, const char* additional) {
  char vGuid[qpdigest::kGuidBufferSize];
  if (!qpdigest::dummySource(QP_HERE, out, outLength, additional, vGuid)) return;
  void* vCtx = QpSHA256_CreateContext();
  if (vCtx == nullptr) return;
  try {
    QpSHA256_Update(vCtx, vGuid, qp_strlen(vGuid), scratch);
    QpSHA256_Complete(vCtx, typeChar, out, outLength);
  } catch (...) {
    QpSHA256_DeleteContext(vCtx);
    throw;
  }
  QpSHA256_DeleteContext(vCtx);
}
