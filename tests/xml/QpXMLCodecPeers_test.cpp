// Differential tests of the text conversions and of the XML name rule against independent
// implementations: iconv for the Unicode encodings, libxml2 for the character classes of names.
// Conversions are compared on valid text only, where every correct implementation gives the same
// units; malformed input is the library's own choice, pinned down in QpXMLCodec_test.cpp.
#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"
#include "QpXMLCodecHooks.h"

#if defined(QP_HAVE_LIBXML2)
#include <libxml/chvalid.h>
#include <libxml/parserInternals.h>
#endif

namespace {

typedef std::vector<int> Cps;
typedef std::vector<unsigned short> Units;
typedef std::vector<char> Bytes;

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the peers are asked for LE units");

const unsigned kSeed = 0x5EED7;
const int kTexts = 3000;

// Runs inBody at every vector level this processor has, the character-by-character one first.
void atEveryLevel(const std::function<void()>& inBody) {
  for (int vLevel = QP_SIMD_SCALAR; vLevel <= QP_SIMD_AVX512; ++vLevel) {
    StXMLCodecSimdLevel vForce(vLevel);
    if (!vForce.ok()) continue;
    SCOPED_TRACE(testing::Message() << "vector level " << vLevel);
    inBody();
  }
}

int uniform(std::mt19937& ioGen, int inLow, int inHigh) {
  return std::uniform_int_distribution<int>(inLow, inHigh)(ioGen);
}

// Texts of up to 200 valid characters no higher than inMax, the first one empty. The buckets make
// every UTF-8 and UTF-16 length frequent, and the edges of each length come up on their own.
std::vector<Cps> makeCorpus(unsigned inSeed, int inMax, int inCount = kTexts) {
  static const int kEdges[] = {0x9,   0xA,   0xD,    0x20,   0x7F,   0x80,    0xFF,    0x100,
                               0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFD, 0x10000, 0x10FFFF};
  static const int kBuckets[][2] = {
      {0x20, 0x7F}, {0x80, 0xFF}, {0x100, 0xFFFD}, {0x10000, 0x10FFFF}};
  std::mt19937 vGen(inSeed);
  std::vector<Cps> vTexts(inCount);
  for (int i = 1; i < inCount; ++i) {
    for (int vLength = uniform(vGen, 0, 200); static_cast<int>(vTexts[i].size()) < vLength;) {
      const int vBucket = uniform(vGen, 0, 4);
      const int vCp = vBucket == 4 ? kEdges[uniform(vGen, 0, 14)]
                                   : uniform(vGen, kBuckets[vBucket][0], kBuckets[vBucket][1]);
      if (vCp <= inMax && (vCp < 0xD800 || vCp > 0xDFFF)) vTexts[i].push_back(vCp);
    }
  }
  return vTexts;
}

// Runs one conversion, up to a terminating zero or with an explicit length over a copy that has
// no terminator at all, so that a read past the length shows under the sanitizer.
template <class S, class T>
std::vector<T> convert(T* (*inFn)(const S*, int, unsigned char, unsigned char),
                       const std::vector<S>& inText, bool inExplicit, unsigned char inValidate) {
  std::unique_ptr<S[]> vCopy(new S[inText.size() + (inExplicit ? 0 : 1)]);
  std::copy(inText.begin(), inText.end(), vCopy.get());
  if (!inExplicit) vCopy[inText.size()] = 0;
  T* vResult = inFn(vCopy.get(), inExplicit ? static_cast<int>(inText.size()) : -1, inValidate, 0);
  std::vector<T> vOut;
  for (size_t i = 0; vResult[i] != 0; ++i) vOut.push_back(vResult[i]);
  qp_free(vResult);
  return vOut;
}

// Converts with iconv; false when it meets an invalid or cut sequence.
bool iconvRun(const char* inTo, const char* inFrom, const std::string& inIn,
              std::string* outOut = nullptr) {
  const iconv_t vCd = iconv_open(inTo, inFrom);
  EXPECT_NE(vCd, reinterpret_cast<iconv_t>(-1)) << inFrom << " -> " << inTo;
  std::string vOut(inIn.size() * 4 + 16, '\0');
  char *vIn = const_cast<char*>(inIn.data()), *vDst = &vOut[0];
  size_t vInLeft = inIn.size(), vOutLeft = vOut.size();
  const bool vOk = iconv(vCd, &vIn, &vInLeft, &vDst, &vOutLeft) != static_cast<size_t>(-1);
  iconv_close(vCd);
  if (outOut != nullptr) *outOut = vOut.substr(0, vOut.size() - vOutLeft);
  return vOk;
}

// The peer's conversion of inIn, as units of T.
template <class T, class S>
std::vector<T> iconvUnits(const char* inTo, const char* inFrom, const std::vector<S>& inIn) {
  const std::string vIn(reinterpret_cast<const char*>(inIn.data()), inIn.size() * sizeof(S));
  std::string vOut;
  EXPECT_TRUE(iconvRun(inTo, inFrom, vIn, &vOut)) << testing::PrintToString(vIn);
  std::vector<T> vUnits(vOut.size() / sizeof(T));
  if (!vUnits.empty()) std::memcpy(vUnits.data(), vOut.data(), vUnits.size() * sizeof(T));
  return vUnits;
}

// The library must give iconv's forms of the text from each other, with and without validation
// (valid text leaves the flags nothing to do), with either way of giving the length; Latin-1 too
// when every character fits, its bytes being the code points.
void expectLibraryAgrees(const Cps& inText) {
  const Bytes vUtf8 = iconvUnits<char>("UTF-8", "UTF-32LE", inText);
  const Units vUtf16 = iconvUnits<unsigned short>("UTF-16LE", "UTF-8", vUtf8);
  const Cps vUcs4 = iconvUnits<int>("UTF-32LE", "UTF-8", vUtf8);
  const std::string vText(vUtf8.begin(), vUtf8.end());
  const bool vLatin1 = std::all_of(inText.begin(), inText.end(), [](int c) { return c <= 0xFF; });
  const Bytes vLatin1Text(inText.begin(), inText.end());
  for (unsigned char vValidate : {0, 1}) {
    for (bool vExplicit : {false, true}) {
      SCOPED_TRACE(testing::Message() << "validate " << int(vValidate) << " explicit length "
                                      << vExplicit << " text " << testing::PrintToString(vText));
      EXPECT_EQ(convert(QpConvertUTF8ToUTF16, vUtf8, vExplicit, vValidate), vUtf16);
      EXPECT_EQ(convert(QpConvertUTF8ToUCS4, vUtf8, vExplicit, vValidate), vUcs4);
      EXPECT_EQ(convert(QpConvertUTF16ToUTF8, vUtf16, vExplicit, vValidate), vUtf8);
      EXPECT_EQ(convert(QpConvertUTF16ToUCS4, vUtf16, vExplicit, vValidate), vUcs4);
      EXPECT_EQ(convert(QpConvertUCS4ToUTF8, vUcs4, vExplicit, vValidate), vUtf8);
      EXPECT_EQ(convert(QpConvertUCS4ToUTF16, vUcs4, vExplicit, vValidate), vUtf16);
      EXPECT_EQ(QpCountCharacters(vText.c_str(), vExplicit ? static_cast<int>(vText.size()) : -1,
                                  vValidate, 0),
                static_cast<int>(vUcs4.size()));
      if (!vLatin1) continue;
      EXPECT_EQ(convert(QpConvertLatin1ToUTF8, vLatin1Text, vExplicit, vValidate), vUtf8);
      EXPECT_EQ(convert(QpConvertUTF8ToLatin1, vUtf8, vExplicit, vValidate), vLatin1Text);
    }
  }
}

}  // namespace

TEST(QpXMLCodecPeers, ConversionsAgreeWithIconv) {
  atEveryLevel([&] {
    for (int vMax : {0x10FFFF, 0xFF}) {  // the second corpus is all Latin-1
      for (const Cps& vText : makeCorpus(kSeed + vMax, vMax)) {
        expectLibraryAgrees(vText);
        if (HasFailure()) return;  // one text is enough to look at
      }
    }
  });
}

// Random bytes for the validity test: pieces that make every decision of a UTF-8 decoder likely
// (well-formed sequences at the edges of each length, overlong and out-of-range forms, bare
// continuation bytes, cut sequences, controls and zero), and random single bytes.
std::string randomBytes(std::mt19937& ioGen) {
  // clang-format off
  static const std::string kPieces[] = {
      "a", "~", "\t", "\r\n", "\x01", "\x1F", "\x7F", std::string(1, '\0'), "\x80", "\xBF",
      "\xC2\x80", "\xDF\xBF", "\xC0\xAF", "\xC1\xBF", "\xC3", "\xE2\x82", "\xF0\x9F\x98",
      "\xE0\xA0\x80", "\xE0\x9F\xBF", "\xED\x9F\xBF", "\xEE\x80\x80", "\xEF\xBF\xBE",
      "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF0\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF",
      "\xF4\x90\x80\x80", "\xF5\x80\x80\x80"};
  // clang-format on
  std::string vText;
  for (int i = uniform(ioGen, 0, 6); i > 0; --i) {
    if (uniform(ioGen, 0, 3) == 0)
      vText += static_cast<char>(uniform(ioGen, 0, 255));
    else
      vText += kPieces[uniform(ioGen, 0, static_cast<int>(std::size(kPieces)) - 1)];
  }
  return vText;
}

// Where the library knowingly parts from strict decoders: it takes lead bytes F8 to FF (five- and
// six-byte forms) and encoded surrogates (ED A0..BF) as well formed.
bool hasLibraryOnlyForms(const std::string& inBytes) {
  for (size_t i = 0; i < inBytes.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(inBytes[i]);
    if (b >= 0xF8) return true;
    if (b == 0xED && i + 1 < inBytes.size() && static_cast<unsigned char>(inBytes[i + 1]) >= 0xA0)
      return true;
  }
  return false;
}

TEST(QpXMLCodecPeers, ValidUtf8AgreesWithStrictPeersOnCommonGround) {
  atEveryLevel([&] {
    std::mt19937 vGen(kSeed + 3);
    int vCompared = 0, vAccepted = 0;
    for (int i = 0; i < 20 * kTexts && !HasFailure(); ++i) {
      const std::string vBytes = randomBytes(vGen);
      if (hasLibraryOnlyForms(vBytes)) continue;
      SCOPED_TRACE(testing::PrintToString(vBytes));
      const bool vPeerAccepts = iconvRun("UTF-32LE", "UTF-8", vBytes);
      // Beyond decoding, the library wants at least one character and no control byte (zero too).
      const bool vWant = vPeerAccepts && !vBytes.empty() &&
                         std::none_of(vBytes.begin(), vBytes.end(), [](unsigned char b) {
                           return b < 0x20 && b != 0x9 && b != 0xA && b != 0xD;
                         });
      EXPECT_EQ(QpValidUTF8(vBytes.data(), static_cast<int>(vBytes.size())), vWant);
      if (vBytes.find('\0') == std::string::npos) {
        EXPECT_EQ(QpValidUTF8(vBytes.c_str(), -1), vWant);
      }
      ++vCompared;
      vAccepted += vWant;
    }
    // Guards against a generator that drifts into testing one side only.
    EXPECT_GT(vCompared, 10 * kTexts);
    EXPECT_GT(vAccepted, vCompared / 20);
    EXPECT_LT(vAccepted, vCompared - vCompared / 20);
  });
}

#if defined(QP_HAVE_LIBXML2)
TEST(QpXMLCodecPeers, NameRulesAgreeWithLibxml2OverTheBmp) {
  // Every code point as a character, as a name of its own (the first-character rule) and after a
  // letter (the rule for the rest), encoded by libxml2. Surrogates are no name characters, and
  // newer libxml2 releases refuse to encode them.
  auto vLetter = [](unsigned int c) { return xmlIsBaseCharQ(c) || xmlIsIdeographicQ(c); };
  auto vNameChar = [&](unsigned int c) {
    return vLetter(c) || xmlIsDigitQ(c) || xmlIsCombiningQ(c) || xmlIsExtenderQ(c) || c == '.' ||
           c == '-' || c == '_' || c == ':';
  };
  for (unsigned int c = 0; c <= 0xFFFF; ++c) {
    ASSERT_EQ(QpCodepointIsValidForName(static_cast<int>(c)), vNameChar(c)) << std::hex << c;
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    xmlChar vName[8] = {'a'};
    const int vBytes = xmlCopyCharMultiByte(vName + 1, static_cast<int>(c));
    ASSERT_GT(vBytes, 0) << std::hex << c;
    const char* vText = reinterpret_cast<const char*>(vName);
    const bool vFirst = vLetter(c) || c == '_' || c == ':';
    ASSERT_EQ(QpValidUTF8ForName(vText + 1, vBytes), vFirst) << std::hex << c;
    ASSERT_EQ(QpValidUTF8ForName(vText, vBytes + 1), vNameChar(c)) << std::hex << c;
  }
}
#endif
