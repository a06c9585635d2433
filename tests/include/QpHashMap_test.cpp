// Tests of QpHashMap. The map raises nothing, so every out-of-memory walk runs with inMayAbsorb
// and checks the failure result and that the map is exactly as before. Growth is observed
// through the allocations of a put: two copies, plus two slot arrays when the map is full.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

typedef std::vector<std::pair<std::string, std::string>> Entries;

Entries entries(QpHashMap& inMap) {
  Entries vEntries;
  for (int i = 0; i < inMap.size(); ++i) vEntries.emplace_back(inMap.getName(i), inMap.getValue(i));
  return vEntries;
}

std::vector<unsigned short> wide(const char* inText) {  // ASCII to zero-terminated UTF-16
  std::vector<unsigned short> vUnits(inText, inText + std::char_traits<char>::length(inText) + 1);
  return vUnits;
}

// Walks inOp's allocations: a failed run must return inFailed (when given) and leave the map as
// it was. Returns the allocations of the run that succeeded.
int walkMap(QpHashMap& ioMap, const std::function<int()>& inOp, int inFailed) {
  const Entries vBefore = entries(ioMap);
  return qpWalkAllocations(
      [&] {
        const int vResult = inOp();
        if (QpFaultHits() > 0) {
          EXPECT_EQ(vResult, inFailed);
        }
      },
      [&] { EXPECT_EQ(entries(ioMap), vBefore); }, true);
}

TEST(QpHashMap, NamesIgnoreCasePutAddsReplaceUpdates) {
  QpHashMap vMap;
  EXPECT_EQ(vMap.put("Key", "a"), 0);
  EXPECT_STREQ(vMap.getValue("KEY"), "a");
  vMap.replace("KEY", "b");
  EXPECT_EQ(vMap.put("key", "c"), 1);  // a second entry, which lookups do not reach
  vMap.replace("new", "n");            // absent: put
  EXPECT_EQ(entries(vMap), (Entries{{"Key", "b"}, {"key", "c"}, {"new", "n"}}));
  EXPECT_EQ(vMap.put(nullptr, "v"), -1);
  EXPECT_EQ(vMap.remove("KEY"), 0);  // the later entries move down
  EXPECT_EQ(vMap.remove("zzz"), -1);
  EXPECT_EQ(entries(vMap), (Entries{{"key", "c"}, {"new", "n"}}));
  EXPECT_STREQ(vMap.getName(-1), "");
}

TEST(QpHashMap, GrowsToTwoSixEighteenFiftyFourAndRefusalsLeaveItWhole) {
  QpHashMap vMap;
  std::vector<int> vGrowing;
  for (int i = 0; i < 19; ++i) {
    const std::string vName = "n" + std::to_string(i);
    if (walkMap(
            vMap, [&] { return vMap.put(vName.c_str(), "v"); }, -1) == 4)
      vGrowing.push_back(i);
  }
  EXPECT_EQ(vGrowing, (std::vector<int>{0, 2, 6, 18}));
  EXPECT_STREQ(vMap.getName(53), "");  // within capacity 54, behind the entries
  EXPECT_STREQ(vMap.getValue(54), "");
  vMap.replace("N3", "new");
  EXPECT_STREQ(vMap.getValue(3), "new");
}

TEST(QpHashMap, RawPutConvertsAndUnescapesTheValueOnly) {
  QpHashMap vMap;
  const std::vector<unsigned short> vName = wide("n&amp;"), vValue = wide("a&amp;b&lt;c&foo;");
  walkMap(
      vMap, [&] { return vMap.rawPut(vName.data(), vValue.data()); }, -1);
  EXPECT_EQ(entries(vMap), (Entries{{"n&amp;", "a&b<c&foo;"}}));
  const unsigned short vNotXml[] = {'x', 0xFFFE, 0};
  EXPECT_EQ(vMap.rawPut(vNotXml + 2, vNotXml), -1);  // refused by the conversion, not raised
  EXPECT_EQ(vMap.size(), 1);
}

TEST(QpHashMap, PutListForms) {
  QpHashMap vMap;
  const char vNames[] = "a,b,,c";
  EXPECT_EQ(vMap.putList(vNames, "v", ','), 4);
  EXPECT_STREQ(vNames, "a,b,,c");
  EXPECT_EQ(entries(vMap), (Entries{{"a", "v"}, {"b", "v"}, {"", "v"}, {"c", "v"}}));
  const char* vList[] = {"k1", "v1", "k2", nullptr, "k3", "v3", "odd"};
  QpHashMap vPairs;
  EXPECT_EQ(vPairs.putList(vList, 7), 2);
  EXPECT_EQ(entries(vPairs), (Entries{{"k1", "v1"}, {"k3", "v3"}}));
}

TEST(QpHashMap, CopiesAreDeepAndMakeUniqueReplacesEveryBlock) {
  QpHashMap vSource;
  vSource.put("a", "1");
  vSource.put("b", "2");
  vSource.put("c", "3");
  QpHashMap vCopy(vSource);
  QpHashMap vTarget;
  vTarget.put("old", "x");
  vTarget = vCopy;
  vTarget = vTarget;
  vSource.replace("a", "changed");
  vCopy.remove("b");
  EXPECT_EQ(entries(vTarget), (Entries{{"a", "1"}, {"b", "2"}, {"c", "3"}}));
  EXPECT_EQ(entries(vCopy), (Entries{{"a", "1"}, {"c", "3"}}));
  // Short of memory: an assignment or makeUnique changes nothing.
  walkMap(
      vCopy, [&] { return (vCopy = vSource).size(); }, 2);
  const char* vOldName = vCopy.getName(0);
  walkMap(
      vCopy,
      [&] {
        vCopy.makeUnique();
        return vCopy.getName(0) == vOldName ? 1 : 0;
      },
      1);
  EXPECT_NE(vCopy.getName(0), vOldName);
  EXPECT_EQ(entries(vCopy), entries(vSource));
  EXPECT_EQ(vCopy.put("d", "4"), 3);
}

}  // namespace
