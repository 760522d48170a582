#include "scan/scan_command.h"

#include "base/text.h"
#include "base/text_format.h"
#include "base/windows_argv_quote.h"
#include "res/texts.h"
#include "support/fs_helpers.h"

// Where names may hold a quote (Linux), each one inside is escaped, so the
// scanner gets the name unchanged; on Windows a typed quote stays as it is.
std::string QuoteArgument(const std::string& arg) {
  return QuoteWindowsArgument(arg, kNamesMayHoldQuotes);
}

std::string QuoteIfBlank(const std::string& arg) {
  return arg.find_first_of(" \t") == std::string::npos ? arg : QuoteArgument(arg);
}

std::string QuotePathIfNeeded(const std::string& path) {
  return kNamesMayHoldQuotes && path.find('"') != std::string::npos ? QuoteArgument(path)
                                                                    : QuoteIfBlank(path);
}

// Once a Linux line is split its quotes are gone, and a folder right under
// the root that shares its name with a switch ("/boot", "/move") would read
// as that switch: it is written "/./boot", which names the same folder.
std::string NotASwitch(const std::string& path) {
  if (!kNamesMayHoldQuotes || path.size() < 2 || path[0] != '/' ||
      path.find('/', 1) != std::string::npos)
    return path;
  return NamesSwitch(Lower(path)) ? "/." + path : path;
}

std::string ComposeScanCommandLine(const ScanSettings& settings, const std::string& scannerPath) {
  // A program path with a blank is quoted, or "C:\Program Files\..." could
  // start "C:\Program.exe".
  std::string line = QuoteIfBlank(scannerPath);

  // The target is always quoted, as typed (a blank-only target is a target).
  if (!settings.target.empty()) line += " " + QuoteArgument(NotASwitch(settings.target));

  // Every checked switch counts, enabled or not.
  for (size_t i = 0; i < kScanSwitches.size(); ++i)
    if (settings.switchOn[i]) line += kScanSwitches[i].text;

  // Appended even when empty; the scanner then complains itself.
  const auto addPathSwitch = [&line](PathSwitch id, const std::string& path) {
    line += PathSwitchText(id);
    line += " " + QuotePathIfNeeded(NotASwitch(path));
  };
  if (settings.reportToFile) addPathSwitch(PathSwitch::kReport, settings.reportPath);
  if (settings.moveInfected) addPathSwitch(PathSwitch::kMove, settings.moveDirectory);

  if (!settings.extraArgs.empty()) line += " " + settings.extraArgs;
  return line;
}

std::optional<std::string> BuildScanCommandLine(const ScanSettings& typed,
                                                const std::string& scannerPath,
                                                UserPrompts& prompts) {
  // "~/..." means the home folder as everywhere else on Linux; the questions
  // and the line show the full path, and the scanner gets one it can open.
  ScanSettings settings = typed;
  for (std::string* path : {&settings.target, &settings.reportPath, &settings.moveDirectory})
    *path = ExpandHomeFolder(*path);

  if (settings.reportToFile) {
    const std::string& path = settings.reportPath;
    if (!settings.AppendToReport() && PathPatternExists(path, kAnyNonDirectory) &&
        !prompts.AskYesNo(FormatText(texts::kOverwriteReportText, path.c_str()),
                          texts::kOverwriteReportCaption))
      return std::nullopt;
  }

  if (settings.moveInfected) {
    const std::string& dir = settings.moveDirectory;
    // As with the Windows directory search, a name that ends in a separator
    // finds nothing: such a directory is asked about even when it exists, and
    // creating it then makes nothing new.
    const bool endsInSeparator = !dir.empty() && dir.back() == kPathSeparator;
    if (endsInSeparator || !PathPatternExists(dir, kDirectoryAttribute)) {
      if (!prompts.AskYesNo(FormatText(texts::kCreateDirectoryText, dir.c_str()),
                            texts::kCreateDirectoryCaption))
        return std::nullopt;
      SystemErrorCode error = 0;
      if (!CreateDirectoryTree(dir, &error)) {
        prompts.ShowError(texts::kErrorCreateDirectory, error);
        return std::nullopt;
      }
    }
  }

  // Both questions are answered (and the directory made): the line itself
  // depends on the settings alone.
  return ComposeScanCommandLine(settings, scannerPath);
}
