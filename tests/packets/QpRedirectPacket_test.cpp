// Tests of the redirection holder: partial updates, copies, and a reader racing a writer.
#include <string>
#include <thread>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

TEST(QpRedirectPacket, PartialUpdatesCopiesAndARacingWriter) {
  QpRedirectPacket p;
  p.setClusterIdAndOrIpList("c-1", nullptr);
  EXPECT_TRUE(p.isIdSet() && !p.isIpListSet());
  p.setClusterIdAndOrIpList(nullptr, "10.0.0.1,10.0.0.2");
  QpRedirectPacket vCopy(p);
  p.clear();
  EXPECT_TRUE(p.isEmpty() && !p.isIdSet());
  p = vCopy;
  QpStringBuffer vId, vList;
  p.getClusterID(vId);
  p.getIpList(vList);
  EXPECT_EQ(std::string(vId.toStringConst()) + " " + vList.toStringConst(),
            "c-1 10.0.0.1,10.0.0.2");
  // A reader racing a writer sees one of the texts that were set, never a mixture.
  p.setClusterIdAndOrIpList("aaaa", nullptr);
  std::thread vWriter([&p] {
    for (int i = 0; i < 2000; ++i) p.setClusterIdAndOrIpList(i % 2 ? "bbbbbbbb" : "aaaa", nullptr);
  });
  for (int i = 0; i < 2000; ++i) {
    p.getClusterID(vId);
    const std::string vText = vId.toStringConst();
    EXPECT_TRUE(vText == "aaaa" || vText == "bbbbbbbb") << vText;
  }
  vWriter.join();
}
