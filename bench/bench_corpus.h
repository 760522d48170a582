// What the end-to-end benchmarks scan: a synthetic signature database of real
// size and a folder of small clean files.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

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

}  // namespace bench_corpus
