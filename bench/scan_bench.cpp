// The scan's own cost: one round trip through ScanRunner (Start to the end
// report handled on the "UI thread") against a bare spawn-and-wait of the
// same scanner, and the composition of the command line with every option on.
// Times are measured, not asserted; scripts/bench.sh runs this briefly.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "res/resource_ids.h"
#include "res/texts.h"
#include "scan/scan_command.h"
#include "scan/scan_runner.h"
#include "scan/user_prompts.h"
#include "support/error_box.h"
#include "support/fs_helpers.h"
#include "ui/blocking_status_channel.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The fake scanner of the tests: with no settings in its environment it
// ends at once with code 0.
const std::string& ScannerPath() {
  static const std::string path = QUORVEL_FAKE_SCANNER;
  return path;
}

// The bare way: posix_spawn and waitpid, nothing else.
void SpawnAndWait(const std::string& program) {
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t child = 0;
  if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, environ) != 0) std::abort();
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
}

// A UI thread as the hosts have it: the worker's reports are queued to it and
// the worker waits until each one is handled there.
class UiThreadQueue {
 public:
  void Post(std::function<void()> task) {
    std::lock_guard guard(mutex_);
    tasks_.push_back(std::move(task));
    ready_.notify_one();
  }
  // Runs queued reports until done() holds.
  void RunUntil(const std::function<bool()>& done) {
    while (!done()) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return !tasks_.empty(); });
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> tasks_;
};

class AlwaysYes : public UserPrompts {
 public:
  bool AskYesNo(const std::string&, const std::string&) override { return true; }
  void ShowError(const std::string& text, SystemErrorCode code) override {
    ShowErrorBox(text, code);
  }
};

class RoundTrip {
 public:
  RoundTrip()
      : channel_(std::make_shared<ui::BlockingStatusChannel>(
            [this](std::function<void()> task) { queue_.Post(std::move(task)); },
            [this](unsigned, const std::string& text) {
              if (text == texts::kStatusThreadDone) done_ = true;
            })) {}

  // Start to "_THREAD_DONE_" handled; then waits (untimed) until the runner
  // takes the next scan.
  double Run(const std::string& line) {
    done_ = false;
    const Clock::time_point start = Clock::now();
    runner_.Start(channel_, line, WM_SCAN_STATUS);
    queue_.RunUntil([&] { return done_; });
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    while (!runner_.IsIdle()) std::this_thread::yield();
    return seconds;
  }

 private:
  UiThreadQueue queue_;
  bool done_ = false;
  std::shared_ptr<ui::BlockingStatusChannel> channel_;
  AlwaysYes prompts_;
  ScanRunner runner_{prompts_};
};

void BM_BareSpawnAndWait(benchmark::State& state) {
  for (auto _ : state) SpawnAndWait(ScannerPath());
}
BENCHMARK(BM_BareSpawnAndWait)->UseRealTime()->Unit(benchmark::kMillisecond);

// For scale: the least a process costs here (/bin/true).
void BM_BareSpawnAndWaitTrivialProgram(benchmark::State& state) {
  for (auto _ : state) SpawnAndWait("/bin/true");
}
BENCHMARK(BM_BareSpawnAndWaitTrivialProgram)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ScanRunnerRoundTrip(benchmark::State& state) {
  RoundTrip roundTrip;
  for (auto _ : state) state.SetIterationTime(roundTrip.Run(ScannerPath()));
}
BENCHMARK(BM_ScanRunnerRoundTrip)->UseManualTime()->Unit(benchmark::kMillisecond);

// Both in turn in one run, so that the machine's load of the moment weighs
// on both alike; the ratio is the figure to look at (target: at most 1.1).
void BM_RoundTripAgainstBareSpawn(benchmark::State& state) {
  RoundTrip roundTrip;
  double bare = 0;
  double runner = 0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    SpawnAndWait(ScannerPath());
    const double bareSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double runnerSeconds = roundTrip.Run(ScannerPath());
    bare += bareSeconds;
    runner += runnerSeconds;
    state.SetIterationTime(runnerSeconds);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["bare_ms"] = 1000 * bare / n;
  state.counters["runner_ms"] = 1000 * runner / n;
  state.counters["ratio"] = bare > 0 ? runner / bare : 0;
}
BENCHMARK(BM_RoundTripAgainstBareSpawn)->UseManualTime()->Unit(benchmark::kMillisecond);

// Every option on: all seventeen switches (append among them, so no overwrite
// question), a report path and an existing quarantine directory with blanks,
// a target that ends in a backslash, extra parameters.
ScanSettings EveryOption(const std::string& quarantine) {
  ScanSettings settings;
  settings.target = "/home/ann lee/病毒 样本/\\";
  settings.switchOn.fill(true);
  settings.reportToFile = true;
  settings.reportPath = "/tmp/ann lee/scan report.txt";
  settings.moveInfected = true;
  settings.moveDirectory = quarantine;
  settings.extraArgs = "-x \"a b\" /maxsize=100";
  return settings;
}

void BM_BuildScanCommandLine(benchmark::State& state) {
  const std::string quarantine = GetTempDirectory() + "quorvel bench quarantine";
  CreateDirectoryTree(quarantine);
  const ScanSettings settings = EveryOption(quarantine);
  const std::string scanner = "/opt/quorvel app/scan.exe";
  AlwaysYes prompts;
  for (auto _ : state) benchmark::DoNotOptimize(BuildScanCommandLine(settings, scanner, prompts));
  std::error_code error;
  std::filesystem::remove(quarantine, error);
}
BENCHMARK(BM_BuildScanCommandLine)->Unit(benchmark::kMicrosecond);

// The same without the one look at the file system (the directory test).
void BM_ComposeScanCommandLine(benchmark::State& state) {
  const ScanSettings settings = EveryOption("/srv/quarantine dir");
  const std::string scanner = "/opt/quorvel app/scan.exe";
  for (auto _ : state) benchmark::DoNotOptimize(ComposeScanCommandLine(settings, scanner));
}
BENCHMARK(BM_ComposeScanCommandLine)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
