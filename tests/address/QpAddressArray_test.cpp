// Tests of QpAddressArray: splitting tagged lists, the duplicate rule of pushAddress, taking
// addresses with their references (also from several threads at once), and failures that leave
// the array, master included, as it was. Names never reach the network: a hook refuses them.
#include <netdb.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "QpOsHooks.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

int refuseName(const char*, const char*, const void*, void**) {
  return EAI_NONAME;
}

class QpAddressArrayTest : public ::testing::Test {
 protected:
  static QpOsHooks noNames() {
    QpOsHooks vHooks = {};
    vHooks.mGetAddrInfo = refuseName;
    return vHooks;
  }
  StOsHooks mHooks{noNames()};
};

// The working list's texts, in order.
std::vector<std::string> texts(const QpAddressArray& inArray) {
  std::vector<std::string> vTexts;
  for (int i = 0; i < inArray.getSize(); ++i) vTexts.push_back(inArray.getConstAddress(i));
  return vTexts;
}

using Texts = std::vector<std::string>;

TEST_F(QpAddressArrayTest, SplitsListsByTag) {
  const QpStringBuffer vList("10.0.0.1,secondary=10.0.0.2,PRIMARY=10.0.0.3,foo=bar,,node.invalid");
  QpAddressArray vPrimary, vSecondary, vAll;
  vPrimary.storePrimaryAddresses(vList, 5, true);
  vSecondary.storeSecondaryAddresses(vList, 6, true);
  vAll.storeAllAddresses(vList, 7, true);
  EXPECT_EQ(texts(vPrimary), (Texts{"10.0.0.1", "10.0.0.3"}));
  EXPECT_EQ(texts(vSecondary), (Texts{"10.0.0.2"}));
  EXPECT_EQ(texts(vAll), (Texts{"10.0.0.1"})) << "tags stay part of the item and do not resolve";
  EXPECT_EQ(qpTake(vPrimary.toString()), "10.0.0.1,10.0.0.3");

  // One reference per non-empty store; references are not cleared by the next store.
  vPrimary.storePrimaryAddresses(QpStringBuffer("10.0.0.9"), 8, false);
  vPrimary.storePrimaryAddresses(QpStringBuffer("unknown.invalid"), 9, false);
  vPrimary.storePrimaryAddresses(QpStringBuffer("10.0.0.4,10.0.0.5,10.0.0.6"), -1, false);
  QpAddress vOut;
  long vRef = 0;
  const long kRefs[] = {5, 8, -1};
  for (long vExpected : kRefs) {
    ASSERT_EQ(vPrimary.popAddressAndLongRef(vOut, vRef), 1);
    EXPECT_EQ(vRef, vExpected);
  }
  EXPECT_STREQ(vOut.toStringConst(), "10.0.0.6");
  EXPECT_EQ(vPrimary.getSize(), 0);
  EXPECT_EQ(qpTake(vPrimary.toString()), "") << "the master keeps its list, but getSize() is 0";
  EXPECT_EQ(vPrimary.popAddressAndLongRef(vOut, vRef), 0);
  EXPECT_STREQ(vOut.toStringConst(), "10.0.0.6");
  EXPECT_EQ(vRef, -1);
}

TEST_F(QpAddressArrayTest, PushRefusesTheSameAddressWithTheSameReference) {
  const QpStringBuffer vText("primary=10.0.0.7:4000");
  QpAddressArray vArray;
  vArray.pushPrimaryAddress(vText, 7, true);
  vArray.pushPrimaryAddress(vText, 7, true);
  EXPECT_EQ(vArray.getSize(), 1);
  vArray.pushPrimaryAddress(QpStringBuffer("10.0.0.7:4000"), 8, true);
  EXPECT_EQ(texts(vArray), (Texts{"10.0.0.7:4000", "10.0.0.7:4000"}));
  vArray.pushPrimaryAddress(QpStringBuffer("secondary=10.0.0.8"), 7, true);
  vArray.pushPrimaryAddress(QpStringBuffer("other=10.0.0.8"), 7, true);
  vArray.pushSecondaryAddress(QpStringBuffer("10.0.0.8"), 7, true);
  vArray.pushSecondaryAddress(QpStringBuffer("Secondary=10.0.0.9"), 7, true);
  vArray.pushPrimaryAddress(QpStringBuffer("gone.invalid"), 7, true);
  EXPECT_EQ(texts(vArray), (Texts{"10.0.0.7:4000", "10.0.0.7:4000", "10.0.0.9"}));

  QpAddressArray vNoMaster;
  for (int i = 0; i < 3; ++i) vNoMaster.pushPrimaryAddress(vText, 7, false);
  EXPECT_EQ(vNoMaster.getSize(), 3) << "an empty master refuses nothing";

  QpAddressArray vCopy(vArray), vAssigned;
  vAssigned = vArray;
  EXPECT_EQ(texts(vCopy), texts(vArray));
  EXPECT_EQ(qpTake(vAssigned.toString()), "10.0.0.7:4000,10.0.0.7:4000,10.0.0.9");
  vAssigned.pushPrimaryAddress(vText, 7, true);  // the copied master still knows reference 7
  EXPECT_EQ(vAssigned.getSize(), 3);
}

TEST_F(QpAddressArrayTest, FailuresLeaveTheArrayAsItWas) {
  QpAddressArray vArray;
  vArray.storeAllAddresses(QpStringBuffer("10.0.0.1,10.0.0.2"), 1, true);
  auto vUnchanged = [&] {
    EXPECT_EQ(texts(vArray), (Texts{"10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(qpTake(vArray.toString()), "10.0.0.1,10.0.0.2");
  };
  EXPECT_QP_THROW(vArray.storePrimaryAddresses(QpStringBuffer("10.0.0.3,node7:0"), 2, true),
                  QpParameterException, "streamport error\n");
  vUnchanged();
  // Enough addresses that the working list, the master and the references all grow.
  std::string vList = "10.1.0.0";
  for (int i = 1; i < 12; ++i) vList += ",10.1.0." + std::to_string(i);
  const QpStringBuffer vBig(vList.c_str());
  qpWalkAllocations([&] { vArray.storePrimaryAddresses(vBig, 2, true); }, vUnchanged);
  EXPECT_EQ(vArray.getSize(), 12);
  qpWalkAllocations([&] { vArray.pushPrimaryAddress(QpStringBuffer("10.2.0.1"), 3, true); },
                    [&] { EXPECT_EQ(vArray.getSize(), 12); });
  EXPECT_EQ(vArray.getSize(), 13);
  QpAddress vOut;
  long vRef = 0;
  qpWalkAllocations([&] { vArray.popAddressAndLongRef(vOut, vRef); },
                    [&] { EXPECT_EQ(vArray.getSize(), 13); });
  EXPECT_EQ(vArray.getSize(), 12);
  qpWalkAllocations([&] { QpAddressArray vCopy(vArray); }, [] {});
}

TEST_F(QpAddressArrayTest, ThreadsPoppingTakeEachAddressOnce) {
  const int kAddresses = 400, kThreads = 4;
  std::string vList;
  for (int i = 0; i < kAddresses; ++i) {
    vList += (i ? ",10.3." : "10.3.") + std::to_string(i / 250) + "." + std::to_string(i % 250);
  }
  QpAddressArray vArray;
  vArray.storeAllAddresses(QpStringBuffer(vList.c_str()), 1, false);
  ASSERT_EQ(vArray.getSize(), kAddresses);
  std::vector<std::vector<std::string>> vTaken(kThreads);
  std::vector<std::thread> vThreads;
  for (int t = 0; t < kThreads; ++t) {
    vThreads.emplace_back([&vArray, &vTaken, t] {
      QpAddress vOut;
      long vRef;
      while (vArray.popAddressAndLongRef(vOut, vRef)) vTaken[t].push_back(vOut.toStringConst());
    });
  }
  for (std::thread& vThread : vThreads) vThread.join();
  std::vector<std::string> vAll;
  for (const auto& vPart : vTaken) vAll.insert(vAll.end(), vPart.begin(), vPart.end());
  std::sort(vAll.begin(), vAll.end());
  EXPECT_EQ(vAll.size(), static_cast<size_t>(kAddresses));
  EXPECT_EQ(std::adjacent_find(vAll.begin(), vAll.end()), vAll.end()) << "an address taken twice";
}

}  // namespace
