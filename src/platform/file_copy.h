#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quorlin {

// Called with the bytes copied so far and the total; returning false cancels.
using CopyProgress = std::function<bool(uint64_t copied, uint64_t total)>;

// Copies a whole native file: into a temporary file beside the destination,
// flushed to disk, then renamed over the destination. An existing destination is
// only replaced once the new copy is complete, and a failed copy leaves no
// temporary file behind. Throws QuorlinError naming the file on any failure.
void CopyWholeFile(const std::string& nativeSource, const std::string& nativeDestination,
                   const CopyProgress& progress = {});

}  // namespace quorlin
