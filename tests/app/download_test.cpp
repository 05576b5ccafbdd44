#include <QDir>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <ostream>

#include "app/MissionDownload.h"
#include "app/recording_log.h"
#include "support/http_server.h"
#include "support/temp_dir.h"

namespace torv::test {
namespace {

using Fault = HttpReply::Fault;

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QStringList filesIn(const TempDir& dir) {
    return QDir(q(dir.path())).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

std::string bodyOf(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        body[i] = char((i * 7 + i / 251) & 0xFF);
    }
    return body;
}

const DownloadLimits kQuick{2'000, 2'000};

// ---------------------------------------------------------------------------------------------

struct ProgressCase {
    const char* name;
    size_t size;
    QStringList progressCalls;  // the calls after "Mission found, ..."
};

void PrintTo(const ProgressCase& c, std::ostream* os) {
    *os << c.name;
}

class DownloadProgress : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(DownloadProgress, ShowsTotalsOnOneLineAndWritesWholeBody) {
    const auto& c = GetParam();
    HttpServer server;
    const std::string body = bodyOf(c.size);
    server.route("/btc.zip", {200, "OK", body, {}, 0, Fault::None});
    TempDir dir;
    const QString target = q(dir.file("btc.zip"));
    const QString url = q(server.url("/btc.zip"));

    RecordingLog log;
    ASSERT_TRUE(DownloadMission(log, url, target, kQuick));

    QStringList expected = {"Attempting to retrieve [" + url + "].",
                            "Mission found, downloading to [" + target + "]...", "Bytes Copied: 0"};
    expected += c.progressCalls;
    EXPECT_EQ(log.calls, expected);
    EXPECT_EQ(log.lines.size(), 3);
    EXPECT_EQ(TempDir::read(dir.file("btc.zip")), body);
    EXPECT_EQ(filesIn(dir), QStringList{"btc.zip"});
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, DownloadProgress,
    ::testing::Values(
        ProgressCase{"FiveThousandBytes", 5000, {"~Bytes copied: 2048", "~Bytes copied: 5000"}},
        ProgressCase{"EmptyBody", 0, {}}, ProgressCase{"ShortOnly", 904, {"~Bytes copied: 904"}},
        // Two full chunks then an empty read: the second chunk is never shown.
        ProgressCase{"ExactChunks", 4096, {"~Bytes copied: 2048"}},
        ProgressCase{"EveryTenthChunk",
                     21 * 2048 + 5,
                     {"~Bytes copied: 2048", "~Bytes copied: 22528", "~Bytes copied: 43008",
                      "~Bytes copied: 43013"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

struct StatusCase {
    const char* name;
    int status;
    const char* reason;
    bool succeeds;
};

void PrintTo(const StatusCase& c, std::ostream* os) {
    *os << c.name;
}

class DownloadStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(DownloadStatus, OnlyTwoHundredsSucceedAndFailuresLeaveOlderFile) {
    const auto& c = GetParam();
    HttpServer server;
    HttpReply reply{c.status, c.reason, c.status == 204 ? "" : "new body", {}, 0, Fault::None};
    if (c.status >= 300 && c.status < 400) {
        reply.headers.emplace_back("Location", server.url("/moved.zip"));
        server.route("/moved.zip", {200, "OK", "moved body", {}, 0, Fault::None});
    }
    server.route("/btc.zip", reply);
    TempDir dir;
    dir.write("btc.zip", "older archive");
    const QString target = q(dir.file("btc.zip"));
    const QString url = q(server.url("/btc.zip"));

    RecordingLog log;
    EXPECT_EQ(DownloadMission(log, url, target, kQuick), c.succeeds);

    if (c.succeeds) {
        const bool empty = c.status == 204;
        QStringList expected = {"Attempting to retrieve [" + url + "].",
                                "Mission found, downloading to [" + target + "]...",
                                empty ? "Bytes Copied: 0" : "Bytes copied: 8"};
        EXPECT_EQ(log.lines, expected);
        EXPECT_EQ(TempDir::read(dir.file("btc.zip")), empty ? "" : "new body");
    } else {
        QStringList expected = {"Attempting to retrieve [" + url + "].",
                                QString("Server returned %1 %2").arg(c.status).arg(c.reason)};
        EXPECT_EQ(log.lines, expected);
        EXPECT_EQ(TempDir::read(dir.file("btc.zip")), "older archive");
    }
    // Redirects are reported, not followed.
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(filesIn(dir), QStringList{"btc.zip"});
}

INSTANTIATE_TEST_SUITE_P(Statuses, DownloadStatus,
                         ::testing::Values(StatusCase{"Informational199", 199, "Early", false},
                                           StatusCase{"Ok200", 200, "OK", true},
                                           StatusCase{"NoContent204", 204, "No Content", true},
                                           StatusCase{"Edge299", 299, "Fine", true},
                                           StatusCase{"Choices300", 300, "Multiple Choices", false},
                                           StatusCase{"Moved301", 301, "Moved Permanently", false},
                                           StatusCase{"NotFound404", 404, "Not Found", false},
                                           StatusCase{"ServerError500", 500,
                                                      "Internal Server Error", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

struct BrokenBodyCase {
    const char* name;
    Fault fault;
    QString shownTotal;  // the last progress line before the error
    QString what;        // empty: the platform's text, checked only for presence
};

void PrintTo(const BrokenBodyCase& c, std::ostream* os) {
    *os << c.name;
}

class DownloadBrokenBody : public ::testing::TestWithParam<BrokenBodyCase> {};

TEST_P(DownloadBrokenBody, FailsNamingHostAndKeepsOlderFile) {
    const auto& c = GetParam();
    HttpServer server;
    server.route("/btc.zip", {200, "OK", bodyOf(100'000), {}, 0, c.fault});
    TempDir dir;
    dir.write("btc.zip", "older archive");
    const QString target = q(dir.file("btc.zip"));
    const QString url = q(server.url("/btc.zip"));
    const QString host = QString("127.0.0.1:%1").arg(server.port());

    RecordingLog log;
    EXPECT_FALSE(DownloadMission(log, url, target, {2'000, 300}));

    ASSERT_EQ(log.lines.size(), 4) << log.lines.join('\n').toStdString();
    EXPECT_EQ(log.lines[0], "Attempting to retrieve [" + url + "].");
    EXPECT_EQ(log.lines[1], "Mission found, downloading to [" + target + "]...");
    EXPECT_EQ(log.lines[2], c.shownTotal);
    const QString prefix = "ERROR: Download from [" + host + "] failed: ";
    if (c.what.isEmpty()) {
        EXPECT_TRUE(log.lines[3].startsWith(prefix)) << log.lines[3].toStdString();
        EXPECT_GT(log.lines[3].size(), prefix.size() + 1);
    } else {
        EXPECT_EQ(log.lines[3], prefix + c.what + ".");
    }
    EXPECT_EQ(TempDir::read(dir.file("btc.zip")), "older archive");
    EXPECT_EQ(filesIn(dir), QStringList{"btc.zip"});
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DownloadBrokenBody,
    ::testing::Values(
        BrokenBodyCase{"DroppedAfterHeaders", Fault::CloseAfterHeaders, "Bytes Copied: 0", {}},
        // 50,000 of 100,000 bytes arrive: 24 full chunks, the progress shows chunk 20's total.
        BrokenBodyCase{"DroppedMidBody", Fault::CloseMidBody, "Bytes copied: 43008", {}},
        BrokenBodyCase{"ShorterThanAnnounced", Fault::ShortBody, "Bytes copied: 83968", {}},
        BrokenBodyCase{"StalledMidBody", Fault::StallMidBody, "Bytes copied: 43008",
                       "no data for 0.3 seconds"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

struct ContactCase {
    const char* name;
    std::string (*url)(const HttpServer&);
    QString inBrackets;  // empty: the platform's text, checked only for presence
};

void PrintTo(const ContactCase& c, std::ostream* os) {
    *os << c.name;
}

class DownloadContact : public ::testing::TestWithParam<ContactCase> {};

TEST_P(DownloadContact, FailsBeforeAnyFileIsTouched) {
    const auto& c = GetParam();
    HttpServer server;
    server.route("/silent.zip", {200, "OK", "x", {}, 0, Fault::NoStatus});
    server.route("/slow.zip", {200, "OK", "x", {}, 1'500, Fault::None});
    TempDir dir;
    dir.write("btc.zip", "older archive");
    const QString target = q(dir.file("btc.zip"));
    const QString url = q(c.url(server));

    RecordingLog log;
    EXPECT_FALSE(DownloadMission(log, url, target, {300, 2'000}));

    ASSERT_EQ(log.lines.size(), 2) << log.lines.join('\n').toStdString();
    EXPECT_EQ(log.lines[0], "Attempting to retrieve [" + url + "].");
    if (c.inBrackets.isEmpty()) {
        EXPECT_TRUE(log.lines[1].startsWith("ERROR contacting server: [") &&
                    log.lines[1].endsWith("].") && log.lines[1].size() > 30)
            << log.lines[1].toStdString();
    } else {
        EXPECT_EQ(log.lines[1],
                  "ERROR contacting server: [" +
                      QString(c.inBrackets).replace("%1", QString::number(server.port())) + "].");
    }
    EXPECT_EQ(TempDir::read(dir.file("btc.zip")), "older archive");
    EXPECT_EQ(filesIn(dir), QStringList{"btc.zip"});
}

INSTANTIATE_TEST_SUITE_P(
    Failures, DownloadContact,
    ::testing::Values(
        ContactCase{"UnreachablePort",
                    [](const HttpServer&) {
                        return "http://127.0.0.1:" + std::to_string(HttpServer::unusedPort()) +
                               "/btc.zip";
                    },
                    "Connection refused"},
        ContactCase{"NeverAnswers", [](const HttpServer& s) { return s.url("/silent.zip"); },
                    "No answer from 127.0.0.1:%1 within 0.3 seconds"},
        ContactCase{"AnswersTooLate", [](const HttpServer& s) { return s.url("/slow.zip"); },
                    "No answer from 127.0.0.1:%1 within 0.3 seconds"},
        ContactCase{"HttpsToPlainPort",
                    [](const HttpServer& s) {
                        return "https://127.0.0.1:" + std::to_string(s.port()) + "/btc.zip";
                    },
                    {}},
        ContactCase{"OtherScheme",
                    [](const HttpServer& s) {
                        return "ftp://127.0.0.1:" + std::to_string(s.port()) + "/btc.zip";
                    },
                    "Unsupported protocol \"ftp\""},
        ContactCase{"NoScheme", [](const HttpServer&) { return std::string("sites/btc.zip"); },
                    "The URL names no protocol (http:// or https://)"},
        ContactCase{"NoHost", [](const HttpServer&) { return std::string("http:///btc.zip"); },
                    "The URL names no host"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

struct EncodingCase {
    const char* name;
    const char* requested;  // as the flow hands it over
    const char* route;      // the decoded name the site holds
    const char* sent;       // what must reach the server
};

void PrintTo(const EncodingCase& c, std::ostream* os) {
    *os << c.name;
}

class DownloadEncoding : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(DownloadEncoding, NameReachesServerEncoded) {
    const auto& c = GetParam();
    HttpServer server;
    server.route(c.route, {200, "OK", "archive", {}, 0, Fault::None});
    TempDir dir;

    RecordingLog log;
    EXPECT_TRUE(DownloadMission(log, q(server.url(c.requested)), q(dir.file("m.zip")), kQuick));

    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].method, "GET");
    EXPECT_EQ(server.requests()[0].path, c.sent);
    EXPECT_EQ(TempDir::read(dir.file("m.zip")), "archive");
}

INSTANTIATE_TEST_SUITE_P(Names, DownloadEncoding,
                         ::testing::Values(EncodingCase{"EncodedBlank", "/sites/my%20mission.zip",
                                                        "/sites/my mission.zip",
                                                        "/sites/my%20mission.zip"},
                                           EncodingCase{"EncodedHashAndPercent", "/my%23%25.zip",
                                                        "/my#%.zip", "/my%23%25.zip"},
                                           EncodingCase{"RawBlankTolerated", "/my mission.zip",
                                                        "/my mission.zip", "/my%20mission.zip"},
                                           EncodingCase{"EncodedNonAscii", "/caf%C3%A9.zip",
                                                        "/caf\xC3\xA9.zip", "/caf%C3%A9.zip"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

TEST(Download, UnwritableTargetFailsWithoutLineAfterStatus) {
    HttpServer server;
    server.route("/btc.zip", {200, "OK", "archive", {}, 0, Fault::None});
    TempDir dir;
    const QString target = q(dir.file("missing-folder/btc.zip"));
    const QString url = q(server.url("/btc.zip"));

    RecordingLog log;
    EXPECT_FALSE(DownloadMission(log, url, target, kQuick));
    EXPECT_EQ(log.lines, QStringList{"Attempting to retrieve [" + url + "]."});
    EXPECT_TRUE(filesIn(dir).isEmpty());
}

TEST(Download, EachCallUsesFreshConnection) {
    HttpServer server;
    server.route("/a.zip", {404, "Not Found", "", {}, 0, Fault::None});
    server.route("/b.zip", {200, "OK", "b", {}, 0, Fault::None});
    TempDir dir;
    RecordingLog log;
    EXPECT_FALSE(DownloadMission(log, q(server.url("/a.zip")), q(dir.file("x.zip")), kQuick));
    EXPECT_TRUE(DownloadMission(log, q(server.url("/b.zip")), q(dir.file("x.zip")), kQuick));
    EXPECT_EQ(TempDir::read(dir.file("x.zip")), "b");
    EXPECT_EQ(server.requests().size(), 2u);
}

}  // namespace
}  // namespace torv::test
