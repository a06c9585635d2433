// Tests of the Base32 and Base64 codecs.
#include <random>
#include <string>
#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

#if defined(QP_HAVE_OPENSSL)
#include <openssl/evp.h>
#endif

namespace {

std::string randomBytes(std::mt19937& ioRng, size_t inLength) {
  std::string vBytes(inLength, '\0');
  for (char& c : vBytes) c = static_cast<char>(ioRng() & 0xFF);
  return vBytes;
}

std::string base64(const std::string& inData) {
  std::vector<char> vOut(4 * ((inData.size() + 2) / 3) + 8, '#');
  int vLength = -1;
  QpBase64::encode(inData.data(), static_cast<int>(inData.size()), vOut.data(), &vLength);
  EXPECT_EQ(vOut[vLength], '#') << "wrote past the reported length";
  return std::string(vOut.data(), static_cast<size_t>(vLength));
}

std::string unbase64(const std::string& inText) {
  std::vector<char> vOut(3 * ((inText.size() + 3) / 4) + 8, '#');
  int vLength = -1;
  QpBase64::decode(inText.data(), static_cast<int>(inText.size()), vOut.data(), &vLength);
  EXPECT_EQ(vOut[vLength], '#') << "wrote past the reported length";
  return std::string(vOut.data(), static_cast<size_t>(vLength));
}

// ---- Base32 ------------------------------------------------------------------------------------

// Derived bit by bit from the alphabet "ybndrfg8ejkmcpqxot1uwisza345h769".
TEST(QpBase32Test, KnownTexts) {
  const struct {
    std::string mBytes;
    const char* mText;
  } kCases[] = {
      {std::string(), "Z"},
      {std::string(1, '\0'), "Zyy"},
      {"\xFF", "Z9h"},
      {"\x80", "Zoy"},
      {"a", "Zcr"},
      {"abc", "Zcftgg"},
      {"\x01\x23\x45\x67\x89", "Zyrtwk3hj"},
      {std::string(5, '\xFF'), "Z99999999"},
      {std::string(6, '\0'), "Zyyyyyyyyyy"},
      {"hello world", "Zpb1sa5dxrb5s6hucco"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.mText);
    EXPECT_EQ(qpTake(QpBase32::encode(c.mBytes.data(), static_cast<int>(c.mBytes.size()))),
              c.mText);
    char* vBytes = QpBase32::decode(c.mText);
    EXPECT_EQ(std::string(vBytes, c.mBytes.size() + 1), c.mBytes + '\0');
    qp_free(vBytes);
  }
  EXPECT_EQ(qpTake(QpBase32::encode("abc")), "Zcftgg");
  EXPECT_EQ(qpTake(QpBase32::encode("abc", -3)), "Z");
}

TEST(QpBase32Test, RoundTripsEveryLengthUpTo300) {
  std::mt19937 vRng(32);
  for (int n = 0; n <= 300; ++n) {
    const std::string vData = randomBytes(vRng, static_cast<size_t>(n));
    char* vText = QpBase32::encode(vData.data(), n);
    const size_t vLength = qp_strlen(vText);
    ASSERT_EQ(vLength, 1 + static_cast<size_t>((8 * n + 4) / 5)) << n;
    char* vBack = QpBase32::decode(vText);
    EXPECT_EQ(std::string(vBack, static_cast<size_t>(n) + 1), vData + '\0') << n;
    qp_free(vBack);
    qp_free(vText);
  }
}

TEST(QpBase32Test, DecodeReadsOnlyWholeBytes) {
  EXPECT_EQ(qpTake(QpBase32::decode(nullptr, 0)), "");
  EXPECT_EQ(qpTake(QpBase32::decode("Zc")), "");  // five bits make no byte
  // The explicit length wins over the terminator; a third digit adds only fill bits.
  EXPECT_EQ(qpTake(QpBase32::decode("Zcftgg", 4)), "a");
  EXPECT_EQ(qpTake(QpBase32::decode("Zcftgg", 5)), "ab");
  // A digit beyond the whole bytes is not read at all, so it is not checked either.
  EXPECT_EQ(qpTake(QpBase32::decode("Zcr!")), "a");
  // Non-zero fill bits in the last digit are dropped.
  EXPECT_EQ(qpTake(QpBase32::decode("Zc8")), "a");
}

TEST(QpBase32Test, ForeignTextIsRefusedAndOutOfMemoryRaises) {
  // Bytes outside the alphabet would otherwise inject the table's 0xFF into the result.
  for (const char* vText : {"Yyy", "y", "Zy!", "ZyY", "Zyyyyyyy\x01yy"}) {
    EXPECT_QP_THROW(QpBase32::decode(vText), QpParameterException,
                    vText[0] != 'Z' ? "Base32 text does not start with Z"
                                    : "Base32 text holds a character outside the alphabet");
  }
  for (const char* vText : {"", "hello world"}) {
    EXPECT_EQ(qpWalkAllocations([&] { qp_free(QpBase32::encode(vText)); }, [] {}), 1);
    char* vEncoded = QpBase32::encode(vText);
    EXPECT_EQ(qpWalkAllocations([&] { qp_free(QpBase32::decode(vEncoded)); }, [] {}), 1);
    qp_free(vEncoded);
  }
  StFaultArm vArm(0);
  EXPECT_QP_THROW(QpBase32::encode("abc"), QpOutOfMemException, nullptr);
}

// ---- Base64 ------------------------------------------------------------------------------------

TEST(QpBase64Test, Rfc4648Vectors) {
  const char* kPairs[][2] = {{"", ""},
                             {"f", "Zg=="},
                             {"fo", "Zm8="},
                             {"foo", "Zm9v"},
                             {"foob", "Zm9vYg=="},
                             {"fooba", "Zm9vYmE="},
                             {"foobar", "Zm9vYmFy"}};
  for (const auto& p : kPairs) {
    EXPECT_EQ(base64(p[0]), p[1]);
    EXPECT_EQ(unbase64(p[1]), p[0]);
  }
  // A negative length writes nothing either.
  int vLength = -1;
  char vOut[4] = {'#', '#', '#', '#'};
  QpBase64::encode("abc", -1, vOut, &vLength);
  EXPECT_EQ(vLength, 0);
  EXPECT_EQ(vOut[0], '#');
}

TEST(QpBase64Test, DecodeSkipsEverythingOutsideTheAlphabet) {
  EXPECT_EQ(unbase64("Y Q = ="), "a");
  EXPECT_EQ(unbase64("\x80Zm\xFF-9v*"), "foo");
  EXPECT_EQ(unbase64("Y"), "");
  // Padding is not a boundary: it is skipped like any other foreign byte.
  EXPECT_EQ(unbase64("YQ==YQ=="), std::string("a\x06\x10", 3));
  // The length bounds the read, not a terminator.
  EXPECT_EQ(unbase64(std::string("Zm9v\0Zm9v", 9)), "foofoo");
  int vLength = -1;
  QpBase64::decode(nullptr, 0, nullptr, &vLength);
  EXPECT_EQ(vLength, 0);
}

#if defined(QP_HAVE_OPENSSL)
TEST(QpBase64Test, AgreesWithOpenSsl) {
  std::mt19937 vRng(4648);
  for (int vRound = 0; vRound < 2000; ++vRound) {
    const std::string vData = randomBytes(vRng, vRng() % 400);
    std::vector<unsigned char> vTheirs(4 * ((vData.size() + 2) / 3) + 1);
    const int vTheirLength =
        EVP_EncodeBlock(vTheirs.data(), reinterpret_cast<const unsigned char*>(vData.data()),
                        static_cast<int>(vData.size()));
    const std::string vOurs = base64(vData);
    ASSERT_EQ(vOurs, std::string(reinterpret_cast<char*>(vTheirs.data()),
                                 static_cast<size_t>(vTheirLength)));

    // Their line-wrapped form decodes to the same bytes: the line breaks are skipped.
    EVP_ENCODE_CTX* vCtx = EVP_ENCODE_CTX_new();
    ASSERT_NE(vCtx, nullptr);
    std::vector<unsigned char> vWrapped(2 * vData.size() + 80);
    int vPart = 0, vTotal = 0;
    EVP_EncodeInit(vCtx);
    EVP_EncodeUpdate(vCtx, vWrapped.data(), &vPart,
                     reinterpret_cast<const unsigned char*>(vData.data()),
                     static_cast<int>(vData.size()));
    vTotal = vPart;
    EVP_EncodeFinal(vCtx, vWrapped.data() + vTotal, &vPart);
    vTotal += vPart;
    EVP_ENCODE_CTX_free(vCtx);
    EXPECT_EQ(unbase64(std::string(reinterpret_cast<char*>(vWrapped.data()),
                                   static_cast<size_t>(vTotal))),
              vData);

    // Unpadded alphabet-only texts of whole quadruples decode byte for byte as theirs do.
    std::string vText(4 * (vRng() % 60), 'A');
    for (char& c : vText) {
      c = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"[vRng() % 64];
    }
    std::vector<unsigned char> vDecoded(vText.size() + 1);
    const int vDecodedLength =
        EVP_DecodeBlock(vDecoded.data(), reinterpret_cast<const unsigned char*>(vText.data()),
                        static_cast<int>(vText.size()));
    ASSERT_EQ(unbase64(vText), std::string(reinterpret_cast<char*>(vDecoded.data()),
                                           static_cast<size_t>(vDecodedLength)));
  }
}
#endif

}  // namespace
