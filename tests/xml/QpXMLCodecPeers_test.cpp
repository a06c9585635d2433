// Differential tests of the text conversions and of the XML name rule against independent
// implementations found on the build machine: ICU and iconv for the Unicode encodings, libxml2
// for the character classes of XML names. Conversions are compared on valid text only, where
// every correct implementation must produce the same units; what the library makes of malformed
// input is its own choice and is pinned down in QpXMLCodec_test.cpp.
#include <iconv.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

#if defined(QP_HAVE_ICU)
#include <unicode/ustring.h>
#endif
#if defined(QP_HAVE_LIBXML2)
#include <libxml/chvalid.h>
#include <libxml/parserInternals.h>
#endif

namespace {

typedef std::vector<int> Cps;
typedef std::vector<unsigned short> Units;
typedef std::vector<char> Bytes;

const unsigned kSeed = 0x5EED7;
const int kTexts = 3000;
const int kMaxLength = 200;

// The XML character rule, written out here so that the generator does not lean on the library.
bool isXmlChar(int inCp) {
  return inCp == 0x9 || inCp == 0xA || inCp == 0xD || (inCp >= 0x20 && inCp <= 0xD7FF) ||
         (inCp >= 0xE000 && inCp <= 0xFFFD) || (inCp >= 0x10000 && inCp <= 0x10FFFF);
}

int uniform(std::mt19937& ioGen, int inLow, int inHigh) {
  return std::uniform_int_distribution<int>(inLow, inHigh)(ioGen);
}

// A valid character no higher than inMax. The buckets make every UTF-8 and UTF-16 length
// frequent, and the edges of each length come up on their own.
int randomCodePoint(std::mt19937& ioGen, int inMax) {
  static const int kEdges[] = {0x9,   0xA,   0xD,    0x20,   0x7F,   0x80,    0xFF,    0x100,
                               0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFD, 0x10000, 0x10FFFF};
  for (;;) {
    int vCp;
    const int vBucket = uniform(ioGen, 0, 9);
    if (vBucket == 0)
      vCp = kEdges[uniform(ioGen, 0, static_cast<int>(std::size(kEdges)) - 1)];
    else if (vBucket <= 3)
      vCp = uniform(ioGen, 0x20, 0x7F);
    else if (vBucket <= 5)
      vCp = uniform(ioGen, 0x80, 0xFF);
    else if (vBucket <= 7)
      vCp = uniform(ioGen, 0x100, 0xFFFD);
    else
      vCp = uniform(ioGen, 0x10000, 0x10FFFF);
    if (vCp <= inMax && isXmlChar(vCp)) return vCp;
  }
}

std::vector<Cps> makeCorpus(unsigned inSeed, int inMax, int inCount = kTexts) {
  std::mt19937 vGen(inSeed);
  std::vector<Cps> vTexts;
  for (int i = 0; i < inCount; ++i) {
    Cps vText(i == 0 ? 0 : uniform(vGen, 0, kMaxLength));
    for (int& c : vText) c = randomCodePoint(vGen, inMax);
    vTexts.push_back(vText);
  }
  return vTexts;
}

// Runs one conversion, either up to a terminating zero or with an explicit length over a copy
// that has no terminator at all, so that a read past the length shows under the sanitizer.
template <class S, class T>
std::vector<T> convert(T* (*inFn)(const S*, int, unsigned char, unsigned char),
                       const std::vector<S>& inText, bool inExplicit, unsigned char inValidate) {
  std::unique_ptr<S[]> vCopy(new S[inText.size() + (inExplicit ? 0 : 1)]);
  std::copy(inText.begin(), inText.end(), vCopy.get());
  if (!inExplicit) vCopy[inText.size()] = 0;
  std::vector<T> vOut;
  try {
    T* vResult =
        inFn(vCopy.get(), inExplicit ? static_cast<int>(inText.size()) : -1, inValidate, 0);
    for (size_t i = 0; vResult[i] != 0; ++i) vOut.push_back(vResult[i]);
    qp_free(vResult);
  } catch (QpException& e) {
    ADD_FAILURE() << "raised error " << e.GetErrorCode();
  }
  return vOut;
}

// One text in each of the three Unicode forms as a peer produced it, and its character count.
struct Forms {
  Bytes mUtf8;
  Units mUtf16;
  Cps mUcs4;
  int mCount;
};

// The library must give the peer's forms from each other, with and without validation (valid
// text leaves no room for the flags to matter) and with either way of giving the length.
void expectLibraryAgrees(const Forms& inPeer) {
  const std::string vUtf8(inPeer.mUtf8.begin(), inPeer.mUtf8.end());
  for (unsigned char vValidate : {0, 1}) {
    for (bool vExplicit : {false, true}) {
      SCOPED_TRACE(testing::Message() << "validate " << int(vValidate) << " explicit length "
                                      << vExplicit << " text " << testing::PrintToString(vUtf8));
      EXPECT_EQ(convert(QpConvertUTF8ToUTF16, inPeer.mUtf8, vExplicit, vValidate), inPeer.mUtf16);
      EXPECT_EQ(convert(QpConvertUTF8ToUCS4, inPeer.mUtf8, vExplicit, vValidate), inPeer.mUcs4);
      EXPECT_EQ(convert(QpConvertUTF16ToUTF8, inPeer.mUtf16, vExplicit, vValidate), inPeer.mUtf8);
      EXPECT_EQ(convert(QpConvertUTF16ToUCS4, inPeer.mUtf16, vExplicit, vValidate), inPeer.mUcs4);
      EXPECT_EQ(convert(QpConvertUCS4ToUTF8, inPeer.mUcs4, vExplicit, vValidate), inPeer.mUtf8);
      EXPECT_EQ(convert(QpConvertUCS4ToUTF16, inPeer.mUcs4, vExplicit, vValidate), inPeer.mUtf16);
      EXPECT_EQ(QpCountCharacters(vUtf8.c_str(), vExplicit ? static_cast<int>(vUtf8.size()) : -1,
                                  vValidate, 0),
                inPeer.mCount);
    }
  }
}

// ---- iconv -----------------------------------------------------------------------------------

// Little-endian byte strings, so that the tests do not depend on the host's byte order.
template <class T>
std::string packLE(const std::vector<T>& inUnits) {
  std::string vOut;
  for (T u : inUnits)
    for (size_t b = 0; b < sizeof(T); ++b)
      vOut += static_cast<char>((static_cast<unsigned>(u) >> (8 * b)) & 0xFF);
  return vOut;
}

template <class T>
std::vector<T> unpackLE(const std::string& inBytes) {
  std::vector<T> vOut(inBytes.size() / sizeof(T), 0);
  for (size_t i = 0; i < inBytes.size(); ++i)
    vOut[i / sizeof(T)] |=
        static_cast<T>(static_cast<unsigned char>(inBytes[i]) << (8 * (i % sizeof(T))));
  return vOut;
}

// One iconv descriptor. A conversion that meets an invalid or cut sequence answers false.
class Iconv {
 public:
  Iconv(const char* inTo, const char* inFrom) : mCd(iconv_open(inTo, inFrom)) {
    EXPECT_NE(mCd, reinterpret_cast<iconv_t>(-1)) << inFrom << " -> " << inTo;
  }
  ~Iconv() {
    if (mCd != reinterpret_cast<iconv_t>(-1)) iconv_close(mCd);
  }
  bool run(const std::string& inIn, std::string* outOut) {
    iconv(mCd, nullptr, nullptr, nullptr, nullptr);  // forget the state a failure left
    std::string vOut(inIn.size() * 4 + 16, '\0');
    char* vIn = const_cast<char*>(inIn.data());
    char* vDst = &vOut[0];
    size_t vInLeft = inIn.size();
    size_t vOutLeft = vOut.size();
    if (iconv(mCd, &vIn, &vInLeft, &vDst, &vOutLeft) == static_cast<size_t>(-1)) return false;
    vOut.resize(vOut.size() - vOutLeft);
    if (outOut != nullptr) *outOut = vOut;
    return true;
  }
  std::string convert(const std::string& inIn) {
    std::string vOut;
    EXPECT_TRUE(run(inIn, &vOut)) << testing::PrintToString(inIn);
    return vOut;
  }

 private:
  iconv_t mCd;
};

struct IconvPeer {
  Iconv mUcs4ToUtf8{"UTF-8", "UTF-32LE"};
  Iconv mUtf8ToUtf16{"UTF-16LE", "UTF-8"};
  Iconv mUtf8ToUcs4{"UTF-32LE", "UTF-8"};

  Forms forms(const Cps& inText) {
    Forms vForms;
    const std::string vUtf8 = mUcs4ToUtf8.convert(packLE(inText));
    vForms.mUtf8.assign(vUtf8.begin(), vUtf8.end());
    vForms.mUtf16 = unpackLE<unsigned short>(mUtf8ToUtf16.convert(vUtf8));
    vForms.mUcs4 = unpackLE<int>(mUtf8ToUcs4.convert(vUtf8));
    vForms.mCount = static_cast<int>(vForms.mUcs4.size());
    return vForms;
  }
};

// ---- ICU -------------------------------------------------------------------------------------

#if defined(QP_HAVE_ICU)
Forms icuForms(const Cps& inText) {
  Forms vForms;
  UErrorCode vErr = U_ZERO_ERROR;
  int32_t vLen = 0;
  const int32_t vCps = static_cast<int32_t>(inText.size());
  std::vector<UChar> vUtf16(2 * inText.size() + 1);
  u_strFromUTF32(vUtf16.data(), static_cast<int32_t>(vUtf16.size()), &vLen, inText.data(), vCps,
                 &vErr);
  std::vector<char> vUtf8(4 * inText.size() + 1);
  u_strToUTF8(vUtf8.data(), static_cast<int32_t>(vUtf8.size()), &vLen, vUtf16.data(), vLen, &vErr);
  vForms.mUtf8.assign(vUtf8.begin(), vUtf8.begin() + vLen);
  // Back from UTF-8, so that each of ICU's four conversions takes part.
  u_strFromUTF8(vUtf16.data(), static_cast<int32_t>(vUtf16.size()), &vLen, vUtf8.data(), vLen,
                &vErr);
  vForms.mUtf16.assign(vUtf16.begin(), vUtf16.begin() + vLen);
  vForms.mCount = u_countChar32(vUtf16.data(), vLen);
  std::vector<UChar32> vUcs4(inText.size() + 1);
  u_strToUTF32(vUcs4.data(), static_cast<int32_t>(vUcs4.size()), &vLen, vUtf16.data(), vLen, &vErr);
  vForms.mUcs4.assign(vUcs4.begin(), vUcs4.begin() + vLen);
  EXPECT_TRUE(U_SUCCESS(vErr)) << u_errorName(vErr);
  return vForms;
}

bool icuAcceptsUtf8(const std::string& inBytes) {
  std::vector<UChar> vUtf16(inBytes.size() + 1);
  UErrorCode vErr = U_ZERO_ERROR;
  int32_t vLen = 0;
  u_strFromUTF8(vUtf16.data(), static_cast<int32_t>(vUtf16.size()), &vLen, inBytes.data(),
                static_cast<int32_t>(inBytes.size()), &vErr);
  return U_SUCCESS(vErr);
}
#endif

// ---- Random bytes for the validity test -------------------------------------------------------

// Pieces that make every decision of a UTF-8 decoder likely: well-formed sequences at the edges
// of each length, overlong and out-of-range forms, bare continuation bytes, cut sequences,
// controls and zero. Random single bytes fill in the rest.
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
  const int vPieces = uniform(ioGen, 0, 6);
  for (int i = 0; i < vPieces; ++i) {
    if (uniform(ioGen, 0, 3) == 0)
      vText += static_cast<char>(uniform(ioGen, 0, 255));
    else
      vText += kPieces[uniform(ioGen, 0, static_cast<int>(std::size(kPieces)) - 1)];
  }
  return vText;
}

// Where the library's decoder knowingly parts from strict Unicode decoders: it takes lead bytes
// F8 to FF (five- and six-byte forms) and encoded surrogates (ED A0..BF) as well formed.
bool hasLibraryOnlyForms(const std::string& inBytes) {
  for (size_t i = 0; i < inBytes.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(inBytes[i]);
    if (b >= 0xF8) return true;
    if (b == 0xED && i + 1 < inBytes.size() && static_cast<unsigned char>(inBytes[i + 1]) >= 0xA0)
      return true;
  }
  return false;
}

// The character rule applies to single bytes too: a control byte (zero included) is refused.
bool hasControlByte(const std::string& inBytes) {
  return std::any_of(inBytes.begin(), inBytes.end(), [](char c) {
    const unsigned char b = static_cast<unsigned char>(c);
    return b < 0x20 && b != 0x9 && b != 0xA && b != 0xD;
  });
}

// A well-formed sequence only the library accepts: an encoded surrogate, or a five- or six-byte
// form that is not overlong.
std::string libraryOnlyForm(std::mt19937& ioGen) {
  auto vByte = [&](int inLow, int inHigh) {
    return static_cast<char>(uniform(ioGen, inLow, inHigh));
  };
  std::string vForm;
  const int vKind = uniform(ioGen, 0, 2);
  if (vKind == 0) return {'\xED', vByte(0xA0, 0xBF), vByte(0x80, 0xBF)};
  const int vLead = vKind == 1 ? uniform(ioGen, 0xF8, 0xFB) : uniform(ioGen, 0xFC, 0xFD);
  vForm += static_cast<char>(vLead);
  vForm += vByte(vLead == 0xF8 ? 0x88 : vLead == 0xFC ? 0x84 : 0x80, 0xBF);
  for (int i = vKind == 1 ? 3 : 4; i > 0; --i) vForm += vByte(0x80, 0xBF);
  return vForm;
}

}  // namespace

// ---- Conversions ---------------------------------------------------------------------------

#if defined(QP_HAVE_ICU)
TEST(QpXMLCodecPeers, ConversionsAgreeWithIcu) {
  for (const Cps& vText : makeCorpus(kSeed, 0x10FFFF)) {
    expectLibraryAgrees(icuForms(vText));
    if (HasFailure()) break;  // one text is enough to look at
  }
}
#endif

TEST(QpXMLCodecPeers, ConversionsAgreeWithIconv) {
  IconvPeer vPeer;
  for (const Cps& vText : makeCorpus(kSeed + 1, 0x10FFFF)) {
    expectLibraryAgrees(vPeer.forms(vText));
    if (HasFailure()) break;
  }
}

TEST(QpXMLCodecPeers, Latin1AgreesWithIconv) {
  IconvPeer vPeer;
  Iconv vToLatin1("ISO-8859-1", "UTF-8");
  Iconv vFromLatin1("UTF-8", "ISO-8859-1");
  for (const Cps& vText : makeCorpus(kSeed + 2, 0xFF)) {
    const std::string vUtf8 = vPeer.mUcs4ToUtf8.convert(packLE(vText));
    const std::string vLatin1 = vToLatin1.convert(vUtf8);
    ASSERT_EQ(vFromLatin1.convert(vLatin1), vUtf8);
    const Bytes vUtf8Units(vUtf8.begin(), vUtf8.end());
    const Bytes vLatin1Units(vLatin1.begin(), vLatin1.end());
    for (unsigned char vValidate : {0, 1}) {
      for (bool vExplicit : {false, true}) {
        SCOPED_TRACE(testing::PrintToString(vUtf8));
        EXPECT_EQ(convert(QpConvertLatin1ToUTF8, vLatin1Units, vExplicit, vValidate), vUtf8Units);
        EXPECT_EQ(convert(QpConvertUTF8ToLatin1, vUtf8Units, vExplicit, vValidate), vLatin1Units);
      }
    }
    if (HasFailure()) break;
  }
}

// ---- UTF-8 validity --------------------------------------------------------------------------

TEST(QpXMLCodecPeers, ValidUtf8AgreesWithStrictPeersOnCommonGround) {
  std::mt19937 vGen(kSeed + 3);
  Iconv vStrict("UTF-32LE", "UTF-8");
  int vCompared = 0;
  int vAccepted = 0;
  for (int i = 0; i < 20 * kTexts && !HasFailure(); ++i) {
    const std::string vBytes = randomBytes(vGen);
    if (hasLibraryOnlyForms(vBytes)) continue;
    SCOPED_TRACE(testing::PrintToString(vBytes));
    const bool vPeerAccepts = vStrict.run(vBytes, nullptr);
#if defined(QP_HAVE_ICU)
    EXPECT_EQ(icuAcceptsUtf8(vBytes), vPeerAccepts) << "the peers disagree";
#endif
    // Beyond decoding, the library wants at least one character and no control byte.
    const bool vWant = vPeerAccepts && !vBytes.empty() && !hasControlByte(vBytes);
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
}

TEST(QpXMLCodecPeers, LibraryOnlyFormsStayValidWherePeersRefuse) {
  std::mt19937 vGen(kSeed + 4);
  IconvPeer vPeer;
  for (const Cps& vText : makeCorpus(kSeed + 5, 0x10FFFF, 300)) {
    std::string vBytes;
    int vInserted = 0;
    for (int c : vText) {
      if (uniform(vGen, 0, 15) == 0) {
        vBytes += libraryOnlyForm(vGen);
        ++vInserted;
      }
      vBytes += vPeer.mUcs4ToUtf8.convert(packLE(Cps{c}));
    }
    if (vInserted == 0) continue;
    SCOPED_TRACE(testing::PrintToString(vBytes));
    const int vLength = static_cast<int>(vBytes.size());
    EXPECT_EQ(QpValidUTF8(vBytes.data(), vLength), 1);
    // Each inserted form is one character; everything around it is the peer's own UTF-8.
    EXPECT_EQ(QpCountCharacters(vBytes.data(), vLength, 1, 0),
              static_cast<int>(vText.size()) + vInserted);
    EXPECT_FALSE(vPeer.mUtf8ToUcs4.run(vBytes, nullptr));
#if defined(QP_HAVE_ICU)
    EXPECT_FALSE(icuAcceptsUtf8(vBytes));
#endif
    if (HasFailure()) break;
  }
}

// ---- XML names -------------------------------------------------------------------------------

#if defined(QP_HAVE_LIBXML2)
namespace {

bool libxmlLetter(unsigned int inCp) {
  return xmlIsBaseCharQ(inCp) || xmlIsIdeographicQ(inCp);
}

bool libxmlNameChar(unsigned int inCp) {
  return libxmlLetter(inCp) || xmlIsDigitQ(inCp) || xmlIsCombiningQ(inCp) || xmlIsExtenderQ(inCp) ||
         inCp == '.' || inCp == '-' || inCp == '_' || inCp == ':';
}

}  // namespace

TEST(QpXMLCodecPeers, NameCharacterRuleAgreesWithLibxml2OverTheBmp) {
  for (unsigned int c = 0; c <= 0xFFFF; ++c)
    ASSERT_EQ(QpCodepointIsValidForName(static_cast<int>(c)), libxmlNameChar(c)) << std::hex << c;
}

TEST(QpXMLCodecPeers, NameTextsAgreeWithLibxml2OverTheBmp) {
  // Every code point as a name of its own (the first-character rule) and after a letter (the
  // rule for the rest), encoded by libxml2. Surrogates are left out: they are no name
  // characters, and newer libxml2 releases refuse to encode them.
  for (unsigned int c = 0; c <= 0xFFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    xmlChar vName[8] = {'a'};
    const int vBytes = xmlCopyCharMultiByte(vName + 1, static_cast<int>(c));
    ASSERT_GT(vBytes, 0) << std::hex << c;
    const char* vText = reinterpret_cast<const char*>(vName);
    const bool vFirst = libxmlLetter(c) || c == '_' || c == ':';
    ASSERT_EQ(QpValidUTF8ForName(vText + 1, vBytes), vFirst) << std::hex << c;
    ASSERT_EQ(QpValidUTF8ForName(vText, vBytes + 1), libxmlNameChar(c)) << std::hex << c;
  }
}
#endif
