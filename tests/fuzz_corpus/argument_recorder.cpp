// Records the arguments it was started with, each as "<length>:<bytes>\n" in
// UTF-8, to the file named by QUORVEL_ARGUMENT_RECORD; nothing else. Unlike
// the fake scanner it writes no report, so lines with arbitrary report paths
// can be started safely.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#if defined(_WIN32)
#include "base/utf_win.h"
#endif

namespace {

int Record(const std::string& recordPath, const std::vector<std::string>& arguments) {
  if (recordPath.empty()) return 2;
#if defined(_WIN32)
  FILE* out = _wfopen(Widen(recordPath).c_str(), L"wb");
#else
  FILE* out = std::fopen(recordPath.c_str(), "wb");
#endif
  if (!out) return 3;
  for (const std::string& argument : arguments) {
    std::fprintf(out, "%zu:", argument.size());
    std::fwrite(argument.data(), 1, argument.size(), out);
    std::fputc('\n', out);
  }
  return std::fclose(out) == 0 ? 0 : 4;
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(Narrow(argv[i]));
  const wchar_t* record = _wgetenv(L"QUORVEL_ARGUMENT_RECORD");
  return Record(record ? Narrow(record) : std::string(), arguments);
}
#else
int main(int argc, char** argv) {
  const char* record = std::getenv("QUORVEL_ARGUMENT_RECORD");
  return Record(record ? record : "", std::vector<std::string>(argv, argv + argc));
}
#endif
