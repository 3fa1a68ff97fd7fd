// Test entry: COM and common controls as the program has them, then GoogleTest.
#include "ThreadStartup.h"

#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const ThreadStartup startup;
    if (!startup.ComReady())
        return 2;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
