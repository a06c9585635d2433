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

}  // namespace
