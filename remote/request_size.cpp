#include "remote/request_size.h"

#include <algorithm>
#include <cstring>

namespace morvane::remote {
namespace {

// The characters of a method or a header field's name (RFC 9110 "tchar").
bool isTokenCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
           (u > ' ' && u < 0x7F && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

bool isToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isTokenCharacter);
}

bool sameLetters(std::string_view a, std::string_view lower) {
    return a.size() == lower.size() &&
           std::equal(a.begin(), a.end(), lower.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? char(x - 'A' + 'a') : x) == y;
           });
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::size_t RequestSize::take(std::string_view bytes) {
    if (m_verdict != Verdict::Fine) {
        return 0;
    }
    if (m_state == State::Ended) {
        *this = RequestSize(m_maximumHead, m_maximumBody);
    }
    std::size_t taken = 0;
    if (m_state == State::Head) {
        taken = takeHead(bytes);
        bytes.remove_prefix(taken);
    }
    if (m_state == State::Body && m_verdict == Verdict::Fine) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(m_bodyLeft, bytes.size()));
        m_bodyLeft -= n;
        taken += n;
        if (m_bodyLeft == 0) {
            m_state = State::Ended;
        }
    }
    return taken;
}

std::size_t RequestSize::takeHead(std::string_view bytes) {
    std::size_t taken = 0;
    while (taken < bytes.size() && m_state == State::Head) {
        const std::string_view rest = bytes.substr(taken);
        const void* found = std::memchr(rest.data(), '\n', rest.size());
        const std::size_t length =
            found ? std::size_t(static_cast<const char*>(found) - rest.data()) + 1 : rest.size();
        taken += length;
        m_head += length;
        // Blank lines before the request line count: a head is limited from
        // its first byte.
        if (m_head > m_maximumHead) {
            refuse(Verdict::HeadTooLarge);
            return taken;
        }
        m_line.append(rest.data(), found ? length - 1 : length);
        if (found && !endLine()) {
            return taken;
        }
    }
    return taken;
}

bool RequestSize::endLine() {
    if (m_line.empty() || m_line.back() != '\r') {
        return refuse(Verdict::Malformed, "Each line of the request's head must end in CR LF.");
    }
    m_line.pop_back();
    for (const char c : m_line) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < ' ' && c != '\t') || u == 0x7F) {
            return refuse(Verdict::Malformed, "The request's head holds a control character.");
        }
    }
    bool fine = true;
    if (!m_seenRequestLine) {
        fine = m_line.empty() || requestLine();  // an empty line before it is let pass
    } else if (m_line.empty()) {
        fine = endHead();
    } else {
        fine = headerField();
    }
    m_line.clear();
    return fine;
}

bool RequestSize::requestLine() {
    m_seenRequestLine = true;
    const std::string_view line = m_line;
    const std::size_t first = line.find(' ');
    const std::size_t second = first == line.npos ? line.npos : line.find(' ', first + 1);
    if (second == line.npos || line.find(' ', second + 1) != line.npos ||
        !isToken(line.substr(0, first)) || second == first + 1) {
        return refuse(Verdict::Malformed,
                      "The request line must be a method, a path and the HTTP version, "
                      "separated by single spaces.");
    }
    const std::string_view version = line.substr(second + 1);
    if (version == "HTTP/1.1" || version == "HTTP/1.0") {
        m_request.http10 = version == "HTTP/1.0";
    } else if (version.size() == 8 && version.substr(0, 5) == "HTTP/" && isAsciiDigit(version[5]) &&
               version[6] == '.' && isAsciiDigit(version[7])) {
        return refuse(Verdict::VersionUnsupported);
    } else {
        return refuse(Verdict::Malformed, "The request line must end in HTTP/1.1 or HTTP/1.0.");
    }
    m_request.headOnly = line.substr(0, first) == "HEAD";
    m_request.readsOnly = m_request.headOnly || line.substr(0, first) == "GET";
    return true;
}

bool RequestSize::headerField() {
    const std::string_view line = m_line;
    const std::size_t colon = line.find(':');
    if (colon == line.npos || !isToken(line.substr(0, colon))) {
        return refuse(Verdict::Malformed,
                      "Each header line must be a name, a colon and a value, on one line.");
    }
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (sameLetters(name, "content-length")) {
        if (value.empty() || value.size() > 18 ||
            !std::all_of(value.begin(), value.end(), isAsciiDigit)) {
            return refuse(Verdict::Malformed, "Content-Length must be a whole number of bytes.");
        }
        std::uint64_t length = 0;
        for (const char c : value) {
            length = length * 10 + std::uint64_t(c - '0');
        }
        if (m_hasContentLength && length != m_contentLength) {
            return refuse(Verdict::Malformed, "The request has two different Content-Length.");
        }
        m_hasContentLength = true;
        m_contentLength = length;
        if (length > m_maximumBody) {
            return refuse(Verdict::BodyTooLarge);  // before a byte of it arrives
        }
    } else if (sameLetters(name, "transfer-encoding")) {
        return refuse(Verdict::LengthRequired);
    } else if (sameLetters(name, "upgrade")) {
        return refuse(Verdict::Malformed, "This server speaks HTTP/1.1 only (no Upgrade).");
    } else if (sameLetters(name, "connection")) {
        std::string_view rest = value;
        while (!rest.empty()) {
            const std::size_t comma = std::min(rest.find(','), rest.size());
            const std::string_view option = trimmed(rest.substr(0, comma));
            m_closeAsked = m_closeAsked || sameLetters(option, "close");
            m_keepAliveAsked = m_keepAliveAsked || sameLetters(option, "keep-alive");
            rest.remove_prefix(std::min(comma + 1, rest.size()));
        }
    }
    return true;
}

bool RequestSize::endHead() {
    m_request.keepAlive = !m_closeAsked && (!m_request.http10 || m_keepAliveAsked);
    m_bodyLeft = m_contentLength;
    m_state = m_bodyLeft > 0 ? State::Body : State::Ended;
    return true;
}

bool RequestSize::refuse(Verdict verdict, const char* problem) {
    m_verdict = verdict;
    m_problem = problem;
    return false;
}

}  // namespace morvane::remote
