// QpStringBuffer.cpp - the string buffer family: growth, appending, replacing, reading and the
// read-only view.
#include "QpStringBuffer.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "QpException.h"
#include "QpRaise.h"
#include "QpStringConversion.h"
#include "QpUtils.h"
#include "QpUtf8DecodeInternal.h"
#include "QpXMLCodec.h"
#include "StMemory.h"
#include "qpos32.h"
#include "QpFactoryInternal.h"

namespace {

// The largest storage a buffer may ask for. getBlockSize rounds up by at most 256 bytes, and the
// result must still be an int; anything larger cannot be allocated and is reported as such.
constexpr int kMaxCapacity = INT_MAX - 512;

unsigned char allowInvalid() {
  return QpUtils::isReadOfInvalidXMLAllowed() ? 1 : 0;
}

// A size computed in 64 bits, clamped so that growth refuses it instead of wrapping around.
int clampSize(long long inSize) {
  return inSize > INT_MAX ? INT_MAX : static_cast<int>(inSize);
}

// Where inPtr lies inside [inBlock, inBlock + inCapacity), or -1. Text handed to a buffer may point
// into the buffer's own storage (b.strcat(b), a view of b's text); growth frees that storage, so
// such a source has to be found again at the same offset in the new block.
long offsetInBlock(const void* inPtr, const char* inBlock, int inCapacity) {
  if (inPtr == nullptr || inBlock == nullptr) return -1;
  std::uintptr_t vPtr = reinterpret_cast<std::uintptr_t>(inPtr);
  std::uintptr_t vStart = reinterpret_cast<std::uintptr_t>(inBlock);
  if (vPtr < vStart || vPtr >= vStart + static_cast<std::uintptr_t>(inCapacity)) return -1;
  return static_cast<long>(vPtr - vStart);
}

// The most bytes that one UTF-8 decode step starting at byte inLead can take: the length its lead
// byte announces (a malformed or cut-short sequence never takes more), one for ASCII, continuation
// bytes, the overlong leads C0 and C1, and FE and FF, which lead nothing.
int maxStepAt(unsigned char inLead) {
  if (inLead < 0xC2) return 1;
  if (inLead < 0xE0) return 2;
  if (inLead < 0xF0) return 3;
  if (inLead < 0xF8) return 4;
  if (inLead < 0xFC) return 5;
  if (inLead < 0xFE) return 6;
  return 1;
}

// Whether every decode of the text must start a character at q: no byte in the five before q
// can announce a sequence reaching beyond q, so whatever character covers byte q - 1 ends at q,
// whatever the bytes after q are.
//
// stablePrefix gives the last such position q <= inLength. Bytes before q decode the same way
// however the text goes on, which is what lets an append recount only from q.
//
// For valid UTF-8 q is at most one unfinished character back. Only a run of malformed lead bytes
// (C3 C3 C3 ..., which decode pairwise) has no such point inside it, and then the recount covers
// the run: its parity from its start really does decide the count.
bool stableAt(const char* inText, int q) {
  for (int s = q - 1; s >= 0 && s >= q - 5; --s) {
    if (s + maxStepAt(static_cast<unsigned char>(inText[s])) > q) return false;
  }
  return true;
}

int stablePrefix(const char* inText, int inLength) {
  for (int q = inLength; q > 0; --q) {
    if (stableAt(inText, q)) return q;
  }
  return 0;
}

int countRange(const char* inText, int inLength, unsigned char inAllowInvalid) {
  return inLength > 0 ? QpCountCharacters(inText, inLength, 0, inAllowInvalid) : 0;
}

// The character count of a UTF-8 text of inNewLength bytes whose first inOldLength bytes held
// inOldCount characters: the same number a full count would give, found by recounting only from
// the last stable point of the old text.
int countAfterAppend(const char* inText, int inOldLength, int inNewLength, int inOldCount) {
  unsigned char vAllow = allowInvalid();
  int q = stablePrefix(inText, inOldLength);
  return inOldCount - countRange(inText + q, inOldLength - q, vAllow) +
         countRange(inText + q, inNewLength - q, vAllow);
}

// True when no decode of the text can carry its last character past its end: every byte among
// the last five announces a sequence that ends by the end (stableAt the end). A character appended
// after such an end adds exactly one to the count. Five bytes all below 0x80 settle it at once;
// otherwise, or for short texts, each byte is looked at. The bytes are read one by one on purpose:
// they were mostly just written one by one, and a wider load over several recent narrow stores
// stalls until those stores have retired.
bool endsStable(const char* inText, int inLength) {
  if (inLength >= 5) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(inText) + inLength - 5;
    if (((p[0] | p[1] | p[2] | p[3] | p[4]) & 0x80) == 0) return true;
  }
  return stableAt(inText, inLength);
}

// The bytes that strcat(char) takes on a UTF-8 buffer: the XML-valid single bytes.
bool isPlainByte(unsigned char inByte) {
  return (inByte >= 0x20 && inByte < 0x80) || inByte == '\t' || inByte == '\n' || inByte == '\r';
}

// The one-character appends are what text is built from byte by byte, so their common case (room
// left, a text that ends on a whole character) writes in place and adds one to the count: no
// growth, no temporary conversion, no recount. It answers false, having changed nothing, for
// anything else, which then goes the general way to the same text and count.
bool appendInPlace(char* ioData, int& ioLength, int inCapacity, int& ioCount, bool inAscii,
                   const char* inBytes, int inCount) {
  if (ioData == nullptr || ioLength + inCount >= inCapacity ||
      !(inAscii || endsStable(ioData, ioLength))) {
    return false;
  }
  std::memcpy(ioData + ioLength, inBytes, static_cast<size_t>(inCount));
  ioLength += inCount;
  ioData[ioLength] = 0;
  ++ioCount;
  return true;
}

template <class T>
int unitLength(const T* inText) {
  return clampSize(static_cast<long long>(QpUnitCount(inText)));
}

template <class T>
T* createArrayOrNull(int inCount) {
  // A negative count cannot be sized. Some compilers hand it to operator new[] as the largest
  // size_t instead of raising bad_array_new_length, so it is refused before that.
  if (inCount < 0) return nullptr;
  try {
    return new T[inCount];
  } catch (QpOutOfMemException&) {
    return nullptr;
  } catch (std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

// ---- Construction ----------------------------------------------------------------------------
// Every constructor delegates to the default one first, so that the object counts as constructed
// before any storage is taken: if the rest of a constructor raises, the destructor releases what
// it had allocated.

QpBasicStringBuffer::QpBasicStringBuffer()
    : mIsAscii(false), mData(nullptr), mCapacity(0), mLength(0), mCharCount(0), mError(0) {}

QpBasicStringBuffer::QpBasicStringBuffer(int inCapacity) : QpBasicStringBuffer() {
  init(inCapacity, false);
}

QpBasicStringBuffer::QpBasicStringBuffer(const char* inText) : QpBasicStringBuffer() {
  initWithString(inText, false);
}

QpBasicStringBuffer::QpBasicStringBuffer(const char* inFormat, va_list inArgs)
    : QpBasicStringBuffer() {
  va_init(inFormat, inArgs, false);
}

QpBasicStringBuffer::QpBasicStringBuffer(int /*inUnused*/, const char* inFormat, ...)
    : QpBasicStringBuffer() {
  va_list vArgs;
  va_start(vArgs, inFormat);
  try {
    va_init(inFormat, vArgs, false);
  } catch (...) {
    va_end(vArgs);
    throw;
  }
  va_end(vArgs);
}

QpBasicStringBuffer::QpBasicStringBuffer(const unsigned short* inUtf16) : QpBasicStringBuffer() {
  initWithString(inUtf16);
}

QpBasicStringBuffer::QpBasicStringBuffer(const int* inUcs4) : QpBasicStringBuffer() {
  initWithString(inUcs4);
}

QpBasicStringBuffer::QpBasicStringBuffer(const QpBasicStringBuffer& inOther)
    : QpBasicStringBuffer() {
  copy(inOther);
}

QpBasicStringBuffer::~QpBasicStringBuffer() {
  if (mData != nullptr) qp_free(mData);
}

// ---- Factories -------------------------------------------------------------------------------

// The factories: one per constructor, under both names, each returning null instead of raising
// when memory is short.
#define QP_NARROW_FACTORIES(Class)                                        \
  Class* Class::createInstance() {                                        \
    return qpNewOrNull<Class>();                                          \
  }                                                                       \
  Class* Class::createInstance(int inCapacity) {                          \
    return qpNewOrNull<Class>(inCapacity);                                \
  }                                                                       \
  Class* Class::createInstance(const char* inText) {                      \
    return qpNewOrNull<Class>(inText);                                    \
  }                                                                       \
  Class* Class::createInstance(const char* inFormat, va_list inArgs) {    \
    return qpNewOrNull<Class>(inFormat, inArgs);                          \
  }                                                                       \
  Class* Class::createInstance(const Class& inOther) {                    \
    return qpNewOrNull<Class>(inOther);                                   \
  }                                                                       \
  Class* Class::createNEWInstance() {                                     \
    return createInstance();                                              \
  }                                                                       \
  Class* Class::createNEWInstance(int inCapacity) {                       \
    return createInstance(inCapacity);                                    \
  }                                                                       \
  Class* Class::createNEWInstance(const char* inText) {                   \
    return createInstance(inText);                                        \
  }                                                                       \
  Class* Class::createNEWInstance(const char* inFormat, va_list inArgs) { \
    return createInstance(inFormat, inArgs);                              \
  }                                                                       \
  Class* Class::createNEWInstance(const Class& inOther) {                 \
    return createInstance(inOther);                                       \
  }                                                                       \
  Class* Class::createArray(int inCount) {                                \
    return createArrayOrNull<Class>(inCount);                             \
  }
#define QP_WIDE_FACTORIES(Class)                                   \
  Class* Class::createInstance(const unsigned short* inUtf16) {    \
    return qpNewOrNull<Class>(inUtf16);                            \
  }                                                                \
  Class* Class::createInstance(const int* inUcs4) {                \
    return qpNewOrNull<Class>(inUcs4);                             \
  }                                                                \
  Class* Class::createNEWInstance(const unsigned short* inUtf16) { \
    return createInstance(inUtf16);                                \
  }                                                                \
  Class* Class::createNEWInstance(const int* inUcs4) {             \
    return createInstance(inUcs4);                                 \
  }

QP_NARROW_FACTORIES(QpBasicStringBuffer)
QP_WIDE_FACTORIES(QpBasicStringBuffer)

// ---- Storage ---------------------------------------------------------------------------------

int QpBasicStringBuffer::getBlockSize(int inSize) {
  if (inSize < 65) return 64;
  if (inSize < 128) return 128;
  if (inSize < 256) return 256;
  if (inSize < 512) return 512;
  return clampSize((static_cast<long long>(inSize) / 256 + 1) * 256);
}

void QpBasicStringBuffer::grow(int inSize, bool inBlockSize) {
  mError = 0;
  if (inSize <= mCapacity && mData != nullptr) return;
  try {
    if (inSize > kMaxCapacity) qpRaiseOutOfMemory(QP_HERE);
    int vSize = inBlockSize ? getBlockSize(inSize) : inSize;
    if (vSize < 1) vSize = 1;  // room for the terminator at least
    // Past 512 bytes the blocks grow by a fixed 256 bytes, so a long text built by small appends
    // is reallocated once every 256 bytes. Reallocating (rather than allocate, copy, free) lets the
    // allocator extend the block in place or remap its pages, which keeps that linear in
    // practice; a failed reallocation leaves the old block and the text as they were.
    auto* vNew = static_cast<char*>(mData != nullptr ? qp_realloc(mData, vSize) : qp_malloc(vSize));
    if (vNew == nullptr) qpRaiseOutOfMemory(QP_HERE);
    if (mData == nullptr) vNew[0] = 0;
    mData = vNew;
    mCapacity = vSize;
  } catch (QpException&) {
    // The text is untouched, but the buffer refuses further changes until it is assigned anew:
    // a caller that ignored this failure must not go on building a text with a hole in it.
    mError = 12;
    throw;
  }
}

void QpBasicStringBuffer::init(int inCapacity, bool inAscii) {
  if (mData != nullptr) qp_free(mData);
  mIsAscii = inAscii;
  mData = nullptr;
  mCapacity = 0;
  mLength = 0;
  mCharCount = 0;
  mError = 0;
  if (inCapacity >= 0) grow(inCapacity, true);
}

int QpBasicStringBuffer::countCharacters(const char* inText, int inLength, bool inValidate,
                                         bool inAllowInvalid) {
  if (inText == nullptr || inLength <= 0) return 0;
  if (mIsAscii) return inLength;
  return QpCountCharacters(inText, inLength, inValidate ? 1 : 0, inAllowInvalid ? 1 : 0);
}

void QpBasicStringBuffer::va_init(const char* inFormat, va_list inArgs, bool inAscii) {
  init(-1, inAscii);
  if (inFormat == nullptr) return;
  int vSize = getBlockSize(clampSize(static_cast<long long>(qp_strlen(inFormat)) + 1));
  int vLimit = vSize - 1;
  StMalloc vBlock(vSize, 0);
  char* vText = static_cast<char*>(vBlock.Get());
  for (;;) {
    va_list vArgs;
    va_copy(vArgs, inArgs);
    int r = qp_vsnprintf(vText, static_cast<size_t>(vLimit), inFormat, vArgs);
    va_end(vArgs);
    if (r < 0) {
      // Here a negative result is a rendering error (an unconvertible wide character, a result
      // beyond INT_MAX), not a sign of truncation: more room would never help.
      vText[0] = 0;
      break;
    }
    if (r < vLimit) break;
    // The text widens by 256-byte steps; take all the steps this result needs at once instead of
    // formatting again after each.
    long long vSteps = (static_cast<long long>(r) - vLimit) / 256 + 1;
    long long vNewSize = vSize + vSteps * 256;
    if (vNewSize > kMaxCapacity) qpRaiseOutOfMemory(QP_HERE);
    vSize = static_cast<int>(vNewSize);
    vLimit = vSize - 1;
    vText = static_cast<char*>(vBlock.reset(vSize));
  }
  mData = static_cast<char*>(vBlock.release());
  mCapacity = vSize;
  mLength = clampSize(static_cast<long long>(qp_strlen(mData)));
  mCharCount = countCharacters(mData, mLength, false, allowInvalid());
}

void QpBasicStringBuffer::initWithString(const char* inText, bool inAscii) {
  init(-1, inAscii);
  if (inText == nullptr) return;
  int vLength = clampSize(static_cast<long long>(qp_strlen(inText)));
  grow(clampSize(static_cast<long long>(vLength) + 1), true);
  qp_memcpy(mData, inText, static_cast<size_t>(vLength) + 1);
  mLength = vLength;
  mCharCount = countCharacters(mData, mLength, false, allowInvalid());
}

void QpBasicStringBuffer::initWithString(const unsigned short* inUtf16) {
  init(-1, false);
  if (inUtf16 == nullptr) return;
  StMalloc vText(QpConvertUTF16ToUTF8(inUtf16, -1, 1, allowInvalid()));
  if (vText.Get() == nullptr) return;
  initWithString(static_cast<const char*>(vText.Get()), false);
}

void QpBasicStringBuffer::initWithString(const int* inUcs4) {
  init(-1, false);
  if (inUcs4 == nullptr) return;
  StMalloc vText(QpConvertUCS4ToUTF8(inUcs4, -1, 1, allowInvalid()));
  if (vText.Get() == nullptr) return;
  initWithString(static_cast<const char*>(vText.Get()), false);
}

void QpBasicStringBuffer::copy(const QpBasicStringBuffer& inOther) {
  if (inOther.mData == nullptr) {
    QpBasicStringBuffer::clear();
    return;
  }
  const int vLength = inOther.mLength;
  const long vOffset = offsetInBlock(inOther.mData, mData, mCapacity);
  try {
    grow(clampSize(static_cast<long long>(inOther.mCapacity) + 1), true);
  } catch (QpException& e) {
    mError = e.GetErrorCode();
    throw;
  }
  const char* vSource = vOffset >= 0 ? mData + vOffset : inOther.mData;
  // The whole text moves, embedded zero bytes (an ASCII buffer's, strncpy's padding) included.
  if (vSource != mData) std::memmove(mData, vSource, static_cast<size_t>(vLength));
  mData[vLength] = 0;
  mLength = vLength;
  mCharCount = countCharacters(mData, mLength, false, allowInvalid());
}

// ---- Appending -------------------------------------------------------------------------------

void QpBasicStringBuffer::strcat(const QpBasicStringBuffer& inOther) {
  QP_TRACE_BEGIN
  QP_CHECK(mError == 0);
  if (mIsAscii && !inOther.mIsAscii) qpRaise<QpParameterException>(QP_HERE, 0, nullptr);
  if (inOther.mData == nullptr || inOther.mLength == 0) return;
  const int vOld = mLength;
  const int vAdded = inOther.mLength;
  const int vAddedCount = inOther.mCharCount;
  const bool vOtherAscii = inOther.mIsAscii;
  const long vOffset = offsetInBlock(inOther.mData, mData, mCapacity);
  grow(clampSize(static_cast<long long>(vOld) + vAdded + 1), true);
  const char* vSource = vOffset >= 0 ? mData + vOffset : inOther.mData;
  std::memmove(mData + vOld, vSource, static_cast<size_t>(vAdded));
  mLength = vOld + vAdded;
  mData[mLength] = 0;
  if (mIsAscii) {
    mCharCount += vAdded;
  } else if (!vOtherAscii && stablePrefix(mData, vOld) == vOld) {
    // Nothing of the old text is left unfinished, so the other buffer's characters are exactly
    // the ones added.
    mCharCount += vAddedCount;
  } else {
    // An unfinished sequence at the end of the old text absorbs bytes of the new one, or the
    // other buffer counted bytes rather than characters: its count does not apply.
    mCharCount = countAfterAppend(mData, vOld, mLength, mCharCount);
  }
  QP_TRACE_END("QpBasicStringBuffer::strcat(-)")
}

void QpBasicStringBuffer::strcat(const int* inUcs4) {
  QP_TRACE_BEGIN
  QP_CHECK(mError == 0);
  if (mIsAscii) qpRaise<QpParameterException>(QP_HERE, 0, nullptr);
  if (inUcs4 == nullptr || inUcs4[0] == 0) return;
  StMalloc vText(QpConvertUCS4ToUTF8(inUcs4, -1, 1, allowInvalid()));
  if (vText.Get() == nullptr) return;
  QpBasicStringBuffer::strcat(static_cast<const char*>(vText.Get()));
  QP_TRACE_END("QpBasicStringBuffer::strcat(-)")
}

void QpBasicStringBuffer::strcat(const unsigned short* inUtf16) {
  QP_TRACE_BEGIN
  QP_CHECK(mError == 0);
  if (mIsAscii) qpRaise<QpParameterException>(QP_HERE, 0, nullptr);
  if (inUtf16 == nullptr || inUtf16[0] == 0) return;
  StMalloc vText(QpConvertUTF16ToUTF8(inUtf16, -1, 1, allowInvalid()));
  if (vText.Get() == nullptr) return;
  QpBasicStringBuffer::strcat(static_cast<const char*>(vText.Get()));
  QP_TRACE_END("QpBasicStringBuffer::strcat(-)")
}

void QpBasicStringBuffer::strcat(const char* inText) {
  QP_TRACE_BEGIN
  QP_CHECK(mError == 0);
  if (inText == nullptr || inText[0] == 0) return;
  const int vOld = mLength;
  const long long vAdded = static_cast<long long>(qp_strlen(inText));
  const long vOffset = offsetInBlock(inText, mData, mCapacity);
  grow(clampSize(vOld + vAdded + 1), true);
  const char* vSource = vOffset >= 0 ? mData + vOffset : inText;
  std::memmove(mData + vOld, vSource, static_cast<size_t>(vAdded));
  mLength = vOld + static_cast<int>(vAdded);
  mData[mLength] = 0;
  mCharCount = mIsAscii ? mCharCount + static_cast<int>(vAdded)
                        : countAfterAppend(mData, vOld, mLength, mCharCount);
  QP_TRACE_END("QpBasicStringBuffer::strcat(-)")
}

void QpBasicStringBuffer::strcat(int inUcs4Char) {
  QP_TRACE_BEGIN
  QP_CHECK(mError == 0);
  if (mIsAscii) qpRaise<QpParameterException>(QP_HERE, 0, nullptr);
  if (!QpCodepointIsValid(inUcs4Char)) qpRaise<QpInvalidXMLException>(QP_HERE, 0, nullptr);
  char vBytes[7];  // room for the longest form the step writes, and a terminator
  const int vCount = QpUtf8EncodeStep(inUcs4Char, vBytes);
  vBytes[vCount] = 0;
  if (!appendInPlace(mData, mLength, mCapacity, mCharCount, mIsAscii, vBytes, vCount))
    QpBasicStringBuffer::strcat(static_cast<const char*>(vBytes));
  QP_TRACE_END("QpBasicStringBuffer::strcat(%s)", QpStringConversion::toString(inUcs4Char))
}

void QpBasicStringBuffer::strcat(unsigned short inUtf16Unit) {
  QP_TRACE_BEGIN
  QP_CHECK(mError == 0);
  if (mIsAscii) qpRaise<QpParameterException>(QP_HERE, 0, nullptr);
  // A lone surrogate is not a valid code point, so a unit that passes is a whole character.
  if (!QpCodepointIsValid(inUtf16Unit)) qpRaise<QpInvalidXMLException>(QP_HERE, 0, nullptr);
  char vBytes[7];  // room for the longest form the step writes, and a terminator
  const int vCount = QpUtf8EncodeStep(inUtf16Unit, vBytes);
  vBytes[vCount] = 0;
  if (!appendInPlace(mData, mLength, mCapacity, mCharCount, mIsAscii, vBytes, vCount))
    QpBasicStringBuffer::strcat(static_cast<const char*>(vBytes));
  QP_TRACE_END("QpBasicStringBuffer::strcat(%s)",
               QpStringConversion::toString(static_cast<int>(inUtf16Unit)))
}

void QpBasicStringBuffer::strcat(char inByte) {
  // Checked ahead of everything else: an ASCII buffer takes every byte, a UTF-8 buffer the plain
  // ones, and neither then needs the checks below again. The general way is a separate function,
  // so that this path stays a leaf that saves no registers.
  if (mError == 0 && (mIsAscii || isPlainByte(static_cast<unsigned char>(inByte))) &&
      appendInPlace(mData, mLength, mCapacity, mCharCount, mIsAscii, &inByte, 1)) {
    return;
  }
  // The general way, out of line: refusals, growth, and the count after an unfinished end.
  struct General {
    __attribute__((noinline)) static void append(QpBasicStringBuffer& ioBuffer, char inByte) {
      // The byte is taken as a signed value, so a UTF-8 buffer accepts only the XML-valid ASCII
      // characters this way; bytes of a multi-byte sequence must arrive as a string.
      if (!ioBuffer.mIsAscii && !QpCodepointIsValid(static_cast<signed char>(inByte)))
        qpRaise<QpInvalidXMLException>(QP_HERE, 0, nullptr);
      const int vOld = ioBuffer.mLength;
      ioBuffer.grow(clampSize(static_cast<long long>(vOld) + 2), true);
      ioBuffer.mData[vOld] = inByte;
      ioBuffer.mLength = vOld + 1;
      ioBuffer.mData[vOld + 1] = 0;
      ioBuffer.mCharCount =
          ioBuffer.mIsAscii ? ioBuffer.mCharCount + 1
                            : countAfterAppend(ioBuffer.mData, vOld, vOld + 1, ioBuffer.mCharCount);
    }
  };
  const char vLabel[2] = {inByte, 0};
  QP_TRACE_BEGIN
  QP_CHECK(mError == 0);
  General::append(*this, inByte);
  QP_TRACE_END("QpBasicStringBuffer::strcat(%s)", vLabel)
}

// ---- Emptying and replacing ------------------------------------------------------------------

void QpBasicStringBuffer::clear() {
  if (mData != nullptr) mData[0] = 0;
  mLength = 0;
  mCharCount = 0;
}

void QpBasicStringBuffer::strncpy(const int* inUcs4, int inCount) {
  QP_TRACE_BEGIN
  QP_CHECK(mError == 0);
  if (mIsAscii) qpRaise<QpParameterException>(QP_HERE, 0, nullptr);
  if (inCount < 0) qpRaise<QpParameterException>(QP_HERE, 0, nullptr);
  if (inUcs4 == nullptr) {
    clear();
    return;
  }
  StMalloc vText(QpConvertUCS4ToUTF8(inUcs4, inCount, 1, allowInvalid()));
  if (vText.Get() == nullptr) return;
  const char* vUtf8 = static_cast<const char*>(vText.Get());
  QpBasicStringBuffer::strncpy(vUtf8, clampSize(static_cast<long long>(qp_strlen(vUtf8))));
  QP_TRACE_END("QpBasicStringBuffer::strncpy(-, %s)", QpStringConversion::toString(inCount))
}

void QpBasicStringBuffer::strncpy(const unsigned short* inUtf16, int inCount) {
  QP_TRACE_BEGIN
  QP_CHECK(mError == 0);
  if (mIsAscii) qpRaise<QpParameterException>(QP_HERE, 0, nullptr);
  if (inCount < 0) qpRaise<QpParameterException>(QP_HERE, 0, nullptr);
  if (inUtf16 == nullptr) {
    clear();
    return;
  }
  StMalloc vText(QpConvertUTF16ToUTF8(inUtf16, inCount, 1, allowInvalid()));
  if (vText.Get() == nullptr) return;
  const char* vUtf8 = static_cast<const char*>(vText.Get());
  QpBasicStringBuffer::strncpy(vUtf8, clampSize(static_cast<long long>(qp_strlen(vUtf8))));
  QP_TRACE_END("QpBasicStringBuffer::strncpy(-, %s)", QpStringConversion::toString(inCount))
}

void QpBasicStringBuffer::strncpy(const char* inText, int inCount) {
  QP_TRACE_BEGIN
  QP_CHECK(mError == 0);
  if (inCount < 0) qpRaise<QpParameterException>(QP_HERE, 0, nullptr);
  if (inText == nullptr) {
    clear();
    return;
  }
  // What strncpy would copy: the text up to its terminator or inCount bytes; the rest of the
  // inCount bytes become zeros.
  int vCopied = 0;
  while (vCopied < inCount && inText[vCopied] != 0) ++vCopied;
  const long vOffset = offsetInBlock(inText, mData, mCapacity);
  grow(clampSize(static_cast<long long>(inCount) + 1), true);
  const char* vSource = vOffset >= 0 ? mData + vOffset : inText;
  // The source may be a later part of this very text, so the bytes may overlap.
  std::memmove(mData, vSource, static_cast<size_t>(vCopied));
  qp_memset(mData + vCopied, 0, static_cast<size_t>(inCount - vCopied));
  mData[inCount] = 0;
  mLength = inCount;
  mCharCount = countCharacters(mData, mLength, false, allowInvalid());
  QP_TRACE_END("QpBasicStringBuffer::strncpy(-, %s)", QpStringConversion::toString(inCount))
}

void QpBasicStringBuffer::strcpy(const QpBasicStringBuffer& inOther) {
  QP_TRACE_BEGIN
  QP_CHECK(mError == 0);
  if (mIsAscii && !inOther.mIsAscii) qpRaise<QpParameterException>(QP_HERE, 0, nullptr);
  if (inOther.mData == nullptr || inOther.mLength == 0) {
    clear();
    return;
  }
  const int vLength = inOther.mLength;
  const int vCount = inOther.mCharCount;
  const bool vSameKind = inOther.mIsAscii == mIsAscii;
  const long vOffset = offsetInBlock(inOther.mData, mData, mCapacity);
  grow(clampSize(static_cast<long long>(vLength) + 1), true);
  const char* vSource = vOffset >= 0 ? mData + vOffset : inOther.mData;
  if (vSource != mData) std::memmove(mData, vSource, static_cast<size_t>(vLength));
  mData[vLength] = 0;
  mLength = vLength;
  // An ASCII source counted bytes; a UTF-8 target counts characters.
  mCharCount = vSameKind ? vCount : countCharacters(mData, mLength, false, allowInvalid());
  QP_TRACE_END("QpBasicStringBuffer::strcpy(-)")
}

void QpBasicStringBuffer::strcpy(const int* inUcs4) {
  QP_TRACE_BEGIN
  if (mIsAscii) qpRaise<QpParameterException>(QP_HERE, 0, nullptr);
  if (inUcs4 == nullptr) {
    clear();
    return;
  }
  strncpy(inUcs4, unitLength(inUcs4));
  QP_TRACE_END("QpBasicStringBuffer::strcpy(-)")
}

void QpBasicStringBuffer::strcpy(const unsigned short* inUtf16) {
  QP_TRACE_BEGIN
  if (mIsAscii) qpRaise<QpParameterException>(QP_HERE, 0, nullptr);
  if (inUtf16 == nullptr) {
    clear();
    return;
  }
  strncpy(inUtf16, unitLength(inUtf16));
  QP_TRACE_END("QpBasicStringBuffer::strcpy(-)")
}

void QpBasicStringBuffer::strcpy(const char* inText) {
  QP_TRACE_BEGIN
  if (inText == nullptr) {
    clear();
    return;
  }
  strncpy(inText, clampSize(static_cast<long long>(qp_strlen(inText))));
  QP_TRACE_END("QpBasicStringBuffer::strcpy(-)")
}

// ---- Reading ---------------------------------------------------------------------------------

char* QpBasicStringBuffer::toString() const {
  QP_TRACE_BEGIN
  StMalloc vCopy(mLength + 1, 0);
  char* vText = static_cast<char*>(vCopy.Get());
  if (mData != nullptr) qp_memcpy(vText, mData, static_cast<size_t>(mLength));
  vText[mLength] = 0;
  return static_cast<char*>(vCopy.release());
  QP_TRACE_END("QpBasicStringBuffer::toString()")
}

const char* QpBasicStringBuffer::toStringConst() const {
  return mData != nullptr ? mData : "";
}

unsigned short* QpBasicStringBuffer::toString16() const {
  QP_TRACE_BEGIN
  const unsigned char vAllow = allowInvalid();
  const char* vText = toStringConst();
  StMalloc vUcs4(QpConvertUTF8ToUCS4(vText, mLength, 1, vAllow));
  if (vUcs4.Get() == nullptr) return nullptr;
  // The UTF-16 form covers the buffer's mCharCount characters. The strict decode behind the
  // UCS-4 form can find fewer (an ASCII buffer counts bytes), and reading past its end would
  // take bytes that are not part of it, so the count is capped there.
  int vUnits = mLength > 0 ? QpCountCharacters(vText, mLength, 1, vAllow) : 0;
  int vCount = mCharCount < vUnits ? mCharCount : vUnits;
  return QpConvertUCS4ToUTF16(static_cast<const int*>(vUcs4.Get()), vCount, 1, vAllow);
  QP_TRACE_END("QpBasicStringBuffer::toString16()")
}

int* QpBasicStringBuffer::toString32() const {
  QP_TRACE_BEGIN
  return QpConvertUTF8ToUCS4(toStringConst(), mLength, 1, allowInvalid());
  QP_TRACE_END("QpBasicStringBuffer::toString32()")
}

char* QpBasicStringBuffer::release(unsigned char inAllowNull) {
  QP_TRACE_BEGIN
  if (mData == nullptr) {
    if (inAllowNull) return nullptr;
    StMalloc vEmpty(1, 0);
    static_cast<char*>(vEmpty.Get())[0] = 0;
    return static_cast<char*>(vEmpty.release());
  }
  char* vText = mData;
  mData = nullptr;
  mCapacity = 0;
  mLength = 0;
  mCharCount = 0;
  return vText;
  QP_TRACE_END("QpBasicStringBuffer::release()")
}

bool QpBasicStringBuffer::isEmpty() const {
  return mData == nullptr || mLength == 0;
}

int QpBasicStringBuffer::strcmp(const char* inText, int inCount) const {
  if (inText == nullptr) return mData != nullptr ? -1 : 0;
  if (mData == nullptr) return 1;
  if (inCount < 0) return qp_strcmp(inText, mData);
  return qp_strncmp(inText, mData, static_cast<size_t>(inCount));
}

int QpBasicStringBuffer::strcasecmp(const char* inText, int inCount) const {
  if (inText == nullptr) return mData != nullptr ? -1 : 0;
  if (mData == nullptr) return 1;
  const long long vLength = inCount >= 0 ? inCount : static_cast<long long>(qp_strlen(inText));
  if (vLength > mLength) return 1;
  if (vLength < mLength) return -1;
  for (long long i = 0; i < vLength; ++i) {
    const signed char a = static_cast<signed char>(inText[i]);
    const signed char b = static_cast<signed char>(mData[i]);
    if (a == b) continue;
    // Only the 26 ASCII letters have another case here; bytes of other scripts compare exactly.
    const bool vUpperA = a >= 'A' && a <= 'Z';
    const bool vLowerA = a >= 'a' && a <= 'z';
    if ((vUpperA && b == a + ('a' - 'A')) || (vLowerA && b == a - ('a' - 'A'))) continue;
    return a > b ? 1 : -1;
  }
  return 0;
}

bool QpBasicStringBuffer::equals(const QpBasicStringBuffer& inOther) const {
  QP_TRACE_BEGIN
  if (mLength != inOther.mLength) return false;
  return strcmp(inOther.mData, -1) == 0;
  QP_TRACE_END("QpBasicStringBuffer::equals(-)")
}

bool QpBasicStringBuffer::equalsIgnoreCase(const QpBasicStringBuffer& inOther) const {
  QP_TRACE_BEGIN
  if (mLength != inOther.mLength) return false;
  return strcasecmp(inOther.mData, -1) == 0;
  QP_TRACE_END("QpBasicStringBuffer::equalsIgnoreCase(-)")
}

// ---- QpStringBuffer --------------------------------------------------------------------------

QpStringBuffer::QpStringBuffer() : QpBasicStringBuffer() {}
QpStringBuffer::QpStringBuffer(int inCapacity) : QpBasicStringBuffer(inCapacity) {}
QpStringBuffer::QpStringBuffer(const char* inText) : QpBasicStringBuffer(inText) {}
QpStringBuffer::QpStringBuffer(const char* inFormat, va_list inArgs)
    : QpBasicStringBuffer(inFormat, inArgs) {}

QpStringBuffer::QpStringBuffer(int /*inUnused*/, const char* inFormat, ...)
    : QpBasicStringBuffer() {
  va_list vArgs;
  va_start(vArgs, inFormat);
  try {
    va_init(inFormat, vArgs, false);
  } catch (...) {
    va_end(vArgs);
    throw;
  }
  va_end(vArgs);
}

QpStringBuffer::QpStringBuffer(const unsigned short* inUtf16) : QpBasicStringBuffer(inUtf16) {}
QpStringBuffer::QpStringBuffer(const int* inUcs4) : QpBasicStringBuffer(inUcs4) {}
QpStringBuffer::QpStringBuffer(const QpStringBuffer& inOther) : QpBasicStringBuffer(inOther) {}
QpStringBuffer::QpStringBuffer(const QpBasicStringBuffer& inOther) : QpBasicStringBuffer(inOther) {}
QpStringBuffer::~QpStringBuffer() {}

QpStringBuffer& QpStringBuffer::operator=(QpStringBuffer& inOther) {
  copy(inOther);
  return *this;
}

QP_NARROW_FACTORIES(QpStringBuffer)
QP_WIDE_FACTORIES(QpStringBuffer)

// ---- QpAsciiStringBuffer ---------------------------------------------------------------------

QpAsciiStringBuffer::QpAsciiStringBuffer() : QpStringBuffer() {
  setAsciiStringBuffer();
}

QpAsciiStringBuffer::QpAsciiStringBuffer(int inCapacity) : QpStringBuffer() {
  init(inCapacity, true);
}

QpAsciiStringBuffer::QpAsciiStringBuffer(const char* inText) : QpStringBuffer() {
  initWithString(inText, true);
}

QpAsciiStringBuffer::QpAsciiStringBuffer(const char* inFormat, va_list inArgs) : QpStringBuffer() {
  va_init(inFormat, inArgs, true);
}

QpAsciiStringBuffer::QpAsciiStringBuffer(int /*inUnused*/, const char* inFormat, ...)
    : QpStringBuffer() {
  va_list vArgs;
  va_start(vArgs, inFormat);
  try {
    va_init(inFormat, vArgs, true);
  } catch (...) {
    va_end(vArgs);
    throw;
  }
  va_end(vArgs);
}

QpAsciiStringBuffer::QpAsciiStringBuffer(const QpAsciiStringBuffer& inOther) : QpStringBuffer() {
  setAsciiStringBuffer();
  copy(inOther);
}

QpAsciiStringBuffer::~QpAsciiStringBuffer() {}

QpAsciiStringBuffer& QpAsciiStringBuffer::operator=(QpAsciiStringBuffer& inOther) {
  setAsciiStringBuffer();
  copy(inOther);
  return *this;
}

QP_NARROW_FACTORIES(QpAsciiStringBuffer)

// ---- QpConstStringBuffer ---------------------------------------------------------------------

QpConstStringBuffer::QpConstStringBuffer(const char* inText) : QpBasicStringBuffer() {
  if (inText == nullptr) return;
  const int vLength = clampSize(static_cast<long long>(qp_strlen(inText)));
  const int vCount = countCharacters(inText, vLength, false, allowInvalid());
  // mData is set last: the base destructor frees mData, and a view must never reach it.
  mLength = vLength;
  mCapacity = vLength + 1;
  mCharCount = vCount;
  mData = const_cast<char*>(inText);
}

QpConstStringBuffer::QpConstStringBuffer(const QpConstStringBuffer& inOther)
    : QpBasicStringBuffer() {
  mIsAscii = inOther.mIsAscii;
  mCapacity = inOther.mCapacity;
  mLength = inOther.mLength;
  mCharCount = inOther.mCharCount;
  mData = inOther.mData;
}

QpConstStringBuffer::~QpConstStringBuffer() {
  mData = nullptr;  // the caller's string: the base destructor must not free it
}

// A view is reached through base-class references everywhere a buffer is taken, so the refusal
// has to happen at run time, in the overriding slots.
void QpConstStringBuffer::strcat(const QpBasicStringBuffer&) {
  QP_CHECK(false);
}
void QpConstStringBuffer::strcat(const int*) {
  QP_CHECK(false);
}
void QpConstStringBuffer::strcat(const unsigned short*) {
  QP_CHECK(false);
}
void QpConstStringBuffer::strcat(const char*) {
  QP_CHECK(false);
}
void QpConstStringBuffer::strcat(int) {
  QP_CHECK(false);
}
void QpConstStringBuffer::strcat(unsigned short) {
  QP_CHECK(false);
}
void QpConstStringBuffer::strcat(char) {
  QP_CHECK(false);
}
void QpConstStringBuffer::clear() {
  QP_CHECK(false);
}
void QpConstStringBuffer::strncpy(const int*, int) {
  QP_CHECK(false);
}
void QpConstStringBuffer::strncpy(const unsigned short*, int) {
  QP_CHECK(false);
}
void QpConstStringBuffer::strncpy(const char*, int) {
  QP_CHECK(false);
}
void QpConstStringBuffer::strcpy(const QpBasicStringBuffer&) {
  QP_CHECK(false);
}
void QpConstStringBuffer::strcpy(const int*) {
  QP_CHECK(false);
}
void QpConstStringBuffer::strcpy(const unsigned short*) {
  QP_CHECK(false);
}
void QpConstStringBuffer::strcpy(const char*) {
  QP_CHECK(false);
}
char* QpConstStringBuffer::release(unsigned char) {
  QP_CHECK(false);
  return nullptr;
}
QpConstStringBuffer& QpConstStringBuffer::operator=(const QpConstStringBuffer&) {
  QP_CHECK(false);
  return *this;
}
QpConstStringBuffer& QpConstStringBuffer::operator=(QpBasicStringBuffer&) {
  QP_CHECK(false);
  return *this;
}
