//===- TestMain.cpp - GoogleTest entry point shared by every test program -===//
#include <gtest/gtest.h>

#include <vexo/platform/Activation.h>

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The main thread creates objects, as an application's does; programs
    // without the application object enter it into an apartment here.
    vexo::platform::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return RUN_ALL_TESTS();
}
