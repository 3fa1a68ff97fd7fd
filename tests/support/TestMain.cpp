// Test entry: COM and common controls as the program has them, a watch for dialogs no test
// expected, then GoogleTest.
#include "DialogAnswerer.h"
#include "ThreadStartup.h"

#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const ThreadStartup startup;
    if (!startup.ComReady())
        return 2;
    testing::InitGoogleTest(&argc, argv);
    const UnexpectedBoxWatch boxes;
    return RUN_ALL_TESTS();
}
