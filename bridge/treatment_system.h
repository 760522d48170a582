// The treatment's file operations, each system's own (treatment_posix.cpp,
// treatment_win.cpp). Each acts only while the path (not followed) still
// names the file with the expected identity.
#pragma once

#include <string>

#include "bridge/scan_events.h"

namespace bridge::treatment_system {

enum class Outcome { kDone, kNameTaken, kNotSame, kFailed };

// Moves the file to folder/name, never replacing anything there; across
// file systems a complete copy is made before the original goes.
Outcome MoveNoReplace(const std::string& systemPath, const FileIdentity& expected,
                      const std::string& folder, const std::string& name, std::string* error);

Outcome Remove(const std::string& systemPath, const FileIdentity& expected, std::string* error);

}  // namespace bridge::treatment_system
