// Tests of the text conversions and the XML character checks.
#include <climits>
#include <string>
#include <vector>

#include "QpFaultInjection.h"
#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

typedef std::vector<int> Cps;
typedef std::vector<unsigned short> Units;

// Takes a zero-terminated result and frees it.
template <class T>
std::vector<T> takeUnits(T* inResult) {
  std::vector<T> v;
  if (inResult == nullptr) {
    ADD_FAILURE() << "null result";
    return v;
  }
  for (size_t i = 0; inResult[i] != 0; ++i) v.push_back(inResult[i]);
  qp_free(inResult);
  return v;
}

// Takes exactly inCount units (results may hold zero units) and checks the terminator.
template <class T>
std::vector<T> takeCount(T* inResult, size_t inCount) {
  std::vector<T> v(inResult, inResult + inCount);
  EXPECT_EQ(inResult[inCount], 0) << "result not terminated after " << inCount << " units";
  qp_free(inResult);
  return v;
}

std::string takeBytes(char* inResult) {
  if (inResult == nullptr) return "<null>";
  std::string s(inResult);
  qp_free(inResult);
  return s;
}

int len(const std::string& inText) {
  return static_cast<int>(inText.size());
}

// The four flag combinations, named by what malformed UTF-8 turns into under them.
enum Mode { kLenient = 0, kLenientAllow = 1, kPassThrough = 2, kStrict = 3 };
const unsigned char kValidate[] = {0, 0, 1, 1};
const unsigned char kAllow[] = {0, 1, 1, 0};

Cps decode8(const std::string& inText, Mode inMode) {
  return takeUnits(
      QpConvertUTF8ToUCS4(inText.data(), len(inText), kValidate[inMode], kAllow[inMode]));
}

int count8(const std::string& inText, Mode inMode) {
  return QpCountCharacters(inText.data(), len(inText), kValidate[inMode], kAllow[inMode]);
}

// The strict outcome of a malformed text: every strict reader refuses it.
void expectStrictRefused(const std::string& inText) {
  SCOPED_TRACE(testing::PrintToString(inText));
  EXPECT_QP_THROW(qp_free(QpConvertUTF8ToUCS4(inText.data(), len(inText), 1, 0)),
                  QpInvalidXMLException, nullptr);
  EXPECT_QP_THROW(QpCountCharacters(inText.data(), len(inText), 1, 0), QpInvalidXMLException,
                  nullptr);
  EXPECT_EQ(QpValidUTF8(inText.data(), len(inText)), 0);
}

// One malformed-input class of the UTF-8 decoder and what each mode makes of it.
struct Malformed {
  const char* mName;
  std::string mText;
  Cps mLenient;      // validate off (allowInvalid makes no difference for malformed bytes)
  Cps mPassThrough;  // validate and allowInvalid
};

}  // namespace

// ---- Character rules -----------------------------------------------------------------------

TEST(QpXMLCodecRules, CharacterRuleBoundaries) {
  const int kValid[] = {0x9, 0xA, 0xD, 0x20, 0x7F, 0xD7FF, 0xE000, 0xFFFD, 0x10000, 0x10FFFF};
  const int kInvalid[] = {INT_MIN, -1,     0,      0x8,    0xB,    0xC,      0xE,
                          0x1F,    0xD800, 0xDFFF, 0xFFFE, 0xFFFF, 0x110000, INT_MAX};
  for (int c : kValid) EXPECT_TRUE(QpCodepointIsValid(c)) << std::hex << c;
  for (int c : kInvalid) EXPECT_FALSE(QpCodepointIsValid(c)) << std::hex << c;
}

TEST(QpXMLCodecRules, NameRuleCoversEachProductionAtItsEdges) {
  // Each pair: a code point and whether it is a name character. Taken at the edges of ranges of
  // every production (BaseChar, Ideographic, Digit, CombiningChar, Extender) and of the gaps
  // between them.
  const struct {
    int mCp;
    bool mName;
  } kCases[] = {
      {'A', true},    {'Z', true},     {'@', false},    {'[', false},     {'a', true},
      {'z', true},    {'{', false},    {'0', true},     {'9', true},      {'/', false},
      {'.', true},    {'-', true},     {'_', true},     {':', true},      {' ', false},
      {'#', false},   {0xB7, true},    {0xC0, true},    {0xD6, true},     {0xD7, false},
      {0xD8, true},   {0xF7, false},   {0xFF, true},    {0x131, true},    {0x132, false},
      {0x133, false}, {0x134, true},   {0x2BB, true},   {0x2C1, true},    {0x2C2, false},
      {0x2D0, true},  {0x2D1, true},   {0x2D2, false},  {0x300, true},    {0x345, true},
      {0x346, false}, {0x386, true},   {0x387, true},   {0x38B, false},   {0x3F4, false},
      {0x640, true},  {0x660, true},   {0x669, true},   {0x66A, false},   {0x6DC, true},
      {0x6DD, true},  {0x6DF, true},   {0x6E0, true},   {0x6E9, false},   {0x9BE, true},
      {0x9BF, true},  {0x9C0, true},   {0xE46, true},   {0xEC6, true},    {0xF29, true},
      {0xF2A, false}, {0x20D0, true},  {0x20DC, true},  {0x20DD, false},  {0x20E1, true},
      {0x2126, true}, {0x2127, false}, {0x3005, true},  {0x3006, false},  {0x3007, true},
      {0x3021, true}, {0x3029, true},  {0x302A, true},  {0x302F, true},   {0x3030, false},
      {0x3031, true}, {0x3035, true},  {0x3036, false}, {0x3099, true},   {0x309A, true},
      {0x309D, true}, {0x309E, true},  {0x30FE, true},  {0x30FF, false},  {0x4DFF, false},
      {0x4E00, true}, {0x9FA5, true},  {0x9FA6, false}, {0xABFF, false},  {0xAC00, true},
      {0xD7A3, true}, {0xD7A4, false}, {0xFFFE, false}, {0x10000, false}, {-1, false},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(QpCodepointIsValidForName(c.mCp), c.mName) << std::hex << c.mCp;
}

TEST(QpXMLCodecRules, NameTextsFollowTheNameRules) {
  const char* kValid[] = {"name",         "_x",        "xm",        "x",
                          ":a",           "xm1",       "a-b.c_d:e", "\xC3\xA9t\xC3\xA9",
                          "\xE4\xB8\x80", "a\xCC\x80", "a\xC2\xB7", "\xE3\x80\x87x"};
  const char* kInvalid[] = {"xmlfoo", "XmL",  "xMl",      "XML",          "xml",   "1abc",
                            "",       "-a",   ".a",       "a b",          "a\x80", "\xCC\x80.",
                            "a/b",    "\xC3", "\xC2\xB7", "a\xEF\xBF\xBF"};
  for (const char* t : kValid) EXPECT_EQ(QpValidUTF8ForName(t, -1), 1) << t;
  for (const char* t : kInvalid) EXPECT_EQ(QpValidUTF8ForName(t, -1), 0) << t;
  EXPECT_EQ(QpValidUTF8ForName("xmlns", 2), 1);  // the length cuts it to "xm"
  EXPECT_EQ(QpValidUTF8ForName(nullptr, -1), 0);
}

TEST(QpXMLCodecRules, ValidityTests) {
  const int kEmpty[] = {0};
  const int kGood[] = {0x41, 0x10FFFF, 0};
  const int kBad[] = {0x41, 0xFFFE, 0};
  const int kZeroInside[] = {0x41, 0, 0x42};
  EXPECT_EQ(QpValidUCS(kEmpty, -1), 1);
  EXPECT_EQ(QpValidUCS(kGood, 0), 1);
  EXPECT_EQ(QpValidUCS(kGood, -1), 1);
  EXPECT_EQ(QpValidUCS(kBad, -1), 0);
  EXPECT_EQ(QpValidUCS(kBad, 1), 1);
  EXPECT_EQ(QpValidUCS(kZeroInside, -1), 1);
  EXPECT_EQ(QpValidUCS(kZeroInside, 3), 0);
  EXPECT_EQ(QpValidUCS(nullptr, -1), 0);

  EXPECT_EQ(QpValidUTF8("", -1), 0);
  EXPECT_EQ(QpValidUTF8("abc", 0), 0);
  EXPECT_EQ(QpValidUTF8("A", -1), 1);
  EXPECT_EQ(QpValidUTF8("A\xC3\xA9\xF0\x9F\x98\x80", -1), 1);
  EXPECT_EQ(QpValidUTF8("\xC3\xA9", 1), 0);  // the length cuts the sequence
  EXPECT_EQ(QpValidUTF8("a\tb\r\n", -1), 1);
  EXPECT_EQ(QpValidUTF8("a\x01", -1), 0);
  EXPECT_EQ(QpValidUTF8(nullptr, -1), 0);
  // Only the decoding is judged: well-formed sequences of a surrogate and of U+FFFF pass.
  EXPECT_EQ(QpValidUTF8("\xED\xA0\x80", -1), 1);
  EXPECT_EQ(QpValidUTF8("\xEF\xBF\xBF", -1), 1);
}

// ---- UTF-8 decoding ------------------------------------------------------------------------

TEST(QpXMLCodecUtf8, WellFormedSequencesAtTheirBoundaries) {
  EXPECT_EQ(decode8("A\xC3\xA9", kStrict), (Cps{0x41, 0xE9}));
  int* r = QpConvertUTF8ToUCS4("A\xC3\xA9", -1, 0, 0);
  EXPECT_EQ(takeCount(r, 2), (Cps{0x41, 0xE9}));

  const struct {
    std::string mText;
    int mCp;
  } kCases[] = {
      {"\x7F", 0x7F},
      {"\xC2\x80", 0x80},
      {"\xDF\xBF", 0x7FF},
      {"\xE0\xA0\x80", 0x800},
      {"\xED\x9F\xBF", 0xD7FF},
      {"\xEE\x80\x80", 0xE000},
      {"\xEF\xBF\xBD", 0xFFFD},
      {"\xF0\x90\x80\x80", 0x10000},
      {"\xF4\x8F\xBF\xBF", 0x10FFFF},
  };
  for (const auto& c : kCases) {
    for (Mode m : {kLenient, kLenientAllow, kPassThrough, kStrict})
      EXPECT_EQ(decode8(c.mText, m), Cps{c.mCp}) << std::hex << c.mCp << " mode " << m;
    EXPECT_EQ(count8(c.mText, kStrict), 1);
  }
}

TEST(QpXMLCodecUtf8, SequencesBeyondUnicodeDecodeButFailTheCharacterCheck) {
  // Five- and six-byte forms and the surrogate and non-character forms are well formed: they
  // decode in every mode and are counted, and only the character check of validation refuses.
  const struct {
    std::string mText;
    int mCp;
  } kCases[] = {
      {"\xED\xA0\x80", 0xD800},
      {"\xED\xBF\xBF", 0xDFFF},
      {"\xEF\xBF\xBE", 0xFFFE},
      {"\xEF\xBF\xBF", 0xFFFF},
      {"\xF8\x88\x80\x80\x80", 0x200000},
      {"\xFB\xBF\xBF\xBF\xBF", 0x3FFFFFF},
      {"\xFC\x84\x80\x80\x80\x80", 0x4000000},
      {"\xFD\xBF\xBF\xBF\xBF\xBF", 0x7FFFFFFF},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.mCp);
    EXPECT_EQ(decode8(c.mText, kLenient), Cps{c.mCp});
    EXPECT_EQ(decode8(c.mText, kPassThrough), Cps{c.mCp});
    EXPECT_EQ(count8(c.mText, kStrict), 1);
    EXPECT_QP_THROW(qp_free(QpConvertUTF8ToUCS4(c.mText.data(), len(c.mText), 1, 0)),
                    QpInvalidXMLException, nullptr);
  }
}

TEST(QpXMLCodecUtf8, EveryMalformedClassInEveryMode) {
  const Cps kSp{0x20};
  const Malformed kCases[] = {
      // A continuation byte or C0/C1 where a character should start: one byte each.
      {"lone continuation", "\x80", kSp, {0x80}},
      {"continuation run", "\x80\xBF", {0x20, 0x20}, {0x80, 0xBF}},
      {"overlong lead C0", "\xC0\xAF", {0x20, 0x20}, {0xC0, 0xAF}},
      {"overlong lead C1", "\xC1\xBF", {0x20, 0x20}, {0xC1, 0xBF}},
      // Overlong forms after E0, F0, F8, FC: the lenient space swallows the whole sequence.
      {"overlong E0", "\xE0\x80\x80", kSp, {0xE0, 0x80, 0x80}},
      {"overlong E0 edge", "\xE0\x9F\xBF", kSp, {0xE0, 0x9F, 0xBF}},
      {"overlong F0", "\xF0\x8F\xBF\xBF", kSp, {0xF0, 0x8F, 0xBF, 0xBF}},
      {"overlong F8", "\xF8\x87\xBF\xBF\xBF", kSp, {0xF8, 0x87, 0xBF, 0xBF, 0xBF}},
      {"overlong FC", "\xFC\x83\xBF\xBF\xBF\xBF", kSp, {0xFC, 0x83, 0xBF, 0xBF, 0xBF, 0xBF}},
      // Above U+10FFFF in four bytes.
      {"F4 above 10FFFF", "\xF4\x90\x80\x80", kSp, {0xF4, 0x90, 0x80, 0x80}},
      {"F5 lead", "\xF5\x80\x80\x80", kSp, {0xF5, 0x80, 0x80, 0x80}},
      {"F7 lead",
       "\xF7\xBF\xBF\xBF"
       "A",
       {0x20, 0x41},
       {0xF7, 0xBF, 0xBF, 0xBF, 0x41}},
      // A wrong following byte: leniently the announced length is used up.
      {"wrong second of two",
       "\xC3\x41"
       "B",
       {0x20, 0x42},
       {0xC3, 0x41, 0x42}},
      {"wrong third of three",
       "\xE3\x81\x41"
       "B",
       {0x20, 0x42},
       {0xE3, 0x81, 0x41, 0x42}},
      {"wrong last of four", "\xF0\x9F\x98\xC3\xA9", {0x20, 0x20}, {0xF0, 0x9F, 0x98, 0xE9}},
      {"lead as follower", "\xC3\xC3\xA9", {0x20, 0x20}, {0xC3, 0xE9}},
      // Cut short by the end of the text: leniently one space for what is left.
      {"cut two", "\xC3", kSp, {0xC3}},
      {"cut three", "A\xE3\x81", {0x41, 0x20}, {0x41, 0xE3, 0x81}},
      {"cut four", "\xF0\x9F\x98", kSp, {0xF0, 0x9F, 0x98}},
      {"cut six", "\xFC\x84\x80\x80\x80", kSp, {0xFC, 0x84, 0x80, 0x80, 0x80}},
  };
  for (const Malformed& c : kCases) {
    SCOPED_TRACE(c.mName);
    EXPECT_EQ(decode8(c.mText, kLenient), c.mLenient);
    EXPECT_EQ(decode8(c.mText, kLenientAllow), c.mLenient);
    EXPECT_EQ(decode8(c.mText, kPassThrough), c.mPassThrough);
    EXPECT_EQ(count8(c.mText, kLenient), static_cast<int>(c.mLenient.size()));
    EXPECT_EQ(count8(c.mText, kPassThrough), static_cast<int>(c.mPassThrough.size()));
    expectStrictRefused(c.mText);
  }
}

TEST(QpXMLCodecUtf8, ControlCharactersFollowTheFlags) {
  EXPECT_EQ(decode8("a\x01"
                    "b",
                    kLenient),
            (Cps{0x61, 0x20, 0x62}));
  EXPECT_EQ(decode8("a\x01"
                    "b",
                    kLenientAllow),
            (Cps{0x61, 0x01, 0x62}));
  EXPECT_EQ(decode8("a\x01"
                    "b",
                    kPassThrough),
            (Cps{0x61, 0x01, 0x62}));
  expectStrictRefused(
      "a\x01"
      "b");
  EXPECT_EQ(decode8("\t\n\r", kStrict), (Cps{0x9, 0xA, 0xD}));
}

TEST(QpXMLCodecUtf8, TextEndsAtZeroOrAtTheLength) {
  // With -1 the first zero byte ends the text, also in the middle of a sequence.
  EXPECT_EQ(takeUnits(QpConvertUTF8ToUCS4("\xE3\x81\0\x81", -1, 0, 0)), Cps{0x20});
  EXPECT_EQ(takeUnits(QpConvertUTF8ToUCS4("AB\0CD", -1, 1, 0)), (Cps{0x41, 0x42}));
  // An explicit length ends the text where it says ...
  EXPECT_EQ(takeUnits(QpConvertUTF8ToUCS4("\xC3\xA9", 1, 0, 0)), Cps{0x20});
  EXPECT_EQ(QpCountCharacters("\xC3\xA9", 1, 1, 1), 1);
  // ... and a zero byte inside it is an ordinary byte: a control character, or a wrong
  // following byte of a sequence.
  EXPECT_EQ(takeCount(QpConvertUTF8ToUCS4("A\0B", 3, 0, 0), 3), (Cps{0x41, 0x20, 0x42}));
  EXPECT_EQ(takeCount(QpConvertUTF8ToUCS4("A\0B", 3, 0, 1), 3), (Cps{0x41, 0x00, 0x42}));
  EXPECT_EQ(takeCount(QpConvertUTF8ToUCS4("\xC3\0"
                                          "B",
                                          3, 0, 0),
                      2),
            (Cps{0x20, 0x42}));
  EXPECT_QP_THROW(qp_free(QpConvertUTF8ToUCS4("A\0B", 3, 1, 0)), QpInvalidXMLException, nullptr);
}

TEST(QpXMLCodecUtf8, CountingInPiecesMatchesCountingWhole) {
  const std::string kText = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
  EXPECT_EQ(QpCountCharacters(kText.data(), -1, 1, 0), 5);
  // Cut at the boundaries 1, 3, 6, 10.
  int vPieces =
      QpCountCharacters(kText.data(), 1, 1, 0) + QpCountCharacters(kText.data() + 1, 2, 1, 0) +
      QpCountCharacters(kText.data() + 3, 3, 1, 0) + QpCountCharacters(kText.data() + 6, 4, 1, 0) +
      QpCountCharacters(kText.data() + 10, 1, 1, 0);
  EXPECT_EQ(vPieces, 5);
  EXPECT_EQ(QpCountCharacters(kText.data(), 0, 1, 0), 0);
  EXPECT_EQ(QpCountCharacters(nullptr, -1, 1, 0), 0);
}

// ---- Encoding --------------------------------------------------------------------------------

TEST(QpXMLCodecEncode, Utf8LengthsUpToSixBytes) {
  const struct {
    int mCp;
    std::string mBytes;
  } kCases[] = {
      {0x41, "A"},
      {0x7F, "\x7F"},
      {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0xD800, "\xED\xA0\x80"},
      {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x10FFFF, "\xF4\x8F\xBF\xBF"},
      {0x1FFFFF, "\xF7\xBF\xBF\xBF"},
      {0x200000, "\xF8\x88\x80\x80\x80"},
      {0x3FFFFFF, "\xFB\xBF\xBF\xBF\xBF"},
      {0x4000000, "\xFC\x84\x80\x80\x80\x80"},
      {0x7FFFFFFF, "\xFD\xBF\xBF\xBF\xBF\xBF"},
      // A negative code point lies below 0x80: one byte, its low eight bits.
      {-128, "\x80"},
  };
  for (const auto& c : kCases) {
    const int vText[] = {c.mCp, 0};
    EXPECT_EQ(takeBytes(QpConvertUCS4ToUTF8(vText, -1, 0, 0)), c.mBytes) << std::hex << c.mCp;
    EXPECT_EQ(takeBytes(QpConvertUCS4ToUTF8(vText, -1, 1, 1)), c.mBytes) << std::hex << c.mCp;
  }
}

TEST(QpXMLCodecEncode, Utf16Ucs2AndNarrowTargets) {
  const int kEmoji[] = {0x1F600, 0};
  EXPECT_EQ(takeUnits(QpConvertUCS4ToUTF16(kEmoji, -1, 1, 0)), (Units{0xD83D, 0xDE00}));
  EXPECT_EQ(takeUnits(QpConvertUCS4ToUCS2(kEmoji, -1, 1, 0)), Units{0xF600});
  const int kEdges[] = {0x10000, 0x10FFFF, 0xFFFD, 0};
  EXPECT_EQ(takeUnits(QpConvertUCS4ToUTF16(kEdges, -1, 1, 0)),
            (Units{0xD800, 0xDC00, 0xDBFF, 0xDFFF, 0xFFFD}));
  const int kBeyond[] = {0x41, 0x110000, 0x42, 0};
  EXPECT_EQ(takeUnits(QpConvertUCS4ToUTF16(kBeyond, -1, 0, 0)), (Units{0x41, 0x42}));
  // The low 16 bits of 0x110000 are 0: UCS-2 writes a zero unit where UTF-16 writes nothing.
  EXPECT_EQ(takeCount(QpConvertUCS4ToUCS2(kBeyond, -1, 0, 0), 3), (Units{0x41, 0, 0x42}));

  const int kE9[] = {0xE9, 0x1E9, 0};
  EXPECT_EQ(takeBytes(QpConvertUCS4ToASCII(kE9, -1, 1, 0)), "\x69\x69");
  EXPECT_EQ(takeBytes(QpConvertUCS4ToLatin1(kE9, -1, 1, 0)), "\xE9\xE9");
  EXPECT_EQ(takeBytes(QpConvertUCS4ToEBCDIC(kE9, -1, 1, 0)), "\x4B\x4B");
}

TEST(QpXMLCodecEncode, SharedCharacterCheck) {
  const int kControl[] = {0x41, 0x01, 0};
  EXPECT_QP_THROW(qp_free(QpConvertUCS4ToUTF8(kControl, -1, 1, 0)), QpInvalidXMLException, nullptr);
  EXPECT_QP_THROW(qp_free(QpConvertUCS4ToUTF16(kControl, -1, 1, 0)), QpInvalidXMLException,
                  nullptr);
  EXPECT_QP_THROW(qp_free(QpConvertUCS4ToEBCDIC(kControl, -1, 1, 0)), QpInvalidXMLException,
                  nullptr);
  // Lenient and pass-through keep the code point as it is; nothing is replaced.
  EXPECT_EQ(takeBytes(QpConvertUCS4ToUTF8(kControl, -1, 0, 0)), "A\x01");
  EXPECT_EQ(takeBytes(QpConvertUCS4ToUTF8(kControl, -1, 1, 1)), "A\x01");

  try {
    qp_free(QpConvertUCS4ToASCII(kControl, -1, 1, 0));
    ADD_FAILURE() << "no exception";
  } catch (QpInvalidXMLException& e) {
    EXPECT_EQ(e.GetErrorCode(), QP_INVALID_XML_ERR);
    EXPECT_EQ(e.GetSysErrorCode(), 0);
  }
}

// ---- UTF-16, UCS-2, Latin-1, ASCII -----------------------------------------------------------

TEST(QpXMLCodecUtf16, SurrogatesInEveryMode) {
  const unsigned short kPair[] = {0x41, 0xD83D, 0xDE00, 0};
  for (Mode m : {kLenient, kPassThrough, kStrict})
    EXPECT_EQ(takeUnits(QpConvertUTF16ToUCS4(kPair, -1, kValidate[m], kAllow[m])),
              (Cps{0x41, 0x1F600}));

  // A high surrogate before something else: leniently both units go, as one space.
  const unsigned short kHighThenA[] = {0xD800, 0x41, 0x42, 0};
  EXPECT_EQ(takeUnits(QpConvertUTF16ToUCS4(kHighThenA, -1, 0, 0)), (Cps{0x20, 0x42}));
  EXPECT_EQ(takeUnits(QpConvertUTF16ToUCS4(kHighThenA, -1, 0, 1)), (Cps{0x20, 0x42}));
  EXPECT_EQ(takeUnits(QpConvertUTF16ToUCS4(kHighThenA, -1, 1, 1)), (Cps{0xD800, 0x41, 0x42}));
  EXPECT_QP_THROW(qp_free(QpConvertUTF16ToUCS4(kHighThenA, -1, 1, 0)), QpInvalidXMLException,
                  nullptr);

  // A high surrogate at the end: one unit, one space. The length may cut a pair.
  const unsigned short kHighLast[] = {0x41, 0xD800, 0};
  EXPECT_EQ(takeUnits(QpConvertUTF16ToUCS4(kHighLast, -1, 0, 0)), (Cps{0x41, 0x20}));
  EXPECT_EQ(takeUnits(QpConvertUTF16ToUCS4(kPair, 2, 0, 0)), (Cps{0x41, 0x20}));
  EXPECT_EQ(takeUnits(QpConvertUTF16ToUCS4(kPair, 2, 1, 1)), (Cps{0x41, 0xD83D}));

  // Two high surrogates and a low one: the first pairs with nothing.
  const unsigned short kHighHighLow[] = {0xD800, 0xD800, 0xDC00, 0};
  EXPECT_EQ(takeUnits(QpConvertUTF16ToUCS4(kHighHighLow, -1, 0, 0)), (Cps{0x20, 0x20}));
  EXPECT_EQ(takeUnits(QpConvertUTF16ToUCS4(kHighHighLow, -1, 1, 1)), (Cps{0xD800, 0x10000}));

  // A lone low surrogate.
  const unsigned short kLow[] = {0xDC00, 0x41, 0};
  EXPECT_EQ(takeUnits(QpConvertUTF16ToUCS4(kLow, -1, 0, 0)), (Cps{0x20, 0x41}));
  EXPECT_EQ(takeUnits(QpConvertUTF16ToUCS4(kLow, -1, 1, 1)), (Cps{0xDC00, 0x41}));
  EXPECT_QP_THROW(qp_free(QpConvertUTF16ToUCS4(kLow, -1, 1, 0)), QpInvalidXMLException, nullptr);
}

TEST(QpXMLCodecUtf16, InvalidUnitsFollowTheFlags) {
  const unsigned short kText[] = {0x01, 0xFFFE, 0x41, 0};
  EXPECT_EQ(takeUnits(QpConvertUTF16ToUCS4(kText, -1, 0, 0)), (Cps{0x20, 0x20, 0x41}));
  EXPECT_EQ(takeUnits(QpConvertUTF16ToUCS4(kText, -1, 0, 1)), (Cps{0x01, 0xFFFE, 0x41}));
  EXPECT_EQ(takeUnits(QpConvertUTF16ToUCS4(kText, -1, 1, 1)), (Cps{0x01, 0xFFFE, 0x41}));
  EXPECT_QP_THROW(qp_free(QpConvertUTF16ToUCS4(kText, -1, 1, 0)), QpInvalidXMLException, nullptr);
}

TEST(QpXMLCodecUtf16, StringBufferLoop) {
  const unsigned short kFFFF[] = {0x41, 0xFFFF, 0};
  const unsigned short kFFFE[] = {0xFFFE, 0};
  for (Mode m : {kLenient, kLenientAllow, kPassThrough, kStrict}) {
    EXPECT_QP_THROW(qp_free(QpConvertUTF16ToUTF8(kFFFF, -1, kValidate[m], kAllow[m])),
                    QpInvalidXMLException, nullptr);
    EXPECT_QP_THROW(qp_free(QpConvertUTF16ToUTF8(kFFFE, -1, kValidate[m], kAllow[m])),
                    QpInvalidXMLException, nullptr);
  }
  // Control units: refused only under validate without allowInvalid; tab, LF, CR always pass.
  const unsigned short kControl[] = {0x09, 0x0A, 0x0D, 0x01, 0};
  EXPECT_EQ(takeBytes(QpConvertUTF16ToUTF8(kControl, -1, 0, 0)), "\t\n\r\x01");
  EXPECT_EQ(takeBytes(QpConvertUTF16ToUTF8(kControl, -1, 1, 1)), "\t\n\r\x01");
  EXPECT_QP_THROW(qp_free(QpConvertUTF16ToUTF8(kControl, -1, 1, 0)), QpInvalidXMLException,
                  nullptr);
  EXPECT_EQ(takeBytes(QpConvertUTF16ToUTF8(kControl, 3, 1, 0)), "\t\n\r");

  // Pairs combine; unpaired surrogates pass unchanged, even under validation.
  const unsigned short kPair[] = {0xD83D, 0xDE00, 0};
  EXPECT_EQ(takeBytes(QpConvertUTF16ToUTF8(kPair, -1, 1, 0)), "\xF0\x9F\x98\x80");
  EXPECT_EQ(takeBytes(QpConvertUTF16ToUTF8(kPair, 1, 1, 0)), "\xED\xA0\xBD");
  const unsigned short kLoneLow[] = {0xDE00, 0x41, 0};
  EXPECT_EQ(takeBytes(QpConvertUTF16ToUTF8(kLoneLow, -1, 1, 0)),
            "\xED\xB8\x80"
            "A");

  // A zero unit ends the text even inside an explicit length.
  const unsigned short kZero[] = {0x41, 0, 0x42, 0};
  EXPECT_EQ(takeBytes(QpConvertUTF16ToUTF8(kZero, 3, 1, 0)), "A");
  EXPECT_EQ(takeBytes(QpConvertUTF16ToUTF8(kZero, 0, 1, 0)), "");
  EXPECT_EQ(QpConvertUTF16ToUTF8(nullptr, -1, 0, 0), nullptr);
}

TEST(QpXMLCodecUtf16, StringBufferLoopGrowsPastItsFirstCapacity) {
  // -1 starts at 64 bytes; 100 three-byte characters need 300.
  std::vector<unsigned short> vEuros(100, 0x20AC);
  vEuros.push_back(0);
  std::string vWant;
  for (int i = 0; i < 100; ++i) vWant += "\xE2\x82\xAC";
  EXPECT_EQ(takeBytes(QpConvertUTF16ToUTF8(vEuros.data(), -1, 1, 0)), vWant);
  // An explicit length starts at that many bytes; pairs need two bytes per unit.
  std::vector<unsigned short> vPairs;
  std::string vPairsWant;
  for (int i = 0; i < 40; ++i) {
    vPairs.push_back(0xD83D);
    vPairs.push_back(0xDE00);
    vPairsWant += "\xF0\x9F\x98\x80";
  }
  EXPECT_EQ(takeBytes(QpConvertUTF16ToUTF8(vPairs.data(), 80, 1, 0)), vPairsWant);
}

TEST(QpXMLCodecUcs2, UnitsAreCodePoints) {
  const unsigned short kSurrogates[] = {0xD83D, 0xDE00, 0};
  EXPECT_EQ(takeBytes(QpConvertUCS2ToUTF8(kSurrogates, -1, 0, 0)), "\xED\xA0\xBD\xED\xB8\x80");
  EXPECT_EQ(takeUnits(QpConvertUCS2ToUCS4(kSurrogates, -1, 1, 1)), (Cps{0xD83D, 0xDE00}));
  EXPECT_QP_THROW(qp_free(QpConvertUCS2ToUTF8(kSurrogates, -1, 1, 0)), QpInvalidXMLException,
                  nullptr);
  const unsigned short kText[] = {0x41, 0xE9, 0x20AC, 0xFFFF, 0};
  EXPECT_EQ(takeUnits(QpConvertUCS2ToUCS4(kText, -1, 0, 0)), (Cps{0x41, 0xE9, 0x20AC, 0xFFFF}));
  EXPECT_EQ(takeBytes(QpConvertUCS2ToUTF8(kText, 3, 1, 0)), "A\xC3\xA9\xE2\x82\xAC");
}

TEST(QpXMLCodecLatin1, EveryByteIsItsCodePoint) {
  std::string vAll;
  for (int b = 1; b < 256; ++b) vAll += static_cast<char>(b);
  Cps vCps = takeUnits(QpConvertLatin1ToUCS4(vAll.data(), -1, 0, 0));
  ASSERT_EQ(vCps.size(), 255u);
  for (int b = 1; b < 256; ++b) EXPECT_EQ(vCps[b - 1], b);
  // Through UTF-8 and back.
  std::string vHigh = vAll.substr(0x1F);  // from 0x20 up
  char* vUtf8 = QpConvertLatin1ToUTF8(vHigh.data(), -1, 1, 0);
  EXPECT_EQ(QpCountCharacters(vUtf8, -1, 1, 0), static_cast<int>(vHigh.size()));
  EXPECT_EQ(takeBytes(QpConvertUTF8ToLatin1(vUtf8, -1, 1, 0)), vHigh);
  qp_free(vUtf8);
  EXPECT_EQ(takeBytes(QpConvertLatin1ToUTF8("caf\xE9", -1, 1, 0)), "caf\xC3\xA9");
  EXPECT_QP_THROW(qp_free(QpConvertLatin1ToUTF8("a\x01", -1, 1, 0)), QpInvalidXMLException,
                  nullptr);
  EXPECT_EQ(takeBytes(QpConvertLatin1ToUTF8("a\x01", -1, 0, 0)), "a\x01");
}

TEST(QpXMLCodecAscii, HighBytesBecomeNegative) {
  EXPECT_EQ(takeUnits(QpConvertASCIIToUCS4("A\x80\xFF", -1, 0, 0)), (Cps{0x41, -128, -1}));
  EXPECT_EQ(takeUnits(QpConvertASCIIToUCS4("A\x80", -1, 1, 1)), (Cps{0x41, -128}));
  EXPECT_QP_THROW(qp_free(QpConvertASCIIToUCS4("A\x80", -1, 1, 0)), QpInvalidXMLException, nullptr);
  EXPECT_EQ(takeUnits(QpConvertASCIIToUCS4("Ab~", -1, 1, 0)), (Cps{0x41, 0x62, 0x7E}));
}

// ---- EBCDIC ----------------------------------------------------------------------------------

namespace {

// The code page, byte -> code point, written out independently of the library's table; 0x7F
// marks the bytes without a mapping.
const unsigned char kEbcdicDecode[256] = {
    0x00, 0x01, 0x02, 0x03, 0x1A, 0x09, 0x1A, 0x7F, 0x1A, 0x1A, 0x1A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x1A, 0x0A, 0x08, 0x1A, 0x18, 0x19, 0x1A, 0x1A, 0x1C, 0x1D, 0x1E, 0x1F,
    0x1A, 0x1A, 0x1C, 0x1A, 0x1A, 0x0A, 0x17, 0x1B, 0x1A, 0x1A, 0x1A, 0x1A, 0x1A, 0x05, 0x06, 0x07,
    0x1A, 0x1A, 0x16, 0x1A, 0x1A, 0x1E, 0x1A, 0x04, 0x1A, 0x1A, 0x1A, 0x1A, 0x14, 0x15, 0x1A, 0x1A,
    0x20, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x2E, 0x3C, 0x28, 0x2B, 0x7C,
    0x26, 0xA9, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x21, 0x24, 0x2A, 0x29, 0x3B, 0x5E,
    0x2D, 0x2F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0xBA, 0x2C, 0x25, 0x5F, 0x3E, 0x3F,
    0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x60, 0x3A, 0x23, 0x40, 0x27, 0x3D, 0x22,
    0x7F, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F,
    0x7F, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F, 0x70, 0x71, 0x72, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F,
    0x7F, 0x7E, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x7F, 0x7F, 0x7F, 0x5B, 0x7F, 0x7F,
    0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x5D, 0x7F, 0x7F,
    0x7B, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F,
    0x7D, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F,
    0x5C, 0x7F, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0xB3, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F,
};

// Code point 0x00-0x7E -> EBCDIC byte (0x7F and above are 0x4B).
const unsigned char kEbcdicEncode[127] = {
    0x00, 0x01, 0x02, 0x03, 0x37, 0x2D, 0x2E, 0x2F, 0x16, 0x05, 0x15, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x3C, 0x3D, 0x32, 0x26, 0x18, 0x19, 0x3F, 0x27, 0x22, 0x1D, 0x35, 0x1F,
    0x40, 0x5A, 0x7F, 0x7B, 0x5B, 0x6C, 0x50, 0x7D, 0x4D, 0x5D, 0x5C, 0x4E, 0x6B, 0x60, 0x4B, 0x61,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0x7A, 0x5E, 0x4C, 0x7E, 0x6E, 0x6F,
    0x7C, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6,
    0xD7, 0xD8, 0xD9, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xAD, 0xE0, 0xBD, 0x5F, 0x6D,
    0x79, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96,
    0x97, 0x98, 0x99, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xC0, 0x4F, 0xD0, 0xA1,
};

}  // namespace

TEST(QpXMLCodecEbcdic, EveryDecodeEntry) {
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    const char vByte = static_cast<char>(b);
    const int vWant = kEbcdicDecode[b] == 0x7F ? 0x20 : kEbcdicDecode[b];
    // One byte of explicit length, so that 0x00 is decoded too.
    EXPECT_EQ(takeCount(QpConvertEBCDICToUCS4(&vByte, 1, 0, 0), 1), Cps{vWant});
    // The wide form reads the low byte and ignores the high one; the few mapped code points
    // from 0x80 up take two bytes of UTF-8.
    const unsigned short vWide[] = {static_cast<unsigned short>(0xA500 | b), 0};
    std::string vUtf8(1, static_cast<char>(vWant));
    if (vWant >= 0x80) vUtf8 = {static_cast<char>(0xC2), static_cast<char>(vWant)};
    EXPECT_EQ(takeCount(QpConvertEBCDICWToUTF8(vWide, 1, 0, 0), vUtf8.size()),
              std::vector<char>(vUtf8.begin(), vUtf8.end()));
  }
}

TEST(QpXMLCodecEbcdic, UnmappedAndControlBytesUnderValidation) {
  // 0x4A has no mapping: a space leniently and with allowInvalid, an error under validate alone.
  EXPECT_EQ(takeBytes(QpConvertEBCDICToUTF8("\xC1\x4A\x81", -1, 0, 0)), "A a");
  EXPECT_EQ(takeBytes(QpConvertEBCDICToUTF8("\xC1\x4A\x81", -1, 1, 1)), "A a");
  EXPECT_QP_THROW(qp_free(QpConvertEBCDICToUTF8("\xC1\x4A", -1, 1, 0)), QpInvalidXMLException,
                  nullptr);
  const unsigned short kWide[] = {0x00C1, 0x0007, 0};
  EXPECT_QP_THROW(qp_free(QpConvertEBCDICWToUTF8(kWide, -1, 1, 0)), QpInvalidXMLException, nullptr);
  // A mapped control character is still an invalid XML character for the shared check.
  EXPECT_QP_THROW(qp_free(QpConvertEBCDICToUCS4("\x01", -1, 1, 0)), QpInvalidXMLException, nullptr);
  EXPECT_EQ(takeUnits(QpConvertEBCDICToUCS4("\x01", -1, 1, 1)), Cps{0x01});
  EXPECT_EQ(takeBytes(QpConvertEBCDICToUTF8("\xC1\x81\xF0\x51", -1, 1, 0)), "Aa0\xC2\xA9");
}

TEST(QpXMLCodecEbcdic, EveryEncodeEntry) {
  std::vector<int> vCps;
  for (int c = 1; c < 0x80; ++c) vCps.push_back(c);
  vCps.push_back(0);
  std::string vBytes = takeBytes(QpConvertUCS4ToEBCDIC(vCps.data(), -1, 0, 0));
  ASSERT_EQ(vBytes.size(), 127u);
  for (int c = 1; c < 0x7F; ++c)
    EXPECT_EQ(static_cast<unsigned char>(vBytes[c - 1]), kEbcdicEncode[c]) << c;
  EXPECT_EQ(static_cast<unsigned char>(vBytes[0x7E]), 0x4B);  // DEL

  const int kZero[] = {0};
  EXPECT_EQ(takeCount(QpConvertUCS4ToEBCDIC(kZero, 1, 0, 0), 1), std::vector<char>{0});
  // The wide form of the same table, through UTF-8.
  Units vWide = takeUnits(QpConvertUTF8ToEBCDICW("Az0 \x7F\xC3\xA9", -1, 0, 0));
  EXPECT_EQ(vWide, (Units{0xC1, 0xA9, 0xF0, 0x40, 0x4B, 0x4B}));
  const int kAbove[] = {0x80, 0xFF, 0x100, 0x10FFFF, -1, 0x7E, 0};
  EXPECT_EQ(takeBytes(QpConvertUCS4ToEBCDIC(kAbove, -1, 0, 0)), "\x4B\x4B\x4B\x4B\x4B\xA1");
  EXPECT_EQ(takeBytes(QpConvertUTF8ToEBCDIC("Hello", -1, 1, 0)), "\xC8\x85\x93\x93\x96");
}

// ---- Composition -----------------------------------------------------------------------------

TEST(QpXMLCodecComposition, LengthNullAndEmpty) {
  const int kZeroInside[] = {0x41, 0, 0x42, 0};
  EXPECT_EQ(takeUnits(QpConvertUCS4ToUTF16(kZeroInside, -1, 0, 0)), Units{0x41});
  EXPECT_EQ(takeCount(QpConvertUCS4ToUTF16(kZeroInside, 3, 0, 0), 3), (Units{0x41, 0, 0x42}));
  EXPECT_QP_THROW(qp_free(QpConvertUCS4ToUTF16(kZeroInside, 3, 1, 0)), QpInvalidXMLException,
                  nullptr);
  EXPECT_EQ(takeCount(QpConvertUTF8ToUTF16("", -1, 1, 0), 0), Units{});
  EXPECT_EQ(takeCount(QpConvertUCS4ToUTF8(kZeroInside, 0, 1, 0), 0), std::vector<char>{});
  EXPECT_EQ(QpConvertUTF8ToUCS4(nullptr, -1, 0, 0), nullptr);
  EXPECT_EQ(QpConvertUCS4ToUTF8(nullptr, -1, 0, 0), nullptr);
  EXPECT_EQ(QpConvertEBCDICWToUTF8(nullptr, 5, 0, 0), nullptr);
}

TEST(QpXMLCodecComposition, WideningResultsGrow) {
  // One unit per source unit is not enough for these: the result must grow, and keep every
  // character.
  std::vector<int> vCps(200, 0x10FFFF);
  vCps.push_back(0);
  std::string vWant;
  for (int i = 0; i < 200; ++i) vWant += "\xF4\x8F\xBF\xBF";
  EXPECT_EQ(takeBytes(QpConvertUCS4ToUTF8(vCps.data(), -1, 1, 0)), vWant);
  Units vUtf16 = takeUnits(QpConvertUCS4ToUTF16(vCps.data(), -1, 1, 0));
  ASSERT_EQ(vUtf16.size(), 400u);
  EXPECT_EQ(vUtf16[398], 0xDBFF);
  EXPECT_EQ(vUtf16[399], 0xDFFF);
  std::string vLatin(150, '\xE9');
  std::string vLatinUtf8 = takeBytes(QpConvertLatin1ToUTF8(vLatin.data(), -1, 1, 0));
  EXPECT_EQ(vLatinUtf8.size(), 300u);
  EXPECT_EQ(vLatinUtf8.substr(298), "\xC3\xA9");
  std::string vCopy = takeBytes(QpConvertUTF8ToLatin1(vLatinUtf8.data(), -1, 1, 0));
  EXPECT_EQ(vCopy, vLatin);
  EXPECT_EQ(takeUnits(QpConvertUTF8ToUTF16(vWant.data(), -1, 1, 0)), vUtf16);
  EXPECT_EQ(takeUnits(QpConvertUTF8ToUCS2("\xF0\x9F\x98\x80"
                                          "A",
                                          -1, 1, 0)),
            (Units{0xF600, 0x41}));
}

// ---- Out of memory ---------------------------------------------------------------------------

TEST(QpXMLCodecMemory, EveryAllocationFailureRaisesAndLeavesNothing) {
  std::vector<int> vWide(300, 0x20AC);
  vWide.push_back(0);
  std::vector<unsigned short> vUtf16(300, 0x20AC);
  vUtf16.push_back(0);
  const std::string vUtf8 = "A\xC3\xA9\xF0\x9F\x98\x80";

  // Each operation is run whole; a failed allocation must surface as QpOutOfMemException, and
  // the partial result must be gone (the sanitizer build checks that nothing leaks).
  int n = qpWalkAllocations([&] { qp_free(QpConvertUTF8ToUCS4(vUtf8.data(), -1, 1, 0)); }, [] {});
  EXPECT_EQ(n, 1);
  n = qpWalkAllocations([&] { qp_free(QpConvertUCS4ToUTF8(vWide.data(), -1, 1, 0)); }, [] {});
  EXPECT_GT(n, 1);  // 301 bytes to start with, 900 needed: it grows
  n = qpWalkAllocations([&] { qp_free(QpConvertUCS4ToUTF16(vWide.data(), -1, 1, 0)); }, [] {});
  EXPECT_EQ(n, 1);
  n = qpWalkAllocations([&] { qp_free(QpConvertUTF16ToUTF8(vUtf16.data(), -1, 1, 0)); }, [] {});
  EXPECT_GT(n, 1);
  n = qpWalkAllocations([&] { qp_free(QpConvertUTF16ToUTF8(vUtf16.data(), 300, 1, 0)); }, [] {});
  EXPECT_GT(n, 1);
  n = qpWalkAllocations([&] { qp_free(QpConvertEBCDICToUTF8("\xC1\x81", -1, 1, 0)); }, [] {});
  EXPECT_EQ(n, 1);
  // Counting and the validity tests allocate nothing.
  n = qpWalkAllocations(
      [&] {
        QpCountCharacters(vUtf8.data(), -1, 1, 0);
        QpValidUTF8(vUtf8.data(), -1);
        QpValidUTF8ForName("name", -1);
      },
      [] {});
  EXPECT_EQ(n, 0);
}

TEST(QpXMLCodecMemory, OutOfMemoryCarriesNoSystemError) {
  StFaultArm vArm(0);
  try {
    qp_free(QpConvertLatin1ToUTF8("abc", -1, 0, 0));
    ADD_FAILURE() << "no exception";
  } catch (QpOutOfMemException& e) {
    EXPECT_EQ(e.GetErrorCode(), QP_OUT_OF_MEMORY_ERR);
    EXPECT_EQ(e.GetSysErrorCode(), 0);
  }
}
