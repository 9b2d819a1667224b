#include "catalogue/record_scanner.h"

#include <algorithm>
#include <cstring>

#include "catalogue/search_key.h"

namespace morvane::catalogue {

namespace {

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// A field's first column (counted from 1) and its width.
struct Column {
    std::size_t first;
    std::size_t width;
};

constexpr Column kRaHours{48, 2};
constexpr Column kRaMinutes{51, 2};
constexpr Column kRaSeconds{54, 2};
constexpr Column kDecSign{58, 1};
constexpr Column kDecDegrees{59, 2};
constexpr Column kDecArcminutes{62, 2};

}  // namespace

RecordScanner::RecordScanner(std::string_view key) : m_key(key) {}

bool RecordScanner::feed(std::string_view piece) {
    std::size_t pos = 0;
    while (pos < piece.size() && !m_match) {
        if (m_afterCarriageReturn) {
            m_afterCarriageReturn = false;
            if (piece[pos] == '\n') {
                ++pos;
                continue;
            }
        }
        const auto rest = piece.substr(pos);
        const auto end = std::find_if(rest.begin(), rest.end(), isLineEnd);
        const auto length = static_cast<std::size_t>(end - rest.begin());
        keep(rest.substr(0, length));
        if (end == rest.end())
            break;
        m_afterCarriageReturn = *end == '\r';
        endLine();
        pos += length + 1;
    }
    return matched();
}

bool RecordScanner::finish() {
    if (!m_match && m_lineSize > 0)
        endLine();
    return matched();
}

void RecordScanner::keep(std::string_view bytes) {
    const std::size_t room = kKeptBytes - m_lineSize;
    const std::size_t taken = std::min(room, bytes.size());
    std::memcpy(m_line.data() + m_lineSize, bytes.data(), taken);
    m_lineSize += taken;
}

void RecordScanner::endLine() {
    if (lineMatches())
        m_match = fieldsOfLine({m_line.data(), m_lineSize});
    m_lineSize = 0;
}

bool RecordScanner::lineMatches() const {
    const std::string_view line(m_line.data(), m_lineSize);
    // Comparing bytes first keeps the common mismatch cheap; the character
    // count then rejects a line whose 20th character runs on past the key's
    // bytes (a key ending in a stray lead byte against a whole sequence).
    return line.size() >= m_key.size() && line.compare(0, m_key.size(), m_key) == 0 &&
           prefixBytes(line, kKeyCharacters) == m_key.size();
}

StarFields fieldsOfLine(std::string_view line) {
    // Byte offset where each of the first 63 characters begins, plus the end.
    std::array<std::size_t, kRecordCharacters + 1> starts{};
    std::size_t characters = 0;
    std::size_t offset = 0;
    while (characters < kRecordCharacters && offset < line.size()) {
        starts[characters++] = offset;
        offset += characterLength(line.substr(offset));
    }
    starts[characters] = offset;

    const auto field = [&](Column column) {
        const std::size_t first = std::min(column.first - 1, characters);
        const std::size_t last = std::min(column.first - 1 + column.width, characters);
        return std::string(line.substr(starts[first], starts[last] - starts[first]));
    };
    return {field(kRaHours), field(kRaMinutes),  field(kRaSeconds),
            field(kDecSign), field(kDecDegrees), field(kDecArcminutes)};
}

}  // namespace morvane::catalogue
