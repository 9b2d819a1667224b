#include "catalogue/search_key.h"

#include "catalogue/characters.h"

namespace morvane::catalogue {

std::string searchKey(std::string_view typed) {
    const std::size_t kept = prefixBytes(typed, kKeyCharacters);
    // Appended spaces never join a character of the text before them, so the
    // characters of the text can be counted on their own.
    const std::size_t characters = characterCount(typed.substr(0, kept));
    std::string key(typed.substr(0, kept));
    key.append(kKeyCharacters - characters, ' ');
    return key;
}

}  // namespace morvane::catalogue
