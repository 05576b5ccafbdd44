#include "support/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace torv::test {

namespace {

using Clock = std::chrono::steady_clock;

// Bounds that keep every loop of the server finite even when a client misbehaves.
constexpr size_t kMaxRequestHead = 64 * 1024;
constexpr int kRequestHeadTimeoutMs = 10'000;
constexpr int kSendStallTimeoutMs = 30'000;
constexpr int kHoldTimeoutMs = 120'000;
constexpr int kLingerTimeoutMs = 2'000;
constexpr size_t kMaxConnections = 64;

enum class Wait { Ready, Stopped, TimedOut };

int msLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return int(std::max<int64_t>(0, left.count()));
}

// Waits until fd is ready for events, the wake pipe says stop, or the deadline passes.
Wait waitFor(int fd, short events, int wakeFd, Clock::time_point deadline) {
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        int timeout = msLeft(deadline);
        int n = ::poll(fds, 2, timeout);
        if (n < 0 && errno == EINTR) {
            if (msLeft(deadline) == 0) {
                return Wait::TimedOut;
            }
            continue;
        }
        if (n < 0) {
            return Wait::Stopped;
        }
        if (fds[1].revents != 0) {
            return Wait::Stopped;
        }
        if (n == 0) {
            return Wait::TimedOut;
        }
        return Wait::Ready;
    }
}

class FdCloser {
public:
    explicit FdCloser(int fd) : m_fd(fd) {}
    ~FdCloser() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

private:
    int m_fd;
};

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) {
        return {};
    }
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// Reads the request line and headers; false when the client went, stalled, or the server stops.
bool readRequestHead(int fd, int wakeFd, std::string& head) {
    auto deadline = Clock::now() + std::chrono::milliseconds(kRequestHeadTimeoutMs);
    char buf[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > kMaxRequestHead) {
            return false;
        }
        if (waitFor(fd, POLLIN, wakeFd, deadline) != Wait::Ready) {
            return false;
        }
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            return false;
        }
        head.append(buf, size_t(n));
    }
    return true;
}

HttpRequest parseRequest(const std::string& head) {
    HttpRequest request;
    size_t lineEnd = head.find("\r\n");
    std::string requestLine = head.substr(0, lineEnd);
    size_t sp1 = requestLine.find(' ');
    size_t sp2 = requestLine.find(' ', sp1 == std::string::npos ? sp1 : sp1 + 1);
    if (sp1 != std::string::npos) {
        request.method = requestLine.substr(0, sp1);
        request.path = requestLine.substr(
            sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
    }
    size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        size_t end = head.find("\r\n", pos);
        if (end == std::string::npos || end == pos) {
            break;
        }
        std::string line = head.substr(pos, end - pos);
        size_t colon = line.find(':');
        if (colon != std::string::npos) {
            request.headers.emplace_back(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
        }
        pos = end + 2;
    }
    return request;
}

bool sendAll(int fd, int wakeFd, const char* data, size_t size) {
    while (size > 0) {
        auto deadline = Clock::now() + std::chrono::milliseconds(kSendStallTimeoutMs);
        if (waitFor(fd, POLLOUT, wakeFd, deadline) != Wait::Ready) {
            return false;
        }
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Keeps the connection open, discarding anything the client sends, until the client closes,
// the server stops or the time runs out.
void holdUntilGone(int fd, int wakeFd, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[4096];
    while (waitFor(fd, POLLIN, wakeFd, deadline) == Wait::Ready) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            return;
        }
    }
}

bool hasHeader(const HttpHeaders& headers, const std::string& name) {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& h) { return equalsIgnoringCase(h.first, name); });
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::string HttpRequest::header(const std::string& name) const {
    for (const auto& h : headers) {
        if (equalsIgnoringCase(h.first, name)) {
            return h.second;
        }
    }
    return {};
}

HttpServer::HttpServer() {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("HttpServer: pipe failed");
    }
    m_wakeRead = pipeFds[0];
    m_wakeWrite = pipeFds[1];

    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) {
        throw std::runtime_error("HttpServer: socket failed");
    }
    int one = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 64) != 0) {
        throw std::runtime_error("HttpServer: bind/listen failed");
    }
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

HttpServer::~HttpServer() {
    m_stopping = true;
    // The pipe is never read, so it stays readable and wakes every poll at once.
    char byte = 1;
    [[maybe_unused]] ssize_t ignored = ::write(m_wakeWrite, &byte, 1);
    if (m_acceptThread.joinable()) {
        m_acceptThread.join();
    }
    {
        std::lock_guard lock(m_connectionsMutex);
        for (auto& c : m_connections) {
            if (c.thread.joinable()) {
                c.thread.join();
            }
        }
        m_connections.clear();
    }
    ::close(m_listenFd);
    ::close(m_wakeRead);
    ::close(m_wakeWrite);
}

std::string HttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void HttpServer::route(const std::string& path, HttpReply reply) {
    auto shared = std::make_shared<const HttpReply>(std::move(reply));
    std::lock_guard lock(m_mutex);
    m_routes[path] = std::move(shared);
}

std::vector<HttpServer::Request> HttpServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

bool HttpServer::waitForRequests(size_t n, int timeoutMs) const {
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_requests.size() >= n; });
}

uint16_t HttpServer::unusedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error("HttpServer: socket failed");
    }
    FdCloser closer(fd);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        throw std::runtime_error("HttpServer: bind failed");
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.sin_port);
}

std::string HttpServer::percentDecode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

void HttpServer::reapFinished() {
    std::lock_guard lock(m_connectionsMutex);
    for (auto it = m_connections.begin(); it != m_connections.end();) {
        if (it->done) {
            it->thread.join();
            it = m_connections.erase(it);
        } else {
            ++it;
        }
    }
}

void HttpServer::acceptLoop() {
    while (!m_stopping) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
        int n = ::poll(fds, 2, 500);
        if (n < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        reapFinished();
        if (n <= 0 || (fds[0].revents & POLLIN) == 0) {
            continue;
        }
        int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        std::lock_guard lock(m_connectionsMutex);
        if (m_connections.size() >= kMaxConnections) {
            ::close(fd);
            continue;
        }
        Connection& c = m_connections.emplace_back();
        c.thread = std::thread([this, fd, &c] {
            serve(fd);
            c.done = true;
        });
    }
}

std::shared_ptr<const HttpReply> HttpServer::replyFor(const std::string& rawPath) const {
    std::string path = rawPath.substr(0, rawPath.find_first_of("?#"));
    path = percentDecode(path);
    std::lock_guard lock(m_mutex);
    auto it = m_routes.find(path);
    if (it != m_routes.end()) {
        return it->second;
    }
    static const auto notFound = std::make_shared<const HttpReply>(
        HttpReply{404, "Not Found", "Not Found", {}, 0, HttpReply::Fault::None});
    return notFound;
}

void HttpServer::serve(int fd) {
    FdCloser closer(fd);
    std::string head;
    if (!readRequestHead(fd, m_wakeRead, head)) {
        return;
    }
    HttpRequest request = parseRequest(head);
    auto reply = replyFor(request.path);
    bool isHead = request.method == "HEAD";
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(std::move(request));
    }
    m_arrived.notify_all();

    if (reply->delayBeforeHeadersMs > 0) {
        auto deadline = Clock::now() + std::chrono::milliseconds(reply->delayBeforeHeadersMs);
        // Only the wake pipe can cut the delay short; the client socket is not watched.
        if (waitFor(m_wakeRead, POLLIN, m_wakeRead, deadline) != Wait::TimedOut) {
            return;
        }
    }

    using Fault = HttpReply::Fault;
    if (reply->fault == Fault::NoStatus) {
        holdUntilGone(fd, m_wakeRead, kHoldTimeoutMs);
        return;
    }

    const std::string& body = reply->body;
    std::string out = "HTTP/1.1 " + std::to_string(reply->status) + " " + reply->reason + "\r\n";
    for (const auto& [name, value] : reply->headers) {
        out += name + ": " + value + "\r\n";
    }
    if (!hasHeader(reply->headers, "Content-Length") && reply->fault != Fault::Unannounced) {
        size_t announced = body.size() + (reply->fault == Fault::ShortBody ? 1024 : 0);
        out += "Content-Length: " + std::to_string(announced) + "\r\n";
    }
    if (!hasHeader(reply->headers, "Connection")) {
        out += "Connection: close\r\n";
    }
    out += "\r\n";
    if (!sendAll(fd, m_wakeRead, out.data(), out.size())) {
        return;
    }

    if (!isHead) {
        size_t toSend = body.size();
        if (reply->fault == Fault::CloseAfterHeaders) {
            toSend = 0;
        } else if (reply->fault == Fault::CloseMidBody || reply->fault == Fault::StallMidBody) {
            toSend = body.size() / 2;
        }
        if (reply->fault == Fault::Trickle) {
            // One byte per interval, each wait cut short when the server stops.
            for (size_t i = 0; i < body.size(); ++i) {
                auto next = Clock::now() + std::chrono::milliseconds(reply->trickleIntervalMs);
                if (waitFor(m_wakeRead, POLLIN, m_wakeRead, next) != Wait::TimedOut ||
                    !sendAll(fd, m_wakeRead, body.data() + i, 1)) {
                    return;
                }
            }
            toSend = 0;
        }
        if (!sendAll(fd, m_wakeRead, body.data(), toSend)) {
            return;
        }
        if (reply->fault == Fault::StallMidBody) {
            holdUntilGone(fd, m_wakeRead, kHoldTimeoutMs);
            return;
        }
    }

    // Half-close, then read until the client closes, so unread request bytes never turn the
    // close into a reset that could swallow the end of the answer.
    ::shutdown(fd, SHUT_WR);
    holdUntilGone(fd, m_wakeRead, kLingerTimeoutMs);
}

}  // namespace torv::test
