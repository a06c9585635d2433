// QpBase32.h - two byte-to-text codecs for the client library.
//
// QpBase32 writes bytes as "Z" followed by digits of the alphabet
// "ybndrfg8ejkmcpqxot1uwisza345h769" (five bits a digit, most significant first, the last digit
// filled with zero bits, no padding), chosen so that people can read and type the text without
// confusing letters. n bytes give 1 + ceil(8n / 5) characters. decode is the exact inverse of
// encode; it refuses a text that does not start with "Z" or whose digits are not all in the
// alphabet, rather than mixing the bits of a stray byte into its neighbours.
//
// QpBase64 is the standard alphabet with "=" padding, without line breaks, into buffers that
// the caller sizes. Its decoder is forgiving by design: it skips every byte outside the alphabet
// (padding, blanks and line breaks included) and never fails. Long inputs go through bulk paths
// (64-bit words, or AVX2 vectors where the processor has them) that give the same bytes as the
// group-by-group loop; QpBase64Hooks.h lets tests force each one.
//
// Threads: all functions are static, reentrant and keep no state; any thread may call them.
#ifndef QP_BASE32_H
#define QP_BASE32_H

#include "QpTypes.h"

class QP_EXPORT QpBase32 {
 public:
  // The Base32 text of length bytes (a length below 1 gives "Z"), zero-terminated, in fresh
  // qp_malloc storage that the caller releases with qp_free. Raises QpOutOfMemException (system
  // error 12) when the storage cannot be had.
  static char* encode(const char* data, int length);
  // encode(text, strlen(text)).
  static char* encode(const char* text);

  // The bytes of a Base32 text of length characters, "Z" included, in fresh qp_malloc storage
  // followed by a zero byte. The byte count is not returned: callers use the result as text, so
  // only inputs without zero bytes come back whole. Whole bytes only: the bits of a last digit
  // that do not complete a byte are dropped, and a length below 2 gives "". Raises
  // QpParameterException when the first character is not "Z" or a digit read is outside the
  // alphabet, QpOutOfMemException (system error 12) when the storage cannot be had; nothing is
  // allocated on either path.
  static char* decode(const char* text, int length);
  // decode(text, strlen(text)).
  static char* decode(const char* text);

 private:
  // ceil(bits / width) for positive bits; bits / width, rounded toward zero, otherwise.
  static int getNumEncodedChars(int bits, int width);
};

class QP_EXPORT QpBase64 {
 public:
  // Writes 4 * ceil(length / 3) characters to out (no zero byte, no line breaks) and that count
  // to *outLength; 0 when length is below 1. out must have room for them.
  static void encode(const char* data, int length, char* out, int* outLength);

  // Decodes length characters of text into out and stores the byte count in *outLength. Bytes
  // outside the alphabet are skipped; each run of up to four alphabet characters gives one byte
  // fewer than its character count. out must have room for 3 * ceil(length / 4) bytes.
  static void decode(const char* text, int length, char* out, int* outLength);

 private:
  // count (1 to 3) bytes of in become four characters, "=" standing for the missing ones.
  static void encodeblock(unsigned char in[3], unsigned char out[4], int count);
  // Four sextet values become three bytes.
  static void decodeblock(unsigned char in[4], unsigned char out[3]);
};

#endif  // QP_BASE32_H
