// Linked into every test program: the language modules of this build and the
// Japanese catalogue, also when a test program runs outside ctest. Variables
// already set by the caller win.
#include <cstdlib>

namespace {

struct TestEnvironment {
    TestEnvironment() {
        setenv("TAV_HOST_DIR", TAV_BUILD_DIR "/bin", 0);
        setenv("TAV_SYSTEM_LANGID", "0411", 0);
    }
} g_testEnvironment;

}  // namespace
