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

TEST(QpXmlUnescapeTest, ReplacesThePredefinedEntitiesInOnePassAndNothingElse) {
  const char* kCases[][2] = {
      {"a&amp;b&lt;c&gt;&quot;&apos;&x;", "a&b<c>\"'&x;"},
      // One pass: the "&" an entity produces does not start another entity.
      {"&amp;lt;", "&lt;"},
      // Numeric references, wrong case, missing semicolons and cut-off entities stay as they are.
      {"&#38;&#x26;&AMP;&amp&lt &", "&#38;&#x26;&AMP;&amp&lt &"},
      {"&&lt;&apos", "&<&apos"},
      {"caf\xC3\xA9 &gt; \xE2\x82\xAC", "caf\xC3\xA9 > \xE2\x82\xAC"},  // UTF-8 passes through
  };
  for (const auto& c : kCases) EXPECT_EQ(unescape(c[0]), c[1]);
  EXPECT_EQ(QpXmlUnescape(nullptr), nullptr);
}

}  // namespace
