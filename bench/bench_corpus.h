// What the end-to-end benchmarks share: what they scan (a synthetic
// signature database of real size and a folder of small clean files) and
// how they time a program.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace bench_corpus {

// Hash signatures (.hdb) and body signatures (.ndb) of random content, which
// match nothing but cost what real ones cost to load.
inline void WriteDatabase(const std::string& folder, long hashes, long bodies) {
  std::filesystem::create_directories(folder);
  std::mt19937_64 random(1);
  const auto hex = [&](int bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < bytes; ++i) {
      const unsigned value = static_cast<unsigned>(random() & 0xFF);
      text += kDigits[value >> 4];
      text += kDigits[value & 15];
    }
    return text;
  };
  std::ofstream hdb(folder + "/bench.hdb");
  for (long i = 0; i < hashes; ++i)
    hdb << hex(16) << ':' << 1000 + random() % 100000 << ":Bench.Hash-" << i << '\n';
  std::ofstream ndb(folder + "/bench.ndb");
  for (long i = 0; i < bodies; ++i) ndb << "Bench.Body-" << i << ":0:*:" << hex(12) << '\n';
}

// files text files of about 2 KB, each different.
inline void WriteFolder(const std::string& folder, int files) {
  std::filesystem::create_directories(folder);
  const std::string text(2000, 'q');
  for (int i = 0; i < files; ++i)
    std::ofstream(folder + "/file" + std::to_string(i) + ".txt") << text << i;
}

// Seconds from the program's start to its end, its output going nowhere;
// anything but "nothing found" ends the benchmark. sample, if given, is
// called with the program's process id every 10 ms while it runs.
inline double TimeRun(const std::vector<std::string>& args, char** env = environ,
                      const std::function<void(pid_t)>& sample = {}) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int status = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env) == 0) {
    std::atomic<bool> done{false};
    std::thread sampler([&] {
      while (sample && !done) {
        sample(pid);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    });
    waitpid(pid, &status, 0);
    done = true;
    sampler.join();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s ended with %d\n", argv[0], status);
    std::exit(1);
  }
  return seconds;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace bench_corpus
