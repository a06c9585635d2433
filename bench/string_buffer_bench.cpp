// Appending to a string buffer one byte, one character or one chunk at a time, against
// std::string as the peer. Both must stay linear in the final length: the byte and character
// appends run from 4 KiB to 4 MiB in doubling steps, so each doubling should double the time.
//
// Names follow bench/compare: BM_<Name>/<size> is the library, BM_<Name>_Peer/<size> the peer
// doing the same work, and the library's counter "goal" is the ratio (peer time / library time)
// it has to reach.
#include <QpUtilsLib.h>
#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_AppendByte(benchmark::State& state) {
  const int vCount = static_cast<int>(state.range(0));
  for (auto _ : state) {
    QpStringBuffer vBuffer;
    for (int i = 0; i < vCount; ++i) vBuffer.strcat(static_cast<char>('a' + i % 26));
    benchmark::DoNotOptimize(vBuffer.toStringConst());
  }
  state.SetItemsProcessed(state.iterations() * vCount);
  state.counters["goal"] = 0.33;
}

void BM_AppendByte_Peer(benchmark::State& state) {
  const int vCount = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::string vText;
    for (int i = 0; i < vCount; ++i) vText.push_back(static_cast<char>('a' + i % 26));
    benchmark::DoNotOptimize(vText.data());
  }
  state.SetItemsProcessed(state.iterations() * vCount);
}

// Characters of one, two and three UTF-8 bytes in turn; the peer writes the same bytes.
const int kChars[3] = {'x', 0xE9, 0x20AC};
const char* const kCharBytes[3] = {"x", "\xC3\xA9", "\xE2\x82\xAC"};

void BM_AppendChar(benchmark::State& state) {
  const int vCount = static_cast<int>(state.range(0));
  for (auto _ : state) {
    QpStringBuffer vBuffer;
    for (int i = 0; i < vCount; ++i) vBuffer.strcat(kChars[i % 3]);
    benchmark::DoNotOptimize(vBuffer.getCharCount());
  }
  state.SetItemsProcessed(state.iterations() * vCount);
}

void BM_AppendChar_Peer(benchmark::State& state) {
  const int vCount = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::string vText;
    for (int i = 0; i < vCount; ++i) vText.append(kCharBytes[i % 3]);
    benchmark::DoNotOptimize(vText.data());
  }
  state.SetItemsProcessed(state.iterations() * vCount);
}

// Multi-byte text, so that the character count has real work to do.
const char kChunk[] = "gr\xC3\xBC\xC3\x9F dich \xE2\x82\xAC 42 ";

void BM_AppendUtf8Chunk(benchmark::State& state) {
  const int vCount = static_cast<int>(state.range(0));
  for (auto _ : state) {
    QpStringBuffer vBuffer;
    for (int i = 0; i < vCount; ++i) vBuffer.strcat(kChunk);
    benchmark::DoNotOptimize(vBuffer.getCharCount());
  }
  state.SetBytesProcessed(state.iterations() * vCount * (sizeof(kChunk) - 1));
}

void BM_AppendUtf8Chunk_Peer(benchmark::State& state) {
  const int vCount = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::string vText;
    for (int i = 0; i < vCount; ++i) vText.append(kChunk);
    benchmark::DoNotOptimize(vText.data());
  }
  state.SetBytesProcessed(state.iterations() * vCount * (sizeof(kChunk) - 1));
}

}  // namespace

BENCHMARK(BM_AppendByte)->RangeMultiplier(2)->Range(4 << 10, 4 << 20);
BENCHMARK(BM_AppendByte_Peer)->RangeMultiplier(2)->Range(4 << 10, 4 << 20);
BENCHMARK(BM_AppendChar)->RangeMultiplier(4)->Range(4 << 10, 4 << 20);
BENCHMARK(BM_AppendChar_Peer)->RangeMultiplier(4)->Range(4 << 10, 4 << 20);
BENCHMARK(BM_AppendUtf8Chunk)->Range(1 << 6, 1 << 14);
BENCHMARK(BM_AppendUtf8Chunk_Peer)->Range(1 << 6, 1 << 14);
