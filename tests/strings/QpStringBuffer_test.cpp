// Tests of the string buffer family: block growth, every append and replace form with its
// refusals, the character count kept across appends, comparisons, reading, the read-only view,
// the factories, and every out-of-memory path.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "QpTestSupport.h"
#include "QpUtilsLib.h"

namespace {

const unsigned short* U16(const char16_t* inText) {
  return reinterpret_cast<const unsigned short*>(inText);
}
const int* U32(const char32_t* inText) {
  return reinterpret_cast<const int*>(inText);
}

// Everything a refusal must leave as it was.
struct Snapshot {
  std::string mBytes;  // the mLength bytes, embedded zeros included
  int mLength;
  int mCapacity;
  int mCount;
  int mError;
  bool operator==(const Snapshot& o) const {
    return mBytes == o.mBytes && mLength == o.mLength && mCapacity == o.mCapacity &&
           mCount == o.mCount && mError == o.mError;
  }
};

void PrintTo(const Snapshot& s, std::ostream* os) {
  *os << "{len=" << s.mLength << " cap=" << s.mCapacity << " count=" << s.mCount
      << " err=" << s.mError << " bytes=";
  for (unsigned char c : s.mBytes) *os << std::hex << int(c) << ' ';
  *os << std::dec << "}";
}

Snapshot snap(const QpBasicStringBuffer& inBuffer) {
  return {std::string(inBuffer.toStringConst(), static_cast<size_t>(inBuffer.getLength())),
          inBuffer.getLength(), inBuffer.getCapacity(), inBuffer.getCharCount(),
          inBuffer.getError()};
}

std::string bytes(const QpBasicStringBuffer& inBuffer) {
  return std::string(inBuffer.toStringConst(), static_cast<size_t>(inBuffer.getLength()));
}

int fullCount(const QpBasicStringBuffer& inBuffer) {
  return QpCountCharacters(inBuffer.toStringConst(), inBuffer.getLength(), 0,
                           QpUtils::isReadOfInvalidXMLAllowed() ? 1 : 0);
}

// Sets the process-wide invalid-XML switch for one test and puts the previous value back.
class StAllowInvalid {
 public:
  explicit StAllowInvalid(bool inAllow) : mPrevious(QpUtils::isReadOfInvalidXMLAllowed()) {
    QpUtils::SetAllowReadOfInvalidXML(inAllow ? 1 : 0);
  }
  ~StAllowInvalid() { QpUtils::SetAllowReadOfInvalidXML(mPrevious ? 1 : 0); }

 private:
  bool mPrevious;
};

// The trace of the exception E that inCall raises ("<"-joined), or a failure.
template <class E, class F>
std::string traceOf(F inCall) {
  try {
    inCall();
  } catch (E& e) {
    return qpTake(e.GetTraceString("<"));
  } catch (QpException& e) {
    ADD_FAILURE() << "raised code " << e.GetErrorCode();
    return "";
  }
  ADD_FAILURE() << "nothing raised";
  return "";
}

// Makes inBuffer failed: its next growth runs out of memory.
void failGrowth(QpBasicStringBuffer& inBuffer) {
  const std::string vLong(200, 'z');
  StFaultArm vArm(0);
  EXPECT_THROW(inBuffer.strcat(vLong.c_str()), QpOutOfMemException);
}

// Exposes the protected block-size rule.
struct BlockProbe : QpBasicStringBuffer {
  using QpBasicStringBuffer::getBlockSize;
};

QpStringBuffer* formatted(const char* inFormat, ...) {
  va_list vArgs;
  va_start(vArgs, inFormat);
  QpStringBuffer* vBuffer = QpStringBuffer::createInstance(inFormat, vArgs);
  va_end(vArgs);
  return vBuffer;
}

QpAsciiStringBuffer* formattedAscii(const char* inFormat, ...) {
  va_list vArgs;
  va_start(vArgs, inFormat);
  QpAsciiStringBuffer* vBuffer = QpAsciiStringBuffer::createNEWInstance(inFormat, vArgs);
  va_end(vArgs);
  return vBuffer;
}

}  // namespace

// ---- Storage ---------------------------------------------------------------------------------

TEST(QpStringBufferStorage, BlockSizes) {
  BlockProbe p;
  const int kTable[][2] = {{0, 64},    {64, 64},   {65, 128},   {127, 128},
                           {128, 256}, {255, 256}, {256, 512},  {511, 512},
                           {512, 768}, {767, 768}, {768, 1024}, {1000, 1024}};
  for (const auto& row : kTable) EXPECT_EQ(p.getBlockSize(row[0]), row[1]) << row[0];
}

TEST(QpStringBufferStorage, ConstructorsSizeTheirStorage) {
  QpStringBuffer vNone;
  EXPECT_EQ(vNone.getCapacity(), 0);
  EXPECT_TRUE(vNone.isEmpty());
  EXPECT_STREQ(vNone.toStringConst(), "");
  EXPECT_EQ(qpTake(vNone.toString()), "");

  QpStringBuffer vZero(0);
  EXPECT_EQ(vZero.getCapacity(), 64);
  EXPECT_STREQ(vZero.toStringConst(), "");
  EXPECT_EQ(QpStringBuffer(-1).getCapacity(), 0);
  EXPECT_EQ(QpStringBuffer(65).getCapacity(), 128);

  EXPECT_EQ(QpStringBuffer("").getCapacity(), 64);
  EXPECT_EQ(QpStringBuffer(static_cast<const char*>(nullptr)).getCapacity(), 0);
  const std::string v64(64, 'x');
  QpStringBuffer vText(v64.c_str());
  EXPECT_EQ(vText.getCapacity(), 128);
  EXPECT_EQ(vText.getLength(), 64);
  EXPECT_EQ(vText.getCharCount(), 64);
}

TEST(QpStringBufferStorage, OneByteAppendsGrowAtBlockEdges) {
  QpStringBuffer b;
  std::vector<int> vGrewAt;
  int vCapacity = b.getCapacity();
  for (int i = 0; i < 1000; ++i) {
    b.strcat('a');
    if (b.getCapacity() != vCapacity) {
      vGrewAt.push_back(i);
      vCapacity = b.getCapacity();
    }
  }
  EXPECT_EQ(vGrewAt, (std::vector<int>{0, 63, 127, 255, 511, 767}));
  EXPECT_EQ(b.getCapacity(), 1024);
  EXPECT_EQ(b.getLength(), 1000);
}

TEST(QpStringBufferStorage, CopySizesFromSourceCapacityPlusOne) {
  QpStringBuffer v64("abc");
  QpStringBuffer v128(std::string(100, 'q').c_str());
  ASSERT_EQ(v64.getCapacity(), 64);
  ASSERT_EQ(v128.getCapacity(), 128);
  QpStringBuffer vCopy64(v64);
  QpStringBuffer vCopy128(v128);
  EXPECT_EQ(vCopy64.getCapacity(), 128);
  EXPECT_EQ(vCopy128.getCapacity(), 256);
  EXPECT_EQ(bytes(vCopy64), "abc");
  EXPECT_EQ(vCopy128.getCharCount(), 100);
  QpStringBuffer vNoStorage;
  EXPECT_EQ(QpStringBuffer(vNoStorage).getCapacity(), 0);

  // Assignment grows only a target below the source's capacity plus one.
  QpStringBuffer vBig(std::string(70, 'b').c_str());
  ASSERT_EQ(vBig.getCapacity(), 128);
  vBig = v64;
  EXPECT_EQ(vBig.getCapacity(), 128);
  EXPECT_EQ(bytes(vBig), "abc");
  QpStringBuffer vSmall("z");
  vSmall = v64;
  EXPECT_EQ(vSmall.getCapacity(), 128);
  // Assigning a buffer without storage empties the target and keeps its storage.
  QpStringBuffer vEmpty;
  vSmall = vEmpty;
  EXPECT_EQ(bytes(vSmall), "");
  EXPECT_EQ(vSmall.getCapacity(), 128);
}

TEST(QpStringBufferStorage, FormattingConstructors) {
  QpStringBuffer b(0, "%d-%s", 42, "x");
  EXPECT_EQ(bytes(b), "42-x");
  EXPECT_EQ(b.getCapacity(), 64);

  // A result longer than the first block widens in 256-byte steps: limit 63, then 319, 575,
  // 831, 1087 > 1000, so the storage ends at 64 + 4 * 256.
  const std::string v1000(1000, 'w');
  QpStringBuffer vLong(0, "%s", v1000.c_str());
  EXPECT_EQ(bytes(vLong), v1000);
  EXPECT_EQ(vLong.getCapacity(), 64 + 4 * 256);
  // Exactly at the limit (63 characters need 64 bytes) takes one step.
  QpStringBuffer vEdge(0, "%s", std::string(63, 'e').c_str());
  EXPECT_EQ(vEdge.getLength(), 63);
  EXPECT_EQ(vEdge.getCapacity(), 320);
  QpStringBuffer vFits(0, "%s", std::string(62, 'e').c_str());
  EXPECT_EQ(vFits.getCapacity(), 64);

  QpStringBuffer* vNoFormat = formatted(nullptr);
  ASSERT_NE(vNoFormat, nullptr);
  EXPECT_EQ(vNoFormat->getCapacity(), 0);
  delete vNoFormat;
  QpBasicStringBuffer vUtf8(0, "%s", "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(vUtf8.getCharCount(), 3);

  QpStringBuffer* vList = formatted("<%s|%d>", "v", -7);
  ASSERT_NE(vList, nullptr);
  EXPECT_EQ(bytes(*vList), "<v|-7>");
  delete vList;
  QpAsciiStringBuffer* vAscii = formattedAscii("%s", "\xC3\xA9");
  ASSERT_NE(vAscii, nullptr);
  EXPECT_EQ(vAscii->getCharCount(), 2);  // bytes
  EXPECT_THROW(vAscii->strcat(U16(u"x")), QpParameterException);
  delete vAscii;
}

TEST(QpStringBufferStorage, WideConstructors) {
  QpStringBuffer vUtf16(U16(u"\u00E9a"));
  EXPECT_EQ(bytes(vUtf16),
            "\xC3\xA9"
            "a");
  EXPECT_EQ(vUtf16.getCharCount(), 2);
  EXPECT_EQ(vUtf16.getCapacity(), 64);
  QpStringBuffer vUcs4(U32(U"\U0001F600"));
  EXPECT_EQ(bytes(vUcs4), "\xF0\x9F\x98\x80");
  EXPECT_EQ(vUcs4.getCharCount(), 1);
  EXPECT_EQ(QpStringBuffer(static_cast<const unsigned short*>(nullptr)).getCapacity(), 0);
  EXPECT_EQ(QpStringBuffer(static_cast<const int*>(nullptr)).getCapacity(), 0);
  EXPECT_EQ(QpStringBuffer(U16(u"")).getCapacity(), 64);
  // The unit 0xFFFF is refused whatever the invalid-XML switch says.
  EXPECT_THROW(QpStringBuffer(U16(u"a\uFFFF")), QpInvalidXMLException);
}

TEST(QpStringBufferStorage, CopiesKeepTheirKind) {
  QpAsciiStringBuffer vAscii("\xC3\xA9");
  EXPECT_EQ(vAscii.getCharCount(), 2);
  QpAsciiStringBuffer vAsciiCopy(vAscii);
  EXPECT_EQ(vAsciiCopy.getCharCount(), 2);
  EXPECT_THROW(vAsciiCopy.strcat(U16(u"x")), QpParameterException);
  // A UTF-8 copy of an ASCII buffer counts characters again.
  QpStringBuffer vUtf8(static_cast<const QpBasicStringBuffer&>(vAscii));
  EXPECT_EQ(vUtf8.getCharCount(), 1);
  vUtf8.strcat(U16(u"x"));
  EXPECT_EQ(bytes(vUtf8), "\xC3\xA9x");

  QpAsciiStringBuffer vTarget("old");
  vTarget = vAscii;
  EXPECT_EQ(bytes(vTarget), "\xC3\xA9");
  EXPECT_EQ(vTarget.getCharCount(), 2);
}

// ---- Appending -------------------------------------------------------------------------------

TEST(QpStringBufferAppend, NothingToAppendChangesNothing) {
  QpStringBuffer vNone;
  vNone.strcat(static_cast<const char*>(nullptr));
  vNone.strcat("");
  vNone.strcat(static_cast<const unsigned short*>(nullptr));
  vNone.strcat(U16(u""));
  vNone.strcat(static_cast<const int*>(nullptr));
  vNone.strcat(U32(U""));
  vNone.strcat(QpStringBuffer());
  vNone.strcat(QpStringBuffer(""));
  EXPECT_EQ(vNone.getCapacity(), 0);
  EXPECT_TRUE(vNone.isEmpty());
}

TEST(QpStringBufferAppend, EveryForm) {
  QpStringBuffer b("a");
  b.strcat("b");
  b.strcat(QpStringBuffer("c"));
  b.strcat(U16(u"\u00E9"));
  b.strcat(U32(U"\U0001F600"));
  b.strcat(static_cast<unsigned short>(0x20AC));
  b.strcat(0x10000);
  b.strcat('\t');
  EXPECT_EQ(bytes(b), "abc\xC3\xA9\xF0\x9F\x98\x80\xE2\x82\xAC\xF0\x90\x80\x80\t");
  EXPECT_EQ(b.getCharCount(), 8);
  EXPECT_EQ(b.getLength(), 17);
}

TEST(QpStringBufferAppend, ToItself) {
  QpStringBuffer b("abc");
  b.strcat(b);
  EXPECT_EQ(bytes(b), "abcabc");
  EXPECT_EQ(b.getCharCount(), 6);

  // Across a reallocation: 40 bytes doubled need 81 bytes, more than the first block.
  const std::string v40 = std::string(39, 'x') + "\xC3";
  QpStringBuffer c(v40.c_str());
  ASSERT_EQ(c.getCapacity(), 64);
  c.strcat(c);
  EXPECT_EQ(c.getCapacity(), 128);
  EXPECT_EQ(bytes(c), v40 + v40);
  EXPECT_EQ(c.getCharCount(), fullCount(c));

  QpStringBuffer d(v40.c_str());
  d.strcat(d.toStringConst());
  EXPECT_EQ(bytes(d), v40 + v40);
  EXPECT_EQ(d.getCharCount(), fullCount(d));

  QpStringBuffer e(v40.c_str());
  e.strcat(e.toStringConst() + 30);
  EXPECT_EQ(bytes(e), v40 + v40.substr(30));

  QpStringBuffer f(v40.c_str());
  f.strcat(QpConstStringBuffer(f.toStringConst() + 1));
  EXPECT_EQ(bytes(f), v40 + v40.substr(1));
}

TEST(QpStringBufferAppend, ByteFormAcceptance) {
  // A UTF-8 buffer takes only the XML-valid single bytes; an ASCII buffer takes every byte.
  QpStringBuffer vUtf8;
  QpAsciiStringBuffer vAscii;
  std::string vAccepted;
  for (int i = 0; i < 256; ++i) {
    const char c = static_cast<char>(i);
    const bool vValid = i == 9 || i == 10 || i == 13 || (i >= 0x20 && i <= 0x7F);
    const Snapshot vBefore = snap(vUtf8);
    if (vValid) {
      vUtf8.strcat(c);
      vAccepted += c;
    } else {
      EXPECT_QP_THROW(vUtf8.strcat(c), QpInvalidXMLException, nullptr);
      EXPECT_EQ(snap(vUtf8), vBefore) << i;
    }
    vAscii.strcat(c);
  }
  EXPECT_EQ(bytes(vUtf8), vAccepted);
  EXPECT_EQ(vUtf8.getCharCount(), static_cast<int>(vAccepted.size()));
  EXPECT_EQ(vAscii.getLength(), 256);
  EXPECT_EQ(vAscii.getCharCount(), 256);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(static_cast<unsigned char>(vAscii.toStringConst()[i]), i);
}

TEST(QpStringBufferAppend, AsciiBufferRefusesWideText) {
  QpAsciiStringBuffer b("keep");
  b.strcat('\xE9');
  const Snapshot vBefore = snap(b);
  EXPECT_QP_THROW(b.strcat(U16(u"x")), QpParameterException, nullptr);
  EXPECT_QP_THROW(b.strcat(U32(U"x")), QpParameterException, nullptr);
  EXPECT_QP_THROW(b.strcat(static_cast<unsigned short>('x')), QpParameterException, nullptr);
  EXPECT_QP_THROW(b.strcat(static_cast<int>('x')), QpParameterException, nullptr);
  EXPECT_QP_THROW(b.strcat(QpStringBuffer("x")), QpParameterException, nullptr);
  EXPECT_QP_THROW(b.strcpy(QpStringBuffer("x")), QpParameterException, nullptr);
  EXPECT_QP_THROW(b.strcpy(U16(u"x")), QpParameterException, nullptr);
  EXPECT_QP_THROW(b.strcpy(U32(U"x")), QpParameterException, nullptr);
  EXPECT_QP_THROW(b.strncpy(U16(u"x"), 1), QpParameterException, nullptr);
  EXPECT_QP_THROW(b.strncpy(U32(U"x"), 1), QpParameterException, nullptr);
  // Null wide input is refused as well: the kind is checked before the input.
  EXPECT_QP_THROW(b.strcpy(static_cast<const unsigned short*>(nullptr)), QpParameterException,
                  nullptr);
  EXPECT_EQ(snap(b), vBefore);
  // ASCII into ASCII, and ASCII into UTF-8, are accepted.
  b.strcat(QpAsciiStringBuffer("!"));
  EXPECT_EQ(bytes(b), "keep\xE9!");
  QpStringBuffer vUtf8("x");
  vUtf8.strcat(QpAsciiStringBuffer("\xC3\xA9"));
  EXPECT_EQ(vUtf8.getCharCount(), 2);
}

TEST(QpStringBufferAppend, InvalidCodePointsAreRefused) {
  for (bool vAllow : {false, true}) {
    StAllowInvalid vSwitch(vAllow);
    QpStringBuffer b("ok");
    const Snapshot vBefore = snap(b);
    for (int c : {0, 1, 0x1F, 0xD800, 0xDFFF, 0xFFFE, 0xFFFF, 0x110000, -1}) {
      EXPECT_QP_THROW(b.strcat(c), QpInvalidXMLException, nullptr);
      if (c >= 0 && c <= 0xFFFF)
        EXPECT_QP_THROW(b.strcat(static_cast<unsigned short>(c)), QpInvalidXMLException, nullptr);
    }
    EXPECT_EQ(snap(b), vBefore);
  }
}

TEST(QpStringBufferAppend, TraceLabels) {
  QpStringBuffer b("x");
  EXPECT_EQ(traceOf<QpInvalidXMLException>([&] { b.strcat('\x01'); }),
            "QpBasicStringBuffer::strcat(\x01)");
  EXPECT_EQ(traceOf<QpInvalidXMLException>([&] { b.strcat(0xD800); }),
            "QpBasicStringBuffer::strcat(55296)");
  EXPECT_EQ(traceOf<QpInvalidXMLException>([&] { b.strcat(static_cast<unsigned short>(0xFFFF)); }),
            "QpBasicStringBuffer::strcat(65535)");
  EXPECT_EQ(traceOf<QpInvalidXMLException>([&] { b.strcat(U16(u"\uFFFF")); }),
            "QpBasicStringBuffer::strcat(-)");
  EXPECT_EQ(traceOf<QpParameterException>([&] { b.strncpy("x", -1); }),
            "QpBasicStringBuffer::strncpy(-, -1)");
  QpAsciiStringBuffer a;
  EXPECT_EQ(traceOf<QpParameterException>([&] { a.strcat(U32(U"x")); }),
            "QpBasicStringBuffer::strcat(-)");
  EXPECT_EQ(traceOf<QpParameterException>([&] { a.strcpy(U16(u"x")); }),
            "QpBasicStringBuffer::strcpy(-)");
  EXPECT_EQ(traceOf<QpParameterException>([&] { a.strncpy(U16(u"x"), 7); }),
            "QpBasicStringBuffer::strncpy(-, 7)");
}

// ---- The character count across appends ------------------------------------------------------

TEST(QpStringBufferCount, SequencesCompletedAcrossAppends) {
  QpStringBuffer b;
  b.strcat("\xE2");
  EXPECT_EQ(b.getCharCount(), 1);
  b.strcat("\x82");
  EXPECT_EQ(b.getCharCount(), 1);
  b.strcat("\xAC");
  EXPECT_EQ(b.getCharCount(), 1);
  EXPECT_EQ(bytes(b), "\xE2\x82\xAC");
  b.strcat('a');
  EXPECT_EQ(b.getCharCount(), 2);
  // An unfinished lead swallows an ASCII byte appended after it (a malformed pair).
  b.strcat("\xC3");
  b.strcat('b');
  EXPECT_EQ(b.getCharCount(), 3);
  // A buffer appended after an unfinished lead: its own count does not apply.
  QpStringBuffer c("\xC3");
  c.strcat(QpStringBuffer("\xA9\xC3\xA9"));
  EXPECT_EQ(c.getCharCount(), 2);
  // Runs of lead bytes pair up from the start of the run.
  QpStringBuffer d("a");
  for (int i = 1; i <= 9; ++i) {
    d.strcat("\xC3");
    EXPECT_EQ(d.getCharCount(), 1 + (i + 1) / 2) << i;
  }
}

namespace {

unsigned char randomByte(std::mt19937& ioRng) {
  switch (ioRng() % 7) {
    case 0:
      return static_cast<unsigned char>('a' + ioRng() % 26);
    case 1:
      return static_cast<unsigned char>(0x80 + ioRng() % 0x40);  // continuation
    case 2:
      return static_cast<unsigned char>(0xC0 + ioRng() % 0x20);  // two-byte leads, C0/C1
    case 3:
      return static_cast<unsigned char>(0xE0 + ioRng() % 0x10);
    case 4:
      return static_cast<unsigned char>(0xF0 + ioRng() % 0x10);  // four to six, F5-F7 too
    case 5:
      return static_cast<unsigned char>(1 + ioRng() % 0x1F);  // control characters
    default:
      return static_cast<unsigned char>(0x80 + ioRng() % 0x80);
  }
}

std::string randomChunk(std::mt19937& ioRng, int inMax) {
  std::string vChunk;
  const int n = 1 + static_cast<int>(ioRng() % static_cast<unsigned>(inMax));
  for (int i = 0; i < n; ++i) vChunk += static_cast<char>(randomByte(ioRng));
  return vChunk;
}

std::string hex(const std::string& inBytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string vOut;
  for (unsigned char c : inBytes) {
    vOut += kDigits[c >> 4];
    vOut += kDigits[c & 15];
    vOut += ' ';
  }
  return vOut;
}

}  // namespace

TEST(QpStringBufferCount, IncrementalCountEqualsFullCount) {
  for (bool vAllow : {false, true}) {
    StAllowInvalid vSwitch(vAllow);
    std::mt19937 vRng(vAllow ? 7 : 11);
    for (int vRound = 0; vRound < 300; ++vRound) {
      QpStringBuffer b;
      for (int vStep = 0; vStep < 80; ++vStep) {
        const std::string vChunk = randomChunk(vRng, 9);
        switch (vRng() % 12) {
          case 0:
          case 1:
          case 2:
          case 3:
            b.strcat(vChunk.substr(0, 1).c_str());
            break;
          case 4:
          case 5:
            b.strcat(vChunk.c_str());
            break;
          case 6:
            b.strcat(QpStringBuffer(vChunk.c_str()));
            break;
          case 7:
            b.strcat(QpAsciiStringBuffer(vChunk.c_str()));
            break;
          case 8:
            b.strcat(QpConstStringBuffer(vChunk.c_str()));
            break;
          case 9:
            b.strcat(static_cast<char>('A' + vRng() % 26));
            break;
          case 10:
            if (b.getLength() < 300) b.strcat(b);
            break;
          default:
            // Zero padding inside the text: the count covers those bytes too.
            b.strncpy(vChunk.c_str(), static_cast<int>(vChunk.size() + vRng() % 3));
            break;
        }
        ASSERT_EQ(b.getCharCount(), fullCount(b))
            << "allow=" << vAllow << " text " << hex(bytes(b));
      }
    }
  }
}

TEST(QpStringBufferCount, ManySmallAppendsStayCheap) {
  // Each append recounts only the end of the text, so this finishes at once; recounting the
  // whole text every time would take minutes and trip the test's time-out.
  QpStringBuffer b;
  for (int i = 0; i < 200000; ++i) b.strcat((i & 1) ? "\xA9" : "\xC3");
  EXPECT_EQ(b.getCharCount(), 100000);
  EXPECT_EQ(b.getLength(), 200000);
}

// ---- Replacing -------------------------------------------------------------------------------

TEST(QpStringBufferReplace, StrncpyPadsToTheCount) {
  QpStringBuffer b("previous");
  b.strncpy("ab", 5);
  EXPECT_EQ(b.getLength(), 5);
  EXPECT_EQ(std::memcmp(b.toStringConst(), "ab\0\0\0\0", 6), 0);
  EXPECT_EQ(b.getCharCount(), fullCount(b));
  b.strncpy("abcdef", 3);
  EXPECT_EQ(bytes(b), "abc");
  b.strncpy("xyz", 0);
  EXPECT_EQ(bytes(b), "");
  EXPECT_EQ(b.getCapacity(), 64);

  const Snapshot vBefore = snap(b);
  EXPECT_QP_THROW(b.strncpy("x", -1), QpParameterException, nullptr);
  EXPECT_QP_THROW(b.strncpy(U16(u"x"), -1), QpParameterException, nullptr);
  EXPECT_QP_THROW(b.strncpy(U32(U"x"), -2), QpParameterException, nullptr);
  EXPECT_EQ(snap(b), vBefore);
}

TEST(QpStringBufferReplace, NullInputEmptiesAndKeepsStorage) {
  QpStringBuffer b("text");
  b.strcpy(static_cast<const char*>(nullptr));
  EXPECT_EQ(bytes(b), "");
  EXPECT_EQ(b.getCapacity(), 64);
  b.strcpy("t");
  b.strncpy(static_cast<const char*>(nullptr), 4);
  EXPECT_TRUE(b.isEmpty());
  b.strcpy("t");
  b.strcpy(static_cast<const unsigned short*>(nullptr));
  EXPECT_TRUE(b.isEmpty());
  b.strcpy("t");
  b.strncpy(static_cast<const int*>(nullptr), 1);
  EXPECT_TRUE(b.isEmpty());
  b.strcpy("t");
  b.strcpy(QpStringBuffer());
  EXPECT_TRUE(b.isEmpty());
  EXPECT_EQ(b.getCapacity(), 64);
  b.strcpy("t");
  b.clear();
  EXPECT_EQ(b.getCharCount(), 0);
  EXPECT_EQ(b.getCapacity(), 64);
}

TEST(QpStringBufferReplace, EveryForm) {
  QpStringBuffer b;
  b.strcpy("plain");
  EXPECT_EQ(bytes(b), "plain");
  b.strcpy(U16(u"\u00E9t\u00E9"));
  EXPECT_EQ(bytes(b), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(b.getCharCount(), 3);
  b.strncpy(U16(u"abc"), 2);
  EXPECT_EQ(bytes(b), "ab");
  b.strcpy(U32(U"\U0001F600!"));
  EXPECT_EQ(bytes(b), "\xF0\x9F\x98\x80!");
  EXPECT_EQ(b.getCharCount(), 2);
  b.strncpy(U32(U"xyz"), 1);
  EXPECT_EQ(bytes(b), "x");
  QpStringBuffer vOther("\xC3\xA9\xC3\xA9");
  b.strcpy(vOther);
  EXPECT_EQ(bytes(b), "\xC3\xA9\xC3\xA9");
  EXPECT_EQ(b.getCharCount(), 2);
  b.strcpy(QpAsciiStringBuffer("\xC3\xA9"));
  EXPECT_EQ(b.getCharCount(), 1);  // counted as UTF-8 here
  b.strcpy(b);
  EXPECT_EQ(bytes(b), "\xC3\xA9");
}

TEST(QpStringBufferReplace, FromInsideItself) {
  QpStringBuffer b("hello world");
  b.strncpy(b.toStringConst() + 6, 5);
  EXPECT_EQ(bytes(b), "world");
  b.strcpy(b.toStringConst() + 1);
  EXPECT_EQ(bytes(b), "orld");
  // A source inside the buffer that must survive the buffer's growth.
  QpStringBuffer c(std::string(60, 'k').c_str());
  c.strncpy(c.toStringConst() + 10, 100);
  EXPECT_EQ(c.getLength(), 100);
  EXPECT_EQ(std::string(c.toStringConst()), std::string(50, 'k'));
  QpStringBuffer d("view me");
  d.strcpy(QpConstStringBuffer(d.toStringConst() + 5));
  EXPECT_EQ(bytes(d), "me");
}

// ---- Failure and the failed state ------------------------------------------------------------

TEST(QpStringBufferFailure, FailedGrowthKeepsTheText) {
  QpStringBuffer b("\xC3\xA9 keep");
  Snapshot vBefore = snap(b);
  failGrowth(b);
  EXPECT_EQ(b.getError(), 12);
  vBefore.mError = 12;
  EXPECT_EQ(snap(b), vBefore);

  // Every modification is refused now, and the text stays.
  EXPECT_QP_THROW(b.strcat("x"), QpSDKInternalException, "mError == 0");
  EXPECT_QP_THROW(b.strcat('x'), QpSDKInternalException, "mError == 0");
  EXPECT_QP_THROW(b.strcat(0x41), QpSDKInternalException, "mError == 0");
  EXPECT_QP_THROW(b.strcat(static_cast<unsigned short>(0x41)), QpSDKInternalException,
                  "mError == 0");
  EXPECT_QP_THROW(b.strcat(U16(u"x")), QpSDKInternalException, "mError == 0");
  EXPECT_QP_THROW(b.strcat(U32(U"x")), QpSDKInternalException, "mError == 0");
  EXPECT_QP_THROW(b.strcat(QpStringBuffer("x")), QpSDKInternalException, "mError == 0");
  EXPECT_QP_THROW(b.strncpy("x", 1), QpSDKInternalException, "mError == 0");
  EXPECT_QP_THROW(b.strncpy(U16(u"x"), 1), QpSDKInternalException, "mError == 0");
  EXPECT_QP_THROW(b.strncpy(U32(U"x"), 1), QpSDKInternalException, "mError == 0");
  EXPECT_QP_THROW(b.strcpy(QpStringBuffer("x")), QpSDKInternalException, "mError == 0");
  EXPECT_QP_THROW(b.strcpy(U16(u"x")), QpSDKInternalException, "mError == 0");
  EXPECT_QP_THROW(b.strcpy(U32(U"x")), QpSDKInternalException, "mError == 0");
  EXPECT_EQ(traceOf<QpSDKInternalException>([&] { b.strcpy("abc"); }),
            "QpBasicStringBuffer::strncpy(-, 3)<QpBasicStringBuffer::strcpy(-)");
  EXPECT_EQ(snap(b), vBefore);

  // It can still be read and released; clearing keeps it failed.
  EXPECT_EQ(qpTake(b.toString()), "\xC3\xA9 keep");
  QpStringBuffer vCleared(b);
  failGrowth(vCleared);
  vCleared.clear();
  EXPECT_EQ(vCleared.getError(), 12);
  EXPECT_TRUE(vCleared.isEmpty());

  // An assignment from a buffer with storage makes it normal again.
  QpStringBuffer vSource("fresh");
  b = vSource;
  EXPECT_EQ(b.getError(), 0);
  b.strcat("!");
  EXPECT_EQ(bytes(b), "fresh!");
}

TEST(QpStringBufferFailure, FailedAssignmentKeepsTheTarget) {
  QpStringBuffer vSource(std::string(300, 's').c_str());
  QpStringBuffer vTarget("target");
  const Snapshot vBefore = snap(vTarget);
  {
    StFaultArm vArm(0);
    EXPECT_THROW(vTarget = vSource, QpOutOfMemException);
  }
  EXPECT_EQ(vTarget.getError(), QP_OUT_OF_MEMORY_ERR);
  EXPECT_EQ(bytes(vTarget), "target");
  EXPECT_EQ(vTarget.getCapacity(), vBefore.mCapacity);
  vTarget = vSource;
  EXPECT_EQ(vTarget.getError(), 0);
  EXPECT_EQ(vTarget.getLength(), 300);
}

// ---- Comparisons -----------------------------------------------------------------------------

TEST(QpStringBufferCompare, Strcmp) {
  QpStringBuffer vA("a");
  QpStringBuffer vAbc("abc");
  QpStringBuffer vNone;
  QpStringBuffer vEmpty(0);
  EXPECT_EQ(vAbc.strcmp(nullptr, -1), -1);
  EXPECT_EQ(vEmpty.strcmp(nullptr, -1), -1);
  EXPECT_EQ(vNone.strcmp(nullptr, -1), 0);
  EXPECT_EQ(vNone.strcmp("x", -1), 1);
  EXPECT_EQ(vNone.strcmp("", -1), 1);
  EXPECT_GT(vA.strcmp("b", -1), 0);
  EXPECT_LT(vAbc.strcmp("abb", -1), 0);
  EXPECT_EQ(vAbc.strcmp("abc", -1), 0);
  EXPECT_EQ(vAbc.strcmp("abX", 2), 0);
  EXPECT_NE(vAbc.strcmp("abX", 3), 0);
  EXPECT_EQ(vAbc.strcmp("ab", 2), 0);  // only n bytes are compared
}

TEST(QpStringBufferCompare, Strcasecmp) {
  QpStringBuffer vAbc("abc");
  QpStringBuffer vNone;
  struct Row {
    const char* mText;
    int mCount;
    int mWant;
  };
  const Row kRows[] = {
      {"ABC", -1, 0},
      {"abc", -1, 0},
      {"AbC", 3, 0},
      {"AB", -1, -1},
      {"ab", 2, -1},
      {"abcd", -1, 1},
      {"abd", -1, 1},
      {"abb", -1, -1},
      {"ABD", -1, -1},     // the raw bytes
                           // decide a mismatch:
                           // 'D' < 'c'
      {"ab\xE9", -1, -1},  // bytes from 0x80 compare as negative values
      {"ab{", -1, 1},
      {"ab[", -1, -1},
  };
  for (const Row& r : kRows) EXPECT_EQ(vAbc.strcasecmp(r.mText, r.mCount), r.mWant) << r.mText;
  QpStringBuffer vAt("@");
  // 0x40 and 0x60 differ by the case bit only, but they are not letters.
  EXPECT_EQ(vAt.strcasecmp("`", -1), 1);
  QpStringBuffer vBrace("{");
  EXPECT_EQ(vBrace.strcasecmp("[", -1), -1);
  EXPECT_EQ(vAbc.strcasecmp(nullptr, -1), -1);
  EXPECT_EQ(vNone.strcasecmp(nullptr, -1), 0);
  EXPECT_EQ(vNone.strcasecmp("abc", -1), 1);
}

TEST(QpStringBufferCompare, Equality) {
  QpStringBuffer vHello("Hello");
  QpStringBuffer vUpper("hELLO");
  EXPECT_TRUE(vHello.equalsIgnoreCase(vUpper));
  EXPECT_FALSE(vHello.equals(vUpper));
  EXPECT_TRUE(vHello.equals(QpStringBuffer("Hello")));
  EXPECT_FALSE(vHello.equals(QpStringBuffer("Hell")));
  EXPECT_FALSE(vHello.equalsIgnoreCase(QpStringBuffer("HELLO!")));
  EXPECT_TRUE(QpStringBuffer().equals(QpStringBuffer()));
  EXPECT_FALSE(QpStringBuffer(0).equals(QpStringBuffer()));
  EXPECT_TRUE(vHello.equals(QpConstStringBuffer("Hello")));
}

// ---- Reading ---------------------------------------------------------------------------------

TEST(QpStringBufferRead, ToStringCopies) {
  QpAsciiStringBuffer b("ab");
  b.strcat('\0');
  b.strcat('c');
  char* vCopy = b.toString();
  ASSERT_NE(vCopy, nullptr);
  EXPECT_NE(vCopy, b.toStringConst());
  EXPECT_EQ(std::memcmp(vCopy, "ab\0c", 5), 0);
  qp_free(vCopy);
}

TEST(QpStringBufferRead, Release) {
  QpStringBuffer vNone;
  EXPECT_EQ(qpTake(vNone.release(0)), "");
  EXPECT_EQ(vNone.release(1), nullptr);

  QpStringBuffer b("mine");
  const char* vStorage = b.toStringConst();
  char* vText = b.release(0);
  EXPECT_EQ(vText, vStorage);
  EXPECT_STREQ(vText, "mine");
  qp_free(vText);
  EXPECT_TRUE(b.isEmpty());
  EXPECT_EQ(b.getCapacity(), 0);
  EXPECT_EQ(b.getLength(), 0);
  EXPECT_EQ(b.getCharCount(), 0);
  EXPECT_STREQ(b.toStringConst(), "");
  b.strcat("again");
  EXPECT_EQ(bytes(b), "again");
}

TEST(QpStringBufferRead, WideForms) {
  QpStringBuffer vE("\xC3\xA9");
  unsigned short* v16 = vE.toString16();
  ASSERT_NE(v16, nullptr);
  EXPECT_EQ(v16[0], 0x00E9);
  EXPECT_EQ(v16[1], 0);
  qp_free(v16);

  QpStringBuffer vMixed("A\xF0\x9F\x98\x80\xC3\xA9");
  v16 = vMixed.toString16();
  ASSERT_NE(v16, nullptr);
  EXPECT_EQ(std::vector<unsigned short>(v16, v16 + 5),
            (std::vector<unsigned short>{0x41, 0xD83D, 0xDE00, 0xE9, 0}));
  qp_free(v16);
  int* v32 = vMixed.toString32();
  ASSERT_NE(v32, nullptr);
  EXPECT_EQ(std::vector<int>(v32, v32 + 4), (std::vector<int>{0x41, 0x1F600, 0xE9, 0}));
  qp_free(v32);

  QpStringBuffer vNone;
  v16 = vNone.toString16();
  ASSERT_NE(v16, nullptr);
  EXPECT_EQ(v16[0], 0);
  qp_free(v16);
  v32 = vNone.toString32();
  ASSERT_NE(v32, nullptr);
  EXPECT_EQ(v32[0], 0);
  qp_free(v32);

  // An ASCII buffer counts two bytes where the UTF-8 reading finds one character.
  QpAsciiStringBuffer vAscii("\xC3\xA9");
  v16 = vAscii.toString16();
  ASSERT_NE(v16, nullptr);
  EXPECT_EQ(v16[0], 0xE9);
  EXPECT_EQ(v16[1], 0);
  qp_free(v16);
}

TEST(QpStringBufferRead, WideFormsOfInvalidText) {
  QpStringBuffer b("a\x80");
  {
    StAllowInvalid vSwitch(false);
    EXPECT_EQ(traceOf<QpInvalidXMLException>([&] { qp_free(b.toString32()); }),
              "QpBasicStringBuffer::toString32()");
    EXPECT_EQ(traceOf<QpInvalidXMLException>([&] { qp_free(b.toString16()); }),
              "QpBasicStringBuffer::toString16()");
  }
  StAllowInvalid vSwitch(true);
  int* v32 = b.toString32();
  ASSERT_NE(v32, nullptr);
  EXPECT_EQ(std::vector<int>(v32, v32 + 3), (std::vector<int>{'a', 0x80, 0}));
  qp_free(v32);
}

// ---- The read-only view ----------------------------------------------------------------------

TEST(QpConstStringBuffer, ViewsAndRefuses) {
  char vText[] = "abc";
  {
    QpConstStringBuffer vView(vText);
    EXPECT_EQ(vView.getLength(), 3);
    EXPECT_EQ(vView.getCapacity(), 4);
    EXPECT_EQ(vView.getCharCount(), 3);
    EXPECT_EQ(vView.toStringConst(), vText);
    QpBasicStringBuffer& b = vView;
    const Snapshot vBefore = snap(b);
    EXPECT_QP_THROW(b.clear(), QpSDKInternalException, "false");
    EXPECT_QP_THROW(b.strcat("x"), QpSDKInternalException, "false");
    EXPECT_QP_THROW(b.strcat(QpStringBuffer("x")), QpSDKInternalException, "false");
    EXPECT_QP_THROW(b.strcat(U16(u"x")), QpSDKInternalException, "false");
    EXPECT_QP_THROW(b.strcat(U32(U"x")), QpSDKInternalException, "false");
    EXPECT_QP_THROW(b.strcat('x'), QpSDKInternalException, "false");
    EXPECT_QP_THROW(b.strcat(0x41), QpSDKInternalException, "false");
    EXPECT_QP_THROW(b.strcat(static_cast<unsigned short>(0x41)), QpSDKInternalException, "false");
    EXPECT_QP_THROW(b.strncpy("x", 1), QpSDKInternalException, "false");
    EXPECT_QP_THROW(b.strncpy(U16(u"x"), 1), QpSDKInternalException, "false");
    EXPECT_QP_THROW(b.strncpy(U32(U"x"), 1), QpSDKInternalException, "false");
    EXPECT_QP_THROW(b.strcpy("x"), QpSDKInternalException, "false");
    EXPECT_QP_THROW(b.strcpy(QpStringBuffer("x")), QpSDKInternalException, "false");
    EXPECT_QP_THROW(b.strcpy(U16(u"x")), QpSDKInternalException, "false");
    EXPECT_QP_THROW(b.strcpy(U32(U"x")), QpSDKInternalException, "false");
    EXPECT_EQ(snap(b), vBefore);

    QpConstStringBuffer vCopy(vView);
    EXPECT_EQ(vCopy.toStringConst(), vText);
    EXPECT_EQ(vCopy.getCapacity(), 4);
    EXPECT_EQ(qpTake(vView.toString()), "abc");
    EXPECT_TRUE(vView.equals(QpStringBuffer("abc")));
  }
  EXPECT_STREQ(vText, "abc");

  QpConstStringBuffer vNull(nullptr);
  EXPECT_TRUE(vNull.isEmpty());
  EXPECT_EQ(vNull.getCapacity(), 0);
  QpConstStringBuffer vUtf8("\xC3\xA9");
  EXPECT_EQ(vUtf8.getCharCount(), 1);
}

// ---- Factories -------------------------------------------------------------------------------

TEST(QpStringBufferFactory, EveryForm) {
  QpStringBuffer vSource("src");
  QpAsciiStringBuffer vAsciiSource("asc");
  std::vector<QpBasicStringBuffer*> vMade = {
      QpBasicStringBuffer::createInstance(),
      QpBasicStringBuffer::createNEWInstance(10),
      QpBasicStringBuffer::createInstance("b"),
      QpBasicStringBuffer::createNEWInstance(U16(u"\u00E9")),
      QpBasicStringBuffer::createInstance(U32(U"u")),
      QpBasicStringBuffer::createNEWInstance(static_cast<const QpBasicStringBuffer&>(vSource)),
      QpStringBuffer::createNEWInstance(),
      QpStringBuffer::createInstance(0),
      QpStringBuffer::createNEWInstance("s"),
      QpStringBuffer::createInstance(U16(u"w")),
      QpStringBuffer::createNEWInstance(U32(U"x")),
      QpStringBuffer::createInstance(vSource),
      QpAsciiStringBuffer::createInstance(),
      QpAsciiStringBuffer::createNEWInstance(5),
      QpAsciiStringBuffer::createInstance("a"),
      QpAsciiStringBuffer::createNEWInstance(vAsciiSource),
  };
  const char* kWant[] = {"",  "",  "b", "\xC3\xA9", "u", "src", "",  "",
                         "s", "w", "x", "src",      "",  "",    "a", "asc"};
  for (size_t i = 0; i < vMade.size(); ++i) {
    ASSERT_NE(vMade[i], nullptr) << i;
    EXPECT_EQ(bytes(*vMade[i]), kWant[i]) << i;
    delete vMade[i];
  }

  QpStringBuffer* vArray = QpStringBuffer::createArray(3);
  ASSERT_NE(vArray, nullptr);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(vArray[i].getCapacity(), 0);
  vArray[2].strcat("used");
  delete[] vArray;
  QpAsciiStringBuffer* vAsciiArray = QpAsciiStringBuffer::createArray(2);
  ASSERT_NE(vAsciiArray, nullptr);
  vAsciiArray[1].strcat('\xE9');  // ASCII elements
  delete[] vAsciiArray;
  QpBasicStringBuffer* vBasicArray = QpBasicStringBuffer::createArray(1);
  ASSERT_NE(vBasicArray, nullptr);
  delete[] vBasicArray;
  EXPECT_EQ(QpStringBuffer::createArray(-1), nullptr);
}

// ---- Out of memory ---------------------------------------------------------------------------
// Each walk fails every allocation of the operation in turn. A failed modification must raise
// QpOutOfMemException and leave the text, length and count as they were; ASan reports any leak.

namespace {

// Walks inAct over a buffer built from inInitial (the building is walked too) and checks the
// result against inWant. Returns the number of allocations the whole operation makes.
template <class B, class Act>
int walkModification(const char* inInitial, Act inAct, const std::string& inWant) {
  int vActFailures = 0;
  int n = qpWalkAllocations(
      [&] {
        B b(inInitial);
        const Snapshot vBefore = snap(b);
        try {
          inAct(b);
        } catch (QpOutOfMemException&) {
          ++vActFailures;
          Snapshot vAfter = snap(b);
          EXPECT_TRUE(vAfter.mError == 0 || vAfter.mError == 12 ||
                      vAfter.mError == QP_OUT_OF_MEMORY_ERR)
              << vAfter.mError;
          vAfter.mError = vBefore.mError;
          EXPECT_EQ(vAfter, vBefore);
          throw;
        }
        EXPECT_EQ(bytes(b), inWant);
        if (std::is_same<B, QpAsciiStringBuffer>::value)
          EXPECT_EQ(b.getCharCount(), b.getLength());
        else
          EXPECT_EQ(b.getCharCount(), fullCount(b));
      },
      [] {});
  EXPECT_GT(vActFailures, 0) << "the operation never allocated";
  return n;
}

}  // namespace

TEST(QpStringBufferOutOfMemory, Construction) {
  const std::string vLong(700, 'L');
  qpWalkAllocations([] { EXPECT_EQ(QpStringBuffer(0).getCapacity(), 64); }, [] {});
  qpWalkAllocations([] { EXPECT_EQ(bytes(QpStringBuffer("abc")), "abc"); }, [] {});
  qpWalkAllocations([] { EXPECT_EQ(bytes(QpAsciiStringBuffer("abc")), "abc"); }, [] {});
  qpWalkAllocations([&] { EXPECT_EQ(bytes(QpStringBuffer(0, "%s", vLong.c_str())), vLong); },
                    [] {});
  qpWalkAllocations(
      [&] { EXPECT_EQ(bytes(QpAsciiStringBuffer(0, "%s!", vLong.c_str())), vLong + "!"); }, [] {});
  qpWalkAllocations([] { EXPECT_EQ(bytes(QpStringBuffer(U16(u"\u00E9"))), "\xC3\xA9"); }, [] {});
  qpWalkAllocations([] { EXPECT_EQ(bytes(QpStringBuffer(U32(U"\u00E9"))), "\xC3\xA9"); }, [] {});
  QpStringBuffer vSource(vLong.c_str());
  qpWalkAllocations([&] { EXPECT_EQ(bytes(QpStringBuffer(vSource)), vLong); }, [] {});
  QpAsciiStringBuffer vAsciiSource("ascii");
  qpWalkAllocations([&] { EXPECT_EQ(bytes(QpAsciiStringBuffer(vAsciiSource)), "ascii"); }, [] {});
}

TEST(QpStringBufferOutOfMemory, Appending) {
  // The initial text fills its block, so every append must grow.
  const std::string vBase = std::string(62, 'b') + "\xC3";
  const char* kBase = vBase.c_str();
  walkModification<QpStringBuffer>(
      kBase, [](QpStringBuffer& b) { b.strcat("\xA9x"); }, vBase + "\xA9x");
  walkModification<QpStringBuffer>(
      kBase, [](QpStringBuffer& b) { b.strcat('x'); }, vBase + "x");
  walkModification<QpStringBuffer>(
      kBase, [](QpStringBuffer& b) { b.strcat(0xE9); }, vBase + "\xC3\xA9");
  walkModification<QpStringBuffer>(
      kBase, [](QpStringBuffer& b) { b.strcat(static_cast<unsigned short>(0xE9)); },
      vBase + "\xC3\xA9");
  walkModification<QpStringBuffer>(
      kBase, [](QpStringBuffer& b) { b.strcat(U16(u"\u00E9")); }, vBase + "\xC3\xA9");
  walkModification<QpStringBuffer>(
      kBase, [](QpStringBuffer& b) { b.strcat(U32(U"\u00E9")); }, vBase + "\xC3\xA9");
  walkModification<QpStringBuffer>(
      kBase, [](QpStringBuffer& b) { b.strcat(b); }, vBase + vBase);
  walkModification<QpAsciiStringBuffer>(
      kBase, [](QpAsciiStringBuffer& b) { b.strcat(QpAsciiStringBuffer("\xFF\xFE")); },
      vBase + "\xFF\xFE");
}

TEST(QpStringBufferOutOfMemory, Replacing) {
  const std::string vLong(100, 'r');
  walkModification<QpStringBuffer>(
      "old", [&](QpStringBuffer& b) { b.strcpy(vLong.c_str()); }, vLong);
  walkModification<QpStringBuffer>(
      "old", [](QpStringBuffer& b) { b.strncpy("ab", 80); },
      std::string("ab") + std::string(78, '\0'));
  const std::u16string v16(70, u'\u00E9');
  walkModification<QpStringBuffer>(
      "old", [&](QpStringBuffer& b) { b.strcpy(U16(v16.c_str())); },
      [] {
        std::string s;
        for (int i = 0; i < 70; ++i) s += "\xC3\xA9";
        return s;
      }());
  walkModification<QpStringBuffer>(
      "old", [](QpStringBuffer& b) { b.strncpy(U16(u"wide"), 2); }, "wi");
  walkModification<QpStringBuffer>(
      "old", [](QpStringBuffer& b) { b.strcpy(U32(U"\U0001F600")); }, "\xF0\x9F\x98\x80");
  walkModification<QpStringBuffer>(
      "old", [&](QpStringBuffer& b) { b.strcpy(QpConstStringBuffer(vLong.c_str())); }, vLong);
}

TEST(QpStringBufferOutOfMemory, Assignment) {
  const std::string vLong(200, 'a');
  QpStringBuffer vSource(vLong.c_str());
  walkModification<QpStringBuffer>(
      "old", [&](QpStringBuffer& b) { b = vSource; }, vLong);
  QpAsciiStringBuffer vAsciiSource("\xE9\xE9");
  walkModification<QpAsciiStringBuffer>(
      "old", [&](QpAsciiStringBuffer& b) { b = vAsciiSource; }, "\xE9\xE9");
}

TEST(QpStringBufferOutOfMemory, Reading) {
  QpStringBuffer b("A\xC3\xA9\xF0\x9F\x98\x80");
  const Snapshot vBefore = snap(b);
  auto vUnchanged = [&] { EXPECT_EQ(snap(b), vBefore); };
  qpWalkAllocations([&] { EXPECT_EQ(qpTake(b.toString()), "A\xC3\xA9\xF0\x9F\x98\x80"); },
                    vUnchanged);
  qpWalkAllocations(
      [&] {
        unsigned short* v = b.toString16();
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(std::vector<unsigned short>(v, v + 5),
                  (std::vector<unsigned short>{0x41, 0xE9, 0xD83D, 0xDE00, 0}));
        qp_free(v);
      },
      vUnchanged);
  qpWalkAllocations(
      [&] {
        int* v = b.toString32();
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v[2], 0x1F600);
        qp_free(v);
      },
      vUnchanged);
  QpStringBuffer vNone;
  qpWalkAllocations([&] { EXPECT_EQ(qpTake(vNone.release(0)), ""); },
                    [&] { EXPECT_EQ(vNone.getCapacity(), 0); });
}

TEST(QpStringBufferOutOfMemory, FactoriesReturnNull) {
  QpStringBuffer vSource("source");
  auto vWalk = [](const std::function<QpBasicStringBuffer*()>& inMake, const char* inWant) {
    int vNulls = 0;
    qpWalkAllocations(
        [&] {
          QpBasicStringBuffer* p = inMake();
          if (QpFaultHits() > 0) {
            EXPECT_EQ(p, nullptr);
            ++vNulls;
          } else {
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(bytes(*p), inWant);
          }
          delete p;
        },
        [] {}, /*inMayAbsorb=*/true);
    EXPECT_GT(vNulls, 0);
  };
  vWalk([] { return QpBasicStringBuffer::createInstance(); }, "");
  vWalk([] { return QpStringBuffer::createNEWInstance(8); }, "");
  vWalk([] { return QpStringBuffer::createInstance("text"); }, "text");
  vWalk([] { return QpAsciiStringBuffer::createInstance("text"); }, "text");
  vWalk([] { return QpStringBuffer::createInstance(U16(u"w")); }, "w");
  vWalk([] { return QpBasicStringBuffer::createNEWInstance(U32(U"u")); }, "u");
  vWalk([&] { return QpStringBuffer::createInstance(vSource); }, "source");
  vWalk([] { return formatted("%d", 5); }, "5");
  int vNulls = 0;
  qpWalkAllocations(
      [&] {
        QpStringBuffer* p = QpStringBuffer::createArray(4);
        if (QpFaultHits() > 0) {
          EXPECT_EQ(p, nullptr);
          ++vNulls;
        }
        delete[] p;
      },
      [] {}, true);
  EXPECT_GT(vNulls, 0);
}
