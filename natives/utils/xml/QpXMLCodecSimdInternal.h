// QpXMLCodecSimdInternal.h - the fast paths of the text conversions, for QpXMLCodec.cpp only.
//
// Each fast path takes the longest "clean" prefix of a text and stops in front of the first
// character it does not vouch for, leaving that character to the character-by-character steps.
// Clean means a character on which every flag combination agrees: for UTF-8 a well-formed
// sequence of one to four bytes (no overlong form, nothing above U+10FFFF) whose code point is an
// XML character; for UTF-16 a non-zero unit or a surrogate pair whose code point is an XML
// character (and, for the string buffers' loop, not a control unit when controls are checked).
// On such characters the decode steps give the code point and the shared check lets it pass,
// whatever validate and allowInvalid say, so a fast prefix followed by the slow steps from the
// same character boundary gives exactly what the slow steps alone give.
//
// Threads: pure functions of their arguments, except that they read the level in force
// (QpXMLCodecHooks.h); callable from any thread.
#ifndef QP_XML_CODEC_SIMD_INTERNAL_H
#define QP_XML_CODEC_SIMD_INTERNAL_H

#include <cstddef>

// True when a fast path is in force (any level above QP_SIMD_SCALAR).
bool qpFastPathOn();

// UTF-8 prefixes. inAvail bytes of inText belong to the text. Each returns the bytes taken; the
// converters write one unit per taken character (two for a supplementary one in UTF-16) at outBuf
// and add the units written to *ioUsed. outBuf must have room for inAvail units: the vector
// steps write whole blocks and keep only the clean part of the last one.
int qpFastUtf8ToUtf16(const char* inText, int inAvail, unsigned short* outBuf, size_t* ioUsed);
int qpFastUtf8ToUcs2(const char* inText, int inAvail, unsigned short* outBuf, size_t* ioUsed);
int qpFastUtf8ToUcs4(const char* inText, int inAvail, int* outBuf, size_t* ioUsed);
// Counts the characters of the prefix into *ioCount.
int qpFastUtf8Count(const char* inText, int inAvail, int* ioCount);

// The units before the first zero unit among the first inLimit units of inText (inLimit when
// there is none). Reads aligned 16-byte blocks, which may reach past the zero or the limit but
// never into a page the text does not touch.
int qpFastUtf16Units(const unsigned short* inText, int inLimit);

// UTF-16 to UTF-8 in two passes. The scan reads up to inLength >= 0 units or to the first zero
// unit, whichever comes first, and answers true when every unit before that is clean
// (inCheckControls: control units other than tab, line feed and carriage return are not), with the
// units in *outUnits and the UTF-8 bytes they make in *outBytes.
bool qpFastUtf16Scan(const unsigned short* inText, int inLength, bool inCheckControls,
                     int* outUnits, size_t* outBytes);
// Encodes inUnits units that the scan found clean; writes exactly the bytes the scan counted
// (no terminator).
void qpFastUtf16ToUtf8(const unsigned short* inText, int inUnits, char* outBuf);

#endif  // QP_XML_CODEC_SIMD_INTERNAL_H
