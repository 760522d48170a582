// quorvel.txt, the readme and licence document beside the program: readable
// in Windows Notepad (UTF-8 with a byte order mark, CR LF line ends), in step
// with the main window's options and switches, and ending with the licence.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/switch_boxes.h"
#include "base/scan_switches.h"
#include "res/dialog_templates.h"
#include "res/resource_ids.h"
#include "res/texts.h"
#include "tests/support/test_support.h"

namespace {

std::string SourceFile(const std::string& relative) {
  const char* root = std::getenv("QUORVEL_SOURCE_DIR");
  if (root == nullptr) return std::string();
  return testing_support::ReadTextFile(std::string(root) + "/" + relative);
}

class ReadmeDocument : public testing::Test {
 protected:
  void SetUp() override {
    raw = testing_support::ReadTextFile(QUORVEL_README);
    ASSERT_FALSE(raw.empty()) << QUORVEL_README << " not found";
    text = raw.substr(raw.rfind(kBom, 0) == 0 ? kBom.size() : 0);
    for (size_t start = 0, end; start < text.size(); start = end + 2) {
      end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      lines.push_back(text.substr(start, end - start));
    }
  }

  // The option list's entry of a window caption: "  - <caption>" alone or
  // followed by blanks ("包含错误" must not find "包含错误文件").
  const std::string* EntryOf(const std::string& caption) const {
    const std::string head = "  - " + caption;
    for (const std::string& line : lines)
      if (line == head || line.rfind(head + " ", 0) == 0) return &line;
    return nullptr;
  }

  static constexpr std::string_view kBom = "\xEF\xBB\xBF";
  std::string raw;
  std::string text;  // without the byte order mark
  std::vector<std::string> lines;
};

// "/ad" in a line, as a word of its own ("/adl" is another switch).
bool HasSwitch(const std::string& line, const std::string& word) {
  for (size_t at = line.find(word); at != std::string::npos; at = line.find(word, at + 1)) {
    const size_t after = at + word.size();
    if (after == line.size() || line[after] == ' ') return true;
  }
  return false;
}

const ControlTemplate* MainControl(int id) {
  const DialogTemplate* main = FindDialogTemplate(IDD_MAIN);
  if (main == nullptr) return nullptr;
  for (const ControlTemplate& control : main->controls)
    if (control.id == id) return &control;
  return nullptr;
}

TEST_F(ReadmeDocument, IsUtf8WithByteOrderMarkAndCrLfLineEnds) {
  EXPECT_EQ(raw.rfind(kBom, 0), 0u) << "no UTF-8 byte order mark";
  std::string rest = raw;
  for (size_t at; (at = rest.find("\r\n")) != std::string::npos;) rest.erase(at, 2);
  EXPECT_EQ(rest.find_first_of("\r\n"), std::string::npos) << "a line ends without CR LF";
  EXPECT_TRUE(raw.ends_with("\r\n"));
  EXPECT_EQ(raw.find('\t'), std::string::npos) << "tabs line up differently in each viewer";
}

TEST_F(ReadmeDocument, ListsEveryCheckBoxWithTheSwitchItPasses) {
  std::vector<std::pair<int, std::string>> passes;
  for (const SwitchBox& box : kSwitchBoxes)
    passes.emplace_back(box.controlId, kScanSwitches[SwitchIndex(box.id)].text + 1);
  passes.emplace_back(IDC_REPORT, "/report");
  passes.emplace_back(IDC_MOVE, "/move");

  const DialogTemplate* main = FindDialogTemplate(IDD_MAIN);
  ASSERT_NE(main, nullptr);
  for (const ControlTemplate& control : main->controls) {
    if (control.kind != ControlKind::CheckBox) continue;
    const std::string caption = control.caption;
    const std::string* entry = EntryOf(caption);
    ASSERT_NE(entry, nullptr) << "no entry for " << caption;
    for (const auto& [id, word] : passes) {
      if (id == control.id)
        EXPECT_TRUE(HasSwitch(*entry, word)) << caption << " should name " << word;
      else
        EXPECT_FALSE(HasSwitch(*entry, word)) << caption << " names " << word;
    }
  }
  for (const auto& [id, word] : passes) EXPECT_NE(MainControl(id), nullptr) << word;

  // The order in which the switches stand in the command line.
  std::string order;
  for (const ScanSwitchEntry& entry : kScanSwitches) order += entry.text;
  std::string listed;
  for (const std::string& line : lines)
    if (line.rfind("    /", 0) == 0) listed += line.substr(3);
  EXPECT_EQ(listed, order);
}

TEST_F(ReadmeDocument, GivesTheDefaultsAndTheVerdictOfEachExitCode) {
  EXPECT_NE(text.find(texts::kScannerName), std::string::npos);
  EXPECT_NE(text.find(texts::kDefaultReportName), std::string::npos);
  EXPECT_NE(text.find("c:\\quarantine"), std::string::npos);
  EXPECT_NE(text.find("$HOME/quarantine"), std::string::npos);

  const std::pair<const char*, const char*> verdicts[] = {
      {"0", texts::kVerdictNothingFound},
      {"102", texts::kVerdictStopped},
      {"3221225786", texts::kVerdictCrashed},
  };
  for (const auto& [code, verdict] : verdicts) {
    bool found = false;
    for (const std::string& line : lines)
      found = found || (line.rfind("  " + std::string(code) + " ", 0) == 0 &&
                        line.find(verdict) != std::string::npos);
    EXPECT_TRUE(found) << "no line for exit code " << code;
  }
}

TEST_F(ReadmeDocument, EndsWithTheProjectLicence) {
  std::string licence = SourceFile("LICENSE");
  ASSERT_FALSE(licence.empty());
  for (size_t at = 0; (at = licence.find('\n', at)) != std::string::npos; at += 2)
    licence.insert(at, "\r");
  EXPECT_TRUE(text.ends_with("\r\n\r\n" + licence));
  EXPECT_NE(licence.find("MIT License"), std::string::npos);
}

}  // namespace
