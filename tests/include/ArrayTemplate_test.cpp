// Tests of ArrayTemplate: growth points, refusals that leave the array whole, removal and the
// two ways an owning array releases its elements. Growth is observed through the allocations
// each push_back makes (qpWalkAllocations); a wrong, double or missing release is left to the
// sanitizer.
#include <gtest/gtest.h>

#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

struct Counted {  // live instances, to see ElemDelete run the destructor
  static int sLive;
  Counted() { ++sLive; }
  ~Counted() { --sLive; }
};
int Counted::sLive = 0;

// The pushes, among inCount, that allocated; every failing attempt must raise and leave the
// array as it was.
std::vector<int> growingPushes(ArrayTemplate<char>& ioArray, int inCount) {
  std::vector<int> vGrowing;
  for (int i = 0; i < inCount; ++i) {
    const int vBefore = ioArray.size();
    if (qpWalkAllocations([&] { ioArray.push_back(nullptr); },
                          [&] { EXPECT_EQ(ioArray.size(), vBefore); }) > 0) {
      vGrowing.push_back(i);
    }
  }
  return vGrowing;
}

TEST(ArrayTemplate, GrowsLinearlyAndClearKeepsTheSlots) {
  ArrayTemplate<char> vArray(0, ElemFree);
  EXPECT_EQ(growingPushes(vArray, 21), (std::vector<int>{10, 20}));  // 10 -> 20 -> 30 slots
  vArray.clear();
  EXPECT_EQ(growingPushes(vArray, 31), (std::vector<int>{30}));
  ArrayTemplate<char> vSmall(2, 3, 0, ElemFree);
  EXPECT_EQ(growingPushes(vSmall, 6), (std::vector<int>{2, 5}));
}

TEST(ArrayTemplate, GrowthFailureKeepsElementsAndRaises12) {
  ArrayTemplate<QpLongObj> vArray;
  for (int i = 0; i < 10; ++i) vArray.push_back(new QpLongObj(i));
  QpLongObj* vExtra = new QpLongObj(10);
  try {
    StFaultArm vArm(0);
    vArray.push_back(vExtra);
    ADD_FAILURE() << "growth did not fail";
  } catch (QpOutOfMemException& e) {
    EXPECT_EQ(e.GetSysErrorCode(), 12);
  }
  ASSERT_EQ(vArray.size(), 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(vArray[i]->getValue(), i);
  EXPECT_EQ(vArray.push_back(vExtra), 10);
  qpWalkAllocations([] { ArrayTemplate<char> vArray(5, 5, 1, ElemFree); }, [] {});
}

TEST(ArrayTemplate, IndexAndRemove) {
  ArrayTemplate<char> vArray(1, ElemFree);
  EXPECT_QP_THROW(vArray[0], QpSDKInternalException, "mElemCnt>pIndex");
  vArray.push_back(qp_strdup("a"));
  vArray.push_back(nullptr);  // counted like any other element
  vArray.push_back(qp_strdup("c"));
  EXPECT_QP_THROW(vArray[3], QpSDKInternalException, "mElemCnt>pIndex");
  EXPECT_QP_THROW(vArray[-1], QpSDKInternalException, "mElemCnt>pIndex");
  EXPECT_TRUE(vArray.remove(3) == nullptr && vArray.remove(-1) == nullptr);
  EXPECT_EQ(qpTake(vArray.remove(0)), "a");  // the caller's now; the array does not free it
  ASSERT_EQ(vArray.size(), 2);
  EXPECT_EQ(vArray[0], nullptr);
  EXPECT_STREQ(vArray[1], "c");
}

TEST(ArrayTemplate, ReleasesByDestructModeOnlyWhenOwning) {
  {
    ArrayTemplate<Counted> vOwning(1, ElemDelete);
    vOwning.push_back(new Counted);
    vOwning.push_back(nullptr);
    vOwning.push_back(new Counted);
    vOwning.clear();
    EXPECT_EQ(Counted::sLive, 0);
    vOwning.push_back(new Counted);  // released by the destructor
  }
  EXPECT_EQ(Counted::sLive, 0);
  Counted vKept[2];
  {
    ArrayTemplate<Counted> vBorrowing(0, ElemDelete);
    vBorrowing.push_back(&vKept[0]);
    vBorrowing.clear();
    vBorrowing.push_back(&vKept[1]);
  }
  EXPECT_EQ(Counted::sLive, 2);
  // qp_free for the OS layer's strings, under any mode value but ElemDelete.
  ArrayTemplate<char> vStrings(1, static_cast<ElemDestrunctMode>(7));
  vStrings.push_back(qp_strdup("x"));
}

}  // namespace
