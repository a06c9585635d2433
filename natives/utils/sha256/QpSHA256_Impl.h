// QpSHA256_Impl.h - the library's own SHA-256 engine (FIPS 180-2) and its digest text.
//
// The operations mirror QpMD5_Impl. Differences: Update and Final report a status (0 success,
// 1 a null argument or a bit count beyond 64 bits, 3 input after the digest was finished; an
// error, once stored in the context, is returned by every later call); a partial context resumes
// from the 32 raw bytes of QpSHA256_ContextToRawSHA256 rather than from a text; the digest text
// has four 13-digit groups (52 characters, 53 with the type character).
//
// Blocks are compressed with the x86 SHA extensions when the processor has them (looked up once,
// on first use) and with portable code otherwise; both give the same digests.
//
// Threads: all functions are static and keep no shared state beyond that one-time choice; a
// context is used by one thread at a time.
#ifndef QP_SHA256_IMPL_H
#define QP_SHA256_IMPL_H

#include <cstdint>

#include "QpTypes.h"

struct SHA256Context {
  std::uint32_t mIntermediateHash[8];  // H0 to H7
  std::uint32_t mLengthLow;            // bits hashed, low word
  std::uint32_t mLengthHigh;           // bits hashed, high word
  std::int16_t mMessageBlockIndex;     // bytes in mMessageBlock
  unsigned char mMessageBlock[64];     // the block being filled
  std::int32_t mComputed;              // 1 once the digest is finished
  std::int32_t mCorrupted;             // 0, or the status of an earlier failure
};

class QP_EXPORT QpSHA256_Impl {
 public:
  enum { kSuccess = 0, kNull = 1, kStateError = 3 };

  // A new, initialised context; null when memory is exhausted.
  static void* QpSHA256_CreateContext();
  // A context that resumes the 32 raw state bytes at rawState after byteCount bytes; null when
  // memory is exhausted. Raises QpSDKInternalException when rawState is null.
  static void* QpSHA256_CreatePartialContext(const char* rawState, QpLong byteCount, int blockSize);
  // Hashes length bytes; returns the status. scratch receives a working value of the length
  // count that callers do not use.
  static int QpSHA256_Update(void* ctx, char* data, unsigned long length, unsigned int& scratch);
  // Finishes the digest once and writes it (big-endian words); returns the status. A second
  // Final gives the same digest.
  static int QpSHA256_Final(unsigned char digest[32], SHA256Context* ctx);
  // The padding alone (0x80, zeros up to 56 modulo 64), without the length; returns the status.
  static int QpSHA256_Pad(SHA256Context* ctx);
  // QpSHA256_Final, then QpSHA256_ToString of the digest; returns the status of Final, and
  // leaves out empty when it is not 0.
  static long QpSHA256_Complete(void* ctx, char typeChar, char* out, long outLength);
  // The digest text of 32 raw bytes; typeChar 0 means none. out needs 53 bytes (54 with a type
  // character). Raises QpSDKInternalException ("inBuf is NULL." for a null out); returns 0.
  static short QpSHA256_ToString(const unsigned char* raw, char* out, long outLength,
                                 char typeChar);
  // The eight state words, big-endian.
  static void QpSHA256_ContextToRawSHA256(unsigned char out[32], void* ctx);
  // qp_free; returns 0.
  static int QpSHA256_DeleteContext(void* ctx);
  // HMAC-SHA-256 (RFC 2104) into 32 bytes at digest; a key over 64 bytes is replaced by its
  // SHA-256.
  static void QpSHA256_HMAC(unsigned char* text, int textLength, unsigned char* key, int keyLength,
                            char* digest, unsigned int& scratch);
  // The digest text of a fresh UUID (and additional, when set) with this engine; see
  // QpSHA256_Router::makeDummy.
  static void QpSHA256_MakeDummy(char* out, long outLength, char typeChar, unsigned int& scratch,
                                 const char* additional);

 private:
  friend class QpSHA256_Router;
  static void QpSHA256_Reset(SHA256Context* ctx);
  static int QpSHA256_Input(SHA256Context* ctx, const unsigned char* inData, std::uint64_t inLength,
                            unsigned int& scratch);
  static void QpSHA256ProcessMessageBlock(SHA256Context* ctx);
  static void QpSHA256PadMessage(SHA256Context* ctx, unsigned char inPadByte);
  static void QpSHA256Finalize(SHA256Context* ctx, unsigned char inPadByte);
  static void QpSHA256Result(const SHA256Context* ctx, unsigned char out[32]);
};

#endif  // QP_SHA256_IMPL_H
