#include "workers/InternetThread.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "support/http_server.h"

namespace torv {
namespace {

using test::HttpReply;
using test::HttpServer;

struct Answer {
    uint16_t state;
    uint16_t id;
    bool operator==(const Answer&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Answer& answer) {
    return out << "{state " << answer.state << ", id " << answer.id << "}";
}

// Stands in for the list window: records every WM_INET_SITESTATE it is sent.
class AnswerWindow : public QObject {
public:
    std::vector<Answer> answers;

    // Pumps the events until n answers are in or the time runs out.
    bool waitFor(size_t n, int timeoutMs) {
        QElapsedTimer clock;
        clock.start();
        while (answers.size() < n && clock.elapsed() < timeoutMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return answers.size() >= n;
    }

protected:
    bool event(QEvent* event) override {
        if (event->type() == CSiteStateEvent::EventType()) {
            const uint32_t wParam = static_cast<CSiteStateEvent*>(event)->wParam();
            answers.push_back({LowWord(wParam), HighWord(wParam)});
            return true;
        }
        return QObject::event(event);
    }
};

std::atomic<int> g_liveRequests{0};

class CountedRequest : public CSiteCheckRequest {
public:
    CountedRequest() { ++g_liveRequests; }
    ~CountedRequest() override { --g_liveRequests; }
};

std::unique_ptr<CSiteCheckRequest> Request(const QString& url, uint16_t id) {
    auto request = std::make_unique<CountedRequest>();
    request->m_strUrl = url;
    request->m_nId = id;
    return request;
}

QString Url(const HttpServer& server, const std::string& path) {
    return QString::fromStdString(server.url(path));
}

// Quits the worker and pumps events until it has deleted itself.
bool EndWorker(CInternetThread* worker, int timeoutMs) {
    QPointer<CInternetThread> alive(worker);
    worker->PostQuit();
    QElapsedTimer clock;
    clock.start();
    while (alive && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return alive.isNull();
}

const SiteCheckLimits kShortLimits{2000, 2000};

struct StatusCase {
    const char* name;
    int status;
    uint16_t expected;
};

TEST(InternetThread, AnswersEachStatusWithCheckingThenItsVerdict) {
    const StatusCase cases[] = {
        {"ok 200", 200, SITESTATE_VALID},
        {"last success 299", 299, SITESTATE_VALID},
        {"forbidden 403 counts as a site", 403, SITESTATE_VALID},
        {"informational 199", 199, SITESTATE_INVALID},
        {"multiple choices 300", 300, SITESTATE_INVALID},
        {"moved 301", 301, SITESTATE_INVALID},
        {"unauthorized 401", 401, SITESTATE_INVALID},
        {"not found 404", 404, SITESTATE_INVALID},
        {"server error 500", 500, SITESTATE_INVALID},
    };
    HttpServer server;
    for (const StatusCase& row : cases) {
        HttpReply reply;
        reply.status = row.status;
        reply.reason = "Scripted";
        reply.body = "body that must not matter";
        if (row.status == 301) {
            reply.headers = {{"Location", server.url("/target/")}};
        }
        server.route("/" + std::to_string(row.status) + "/", reply);
    }
    server.route("/target/", HttpReply{});

    AnswerWindow window;
    CInternetThread* worker = CInternetThread::Begin(kShortLimits);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string path = "/" + std::to_string(cases[i].status) + "/";
        worker->PostCheckSite(&window, Request(Url(server, path), uint16_t(100 + i)));
    }
    ASSERT_TRUE(window.waitFor(2 * std::size(cases), 20000));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const uint16_t id = uint16_t(100 + i);
        EXPECT_EQ(window.answers[2 * i], (Answer{SITESTATE_CHECKING, id}));
        EXPECT_EQ(window.answers[2 * i + 1], (Answer{cases[i].expected, id}));
    }
    for (const auto& request : server.requests()) {
        EXPECT_NE(request.path, "/target/") << "a redirect was followed";
        EXPECT_EQ(request.method, "GET");
        EXPECT_NE(request.header("Cache-Control").find("no-cache"), std::string::npos)
            << "the check may be answered from a cache";
    }
    EXPECT_TRUE(EndWorker(worker, 5000));
    EXPECT_EQ(g_liveRequests, 0);
}

struct UrlCase {
    const char* name;
    QString url;
};

TEST(InternetThread, TextsThatAreNoHttpSiteAreInvalid) {
    HttpServer server;
    server.route("/", HttpReply{});
    const QString port = QString::number(server.port());
    const UrlCase cases[] = {
        {"bare word", "localsite"},  {"empty text", ""},
        {"bare scheme", "http://"},  {"ftp scheme", "ftp://127.0.0.1:" + port + "/"},
        {"file scheme", "file:///"},
    };
    AnswerWindow window;
    CInternetThread* worker = CInternetThread::Begin(kShortLimits);
    for (size_t i = 0; i < std::size(cases); ++i) {
        worker->PostCheckSite(&window, Request(cases[i].url, uint16_t(i)));
    }
    ASSERT_TRUE(window.waitFor(2 * std::size(cases), 15000));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(window.answers[2 * i], (Answer{SITESTATE_CHECKING, uint16_t(i)}));
        EXPECT_EQ(window.answers[2 * i + 1], (Answer{SITESTATE_INVALID, uint16_t(i)}));
    }
    EXPECT_TRUE(server.requests().empty());
    EXPECT_TRUE(EndWorker(worker, 5000));
}

// No TLS server is at hand on loopback: a listener that hangs up shows that an https site is
// tried with a TLS handshake and that its failure is an invalid site, found at once.
TEST(InternetThread, SecureSiteIsTriedOverTlsAndAFailedHandshakeIsInvalid) {
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
    QByteArray firstBytes;
    QObject::connect(&listener, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = listener.nextPendingConnection()) {
            socket->waitForReadyRead(2000);
            firstBytes += socket->readAll();
            socket->close();
            socket->deleteLater();
        }
    });
    AnswerWindow window;
    CInternetThread* worker = CInternetThread::Begin(kShortLimits);
    QElapsedTimer clock;
    clock.start();
    worker->PostCheckSite(
        &window, Request(QString("https://127.0.0.1:%1/missions/").arg(listener.serverPort()), 5));
    ASSERT_TRUE(window.waitFor(2, 10000));
    EXPECT_EQ(window.answers[1], (Answer{SITESTATE_INVALID, 5}));
    EXPECT_LT(clock.elapsed(), kShortLimits.connectMs) << "the hang-up ends the check, not a limit";
    ASSERT_FALSE(firstBytes.isEmpty()) << "the site was contacted";
    EXPECT_EQ(firstBytes.at(0), char(0x16)) << "a TLS handshake record, not plain HTTP";
    EXPECT_TRUE(EndWorker(worker, 5000));
}

TEST(InternetThread, ThreeRequestsAreAnsweredInPostingOrderWithTheirOwnIds) {
    HttpServer server;
    HttpReply slow;
    slow.delayBeforeHeadersMs = 300;  // the first one finishing last would show up
    server.route("/slow/", slow);
    HttpReply gone;
    gone.status = 404;
    gone.reason = "Not Found";
    server.route("/gone/", gone);
    server.route("/fast/", HttpReply{});

    AnswerWindow window;
    CInternetThread* worker = CInternetThread::Begin(kShortLimits);
    worker->PostCheckSite(&window, Request(Url(server, "/slow/"), 7));
    worker->PostCheckSite(&window, Request(Url(server, "/gone/"), 65535));
    worker->PostCheckSite(&window, Request(Url(server, "/fast/"), 0));
    ASSERT_TRUE(window.waitFor(6, 10000));
    const std::vector<Answer> expected = {
        {SITESTATE_CHECKING, 7},    {SITESTATE_VALID, 7},    {SITESTATE_CHECKING, 65535},
        {SITESTATE_INVALID, 65535}, {SITESTATE_CHECKING, 0}, {SITESTATE_VALID, 0},
    };
    EXPECT_EQ(window.answers, expected);
    EXPECT_TRUE(EndWorker(worker, 5000));
}

TEST(InternetThread, NullRequestIsIgnored) {
    HttpServer server;
    server.route("/", HttpReply{});
    AnswerWindow window;
    CInternetThread* worker = CInternetThread::Begin(kShortLimits);
    worker->PostCheckSite(&window, nullptr);
    worker->PostCheckSite(&window, Request(Url(server, "/"), 3));
    ASSERT_TRUE(window.waitFor(2, 10000));
    window.waitFor(3, 300);
    const std::vector<Answer> expected = {{SITESTATE_CHECKING, 3}, {SITESTATE_VALID, 3}};
    EXPECT_EQ(window.answers, expected);
    EXPECT_TRUE(EndWorker(worker, 5000));
}

TEST(InternetThread, StatusIsReadWithoutWaitingForTheBody) {
    HttpServer server;
    HttpReply stalled;
    stalled.body = std::string(4096, 'x');
    stalled.fault = HttpReply::Fault::StallMidBody;
    server.route("/stalled/", stalled);

    AnswerWindow window;
    CInternetThread* worker = CInternetThread::Begin(SiteCheckLimits{5000, 5000});
    QElapsedTimer clock;
    clock.start();
    worker->PostCheckSite(&window, Request(Url(server, "/stalled/"), 1));
    ASSERT_TRUE(window.waitFor(2, 10000));
    EXPECT_EQ(window.answers[1], (Answer{SITESTATE_VALID, 1}));
    EXPECT_LT(clock.elapsed(), 4000) << "the check waited for a body it should not read";
    EXPECT_TRUE(EndWorker(worker, 5000));
}

TEST(InternetThread, UnreachablePortAnswersCheckingAtOnceAndInvalidWithinTheLimit) {
    const uint16_t port = HttpServer::unusedPort();
    AnswerWindow window;
    CInternetThread* worker = CInternetThread::Begin(kShortLimits);
    QElapsedTimer clock;
    clock.start();
    worker->PostCheckSite(&window, Request(QString("http://127.0.0.1:%1/missions/").arg(port), 42));
    ASSERT_TRUE(window.waitFor(1, 1000)) << "no CHECKING before the network is touched";
    EXPECT_EQ(window.answers[0], (Answer{SITESTATE_CHECKING, 42}));
    ASSERT_TRUE(window.waitFor(2, kShortLimits.connectMs + 1500));
    EXPECT_EQ(window.answers[1], (Answer{SITESTATE_INVALID, 42}));
    EXPECT_TRUE(EndWorker(worker, 5000));
}

TEST(InternetThread, SiteThatNeverAnswersHoldsTheQueueForTheDataLimitOnly) {
    HttpServer server;
    HttpReply silent;
    silent.fault = HttpReply::Fault::NoStatus;
    server.route("/silent/", silent);
    server.route("/next/", HttpReply{});

    const SiteCheckLimits limits{1000, 800};
    AnswerWindow window;
    CInternetThread* worker = CInternetThread::Begin(limits);
    QElapsedTimer clock;
    clock.start();
    worker->PostCheckSite(&window, Request(Url(server, "/silent/"), 1));
    worker->PostCheckSite(&window, Request(Url(server, "/next/"), 2));
    ASSERT_TRUE(window.waitFor(4, 6000)) << "the silent site held the queue";
    const qint64 elapsed = clock.elapsed();
    EXPECT_EQ(window.answers[1], (Answer{SITESTATE_INVALID, 1}));
    EXPECT_EQ(window.answers[3], (Answer{SITESTATE_VALID, 2}));
    EXPECT_GE(elapsed, limits.dataMs - 100) << "gave up before the limit";
    EXPECT_LT(elapsed, limits.connectMs + limits.dataMs + 1500);
    EXPECT_TRUE(EndWorker(worker, 5000));
}

TEST(InternetThread, RequestsQueuedWhenTheWindowGoesStillRunAreFreedAndTheThreadEnds) {
    HttpServer server;
    HttpReply slow;
    slow.delayBeforeHeadersMs = 150;
    server.route("/slow/", slow);

    auto window = std::make_unique<AnswerWindow>();
    CInternetThread* worker = CInternetThread::Begin(kShortLimits);
    QPointer<CInternetThread> alive(worker);
    for (uint16_t id = 0; id < 3; ++id) {
        worker->PostCheckSite(window.get(), Request(Url(server, "/slow/"), id));
    }
    window.reset();
    worker->PostQuit();

    EXPECT_TRUE(server.waitForRequests(3, 10000)) << "queued checks were not carried out";
    QElapsedTimer clock;
    clock.start();
    while ((alive || g_liveRequests > 0) && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_TRUE(alive.isNull()) << "the worker thread did not end";
    EXPECT_EQ(g_liveRequests, 0);
}

TEST(InternetThread, AbandonAllCutsARunningCheckShortAndDropsTheQueue) {
    HttpServer server;
    HttpReply silent;
    silent.fault = HttpReply::Fault::NoStatus;
    server.route("/silent/", silent);

    AnswerWindow window;
    CInternetThread* worker = CInternetThread::Begin(SiteCheckLimits{60000, 60000});
    QPointer<CInternetThread> alive(worker);
    for (uint16_t id = 0; id < 5; ++id) {
        worker->PostCheckSite(&window, Request(Url(server, "/silent/"), id));
    }
    ASSERT_TRUE(server.waitForRequests(1, 5000));
    QElapsedTimer clock;
    clock.start();
    CInternetThread::AbandonAll(5000);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(worker->isFinished());
    while (alive && clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_TRUE(alive.isNull());
    EXPECT_EQ(g_liveRequests, 0);
    EXPECT_EQ(server.requests().size(), 1u) << "queued checks ran after the abandon";
}

}  // namespace
}  // namespace torv
