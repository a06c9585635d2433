// Tests of StMalloc: ownership of its block, grow and reset, the refusal of a block of unknown
// size, and the out-of-memory paths.
#include <gtest/gtest.h>

#include <cstring>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

// Writes 1, 2, 3, ... so that a kept prefix can be recognised.
void fill(void* outBlock, int inSize) {
  for (int i = 0; i < inSize; ++i)
    static_cast<unsigned char*>(outBlock)[i] = static_cast<unsigned char>(i + 1);
}

void* filledBlock(int inSize) {
  void* vBlock = qp_malloc(static_cast<size_t>(inSize));
  fill(vBlock, inSize);
  return vBlock;
}

bool holdsPrefix(const void* inBlock, int inCount) {
  for (int i = 0; i < inCount; ++i)
    if (static_cast<const unsigned char*>(inBlock)[i] != static_cast<unsigned char>(i + 1))
      return false;
  return true;
}

}  // namespace

TEST(StMalloc, Construction) {
  StMalloc vNone;
  EXPECT_EQ(vNone.Get(), nullptr);
  EXPECT_EQ(vNone.GetSize(), -1);

  StMalloc vSized(16, 0);
  EXPECT_NE(vSized.Get(), nullptr);
  EXPECT_EQ(vSized.GetSize(), 16);

  // An adopted block is freed at the end of the scope (ASan reports it otherwise).
  void* vBlock = qp_malloc(8);
  StMalloc vAdopted(vBlock);
  EXPECT_EQ(vAdopted.Get(), vBlock);
  EXPECT_EQ(vAdopted.GetSize(), -1);
}

TEST(StMalloc, GrowKeepsThePrefix) {
  StMalloc vMem(16, 0);
  fill(vMem.Get(), 16);
  void* vShrunk = vMem.grow(8);
  EXPECT_EQ(vShrunk, vMem.Get());
  EXPECT_EQ(vMem.GetSize(), 8);
  EXPECT_TRUE(holdsPrefix(vMem.Get(), 8));
  vMem.grow(32);
  EXPECT_EQ(vMem.GetSize(), 32);
  EXPECT_TRUE(holdsPrefix(vMem.Get(), 8));

  void* vNew = vMem.reset(4);
  EXPECT_EQ(vNew, vMem.Get());
  EXPECT_EQ(vMem.GetSize(), 4);
}

TEST(StMalloc, UnknownSizeIsRefused) {
  void* vBlock = filledBlock(4);
  StMalloc vAdopted(vBlock);
  EXPECT_QP_THROW(vAdopted.grow(8), QpSDKInternalException, "mSize >= 0");
  EXPECT_QP_THROW(vAdopted.reset(8), QpSDKInternalException, "mSize >= 0");
  EXPECT_EQ(vAdopted.Get(), vBlock);
  EXPECT_TRUE(holdsPrefix(vBlock, 4));

  // After release the size is unknown as well.
  StMalloc vReleased(8, 0);
  qp_free(vReleased.release());
  EXPECT_EQ(vReleased.Get(), nullptr);
  EXPECT_EQ(vReleased.GetSize(), -1);
  EXPECT_QP_THROW(vReleased.grow(8), QpSDKInternalException, "mSize >= 0");
}

TEST(StMalloc, SetAndAssignmentDoNotFree) {
  StMalloc vOwner(8, 0);
  void* vFirst = vOwner.Get();
  void* vSecond = qp_malloc(4);
  vOwner.Set(vSecond);  // vFirst is abandoned, not freed: it is still ours to use and free
  EXPECT_EQ(vOwner.Get(), vSecond);
  EXPECT_EQ(vOwner.GetSize(), -1);
  std::memset(vFirst, 0x5A, 8);
  qp_free(vFirst);

  StMalloc vSized(12, 0);
  StMalloc vShare;
  vShare = vSized;
  EXPECT_EQ(vShare.Get(), vSized.Get());
  EXPECT_EQ(vShare.GetSize(), 12);
  vShare.release();  // exactly one of the two may free the block
}

TEST(StMalloc, OutOfMemory) {
  {
    StFaultArm vArm(0);
    bool vRaised = false;
    try {
      StMalloc vMem(16, 0);
    } catch (QpOutOfMemException& e) {
      vRaised = true;
      EXPECT_EQ(e.GetSysErrorCode(), 12);
    }
    EXPECT_TRUE(vRaised);
  }

  // A failed grow or reset keeps the old block and its size.
  StMalloc vMem(6, 0);
  fill(vMem.Get(), 6);
  void* vOld = vMem.Get();
  for (int vReset = 0; vReset < 2; ++vReset) {
    StFaultArm vArm(0);
    bool vRaised = false;
    try {
      if (vReset)
        vMem.reset(64);
      else
        vMem.grow(64);
    } catch (QpOutOfMemException& e) {
      vRaised = true;
      EXPECT_EQ(e.GetSysErrorCode(), 12);
    }
    EXPECT_TRUE(vRaised);
    EXPECT_EQ(vMem.Get(), vOld);
    EXPECT_EQ(vMem.GetSize(), 6);
    EXPECT_TRUE(holdsPrefix(vMem.Get(), 6));
  }

  int n = qpWalkAllocations(
      [] {
        StMalloc vWalked(8, 0);
        vWalked.grow(32);
        vWalked.reset(4);
        EXPECT_EQ(vWalked.GetSize(), 4);
      },
      [] {});
  EXPECT_EQ(n, 3);
}
