// Tests of the XML writer's document: header, entries, footer, per-thread API names.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <unistd.h>

#include "QpLogTestHelpers.h"

namespace {

const char kXmlHead[] =
    "<?xml version='1.0' encoding='UTF-8' standalone='no'?>\n<SDKLog SDKVersion=\"4.0.710\">\n";

// The entries of a finished document; each is checked against the layout and its times against
// each other.
std::vector<std::vector<std::string>> readEntries(const std::string& inText) {
  static const std::regex kEntry(
      R"re(\n<([a-z0-9+]+) procID="(\d+)" tID="(-?\d+)" msec="(\d+)" usec="(\d+)" )re"
      R"re(comp="([^"]+)"(?: API="([^"]*)")?><!\[CDATA\[\n([^]*?)\n\]\]></([a-z0-9+]+)>\n)re");
  std::vector<std::vector<std::string>> vEntries;
  EXPECT_EQ(inText.substr(0, sizeof kXmlHead - 1), kXmlHead);
  std::string vRest = inText.substr(sizeof kXmlHead - 1);
  std::smatch vMatch;
  while (std::regex_search(vRest, vMatch, kEntry, std::regex_constants::match_continuous)) {
    EXPECT_EQ(vMatch[1], vMatch[9]);
    EXPECT_EQ(vMatch[2], std::to_string(getpid()));
    EXPECT_EQ(std::stoull(vMatch[5]) / 1000, std::stoull(vMatch[4]));
    vEntries.push_back({vMatch[1], vMatch[6], vMatch[7], vMatch[8]});
    vRest = vMatch.suffix();
  }
  EXPECT_EQ(vRest, "</SDKLog>\n");
  return vEntries;
}

TEST_F(QpLogTest, XmlDocumentAndApiNames) {
  std::unique_ptr<QpLoggingState> vOptions = makeState(path("x.xml"), kLogFormatXML, 2, 1);
  vOptions->setAppend(true);  // never appended to: each open starts a new document
  writeFile(path("x.xml"), "stale");
  {
    QpLogXML vWriter(vOptions.get());
    EXPECT_FALSE(vWriter.getAppend());
    vWriter.logEntry(4, PACKET, "a <b> & \"c\"");
    vWriter.logEntry(3, API, "Start ClipWrite");
    vWriter.logEntry(8, NET, "after");
    std::thread([&] { vWriter.logEntry(2, NET, "other thread"); }).join();
    vWriter.logEntry(3, API, "S");  // names nothing, and is itself written without the name
    vWriter.logEntry(1, 0x11, "two bits");
    vWriter.logEntry(4, POOL, std::string(2100, 'b').c_str());  // rotates: a new document
  }
  const std::vector<std::vector<std::string>> kExpected = {{"debug", "PACKET", "", "a <b> & \"c\""},
                                                           {"log", "API", "", "Start ClipWrite"},
                                                           {"dbg+", "NET", "ClipWrite", "after"},
                                                           {"warn", "NET", "", "other thread"},
                                                           {"log", "API", "", "S"},
                                                           {"error", "???", "", "two bits"}};
  EXPECT_EQ(readEntries(readFile(path("x_ovr1.xml"))), kExpected);
  EXPECT_EQ(readEntries(readFile(path("x.xml"))).size(), 1u);
}

}  // namespace
