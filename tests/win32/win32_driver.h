// Playing the user of a real Win32 window from a second thread, through
// window messages as another program would: typing, clicking, reading texts
// and check marks, finding the windows a thread opened. Needs a display
// (Xvfb under Wine).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "base/utf_win.h"
#include "tests/support/test_support.h"

namespace win32_driver {

using namespace std::chrono_literals;

using testing_support::WaitUntil;

// WM_GETTEXT, which also reads the controls of another program's window.
inline std::string WindowText(HWND window) {
  const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied =
      SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(std::max<LRESULT>(copied, 0)));
  return Narrow(text);
}

inline std::string ItemText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

// WM_SETTEXT, answered by the edit with EN_CHANGE as when the user types.
inline void SetItemTextAsUser(HWND dialog, int id, const std::string& text) {
  SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(Widen(text).c_str()));
}

inline void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// For a click whose handler opens a modal box: a sent click would wait for it.
inline void PostClick(HWND window) { PostMessageW(window, BM_CLICK, 0, 0); }

inline void PostKey(HWND window, WPARAM key) { PostMessageW(window, WM_KEYDOWN, key, 1); }

inline bool IsChecked(HWND dialog, int id) {
  return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

inline bool IsItemEnabled(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item && IsWindowEnabled(item);
}

inline HWND FocusOf(DWORD thread) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

inline DWORD ThreadOf(HWND window) { return GetWindowThreadProcessId(window, nullptr); }

// The top-level windows of a thread, and the children of a window.
inline BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

inline std::vector<HWND> ThreadWindows(DWORD thread) {
  std::vector<HWND> windows;
  EnumThreadWindows(thread, CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

inline std::vector<HWND> Children(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(window, CollectWindow, reinterpret_cast<LPARAM>(&children));
  return children;
}

inline bool IsVisibleDialog(HWND window, const std::string& caption) {
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  return std::wstring(className) == L"#32770" && IsWindowVisible(window) &&
         WindowText(window) == caption;
}

// A visible dialog-class window of the thread with the caption, once it opens.
inline HWND WaitForDialog(DWORD thread, const std::string& caption,
                          std::chrono::milliseconds timeout = 5s) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND window : ThreadWindows(thread))
          if (IsVisibleDialog(window, caption)) found = window;
        return found != nullptr;
      },
      timeout);
  return found;
}

// True when one of the window's children shows exactly this text.
inline bool ShowsText(HWND window, const std::string& text) {
  for (HWND child : Children(window))
    if (WindowText(child) == text) return true;
  return false;
}

inline POINT Centre(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Runs a thread to its end, failing (and leaving it behind) when it hangs.
inline void JoinWithin(std::thread& thread, std::future<void>& finished, std::chrono::seconds limit,
                       const char* what) {
  if (finished.wait_for(limit) == std::future_status::ready) {
    thread.join();
  } else {
    ADD_FAILURE() << what << " did not finish: deadlock";
    thread.detach();
  }
}

// Under Wine a window needs a display: without one every driven test would
// only wait for windows that never open.
inline bool CanCreateWindows() {
  HWND probe =
      CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (!probe) return false;
  DestroyWindow(probe);
  return true;
}

inline constexpr const char kNoDisplay[] =
    "cannot create a window: no display? Run under Xvfb (scripts/with-wine.sh) or set DISPLAY";

}  // namespace win32_driver
