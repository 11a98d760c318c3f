//===- VexoErrorsTest.cpp - error texts, OPCCheck and the string table ----===//
#include <gtest/gtest.h>

#include <vexo/VexoErrors.h>
#include <vexo/framework/ResourceStrings.h>
#include <vexo/platform/ErrorText.h>

using namespace vexo;

namespace {

HRESULT Code(std::uint32_t Bits) { return static_cast<HRESULT>(Bits); }

} // namespace

// The texts with a line break carry CR LF exactly where the table puts it.
TEST(VexoErrors, TextsWithLineBreaksAreExact) {
    EXPECT_EQ(GetOPCErrorMessage(Code(0xC0040004)),
              "The server cannot convert the data between the\r\nrequested data type and the "
              "canonical data");
    EXPECT_EQ(GetOPCErrorMessage(Code(0x0004000D)),
              "The server does not support the requested data rate\r\nbut will use the closest "
              "available rate.");
    EXPECT_EQ(GetOPCErrorMessage(Code(0x0004000F)),
              "The operation cannot be completed because the\r\nobject still has references "
              "that exist.");
}

// Alarms & Events codes have their texts, two of them sharing one wording.
TEST(VexoErrors, AlarmCodesHaveTheirTexts) {
    EXPECT_EQ(GetOPCErrorMessage(Code(0x00040200)), "The condition has already been acknowleged");
    EXPECT_EQ(GetOPCErrorMessage(Code(0x00040202)), "The max size parameter was invalid");
    EXPECT_EQ(GetOPCErrorMessage(Code(0xC0040204)), "A refresh is currently in progress");
    EXPECT_EQ(GetOPCErrorMessage(Code(0xC0040205)), "A refresh is currently in progress");
    EXPECT_EQ(GetOPCErrorMessage(Code(0xC0040206)), "Information is not available");
    EXPECT_EQ(GetOPCErrorMessage(Code(0xC0040203)),
              "The server does not recognise the passed property ID.");
}

// Codes outside the table, retired codes and near misses in the high bits give "".
TEST(VexoErrors, UnknownCodesHaveNoText) {
    for (std::uint32_t Bits : {0x00000000u, 0x00000001u, 0xC0040002u, 0xC0040003u, 0x80004005u,
                               0x00040007u, 0x80040007u, 0xC0040012u, 0xC0040207u})
        EXPECT_EQ(GetOPCErrorMessage(Code(Bits)), "") << std::hex << Bits;
}

// Success codes never raise, even those with a text.
TEST(VexoErrors, OPCCheckPassesSuccessCodes) {
    for (std::uint32_t Bits : {0x0u, 0x1u, 0x0004000Du, 0x0004000Eu, 0x0004000Fu, 0x00040200u})
        EXPECT_NO_THROW(OPCCheck(Code(Bits))) << std::hex << Bits;
    EXPECT_EQ(GetOPCErrorMessage(Code(0x0004000E)),
              "A value passed to WRITE was accepted but the output was clamped.");
}

// A failure with a text raises EOPCException carrying exactly that text.
TEST(VexoErrors, OPCCheckRaisesLibraryExceptionForKnownFailure) {
    try {
        OPCCheck(Code(0xC0040007));
        FAIL() << "no exception";
    } catch (const EOleSysError &) {
        FAIL() << "COM error instead of EOPCException";
    } catch (const EOPCException &E) {
        EXPECT_EQ(E.Message(), "The item is no longer available in the server address space.");
    }
}

// A failure without a text raises the COM error with the code and the system's text.
TEST(VexoErrors, OPCCheckRaisesComErrorForOtherFailures) {
    for (std::uint32_t Bits : {0xC0040002u, 0x80004005u}) {
        try {
            OPCCheck(Code(Bits));
            ADD_FAILURE() << "no exception for " << std::hex << Bits;
        } catch (const EOleSysError &E) {
            EXPECT_EQ(E.ErrorCode(), Code(Bits));
            EXPECT_EQ(E.Message(), vexo::platform::SystemErrorText(Code(Bits)));
        } catch (const EOPCException &) {
            ADD_FAILURE() << "EOPCException for " << std::hex << Bits;
        }
    }
}

// The library's texts are in the string table for code that loads them by id.
TEST(VexoErrors, LibraryTextsAreLoadableById) {
    EXPECT_EQ(LoadResString(_STR_NOTACTIVE), "not connected to server");
    EXPECT_EQ(LoadResString(_STR_HASSERVERHANDLE), "item %s already exists on OPCServer");
    EXPECT_EQ(VexoLoadStr(_STR_NOSERVERHANDLE), "item %s not exists on OPCServer");
    EXPECT_EQ(Format(VexoLoadStr(_STR_UNKNOWN), {-5}), "unknown error : -5");
    EXPECT_EQ(Format(VexoLoadStr(_STR_NOREGISTER), {"Sim.1", "host"}),
              "OPC Server Sim.1 not found on computer host");
    for (int Id = 65493; Id <= 65503; ++Id)
        EXPECT_EQ(VexoLoadStr(Id), "") << Id;
}

// A translated string table changes the message raised for a code.
TEST(VexoErrors, TranslatedTextIsUsed) {
    const std::string Original = VexoLoadStr(_STR_OPC_RANGE);
    SetResourceString(_STR_OPC_RANGE, "Wert ausserhalb des Bereichs.");
    EXPECT_EQ(GetOPCErrorMessage(Code(0xC004000B)), "Wert ausserhalb des Bereichs.");
    EXPECT_THROW(OPCCheck(Code(0xC004000B)), EOPCException);
    RegisterVexoResourceStrings(); // must not overwrite the translation
    EXPECT_EQ(VexoLoadStr(_STR_OPC_RANGE), "Wert ausserhalb des Bereichs.");
    SetResourceString(_STR_OPC_RANGE, Original);
}
