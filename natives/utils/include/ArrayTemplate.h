// ArrayTemplate.h - a growable array of pointers to T that may own its elements and knows how
// to release them. The library keeps its lists of strings, addresses and references in it and
// hands it across its boundary, so it is written out in the header and has no virtual functions.
//
// Slots 0 .. size()-1 hold the elements in order; a null element is stored and counted like any
// other. Growth is linear: each time the array is full it gains mGrowBy slots (10, 20, 30, ...
// with the defaults). An owning array releases the elements that it clears or outlives, by the
// destruct mode: ElemDelete runs T's own delete, every other mode releases the storage with
// qp_free (strings made by the OS layer). remove() hands an element back to the caller, who owns
// it from then on.
//
// Failures: a growth that finds no memory raises QpOutOfMemException (system error 12) and leaves
// the array as it was; operator[] outside 0 .. size()-1 raises QpSDKInternalException
// "mElemCnt>pIndex".
//
// Threads: no locking; an array must not be used by two threads at once.
#ifndef ARRAY_TEMPLATE_H
#define ARRAY_TEMPLATE_H

#include <climits>
#include <cstddef>

#include "QpException.h"
#include "QpRaise.h"
#include "qpos32.h"

// How an owning array releases an element. Spelled as its callers know it. The underlying type is
// fixed so that any int a caller passes is a valid mode (every value but ElemDelete frees).
enum ElemDestrunctMode : int { ElemFree = 0, ElemDelete = 1 };

namespace QpArrayDetail {

const int kDefaultSize = 10;
const int kDefaultGrowBy = 10;

// The capacity after one growth step, or -1 when it would not fit an int. A step below one slot
// is taken as one: a zero step would leave a full array full and the new element nowhere to go.
inline int grownCapacity(int inCapacity, int inGrowBy) {
  const int vStep = inGrowBy > 0 ? inGrowBy : 1;
  if (inCapacity > INT_MAX - vStep) return -1;
  return inCapacity + vStep;
}

// Uninitialised storage for inCount slot pointers, or null when memory is short. The slots come
// from qp_malloc rather than from the new of whichever module instantiates the template: the
// header is compiled into callers too, and only the library's allocator is seen by the fault hook
// and pairs with the qp_free below wherever the array is destroyed. At least one slot is taken
// so that a null result always means "no memory".
inline void* allocSlots(int inCount, size_t inSlotSize) {
  const size_t vCount = inCount > 0 ? static_cast<size_t>(inCount) : 1;
  return qp_malloc(vCount * inSlotSize);
}

}  // namespace QpArrayDetail

template <class T>
class ArrayTemplate {
 public:
  ArrayTemplate(unsigned char ownsElems = 1, ElemDestrunctMode mode = ElemDelete)
      : mInitialSize(QpArrayDetail::kDefaultSize),
        mGrowBy(QpArrayDetail::kDefaultGrowBy),
        mElemCnt(0),
        mCapacity(QpArrayDetail::kDefaultSize),
        mElems(nullptr),
        mOwnsElems(ownsElems),
        mDestructMode(mode) {
    mElems = arrAlloc(mCapacity);
  }

  // A negative initialSize gives an empty slot array that the first push_back grows.
  ArrayTemplate(int initialSize, int growBy, unsigned char ownsElems, ElemDestrunctMode mode)
      : mInitialSize(initialSize),
        mGrowBy(growBy),
        mElemCnt(0),
        mCapacity(initialSize > 0 ? initialSize : 0),
        mElems(nullptr),
        mOwnsElems(ownsElems),
        mDestructMode(mode) {
    mElems = arrAlloc(mCapacity);
  }

  ~ArrayTemplate() {
    clear();
    qp_free(mElems);
  }

  // Appends element and returns its index.
  int push_back(T* element) {
    if (mElemCnt == mCapacity) {
      const int vCapacity = QpArrayDetail::grownCapacity(mCapacity, mGrowBy);
      void* vSlots = vCapacity < 0 ? nullptr : QpArrayDetail::allocSlots(vCapacity, sizeof(T*));
      // Capacity and slots are only replaced once the new block exists, so a refusal leaves the
      // array exactly as it was.
      if (vSlots == nullptr) qpRaiseOutOfMemory("natives/utils/include/ArrayTemplate", 119);
      T** vElems = static_cast<T**>(vSlots);
      for (int i = 0; i < mElemCnt; ++i) vElems[i] = mElems[i];
      qp_free(mElems);
      mElems = vElems;
      mCapacity = vCapacity;
    }
    mElems[mElemCnt] = element;
    return mElemCnt++;
  }

  T* operator[](int pIndex) const {
    if (pIndex < 0 || pIndex >= mElemCnt) {
      QpSDKInternalException::Throw("natives/utils/include/ArrayTemplate", 235, "mElemCnt>pIndex");
    }
    return mElems[pIndex];
  }

  // Takes the element at index out and returns it; the caller owns it from now on. Any index
  // outside 0 .. size()-1 changes nothing and gives null.
  T* remove(int index) {
    if (index < 0 || index >= mElemCnt) return nullptr;
    T* vElem = mElems[index];
    for (int i = index; i < mElemCnt - 1; ++i) mElems[i] = mElems[i + 1];
    mElems[--mElemCnt] = nullptr;
    return vElem;
  }

  // Releases the elements (when owning), last first, and empties the array. The slots stay.
  void clear() {
    while (mElemCnt > 0) {
      T* vElem = mElems[mElemCnt - 1];
      if (mOwnsElems && vElem != nullptr) {
        if (mDestructMode == ElemDelete) {
          delete vElem;
        } else {
          qp_free(vElem);
        }
      }
      mElems[--mElemCnt] = nullptr;
    }
  }

  int size() const { return mElemCnt; }

 private:
  // Copying would give two arrays the same slots and elements to release.
  ArrayTemplate(const ArrayTemplate&) = delete;
  ArrayTemplate& operator=(const ArrayTemplate&) = delete;

  // A slot array of n pointers, not zeroed.
  T** arrAlloc(int n) {
    void* vSlots = QpArrayDetail::allocSlots(n, sizeof(T*));
    if (vSlots == nullptr) qpRaiseOutOfMemory("natives/utils/include/ArrayTemplate", 366);
    return static_cast<T**>(vSlots);
  }

  int mInitialSize;                 // capacity given at construction
  int mGrowBy;                      // slots added by each growth
  int mElemCnt;                     // elements in slots 0 .. mElemCnt-1
  int mCapacity;                    // slots in mElems
  T** mElems;                       // qp_malloc'd; vacated slots are set to null
  unsigned char mOwnsElems;         // non-zero: clear() and the destructor release elements
  ElemDestrunctMode mDestructMode;  // ElemDelete: delete; anything else: qp_free
};

// Each user instantiates the forms it needs: the library exports no template instantiation, so
// a caller's ArrayTemplate<T> never depends on how the library was built.

#endif  // ARRAY_TEMPLATE_H
