// Tests of the redirection holder: partial updates, copies, and readers racing a writer.
#include <string>
#include <thread>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

TEST(QpRedirectPacket, PartialUpdatesAndCopies) {
  QpRedirectPacket p;
  EXPECT_TRUE(p.isEmpty());
  p.setClusterIdAndOrIpList("c-1", nullptr);
  EXPECT_TRUE(p.isIdSet());
  EXPECT_FALSE(p.isIpListSet());
  p.setClusterIdAndOrIpList(nullptr, "10.0.0.1,10.0.0.2");
  QpStringBuffer vId, vList;
  p.getClusterID(vId);
  p.getIpList(vList);
  EXPECT_STREQ(vId.toStringConst(), "c-1");
  EXPECT_STREQ(vList.toStringConst(), "10.0.0.1,10.0.0.2");

  QpRedirectPacket vCopy(p);
  p.clear();
  EXPECT_TRUE(p.isEmpty());
  EXPECT_FALSE(p.isIdSet());
  vCopy.getClusterID(vId);
  EXPECT_STREQ(vId.toStringConst(), "c-1");
  p = vCopy;
  p.getIpList(vList);
  EXPECT_STREQ(vList.toStringConst(), "10.0.0.1,10.0.0.2");
}

// A reader must always see one of the texts that were set, never a mixture.
TEST(QpRedirectPacket, ReadersRaceAWriter) {
  QpRedirectPacket p;
  p.setClusterIdAndOrIpList("aaaa", "1.1.1.1");
  std::thread vWriter([&p] {
    for (int i = 0; i < 2000; ++i) p.setClusterIdAndOrIpList(i % 2 ? "bbbbbbbb" : "aaaa", nullptr);
  });
  QpStringBuffer vId;
  for (int i = 0; i < 2000; ++i) {
    p.getClusterID(vId);
    const std::string vText = vId.toStringConst();
    ASSERT_TRUE(vText == "aaaa" || vText == "bbbbbbbb") << vText;
    ASSERT_TRUE(p.isIdSet());
  }
  vWriter.join();
}
