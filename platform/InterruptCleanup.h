// SIGINT, SIGTERM and SIGHUP must never leave a half-written file behind. The handler itself
// removes every file registered here, says so on standard output and ends the process with
// 128 + the signal; it does only what is safe inside a signal handler.
#pragma once

#include <string>

namespace torv::platform {

// Installs the handler for the three signals; one that the process was started with ignored
// (nohup, a background job) stays ignored. Call once, early.
void InstallInterruptCleanup();

// While this object lives, name inside the folder open as folderDescriptor is removed when the
// process is interrupted. The descriptor must stay open as long as the object.
class RemoveOnInterrupt {
public:
    RemoveOnInterrupt(int folderDescriptor, const std::string& name);
    ~RemoveOnInterrupt();
    RemoveOnInterrupt(const RemoveOnInterrupt&) = delete;
    RemoveOnInterrupt& operator=(const RemoveOnInterrupt&) = delete;

private:
    int m_slot = -1;
};

}  // namespace torv::platform
