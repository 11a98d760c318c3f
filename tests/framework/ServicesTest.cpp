//===- ServicesTest.cpp - UI services and resource strings ---------------===//
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <vexo/framework/ResourceStrings.h>
#include <vexo/framework/UIServices.h>

using namespace vexo;

// SetUIServices returns the previous set; empty members fall back to defaults;
// the busy cursor is shown once for nested scopes.
TEST(UIServices, ReplaceAndRestore) {
    std::vector<bool> busy;
    int beeps = 0;
    TUIServices s;
    s.Beep = [&] { ++beeps; };
    s.SetBusyCursor = [&](bool b) { busy.push_back(b); };
    TUIServices previous = SetUIServices(s);
    Beep();
    EXPECT_EQ(beeps, 1);
    ASSERT_TRUE(UIServices().ShowMessage); // filled with the default
    {
        TBusyCursor outer;
        TBusyCursor inner;
    }
    EXPECT_EQ(busy, (std::vector<bool>{true, false}));
    TUIServices mine = SetUIServices(previous);
    ASSERT_TRUE(mine.Beep);
    mine.Beep();
    EXPECT_EQ(beeps, 2);
    Beep(); // the restored default does nothing
    EXPECT_EQ(beeps, 2);
}

// Resource strings: registered, replaced, missing ids give "".
TEST(ResourceStrings, RegisterReplaceLoad) {
    RegisterResourceStrings({{70001, "first"}, {70002, "second"}});
    EXPECT_EQ(LoadResString(70001), "first");
    SetResourceString(70001, "replaced");
    EXPECT_EQ(LoadResString(70001), "replaced");
    EXPECT_EQ(LoadResString(79999), "");
}
