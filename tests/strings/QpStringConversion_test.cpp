// Tests of the text ring, the value conversions, parsing, format safety and the encodings.
#include <cstdint>
#include <future>
#include <string>
#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

using C = QpStringConversion;
using V = std::vector<int>;
const int kRing = 1048576;

// A request of the ring's whole size wraps and exhausts the ring, so the next one starts at the
// beginning again: a fixed point. Returns the start of the ring, where the next one is served.
char* resetRing() {
  const std::string vFill(kRing - 1, 'f');
  C::toString(vFill.c_str());
  char* vStart = C::toString("");
  C::toString(vFill.c_str());
  return vStart;
}

// Runs a convert_to_* into inSize elements of an array that has one more, every element 7 at
// first, so that a write beyond inSize shows; a conversion that fails must write nothing.
template <class T>
V convertTo(void (*inConvert)(char*, T*, int, unsigned char), const char* inUtf8, int inSize) {
  std::string vIn(inUtf8);
  std::vector<T> vOut(static_cast<size_t>(inSize > 0 ? inSize + 1 : 1), 7);
  try {
    inConvert(&vIn[0], vOut.data(), inSize, 0);
  } catch (QpOutOfMemException&) {
    EXPECT_EQ(vOut, std::vector<T>(vOut.size(), 7));
    throw;
  }
  return V(vOut.begin(), vOut.end());
}

}  // namespace

TEST(QpStringConversionText, ValuesToText) {
  const QpLong vMin = INT64_MIN;
  const unsigned short vU = 0xFFFF;
  const int kUcs4[] = {0x41, 0x142, 0};
  const short kShorts[] = {0x61, static_cast<short>(0xFF62), 0};
  const QpWChar kWide[] = {'w', 0x1E9, 'z', 0};
  QpStringBuffer vBuffer("from a buffer");
  const auto vLong = [](QpLong inValue) {
    char vOut[21];  // exactly the documented size: ASan reports a longer write
    C::QpLongToString(inValue, vOut);
    return std::string(vOut);
  };
  // Pointer forms: numbers (only unsigned short zero-extended), or the low byte of each element.
  const std::pair<std::string, const char*> kCases[] = {
      {C::toString(static_cast<const QpWChar*>(nullptr)), "NULL"},
      {C::toString(true), "true"},
      {C::toString(&vBuffer), "from a buffer"},
      {C::toString(&vMin), "-9223372036854775808"},
      {C::toString(&vU, 0), "65535"},
      {C::toString(kUcs4, 1), "AB"},
      {C::toString(kShorts, 1), "ab"},
      {C::toString(kWide), "w\xE9z"},
      {vLong(INT64_MIN), "-9223372036854775808"}};
  for (const auto& c : kCases) EXPECT_EQ(c.first, c.second) << &c - kCases;
  resetRing();
  char* vFirst = C::toString(1);
  EXPECT_EQ(C::toString(static_cast<QpLong>(-1)) - vFirst, 22);  // numbers take a fixed slot
}

TEST(QpStringConversionRing, ReservationAndReuse) {
  char* vStart = resetRing();
  const std::string vWhole(kRing - 1, 'w');  // 1,048,576 bytes with the terminator
  char* vServed = C::toString(vWhole.c_str());
  EXPECT_EQ(vServed, vStart);
  EXPECT_EQ(std::string(vServed), vWhole);
  EXPECT_STREQ(C::toString(std::string(kRing, 'x').c_str()), "-");
  EXPECT_STREQ(C::removePercent(std::string(kRing, '%').c_str()), "-");

  resetRing();
  char* vMarker = C::toString("marker");  // 7 bytes at the start
  ASSERT_EQ(vMarker, vStart);
  // Later conversions take the bytes after it, up to the last byte of the ring but one ...
  for (int i = 0; i < 1000; ++i) C::toString(i);  // 22 bytes each
  EXPECT_EQ(C::toString(std::string(kRing - 7 - 22000 - 2, 'f').c_str()), vMarker + 7 + 22000);
  EXPECT_STREQ(vMarker, "marker");
  // ... and the next request wraps and reuses the marker's bytes.
  EXPECT_EQ(C::toString("z"), vStart);
  EXPECT_STREQ(vMarker, "z");

  // After those 2 bytes, a request ending exactly at the ring's end wraps.
  EXPECT_EQ(C::toString(std::string(kRing - 2 - 1, 'r').c_str()), vStart);
}

TEST(QpStringConversionRing, TwoThreadsAtOnce) {
  // Interleaved reservations must never hand the same bytes to both threads.
  const auto vWork = [](int inSeed) {
    bool vOk = true;
    for (int i = 0; i < 3000; ++i) {
      const int vValue = inSeed * 100000 + i;
      const std::string vText = "t" + std::to_string(inSeed) + "-" + std::string(i % 50, 'x');
      if (C::toString(vValue) != std::to_string(vValue) || C::toString(vText.c_str()) != vText ||
          std::string(C::removePercent("5% of 10%")) != "5%% of 10%%")
        vOk = false;
    }
    return vOk;
  };
  std::future<bool> vOther = std::async(std::launch::async, vWork, 1);
  EXPECT_TRUE(vWork(2));
  EXPECT_TRUE(vOther.get());
}

TEST(QpStringConversionParse, StringToQpLong) {
  // Bytes from 0x80 lead like spaces; overflow wraps.
  // clang-format off
  const std::pair<const char*, QpLong> kAccepted[] = {
      {" 42", 42}, {"-17", -17}, {"-", 0}, {"\t\n 7", 7}, {"\x80\xFF\x33", 3}, {nullptr, 0},
      {"-9223372036854775808", INT64_MIN}, {"18446744073709551617", 1}};
  // clang-format on
  for (const auto& c : kAccepted) EXPECT_EQ(C::stringToQpLong(c.first, 0), c.second) << c.first;
  // Errors: the value read so far when lenient.
  const std::pair<const char*, QpLong> kCases[] = {
      {"12 ", 12}, {"--5", 0}, {"-3-", -3}, {"x1", 0}, {"1+", 1}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(C::stringToQpLong(c.first, 1), c.second);
    const std::string vTrace =
        std::string("QpStringConversion::stringToQpLong(") + c.first + ",false)";
    EXPECT_QP_FAILURE(QpParameterException, C::stringToQpLong(c.first, 0),
                      "Not a valid QpLong value", vTrace.c_str());
  }
}

TEST(QpStringConversionPercent, DoublesPercentAndTruncatesLongTexts) {
  // 2048 bytes are kept whole; from 2049 the text is cut to 999 bytes and the marker. The cut is
  // literal: a '%' among the first 999 bytes is doubled, later ones are gone.
  const std::string vMixed = std::string(998, 'c') + "%" + std::string(2000, '%');
  const std::pair<std::string, std::string> kCases[] = {
      {C::removePercent(nullptr), "NULL"},
      {C::removePercent("50% done"), "50%% done"},
      {C::removePercent(std::string(2048, 'a').c_str()), std::string(2048, 'a')},
      {C::removePercent(std::string(2049, 'b').c_str()), std::string(999, 'b') + "...<truncated>"},
      {C::removePercent(vMixed.c_str()), std::string(998, 'c') + "%%...<truncated>"}};
  for (const auto& c : kCases) EXPECT_EQ(c.first, c.second) << &c - kCases;
}

TEST(QpStringConversionEncodings, FromCharAndWideAndValidation) {
  EXPECT_EQ(qpTake(C::convert_from_char("caf\xE9", 0)), "caf\xC3\xA9");
  const QpWChar kWide[] = {0x41, 0x20AC, 0};
  EXPECT_EQ(qpTake(C::convert_from_wchar(kWide, 0)), "A\xE2\x82\xAC");
  // Validated: a control character is refused unless allowInvalid passes it.
  EXPECT_QP_THROW(qp_free(C::convert_from_char("a\x01", 0)), QpInvalidXMLException, nullptr);
  EXPECT_EQ(qpTake(C::convert_from_char("a\x01", 1)), "a\x01");

  C::validate_utf8("ok \xC3\xA9");
  EXPECT_QP_FAILURE(QpInvalidXMLException, C::validate_utf8("bad \xC3"), nullptr,
                    "No trace available");
}

TEST(QpStringConversionEncodings, OutOfMemory) {
  // A failed copy raises, writes nothing, leaks nothing; the ring allocates nothing.
  // Each result is checked on the walk's last, complete run.
  const auto vConvert = [] {
    const char* kText = "ab\xC3\xA9\xF0\x9F\x98\x80z";  // a b é 😀 z: five characters
    EXPECT_EQ(convertTo(C::convert_to_utf16, kText, 7),
              (V{'a', 'b', 0xE9, 0xD83D, 0xDE00, 'z', 0, 7}));
    EXPECT_EQ(convertTo(C::convert_to_wchar, kText, 6), (V{'a', 'b', 0xE9, 0xF600, 'z', 0, 7}));
    EXPECT_EQ(convertTo(C::convert_to_utf32, kText, 4), (V{'a', 'b', 0xE9, 0, 7}));
    EXPECT_EQ(convertTo(C::convert_to_char, kText, -1), V{7});
    EXPECT_EQ(convertTo(C::convert_to_char, kText, 4),
              (V{'a', 'b', static_cast<char>(0xE9), 0, 7}));
  };
  EXPECT_EQ(qpWalkAllocations(vConvert, [] {}), 4);
  EXPECT_EQ(qpWalkAllocations([] { qp_free(C::convert_from_char("caf\xE9", 0)); }, [] {}), 2);
  const auto vRing = [] { C::toString(12345), C::toString("text"), C::removePercent("1%"); };
  EXPECT_EQ(qpWalkAllocations(vRing, [] {}), 0);
}
