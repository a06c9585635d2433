// Tests of the properties set: file text, read-back rules, set/remove results, locking, failures.

#include <fstream>
#include <sstream>
#include <thread>

#include "QpTestSupport.h"

class QpPropertiesFile : public ::testing::Test {
 protected:
  void TearDown() override { std::remove(mPath.c_str()); }
  std::string readBack() const {
    std::stringstream vText;
    vText << std::ifstream(mPath, std::ios::binary).rdbuf();
    return vText.str();
  }
  void writeRaw(const std::string& inText) const {
    std::ofstream(mPath, std::ios::binary) << inText;
  }
  const std::string mPath = ::testing::TempDir() + "qpprops_" +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name();
};

TEST_F(QpPropertiesFile, WritesHeaderAndEntriesInOrderAndReadsThemBack) {
  const std::string kRule(34, '#');
  QpProperties vOut("logstate"), vIn(nullptr);
  EXPECT_EQ(vOut.set("level", "3"), 1);
  EXPECT_EQ(vOut.set("file", ""), 0);  // an empty value counts as absent
  EXPECT_EQ(vOut.writeToFile(mPath.c_str()), 1);
  EXPECT_EQ(readBack(), kRule + "\n# logstate\n" + kRule + "\n\nlevel=3\nfile=\n");
  vIn.set("stale", "x");
  EXPECT_EQ(vIn.readFromFile(mPath.c_str()), 1);
  EXPECT_STREQ(vIn.getValue("level"), "3");
  EXPECT_EQ(vIn.getValue("stale"), nullptr);  // reading replaces the whole set
  EXPECT_EQ(vIn.getSize(), 1);                // "file=" has a single piece
  vIn.writeToFile(mPath.c_str());
  EXPECT_EQ(readBack(), kRule + "\n# QpProperties\n" + kRule + "\n\nlevel=3\n");
}

TEST_F(QpPropertiesFile, ParsingRulesAndFailures) {
  writeRaw("# comment=ignored\n\na=b=c=d\n==e===f==\nlonely\n sp = x \r\ng=h=i\nA=later\n" +
           std::string(1100, 'x') + "=long\n");  // a line across the pieces the file is read in
  QpProperties vSet("p");
  vSet.readFromFile(mPath.c_str());
  EXPECT_STREQ(vSet.getValue("a"), "later");  // a later line overwrites, names ignore case
  EXPECT_STREQ(vSet.getValue("c"), "d");
  EXPECT_STREQ(vSet.getValue("e"), "f");
  EXPECT_STREQ(vSet.getValue("g"), "h");
  EXPECT_STREQ(vSet.getValue(" sp "), " x \r");  // nothing is trimmed
  EXPECT_STREQ(vSet.getValue(std::string(1100, 'X').c_str()), "long");
  EXPECT_EQ(vSet.getSize(), 6);
  const std::string vMissing = mPath + ".missing";
  EXPECT_QP_FAILURE(QpFileSystemException, vSet.readFromFile(vMissing.c_str()), nullptr,
                    ("QpProperties::readFromFile(" + vMissing + ")").c_str());
  EXPECT_STREQ(vSet.getValue("c"), "d");
  EXPECT_THROW(vSet.writeToFile("/nonexistent-dir/x"), QpFileSystemException);
  qpWalkAllocations([&] { vSet.writeToFile(mPath.c_str()); },
                    [&] { EXPECT_STREQ(vSet.getValue("c"), "d"); });
  writeRaw("b=2\n");
  qpWalkAllocations([&] { vSet.readFromFile(mPath.c_str()); }, [] {}, /*inMayAbsorb=*/true);
  EXPECT_STREQ(vSet.getValue("b"), "2");
}

TEST(QpProperties, SetRemoveClearAndLock) {
  QpProperties vSet("p");
  vSet.set("level", "3");
  EXPECT_EQ(vSet.set("Level", "4"), 1);
  EXPECT_STREQ(vSet.getValue("LEVEL"), "4");
  EXPECT_EQ(vSet.set("x", static_cast<const char*>(nullptr)), 0);
  EXPECT_EQ(vSet.set("y", "<null>"), 0);  // the absent marker in any case
  EXPECT_EQ(vSet.getValue("y"), nullptr);
  EXPECT_EQ(vSet.set("n", static_cast<QpLong>(-9000000000LL)), 1);
  EXPECT_EQ(vSet.getLongValue("N"), -9000000000LL);
  EXPECT_EQ(vSet.getLongValue("missing"), -1);
  vSet.set("bad", "12x");
  EXPECT_THROW(vSet.getLongValue("bad"), QpParameterException);
  EXPECT_EQ(vSet.remove("LEVEL"), 1);
  EXPECT_STREQ(vSet.QpHashMap::getName(0), "x");
  vSet.clear();
  EXPECT_EQ(vSet.getSize(), 0);
  // The lock held by the caller refuses operations of the same thread and blocks others.
  vSet.Lock();
  EXPECT_THROW(vSet.getValue("a"), QpSDKInternalException);
  std::thread vOther([&] { vSet.set("a", "1"); });
  EXPECT_EQ(vSet.QpHashMap::getValue("a"), nullptr);
  vSet.Unlock();
  vOther.join();
  EXPECT_STREQ(vSet.getValue("a"), "1");
}
