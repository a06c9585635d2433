// Tests of the text conversions and the XML character checks. QpXMLCodecPeers_test.cpp compares
// valid text with other implementations; this file pins down malformed input, the flags, the forms
// beyond Unicode and the code page.
#include <climits>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

typedef std::vector<int> Cps;
typedef std::vector<unsigned short> Units;

// Takes and frees a result: up to its zero unit, or inCount units and then the terminator.
template <class T>
std::vector<T> take(T* inResult, int inCount = -1) {
  std::vector<T> v;
  if (inResult == nullptr) {
    ADD_FAILURE() << "null result";
    return v;
  }
  for (int i = 0; inCount < 0 ? inResult[i] != 0 : i < inCount; ++i) v.push_back(inResult[i]);
  EXPECT_EQ(inResult[v.size()], 0) << "result not terminated after " << v.size() << " units";
  qp_free(inResult);
  return v;
}

#define EXPECT_INVALID(conversion) \
  EXPECT_QP_THROW(qp_free(conversion), QpInvalidXMLException, nullptr)

// The four flag combinations (validate, allowInvalid), named by what malformed UTF-8 becomes.
enum Mode { kLenient, kLenientAllow, kPassThrough, kStrict };
const unsigned char kValidate[] = {0, 0, 1, 1}, kAllow[] = {0, 1, 1, 0};

int count8(const std::string& inText, Mode inMode) {
  const int vLen = static_cast<int>(inText.size());
  return QpCountCharacters(inText.data(), vLen, kValidate[inMode], kAllow[inMode]);
}

// The decoded text, checked against the count in the same mode.
Cps decode8(const std::string& inText, Mode inMode) {
  const int vLen = static_cast<int>(inText.size());
  Cps v = take(QpConvertUTF8ToUCS4(inText.data(), vLen, kValidate[inMode], kAllow[inMode]));
  EXPECT_EQ(static_cast<int>(v.size()), count8(inText, inMode)) << "mode " << inMode;
  return v;
}

// Every strict reader refuses the text.
void expectStrictRefused(const std::string& inText) {
  SCOPED_TRACE(testing::PrintToString(inText));
  EXPECT_INVALID(QpConvertUTF8ToUCS4(inText.data(), static_cast<int>(inText.size()), 1, 0));
  EXPECT_QP_THROW(count8(inText, kStrict), QpInvalidXMLException, nullptr);
  EXPECT_EQ(QpValidUTF8(inText.data(), static_cast<int>(inText.size())), 0);
}

// The code page, byte -> code point (two hex digits a byte), written out independently of the
// library's table; 7F marks the bytes without a mapping.
const char kEbcdic[] =
    "000102031A091A7F1A1A1A0B0C0D0E0F101112131A0A081A18191A1A1C1D1E1F1A1A1C1A1A0A171B1A1A1A1A"
    "1A0506071A1A161A1A1E1A041A1A1A1A14151A1A207F7F7F7F7F7F7F7F7F7F2E3C282B7C26A97F7F7F7F7F7F"
    "7F7F21242A293B5E2D2F7F7F7F7F7F7F7F7FBA2C255F3E3F7F7F7F7F7F7F7F7F7F603A2340273D227F616263"
    "6465666768697F7F7F7F7F7F7F6A6B6C6D6E6F7071727F7F7F7F7F7F7F7E737475767778797A7F7F7F5B7F7F"
    "7F7F7F7F7F7F7F7F7F7F7F7F7F5D7F7F7B4142434445464748497F7F7F7F7F7F7D4A4B4C4D4E4F5051527F7F"
    "7F7F7F7F5C7F535455565758595A7F7F7F7F7F7F30313233343536373839B37F7F7F7F7F";
int ebcdicDecode(int inByte) {
  return std::stoi(std::string(kEbcdic + 2 * inByte, 2), nullptr, 16);
}

}  // namespace

TEST(QpXMLCodecRules, CharacterNameAndValidity) {
  for (int c : {0x9, 0xA, 0xD, 0x20, 0xD7FF, 0xE000, 0xFFFD, 0x10000, 0x10FFFF})
    EXPECT_TRUE(QpCodepointIsValid(c)) << std::hex << c;
  for (int c : {INT_MIN, -1, 0, 0x8, 0xB, 0xC, 0xE, 0x1F, 0xD800, 0xDFFF, 0xFFFE, 0x110000})
    EXPECT_FALSE(QpCodepointIsValid(c)) << std::hex << c;
  // The character classes of names are compared with libxml2 over the whole BMP
  // (QpXMLCodecPeers_test.cpp); what is left is the reserved prefix and the text around them.
  EXPECT_FALSE(QpCodepointIsValidForName(-1) || QpCodepointIsValidForName(0x10000));
  EXPECT_EQ(QpValidUTF8ForName("a-b.c_d:\xC3\xA9", -1), 1);
  for (const char* t : {"xmlfoo", "XmL", "", "a\x80", "\xC3", "a\xEF\xBF\xBF"})
    EXPECT_EQ(QpValidUTF8ForName(t, -1), 0) << t;
  EXPECT_EQ(QpValidUTF8ForName("xmlns", 2), 1);  // the length cuts it to "xm"

  const int kBad[] = {0x41, 0xFFFE, 0}, kZeroInside[] = {0x41, 0, 0x42};
  EXPECT_EQ(QpValidUCS(kBad, -1) * 8 + QpValidUCS(kBad, 1) * 4 + QpValidUCS(kZeroInside, -1) * 2 +
                QpValidUCS(kZeroInside, 3),
            0b0110);
  EXPECT_EQ(QpValidUTF8("\xC3\xA9", 1), 0);  // the length cuts the sequence
}

TEST(QpXMLCodecUtf8, FormsBeyondUnicodeBothWays) {
  // Surrogates, non-characters and five- and six-byte forms are well formed: all modes decode
  // them as one character, the UTF-8 check accepts them, only strict conversion refuses those
  // outside XML, encoding writes them as they are. The last two only encode: F5 to F7 do not
  // decode; a negative code point gives its low byte.
  const struct {
    int mCp;
    std::string mBytes;
  } kCases[] = {
      // clang-format off
      {0x10FFFF, "\xF4\x8F\xBF\xBF"}, {0xD800, "\xED\xA0\x80"}, {0xDFFF, "\xED\xBF\xBF"},
      {0xFFFE, "\xEF\xBF\xBE"}, {0xFFFF, "\xEF\xBF\xBF"}, {0x200000, "\xF8\x88\x80\x80\x80"},
      {0x3FFFFFF, "\xFB\xBF\xBF\xBF\xBF"}, {0x4000000, "\xFC\x84\x80\x80\x80\x80"},
      {0x7FFFFFFF, "\xFD\xBF\xBF\xBF\xBF\xBF"}, {0x1FFFFF, "\xF7\xBF\xBF\xBF"}, {-128, "\x80"},
      // clang-format on
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.mCp);
    const int vText[] = {c.mCp, 0};
    for (int f : {0, 1}) EXPECT_EQ(qpTake(QpConvertUCS4ToUTF8(vText, -1, f, f)), c.mBytes);
    if (c.mCp == 0x1FFFFF || c.mCp < 0) continue;
    for (Mode m : {kLenient, kLenientAllow, kPassThrough})
      EXPECT_EQ(decode8(c.mBytes, m), Cps{c.mCp});
    EXPECT_EQ(count8(c.mBytes, kStrict), 1);
    EXPECT_EQ(QpValidUTF8(c.mBytes.data(), -1), 1);
    if (QpCodepointIsValid(c.mCp))
      EXPECT_EQ(decode8(c.mBytes, kStrict), Cps{c.mCp});
    else
      EXPECT_INVALID(QpConvertUTF8ToUCS4(c.mBytes.data(), -1, 1, 0));
  }
}

TEST(QpXMLCodecUtf8, EveryMalformedClassInEveryMode) {
  // What lenient decoding (allowInvalid makes no difference here) and pass-through make of it.
  const struct {
    std::string mText;
    Cps mLenient, mPassThrough;
  } kCases[] = {
      // clang-format off
      // A continuation byte or C0/C1 where a character should start: one byte each.
      {"\x80", {0x20}, {0x80}}, {"\xC0\xAF", {0x20, 0x20}, {0xC0, 0xAF}},
      // Overlong forms after E0, F0, F8, FC: the lenient space swallows the whole sequence.
      {"\xE0\x80\x80", {0x20}, {0xE0, 0x80, 0x80}}, {"\xF0\x8F\xBF\xBF", {0x20}, {0xF0, 0x8F, 0xBF, 0xBF}},
      {"\xF8\x87\xBF\xBF\xBF", {0x20}, {0xF8, 0x87, 0xBF, 0xBF, 0xBF}},
      {"\xFC\x83\xBF\xBF\xBF\xBF", {0x20}, {0xFC, 0x83, 0xBF, 0xBF, 0xBF, 0xBF}},
      // Above U+10FFFF in four bytes.
      {"\xF4\x90\x80\x80", {0x20}, {0xF4, 0x90, 0x80, 0x80}},
      {"\xF7\xBF\xBF\xBF\x41", {0x20, 0x41}, {0xF7, 0xBF, 0xBF, 0xBF, 0x41}},
      // A wrong following byte: leniently the announced length is used up.
      {"\xC3\x41\x42", {0x20, 0x42}, {0xC3, 0x41, 0x42}}, {"\xC3\xC3\xA9", {0x20, 0x20}, {0xC3, 0xE9}},
      {"\xF0\x9F\x98\xC3\xA9", {0x20, 0x20}, {0xF0, 0x9F, 0x98, 0xE9}},
      // Cut short by the end of the text: leniently one space for what is left.
      {"\xC3", {0x20}, {0xC3}}, {"A\xE3\x81", {0x41, 0x20}, {0x41, 0xE3, 0x81}},
      {"\xFC\x84\x80\x80\x80", {0x20}, {0xFC, 0x84, 0x80, 0x80, 0x80}},
      // FE and FF lead nothing: one byte each, the bytes after them surface on their own.
      {"\xFE\x80\x80\x80\x80\x80", Cps(6, 0x20), {0xFE, 0x80, 0x80, 0x80, 0x80, 0x80}},
      {"a\xFF\x80\x80\x80\x80\x80" "b", {0x61, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x62},
       {0x61, 0xFF, 0x80, 0x80, 0x80, 0x80, 0x80, 0x62}},
      // clang-format on
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.mText));
    for (Mode m : {kLenient, kLenientAllow}) EXPECT_EQ(decode8(c.mText, m), c.mLenient);
    EXPECT_EQ(decode8(c.mText, kPassThrough), c.mPassThrough);
    expectStrictRefused(c.mText);
  }
}

// A text without a zero byte never decodes to U+0000, in any mode: a NUL smuggled past a check
// would truncate names and paths further down. Every reader agrees on the character count.
TEST(QpXMLCodecUtf8, NoZeroCodePointFromAZeroFreeText) {
  const unsigned char kBytes[] = {0x41, 0x80, 0x84, 0x88, 0x90, 0xA0, 0xBF, 0xC3,
                                  0xE0, 0xF0, 0xF8, 0xFC, 0xFD, 0xFE, 0xFF};
  std::mt19937 vRng(5);
  for (int vRound = 0; vRound < 20000; ++vRound) {
    std::string vText(1 + vRng() % 12, 'A');
    for (char& c : vText) c = static_cast<char>(kBytes[vRng() % sizeof kBytes]);
    const int vLen = static_cast<int>(vText.size());
    SCOPED_TRACE(testing::PrintToString(vText));
    // take() stops at a zero code point, and decode8() compares the count.
    for (Mode m : {kLenient, kLenientAllow, kPassThrough}) decode8(vText, m);
    QpStringBuffer vBuffer;  // counts byte by byte, from its last stable point
    for (char c : vText) vBuffer.strcat(std::string(1, c).c_str());
    ASSERT_EQ(vBuffer.getCharCount(), count8(vText, kLenient));
    const bool vValid = QpValidUTF8(vText.data(), vLen) != 0;
    EXPECT_FALSE(vValid && vText.find_first_of("\xFE\xFF") != std::string::npos);
    if (!vValid) expectStrictRefused(vText);
  }
}

TEST(QpXMLCodecComposition, ControlCharactersTheEndOfTheTextNullAndEmpty) {
  const std::string kControl = "a\x01\x62";
  EXPECT_EQ(decode8(kControl, kLenient), (Cps{0x61, 0x20, 0x62}));
  for (Mode m : {kLenientAllow, kPassThrough})
    EXPECT_EQ(decode8(kControl, m), (Cps{0x61, 1, 0x62}));
  expectStrictRefused(kControl);
  // With -1 the first zero byte ends the text, also in the middle of a sequence; inside an
  // explicit length it is an ordinary byte: a control character or a wrong following byte.
  EXPECT_EQ(take(QpConvertUTF8ToUCS4("\xE3\x81\0\x81", -1, 0, 0)), Cps{0x20});
  EXPECT_EQ(take(QpConvertUTF8ToUCS4("A\0B", 3, 0, 0), 3), (Cps{0x41, 0x20, 0x42}));
  EXPECT_EQ(take(QpConvertUTF8ToUCS4("\xC3\0B", 3, 0, 0), 2), (Cps{0x20, 0x42}));
  EXPECT_INVALID(QpConvertUTF8ToUCS4("A\0B", 3, 1, 0));
  EXPECT_EQ(QpCountCharacters("\xC3\xA9", 1, 1, 1), 1);  // the length cuts the sequence
  const int kZeroInside[] = {0x41, 0, 0x42, 0};          // the same from UCS-4
  EXPECT_EQ(take(QpConvertUCS4ToUTF16(kZeroInside, 3, 0, 0), 3), (Units{0x41, 0, 0x42}));
}

TEST(QpXMLCodecOtherForms, Utf16Ucs2Latin1AsciiAndTheSharedCheck) {
  const int kEmoji[] = {0x1F600, 0}, kBeyond[] = {0x41, 0x110000, 0x42, 0};
  EXPECT_EQ(take(QpConvertUCS4ToUTF16(kEmoji, -1, 1, 0)), (Units{0xD83D, 0xDE00}));
  EXPECT_EQ(take(QpConvertUCS4ToUCS2(kEmoji, -1, 1, 0)), Units{0xF600});
  // The low 16 bits of 0x110000 are 0: UCS-2 writes a zero unit where UTF-16 writes nothing.
  EXPECT_EQ(take(QpConvertUCS4ToUTF16(kBeyond, -1, 0, 0)), (Units{0x41, 0x42}));
  EXPECT_EQ(take(QpConvertUCS4ToUCS2(kBeyond, -1, 0, 0), 3), (Units{0x41, 0, 0x42}));
  const int kE9[] = {0xE9, 0x1E9, 0};
  EXPECT_EQ(qpTake(QpConvertUCS4ToASCII(kE9, -1, 1, 0)), "\x69\x69");
  EXPECT_EQ(qpTake(QpConvertUCS4ToLatin1(kE9, -1, 1, 0)), "\xE9\xE9");
  EXPECT_EQ(take(QpConvertUTF8ToUCS2("\xF0\x9F\x98\x80\x41", -1, 1, 0)), (Units{0xF600, 0x41}));
  // Strict validation refuses in every target; otherwise the code point is kept as it is.
  const int kControl[] = {0x41, 0x01, 0};
  EXPECT_INVALID(QpConvertUCS4ToUTF16(kControl, -1, 1, 0));
  EXPECT_EQ(qpTake(QpConvertUCS4ToUTF8(kControl, -1, 1, 1)), "A\x01");
  const unsigned short kSurrogates[] = {0xD83D, 0xDE00, 0};  // UCS-2 units are code points
  const unsigned short kNonCharacter[] = {0x41, 0xFFFE, 0};  // refused from UTF-16 in every mode
  EXPECT_INVALID(QpConvertUTF16ToUTF8(kNonCharacter, -1, 0, 1));
  EXPECT_EQ(qpTake(QpConvertUCS2ToUTF8(kSurrogates, -1, 0, 0)), "\xED\xA0\xBD\xED\xB8\x80");
  EXPECT_EQ(qpTake(QpConvertLatin1ToUTF8("caf\xE9\x01", -1, 0, 0)), "caf\xC3\xA9\x01");
  EXPECT_INVALID(QpConvertLatin1ToUTF8("a\x01", -1, 1, 0));
  // ASCII bytes are signed: from 0x80 they become negative, and fail the character rule.
  EXPECT_EQ(take(QpConvertASCIIToUCS4("A\x80\xFF", -1, 0, 0)), (Cps{0x41, -128, -1}));
  EXPECT_INVALID(QpConvertASCIIToUCS4("A\x80", -1, 1, 0));
}

TEST(QpXMLCodecUtf16, SurrogatesAndInvalidUnitsInEveryMode) {
  // What lenient decoding, pass-through and strict validation make of each.
  const struct {
    Units mText;
    Cps mLenient, mPassThrough;
    bool mStrictRefuses;
  } kCases[] = {
      {{0x41, 0xD83D, 0xDE00, 0}, {0x41, 0x1F600}, {0x41, 0x1F600}, false},
      // A high surrogate before something else: leniently both units go, as one space; at the
      // end of the text, one unit.
      {{0xD800, 0x41, 0x42, 0}, {0x20, 0x42}, {0xD800, 0x41, 0x42}, true},
      {{0xD800, 0xD800, 0xDC00, 0}, {0x20, 0x20}, {0xD800, 0x10000}, true},
      {{0xDC00, 0x41, 0}, {0x20, 0x41}, {0xDC00, 0x41}, true},
      // Outside the surrogates an invalid unit is kept whenever allowInvalid is on.
      {{0x01, 0xFFFE, 0x41, 0}, {0x20, 0x20, 0x41}, {0x01, 0xFFFE, 0x41}, true},
  };
  for (const auto& c : kCases) {
    const unsigned short* vText = c.mText.data();
    SCOPED_TRACE(testing::PrintToString(c.mText));
    EXPECT_EQ(take(QpConvertUTF16ToUCS4(vText, -1, 0, 0)), c.mLenient);
    EXPECT_EQ(take(QpConvertUTF16ToUCS4(vText, -1, 1, 1)), c.mPassThrough);
    if (c.mStrictRefuses)
      EXPECT_INVALID(QpConvertUTF16ToUCS4(vText, -1, 1, 0));
    else
      EXPECT_EQ(take(QpConvertUTF16ToUCS4(vText, -1, 1, 0)), c.mPassThrough);
  }
  // allowInvalid alone keeps invalid units but not unpaired surrogates.
  const unsigned short kInvalid[] = {0x01, 0xFFFE, 0xDC00, 0};
  EXPECT_EQ(take(QpConvertUTF16ToUCS4(kInvalid, -1, 0, 1)), (Cps{0x01, 0xFFFE, 0x20}));
  const unsigned short kPair[] = {0x41, 0xD83D, 0xDE00, 0};  // the length may cut a pair
  EXPECT_EQ(take(QpConvertUTF16ToUCS4(kPair, 2, 0, 0)), (Cps{0x41, 0x20}));
  EXPECT_EQ(take(QpConvertUTF16ToUCS4(kPair, 2, 1, 1)), (Cps{0x41, 0xD83D}));
}

TEST(QpXMLCodecEbcdic, EveryEntryBothWays) {
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    const char vByte = static_cast<char>(b);
    const int vWant = ebcdicDecode(b) == 0x7F ? 0x20 : ebcdicDecode(b);
    // One byte of explicit length, so that 0x00 is decoded too.
    EXPECT_EQ(take(QpConvertEBCDICToUCS4(&vByte, 1, 0, 0), 1), Cps{vWant});
    // The wide form reads the low byte and ignores the high one.
    const unsigned short vWide[] = {static_cast<unsigned short>(0xA500 | b), 0};
    EXPECT_EQ(take(QpConvertEBCDICWToUTF8(vWide, 1, 0, 0), vWant < 0x80 ? 1 : 2),
              take(QpConvertUCS4ToUTF8(&vWant, 1, 0, 0), vWant < 0x80 ? 1 : 2));
  }
  // 0x4A has no mapping: a space leniently and with allowInvalid, an error under validate alone.
  EXPECT_EQ(qpTake(QpConvertEBCDICToUTF8("\xC1\x4A\x81", -1, 1, 1)), "A a");
  EXPECT_INVALID(QpConvertEBCDICToUTF8("\xC1\x4A", -1, 1, 0));
  EXPECT_INVALID(QpConvertEBCDICToUCS4("\x01", -1, 1, 0));  // mapped, but not an XML character

  // Encoding: every code point below 0x7F goes to a byte that decodes back to it; the rest,
  // DEL included (below), to 0x4B.
  Cps vCps;
  for (int c = 1; c <= 0x80; ++c) vCps.push_back(c % 0x80);  // ends with its zero
  const std::string vBytes = qpTake(QpConvertUCS4ToEBCDIC(vCps.data(), -1, 0, 0));
  ASSERT_EQ(vBytes.size(), 127u);
  for (int c = 1; c < 0x7F; ++c) EXPECT_EQ(ebcdicDecode(vBytes[c - 1] & 0xFF), c) << c;
  EXPECT_EQ(take(QpConvertUTF8ToEBCDICW("Az0 \x7F\xC3\xA9", -1, 0, 0)),
            (Units{0xC1, 0xA9, 0xF0, 0x40, 0x4B, 0x4B}));
  const int kAbove[] = {0x80, 0xFF, 0x100, 0x10FFFF, -1, 0x7E, 0};
  EXPECT_EQ(qpTake(QpConvertUCS4ToEBCDIC(kAbove, -1, 0, 0)), "\x4B\x4B\x4B\x4B\x4B\xA1");
}

TEST(QpXMLCodecMemory, EveryAllocationFailureRaisesAndLeavesNothing) {
  // Fixed-size results allocate once; UTF-8 results grow (301 bytes to start with, 900 needed);
  // counting and the validity tests allocate nothing. The sanitizer build checks for leaks.
  const Cps vWide(300, 0x20AC);
  Units vUtf16(300, 0x20AC);
  vUtf16.push_back(0);
  const char* vUtf8 = "A\xC3\xA9\xF0\x9F\x98\x80";
  auto vWalk = [](const std::function<void()>& inOp) { return qpWalkAllocations(inOp, [] {}); };
  EXPECT_EQ(vWalk([&] { qp_free(QpConvertUTF8ToUCS4(vUtf8, -1, 1, 0)); }), 1);
  EXPECT_EQ(vWalk([&] { qp_free(QpConvertUCS4ToUTF16(vWide.data(), 300, 1, 0)); }), 1);
  EXPECT_GT(vWalk([&] { qp_free(QpConvertUCS4ToUTF8(vWide.data(), 300, 1, 0)); }), 1);
  EXPECT_GT(vWalk([&] { qp_free(QpConvertUTF16ToUTF8(vUtf16.data(), -1, 1, 0)); }), 1);
  EXPECT_EQ(vWalk([&] {
              (void)(QpCountCharacters(vUtf8, -1, 1, 0) + QpValidUTF8(vUtf8, -1) +
                     QpValidUTF8ForName("name", -1));
            }),
            0);
}
