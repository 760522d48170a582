// Reading the scanner arguments into one request.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bridge/scan_request.h"
#include "bridge/texts.h"

namespace {

using bridge::PathStyle;
using bridge::ReadRequest;
using bridge::ScanRequest;
using Strings = std::vector<std::string>;

ScanRequest Read(const Strings& args, PathStyle style = PathStyle::kWindows) {
  const bridge::RequestResult result = ReadRequest(args, style);
  EXPECT_TRUE(result.ok()) << result.error;
  return result.request;
}

std::string Refusal(const Strings& args, PathStyle style = PathStyle::kWindows) {
  return ReadRequest(args, style).error;
}

TEST(BridgeRequest, ReadsALineOfTheWindowInItsParts) {
  // The worked example of the window's line, with a quarantine and extras.
  const ScanRequest request = Read(
      {"D:\\data", "/sub", "/rptcor", "/rpterr", "/report", "C:\\TEMP\\scan.txt", "/move",
       "C:\\quarantine", "-d", "C:\\db", "--max-filesize=10M", "--max-scansize", "2g",
       "--exclude=\\.txt$", "--exclude-dir", "^D:/data/skip", "--database=C:\\db2", "E:\\more"});
  EXPECT_EQ(request.targets, (Strings{"D:\\data", "E:\\more"}));
  EXPECT_TRUE(request.Recursive());
  EXPECT_TRUE(request.ReportsIncomplete() && request.ReportsErrors());
  EXPECT_FALSE(request.ReportsEveryFile() || request.Removes() || request.ScansArchives());
  EXPECT_TRUE(request.Treats());
  EXPECT_EQ(request.reportFile, "C:\\TEMP\\scan.txt");
  EXPECT_EQ(request.moveDirectory, "C:\\quarantine");
  EXPECT_EQ(request.databases, (Strings{"C:\\db", "C:\\db2"}));
  EXPECT_EQ(request.maxFileSize, 10u << 20);
  EXPECT_EQ(request.maxScanSize, 2ull << 30);
  EXPECT_EQ(request.excludeFiles, Strings{"\\.txt$"});
  EXPECT_EQ(request.excludeFolders, Strings{"^D:/data/skip"});
}

TEST(BridgeRequest, KnowsEverySwitchOfTheWindowWhateverItsCase) {
  for (const ScanSwitchEntry& entry : kScanSwitches) {
    std::string word = entry.text + 1, upper = word;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    for (const std::string& spelling : {word, upper}) {
      const ScanRequest request = Read({"C:\\x", spelling});
      EXPECT_TRUE(request.Has(entry.id)) << spelling;
      EXPECT_EQ(request.switches.count(), 1u) << spelling;
      EXPECT_EQ(request.targets, Strings{"C:\\x"}) << spelling;
    }
  }
}

TEST(BridgeRequest, RefusesWhatItCannotScanAsAsked) {
  const struct {
    Strings args;
    const char* named;  // what the message must name; "" for any message
  } refused[] = {
      {{"C:\\x", "/sub", "/quick"}, "/quick"},
      {{"/Sub", "/x"}, "/x"},
      // "/report" or "/move" with an empty path: the next word is a switch, or none follows.
      {{"C:\\x", "/report"}, "/report"},
      {{"C:\\x", "/report", "/move", "C:\\q"}, "/report"},
      {{"C:\\x", "/move", "/Sub"}, "/move"},
      // Neither a target nor a drive switch.
      {{"/sub", "/report", "C:\\r.txt"}, ""},
      {{}, ""},
      // Extra parameters the bridge cannot honour are never ignored.
      {{"C:\\x", "--remove"}, "--remove"},
      {{"C:\\x", "-l", "C:\\log.txt"}, "-l"},
      {{"C:\\x", "--max-filesize=lots"}, "lots"},
      {{"C:\\x", "--max-filesize=99999999999999999999G"}, ""},
      // clamscan's sizes end at 20 characters, however many of them are zeros.
      {{"C:\\x", "--max-scansize=0000000000000000000001"}, ""},
      {{"C:\\x", "--exclude=("}, "("},
      {{"C:\\x", "-d"}, "-d"},
  };
  for (const auto& c : refused) {
    const std::string error = Refusal(c.args);
    EXPECT_FALSE(error.empty()) << testing::PrintToString(c.args);
    EXPECT_NE(error.find(c.named), std::string::npos) << error;
  }
  EXPECT_TRUE(Refusal({"/adl"}).empty());
  EXPECT_TRUE(Refusal({"/virlist"}).empty());
}

TEST(BridgeRequest, TellsLinuxPathsFromSwitches) {
  // The quoted target comes first and may lie right under the root.
  EXPECT_EQ(Read({"/srv", "/sub"}, PathStyle::kPosix).targets, Strings{"/srv"});
  EXPECT_EQ(Read({"/home/ann/", "/report", "/tmp/scan.txt", "/move", "/home/ann/quarantine",
                  "/mnt/usb/x"},
                 PathStyle::kPosix)
                .targets,
            (Strings{"/home/ann/", "/mnt/usb/x"}));
  EXPECT_EQ(Read({"/", "/adl"}, PathStyle::kPosix).targets, Strings{"/"});
  // The window writes a folder that shares its name with a switch so that it
  // cannot be taken for one.
  EXPECT_EQ(Read({"/./boot", "/sub"}, PathStyle::kPosix).targets, Strings{"/./boot"});
  // Later words shaped like switches are switches; on Windows even the first.
  EXPECT_NE(Refusal({"/srv", "/sub", "/fast"}, PathStyle::kPosix).find("/fast"), std::string::npos);
  EXPECT_NE(Refusal({"/srv"}, PathStyle::kWindows).find("/srv"), std::string::npos);
  // A Windows path written with forward slashes is a path; so is an option's value.
  EXPECT_EQ(Read({"//server/share"}).targets, Strings{"//server/share"});
  EXPECT_EQ(Read({"/srv", "-d", "/db"}, PathStyle::kPosix).targets, Strings{"/srv"});
}

}  // namespace
