// QpMD5_Impl.cpp - the MD5 engine (RFC 1321) and the digest text.
//
// The compression function is written out step by step: the 64 steps of RFC 1321 with their
// constants in place, so that the compiler keeps A to D in registers and schedules the additions
// of message word and constant (which do not depend on the previous step) ahead of the round
// function. Whole blocks are compressed straight from the caller's data; only a block that the
// data splits is gathered in the context's buffer.
#include "QpMD5_Impl.h"

#include "QpDigestTextInternal.h"
#include "QpRaise.h"
#include "qpos32.h"

using std::uint32_t;
using std::uint64_t;

namespace {

const unsigned char kPadding[64] = {0x80};

// The round functions in the forms with the shortest dependency chains: F and I as RFC 1321
// has them rewritten without a NOT on the critical path, G as the sum of two disjoint masks, so
// that both halves are computed in parallel.
#define QP_MD5_F(b, c, d) ((d) ^ ((b) & ((c) ^ (d))))
#define QP_MD5_H(b, c, d) ((b) ^ (c) ^ (d))
#define QP_MD5_I(b, c, d) ((c) ^ ((b) | ~(d)))

#define QP_MD5_STEP(f, a, b, c, d, xk, t, s) \
  do {                                       \
    (a) += (xk) + (t);                       \
    QP_MD5_ADD_##f(a, b, c, d);              \
    (a) = qpdigest::rotl((a), (s)) + (b);    \
  } while (0)
#define QP_MD5_ADD_F(a, b, c, d) (a) += QP_MD5_F(b, c, d)
#define QP_MD5_ADD_G(a, b, c, d) (a) += (~(d) & (c)), (a) += ((d) & (b))
#define QP_MD5_ADD_H(a, b, c, d) (a) += QP_MD5_H(b, c, d)
#define QP_MD5_ADD_I(a, b, c, d) (a) += QP_MD5_I(b, c, d)

QpMD5_CTX* asContext(void* inCtx) {
  QP_CHECK(inCtx != nullptr);
  return static_cast<QpMD5_CTX*>(inCtx);
}

}  // namespace

void QpMD5_Impl::QpMD5_Transform(uint32_t ioState[4], const unsigned char* inBlocks,
                                 uint64_t inBlockCount) {
  uint32_t a = ioState[0], b = ioState[1], c = ioState[2], d = ioState[3];
  for (; inBlockCount > 0; --inBlockCount, inBlocks += 64) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = qpdigest::loadLE32(inBlocks + 4 * i);
    const uint32_t a0 = a, b0 = b, c0 = c, d0 = d;
    QP_MD5_STEP(F, a, b, c, d, x[0], 0xd76aa478, 7);
    QP_MD5_STEP(F, d, a, b, c, x[1], 0xe8c7b756, 12);
    QP_MD5_STEP(F, c, d, a, b, x[2], 0x242070db, 17);
    QP_MD5_STEP(F, b, c, d, a, x[3], 0xc1bdceee, 22);
    QP_MD5_STEP(F, a, b, c, d, x[4], 0xf57c0faf, 7);
    QP_MD5_STEP(F, d, a, b, c, x[5], 0x4787c62a, 12);
    QP_MD5_STEP(F, c, d, a, b, x[6], 0xa8304613, 17);
    QP_MD5_STEP(F, b, c, d, a, x[7], 0xfd469501, 22);
    QP_MD5_STEP(F, a, b, c, d, x[8], 0x698098d8, 7);
    QP_MD5_STEP(F, d, a, b, c, x[9], 0x8b44f7af, 12);
    QP_MD5_STEP(F, c, d, a, b, x[10], 0xffff5bb1, 17);
    QP_MD5_STEP(F, b, c, d, a, x[11], 0x895cd7be, 22);
    QP_MD5_STEP(F, a, b, c, d, x[12], 0x6b901122, 7);
    QP_MD5_STEP(F, d, a, b, c, x[13], 0xfd987193, 12);
    QP_MD5_STEP(F, c, d, a, b, x[14], 0xa679438e, 17);
    QP_MD5_STEP(F, b, c, d, a, x[15], 0x49b40821, 22);
    QP_MD5_STEP(G, a, b, c, d, x[1], 0xf61e2562, 5);
    QP_MD5_STEP(G, d, a, b, c, x[6], 0xc040b340, 9);
    QP_MD5_STEP(G, c, d, a, b, x[11], 0x265e5a51, 14);
    QP_MD5_STEP(G, b, c, d, a, x[0], 0xe9b6c7aa, 20);
    QP_MD5_STEP(G, a, b, c, d, x[5], 0xd62f105d, 5);
    QP_MD5_STEP(G, d, a, b, c, x[10], 0x02441453, 9);
    QP_MD5_STEP(G, c, d, a, b, x[15], 0xd8a1e681, 14);
    QP_MD5_STEP(G, b, c, d, a, x[4], 0xe7d3fbc8, 20);
    QP_MD5_STEP(G, a, b, c, d, x[9], 0x21e1cde6, 5);
    QP_MD5_STEP(G, d, a, b, c, x[14], 0xc33707d6, 9);
    QP_MD5_STEP(G, c, d, a, b, x[3], 0xf4d50d87, 14);
    QP_MD5_STEP(G, b, c, d, a, x[8], 0x455a14ed, 20);
    QP_MD5_STEP(G, a, b, c, d, x[13], 0xa9e3e905, 5);
    QP_MD5_STEP(G, d, a, b, c, x[2], 0xfcefa3f8, 9);
    QP_MD5_STEP(G, c, d, a, b, x[7], 0x676f02d9, 14);
    QP_MD5_STEP(G, b, c, d, a, x[12], 0x8d2a4c8a, 20);
    QP_MD5_STEP(H, a, b, c, d, x[5], 0xfffa3942, 4);
    QP_MD5_STEP(H, d, a, b, c, x[8], 0x8771f681, 11);
    QP_MD5_STEP(H, c, d, a, b, x[11], 0x6d9d6122, 16);
    QP_MD5_STEP(H, b, c, d, a, x[14], 0xfde5380c, 23);
    QP_MD5_STEP(H, a, b, c, d, x[1], 0xa4beea44, 4);
    QP_MD5_STEP(H, d, a, b, c, x[4], 0x4bdecfa9, 11);
    QP_MD5_STEP(H, c, d, a, b, x[7], 0xf6bb4b60, 16);
    QP_MD5_STEP(H, b, c, d, a, x[10], 0xbebfbc70, 23);
    QP_MD5_STEP(H, a, b, c, d, x[13], 0x289b7ec6, 4);
    QP_MD5_STEP(H, d, a, b, c, x[0], 0xeaa127fa, 11);
    QP_MD5_STEP(H, c, d, a, b, x[3], 0xd4ef3085, 16);
    QP_MD5_STEP(H, b, c, d, a, x[6], 0x04881d05, 23);
    QP_MD5_STEP(H, a, b, c, d, x[9], 0xd9d4d039, 4);
    QP_MD5_STEP(H, d, a, b, c, x[12], 0xe6db99e5, 11);
    QP_MD5_STEP(H, c, d, a, b, x[15], 0x1fa27cf8, 16);
    QP_MD5_STEP(H, b, c, d, a, x[2], 0xc4ac5665, 23);
    QP_MD5_STEP(I, a, b, c, d, x[0], 0xf4292244, 6);
    QP_MD5_STEP(I, d, a, b, c, x[7], 0x432aff97, 10);
    QP_MD5_STEP(I, c, d, a, b, x[14], 0xab9423a7, 15);
    QP_MD5_STEP(I, b, c, d, a, x[5], 0xfc93a039, 21);
    QP_MD5_STEP(I, a, b, c, d, x[12], 0x655b59c3, 6);
    QP_MD5_STEP(I, d, a, b, c, x[3], 0x8f0ccc92, 10);
    QP_MD5_STEP(I, c, d, a, b, x[10], 0xffeff47d, 15);
    QP_MD5_STEP(I, b, c, d, a, x[1], 0x85845dd1, 21);
    QP_MD5_STEP(I, a, b, c, d, x[8], 0x6fa87e4f, 6);
    QP_MD5_STEP(I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
    QP_MD5_STEP(I, c, d, a, b, x[6], 0xa3014314, 15);
    QP_MD5_STEP(I, b, c, d, a, x[13], 0x4e0811a1, 21);
    QP_MD5_STEP(I, a, b, c, d, x[4], 0xf7537e82, 6);
    QP_MD5_STEP(I, d, a, b, c, x[11], 0xbd3af235, 10);
    QP_MD5_STEP(I, c, d, a, b, x[2], 0x2ad7d2bb, 15);
    QP_MD5_STEP(I, b, c, d, a, x[9], 0xeb86d391, 21);
    a += a0;
    b += b0;
    c += c0;
    d += d0;
  }
  ioState[0] = a;
  ioState[1] = b;
  ioState[2] = c;
  ioState[3] = d;
}

void QpMD5_Impl::QpMD5_Init(QpMD5_CTX* ctx) {
  ctx->state[0] = 0x67452301;
  ctx->state[1] = 0xefcdab89;
  ctx->state[2] = 0x98badcfe;
  ctx->state[3] = 0x10325476;
  ctx->count[0] = ctx->count[1] = 0;
  qp_memset(ctx->buffer, 0, sizeof ctx->buffer);
}

void QpMD5_Impl::QP_Encode(unsigned char* out, const uint32_t* inWords, unsigned inLength) {
  for (unsigned i = 0; i < inLength / 4; ++i) qpdigest::storeLE32(out + 4 * i, inWords[i]);
}

void QpMD5_Impl::QP_Decode(uint32_t* out, const unsigned char* inBytes, unsigned inLength) {
  for (unsigned i = 0; i < inLength / 4; ++i) out[i] = qpdigest::loadLE32(inBytes + 4 * i);
}

char QpMD5_Impl::Map_(unsigned inValue) {
  return qpdigest::mapDigit(inValue);
}

unsigned char QpMD5_Impl::UnMap_(char inChar) {
  return qpdigest::unMapDigit(inChar);
}

void* QpMD5_Impl::QpMD5_CreateContext() {
  auto* vCtx = static_cast<QpMD5_CTX*>(qp_malloc(sizeof(QpMD5_CTX)));
  if (vCtx != nullptr) QpMD5_Init(vCtx);
  return vCtx;
}

bool QpMD5_Impl::stringToStateArray(const char* inText, QpMD5_CTX* ioCtx) {
  uint64_t vNumbers[2] = {0, 0};
  for (size_t i = 0; inText[i] != '\0'; ++i) {
    const unsigned char vDigit = UnMap_(inText[i]);
    if (vDigit == qpdigest::kNoDigit) return false;
    uint64_t& vNumber = vNumbers[i < qpdigest::kGroupDigits ? 0 : 1];
    vNumber = vNumber * 32 + vDigit;
  }
  unsigned char vRaw[16];
  for (int b = 0; b < 16; ++b)
    vRaw[b] = static_cast<unsigned char>(vNumbers[b / 8] >> (8 * (b % 8)));
  convert16ByteArrayToStateArray(vRaw, ioCtx);
  return true;
}

void QpMD5_Impl::convert16ByteArrayToStateArray(unsigned char* inRaw, QpMD5_CTX* ioCtx) {
  QP_Decode(ioCtx->state, inRaw, 16);
}

void* QpMD5_Impl::QpMD5_CreatePartialContext(const char* stateText, QpLong byteCount,
                                             int /*blockSize*/) {
  QP_CHECK(stateText != nullptr);
  // Read into a local first: a refused text must not cost an allocation.
  QpMD5_CTX vResumed;
  QpMD5_Init(&vResumed);
  if (!stringToStateArray(stateText, &vResumed)) {
    qpRaise<QpParameterException>(QP_HERE, 0, "Not a valid MD5 state text");
  }
  const uint64_t vBits = qpdigest::resumedBitCount(byteCount);
  vResumed.count[0] = static_cast<uint32_t>(vBits);
  vResumed.count[1] = static_cast<uint32_t>(vBits >> 32);
  void* vCtx = qp_malloc(sizeof(QpMD5_CTX));
  if (vCtx != nullptr) qp_memcpy(vCtx, &vResumed, sizeof vResumed);
  return vCtx;
}

int QpMD5_Impl::QpMD5_Update(void* ctx, char* data, unsigned long length) {
  if (length == 0) return 0;
  QpMD5_CTX* vCtx = asContext(ctx);
  QP_CHECK(data != nullptr);
  const unsigned char* vIn = reinterpret_cast<const unsigned char*>(data);
  const unsigned vUsed = (vCtx->count[0] >> 3) & 63;
  // The bit count runs modulo 2^64, as RFC 1321 keeps it.
  const uint64_t vBits = ((static_cast<uint64_t>(vCtx->count[1]) << 32) | vCtx->count[0]) +
                         static_cast<uint64_t>(length) * 8u;
  vCtx->count[0] = static_cast<uint32_t>(vBits);
  vCtx->count[1] = static_cast<uint32_t>(vBits >> 32);

  uint64_t vLeft = length;
  if (vUsed != 0) {
    const unsigned vFree = 64 - vUsed;
    if (vLeft < vFree) {
      qp_memcpy(vCtx->buffer + vUsed, vIn, vLeft);
      return 0;
    }
    qp_memcpy(vCtx->buffer + vUsed, vIn, vFree);
    QpMD5_Transform(vCtx->state, vCtx->buffer, 1);
    vIn += vFree;
    vLeft -= vFree;
  }
  const uint64_t vBlocks = vLeft / 64;
  if (vBlocks > 0) QpMD5_Transform(vCtx->state, vIn, vBlocks);
  vIn += vBlocks * 64;
  vLeft -= vBlocks * 64;
  if (vLeft > 0) qp_memcpy(vCtx->buffer, vIn, vLeft);
  return 0;
}

int QpMD5_Impl::QpMD5_Pad(QpMD5_CTX* ctx) {
  QP_CHECK(ctx != nullptr);
  const unsigned vUsed = (ctx->count[0] >> 3) & 63;
  const unsigned vPadLength = vUsed < 56 ? 56 - vUsed : 120 - vUsed;
  return QpMD5_Update(ctx, const_cast<char*>(reinterpret_cast<const char*>(kPadding)), vPadLength);
}

int QpMD5_Impl::QpMD5_Final(unsigned char digest[16], QpMD5_CTX* ctx) {
  QP_CHECK(ctx != nullptr);
  QP_CHECK(digest != nullptr);
  unsigned char vLength[8];
  QP_Encode(vLength, ctx->count, 8);
  QpMD5_Pad(ctx);
  QpMD5_Update(ctx, reinterpret_cast<char*>(vLength), 8);
  QP_Encode(digest, ctx->state, 16);
  return 0;
}

long QpMD5_Impl::QpMD5_Complete(void* ctx, char typeChar, char* out, long outLength) {
  unsigned char vDigest[16];
  QpMD5_Final(vDigest, asContext(ctx));
  QpMD5_ToString(vDigest, out, outLength, typeChar);
  return 0;
}

short QpMD5_Impl::QpMD5_ToString(const unsigned char* raw, char* out, long outLength,
                                 char typeChar) {
  if (out == nullptr) qpRaise<QpSDKInternalException>(QP_HERE, 0, "inBuf is NULL.");
  if (raw == nullptr) qpRaise<QpSDKInternalException>(QP_HERE, 0, "inRawMD5 is NULL.");
  const long vMD5Len = qpdigest::textLength(2, typeChar != 0) + 1;
  if (outLength < vMD5Len) qpRaise<QpSDKInternalException>(QP_HERE, 0, "inBufLen < vMD5Len.");
  qp_memset(out, 0, static_cast<size_t>(vMD5Len));
  qpdigest::writeText(raw, 2, typeChar, out);
  return 0;
}

void QpMD5_Impl::QpMD5_ContextToRawMD5(unsigned char out[16], void* ctx) {
  QP_CHECK(out != nullptr);
  QP_Encode(out, asContext(ctx)->state, 16);
}

int QpMD5_Impl::QpMD5_DeleteContext(void* ctx) {
  qp_free(ctx);
  return 0;
}

void QpMD5_Impl::QpMD5_HMAC(unsigned char* text, int textLength, unsigned char* key, int keyLength,
                            char* digest) {
  QP_CHECK(textLength >= 0 && keyLength >= 0);
  QP_CHECK(digest != nullptr);
  unsigned char vKey[64] = {0};
  QpMD5_CTX vCtx;
  if (keyLength > 64) {
    QpMD5_Init(&vCtx);
    QpMD5_Update(&vCtx, reinterpret_cast<char*>(key), static_cast<unsigned long>(keyLength));
    QpMD5_Final(vKey, &vCtx);
  } else if (keyLength > 0) {
    QP_CHECK(key != nullptr);
    qp_memcpy(vKey, key, static_cast<size_t>(keyLength));
  }
  unsigned char vPad[64];
  unsigned char vInner[16];
  for (int i = 0; i < 64; ++i) vPad[i] = vKey[i] ^ 0x36;
  QpMD5_Init(&vCtx);
  QpMD5_Update(&vCtx, reinterpret_cast<char*>(vPad), 64);
  QpMD5_Update(&vCtx, reinterpret_cast<char*>(text), static_cast<unsigned long>(textLength));
  QpMD5_Final(vInner, &vCtx);
  for (int i = 0; i < 64; ++i) vPad[i] = vKey[i] ^ 0x5c;
  QpMD5_Init(&vCtx);
  QpMD5_Update(&vCtx, reinterpret_cast<char*>(vPad), 64);
  QpMD5_Update(&vCtx, reinterpret_cast<char*>(vInner), 16);
  QpMD5_Final(reinterpret_cast<unsigned char*>(digest), &vCtx);
}
