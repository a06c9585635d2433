// QpMD5_Impl.h - the library's own MD5 engine (RFC 1321) and the digest text.
//
// Contexts are handed out as opaque void* in qp_malloc storage and released with
// QpMD5_DeleteContext. A context can be saved as its unfinished state (QpMD5_ContextToRawMD5 and
// QpMD5_ToString without a type character) and resumed with QpMD5_CreatePartialContext; the
// partly filled block is not part of the saved state, so resume only after a multiple of 64 bytes.
//
// The digest text writes each 8-byte group of the digest, read as a little-endian 64-bit number,
// as 13 digits of "0123456789ABCDEFGHIJKLMNOPQRSTUV", most significant first; an optional type
// character stands after the first group (26 characters, or 27 with the type character).
//
// Threads: all functions are static and keep no shared state; a context is used by one thread at
// a time.
#ifndef QP_MD5_IMPL_H
#define QP_MD5_IMPL_H

#include <cstdint>

#include "QpTypes.h"

struct QpMD5_CTX {
  std::uint32_t state[4];    // A, B, C, D
  std::uint32_t count[2];    // bits hashed, low word first
  unsigned char buffer[64];  // the block being filled
};

class QP_EXPORT QpMD5_Impl {
 public:
  // A new, initialised context; null when memory is exhausted.
  static void* QpMD5_CreateContext();
  // A context that resumes the state saved as text (26 digits, no type character) after
  // byteCount bytes. Null when memory is exhausted. Raises QpParameterException when the text
  // holds a character outside the alphabet (such a state was never written by this library),
  // QpSDKInternalException when stateText is null.
  static void* QpMD5_CreatePartialContext(const char* stateText, QpLong byteCount, int blockSize);
  // Hashes length bytes; returns 0.
  static int QpMD5_Update(void* ctx, char* data, unsigned long length);
  // Padding and length, then the digest; returns 0. The context is not cleared.
  static int QpMD5_Final(unsigned char digest[16], QpMD5_CTX* ctx);
  // The padding alone (0x80, zeros up to 56 modulo 64), without the length; returns 0.
  static int QpMD5_Pad(QpMD5_CTX* ctx);
  // QpMD5_Final, then QpMD5_ToString of the digest; returns 0.
  static long QpMD5_Complete(void* ctx, char typeChar, char* out, long outLength);
  // The digest text of 16 raw bytes; typeChar 0 means none. out needs 27 bytes (28 with a type
  // character). Raises QpSDKInternalException "inBuf is NULL.", "inRawMD5 is NULL." or
  // "inBufLen < vMD5Len."; returns 0.
  static short QpMD5_ToString(const unsigned char* raw, char* out, long outLength, char typeChar);
  // The four state words as they lie in memory (little-endian): the unfinished state.
  static void QpMD5_ContextToRawMD5(unsigned char out[16], void* ctx);
  // qp_free; returns 0.
  static int QpMD5_DeleteContext(void* ctx);
  // HMAC-MD5 (RFC 2104) into 16 bytes at digest; a key over 64 bytes is replaced by its MD5.
  static void QpMD5_HMAC(unsigned char* text, int textLength, unsigned char* key, int keyLength,
                         char* digest);

 private:
  friend class QpMD5_Router;
  static void QpMD5_Init(QpMD5_CTX* ctx);
  // Compresses inBlocks consecutive 64-byte blocks into the state.
  static void QpMD5_Transform(std::uint32_t ioState[4], const unsigned char* inBlocks,
                              std::uint64_t inBlockCount);
  static void QP_Encode(unsigned char* out, const std::uint32_t* inWords, unsigned inLength);
  static void QP_Decode(std::uint32_t* out, const unsigned char* inBytes, unsigned inLength);
  static char Map_(unsigned inValue);
  static unsigned char UnMap_(char inChar);
  // False (and the context untouched) when the text holds a character outside the alphabet.
  static bool stringToStateArray(const char* inText, QpMD5_CTX* ioCtx);
  static void convert16ByteArrayToStateArray(unsigned char* inRaw, QpMD5_CTX* ioCtx);
};

#endif  // QP_MD5_IMPL_H
