#include "platform/Display.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QByteArray>
#include <QtGlobal>

#include <cstring>

namespace torv::platform {

namespace {

using XcbDisconnect = void (*)(void*);

// A reachable display's probe connection stays open until the process ends: an X server whose
// last client leaves resets itself and refuses connections meanwhile, the application's own
// among them. The socket is close-on-exec, so the game never inherits it.
struct XcbProbe {
    XcbProbe() = default;
    XcbProbe(const XcbProbe&) = delete;
    XcbProbe& operator=(const XcbProbe&) = delete;
    ~XcbProbe() {
        if (connection != nullptr) {
            disconnect(connection);
        }
    }
    XcbDisconnect disconnect = nullptr;
    void* connection = nullptr;
};

// Asked through libxcb, as Qt's X11 platform asks, so that a refused authorisation counts too.
// Loaded at run time: a build and a system without X11 need none of it, and Qt loads the same
// library next, so it stays loaded.
bool x11Reachable(const QByteArray& display) {
    static XcbProbe probe;
    if (probe.connection != nullptr) {
        return true;
    }
    void* xcb = ::dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (xcb == nullptr) {
        return false;
    }
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    const auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<XcbDisconnect>(::dlsym(xcb, "xcb_disconnect"));
    if (connect == nullptr || hasError == nullptr || disconnect == nullptr) {
        return false;
    }
    void* connection = connect(display.constData(), nullptr);
    if (connection == nullptr || hasError(connection) != 0) {
        disconnect(connection);
        return false;
    }
    probe.disconnect = disconnect;
    probe.connection = connection;
    return true;
}

bool waylandReachable(const QByteArray& display) {
    QByteArray path = display;
    if (!display.startsWith('/')) {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        if (runtime.isEmpty()) {
            return false;
        }
        path = runtime + '/' + display;
    }
    sockaddr_un address{};
    if (std::size_t(path.size()) >= sizeof(address.sun_path)) {
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool reachable =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return reachable;
}

}  // namespace

bool hasDisplay() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        return true;
    }
    // A display named but not served (left behind by an ended ssh or desktop session) is no
    // display: Qt would abort on it before a line of the log was written.
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    if (!wayland.isEmpty() && waylandReachable(wayland)) {
        return true;
    }
    const QByteArray x11 = qgetenv("DISPLAY");
    return !x11.isEmpty() && x11Reachable(x11);
}

}  // namespace torv::platform
