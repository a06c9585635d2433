// Appending to a string buffer: one byte at a time and in chunks, against std::string as the
// peer. Both must stay linear in the final length; the per-byte figures show the constant.
#include <QpUtilsLib.h>
#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_QpStringBuffer_AppendByte(benchmark::State& state) {
  const int vCount = static_cast<int>(state.range(0));
  for (auto _ : state) {
    QpStringBuffer vBuffer;
    for (int i = 0; i < vCount; ++i) vBuffer.strcat(static_cast<char>('a' + i % 26));
    benchmark::DoNotOptimize(vBuffer.toStringConst());
  }
  state.SetItemsProcessed(state.iterations() * vCount);
}

void BM_StdString_AppendByte(benchmark::State& state) {
  const int vCount = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::string vText;
    for (int i = 0; i < vCount; ++i) vText.push_back(static_cast<char>('a' + i % 26));
    benchmark::DoNotOptimize(vText.data());
  }
  state.SetItemsProcessed(state.iterations() * vCount);
}

// Multi-byte text, so that the character count has real work to do.
const char kChunk[] = "gr\xC3\xBC\xC3\x9F dich \xE2\x82\xAC 42 ";

void BM_QpStringBuffer_AppendUtf8Chunk(benchmark::State& state) {
  const int vCount = static_cast<int>(state.range(0));
  for (auto _ : state) {
    QpStringBuffer vBuffer;
    for (int i = 0; i < vCount; ++i) vBuffer.strcat(kChunk);
    benchmark::DoNotOptimize(vBuffer.getCharCount());
  }
  state.SetBytesProcessed(state.iterations() * vCount * (sizeof(kChunk) - 1));
}

void BM_StdString_AppendUtf8Chunk(benchmark::State& state) {
  const int vCount = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::string vText;
    for (int i = 0; i < vCount; ++i) vText.append(kChunk);
    benchmark::DoNotOptimize(vText.data());
  }
  state.SetBytesProcessed(state.iterations() * vCount * (sizeof(kChunk) - 1));
}

}  // namespace

BENCHMARK(BM_QpStringBuffer_AppendByte)->Range(1 << 10, 1 << 18);
BENCHMARK(BM_StdString_AppendByte)->Range(1 << 10, 1 << 18);
BENCHMARK(BM_QpStringBuffer_AppendUtf8Chunk)->Range(1 << 6, 1 << 14);
BENCHMARK(BM_StdString_AppendUtf8Chunk)->Range(1 << 6, 1 << 14);
