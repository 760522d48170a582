// The bridge's own engine on Linux, ClamAV's library with a worker per core,
// against clamscan itself: both load the same synthetic database of real size
// and scan the same folder, in turn, in one run; each time is a whole run of
// the program, from its start to its end. The same on a folder of one file
// gives what loading the database costs each, and the difference what
// scanning the folder costs.
//   engine_bench [--hashes N] [--bodies N] [--files N] [--runs N]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_corpus.h"

namespace {

using bench_corpus::Median;
using bench_corpus::TimeRun;

constexpr char kClamscan[] = "/usr/bin/clamscan";

}  // namespace

int main(int argc, char** argv) {
  long hashes = 1600000, bodies = 100000;
  int files = 5000, runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const long value = std::atol(argv[i + 1]);
    if (!std::strcmp(argv[i], "--hashes")) hashes = value;
    if (!std::strcmp(argv[i], "--bodies")) bodies = value;
    if (!std::strcmp(argv[i], "--files")) files = static_cast<int>(value);
    if (!std::strcmp(argv[i], "--runs")) runs = std::max(1, static_cast<int>(value));
  }
  if (access(kClamscan, X_OK) != 0) {
    std::printf("clamscan is not installed: no engine benchmark\n");
    return 0;
  }
  char pattern[] = "/tmp/quorvel-engine-bench-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  const std::string db = dir + "/db", folder = dir + "/files", one = dir + "/one";
  bench_corpus::WriteDatabase(db, hashes, bodies);
  bench_corpus::WriteFolder(folder, files);
  bench_corpus::WriteFolder(one, 1);
  std::printf("database: %ld hash and %ld body signatures; %d files of 2 KB; %u cores\n", hashes,
              bodies, files, std::max(1u, std::thread::hardware_concurrency()));

  // Without a daemon: the bridge scans with its own engine.
  setenv("QUORVEL_CLAMD_CONF", "", 1);
  const auto bridge = [&](const std::string& target) {
    return TimeRun({QUORVEL_BRIDGE, target, "/sub", "-d", db});
  };
  const auto clamscan = [&](const std::string& target) {
    return TimeRun({kClamscan, "-r", "-d", db, "--no-summary", target});
  };
  // [0] the bridge, [1] clamscan; on the folder, and on one file.
  std::vector<double> all[2], load[2];
  for (int run = 0; run < runs; ++run) {
    all[0].push_back(bridge(folder));
    all[1].push_back(clamscan(folder));
    load[0].push_back(bridge(one));
    load[1].push_back(clamscan(one));
    std::printf("run %d: bridge %.3f s (one file %.3f s), clamscan %.3f s (one file %.3f s)\n",
                run + 1, all[0].back(), load[0].back(), all[1].back(), load[1].back());
  }
  double total[2], loading[2];
  for (int i = 0; i < 2; ++i) total[i] = Median(all[i]), loading[i] = Median(load[i]);
  std::printf("median of %d         bridge   clamscan   ratio\n", runs);
  std::printf("%d files      %8.3f s %8.3f s %7.2f\n", files, total[0], total[1],
              total[0] / total[1]);
  std::printf("one file        %8.3f s %8.3f s %7.2f\n", loading[0], loading[1],
              loading[0] / loading[1]);
  std::printf("difference      %8.3f s %8.3f s %7.2f\n", total[0] - loading[0],
              total[1] - loading[1], (total[0] - loading[0]) / (total[1] - loading[1]));
  std::filesystem::remove_all(dir);
  return 0;
}
