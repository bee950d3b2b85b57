#pragma once

#include <string>

namespace quorlin {

// What the picture decoders let through and a skin must not: a bitmap cut off
// before the end of its pixel rows (Qt fills the rest with black), a JPEG without
// its end-of-image marker (libjpeg fills it with grey). Throws QuorlinError naming
// such a file and why it is refused, or one that cannot be read.
void RefuseBeforeDecoding(const std::string& nativePath);

}  // namespace quorlin
