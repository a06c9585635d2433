// Tests of the text ring and the value conversions.
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

const int kRing = 1048576;

// A request of exactly the ring's size always wraps to its start and leaves the ring exhausted,
// so that the request after it starts at the beginning again: a fixed point for the tests.
// Returns the start of the ring; the next request is served there.
char* resetRing() {
  std::string vFill(kRing - 1, 'f');
  QpStringConversion::toString(vFill.c_str());
  char* vStart = QpStringConversion::toString("");
  QpStringConversion::toString(vFill.c_str());
  return vStart;
}

}  // namespace

// ---- Values to text ------------------------------------------------------------------------

TEST(QpStringConversionText, NullsFlagsAndCopies) {
  EXPECT_STREQ(QpStringConversion::toString(static_cast<const char*>(nullptr)), "NULL");
  EXPECT_STREQ(QpStringConversion::toString(static_cast<const char*>(nullptr), 7), "NULL");
  EXPECT_STREQ(QpStringConversion::toString(static_cast<const QpWChar*>(nullptr)), "NULL");
  EXPECT_STREQ(QpStringConversion::toString(static_cast<const QpLong*>(nullptr)), "NULL");
  EXPECT_STREQ(QpStringConversion::toString(static_cast<const int*>(nullptr), 1), "NULL");
  EXPECT_STREQ(QpStringConversion::toString(static_cast<const short*>(nullptr), 0), "NULL");
  EXPECT_STREQ(QpStringConversion::toString(static_cast<const unsigned short*>(nullptr), 0),
               "NULL");
  EXPECT_STREQ(QpStringConversion::toString(static_cast<const QpBasicStringBuffer*>(nullptr)),
               "NULL");

  EXPECT_STREQ(QpStringConversion::toString(true), "true");
  EXPECT_STREQ(QpStringConversion::toString(false), "false");
  EXPECT_STREQ(QpStringConversion::toString(static_cast<unsigned char>(7)), "true");
  EXPECT_STREQ(QpStringConversion::toString(static_cast<unsigned char>(0)), "false");

  const char* kText = "hello";
  char* vCopy = QpStringConversion::toString(kText, 99);
  EXPECT_STREQ(vCopy, "hello");
  EXPECT_NE(vCopy, kText);
  EXPECT_STREQ(QpStringConversion::toString(""), "");

  QpStringBuffer vBuffer("from a buffer");
  EXPECT_STREQ(QpStringConversion::toString(&vBuffer), "from a buffer");
}

TEST(QpStringConversionText, Numbers) {
  EXPECT_STREQ(QpStringConversion::toString(-5), "-5");
  EXPECT_STREQ(QpStringConversion::toString(0), "0");
  EXPECT_STREQ(QpStringConversion::toString(INT_MIN), "-2147483648");
  EXPECT_STREQ(QpStringConversion::toString(static_cast<short>(-1)), "-1");
  EXPECT_STREQ(QpStringConversion::toString(static_cast<short>(SHRT_MIN)), "-32768");
  EXPECT_STREQ(QpStringConversion::toString(static_cast<QpLong>(INT64_MAX)), "9223372036854775807");
  const QpLong vMin = INT64_MIN;
  EXPECT_STREQ(QpStringConversion::toString(&vMin), "-9223372036854775808");

  // Pointer forms read as numbers: the unsigned short one zero-extends, the others sign-extend.
  const unsigned short vU = 0xFFFF;
  const short vS = -1;
  const int vI = -42;
  EXPECT_STREQ(QpStringConversion::toString(&vU, 0), "65535");
  EXPECT_STREQ(QpStringConversion::toString(&vS, 0), "-1");
  EXPECT_STREQ(QpStringConversion::toString(&vI, 0), "-42");

  // Numbers take a fixed 22-byte slot.
  resetRing();
  char* vFirst = QpStringConversion::toString(1);
  char* vSecond = QpStringConversion::toString(static_cast<QpLong>(-9223372036854775807LL));
  EXPECT_EQ(vSecond - vFirst, 22);
}

TEST(QpStringConversionText, LowBytesOfWideTexts) {
  const int kUcs4[] = {0x41, 0x142, 0};
  EXPECT_STREQ(QpStringConversion::toString(kUcs4, 1), "AB");
  const short kShorts[] = {0x61, static_cast<short>(0xFF62), 0};
  EXPECT_STREQ(QpStringConversion::toString(kShorts, 1), "ab");
  const unsigned short kUnits[] = {0x178, 0x79, 0};
  EXPECT_STREQ(QpStringConversion::toString(kUnits, 1), "xy");
  const QpWChar kWide[] = {'w', 0x169, 'd', 0};
  EXPECT_STREQ(QpStringConversion::toString(kWide), "wid");
  const QpWChar kEmpty[] = {0};
  EXPECT_STREQ(QpStringConversion::toString(kEmpty), "");
}

TEST(QpStringConversionText, QpLongToString) {
  char vOut[21];
  QpStringConversion::QpLongToString(0, vOut);
  EXPECT_STREQ(vOut, "0");
  QpStringConversion::QpLongToString(INT64_MIN, vOut);
  EXPECT_STREQ(vOut, "-9223372036854775808");
  QpStringConversion::QpLongToString(INT64_MAX, vOut);
  EXPECT_STREQ(vOut, "9223372036854775807");
  QpStringConversion::QpLongToString(-10, vOut);
  EXPECT_STREQ(vOut, "-10");
  QpStringConversion::QpLongToString(1000000, vOut);
  EXPECT_STREQ(vOut, "1000000");
}

// ---- The ring --------------------------------------------------------------------------------

TEST(QpStringConversionRing, WholeRingServedOneMoreRefused) {
  char* vStart = resetRing();
  // 1,048,576 bytes including the terminator: served, from the start.
  std::string vWhole(kRing - 1, 'w');
  char* vServed = QpStringConversion::toString(vWhole.c_str());
  EXPECT_EQ(vServed, vStart);
  EXPECT_EQ(std::strlen(vServed), static_cast<size_t>(kRing - 1));
  EXPECT_EQ(vServed[0], 'w');
  EXPECT_EQ(vServed[kRing - 2], 'w');
  // One byte more: refused, and the result is "-".
  std::string vTooBig(kRing, 'x');
  EXPECT_STREQ(QpStringConversion::toString(vTooBig.c_str()), "-");
  EXPECT_STREQ(QpStringConversion::removePercent(std::string(kRing, '%').c_str()), "-");
}

TEST(QpStringConversionRing, ResultSurvivesUntilTheRingWraps) {
  char* vStart = resetRing();
  char* vMarker = QpStringConversion::toString("marker");  // 7 bytes at the start
  ASSERT_EQ(vMarker, vStart);
  // Later conversions take the bytes after it, up to the last byte of the ring but one ...
  for (int i = 0; i < 1000; ++i) QpStringConversion::toString(i);  // 22 bytes each
  std::string vFill(kRing - 7 - 22000 - 2, 'f');
  char* vFilled = QpStringConversion::toString(vFill.c_str());
  EXPECT_EQ(vFilled, vMarker + 7 + 22000);
  EXPECT_STREQ(vMarker, "marker");
  // ... and the next request wraps and reuses the marker's bytes.
  char* vNext = QpStringConversion::toString("z");
  EXPECT_EQ(vNext, vStart);
  EXPECT_STREQ(vMarker, "z");
}

TEST(QpStringConversionRing, RequestEndingAtTheRingEndWraps) {
  char* vStart = resetRing();
  QpStringConversion::toString("abc");  // 4 bytes at the start
  // The rest of the ring is kRing - 4 bytes; a request of exactly that size would end at the
  // ring's end, so it wraps instead.
  std::string vRest(kRing - 4 - 1, 'r');
  EXPECT_EQ(QpStringConversion::toString(vRest.c_str()), vStart);
  // One byte less fits after "abc".
  QpStringConversion::toString("abc");
  std::string vShorter(kRing - 4 - 2, 's');
  EXPECT_EQ(QpStringConversion::toString(vShorter.c_str()), vStart + 4);
}

TEST(QpStringConversionRing, TwoThreadsAtOnce) {
  // Each thread checks every result at once, as callers must; interleaved reservations must
  // never hand the same bytes to both.
  auto vWork = [](int inSeed, bool* outOk) {
    *outOk = true;
    for (int i = 0; i < 3000; ++i) {
      const int vValue = inSeed * 100000 + i;
      const std::string vWant = std::to_string(vValue);
      if (QpStringConversion::toString(vValue) != vWant) *outOk = false;
      const std::string vText = "t" + std::to_string(inSeed) + "-" + std::string(i % 50, 'x');
      if (QpStringConversion::toString(vText.c_str()) != vText) *outOk = false;
      if (std::string(QpStringConversion::removePercent("5% of 10%")) != "5%% of 10%%")
        *outOk = false;
    }
  };
  bool vOk1 = false;
  bool vOk2 = false;
  std::thread t1(vWork, 1, &vOk1);
  std::thread t2(vWork, 2, &vOk2);
  t1.join();
  t2.join();
  EXPECT_TRUE(vOk1);
  EXPECT_TRUE(vOk2);
}

// ---- Parsing ---------------------------------------------------------------------------------

TEST(QpStringConversionParse, AcceptedForms) {
  EXPECT_EQ(QpStringConversion::stringToQpLong(" 42", 0), 42);
  EXPECT_EQ(QpStringConversion::stringToQpLong("-17", 0), -17);
  EXPECT_EQ(QpStringConversion::stringToQpLong("+8", 0), 8);
  EXPECT_EQ(QpStringConversion::stringToQpLong("+", 0), 0);
  EXPECT_EQ(QpStringConversion::stringToQpLong("-", 0), 0);
  EXPECT_EQ(QpStringConversion::stringToQpLong("\t\n 7", 0), 7);
  EXPECT_EQ(QpStringConversion::stringToQpLong("\x80\xFF"
                                               "3",
                                               0),
            3);  // high bytes lead too
  EXPECT_EQ(QpStringConversion::stringToQpLong("   ", 0), 0);
  EXPECT_EQ(QpStringConversion::stringToQpLong("", 0), 0);
  EXPECT_EQ(QpStringConversion::stringToQpLong(nullptr, 0), 0);
  EXPECT_EQ(QpStringConversion::stringToQpLong("007", 0), 7);
  EXPECT_EQ(QpStringConversion::stringToQpLong("9223372036854775807", 0), INT64_MAX);
  EXPECT_EQ(QpStringConversion::stringToQpLong("-9223372036854775808", 0), INT64_MIN);
  // Overflow wraps in 64 bits.
  EXPECT_EQ(QpStringConversion::stringToQpLong("9223372036854775808", 0), INT64_MIN);
  EXPECT_EQ(QpStringConversion::stringToQpLong("18446744073709551617", 0), 1);
}

TEST(QpStringConversionParse, ErrorsRaiseOrStopWhenLenient) {
  const struct {
    const char* mText;
    QpLong mLenient;
  } kCases[] = {{"7x", 7},   {"12abc", 12}, {"12 ", 12}, {"--5", 0},
                {"-3-", -3}, {"x1", 0},     {"+-1", 0},  {"1+", 1}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.mText);
    EXPECT_EQ(QpStringConversion::stringToQpLong(c.mText, 1), c.mLenient);
    try {
      QpStringConversion::stringToQpLong(c.mText, 0);
      ADD_FAILURE() << "accepted";
    } catch (QpParameterException& e) {
      EXPECT_EQ(e.GetErrorCode(), QP_PARAM_ERR);
      EXPECT_EQ(e.GetSysErrorCode(), 0);
      EXPECT_EQ(qpTake(e.GetMessageString()), "Not a valid QpLong value");
      EXPECT_EQ(qpTake(e.GetTraceString("<")),
                std::string("QpStringConversion::stringToQpLong(") + c.mText + ",false)");
    }
  }
}

// ---- Format safety ---------------------------------------------------------------------------

TEST(QpStringConversionPercent, DoublesPercentAndTruncatesLongTexts) {
  EXPECT_STREQ(QpStringConversion::removePercent(nullptr), "NULL");
  EXPECT_STREQ(QpStringConversion::removePercent("50% done"), "50%% done");
  EXPECT_STREQ(QpStringConversion::removePercent("%%"), "%%%%");
  EXPECT_STREQ(QpStringConversion::removePercent("plain"), "plain");
  EXPECT_STREQ(QpStringConversion::removePercent(""), "");

  // 2048 bytes are kept whole; from 2049 the text is cut to 999 bytes and the marker.
  std::string vLimit(2048, 'a');
  EXPECT_EQ(std::string(QpStringConversion::removePercent(vLimit.c_str())), vLimit);
  std::string vLong(3000, 'b');
  std::string vCut = QpStringConversion::removePercent(vLong.c_str());
  EXPECT_EQ(vCut.size(), 1013u);
  EXPECT_EQ(vCut, std::string(999, 'b') + "...<truncated>");
  // The cut is literal: a '%' among the first 999 bytes is doubled, later ones are gone.
  std::string vMixed = std::string(998, 'c') + "%" + std::string(2000, '%');
  EXPECT_EQ(std::string(QpStringConversion::removePercent(vMixed.c_str())),
            std::string(998, 'c') + "%%...<truncated>");
}

// ---- Encodings -------------------------------------------------------------------------------

TEST(QpStringConversionEncodings, FromLatin1AndUcs2) {
  EXPECT_EQ(qpTake(QpStringConversion::convert_from_char("caf\xE9", 0)), "caf\xC3\xA9");
  EXPECT_EQ(qpTake(QpStringConversion::convert_from_charA("\xFF", 0)), "\xC3\xBF");
  const QpWChar kWide[] = {0x41, 0x20AC, 0};
  EXPECT_EQ(qpTake(QpStringConversion::convert_from_wchar(kWide, 0)), "A\xE2\x82\xAC");
  // Validated: a control character is refused unless allowInvalid passes it.
  EXPECT_QP_THROW(qp_free(QpStringConversion::convert_from_char("a\x01", 0)), QpInvalidXMLException,
                  nullptr);
  EXPECT_EQ(qpTake(QpStringConversion::convert_from_char("a\x01", 1)), "a\x01");
  const QpWChar kControl[] = {0x02, 0};
  EXPECT_QP_THROW(qp_free(QpStringConversion::convert_from_wchar(kControl, 0)),
                  QpInvalidXMLException, nullptr);
}

TEST(QpStringConversionEncodings, IntoFixedArrays) {
  char vUtf8[] = "ab\xC3\xA9\xF0\x9F\x98\x80z";  // a b é 😀 z: five characters

  unsigned short vU16[3] = {9, 9, 9};
  QpStringConversion::convert_to_utf16(vUtf8, vU16, 3, 0);
  EXPECT_EQ(vU16[0], 'a');
  EXPECT_EQ(vU16[1], 'b');
  EXPECT_EQ(vU16[2], 0);

  unsigned short vU16All[8];
  QpStringConversion::convert_to_utf16(vUtf8, vU16All, 8, 0);
  const unsigned short kU16Want[] = {'a', 'b', 0xE9, 0xD83D, 0xDE00, 'z', 0};
  EXPECT_EQ(0, std::memcmp(vU16All, kU16Want, sizeof(kU16Want)));

  QpWChar vUcs2[8];
  QpStringConversion::convert_to_wchar(vUtf8, vUcs2, 8, 0);
  const QpWChar kUcs2Want[] = {'a', 'b', 0xE9, 0xF600, 'z', 0};
  EXPECT_EQ(0, std::memcmp(vUcs2, kUcs2Want, sizeof(kUcs2Want)));

  int vUcs4[4];
  QpStringConversion::convert_to_utf32(vUtf8, vUcs4, 4, 0);
  const int kUcs4Want[] = {'a', 'b', 0xE9, 0};
  EXPECT_EQ(0, std::memcmp(vUcs4, kUcs4Want, sizeof(kUcs4Want)));

  char vLatin[16];
  QpStringConversion::convert_to_char(vUtf8, vLatin, 16, 0);
  EXPECT_STREQ(vLatin, "ab\xE9");  // 0x1F600 cut to 8 bits is 0, which ends the copy

  // One element: only the terminator. Zero or less: nothing is touched.
  int vOne[2] = {7, 7};
  QpStringConversion::convert_to_utf32(vUtf8, vOne, 1, 0);
  EXPECT_EQ(vOne[0], 0);
  EXPECT_EQ(vOne[1], 7);
  char vUntouched[2] = {'u', 'u'};
  QpStringConversion::convert_to_char(vUtf8, vUntouched, 0, 0);
  QpStringConversion::convert_to_char(vUtf8, vUntouched, -1, 0);
  EXPECT_EQ(vUntouched[0], 'u');

  // The conversions are lenient: malformed input becomes spaces, never an error.
  char vBad[] =
      "a\x80"
      "b";
  char vOut[8];
  QpStringConversion::convert_to_char(vBad, vOut, 8, 0);
  EXPECT_STREQ(vOut, "a b");
  char vNullOut[4] = {'n', 'n', 'n', 'n'};
  QpStringConversion::convert_to_char(nullptr, vNullOut, 4, 0);
  EXPECT_EQ(vNullOut[0], 0);
}

TEST(QpStringConversionEncodings, LengthAndValidation) {
  const int kFive = 5;
  const int kZero = 0;
  const int kNegative = -3;
  EXPECT_EQ(QpStringConversion::get_length(nullptr), 1);
  EXPECT_EQ(QpStringConversion::get_length(&kZero), 1);
  EXPECT_EQ(QpStringConversion::get_length(&kNegative), 1);
  EXPECT_EQ(QpStringConversion::get_length(&kFive), 5);

  QpStringConversion::validate_utf8(nullptr);
  QpStringConversion::validate_utf8("ok \xC3\xA9");
  EXPECT_QP_THROW(QpStringConversion::validate_utf8("bad \xC3"), QpInvalidXMLException, nullptr);
  EXPECT_QP_THROW(QpStringConversion::validate_utf8(""), QpInvalidXMLException, nullptr);
  try {
    QpStringConversion::validate_utf8("\x80");
    ADD_FAILURE() << "accepted";
  } catch (QpInvalidXMLException& e) {
    EXPECT_EQ(e.GetSysErrorCode(), 0);
    EXPECT_EQ(qpTake(e.GetTraceString("<")), "No trace available");
  }
}

TEST(QpStringConversionEncodings, OutOfMemoryLeavesOutputUntouchedAndNoLeak) {
  char vUtf8[] = "h\xC3\xA9llo";
  char vOut[8];
  int n = qpWalkAllocations(
      [&] {
        qp_memset(vOut, 'q', sizeof(vOut));
        QpStringConversion::convert_to_char(vUtf8, vOut, 8, 0);
      },
      [&] { EXPECT_EQ(vOut[0], 'q'); });
  EXPECT_EQ(n, 1);
  n = qpWalkAllocations(
      [&] {
        unsigned short vU16[8];
        QpStringConversion::convert_to_utf16(vUtf8, vU16, 8, 0);
        int vU32[8];
        QpStringConversion::convert_to_utf32(vUtf8, vU32, 8, 0);
        QpWChar vUcs2[8];
        QpStringConversion::convert_to_wchar(vUtf8, vUcs2, 8, 0);
      },
      [] {});
  EXPECT_EQ(n, 3);
  n = qpWalkAllocations([] { qp_free(QpStringConversion::convert_from_char("caf\xE9", 0)); },
                        [] {});
  EXPECT_EQ(n, 2);  // five bytes to start with, six needed
  // The ring needs no allocation at all.
  n = qpWalkAllocations(
      [] {
        QpStringConversion::toString(12345);
        QpStringConversion::toString("text");
        QpStringConversion::removePercent("1%");
      },
      [] {});
  EXPECT_EQ(n, 0);
}
