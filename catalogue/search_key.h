// The name typed in the search box, brought to the width of the catalogue's
// name column.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace morvane::catalogue {

// Characters in the name column of every catalogue line.
inline constexpr std::size_t kKeyCharacters = 20;

// The typed text followed by spaces and cut to exactly 20 characters (not
// bytes: the text is UTF-8 and a name may hold letters beyond ASCII). A text
// that is already a key comes back unchanged, so searching twice with the
// key written back into the box finds the same line.
std::string searchKey(std::string_view typed);

}  // namespace morvane::catalogue
