// QpGenericArray.h - the small containers built beside ArrayTemplate:
// - MyString, a holder of one qp_strdup text, and AliasArray, a growable array of MyString
//   pointers with insertion, search by identity and swap (the address code keeps the other
//   names of a server in one);
// - QpIntObj and QpLongObj, boxed 32-bit and 64-bit integers for use as array elements;
// - PAIRefArray, a first-in first-out queue of 32-bit references.
//
// AliasArray grows and fails as ArrayTemplate does: linear growth, QpOutOfMemException (system
// error 12) with the array unchanged when a growth finds no memory, QpSDKInternalException
// "mElemCnt>pIndex" for an index outside the elements. An owning AliasArray releases a MyString
// by freeing its text with qp_free and then deleting the holder; MyString itself never frees.
//
// Threads: no locking; each object must not be used by two threads at once.
#ifndef QP_GENERIC_ARRAY_H
#define QP_GENERIC_ARRAY_H

#include "ArrayTemplate.h"
#include "QpTypes.h"

class QP_EXPORT MyString {
 public:
  MyString() : mString(nullptr) {}
  // Holds a qp_strdup copy of inText (null stays null). Raises QpOutOfMemException when the
  // copy cannot be made.
  explicit MyString(const char* inText);

  // NUL-terminated, from qp_strdup, or null. The holder does not free it: whoever owns the holder
  // (an owning AliasArray, or the caller) frees the text and then deletes the holder.
  char* mString;
};

class QP_EXPORT AliasArray {
 public:
  AliasArray(unsigned char ownsElems = 1);
  AliasArray(int initialSize, int growBy, unsigned char ownsElems);
  virtual ~AliasArray();

  int push_back(MyString* element);
  // Inserts element before index and returns where it stands. A negative index counts as 0; an
  // index at or past the end appends.
  int insert(MyString* element, int index);
  MyString* operator[](int pIndex) const;
  // Takes the element at index out and returns it (the caller owns it); null for any index
  // outside the elements.
  MyString* remove(int index);
  // The index of the first slot holding this very pointer, or -1. Texts are not compared.
  int find(const MyString* element);
  // Takes out the first slot holding this pointer without releasing it: 1 when one was found.
  unsigned char remove(const MyString* element);
  // Exchanges the elements (count, capacity, slots) with other; initial size, growth and
  // ownership stay with each object.
  void swap(AliasArray& other);
  void clear();
  int size() const { return mElemCnt; }

 private:
  // Copying would give two arrays the same holders to release.
  AliasArray(const AliasArray&) = delete;
  AliasArray& operator=(const AliasArray&) = delete;

  MyString** arrAlloc(int n);
  // Makes room for one more element; raises from the given source line when memory is short.
  void grow(long inLine);

  [[maybe_unused]] int mInitialSize;  // capacity given at construction (kept, not read)
  int mGrowBy;                        // slots added by each growth
  int mElemCnt;                       // elements in slots 0 .. mElemCnt-1
  int mCapacity;                      // slots in mElems
  MyString** mElems;                  // qp_malloc'd; vacated slots are set to null
  unsigned char mOwnsElems;           // non-zero: clear() and the destructor release elements
};

class QP_EXPORT QpIntObj {
 public:
  QpIntObj(int inValue) : mValue(inValue) {}
  QpIntObj(const QpIntObj& inOther) = default;
  int getValue() const { return mValue; }
  bool operator==(const QpIntObj& inOther) const { return mValue == inOther.mValue; }
  QpIntObj& operator=(const QpIntObj& inOther) = default;

 private:
  int mValue;
};

class QP_EXPORT QpLongObj {
 public:
  QpLongObj(QpLong inValue) : mValue(inValue) {}
  QpLongObj(const QpLongObj& inOther) = default;
  QpLong getValue() const { return mValue; }
  bool operator==(const QpLongObj& inOther) const;
  QpLongObj& operator=(const QpLongObj& inOther) = default;

 private:
  QpLong mValue;
};

class QP_EXPORT PAIRefArray {
 public:
  PAIRefArray();
  ~PAIRefArray();

  // Appends ref (its low 32 bits, sign-extended). When no QpLongObj can be made a null element
  // stands in its place, so the queue keeps one entry per push; a growth failure of the queue
  // itself raises QpOutOfMemException with the queue unchanged.
  void pushRef(long ref) const;
  // Takes out the oldest reference; 0 when the queue is empty or the entry is null.
  long popRef();
  // The reference at index; 0 outside the elements or for a null entry.
  long getValue(int index) const;
  int getSize() const;
  void clear();

 private:
  PAIRefArray(const PAIRefArray&) = delete;
  PAIRefArray& operator=(const PAIRefArray&) = delete;

  // Owning, ElemDelete, 10 slots growing by 10. Mutable because pushRef is const for its callers.
  mutable ArrayTemplate<QpLongObj> mRefs;
};

#endif  // QP_GENERIC_ARRAY_H
