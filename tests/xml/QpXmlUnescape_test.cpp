// Tests of the in-place XML entity rewrite.
#include <string>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

std::string unescape(const std::string& inText) {
  std::string vBuffer = inText + '\0' + "tail";  // bytes after the terminator must stay put
  char* vResult = QpXmlUnescape(&vBuffer[0]);
  EXPECT_EQ(vResult, &vBuffer[0]);
  EXPECT_EQ(vBuffer.substr(inText.size()), std::string(1, '\0') + "tail");
  return std::string(vResult);
}

TEST(QpXmlUnescapeTest, ReplacesThePredefinedEntities) {
  EXPECT_EQ(unescape("a&amp;b&lt;c&gt;&quot;&apos;&x;"), "a&b<c>\"'&x;");
  EXPECT_EQ(unescape("&amp;&amp;&amp;"), "&&&");
  EXPECT_EQ(unescape("&lt;tag attr=&quot;v&quot;/&gt;"), "<tag attr=\"v\"/>");
  EXPECT_EQ(unescape("plain text"), "plain text");
  EXPECT_EQ(unescape(""), "");
}

TEST(QpXmlUnescapeTest, LeavesEverythingElseAlone) {
  // One pass: the "&" an entity produces does not start another entity.
  EXPECT_EQ(unescape("&amp;lt;"), "&lt;");
  EXPECT_EQ(unescape("&amp;amp;"), "&amp;");
  // Numeric references, wrong case, missing semicolons and cut-off entities stay as they are.
  EXPECT_EQ(unescape("&#38;&#x26;&AMP;&amp&lt &"), "&#38;&#x26;&AMP;&amp&lt &");
  EXPECT_EQ(unescape("&&lt;"), "&<");
  EXPECT_EQ(unescape("&quo"), "&quo");
  EXPECT_EQ(unescape("&apos"), "&apos");
  // Bytes above 0x7F (UTF-8) pass through.
  EXPECT_EQ(unescape("caf\xC3\xA9 &gt; \xE2\x82\xAC"), "caf\xC3\xA9 > \xE2\x82\xAC");
  EXPECT_EQ(QpXmlUnescape(nullptr), nullptr);
}

}  // namespace
