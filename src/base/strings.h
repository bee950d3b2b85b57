#pragma once

#include <string>

namespace quorlin {

// Trims leading and trailing spaces only (not tabs), as the game paths and entry
// names are compared.
std::string TrimSpaces(const std::string& text);

// ASCII lower case; other bytes are left alone.
std::string LowerAscii(std::string text);

}  // namespace quorlin
