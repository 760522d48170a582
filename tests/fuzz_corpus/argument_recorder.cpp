// Records the arguments it was started with, each as "<length>:<bytes>\n" in
// UTF-8, to the file named by QUORVEL_ARGUMENT_RECORD; nothing else. Unlike
// the fake scanner it writes no report, so lines with arbitrary report paths
// can be started safely.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

namespace {
std::string ToUtf8(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string result(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), length, nullptr, nullptr);
  result.resize(static_cast<size_t>(length - 1));
  return result;
}
}  // namespace
#endif

namespace {

int Record(const std::string& recordPath, const std::vector<std::string>& arguments) {
  if (recordPath.empty()) return 2;
#if defined(_WIN32)
  const int length = MultiByteToWideChar(CP_UTF8, 0, recordPath.c_str(), -1, nullptr, 0);
  std::wstring widePath(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, recordPath.c_str(), -1, widePath.data(), length);
  FILE* out = _wfopen(widePath.c_str(), L"wb");
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
  for (int i = 0; i < argc; ++i) arguments.push_back(ToUtf8(argv[i]));
  const wchar_t* record = _wgetenv(L"QUORVEL_ARGUMENT_RECORD");
  return Record(record ? ToUtf8(record) : std::string(), arguments);
}
#else
int main(int argc, char** argv) {
  const char* record = std::getenv("QUORVEL_ARGUMENT_RECORD");
  return Record(record ? record : "", std::vector<std::string>(argv, argv + argc));
}
#endif
