#include "catalogue/catalogue_lookup.h"

namespace morvane::catalogue {

std::vector<std::filesystem::path> catalogueCandidates(const std::filesystem::path& installed) {
    std::vector<std::filesystem::path> candidates{std::filesystem::path(kCatalogueFileName)};
    if (!installed.empty())
        candidates.push_back(installed);
    return candidates;
}

CatalogueSearchResult searchCatalogue(std::span<const std::filesystem::path> candidates,
                                      std::string_view key) {
    CatalogueSearchResult result;
    result.status = SearchStatus::Unreadable;
    for (const auto& path : candidates) {
        SearchResult attempt = searchFile(path, key);
        if (attempt.status == SearchStatus::Unreadable) {
            result.failures.push_back({path, std::move(attempt.reason)});
            continue;
        }
        result.status = attempt.status;
        result.fields = std::move(attempt.fields);
        result.answeredBy = path;
        break;
    }
    return result;
}

}  // namespace morvane::catalogue
