// The bridge's portable logic: reading the scanner arguments, the clamscan
// options they become, the drive lists, the exit codes, the command line for
// CreateProcessW, the /virlist summary and the reading of clamscan's output.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bridge.h"
#include "bridge_internal.h"
#include "bridge_texts.h"
#include "command_line_split.h"

namespace {

using bridge::Arguments;
using bridge::ChildEnd;
using bridge::DriveKind;
using bridge::DriveSelection;
using bridge::ParseArguments;
using bridge::PathStyle;
using bridge::Plan;
using Strings = std::vector<std::string>;

Arguments Parsed(const Strings& args, PathStyle style = PathStyle::kWindows) {
  const bridge::ParseResult result = ParseArguments(args, style);
  EXPECT_TRUE(result.ok()) << result.error;
  return result.arguments;
}

std::string ParseError(const Strings& args, PathStyle style = PathStyle::kWindows) {
  return ParseArguments(args, style).error;
}

std::vector<Strings> ClamscanRuns(const Strings& args, const DriveSelection& drives = {},
                                  PathStyle style = PathStyle::kWindows) {
  return bridge::MakePlan(Parsed(args, style), drives).clamscanRuns;
}

// ---- Reading the arguments ----

TEST(BridgeArguments, ReadsALineOfTheWindowInItsParts) {
  // The worked example of the window's line, with a quarantine and extras.
  const Arguments args =
      Parsed({"D:\\data", "/sub", "/rptcor", "/rpterr", "/report", "C:\\TEMP\\scan.txt", "/move",
              "C:\\quarantine", "-d", "C:\\db", "--max-filesize=10M", "E:\\more"});
  EXPECT_EQ(args.targets, (Strings{"D:\\data", "E:\\more"}));
  EXPECT_EQ(args.switches, (Strings{"/sub", "/rptcor", "/rpterr"}));
  EXPECT_EQ(args.reportFile, "C:\\TEMP\\scan.txt");
  EXPECT_EQ(args.moveDirectory, "C:\\quarantine");
  EXPECT_EQ(args.clamscanOptions, (Strings{"-d", "C:\\db", "--max-filesize=10M"}));
}

TEST(BridgeArguments, KnowsEverySwitchOfTheWindowWhateverItsCase) {
  for (const char* word :
       {"/ad", "/adl", "/adn", "/clean", "/boot", "/del", "/append", "/mime", "/sub", "/unzip",
        "/all", "/rptall", "/rptcor", "/rpterr", "/streams", "/virlist", "/nodoc"}) {
    std::string upper = word;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    for (const std::string& spelling : {std::string(word), upper}) {
      const Arguments args = Parsed({"C:\\x", spelling});
      EXPECT_TRUE(args.Has(word)) << spelling;
      EXPECT_EQ(args.targets, Strings{"C:\\x"}) << spelling;
    }
  }
}

TEST(BridgeArguments, RefusesWhatItCannotScanAsAsked) {
  EXPECT_NE(ParseError({"C:\\x", "/sub", "/quick"}).find("/quick"), std::string::npos);
  EXPECT_NE(ParseError({"/Sub", "/x"}).find("/x"), std::string::npos);
  // "/report" or "/move" with an empty path: the next word is a switch, or none follows.
  EXPECT_NE(ParseError({"C:\\x", "/report"}).find("/report"), std::string::npos);
  EXPECT_NE(ParseError({"C:\\x", "/report", "/move", "C:\\q"}).find("/report"), std::string::npos);
  EXPECT_NE(ParseError({"C:\\x", "/move", "/Sub"}).find("/move"), std::string::npos);
  // Neither a target nor a drive switch: clamscan would scan its current folder.
  EXPECT_FALSE(ParseError({"/sub", "/report", "C:\\r.txt"}).empty());
  EXPECT_FALSE(ParseError({}).empty());
  EXPECT_TRUE(ParseError({"/adl"}).empty());
  EXPECT_TRUE(ParseError({"/virlist"}).empty());
}

TEST(BridgeArguments, TellsLinuxPathsFromSwitches) {
  // The quoted target comes first and may lie right under the root.
  EXPECT_EQ(Parsed({"/srv", "/sub"}, PathStyle::kPosix).targets, Strings{"/srv"});
  EXPECT_EQ(Parsed({"/home/ann/", "/report", "/tmp/scan.txt", "/move", "/home/ann/quarantine",
                    "/mnt/usb/x"},
                   PathStyle::kPosix)
                .targets,
            (Strings{"/home/ann/", "/mnt/usb/x"}));
  EXPECT_EQ(Parsed({"/", "/adl"}, PathStyle::kPosix).targets, Strings{"/"});
  // Later words shaped like switches are switches; on Windows even the first.
  EXPECT_NE(ParseError({"/srv", "/sub", "/fast"}, PathStyle::kPosix).find("/fast"),
            std::string::npos);
  EXPECT_NE(ParseError({"/srv"}, PathStyle::kWindows).find("/srv"), std::string::npos);
  // A Windows path written with forward slashes is a path.
  EXPECT_EQ(Parsed({"//server/share"}).targets, Strings{"//server/share"});
}

TEST(BridgeArguments, TakesTheValueOfAClamscanOptionWithIt) {
  // The database folder is not a second target, even when it looks like a switch.
  const Arguments args =
      Parsed({"/srv", "-d", "/db", "--database", "/db2", "-l", "/log"}, PathStyle::kPosix);
  EXPECT_EQ(args.targets, Strings{"/srv"});
  EXPECT_EQ(args.clamscanOptions, (Strings{"-d", "/db", "--database", "/db2", "-l", "/log"}));
}

// ---- The clamscan options ----

TEST(BridgePlan, PlainTargetListsEveryFileAndScansNoArchivesOrMail) {
  EXPECT_EQ(ClamscanRuns({"D:\\data"}),
            (std::vector<Strings>{{"--scan-archive=no", "--scan-mail=no", "D:\\data"}}));
}

TEST(BridgePlan, DrivesAreScannedWithAllBelowThemAndATargetOnlyWithSub) {
  const DriveSelection drives{{"/"}, {"^/proc(/|$)"}};
  for (const char* driveSwitch : {"/ad", "/adl", "/adn"}) {
    // Without /sub the target gets a run of its own, not recursive.
    EXPECT_EQ(ClamscanRuns({"/srv", driveSwitch, "-d", "/db"}, drives, PathStyle::kPosix),
              (std::vector<Strings>{{"--scan-archive=no", "--scan-mail=no", "-d", "/db", "/srv"},
                                    {"--recursive", "--scan-archive=no", "--scan-mail=no",
                                     "--exclude-dir=^/proc(/|$)", "-d", "/db", "/"}}))
        << driveSwitch;
    EXPECT_EQ(ClamscanRuns({"/srv", driveSwitch, "/sub"}, drives, PathStyle::kPosix),
              (std::vector<Strings>{{"--recursive", "--scan-archive=no", "--scan-mail=no",
                                     "--exclude-dir=^/proc(/|$)", "/srv", "/"}}))
        << driveSwitch;
  }
}

TEST(BridgePlan, NoDriveFoundIsAProblemAndWithoutTargetNothingToScan) {
  Plan plan = bridge::MakePlan(Parsed({"/adn"}), {});
  EXPECT_EQ(plan.action, Plan::Action::kNothingToScan);
  EXPECT_EQ(plan.problems, Strings{bridge::texts::kNoteNoDrives});
  plan = bridge::MakePlan(Parsed({"C:\\x", "/adn"}), {});
  EXPECT_EQ(plan.action, Plan::Action::kScan);
  EXPECT_EQ(plan.problems.size(), 1u);
}

TEST(BridgePlan, VirusListKeepsOnlyTheDatabaseOptions) {
  const Plan plan =
      bridge::MakePlan(Parsed({"C:\\x", "/sub", "/virlist", "-d", "C:\\db", "--max-filesize=1M",
                               "--database=C:\\more", "-l", "C:\\log.txt"}),
                       {});
  EXPECT_EQ(plan.action, Plan::Action::kVirusList);
  EXPECT_EQ(plan.databaseOptions, (Strings{"-d", "C:\\db", "--database=C:\\more"}));
}

// ---- Drives ----

TEST(BridgeDrives, WindowsTakesFixedDrivesAsLocalAndRemoteOnesAsNetwork) {
  const std::vector<bridge::Drive> drives = {{"A:\\", DriveKind::kOther},
                                             {"C:\\", DriveKind::kLocal},
                                             {"D:\\", DriveKind::kOther},
                                             {"E:\\", DriveKind::kLocal},
                                             {"N:\\", DriveKind::kNetwork}};
  EXPECT_EQ(bridge::SelectWindowsDrives(drives, true, false).roots, (Strings{"C:\\", "E:\\"}));
  EXPECT_EQ(bridge::SelectWindowsDrives(drives, false, true).roots, Strings{"N:\\"});
  EXPECT_EQ(bridge::SelectWindowsDrives(drives, true, true).roots,
            (Strings{"C:\\", "E:\\", "N:\\"}));
  EXPECT_TRUE(bridge::SelectWindowsDrives(drives, true, true).excludeDirs.empty());
}

constexpr char kMounts[] =
    "/dev/sda1 / ext4 rw,relatime 0 0\n"
    "proc /proc proc rw,nosuid 0 0\n"
    "sysfs /sys sysfs rw 0 0\n"
    "cgroup /sys/fs/cgroup/memory cgroup rw 0 0\n"
    "tmpfs /run tmpfs rw 0 0\n"
    "/dev/sda2 /home ext4 rw 0 0\n"
    "server:/export /mnt/nfs nfs4 rw 0 0\n"
    "server:/export/sub /mnt/nfs/deeper nfs4 rw 0 0\n"
    "//nas/share /mnt/my\\040share cifs rw 0 0\n"
    "ann@host:/ /home/ann/remote fuse.sshfs rw 0 0\n"
    "binfmt_misc /proc/sys/fs/binfmt_misc binfmt_misc rw 0 0\n"
    "none /srv/odd|(dir) debugfs rw 0 0\n";

TEST(BridgeDrives, LinuxLocalDrivesAreTheRootWithoutKernelAndNetworkFileSystems) {
  const DriveSelection local = bridge::SelectPosixDrives(kMounts, true, false);
  EXPECT_EQ(local.roots, Strings{"/"});
  EXPECT_EQ(local.excludeDirs,
            (Strings{"^/dev(/|$)", "^/home/ann/remote(/|$)", "^/mnt/my share(/|$)",
                     "^/mnt/nfs(/|$)", "^/proc(/|$)", "^/srv/odd\\|\\(dir\\)(/|$)", "^/sys(/|$)"}));
  // All drives: the network mounts are scanned as part of the root.
  const DriveSelection all = bridge::SelectPosixDrives(kMounts, true, true);
  EXPECT_EQ(all.roots, Strings{"/"});
  EXPECT_EQ(all.excludeDirs,
            (Strings{"^/dev(/|$)", "^/proc(/|$)", "^/srv/odd\\|\\(dir\\)(/|$)", "^/sys(/|$)"}));
}

TEST(BridgeDrives, LinuxNetworkDrivesAreTheMountedNetworkFileSystems) {
  const DriveSelection network = bridge::SelectPosixDrives(kMounts, false, true);
  EXPECT_EQ(network.roots, (Strings{"/home/ann/remote", "/mnt/my share", "/mnt/nfs"}));
  EXPECT_TRUE(network.excludeDirs.empty());
  EXPECT_TRUE(bridge::SelectPosixDrives("/dev/sda1 / ext4 rw 0 0\n", false, true).roots.empty());
}

// ---- Exit codes ----

TEST(BridgeExitCode, TellsNothingFoundInfectionsErrorsAndStops) {
  using Kind = ChildEnd::Kind;
  EXPECT_EQ(bridge::MapExitCode({Kind::kExited, 0}, false), kExitNothingFound);
  EXPECT_EQ(bridge::MapExitCode({Kind::kExited, 1}, false), kExitInfected);
  EXPECT_EQ(bridge::MapExitCode({Kind::kExited, 2}, false), kExitError);
  EXPECT_EQ(bridge::MapExitCode({Kind::kExited, 50}, false), kExitError);
  EXPECT_EQ(bridge::MapExitCode({Kind::kOther, 0}, false), kExitError);  // crashed
  EXPECT_EQ(bridge::MapExitCode({Kind::kInterrupted, 0}, false), kExitStopped);
  // Stopped by the user, whatever clamscan managed to say.
  EXPECT_EQ(bridge::MapExitCode({Kind::kExited, 0}, true), kExitStopped);
  EXPECT_EQ(bridge::MapExitCode({Kind::kExited, 1}, true), kExitStopped);
  // Parts of one scan: infected files are told even when another part failed.
  EXPECT_EQ(bridge::WorseExitCode(2, 13), 13);
  EXPECT_EQ(bridge::WorseExitCode(0, 2), 2);
  EXPECT_EQ(bridge::WorseExitCode(13, 102), 102);
}

// ---- /virlist ----

TEST(BridgeVirusList, NoCountWithoutLoadedSignatures) {
  EXPECT_FALSE(bridge::VirusListLines("ClamAV 1.4.6\n", "ERROR: Can't open file\n").has_value());
  EXPECT_FALSE(bridge::VirusListLines("ClamAV 1.4.6\n", "Known viruses: 0\n").has_value());
}

// ---- clamscan's output ----

TEST(BridgeOutput, ReadsClamscanLinesHoweverTheyArrive) {
  Strings console, errors;
  const bridge::Printer print = [&](const std::string& line, bool error) {
    (error ? errors : console).push_back(line);
  };
  bridge::Output out(print);
  bridge::ClamscanReader reader(out, false);
  const std::string text =
      "/a: b.txt: OK\r\n/x/eicar.com: Eicar-Signature FOUND\n/x/eicar.com: Removed.\n\n"
      "----------- SCAN SUMMARY -----------\nScanned directories: 3\nScanned files: 7\n"
      "Infected files: 1\n/last: OK";
  // One byte at a time: lines split anywhere, the last one without its end.
  for (char c : text) reader.Feed(std::string_view(&c, 1), false);
  reader.Feed("LibClamAV Error: cli_loaddbdir: No supported database files found in /db\nERR",
              true);
  reader.Feed("OR: Can't open file or directory", true);
  reader.FinishRun();
  EXPECT_EQ(console, (Strings{"/a: b.txt: OK",
                              bridge::texts::kInfectedMark +
                                  std::string("/x/eicar.com: Eicar-Signature FOUND"),
                              "/x/eicar.com: Removed."}));
  EXPECT_EQ(errors.size(), 2u);
  // The summary's counts win over the lines seen (clamscan may be told to list fewer).
  const bridge::ScanTotals& totals = reader.totals();
  EXPECT_EQ(totals.files, 7);
  EXPECT_EQ(totals.infected, 1);
  EXPECT_EQ(totals.directories, 3);
  EXPECT_EQ(totals.errors, 1);
  EXPECT_TRUE(totals.missingDatabase);

  // A line that never ends is passed on in parts, not held without bound.
  reader.Feed(std::string(200 * 1024, 'x'), false);
  EXPECT_GE(console.size(), 6u);
}

TEST(BridgeOutput, FileNamesCannotSteerTheConsole) {
  EXPECT_EQ(bridge::ConsoleSafe("\x1b]0;title\x07/tmp/\x1b[2Jx: OK"), "?]0;title?/tmp/?[2Jx: OK");
  // Broken UTF-8, an overlong '/', C1 controls; whole characters stay.
  EXPECT_EQ(bridge::ConsoleSafe("a\xff\xc0\xaf\xc2\x9b\xe4\xb8\xad\t\xe4\xb8"),
            "a????\xe4\xb8\xad\t??");
}

}  // namespace
