// SPDX-License-Identifier: MIT
// Commands per second of the KORA output operation over an open FIFO channel,
// beside the raw frame write of the same command on the same FIFO. A reader
// thread drains the FIFO for the whole run. The process is set up as a tool
// on the library's main is (SIGPIPE harmless).
//
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "quarnel/QXCLSend.h"
#include "quarnel/QXChannel.h"
#include "quarnel/QXEnv.h"
#include "quarnel/QXLink.h"

// Identity of the benchmark program, which the library's texts carry.
extern "C" {
const char kQx_KitName[] = "MIRLAN";
const char kQx_ToolName[] = "Varnost";
const char kQx_ToolVersion[] = "1.1";
const char kQx_ToolCopyright[] = "(c) Quarnel benchmarks";
}

namespace {

// A typical 40-byte command.
const char kCommand[] = "CN(17,5:place,22:p_ready_to_send_tokens)";
static_assert(sizeof kCommand - 1 == 40);

// A FIFO channel opened as a server consumer on two fresh FIFOs, with a peer
// thread that holds the other ends and drains whatever arrives.
class FifoLink {
 public:
  FifoLink() {
    char pattern[] = "/tmp/qxbench.XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    dir_ = pattern;
    in_ = dir_ + "/in";
    out_ = dir_ + "/out";
    if (mkfifo(in_.c_str(), 0600) != 0 || mkfifo(out_.c_str(), 0600) != 0) std::abort();
    peer_ = std::thread([this] {
      int fromTool = open(out_.c_str(), O_RDONLY | O_CLOEXEC);
      int toTool = open(in_.c_str(), O_WRONLY | O_CLOEXEC);
      static char sink[1 << 16];
      while (read(fromTool, sink, sizeof sink) > 0) {
      }
      close(toTool);
      close(fromTool);
    });
    // Broken pipes made harmless as the library's main does for every tool,
    // so that both ways measure the writes a tool makes.
    QXLSurviveBrokenPipes();
    g_qxStandalone = kQx_True;
    QxChannelInit();
    QxInitChannelParam(&param_, kQx_ChannelFIFO);
    param_.channel.fifoParam.pChannelIn = in_.data();
    param_.channel.fifoParam.pChannelOut = out_.data();
    channel_ = QxOpenChannel(&param_, kQx_ServerConsumer, nullptr);
    output_ = QxNewChannelIOParams();
    if (channel_ == nullptr || output_ == nullptr) std::abort();
    QxSetChannelIOParams(output_, channel_, kQx_Write, kQx_Sync, kQx_NotGivenPtr,
                         kQx_NotGivenPtr, kQx_NotGivenLength);
  }

  ~FifoLink() {
    QxCloseChannel(channel_);
    peer_.join();
    unlink(in_.c_str());
    unlink(out_.c_str());
    rmdir(dir_.c_str());
  }

  PQxChannelIOParams output() { return output_; }
  int descriptor() const { return param_.channel.fifoParam.fdOut; }

 private:
  std::string dir_, in_, out_;
  std::thread peer_;
  QxChannelParam param_{};
  PQxChannel channel_ = nullptr;
  PQxChannelIOParams output_ = nullptr;
};

FifoLink& Link() {
  static FifoLink link;
  return link;
}

// Times batches of sends, alternating the two ways in one loop so that both
// see the same load on the machine.
class BatchClock {
 public:
  template <typename F>
  void Time(F&& body) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kBatch; ++i) body();
    total_ += std::chrono::steady_clock::now() - start;
    sends_ += kBatch;
  }
  double NanosecondsEach() const {
    return sends_ == 0 ? 0 : std::chrono::duration<double, std::nano>(total_).count() / sends_;
  }
  static constexpr int kBatch = 64;

 private:
  std::chrono::steady_clock::duration total_{};
  int64_t sends_ = 0;
};

// Reports per command: raw_ns (QX_Write_Sync of the command's frame), kora_ns
// (QxClSendChannelKora of the same command through the channel's output
// request), kora_per_s, and vs_raw = raw_ns / kora_ns (1.0: as fast as the raw
// frame write).
void BM_KoraSendAgainstRawFrameWrite(benchmark::State& state) {
  FifoLink& link = Link();
  PQxChannelIOParams output = link.output();
  const int fd = link.descriptor();
  BatchClock raw, kora;
  for (auto _ : state) {
    raw.Time([&] {
      if (QX_Write_Sync(fd, kCommand) < 0) state.SkipWithError("raw write failed");
    });
    kora.Time([&] { QxClSendChannelKora(output, kCommand); });
  }
  if (output->qxChannelState == kQx_ChannelBroken) state.SkipWithError("channel broken");
  state.counters["raw_ns"] = raw.NanosecondsEach();
  state.counters["kora_ns"] = kora.NanosecondsEach();
  state.counters["kora_per_s"] = 1e9 / kora.NanosecondsEach();
  state.counters["vs_raw"] = raw.NanosecondsEach() / kora.NanosecondsEach();
  state.SetLabel("40-byte commands over a FIFO channel");
}
BENCHMARK(BM_KoraSendAgainstRawFrameWrite)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
