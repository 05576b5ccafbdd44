#include "workers/InternetThread.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
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
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

// Stands in for the list window: records every WM_INET_SITESTATE it is sent.
class AnswerWindow : public QObject {
public:
    std::vector<Answer> answers;
    std::vector<qint64> times;  // when each answer came, in ms from the window's start
    QElapsedTimer clock;

    AnswerWindow() { clock.start(); }

    bool waitFor(size_t n, int timeoutMs) {
        return PumpUntil([&] { return answers.size() >= n; }, timeoutMs);
    }

protected:
    bool event(QEvent* event) override {
        if (event->type() == CSiteStateEvent::EventType()) {
            const uint32_t wParam = static_cast<CSiteStateEvent*>(event)->wParam();
            answers.emplace_back(LowWord(wParam), HighWord(wParam));
            times.push_back(clock.elapsed());
            return true;
        }
        return QObject::event(event);
    }
};

std::atomic<int> g_liveRequests{0};

class CountedRequest : public CSiteCheckRequest {
public:
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
    HttpServer server;
    const std::string port = std::to_string(server.port());
    struct Case {
        std::string site;  // a path on the server, named after the status it answers, or a URL
        uint16_t verdict;
    };
    // clang-format off
    const Case cases[] = {
        {"/200/", SITESTATE_VALID},
        {"/299/", SITESTATE_VALID},
        {"/403/", SITESTATE_VALID},  // a forbidden listing is still a site
        {"/199/", SITESTATE_INVALID},
        {"/300/", SITESTATE_INVALID},
        {"/301/", SITESTATE_INVALID},
        {"/404/", SITESTATE_INVALID},
        {"localsite", SITESTATE_INVALID},
        {"ftp://127.0.0.1:" + port + "/", SITESTATE_INVALID},
    };
    // clang-format on
    Checks checks;
    checks.worker->PostCheckSite(&checks.window, nullptr);  // ignored
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string& site = cases[i].site;
        if (site.starts_with('/')) {
            HttpReply reply = test::Reply(std::stoi(site.substr(1)), "Scripted", "not to be read");
            reply.headers = {{"Location", server.url("/200/")}};
            reply.delayBeforeHeadersMs = i == 0 ? 300 : 0;  // the first finishing last would show
            server.route(site, reply);
        }
        // The ids run over the whole range: 65535, 0, 1, ...
        checks.post(site.starts_with('/') ? server.url(site) : site, uint16_t(65535 + i));
    }
    ASSERT_TRUE(checks.window.waitFor(2 * std::size(cases), 30000));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].site);
        const uint16_t id = uint16_t(65535 + i);
        EXPECT_EQ(checks.window.answers[2 * i], Answer(SITESTATE_CHECKING, id));
        EXPECT_EQ(checks.window.answers[2 * i + 1], Answer(cases[i].verdict, id));
    }
    // One request per status: no redirect followed, nothing else contacted.
    EXPECT_EQ(server.requests().size(), 7u);
    for (const auto& request : server.requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_NE(request.header("Cache-Control").find("no-cache"), std::string::npos)
            << "the check may be answered from a cache";
    }
}

TEST(InternetThread, FailingSitesAreAnsweredAtOnceAndASilentOneAtTheDataLimit) {
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
    HttpReply stalled;
    stalled.body = std::string(4096, 'x');
    stalled.fault = HttpReply::Fault::StallMidBody;
    server.route("/stalled/", stalled);
    HttpReply silent;
    silent.fault = HttpReply::Fault::NoStatus;
    server.route("/silent/", silent);
    server.route("/next/", HttpReply{});
    const SiteCheckLimits limits{6000, 3000};
    Checks checks(limits);
    checks.post(server.url("/stalled/"), 1);
    checks.post("http://127.0.0.1:" + std::to_string(HttpServer::unusedPort()) + "/", 2);
    checks.post("https://127.0.0.1:" + std::to_string(listener.serverPort()) + "/", 3);
    checks.post(server.url("/silent/"), 4);
    checks.post(server.url("/next/"), 5);
    ASSERT_TRUE(checks.window.waitFor(10, 15000)) << "the silent site held the queue";
    const uint16_t C = SITESTATE_CHECKING, V = SITESTATE_VALID, I = SITESTATE_INVALID;
    EXPECT_EQ(checks.window.answers,
              (std::vector<Answer>{
                  {C, 1}, {V, 1}, {C, 2}, {I, 2}, {C, 3}, {I, 3}, {C, 4}, {I, 4}, {C, 5}, {V, 5}}));
    const std::vector<qint64>& at = checks.window.times;
    EXPECT_LT(at[5], 2000) << "waited for a body, a refused connection or a failed handshake";
    ASSERT_FALSE(firstBytes.isEmpty()) << "the secure site was not contacted";
    EXPECT_EQ(firstBytes.at(0), char(0x16)) << "a TLS handshake record, not plain HTTP";
    // CHECKING comes before the site is contacted, the verdict at the data limit.
    EXPECT_GE(at[7] - at[6], limits.dataMs - 100) << "gave up before the limit";
    EXPECT_LT(at[7] - at[6], limits.connectMs) << "waited for the connect limit";
}

TEST(InternetThread, ChecksQueuedBeforeQuitRunWhenTheWindowHasGoneAndTheThreadEnds) {
    HttpServer server;
    HttpReply slow;
    slow.delayBeforeHeadersMs = 150;
    server.route("/slow/", slow);
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
    HttpReply silent;
    silent.fault = HttpReply::Fault::NoStatus;
    server.route("/silent/", silent);
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
