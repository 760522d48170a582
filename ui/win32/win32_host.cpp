#include "ui/win32/win32_host.h"

#include <commctrl.h>
#include <initguid.h>
#include <oleacc.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/utf_win.h"
#include "res/dialog_templates.h"
#include "res/resource_ids.h"
#include "ui/accessible_names.h"

namespace ui {

namespace {

// The dialogs this thread is showing, innermost last. The top one owns the
// next dialog opened on this thread.
thread_local std::vector<HWND> t_modalDialogs;

// Status messages from a worker thread reach the window as a message sent with
// SendMessageW, whose lParam points to the status text on the worker's stack:
// the worker waits in SendMessageW until the UI thread has handled it. The
// window accepts such a message only while the channel vouches for its
// pointer, so a stray or forged message from elsewhere is never read as a
// text.
class Win32StatusChannel final : public StatusReceiver {
 public:
  explicit Win32StatusChannel(HWND window) : window_(window) {}

  void Send(unsigned message, const std::string& text) override {
    if (closed_.load(std::memory_order_acquire)) return;
    {
      std::lock_guard guard(mutex_);
      inFlight_.push_back(&text);
    }
    // Fails at once when the window is gone; a message still queued when it
    // goes is dropped by the system, which frees the sender.
    SendMessageW(window_, message, 0, reinterpret_cast<LPARAM>(&text));
    std::lock_guard guard(mutex_);
    inFlight_.erase(std::find(inFlight_.begin(), inFlight_.end(), &text));
  }

  // On the UI thread: the status text that lParam of a received message carries,
  // or null when the message did not come through this channel.
  const std::string* StatusText(LPARAM lParam) const {
    if (closed_.load(std::memory_order_acquire)) return nullptr;
    const auto* text = reinterpret_cast<const std::string*>(lParam);
    std::lock_guard guard(mutex_);
    return std::find(inFlight_.begin(), inFlight_.end(), text) != inFlight_.end() ? text : nullptr;
  }

  // The window is going away: every later message is dropped without waiting.
  void Close() { closed_.store(true, std::memory_order_release); }

 private:
  const HWND window_;
  std::atomic<bool> closed_{false};
  mutable std::mutex mutex_;
  std::vector<const std::string*> inFlight_;
};

AccessibleNameObserver g_accessibleNameObserver;

// Names for screen readers through the system's accessibility property
// service: a dialog's edit would otherwise take its name from the label
// before it in the template, which for most of them is none or the wrong
// one. The names go when the window goes.
class AccessibleNames {
 public:
  AccessibleNames() = default;
  AccessibleNames(const AccessibleNames&) = delete;
  AccessibleNames& operator=(const AccessibleNames&) = delete;
  ~AccessibleNames() { Clear(); }

  void Set(HWND control, const std::string& name) {
    if (!control) return;
    if (g_accessibleNameObserver) g_accessibleNameObserver(control, name);
    if (!Service()) return;
    if (SUCCEEDED(service_->SetHwndPropStr(control, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_NAME,
                                           Widen(name).c_str())))
      named_.push_back(control);
  }

  // Before the controls are destroyed.
  void Clear() {
    if (service_) {
      MSAAPROPID name = PROPID_ACC_NAME;
      for (HWND control : named_)
        service_->ClearHwndProps(control, OBJID_CLIENT, CHILDID_SELF, &name, 1);
      service_->Release();
      service_ = nullptr;
    }
    named_.clear();
    if (comInitialised_) CoUninitialize();
    comInitialised_ = false;
  }

 private:
  IAccPropServices* Service() {
    if (service_ || triedService_) return service_;
    triedService_ = true;
    // A thread that has COM in another apartment already keeps it.
    comInitialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, reinterpret_cast<void**>(&service_))))
      service_ = nullptr;
    return service_;
  }

  IAccPropServices* service_ = nullptr;
  bool triedService_ = false;
  bool comInitialised_ = false;
  std::vector<HWND> named_;
};

// Moves an owned dialog to the middle of its owner, kept inside the owner's
// monitor.
void CenterOverOwner(HWND window) {
  HWND owner = GetWindow(window, GW_OWNER);
  if (!owner || !IsWindowVisible(owner) || IsIconic(owner)) return;
  RECT ownerRect, rect;
  if (!GetWindowRect(owner, &ownerRect) || !GetWindowRect(window, &rect)) return;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  int x = ownerRect.left + (ownerRect.right - ownerRect.left - width) / 2;
  int y = ownerRect.top + (ownerRect.bottom - ownerRect.top - height) / 2;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& area = monitor.rcWork;
    x = std::max<int>(area.left, std::min<int>(x, area.right - width));
    y = std::max<int>(area.top, std::min<int>(y, area.bottom - height));
  }
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

class Win32DialogHost final : public DialogHost {
 public:
  Win32DialogHost(Dialog& dialog, HINSTANCE instance) : dialog_(dialog), instance_(instance) {
    dialog_.Attach(this);
  }

  ~Win32DialogHost() override {
    Closed();
    dialog_.Detach();
    if (bigIcon_) DestroyIcon(bigIcon_);
    if (smallIcon_) DestroyIcon(smallIcon_);
  }

  Win32DialogHost(const Win32DialogHost&) = delete;
  Win32DialogHost& operator=(const Win32DialogHost&) = delete;

  INT_PTR OnInitDialog(HWND window) {
    window_ = window;
    channel_ = std::make_shared<Win32StatusChannel>(window);
    t_modalDialogs.push_back(window);
    CenterOverOwner(window);
    // Each edit is named by the caption the window shows beside or above it.
    if (const DialogTemplate* dialogTemplate = FindDialogTemplate(dialog_.TemplateId())) {
      for (const ControlTemplate& control : dialogTemplate->controls)
        if (control.kind == ControlKind::Edit)
          accessibleNames_.Set(Item(control.id), EditAccessibleName(*dialogTemplate, control));
    }
    // TRUE lets the system focus the first tab stop; FALSE: the dialog did.
    return dialog_.OnInitDialog() ? TRUE : FALSE;
  }

  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam));
      case WM_QUERYDRAGICON:
        // Returned as is, not through DWLP_MSGRESULT.
        return reinterpret_cast<INT_PTR>(bigIcon_);
      case WM_PAINT:
        return IsIconic(window_) && bigIcon_ ? PaintMinimised() : FALSE;
      case WM_DESTROY:
        accessibleNames_.Clear();  // the controls still exist
        return FALSE;
      default:
        break;
    }
    if (message >= WM_USER && channel_) {
      if (const std::string* status = channel_->StatusText(lParam)) {
        dialog_.Dispatch(Event::Message, static_cast<int>(message), *status);
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, 0);
        return TRUE;
      }
    }
    return FALSE;
  }

  // WM_NCDESTROY: the window is gone; nothing reaches it any more.
  void OnDestroyed() {
    Closed();
    window_ = nullptr;
  }

  // DialogHost
  std::string GetItemText(int id) const override {
    HWND item = Item(id);
    if (!item) return {};
    const int length = GetWindowTextLengthW(item);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(item, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(copied, 0)));
    return Narrow(text);
  }

  void SetItemText(int id, const std::string& text) override {
    // An edit control answers WM_SETTEXT with EN_CHANGE.
    if (window_) SetDlgItemTextW(window_, id, Widen(text).c_str());
  }

  int GetCheck(int id) const override {
    return window_ ? static_cast<int>(IsDlgButtonChecked(window_, id)) : 0;
  }

  void SetCheck(int id, int state) override {
    // BM_SETCHECK sends no BN_CLICKED.
    if (window_) CheckDlgButton(window_, id, static_cast<UINT>(state));
  }

  void EnableItem(int id, bool enable) override {
    HWND item = Item(id);
    if (!item) return;
    // A disabled control must not keep the focus, or the keyboard is lost to
    // the window. The focus goes to the first control where Enter still means
    // the default button, not to the next tab stop: from Scan that is Exit,
    // and Enter after a scan started by a click would close the window.
    if (!enable && GetFocus() == item) {
      if (HWND next = FirstTabStopBesidesButtons(item))
        SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
      else
        SendMessageW(window_, WM_NEXTDLGCTL, 0, FALSE);
    }
    EnableWindow(item, enable ? TRUE : FALSE);
  }

  bool IsItemEnabled(int id) const override {
    HWND item = Item(id);
    return item && IsWindowEnabled(item);
  }

  void SetFocusItem(int id) override {
    // WM_NEXTDLGCTL rather than SetFocus, so the dialog manager also moves the
    // default-button highlight.
    if (HWND item = Item(id))
      SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
  }

  void SetAccessibleName(int id, const std::string& name) override {
    accessibleNames_.Set(Item(id), name);
  }

  void SetTitle(const std::string& title) override {
    if (window_) SetWindowTextW(window_, Widen(title).c_str());
  }

  void SetIcon(int iconId) override {
    if (!window_) return;
    HICON big = LoadIconSized(iconId, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    HICON small =
        LoadIconSized(iconId, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    // The window no longer shows the previous ones.
    if (bigIcon_) DestroyIcon(bigIcon_);
    if (smallIcon_) DestroyIcon(smallIcon_);
    bigIcon_ = big;
    smallIcon_ = small;
  }

  bool AskYesNo(const std::string& text, const std::string& caption) override {
    if (!window_) return false;
    return MessageBoxW(window_, Widen(text).c_str(), Widen(caption).c_str(),
                       MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) == IDYES;
  }

  void End(int result) override {
    if (window_) ::EndDialog(window_, result);
  }

  std::shared_ptr<StatusReceiver> StatusChannel() override { return channel_; }

  void* NativeHandle() const override { return window_; }

 private:
  HWND Item(int id) const { return window_ ? GetDlgItem(window_, id) : nullptr; }

  // The first enabled, visible tab stop in template order other than except
  // that is no push button, or null.
  HWND FirstTabStopBesidesButtons(HWND except) const {
    for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
      if (child == except || !(style & WS_TABSTOP) || !(style & WS_VISIBLE) ||
          (style & WS_DISABLED))
        continue;
      const LRESULT code = SendMessageW(child, WM_GETDLGCODE, 0, 0);
      if (!(code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) return child;
    }
    return nullptr;
  }

  HICON LoadIconSized(int iconId, int width, int height) const {
    return static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(iconId), IMAGE_ICON, width,
                                         height, LR_DEFAULTCOLOR));
  }

  INT_PTR OnCommand(int id, int code) {
    // Esc, Enter without a default button and the close box arrive here as
    // IDCANCEL / IDOK with BN_CLICKED.
    switch (code) {
      case BN_CLICKED:
        return dialog_.Dispatch(Event::Clicked, id) ? TRUE : FALSE;
      case EN_CHANGE:
        return dialog_.Dispatch(Event::TextChanged, id) ? TRUE : FALSE;
      default:
        return FALSE;
    }
  }

  // While minimised the client area shows the icon, centred.
  INT_PTR PaintMinimised() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(window_, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, bigIcon_);
    EndPaint(window_, &paint);
    return TRUE;
  }

  // The window is going away (or never came): drop status messages from now on and
  // stop owning dialogs opened later.
  void Closed() {
    if (channel_) channel_->Close();
    if (window_) std::erase(t_modalDialogs, window_);
  }

  Dialog& dialog_;
  HINSTANCE instance_;
  HWND window_ = nullptr;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  std::shared_ptr<Win32StatusChannel> channel_;
  AccessibleNames accessibleNames_;
};

// The one dialog procedure of every dialog: the host travels in DWLP_USER from
// WM_INITDIALOG to WM_NCDESTROY. No exception leaves it: the system's code
// between here and the message loop cannot pass one on.
INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (message == WM_INITDIALOG) {
      auto* host = reinterpret_cast<Win32DialogHost*>(lParam);
      SetWindowLongPtrW(window, DWLP_USER, lParam);
      return host->OnInitDialog(window);
    }
    auto* host = reinterpret_cast<Win32DialogHost*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!host) return FALSE;
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(window, DWLP_USER, 0);
      host->OnDestroyed();
      return FALSE;
    }
    return host->OnMessage(message, wParam, lParam);
  } catch (...) {
    return FALSE;
  }
}

void InitCommonControlsOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
  });
}

}  // namespace

HWND ActiveModalDialog() { return t_modalDialogs.empty() ? nullptr : t_modalDialogs.back(); }

void SetAccessibleNameObserver(AccessibleNameObserver observer) {
  g_accessibleNameObserver = std::move(observer);
}

Win32ModalRunner::Win32ModalRunner(HINSTANCE instance) : instance_(instance) {}

int Win32ModalRunner::RunModal(Dialog& dialog) {
  InitCommonControlsOnce();
  HINSTANCE instance = instance_ ? instance_ : GetModuleHandleW(nullptr);
  Win32DialogHost host(dialog, instance);
  const INT_PTR result =
      DialogBoxParamW(instance, MAKEINTRESOURCEW(dialog.TemplateId()), ActiveModalDialog(),
                      DialogProc, reinterpret_cast<LPARAM>(&host));
  return static_cast<int>(result);
}

}  // namespace ui
