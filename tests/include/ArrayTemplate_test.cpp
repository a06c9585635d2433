// Tests of ArrayTemplate: growth points, refusals that leave the array whole, removal and the
// two ways an owning array releases its elements (a wrong, double or missing release is left to
// the sanitizer). Growth is observed through the allocations of each push_back.
#include <gtest/gtest.h>

#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

// The pushes, among inCount, that allocated; every failing attempt must raise and leave the
// array as it was.
std::vector<int> growingPushes(ArrayTemplate<char>& ioArray, int inCount) {
  std::vector<int> vGrowing;
  for (int i = 0; i < inCount; ++i) {
    const int vBefore = ioArray.size();
    if (qpWalkAllocations([&] { ioArray.push_back(nullptr); },
                          [&] { EXPECT_EQ(ioArray.size(), vBefore); }) > 0)
      vGrowing.push_back(i);
  }
  return vGrowing;
}

TEST(ArrayTemplate, GrowsLinearlyIndexesAndRemoves) {
  ArrayTemplate<char> vArray(0, ElemFree);
  EXPECT_EQ(growingPushes(vArray, 21), (std::vector<int>{10, 20}));  // 10 -> 20 -> 30 slots
  vArray.clear();
  EXPECT_EQ(growingPushes(vArray, 31), (std::vector<int>{30}));  // clear keeps the slots
  ArrayTemplate<char> vSmall(2, 3, 0, ElemFree);
  EXPECT_EQ(growingPushes(vSmall, 6), (std::vector<int>{2, 5}));
  ArrayTemplate<char> vTexts(1, ElemFree);
  vTexts.push_back(qp_strdup("a"));
  vTexts.push_back(qp_strdup("c"));
  EXPECT_QP_THROW(vTexts[2], QpSDKInternalException, "mElemCnt>pIndex");
  EXPECT_QP_THROW(vTexts[-1], QpSDKInternalException, "mElemCnt>pIndex");
  EXPECT_TRUE(vTexts.remove(2) == nullptr && vTexts.remove(-1) == nullptr);
  EXPECT_EQ(qpTake(vTexts.remove(0)), "a");  // the caller's now; the array does not free it
  ASSERT_EQ(vTexts.size(), 1);
  EXPECT_STREQ(vTexts[0], "c");
}

}  // namespace
