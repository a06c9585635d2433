// qptool as a separate process: digests against the checksum programs in bounded memory, one
// table of answers and one-line errors for every subcommand, and the demo with its node and log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "tools_helpers.h"

namespace {

const std::string kTool = QP_QPTOOL_PATH;
const char* const kSubcommands[] = {"demo", "probe", "poolinfo", "digest", "packet", "address",
                                    "time", "error", "b32",      "b64",    "convert"};

// The digest text, written independently of the library: each 8-byte group of the digest read
// little-endian, as 13 digits of "0123456789ABCDEFGHIJKLMNOPQRSTUV", most significant first.
std::string digestTextOfHex(const std::string& inHex) {
  static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
  std::string vText;
  for (size_t vGroup = 0; vGroup + 16 <= inHex.size(); vGroup += 16) {
    std::uint64_t vValue = 0;
    for (int i = 7; i >= 0; --i)
      vValue = vValue << 8 | std::stoul(inHex.substr(vGroup + 2 * i, 2), nullptr, 16);
    for (int vDigit = 12; vDigit >= 0; --vDigit) vText += kDigits[(vValue >> (5 * vDigit)) & 31];
  }
  return vText;
}

// A scratch file of this process, with inContent.
std::string scratch(const std::string& inName, const std::string& inContent = "") {
  const std::string vPath =
      ::testing::TempDir() + "qptool_test." + std::to_string(getpid()) + inName;
  std::ofstream(vPath, std::ios::binary) << inContent;
  return vPath;
}

TEST(Qptool, DigestsOfALargeFileMatchTheChecksumProgramsInBoundedMemory) {
  const std::string vBig = scratch("big"), vSmall = scratch("small", "abc");
  ASSERT_EQ(qpRun("/bin/sh", {"-c", "head -c 100M /dev/urandom >" + vBig}).exitCode, 0);
  const long vSmallRss = qpRun(kTool, {"digest", "--sha256", vSmall}).maxRssKb;
  struct Case {
    const char* mPeer;
    std::vector<std::string> mArgs;
    size_t mSize;
  } const kCases[] = {{"/usr/bin/sha256sum", {"digest", "--sha256", vBig}, 52},
                      {"/usr/bin/md5sum", {"digest", "--md5", "--type", "clip", vBig}, 26}};
  for (const Case& vCase : kCases) {
    const QpRunResult vPeer = qpRun(vCase.mPeer, {vBig}, "", 120000);
    const std::string vText = digestTextOfHex(vPeer.out.substr(0, vPeer.out.find(' ')));
    ASSERT_EQ(vText.size(), vCase.mSize) << vPeer.err;
    const QpRunResult vRun = qpRun(kTool, vCase.mArgs, "", 300000);
    EXPECT_EQ(vRun.exitCode, 0);
    // With --type, the content address follows: a clip's 'e' after the 13th digit.
    const std::string vAddress =
        vCase.mArgs.size() > 3 ? vText.substr(0, 13) + "e" + vText.substr(13) + "  " : "";
    EXPECT_EQ(vRun.out, vText + "  " + vAddress + vBig + "\n");
    EXPECT_EQ(vRun.err, "");  // no progress bar when standard error is a pipe
    // The file passes through a fixed buffer: the peak is a 3-byte file's, give or take 16 MiB.
    EXPECT_LT(vRun.maxRssKb - vSmallRss, 16 * 1024) << vRun.maxRssKb;
  }
  // Standard input and several files, one line each, MD5 by default; a missing file in between
  // is reported and the rest still hashed.
  const QpRunResult vMixed = qpRun(kTool, {"digest", vSmall, "-", vSmall + ".none"}, "abc");
  EXPECT_EQ(vMixed.exitCode, 3);
  const std::string vAbc = digestTextOfHex("900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(vMixed.out, vAbc + "  " + vSmall + "\n" + vAbc + "  -\n");
  for (const std::string& vPath : {vBig, vSmall}) std::remove(vPath.c_str());
}

// One table for every subcommand: the exact answer of good input, and for bad input one error
// line "qptool SUBCOMMAND: ..." (ending in the code the library raised, where it did), no output,
// and the documented exit (2 usage, 3 input).
TEST(Qptool, AnswersOrOneErrorLineWithTheDocumentedExit) {
  const std::string vMissing = ::testing::TempDir() + "qptool_test.missing";
  const std::string vFramed(
      "\x01\x2C\x75\x98\x00\x00\x00\x18"
      "FSP2\x00\x03\x01\x00\x00\x04\x00\x00\x00\x2A"
      "\x00\x65\x01\x00\x00\x04\x00\x00\x00\x07",
      32);
  const std::string vDump =
      "SmartPacket\n  NET_MESSAGEID type=integer value=42\n  HPP_OPCODE type=integer value=7\n";
  struct Case {
    std::vector<std::string> mArgs;
    std::string mInput;
    int mExit;
    std::string mText = "";  // the output, or the end of the error line
  };
  std::vector<Case> vCases = {
      {{"packet", "dump", "-"}, vFramed, 0, vDump},
      {{"packet", "dump", "--bare", "-"}, vFramed.substr(8), 0, vDump},
      {{"time", "951782400000"}, "", 0, "2000.02.29 00:00:00.000 GMT\n"},
      {{"time", "2008.07.15", "13:45:30.250", "GMT"}, "", 0, "1216129530250\n"},
      {{"error", "qp_param_err"},
       "",
       0,
       "code       -10006\nname       QP_PARAM_ERR\nmessage    Wrong parameter detected\n"
       "class      QpParameterException\nfamily     QpApplicationException (EC_CLIENT)\n"
       "retryable  no\n"},
      {{"address", "10.0.0.1,secondary=10.0.0.2:4000,primary=hpp://10.0.0.3:3218,foo=bar"},
       "",
       0,
       "primary  10.0.0.1  host=10.0.0.1 port=3218 datagram=3218 ip=10.0.0.1\n"
       "primary  10.0.0.3  host=10.0.0.3 port=3218 datagram=3218 ip=10.0.0.3\n"
       "secondary  10.0.0.2:4000  host=10.0.0.2 port=4000 datagram=0 ip=10.0.0.2\n"},
      {{}, "", 2},
      {{"fly"}, "", 2},
      {{"probe"}, "", 2},
      {{"poolinfo", "h", "--timeout", "0"}, "", 2},
      {{"poolinfo", "node:0"}, "", 3, " (error -10006 QP_PARAM_ERR)\n"},
      {{"probe", "ftp://node"}, "", 3, " (error -10033 QP_PROTOCOL_ERR)\n"},
      {{"digest", vMissing}, "", 3},
      {{"digest", "--type", "tag", "-"}, "", 2},
      {{"digest"}, "", 2},
      {{"packet", "dump", vMissing}, "", 3},
      {{"packet", "dump", "-"}, vFramed.substr(0, 31), 3},          // length field too large
      {{"packet", "dump", "-"}, vFramed.substr(8, 13), 3},          // field runs past the end
      {{"packet", "dump", "-"}, "FS", 3},                           // shorter than the magic
      {{"packet", "dump", "-"}, "HTTP/1.1 200 OK\r\n", 3},          // no magic
      {{"packet", "dump", "--framed", "-"}, vFramed.substr(8), 3},  // bare where framed is wanted
      {{"packet", "dump", "--bare", "-"}, vFramed, 3},              // and the other way round
      {{"packet", "dump", "-"}, "", 3},
      {{"packet", "send", "-"}, "", 2},
      {{"address", "node7:abc"}, "", 3},
      {{"address", "ftp://node7"}, "", 3},
      {{"address", "node7:70000"}, "", 3},
      {{"address", "foo=bar"}, "", 3},
      {{"time", "2008-07-15 13:45:30"}, "", 3},
      {{"time", "2001.02.29 00:00:00 GMT"}, "", 3},
      {{"error", "QP_NO_SUCH_ERR"}, "", 3},
      {{"error", "-10028"}, "", 3},
      {{"b64", "decode"}, "YWJj!", 3},
      {{"b64", "decode"}, "YR==", 3},  // leftover bits
      {{"b32", "decode"}, "Zyyy", 3},  // a stray digit
      {{"b32", "decode"}, "yy", 3},
      {{"b32", "decode"}, "", 3},
      {{"b64", "rot13"}, "", 2},
      {{"convert", "--from", "koi8-r", "--to", "utf-8"}, "", 2},
      {{"convert", "--from", "utf-8"}, "", 2},
      {{"convert", "--from", "utf-16", "--to", "utf-8"}, "abc", 3},
      {{"convert", "--from", "utf-8", "--to", "utf-16", "--xml"}, "a\x01z", 3},
      {{"convert", "--from", "utf-16", "--to", "utf-8"}, std::string("\xFF\xFF", 2), 3},
      {{"convert", "--from", "ucs-4", "--to", "utf-8"}, std::string("\0\0\0\x80", 4), 3},
  };
  for (const char* vSub : kSubcommands) vCases.push_back({{vSub, "--no-such-option", "-"}, "", 2});
  // Byte-exact round trips: Base64 against the system's base64, Base32 through itself, text
  // through UTF-16 against iconv, and NULs through every step of EBCDIC and UCS-4.
  std::string vBytes;
  for (int i = 0; i < 3 * 256 + 2; ++i) vBytes += static_cast<char>(i * 37 + (i >> 8));
  for (size_t vLength : {0, 1, 2, 4, 5, 770}) {
    const std::string vData = vBytes.substr(0, vLength);
    const std::string vBase64 = qpRun("/usr/bin/base64", {"-w0"}, vData).out + "\n";
    vCases.push_back({{"b64", "encode"}, vData, 0, vBase64});
    vCases.push_back({{"b64", "decode"}, vBase64, 0, vData});
    vCases.push_back({{"b32", "decode"}, qpRun(kTool, {"b32", "encode"}, vData).out, 0, vData});
  }
  const std::string vText =
      "plain, caf\xC3\xA9, \xE2\x82\xAC 5, \xE6\x97\xA5\xE6\x9C\xAC, \xF0\x9F\x98\x80\n";
  const std::string vUtf16 = qpRun("/usr/bin/iconv", {"-f", "UTF-8", "-t", "UTF-16LE"}, vText).out;
  const std::string vWithNul("AZ\0az09", 7),
      vEbcdic("\xC1\0\xE9\0\0\0\x81\0\xA9\0\xF0\0\xF9\0", 14);
  const std::string vUcs4 =
      qpRun(kTool, {"convert", "--from", "ebcdicw", "--to", "ucs-4"}, vEbcdic).out;
  vCases.push_back({{"convert", "--from", "utf-8", "--to", "utf-16"}, vText, 0, vUtf16});
  vCases.push_back({{"convert", "--from", "utf-16", "--to", "utf-8"}, vUtf16, 0, vText});
  vCases.push_back({{"convert", "--from", "ascii", "--to", "ebcdicw"}, vWithNul, 0, vEbcdic});
  vCases.push_back({{"convert", "--from", "ucs-4", "--to", "latin-1"}, vUcs4, 0, vWithNul});
  for (const Case& vCase : vCases) {
    SCOPED_TRACE(testing::PrintToString(vCase.mArgs));
    const QpRunResult vRun = qpRun(kTool, vCase.mArgs, vCase.mInput);
    EXPECT_EQ(vRun.exitCode, vCase.mExit) << vRun.err;
    EXPECT_EQ(vRun.out, vCase.mExit == 0 ? vCase.mText : "");
    if (vCase.mExit == 0) continue;
    const bool vKnown = !vCase.mArgs.empty() && vCase.mArgs[0] != "fly";
    EXPECT_EQ(vRun.err.rfind(vKnown ? "qptool " + vCase.mArgs[0] + ": " : "qptool: ", 0), 0u)
        << vRun.err;
    EXPECT_EQ(vRun.err.find('\n'), vRun.err.size() - 1) << vRun.err;
    EXPECT_EQ(vRun.err.rfind(vCase.mText), vRun.err.size() - vCase.mText.size()) << vRun.err;
  }
  for (const char* vSub : kSubcommands) {
    const QpRunResult vHelp = qpRun(kTool, {vSub, "--help"});
    EXPECT_EQ(vHelp.exitCode, 0);
    EXPECT_EQ(vHelp.out.rfind(std::string("usage: qptool ") + vSub + " ", 0), 0u) << vHelp.out;
  }
  EXPECT_EQ(qpRun(kTool, {"--version"}).out.rfind("qptool ", 0), 0u);
}

TEST(Qptool, DemoPrintsNodeLogDumpsAndResultAndWritesTheTabLog) {
  const std::string vLog = scratch("demo.log");
  const QpRunResult vRun = qpRun(kTool, {"demo", "--log", vLog});
  ASSERT_EQ(vRun.exitCode, 0) << vRun.err;
  EXPECT_EQ(vRun.err, "");
  EXPECT_TRUE(std::regex_search(
      vRun.out, std::regex("^node udp=127\\.0\\.0\\.1:[0-9]+ tcp=127\\.0\\.0\\.1:[0-9]+\nlog " +
                           vLog + "\n")))
      << vRun.out;
  for (const char* vPart :
       {"probe request (", "probe reply (", "poolinfo request (", "poolinfo reply (",
        "  POOLSERVER_OPCODE type=integer value=1\n",
        "  HPP_CLUSTERNAME type=string value=qpnode\n", "\nsegment size: 102400\n",
        "\ncapacity: 1099511627776\n", "\nreplicas: 127.0.0.2\n"})
    EXPECT_NE(vRun.out.find(vPart), std::string::npos) << vPart;
  const std::string vText = qpReadFile(vLog);
  EXPECT_NE(vText.find("\t[TRANSACTION]\tProbe Request qptool-probe"), std::string::npos);
  EXPECT_NE(vText.find("\t[TRANSACTION]\tGetPoolInfo Request qptool-poolinfo"), std::string::npos);
  std::remove(vLog.c_str());
}

}  // namespace
