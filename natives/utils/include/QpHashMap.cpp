// QpHashMap.cpp - the case-insensitive string map: two parallel arrays of owned texts.
#include "QpHashMap.h"

#include <climits>
#include <new>

#include "QpException.h"
#include "QpStringBuffer.h"
#include "QpUtils.h"
#include "QpXMLCodec.h"
#include "QpXmlUnescape.h"
#include "qpos32.h"
#include "QpFactoryInternal.h"

namespace {

const char kNoText[] = "";

// The largest slot count whose array size still fits an int byte count: beyond it a growth is
// refused like any other allocation failure.
const long long kMaxCapacity = INT_MAX / static_cast<long long>(sizeof(char*));

// Frees every text of a slot array and the array itself (null allowed).
void freeTexts(char** ioTexts, int inCapacity) {
  if (ioTexts == nullptr) return;
  for (int i = 0; i < inCapacity; ++i) qp_free(ioTexts[i]);
  qp_free(ioTexts);
}

// A zero-filled array of inCapacity slots holding a fresh copy of every text of inTexts; null
// when memory is short (nothing is left allocated) or there are no slots.
char** copyTexts(char* const* inTexts, int inCapacity) {
  if (inTexts == nullptr || inCapacity <= 0) return nullptr;
  char** vCopy = static_cast<char**>(qp_calloc(static_cast<size_t>(inCapacity), sizeof(char*)));
  if (vCopy == nullptr) return nullptr;
  for (int i = 0; i < inCapacity; ++i) {
    if (inTexts[i] == nullptr) continue;
    const size_t vSize = qp_strlen(inTexts[i]) + 1;
    vCopy[i] = static_cast<char*>(qp_malloc(vSize));
    if (vCopy[i] == nullptr) {
      freeTexts(vCopy, i);
      return nullptr;
    }
    qp_memcpy(vCopy[i], inTexts[i], vSize);
  }
  return vCopy;
}

}  // namespace

QpHashMap::QpHashMap() : mCapacity(0), mCount(0), mNames(nullptr), mValues(nullptr) {}

QpHashMap::QpHashMap(const QpHashMap& inOther)
    : mCapacity(0), mCount(0), mNames(nullptr), mValues(nullptr) {
  // A constructor has no result to report through and the map raises nothing: a copy that runs
  // out of memory stays empty, which its size() shows.
  copyFrom(inOther);
}

QpHashMap& QpHashMap::operator=(QpHashMap& inOther) {
  if (this != &inOther) copyFrom(inOther);
  return *this;
}

void QpHashMap::copyFrom(const QpHashMap& inOther) {
  if (inOther.mCapacity <= 0) {
    releaseMem();
    return;
  }
  // The copies are made before anything of this map is released, so that running out of memory
  // leaves it whole instead of empty.
  char** vNames = inOther.copyNameArray();
  char** vValues = inOther.copyValueArray();
  if (vNames == nullptr || vValues == nullptr) {
    freeTexts(vNames, inOther.mCapacity);
    freeTexts(vValues, inOther.mCapacity);
    return;
  }
  releaseMem();
  mCapacity = inOther.mCapacity;
  mCount = inOther.mCount;
  mNames = vNames;
  mValues = vValues;
}

QpHashMap::~QpHashMap() {
  releaseMem();
}

QpHashMap* QpHashMap::createInstance() {
  return qpNewOrNull<QpHashMap>();
}

void QpHashMap::releaseMem() {
  freeTexts(mNames, mCapacity);
  freeTexts(mValues, mCapacity);
  mNames = nullptr;
  mValues = nullptr;
  mCapacity = 0;
  mCount = 0;
}

char** QpHashMap::copyNameArray() const {
  return copyTexts(mNames, mCapacity);
}

char** QpHashMap::copyValueArray() const {
  return copyTexts(mValues, mCapacity);
}

int QpHashMap::find(const char* name) const {
  if (name == nullptr) return -1;
  // One view of the wanted name serves every comparison, so the folding rule is the string
  // buffers' own and the name's length is measured once.
  const QpConstStringBuffer vName(name);
  for (int i = 0; i < mCapacity; ++i) {
    if (mNames[i] != nullptr && vName.strcasecmp(mNames[i], -1) == 0) return i;
  }
  return -1;
}

void QpHashMap::resize(int delta) {
  const long long vCapacity = static_cast<long long>(mCount) + delta;
  if (vCapacity <= mCapacity) return;
  if (vCapacity > kMaxCapacity) return;
  const size_t vSize = static_cast<size_t>(vCapacity) * sizeof(char*);
  char** vNames = static_cast<char**>(qp_malloc(vSize));
  char** vValues = static_cast<char**>(qp_malloc(vSize));
  if (vNames == nullptr || vValues == nullptr) {
    // Nothing has moved yet: the map stays as it was and the put that asked for room fails.
    qp_free(vNames);
    qp_free(vValues);
    return;
  }
  int vCount = 0;
  for (int i = 0; i < mCapacity; ++i) {
    if (mNames[i] != nullptr) {
      vNames[vCount] = mNames[i];
      vValues[vCount] = mValues[i];
      ++vCount;
    } else {
      qp_free(mValues[i]);
    }
  }
  for (long long i = vCount; i < vCapacity; ++i) {
    vNames[i] = nullptr;
    vValues[i] = nullptr;
  }
  qp_free(mNames);
  qp_free(mValues);
  mNames = vNames;
  mValues = vValues;
  mCapacity = static_cast<int>(vCapacity);
  mCount = vCount;
}

int QpHashMap::_put(char* name, char* value) {
  if (mCount >= mCapacity)
    resize(mCapacity <= 0 ? 2 : mCapacity > INT_MAX / 2 ? INT_MAX : 2 * mCapacity);
  int vSlot = -1;
  for (int i = 0; i < mCapacity; ++i) {
    if (mNames[i] == nullptr) {
      vSlot = i;
      break;
    }
  }
  if (vSlot < 0 || name == nullptr || value == nullptr) return -1;
  mNames[vSlot] = name;
  mValues[vSlot] = value;
  ++mCount;
  return vSlot;
}

int QpHashMap::put(const char* name, const char* value) {
  if (name == nullptr || value == nullptr) return -1;
  char* vName = qp_strdup(name);
  if (vName == nullptr) return -1;
  char* vValue = qp_strdup(value);
  if (vValue == nullptr) {
    qp_free(vName);
    return -1;
  }
  const int vSlot = _put(vName, vValue);
  if (vSlot < 0) {
    qp_free(vName);
    qp_free(vValue);
  }
  return vSlot;
}

int QpHashMap::rawPut(const unsigned short* name, const unsigned short* value) {
  if (name == nullptr || value == nullptr) return -1;
  const unsigned char vAllowInvalid = QpUtils::isReadOfInvalidXMLAllowed() ? 1 : 0;
  char* vName = nullptr;
  char* vValue = nullptr;
  try {
    vName = QpConvertUTF16ToUTF8(name, -1, 1, vAllowInvalid);
    if (vName != nullptr) vValue = QpConvertUTF16ToUTF8(value, -1, 1, vAllowInvalid);
  } catch (QpException&) {
    // The conversion has logged its refusal (invalid XML or no memory); the map reports
    // failures by its result only.
    qp_free(vName);
    return -1;
  }
  if (vName == nullptr || vValue == nullptr) {
    qp_free(vName);
    qp_free(vValue);
    return -1;
  }
  QpXmlUnescape(vValue);
  const int vSlot = _put(vName, vValue);
  if (vSlot < 0) {
    qp_free(vName);
    qp_free(vValue);
  }
  return vSlot;
}

int QpHashMap::putList(const char** list, int n) {
  if (list == nullptr) return 0;
  int vStored = 0;
  for (int i = 0; i < n / 2; ++i) {
    if (put(list[2 * i], list[2 * i + 1]) >= 0) ++vStored;
  }
  return vStored;
}

int QpHashMap::putList(const char* names, const char* value, char separator) {
  if (names == nullptr || value == nullptr) return 0;
  // The pieces are cut out of a private copy: the caller's text is const and stays as it was.
  char* vNames = qp_strdup(names);
  if (vNames == nullptr) return 0;
  int vStored = 0;
  char* vPiece = vNames;
  for (;;) {
    char* vEnd = vPiece;
    while (*vEnd != '\0' && *vEnd != separator) ++vEnd;
    const bool vLast = *vEnd == '\0';
    *vEnd = '\0';
    if (put(vPiece, value) < 0) break;
    ++vStored;
    if (vLast) break;
    vPiece = vEnd + 1;
  }
  qp_free(vNames);
  return vStored;
}

void QpHashMap::replace(const char* name, const char* value) {
  const int vSlot = find(name);
  if (vSlot < 0) {
    put(name, value);
    return;
  }
  // An entry always has a value: a null value, or a copy that cannot be made, leaves the old one.
  if (value == nullptr) return;
  char* vValue = qp_strdup(value);
  if (vValue == nullptr) return;
  qp_free(mValues[vSlot]);
  mValues[vSlot] = vValue;
}

int QpHashMap::remove(const char* name) {
  const int vSlot = find(name);
  if (vSlot < 0) return -1;
  qp_free(mNames[vSlot]);
  qp_free(mValues[vSlot]);
  for (int i = vSlot; i < mCapacity - 1; ++i) {
    mNames[i] = mNames[i + 1];
    mValues[i] = mValues[i + 1];
  }
  mNames[mCapacity - 1] = nullptr;
  mValues[mCapacity - 1] = nullptr;
  --mCount;
  return vSlot;
}

const char* QpHashMap::getValue(const char* name) {
  const int vSlot = find(name);
  return vSlot < 0 ? nullptr : mValues[vSlot];
}

const char* QpHashMap::getName(int i) {
  if (i < 0 || i >= mCapacity || mNames[i] == nullptr) return kNoText;
  return mNames[i];
}

const char* QpHashMap::getValue(int i) {
  if (i < 0 || i >= mCapacity || mNames[i] == nullptr) return kNoText;
  return mValues[i] != nullptr ? mValues[i] : kNoText;
}

void QpHashMap::makeUnique() {
  if (mCapacity <= 0) {
    mNames = nullptr;
    mValues = nullptr;
    return;
  }
  char** vNames = copyNameArray();
  char** vValues = copyValueArray();
  if (vNames == nullptr || vValues == nullptr) {
    freeTexts(vNames, mCapacity);
    freeTexts(vValues, mCapacity);
    return;
  }
  // Every map owns its arrays and texts alone (copies and assignments are deep), so the blocks
  // being replaced have no other owner. Keeping them, as a shallow-copy scheme would, leaks them
  // here: they are released so that each block is freed exactly once.
  freeTexts(mNames, mCapacity);
  freeTexts(mValues, mCapacity);
  mNames = vNames;
  mValues = vValues;
}
