// qptool's offline subcommands, run as a separate process: digests of a large file against the
// system's own checksum programs (and in bounded memory), a single clean error line for every kind
// of bad input, and byte-exact round trips through the codecs.
#include <gtest/gtest.h>
#include <iconv.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools_helpers.h"

namespace {

const std::string kTool = QP_QPTOOL_PATH;

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

// Runs a checksum program on inPath and returns the digest text of the hex it prints.
std::string peerDigestText(const char* inProgram, const std::string& inPath) {
  const QpRunResult vPeer = qpRun(inProgram, {inPath}, "", 120000);
  EXPECT_EQ(vPeer.exitCode, 0) << inProgram << ": " << vPeer.err;
  return digestTextOfHex(vPeer.out.substr(0, vPeer.out.find(' ')));
}

class QpToolOffline : public ::testing::Test {
 protected:
  void SetUp() override {
    char vTemplate[] = "/tmp/qptool_offline_XXXXXX";
    ASSERT_NE(mkdtemp(vTemplate), nullptr);
    mDir = vTemplate;
  }
  void TearDown() override {
    for (const std::string& vFile : mFiles) unlink(vFile.c_str());
    rmdir(mDir.c_str());
  }
  std::string file(const std::string& inName, const std::string& inContent) {
    const std::string vPath = mDir + "/" + inName;
    std::ofstream(vPath, std::ios::binary) << inContent;
    mFiles.push_back(vPath);
    return vPath;
  }
  std::string mDir;
  std::vector<std::string> mFiles;
};

TEST_F(QpToolOffline, DigestsOfALargeFileMatchTheChecksumProgramsInBoundedMemory) {
  // 100 MiB of xorshift bytes, written a MiB at a time.
  const std::string vBig = file("big", "");
  {
    std::ofstream vOut(vBig, std::ios::binary);
    std::uint64_t vState = 0x9E3779B97F4A7C15ull;
    std::string vChunk(1 << 20, '\0');
    for (int vMiB = 0; vMiB < 100; ++vMiB) {
      for (size_t i = 0; i < vChunk.size(); i += 8) {
        vState ^= vState << 13, vState ^= vState >> 7, vState ^= vState << 17;
        for (int k = 0; k < 8; ++k) vChunk[i + k] = static_cast<char>(vState >> (8 * k));
      }
      vOut.write(vChunk.data(), static_cast<std::streamsize>(vChunk.size()));
    }
  }
  const std::string vSmall = file("small", "abc");
  const std::string vSha = peerDigestText("/usr/bin/sha256sum", vBig);
  const std::string vMd5 = peerDigestText("/usr/bin/md5sum", vBig);
  ASSERT_EQ(vSha.size(), 52u);
  ASSERT_EQ(vMd5.size(), 26u);

  const QpRunResult vSmallRun = qpRun(kTool, {"digest", "--sha256", vSmall});
  const QpRunResult vShaRun = qpRun(kTool, {"digest", "--sha256", vBig}, "", 300000);
  EXPECT_EQ(vShaRun.exitCode, 0);
  EXPECT_EQ(vShaRun.out, vSha + "  " + vBig + "\n");
  EXPECT_EQ(vShaRun.err, "");  // no progress bar when standard error is a pipe
  // The whole file passes through a fixed buffer: the peak differs from a 3-byte file's by far
  // less than the file's 100 MiB.
  EXPECT_LT(vShaRun.maxRssKb - vSmallRun.maxRssKb, 16 * 1024) << vShaRun.maxRssKb;

  const std::string vAddress = vMd5.substr(0, 13) + "e" + vMd5.substr(13);
  const QpRunResult vMd5Run = qpRun(kTool, {"digest", "--md5", "--type", "clip", vBig}, "", 300000);
  EXPECT_EQ(vMd5Run.exitCode, 0);
  EXPECT_EQ(vMd5Run.out, vMd5 + "  " + vAddress + "  " + vBig + "\n");
  EXPECT_LT(vMd5Run.maxRssKb - vSmallRun.maxRssKb, 16 * 1024) << vMd5Run.maxRssKb;

  // Standard input and several files, one line each, MD5 by default; a missing file in between
  // is reported and the rest still hashed.
  const QpRunResult vMixed = qpRun(kTool, {"digest", vSmall, "-", mDir + "/none"}, "abc");
  EXPECT_EQ(vMixed.exitCode, 3);
  EXPECT_EQ(vMixed.out, digestTextOfHex("900150983cd24fb0d6963f7d28e17f72") + "  " + vSmall + "\n" +
                            digestTextOfHex("900150983cd24fb0d6963f7d28e17f72") + "  -\n");
}

TEST_F(QpToolOffline, BadInputGivesOneLineAndTheDocumentedExit) {
  const std::string vMissing = mDir + "/missing";
  const std::string vFramed(
      "\x01\x2C\x75\x98\x00\x00\x00\x0E"
      "FSP2\x00\x01\x01\x00\x00\x04\x00\x00\x00\x05",
      22);
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int exit;
  } const kCases[] = {
      {{"digest", vMissing}, "", 3},
      {{"digest", "--type", "tag", "-"}, "", 2},
      {{"digest"}, "", 2},
      {{"packet", "dump", vMissing}, "", 3},
      {{"packet", "dump", "-"}, vFramed.substr(0, 21), 3},          // length field too large
      {{"packet", "dump", "-"}, vFramed.substr(8, 13), 3},          // field runs past the end
      {{"packet", "dump", "-"}, "FS", 3},                           // shorter than the magic
      {{"packet", "dump", "-"}, "HTTP/1.1 200 OK\r\n", 3},          // no magic
      {{"packet", "dump", "--framed", "-"}, vFramed.substr(8), 3},  // bare where framed is wanted
      {{"packet", "dump", "-"}, "", 3},
      {{"packet", "send", "-"}, "", 2},
      {{"address", "node7:abc"}, "", 3},
      {{"address", "ftp://node7"}, "", 3},
      {{"address", "node7:70000"}, "", 3},
      {{"address", "foo=bar"}, "", 3},
      {{"time", "2008-07-15 13:45:30"}, "", 3},
      {{"time", "-1"}, "", 3},
      {{"time", "2001.02.29 00:00:00 GMT"}, "", 3},
      {{"error", "QP_NO_SUCH_ERR"}, "", 3},
      {{"error", "-10028"}, "", 3},
      {{"b64", "decode"}, "YWJj!", 3},
      {{"b64", "decode"}, "YQ=", 3},
      {{"b64", "decode"}, "YR==", 3},  // leftover bits
      {{"b32", "decode"}, "Zyyy", 3},  // a stray digit
      {{"b32", "decode"}, "Z9h!", 3},
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
  std::vector<Case> vCases(std::begin(kCases), std::end(kCases));
  for (const char* vSub : {"digest", "address", "time", "error", "b32", "b64", "convert"})
    vCases.push_back({{vSub, "--no-such-option"}, "", 2});
  vCases.push_back({{"packet", "dump", "--no-such-option", "-"}, "", 2});

  for (const Case& vCase : vCases) {
    std::string vLine;
    for (const std::string& vArg : vCase.args) vLine += vArg + " ";
    const QpRunResult vRun = qpRun(kTool, vCase.args, vCase.input);
    EXPECT_EQ(vRun.exitCode, vCase.exit) << vLine << vRun.err;
    EXPECT_EQ(vRun.out, "") << vLine;
    EXPECT_EQ(vRun.err.rfind("qptool " + vCase.args[0] + ": ", 0), 0u) << vLine << vRun.err;
    EXPECT_EQ(vRun.err.find('\n'), vRun.err.size() - 1) << vLine << vRun.err;
  }
}

TEST_F(QpToolOffline, AnswersOfTheTextSubcommands) {
  const std::string vFramed(
      "\x01\x2C\x75\x98\x00\x00\x00\x18"
      "FSP2\x00\x03\x01\x00\x00\x04\x00\x00\x00\x2A"
      "\x00\x65\x01\x00\x00\x04\x00\x00\x00\x07",
      32);
  const std::string vDump =
      "SmartPacket\n  NET_MESSAGEID type=integer value=42\n"
      "  HPP_OPCODE type=integer value=7\n";
  struct Case {
    std::vector<std::string> args;
    std::string input;
    std::string out;
  } const kCases[] = {
      {{"packet", "dump", "-"}, vFramed, vDump},
      {{"packet", "dump", "--bare", "-"}, vFramed.substr(8), vDump},
      {{"time", "951782400000"}, "", "2000.02.29 00:00:00.000 GMT\n"},
      {{"time", "2008.07.15", "13:45:30.250", "GMT"}, "", "1216129530250\n"},
      {{"error", "qp_param_err"},
       "",
       "code       -10006\nname       QP_PARAM_ERR\nmessage    Wrong parameter detected\n"
       "class      QpParameterException\nfamily     QpApplicationException (EC_CLIENT)\n"
       "retryable  no\n"},
      {{"address", "10.0.0.1,secondary=10.0.0.2:4000,primary=hpp://10.0.0.3:3218,foo=bar"},
       "",
       "primary  10.0.0.1  host=10.0.0.1 port=3218 datagram=3218 ip=10.0.0.1\n"
       "primary  10.0.0.3  host=10.0.0.3 port=3218 datagram=3218 ip=10.0.0.3\n"
       "secondary  10.0.0.2:4000  host=10.0.0.2 port=4000 datagram=0 ip=10.0.0.2\n"},
  };
  for (const Case& vCase : kCases) {
    const QpRunResult vRun = qpRun(kTool, vCase.args, vCase.input);
    EXPECT_EQ(vRun.exitCode, 0) << vCase.args[0] << vRun.err;
    EXPECT_EQ(vRun.out, vCase.out) << vCase.args[0];
  }
}

// UTF-8 to UTF-16LE by the C library's iconv, the peer of the convert subcommand.
std::string iconvUtf16(const std::string& inUtf8) {
  iconv_t vCd = iconv_open("UTF-16LE", "UTF-8");
  std::string vIn = inUtf8, vOut(inUtf8.size() * 4, '\0');
  char* vInPtr = &vIn[0];
  char* vOutPtr = &vOut[0];
  size_t vInLeft = vIn.size(), vOutLeft = vOut.size();
  iconv(vCd, &vInPtr, &vInLeft, &vOutPtr, &vOutLeft);
  iconv_close(vCd);
  vOut.resize(vOut.size() - vOutLeft);
  return vOut;
}

TEST_F(QpToolOffline, RoundTripsAreByteExact) {
  std::string vBytes;
  for (int i = 0; i < 3 * 256 + 2; ++i) vBytes += static_cast<char>(i * 37 + (i >> 8));
  for (const char* vCodec : {"b64", "b32"}) {
    for (size_t vLength : {size_t(0), size_t(1), size_t(2), size_t(4), size_t(5), vBytes.size()}) {
      const std::string vData = vBytes.substr(0, vLength);
      const QpRunResult vText = qpRun(kTool, {vCodec, "encode"}, vData);
      ASSERT_EQ(vText.exitCode, 0) << vCodec << vText.err;
      if (std::string(vCodec) == "b64") {
        EXPECT_EQ(vText.out, qpRun("/usr/bin/base64", {"-w0"}, vData).out + "\n");
      }
      const QpRunResult vBack = qpRun(kTool, {vCodec, "decode"}, vText.out);
      EXPECT_EQ(vBack.exitCode, 0) << vCodec << vBack.err;
      EXPECT_EQ(vBack.out, vData) << vCodec << " " << vLength;
    }
  }

  const std::string vText =
      "plain, caf\xC3\xA9, \xE2\x82\xAC 5, \xE6\x97\xA5\xE6\x9C\xAC, "
      "\xF0\x9F\x98\x80\n";
  const QpRunResult vUtf16 =
      qpRun(kTool, {"convert", "--from", "utf-8", "--to", "utf-16", "--xml"}, vText);
  EXPECT_EQ(vUtf16.exitCode, 0) << vUtf16.err;
  EXPECT_EQ(vUtf16.out, iconvUtf16(vText));
  const QpRunResult vBack =
      qpRun(kTool, {"convert", "--from", "utf-16", "--to", "utf-8"}, vUtf16.out);
  EXPECT_EQ(vBack.out, vText);
  // NULs travel through every step; EBCDIC holds the ASCII letters.
  const std::string vWithNul("AZ\0az09", 7);
  const QpRunResult vEbcdic =
      qpRun(kTool, {"convert", "--from", "ascii", "--to", "ebcdicw"}, vWithNul);
  EXPECT_EQ(vEbcdic.out, std::string("\xC1\0\xE9\0\0\0\x81\0\xA9\0\xF0\0\xF9\0", 14));
  const QpRunResult vUcs4 =
      qpRun(kTool, {"convert", "--from", "ebcdicw", "--to", "ucs-4"}, vEbcdic.out);
  const QpRunResult vLatin1 =
      qpRun(kTool, {"convert", "--from", "ucs-4", "--to", "latin-1"}, vUcs4.out);
  EXPECT_EQ(vLatin1.out, vWithNul);
}

}  // namespace
