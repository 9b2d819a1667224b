// Finds the first catalogue line whose name column equals a key, fed the
// file in pieces of any size.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue/characters.h"
#include "catalogue/star_fields.h"

namespace morvane::catalogue {

// The last column the search ever reads.
inline constexpr std::size_t kRecordCharacters = 63;

// CR LF, a lone CR and a lone LF each end a line; a CR LF split between two
// pieces is still one line end. Only the first bytes of a line that can hold
// its first 63 characters are kept, the rest is counted past without being
// stored, so memory stays fixed whatever the line lengths are, and no line
// costs an allocation.
class RecordScanner {
public:
    // The key is taken as given: a line matches when its first 20 characters
    // are exactly these bytes.
    explicit RecordScanner(std::string_view key);

    // Reads the next piece of the file. Returns true once a line has matched;
    // later input is then ignored, as the first match wins.
    bool feed(std::string_view piece);

    // The file has ended; its last line needs no line end.
    bool finish();

    bool matched() const { return m_match.has_value(); }
    const std::optional<StarFields>& match() const { return m_match; }

private:
    void keep(std::string_view bytes);
    void endLine();
    bool lineMatches(std::string_view line) const;

    static constexpr std::size_t kKeptBytes = kRecordCharacters * kMaxCharacterBytes;

    std::string m_key;
    std::array<char, kKeptBytes> m_line{};
    std::size_t m_lineSize = 0;
    bool m_afterCarriageReturn = false;
    std::optional<StarFields> m_match;
};

// The fields of one line, cut at character columns.
StarFields fieldsOfLine(std::string_view line);

}  // namespace morvane::catalogue
