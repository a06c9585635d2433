// QpAddressArray.cpp - address lists with references and a master copy (QpAddressArray.h).
//
// Every changing operation first builds what it will add (addresses, references) and makes room
// for it in the arrays it will change; only then does it change them, with steps that cannot
// fail. So a failed allocation or a malformed list item leaves the whole array, master included,
// as it was.
#include "QpAddressArray.h"

#include <memory>

#include "QpException.h"
#include "QpRaise.h"
#include "qpos32.h"

template class ArrayTemplate<QpAddress>;

namespace {

const char kSource[] = "natives/utils/address/QpAddress";

bool startsWithIgnoreCase(const char* inText, const char* inPrefix) {
  for (; *inPrefix != 0; ++inText, ++inPrefix) {
    char vA = *inText, vB = *inPrefix;
    if (vA >= 'A' && vA <= 'Z') vA = static_cast<char>(vA - 'A' + 'a');
    if (vA != vB) return false;  // inPrefix is lower case; stops at inText's terminator too
  }
  return true;
}

// References are 32-bit values carried in 64 bits.
QpLong refValue(long inRef) {
  return static_cast<QpInt>(static_cast<std::uint32_t>(inRef));
}

// Makes sure the array can hold inTotal elements without growing, by growing it now: the
// pushes that follow can then not fail. Raises with the array as it was.
template <class T>
void reserve(ArrayTemplate<T>& ioArray, int inTotal) {
  const int vSize = ioArray.size();
  try {
    while (ioArray.size() < inTotal) ioArray.push_back(nullptr);
  } catch (QpException&) {
    while (ioArray.size() > vSize) ioArray.remove(ioArray.size() - 1);
    throw;
  }
  while (ioArray.size() > vSize) ioArray.remove(ioArray.size() - 1);
}

// Replaces the elements of ioTarget (released) by those of ioStaged (moved, in order). Cannot
// fail once reserve(ioTarget, ioStaged.size()) has succeeded.
template <class T>
void replaceWith(ArrayTemplate<T>& ioTarget, ArrayTemplate<T>& ioStaged) {
  ioTarget.clear();
  for (int i = 0; i < ioStaged.size(); ++i) ioTarget.push_back(ioStaged[i]);
  while (ioStaged.size() > 0) ioStaged.remove(ioStaged.size() - 1);
}

}  // namespace

// ---- Construction ------------------------------------------------------------------------------

QpAddressArray::QpAddressArray()
    : mAddresses(10, 10, 1, ElemDelete), mMaster(nullptr), mRefs(10, 10, 1, ElemDelete) {
  mMaster = new QpAddressArray(0);
}

QpAddressArray::QpAddressArray(int /*inNoMaster*/)
    : mAddresses(10, 10, 1, ElemDelete), mMaster(nullptr), mRefs(10, 10, 1, ElemDelete) {}

QpAddressArray::QpAddressArray(const QpAddressArray& inOther)
    : mAddresses(10, 10, 1, ElemDelete), mMaster(nullptr), mRefs(10, 10, 1, ElemDelete) {
  mMaster = new QpAddressArray(0);
  try {
    copyLists(inOther);
    if (inOther.mMaster != nullptr) mMaster->copyLists(*inOther.mMaster);
  } catch (QpException&) {
    delete mMaster;
    throw;
  }
}

QpAddressArray& QpAddressArray::operator=(const QpAddressArray& inOther) {
  if (this == &inOther) return *this;
  QpAddressArray vCopy(inOther);  // everything that can fail happens here
  QpAddressArray* vMaster = mMaster;
  if (vMaster == nullptr) {
    vMaster = new QpAddressArray(0);
  }
  try {
    reserve(mAddresses, vCopy.mAddresses.size());
    reserve(mRefs, vCopy.mRefs.size());
    reserve(vMaster->mAddresses, vCopy.mMaster->mAddresses.size());
    reserve(vMaster->mRefs, vCopy.mMaster->mRefs.size());
  } catch (QpException&) {
    if (vMaster != mMaster) delete vMaster;
    throw;
  }
  mMaster = vMaster;
  replaceWith(mAddresses, vCopy.mAddresses);
  replaceWith(mRefs, vCopy.mRefs);
  replaceWith(mMaster->mAddresses, vCopy.mMaster->mAddresses);
  replaceWith(mMaster->mRefs, vCopy.mMaster->mRefs);
  return *this;
}

QpAddressArray::~QpAddressArray() {
  delete mMaster;
}

void QpAddressArray::copyLists(const QpAddressArray& inOther) {
  for (int i = 0; i < inOther.mAddresses.size(); ++i) {
    const QpAddress* vAddress = inOther.mAddresses[i];
    std::unique_ptr<QpAddress> vCopy(vAddress != nullptr ? new QpAddress(*vAddress, 2) : nullptr);
    mAddresses.push_back(vCopy.get());
    (void)vCopy.release();  // the array owns it now
  }
  for (int i = 0; i < inOther.mRefs.size(); ++i) {
    const QpLongObj* vRef = inOther.mRefs[i];
    std::unique_ptr<QpLongObj> vCopy(vRef != nullptr ? new QpLongObj(vRef->getValue()) : nullptr);
    mRefs.push_back(vCopy.get());
    (void)vCopy.release();  // the array owns it now
  }
}

int QpAddressArray::getSize() const {
  return mAddresses.size();
}

// ---- Lists -------------------------------------------------------------------------------------

void QpAddressArray::addIfSupported(const char* inText, int inLen,
                                    ArrayTemplate<QpAddress>& outArray) {
  QpAddress vAddress;
  vAddress.strncpy(inText, inLen);
  if (vAddress.isEmpty() || !vAddress.isAddressStringSupported()) return;
  std::unique_ptr<QpAddress> vCopy(new QpAddress(vAddress, 2));
  outArray.push_back(vCopy.get());
  (void)vCopy.release();  // the array owns it now
}

void QpAddressArray::createNodeArrayFrom(ListKind inKind, const char* inList,
                                         ArrayTemplate<QpAddress>& outArray) {
  const char* vItem = inList;
  for (;;) {
    const char* vEnd = qp_strchr(vItem, ',');
    if (vEnd == nullptr) vEnd = vItem + qp_strlen(vItem);
    const long vLen = vEnd - vItem;
    const char* vAddress = nullptr;
    long vAddressLen = 0;
    switch (inKind) {
      case kPrimaryList: {
        const char* vEqual = qp_strchr(vItem, '=');
        if (vEqual == nullptr || vEqual >= vEnd) {
          vAddress = vItem;
          vAddressLen = vLen;
        } else if (vLen >= 8 && startsWithIgnoreCase(vItem, "primary=")) {
          vAddress = vItem + 8;
          vAddressLen = vLen - 8;
        }
        break;
      }
      case kSecondaryList:
        if (vLen > 10 && startsWithIgnoreCase(vItem, "secondary=")) {
          vAddress = vItem + 10;
          vAddressLen = vLen - 10;
        }
        break;
      case kAllList:
        if (vLen >= 1) {
          vAddress = vItem;
          vAddressLen = vLen;
        }
        break;
    }
    if (vAddress != nullptr) addIfSupported(vAddress, static_cast<int>(vAddressLen), outArray);
    if (*vEnd == 0) break;
    vItem = vEnd + 1;
  }
}

void QpAddressArray::createPrimaryNodeArrayFrom(const char* inList,
                                                ArrayTemplate<QpAddress>& outArray) {
  createNodeArrayFrom(kPrimaryList, inList, outArray);
}

void QpAddressArray::createSecondaryNodeArrayFrom(const char* inList,
                                                  ArrayTemplate<QpAddress>& outArray) {
  createNodeArrayFrom(kSecondaryList, inList, outArray);
}

void QpAddressArray::createAllNodeArrayFrom(const char* inList,
                                            ArrayTemplate<QpAddress>& outArray) {
  createNodeArrayFrom(kAllList, inList, outArray);
}

void QpAddressArray::storeAddresses(NodeArrayMaker inCreate, const QpBasicStringBuffer& inList,
                                    long inRef, bool inAlsoMaster) {
  const char* vList = inList.toStringConst();
  ArrayTemplate<QpAddress> vMine(10, 10, 1, ElemDelete);
  inCreate(vList, vMine);
  ArrayTemplate<QpAddress> vMasters(10, 10, 1, ElemDelete);
  QpAddressArray* vMaster = inAlsoMaster ? mMaster : nullptr;
  if (vMaster != nullptr) {
    // The master gets the same list; copies keep the resolved addresses, so no name is looked
    // up twice.
    for (int i = 0; i < vMine.size(); ++i) {
      std::unique_ptr<QpAddress> vCopy(new QpAddress(*vMine[i], 2));
      vMasters.push_back(vCopy.get());
      (void)vCopy.release();  // the array owns it now
    }
  }

  std::unique_ptr<QpLongObj> vRef(new QpLongObj(refValue(inRef)));
  std::unique_ptr<QpLongObj> vMasterRef(new QpLongObj(refValue(inRef)));
  reserve(mAddresses, vMine.size());
  reserve(mRefs, mRefs.size() + 1);
  if (vMaster != nullptr) {
    reserve(vMaster->mAddresses, vMasters.size());
    reserve(vMaster->mRefs, vMaster->mRefs.size() + 1);
    replaceWith(vMaster->mAddresses, vMasters);
    if (vMaster->mAddresses.size() > 0) vMaster->mRefs.push_back(vMasterRef.release());
  }
  replaceWith(mAddresses, vMine);
  if (mAddresses.size() > 0) mRefs.push_back(vRef.release());
}

void QpAddressArray::storePrimaryAddresses(const QpBasicStringBuffer& inList, long inRef,
                                           bool inAlsoMaster) {
  storeAddresses(createPrimaryNodeArrayFrom, inList, inRef, inAlsoMaster);
}

void QpAddressArray::storeSecondaryAddresses(const QpBasicStringBuffer& inList, long inRef,
                                             bool inAlsoMaster) {
  storeAddresses(createSecondaryNodeArrayFrom, inList, inRef, inAlsoMaster);
}

void QpAddressArray::storeAllAddresses(const QpBasicStringBuffer& inList, long inRef,
                                       bool inAlsoMaster) {
  storeAddresses(createAllNodeArrayFrom, inList, inRef, inAlsoMaster);
}

// ---- Single addresses --------------------------------------------------------------------------

void QpAddressArray::pushPrimaryAddress(const QpBasicStringBuffer& inText, long inRef,
                                        bool inAlsoMaster) {
  const char* vText = inText.toStringConst();
  if (startsWithIgnoreCase(vText, "secondary=")) return;
  const char* vEqual = qp_strchr(vText, '=');
  if (vEqual != nullptr && !startsWithIgnoreCase(vText, "primary=")) return;
  QpAddress vAddress(vEqual != nullptr ? vEqual + 1 : vText, 2);
  pushAddress(vAddress, inRef, inAlsoMaster, 2);
}

void QpAddressArray::pushSecondaryAddress(const QpBasicStringBuffer& inText, long inRef,
                                          bool inAlsoMaster) {
  const char* vText = inText.toStringConst();
  if (!startsWithIgnoreCase(vText, "secondary=")) return;
  QpAddress vAddress(qp_strchr(vText, '=') + 1, 2);
  pushAddress(vAddress, inRef, inAlsoMaster, 2);
}

unsigned char QpAddressArray::isAllowedTobeAdded(QpAddress& inAddress, long inRef) {
  if (!inAddress.isAddressStringSupported()) return 0;
  if (mMaster == nullptr) return 1;
  const QpLong vRef = refValue(inRef);
  for (int i = 0; i < getSize() && i < mMaster->mAddresses.size(); ++i) {
    const QpAddress* vKnown = mMaster->mAddresses[i];
    if (vKnown == nullptr || !vKnown->equalsIgnoreCase(inAddress)) continue;
    const QpLongObj* vKnownRef = i < mRefs.size() ? mRefs[i] : nullptr;
    if (vKnownRef == nullptr) return vRef != 0 ? 1 : 0;
    return vKnownRef->getValue() != vRef ? 1 : 0;
  }
  return 1;
}

void QpAddressArray::pushAddress(QpAddress& inAddress, long inRef, bool inAlsoMaster,
                                 QpAddress::AddressTypeEnum inType) {
  if (!isAllowedTobeAdded(inAddress, inRef)) return;
  QpAddressArray* vMaster = inAlsoMaster ? mMaster : nullptr;
  if (vMaster != nullptr && !vMaster->isAllowedTobeAdded(inAddress, inRef)) vMaster = nullptr;

  std::unique_ptr<QpAddress> vCopy(new QpAddress(inAddress, inType));
  std::unique_ptr<QpLongObj> vRef(new QpLongObj(refValue(inRef)));
  std::unique_ptr<QpAddress> vMasterCopy;
  std::unique_ptr<QpLongObj> vMasterRef;
  reserve(mAddresses, mAddresses.size() + 1);
  reserve(mRefs, mRefs.size() + 1);
  if (vMaster != nullptr) {
    vMasterCopy.reset(new QpAddress(inAddress, inType));
    vMasterRef.reset(new QpLongObj(refValue(inRef)));
    reserve(vMaster->mAddresses, vMaster->mAddresses.size() + 1);
    reserve(vMaster->mRefs, vMaster->mRefs.size() + 1);
    vMaster->mAddresses.push_back(vMasterCopy.release());
    vMaster->mRefs.push_back(vMasterRef.release());
  }
  mAddresses.push_back(vCopy.release());
  mRefs.push_back(vRef.release());
}

// ---- Reading -----------------------------------------------------------------------------------

unsigned char QpAddressArray::getAddress(QpAddress& outAddress, int inIndex) {
  if (inIndex < 0 || inIndex >= getSize()) return 0;
  const QpAddress* vAddress = mAddresses[inIndex];
  outAddress.strcpy(vAddress->toStringConst());
  outAddress.setSupportedFlag(vAddress->getSupportedFlag());
  return 1;
}

const char* QpAddressArray::getConstAddress(int inIndex) const {
  if (inIndex < 0 || inIndex >= getSize()) return nullptr;
  return mAddresses[inIndex]->toStringConst();
}

unsigned char QpAddressArray::popAddressAndLongRef(QpAddress& outAddress, long& outRef) {
  StCriticalSection vLock(&mLock);
  if (mAddresses.size() == 0) return 0;
  QpAddress* vFirst = mAddresses[0];
  outAddress.strcpy(vFirst->toStringConst());  // the only step that can fail: nothing taken yet
  outAddress.setSupportedFlag(vFirst->getSupportedFlag());
  delete mAddresses.remove(0);
  std::unique_ptr<QpLongObj> vRef(mRefs.remove(0));
  outRef = vRef != nullptr ? static_cast<long>(static_cast<QpInt>(vRef->getValue())) : 0;
  return 1;
}

char* QpAddressArray::toString() const {
  int vCount = 0;
  if (mMaster != nullptr) vCount = getSize() < mMaster->getSize() ? getSize() : mMaster->getSize();
  size_t vLength = 0;
  for (int i = 0; i < vCount; ++i)
    vLength += qp_strlen(mMaster->mAddresses[i]->toStringConst()) + 1;
  // At least 4 zeroed bytes, so that even the empty text is a block of the usual size.
  char* vText = static_cast<char*>(qp_calloc(vLength > 4 ? vLength : 4, 1));
  if (vText == nullptr) qpRaiseOutOfMemory(kSource, __LINE__);
  char* vEnd = vText;
  for (int i = 0; i < vCount; ++i) {
    if (i > 0) *vEnd++ = ',';
    const char* vAddress = mMaster->mAddresses[i]->toStringConst();
    const size_t vLen = qp_strlen(vAddress);
    qp_memcpy(vEnd, vAddress, vLen);
    vEnd += vLen;
  }
  return vText;
}
