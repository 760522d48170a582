// The bridge's own engine on Linux, ClamAV's library, against clamscan
// itself, in turn in one run, on three folders: scan-heavy (files of 1-60 KB
// of random content), load-heavy (small files: the database's loading is
// most of the time) and 50,000 tiny files with a one-signature database
// (what each file costs). Each time is a whole run of the program, from its
// start to its end, with the load average at its start. The peak memory of
// the program and its worker processes together (the sum of their
// proportional set sizes, sampled) comes from one more run of each: reading
// a process's memory map takes processor time and holds up the process's
// own allocations, which would slow the timed runs, a program on two cores
// more than one on one. Then, with a larger database, the time to
// the first scanned file: a folder of one file, for the bridge as it runs
// and for the bridge on one core (a single engine).
//   engine_bench [--hashes N] [--bodies N] [--files N] [--tiny N]
//                [--big-hashes N] [--runs N]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/child_processes_posix.h"
#include "bench/bench_corpus.h"

namespace {

using bench_corpus::Median;

constexpr char kClamscan[] = "/usr/bin/clamscan";
constexpr char kTaskset[] = "/usr/bin/taskset";

double LoadAverage() {
  double load = 0;
  std::ifstream("/proc/loadavg") >> load;
  return load;
}

// The proportional set size of a process, in bytes: shared pages (a
// replica's copy-on-write engine) counted once over all who share them.
uint64_t Pss(pid_t pid) {
  std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string line;
  while (std::getline(rollup, line))
    if (line.rfind("Pss:", 0) == 0) return std::strtoull(line.c_str() + 4, nullptr, 10) * 1024;
  return 0;
}

// A process and its children (the bridge's workers), by /proc.
uint64_t TreePss(pid_t root) {
  uint64_t total = Pss(root);
  for (const ChildProcess& child : ChildProcessesOf(root)) total += Pss(child.pid);
  return total;
}

struct Measured {
  double seconds = 0;
  double load = 0;
};

// One whole run, output going nowhere, not sampled; anything but "nothing
// found" ends the benchmark.
Measured Run(const std::vector<std::string>& args, char** env) {
  Measured measured;
  measured.load = LoadAverage();
  measured.seconds = bench_corpus::TimeRun(args, env);
  return measured;
}

// The peak memory of one more run, sampled every 10 ms (not timed, so the
// sampling may cost what it costs), in MiB.
double PeakMiB(const std::vector<std::string>& args, char** env) {
  uint64_t peak = 0;
  bench_corpus::TimeRun(args, env, [&peak](pid_t pid) { peak = std::max(peak, TreePss(pid)); });
  return static_cast<double>(peak) / (1 << 20);
}

// files files of 1-60 KB of random content.
void WriteRandomFolder(const std::string& folder, int files) {
  std::filesystem::create_directories(folder);
  std::mt19937_64 random(2);
  for (int i = 0; i < files; ++i) {
    std::string data(1024 + random() % (59 * 1024), '\0');
    for (char& byte : data) byte = static_cast<char>(random() & 0xFF);
    std::ofstream(folder + "/file" + std::to_string(i) + ".bin", std::ios::binary) << data;
  }
}

// files files of a few bytes each.
void WriteTinyFolder(const std::string& folder, int files) {
  for (int i = 0; i < files; ++i) {
    const std::string sub = folder + "/" + std::to_string(i / 1000);
    if (i % 1000 == 0) std::filesystem::create_directories(sub);
    std::ofstream(sub + "/t" + std::to_string(i)) << "tiny " << i << '\n';
  }
}

struct Row {
  std::string name;
  std::vector<Measured> bridge, clamscan;
};

double MedianOf(const std::vector<Measured>& runs, double Measured::*field) {
  std::vector<double> values;
  for (const Measured& run : runs) values.push_back(run.*field);
  return Median(values);
}

}  // namespace

int main(int argc, char** argv) {
  long hashes = 1600000, bodies = 100000, bigHashes = 3800000;
  int files = 5000, tiny = 50000, runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const long value = std::atol(argv[i + 1]);
    if (!std::strcmp(argv[i], "--hashes")) hashes = value;
    if (!std::strcmp(argv[i], "--bodies")) bodies = value;
    if (!std::strcmp(argv[i], "--files")) files = static_cast<int>(value);
    if (!std::strcmp(argv[i], "--tiny")) tiny = static_cast<int>(value);
    if (!std::strcmp(argv[i], "--big-hashes")) bigHashes = value;
    if (!std::strcmp(argv[i], "--runs")) runs = std::max(1, static_cast<int>(value));
  }
  if (access(kClamscan, X_OK) != 0) {
    std::printf("clamscan is not installed: no engine benchmark\n");
    return 0;
  }
  char pattern[] = "/tmp/quorvel-engine-bench-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  const std::string db = dir + "/db", one = dir + "/one-db", big = dir + "/big-db";
  bench_corpus::WriteDatabase(db, hashes, bodies);
  std::filesystem::create_directories(one);
  std::ofstream(one + "/one.hdb") << "44d88612fea8a8f36de82e1278abb02f:68:Eicar-Test-Signature\n";
  WriteRandomFolder(dir + "/heavy", files);
  bench_corpus::WriteFolder(dir + "/small", files);
  WriteTinyFolder(dir + "/tiny", tiny);
  bench_corpus::WriteFolder(dir + "/single", 1);

  // The bridge without a daemon, its engine's temporary folder on a memory
  // file system of its own, as in a desktop session; clamscan with the same
  // temporary folder (on a disk file system it is slower still).
  char runtime[] = "/dev/shm/quorvel-engine-bench-XXXXXX";
  const std::string runtimeDir = mkdtemp(runtime);
  setenv("QUORVEL_CLAMD_CONF", "", 1);
  std::vector<std::string> bridgeEnvText, plainEnvText;
  for (char** variable = environ; *variable; ++variable) {
    if (std::strncmp(*variable, "XDG_RUNTIME_DIR=", 16) == 0) continue;
    bridgeEnvText.push_back(*variable);
    plainEnvText.push_back(*variable);
  }
  bridgeEnvText.push_back("XDG_RUNTIME_DIR=" + runtimeDir);
  std::vector<char*> bridgeEnv, plainEnv;
  for (std::string& text : bridgeEnvText) bridgeEnv.push_back(text.data());
  for (std::string& text : plainEnvText) plainEnv.push_back(text.data());
  bridgeEnv.push_back(nullptr);
  plainEnv.push_back(nullptr);

  using Args = std::vector<std::string>;
  const auto bridge = [&](const std::string& target, const std::string& database) {
    return Args{QUORVEL_BRIDGE, target, "/sub", "-d", database};
  };
  const auto clamscan = [&](const std::string& target, const std::string& database) {
    return Args{kClamscan, "-r", "-d", database, "--no-summary", "--tempdir=" + runtimeDir, target};
  };
  std::printf("database: %ld hash and %ld body signatures; %u cores; bridge temporary folder %s\n",
              hashes, bodies, std::max(1u, std::thread::hardware_concurrency()),
              runtimeDir.c_str());
  Row rows[] = {{std::to_string(files) + " files of 1-60 KB (scan-heavy)", {}, {}},
                {std::to_string(files) + " files of 2 KB (load-heavy)", {}, {}},
                {std::to_string(tiny) + " tiny files, one signature", {}, {}}};
  const std::string targets[] = {dir + "/heavy", dir + "/small", dir + "/tiny"};
  const std::string databases[] = {db, db, one};
  for (int run = 0; run < runs; ++run)
    for (int i = 0; i < 3; ++i) {
      rows[i].clamscan.push_back(Run(clamscan(targets[i], databases[i]), plainEnv.data()));
      rows[i].bridge.push_back(Run(bridge(targets[i], databases[i]), bridgeEnv.data()));
      std::printf("run %d, %s: clamscan %.3f s (load %.1f), bridge %.3f s (load %.1f)\n", run + 1,
                  rows[i].name.c_str(), rows[i].clamscan.back().seconds,
                  rows[i].clamscan.back().load, rows[i].bridge.back().seconds,
                  rows[i].bridge.back().load);
      std::fflush(stdout);
    }
  std::printf(
      "\nmedian of %d                            clamscan    bridge  ratio  clamscan MiB "
      "bridge MiB  load\n",
      runs);
  for (int i = 0; i < 3; ++i) {
    const double c = MedianOf(rows[i].clamscan, &Measured::seconds);
    const double b = MedianOf(rows[i].bridge, &Measured::seconds);
    std::printf("%-40s %8.3f s %8.3f s %5.2f %10.0f %10.0f %5.1f\n", rows[i].name.c_str(), c, b,
                b / c, PeakMiB(clamscan(targets[i], databases[i]), plainEnv.data()),
                PeakMiB(bridge(targets[i], databases[i]), bridgeEnv.data()),
                MedianOf(rows[i].bridge, &Measured::load));
    std::fflush(stdout);
  }
  std::filesystem::remove_all(dir + "/heavy");
  std::filesystem::remove_all(dir + "/tiny");

  // The time to the first scanned file with a larger database: the bridge
  // as it runs, the bridge on one core (a single engine), clamscan.
  if (bigHashes > 0) {
    bench_corpus::WriteDatabase(big, bigHashes, bodies * 2);
    const Args oneEngine = {kTaskset,        "-c",   "0",  QUORVEL_BRIDGE,
                            dir + "/single", "/sub", "-d", big};
    std::vector<Measured> first[3];
    for (int run = 0; run < runs; ++run) {
      first[0].push_back(Run(bridge(dir + "/single", big), bridgeEnv.data()));
      first[1].push_back(Run(oneEngine, bridgeEnv.data()));
      first[2].push_back(Run(clamscan(dir + "/single", big), plainEnv.data()));
      std::printf(
          "run %d, one file, %ld signatures: bridge %.3f s (load %.1f), one engine %.3f s "
          "(load %.1f), clamscan %.3f s (load %.1f)\n",
          run + 1, bigHashes + bodies * 2, first[0].back().seconds, first[0].back().load,
          first[1].back().seconds, first[1].back().load, first[2].back().seconds,
          first[2].back().load);
      std::fflush(stdout);
    }
    const double b = MedianOf(first[0], &Measured::seconds);
    const double o = MedianOf(first[1], &Measured::seconds);
    std::printf(
        "first file, median: bridge %.3f s, one engine %.3f s, ratio %.2f; clamscan "
        "%.3f s\n",
        b, o, b / o, MedianOf(first[2], &Measured::seconds));
    std::printf(
        "first file, peak memory: bridge %.0f MiB, one engine %.0f MiB, clamscan %.0f MiB\n",
        PeakMiB(bridge(dir + "/single", big), bridgeEnv.data()),
        PeakMiB(oneEngine, bridgeEnv.data()),
        PeakMiB(clamscan(dir + "/single", big), plainEnv.data()));
  }
  std::filesystem::remove_all(dir);
  std::filesystem::remove_all(runtimeDir);
  return 0;
}
