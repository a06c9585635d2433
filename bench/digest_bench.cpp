// MD5 and SHA-256 of one buffer (16 KiB and 1 MiB), the library's engines against OpenSSL's
// EVP_Digest as the peer in the same run. The library's figures include making, finishing and
// freeing the context, as a caller pays them; SHA-256 is timed on the path the processor picks
// and on the portable path.
#include <QpSHA256Hooks.h>
#include <QpUtilsLib.h>
#include <benchmark/benchmark.h>

#include <string>

#if defined(QP_HAVE_OPENSSL)
#include <openssl/evp.h>
#endif

namespace {

std::string& buffer(size_t inSize) {
  static std::string sData;
  if (sData.size() != inSize) {
    sData.assign(inSize, '\0');
    for (size_t i = 0; i < inSize; ++i) sData[i] = static_cast<char>((i * 2654435761u) >> 13);
  }
  return sData;
}

void BM_Qp_MD5(benchmark::State& state) {
  std::string& vData = buffer(static_cast<size_t>(state.range(0)));
  unsigned char vDigest[16];
  for (auto _ : state) {
    void* vCtx = QpMD5_Impl::QpMD5_CreateContext();
    QpMD5_Impl::QpMD5_Update(vCtx, &vData[0], vData.size());
    QpMD5_Impl::QpMD5_Final(vDigest, static_cast<QpMD5_CTX*>(vCtx));
    QpMD5_Impl::QpMD5_DeleteContext(vCtx);
    benchmark::DoNotOptimize(vDigest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void sha256(benchmark::State& state) {
  std::string& vData = buffer(static_cast<size_t>(state.range(0)));
  unsigned char vDigest[32];
  unsigned int vScratch = 0;
  for (auto _ : state) {
    void* vCtx = QpSHA256_Impl::QpSHA256_CreateContext();
    QpSHA256_Impl::QpSHA256_Update(vCtx, &vData[0], vData.size(), vScratch);
    QpSHA256_Impl::QpSHA256_Final(vDigest, static_cast<SHA256Context*>(vCtx));
    QpSHA256_Impl::QpSHA256_DeleteContext(vCtx);
    benchmark::DoNotOptimize(vDigest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Qp_SHA256(benchmark::State& state) {
  state.SetLabel(QpSHA256HasShaExtensions() ? "SHA extensions" : "portable");
  sha256(state);
}

void BM_Qp_SHA256_Portable(benchmark::State& state) {
  StSHA256Portable vPortable;
  sha256(state);
}

#if defined(QP_HAVE_OPENSSL)
void evp(benchmark::State& state, const EVP_MD* inMd) {
  std::string& vData = buffer(static_cast<size_t>(state.range(0)));
  unsigned char vDigest[EVP_MAX_MD_SIZE];
  unsigned int vLength = 0;
  for (auto _ : state) {
    EVP_Digest(vData.data(), vData.size(), vDigest, &vLength, inMd, nullptr);
    benchmark::DoNotOptimize(vDigest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_OpenSSL_MD5(benchmark::State& state) {
  evp(state, EVP_md5());
}
void BM_OpenSSL_SHA256(benchmark::State& state) {
  evp(state, EVP_sha256());
}
#endif

}  // namespace

BENCHMARK(BM_Qp_MD5)->Arg(16 << 10)->Arg(1 << 20);
#if defined(QP_HAVE_OPENSSL)
BENCHMARK(BM_OpenSSL_MD5)->Arg(16 << 10)->Arg(1 << 20);
#endif
BENCHMARK(BM_Qp_SHA256)->Arg(16 << 10)->Arg(1 << 20);
BENCHMARK(BM_Qp_SHA256_Portable)->Arg(16 << 10)->Arg(1 << 20);
#if defined(QP_HAVE_OPENSSL)
BENCHMARK(BM_OpenSSL_SHA256)->Arg(16 << 10)->Arg(1 << 20);
#endif
