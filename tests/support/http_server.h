// A scripted HTTP/1.1 server on 127.0.0.1 for tests: plain POSIX sockets and threads, no Qt event
// loop, so the code under test may block in its own loops while the server answers. Every
// connection answers one request and closes; every wait is bounded, and the destructor stops
// everything promptly even with stalled clients.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace torv::test {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpReply {
    enum class Fault {
        None,
        CloseAfterHeaders,  // headers announce the body, then the connection closes
        CloseMidBody,       // half of the body, then close
        ShortBody,          // Content-Length larger than the body, whole body, then close
        StallMidBody,       // half of the body, then silence until client or server goes
        NoStatus,           // the request is read and never answered
        Trickle,            // the body one byte per trickleIntervalMs
        Unannounced,        // no Content-Length: the body ends when the connection closes
    };

    int status = 200;
    std::string reason = "OK";
    std::string body;
    // Sent after the status line; Content-Length and Connection: close are added unless given.
    HttpHeaders headers;
    int delayBeforeHeadersMs = 0;
    Fault fault = Fault::None;
    int trickleIntervalMs = 0;
};

inline HttpReply Reply(int status, std::string reason, std::string body = {}) {
    return {status, std::move(reason), std::move(body), {}, 0, HttpReply::Fault::None, 0};
}

struct HttpRequest {
    std::string method;
    std::string path;  // as sent, query and percent-encoding included
    HttpHeaders headers;

    // The first header of that name (compared without regard to case), or "".
    std::string header(const std::string& name) const;
};

class HttpServer {
public:
    HttpServer();
    ~HttpServer();

    uint16_t port() const { return m_port; }
    std::string url(const std::string& path) const;

    // What a request of that path answers; the request path is compared after percent-decoding, its
    // query ignored. Unknown paths answer 404 "Not Found".
    void route(const std::string& path, HttpReply reply);

    // Requests in arrival order (recorded as soon as their header block has been read).
    std::vector<HttpRequest> requests() const;
    // True once at least n requests have arrived; false when the time ran out first.
    bool waitForRequests(size_t n, int timeoutMs) const;

    // A port on 127.0.0.1 where nothing listens (bound once, read, closed).
    static uint16_t unusedPort();

private:
    void acceptLoop();
    void serve(int fd);

    int m_listenFd = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    uint16_t m_port = 0;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    std::map<std::string, std::shared_ptr<const HttpReply>> m_routes;
    std::vector<HttpRequest> m_requests;

    std::vector<std::thread> m_connections;  // joined when the server goes
    std::thread m_acceptThread;
};

}  // namespace torv::test
