//===- GuidTest.cpp - GUID text forms and program ids --------------------===//
#include "PlatformTestSupport.h"

using namespace vexo::platform;
using namespace vexo::platform::test;

namespace {
constexpr GUID kSample{
    0x13486D51, 0x4821, 0x11D2, {0xA4, 0x94, 0x3C, 0xB3, 0x06, 0xC1, 0x00, 0x00}};
}

// Formatting gives the upper-case braced form and parsing accepts either case.
TEST(Guid, RoundTripsThroughText) {
    Counters c;
    EXPECT_EQ(GuidToString(kSample), "{13486D51-4821-11D2-A494-3CB306C10000}");
    EXPECT_EQ(GuidFromString("{13486d51-4821-11d2-a494-3cb306c10000}"), kSample);
    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(kSample, &text), S_OK);
    CLSID back;
    EXPECT_EQ(CLSIDFromString(text, &back), S_OK);
    EXPECT_EQ(back, kSample);
    CoTaskMemFree(text);
    OLECHAR buf[39];
    EXPECT_EQ(StringFromGUID2(kSample, buf, 39), 39);
    EXPECT_EQ(WideToString(buf), "{13486D51-4821-11D2-A494-3CB306C10000}");
    EXPECT_EQ(StringFromGUID2(kSample, buf, 38), 0);
    c.ExpectUnchanged();
}

// Malformed texts are CO_E_CLASSSTRING (the stand-in also sets GUID_NULL; the
// system may leave what it parsed); a registered program id is read as one.
TEST(Guid, MalformedTextsAreRejected) {
    const WCHAR *bad[] = {
        OLESTR(""),
        OLESTR("13486D51-4821-11D2-A494-3CB306C10000"),    // no braces
        OLESTR("{13486D51-4821-11D2-A494-3CB306C1000}"),   // short
        OLESTR("{13486D51-4821-11D2-A494-3CB306C100000}"), // long
        OLESTR("{13486D51-4821-11D2A494-3CB306C10000-}"),  // dash moved
        OLESTR("{13486D5G-4821-11D2-A494-3CB306C10000}"),  // not hex
        OLESTR("(13486D51-4821-11D2-A494-3CB306C10000)"),  // wrong brackets
        OLESTR(" {13486D51-4821-11D2-A494-3CB306C10000}"), // leading blank
        OLESTR("No.Such.ProgId.1"),
    };
    for (const WCHAR *text : bad) {
        CLSID out = kSample;
        EXPECT_EQ(CLSIDFromString(text, &out), CO_E_CLASSSTRING) << WideToString(text);
        if (kStandIn) {
            EXPECT_EQ(out, GUID_NULL);
        }
    }
    CLSID out = kSample;
    if (kStandIn) {
        // The system reads a null text as GUID_NULL; the stand-in refuses it,
        // so that a missing name never passes for a class id. A null result
        // pointer faults in the system.
        EXPECT_EQ(CLSIDFromString(nullptr, &out), CO_E_CLASSSTRING);
        EXPECT_EQ(out, GUID_NULL);
        EXPECT_EQ(CLSIDFromString(OLESTR("{13486D51-4821-11D2-A494-3CB306C10000}"), nullptr),
                  E_INVALIDARG);
        EXPECT_EQ(StringFromCLSID(kSample, nullptr), E_POINTER);
    }
    EXPECT_FALSE(GuidFromString("{13486D51-4821-11D2-A494-3CB306C10000"));
}

// Program ids resolve through the local registry both ways.
TEST(Guid, ProgIdLookups) {
    Counters c;
    const std::string clsid = GuidToString(kSample);
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, "Vexo.GuidTest.1\\CLSID", REG_SZ, clsid.c_str(), 0),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid + "\\ProgID").c_str(), REG_SZ,
                           "Vexo.GuidTest.1", 0),
              ERROR_SUCCESS);
    CLSID got;
    EXPECT_EQ(CLSIDFromProgID(OLESTR("vexo.guidtest.1"), &got), S_OK);
    EXPECT_EQ(got, kSample);
    got = GUID_NULL;
    EXPECT_EQ(CLSIDFromString(OLESTR("Vexo.GuidTest.1"), &got), S_OK); // read as a program id
    EXPECT_EQ(got, kSample);
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(kSample, &progId), S_OK);
    EXPECT_EQ(WideToString(progId), "Vexo.GuidTest.1");
    CoTaskMemFree(progId);

    EXPECT_EQ(CLSIDFromProgID(OLESTR("Vexo.NoSuch.1"), &got), CO_E_CLASSSTRING);
    EXPECT_EQ(got, GUID_NULL);
    EXPECT_EQ(CLSIDFromProgID(OLESTR(""), &got), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(OLESTR("Vexo.GuidTest.1"), nullptr), E_INVALIDARG);
    EXPECT_EQ(ProgIDFromCLSID(GUID_NULL, &progId), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progId, nullptr);
    RegSetValueA(HKEY_CLASSES_ROOT, "Vexo.BadClsid\\CLSID", REG_SZ, "not a guid", 0);
    EXPECT_EQ(CLSIDFromProgID(OLESTR("Vexo.BadClsid"), &got), CO_E_CLASSSTRING);

    RegDeleteTreeA(HKEY_CLASSES_ROOT, "Vexo.GuidTest.1");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "Vexo.BadClsid");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid).c_str());
    c.ExpectUnchanged();
}
