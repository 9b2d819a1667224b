// Counts an HTTP request's bytes as they arrive, before the HTTP server
// buffers them, so that no client can make the program hold more than a set
// amount for one request. It only finds where the head ends (the first
// empty line); everything after it up to the request's handling is body.
// Pure C++.
#pragma once

#include <cstddef>
#include <string_view>

namespace morvane::remote {

class RequestSize {
public:
    enum class Verdict { Fine, HeadTooLarge, BodyTooLarge };

    RequestSize(std::size_t maximumHead, std::size_t maximumBody)
        : m_maximumHead(maximumHead), m_maximumBody(maximumBody) {}

    // The next bytes of the connection; once a limit is passed the verdict
    // stays.
    Verdict feed(std::string_view bytes);
    // The request has been handled: the next byte starts a new one.
    void startNext();

private:
    std::size_t m_maximumHead;
    std::size_t m_maximumBody;
    std::size_t m_head = 0;
    std::size_t m_body = 0;
    bool m_inBody = false;
    int m_lineEnds = 0;  // consecutive line ends ("\r" does not count or break)
    Verdict m_verdict = Verdict::Fine;
};

}  // namespace morvane::remote
