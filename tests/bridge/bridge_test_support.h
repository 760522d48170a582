// Where the bridge and the fake clamscan lie, what the fake recorded, and the
// EICAR test file with a database that knows only it.
#pragma once

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/fs_helpers.h"
#include "tests/support/test_support.h"

namespace bridge_testing {

// The bridge as built: bin/bridge/scan.exe, reached from the test folder.
inline std::string BridgePath() {
  std::string relative = QUORVEL_BRIDGE_FROM_TESTS;
  for (char& c : relative)
    if (c == '/') c = kPathSeparator;
  return testing_support::TestProgramDir() + relative;
}

inline std::string FakeClamscanPath() {
  return testing_support::TestProgramDir() + "fake_clamscan.exe";
}

// The arguments of each run of the fake clamscan, in order.
inline std::vector<std::vector<std::string>> ReadClamscanRuns(const std::string& recordPath,
                                                              std::vector<long>* pids = nullptr) {
  static constexpr char kMarker[] = "--run-- ";
  std::vector<std::vector<std::string>> runs;
  std::istringstream lines(testing_support::ReadTextFile(recordPath));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(kMarker, 0) == 0) {
      runs.emplace_back();
      if (pids) pids->push_back(std::stol(line.substr(sizeof kMarker - 1)));
    } else if (!runs.empty()) {
      runs.back().push_back(line);
    }
  }
  return runs;
}

// The EICAR test file: 68 bytes, no line ending; assembled here, never stored.
inline std::string EicarTestFile() {
  return std::string("X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR") + "-STANDARD-ANTIVIRUS-TEST" +
         "-FILE!$H+H*";
}

// A signature folder for ClamAV's -d that knows the EICAR file by its hash
// and, when asked, by its bytes at the start of a larger file, under one name.
inline void WriteEicarDatabase(const std::string& folder, bool atStartOfLargerFiles = false) {
  std::filesystem::create_directories(testing_support::FsPath(folder));
  testing_support::WriteTextFile(folder + "/test.hdb",
                                 "44d88612fea8a8f36de82e1278abb02f:68:Eicar-Test-Signature\n");
  if (!atStartOfLargerFiles) return;
  std::string hex;
  for (unsigned char c : EicarTestFile()) {
    static constexpr char kDigits[] = "0123456789abcdef";
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  testing_support::WriteTextFile(folder + "/test.ndb", "Eicar-Test-Signature:0:0:" + hex + "\n");
}

}  // namespace bridge_testing
