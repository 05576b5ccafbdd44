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

// Asked through libxcb, as Qt's X11 platform asks, so that a refused authorisation counts too.
// Loaded at run time: a build and a system without X11 need none of it.
bool x11Reachable(const QByteArray& display) {
    void* xcb = ::dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (xcb == nullptr) {
        return false;
    }
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
    bool reachable = false;
    if (connect != nullptr && hasError != nullptr && disconnect != nullptr) {
        void* connection = connect(display.constData(), nullptr);
        reachable = connection != nullptr && hasError(connection) == 0;
        disconnect(connection);
    }
    ::dlclose(xcb);
    return reachable;
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
