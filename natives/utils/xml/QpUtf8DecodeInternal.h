// QpUtf8DecodeInternal.h - the library's one UTF-8 decoding step (and its one encoding step),
// shared by the conversions, the validity tests and the string buffers' character count, so that
// all of them split a text into the same characters. Internal to the library: callers outside use
// QpXMLCodec.h.
//
// Threads: a pure function of its arguments; callable from any thread.
#ifndef QP_UTF8_DECODE_H
#define QP_UTF8_DECODE_H

#include "QpXMLCodec.h"

// Decodes the character that starts at inText, of which inAvail >= 1 bytes belong to the text.
// Returns the bytes used (>= 1) with the code point in *outCodePoint, or 0 when the character is
// refused (inValidate on, inAllowInvalid off); the caller then raises or answers "invalid".
//
// A malformed sequence - a stray continuation byte, an overlong or out-of-range form, a wrong
// following byte, or a sequence cut short by the end of the text - has three outcomes: without
// validation a space (lenient), with both flags the lead byte's own value using one byte (so
// that the following bytes surface on their own), with validation alone a refusal. A lenient
// space swallows the whole announced sequence, or what is left of the text when that is shorter.
inline int QpUtf8DecodeStep(const char* inText, int inAvail, bool inValidate, bool inAllowInvalid,
                            int* outCodePoint) {
  const unsigned char* vBytes = reinterpret_cast<const unsigned char*>(inText);
  const unsigned int vLead = vBytes[0];

  if (vLead < 0x80) {
    if (inAllowInvalid || QpCodepointIsValid(static_cast<int>(vLead))) {
      *outCodePoint = static_cast<int>(vLead);
      return 1;
    }
    if (inValidate) return 0;
    *outCodePoint = 0x20;
    return 1;
  }

  // What the lead announces: the sequence length, the payload bits of the lead, and the range
  // the second byte must fall in (narrowed where a lower value would be an overlong form or a
  // higher one would leave Unicode).
  int vNeed = 1;
  unsigned int vValue = 0;
  unsigned int vSecondMin = 0x80;
  unsigned int vSecondMax = 0xBF;
  bool vBad = false;
  if (vLead < 0xC2) {
    vBad = true;  // continuation byte, or C0/C1 which can only start an overlong pair
  } else if (vLead < 0xE0) {
    vNeed = 2;
    vValue = vLead & 0x1F;
  } else if (vLead < 0xF0) {
    vNeed = 3;
    vValue = vLead & 0x0F;
    if (vLead == 0xE0) vSecondMin = 0xA0;
  } else if (vLead < 0xF8) {
    vNeed = 4;
    vValue = vLead & 0x07;
    if (vLead == 0xF0) vSecondMin = 0x90;
    if (vLead == 0xF4) vSecondMax = 0x8F;
    if (vLead > 0xF4) vBad = true;  // would lie above U+10FFFF
  } else if (vLead < 0xFC) {
    vNeed = 5;
    vValue = vLead & 0x03;
    if (vLead == 0xF8) vSecondMin = 0x88;
  } else if (vLead < 0xFE) {
    vNeed = 6;
    vValue = vLead & 0x01;
    if (vLead == 0xFC) vSecondMin = 0x84;
  } else {
    // FE and FF start no sequence in any UTF-8 form. Read as six-byte leads they would carry no
    // payload bit of their own, so FE 80 80 80 80 80 would decode to U+0000: a NUL smuggled
    // into a text that holds no zero byte, truncating names and paths further down.
    vBad = true;
  }

  int vUsed = vNeed;
  if (vNeed > inAvail) {
    vBad = true;  // cut short by the end of the text
    vUsed = inAvail;
  } else {
    for (int i = 1; i < vNeed; ++i) {
      const unsigned int vByte = vBytes[i];
      const unsigned int vMin = (i == 1) ? vSecondMin : 0x80;
      const unsigned int vMax = (i == 1) ? vSecondMax : 0xBF;
      if (vByte < vMin || vByte > vMax) vBad = true;
      vValue = (vValue << 6) | (vByte & 0x3F);
    }
  }

  if (!vBad) {
    *outCodePoint = static_cast<int>(vValue);
    return vNeed;
  }
  if (!inValidate) {
    *outCodePoint = 0x20;
    return vUsed;
  }
  if (inAllowInvalid) {
    *outCodePoint = static_cast<int>(vLead);
    return 1;
  }
  return 0;
}

// The one UTF-8 encoding step, shared by the conversions and the string buffers' appends:
// RFC 2279, up to six bytes, so that code points beyond Unicode (which only reach here when the
// check lets them pass) survive a round trip instead of being mangled. A negative code point is
// "below 0x80" and is written as its low byte, like the other narrowing targets.
inline int QpUtf8EncodeStep(int inCp, char* outBuf) {
  if (inCp < 0x80) {
    outBuf[0] = static_cast<char>(inCp);
    return 1;
  }
  const unsigned int vCp = static_cast<unsigned int>(inCp);
  int vLen;
  unsigned int vLead;
  if (vCp < 0x800) {
    vLen = 2;
    vLead = 0xC0;
  } else if (vCp < 0x10000) {
    vLen = 3;
    vLead = 0xE0;
  } else if (vCp < 0x200000) {
    vLen = 4;
    vLead = 0xF0;
  } else if (vCp < 0x4000000) {
    vLen = 5;
    vLead = 0xF8;
  } else {
    vLen = 6;
    vLead = 0xFC;
  }
  unsigned int vRest = vCp;
  for (int i = vLen - 1; i > 0; --i) {
    outBuf[i] = static_cast<char>(0x80 | (vRest & 0x3F));
    vRest >>= 6;
  }
  outBuf[0] = static_cast<char>(vLead | vRest);
  return vLen;
}

#endif  // QP_UTF8_DECODE_H
