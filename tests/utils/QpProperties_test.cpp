// Tests of the properties set: file text, read-back rules, set/remove results, locking, failures.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

#include "QpTestSupport.h"

namespace {

const std::string kRule(34, '#');

class QpPropertiesFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char vName[] = "/tmp/qpprops_XXXXXX";
    int vFd = mkstemp(vName);
    ASSERT_GE(vFd, 0);
    close(vFd);
    mPath = vName;
  }
  void TearDown() override { std::remove(mPath.c_str()); }

  std::string readBack() const {
    std::ifstream vIn(mPath, std::ios::binary);
    std::stringstream vText;
    vText << vIn.rdbuf();
    return vText.str();
  }
  void writeRaw(const std::string& inText) const {
    std::ofstream vOut(mPath, std::ios::binary);
    vOut << inText;
  }

  std::string mPath;
};

TEST_F(QpPropertiesFile, WritesHeaderAndEntriesInOrderAndReadsThemBack) {
  QpProperties vOut("logstate");
  EXPECT_EQ(vOut.set("level", "3"), 1);
  EXPECT_EQ(vOut.set("file", ""), 0);  // an empty value counts as absent
  EXPECT_EQ(vOut.writeToFile(mPath.c_str()), 1);
  EXPECT_EQ(readBack(), kRule + "\n# logstate\n" + kRule + "\n\nlevel=3\nfile=\n");
  QpProperties vIn(nullptr);
  vIn.set("stale", "x");
  EXPECT_EQ(vIn.readFromFile(mPath.c_str()), 1);
  EXPECT_STREQ(vIn.getValue("level"), "3");
  EXPECT_EQ(vIn.getValue("file"), nullptr);   // "file=" has a single piece
  EXPECT_EQ(vIn.getValue("stale"), nullptr);  // reading replaces the whole set
  EXPECT_EQ(vIn.getSize(), 1);
  vIn.writeToFile(mPath.c_str());
  EXPECT_EQ(readBack(), kRule + "\n# QpProperties\n" + kRule + "\n\nlevel=3\n");
}

TEST_F(QpPropertiesFile, ParsingRules) {
  writeRaw(
      "# comment=ignored\n"
      "\n"
      "a=b=c=d\n"
      "==e===f==\n"
      "lonely\n"
      " sp = x \r\n"
      "g=h=i\n"
      "A=later\n" +
      std::string(1100, 'x') + "=long\n");  // a line across the pieces the file is read in
  QpProperties vSet("p");
  vSet.readFromFile(mPath.c_str());
  EXPECT_STREQ(vSet.getValue("a"), "later");  // a later line overwrites, names ignore case
  EXPECT_STREQ(vSet.getValue("c"), "d");
  EXPECT_STREQ(vSet.getValue("e"), "f");
  EXPECT_STREQ(vSet.getValue("g"), "h");
  EXPECT_EQ(vSet.getValue("i"), nullptr);
  EXPECT_EQ(vSet.getValue("lonely"), nullptr);
  EXPECT_EQ(vSet.getValue("# comment"), nullptr);
  EXPECT_STREQ(vSet.getValue(" sp "), " x \r");  // nothing is trimmed
  EXPECT_STREQ(vSet.getValue(std::string(1100, 'X').c_str()), "long");
  EXPECT_EQ(vSet.getSize(), 6);
}

TEST_F(QpPropertiesFile, MissingFileRaisesWithErrnoAndKeepsTheSet) {
  QpProperties vSet("p");
  vSet.set("keep", "1");
  std::string vMissing = mPath + ".missing";
  const std::string vTrace = "QpProperties::readFromFile(" + vMissing + ")";
  EXPECT_QP_FAILURE(QpFileSystemException, vSet.readFromFile(vMissing.c_str()), nullptr,
                    vTrace.c_str());
  errno = 0;
  try {
    vSet.readFromFile(vMissing.c_str());
  } catch (QpFileSystemException& e) {
    EXPECT_EQ(e.GetSysErrorCode(), ENOENT);
  }
  EXPECT_STREQ(vSet.getValue("keep"), "1");
  EXPECT_THROW(vSet.writeToFile("/nonexistent-dir/x"), QpFileSystemException);
}

TEST(QpProperties, SetRemoveAndClear) {
  QpProperties vSet("p");
  vSet.set("level", "3");
  EXPECT_EQ(vSet.set("Level", "4"), 1);
  EXPECT_STREQ(vSet.getValue("LEVEL"), "4");
  EXPECT_STREQ(vSet.QpHashMap::getName(0), "level");
  EXPECT_EQ(vSet.set("x", static_cast<const char*>(nullptr)), 0);
  EXPECT_EQ(vSet.getValue("x"), nullptr);
  EXPECT_EQ(vSet.set("y", "<null>"), 0);  // the absent marker in any case
  EXPECT_EQ(vSet.getSize(), 3);
  EXPECT_EQ(vSet.set("n", static_cast<QpLong>(-9000000000LL)), 1);
  EXPECT_EQ(vSet.getLongValue("n"), -9000000000LL);
  EXPECT_EQ(vSet.set("i", 42), 1);
  EXPECT_EQ(vSet.getLongValue("I"), 42);
  EXPECT_EQ(vSet.getLongValue("missing"), -1);
  vSet.set("bad", "12x");
  EXPECT_THROW(vSet.getLongValue("bad"), QpParameterException);
  EXPECT_EQ(vSet.remove("LEVEL"), 1);
  EXPECT_EQ(vSet.remove("none"), 1);
  EXPECT_STREQ(vSet.QpHashMap::getName(0), "x");
  vSet.clear();
  EXPECT_EQ(vSet.getSize(), 0);
  EXPECT_EQ(vSet.getValue("n"), nullptr);
}

TEST(QpProperties, LockHeldByCallerRefusesOperationsOfTheSameThreadAndBlocksOthers) {
  QpProperties vSet("p");
  vSet.Lock();
  EXPECT_THROW(vSet.getValue("a"), QpSDKInternalException);
  std::atomic<bool> vSetDone(false);
  std::thread vOther([&] {
    vSet.set("a", "1");
    vSetDone = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(vSetDone.load());
  vSet.Unlock();
  vOther.join();
  EXPECT_STREQ(vSet.getValue("a"), "1");
}

TEST_F(QpPropertiesFile, OutOfMemoryWhileWritingOrReadingLeavesTheSet) {
  QpProperties vSet("p");
  vSet.set("a", "1");
  qpWalkAllocations([&] { vSet.writeToFile(mPath.c_str()); },
                    [&] { EXPECT_STREQ(vSet.getValue("a"), "1"); });
  writeRaw("b=2\n");
  qpWalkAllocations([&] { vSet.readFromFile(mPath.c_str()); },
                    [&] { EXPECT_GE(vSet.getSize(), 0); }, /*inMayAbsorb=*/true);
  EXPECT_STREQ(vSet.getValue("b"), "2");
}

}  // namespace
