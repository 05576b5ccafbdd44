#include "workers/InternetThread.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/http_server.h"

namespace torv {
namespace {

using test::HttpReply;
using test::HttpServer;

using Answer = std::pair<uint16_t, uint16_t>;  // state, id

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    for (const QDeadlineTimer deadline(timeoutMs); !done() && !deadline.hasExpired();) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

// Stands in for the list window: records every WM_INET_SITESTATE it is sent.
struct AnswerWindow : QObject {
    std::vector<Answer> answers;
    std::vector<qint64> times;  // when each answer came, in ms on the monotonic clock

    bool event(QEvent* event) override {
        if (event->type() == CSiteStateEvent::EventType()) {
            const uint32_t wParam = static_cast<CSiteStateEvent*>(event)->wParam();
            answers.emplace_back(LowWord(wParam), HighWord(wParam));
            times.push_back(QDeadlineTimer::current().deadline());
            return true;
        }
        return QObject::event(event);
    }
};

std::atomic<int> g_liveRequests{0};

struct CountedRequest : CSiteCheckRequest {
    CountedRequest(const std::string& url, uint16_t id) {
        m_strUrl = QString::fromStdString(url);
        m_nId = id;
        ++g_liveRequests;
    }
    ~CountedRequest() override { --g_liveRequests; }
};

// A worker and the window it answers; at the end the worker must quit and free every request.
struct Checks {
    AnswerWindow window;
    QPointer<CInternetThread> worker;

    explicit Checks(const SiteCheckLimits& limits = {2000, 2000})
        : worker(CInternetThread::Begin(limits)) {}
    ~Checks() {
        if (worker) {
            worker->PostQuit();
        }
        EXPECT_TRUE(PumpUntil([this] { return worker.isNull(); }, 5000)) << "the thread stays";
        EXPECT_EQ(g_liveRequests, 0);
    }
    void post(const std::string& url, uint16_t id, QObject* to = nullptr) {
        worker->PostCheckSite(to ? to : &window, std::make_unique<CountedRequest>(url, id));
    }
};

TEST(InternetThread, AnswersEachSiteInPostingOrderWithCheckingThenItsVerdict) {
    // A listener that hangs up shows that an https site is tried with a TLS handshake.
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
    HttpServer server;
    const std::string local = "://127.0.0.1:";
    const uint16_t V = SITESTATE_VALID, I = SITESTATE_INVALID;
    using Fault = HttpReply::Fault;
    struct Case {
        int status;  // 0: the site is the URL, else a path on the server answering this status
        std::string url;
        uint16_t verdict;
        Fault fault = Fault::None;
    };
    // clang-format off
    const Case cases[] = {
        {200, "", V}, {299, "", V}, {403, "", V},  // a forbidden listing is still a site
        {199, "", I}, {300, "", I}, {301, "", I}, {404, "", I},
        {0, "localsite", I},
        {0, "ftp" + local + std::to_string(server.port()) + "/", I},
        {200, "", V, Fault::StallMidBody},  // from here on each is answered at once
        {0, "http" + local + std::to_string(HttpServer::unusedPort()) + "/", I},
        {0, "https" + local + std::to_string(listener.serverPort()) + "/", I},
        {200, "", I, Fault::NoStatus},  // silent: given up at the data limit
        {200, "", V},
    };
    // clang-format on
    const size_t stalled = 9, secure = 11, silent = 12;
    const SiteCheckLimits limits{6000, 3000};
    Checks checks(limits);
    checks.worker->PostCheckSite(&checks.window, nullptr);  // ignored
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string path = "/" + std::to_string(i) + "/";
        HttpReply reply = test::Reply(cases[i].status, "Scripted", std::string(4096, 'x'));
        reply.headers = {{"Location", server.url("/0/")}};
        reply.delayBeforeHeadersMs = i == 0 ? 300 : 0;  // the first finishing last would show
        reply.fault = cases[i].fault;
        server.route(path, reply);
        // The ids run over the whole range: 65535, 0, 1, ...
        checks.post(cases[i].status != 0 ? server.url(path) : cases[i].url, uint16_t(65535 + i));
    }
    const std::vector<Answer>& answers = checks.window.answers;
    ASSERT_TRUE(PumpUntil([&] { return answers.size() == 2 * std::size(cases); }, 30000));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(answers[2 * i], Answer(SITESTATE_CHECKING, uint16_t(65535 + i)));
        EXPECT_EQ(answers[2 * i + 1], Answer(cases[i].verdict, uint16_t(65535 + i)));
    }
    // One request per site on the server: no redirect followed, nothing else contacted.
    EXPECT_EQ(server.requests().size(), 10u);
    for (const auto& request : server.requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_NE(request.header("Cache-Control").find("no-cache"), std::string::npos)
            << "the check may be answered from a cache";
    }
    const std::vector<qint64>& at = checks.window.times;
    EXPECT_LT(at[2 * secure + 1] - at[2 * stalled], 2000)
        << "waited for a body, a refused connection or a failed handshake";
    ASSERT_FALSE(firstBytes.isEmpty()) << "the secure site was not contacted";
    EXPECT_EQ(firstBytes.at(0), char(0x16)) << "a TLS handshake record, not plain HTTP";
    // CHECKING comes before the site is contacted, the verdict at the data limit.
    EXPECT_GE(at[2 * silent + 1] - at[2 * silent], limits.dataMs - 100) << "gave up too soon";
    EXPECT_LT(at[2 * silent + 1] - at[2 * silent], limits.connectMs)
        << "waited for the connect limit";
}

TEST(InternetThread, ChecksQueuedBeforeQuitRunWhenTheWindowHasGoneAndTheThreadEnds) {
    HttpServer server;
    server.route("/slow/", {200, "OK", "", {}, 150});
    Checks checks;
    auto window = std::make_unique<AnswerWindow>();
    for (uint16_t id = 0; id < 3; ++id) {
        checks.post(server.url("/slow/"), id, window.get());
    }
    window.reset();
    checks.worker->PostQuit();
    EXPECT_TRUE(server.waitForRequests(3, 10000)) << "queued checks were not carried out";
}

TEST(InternetThread, AbandonAllCutsARunningCheckShortAndDropsTheQueue) {
    HttpServer server;
    server.route("/silent/", {200, "OK", "", {}, 0, HttpReply::Fault::NoStatus});
    Checks checks(SiteCheckLimits{60000, 60000});
    for (uint16_t id = 0; id < 5; ++id) {
        checks.post(server.url("/silent/"), id);
    }
    ASSERT_TRUE(server.waitForRequests(1, 5000));
    QElapsedTimer clock;
    clock.start();
    CInternetThread::AbandonAll(5000);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(checks.worker->isFinished());
    EXPECT_TRUE(PumpUntil([&] { return checks.worker.isNull(); }, 5000));
    EXPECT_EQ(server.requests().size(), 1u) << "queued checks ran after the abandon";
}

}  // namespace
}  // namespace torv
