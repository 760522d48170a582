// Sizes as ClamAV's programs write them: clamscan's --max-filesize=25M,
// clamd.conf's "MaxFileSize 25M".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace bridge {

// Digits for bytes, or digits and one K, M or G (either case) for KiB, MiB
// or GiB. Nothing for any other text, for one longer than maxLength and for
// a size beyond 64 bits.
std::optional<uint64_t> ReadByteSize(std::string_view text,
                                     size_t maxLength = std::string_view::npos);

}  // namespace bridge
