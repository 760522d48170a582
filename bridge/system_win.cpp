// The bridge on Windows: the console and its stop events, the drives, and
// the ClamAV programs it runs.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "base/exit_codes.h"
#include "base/utf_win.h"
#include "bridge/clamd_config.h"
#include "bridge/drives.h"
#include "bridge/error_reason.h"
#include "bridge/system.h"
#include "bridge/texts.h"
#include "bridge/windows_command_line.h"

namespace bridge {

namespace {

std::string Environment(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  value.resize(length < size ? length : 0);
  return Narrow(value);
}

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Set by the console handler; the wait for the child wakes on the event.
std::atomic<bool> g_stop{false};
// While the bridge waits for a key after an error, a closed console ends it
// with that error's code.
std::atomic<bool> g_waitingForKey{false};

HANDLE StopEvent() {
  static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

// How long a child may take to end after the stop request (it has had the
// same console event).
constexpr DWORD kStopGraceMs = 2000;

BOOL WINAPI OnConsoleEvent(DWORD type) {
  g_stop = true;
  SetEvent(StopEvent());
  if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) return TRUE;
  if (g_waitingForKey) ExitProcess(kExitError);
  // The console is closing (or the session ends): the system ends the process
  // once this returns. The main thread ends the child and the bridge with 102
  // first; should it not manage, this does.
  Sleep(kStopGraceMs + 1000);
  ExitProcess(kExitStopped);
}

// Hands each piece the pipe brings to the sink, one reader at a time.
void ReadPipe(HANDLE pipe, bool errorStream, const OutputSink& sink, std::mutex& lock) {
  char buffer[16 * 1024];
  DWORD read = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    const std::lock_guard<std::mutex> guard(lock);
    sink(std::string_view(buffer, read), errorStream);
  }
}

}  // namespace

PathStyle NativePathStyle() { return PathStyle::kWindows; }

std::string FindClamscan(std::string* problem) {
  const std::string override = Environment(L"QUORVEL_CLAMSCAN");
  if (!override.empty()) {
    if (IsFile(override)) return override;
    *problem = texts::kErrorOverrideMissing + override;
    return {};
  }
  const std::string path = Environment(L"PATH");
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(';', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    start = end + 1;
    if (dir.size() >= 2 && dir.front() == '"' && dir.back() == '"')
      dir = dir.substr(1, dir.size() - 2);
    if (dir.empty()) continue;
    if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
    if (IsFile(dir + "clamscan.exe")) return dir + "clamscan.exe";
  }
  // ClamAV's installer puts it into its own folder under Program Files.
  for (const wchar_t* root : {L"ProgramFiles", L"ProgramW6432", L"ProgramFiles(x86)"}) {
    const std::string folder = Environment(root);
    if (!folder.empty() && IsFile(folder + "\\ClamAV\\clamscan.exe"))
      return folder + "\\ClamAV\\clamscan.exe";
  }
  *problem = texts::kErrorMissingClamscanWindows;
  return {};
}

std::string ClamdConfigPath() {
  // Set but empty is not the same as unset here.
  SetLastError(0);
  if (GetEnvironmentVariableW(L"QUORVEL_CLAMD_CONF", nullptr, 0) > 0 ||
      GetLastError() != ERROR_ENVVAR_NOT_FOUND)
    return Environment(L"QUORVEL_CLAMD_CONF");
  // ClamAV's installer puts clamd.conf beside its programs: those of the
  // clamscan.exe found, else its own folder under Program Files, where a
  // machine that scans through a central daemon may have no clamscan.exe.
  std::vector<std::string> candidates;
  std::string problem;
  const std::string clamscan = FindClamscan(&problem);
  const size_t slash = clamscan.find_last_of("\\/");
  if (slash != std::string::npos)
    candidates.push_back(clamscan.substr(0, slash + 1) + "clamd.conf");
  for (const wchar_t* root : {L"ProgramFiles", L"ProgramW6432", L"ProgramFiles(x86)"}) {
    const std::string folder = Environment(root);
    if (!folder.empty()) candidates.push_back(folder + "\\ClamAV\\clamd.conf");
  }
  for (const std::string& candidate : candidates)
    if (IsFile(candidate)) return candidate;
  // None: the first place it was looked for, which tells the scan there is none.
  return candidates.empty() ? std::string("clamd.conf") : candidates.front();
}

DriveSelection GatherDrives(bool local, bool network) {
  std::vector<Drive> drives;
  const DWORD size = GetLogicalDriveStringsW(0, nullptr);
  std::wstring buffer(size + 1, L'\0');
  const DWORD length = GetLogicalDriveStringsW(size, buffer.data());
  for (size_t i = 0; i < length && buffer[i] != L'\0'; i += wcslen(&buffer[i]) + 1) {
    const wchar_t* root = &buffer[i];
    DriveKind kind = DriveKind::kOther;
    switch (GetDriveTypeW(root)) {
      case DRIVE_FIXED:
      case DRIVE_RAMDISK:
        kind = DriveKind::kLocal;
        break;
      case DRIVE_REMOTE:
        kind = DriveKind::kNetwork;
        break;
      default:
        break;
    }
    drives.push_back({Narrow(root), kind});
  }
  return SelectWindowsDrives(drives, local, network);
}

RunOutcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const OutputSink& sink) {
  RunOutcome outcome;
  std::wstring commandLine = Widen(WindowsCommandLine(program, args));

  // Output and error stream each through a pipe of their own; the child keeps
  // the console, so that Ctrl+C and a closed console reach it too.
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnds[2] = {nullptr, nullptr};
  HANDLE writeEnds[2] = {nullptr, nullptr};
  const auto closeAll = [&] {
    for (HANDLE* ends : {readEnds, writeEnds})
      for (int i = 0; i < 2; ++i)
        if (ends[i]) CloseHandle(ends[i]), ends[i] = nullptr;
  };
  for (int i = 0; i < 2; ++i) {
    if (!CreatePipe(&readEnds[i], &writeEnds[i], &inherit, 0)) {
      outcome.startError = WindowsErrorReason(GetLastError());
      closeAll();
      return outcome;
    }
    SetHandleInformation(readEnds[i], HANDLE_FLAG_INHERIT, 0);
  }
  HANDLE emptyInput = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = emptyInput;
  startup.hStdOutput = writeEnds[0];
  startup.hStdError = writeEnds[1];

  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(Widen(program).c_str(), commandLine.data(), nullptr, nullptr,
                                      TRUE, 0, nullptr, nullptr, &startup, &process);
  const DWORD startError = GetLastError();
  for (HANDLE& end : writeEnds) CloseHandle(end), end = nullptr;
  if (emptyInput != INVALID_HANDLE_VALUE) CloseHandle(emptyInput);
  if (!started) {
    closeAll();
    outcome.startError = WindowsErrorReason(startError);
    outcome.stopRequested = g_stop;
    return outcome;
  }
  outcome.started = true;
  CloseHandle(process.hThread);

  // Each pipe is read on a thread of its own, so that neither can fill up
  // while the other is waited on, and a stop request is seen at any time.
  std::mutex sinkLock;
  std::thread readers[2];
  for (int i = 0; i < 2; ++i)
    readers[i] = std::thread(ReadPipe, readEnds[i], i == 1, std::cref(sink), std::ref(sinkLock));

  const HANDLE waits[2] = {process.hProcess, StopEvent()};
  if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 &&
      WaitForSingleObject(process.hProcess, kStopGraceMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, STATUS_CONTROL_C_EXIT);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  DWORD code = 0;
  if (GetExitCodeProcess(process.hProcess, &code) &&
      code != static_cast<DWORD>(STATUS_CONTROL_C_EXIT) && code <= 0xFFFF) {
    outcome.exited = true;
    outcome.code = static_cast<int>(code);
  }
  CloseHandle(process.hProcess);
  for (std::thread& reader : readers) reader.join();
  closeAll();
  outcome.stopRequested = g_stop;
  return outcome;
}

void InstallStopHandlers() {
  StopEvent();
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StopRequested() { return g_stop; }

// Set by WakeUp, taken by the next wait.
HANDLE WakeEvent() {
  static const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  return event;
}

bool WaitForStop(int milliseconds) {
  const HANDLE waits[2] = {StopEvent(), WakeEvent()};
  WaitForMultipleObjects(2, waits, FALSE, static_cast<DWORD>(milliseconds));
  return g_stop;
}

void WakeUp() { SetEvent(WakeEvent()); }

void ExitNow(int code) { ExitProcess(static_cast<UINT>(code)); }

void PrintToConsole(const std::string& line, bool error) {
  const HANDLE handle = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    const std::wstring text = Widen(line + "\r\n");
    WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  } else {
    const std::string text = line + "\r\n";
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

void WaitForKeyAfterError() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (input == nullptr || input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode)) return;
  // Keys typed during the scan do not count.
  FlushConsoleInputBuffer(input);
  PrintToConsole(texts::kPressAnyKey, false);
  g_waitingForKey = true;
  const HANDLE waits[2] = {input, StopEvent()};
  while (!g_stop && WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
    INPUT_RECORD record;
    DWORD count = 0;
    if (!ReadConsoleInputW(input, &record, 1, &count)) break;
    if (count == 1 && record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) break;
  }
  g_waitingForKey = false;
}

}  // namespace bridge
