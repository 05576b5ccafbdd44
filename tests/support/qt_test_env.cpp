#include "support/qt_test_env.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <string>

namespace torv::test {

void PrepareQtTestEnvironment() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || access(runtime, F_OK) != 0) {
        const std::string folder = "/tmp/torv-test-runtime-" + std::to_string(getuid());
        mkdir(folder.c_str(), 0700);
        chmod(folder.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    }
}

}  // namespace torv::test
