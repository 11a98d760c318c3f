//===- StreamLayoutTest.cpp - DA 1.0 streams of 32- and 64-bit servers ----===//
//
// A DA 1.0 server writes its VARIANTs and array descriptors into the stream
// as they sit in its own memory. These tests feed the reader blocks in both
// layouts, and let the simulation server write either, and check that the
// values come out the same.
//
//===----------------------------------------------------------------------===//

#include <algorithm>
#include <cstdio>

#include "DataPathSupport.h"

namespace vexo::test {
namespace {

using Layout = opc::StreamLayout;
using Entries = std::vector<TVexoAdviseSink::StreamEntry>;

std::size_t ScalarSize(VARTYPE Vt) {
    switch (Vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_DECIMAL:
        return 16;
    case VT_EMPTY:
    case VT_NULL:
        return 0;
    default:
        return 8;
    }
}

/// The exact contents of a value: its type in hex, then the bytes of a
/// scalar, the text of a string, or the lower bound and elements of an array.
std::string Exact(const VARIANT &V) {
    char Buf[8];
    std::snprintf(Buf, sizeof Buf, "%x:", V.vt);
    std::string Out = Buf;
    if (V.vt == VT_BSTR)
        return Out + platform::Utf16ToUtf8(
                         platform::WideStringView(V.bstrVal, platform::SysStringLen(V.bstrVal)));
    if (V.vt & VT_ARRAY) {
        LONG Lo = 0, Hi = -1;
        platform::SafeArrayGetLBound(V.parray, 1, &Lo);
        platform::SafeArrayGetUBound(V.parray, 1, &Hi);
        Out += "[" + std::to_string(Lo) + "]";
        for (LONG i = Lo; i <= Hi; ++i) {
            VARIANT E;
            platform::VariantInit(&E);
            const VARTYPE ElemVt = V.vt & VT_TYPEMASK;
            if (ElemVt == VT_VARIANT) {
                platform::SafeArrayGetElement(V.parray, &i, &E);
            } else {
                platform::SafeArrayGetElement(V.parray, &i, &E.llVal);
                E.vt = ElemVt;
            }
            Out += "{" + Exact(E) + "}";
            platform::VariantClear(&E);
        }
        return Out;
    }
    const BYTE *Bytes = V.vt == VT_DECIMAL ? reinterpret_cast<const BYTE *>(&V.decVal)
                                           : reinterpret_cast<const BYTE *>(&V.llVal);
    for (std::size_t i = 0; i < ScalarSize(V.vt); ++i) {
        std::snprintf(Buf, sizeof Buf, "%02x", Bytes[i]);
        Out += Buf;
    }
    return Out;
}

/// Parses Block; the exact values, or {"refused"}.
std::vector<std::string> Parse(const std::vector<BYTE> &Block, std::size_t Size = SIZE_MAX) {
    TVexoAdviseSink::StreamHeader Head{};
    Entries Out;
    if (!TVexoAdviseSink::ParseStream(Block.data(), std::min(Size, Block.size()), true, Head,
                                      Out)) {
        EXPECT_TRUE(Out.empty());
        return {"refused"};
    }
    std::vector<std::string> Values;
    for (const auto &E : Out)
        Values.push_back(Exact(E.Value));
    TVexoAdviseSink::ClearEntries(Out);
    return Values;
}

std::vector<BYTE> Block(const std::vector<std::vector<BYTE>> &Values, std::size_t Align = 8) {
    StreamBuilder S(true, Align);
    OPCHANDLE H = 1;
    for (const auto &V : Values)
        S.Add(H++, 0xC0, V);
    return S.Build();
}

class StreamLayoutTest : public DataPathFixture {};

TEST_F(StreamLayoutTest, BlocksOfEitherLayoutReadIntoTheSameValues) {
    // Scalars, a decimal, strings and arrays of every kind read the same from
    // a 32- and a 64-bit server's block, values aligned to 8, to 4 or packed,
    // alone or together, strings of every short length included.
    DECIMAL Dec{};
    Dec.scale = 2;
    Dec.sign = 0x80;
    Dec.Hi32 = 1;
    Dec.Lo64 = 12345;
    const std::vector<std::string> Expected = {"3:f9ffffff",
                                               "5:0000000000000440",
                                               "e:0e00028001000000"
                                               "3930000000000000",
                                               "8:h\xc3\xa9llo",
                                               "2003:[2]{3:01000000}{3:02000000}{3:03000000}",
                                               "2008:[0]{8:a}{8:}{8:bc}",
                                               "200c:[0]{3:05000000}{8:xy}{0:}",
                                               "8:",
                                               "8:a",
                                               "8:ab",
                                               "8:abc",
                                               "8:abcd",
                                               "8:abcde"};
    for (const Layout *L : {&opc::StreamLayout32, &opc::StreamLayout64}) {
        const std::vector<std::vector<BYTE>> Values = {
            StreamBuilder::I4(-7, *L),
            StreamBuilder::R8(2.5, *L),
            StreamBuilder::Decimal(Dec, *L),
            StreamBuilder::Str(OLESTR("h\u00e9llo"), *L),
            StreamBuilder::I4Array({1, 2, 3}, 2, *L),
            StreamBuilder::StrArray({OLESTR("a"), OLESTR(""), OLESTR("bc")}, *L),
            StreamBuilder::VarArray({StreamBuilder::I4(5, *L), StreamBuilder::Str(OLESTR("xy"), *L),
                                     std::vector<BYTE>(L->Variant, 0)},
                                    *L),
            StreamBuilder::Str(OLESTR(""), *L),
            StreamBuilder::Str(OLESTR("a"), *L),
            StreamBuilder::Str(OLESTR("ab"), *L),
            StreamBuilder::Str(OLESTR("abc"), *L),
            StreamBuilder::Str(OLESTR("abcd"), *L),
            StreamBuilder::Str(OLESTR("abcde"), *L)};
        for (std::size_t Align : {8, 4, 1}) {
            SCOPED_TRACE(testing::Message() << L->PointerBits << "-bit, aligned to " << Align);
            std::vector<BYTE> All = Block(Values, Align);
            EXPECT_EQ(Parse(All), Expected);
            // Headers in another order than their values.
            std::swap_ranges(All.begin() + sizeof(OPCGROUPHEADER),
                             All.begin() + sizeof(OPCGROUPHEADER) + sizeof(OPCITEMHEADER1),
                             All.begin() + sizeof(OPCGROUPHEADER) + 3 * sizeof(OPCITEMHEADER1));
            std::vector<std::string> Swapped = Expected;
            std::swap(Swapped[0], Swapped[3]);
            EXPECT_EQ(Parse(All), Swapped);
            for (std::size_t i = 0; i < Values.size(); ++i)
                EXPECT_EQ(Parse(Block({Values[i]}, Align)), std::vector<std::string>{Expected[i]})
                    << "alone: " << Expected[i];
            // Two of the short strings that read in both layouts, and a
            // scalar that shows the layout.
            EXPECT_EQ(Parse(Block({Values[9], Values[9], Values[0]}, Align)),
                      (std::vector<std::string>{Expected[9], Expected[9], Expected[0]}));
        }
    }
}

TEST_F(StreamLayoutTest, MalformedBlocksOfThe32BitLayoutAreRefused) {
    // A 32-bit block that does not hold what it claims is refused whole,
    // hands back nothing and reads nothing outside itself.
    const Layout &L = opc::StreamLayout32;
    const std::vector<BYTE> Good =
        Block({StreamBuilder::I4Array({1, 2}, 0, L), StreamBuilder::Str(OLESTR("abc"), L),
               StreamBuilder::StrArray({OLESTR("xy"), OLESTR("z")}, L)});
    ASSERT_EQ(Parse(Good).size(), 3u);
    const std::size_t Last = StreamBuilder::StrArray({OLESTR("xy"), OLESTR("z")}, L).size();
    const std::size_t Padding = ((Last + 7) & ~std::size_t(7)) - Last;
    for (std::size_t Size = 0; Size < Good.size() - Padding; ++Size)
        EXPECT_EQ(Parse(Good, Size), std::vector<std::string>{"refused"}) << "size " << Size;

    auto ValueAt = [&](int Item) {
        OPCITEMHEADER1 H;
        std::memcpy(&H, Good.data() + sizeof(OPCGROUPHEADER) + Item * sizeof H, sizeof H);
        return H.dwValueOffset;
    };
    auto Patched = [&](std::size_t At, DWORD Value) {
        std::vector<BYTE> B = Good;
        std::memcpy(B.data() + At, &Value, sizeof Value);
        return Parse(B);
    };
    const std::vector<std::string> Refused{"refused"};
    // An element count, a string length or an offset the block cannot hold.
    EXPECT_EQ(Patched(ValueAt(0) + L.Variant + L.CountAt(), 0xFFFFFFFF), Refused);
    EXPECT_EQ(Patched(ValueAt(2) + L.Variant + L.CountAt(), 0x40000000), Refused);
    EXPECT_EQ(Patched(ValueAt(1) + L.Variant, 0x7FFFFFF0), Refused);
    EXPECT_EQ(Patched(sizeof(OPCGROUPHEADER) + 4, static_cast<DWORD>(Good.size()) - 1), Refused);
    EXPECT_EQ(Patched(sizeof(OPCGROUPHEADER) + 4, 0xFFFFFFF0), Refused);
    // Values past the end of the block, in order.
    std::vector<BYTE> Beyond = Good;
    for (int Item = 0; Item < 3; ++Item) {
        const DWORD Offset = static_cast<DWORD>(Good.size()) + 8 + 64 * Item;
        std::memcpy(Beyond.data() + sizeof(OPCGROUPHEADER) + Item * sizeof(OPCITEMHEADER1) + 4,
                    &Offset, sizeof Offset);
    }
    EXPECT_EQ(Parse(Beyond), Refused);
    // Two dimensions, and an element size that is not the type's.
    EXPECT_EQ(Patched(ValueAt(0) + L.Variant, 2), Refused);
    EXPECT_EQ(Patched(ValueAt(0) + L.Variant + Layout::ElemSizeAt, 8), Refused);
    // A reference type would be a pointer into the sender's memory.
    EXPECT_EQ(Patched(ValueAt(1), VT_BYREF | VT_BSTR), Refused);
    // A dwSize that lies does not make the reader look past the block.
    EXPECT_EQ(Patched(0, 0xFFFFFFFF).size(), 3u);
    EXPECT_EQ(Patched(0, 0).size(), 3u);
}

TEST_F(StreamLayoutTest, ServerOfEitherLayoutDeliversTheSameValues) {
    // A DA 1.0 group receives the values, qualities and time stamps a
    // synchronous read sees, whether the server writes its streams as a 32-
    // or a 64-bit server does; a short string alone in a block too.
    Open(SimDA10ProgID);
    std::vector<std::string> Ids;
    for (const char *T : {"Int1", "Int2", "Int4", "Int8", "UInt1", "UInt2", "UInt4", "UInt8", "Int",
                          "UInt", "Real4", "Real8", "Money", "Time", "String", "Boolean",
                          "Int4Array", "Real8Array", "StringArray"})
        Ids.push_back(std::string("Simulation.Bucket.") + T);
    for (const char *Q : {"Override", "Uncertain", "Bad"})
        Ids.push_back(std::string("Simulation.Quality.") + Q);
    TVexoGroup *G = AddGroup("G", Ids);
    const std::vector<std::pair<const char *, OleVariant>> Values = {
        {"Int1", OleVariant(-5)},
        {"Int2", OleVariant(-300)},
        {"Int4", OleVariant(-70000)},
        {"Int8", OleVariant(-5000000000LL)},
        {"UInt1", OleVariant(200)},
        {"UInt2", OleVariant(60000)},
        {"UInt4", OleVariant(4000000000u)},
        {"UInt8", OleVariant(9000000000000000000LL)},
        {"Int", OleVariant(-7)},
        {"UInt", OleVariant(7)},
        {"Real4", OleVariant(1.5f)},
        {"Real8", OleVariant(-2.25e300)},
        {"Money", OleVariant(12.3456)},
        {"Time", OleVariant(45000.5)},
        {"String", OleVariant("h\xc3\xa9llo")},
        {"Boolean", OleVariant(true)}};
    for (const auto &[Name, V] : Values)
        ASSERT_EQ(Control->SetTagValue(
                      platform::Utf8ToUtf16(std::string("Simulation.Bucket.") + Name).c_str(),
                      &V.Var(), OPC_QUALITY_GOOD),
                  S_OK)
            << Name;
    OleVariant Ints = VarArrayCreate(0, 2, VT_I4), Reals = VarArrayCreate(0, 1, VT_R8),
               Texts = VarArrayCreate(0, 2, VT_BSTR);
    VarArrayPut(Ints, 0, OleVariant(1));
    VarArrayPut(Ints, 1, OleVariant(-2));
    VarArrayPut(Ints, 2, OleVariant(3));
    VarArrayPut(Reals, 0, OleVariant(0.5));
    VarArrayPut(Reals, 1, OleVariant(-1e300));
    VarArrayPut(Texts, 0, OleVariant("ab"));
    VarArrayPut(Texts, 1, OleVariant(""));
    VarArrayPut(Texts, 2, OleVariant("xyz"));
    ASSERT_EQ(Control->SetTagValue(OLESTR("Simulation.Bucket.Int4Array"), &Ints.Var(), 0xC0), S_OK);
    ASSERT_EQ(Control->SetTagValue(OLESTR("Simulation.Bucket.Real8Array"), &Reals.Var(), 0xC0),
              S_OK);
    ASSERT_EQ(Control->SetTagValue(OLESTR("Simulation.Bucket.StringArray"), &Texts.Var(), 0xC0),
              S_OK);
    Scan();

    auto Describe = [](const TVexoItemValue &V) {
        char Stamp[32];
        std::snprintf(Stamp, sizeof Stamp, " t%.17g", V.TimeStamp);
        return Exact(V.Value.Var()) + " q" + std::to_string(V.Quality & 0xC0) + Stamp;
    };
    ASSERT_TRUE(G->SyncRead(nullptr, true));
    std::vector<std::string> Reference;
    for (int i = 0; i < G->OPCItems()->Count(); ++i)
        Reference.push_back(Describe(G->OPCItems()->GetItem(i)->Snapshot()));
    EXPECT_EQ(Reference[14].substr(0, 13), "8:h\xc3\xa9llo q192");
    EXPECT_EQ(Reference[18].substr(0, 30), "2008:[0]{8:ab}{8:}{8:xyz} q192");
    EXPECT_NE(Reference[19].find(" q192 "), std::string::npos); // 0xD8 keeps 0xC0
    EXPECT_NE(Reference[20].find(" q64 "), std::string::npos);
    EXPECT_NE(Reference[21].find(" q0 "), std::string::npos);
    for (DWORD Bits : {32u, 64u}) {
        SCOPED_TRACE(testing::Message() << Bits << "-bit layout");
        ASSERT_EQ(Control->SetStreamLayout(Bits), S_OK);
        Events.clear();
        G->Refresh(true);
        Scan();
        ASSERT_TRUE(WaitEvents(1));
        std::vector<std::string> Seen(Ids.size());
        ASSERT_EQ(Events[0].Items.size(), Ids.size());
        for (std::size_t k = 0; k < Ids.size(); ++k)
            Seen[Events[0].Items[k]->Index()] = Describe(Events[0].Values[k]);
        EXPECT_EQ(Seen, Reference);
    }
    for (DWORD Bits : {32u, 64u}) {
        SCOPED_TRACE(testing::Message() << Bits << "-bit layout");
        ASSERT_EQ(Control->SetStreamLayout(Bits), S_OK);
        for (const char *S : {"", "a", "ab", "abc", "abcd"}) {
            OleVariant Text(S);
            Control->SetTagValue(OLESTR("Simulation.Bucket.String"), &Text.Var(), 0xC0);
            Events.clear();
            Scan();
            ASSERT_TRUE(WaitEvents(1));
            ASSERT_EQ(Events[0].Items.size(), 1u);
            EXPECT_EQ(Exact(Events[0].Values[0].Value.Var()), std::string("8:") + S);
        }
    }
    EXPECT_EQ(Control->SetStreamLayout(16), E_INVALIDARG);
    EXPECT_EQ(Control->SetStreamLayout(0), E_INVALIDARG);
}

} // namespace
} // namespace vexo::test
