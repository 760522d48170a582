// The bridge end to end, through a running ClamAV daemon against ClamAV's
// own client of it (clamdscan --multiscan --fdpass) and against ClamAV's
// library in the bridge itself, with a synthetic signature database of real
// size: each scan is a program started afresh, until it ends. All three in
// turn on the same folders, in one run.
//   daemon_bench [--hashes N] [--bodies N] [--large N] [--runs N]
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
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_corpus.h"
#include "tests/bridge/own_clamd.h"

namespace fs = std::filesystem;

namespace {

using bench_corpus::Median;
using bench_corpus::TimeRun;
using bench_corpus::WriteDatabase;
using bench_corpus::WriteFolder;

// The bridge through the daemon of conf, or (conf empty) with ClamAV's
// library and the signatures of database.
double TimeBridge(const std::string& bridge, const std::string& folder, const std::string& conf,
                  const std::string& database = {}) {
  setenv(bridge::kClamdConfigOverride, conf.c_str(), 1);
  if (database.empty()) return TimeRun({bridge, folder});
  return TimeRun({bridge, folder, "-d", database});
}

// count ZIP archives, each of three small stored text members.
void WriteZipFolder(const std::string& folder, int count) {
  fs::create_directories(folder);
  const auto put = [](std::string& to, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) to += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  for (int n = 0; n < count; ++n) {
    std::string zip, directory;
    for (int m = 0; m < 3; ++m) {
      const std::string name = "member" + std::to_string(m) + ".txt";
      const std::string content = std::string(2000, 'q') + std::to_string(n * 3 + m);
      uint32_t crc = 0xFFFFFFFF;
      for (const unsigned char c : content) {
        crc ^= c;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
      }
      const uint32_t offset = static_cast<uint32_t>(zip.size());
      for (std::string* to : {&zip, &directory}) {
        const bool central = to == &directory;
        put(*to, central ? 0x02014b50 : 0x04034b50, 4);
        if (central) put(*to, 20, 2);
        put(*to, 20, 2), put(*to, 0, 2), put(*to, 0, 2), put(*to, 0, 4), put(*to, ~crc, 4);
        put(*to, static_cast<uint32_t>(content.size()), 4);
        put(*to, static_cast<uint32_t>(content.size()), 4);
        put(*to, static_cast<uint32_t>(name.size()), 2), put(*to, 0, 2);
        if (central) put(*to, 0, 2), put(*to, 0, 2), put(*to, 0, 2), put(*to, 0, 4);
        if (central) put(*to, offset, 4);
        *to += name;
      }
      zip += content;
    }
    const uint32_t start = static_cast<uint32_t>(zip.size());
    zip += directory;
    put(zip, 0x06054b50, 4), put(zip, 0, 4), put(zip, 3, 2), put(zip, 3, 2);
    put(zip, static_cast<uint32_t>(directory.size()), 4), put(zip, start, 4), put(zip, 0, 2);
    std::ofstream(folder + "/archive" + std::to_string(n) + ".zip", std::ios::binary) << zip;
  }
}

}  // namespace

int main(int argc, char** argv) {
  long hashes = 1500000, bodies = 200000;
  int large = 5000, runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const long value = std::atol(argv[i + 1]);
    if (!std::strcmp(argv[i], "--hashes")) hashes = value;
    if (!std::strcmp(argv[i], "--bodies")) bodies = value;
    if (!std::strcmp(argv[i], "--large")) large = static_cast<int>(value);
    if (!std::strcmp(argv[i], "--runs")) runs = static_cast<int>(value);
  }
  if (bridge_testing::OwnClamd::Program().empty()) {
    std::printf("clamd is not installed: no daemon benchmark\n");
    return 0;
  }
  char pattern[] = "/tmp/quorvel-daemon-bench-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  const auto started = std::chrono::steady_clock::now();
  WriteDatabase(dir + "/db", hashes, bodies);
  std::printf("database: %ld hash and %ld body signatures\n", hashes, bodies);
  bridge_testing::OwnClamd daemon;
  std::string problem;
  if (!daemon.Start(dir, dir + "/db", &problem, std::chrono::seconds(600))) {
    std::fprintf(stderr, "clamd: %s\n", problem.c_str());
    return 1;
  }
  std::printf("daemon ready after %.1f s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  daemon.WriteBridgeConfig(dir + "/bridge.conf", false);

  const std::string bridge = QUORVEL_BRIDGE;
  // ClamAV's own client on the same daemon: its fastest way, files passed by
  // descriptor, many at once.
  const std::string clamdscan = "/usr/bin/clamdscan";
  const bool withClient = access(clamdscan.c_str(), X_OK) == 0;
  if (!withClient) std::printf("clamdscan is not installed: the bridge alone\n");
  // Without the daemon the bridge loads the same signatures into ClamAV's library.
  std::printf("%-12s %10s %12s %8s %11s %8s\n", "folder", "daemon s", "clamdscan s", "ratio",
              "library s", "ratio");
  for (const int files : {50, large}) {
    const std::string folder = dir + "/files" + std::to_string(files);
    WriteFolder(folder, files);
    std::vector<double> daemonTimes, clientTimes, libraryTimes;
    for (int run = 0; run < runs; ++run) {
      daemonTimes.push_back(TimeBridge(bridge, folder, dir + "/bridge.conf"));
      if (withClient)
        clientTimes.push_back(TimeRun({clamdscan, folder, "--multiscan", "--fdpass", "--no-summary",
                                       "--config-file=" + dir + "/bridge.conf"}));
      libraryTimes.push_back(TimeBridge(bridge, folder, "", dir + "/db"));
    }
    const double d = Median(daemonTimes), l = Median(libraryTimes);
    const double c = withClient ? Median(clientTimes) : 0;
    // The daemon's time against clamdscan's (at most 1 is as fast), the
    // library's against the daemon's.
    std::printf("%5d files  %10.3f %12.3f %7.2fx %11.3f %7.1fx\n", files, d, c, c > 0 ? d / c : 0,
                l, l / d);
  }
  // The archive rule: a daemon with Debian's stock settings does not say
  // when it passed over part of an archive, so with /unzip each archive goes
  // to ClamAV's library in the bridge (its signatures loaded first, once).
  // Against the same zips without /unzip (the daemon alone) and the library
  // alone.
  daemon.WriteBridgeConfig(dir + "/bridge-db.conf", false, "DatabaseDirectory " + dir + "/db\n");
  const std::string zips = dir + "/zips";
  WriteZipFolder(zips, 200);
  std::vector<double> plain, rule, library;
  for (int run = 0; run < runs; ++run) {
    setenv(bridge::kClamdConfigOverride, (dir + "/bridge-db.conf").c_str(), 1);
    plain.push_back(TimeRun({bridge, zips}));
    rule.push_back(TimeRun({bridge, zips, "/unzip"}));
    setenv(bridge::kClamdConfigOverride, "", 1);
    library.push_back(TimeRun({bridge, zips, "/unzip", "-d", dir + "/db"}));
  }
  std::printf(
      "200 zips: daemon %.3f s, daemon with /unzip (to the library) %.3f s, "
      "library with /unzip %.3f s\n",
      Median(plain), Median(rule), Median(library));
  daemon.Stop();
  fs::remove_all(dir);
  return 0;
}
