// QpStringConversion.cpp - the text ring and the conversions that write into it.
#include "QpStringConversion.h"

#include "QpDecimalInternal.h"
#include "QpRaise.h"
#include "QpStringBuffer.h"
#include "QpXMLCodec.h"
#include "qpos32.h"

char QpStringConversion::sBuffer[QpStringConversion::kRingSize];
char* QpStringConversion::sNextPtr = nullptr;
QpMutex QpStringConversion::sMutex;

namespace {

// A number's ring slot: 20 characters of the widest QpLong, its terminator, one spare.
const int kNumberSlot = 22;
const char kTruncated[] = "...<truncated>";
// removePercent cuts texts longer than this ...
const size_t kTruncateAbove = 2048;
// ... to this many bytes (then kTruncated), in a slot of kTruncatedSlot bytes.
const size_t kTruncatedKeep = 999;
const int kTruncatedSlot = 1025;

// A request size as the ring sees it: anything beyond int is as refused as anything beyond the
// ring, so clamp it to a value the ring refuses instead of letting it wrap negative.
int ringSize(size_t inBytes) {
  const size_t kRefused = 0x100001;
  return static_cast<int>(inBytes < kRefused ? inBytes : kRefused);
}

}  // namespace

char* QpStringConversion::getStaticMemoryReference(int size) {
  if (size < 0) return nullptr;
  StCriticalSection vLock(&sMutex);
  char* const vStart = sBuffer;
  char* const vEnd = sBuffer + kRingSize;
  char* p = (sNextPtr != nullptr) ? sNextPtr : vStart;
  // A request that would end exactly at the end of the ring wraps too: the ring is only ever
  // handed out from its start once it is exhausted, never in two pieces.
  if (size < vEnd - p) {
    sNextPtr = p + size;
    return p;
  }
  if (size <= kRingSize) {
    sNextPtr = vStart + size;
    return vStart;
  }
  return nullptr;
}

// Copies inLen bytes and a terminator into ring space, or gives "-" when the ring refuses.
static char* ringCopy(const char* inText, size_t inLen, char* (*inReserve)(int)) {
  char* vOut = inReserve(ringSize(inLen + 1));
  if (vOut == nullptr) {
    vOut = inReserve(2);
    vOut[0] = '-';
    vOut[1] = '\0';
    return vOut;
  }
  qp_memcpy(vOut, inText, inLen);
  vOut[inLen] = '\0';
  return vOut;
}

char* QpStringConversion::toString() {
  return ringCopy("NULL", 4, &QpStringConversion::getStaticMemoryReference);
}

char* QpStringConversion::toString(const char* text) {
  if (text == nullptr) return toString();
  return ringCopy(text, qp_strlen(text), &QpStringConversion::getStaticMemoryReference);
}

char* QpStringConversion::toString(const char* text, QpLong) {
  return toString(text);
}

// The low byte of each unit of a zero-terminated array, terminator included: how wide and
// UCS-4 texts are shown in labels, which only ever hold ASCII.
template <class T>
static char* lowBytes(const T* inText, char* (*inReserve)(int)) {
  const size_t vLen = QpUnitCount(inText);
  char* vOut = inReserve(ringSize(vLen + 1));
  if (vOut == nullptr) return ringCopy("-", 1, inReserve);
  for (size_t i = 0; i <= vLen; ++i) vOut[i] = static_cast<char>(inText[i] & 0xFF);
  return vOut;
}

char* QpStringConversion::toString(const QpWChar* text) {
  if (text == nullptr) return toString();
  return lowBytes(text, &QpStringConversion::getStaticMemoryReference);
}

char* QpStringConversion::toString(const QpBasicStringBuffer* buffer) {
  if (buffer == nullptr) return toString();
  return toString(buffer->toStringConst());
}

char* QpStringConversion::toString(QpLong value) {
  char* vOut = getStaticMemoryReference(kNumberSlot);
  QpLongToString(value, vOut);
  return vOut;
}

char* QpStringConversion::toString(int value) {
  return toString(static_cast<QpLong>(value));
}

char* QpStringConversion::toString(short value) {
  return toString(static_cast<QpLong>(value));
}

char* QpStringConversion::toString(const QpLong* value) {
  if (value == nullptr) return toString();
  return toString(*value);
}

char* QpStringConversion::toString(const int* p, unsigned char asString) {
  if (p == nullptr) return toString();
  if (asString) return lowBytes(p, &QpStringConversion::getStaticMemoryReference);
  return toString(static_cast<QpLong>(*p));
}

char* QpStringConversion::toString(const short* p, unsigned char asString) {
  if (p == nullptr) return toString();
  if (asString) return lowBytes(p, &QpStringConversion::getStaticMemoryReference);
  return toString(static_cast<QpLong>(*p));
}

char* QpStringConversion::toString(const unsigned short* p, unsigned char asString) {
  if (p == nullptr) return toString();
  if (asString) return lowBytes(p, &QpStringConversion::getStaticMemoryReference);
  return toString(static_cast<QpLong>(*p));
}

char* QpStringConversion::toString(unsigned char flag) {
  return flag ? toString("true") : toString("false");
}

void QpStringConversion::QpLongToString(QpLong value, char* const out) {
  *QpPutDecimal(out, value, 1) = '\0';
}

QpLong QpStringConversion::stringToQpLong(const char* text, unsigned char inLenient) {
  if (text == nullptr) return 0;
  // Unsigned arithmetic: overflow wraps in 64 bits, as documented, without undefined behaviour.
  unsigned long long vValue = 0;
  bool vNegative = false;
  bool vStarted = false;
  for (const char* p = text; *p != '\0'; ++p) {
    const signed char c = static_cast<signed char>(*p);
    if (c >= '0' && c <= '9') {
      vValue = vValue * 10 + static_cast<unsigned>(c - '0');
      vStarted = true;
      continue;
    }
    // Blanks, control bytes and (being negative) every byte from 0x80 up lead the number.
    if (!vStarted && c <= 32) continue;
    if (!vStarted && (c == '+' || c == '-')) {
      vNegative = (c == '-');
      vStarted = true;
      continue;
    }
    if (!inLenient)
      qpRaise<QpParameterException>(QP_HERE, 0, "Not a valid QpLong value",
                                    "QpStringConversion::stringToQpLong(%s,%s)", text, "false");
    break;
  }
  return static_cast<QpLong>(vNegative ? 0 - vValue : vValue);
}

const char* QpStringConversion::removePercent(const char* text) {
  if (text == nullptr) return toString();
  const size_t vLength = qp_strlen(text);
  const char* vWork = text;
  if (vLength > kTruncateAbove) {
    char* vCut = getStaticMemoryReference(kTruncatedSlot);
    qp_memcpy(vCut, text, kTruncatedKeep);
    qp_memcpy(vCut + kTruncatedKeep, kTruncated, sizeof(kTruncated));
    vWork = vCut;
  }
  size_t vPercents = 0;
  for (const char* p = vWork; *p != '\0'; ++p)
    if (*p == '%') ++vPercents;
  if (vPercents == 0) return toString(vWork);

  // Sized from the caller's text even when the working text is the shortened copy: generous,
  // and never short.
  char* vOut = getStaticMemoryReference(ringSize(vPercents + vLength + 1));
  if (vOut == nullptr) return toString("-");
  char* q = vOut;
  for (const char* p = vWork; *p != '\0'; ++p) {
    *q++ = *p;
    if (*p == '%') *q++ = '%';
  }
  *q = '\0';
  return vOut;
}

char* QpStringConversion::convert_from_char(const char* latin1, unsigned char allowInvalid) {
  return QpConvertLatin1ToUTF8(latin1, -1, 1, allowInvalid);
}

char* QpStringConversion::convert_from_charA(const char* latin1, unsigned char allowInvalid) {
  return convert_from_char(latin1, allowInvalid);
}

char* QpStringConversion::convert_from_wchar(const QpWChar* ucs2, unsigned char allowInvalid) {
  return QpConvertUCS2ToUTF8(ucs2, -1, 1, allowInvalid);
}

// The common tail of the convert_to_* family: convert, copy what fits, terminate, release.
template <class T>
static void convertInto(char* inUtf8, T* outBuf, int inOutSize, unsigned char inAllowInvalid,
                        T* (*inConvert)(const char*, int, unsigned char, unsigned char)) {
  if (inOutSize <= 0) return;
  if (inUtf8 == nullptr) {
    outBuf[0] = 0;
    return;
  }
  T* vConverted = inConvert(inUtf8, -1, 0, inAllowInvalid);
  if (vConverted == nullptr) qpRaise<QpOutOfMemException>(QP_HERE, 0, nullptr);
  int n = 0;
  while (n < inOutSize - 1 && vConverted[n] != 0) {
    outBuf[n] = vConverted[n];
    ++n;
  }
  outBuf[n] = 0;
  qp_free(vConverted);
}

void QpStringConversion::convert_to_char(char* utf8, char* out, int outSize,
                                         unsigned char allowInvalid) {
  convertInto(utf8, out, outSize, allowInvalid, &QpConvertUTF8ToLatin1);
}

void QpStringConversion::convert_to_wchar(char* utf8, QpWChar* out, int outSize,
                                          unsigned char allowInvalid) {
  convertInto(utf8, out, outSize, allowInvalid, &QpConvertUTF8ToUCS2);
}

void QpStringConversion::convert_to_utf16(char* utf8, unsigned short* out, int outSize,
                                          unsigned char allowInvalid) {
  convertInto(utf8, out, outSize, allowInvalid, &QpConvertUTF8ToUTF16);
}

void QpStringConversion::convert_to_utf32(char* utf8, int* out, int outSize,
                                          unsigned char allowInvalid) {
  convertInto(utf8, out, outSize, allowInvalid, &QpConvertUTF8ToUCS4);
}

int QpStringConversion::get_length(const int* p) {
  if (p == nullptr || *p < 1) return 1;
  return *p;
}

void QpStringConversion::validate_utf8(const char* text) {
  if (text == nullptr || QpValidUTF8(text, -1)) return;
  qpRaise<QpInvalidXMLException>(QP_HERE, 0, nullptr);
}
