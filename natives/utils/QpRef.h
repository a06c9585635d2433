// QpRef.h - checked 64-bit references that stand for the client library's objects in the hands
// of applications, and an intrusive holder count for objects shared between holders.
//
// A reference, from the least significant bit: bits 0-31 the object's 32-bit address, bits 32-47
// a checksum (the sum of the address's two 16-bit halves, truncated to 16 bits), bits 48-55 the
// caller's one-byte object type, bits 56-63 zero. The null pointer is the reference 0, and 0 is
// never a valid reference. RefToPointer refuses a null, malformed, mistyped or damaged number with
// QpWrongReferenceException instead of handing back a pointer it cannot vouch for.
//
// On a 64-bit host not every address fits in 32 bits:
// - an address below 4 GiB is stored as itself (PointerToRef((void*)0x12345678, 3) is
//   0x000368AC12345678, on every host);
// - an address above 4 GiB is stored as a 32-bit handle taken from a range of address space
//   below 4 GiB that the library reserves with no access and no memory behind it, so a handle can
//   never be the address of a real object. The same pointer always gets the same handle, for the
//   life of the process. The table of handles only records pointers: it never owns, frees or
//   touches the objects, and it never forgets a pointer (a later object at the same address gets
//   the same handle).
// RefToPointer maps a handle it issued back to its pointer and returns any other address as it
// is. Running out of memory or of low address space for a new handle raises QpOutOfMemException.
//
// Threads: the reference operations may be called from any thread at once; the handle table has
// its own lock. A QpMonitoredObject's count is a plain integer: objects shared through
// QpMonitoredPtr pass between threads only under a lock of their user.
#ifndef QP_REF_H
#define QP_REF_H

#include "QpTypes.h"

class QP_EXPORT QpRefPointer {
 public:
  // 0 for a null pointer; otherwise the reference laid out as above.
  static QpLong PointerToRef(void* pointer, unsigned char type);
  // The pointer a reference stands for. Raises QpWrongReferenceException, checking in this order:
  // "Reference is NULL" (0), "Reference is wrong" (bits 56-63 not zero), "Type is wrong" (type
  // not 0 and not the stored type; 0 accepts any type), "Checksum is wrong".
  static void* RefToPointer(QpLong ref, unsigned char type);

 private:
  static unsigned short CalcChecksum(void* pointer);  // of the pointer's low 32 bits
};

// To be derived from: the holder count of an object shared through QpMonitoredPtr. Copies take
// the count along.
class QP_EXPORT QpMonitoredObject {
 public:
  QpMonitoredObject() : mCount(0) {}
  virtual ~QpMonitoredObject();

  int incCount() { return ++mCount; }  // the new count
  int decCount() { return --mCount; }  // the new count
  int GetCount() { return mCount; }
  void SetCount(int inCount) { mCount = inCount; }

 private:
  int mCount;  // holders; 0 when made
};

// One holder of a QpMonitoredObject: holding counts up, letting go counts down, and the holder
// that takes the count to 0 deletes the object.
class QP_EXPORT QpMonitoredPtr {
 public:
  QpMonitoredPtr() : mObject(nullptr) {}
  QpMonitoredPtr(QpMonitoredObject* object);
  QpMonitoredPtr(const QpMonitoredPtr& other);
  // Holds other's object (counted) and lets go of its own, so no count is lost or doubled.
  QpMonitoredPtr& operator=(const QpMonitoredPtr& other);
  virtual ~QpMonitoredPtr();

  operator unsigned char() const { return mObject != nullptr ? 1 : 0; }
  // The held object; QpParameterException (no message) when none is held.
  QpMonitoredObject& operator*() const;
  QpMonitoredObject* operator->() const;

 private:
  void release();

  QpMonitoredObject* mObject;  // counted, or null
};

#endif  // QP_REF_H
