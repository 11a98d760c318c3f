//===- ErrorTextTest.cpp - system texts and UTF conversions --------------===//
#include "PlatformTestSupport.h"

using namespace vexo::platform;
using namespace vexo::platform::test;

// Known codes give the system texts; others name the code in hexadecimal.
TEST(ErrorText, KnownAndUnknownCodes) {
    EXPECT_EQ(SystemErrorText(MakeHResult(0x8004ABCD)), "Unknown error 0x8004ABCD");
    if (kStandIn) { // the system has a text for this one (ERROR_ARENA_TRASHED)
        EXPECT_EQ(SystemErrorText(MakeHResult(0x00000007)), "Unknown error 0x00000007");
    }
    if (RunningUnderWine())
        return; // Wine's texts are its own ("Success.", "Call failed.") or missing
    EXPECT_EQ(SystemErrorText(S_OK), "The operation completed successfully.");
    EXPECT_EQ(SystemErrorText(E_FAIL), "Unspecified error");
    EXPECT_EQ(SystemErrorText(E_NOINTERFACE), "No such interface supported");
    EXPECT_EQ(SystemErrorText(E_INVALIDARG), "The parameter is incorrect.");
    EXPECT_EQ(SystemErrorText(E_ACCESSDENIED), "Access is denied.");
    EXPECT_EQ(SystemErrorText(REGDB_E_CLASSNOTREG), "Class not registered");
    EXPECT_EQ(SystemErrorText(CO_E_CLASSSTRING), "Invalid class string");
    EXPECT_EQ(SystemErrorText(RPC_S_SERVER_UNAVAILABLE_HR), "The RPC server is unavailable.");
    EXPECT_EQ(SystemErrorText(DISP_E_TYPEMISMATCH), "Type mismatch.");
    EXPECT_EQ(SystemErrorText(DISP_E_OVERFLOW), "Out of present range.");
    EXPECT_EQ(SystemErrorText(E_UNEXPECTED), "Catastrophic failure");
}

// UTF-8 and UTF-16 round-trip, including characters outside the basic plane.
TEST(WideString, RoundTrip) {
    std::string text = "Temp \xC2\xB0"
                       "C \xE2\x82\xAC \xF0\x9F\x98\x80";
    vexo::platform::WideString w = Utf8ToUtf16(text);
    EXPECT_EQ(w, OLESTR("Temp \u00B0C \u20AC \U0001F600"));
    EXPECT_EQ(Utf16ToUtf8(w), text);
    EXPECT_EQ(WideToString(nullptr), "");
    EXPECT_EQ(WideLength(OLESTR("abc")), 3u);
}

// Invalid sequences become U+FFFD without swallowing the characters after them.
TEST(WideString, InvalidInputReplaced) {
    EXPECT_EQ(Utf8ToUtf16("a\xFF"
                          "b"),
              OLESTR("a\uFFFDb"));
    EXPECT_EQ(Utf8ToUtf16("a\xE2\x82"
                          "b"),
              OLESTR("a\uFFFDb"));                                // truncated
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), OLESTR("\uFFFD"));         // overlong
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), OLESTR("\uFFFD"));     // encoded surrogate
    EXPECT_EQ(Utf16ToUtf8(OLESTR("x\xD800y")), "x\xEF\xBF\xBDy"); // lone high surrogate
    EXPECT_EQ(Utf16ToUtf8(vexo::platform::WideString(1, WCHAR(0xDC00))), "\xEF\xBF\xBD");
}

// Task-memory wide strings are zero-terminated copies counted as one block.
TEST(WideString, TaskMemCopies) {
    Counters c;
    LPWSTR w = TaskMemWideString(std::string_view("h\xC3\xA9llo"));
    EXPECT_EQ(TaskMemLiveBlocks(), c.task + 1);
    EXPECT_EQ(vexo::platform::WideString(w), OLESTR("h\u00E9llo"));
    CoTaskMemFree(w);
    LPWSTR empty = TaskMemWideString(vexo::platform::WideStringView());
    EXPECT_EQ(empty[0], 0);
    CoTaskMemFree(empty);
    c.ExpectUnchanged();
}
