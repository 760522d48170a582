#include "bridge/scan_events.h"

namespace bridge {

std::optional<Shortfall> LimitOfAlert(std::string_view virusName) {
  static constexpr std::string_view kEncrypted = "Heuristics.Encrypted";
  if (virusName.substr(0, kEncrypted.size()) == kEncrypted) return Shortfall::kEncrypted;
  static constexpr std::string_view kPrefix = "Heuristics.Limits.Exceeded";
  if (virusName.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  const std::string_view limit = virusName.substr(kPrefix.size());
  const auto is = [&](std::string_view name) { return limit.find(name) != std::string_view::npos; };
  if (is("MaxFileSize")) return Shortfall::kFileSizeLimit;
  if (is("MaxScanSize")) return Shortfall::kScanSizeLimit;
  if (is("MaxRecursion")) return Shortfall::kRecursionLimit;
  if (is("MaxFiles")) return Shortfall::kFilesLimit;
  if (is("MaxScanTime")) return Shortfall::kTimeLimit;
  return Shortfall::kOtherLimit;
}

Verdict FromDetection(std::string virusName, FileIdentity scanned) {
  if (const std::optional<Shortfall> limit = LimitOfAlert(virusName))
    return Verdict::Incomplete(*limit, virusName);
  return Verdict::Infected(std::move(virusName), scanned);
}

}  // namespace bridge
