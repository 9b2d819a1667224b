// Which catalogue file answers a search: the one in the working directory if
// it can be read, else the one installed with the program.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/star_search.h"

namespace morvane::catalogue {

// Relative on purpose: resolved against the working directory at each search.
inline constexpr std::string_view kCatalogueFileName = "star.dat";

// The working directory's catalogue first, then the installed one (left out
// when the caller has none to offer).
std::vector<std::filesystem::path> catalogueCandidates(const std::filesystem::path& installed);

struct ReadFailure {
    std::filesystem::path path;
    std::string reason;
};

struct CatalogueSearchResult {
    SearchStatus status = SearchStatus::NotFound;
    StarFields fields;                  // only when found
    std::filesystem::path answeredBy;   // the file that was read through; empty if none
    std::vector<ReadFailure> failures;  // files that could not be read, in the order tried
};

// Tries the candidates in order. The first one that can be read gives the
// answer, found or not: a star missing from the working directory's
// catalogue is not looked for elsewhere, so what the user sees is what that
// file says. Only when none can be read is the result unreadable.
CatalogueSearchResult searchCatalogue(std::span<const std::filesystem::path> candidates,
                                      std::string_view key);

}  // namespace morvane::catalogue
