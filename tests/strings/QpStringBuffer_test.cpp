// Tests of the string buffer family: growth, every modification with its refusals and its
// out-of-memory paths, the character count across appends, comparisons, reading, the factories.
#include <gtest/gtest.h>

#include <cstdarg>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"
#include "QpXMLCodecHooks.h"

#define U16(s) reinterpret_cast<const unsigned short*>(s)
#define U32(s) reinterpret_cast<const int*>(s)

namespace {

using Buf = QpBasicStringBuffer;
using SB = QpStringBuffer;
using AB = QpAsciiStringBuffer;
using V = std::vector<int>;

std::string bytes(const Buf& b) {
  return std::string(b.toStringConst(), static_cast<size_t>(b.getLength()));
}

// The whole observable state as one text: "unchanged" is one comparison that prints well.
std::string want(const std::string& inText, int inCapacity, int inCount, int inError = 0) {
  std::string v = "\"";
  for (unsigned char c : inText)
    v += c >= 0x20 && c < 0x7F ? std::string(1, c) : "\\" + std::to_string(c) + "\\";
  return v + "\" cap " + std::to_string(inCapacity) + " count " + std::to_string(inCount) +
         " err " + std::to_string(inError);
}
std::string state(const Buf& b) {
  return want(bytes(b), b.getCapacity(), b.getCharCount(), b.getError());
}

int fullCount(const Buf& b) {
  return QpCountCharacters(b.toStringConst(), b.getLength(), 0,
                           QpUtils::isReadOfInvalidXMLAllowed() ? 1 : 0);
}

// A UTF-16 or UCS-4 result up to and including its 0 unit, freed; null gives {}.
template <class T>
V takeUnits(T* inUnits) {
  V v;
  for (int i = 0; inUnits != nullptr && (i == 0 || inUnits[i - 1] != 0); ++i)
    v.push_back(inUnits[i]);
  qp_free(inUnits);
  return v;
}

struct StAllowInvalid {  // the process-wide invalid-XML switch, for one scope
  bool mPrevious = QpUtils::isReadOfInvalidXMLAllowed();
  explicit StAllowInvalid(bool inAllow) { QpUtils::SetAllowReadOfInvalidXML(inAllow); }
  ~StAllowInvalid() { QpUtils::SetAllowReadOfInvalidXML(mPrevious); }
};

template <class B>
std::unique_ptr<B> formatted(const char* inFormat, ...) {
  va_list vArgs;
  va_start(vArgs, inFormat);
  std::unique_ptr<B> vBuffer(B::createInstance(inFormat, vArgs));
  va_end(vArgs);
  return vBuffer;
}

// Checks and deletes a factory's result; false when it was null.
bool made(Buf* inMade, const std::string& inText, int inCount) {
  std::unique_ptr<Buf> p(inMade);
  if (p != nullptr) {
    EXPECT_EQ(bytes(*p), inText);
    EXPECT_EQ(p->getCharCount(), inCount);
  }
  return p != nullptr;
}

// The fifteen modifying slots, with input a UTF-8 buffer accepts. mWide: an ASCII buffer refuses
// it. mTrace: the trace when a failed buffer refuses it (null for clear, which it allows).
struct Modification {
  bool mWide;
  const char* mTrace;
  std::function<void(Buf&)> mApply;
};
#define QP_SB "QpBasicStringBuffer::"
const Modification kModifications[] = {
    {true, QP_SB "strcat(-)", [](Buf& b) { b.strcat(SB("x")); }},
    {true, QP_SB "strcat(-)", [](Buf& b) { b.strcat(U32(U"x")); }},
    {true, QP_SB "strcat(-)", [](Buf& b) { b.strcat(U16(u"x")); }},
    {false, QP_SB "strcat(-)", [](Buf& b) { b.strcat("x"); }},
    {true, QP_SB "strcat(65)", [](Buf& b) { b.strcat(0x41); }},
    {true, QP_SB "strcat(65)", [](Buf& b) { b.strcat(static_cast<unsigned short>(0x41)); }},
    {false, QP_SB "strcat(x)", [](Buf& b) { b.strcat('x'); }},
    {false, nullptr, [](Buf& b) { b.clear(); }},
    {true, QP_SB "strncpy(-, 1)", [](Buf& b) { b.strncpy(U32(U"x"), 1); }},
    {true, QP_SB "strncpy(-, 1)", [](Buf& b) { b.strncpy(U16(u"x"), 1); }},
    {false, QP_SB "strncpy(-, 1)", [](Buf& b) { b.strncpy("x", 1); }},
    {true, QP_SB "strcpy(-)", [](Buf& b) { b.strcpy(SB("x")); }},
    {true, QP_SB "strncpy(-, 1)<" QP_SB "strcpy(-)", [](Buf& b) { b.strcpy(U32(U"x")); }},
    {true, QP_SB "strncpy(-, 1)<" QP_SB "strcpy(-)", [](Buf& b) { b.strcpy(U16(u"x")); }},
    {false, QP_SB "strncpy(-, 1)<" QP_SB "strcpy(-)", [](Buf& b) { b.strcpy("x"); }},
};

}  // namespace

TEST(QpStringBufferStorage, BlockSizesAndConstructors) {
  const int kBlocks[][2] = {{64, 64},   {65, 128},    {128, 256}, {511, 512},
                            {512, 768}, {1000, 1024}, {-1, 0}};
  for (const auto& row : kBlocks) EXPECT_EQ(SB(row[0]).getCapacity(), row[1]) << row[0];
  EXPECT_EQ(state(SB(static_cast<const char*>(nullptr))), want("", 0, 0));
  EXPECT_EQ(state(SB(U16(u"a\u00E9"))), want("a\xC3\xA9", 64, 2));
  EXPECT_EQ(state(SB(U32(U"\U0001F600"))), want("\xF0\x9F\x98\x80", 64, 1));
  EXPECT_THROW(SB(U16(u"a\uFFFF")), QpInvalidXMLException);  // whatever the invalid-XML switch
}

TEST(QpStringBufferStorage, CopiesAssignmentsAndFormatting) {
  SB vSmall("z"), vNone, vAbc("abc");
  vSmall = vAbc;
  EXPECT_EQ(state(vSmall), want("abc", 128, 3));  // the source's capacity plus one
  vSmall = vNone;                                 // empties, keeps the storage
  EXPECT_EQ(state(vSmall), want("", 128, 0));
  // The limit (size - 1) widens by 256 per step: 63, 319, 575, 831, 1087 > 1000; 62 fit.
  const std::string v1000(1000, 'w');
  EXPECT_EQ(state(SB(0, "%s", v1000.c_str())), want(v1000, 64 + 4 * 256, 1000));
  EXPECT_EQ(SB(0, "%s", std::string(62, 'e').c_str()).getCapacity(), 64);
  EXPECT_EQ(Buf(0, "%d\xC3\xA9", 42).getCharCount(), 3);
}

TEST(QpStringBufferAppend, AsciiBufferRefusesWideText) {
  AB b("keep");
  b.strcat('\xE9');
  const std::string vBefore = state(b);
  for (const Modification& m : kModifications)
    if (m.mWide) EXPECT_QP_THROW(m.mApply(b), QpParameterException, nullptr);
  EXPECT_EQ(state(b), vBefore);
}

TEST(QpStringBufferCount, IncrementalCountEqualsFullCount) {
  // Bytes rich in malformed UTF-8: continuations, every kind of lead (C0, C1, F5-FF too),
  // surrogate and overlong starters, control characters.
  const char kBytes[] =
      "ab\x01\x1F\x80\x9F\xA9\xBF\xC0\xC1\xC2\xC3\xDF\xE0\xE2\xED\xEF\xF0\xF4\xF5\xF8\xFC\xFF";
  using S = const std::string&;
  const std::function<void(SB&, S, unsigned)> kSteps[] = {
      [](SB& b, S s, unsigned) { b.strcat(s.c_str()); },
      [](SB& b, S s, unsigned) { b.strcat(SB(s.c_str())); },
      [](SB& b, S s, unsigned) { b.strcat(AB(s.c_str())); },
      [](SB& b, S s, unsigned) { b.strcat(QpConstStringBuffer(s.c_str())); },
      [](SB& b, S, unsigned r) { b.strcat(static_cast<char>('A' + r % 26)); },
      [](SB& b, S, unsigned) {
        if (b.getLength() < 300) b.strcat(b);
      },
      // Zero padding inside the text: the count covers those bytes too.
      [](SB& b, S s, unsigned r) { b.strncpy(s.c_str(), static_cast<int>(s.size() + r % 3)); },
  };
  // Pieces are counted character by character, whole buffers a vector block at a time: each
  // flag runs at every level of the fast paths.
  for (int vRun = 0; vRun < 2 * (QP_SIMD_AVX512 + 1); ++vRun) {
    const bool vAllow = (vRun & 1) != 0;
    StXMLCodecSimdLevel vLevel(vRun / 2);
    if (!vLevel.ok()) continue;
    StAllowInvalid vSwitch(vAllow);
    std::mt19937 vRng(vAllow ? 7 : 11);
    for (int vRound = 0; vRound < 300; ++vRound) {
      SB b;
      for (int vStep = 0; vStep < 80; ++vStep) {
        // Single bytes half the time: they cut sequences at every possible point.
        std::string vChunk(vRng() % 2 ? 1 : 1 + vRng() % 9, ' ');
        for (char& c : vChunk) c = kBytes[vRng() % (sizeof(kBytes) - 1)];
        kSteps[vChunk.size() == 1 ? 0 : vRng() % 7](b, vChunk, vRng());
        ASSERT_EQ(b.getCharCount(), fullCount(b))
            << "allow=" << vAllow << " " << want(bytes(b), 0, 0);
      }
    }
  }
}

// One-byte and one-character appends mixed with string appends, against a model that keeps the
// bytes, grows the capacity in the fixed block steps and counts the whole text afresh each time:
// text, character count and capacity must match after every step, refusals included. A UTF-8
// buffer takes only the XML-valid single bytes and characters, whatever the invalid-XML switch
// says; an ASCII buffer takes every byte and no character.
TEST(QpStringBufferAppend, OneByteAndOneCharacterAppendsMatchAModel) {
  // Plain and refused bytes, leads and continuations that leave sequences open or malformed.
  const char kBytes[] = "aZ \t\n\r~\x01\x1F\x7F\x80\xA9\xBF\xC1\xC3\xE2\xED\xF0\xF4\xF8\xFC\xFF";
  const int kChars[] = {0x41,     0x9, 0xE9, 0x7FF,  0x800,  0x20AC,   0xFFFD, 0x10000,
                        0x10FFFF, 0x0, 0x1F, 0xD800, 0xFFFE, 0x110000, -1};
  for (int vRun = 0; vRun < 4; ++vRun) {
    const bool vAscii = (vRun & 1) != 0, vAllow = (vRun & 2) != 0;
    StAllowInvalid vSwitch(vAllow);
    std::mt19937 vRng(17 + vRun);
    for (int vRound = 0; vRound < 40; ++vRound) {
      std::unique_ptr<SB> b(vAscii ? new AB() : new SB());
      std::string vText;
      int vCapacity = 0;
      for (int vStep = 0; vStep < 700; ++vStep) {
        const unsigned vKind = vRng() % 8;
        const char c = kBytes[vRng() % (sizeof kBytes - 1)];
        const int vChar = kChars[vRng() % (sizeof kChars / sizeof kChars[0])];
        const bool vWide = vKind >= 4 && vKind < 7 && !vAscii;  // one character, UCS-4 or UTF-16
        std::string vAdded(1, c);
        bool vValid = vAscii || QpCodepointIsValid(static_cast<signed char>(c));
        if (vWide) {
          const int vUcs4[2] = {vChar, 0};
          vValid = QpCodepointIsValid(vChar);
          vAdded = vValid ? qpTake(QpConvertUCS4ToUTF8(vUcs4, -1, 1, 0)) : "";
        } else if (vKind >= 4) {  // a short string
          for (unsigned n = vRng() % 5; n > 0; --n) vAdded += kBytes[vRng() % (sizeof kBytes - 1)];
          vValid = true;
        }
        try {
          if (vKind < 4) {
            b->strcat(c);
          } else if (vWide && vKind == 6 && vChar >= 0 && vChar <= 0xFFFF) {
            b->strcat(static_cast<unsigned short>(vChar));
          } else if (vWide) {
            b->strcat(vChar);
          } else {
            b->strcat(vAdded.c_str());
          }
          ASSERT_TRUE(vValid);
        } catch (QpInvalidXMLException&) {
          ASSERT_FALSE(vValid);
        }
        if (vValid) {
          const long n = static_cast<long>(vText.size() + vAdded.size()) + 1;
          if (n > vCapacity)
            vCapacity = n < 65    ? 64
                        : n < 128 ? 128
                        : n < 256 ? 256
                        : n < 512 ? 512
                                  : (n / 256 + 1) * 256;
          vText += vAdded;
        }
        const int vCount =
            vAscii ? static_cast<int>(vText.size())
                   : QpCountCharacters(vText.data(), static_cast<int>(vText.size()), 0, vAllow);
        ASSERT_TRUE(bytes(*b) == vText && b->getCapacity() == vCapacity &&
                    b->getCharCount() == vCount && b->toStringConst()[vText.size()] == 0)
            << state(*b) << " instead of " << want(vText, vCapacity, vCount) << ", run " << vRun
            << " round " << vRound << " step " << vStep;
      }
    }
  }
}

TEST(QpStringBufferReplace, StrncpyNullInputAndSourcesInside) {
  SB b("previous");
  b.strncpy("ab", 5);  // the count is the length, padded with zero bytes
  EXPECT_EQ(state(b), want(std::string("ab\0\0\0", 5), 64, 5));
  EXPECT_QP_FAILURE(QpParameterException, b.strncpy("x", -1), nullptr, QP_SB "strncpy(-, -1)");

  // Null input never raises: strcat ignores it (nothing is even allocated), strcpy empties.
  SB vNone, c("text");
  vNone.strcat(static_cast<const char*>(nullptr));
  vNone.strcat(SB(""));
  EXPECT_EQ(state(vNone), want("", 0, 0));
  c.strcpy(static_cast<const unsigned short*>(nullptr));
  EXPECT_EQ(state(c), want("", 64, 0));

  // Sources inside the buffer itself.
  b.strcpy("hello world");
  b.strncpy(b.toStringConst() + 6, 5);
  EXPECT_EQ(bytes(b), "world");
  b.strcpy(QpConstStringBuffer(b.toStringConst() + 3));
  EXPECT_EQ(state(b), want("ld", 64, 2));
}

TEST(QpStringBufferFailure, FailedBufferRefusesChangesUntilAssigned) {
  SB b("\xC3\xA9 keep");
  {
    StFaultArm vArm(0);
    EXPECT_THROW(b.strcat(std::string(200, 'z').c_str()), QpOutOfMemException);
  }
  const std::string vFailed = want("\xC3\xA9 keep", 64, 6, 12);
  EXPECT_EQ(state(b), vFailed);
  for (const Modification& m : kModifications) {
    if (m.mTrace != nullptr) {
      EXPECT_QP_FAILURE(QpSDKInternalException, m.mApply(b), "mError == 0", m.mTrace);
    }
  }
  EXPECT_EQ(state(b), vFailed);

  // A failed assignment leaves the exception's code; clearing keeps the buffer failed; a good
  // assignment makes it normal again.
  SB vSource(std::string(300, 's').c_str());
  {
    StFaultArm vArm(0);
    EXPECT_THROW(b = vSource, QpOutOfMemException);
  }
  EXPECT_EQ(state(b), want("\xC3\xA9 keep", 64, 6, QP_OUT_OF_MEMORY_ERR));
  b.clear();
  EXPECT_EQ(state(b), want("", 64, 0, QP_OUT_OF_MEMORY_ERR));
  b = vSource;
  b.strcat("!");
  EXPECT_EQ(state(b), want(std::string(300, 's') + "!", 768, 301));
}

TEST(QpStringBufferCompare, Comparisons) {
  // mBuffer null: no storage. mCmp is the sign of strcmp, mCase the result of strcasecmp.
  const struct {
    const char* mBuffer;
    const char* mText;
    int mCount, mCmp, mCase;
  } kRows[] = {
      {"", nullptr, -1, -1, -1}, {nullptr, nullptr, -1, 0, 0}, {nullptr, "", -1, 1, 1},
      {"abc", "AbC", 3, -1, 0},  {"abc", "abcd", -1, 1, 1},    {"abc", "AB", -1, -1, -1},
      {"abc", "ab", 2, 0, -1},   {"abc", "ABD", -1, -1, -1},   {"@", "`", -1, 1, 1},
      {"XYZ", "xyz", -1, 1, 0},  {"abc", "ab\xE9", -1, 1, -1},  // strcasecmp takes the bytes as
                                                                // signed values
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(&r - kRows);
    SB b(r.mBuffer);
    const int vCmp = b.strcmp(r.mText, r.mCount);
    EXPECT_EQ((vCmp > 0) - (vCmp < 0), r.mCmp);
    EXPECT_EQ(b.strcasecmp(r.mText, r.mCount), r.mCase);
  }
  SB vHello("Hello");
  EXPECT_TRUE(vHello.equalsIgnoreCase(SB("hELLO")));
  EXPECT_FALSE(vHello.equals(SB("hELLO")));
  EXPECT_FALSE(vHello.equalsIgnoreCase(SB("HELLO!")));
}

TEST(QpStringBufferRead, ToStringReleaseAndWideForms) {
  SB vNone, vMine("mine");
  EXPECT_EQ(vNone.release(1), nullptr);
  const char* vStorage = vMine.toStringConst();
  char* vText = vMine.release(0);
  EXPECT_EQ(vText, vStorage);
  EXPECT_EQ(qpTake(vText), "mine");
  EXPECT_EQ(state(vMine), want("", 0, 0));

  SB vInvalid("a\x80");
  {
    StAllowInvalid vSwitch(false);
    EXPECT_QP_FAILURE(QpInvalidXMLException, qp_free(vInvalid.toString32()), nullptr,
                      QP_SB "toString32()");
    EXPECT_QP_FAILURE(QpInvalidXMLException, qp_free(vInvalid.toString16()), nullptr,
                      QP_SB "toString16()");
  }
  StAllowInvalid vSwitch(true);
  EXPECT_EQ(takeUnits(vInvalid.toString32()), (V{'a', 0x80, 0}));
}

namespace {

template <class B, class Act>
void walkModification(const std::string& inInitial, Act inAct, const std::string& inWant) {
  int vActFailures = 0;
  qpWalkAllocations(
      [&] {
        B b(inInitial.c_str());
        const std::string vBefore = state(b);
        try {
          inAct(b);
        } catch (QpOutOfMemException&) {
          ++vActFailures;
          const int vError = b.getError();
          EXPECT_TRUE(vError == 0 || vError == 12 || vError == QP_OUT_OF_MEMORY_ERR) << vError;
          EXPECT_EQ(want(bytes(b), b.getCapacity(), b.getCharCount()), vBefore);
          throw;
        }
        EXPECT_EQ(bytes(b), inWant);
        EXPECT_EQ(b.getCharCount(), (std::is_same<B, AB>::value ? b.getLength() : fullCount(b)));
      },
      [] {});
  EXPECT_GT(vActFailures, 0) << "the operation never allocated";
}

}  // namespace

TEST(QpStringBufferOutOfMemory, EveryModification) {
  // The initial text fills its block and ends in an unfinished lead, so every operation here
  // must grow, and a source inside the buffer must be found again after the growth. The last,
  // complete run of each walk checks the result.
  const std::string vBase = std::string(62, 'b') + "\xC3";
  const std::u16string v16(70, u'\u00E9');
  std::string vE70;
  for (int i = 0; i < 70; ++i) vE70 += "\xC3\xA9";
  SB vSource(std::string(200, 'a').c_str());
  // The last four: a full block whose text ends on a whole character, so the in-place path of a
  // one-character append has no room and must leave the growth, and its failure, to the general
  // one.
  const std::string vFull(63, 'b');
  const struct {
    const std::string& mInitial;
    std::function<void(SB&)> mAct;
    std::string mWant;
  } kCases[] = {
      {vBase, [](SB& b) { b.strcat("\xA9x"); }, vBase + "\xA9x"},
      {vBase, [](SB& b) { b.strcat(0x20AC); }, vBase + "\xE2\x82\xAC"},
      {vBase, [](SB& b) { b.strcat(U16(u"\u00E9")); }, vBase + "\xC3\xA9"},
      {vBase, [](SB& b) { b.strcat(b); }, vBase + vBase},
      {vBase, [](SB& b) { b.strncpy(b.toStringConst() + 10, 100); },
       vBase.substr(10) + std::string(47, '\0')},
      {vBase, [&](SB& b) { b.strcpy(U16(v16.c_str())); }, vE70},
      {vBase, [&](SB& b) { b.strcpy(AB(vE70.c_str())); }, vE70},  // recounted as UTF-8
      {vBase, [&](SB& b) { b = vSource; }, std::string(200, 'a')},
      {vFull, [](SB& b) { b.strcat('x'); }, vFull + "x"},
      {vFull, [](SB& b) { b.strcat(0x20AC); }, vFull + "\xE2\x82\xAC"},
      {vFull, [](SB& b) { b.strcat(static_cast<unsigned short>(0xE9)); }, vFull + "\xC3\xA9"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(&c - kCases);
    walkModification<SB>(c.mInitial, c.mAct, c.mWant);
  }
  AB vAsciiSource(std::string(100, '\xE9').c_str());
  walkModification<AB>(
      "old", [&](AB& b) { b = vAsciiSource; }, std::string(100, '\xE9'));
  walkModification<AB>(
      vFull, [](AB& b) { b.strcat('\xE9'); }, vFull + "\xE9");
}

TEST(QpStringBufferOutOfMemory, Reading) {
  SB b("A\xC3\xA9\xF0\x9F\x98\x80");
  const std::string vBefore = state(b);
  const V k16 = {0x41, 0xE9, 0xD83D, 0xDE00, 0};
  qpWalkAllocations([&] { EXPECT_EQ(takeUnits(b.toString16()), k16); },
                    [&] { EXPECT_EQ(state(b), vBefore); });
}

TEST(QpStringBufferOutOfMemory, EveryConstructorThroughItsFactory) {
  // A factory answers null where its constructor ran out of memory; the last, complete run
  // checks the text and the count. ASan reports what a failed constructor leaked.
  const std::string vLong(700, 'L');
  SB vSource(vLong.c_str());
  const std::function<bool()> kFactories[] = {
      [] { return made(Buf::createNEWInstance(U16(u"\u00E9")), "\xC3\xA9", 1); },
      [&] { return made(Buf::createNEWInstance(static_cast<const Buf&>(vSource)), vLong, 700); },
      [&] { return made(formatted<SB>("%s", vLong.c_str()).release(), vLong, 700); },
      [] { return made(formatted<AB>("%s\xC3\xA9", "L").release(), "L\xC3\xA9", 3); },
      [] { return std::unique_ptr<AB[]>(AB::createArray(4)) != nullptr; },
  };
  EXPECT_EQ(SB::createArray(-1), nullptr);
  EXPECT_NE(std::unique_ptr<SB[]>(SB::createArray(0)), nullptr);
  for (const auto& vMake : kFactories) {
    SCOPED_TRACE(&vMake - kFactories);
    int vNulls = 0;
    qpWalkAllocations(
        [&] {
          const bool vMade = vMake();
          EXPECT_NE(vMade, QpFaultHits() > 0);
          vNulls += vMade ? 0 : 1;
        },
        [] {}, /*inMayAbsorb=*/true);
    EXPECT_GT(vNulls, 0);
  }
}
