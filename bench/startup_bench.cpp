// Window start-up of the Linux program: from starting the process to its
// main window shown and painted (Qt offscreen), and the idle program's peak
// resident size; beside it an empty QDialog of the same size, the least a Qt
// 6 dialog costs. Both run as fresh processes (bench/startup_probe.cpp).
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct ProbeRun {
  double toPaintedMs = 0;  // spawn to the window painted
  double inProcessMs = 0;  // QApplication made to the window painted
  double peakRssMiB = 0;   // the whole run, idle window included
  int width = 0;
  int height = 0;
};

ProbeRun RunProbe(const std::vector<std::string>& arguments) {
  int out[2];
  if (pipe(out) != 0) std::abort();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<char*> argv;
  const std::string program = QUORVEL_STARTUP_PROBE;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  ProbeRun run;
  const Clock::time_point start = Clock::now();
  pid_t child = 0;
  if (posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
    std::abort();
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  FILE* lines = fdopen(out[0], "r");
  char line[256];
  while (std::fgets(line, sizeof line, lines)) {
    double ms = 0;
    if (std::sscanf(line, "painted_ms=%lf", &ms) == 1) {
      run.toPaintedMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      run.inProcessMs = ms;
    }
    std::sscanf(line, "size=%d %d", &run.width, &run.height);
  }
  std::fclose(lines);
  int status = 0;
  rusage usage{};
  while (wait4(child, &status, 0, &usage) < 0) {
  }
  if (run.toPaintedMs == 0) std::abort();  // the probe never painted
  run.peakRssMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  return run;
}

void Report(benchmark::State& state, const std::vector<ProbeRun>& runs) {
  double inProcess = 0;
  double rss = 0;
  for (const ProbeRun& run : runs) {
    inProcess += run.inProcessMs;
    rss = std::max(rss, run.peakRssMiB);
  }
  state.counters["in_process_ms"] = inProcess / static_cast<double>(runs.size());
  state.counters["peak_rss_MiB"] = rss;
}

int mainWidth = 0;
int mainHeight = 0;

void BM_MainWindowStartup(benchmark::State& state) {
  std::vector<ProbeRun> runs;
  for (auto _ : state) {
    runs.push_back(RunProbe({}));
    state.SetIterationTime(runs.back().toPaintedMs / 1000.0);
  }
  mainWidth = runs.back().width;
  mainHeight = runs.back().height;
  Report(state, runs);
  state.counters["width"] = mainWidth;
  state.counters["height"] = mainHeight;
}
BENCHMARK(BM_MainWindowStartup)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_BareDialogStartup(benchmark::State& state) {
  // The main window's size, from the run above (or its usual size).
  const std::string width = std::to_string(mainWidth ? mainWidth : 446);
  const std::string height = std::to_string(mainHeight ? mainHeight : 478);
  std::vector<ProbeRun> runs;
  for (auto _ : state) {
    runs.push_back(RunProbe({"bare", width, height}));
    state.SetIterationTime(runs.back().toPaintedMs / 1000.0);
  }
  Report(state, runs);
}
BENCHMARK(BM_BareDialogStartup)->UseManualTime()->Unit(benchmark::kMillisecond);

// The same with one line of Chinese text: the fonts are set up as well.
void BM_BareDialogWithTextStartup(benchmark::State& state) {
  const std::string width = std::to_string(mainWidth ? mainWidth : 446);
  const std::string height = std::to_string(mainHeight ? mainHeight : 478);
  std::vector<ProbeRun> runs;
  for (auto _ : state) {
    runs.push_back(RunProbe({"bare", width, height, "text"}));
    state.SetIterationTime(runs.back().toPaintedMs / 1000.0);
  }
  Report(state, runs);
}
BENCHMARK(BM_BareDialogWithTextStartup)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // The window needs no display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
