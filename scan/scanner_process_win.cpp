#include "scan/scanner_process.h"

#include <windows.h>

#include <vector>

#include "base/utf_win.h"

namespace {

constexpr size_t kMaxCommandLine = 32767;

HANDLE AsHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }

intptr_t FromHandle(HANDLE handle) { return reinterpret_cast<intptr_t>(handle); }

// A line that starts with a double quote names its program inside the
// quotes (a scanner path with a blank). That path goes to CreateProcessW as
// the application name too, so that the system never tries a shorter prefix
// of it such as "C:\Program.exe".
std::wstring QuotedProgram(const std::wstring& line) {
  if (line.empty() || line[0] != L'"') return {};
  const size_t end = line.find(L'"', 1);
  if (end == std::wstring::npos || end == 1) return {};
  return line.substr(1, end - 1);
}

}  // namespace

ScannerProcess::~ScannerProcess() { Close(); }

bool ScannerProcess::Start(const std::string& commandLine, SystemErrorCode* error) {
  Close();

  const std::wstring line = Widen(commandLine);
  // The system takes at most 32767 characters, the terminating zero
  // included. A longer line is refused here: passed on, it could reach the
  // scanner cut short (Wine does that), with a different last argument.
  if (line.size() >= kMaxCommandLine) {
    if (error) *error = ERROR_FILENAME_EXCED_RANGE;
    return false;
  }
  // A line without a program (empty, or blanks only) starts nothing, with
  // the not-found error as for a missing program. The system is not asked:
  // what it would make of such a line (search its folders for a program
  // with no name) is its own.
  if (line.find_first_not_of(L" \t") == std::wstring::npos) {
    if (error) *error = ERROR_FILE_NOT_FOUND;
    return false;
  }
  const std::wstring program = QuotedProgram(line);
  // CreateProcessW may write into the command line: hand it a copy.
  std::vector<wchar_t> writableLine(line.begin(), line.end());
  writableLine.push_back(L'\0');

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  // No inherited handles, no creation flags: a console scanner gets a console
  // of its own, with the program's environment and current directory.
  if (!CreateProcessW(program.empty() ? nullptr : program.c_str(), writableLine.data(), nullptr,
                      nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    const DWORD failure = GetLastError();
    if (error) *error = failure;
    return false;
  }
  process_ = FromHandle(info.hProcess);
  thread_ = FromHandle(info.hThread);
  return true;
}

bool ScannerProcess::WaitForExitCode(uint32_t* exitCode) {
  if (process_ == 0) return false;
  if (WaitForSingleObject(AsHandle(process_), INFINITE) == WAIT_FAILED) return false;
  DWORD code = 0;
  if (!GetExitCodeProcess(AsHandle(process_), &code)) return false;
  *exitCode = code;
  return true;
}

void ScannerProcess::Close() {
  if (thread_ != 0) CloseHandle(AsHandle(thread_));
  if (process_ != 0) CloseHandle(AsHandle(process_));
  thread_ = 0;
  process_ = 0;
}
