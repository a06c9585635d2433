// Smart packets built field by field, imaged, loaded into another packet and read back. A
// 20-field request (the size of the protocol's requests) is set against a memcpy of its image,
// the least any hand-over of those bytes costs; 1,000 to 10,000 fields show how the time grows
// with the field count.
//
// Names follow bench/compare: BM_<Name>/<size> is the library, BM_<Name>_Peer/<size> the peer.
#include <QpUtilsLib.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

// Fields 0 .. n-1: integers, strings and 64-bit values in turn.
void build(QpSmartPacket& ioPacket, int inCount) {
  for (int i = 0; i < inCount; ++i) {
    const short vCode = static_cast<short>(i);
    switch (i % 3) {
      case 0:
        ioPacket.store(vCode, i);
        break;
      case 1:
        ioPacket.store(vCode, "cluster-node.example:3218");
        break;
      default:
        ioPacket.store(vCode, static_cast<QpLong>(i) << 33);
    }
  }
}

long long readBack(QpSmartPacket& ioPacket, int inCount) {
  long long vSum = 0;
  for (int i = 0; i < inCount; ++i) {
    const short vCode = static_cast<short>(i);
    if (i % 3 == 1) {
      int vLen = 0;
      ioPacket.GetStringLen(vCode, &vLen);
      vSum += vLen;
    } else {
      vSum += ioPacket.GetLong(vCode);
    }
  }
  return vSum;
}

long long roundTrip(int inCount) {
  QpSmartPacket vPacket;
  build(vPacket, inCount);
  void* vImage = nullptr;
  int vLength = 0;
  vPacket.toBytes(&vImage, &vLength);
  QpSmartPacket vLoaded;
  vLoaded.fromBytes(vImage, vLength);
  return readBack(vLoaded, inCount);
}

void BM_PacketFields(benchmark::State& state) {
  const int vCount = static_cast<int>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(roundTrip(vCount));
  state.SetItemsProcessed(state.iterations() * vCount);
}

void BM_Request20(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(roundTrip(20));
}

// The same 20-field image copied once.
void BM_Request20_Peer(benchmark::State& state) {
  QpSmartPacket vPacket;
  build(vPacket, 20);
  void* vImage = nullptr;
  int vLength = 0;
  vPacket.toBytes(&vImage, &vLength);
  std::vector<char> vCopy(static_cast<size_t>(vLength));
  for (auto _ : state) {
    std::memcpy(vCopy.data(), vImage, static_cast<size_t>(vLength));
    benchmark::DoNotOptimize(vCopy.data());
    benchmark::ClobberMemory();
  }
  state.counters["bytes"] = vLength;
}

}  // namespace

BENCHMARK(BM_PacketFields)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(10000);
BENCHMARK(BM_Request20)->Arg(20);
BENCHMARK(BM_Request20_Peer)->Arg(20);
