// QpSmartPacket.cpp - the packet image: its header, growth, hand-out and loading, the field walk
// under every lookup, and the big-endian primitives. Field access is in QpSmartPacketFields.cpp.
#include "QpSmartPacket.h"

#include <climits>
#include <cstdint>

#include "QpException.h"
#include "QpRaise.h"
#include "QpStringConversion.h"
#include "qpos32.h"

namespace {

const std::uint32_t kPacketMarker = 0x012C7598u;
const char kMagic[4] = {'F', 'S', 'P', '2'};
const int kLengthFieldOffset = 4;
const int kMagicOffset = 8;

// The primitives below are the only place where integers meet bytes. Shifts make the byte order
// independent of the host's, and the unsigned intermediates keep the sign bit out of the shifts.
std::uint32_t readBE32(const unsigned char* inP) {
  return (static_cast<std::uint32_t>(inP[0]) << 24) | (static_cast<std::uint32_t>(inP[1]) << 16) |
         (static_cast<std::uint32_t>(inP[2]) << 8) | static_cast<std::uint32_t>(inP[3]);
}

void writeBE32(unsigned char* outP, std::uint32_t inValue) {
  outP[0] = static_cast<unsigned char>(inValue >> 24);
  outP[1] = static_cast<unsigned char>(inValue >> 16);
  outP[2] = static_cast<unsigned char>(inValue >> 8);
  outP[3] = static_cast<unsigned char>(inValue);
}

unsigned char* bytesOf(char* inP) {
  return reinterpret_cast<unsigned char*>(inP);
}

// The capacity of a fresh buffer that must take one field with an inLen-byte value: whole
// 512-byte steps with room for the 12-byte header and the 6-byte field header. Computed in 64
// bits so that a value near INT_MAX is refused instead of wrapping to a small buffer.
long long firstCapacity(long long inLen) {
  return ((inLen + QpSmartPacket::kHeaderSize + QpSmartPacket::kFieldHeaderSize) /
              QpSmartPacket::kGrowStep +
          1) *
         QpSmartPacket::kGrowStep;
}

// A new zero-filled block of inSize bytes (at least the header's 12), or QpOutOfMemException.
char* newImage(long long inSize) {
  if (inSize < QpSmartPacket::kHeaderSize) inSize = QpSmartPacket::kHeaderSize;
  if (inSize > INT_MAX) qpRaiseOutOfMemory(QP_HERE);
  char* vBlock = static_cast<char*>(qp_malloc(static_cast<size_t>(inSize)));
  if (vBlock == nullptr) qpRaiseOutOfMemory(QP_HERE);
  qp_memset(vBlock, 0, static_cast<size_t>(inSize));
  return vBlock;
}

// inImage (inOld bytes) widened to inSize bytes, the new bytes zero like those of a fresh image,
// or QpOutOfMemException with inImage untouched. Reallocation lets the allocator extend the block
// in place or move its pages: a packet built field by field grows in 512-byte steps, and copying
// the whole image at each step cost time quadratic in the packet's size.
char* widenImage(char* inImage, int inOld, long long inSize) {
  if (inSize > INT_MAX) qpRaiseOutOfMemory(QP_HERE);
  char* vImage = static_cast<char*>(qp_realloc(inImage, static_cast<size_t>(inSize)));
  if (vImage == nullptr) qpRaiseOutOfMemory(QP_HERE);
  qp_memset(vImage + inOld, 0, static_cast<size_t>(inSize - inOld));
  return vImage;
}

}  // namespace

// The markers are constants, so they are laid down at load time rather than by the first
// construction: GetEOFMarker() is then valid before any packet exists, and no two threads ever
// race to write them.
const char QpSmartPacket::sPACKETMARKER[4] = {0x01, 0x2C, 0x75, static_cast<char>(0x98)};
const char QpSmartPacket::sEOFMARKER[4] = {0x01, 0x2B, 0x39, static_cast<char>(0x97)};
std::atomic<bool> QpSmartPacket::sISPACKETINITED(false);

// ---- Construction ------------------------------------------------------------------------------

QpSmartPacket::QpSmartPacket()
    : mBuffer(nullptr),
      mCapacity(0),
      mUsedLen(0),
      mCurCode(-1),
      mCurType(0),
      mCurOffset(0),
      mCurLen(0) {
  if (!sISPACKETINITED.load(std::memory_order_relaxed))
    sISPACKETINITED.store(true, std::memory_order_relaxed);
}

QpSmartPacket::QpSmartPacket(const QpSmartPacket& inOther) : QpSmartPacket() {
  copyFrom(inOther);
}

QpSmartPacket& QpSmartPacket::operator=(const QpSmartPacket& inOther) {
  if (this != &inOther) copyFrom(inOther);
  return *this;
}

QpSmartPacket::~QpSmartPacket() {
  qp_free(mBuffer);
}

void QpSmartPacket::copyFrom(const QpSmartPacket& inOther) {
  if (inOther.mBuffer == nullptr) {
    deleteMemory();
    return;
  }
  // The new image is complete before the old one goes, so a failed allocation leaves this
  // packet as it was.
  const long long vCapacity = firstCapacity(inOther.mUsedLen);
  char* vImage = newImage(vCapacity);
  qp_memcpy(vImage, inOther.mBuffer, static_cast<size_t>(inOther.mUsedLen));
  qp_free(mBuffer);
  mBuffer = vImage;
  mCapacity = static_cast<int>(vCapacity);
  mUsedLen = inOther.mUsedLen;
  resetCursor();
}

void QpSmartPacket::resetCursor() {
  mCurCode = -1;
  mCurType = 0;
  mCurOffset = 0;
  mCurLen = 0;
}

// ---- Image -------------------------------------------------------------------------------------

const char* QpSmartPacket::GetEOFMarker() {
  return sEOFMARKER;
}

bool QpSmartPacket::IsEmpty() const {
  return mBuffer == nullptr || mUsedLen <= kHeaderSize;
}

int QpSmartPacket::deleteMemory() {
  qp_free(mBuffer);
  mBuffer = nullptr;
  mCapacity = 0;
  mUsedLen = 0;
  resetCursor();
  return 0;
}

int QpSmartPacket::resetMemory() {
  if (mBuffer != nullptr) {
    qp_memset(mBuffer, 0, static_cast<size_t>(mCapacity));
    mUsedLen = kHeaderSize;
    _setBytes(0, sPACKETMARKER, 4);
    _setInt(kLengthFieldOffset, 0);
    _setBytes(kMagicOffset, kMagic, 4);
    resetCursor();
  }
  return 0;
}

void QpSmartPacket::grow(int inLen) {
  QP_CHECK(inLen >= 0);
  if (mBuffer == nullptr) {
    const long long vCapacity = firstCapacity(inLen);
    mBuffer = newImage(vCapacity);
    mCapacity = static_cast<int>(vCapacity);
    mUsedLen = kHeaderSize;
    _setBytes(0, sPACKETMARKER, 4);
    _setInt(kLengthFieldOffset, 0);  // written for real only when the image is handed out
    _setBytes(kMagicOffset, kMagic, 4);
    resetCursor();
  } else {
    // An image shorter than its header (a nested value too short to be a packet) has no place
    // where a field could start; appending would overwrite the header.
    if (mUsedLen < kHeaderSize) checkMagic();
    const long long vNeeded = static_cast<long long>(mUsedLen) + inLen + kFieldHeaderSize;
    if (vNeeded > mCapacity) {
      const long long vCapacity = (vNeeded - mCapacity) / kGrowStep * kGrowStep + kGrowStep +
                                  static_cast<long long>(mCapacity);
      mBuffer = widenImage(mBuffer, mCapacity, vCapacity);
      mCapacity = static_cast<int>(vCapacity);
    }
  }
  if (mUsedLen >= mCapacity) qpRaise<QpSDKInternalException>(QP_HERE, 0, nullptr);
}

void QpSmartPacket::reserve(int inCapacity) {
  if (mBuffer == nullptr) grow(0);
  if (inCapacity <= mCapacity) return;
  mBuffer = widenImage(mBuffer, mCapacity, inCapacity);
  mCapacity = inCapacity;
}

void QpSmartPacket::toBytes(void** outData, int* outLen) {
  QP_CHECK(outData != nullptr && outLen != nullptr);
  // A packet that never held a field goes out as the empty image rather than as nothing: the
  // receiver then sees a well-formed packet with no fields.
  if (mBuffer == nullptr) grow(0);
  _setInt(kLengthFieldOffset, mUsedLen - 8);
  *outData = mBuffer;
  *outLen = mUsedLen;
}

void QpSmartPacket::adoptBody(const char* inBody, int inLen, int inLengthField) {
  const long long vUsed = static_cast<long long>(inLen) + 8;
  char* vImage = newImage(vUsed);
  qp_memcpy(vImage, sPACKETMARKER, 4);
  writeBE32(bytesOf(vImage) + kLengthFieldOffset, static_cast<std::uint32_t>(inLengthField));
  if (inLen > 0) qp_memcpy(vImage + 8, inBody, static_cast<size_t>(inLen));
  qp_free(mBuffer);
  mBuffer = vImage;
  mCapacity = vUsed > kHeaderSize ? static_cast<int>(vUsed) : kHeaderSize;
  mUsedLen = static_cast<int>(vUsed);
  resetCursor();
}

void QpSmartPacket::fromBytes(void* data, int len) {
  const unsigned char* vData = static_cast<const unsigned char*>(data);
  // The image is rebuilt with 8 bytes in front of a body, and lengths are ints: a body this
  // large could not be held. Refused before any arithmetic on len.
  if (vData != nullptr && len > INT_MAX - 8) qpRaiseOutOfMemory(QP_HERE);
  try {
    if (vData == nullptr || len < 0) {
      // Nothing to load is an image without its magic.
      deleteMemory();
      checkMagic();
    }
    // Fewer than 4 bytes cannot hold a marker; they are taken as a (too short) body and fail in
    // the magic check below rather than being read past their end here.
    const bool vHasMarker = len >= 4 && readBE32(vData) == kPacketMarker;
    if (!vHasMarker) {
      adoptBody(reinterpret_cast<const char*>(vData), len, len);
    } else {
      // The length field must be there before it is read, and the sum is taken in 64 bits
      // because a hostile length field near INT_MAX would wrap and could match a small len.
      if (len < 8 ||
          static_cast<long long>(static_cast<std::int32_t>(readBE32(vData + 4))) + 8 != len) {
        qpRaise<QpPacketDataException>(QP_HERE, 0, "wrong length field");
      }
      char* vImage = newImage(len);
      qp_memcpy(vImage, vData, static_cast<size_t>(len));
      qp_free(mBuffer);
      mBuffer = vImage;
      mCapacity = len > kHeaderSize ? len : kHeaderSize;
      mUsedLen = len;
      resetCursor();
      if (readBE32(bytesOf(mBuffer)) != kPacketMarker) {
        qpRaise<QpPacketDataException>(QP_HERE, 0, "wrong packet marker");
      }
    }
    checkMagic();
  } catch (QpPacketDataException&) {
    // Bytes that failed the checks are never walked: the packet is left without an image.
    deleteMemory();
    throw;
  }
}

void QpSmartPacket::checkMagic() {
  // The used length is tested first: a short image would otherwise have its magic read from
  // beyond its end (from the zeroed slack of the buffer at best).
  if (mBuffer == nullptr || mUsedLen < kHeaderSize ||
      readBE32(bytesOf(mBuffer) + kMagicOffset) !=
          readBE32(reinterpret_cast<const unsigned char*>(kMagic))) {
    qpRaise<QpPacketDataException>(QP_HERE, 0, nullptr, "QpSmartPacket.checkMagic");
  }
}

// ---- Field walk --------------------------------------------------------------------------------

short QpSmartPacket::fetchFirst() {
  mCurCode = -1;
  mCurType = 0;
  mCurOffset = kHeaderSize;
  mCurLen = 0;
  return fetchNext();
}

short QpSmartPacket::fetchNext() {
  if (mBuffer == nullptr) {
    qpRaise<QpSDKInternalException>(QP_HERE, 0, nullptr, "QpSmartPacket.fetchNext");
  }
  // The cursor always lies within the used length (it was checked when it was placed), so this
  // sum cannot overflow.
  const int vHeader = mCurOffset + mCurLen;
  if (vHeader >= mUsedLen) return -1;
  // An image from outside may end inside a header or announce more value bytes than it holds.
  // Both are tested against the bytes that remain, by subtraction from the used length, so that
  // a 24-bit length near 16 MiB cannot push a sum past the end unnoticed.
  const int vRemaining = mUsedLen - vHeader;
  if (vRemaining < kFieldHeaderSize) {
    qpRaise<QpPacketDataException>(QP_HERE, 0, "truncated field header", "QpSmartPacket.fetchNext");
  }
  // The whole header lies within the used length (just checked), so it is read in place: every
  // lookup walks the fields from the first, and this is where it spends its time.
  const unsigned char* p = bytesOf(mBuffer) + vHeader;
  const short vCode = static_cast<short>(static_cast<std::uint16_t>((p[0] << 8) | p[1]));
  const unsigned char vType = p[2];
  const int vLen = (p[3] << 16) | (p[4] << 8) | p[5];
  if (vLen > vRemaining - kFieldHeaderSize) {
    qpRaise<QpPacketDataException>(QP_HERE, 0, "field value runs past the end of the packet",
                                   "QpSmartPacket.fetchNext");
  }
  mCurCode = vCode;
  mCurType = vType;
  mCurOffset = vHeader + kFieldHeaderSize;
  mCurLen = vLen;
  // A field coded -1 (reserved, so only in an image from outside) reads as the end of the list.
  return vCode;
}

void QpSmartPacket::setFetchCursor(short code) {
  if (code == -1) {
    qpRaise<QpParameterException>(QP_HERE, 0, "invalid code requested",
                                  "QpSmartPacket.setFetchCursor(%s)", "-1");
  }
  if (mCurCode == code) return;
  for (short vCode = fetchFirst(); vCode != -1; vCode = fetchNext()) {
    if (vCode == code) return;
  }
  char vMessage[48];
  qp_snprintf(vMessage, sizeof(vMessage), "field id=%ld missing", static_cast<long>(code));
  qpRaise<QpRequiredPacketFieldMissingException>(
      QP_HERE, 0, vMessage, "QpSmartPacket.setFetchCursor(%s)", QpStringConversion::toString(code));
}

bool QpSmartPacket::findField(short code) {
  if (code == -1) {
    qpRaise<QpParameterException>(QP_HERE, 0, "invalid code requested",
                                  "QpSmartPacket.findField(%s)", "-1");
  }
  if (mBuffer == nullptr) return false;
  for (short vCode = fetchFirst(); vCode != -1; vCode = fetchNext()) {
    if (vCode == code) return true;
  }
  return false;
}

bool QpSmartPacket::locate(short code) {
  if (code != -1 && code == mCurCode) return true;
  return findField(code);
}

// ---- Byte-order primitives ---------------------------------------------------------------------
// Offsets are checked against the bytes in play: writes against the capacity, reads against the
// used length. A violation is a bug of the caller, who has validated outside data before.

#define QP_WRITABLE(off, n) \
  QP_CHECK(mBuffer != nullptr && (off) >= 0 && (n) >= 0 && (off) <= mCapacity - (n))
#define QP_READABLE(off, n) \
  QP_CHECK(mBuffer != nullptr && (off) >= 0 && (n) >= 0 && (off) <= mUsedLen - (n))

int QpSmartPacket::_setByte(int off, unsigned char value) {
  QP_WRITABLE(off, 1);
  bytesOf(mBuffer)[off] = value;
  return 0;
}

int QpSmartPacket::_setShort(int off, short value) {
  QP_WRITABLE(off, 2);
  const std::uint16_t v = static_cast<std::uint16_t>(value);
  bytesOf(mBuffer)[off] = static_cast<unsigned char>(v >> 8);
  bytesOf(mBuffer)[off + 1] = static_cast<unsigned char>(v);
  return 0;
}

int QpSmartPacket::_set3Byte(int off, int value) {
  QP_WRITABLE(off, 3);
  const std::uint32_t v = static_cast<std::uint32_t>(value);
  bytesOf(mBuffer)[off] = static_cast<unsigned char>(v >> 16);
  bytesOf(mBuffer)[off + 1] = static_cast<unsigned char>(v >> 8);
  bytesOf(mBuffer)[off + 2] = static_cast<unsigned char>(v);
  return 0;
}

int QpSmartPacket::_setInt(int off, int value) {
  QP_WRITABLE(off, 4);
  writeBE32(bytesOf(mBuffer) + off, static_cast<std::uint32_t>(value));
  return 0;
}

int QpSmartPacket::_setLong(int off, QpLong value) {
  QP_WRITABLE(off, 8);
  const std::uint64_t v = static_cast<std::uint64_t>(value);
  writeBE32(bytesOf(mBuffer) + off, static_cast<std::uint32_t>(v >> 32));
  writeBE32(bytesOf(mBuffer) + off + 4, static_cast<std::uint32_t>(v));
  return 0;
}

int QpSmartPacket::_setBytes(int off, const void* data, int len) {
  QP_WRITABLE(off, len);
  if (len > 0) qp_memcpy(mBuffer + off, data, static_cast<size_t>(len));
  return 0;
}

int QpSmartPacket::_setString(int off, const char* text, int len) {
  QP_WRITABLE(off, len);
  // Bounded scan: text need not be terminated within len, and must not be read beyond it.
  int vCopied = 0;
  if (text != nullptr) {
    while (vCopied < len && text[vCopied] != 0) ++vCopied;
    if (vCopied > 0) qp_memcpy(mBuffer + off, text, static_cast<size_t>(vCopied));
  }
  if (len > vCopied) qp_memset(mBuffer + off + vCopied, ' ', static_cast<size_t>(len - vCopied));
  return 0;
}

int QpSmartPacket::_getByte(int off, unsigned char* value) {
  QP_READABLE(off, 1);
  *value = bytesOf(mBuffer)[off];
  return 0;
}

int QpSmartPacket::_getShort(int off, short* value) {
  QP_READABLE(off, 2);
  const unsigned char* p = bytesOf(mBuffer) + off;
  *value = static_cast<short>(static_cast<std::uint16_t>((p[0] << 8) | p[1]));
  return 0;
}

int QpSmartPacket::_get3Byte(int off, int* value) {
  QP_READABLE(off, 3);
  const unsigned char* p = bytesOf(mBuffer) + off;
  *value = (p[0] << 16) | (p[1] << 8) | p[2];
  return 0;
}

int QpSmartPacket::_getInt(int off, int* value) {
  QP_READABLE(off, 4);
  *value = static_cast<std::int32_t>(readBE32(bytesOf(mBuffer) + off));
  return 0;
}

int QpSmartPacket::_getLong(int off, QpLong* value) {
  QP_READABLE(off, 8);
  const unsigned char* p = bytesOf(mBuffer) + off;
  const std::uint64_t v = (static_cast<std::uint64_t>(readBE32(p)) << 32) | readBE32(p + 4);
  *value = static_cast<QpLong>(v);
  return 0;
}

int QpSmartPacket::_getBytes(int off, void* out, int len) {
  QP_READABLE(off, len);
  if (len > 0) qp_memcpy(out, mBuffer + off, static_cast<size_t>(len));
  return 0;
}

int QpSmartPacket::_getString(int off, char* out, int len) {
  QP_READABLE(off, len);
  if (len > 0) qp_memcpy(out, mBuffer + off, static_cast<size_t>(len));
  out[len] = 0;
  return 0;
}

#undef QP_WRITABLE
#undef QP_READABLE

int QpSmartPacket::_setInt(char* buf, int off, int value) {
  writeBE32(bytesOf(buf) + off, static_cast<std::uint32_t>(value));
  return 0;
}

int QpSmartPacket::_getInt(char* buf, int off, int* value) {
  *value = static_cast<std::int32_t>(readBE32(bytesOf(buf) + off));
  return 0;
}
