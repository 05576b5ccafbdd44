#include "support/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArrayList>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string_view>

namespace torv::test {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Bounds that keep every wait of the server finite even when a client misbehaves.
constexpr milliseconds kHeadTimeout{10'000};
constexpr milliseconds kSendStallTimeout{30'000};
constexpr milliseconds kHoldTimeout{120'000};
constexpr milliseconds kLingerTimeout{2'000};

enum class Wait { Ready, Stopped, TimedOut };

// Waits until fd is ready for events, the wake pipe says stop, or the deadline passes.
Wait waitFor(int fd, short events, int wakeFd, Clock::time_point deadline) {
    pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
    int n = -1;
    do {  // an interrupted poll polls again; the deadline still bounds the loop
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
        n = ::poll(fds, 2, int(std::max<int64_t>(0, left.count())));
    } while (n < 0 && errno == EINTR);
    return n < 0 || fds[1].revents != 0 ? Wait::Stopped : n == 0 ? Wait::TimedOut : Wait::Ready;
}

// With head: reads until the request head is complete. Without: reads and discards until the client
// closes. Either way bounded by the timeout and the server's stop.
bool receive(int fd, int wakeFd, milliseconds timeout, std::string* head) {
    const auto deadline = Clock::now() + timeout;
    char buf[4096];
    while (head == nullptr || head->find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = waitFor(fd, POLLIN, wakeFd, deadline) == Wait::Ready
                              ? ::recv(fd, buf, sizeof buf, 0)
                              : -1;
        if (n <= 0) {
            return false;
        }
        if (head != nullptr) {
            head->append(buf, size_t(n));
        }
    }
    return true;
}

bool sendAll(int fd, int wakeFd, std::string_view data) {
    while (!data.empty()) {
        if (waitFor(fd, POLLOUT, wakeFd, Clock::now() + kSendStallTimeout) != Wait::Ready) {
            return false;
        }
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data.remove_prefix(size_t(n));
    }
    return true;
}

HttpRequest parseRequest(const std::string& head) {
    const QList<QByteArray> lines = QByteArray::fromStdString(head).split('\n');
    const QList<QByteArray> words = lines.value(0).trimmed().split(' ');
    HttpRequest request{words.value(0).toStdString(), words.value(1).toStdString(), {}};
    for (const QByteArray& line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0) {
            request.headers.emplace_back(line.left(colon).trimmed().toStdString(),
                                         line.mid(colon + 1).trimmed().toStdString());
        }
    }
    return request;
}

// The first header of that name (compared without regard to case), or "".
std::string find(const HttpHeaders& headers, const std::string& name) {
    for (const auto& [key, value] : headers) {
        if (::strcasecmp(key.c_str(), name.c_str()) == 0) {
            return value;
        }
    }
    return {};
}

// A socket bound to a free port on 127.0.0.1, which goes to port.
int bindLoopback(uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        throw std::runtime_error("HttpServer: cannot bind to 127.0.0.1");
    }
    port = ntohs(addr.sin_port);
    return fd;
}

}  // namespace

std::string HttpRequest::header(const std::string& name) const {
    return find(headers, name);
}

HttpServer::HttpServer() {
    int pipeFds[2];
    m_listenFd = bindLoopback(m_port);
    if (::pipe2(pipeFds, O_CLOEXEC) != 0 || ::listen(m_listenFd, 64) != 0) {
        throw std::runtime_error("HttpServer: cannot listen");
    }
    m_wakeRead = pipeFds[0];
    m_wakeWrite = pipeFds[1];
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

HttpServer::~HttpServer() {
    // The pipe is never read, so it stays readable and wakes every poll at once. The accept thread
    // alone touches the connections until it has ended.
    char byte = 1;
    [[maybe_unused]] ssize_t ignored = ::write(m_wakeWrite, &byte, 1);
    m_acceptThread.join();
    for (std::thread& connection : m_connections) {
        connection.join();
    }
    ::close(m_listenFd);
    ::close(m_wakeRead);
    ::close(m_wakeWrite);
}

std::string HttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void HttpServer::route(const std::string& path, HttpReply reply) {
    std::lock_guard lock(m_mutex);
    m_routes[path] = std::make_shared<const HttpReply>(std::move(reply));
}

std::vector<HttpRequest> HttpServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

bool HttpServer::waitForRequests(size_t n, int timeoutMs) const {
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, milliseconds(timeoutMs),
                              [&] { return m_requests.size() >= n; });
}

uint16_t HttpServer::unusedPort() {
    uint16_t port = 0;
    ::close(bindLoopback(port));
    return port;
}

void HttpServer::acceptLoop() {
    for (;;) {
        const Wait wait = waitFor(m_listenFd, POLLIN, m_wakeRead, Clock::now() + kHoldTimeout);
        if (wait == Wait::Stopped) {
            return;
        }
        const int fd =
            wait == Wait::Ready ? ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
        if (fd >= 0) {
            m_connections.emplace_back([this, fd] {
                serve(fd);
                ::close(fd);
            });
        }
    }
}

void HttpServer::serve(int fd) {
    std::string head;
    if (!receive(fd, m_wakeRead, kHeadTimeout, &head)) {
        return;
    }
    HttpRequest request = parseRequest(head);
    const std::string path = request.path.substr(0, request.path.find_first_of("?#"));
    std::shared_ptr<const HttpReply> reply;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_routes.find(
            QByteArray::fromPercentEncoding(QByteArray::fromStdString(path)).toStdString());
        reply = it != m_routes.end()
                    ? it->second
                    : std::make_shared<HttpReply>(Reply(404, "Not Found", "Not Found"));
        m_requests.push_back(std::move(request));
    }
    m_arrived.notify_all();

    // Only the wake pipe can cut the delay short; the client socket is not watched.
    const auto answerAt = Clock::now() + milliseconds(reply->delayBeforeHeadersMs);
    using Fault = HttpReply::Fault;
    const Fault fault = reply->fault;
    if (waitFor(m_wakeRead, POLLIN, m_wakeRead, answerAt) == Wait::Stopped) {
        return;
    }
    if (fault == Fault::NoStatus) {
        receive(fd, m_wakeRead, kHoldTimeout, nullptr);
        return;
    }

    const std::string& body = reply->body;
    std::string out = "HTTP/1.1 " + std::to_string(reply->status) + " " + reply->reason + "\r\n";
    for (const auto& [name, value] : reply->headers) {
        out += name + ": " + value + "\r\n";
    }
    if (find(reply->headers, "Content-Length").empty() && fault != Fault::Unannounced) {
        const size_t announced = body.size() + (fault == Fault::ShortBody ? 1024 : 0);
        out += "Content-Length: " + std::to_string(announced) + "\r\n";
    }
    if (find(reply->headers, "Connection").empty()) {
        out += "Connection: close\r\n";
    }
    if (!sendAll(fd, m_wakeRead, out + "\r\n")) {
        return;
    }

    const bool stall = fault == Fault::StallMidBody;
    const size_t toSend = fault == Fault::CloseAfterHeaders       ? 0
                          : fault == Fault::CloseMidBody || stall ? body.size() / 2
                                                                  : body.size();
    // Trickling sends one byte per interval, each wait cut short when the server stops.
    const size_t step = fault == Fault::Trickle ? 1 : std::max<size_t>(toSend, 1);
    for (size_t sent = 0; sent < toSend; sent += step) {
        const auto next = Clock::now() + milliseconds(reply->trickleIntervalMs);
        if (waitFor(m_wakeRead, POLLIN, m_wakeRead, next) == Wait::Stopped ||
            !sendAll(fd, m_wakeRead, std::string_view(body).substr(sent, step))) {
            return;
        }
    }
    // Half-close, then read until the client closes, so unread request bytes never turn the close
    // into a reset that could swallow the end of the answer. A stall just holds on.
    if (!stall) {
        ::shutdown(fd, SHUT_WR);
    }
    receive(fd, m_wakeRead, stall ? kHoldTimeout : kLingerTimeout, nullptr);
}

}  // namespace torv::test
