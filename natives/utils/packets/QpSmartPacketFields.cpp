// QpSmartPacketFields.cpp - the field interface of QpSmartPacket: stores and replacing stores,
// typed getters, nested packets and arrays, deletion and the text dump.
#include <cstdint>
#include <cstring>

#include "QpException.h"
#include "QpHashMap.h"
#include "QpRaise.h"
#include "QpSmartPacket.h"
#include "QpStringBuffer.h"
#include "QpStringConversion.h"
#include "StMemory.h"
#include "qpos32.h"

namespace {

const char* const kStoreLabel = "QpSmartPacket::store(%s,-)";
const char* const kStoreBytesLabel = "QpSmartPacket::store(%s,-,-)";
const char* const kStoreMapLabel = "QpSmartPacket::store(%s,%s)";

// The value of a nested packet that has no image: the magic alone, i.e. a packet with no fields.
const char kEmptyBody[4] = {'F', 'S', 'P', '2'};

// Element codes are signed 16-bit and start at 1, so no array can have more elements.
const int kMaxArrayElements = 32767;

const char* const kTypeNames[] = {"invalid",     "integer",      "string", "bytearray",
                                  "stringarray", "stringmatrix", "packet", "long",
                                  "boolean",     "packetarray",  "short"};

void encodeInt(unsigned char* outP, std::int32_t inValue) {
  const std::uint32_t v = static_cast<std::uint32_t>(inValue);
  outP[0] = static_cast<unsigned char>(v >> 24);
  outP[1] = static_cast<unsigned char>(v >> 16);
  outP[2] = static_cast<unsigned char>(v >> 8);
  outP[3] = static_cast<unsigned char>(v);
}

void encodeLong(unsigned char* outP, QpLong inValue) {
  const std::uint64_t v = static_cast<std::uint64_t>(inValue);
  encodeInt(outP, static_cast<std::int32_t>(static_cast<std::uint32_t>(v >> 32)));
  encodeInt(outP + 4, static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
}

[[noreturn]] void refuseNull() {
  qpRaise<QpParameterException>(QP_HERE, 0, "cannot store NULL");
}

[[noreturn]] void refuseOverflow() {
  qpRaise<QpParameterException>(QP_HERE, 0, "data overflow");
}

// The most fields an image of inUsed bytes can hold: each takes at least its 6-byte header.
// Array reads size their result by it, so that a hostile element count in a small image cannot
// make them reserve gigabytes before the first missing element is noticed.
int fieldCapacity(int inUsed) {
  return inUsed > QpSmartPacket::kHeaderSize
             ? (inUsed - QpSmartPacket::kHeaderSize) / QpSmartPacket::kFieldHeaderSize
             : 0;
}

}  // namespace

// ---- Appending ---------------------------------------------------------------------------------

void QpSmartPacket::appendField(short code, int type, const void* data, int len, int inGrowBy,
                                bool inReplace) {
  QP_CHECK(len >= 0 && len <= kMaxValueLen && inGrowBy >= len);
  // The value may come from this very image (store(c, GetData(d), n), or a packet stored into
  // itself). Growing would free it and deleting a field would shift it, so it is copied first.
  StMalloc vCopy;
  if (mBuffer != nullptr && data != nullptr) {
    const std::uintptr_t vData = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t vStart = reinterpret_cast<std::uintptr_t>(mBuffer);
    if (vData >= vStart && vData < vStart + static_cast<std::uintptr_t>(mCapacity)) {
      vCopy.Set(qp_malloc(len > 0 ? static_cast<size_t>(len) : 1));
      if (vCopy.Get() == nullptr) qpRaiseOutOfMemory(QP_HERE);
      if (len > 0) qp_memcpy(vCopy.Get(), data, static_cast<size_t>(len));
      data = vCopy.Get();
    }
  }
  // Room first: once it is there nothing below allocates, so a failure leaves the image whole.
  // Deleting the old field only frees space.
  grow(inGrowBy);
  if (inReplace && findField(code)) deleteField(code);
  const int vHeader = mUsedLen;
  _setShort(vHeader, code);
  _setByte(vHeader + 2, static_cast<unsigned char>(type));
  _set3Byte(vHeader + 3, len);
  _setBytes(vHeader + kFieldHeaderSize, data, len);
  mUsedLen = vHeader + kFieldHeaderSize + len;
}

void QpSmartPacket::refuseDuplicate(short code) {
  if (findField(code)) qpRaise<QpParameterException>(QP_HERE, 0, "cannot store duplicate codes");
}

void QpSmartPacket::appendArrayCount(int inCount) {
  if (inCount > kMaxArrayElements) refuseOverflow();
  unsigned char vValue[4];
  encodeInt(vValue, inCount);
  appendField(0, kTypeInteger, vValue, 4, 4, false);
}

void QpSmartPacket::appendArrayString(int inIndex, const char* inText, int inLen) {
  if (inLen > kMaxValueLen) refuseOverflow();
  appendField(static_cast<short>(inIndex), kTypeString, inText, inLen, inLen, false);
}

void QpSmartPacket::storeBytes(short code, const unsigned char* data, int len, bool inReplace) {
  if (data == nullptr) refuseNull();
  // A negative length is refused with the too-large ones: neither fits the 24-bit length field.
  if (len < 0 || len > kMaxValueLen) refuseOverflow();
  if (!inReplace) refuseDuplicate(code);
  appendField(code, kTypeByteArray, data, len, len, inReplace);
}

void QpSmartPacket::storeInner(short code, const QpSmartPacket& inner, bool inReplace) {
  // The inner image travels from its magic on; one without an image is a packet with no fields.
  if (inner.mBuffer == nullptr || inner.mUsedLen < 8) {
    storeBytes(code, reinterpret_cast<const unsigned char*>(kEmptyBody), 4, inReplace);
  } else {
    storeBytes(code, reinterpret_cast<const unsigned char*>(inner.mBuffer + 8), inner.mUsedLen - 8,
               inReplace);
  }
}

void QpSmartPacket::storeText(short code, const char* text, bool inReplace) {
  if (text == nullptr) refuseNull();
  const size_t vLen = qp_strlen(text);
  // The 24-bit length field cannot carry more; a longer string would be cut silently.
  if (vLen > static_cast<size_t>(kMaxValueLen)) refuseOverflow();
  if (!inReplace) refuseDuplicate(code);
  appendField(code, kTypeString, text, static_cast<int>(vLen), static_cast<int>(vLen), inReplace);
}

void QpSmartPacket::storeNumber(short code, int type, const unsigned char* inValue, int inLen,
                                int inGrowBy, bool inReplace) {
  if (!inReplace) refuseDuplicate(code);
  appendField(code, type, inValue, inLen, inGrowBy, inReplace);
}

void QpSmartPacket::storeList(short code, const QpBasicStringBuffer* list, char delimiter,
                              bool inReplace) {
  if (list == nullptr) refuseNull();
  if (!inReplace) refuseDuplicate(code);
  const char* vText = list->toStringConst();
  const int vLen = static_cast<int>(qp_strlen(vText));
  int vCount = 1;
  for (int i = 0; i < vLen; ++i) {
    if (vText[i] == delimiter) ++vCount;
  }
  // The pieces are written with their lengths straight from the caller's text: nothing is cut
  // in place, so no copy of the text is needed.
  QpSmartPacket vInner;
  vInner.appendArrayCount(vCount);
  int vStart = 0;
  int vIndex = 1;
  for (int i = 0; i <= vLen; ++i) {
    if (i == vLen || vText[i] == delimiter) {
      vInner.appendArrayString(vIndex++, vText + vStart, i - vStart);
      vStart = i + 1;
    }
  }
  storeInner(code, vInner, inReplace);
}

void QpSmartPacket::buildArray(QpSmartPacket& outInner, const ArrayTemplate<char>* inItems) {
  const int vCount = inItems->size();
  outInner.appendArrayCount(vCount);
  for (int i = 0; i < vCount; ++i) {
    // A null element is stored and counted like any other: as an empty string.
    const char* vItem = (*inItems)[i];
    const size_t vLen = vItem != nullptr ? qp_strlen(vItem) : 0;
    if (vLen > static_cast<size_t>(kMaxValueLen)) refuseOverflow();
    outInner.appendArrayString(i + 1, vItem != nullptr ? vItem : "", static_cast<int>(vLen));
  }
}

void QpSmartPacket::storeMap(short nameCode, short valueCode, const QpHashMap* map,
                             bool inReplace) {
  if (!inReplace) {
    refuseDuplicate(nameCode);
    refuseDuplicate(valueCode);
  }
  // One code for both arrays would make the second store collide with the first after the
  // first had already changed the packet.
  if (nameCode == valueCode) {
    qpRaise<QpParameterException>(QP_HERE, 0, "cannot store duplicate codes");
  }
  if (map == nullptr) qpRaise<QpParameterException>(QP_HERE, 0, "cannot store nothing");
  QpSmartPacket vNames;
  QpSmartPacket vValues;
  const int vCount = map->size();
  vNames.appendArrayCount(vCount);
  vValues.appendArrayCount(vCount);
  // The map's indexed readers are not declared const although they change nothing.
  QpHashMap* vMap = const_cast<QpHashMap*>(map);
  for (int i = 0; i < vCount; ++i) {
    const char* vName = vMap->getName(i);
    const char* vValue = vMap->getValue(i);
    const size_t vNameLen = qp_strlen(vName);
    const size_t vValueLen = qp_strlen(vValue);
    if (vNameLen > static_cast<size_t>(kMaxValueLen) ||
        vValueLen > static_cast<size_t>(kMaxValueLen)) {
      refuseOverflow();
    }
    vNames.appendArrayString(i + 1, vName, static_cast<int>(vNameLen));
    vValues.appendArrayString(i + 1, vValue, static_cast<int>(vValueLen));
  }
  const int vNamesLen = vNames.mUsedLen - 8;
  const int vValuesLen = vValues.mUsedLen - 8;
  if (vNamesLen > kMaxValueLen || vValuesLen > kMaxValueLen) refuseOverflow();
  // Room for both fields at once, so that the map is stored whole or not at all.
  grow(vNamesLen + kFieldHeaderSize + vValuesLen);
  if (inReplace) {
    if (findField(nameCode)) deleteField(nameCode);
    if (findField(valueCode)) deleteField(valueCode);
  }
  appendField(nameCode, kTypeByteArray, vNames.mBuffer + 8, vNamesLen, vNamesLen, false);
  appendField(valueCode, kTypeByteArray, vValues.mBuffer + 8, vValuesLen, vValuesLen, false);
}

// ---- Stores ------------------------------------------------------------------------------------
// Each public form carries its trace label; the guards below it raise without one and the label
// is added as the exception passes.

void QpSmartPacket::store(short code, int value) {
  QP_TRACE_BEGIN
  unsigned char vValue[4];
  encodeInt(vValue, value);
  storeNumber(code, kTypeInteger, vValue, 4, 4, false);
  QP_TRACE_END(kStoreLabel, QpStringConversion::toString(code))
}

void QpSmartPacket::store(short code, unsigned char value) {
  store(code, static_cast<int>(value));
}

void QpSmartPacket::store(short code, int value, int flag) {
  if (flag == 0) {
    store(code, value);
    return;
  }
  QP_TRACE_BEGIN
  const unsigned char vValue = value != 0 ? 1 : 0;
  // Growth reserves 4 bytes like every integer store, although the boolean takes only 1.
  storeNumber(code, kTypeBoolean, &vValue, 1, 4, false);
  QP_TRACE_END(kStoreLabel, QpStringConversion::toString(code))
}

void QpSmartPacket::store(short code, QpLong value) {
  QP_TRACE_BEGIN
  unsigned char vValue[8];
  encodeLong(vValue, value);
  storeNumber(code, kTypeLong, vValue, 8, 8, false);
  QP_TRACE_END(kStoreLabel, QpStringConversion::toString(code))
}

void QpSmartPacket::store(short code, const char* text) {
  QP_TRACE_BEGIN
  storeText(code, text, false);
  QP_TRACE_END(kStoreLabel, QpStringConversion::toString(code))
}

void QpSmartPacket::store(short code, const QpBasicStringBuffer* text) {
  QP_TRACE_BEGIN
  if (text == nullptr) refuseNull();
  storeText(code, text->toStringConst(), false);
  QP_TRACE_END(kStoreLabel, QpStringConversion::toString(code))
}

void QpSmartPacket::store(short code, const unsigned char* data, int len) {
  QP_TRACE_BEGIN
  storeBytes(code, data, len, false);
  QP_TRACE_END(kStoreBytesLabel, QpStringConversion::toString(code))
}

void QpSmartPacket::store(short code, const QpSmartPacket& inner) {
  // Through the byte form, and under its label.
  QP_TRACE_BEGIN
  storeInner(code, inner, false);
  QP_TRACE_END(kStoreBytesLabel, QpStringConversion::toString(code))
}

void QpSmartPacket::store(short code, const QpBasicStringBuffer* list, char delimiter) {
  QP_TRACE_BEGIN
  storeList(code, list, delimiter, false);
  QP_TRACE_END(kStoreLabel, QpStringConversion::toString(code))
}

void QpSmartPacket::store(short code, const ArrayTemplate<char>* items) {
  QP_TRACE_BEGIN
  if (items == nullptr) refuseNull();
  refuseDuplicate(code);
  if (items->size() < 1) return;
  QpSmartPacket vInner;
  buildArray(vInner, items);
  storeInner(code, vInner, false);
  QP_TRACE_END(kStoreLabel, QpStringConversion::toString(code))
}

void QpSmartPacket::store(short nameCode, short valueCode, const QpHashMap* map) {
  QP_TRACE_BEGIN
  storeMap(nameCode, valueCode, map, false);
  QP_TRACE_END(kStoreMapLabel, QpStringConversion::toString(nameCode),
               QpStringConversion::toString(valueCode))
}

// ---- Replacing stores --------------------------------------------------------------------------
// A replacement is checked and given its room before the old field goes, so a refused or failed
// Set leaves the old field in place.

void QpSmartPacket::Set(short code, int value) {
  QP_TRACE_BEGIN
  unsigned char vValue[4];
  encodeInt(vValue, value);
  storeNumber(code, kTypeInteger, vValue, 4, 4, true);
  QP_TRACE_END(kStoreLabel, QpStringConversion::toString(code))
}

void QpSmartPacket::Set(short code, unsigned char value) {
  Set(code, static_cast<int>(value));
}

void QpSmartPacket::Set(short code, QpLong value) {
  QP_TRACE_BEGIN
  unsigned char vValue[8];
  encodeLong(vValue, value);
  storeNumber(code, kTypeLong, vValue, 8, 8, true);
  QP_TRACE_END(kStoreLabel, QpStringConversion::toString(code))
}

void QpSmartPacket::Set(short code, const char* text) {
  QP_TRACE_BEGIN
  storeText(code, text, true);
  QP_TRACE_END(kStoreLabel, QpStringConversion::toString(code))
}

void QpSmartPacket::Set(short code, const QpBasicStringBuffer* text) {
  QP_TRACE_BEGIN
  if (text == nullptr) refuseNull();
  storeText(code, text->toStringConst(), true);
  QP_TRACE_END(kStoreLabel, QpStringConversion::toString(code))
}

void QpSmartPacket::Set(short code, const QpBasicStringBuffer* list, char delimiter) {
  QP_TRACE_BEGIN
  storeList(code, list, delimiter, true);
  QP_TRACE_END(kStoreLabel, QpStringConversion::toString(code))
}

void QpSmartPacket::Set(short code, const unsigned char* data, int len) {
  QP_TRACE_BEGIN
  storeBytes(code, data, len, true);
  QP_TRACE_END(kStoreBytesLabel, QpStringConversion::toString(code))
}

void QpSmartPacket::Set(short nameCode, short valueCode, const QpHashMap* map) {
  QP_TRACE_BEGIN
  storeMap(nameCode, valueCode, map, true);
  QP_TRACE_END(kStoreMapLabel, QpStringConversion::toString(nameCode),
               QpStringConversion::toString(valueCode))
}

void QpSmartPacket::Set(short code, QpSmartPacket& inner) {
  QP_TRACE_BEGIN
  storeInner(code, inner, true);
  QP_TRACE_END(kStoreBytesLabel, QpStringConversion::toString(code))
}

// ---- Lookup ------------------------------------------------------------------------------------

bool QpSmartPacket::GetExists(short code) {
  return findField(code);
}

int QpSmartPacket::GetFieldType(short code) {
  return locate(code) ? mCurType : 0;
}

// ---- Numbers -----------------------------------------------------------------------------------

QpLong QpSmartPacket::readNumber() {
  switch (mCurType) {
    case kTypeInteger:
      if (mCurLen == 4) {
        int v;
        _getInt(mCurOffset, &v);
        return v;
      }
      break;
    case kTypeLong:
      if (mCurLen == 8) {
        QpLong v;
        _getLong(mCurOffset, &v);
        return v;
      }
      break;
    case kTypeBoolean:
      if (mCurLen == 1) {
        unsigned char v;
        _getByte(mCurOffset, &v);
        return v & 1;
      }
      break;
    case kTypeShort:
      if (mCurLen == 2) {
        short v;
        _getShort(mCurOffset, &v);
        return v;
      }
      break;
    default:
      break;
  }
  qpRaise<QpSDKInternalException>(QP_HERE, 0, nullptr);
}

int QpSmartPacket::GetInt(short code) {
  setFetchCursor(code);
  // A long field yields its low 32 bits.
  return static_cast<int>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(readNumber())));
}

int QpSmartPacket::GetInt(short code, int def) {
  return locate(code) ? GetInt(code) : def;
}

QpLong QpSmartPacket::GetLong(short code) {
  setFetchCursor(code);
  return readNumber();
}

QpLong QpSmartPacket::GetLong(short code, QpLong def) {
  return locate(code) ? GetLong(code) : def;
}

unsigned char QpSmartPacket::GetBool(short code) {
  return static_cast<unsigned char>(GetLong(code) & 1);
}

unsigned char QpSmartPacket::GetBool(short code, unsigned char def) {
  return locate(code) ? GetBool(code) : def;
}

// ---- Strings and bytes -------------------------------------------------------------------------

void QpSmartPacket::GetStringLen(short code, int* len) {
  QP_CHECK(len != nullptr);
  setFetchCursor(code);
  *len = mCurLen;
}

void QpSmartPacket::GetString(short code, char* buf, int* len) {
  QP_CHECK(len != nullptr);
  setFetchCursor(code);
  if (mCurType != kTypeString) qpRaise<QpSDKInternalException>(QP_HERE, 0, nullptr);
  const int vCapacity = *len;
  if (vCapacity > 0) {
    QP_CHECK(buf != nullptr);
    const int vCopy = mCurLen < vCapacity - 1 ? mCurLen : vCapacity - 1;
    _getString(mCurOffset, buf, vCopy);
  }
  *len = mCurLen + 1;
}

void QpSmartPacket::GetString(short code, QpWChar* buf, int* len) {
  QP_CHECK(len != nullptr);
  const int vCapacity = *len;
  // The narrow copy never holds more bytes than the caller has wide units, and a byte widens to
  // at most one unit, so the widened text and its terminator fit in buf.
  StMalloc vNarrow(vCapacity > 0 ? vCapacity : 1, 0);
  GetString(code, static_cast<char*>(vNarrow.Get()), len);
  if (vCapacity > 0) {
    QP_CHECK(buf != nullptr);
    const size_t vUnits =
        qp_mbstowcs(buf, static_cast<const char*>(vNarrow.Get()), static_cast<size_t>(vCapacity));
    // A multi-byte character cut by the capacity (or bytes that are not UTF-8) do not convert;
    // the caller then gets an empty text rather than whatever the conversion left behind.
    if (vUnits == static_cast<size_t>(-1)) buf[0] = 0;
  }
}

QpStringBuffer QpSmartPacket::GetString(short code) {
  setFetchCursor(code);
  QpStringBuffer vText;
  vText.strncpy(mBuffer + mCurOffset, mCurLen);
  return vText;
}

char* QpSmartPacket::GetString(short code, unsigned char /*unused*/) {
  setFetchCursor(code);
  // Four bytes per value byte: room for the caller to widen the text in place.
  char* vText = static_cast<char*>(qp_malloc(4 * static_cast<size_t>(mCurLen) + 4));
  if (vText == nullptr) qpRaiseOutOfMemory(QP_HERE);
  _getString(mCurOffset, vText, mCurLen);
  return vText;
}

void QpSmartPacket::GetString(short code, QpBasicStringBuffer& out) {
  setFetchCursor(code);
  if (mCurType == kTypeString) out.strncpy(mBuffer + mCurOffset, mCurLen);
}

int QpSmartPacket::GetDataLen(short code) {
  setFetchCursor(code);
  return mCurLen;
}

void* QpSmartPacket::GetData(short code) {
  setFetchCursor(code);
  return mBuffer + mCurOffset;
}

// ---- Nested packets and arrays -----------------------------------------------------------------

void QpSmartPacket::GetSmartPacket(short code, QpSmartPacket& out) {
  setFetchCursor(code);
  // out may be this packet: adoptBody copies the value before it frees the old image.
  out.adoptBody(mBuffer + mCurOffset, mCurLen, 0);
}

int QpSmartPacket::readArray(short code, QpSmartPacket& outInner) {
  GetSmartPacket(code, outInner);
  const int vCount = outInner.GetInt(0);
  if (vCount <= 0) return 0;
  return vCount;
}

QpLong* QpSmartPacket::GetLongArray(short code, int& count) {
  count = 0;
  QpSmartPacket vInner;
  const int vCount = readArray(code, vInner);
  if (vCount == 0) return nullptr;
  // Every element read below is a distinct field of the inner image, so no more slots than it
  // has fields can ever be filled; a larger count fails on its first missing element.
  const int vSlots =
      vCount < fieldCapacity(vInner.mUsedLen) ? vCount : fieldCapacity(vInner.mUsedLen);
  QpLong* vArray = static_cast<QpLong*>(qp_malloc(sizeof(QpLong) * (vSlots > 0 ? vSlots : 1)));
  if (vArray == nullptr) return nullptr;
  try {
    for (int i = 1; i <= vCount; ++i) {
      const QpLong vValue = vInner.GetLong(static_cast<short>(i));
      QP_CHECK(count < vSlots);
      vArray[count++] = vValue;
    }
  } catch (QpException&) {
    qp_free(vArray);
    count = 0;
    throw;
  }
  return vArray;
}

QpBasicStringBuffer* QpSmartPacket::GetStrArray(short code, int& count) {
  count = 0;
  QpSmartPacket vInner;
  const int vCount = readArray(code, vInner);
  if (vCount == 0) return nullptr;
  const int vSlots =
      vCount < fieldCapacity(vInner.mUsedLen) ? vCount : fieldCapacity(vInner.mUsedLen);
  QpBasicStringBuffer* vArray = QpBasicStringBuffer::createArray(vSlots > 0 ? vSlots : 1);
  if (vArray == nullptr) return nullptr;
  try {
    for (int i = 1; i <= vCount; ++i) {
      QpStringBuffer vText = vInner.GetString(static_cast<short>(i));
      QP_CHECK(count < vSlots);
      vArray[count].strcpy(vText);
      ++count;
    }
  } catch (QpException&) {
    delete[] vArray;
    count = 0;
    throw;
  }
  return vArray;
}

ArrayTemplate<char>* QpSmartPacket::GetStrArray(short code, int& count, unsigned char flag) {
  count = 0;
  QpSmartPacket vInner;
  const int vCount = readArray(code, vInner);
  if (vCount == 0) return nullptr;
  const int vSlots =
      vCount < fieldCapacity(vInner.mUsedLen) ? vCount : fieldCapacity(vInner.mUsedLen);
  ArrayTemplate<char>* vArray = new ArrayTemplate<char>(vSlots, 10, 1, ElemFree);
  try {
    for (int i = 1; i <= vCount; ++i) {
      char* vText = vInner.GetString(static_cast<short>(i), flag);
      try {
        vArray->push_back(vText);
      } catch (QpException&) {
        qp_free(vText);
        throw;
      }
      ++count;
    }
  } catch (QpException&) {
    delete vArray;
    count = 0;
    throw;
  }
  return vArray;
}

void QpSmartPacket::deleteLongArray(QpLong* array) {
  qp_free(array);
}

void QpSmartPacket::deleteStrArrayTemplate(ArrayTemplate<char>* array) {
  if (array == nullptr) return;
  array->clear();
  delete array;
}

// ---- Deletion ----------------------------------------------------------------------------------

int QpSmartPacket::deleteField(short code) {
  if (mBuffer == nullptr) return 0;
  setFetchCursor(code);
  const int vStart = mCurOffset - kFieldHeaderSize;
  const int vEnd = mCurOffset + mCurLen;
  if (mUsedLen > vEnd) {
    std::memmove(mBuffer + vStart, mBuffer + vEnd, static_cast<size_t>(mUsedLen - vEnd));
  }
  mUsedLen -= vEnd - vStart;
  resetCursor();
  return 0;
}

int QpSmartPacket::deleteAllFields() {
  if (mBuffer != nullptr) mUsedLen = kHeaderSize;
  resetCursor();
  return 0;
}

// ---- Text --------------------------------------------------------------------------------------

const char* QpSmartPacket::GetFieldName(long code, char* buf, unsigned int size) {
  if (buf != nullptr && size > 0) qp_snprintf(buf, size, "fieldcode=%ld", code);
  return buf;
}

void QpSmartPacket::toString(QpStringBuffer& out, int code, int type) {
  if (type < kTypeInvalid || type > kTypeShort) return;
  setFetchCursor(static_cast<short>(code));
  char vNameBuf[64];
  const char* vName = GetFieldName(code, vNameBuf, sizeof(vNameBuf));
  out.strcat("  ");
  out.strcat(vName != nullptr ? vName : "");
  out.strcat(" type=");
  out.strcat(kTypeNames[type]);
  out.strcat(" value=");
  char vNumber[32];
  switch (type) {
    case kTypeInteger:
    case kTypeLong:
    case kTypeBoolean:
    case kTypeShort:
      qp_snprintf(vNumber, sizeof(vNumber), "%lld", static_cast<long long>(readNumber()));
      out.strcat(vNumber);
      break;
    case kTypeString: {
      // The value carries no terminator; a terminated copy is appended. A zero byte inside the
      // value ends the text there, as it would for any reader of the returned string.
      QpStringBuffer vValue;
      vValue.strncpy(mBuffer + mCurOffset, mCurLen);
      out.strcat(vValue.toStringConst());
      break;
    }
    default:
      qp_snprintf(vNumber, sizeof(vNumber), "%ld", static_cast<long>(mCurLen));
      out.strcat(vNumber);
      break;
  }
  out.strcat("\n");
}

char* QpSmartPacket::toString() {
  if (mBuffer == nullptr) {
    char* vText = qp_strdup("invalid packet.\n");
    if (vText == nullptr) qpRaiseOutOfMemory(QP_HERE);
    return vText;
  }
  QpStringBuffer vText("SmartPacket\n");
  for (short vCode = fetchFirst(); vCode != -1; vCode = fetchNext()) {
    // A family's line may look up other fields; the walk resumes from where it stood.
    const short vCurCode = mCurCode;
    const short vCurType = mCurType;
    const int vCurOffset = mCurOffset;
    const int vCurLen = mCurLen;
    toString(vText, vCode, vCurType);
    mCurCode = vCurCode;
    mCurType = vCurType;
    mCurOffset = vCurOffset;
    mCurLen = vCurLen;
  }
  return vText.release(0);
}

char* QpSmartPacket::dump() {
  return toString();
}

void QpSmartPacket::print() {
  StMalloc vText(toString());
  qp_printf("%s", static_cast<const char*>(vText.Get()));
}
