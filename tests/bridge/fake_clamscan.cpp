// Stands in for ClamAV's clamscan.exe in the bridge's tests, speaking as the
// releases for Windows do (read from ClamAV's own source): it splits its
// command line itself, reads "--file-list=<list>" in lines of at most 1023
// bytes, opens each file first to find its final path (failing, with the
// library's warning, on a file another program holds open for writing), and
// prints each message in the form and code page of its release family
// (QUORVEL_FAKE_CLAMSCAN_FAMILY, the first of kFamilies by default).
// It scans a file by the first bytes of its content:
//   "INFECTED"   "<name>: Fake.Test FOUND"
//   "TOOBIG"     "<name>: Heuristics.Limits.Exceeded.MaxFileSize FOUND"
//   "ENCRYPTED"  "<name>: Heuristics.Encrypted.Zip FOUND" with
//                --alert-encrypted=yes, else "<name>: OK"
//   "SKIP"       no line at all
//   other        "<name>: OK"
// an empty one "<name>: Empty file", one it cannot open "WARNING: Can't open
// file <name>: <reason>", one that is not there "<name>: No such file or
// directory" and "WARNING: <name>: Can't access file"; then the summary.
// Steered by its environment besides:
//   QUORVEL_FAKE_CLAMSCAN_RECORD  file to which each run adds "--run-- <pid>",
//                                 its arguments, one a line, and then
//                                 "--listed-- <name>" for each listed file
//   QUORVEL_FAKE_CLAMSCAN_FAIL    "database": a database error, nothing
//                                 scanned, exit code 2
// "--version" prints the family's version line; a scan of "-" (empty input)
// prints the summary with the signature count.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/utf_win.h"
#include "tests/bridge/clamscan_argv.h"
#include "tests/support/fake_program_env.h"

namespace {

using fake_program::Environment;

// What sets ClamAV's releases for Windows apart, for a Windows user. What
// they share: a warning of the library ("LibClamAV Warning: ...") goes to
// standard error as it is, in UTF-8; an empty file is "<name>: Empty file";
// a file that cannot be opened "WARNING: Can't open file <name>: <reason>"
// (never "Access denied": that check is not made on Windows); an excluded
// file "<name>: Excluded" (the bridge excludes none).
struct Family {
  const char* name;     // QUORVEL_FAKE_CLAMSCAN_FAMILY
  const char* version;  // the line of "--version"
  // A file's name in its lines: its final path (cli_realpath), or as listed.
  bool finalName;
  // clamscan's own messages in the OEM code page (mprintf), else in UTF-8;
  // the list's name read in the ANSI code page (fopen), else in UTF-8.
  bool legacyCodePages;
};
constexpr Family kFamilies[] = {
    {"1.0", "ClamAV 1.4.4/27555/Fake", true, true},  // 1.0.0 to 1.4.4
    {"1.4.5", "ClamAV 1.4.5/27555/Fake", false, true},
    {"1.5.0", "ClamAV 1.5.2/27555/Fake", true, false},  // 1.5.0 to 1.5.2
    {"1.5.3", "ClamAV 1.5.3/27555/Fake", false, false},
};

const Family& ThisFamily() {
  const std::string wanted = Environment("QUORVEL_FAKE_CLAMSCAN_FAMILY");
  for (const Family& family : kFamilies)
    if (wanted == family.name) return family;
  return kFamilies[0];
}

std::wstring FromCodePage(UINT codePage, const std::string& bytes) {
  std::wstring wide(bytes.size(), L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(codePage, 0, bytes.data(),
                                                      static_cast<int>(bytes.size()), wide.data(),
                                                      static_cast<int>(wide.size()))));
  return wide;
}

// clamscan's messages (mprintf): to the OEM code page when the release
// converts and the text is UTF-8.
void Say(const std::string& text, bool errorStream) {
  std::string bytes = text;
  const int size = static_cast<int>(text.size());
  if (ThisFamily().legacyCodePages &&
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0) > 0) {
    const std::wstring wide = FromCodePage(CP_UTF8, text);
    bytes.assign(
        static_cast<size_t>(WideCharToMultiByte(
            CP_OEMCP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr)),
        '\0');
    WideCharToMultiByte(CP_OEMCP, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(),
                        static_cast<int>(bytes.size()), nullptr, nullptr);
  }
  (errorStream ? std::cerr : std::cout) << bytes << std::flush;
}

// The system's form of a name (ClamAV's uncpath): "\\?\" before a drive
// path; UTF-8 when it is and fits its buffer of 1024 bytes, else the ANSI
// code page.
std::wstring SystemForm(const std::string& name) {
  const std::wstring prefix = name.rfind("\\\\", 0) == 0 ? L"" : L"\\\\?\\";
  const int size = static_cast<int>(name.size());
  const bool utf8 =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), size, nullptr, 0) > 0;
  const std::wstring wide = FromCodePage(utf8 && name.size() < 1024 ? CP_UTF8 : CP_ACP, name);
  return wide.size() > 1020 ? L"" : prefix + wide;
}

// What cli_realpath finds: the final path of the file opened for reading,
// sharing only reading; nothing, after the library's warning, when that
// fails.
std::string FinalPath(const std::string& name) {
  const HANDLE handle = CreateFileW(SystemForm(name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    std::cerr << "LibClamAV Warning: Can't open file " << name << ": " << GetLastError() << '\n';
    return {};
  }
  wchar_t path[4096];
  const DWORD length = GetFinalPathNameByHandleW(handle, path, 4096, VOLUME_NAME_DOS);
  CloseHandle(handle);
  std::wstring resolved(path, length < 4096 ? length : 0);
  if (resolved.rfind(L"\\\\?\\", 0) == 0 && resolved.rfind(L"\\\\?\\UNC\\", 0) != 0)
    resolved.erase(0, 4);
  return Narrow(resolved);
}

const char* Reason(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "Permission denied";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return "No such file or directory";
    default:
      return "Invalid argument";
  }
}

struct Totals {
  int scanned = 0;
  int infected = 0;
  int errors = 0;
};

// clamscan's scanfile() for one listed name.
void ScanFile(const std::string& listed, bool alertEncrypted, Totals& totals) {
  const std::string resolved = FinalPath(listed);
  const std::string& name = ThisFamily().finalName && !resolved.empty() ? resolved : listed;
  const std::wstring path = SystemForm(resolved.empty() ? listed : resolved);
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Say("WARNING: Can't open file " + name + ": " + Reason(GetLastError()) + "\n", true);
    ++totals.errors;
    return;
  }
  char start[16] = {};
  DWORD got = 0;
  ReadFile(file, start, sizeof start, &got, nullptr);
  CloseHandle(file);
  const std::string content(start, got);
  const auto is = [&](const char* word) { return content.rfind(word, 0) == 0; };
  std::string said = "OK";
  if (got == 0) {
    said = "Empty file";
  } else if (is("SKIP")) {
    return;
  } else if (is("INFECTED")) {
    said = "Fake.Test FOUND";
  } else if (is("TOOBIG")) {
    said = "Heuristics.Limits.Exceeded.MaxFileSize FOUND";
  } else if (is("ENCRYPTED") && alertEncrypted) {
    said = "Heuristics.Encrypted.Zip FOUND";
  }
  if (said.find(" FOUND") != std::string::npos) ++totals.infected;
  if (got != 0) ++totals.scanned;
  Say(name + ": " + said + "\n", false);
}

// clamscan's scan_files() for one name of the list or the command line.
void ScanName(std::string name, bool alertEncrypted, Totals& totals) {
  while (name.size() > 1 && name.back() == '\\') name.pop_back();
  const std::wstring path = SystemForm(name);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path.empty() || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
    std::cerr << name << ": No such file or directory\n";
    Say("WARNING: " + name + ": Can't access file\n", true);
    ++totals.errors;
    return;
  }
  ScanFile(name, alertEncrypted, totals);
}

// The list's lines as clamscan's fgets(buffer, 1024) reads them: a longer
// line comes in pieces of 1023 bytes. False when it cannot be opened.
bool ReadList(const std::string& list, std::vector<std::string>& names) {
  const std::wstring name = FromCodePage(ThisFamily().legacyCodePages ? CP_ACP : CP_UTF8, list);
  std::ifstream in(std::filesystem::path(name), std::ios::binary);
  if (!in) return false;
  std::string piece;
  for (char c; in.get(c);) {
    piece += c;
    if (c != '\n' && piece.size() < 1023) continue;
    size_t length = piece.size() - 1;
    while (length && (piece[length] == '\n' || piece[length] == '\r')) --length;
    names.push_back(piece.substr(0, length + 1));
    piece.clear();
  }
  if (!piece.empty()) names.push_back(piece);
  return true;
}

// The whole record is written aside and renamed, so a test that sees the file
// sees every line of it.
void Record(const std::vector<std::string>& arguments, const std::vector<std::string>& files) {
  const std::string path = Environment("QUORVEL_FAKE_CLAMSCAN_RECORD");
  if (path.empty()) return;
  std::ostringstream content;
  {
    std::ifstream old(std::filesystem::path(Widen(path)), std::ios::binary);
    if (old) content << old.rdbuf();
  }
  content << "--run-- " << GetCurrentProcessId() << '\n';
  for (const std::string& argument : arguments) content << argument << '\n';
  for (const std::string& file : files) content << "--listed-- " << file << '\n';
  const std::filesystem::path part(Widen(path + ".part"));
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << content.str();
  }
  std::error_code error;
  std::filesystem::rename(part, std::filesystem::path(Widen(path)), error);
}

std::string Summary(const Totals& totals) {
  return "\n----------- SCAN SUMMARY -----------\nKnown viruses: 8675309\n"
         "Engine version: 9.9.9\nScanned files: " +
         std::to_string(totals.scanned) + "\nInfected files: " + std::to_string(totals.infected) +
         "\n";
}

int Run(const std::vector<std::string>& arguments) {
  static constexpr char kList[] = "--file-list=";
  std::vector<std::string> names;
  bool listGiven = false, listRead = false, alertEncrypted = false;
  for (const std::string& argument : arguments) {
    if (argument == "--version") {
      std::cout << ThisFamily().version << '\n';
      return 0;
    }
    if (argument == "--alert-encrypted=yes") alertEncrypted = true;
    if (argument.rfind(kList, 0) == 0) {
      listGiven = true;
      listRead = ReadList(argument.substr(sizeof kList - 1), names);
    }
  }
  if (!listGiven)
    for (const std::string& argument : arguments)
      if (argument.rfind("--", 0) != 0) names.push_back(argument);
  Record(arguments, names);
  if (names == std::vector<std::string>{"-"}) {
    std::cout << "stdin: OK\n" << Summary({});
    return 0;
  }
  if (Environment("QUORVEL_FAKE_CLAMSCAN_FAIL") == "database") {
    std::cerr << "LibClamAV Error: cli_loaddbdir(): No supported database files found in "
                 "C:\\ClamAV\\database\nERROR: Can't open file or directory\n";
    std::cout << "\n----------- SCAN SUMMARY -----------\nKnown viruses: 0\n";
    return 2;
  }
  if (listGiven && !listRead) {
    for (const std::string& argument : arguments)
      if (argument.rfind(kList, 0) == 0)
        std::cerr << "ERROR: --file-list: Can't open file " << argument.substr(sizeof kList - 1)
                  << '\n';
    return 54;
  }
  Totals totals;
  for (const std::string& name : names) ScanName(name, alertEncrypted, totals);
  std::cout << Summary(totals);
  return totals.infected ? 1 : totals.errors ? 2 : 0;
}

}  // namespace

int wmain(int, wchar_t**) {
  std::vector<std::string> arguments = SplitLikeClamscan(Narrow(GetCommandLineW()));
  if (!arguments.empty()) arguments.erase(arguments.begin());
  std::cout.setf(std::ios::unitbuf);
  return Run(arguments);
}
