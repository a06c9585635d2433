// Tests of the checked object references (both kinds of address) and the shared-object count.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "QpTestSupport.h"

void* toPointer(uint64_t inAddress) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(inAddress));
}

TEST(QpRefTest, AddressesBelow4GiBAreStoredAsThemselvesAndAboveGetReservedHandles) {
  EXPECT_EQ(QpRefPointer::PointerToRef(toPointer(0x12345678), 3), 0x000368AC12345678);
  EXPECT_EQ(QpRefPointer::RefToPointer(0x000368AC12345678, 0), toPointer(0x12345678));
  EXPECT_EQ(QpRefPointer::PointerToRef(nullptr, 7), 0);

  int vPipe[2];
  ASSERT_EQ(::pipe(vPipe), 0);  // a write copies from memory: it fails where none is readable
  std::vector<std::unique_ptr<long>> vObjects;
  std::vector<QpLong> vRefs;
  for (int i = 0; i < 20; ++i) {
    vObjects.emplace_back(new long(i));
    void* vPointer = vObjects.back().get();
    ASSERT_GE(reinterpret_cast<uintptr_t>(vPointer), uint64_t{1} << 32);
    vRefs.push_back(QpRefPointer::PointerToRef(vPointer, 9));
    EXPECT_EQ(QpRefPointer::PointerToRef(vPointer, 9), vRefs.back()) << "same pointer, same ref";
    EXPECT_EQ(QpRefPointer::RefToPointer(vRefs.back(), 9), vPointer);
    // No object can ever live at a handle: it is reserved (mapped) but inaccessible space.
    const uint64_t vHandle = static_cast<uint64_t>(vRefs.back()) & 0xFFFFFFFF;
    EXPECT_EQ(msync(toPointer(vHandle & ~uint64_t{4095}), 4096, MS_ASYNC), 0);
    EXPECT_EQ(::write(vPipe[1], toPointer(vHandle), 1), -1);
  }
  ::close(vPipe[0]);
  ::close(vPipe[1]);
  for (size_t i = 1; i < vRefs.size(); ++i) EXPECT_NE(vRefs[i], vRefs[i - 1]);
  // A handle reserved but not yet handed out resolves to nothing of ours.
  const uint32_t vNext = static_cast<uint32_t>(vRefs.back()) + 1;
  const QpLong vUnissued = QpRefPointer::PointerToRef(toPointer(vNext), 0);
  EXPECT_EQ(QpRefPointer::RefToPointer(vUnissued, 0), toPointer(vNext));
}

TEST(QpRefTest, RefusesNullMalformedMistypedAndDamagedReferences) {
  auto vRefused = [](uint64_t inRef, unsigned char inType, const char* inMessage) {
    const std::string vTrace = "RefToPointer(" + std::to_string(static_cast<QpLong>(inRef)) + "," +
                               std::to_string(inType) + ")";
    EXPECT_QP_FAILURE(QpWrongReferenceException,
                      QpRefPointer::RefToPointer(static_cast<QpLong>(inRef), inType), inMessage,
                      vTrace.c_str());
  };
  const uint64_t kGood = 0x000368AC12345678, kOtherChecksum = kGood ^ 0x0000000100000000;
  vRefused(0, 0, "Reference is NULL");
  vRefused(kGood, 4, "Type is wrong");
  vRefused(kGood & ~(uint64_t{0xFF} << 48), 3, "Type is wrong");
  vRefused(kOtherChecksum ^ (uint64_t{0x80} << 56), 3, "Reference is wrong");
  vRefused(kOtherChecksum, 4, "Type is wrong");
  for (int vBit = 56; vBit < 64; ++vBit)
    vRefused(kGood | uint64_t{1} << vBit, 3, "Reference is wrong");
  for (int vBit = 0; vBit < 48; vBit += 3)
    vRefused(kGood ^ uint64_t{1} << vBit, 0, "Checksum is wrong");
}

// Threads register shared and private pointers at once while the table grows; every thread must
// see the same handle for the same pointer and get every pointer back. Then a table that cannot
// grow keeps its handles consistent.
TEST(QpRefTest, RoundTripsFromManyThreadsAndOutOfMemory) {
  const int kShared = 64;
  std::vector<std::vector<QpLong>> vSeen(8, std::vector<QpLong>(kShared));
  std::vector<int> vFailures(8, 0);
  std::vector<std::thread> vThreads;
  for (int t = 0; t < 8; ++t) {
    vThreads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        void* vOwn = toPointer(0x7D0000000000 + (uint64_t(t) << 32) + 16 * uint64_t(i));
        void* vShared = toPointer(0x7E0000000000 + 16 * uint64_t((i + t) % kShared));
        const QpLong vSharedRef = QpRefPointer::PointerToRef(vShared, 2);
        if (QpRefPointer::RefToPointer(QpRefPointer::PointerToRef(vOwn, 1), 1) != vOwn)
          ++vFailures[t];
        if (QpRefPointer::RefToPointer(vSharedRef, 2) != vShared) ++vFailures[t];
        vSeen[t][(i + t) % kShared] = vSharedRef;
      }
    });
  }
  for (auto& vThread : vThreads) vThread.join();
  for (int t = 0; t < 8; ++t) {
    EXPECT_EQ(vFailures[t], 0) << t;
    EXPECT_EQ(vSeen[t], vSeen[0]) << t;
  }
  auto vRegisterAll = [] {
    for (uint64_t i = 0; i < 5000; ++i) {
      void* vPointer = toPointer(0x7C0000000000 + 16 * i);
      ASSERT_EQ(QpRefPointer::RefToPointer(QpRefPointer::PointerToRef(vPointer, 1), 1), vPointer);
    }
  };
  EXPECT_GT(qpWalkAllocations(vRegisterAll, [] {}), 0);
  vRegisterAll();
}

struct Counted : QpMonitoredObject {
  explicit Counted(int* inDeletions) : mDeletions(inDeletions) {}
  ~Counted() override { ++*mDeletions; }
  int* mDeletions;
};

TEST(QpRefTest, MonitoredPointersCountHoldersAndDeleteOnce) {
  int vDeletions = 0;
  auto* vObject = new Counted(&vDeletions);
  {
    QpMonitoredPtr vFirst(vObject), vSecond(vFirst), vOther;
    EXPECT_EQ(vObject->GetCount(), 2);
    EXPECT_EQ(&*vSecond, vObject);
    vOther = vFirst;
    vOther = vOther;
    EXPECT_EQ(vObject->GetCount(), 3);
    vOther = QpMonitoredPtr();
    EXPECT_EQ(vObject->GetCount(), 2);
  }
  EXPECT_EQ(vDeletions, 1);
  QpMonitoredPtr vNone;
  EXPECT_QP_THROW(*vNone, QpParameterException, nullptr);
}
