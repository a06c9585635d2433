// QpStringConversion.h - values rendered as short-lived text for trace labels, log lines and
// messages; decimal QpLong parsing; making outside text safe as a printf argument; copies
// between UTF-8 and fixed-size 8-bit, UCS-2, UTF-16 and UCS-4 arrays.
//
// The texts that toString and removePercent return are carved out of one static 1 MiB ring that
// is reused from its start when it runs out. Nothing is allocated per call and nothing is freed
// by the caller; in exchange a returned text stays intact only until about 1 MiB of later
// conversions, by any thread, have reused its bytes. Use it at once (as a formatting argument)
// and never keep it. A text that does not fit in the ring comes back as "-".
//
// Wide texts: QpWChar (UCS-2) and unsigned short (UTF-16) are the same 16-bit type, so the
// one-argument toString(const QpWChar*) is the wide-text form, and the two-argument
// toString(const unsigned short*, unsigned char asString) keeps its number-or-text choice.
//
// Threads: any thread may call any operation. Only the reservation of ring space is locked
// (sMutex, held for the pointer update alone); each thread then writes only its own bytes.
#ifndef QP_STRING_CONVERSION_H
#define QP_STRING_CONVERSION_H

#include <type_traits>

#include "QpMutex.h"
#include "QpTypes.h"

class QpBasicStringBuffer;

class QP_EXPORT QpStringConversion {
 public:
  // The class has no per-object data; assignment has nothing to copy.
  QpStringConversion& operator=(const QpStringConversion&) { return *this; }

  // ---- Values to ring text ---------------------------------------------------------------------
  // A copy of text; "NULL" for null. The QpLong of the second form is not used.
  static char* toString(const char* text);
  static char* toString(const char* text, QpLong unused);
  // The low byte of each 16-bit unit, up to and including the terminator; "NULL" for null.
  static char* toString(const QpWChar* text);
  // A copy of the buffer's text; "NULL" for null.
  static char* toString(const QpBasicStringBuffer* buffer);
  // Decimal; 22 bytes of ring space each.
  static char* toString(QpLong value);
  static char* toString(int value);
  static char* toString(short value);
  static char* toString(const QpLong* value);  // "NULL" for null
  // "NULL" for null. asString false: *p in decimal (the unsigned short form zero-extended);
  // asString true: the low byte of each element up to and including the terminating 0 element.
  static char* toString(const int* p, unsigned char asString);
  static char* toString(const short* p, unsigned char asString);
  static char* toString(const unsigned short* p, unsigned char asString);
  // "true" when non-zero, else "false".
  static char* toString(unsigned char flag);
  // A bool would otherwise promote to int and print "1". A template that admits bool alone, so
  // that no pointer can slip in through the pointer-to-bool conversion.
  template <class T, typename std::enable_if<std::is_same<T, bool>::value, int>::type = 0>
  static char* toString(T flag) {
    return toString(static_cast<unsigned char>(flag ? 1 : 0));
  }

  // Writes the decimal text of value into out, which holds at least 21 bytes.
  static void QpLongToString(QpLong value, char* const out);

  // ---- Parsing ---------------------------------------------------------------------------------
  // Skips leading blanks and control bytes, takes one optional sign and the digits that follow.
  // Null or empty text gives 0. Anything else after the number, or before it, is an error: with
  // inLenient the value read so far is returned, otherwise QpParameterException is raised.
  // Overflow is not detected; the value wraps in 64 bits.
  static QpLong stringToQpLong(const char* text, unsigned char inLenient);

  // ---- Format safety ---------------------------------------------------------------------------
  // A ring copy of text with every '%' doubled; texts over 2048 bytes are first cut to their
  // first 999 bytes followed by "...<truncated>". "NULL" for null.
  static const char* removePercent(const char* text);

  // ---- Encodings -------------------------------------------------------------------------------
  // New qp_malloc'd UTF-8 (the caller frees it), validated, with allowInvalid passed through.
  static char* convert_from_char(const char* latin1, unsigned char allowInvalid);
  static char* convert_from_charA(const char* latin1, unsigned char allowInvalid);
  static char* convert_from_wchar(const QpWChar* ucs2, unsigned char allowInvalid);
  // Convert the NUL-terminated utf8 (leniently) and copy at most outSize - 1 elements into out,
  // always terminated with a 0 element. outSize <= 0 does nothing; a null utf8 gives an empty
  // out. QpOutOfMemException (system error 0) when the conversion yields nothing.
  static void convert_to_char(char* utf8, char* out, int outSize, unsigned char allowInvalid);
  static void convert_to_wchar(char* utf8, QpWChar* out, int outSize, unsigned char allowInvalid);
  static void convert_to_utf16(char* utf8, unsigned short* out, int outSize,
                               unsigned char allowInvalid);
  static void convert_to_utf32(char* utf8, int* out, int outSize, unsigned char allowInvalid);
  // 1 for null or for *p < 1, else *p.
  static int get_length(const int* p);
  // Raises QpInvalidXMLException unless text is null or valid UTF-8 (which excludes "").
  static void validate_utf8(const char* text);

 private:
  static const int kRingSize = 0x100000;

  // "NULL" in the ring.
  static char* toString();
  // size bytes of the ring, or null when size exceeds the ring (see the .cpp for the wrap).
  static char* getStaticMemoryReference(int size);

  static char sBuffer[kRingSize];
  static char* sNextPtr;  // next free byte; null until first use
  static QpMutex sMutex;  // guards sNextPtr
};

#endif  // QP_STRING_CONVERSION_H
