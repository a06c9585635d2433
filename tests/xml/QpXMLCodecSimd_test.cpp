// Tests of the fast paths of the conversions: at every vector level the processor has, every
// fast-pathed conversion, count and validity test must answer exactly as the character-by-
// character code (QP_SIMD_SCALAR) does - same units, same exception class, code and message.
// The odd pieces sit at every offset of an ASCII text, so that each one meets every position
// inside a 16-, 32- and 64-byte block and the text's end.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"
#include "QpXMLCodecHooks.h"

namespace {

typedef std::vector<unsigned short> Units;

template <class T>
std::string bytesOf(T* inResult) {
  size_t n = 0;
  while (inResult[n] != 0) ++n;
  std::string vBytes(reinterpret_cast<const char*>(inResult), n * sizeof(T));
  qp_free(inResult);
  return vBytes;
}

// A call's whole outcome as one text: its result's bytes, or the exception's code and message.
typedef std::string Outcome;
Outcome outcomeOf(const std::function<std::string()>& inCall) {
  try {
    return "ok " + inCall();
  } catch (QpInvalidXMLException& e) {
    char* vMessage = e.GetMessageString();
    const Outcome vOutcome = "error " + std::to_string(e.GetErrorCode()) + " " +
                             (vMessage != nullptr ? vMessage : "(none)");
    qp_free(vMessage);
    return vOutcome;
  }
}

// Every fast-pathed operation on inBytes (UTF-8) and inUnits (UTF-16, terminated by a zero unit
// that the explicit length leaves out) in every flag combination, with the explicit length and,
// where the text has no zero, with -1.
std::vector<Outcome> everyOutcome(const std::string& inBytes, const Units& inUnits) {
  std::vector<Outcome> vAll;
  const char* vText = inBytes.c_str();
  const unsigned short* vWide = inUnits.data();
  const bool vZeroFree8 = std::strlen(vText) == inBytes.size();
  const int vLen = static_cast<int>(inBytes.size()),
            vWideLen = static_cast<int>(inUnits.size()) - 1;
  for (int vFlags = 0; vFlags < 4; ++vFlags) {
    const unsigned char v = vFlags & 1, a = vFlags >> 1;
    for (int n : {vLen, vZeroFree8 ? -1 : vLen}) {
      vAll.push_back(outcomeOf([&] { return bytesOf(QpConvertUTF8ToUTF16(vText, n, v, a)); }));
      vAll.push_back(outcomeOf([&] { return bytesOf(QpConvertUTF8ToUCS2(vText, n, v, a)); }));
      vAll.push_back(outcomeOf([&] { return bytesOf(QpConvertUTF8ToUCS4(vText, n, v, a)); }));
      vAll.push_back(outcomeOf([&] { return std::to_string(QpCountCharacters(vText, n, v, a)); }));
    }
    for (int n : {vWideLen, -1})
      vAll.push_back(outcomeOf([&] { return bytesOf(QpConvertUTF16ToUTF8(vWide, n, v, a)); }));
  }
  vAll.push_back(outcomeOf([&] { return std::to_string(QpValidUTF8(vText, vLen)); }));
  return vAll;
}

void expectLevelsAgree(const std::string& inBytes, Units inUnits) {
  inUnits.push_back(0);
  std::vector<Outcome> vScalar;
  {
    StXMLCodecSimdLevel vLevel(QP_SIMD_SCALAR);
    vScalar = everyOutcome(inBytes, inUnits);
  }
  for (int vWanted : {QP_SIMD_SSE2, QP_SIMD_AVX2, QP_SIMD_AVX512}) {
    StXMLCodecSimdLevel vLevel(vWanted);
    if (!vLevel.ok()) continue;
    ASSERT_EQ(everyOutcome(inBytes, inUnits), vScalar)
        << "level " << vWanted << " on " << testing::PrintToString(inBytes);
  }
}

}  // namespace

TEST(QpXMLCodecSimd, LevelSwitch) {
  const int vBest = QpXMLCodecSimdLevel();
  for (int vBad : {-1, vBest + 1, QP_SIMD_AVX512 + 1}) EXPECT_FALSE(QpXMLCodecSetSimdLevel(vBad));
  for (int vLevel = QP_SIMD_SCALAR; vLevel <= vBest; ++vLevel) {
    StXMLCodecSimdLevel vForce(vLevel);
    EXPECT_TRUE(vForce.ok() && QpXMLCodecSimdLevel() == vLevel) << vLevel;
  }
  EXPECT_EQ(QpXMLCodecSimdLevel(), vBest);
}

TEST(QpXMLCodecSimd, EveryOddPieceAtEveryOffsetOfAnAsciiText) {
  // UTF-8 pieces: malformed (stray continuation, overlong, cut, out of range, five- and
  // six-byte forms, FE/FF), surrogates, refused XML characters (controls, zero, U+FFFE/FFFF) and
  // clean characters of every length and edge.
  // clang-format off
  const std::string kPieces[] = {
      "\x80", "\xBF", "\xC0\xAF", "\xC1\xBF", "\xC3", "\xE6\x97", "\xF0\x9F\x98", "\xE0\x80\x80",
      "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xF8\x88\x80\x80\x80",
      "\xFC\x84\x80\x80\x80\x80", "\xFE", "\xFF", "\xC3\x28", "\xE6\x28\xA5", "\xED\xA0\x80",
      "\xED\xBF\xBF", "\x01", "\x1F", std::string(1, '\0'), "\xEF\xBF\xBE", "\xEF\xBF\xBF", "\x7F",
      "\t\r\n", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80",
      "\xEF\xBF\xBD", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF", "\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80"};
  // clang-format on
  // UTF-16 pieces: lone and reversed surrogates, a pair, refused units, clean units at the edges.
  const Units kWidePieces[] = {{0xD800},         {0xDBFF},         {0xDC00}, {0xDFFF},
                               {0xDC00, 0xD800}, {0xD83D, 0xDE00}, {0xFFFE}, {0xFFFF},
                               {0x01},           {0x1F},           {0x00},   {0x7F, 0x80},
                               {0x7FF, 0x800},   {0xD7FF, 0xE000}, {0xFFFD}, {0x09, 0x0D}};
  const int kTextLength = 140;
  for (int vAt = 0; vAt <= 130; ++vAt) {
    for (size_t p = 0; p < std::size(kPieces) && !HasFailure(); ++p) {
      std::string vText;
      for (int i = 0; i < kTextLength; ++i) vText += static_cast<char>('a' + i % 26);
      Units vUnits(vText.begin(), vText.end());
      vText.insert(static_cast<size_t>(vAt), kPieces[p]);
      const Units& vWide = kWidePieces[p % std::size(kWidePieces)];
      vUnits.insert(vUnits.begin() + vAt, vWide.begin(), vWide.end());
      expectLevelsAgree(vText, vUnits);
      // The piece as the text's end: cut sequences and lone high surrogates at the edge.
      expectLevelsAgree(vText.substr(0, static_cast<size_t>(vAt) + kPieces[p].size()),
                        Units(vUnits.begin(), vUnits.begin() + vAt + vWide.size()));
    }
  }
}
