// Looks a star up by name in a catalogue file: fixed columns, one star per
// line, the first line whose name column equals the key wins.
#pragma once

#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue/star_fields.h"

namespace morvane::catalogue {

// Searches what the stream holds from its current position, in blocks. The
// key is brought to 20 characters first (which leaves a key from searchKey()
// unchanged). A stream that fails to read is treated as ended there.
std::optional<StarFields> findStar(std::istream& in, std::string_view key);

enum class SearchStatus { Found, NotFound, Unreadable };

struct SearchResult {
    SearchStatus status = SearchStatus::NotFound;
    StarFields fields;   // only when found
    std::string reason;  // only when unreadable: the system's words, e.g. "Permission denied"
};

// Opens, searches and closes the file within the call. A file that opens but
// cannot be read to the end without a match (a directory, an I/O error) is
// unreadable rather than "not found": the star may be in the part not read.
SearchResult searchFile(const std::filesystem::path& path, std::string_view key);

}  // namespace morvane::catalogue
