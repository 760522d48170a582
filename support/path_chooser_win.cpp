#include <windows.h>
#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "support/path_chooser.h"
#include "base/utf_win.h"

namespace {

// The file buffer takes the longest path Windows knows, so that a chosen path
// beyond MAX_PATH comes back whole instead of failing the picker.
constexpr size_t kFileBufferChars = 32768;
// A file title is one path component.
constexpr size_t kTitleBufferChars = MAX_PATH;

// COM for the calling thread while a picker runs (the shell's namespace
// needs a single-threaded apartment). A thread that already has another
// apartment keeps it, and the picker runs in that one.
class ComApartment {
 public:
  ComApartment()
      : initialised_(
            SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {
  }
  ~ComApartment() {
    if (initialised_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised_;
};

// Hook of the file picker. The hook's window is a child of the picker's
// frame; at its initialisation the frame is moved, with its size kept and no
// repaint, to the middle of the desktop. Every message goes on to the
// default processing.
UINT_PTR CALLBACK CentreOnDesktop(HWND hookWindow, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return 0;
  HWND frame = GetParent(hookWindow);
  RECT frameRect, desktopRect;
  if (frame == nullptr || !GetWindowRect(frame, &frameRect) ||
      !GetWindowRect(GetDesktopWindow(), &desktopRect)) {
    return 0;
  }
  const int frameWidth = frameRect.right - frameRect.left;
  const int frameHeight = frameRect.bottom - frameRect.top;
  const int desktopWidth = desktopRect.right - desktopRect.left;
  const int desktopHeight = desktopRect.bottom - desktopRect.top;
  MoveWindow(frame, (desktopWidth - frameWidth) / 2, (desktopHeight - frameHeight) / 2, frameWidth,
             frameHeight, FALSE);
  return 0;
}

// Callback of the folder browser: once it is ready, select the starting
// folder (data: its wide path, or 0 for the default place).
int CALLBACK SelectStartingFolder(HWND browser, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data != 0) {
    SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
  }
  return 0;
}

// The file-system path of a shell item; empty when it has none (a virtual
// folder such as the printers).
std::wstring PathOfItem(PCIDLIST_ABSOLUTE item) {
  std::vector<wchar_t> path(kFileBufferChars, L'\0');
  if (SHGetPathFromIDListEx(item, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT)) {
    return path.data();
  }
  // A shell without the long form still knows the MAX_PATH one.
  wchar_t shortPath[MAX_PATH] = {};
  if (SHGetPathFromIDListW(item, shortPath)) return shortPath;
  return std::wstring();
}

}  // namespace

struct PathChooser::State {
  OPENFILENAMEW record{};
  bool open = true;
  std::vector<wchar_t> file = std::vector<wchar_t>(kFileBufferChars, L'\0');
  std::vector<wchar_t> title = std::vector<wchar_t>(kTitleBufferChars, L'\0');
  std::wstring defaultExtension;
  // Pairs of description and pattern, each ending in a zero, the list in one
  // more.
  std::wstring filter;
  std::string folder;
};

PathChooser::PathChooser() : PathChooser(true, std::string(), std::string(), 0, {}, nullptr) {}

PathChooser::PathChooser(bool open, const std::string& defaultExtension,
                         const std::string& initialFileName, uint32_t extraFlags,
                         const std::vector<FileTypeFilter>& filters, void* parentWindow)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.open = open;
  s.defaultExtension = Widen(defaultExtension);
  for (const FileTypeFilter& entry : filters) {
    const std::wstring pattern = Widen(entry.pattern);
    std::wstring description = Widen(entry.description);
    // An empty description would end the list early.
    if (description.empty()) description = pattern;
    s.filter.append(description).push_back(L'\0');
    s.filter.append(pattern).push_back(L'\0');
  }
  s.filter.push_back(L'\0');

  const std::wstring initial = Widen(PrepareInitialFileName(initialFileName));
  std::copy_n(initial.begin(), std::min(initial.size(), s.file.size() - 1), s.file.begin());

  OPENFILENAMEW& r = s.record;
  r.hwndOwner = static_cast<HWND>(parentWindow);
  r.lpstrFilter = filters.empty() ? nullptr : s.filter.c_str();
  r.nFilterIndex = 1;
  r.lpstrFile = s.file.data();
  r.nMaxFile = static_cast<DWORD>(s.file.size());
  r.lpstrFileTitle = s.title.data();
  r.nMaxFileTitle = static_cast<DWORD>(s.title.size());
  r.lpstrDefExt = s.defaultExtension.empty() ? nullptr : s.defaultExtension.c_str();
  r.Flags = extraFlags | OFN_ENABLEHOOK | OFN_EXPLORER;
  r.lpfnHook = CentreOnDesktop;
}

PathChooser::~PathChooser() = default;

int PathChooser::DoModal() {
  OPENFILENAMEW& r = state_->record;
  r.lStructSize = sizeof(OPENFILENAMEW);
  // No owner: the main window stays enabled while the picker is open.
  r.hwndOwner = nullptr;
  ComApartment com;
  const BOOL chosen = state_->open ? GetOpenFileNameW(&r) : GetSaveFileNameW(&r);
  return chosen ? kChosen : kCancelled;
}

std::string PathChooser::GetPathName() const { return Narrow(state_->file.data()); }

int PathChooser::BrowseForFolder(const std::string& title, const std::string& initialFolder,
                                 uint32_t flags) {
  ComApartment com;
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || allocator == nullptr) return kCancelled;

  const std::wstring wideTitle = Widen(title);
  const std::wstring wideInitial = Widen(initialFolder);
  wchar_t displayName[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.hwndOwner = nullptr;
  info.pidlRoot = nullptr;
  info.pszDisplayName = displayName;
  info.lpszTitle = wideTitle.c_str();
  info.ulFlags = flags;
  info.lpfn = SelectStartingFolder;
  info.lParam = wideInitial.empty() ? 0 : reinterpret_cast<LPARAM>(wideInitial.c_str());

  int result = kCancelled;
  if (PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info)) {
    const std::wstring path = PathOfItem(item);
    if (!path.empty()) {
      state_->folder = Narrow(path);
      result = kChosen;
    }
    allocator->Free(item);
  }
  allocator->Release();
  return result;
}

std::string PathChooser::GetFolderPath() const { return state_->folder; }
