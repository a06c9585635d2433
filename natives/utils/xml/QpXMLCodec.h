// QpXMLCodec.h - conversions between the library's text forms (UTF-8, UTF-16, UCS-2, UCS-4,
// Latin-1, 7-bit ASCII, EBCDIC in 8-bit or 16-bit units) and the XML 1.0 character checks.
//
// Every conversion has the form
//   Target* QpConvertXToY(const Source* text, int length, unsigned char validate,
//                         unsigned char allowInvalid)
// - length counts source units; a negative length (normally -1) means "up to the first zero
//   unit". Inside an explicit length a zero unit is an ordinary unit.
// - The result is fresh storage from qp_malloc ending in one zero unit; the caller releases it
//   with qp_free. A null text gives a null result and allocates nothing.
// - validate asks for the XML character rule and strict UTF-8 decoding; allowInvalid turns what
//   would then be an error into a pass-through of the offending value. Without validate,
//   malformed input decodes leniently (mostly to a space).
// - Failures: QpInvalidXMLException (system error 0) for a character or sequence refused under
//   validate without allowInvalid; QpOutOfMemException (system error 0) when the result cannot
//   be allocated or grown. Nothing is leaked on either path.
//
// Units: UTF-8, Latin-1, ASCII and EBCDIC are char; UTF-16, UCS-2 and EBCDICW (an EBCDIC byte in
// the low half of a 16-bit unit) are unsigned short; UCS-4 is int, one code point per unit.
//
// Threads: every function is reentrant and keeps no state; any thread may call any of them.
#ifndef QP_XML_CODEC_H
#define QP_XML_CODEC_H

#include <cstddef>
#include "QpTypes.h"

// ---- From UTF-8 --------------------------------------------------------------------------------
QP_EXPORT int* QpConvertUTF8ToUCS4(const char* text, int length, unsigned char validate,
                                   unsigned char allowInvalid);
QP_EXPORT unsigned short* QpConvertUTF8ToUCS2(const char* text, int length, unsigned char validate,
                                              unsigned char allowInvalid);
QP_EXPORT unsigned short* QpConvertUTF8ToUTF16(const char* text, int length, unsigned char validate,
                                               unsigned char allowInvalid);
QP_EXPORT char* QpConvertUTF8ToLatin1(const char* text, int length, unsigned char validate,
                                      unsigned char allowInvalid);
QP_EXPORT char* QpConvertUTF8ToEBCDIC(const char* text, int length, unsigned char validate,
                                      unsigned char allowInvalid);
QP_EXPORT unsigned short* QpConvertUTF8ToEBCDICW(const char* text, int length,
                                                 unsigned char validate,
                                                 unsigned char allowInvalid);

// ---- From UCS-4 --------------------------------------------------------------------------------
QP_EXPORT char* QpConvertUCS4ToUTF8(const int* text, int length, unsigned char validate,
                                    unsigned char allowInvalid);
QP_EXPORT unsigned short* QpConvertUCS4ToUTF16(const int* text, int length, unsigned char validate,
                                               unsigned char allowInvalid);
QP_EXPORT unsigned short* QpConvertUCS4ToUCS2(const int* text, int length, unsigned char validate,
                                              unsigned char allowInvalid);
QP_EXPORT char* QpConvertUCS4ToLatin1(const int* text, int length, unsigned char validate,
                                      unsigned char allowInvalid);
QP_EXPORT char* QpConvertUCS4ToEBCDIC(const int* text, int length, unsigned char validate,
                                      unsigned char allowInvalid);
QP_EXPORT char* QpConvertUCS4ToASCII(const int* text, int length, unsigned char validate,
                                     unsigned char allowInvalid);

// ---- From UTF-16 and UCS-2 ---------------------------------------------------------------------
QP_EXPORT int* QpConvertUTF16ToUCS4(const unsigned short* text, int length, unsigned char validate,
                                    unsigned char allowInvalid);
// The string buffers' own loop, with rules of its own: reading stops at a zero unit even inside
// an explicit length; unpaired surrogates pass unchanged; 0xFFFE and 0xFFFF always raise
// QpInvalidXMLException; under validate without allowInvalid so do control units other than
// tab, line feed and carriage return.
QP_EXPORT char* QpConvertUTF16ToUTF8(const unsigned short* text, int length, unsigned char validate,
                                     unsigned char allowInvalid);
QP_EXPORT int* QpConvertUCS2ToUCS4(const unsigned short* text, int length, unsigned char validate,
                                   unsigned char allowInvalid);
QP_EXPORT char* QpConvertUCS2ToUTF8(const unsigned short* text, int length, unsigned char validate,
                                    unsigned char allowInvalid);

// ---- From Latin-1, EBCDIC and ASCII ------------------------------------------------------------
QP_EXPORT int* QpConvertLatin1ToUCS4(const char* text, int length, unsigned char validate,
                                     unsigned char allowInvalid);
QP_EXPORT char* QpConvertLatin1ToUTF8(const char* text, int length, unsigned char validate,
                                      unsigned char allowInvalid);
QP_EXPORT int* QpConvertEBCDICToUCS4(const char* text, int length, unsigned char validate,
                                     unsigned char allowInvalid);
QP_EXPORT char* QpConvertEBCDICToUTF8(const char* text, int length, unsigned char validate,
                                      unsigned char allowInvalid);
QP_EXPORT char* QpConvertEBCDICWToUTF8(const unsigned short* text, int length,
                                       unsigned char validate, unsigned char allowInvalid);
// Bytes from 0x80 up are taken as signed, so they become negative code points.
QP_EXPORT int* QpConvertASCIIToUCS4(const char* text, int length, unsigned char validate,
                                    unsigned char allowInvalid);

// ---- Checks ------------------------------------------------------------------------------------
// The XML 1.0 Char production: 0x9, 0xA, 0xD, 0x20-0xD7FF, 0xE000-0xFFFD, 0x10000-0x10FFFF.
QP_EXPORT bool QpCodepointIsValid(int inCodePoint);
// The character rule and the NameChar production of XML 1.0 Second Edition: a letter (BaseChar
// or Ideographic), a Digit, '.', '-', '_', ':', a CombiningChar or an Extender.
QP_EXPORT bool QpCodepointIsValidForName(int inCodePoint);

// The validity tests never raise; a null text is not valid.
// 1 when every code point passes the character rule; an empty text is valid.
QP_EXPORT unsigned char QpValidUCS(const int* text, int length);
// 1 when the text decodes strictly as UTF-8 (validate on, allowInvalid off) and holds at least
// one character. Only the decoding is judged: a well-formed sequence of a surrogate or of a
// non-character passes here, as it passes the decoder.
QP_EXPORT unsigned char QpValidUTF8(const char* text, int length);
// 1 when the text decodes strictly and is an XML name not starting with "xml" in any case.
QP_EXPORT unsigned char QpValidUTF8ForName(const char* text, int length);

// The number of characters the UTF-8 decoder finds in the text with these flags (0 for a null
// text). Raises QpInvalidXMLException where the decoder would under validate without
// allowInvalid. Counting a text piece by piece gives the same total as counting it whole,
// provided the pieces are cut at character boundaries.
QP_EXPORT int QpCountCharacters(const char* text, int length, unsigned char validate,
                                unsigned char allowInvalid);

// The units before the first zero unit of a text of any width: the length that -1 stands for.
template <class T>
inline size_t QpUnitCount(const T* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

#endif  // QP_XML_CODEC_H
