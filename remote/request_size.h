// Follows a connection's bytes as they arrive, before the HTTP server sees
// them: where each request ends, whether its head and body stay within their
// limits, and what its head asks of the answer (HEAD, the HTTP version,
// Connection). It frames requests only as far as bounding them needs and
// refuses what it cannot frame without doubt; the HTTP server parses them.
// Pure C++.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace morvane::remote {

class RequestSize {
public:
    enum class Verdict {
        Fine,
        HeadTooLarge,        // 431
        BodyTooLarge,        // 413
        Malformed,           // 400, problem() says why
        LengthRequired,      // 411: a body sent without Content-Length
        VersionUnsupported,  // 505: HTTP/x.y other than 1.0 and 1.1
    };

    // What a request's head asks of its answer.
    struct Request {
        bool headOnly = false;   // HEAD: the answer's head alone
        bool readsOnly = false;  // GET or HEAD
        bool keepAlive = true;   // HTTP/1.1 unless "close"; HTTP/1.0 only with "keep-alive"
        bool http10 = false;
    };

    RequestSize(std::size_t maximumHead, std::size_t maximumBody)
        : m_maximumHead(maximumHead), m_maximumBody(maximumBody) {}

    // Takes the next bytes of the connection, up to the end of the request
    // under way at most, and returns how many it took. Once the verdict is
    // not Fine it takes nothing more.
    std::size_t take(std::string_view bytes);
    // The last byte taken ended a request: request() says what it asked;
    // the next take() starts the next request.
    bool ended() const { return m_state == State::Ended; }
    const Request& request() const { return m_request; }
    Verdict verdict() const { return m_verdict; }
    // Why a request is Malformed, in a sentence for the client.
    const char* problem() const { return m_problem; }

private:
    enum class State { Head, Body, Ended };

    std::size_t takeHead(std::string_view bytes);
    bool endLine();  // false: refused
    bool requestLine();
    bool headerField();
    bool endHead();
    bool refuse(Verdict verdict, const char* problem = "");

    std::size_t m_maximumHead;
    std::size_t m_maximumBody;
    State m_state = State::Head;
    Verdict m_verdict = Verdict::Fine;
    const char* m_problem = "";
    std::size_t m_head = 0;  // bytes of the head so far, blank lines before it included
    std::string m_line;      // the head's line under way (within the head's limit)
    bool m_seenRequestLine = false;
    std::uint64_t m_bodyLeft = 0;
    std::uint64_t m_contentLength = 0;
    bool m_hasContentLength = false;
    bool m_closeAsked = false;
    bool m_keepAliveAsked = false;
    Request m_request;
};

}  // namespace morvane::remote
