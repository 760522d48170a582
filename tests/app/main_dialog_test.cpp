// The main window's start-up state, its control rules and its keyboard
// commands, on the in-memory host.
#include "res/version.h"
#include "scan/scan_command.h"
#include "support/fs_helpers.h"
#include "tests/app/main_dialog_fixture.h"

namespace {

constexpr int kCheckBoxes[] = {
    IDC_ALL_DRIVES, IDC_SUBDIRS,        IDC_ALL_LOCAL_DRIVES,
    IDC_ARCHIVES,   IDC_ALL_EXTENSIONS, IDC_ALL_NET_DRIVES,
    IDC_BOOT_ONLY,  IDC_STREAMS,        IDC_MIME,
    IDC_NO_OFFICE,  IDC_CLEAN,          IDC_DELETE,
    IDC_MOVE,       IDC_REMOVE_MACROS,  IDC_REPORT,
    IDC_APPEND,     IDC_RPT_CORRUPT,    IDC_VIEW_AFTER_SCAN,
    IDC_RPT_ERRORS, IDC_RPT_ALL,        IDC_VIRUS_LIST,
};

TEST_F(MainDialogTest, StartUpStateWithATemporaryDirectory) {
  Open();
  EXPECT_EQ(host->Title(), "Quorvel v" QUORVEL_VERSION);
  EXPECT_EQ(host->IconId(), IDI_APP);
  for (int id : kCheckBoxes) {
    const bool on = id == IDC_ALL_LOCAL_DRIVES || id == IDC_REPORT || id == IDC_VIEW_AFTER_SCAN ||
                    id == IDC_RPT_ERRORS || id == IDC_RPT_CORRUPT;
    EXPECT_EQ(Check(id), on ? 1 : 0) << "check box " << id;
  }
  EXPECT_EQ(Text(IDC_REPORT_FILE), temp.path() + kSeparator + "scan.txt");
  EXPECT_EQ(Text(IDC_TARGET), "");
  EXPECT_EQ(Text(IDC_MOVE_DIR), "");
  EXPECT_EQ(Text(IDC_EXTRA_ARGS), "");
  EXPECT_EQ(Text(IDC_STATUS), "空闲");
  // The report does not exist yet.
  EXPECT_FALSE(Enabled(IDC_VIEW_REPORT));
  EXPECT_FALSE(Enabled(IDC_DELETE_REPORT));
  EXPECT_FALSE(Enabled(IDC_MOVE_DIR));
  EXPECT_FALSE(Enabled(IDC_BROWSE_MOVE_DIR));
  for (int id : {IDC_REPORT_FILE, IDC_BROWSE_REPORT, IDC_APPEND, IDC_RPT_ALL, IDC_SCAN, IDC_TARGET})
    EXPECT_TRUE(Enabled(id)) << id;
  EXPECT_EQ(host->FocusedItem(), IDC_TARGET);
  // Screen readers hear what each "..." button chooses.
  EXPECT_EQ(host->AccessibleName(IDC_BROWSE_TARGET), "选择扫描目录");
  EXPECT_EQ(host->AccessibleName(IDC_BROWSE_MOVE_DIR), "选择目录");
  EXPECT_EQ(host->AccessibleName(IDC_BROWSE_REPORT), "选择报告文件");
}

// Each switch box adds its own switch to the line, the macro box none.
TEST_F(MainDialogTest, EachSwitchBoxGivesItsOwnSwitch) {
  const std::pair<int, std::string> boxes[] = {
      {IDC_ALL_DRIVES, " /ad"},      {IDC_ALL_LOCAL_DRIVES, " /adl"},
      {IDC_ALL_NET_DRIVES, " /adn"}, {IDC_CLEAN, " /clean"},
      {IDC_BOOT_ONLY, " /boot"},     {IDC_DELETE, " /del"},
      {IDC_APPEND, " /append"},      {IDC_MIME, " /mime"},
      {IDC_SUBDIRS, " /sub"},        {IDC_ARCHIVES, " /unzip"},
      {IDC_ALL_EXTENSIONS, " /all"}, {IDC_RPT_ALL, " /rptall"},
      {IDC_RPT_CORRUPT, " /rptcor"}, {IDC_RPT_ERRORS, " /rpterr"},
      {IDC_STREAMS, " /streams"},    {IDC_VIRUS_LIST, " /virlist"},
      {IDC_NO_OFFICE, " /nodoc"},    {IDC_REMOVE_MACROS, ""}};
  Open();
  for (const auto& [box, text] : boxes) {
    for (int id : kCheckBoxes) host->SetCheck(id, 0);
    host->SetCheck(box, 1);
    EXPECT_EQ(ComposeScanCommandLine(dialog.GatherSettings(), "scan"), "scan" + text) << box;
  }
}

TEST_F(MainDialogTest, StartUpWithAnExistingReportEnablesViewAndDelete) {
  testing_support::WriteTextFile(temp.Join("scan.txt"), "old report");
  Open();
  EXPECT_TRUE(Enabled(IDC_VIEW_REPORT));
  EXPECT_TRUE(Enabled(IDC_DELETE_REPORT));
}

TEST_F(MainDialogTest, StartUpWithoutATemporaryDirectoryLeavesTheReportOff) {
  desktop.temporaryDirectory.clear();
  Open();
  for (int id : {IDC_REPORT, IDC_VIEW_AFTER_SCAN, IDC_RPT_ERRORS, IDC_RPT_CORRUPT})
    EXPECT_EQ(Check(id), 0) << id;
  EXPECT_EQ(Check(IDC_ALL_LOCAL_DRIVES), 1);
  EXPECT_EQ(Text(IDC_REPORT_FILE), "");
  for (int id : {IDC_REPORT_FILE, IDC_BROWSE_REPORT, IDC_APPEND, IDC_RPT_ALL, IDC_RPT_CORRUPT,
                 IDC_RPT_ERRORS, IDC_VIEW_AFTER_SCAN, IDC_VIEW_REPORT, IDC_DELETE_REPORT})
    EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_TRUE(Enabled(IDC_REPORT));
}

TEST_F(MainDialogTest, EditingTheTargetResetsTheDriveChoice) {
  Open();
  host->Click(IDC_ALL_DRIVES);
  host->Click(IDC_ALL_NET_DRIVES);
  host->Type(IDC_TARGET, "D");
  EXPECT_EQ(Check(IDC_SUBDIRS), 1);
  EXPECT_EQ(Check(IDC_ALL_LOCAL_DRIVES), 0);
  EXPECT_EQ(Check(IDC_ALL_DRIVES), 0);
  EXPECT_EQ(Check(IDC_ALL_NET_DRIVES), 0);

  // The user may set them again after the edit; the next edit undoes that.
  host->Click(IDC_ALL_NET_DRIVES);
  host->Click(IDC_SUBDIRS);
  EXPECT_EQ(Check(IDC_ALL_NET_DRIVES), 1);
  host->Type(IDC_TARGET, "");
  EXPECT_EQ(Check(IDC_SUBDIRS), 0);
  EXPECT_EQ(Check(IDC_ALL_LOCAL_DRIVES), 1);
  EXPECT_EQ(Check(IDC_ALL_NET_DRIVES), 0);
}

TEST_F(MainDialogTest, MoveToggleFillsTheQuarantineAndKeepsTypedText) {
  Open();
  host->Click(IDC_MOVE);
  EXPECT_EQ(Text(IDC_MOVE_DIR), DefaultQuarantineDirectory());
  EXPECT_TRUE(Enabled(IDC_MOVE_DIR));
  EXPECT_TRUE(Enabled(IDC_BROWSE_MOVE_DIR));

  host->Type(IDC_MOVE_DIR, "elsewhere");
  host->Click(IDC_MOVE);  // off: text kept, edit disabled
  EXPECT_EQ(Text(IDC_MOVE_DIR), "elsewhere");
  EXPECT_FALSE(Enabled(IDC_MOVE_DIR));
  EXPECT_FALSE(Enabled(IDC_BROWSE_MOVE_DIR));

  host->Click(IDC_MOVE);  // on with a directory typed: left alone
  EXPECT_EQ(Text(IDC_MOVE_DIR), "elsewhere");
}

TEST_F(MainDialogTest, OnlyCancelEndsTheWindow) {
  Open();
  host->Click(IDC_REMOVE_MACROS);  // no handler, no effect beyond its check mark
  EXPECT_EQ(Check(IDC_REMOVE_MACROS), 1);
  EXPECT_FALSE(host->IsEnded());
  host->PressEscape();
  EXPECT_TRUE(host->IsEnded());
  EXPECT_EQ(host->Result(), IDCANCEL);
}

}  // namespace
