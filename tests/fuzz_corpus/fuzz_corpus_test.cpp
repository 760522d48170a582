// Replays the fuzz corpus (fuzz/corpus) without the fuzzer: each input's
// command line must split back into exactly the intended scanner path,
// target, switches, report path and move directory - by the program's own
// splitter, by the system's (CommandLineToArgvW on Windows), and as a started
// program really receives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/command_line_case.h"
#include "scan/command_line_split.h"
#include "scan/scan_command.h"
#include "scan/scanner_process.h"
#include "tests/fuzz_corpus/system_split.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::FsPath;
using testing_support::Utf8;

struct CorpusInput {
  std::string name;
  std::vector<uint8_t> bytes;
};

std::vector<CorpusInput> ReadCorpus() {
  const char* source = std::getenv("QUORVEL_SOURCE_DIR");
  std::vector<CorpusInput> inputs;
  if (!source) return inputs;
  const std::filesystem::path folder = FsPath(source) / "fuzz" / "corpus";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    inputs.push_back({Utf8(entry.path().filename()),
                      std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {})});
  }
  std::sort(inputs.begin(), inputs.end(),
            [](const CorpusInput& a, const CorpusInput& b) { return a.name < b.name; });
  return inputs;
}

CommandLineCase Decode(const CorpusInput& input) {
  return DecodeCommandLineCase(input.bytes.data(), input.bytes.size());
}

// The recorder's file: "<length>:<bytes>\n" for each argument.
std::vector<std::string> ReadRecordedArguments(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  std::vector<std::string> arguments;
  size_t length = 0;
  char colon = 0;
  while (in >> length && in.get(colon) && colon == ':') {
    std::string argument(length, '\0');
    in.read(argument.data(), static_cast<std::streamsize>(length));
    in.get();  // the line break
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

TEST(FuzzCorpus, IsKeptInTheRepository) {
  // A few dozen inputs, among them the kinds the fuzzer should start from.
  const std::vector<CorpusInput> corpus = ReadCorpus();
  EXPECT_GE(corpus.size(), 20u);
  EXPECT_LE(corpus.size(), 200u);
}

TEST(FuzzCorpus, EveryLineSplitsBackIntoTheIntendedArguments) {
  const std::optional<LineSplitter> system = SystemSplitter();
  for (const CorpusInput& input : ReadCorpus()) {
    SCOPED_TRACE(input.name);
    const CommandLineCase request = Decode(input);
    const std::string line = ComposeScanCommandLine(request.settings, request.scannerPath);
    const std::vector<std::string> expected = request.ExpectedArguments();
    EXPECT_EQ(SplitCommandLine(line), expected) << "line: " << line;
    if (system) {
      EXPECT_EQ((*system)(line), expected) << "system split of: " << line;
    }
  }
}

TEST(FuzzCorpus, AStartedProgramReceivesExactlyTheIntendedArguments) {
  // The recorder stands in for the scanner: the line is the case's, with the
  // recorder's path in front.
  const std::string recorder = testing_support::TestProgramDir() + "argument_recorder.exe";
  testing_support::TempDir temp;
  const std::string record = temp.Join("arguments.txt");
  testing_support::SetEnv("QUORVEL_ARGUMENT_RECORD", record);
  for (const CorpusInput& input : ReadCorpus()) {
    SCOPED_TRACE(input.name);
    const CommandLineCase request = Decode(input);
    const std::string line = ComposeScanCommandLine(request.settings, recorder);
    std::vector<std::string> expected = request.ExpectedArguments();
    expected[0] = recorder;

    std::filesystem::remove(FsPath(record));
    ScannerProcess process;
    SystemErrorCode startError = 0;
    ASSERT_TRUE(process.Start(line, &startError)) << "error " << startError << ": " << line;
    uint32_t exitCode = 1;
    ASSERT_TRUE(process.WaitForExitCode(&exitCode));
    process.Close();
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(ReadRecordedArguments(record), expected) << "line: " << line;
  }
  testing_support::SetEnv("QUORVEL_ARGUMENT_RECORD", "");
}

}  // namespace
