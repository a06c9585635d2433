// Tests of StMalloc: its block, grow and reset, the refusal of an unknown size, out of memory.
#include <gtest/gtest.h>

#include <cstring>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

// Block contents that a kept prefix can be recognised by.
const unsigned char kPattern[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

void* fill(void* outBlock, int inSize) {
  return std::memcpy(outBlock, kPattern, static_cast<size_t>(inSize));
}
bool holdsPrefix(const void* inBlock, int inCount) {
  return std::memcmp(inBlock, kPattern, static_cast<size_t>(inCount)) == 0;
}

}  // namespace

TEST(StMalloc, GrowKeepsAPrefixResetReplacesAndAnUnknownSizeIsRefused) {
  EXPECT_EQ(StMalloc().GetSize(), -1);
  StMalloc vMem(16, 0);
  fill(vMem.Get(), 16);
  void* vBlock = vMem.grow(8);
  EXPECT_EQ(vBlock, vMem.Get());
  EXPECT_EQ(vMem.GetSize(), 8);
  EXPECT_TRUE(holdsPrefix(vMem.grow(32), 8));
  vBlock = vMem.reset(4);
  EXPECT_EQ(vBlock, vMem.Get());
  EXPECT_EQ(vMem.GetSize(), 4);
  // Adopted, released or Set: the size is unknown, and neither grow nor reset may guess it.
  void* vAdoptedBlock = fill(qp_malloc(4), 4);
  StMalloc vAdopted(vAdoptedBlock);  // freed at the end of the scope: ASan reports it otherwise
  EXPECT_QP_THROW(vAdopted.grow(8), QpSDKInternalException, "mSize >= 0");
  EXPECT_TRUE(vAdopted.Get() == vAdoptedBlock && holdsPrefix(vAdoptedBlock, 4));
  qp_free(vMem.release());
  EXPECT_EQ(vMem.Get(), nullptr);
  EXPECT_QP_THROW(vMem.grow(8), QpSDKInternalException, "mSize >= 0");
}

TEST(StMalloc, OutOfMemory) {
  // Each allocation fails in turn and raises QpOutOfMemException(12); a failed grow or reset
  // keeps the old block, its size and its bytes.
  const int n = qpWalkAllocations(
      [] {
        try {
          StMalloc vMem(6, 0);
          void* vBlock = fill(vMem.Get(), 6);
          int vSize = 6;
          try {
            vBlock = vMem.grow(64);
            vSize = 64;
            vMem.reset(8);
          } catch (QpOutOfMemException&) {
            EXPECT_EQ(vMem.Get(), vBlock);
            EXPECT_EQ(vMem.GetSize(), vSize);
            EXPECT_TRUE(holdsPrefix(vMem.Get(), 6));
            throw;
          }
        } catch (QpOutOfMemException& e) {
          EXPECT_EQ(e.GetSysErrorCode(), 12);
          throw;
        }
      },
      [] {});
  EXPECT_EQ(n, 3);
}
