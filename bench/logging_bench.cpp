// Cost of one log call: a message that the level filter rejects (no lock, no formatting), one
// that is written as a tab line, and the peer: the same line written by a bare fprintf+fflush.
// Both writers go to /dev/null, so the figures are the call path and the flush, not the disk.
#include <QpUtilsLib.h>
#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

const char kSink[] = "/dev/null";

// Logging on, level 4, tab lines to the sink; stopped again when the benchmark ends.
class StBenchLogging {
 public:
  StBenchLogging() {
    QpLoggingState vOptions;
    vOptions.setPath(kSink);
    vOptions.setFormat(kLogFormatTab);
    vOptions.setLevel(4);
    vOptions.setMaxSizeInKb(-1);
    QpLogging::Start(&vOptions);
  }
  ~StBenchLogging() { QpLogging::Stop(); }
};

void BM_Log_Disabled(benchmark::State& state) {
  StBenchLogging vLogging;
  int i = 0;
  for (auto _ : state) QpLogging::Log(8, PACKET, "packet %d of %s", ++i, "transfer");
  benchmark::DoNotOptimize(i);
}

void BM_IsDebugLogging_Disabled(benchmark::State& state) {
  StBenchLogging vLogging;
  for (auto _ : state) benchmark::DoNotOptimize(QpLogging::isDebugLogging(8, PACKET));
}

void BM_Log_EnabledTab(benchmark::State& state) {
  StBenchLogging vLogging;
  int i = 0;
  for (auto _ : state) QpLogging::Log(4, PACKET, "packet %d of %s", ++i, "transfer");
}

void BM_Fprintf_Fflush(benchmark::State& state) {
  FILE* vFile = std::fopen(kSink, "w");
  int i = 0;
  for (auto _ : state) {
    std::fprintf(vFile, "%lld%.3ld\t%s\t\t[%s]\t\t%ld.%ld\t[%s]\tpacket %d of %s\n", 1700000000LL,
                 123L, "2023-11-14 22:13:20.123", "debug", 4711L, 140000000000L, "PACKET", ++i,
                 "transfer");
    std::fflush(vFile);
  }
  std::fclose(vFile);
}

}  // namespace

BENCHMARK(BM_Log_Disabled);
BENCHMARK(BM_IsDebugLogging_Disabled);
BENCHMARK(BM_Log_EnabledTab);
BENCHMARK(BM_Fprintf_Fflush);
