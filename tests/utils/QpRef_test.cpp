// Tests of the checked object references (both kinds of address) and the shared-object count.
#include <sys/mman.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

QpLong ref(uint64_t inBits) {
  return static_cast<QpLong>(inBits);
}

void* toPointer(uint64_t inAddress) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(inAddress));
}

// The permissions of the mapping that holds inAddress ("" when none does).
std::string mappingOf(uint64_t inAddress) {
  std::ifstream vMaps("/proc/self/maps");
  std::string vLine;
  while (std::getline(vMaps, vLine)) {
    std::istringstream vIn(vLine);
    uint64_t vStart = 0, vEnd = 0;
    char vDash = 0;
    std::string vPerms;
    vIn >> std::hex >> vStart >> vDash >> vEnd >> vPerms;
    if (inAddress >= vStart && inAddress < vEnd) return vPerms;
  }
  return "";
}

TEST(QpRefTest, AddressesBelow4GiBAreStoredAsThemselves) {
  EXPECT_EQ(QpRefPointer::PointerToRef(toPointer(0x12345678), 3), ref(0x000368AC12345678));
  EXPECT_EQ(QpRefPointer::RefToPointer(ref(0x000368AC12345678), 3), toPointer(0x12345678));
  EXPECT_EQ(QpRefPointer::RefToPointer(ref(0x000368AC12345678), 0), toPointer(0x12345678));
  EXPECT_EQ(QpRefPointer::PointerToRef(toPointer(0xFFFFFFFF), 0xFF), ref(0x00FFFFFEFFFFFFFF));
  EXPECT_EQ(QpRefPointer::PointerToRef(nullptr, 7), 0);

  // A real object below 4 GiB.
  void* vLow =
      mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  ASSERT_NE(vLow, MAP_FAILED);
  const uint64_t vAddress = reinterpret_cast<uintptr_t>(vLow);
  ASSERT_LT(vAddress, uint64_t{1} << 32);
  const uint64_t vSum = ((vAddress & 0xFFFF) + (vAddress >> 16)) & 0xFFFF;
  const QpLong vRef = QpRefPointer::PointerToRef(vLow, 0x42);
  EXPECT_EQ(vRef, ref(uint64_t{0x42} << 48 | vSum << 32 | vAddress));
  EXPECT_EQ(QpRefPointer::RefToPointer(vRef, 0x42), vLow);
  munmap(vLow, 4096);
}

TEST(QpRefTest, AddressesAbove4GiBGetHandlesInReservedSpace) {
  std::vector<std::unique_ptr<long>> vObjects;
  std::vector<QpLong> vRefs;
  for (int i = 0; i < 20; ++i) {
    vObjects.emplace_back(new long(i));
    void* vPointer = vObjects.back().get();
    ASSERT_GE(reinterpret_cast<uintptr_t>(vPointer), uint64_t{1} << 32);
    vRefs.push_back(QpRefPointer::PointerToRef(vPointer, 9));
    EXPECT_EQ(QpRefPointer::PointerToRef(vPointer, 9), vRefs.back()) << "same pointer, same ref";
    EXPECT_EQ(QpRefPointer::RefToPointer(vRefs.back(), 9), vPointer);
    const uint64_t vHandle = static_cast<uint64_t>(vRefs.back()) & 0xFFFFFFFF;
    // No object can ever live at a handle: it is reserved, inaccessible address space.
    EXPECT_EQ(mappingOf(vHandle), "---p") << std::hex << vHandle;
  }
  for (size_t i = 1; i < vRefs.size(); ++i) EXPECT_NE(vRefs[i], vRefs[i - 1]);
  // The same pointer under another type keeps its handle.
  EXPECT_EQ(QpRefPointer::PointerToRef(vObjects[0].get(), 10) & 0xFFFFFFFFFFFF,
            vRefs[0] & 0xFFFFFFFFFFFF);
}

TEST(QpRefTest, RefusesNullMalformedMistypedAndDamagedReferences) {
  const uint64_t kGood = 0x000368AC12345678;
  struct Case {
    uint64_t mRef;
    unsigned char mType;
    const char* mMessage;
  };
  std::vector<Case> vCases = {
      {0, 3, "Reference is NULL"},
      {0, 0, "Reference is NULL"},
      {kGood, 4, "Type is wrong"},
      {kGood & ~(uint64_t{0xFF} << 48), 3, "Type is wrong"},
      {kGood ^ 0x0000000100000000 ^ (uint64_t{0x80} << 56), 3, "Reference is wrong"},
      {kGood ^ 0x0000000100000000, 4, "Type is wrong"},
      {kGood ^ 1, 3, "Checksum is wrong"},
  };
  for (int vBit = 56; vBit < 64; ++vBit) {
    vCases.push_back({kGood | uint64_t{1} << vBit, 3, "Reference is wrong"});
  }
  for (int vBit = 32; vBit < 48; ++vBit) {
    vCases.push_back({kGood ^ uint64_t{1} << vBit, 0, "Checksum is wrong"});
  }
  for (const Case& c : vCases) {
    const std::string vTrace = "RefToPointer(" + std::to_string(static_cast<QpLong>(c.mRef)) + "," +
                               std::to_string(c.mType) + ")";
    EXPECT_QP_FAILURE(QpWrongReferenceException, QpRefPointer::RefToPointer(ref(c.mRef), c.mType),
                      c.mMessage, vTrace.c_str());
  }
}

// Threads register shared and private pointers at once; every thread must see the same handle
// for the same pointer and get every pointer back.
TEST(QpRefTest, RoundTripsFromManyThreadsAtOnce) {
  const int kThreads = 8;
  const int kShared = 64;
  const uint64_t kSharedBase = 0x7E0000000000;
  std::vector<std::vector<QpLong>> vSeen(kThreads, std::vector<QpLong>(kShared));
  std::vector<int> vFailures(kThreads, 0);
  std::vector<std::thread> vThreads;
  for (int t = 0; t < kThreads; ++t) {
    vThreads.emplace_back([&, t] {
      const uint64_t vOwnBase = 0x7D0000000000 + (static_cast<uint64_t>(t) << 32);
      for (int i = 0; i < 2000; ++i) {
        void* vOwn = toPointer(vOwnBase + 16 * static_cast<uint64_t>(i));
        void* vShared = toPointer(kSharedBase + 16 * static_cast<uint64_t>((i + t) % kShared));
        const QpLong vOwnRef = QpRefPointer::PointerToRef(vOwn, 1);
        const QpLong vSharedRef = QpRefPointer::PointerToRef(vShared, 2);
        if (QpRefPointer::RefToPointer(vOwnRef, 1) != vOwn) ++vFailures[t];
        if (QpRefPointer::RefToPointer(vSharedRef, 2) != vShared) ++vFailures[t];
        vSeen[t][(i + t) % kShared] = vSharedRef;
      }
    });
  }
  for (auto& vThread : vThreads) vThread.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(vFailures[t], 0) << t;
    EXPECT_EQ(vSeen[t], vSeen[0]) << t;
  }
}

TEST(QpRefTest, OutOfMemoryKeepsTheHandlesConsistent) {
  const uint64_t kBase = 0x7C0000000000;
  const int kCount = 5000;
  const int vAllocations = qpWalkAllocations(
      [&] {
        for (int i = 0; i < kCount; ++i) {
          QpRefPointer::PointerToRef(toPointer(kBase + 16 * static_cast<uint64_t>(i)), 1);
        }
      },
      [] {});
  EXPECT_GT(vAllocations, 0) << "the table never grew";
  for (int i = 0; i < kCount; ++i) {
    void* vPointer = toPointer(kBase + 16 * static_cast<uint64_t>(i));
    const QpLong vRef = QpRefPointer::PointerToRef(vPointer, 1);
    ASSERT_EQ(QpRefPointer::RefToPointer(vRef, 1), vPointer) << i;
    ASSERT_EQ(QpRefPointer::PointerToRef(vPointer, 1), vRef) << i;
  }
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
    QpMonitoredPtr vFirst(vObject);
    QpMonitoredPtr vSecond(vFirst);
    QpMonitoredPtr vThird(vSecond);
    EXPECT_EQ(vObject->GetCount(), 3);
    EXPECT_EQ(&*vThird, vObject);
    QpMonitoredPtr vOther;
    EXPECT_EQ(static_cast<unsigned char>(vOther), 0);
    vOther = vFirst;
    vOther = vOther;
    EXPECT_EQ(static_cast<unsigned char>(vOther), 1);
    vOther = QpMonitoredPtr();
    EXPECT_EQ(vObject->GetCount(), 3);
  }
  EXPECT_EQ(vDeletions, 1);
  QpMonitoredPtr vNone;
  EXPECT_QP_THROW(*vNone, QpParameterException, nullptr);
  EXPECT_QP_THROW(vNone.operator->(), QpParameterException, nullptr);
}

}  // namespace
