#include "catalogue/record_scanner.h"

#include <algorithm>
#include <cstring>

#include "catalogue/search_key.h"

namespace morvane::catalogue {

namespace {

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
    const char* const end = piece.data() + piece.size();
    const char* next = piece.data();
    // Where the next CR and the next LF lie (end when there is none), each
    // looked up again only once passed: memchr finds them far faster than a
    // byte-by-byte scan, and no byte is searched twice for the same one.
    const char* carriageReturn = nullptr;
    const char* lineFeed = nullptr;
    const auto following = [&](const char*& cached, char c) {
        if (cached == nullptr || cached < next) {
            const void* found = std::memchr(next, c, static_cast<std::size_t>(end - next));
            cached = found != nullptr ? static_cast<const char*>(found) : end;
        }
        return cached;
    };
    while (next < end && !m_match) {
        if (m_afterCarriageReturn) {
            m_afterCarriageReturn = false;
            if (*next == '\n') {
                ++next;
                continue;
            }
        }
        const char* const lineEnd =
            std::min(following(carriageReturn, '\r'), following(lineFeed, '\n'));
        const std::string_view line(next, static_cast<std::size_t>(lineEnd - next));
        if (lineEnd == end) {
            keep(line);  // the line goes on in the next piece
            break;
        }
        m_afterCarriageReturn = *lineEnd == '\r';
        if (m_lineSize == 0) {
            // The whole line lies in this piece: read it where it is.
            if (lineMatches(line))
                m_match = fieldsOfLine(line);
        } else {
            keep(line);
            endLine();
        }
        next = lineEnd + 1;
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
    const std::string_view line(m_line.data(), m_lineSize);
    if (lineMatches(line))
        m_match = fieldsOfLine(line);
    m_lineSize = 0;
}

bool RecordScanner::lineMatches(std::string_view line) const {
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
