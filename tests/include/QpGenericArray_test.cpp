// Tests of AliasArray, MyString, the boxed integers and the reference queue. Releases of texts
// and holders are checked by the sanitizer (leak, double free, mismatched release).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

MyString* text(const char* inText) {
  return new MyString(inText);
}

void dispose(MyString* inHolder) {  // for holders that no owning array releases
  qp_free(inHolder->mString);
  delete inHolder;
}

std::vector<std::string> texts(const AliasArray& inArray) {
  std::vector<std::string> vTexts;
  for (int i = 0; i < inArray.size(); ++i) vTexts.push_back(inArray[i]->mString);
  return vTexts;
}

TEST(AliasArray, InsertClampsTheIndexGrowsAndRefuses) {
  AliasArray vArray(2, 2, 1);
  EXPECT_EQ(vArray.insert(text("b"), 0), 0);  // empty: appends
  EXPECT_EQ(vArray.insert(text("d"), vArray.size()), 1);
  MyString* vNew = text("a");
  // Full: the insert grows (one allocation), and a failed growth leaves the array whole.
  EXPECT_EQ(qpWalkAllocations([&] { EXPECT_EQ(vArray.insert(vNew, -5), 0); },
                              [&] {
                                EXPECT_EQ(texts(vArray), (std::vector<std::string>{"b", "d"}));
                              }),
            1);
  EXPECT_EQ(vArray.insert(text("c"), 2), 2);
  EXPECT_EQ(vArray.insert(text("e"), 99), 4);
  EXPECT_EQ(texts(vArray), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  EXPECT_QP_THROW(vArray[5], QpSDKInternalException, "mElemCnt>pIndex");
}

TEST(AliasArray, FindAndRemoveMatchThePointerNotTheText) {
  AliasArray vArray;
  MyString* vFirst = text("same");
  MyString* vTwin = text("same");
  vArray.push_back(text("other"));
  vArray.push_back(vFirst);
  EXPECT_EQ(vArray.find(vFirst), 1);
  EXPECT_EQ(vArray.find(vTwin), -1);
  EXPECT_EQ(vArray.remove(vTwin), 0);
  EXPECT_EQ(vArray.remove(vFirst), 1);  // taken out, not released
  EXPECT_EQ(texts(vArray), (std::vector<std::string>{"other"}));
  dispose(vFirst);
  dispose(vTwin);
}

TEST(AliasArray, SwapKeepsOwnership) {
  MyString* vBorrowed = text("borrowed");
  AliasArray vOwning;
  vOwning.push_back(text("o1"));
  {
    AliasArray vBorrowing(1, 1, 0);
    vBorrowing.push_back(vBorrowed);
    vOwning.swap(vBorrowing);
    EXPECT_EQ(texts(vOwning), (std::vector<std::string>{"borrowed"}));
    EXPECT_EQ(texts(vBorrowing), (std::vector<std::string>{"o1"}));
    dispose(vBorrowing.remove(0));  // it does not own: o1 goes back to the caller
  }
  vOwning.push_back(new MyString());  // without text
  EXPECT_FALSE(QpLongObj(0x100000001LL) == QpLongObj(1));
  EXPECT_TRUE(QpLongObj(0x100000001LL) == QpLongObj(0x100000001LL));
}

TEST(PAIRefArray, FirstInFirstOutOfThirtyTwoBitReferences) {
  PAIRefArray vQueue;
  vQueue.pushRef(5);
  vQueue.pushRef(-7);
  vQueue.pushRef(static_cast<long>(0x1FFFFFFFFLL));  // low half all ones
  vQueue.pushRef(static_cast<long>(0x80000000LL));
  EXPECT_EQ(vQueue.getValue(2), -1);
  EXPECT_EQ(vQueue.getValue(4), 0);
  for (long v : {5L, -7L, -1L, -2147483647L - 1, 0L}) EXPECT_EQ(vQueue.popRef(), v);
  EXPECT_EQ(vQueue.getSize(), 0);
}

TEST(PAIRefArray, MemoryShortage) {
  PAIRefArray vQueue;
  for (int i = 0; i < 9; ++i) vQueue.pushRef(i);
  {
    StFaultArm vArm(0);  // no box: a null entry keeps the reference's place
    vQueue.pushRef(99);
  }
  EXPECT_EQ(vQueue.getSize(), 10);
  EXPECT_EQ(vQueue.getValue(9), 0);
  {
    StFaultArm vArm(1);  // the queue cannot grow: raises, unchanged, the box not leaked
    EXPECT_THROW(vQueue.pushRef(20), QpOutOfMemException);
  }
  EXPECT_EQ(vQueue.getSize(), 10);
  EXPECT_EQ(vQueue.getValue(8), 8);
}

}  // namespace
