// Makes a test binary safe to start anywhere: widgets go to the offscreen platform unless a
// platform was chosen, and Qt gets a private runtime folder. Call before the application object.
#pragma once

namespace torv::test {

void PrepareQtTestEnvironment();

}  // namespace torv::test
