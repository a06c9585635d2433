// Base64 of 4 KiB and 1 MiB, the library against OpenSSL's EVP_EncodeBlock and EVP_DecodeBlock
// in the same run, on the same bytes. Both decoders get clean text without line breaks, the case
// the library's vector path takes; the library also runs with its bulk paths forced off, which
// is the plain group-by-group loop they must agree with.
//
// Names follow bench/compare: BM_<Name>/<size> is the library, BM_<Name>_Peer/<size> the peer
// doing the same work, and the library's counter "goal" is the ratio (peer time / library time)
// it has to reach.
#include <QpBase64Hooks.h>
#include <QpUtilsLib.h>
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#if defined(QP_HAVE_OPENSSL)
#include <openssl/evp.h>
#endif

namespace {

const double kGoal = 4.0;

const std::string& data(size_t inSize) {
  static std::string sData;
  if (sData.size() != inSize) {
    sData.assign(inSize, '\0');
    for (size_t i = 0; i < inSize; ++i) sData[i] = static_cast<char>((i * 2654435761u) >> 13);
  }
  return sData;
}

const std::string& text(size_t inSize) {
  static std::string sText;
  static size_t sFor = 0;
  if (sFor != inSize) {
    const std::string& vData = data(inSize);
    sText.assign(4 * ((inSize + 2) / 3), '\0');
    int vLength = 0;
    QpBase64::encode(vData.data(), static_cast<int>(inSize), &sText[0], &vLength);
    sFor = inSize;
  }
  return sText;
}

void encodeWith(benchmark::State& state, int inLevel) {
  StBase64Level vLevel(inLevel);
  const std::string& vData = data(static_cast<size_t>(state.range(0)));
  std::vector<char> vOut(4 * (vData.size() + 2) / 3 + 4);
  int vLength = 0;
  for (auto _ : state) {
    QpBase64::encode(vData.data(), static_cast<int>(vData.size()), vOut.data(), &vLength);
    benchmark::DoNotOptimize(vOut.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(vData.size()));
}

void decodeWith(benchmark::State& state, int inLevel) {
  StBase64Level vLevel(inLevel);
  const std::string& vText = text(static_cast<size_t>(state.range(0)));
  std::vector<char> vOut(3 * (vText.size() + 3) / 4);
  int vLength = 0;
  for (auto _ : state) {
    QpBase64::decode(vText.data(), static_cast<int>(vText.size()), vOut.data(), &vLength);
    benchmark::DoNotOptimize(vOut.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(vText.size()));
}

void BM_Base64Encode(benchmark::State& state) {
  encodeWith(state, -1);
  state.counters["goal"] = kGoal;
}
void BM_Base64Encode_Plain(benchmark::State& state) {
  encodeWith(state, kQpBase64Plain);
}
void BM_Base64Decode(benchmark::State& state) {
  decodeWith(state, -1);
  state.counters["goal"] = kGoal;
}
void BM_Base64Decode_Plain(benchmark::State& state) {
  decodeWith(state, kQpBase64Plain);
}

#if defined(QP_HAVE_OPENSSL)
void BM_Base64Encode_Peer(benchmark::State& state) {
  const std::string& vData = data(static_cast<size_t>(state.range(0)));
  std::vector<unsigned char> vOut(4 * (vData.size() + 2) / 3 + 4);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_EncodeBlock(vOut.data(),
                                             reinterpret_cast<const unsigned char*>(vData.data()),
                                             static_cast<int>(vData.size())));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(vData.size()));
}

void BM_Base64Decode_Peer(benchmark::State& state) {
  const std::string& vText = text(static_cast<size_t>(state.range(0)));
  std::vector<unsigned char> vOut(3 * (vText.size() + 3) / 4 + 4);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_DecodeBlock(vOut.data(),
                                             reinterpret_cast<const unsigned char*>(vText.data()),
                                             static_cast<int>(vText.size())));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(vText.size()));
}
#endif

}  // namespace

BENCHMARK(BM_Base64Encode)->Arg(4 << 10)->Arg(1 << 20);
BENCHMARK(BM_Base64Encode_Plain)->Arg(4 << 10)->Arg(1 << 20);
BENCHMARK(BM_Base64Decode)->Arg(4 << 10)->Arg(1 << 20);
BENCHMARK(BM_Base64Decode_Plain)->Arg(4 << 10)->Arg(1 << 20);
#if defined(QP_HAVE_OPENSSL)
BENCHMARK(BM_Base64Encode_Peer)->Arg(4 << 10)->Arg(1 << 20);
BENCHMARK(BM_Base64Decode_Peer)->Arg(4 << 10)->Arg(1 << 20);
#endif
