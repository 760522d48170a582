// What /move and /del do, on every system; the system's side is in
// treatment_posix.cpp and treatment_win.cpp.
#include "bridge/treatment.h"

#include <cstdio>

#include "bridge/texts.h"
#include "bridge/treatment_system.h"
#include "bridge/walk_system.h"

namespace bridge {

namespace ws = walk_system;
namespace ts = treatment_system;

namespace {

// The identity to hold the path to: what the engine scanned, else what the
// walk saw.
const FileIdentity& Expected(const FileToScan& file, const FileIdentity& scanned) {
  return scanned.known ? scanned : file.identity;
}

Treatment Failed(std::string why) { return {Treatment::Kind::kFailed, std::move(why)}; }

}  // namespace

Treatment Treat(const ScanRequest& request, const FileToScan& file, const FileIdentity& scanned) {
  if (request.moveDirectory) return MoveIntoQuarantine(file, scanned, *request.moveDirectory);
  if (request.Has(ScanSwitch::kDelete)) return RemoveInfected(file, scanned);
  return {};
}

Treatment MoveIntoQuarantine(const FileToScan& file, const FileIdentity& scanned,
                             const std::string& folder) {
  const std::string name = ws::LastName(file.systemPath);
  for (int number = 0; number <= 999; ++number) {
    std::string candidate = name;
    if (number > 0) {
      char suffix[8];
      std::snprintf(suffix, sizeof suffix, ".%03d", number);
      candidate += suffix;
    }
    std::string error;
    switch (
        ts::MoveNoReplace(file.systemPath, Expected(file, scanned), folder, candidate, &error)) {
      case ts::Outcome::kDone:
        return {Treatment::Kind::kMoved, ws::JoinPath(folder, candidate)};
      case ts::Outcome::kNameTaken:
        continue;
      case ts::Outcome::kNotSame:
        return Failed(texts::kTreatNotSame);
      case ts::Outcome::kFailed:
        return Failed(texts::kTreatMoveFailed + error);
    }
  }
  return Failed(texts::kTreatNoFreeName);
}

Treatment RemoveInfected(const FileToScan& file, const FileIdentity& scanned) {
  std::string error;
  switch (ts::Remove(file.systemPath, Expected(file, scanned), &error)) {
    case ts::Outcome::kDone:
      return {Treatment::Kind::kRemoved, {}};
    case ts::Outcome::kNotSame:
      return Failed(texts::kTreatNotSame);
    default:
      return Failed(texts::kTreatRemoveFailed + error);
  }
}

}  // namespace bridge
