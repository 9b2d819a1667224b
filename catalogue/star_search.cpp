#include "catalogue/star_search.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

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

// The one loop behind both searches: block after block until a line matches
// or a block comes back short (the input ended, or failed: the caller can
// tell). `read` fills the block it is given and says how much it put there.
template <typename Read>
void scanBlocks(RecordScanner& scanner, Read read) {
    // Not zeroed: only what a read put there is looked at.
    const auto block = std::make_unique_for_overwrite<char[]>(kBlockBytes);
    for (;;) {
        const std::size_t got = read(block.get(), kBlockBytes);
        if (scanner.feed({block.get(), got}) || got < kBlockBytes)
            return;
    }
}

}  // namespace

std::optional<StarFields> findStar(std::istream& in, std::string_view key) {
    RecordScanner scanner(searchKey(key));
    scanBlocks(scanner, [&in](char* block, std::size_t size) {
        in.read(block, static_cast<std::streamsize>(size));
        return static_cast<std::size_t>(in.gcount());
    });
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
    scanBlocks(scanner, [&file](char* block, std::size_t size) {
        errno = 0;
        return std::fread(block, 1, size, file.get());
    });
    if (!scanner.matched() && std::ferror(file.get()))
        return unreadable(errno);
    scanner.finish();
    return outcome(scanner);
}

}  // namespace morvane::catalogue
