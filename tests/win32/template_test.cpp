// The compiled resource script against the template table: every control's
// id, kind, caption and rectangle and every frame must agree, or the Win32
// window would differ from the Qt one and from what the dialog logic is
// tested against. Also the manifest and the version information.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/utf_win.h"
#include "res/dialog_templates.h"
#include "res/resource_ids.h"
#include "res/texts.h"

namespace {

// One control of a DLGTEMPLATEEX.
struct RcControl {
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, width = 0, height = 0;
  int id = 0;
  WORD classAtom = 0;  // 0x80 button, 0x81 edit, 0x82 static; 0 for other classes
  std::wstring className;
  std::string caption;  // UTF-8
};

struct RcDialog {
  DWORD style = 0;
  int width = 0, height = 0;
  std::string caption;
  int fontPoints = 0;
  int fontWeight = 0;
  int fontCharset = 0;
  std::string fontFace;
  std::vector<RcControl> controls;
};

WORD PredefinedClassAtom(const std::wstring& name) {
  if (CompareStringOrdinal(name.c_str(), -1, L"Button", -1, TRUE) == CSTR_EQUAL) return 0x80;
  if (CompareStringOrdinal(name.c_str(), -1, L"Edit", -1, TRUE) == CSTR_EQUAL) return 0x81;
  if (CompareStringOrdinal(name.c_str(), -1, L"Static", -1, TRUE) == CSTR_EQUAL) return 0x82;
  return 0;
}

// Reads a DLGTEMPLATEEX as the dialog manager does; fails the test on a
// malformed or plain DLGTEMPLATE.
class TemplateReader {
 public:
  TemplateReader(const BYTE* data, size_t size) : data_(data), size_(size) {}

  bool Read(RcDialog& dialog) {
    if (Word() != 1 || Word() != 0xFFFF) return Fail("not a DLGTEMPLATEEX");
    Dword();  // help id
    Dword();  // extended style
    dialog.style = Dword();
    const int count = Word();
    Short();  // x
    Short();  // y
    dialog.width = Short();
    dialog.height = Short();
    SkipNameOrOrdinal();  // menu
    SkipNameOrOrdinal();  // class
    dialog.caption = Narrow(String());
    if (dialog.style & (DS_SETFONT | DS_SHELLFONT)) {
      dialog.fontPoints = Word();
      dialog.fontWeight = Word();
      Byte();  // italic
      dialog.fontCharset = Byte();
      dialog.fontFace = Narrow(String());
    }
    for (int i = 0; i < count && ok_; ++i) {
      Align(4);
      RcControl control;
      Dword();  // help id
      control.exStyle = Dword();
      control.style = Dword();
      control.x = Short();
      control.y = Short();
      control.width = Short();
      control.height = Short();
      control.id = static_cast<int>(Dword());
      if (Peek() == 0xFFFF) {
        Word();
        control.classAtom = Word();
      } else {
        // A class given by name; the dialog manager treats the predefined
        // names like their atoms.
        control.className = String();
        control.classAtom = PredefinedClassAtom(control.className);
      }
      if (Peek() == 0xFFFF) {
        Word();
        Word();  // an ordinal caption (a resource id): not used here
      } else {
        control.caption = Narrow(String());
      }
      const int extra = Word();
      pos_ += static_cast<size_t>(extra);
      dialog.controls.push_back(control);
    }
    if (pos_ > size_) return Fail("template runs past its resource");
    return ok_;
  }

  const std::string& error() const { return error_; }

 private:
  bool Fail(const char* why) {
    ok_ = false;
    error_ = why;
    return false;
  }
  bool Have(size_t n) {
    if (pos_ + n > size_) return Fail("template cut short");
    return true;
  }
  unsigned Byte() {
    if (!Have(1)) return 0;
    return data_[pos_++];
  }
  unsigned Peek() {
    if (!Have(2)) return 0;
    uint16_t v;
    std::memcpy(&v, data_ + pos_, 2);
    return v;
  }
  unsigned Word() {
    unsigned v = Peek();
    if (ok_) pos_ += 2;
    return v;
  }
  int Short() { return static_cast<int16_t>(Word()); }
  DWORD Dword() {
    if (!Have(4)) return 0;
    uint32_t v;
    std::memcpy(&v, data_ + pos_, 4);
    pos_ += 4;
    return v;
  }
  std::wstring String() {
    std::wstring s;
    while (ok_) {
      unsigned c = Word();
      if (c == 0) break;
      s.push_back(static_cast<wchar_t>(c));
    }
    return s;
  }
  void SkipNameOrOrdinal() {
    if (Peek() == 0xFFFF) {
      Word();
      Word();
    } else {
      String();
    }
  }
  void Align(size_t n) { pos_ = (pos_ + n - 1) / n * n; }

  const BYTE* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
  std::string error_;
};

// The raw bytes of a resource of this program, or an empty view.
std::pair<const BYTE*, size_t> LoadRawResource(const wchar_t* name, const wchar_t* type) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, name, type);
  if (!info) return {nullptr, 0};
  HGLOBAL loaded = LoadResource(module, info);
  if (!loaded) return {nullptr, 0};
  return {static_cast<const BYTE*>(LockResource(loaded)), SizeofResource(module, info)};
}

RcDialog LoadDialog(int id) {
  RcDialog dialog;
  auto [data, size] = LoadRawResource(MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
  EXPECT_NE(data, nullptr) << "no dialog resource " << id;
  if (!data) return dialog;
  TemplateReader reader(data, size);
  EXPECT_TRUE(reader.Read(dialog)) << "dialog " << id << ": " << reader.error();
  return dialog;
}

// The window class and style bits that each kind of control must have.
ControlKind KindOf(const RcControl& c, std::string& problem) {
  const DWORD type = c.style & 0x0F;
  if (c.classAtom == 0x81) return ControlKind::Edit;
  if (c.classAtom == 0x82) return ControlKind::Label;
  if (c.classAtom == 0x80) {
    switch (type) {
      case BS_PUSHBUTTON:
        return ControlKind::PushButton;
      case BS_DEFPUSHBUTTON:
        return ControlKind::DefPushButton;
      case BS_AUTOCHECKBOX:
        return ControlKind::CheckBox;
      case BS_GROUPBOX:
        return ControlKind::GroupBox;
      default:
        break;
    }
  }
  problem = "unexpected class or button type";
  return ControlKind::Label;
}

void ExpectFrameMatches(const RcDialog& rc, const DialogTemplate& data) {
  const DWORD required =
      DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  EXPECT_EQ(rc.style & required, required);
  // A fixed-size window: no minimise or maximise box, no sizing border.
  EXPECT_EQ(rc.style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
  EXPECT_EQ(rc.width, data.width);
  EXPECT_EQ(rc.height, data.height);
  EXPECT_EQ(rc.caption, data.caption);
  EXPECT_EQ(rc.fontFace, data.fontFace);
  EXPECT_EQ(rc.fontPoints, data.fontPoints);
  EXPECT_EQ(rc.fontWeight, FW_NORMAL);
  EXPECT_EQ(rc.fontCharset, GB2312_CHARSET);
}

void ExpectControlsMatch(const RcDialog& rc, const DialogTemplate& data) {
  ASSERT_EQ(rc.controls.size(), data.controls.size());
  for (size_t i = 0; i < rc.controls.size(); ++i) {
    const RcControl& c = rc.controls[i];
    const ControlTemplate& d = data.controls[i];
    SCOPED_TRACE("control #" + std::to_string(i) + " (id " + std::to_string(d.id) + ", " +
                 ControlKindName(d.kind) + " \"" + d.caption + "\")");
    std::string problem;
    const ControlKind kind = KindOf(c, problem);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(c.id, d.id);
    EXPECT_STREQ(ControlKindName(kind), ControlKindName(d.kind));
    EXPECT_EQ(c.caption, d.caption);
    EXPECT_EQ(c.x, d.x);
    EXPECT_EQ(c.y, d.y);
    EXPECT_EQ(c.width, d.width);
    EXPECT_EQ(c.height, d.height);
    EXPECT_EQ(c.style & (WS_CHILD | WS_VISIBLE | WS_DISABLED), DWORD{WS_CHILD | WS_VISIBLE});
    // Every edit, button and check box takes the focus by Tab; labels and
    // group boxes do not.
    const bool focusable = kind != ControlKind::Label && kind != ControlKind::GroupBox;
    EXPECT_EQ((c.style & WS_TABSTOP) != 0, focusable);
    if (kind == ControlKind::Edit) {
      EXPECT_EQ(c.style & (ES_AUTOHSCROLL | WS_BORDER), DWORD{ES_AUTOHSCROLL | WS_BORDER});
      EXPECT_EQ(c.style & (ES_MULTILINE | ES_READONLY | ES_PASSWORD), 0u);
    }
    if (kind == ControlKind::Label) {
      EXPECT_EQ(c.style & SS_TYPEMASK, DWORD{SS_LEFT});
    }
  }
}

TEST(ResourceTemplates, MainDialogMatchesTemplateTable) {
  const DialogTemplate* data = FindDialogTemplate(IDD_MAIN);
  ASSERT_NE(data, nullptr);
  const RcDialog rc = LoadDialog(IDD_MAIN);
  ExpectFrameMatches(rc, *data);
  ExpectControlsMatch(rc, *data);
}

TEST(ResourceTemplates, AboutDialogMatchesTemplateTable) {
  const DialogTemplate* data = FindDialogTemplate(IDD_ABOUT);
  ASSERT_NE(data, nullptr);
  const RcDialog rc = LoadDialog(IDD_ABOUT);
  ExpectFrameMatches(rc, *data);
  ExpectControlsMatch(rc, *data);
}

TEST(ProgramResources, ManifestAsksForCommonControlsDpiAwarenessAndNoElevation) {
  auto [data, size] = LoadRawResource(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(data, nullptr) << "no manifest";
  const std::string manifest(reinterpret_cast<const char*>(data), size);
  for (const char* part :
       {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"", "level=\"asInvoker\"",
        ">true/pm<", ">PerMonitorV2,PerMonitor<", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}"})
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
}

std::string VersionString(const std::vector<BYTE>& block, const std::string& language,
                          const char* name) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring path = Widen("\\StringFileInfo\\" + language + "\\" + name);
  if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || !value) return "<missing>";
  return Narrow(static_cast<const wchar_t*>(value));
}

TEST(ProgramResources, VersionInfoCarriesTheShownVersion) {
  wchar_t path[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, std::size(path));
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &handle);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedLength = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedLength));
  EXPECT_EQ(fixed->dwFileVersionMS, DWORD{MAKELONG(QUORVEL_VERSION_MINOR, QUORVEL_VERSION_MAJOR)});
  EXPECT_EQ(fixed->dwFileVersionLS, DWORD{MAKELONG(0, QUORVEL_VERSION_PATCH)});

  // The title shows "v" and the version; the version resource must say the same.
  const std::string shown = std::string(texts::kVersion).substr(1);
  for (const char* language : {"080404b0", "040904b0"}) {
    SCOPED_TRACE(language);
    EXPECT_EQ(VersionString(block, language, "ProductName"), texts::kTitle);
    EXPECT_EQ(VersionString(block, language, "ProductVersion"), shown);
    EXPECT_EQ(VersionString(block, language, "FileVersion"), shown + ".0");
    EXPECT_EQ(VersionString(block, language, "OriginalFilename"), "quorvel.exe");
    EXPECT_NE(VersionString(block, language, "FileDescription"), "<missing>");
  }
}

}  // namespace
