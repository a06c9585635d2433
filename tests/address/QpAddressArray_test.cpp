// Tests of QpAddressArray: splitting tagged lists, the duplicate rule of pushAddress, taking
// addresses with their references (also from several threads at once), and failures that leave
// the array, master included, as it was. Names never reach the network: a hook refuses them.
#include <netdb.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "QpOsHooks.h"
#include "QpTestSupport.h"

class QpAddressArrayTest : public ::testing::Test {
 protected:
  static QpOsHooks noNames() {
    QpOsHooks vHooks = {};
    vHooks.mGetAddrInfo = [](const char*, const char*, const void*, void**) { return EAI_NONAME; };
    return vHooks;
  }
  StOsHooks mHooks{noNames()};
};

// The working list's texts, comma-joined.
std::string texts(const QpAddressArray& inArray) {
  std::string vTexts;
  for (int i = 0; i < inArray.getSize(); ++i)
    vTexts += std::string(i ? "," : "") + inArray.getConstAddress(i);
  return vTexts;
}

TEST_F(QpAddressArrayTest, SplitsListsByTagAndKeepsOneReferencePerStore) {
  const QpStringBuffer vList("10.0.0.1,secondary=10.0.0.2,PRIMARY=10.0.0.3,foo=bar,,node.invalid");
  QpAddressArray vPrimary, vSecondary, vAll;
  vPrimary.storePrimaryAddresses(vList, 5, true);
  vSecondary.storeSecondaryAddresses(vList, 6, true);
  vAll.storeAllAddresses(vList, 7, true);
  EXPECT_EQ(texts(vPrimary), "10.0.0.1,10.0.0.3");
  EXPECT_EQ(texts(vSecondary), "10.0.0.2");
  EXPECT_EQ(texts(vAll), "10.0.0.1") << "tags stay part of the item and do not resolve";
  vPrimary.storePrimaryAddresses(QpStringBuffer("10.0.0.9"), 8, false);
  vPrimary.storePrimaryAddresses(QpStringBuffer("unknown.invalid"), 9, false);
  vPrimary.storePrimaryAddresses(QpStringBuffer("10.0.0.4,10.0.0.5,10.0.0.6"), -1, false);
  QpAddress vOut;
  long vRef = 0;
  for (long vExpected : {5, 8, -1}) {
    ASSERT_EQ(vPrimary.popAddressAndLongRef(vOut, vRef), 1);
    EXPECT_EQ(vRef, vExpected);
  }
  EXPECT_EQ(vPrimary.getSize(), 0);
  EXPECT_EQ(vPrimary.popAddressAndLongRef(vOut, vRef), 0);
  EXPECT_STREQ(vOut.toStringConst(), "10.0.0.6");
}

TEST_F(QpAddressArrayTest, PushRefusesTheSameAddressWithTheSameReference) {
  const QpStringBuffer vText("primary=10.0.0.7:4000");
  QpAddressArray vArray, vNoMaster, vAssigned;
  vArray.pushPrimaryAddress(vText, 7, true);
  vArray.pushPrimaryAddress(vText, 7, true);
  vArray.pushPrimaryAddress(QpStringBuffer("10.0.0.7:4000"), 8, true);
  vArray.pushPrimaryAddress(QpStringBuffer("secondary=10.0.0.8"), 7, true);
  vArray.pushSecondaryAddress(QpStringBuffer("10.0.0.8"), 7, true);
  vArray.pushSecondaryAddress(QpStringBuffer("Secondary=10.0.0.9"), 7, true);
  vArray.pushPrimaryAddress(QpStringBuffer("gone.invalid"), 7, true);
  EXPECT_EQ(texts(vArray), "10.0.0.7:4000,10.0.0.7:4000,10.0.0.9");
  for (int i = 0; i < 2; ++i) vNoMaster.pushPrimaryAddress(vText, 7, false);
  EXPECT_EQ(vNoMaster.getSize(), 2) << "an empty master refuses nothing";
  vAssigned = vArray;
  vAssigned.pushPrimaryAddress(vText, 7, true);  // the copied master still knows reference 7
  EXPECT_EQ(vAssigned.getSize(), 3);
}

TEST_F(QpAddressArrayTest, FailuresLeaveTheArrayAsItWas) {
  QpAddressArray vArray;
  vArray.storeAllAddresses(QpStringBuffer("10.0.0.1,10.0.0.2"), 1, true);
  auto vUnchanged = [&] {
    EXPECT_EQ(texts(vArray), "10.0.0.1,10.0.0.2");
    EXPECT_EQ(qpTake(vArray.toString()), "10.0.0.1,10.0.0.2");
  };
  EXPECT_QP_THROW(vArray.storePrimaryAddresses(QpStringBuffer("10.0.0.3,node7:0"), 2, true),
                  QpParameterException, "streamport error\n");
  vUnchanged();
  // Enough addresses that the working list, the master and the references all grow.
  std::string vList = "10.1.0.0";
  for (int i = 1; i < 12; ++i) vList += ",10.1.0." + std::to_string(i);
  qpWalkAllocations([&] { vArray.storePrimaryAddresses(QpStringBuffer(vList.c_str()), 2, true); },
                    vUnchanged);
  qpWalkAllocations([&] { vArray.pushPrimaryAddress(QpStringBuffer("10.2.0.1"), 3, true); },
                    [&] { EXPECT_EQ(vArray.getSize(), 12); });
  QpAddress vOut;
  long vRef = 0;
  qpWalkAllocations([&] { vArray.popAddressAndLongRef(vOut, vRef); },
                    [&] { EXPECT_EQ(vArray.getSize(), 13); });
  EXPECT_EQ(vArray.getSize(), 12);
  qpWalkAllocations([&] { QpAddressArray vCopy(vArray); }, [] {});
}

TEST_F(QpAddressArrayTest, ThreadsPoppingTakeEachAddressOnce) {
  std::string vList = "10.3.0.0";
  for (int i = 1; i < 400; ++i)
    vList += ",10.3." + std::to_string(i / 250) + "." + std::to_string(i % 250);
  QpAddressArray vArray;
  vArray.storeAllAddresses(QpStringBuffer(vList.c_str()), 1, false);
  std::vector<std::string> vTaken[4];
  std::vector<std::thread> vThreads;
  for (auto& vMine : vTaken) {
    vThreads.emplace_back([&vArray, &vMine] {
      QpAddress vOut;
      long vRef;
      while (vArray.popAddressAndLongRef(vOut, vRef)) vMine.push_back(vOut.toStringConst());
    });
  }
  for (std::thread& vThread : vThreads) vThread.join();
  std::vector<std::string> vAll;
  for (const auto& vPart : vTaken) vAll.insert(vAll.end(), vPart.begin(), vPart.end());
  std::sort(vAll.begin(), vAll.end());
  EXPECT_EQ(vAll.size(), 400u);
  EXPECT_EQ(std::adjacent_find(vAll.begin(), vAll.end()), vAll.end()) << "an address taken twice";
}
