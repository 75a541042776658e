// Splitting a command line into items, as the Windows build reads its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quenlo {

// The item starting at or after `position` (blanks are bytes 1 to 32; a quoted
// run may join unquoted ones; quote pairs at the start of an item count as
// blanks), and the position after it. The empty string at the end of the line.
std::string NextArgument(std::string_view line, size_t& position);

// The number of items after the program's own name.
int32_t ArgumentCount(std::string_view line);

// The n-th item after the program's own name (n >= 1), or the empty string.
std::string ArgumentAt(std::string_view line, int32_t n);

}  // namespace quenlo
