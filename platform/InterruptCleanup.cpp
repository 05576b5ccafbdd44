#include "platform/InterruptCleanup.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace torv::platform {

namespace {

// A fetch holds at most a downloaded archive and one file being written at a time; the rest is
// headroom.
constexpr int kSlots = 32;
constexpr std::size_t kNameRoom = 256;

enum SlotState : int { kFree, kFilling, kReady };

struct Slot {
    std::atomic<int> state{kFree};
    int folder = -1;
    char name[kNameRoom] = {};
};

// Plain static storage: the handler may read it at any moment, from any thread.
Slot g_slots[kSlots];

static_assert(std::atomic<int>::is_always_lock_free, "the handler needs lock-free flags");

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

const char* signalName(int sig) {
    switch (sig) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "a signal";
    }
}

void writeAll(const char* text) {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, text, left);
        if (n <= 0) {
            return;
        }
        text += n;
        left -= std::size_t(n);
    }
}

extern "C" void onInterrupt(int sig) {
    bool removed = false;
    for (Slot& slot : g_slots) {
        if (slot.state.load(std::memory_order_acquire) == kReady &&
            ::unlinkat(slot.folder, slot.name, 0) == 0) {
            removed = true;
        }
    }
    writeAll("ERROR: Interrupted by ");
    writeAll(signalName(sig));
    writeAll(removed ? "; the unfinished files were removed.\n" : ".\n");
    ::_exit(128 + sig);
}

}  // namespace

void InstallInterruptCleanup() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    for (int signal : kSignals) {
        struct sigaction previous {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
            continue;
        }
        ::sigaction(signal, &action, nullptr);
    }
}

RemoveOnInterrupt::RemoveOnInterrupt(int folderDescriptor, const std::string& name) {
    if (folderDescriptor < 0 || name.empty() || name.size() >= kNameRoom) {
        return;
    }
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (g_slots[i].state.compare_exchange_strong(expected, kFilling,
                                                     std::memory_order_acquire)) {
            g_slots[i].folder = folderDescriptor;
            std::memcpy(g_slots[i].name, name.c_str(), name.size() + 1);
            g_slots[i].state.store(kReady, std::memory_order_release);
            m_slot = i;
            return;
        }
    }
}

RemoveOnInterrupt::~RemoveOnInterrupt() {
    if (m_slot >= 0) {
        g_slots[m_slot].state.store(kFree, std::memory_order_release);
    }
}

}  // namespace torv::platform
