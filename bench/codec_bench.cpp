// UTF-8 <-> UTF-16 conversion, UTF-8 validation and character counting, against ICU (and iconv
// for one direction) as peers in the same run, on four kinds of text - ASCII, Latin-heavy, CJK,
// emoji - at 64 KiB, 256 KiB, 1 MiB and 4 MiB of UTF-8, so that the rows show both the ratio to
// the peer and that the time grows linearly with the text.
//
// The library's figures include the XML character check (validate on, as readers of XML text
// call it) and the allocation of the result, which the peers are spared. Throughput is counted in
// UTF-8 bytes in both directions. The peer of QpValidUTF8 and QpCountCharacters is ICU's
// preflight of u_strFromUTF8 (no output buffer), which validates the whole text and counts its
// UTF-16 units.
#include <QpUtilsLib.h>
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#if defined(QP_HAVE_ICU)
#include <unicode/ustring.h>
#endif

namespace {

enum Kind { kAscii, kLatin, kCjk, kEmoji };
const char* const kKindNames[] = {"ascii", "latin", "cjk", "emoji"};

// Sentences repeated, with a running number between them so that no two stretches are alike.
const char* const kSentences[] = {
    "The storage cluster keeps content objects, their blobs and descriptions under retention. ",
    "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 g\xC4\x99\xC5\x9Bl\xC4\x85 ja\xC5\xBA\xC5\x84; "
    "Gr\xC3\xB6\xC3\x9F\x65 \xC3\x9C\x62\x65rma\xC3\x9F; caf\xC3\xA9 na\xC3\xAFve "
    "\xC3\xA9l\xC3\xA8ve; \xC3\xB1\x61nd\xC3\xBA; \xC3\x86sir \xC3\x98rsted \xC3\x85se. ",
    "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x96\x87\xE7\xAB\xA0\xE3\x81\xA7"
    "\xE3\x81\x99\xE3\x80\x82\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97\xE7\xAC\xA6\xE6\xB5\x8B"
    "\xE8\xAF\x95\xEF\xBC\x8C\xE6\xB1\x89\xE5\xAD\x97\xE5\xA4\x84\xE7\x90\x86\xE3\x80\x82",
    "\xF0\x9F\x98\x80\xF0\x9F\x98\x83\xF0\x9F\x98\x84\xF0\x9F\x9A\x80\xF0\x9F\x8C\x8D"
    "\xF0\x9F\x8E\x89\xF0\x9F\x91\x8D\xF0\x9F\x94\xA5 ",
};

const std::string& utf8Text(int inKind, size_t inBytes) {
  static std::map<std::pair<int, size_t>, std::string> sTexts;
  std::string& vText = sTexts[{inKind, inBytes}];
  if (vText.empty()) {
    for (int n = 0; vText.size() < inBytes; ++n) {
      vText += kSentences[inKind];
      if (n % 8 == 7) vText += std::to_string(n);
    }
    // Cut back to a character boundary at or below the size.
    size_t vEnd = inBytes;
    while ((static_cast<unsigned char>(vText[vEnd]) & 0xC0) == 0x80) --vEnd;
    vText.resize(vEnd);
  }
  return vText;
}

const std::vector<unsigned short>& utf16Text(int inKind, size_t inBytes) {
  static std::map<std::pair<int, size_t>, std::vector<unsigned short>> sTexts;
  std::vector<unsigned short>& vUnits = sTexts[{inKind, inBytes}];
  if (vUnits.empty()) {
    const std::string& vText = utf8Text(inKind, inBytes);
    unsigned short* vConverted =
        QpConvertUTF8ToUTF16(vText.data(), static_cast<int>(vText.size()), 1, 0);
    for (size_t i = 0; vConverted[i] != 0; ++i) vUnits.push_back(vConverted[i]);
    qp_free(vConverted);
  }
  return vUnits;
}

int kindOf(const benchmark::State& inState) {
  return static_cast<int>(inState.range(0));
}
size_t sizeOf(const benchmark::State& inState) {
  return static_cast<size_t>(inState.range(1));
}

void finish(benchmark::State& ioState) {
  ioState.SetBytesProcessed(
      static_cast<int64_t>(ioState.iterations()) *
      static_cast<int64_t>(utf8Text(kindOf(ioState), sizeOf(ioState)).size()));
  ioState.SetLabel(kKindNames[kindOf(ioState)]);
}

// The goals, as ratios peer time / library time, per kind of text (ascii, latin, cjk, emoji).
const double kUtf8ToUtf16Goal[] = {3, 3, 1.5, 2};
const double kUtf16ToUtf8Goal[] = {2, 2, 1.5, 1};

void BM_UTF8ToUTF16(benchmark::State& state) {
  state.counters["goal"] = kUtf8ToUtf16Goal[kindOf(state)];
  const std::string& vText = utf8Text(kindOf(state), sizeOf(state));
  for (auto _ : state) {
    unsigned short* vOut = QpConvertUTF8ToUTF16(vText.data(), static_cast<int>(vText.size()), 1, 0);
    benchmark::DoNotOptimize(vOut);
    qp_free(vOut);
  }
  finish(state);
}

void BM_UTF16ToUTF8(benchmark::State& state) {
  state.counters["goal"] = kUtf16ToUtf8Goal[kindOf(state)];
  const std::vector<unsigned short>& vUnits = utf16Text(kindOf(state), sizeOf(state));
  for (auto _ : state) {
    char* vOut = QpConvertUTF16ToUTF8(vUnits.data(), static_cast<int>(vUnits.size()), 1, 0);
    benchmark::DoNotOptimize(vOut);
    qp_free(vOut);
  }
  finish(state);
}

void BM_ValidUTF8(benchmark::State& state) {
  const std::string& vText = utf8Text(kindOf(state), sizeOf(state));
  for (auto _ : state) {
    unsigned char vValid = QpValidUTF8(vText.data(), static_cast<int>(vText.size()));
    benchmark::DoNotOptimize(vValid);
  }
  finish(state);
}

void BM_CountCharacters(benchmark::State& state) {
  const std::string& vText = utf8Text(kindOf(state), sizeOf(state));
  for (auto _ : state) {
    int vCount = QpCountCharacters(vText.data(), static_cast<int>(vText.size()), 1, 0);
    benchmark::DoNotOptimize(vCount);
  }
  finish(state);
}

void BM_UTF8ToUTF16_Iconv(benchmark::State& state) {
  const std::string& vText = utf8Text(kindOf(state), sizeOf(state));
  iconv_t vCd = iconv_open("UTF-16LE", "UTF-8");
  std::vector<char> vOut(vText.size() * 2 + 16);
  for (auto _ : state) {
    char* vIn = const_cast<char*>(vText.data());
    size_t vInLeft = vText.size();
    char* vDst = vOut.data();
    size_t vOutLeft = vOut.size();
    iconv(vCd, &vIn, &vInLeft, &vDst, &vOutLeft);
    benchmark::DoNotOptimize(vDst);
  }
  iconv_close(vCd);
  finish(state);
}

#if defined(QP_HAVE_ICU)
void BM_UTF8ToUTF16_Peer(benchmark::State& state) {
  const std::string& vText = utf8Text(kindOf(state), sizeOf(state));
  std::vector<UChar> vOut(vText.size() + 16);
  for (auto _ : state) {
    UErrorCode vStatus = U_ZERO_ERROR;
    int32_t vLen = 0;
    u_strFromUTF8(vOut.data(), static_cast<int32_t>(vOut.size()), &vLen, vText.data(),
                  static_cast<int32_t>(vText.size()), &vStatus);
    benchmark::DoNotOptimize(vLen);
  }
  finish(state);
}

void BM_UTF16ToUTF8_Peer(benchmark::State& state) {
  const std::vector<unsigned short>& vUnits = utf16Text(kindOf(state), sizeOf(state));
  std::vector<char> vOut(utf8Text(kindOf(state), sizeOf(state)).size() + 16);
  for (auto _ : state) {
    UErrorCode vStatus = U_ZERO_ERROR;
    int32_t vLen = 0;
    u_strToUTF8(vOut.data(), static_cast<int32_t>(vOut.size()), &vLen,
                reinterpret_cast<const UChar*>(vUnits.data()), static_cast<int32_t>(vUnits.size()),
                &vStatus);
    benchmark::DoNotOptimize(vLen);
  }
  finish(state);
}

void BM_ValidUTF8_Peer(benchmark::State& state) {
  const std::string& vText = utf8Text(kindOf(state), sizeOf(state));
  for (auto _ : state) {
    UErrorCode vStatus = U_ZERO_ERROR;
    int32_t vLen = 0;
    u_strFromUTF8(nullptr, 0, &vLen, vText.data(), static_cast<int32_t>(vText.size()), &vStatus);
    benchmark::DoNotOptimize(vLen);
  }
  finish(state);
}
#endif

void textArgs(benchmark::internal::Benchmark* ioBench) {
  ioBench->ArgsProduct({{kAscii, kLatin, kCjk, kEmoji}, {64 << 10, 256 << 10, 1 << 20, 4 << 20}});
}

}  // namespace

BENCHMARK(BM_UTF8ToUTF16)->Apply(textArgs);
#if defined(QP_HAVE_ICU)
BENCHMARK(BM_UTF8ToUTF16_Peer)->Apply(textArgs);
#endif
BENCHMARK(BM_UTF8ToUTF16_Iconv)->Apply(textArgs);
BENCHMARK(BM_UTF16ToUTF8)->Apply(textArgs);
#if defined(QP_HAVE_ICU)
BENCHMARK(BM_UTF16ToUTF8_Peer)->Apply(textArgs);
#endif
BENCHMARK(BM_ValidUTF8)->Apply(textArgs);
BENCHMARK(BM_CountCharacters)->Apply(textArgs);
#if defined(QP_HAVE_ICU)
BENCHMARK(BM_ValidUTF8_Peer)->Apply(textArgs);
// The same preflight is the peer of the count, which it also computes.
BENCHMARK(BM_ValidUTF8_Peer)->Name("BM_CountCharacters_Peer")->Apply(textArgs);
#endif
