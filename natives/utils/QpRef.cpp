// QpRef.cpp - checked object references, the handle table for addresses above 4 GiB, and the
// holder count of shared objects.
#include "QpRef.h"

#include <atomic>
#include <cstdint>

#include "QpLogging.h"
#include "QpMutex.h"
#include "QpRaise.h"
#include "QpStringConversion.h"
#include "qpos32.h"

namespace {

const uint64_t kAddressMask = 0xFFFFFFFFu;

// Handles are the bytes of reserved low address space, one per pointer, handed out in order.
// A chunk is reserved when the previous one is used up; the cap keeps the library from taking
// more than 1 GiB of the low 4 GiB that other code (JITs, 32-bit mappings) may need too.
const uint64_t kChunkHandles = uint64_t{1} << 24;
const int kMaxChunks = 64;

// Pointers above 4 GiB and their handles. Each pointer gets a serial number on first sight; the
// serial picks the chunk and the byte within it. A serial is never reused, so a handle keeps
// meaning the same pointer for the life of the process.
class HandleTable {
 public:
  HandleTable() : mPointers(nullptr), mCount(0), mCapacity(0), mSlots(nullptr), mSlotCount(0) {
    for (auto& vBase : mChunkBase) vBase.store(0, std::memory_order_relaxed);
    mChunkCount.store(0, std::memory_order_relaxed);
  }
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  uint32_t handleFor(uintptr_t inPointer) {
    StCriticalSection vGuard(&mLock);
    const uint32_t* vSlot = find(inPointer);
    if (vSlot != nullptr && *vSlot != 0) return handleOf(*vSlot - 1);
    // Every step that can fail comes before the first change that a reader could see, so a
    // refused registration leaves the table as it was (growth alone is harmless).
    if (mCount == mCapacity) growPointers();
    if (2 * (mCount + 1) > mSlotCount) rehash(mSlotCount == 0 ? 64 : 2 * mSlotCount);
    const uint64_t vChunk = mCount / kChunkHandles;
    if (vChunk >= static_cast<uint64_t>(mChunkCount.load(std::memory_order_relaxed))) {
      reserveChunk(static_cast<int>(vChunk));
    }
    const uint64_t vSerial = mCount;
    mPointers[vSerial] = inPointer;
    *find(inPointer) = static_cast<uint32_t>(vSerial + 1);
    ++mCount;
    return handleOf(vSerial);
  }

  // Whether inValue is a handle that was issued, and its pointer. Values outside the reserved
  // chunks, the common case, are told apart without the lock.
  bool pointerFor(uint32_t inValue, void*& outPointer) {
    const int vChunks = mChunkCount.load(std::memory_order_acquire);
    for (int i = 0; i < vChunks; ++i) {
      const uint64_t vOffset = inValue - mChunkBase[i].load(std::memory_order_relaxed);
      if (vOffset >= kChunkHandles) continue;
      const uint64_t vSerial = static_cast<uint64_t>(i) * kChunkHandles + vOffset;
      StCriticalSection vGuard(&mLock);
      if (vSerial >= mCount) return false;  // reserved, but never handed out
      outPointer = reinterpret_cast<void*>(mPointers[vSerial]);
      return true;
    }
    return false;
  }

 private:
  uint32_t handleOf(uint64_t inSerial) const {
    const uint64_t vBase = mChunkBase[inSerial / kChunkHandles].load(std::memory_order_relaxed);
    return static_cast<uint32_t>(vBase + inSerial % kChunkHandles);
  }

  static size_t hash(uintptr_t inPointer) {
    // Objects are aligned, so the low bits carry little; a multiplicative mix spreads them all.
    return static_cast<size_t>((static_cast<uint64_t>(inPointer) * 0x9E3779B97F4A7C15u) >> 17);
  }

  // The slot holding inPointer's serial + 1, or the empty slot where it would go; null while the
  // table has no slots.
  uint32_t* find(uintptr_t inPointer) const {
    if (mSlotCount == 0) return nullptr;
    for (size_t i = hash(inPointer) & (mSlotCount - 1);; i = (i + 1) & (mSlotCount - 1)) {
      if (mSlots[i] == 0 || mPointers[mSlots[i] - 1] == inPointer) return &mSlots[i];
    }
  }
  void growPointers() {
    const uint64_t vCapacity = mCapacity == 0 ? 64 : 2 * mCapacity;
    if (vCapacity > kMaxChunks * kChunkHandles) qpRaiseOutOfMemory(QP_HERE);
    void* vNew = qp_realloc(mPointers, static_cast<size_t>(vCapacity) * sizeof(uintptr_t));
    if (vNew == nullptr) qpRaiseOutOfMemory(QP_HERE);
    mPointers = static_cast<uintptr_t*>(vNew);
    mCapacity = vCapacity;
  }

  void rehash(size_t inSlotCount) {
    auto* vSlots = static_cast<uint32_t*>(qp_calloc(inSlotCount, sizeof(uint32_t)));
    if (vSlots == nullptr) qpRaiseOutOfMemory(QP_HERE);
    uint32_t* vOld = mSlots;
    const size_t vOldCount = mSlotCount;
    mSlots = vSlots;
    mSlotCount = inSlotCount;
    for (size_t i = 0; i < vOldCount; ++i) {
      if (vOld[i] != 0) *find(mPointers[vOld[i] - 1]) = vOld[i];
    }
    qp_free(vOld);
  }

  void reserveChunk(int inChunk) {
    if (inChunk >= kMaxChunks) qpRaiseOutOfMemory(QP_HERE);
    void* vBase = qp_reserve_low_address_space(static_cast<size_t>(kChunkHandles));
    if (vBase == nullptr) qpRaiseOutOfMemory(QP_HERE);
    mChunkBase[inChunk].store(reinterpret_cast<uintptr_t>(vBase), std::memory_order_relaxed);
    // Publishes the base to pointerFor, which reads the count first.
    mChunkCount.store(inChunk + 1, std::memory_order_release);
  }

  QpMutex mLock;
  std::atomic<uintptr_t> mChunkBase[kMaxChunks];
  std::atomic<int> mChunkCount;
  uintptr_t* mPointers;  // by serial; qp_malloc'd
  uint64_t mCount;       // serials issued
  uint64_t mCapacity;    // room in mPointers
  uint32_t* mSlots;      // open addressing by pointer: serial + 1, 0 when empty; qp_calloc'd
  size_t mSlotCount;     // a power of two, at least twice mCount
};

// Made on first use and never destroyed: a reference may be turned back during the static
// destruction of other code, and the handles must outlive every caller.
HandleTable& handleTable() {
  static HandleTable* sTable = new HandleTable();
  return *sTable;
}

[[noreturn]] void refuse(QpLong inRef, unsigned char inType, const char* inMessage) {
  qpRaise<QpWrongReferenceException>(QP_HERE, 0, inMessage, "RefToPointer(%s,%s)",
                                     QpStringConversion::toString(inRef),
                                     QpStringConversion::toString(static_cast<int>(inType)));
}

}  // namespace

unsigned short QpRefPointer::CalcChecksum(void* pointer) {
  const uint32_t vAddress = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
  return static_cast<unsigned short>((vAddress + (vAddress >> 16)) & 0xFFFF);
}

QpLong QpRefPointer::PointerToRef(void* pointer, unsigned char type) {
  QpLong vRef = 0;
  if (pointer != nullptr) {
    const uintptr_t vAddress = reinterpret_cast<uintptr_t>(pointer);
    const uint32_t vStored = vAddress <= kAddressMask ? static_cast<uint32_t>(vAddress)
                                                      : handleTable().handleFor(vAddress);
    const uint64_t vChecksum = CalcChecksum(reinterpret_cast<void*>(uintptr_t{vStored}));
    vRef = static_cast<QpLong>(uint64_t{vStored} | vChecksum << 32 | uint64_t{type} << 48);
  }
  if (QpLogging::isDebugLogging()) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
    QpLogging::Debug(REFS, "PointerToRef(%#p,%ld) -> %s", pointer, static_cast<long>(type),
                     QpStringConversion::toString(vRef));
#pragma GCC diagnostic pop
  }
  return vRef;
}

void* QpRefPointer::RefToPointer(QpLong ref, unsigned char type) {
  const uint64_t vRef = static_cast<uint64_t>(ref);
  const uint32_t vStored = static_cast<uint32_t>(vRef & kAddressMask);
  void* const vAddress = reinterpret_cast<void*>(uintptr_t{vStored});
  if (QpLogging::isDebugLogging()) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
    QpLogging::Debug(REFS, "RefToPointer(%s,%ld) -> %#p", QpStringConversion::toString(ref),
                     static_cast<long>(type), vAddress);
#pragma GCC diagnostic pop
  }
  if (ref == 0) refuse(ref, type, "Reference is NULL");
  if ((vRef >> 56) != 0) refuse(ref, type, "Reference is wrong");
  if (type != 0 && ((vRef >> 48) & 0xFF) != type) refuse(ref, type, "Type is wrong");
  if (((vRef >> 32) & 0xFFFF) != CalcChecksum(vAddress)) refuse(ref, type, "Checksum is wrong");
  void* vPointer = nullptr;
  if (sizeof(void*) > 4 && handleTable().pointerFor(vStored, vPointer)) return vPointer;
  return vAddress;
}

// ---- Shared objects ----------------------------------------------------------------------------

QpMonitoredObject::~QpMonitoredObject() {}

QpMonitoredPtr::QpMonitoredPtr(QpMonitoredObject* object) : mObject(object) {
  if (mObject != nullptr) mObject->incCount();
}

QpMonitoredPtr::QpMonitoredPtr(const QpMonitoredPtr& other) : mObject(other.mObject) {
  if (mObject != nullptr) mObject->incCount();
}

QpMonitoredPtr& QpMonitoredPtr::operator=(const QpMonitoredPtr& other) {
  // Count the new object first: with both the same object, letting go first could delete it.
  // other may be this holder itself, which release() empties: read its object before.
  QpMonitoredObject* const vObject = other.mObject;
  if (vObject != nullptr) vObject->incCount();
  release();
  mObject = vObject;
  return *this;
}

QpMonitoredPtr::~QpMonitoredPtr() {
  release();
}

void QpMonitoredPtr::release() {
  if (mObject != nullptr && mObject->decCount() == 0) delete mObject;
  mObject = nullptr;
}

QpMonitoredObject& QpMonitoredPtr::operator*() const {
  if (mObject == nullptr) qpRaise<QpParameterException>(QP_HERE, 0, nullptr);
  return *mObject;
}

QpMonitoredObject* QpMonitoredPtr::operator->() const {
  if (mObject == nullptr) qpRaise<QpParameterException>(QP_HERE, 0, nullptr);
  return mObject;
}
