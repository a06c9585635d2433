// Tests of the Base32 and Base64 codecs.
#include <random>
#include <vector>

#include "QpBase64Hooks.h"
#include "QpTestSupport.h"

#if defined(QP_HAVE_OPENSSL)
#include <openssl/evp.h>
#endif

std::string randomBytes(std::mt19937& ioRng, size_t inLength) {
  std::string vBytes(inLength, '\0');
  for (char& c : vBytes) c = static_cast<char>(ioRng() & 0xFF);
  return vBytes;
}

// Base64 in both directions; each checks it wrote nothing past the length it reports.
std::string base64(const std::string& inData, bool inEncode) {
  std::vector<char> vOut(2 * inData.size() + 8, '#');
  int vLength = -1;
  (inEncode ? QpBase64::encode : QpBase64::decode)(inData.data(), static_cast<int>(inData.size()),
                                                   vOut.data(), &vLength);
  EXPECT_EQ(vOut[vLength], '#') << "wrote past the reported length";
  return std::string(vOut.data(), static_cast<size_t>(vLength));
}

// Derived bit by bit from the alphabet "ybndrfg8ejkmcpqxot1uwisza345h769".
TEST(QpBase32Test, KnownTextsAndRoundTripsOfEveryLengthUpTo300) {
  const struct {
    std::string mBytes;
    const char* mText;
  } kCases[] = {
      {std::string(), "Z"},
      {std::string(1, '\0'), "Zyy"},
      {"\xFF", "Z9h"},
      {"abc", "Zcftgg"},
      {"\x01\x23\x45\x67\x89", "Zyrtwk3hj"},
      {"hello world", "Zpb1sa5dxrb5s6hucco"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(qpTake(QpBase32::encode(c.mBytes.data(), static_cast<int>(c.mBytes.size()))),
              c.mText);
    char* vBytes = QpBase32::decode(c.mText);
    EXPECT_EQ(std::string(vBytes, c.mBytes.size() + 1), c.mBytes + '\0') << c.mText;
    qp_free(vBytes);
  }
  std::mt19937 vRng(32);
  for (int n = 0; n <= 300; ++n) {
    const std::string vData = randomBytes(vRng, static_cast<size_t>(n));
    char* vText = QpBase32::encode(vData.data(), n);
    ASSERT_EQ(qp_strlen(vText), 1 + static_cast<size_t>((8 * n + 4) / 5)) << n;
    char* vBack = QpBase32::decode(vText);
    EXPECT_EQ(std::string(vBack, static_cast<size_t>(n) + 1), vData + '\0') << n;
    qp_free(vBack);
    qp_free(vText);
  }
}

TEST(QpBase32Test, DecodeReadsOnlyWholeBytesAndRefusesForeignText) {
  EXPECT_EQ(qpTake(QpBase32::decode(nullptr, 0)), "");
  EXPECT_EQ(qpTake(QpBase32::decode("Zc")), "");           // five bits make no byte
  EXPECT_EQ(qpTake(QpBase32::decode("Zcftgg", 5)), "ab");  // the length wins over the terminator
  EXPECT_EQ(qpTake(QpBase32::decode("Zcr!")), "a");        // a digit beyond is not read at all
  EXPECT_EQ(qpTake(QpBase32::decode("Zc8")), "a");         // non-zero fill bits are dropped
  // Bytes outside the alphabet would otherwise inject the table's 0xFF into the result.
  for (const char* vText : {"Yyy", "Zy!", "ZyY", "Zyyyyyyy\x01yy"}) {
    EXPECT_QP_THROW(QpBase32::decode(vText), QpParameterException,
                    vText[0] != 'Z' ? "Base32 text does not start with Z"
                                    : "Base32 text holds a character outside the alphabet");
  }
  EXPECT_EQ(qpWalkAllocations([&] { qp_free(QpBase32::encode("hello world")); }, [] {}), 1);
  EXPECT_EQ(qpWalkAllocations([&] { qp_free(QpBase32::decode("Zpb1sa5dxrb5s6hucco")); }, [] {}), 1);
}

TEST(QpBase64Test, DecodeSkipsEverythingOutsideTheAlphabet) {
  EXPECT_EQ(base64("Y Q = =", false), "a");
  EXPECT_EQ(base64("\x80Zm\xFF-9v*", false), "foo");
  EXPECT_EQ(base64("Y", false), "");
  // Padding is not a boundary: it is skipped like any other foreign byte.
  EXPECT_EQ(base64("YQ==YQ==", false), std::string("a\x06\x10", 3));
  EXPECT_EQ(base64(std::string("Zm9v\0Zm9v", 9), false), "foofoo");
}

#if defined(QP_HAVE_OPENSSL)
TEST(QpBase64Test, AgreesWithOpenSslAtEveryLevel) {
  std::mt19937 vRng(4648);
  for (int vRound = 0; vRound < 2000; ++vRound) {
    StBase64Level vLevel(vRound % 3);
    const std::string vData = randomBytes(vRng, vRng() % 400);
    std::vector<unsigned char> vTheirs(2 * vData.size() + 8);
    const int vTheirLength =
        EVP_EncodeBlock(vTheirs.data(), reinterpret_cast<const unsigned char*>(vData.data()),
                        static_cast<int>(vData.size()));
    const std::string vOurs = base64(vData, true);
    ASSERT_EQ(vOurs, std::string(reinterpret_cast<char*>(vTheirs.data()), vTheirLength));
    // Their decoder keeps a zero byte for each "=", ours drops it.
    std::vector<unsigned char> vDecoded(vOurs.size() + 1);
    const int vDecodedLength =
        EVP_DecodeBlock(vDecoded.data(), reinterpret_cast<const unsigned char*>(vOurs.data()),
                        static_cast<int>(vOurs.size()));
    ASSERT_GE(vDecodedLength, static_cast<int>(vData.size()));
    ASSERT_EQ(base64(vOurs, false),
              std::string(reinterpret_cast<char*>(vDecoded.data()), vData.size()));
  }
}
#endif

// The bulk paths (64-bit words, vectors) must give what the plain loop gives for every input:
// clean texts, and texts with a foreign byte or padding put at each offset of the first two
// vector blocks, where a bulk path has to stop and hand over to the plain loop.
TEST(QpBase64Test, EveryLevelGivesWhatThePlainLoopGives) {
  auto at = [](int inLevel, const std::string& inInput, bool inEncode) {
    StBase64Level vLevel(inLevel);
    return base64(inInput, inEncode);
  };
  auto allAgree = [&](const std::string& inInput, bool inEncode) {
    const std::string vPlain = at(kQpBase64Plain, inInput, inEncode);
    for (int vLevel = kQpBase64Words; vLevel <= kQpBase64Vector; ++vLevel) {
      if (at(vLevel, inInput, inEncode) != vPlain) return false;
    }
    return true;
  };
  const char kForeign[] = {'=', ' ', '\n', '\0', '-', '\x80', '\xFF', '@', '[', '`', '{', '.'};
  std::mt19937 vRng(2045);
  for (int vRound = 0; vRound < 60; ++vRound) {
    const std::string vData = randomBytes(vRng, 40 + vRng() % 160);
    ASSERT_TRUE(allAgree(vData, true)) << vRound;
    const std::string vText = at(kQpBase64Plain, vData, true);
    ASSERT_TRUE(allAgree(vText, false)) << vRound;
    for (size_t vAt = 0; vAt < 72 && vAt < vText.size(); ++vAt) {
      const char vByte = kForeign[vRng() % sizeof kForeign];
      std::string vInserted = vText;
      vInserted.insert(vAt, 1, vByte);
      std::string vReplaced = vText;
      vReplaced[vAt] = vByte;
      ASSERT_TRUE(allAgree(vInserted, false)) << vRound << " at " << vAt;
      ASSERT_TRUE(allAgree(vReplaced, false)) << vRound << " at " << vAt;
    }
  }
}
