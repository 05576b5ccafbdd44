#include "platform/Display.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstring>
#include <optional>
#include <vector>

namespace {

using torv::platform::hasDisplay;

// A display named in the environment but not served (left behind by an ended session) is no
// display; one that answers is.
class Display : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_runtime.isValid());
        for (const char* name : kVariables) {
            m_saved.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name))
                                                              : std::nullopt);
            qunsetenv(name);
        }
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    }
    void TearDown() override {
        for (size_t i = 0; i < m_saved.size(); ++i) {
            if (m_saved[i]) {
                qputenv(kVariables[i], *m_saved[i]);
            } else {
                qunsetenv(kVariables[i]);
            }
        }
    }

    static constexpr const char* kVariables[] = {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY",
                                                 "XDG_RUNTIME_DIR"};
    QTemporaryDir m_runtime;
    std::vector<std::optional<QByteArray>> m_saved;
};

TEST_F(Display, WaylandCountsWhileItsSocketListens) {
    EXPECT_FALSE(hasDisplay());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    EXPECT_TRUE(hasDisplay()) << "a platform chosen by hand is used as it is";
    qunsetenv("QT_QPA_PLATFORM");

    qputenv("WAYLAND_DISPLAY", "wayland-7");
    EXPECT_FALSE(hasDisplay()) << "named, but no socket";
    const QByteArray path = QFile::encodeName(m_runtime.filePath("wayland-7"));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    EXPECT_TRUE(hasDisplay()) << "named in the runtime folder";
    qputenv("WAYLAND_DISPLAY", path);
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_TRUE(hasDisplay()) << "named by its whole path";
    ::close(fd);
    EXPECT_FALSE(hasDisplay()) << "the socket file outlived its server";
}

TEST_F(Display, X11CountsWhenItsServerAnswers) {
    qputenv("DISPLAY", ":4093");
    EXPECT_FALSE(hasDisplay()) << "no server for that display";

    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    if (xvfb.isEmpty()) {
        GTEST_SKIP() << "Xvfb is not installed (tools/setup installs it)";
    }
    QProcess server;
    server.start(xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-noreset"});
    ASSERT_TRUE(server.waitForStarted(10000));
    QByteArray number;
    while (!number.endsWith('\n') && server.waitForReadyRead(10000)) {
        number += server.readAllStandardOutput();
    }
    ASSERT_TRUE(number.endsWith('\n')) << "Xvfb named no display";
    qputenv("DISPLAY", ":" + number.trimmed());
    EXPECT_TRUE(hasDisplay());
}

}  // namespace
