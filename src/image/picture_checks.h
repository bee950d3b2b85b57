#pragma once

#include <string>

namespace quorlin {

// What the picture decoders let through and a skin must not: a bitmap cut off
// before the end of its pixel rows (Qt fills the rest with black), a JPEG without
// its end-of-image marker (libjpeg fills it with grey). Returns why such a file is
// refused, naming it, or nothing for a file the decoder may read.
std::string RefuseBeforeDecoding(const std::string& nativePath);

}  // namespace quorlin
