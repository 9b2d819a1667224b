// The coordinate texts of one catalogue line, as they stand in its columns.
#pragma once

#include <string>

namespace morvane::catalogue {

// Copied verbatim, never trimmed or checked: a malformed line yields whatever
// its columns hold, and a field beyond the end of a short line is empty or
// partial. The texts are UTF-8 except where the file held bytes that are not.
struct StarFields {
    std::string raHours;
    std::string raMinutes;
    std::string raSeconds;
    std::string decSign;
    std::string decDegrees;
    std::string decArcminutes;

    bool operator==(const StarFields&) const = default;
};

}  // namespace morvane::catalogue
