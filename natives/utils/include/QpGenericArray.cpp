// QpGenericArray.cpp - MyString, AliasArray, the boxed integers and PAIRefArray.
#include "QpGenericArray.h"

#include <cstdint>
#include <new>

#include "QpRaise.h"

// Compiled in full here so that every member of the forms the library uses is checked; the
// instantiations stay inside the library.
template class ArrayTemplate<char>;
template class ArrayTemplate<QpLongObj>;

namespace {

// The source that AliasArray's failures are logged under, whatever this file is called.
const char kAliasSource[] = "natives/utils/include/QpGenericArray";

// A reference travels as a 32-bit value: keep the low half and sign-extend it, so that a
// negative reference comes back negative whatever the width of long.
long toRef(QpLong inValue) {
  return static_cast<long>(static_cast<std::int32_t>(static_cast<std::uint32_t>(inValue)));
}

}  // namespace

// ---- MyString ----------------------------------------------------------------------------------

MyString::MyString(const char* inText) : mString(nullptr) {
  if (inText == nullptr) return;
  mString = qp_strdup(inText);
  if (mString == nullptr) qpRaiseOutOfMemory(QP_HERE);
}

// ---- AliasArray --------------------------------------------------------------------------------

AliasArray::AliasArray(unsigned char ownsElems)
    : mInitialSize(QpArrayDetail::kDefaultSize),
      mGrowBy(QpArrayDetail::kDefaultGrowBy),
      mElemCnt(0),
      mCapacity(QpArrayDetail::kDefaultSize),
      mElems(nullptr),
      mOwnsElems(ownsElems) {
  mElems = arrAlloc(mCapacity);
}

AliasArray::AliasArray(int initialSize, int growBy, unsigned char ownsElems)
    : mInitialSize(initialSize),
      mGrowBy(growBy),
      mElemCnt(0),
      mCapacity(initialSize > 0 ? initialSize : 0),
      mElems(nullptr),
      mOwnsElems(ownsElems) {
  mElems = arrAlloc(mCapacity);
}

AliasArray::~AliasArray() {
  clear();
  qp_free(mElems);
}

MyString** AliasArray::arrAlloc(int n) {
  void* vSlots = QpArrayDetail::allocSlots(n, sizeof(MyString*));
  if (vSlots == nullptr) qpRaiseOutOfMemory(kAliasSource, 292);
  return static_cast<MyString**>(vSlots);
}

void AliasArray::grow(long inLine) {
  const int vCapacity = QpArrayDetail::grownCapacity(mCapacity, mGrowBy);
  void* vSlots = vCapacity < 0 ? nullptr : QpArrayDetail::allocSlots(vCapacity, sizeof(MyString*));
  // Nothing is replaced before the new block exists: a refusal leaves the array as it was.
  if (vSlots == nullptr) qpRaiseOutOfMemory(kAliasSource, inLine);
  MyString** vElems = static_cast<MyString**>(vSlots);
  for (int i = 0; i < mElemCnt; ++i) vElems[i] = mElems[i];
  qp_free(mElems);
  mElems = vElems;
  mCapacity = vCapacity;
}

int AliasArray::push_back(MyString* element) {
  if (mElemCnt == mCapacity) grow(151);
  mElems[mElemCnt] = element;
  return mElemCnt++;
}

int AliasArray::insert(MyString* element, int index) {
  if (index < 0) index = 0;
  if (index >= mElemCnt) return push_back(element);
  if (mElemCnt == mCapacity) grow(189);
  for (int i = mElemCnt; i > index; --i) mElems[i] = mElems[i - 1];
  mElems[index] = element;
  ++mElemCnt;
  return index;
}

MyString* AliasArray::operator[](int pIndex) const {
  if (pIndex < 0 || pIndex >= mElemCnt) {
    QpSDKInternalException::Throw(kAliasSource, 210, "mElemCnt>pIndex");
  }
  return mElems[pIndex];
}

MyString* AliasArray::remove(int index) {
  if (index < 0 || index >= mElemCnt) return nullptr;
  MyString* vElem = mElems[index];
  for (int i = index; i < mElemCnt - 1; ++i) mElems[i] = mElems[i + 1];
  mElems[--mElemCnt] = nullptr;
  return vElem;
}

int AliasArray::find(const MyString* element) {
  for (int i = 0; i < mElemCnt; ++i) {
    if (mElems[i] == element) return i;
  }
  return -1;
}

unsigned char AliasArray::remove(const MyString* element) {
  const int vIndex = find(element);
  if (vIndex < 0) return 0;
  remove(vIndex);
  return 1;
}

void AliasArray::swap(AliasArray& other) {
  const int vElemCnt = mElemCnt;
  const int vCapacity = mCapacity;
  MyString** vElems = mElems;
  mElemCnt = other.mElemCnt;
  mCapacity = other.mCapacity;
  mElems = other.mElems;
  other.mElemCnt = vElemCnt;
  other.mCapacity = vCapacity;
  other.mElems = vElems;
}

void AliasArray::clear() {
  while (mElemCnt > 0) {
    MyString* vElem = mElems[mElemCnt - 1];
    if (mOwnsElems && vElem != nullptr) {
      qp_free(vElem->mString);
      delete vElem;
    }
    mElems[--mElemCnt] = nullptr;
  }
}

// ---- QpLongObj ---------------------------------------------------------------------------------

bool QpLongObj::operator==(const QpLongObj& inOther) const {
  const std::uint64_t a = static_cast<std::uint64_t>(mValue);
  const std::uint64_t b = static_cast<std::uint64_t>(inOther.mValue);
  return (a & 0xFFFFFFFFu) == (b & 0xFFFFFFFFu) && (a >> 32) == (b >> 32);
}

// ---- PAIRefArray -------------------------------------------------------------------------------

PAIRefArray::PAIRefArray()
    : mRefs(QpArrayDetail::kDefaultSize, QpArrayDetail::kDefaultGrowBy, 1, ElemDelete) {}

PAIRefArray::~PAIRefArray() {
  mRefs.clear();
}

void PAIRefArray::pushRef(long ref) const {
  QpLongObj* vRef = nullptr;
  try {
    vRef = new QpLongObj(toRef(ref));
  } catch (QpOutOfMemException&) {
    // The queue keeps its place for the reference: popRef then yields 0 for it.
  } catch (std::bad_alloc&) {
  }
  try {
    mRefs.push_back(vRef);
  } catch (...) {
    delete vRef;
    throw;
  }
}

long PAIRefArray::popRef() {
  QpLongObj* vRef = mRefs.remove(0);
  if (vRef == nullptr) return 0;
  const long vValue = toRef(vRef->getValue());
  delete vRef;
  return vValue;
}

long PAIRefArray::getValue(int index) const {
  if (index < 0 || index >= mRefs.size()) return 0;
  const QpLongObj* vRef = mRefs[index];
  return vRef != nullptr ? toRef(vRef->getValue()) : 0;
}

int PAIRefArray::getSize() const {
  return mRefs.size();
}

void PAIRefArray::clear() {
  mRefs.clear();
}
