#include "catalogue/star_search.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>
#include <vector>

#include "catalogue/record_scanner.h"
#include "catalogue/search_key.h"

namespace morvane::catalogue {

namespace {

// Large enough that a million-line file takes few reads, small enough that a
// search costs no noticeable memory.
constexpr std::size_t kBlockBytes = 64 * 1024;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

SearchResult unreadable(int error) {
    // A failed call that left errno alone still must not read as "Success".
    std::string reason =
        error != 0 ? std::generic_category().message(error) : std::string("read error");
    return {SearchStatus::Unreadable, {}, std::move(reason)};
}

SearchResult outcome(const RecordScanner& scanner) {
    if (scanner.matched())
        return {SearchStatus::Found, *scanner.match(), {}};
    return {SearchStatus::NotFound, {}, {}};
}

}  // namespace

std::optional<StarFields> findStar(std::istream& in, std::string_view key) {
    RecordScanner scanner(searchKey(key));
    std::vector<char> block(kBlockBytes);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (scanner.feed({block.data(), got}))
            return scanner.match();
    }
    scanner.finish();
    return scanner.match();
}

SearchResult searchFile(const std::filesystem::path& path, std::string_view key) {
    errno = 0;
    // Binary mode: line ends are the scanner's business on every platform.
    const File file(std::fopen(path.string().c_str(), "rb"));
    if (!file)
        return unreadable(errno);

    RecordScanner scanner(searchKey(key));
    std::vector<char> block(kBlockBytes);
    for (;;) {
        errno = 0;
        const std::size_t got = std::fread(block.data(), 1, block.size(), file.get());
        if (scanner.feed({block.data(), got}))
            return outcome(scanner);
        if (got < block.size()) {
            if (std::ferror(file.get()))
                return unreadable(errno);
            scanner.finish();
            return outcome(scanner);
        }
    }
}

}  // namespace morvane::catalogue
