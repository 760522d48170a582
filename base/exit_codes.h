// The exit codes the window tells apart, as a scanner ends with them and as
// the scan runner reports them. The project's ClamAV bridge ends with the
// same codes, so the window reads its verdicts as it reads a scanner's.
#pragma once

#include <cstdint>

// A scanner's own verdicts.
inline constexpr int kExitNothingFound = 0;
inline constexpr int kExitInfected = 13;
inline constexpr int kExitStopped = 102;
// The ClamAV bridge could not scan: clamscan failed or is missing, the
// arguments were refused, the report cannot be written.
inline constexpr int kExitError = 2;

// A scanner that ended without an exit code of its own (Windows: closed with
// its console; Linux: killed by a signal).
inline constexpr uint32_t kNoExitCode = 0xC000013A;
// The runner's exit code before any scan and after a scanner failed to start.
inline constexpr uint32_t kNoScanExitCode = 0xFFFFFFFF;
