// UTF-8 <-> UTF-16 conversion of mixed text, against ICU and iconv as peers in the same run.
// The library's figures include the XML character check (validate on, as readers of XML text
// call it) and the allocation of the result, which the peers are spared.
#include <QpUtilsLib.h>
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <string>
#include <vector>

#if defined(QP_HAVE_ICU)
#include <unicode/ustring.h>
#endif

namespace {

// About 4 KiB of text mixing ASCII, Latin-1, other BMP scripts and a supplementary character.
const std::string& sampleUtf8() {
  static const std::string sText = [] {
    std::string vText;
    while (vText.size() < 4096)
      vText +=
          "Storage cluster gr\xC3\xBC\xC3\x9F\x65 \xCE\xB1\xCE\xB2\xCE\xB3 "
          "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 12345 ";
    return vText;
  }();
  return sText;
}

std::vector<unsigned short> sampleUtf16() {
  unsigned short* vUnits = QpConvertUTF8ToUTF16(sampleUtf8().c_str(), -1, 0, 0);
  std::vector<unsigned short> vResult;
  for (int i = 0; vUnits[i] != 0; ++i) vResult.push_back(vUnits[i]);
  vResult.push_back(0);
  qp_free(vUnits);
  return vResult;
}

void BM_Qp_UTF8ToUTF16(benchmark::State& state) {
  const std::string& vText = sampleUtf8();
  for (auto _ : state) {
    unsigned short* vOut =
        QpConvertUTF8ToUTF16(vText.c_str(), static_cast<int>(vText.size()), 1, 0);
    benchmark::DoNotOptimize(vOut);
    qp_free(vOut);
  }
  state.SetBytesProcessed(state.iterations() * vText.size());
}

void BM_Qp_UTF16ToUTF8(benchmark::State& state) {
  std::vector<unsigned short> vUnits = sampleUtf16();
  for (auto _ : state) {
    char* vOut = QpConvertUTF16ToUTF8(vUnits.data(), static_cast<int>(vUnits.size() - 1), 1, 0);
    benchmark::DoNotOptimize(vOut);
    qp_free(vOut);
  }
  state.SetBytesProcessed(state.iterations() * sampleUtf8().size());
}

void BM_Iconv_UTF8ToUTF16(benchmark::State& state) {
  const std::string& vText = sampleUtf8();
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
  state.SetBytesProcessed(state.iterations() * vText.size());
}

#if defined(QP_HAVE_ICU)
void BM_ICU_UTF8ToUTF16(benchmark::State& state) {
  const std::string& vText = sampleUtf8();
  std::vector<UChar> vOut(vText.size() + 16);
  for (auto _ : state) {
    UErrorCode vStatus = U_ZERO_ERROR;
    int32_t vLen = 0;
    u_strFromUTF8(vOut.data(), static_cast<int32_t>(vOut.size()), &vLen, vText.data(),
                  static_cast<int32_t>(vText.size()), &vStatus);
    benchmark::DoNotOptimize(vLen);
  }
  state.SetBytesProcessed(state.iterations() * vText.size());
}

void BM_ICU_UTF16ToUTF8(benchmark::State& state) {
  std::vector<unsigned short> vUnits = sampleUtf16();
  std::vector<char> vOut(sampleUtf8().size() + 16);
  for (auto _ : state) {
    UErrorCode vStatus = U_ZERO_ERROR;
    int32_t vLen = 0;
    u_strToUTF8(vOut.data(), static_cast<int32_t>(vOut.size()), &vLen,
                reinterpret_cast<const UChar*>(vUnits.data()),
                static_cast<int32_t>(vUnits.size() - 1), &vStatus);
    benchmark::DoNotOptimize(vLen);
  }
  state.SetBytesProcessed(state.iterations() * sampleUtf8().size());
}
BENCHMARK(BM_ICU_UTF8ToUTF16);
BENCHMARK(BM_ICU_UTF16ToUTF8);
#endif

}  // namespace

BENCHMARK(BM_Qp_UTF8ToUTF16);
BENCHMARK(BM_Iconv_UTF8ToUTF16);
BENCHMARK(BM_Qp_UTF16ToUTF8);
