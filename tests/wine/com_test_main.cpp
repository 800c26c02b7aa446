// Test entry for programs that use COM: the main thread is a single-threaded
// apartment, as the controller's is.
#include <gtest/gtest.h>

#include <objbase.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (FAILED(CoInitialize(nullptr))) return 2;
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
