//===- StreamingTest.cpp - writing and reading component text ------------===//
#include <gtest/gtest.h>

#include <limits>

#include <chrono>
#include <ctime>

#include "StreamingFixtures.h"

using namespace vexo;
using namespace vexo::test;

namespace {

void Fill(TTestRoot &R) {
    R.SetName("Root1");
    R.SetTag(7);
    R.Batch = true;
    R.Server = "It's \"quoted\"\r\nand\tcontrolled";
    R.Sub.Flag = false;
    R.Sub.Rate = -250;
    R.Sub.Band = 0.1f;
    R.Active = true;
    R.Big = -9000000000LL;
    R.AccessSet = afRead | afWrite;
    R.Mode = lkDigital;
    for (int g = 0; g < 2; ++g) {
        auto *n = static_cast<TTestNode *>(R.Nodes.Add());
        n->SetName("Group " + std::to_string(g));
        n->SetUpdateRate(500 * (g + 1));
        n->Ratio = g == 0 ? 0.0 : 1.0 / 3.0;
        n->Defaults.Path = std::string(150, 'x') + "'end";
        for (int i = 0; i < 3; ++i) {
            auto *l = static_cast<TTestLeaf *>(n->Leaves.Add());
            l->Id = "Dev.Tag" + std::to_string(g * 10 + i);
            l->Active = i != 1;
            l->Kind = static_cast<TLeafKind>(i);
            l->Value = OleVariant(42); // never written
        }
    }
}

} // namespace

// A fresh root writes exactly the non-default values, in table order.
TEST(Streaming, FreshRootWritesDefaultsRule) {
    TTestRoot r(nullptr);
    r.SetName("Root1");
    EXPECT_EQ(WriteComponentText(r), "object Root1: TTestRoot\r\n"
                                     "  Batch = False\r\n"
                                     "  Nodes = <>\r\n"
                                     "  Sub.Rate = 1000\r\n"
                                     "  Active = False\r\n"
                                     "  Version = '1.3'\r\n"
                                     "  Big = 0\r\n"
                                     "end\r\n");
}

// A populated root writes collections, dotted sub-objects and value forms.
TEST(Streaming, WritesValueForms) {
    TTestRoot r(nullptr);
    Fill(r);
    const std::string t = WriteComponentText(r);
    EXPECT_NE(t.find("object Root1: TTestRoot\r\n  Tag = 7\r\n  Batch = True\r\n"), std::string::npos);
    EXPECT_NE(t.find("  Server = 'It''s \"quoted\"'#13#10'and'#9'controlled'\r\n"), std::string::npos);
    EXPECT_NE(t.find("  Nodes = <\r\n    item\r\n      Name = 'Group 0'\r\n"), std::string::npos);
    EXPECT_NE(t.find("      Defaults.Rate = 1000\r\n"), std::string::npos);
    EXPECT_NE(t.find("' +\r\n"), std::string::npos); // the long path is broken
    EXPECT_NE(t.find("          Kind = lkDigital\r\n        end>\r\n    end>\r\n"), std::string::npos);
    EXPECT_NE(t.find("  Sub.Flag = False\r\n  Sub.Rate = -250\r\n  Sub.Band = 0.1\r\n"),
              std::string::npos);
    EXPECT_NE(t.find("  Access = [afRead, afWrite]\r\n  Mode = lkDigital\r\n"), std::string::npos);
    EXPECT_EQ(t.find("Value"), std::string::npos);
    EXPECT_EQ(t.find("Computed"), std::string::npos);
    EXPECT_EQ(t.find("Ratio = 0\r\n"), std::string::npos); // zero float left out
}

// What the reader could not take back is refused at writing, naming the property.
TEST(Streaming, WriterRefusesValuesTheReaderCannotTakeBack) {
    auto Refused = [](const TTestRoot &R, const std::string &Property) {
        try {
            WriteComponentText(R);
            ADD_FAILURE() << "written: " << Property;
        } catch (const EWriteError &E) {
            EXPECT_NE(E.Message().find("'" + Property + "'"), std::string::npos) << E.Message();
        }
    };
    TTestRoot r(nullptr);
    r.SetName("Root 1");
    Refused(r, "Name");
    r.SetName("Root1");
    r.AccessSet = 0x10;
    Refused(r, "Access");
    r.AccessSet = afRead;
    r.Sub.Band = std::numeric_limits<float>::quiet_NaN();
    Refused(r, "Sub.Band");
    r.Sub.Band = std::numeric_limits<float>::max();
    TTestRoot back(nullptr);
    ReadComponentText(WriteComponentText(r), back);
    EXPECT_EQ(back.Sub.Band, std::numeric_limits<float>::max());
}

// Writing, reading into a fresh root and writing again gives the same text
// and the same values.
TEST(Streaming, RoundTrip) {
    TTestRoot a(nullptr);
    Fill(a);
    const std::string text = WriteComponentText(a);
    TTestRoot b(nullptr);
    b.SetName("Root1");
    ReadComponentText(text, b);
    EXPECT_EQ(WriteComponentText(b), text);
    EXPECT_EQ(b.Server, a.Server);
    EXPECT_EQ(b.Tag(), 7);
    EXPECT_EQ(b.Sub.Band, 0.1f);
    EXPECT_EQ(b.Big, -9000000000LL);
    ASSERT_EQ(b.Nodes.Count(), 2);
    EXPECT_EQ(b.Nodes.Node(1)->Ratio, 1.0 / 3.0);
    EXPECT_EQ(b.Nodes.Node(1)->Defaults.Path, a.Nodes.Node(1)->Defaults.Path);
    ASSERT_EQ(b.Nodes.Node(1)->Leaves.Count(), 3);
    EXPECT_EQ(b.Nodes.Node(1)->Leaves.Leaf(2)->Id, "Dev.Tag12");
    EXPECT_FALSE(b.Nodes.Node(1)->Leaves.Leaf(1)->Active);
    EXPECT_TRUE(VarIsEmpty(b.Nodes.Node(1)->Leaves.Leaf(1)->Value));
}

// Text written by hand: any indentation, blank lines, letter case, $hex,
// exponent floats, #nn codes, "+" continuations, inherited header.
TEST(Streaming, ReadsHandWrittenText) {
    const char *text = "inherited R: ttestroot\n"
                       "\n"
                       "      batch = TRUE\n"
                       "Server = 'a'#13#10'b' +\n"
                       "         'c'#$41\n"
                       "  Sub.Rate = $10\n"
                       "  sub.band = 2.5E-1\n"
                       "  Big = -5\n"
                       "  Access = [ AFWRITE ]\n"
                       "  Mode = LKTEXT\n"
                       "  Tag = -3\n"
                       "  Nodes = <\n"
                       "  item\n"
                       "  Name = 'N'   Leaves = < item Id = 'x' Kind = 2 end item end >\n"
                       "  Ratio = 1e3\n"
                       "  end>\n"
                       "end\n";
    TTestRoot r(nullptr);
    ReadComponentText(text, r);
    EXPECT_TRUE(r.Batch);
    EXPECT_EQ(r.Server, "a\r\nbcA");
    EXPECT_EQ(r.Sub.Rate, 16);
    EXPECT_EQ(r.Sub.Band, 0.25f);
    EXPECT_EQ(r.Big, -5);
    EXPECT_EQ(r.AccessSet, static_cast<unsigned>(afWrite));
    EXPECT_EQ(r.Mode, lkText);
    EXPECT_EQ(r.Tag(), -3);
    ASSERT_EQ(r.Nodes.Count(), 1);
    EXPECT_EQ(r.Nodes.Node(0)->Ratio, 1000.0);
    ASSERT_EQ(r.Nodes.Node(0)->Leaves.Count(), 2);
    EXPECT_EQ(r.Nodes.Node(0)->Leaves.Leaf(0)->Kind, lkDigital);
    EXPECT_EQ(r.Name(), ""); // the header's name does not rename the component
}

// A listed collection replaces the old items (even when listed empty); an
// unlisted one is left alone; IDs keep counting.
TEST(Streaming, ListedCollectionsAreReplaced) {
    TTestRoot r(nullptr);
    r.Nodes.Add();
    r.Nodes.Add();
    ReadComponentText("object X: TTestRoot Nodes = <> end", r);
    EXPECT_EQ(r.Nodes.Count(), 0);
    r.Nodes.Add();
    ReadComponentText("object X: TTestRoot Batch = True end", r);
    EXPECT_EQ(r.Nodes.Count(), 1);
    ReadComponentText("object X: TTestRoot Nodes = <item end item end> end", r);
    ASSERT_EQ(r.Nodes.Count(), 2);
    EXPECT_EQ(r.Nodes.GetItem(0)->ID(), 3);
}

// Loaded runs once after a successful read, outside the loading state, with
// everything read; after a failed read it does not run and the values read
// before the error stay.
TEST(Streaming, LoadedOnlyAfterSuccess) {
    TTestRoot r(nullptr);
    ReadComponentText("object X: TTestRoot\n Active = True\n Nodes = <item end>\nend\n", r);
    EXPECT_EQ(r.LoadedCount, 1);
    EXPECT_FALSE(r.LoadingSeenInLoaded);
    EXPECT_TRUE(r.ActiveAtLoaded);
    EXPECT_EQ(r.NodesAtLoaded, 1);

    TTestRoot f(nullptr);
    EXPECT_THROW(ReadComponentText("object X: TTestRoot\n Active = True\n Batch = 3\nend\n", f),
                 EReadError);
    EXPECT_EQ(f.LoadedCount, 0);
    EXPECT_FALSE(f.IsLoading());
    EXPECT_TRUE(f.Active);
}

// Every refusal is an EParserError or EReadError naming its line.
TEST(Streaming, ErrorsNameTheLine) {
    struct Case {
        const char *Text;
        bool Parser;
        const char *Message;
    };
    const Case cases[] = {
        {"object X: TTestRoot\n\n Foo = 1\nend", false,
         "Line 3: property 'Foo' does not exist in TTestRoot"},
        {"object X: TTestRoot\n Nodes = <item\n Leaves = <item\n Bogus = 1 end> end>\nend", false,
         "Line 4: property 'Bogus' does not exist in TTestLeaf"},
        {"object X: TTestRoot\n Sub.Nope = 1\nend", false,
         "Line 2: property 'Nope' does not exist in TTestSub"},
        {"object X: TTestRoot\n Batch.Flag = 1\nend", false,
         "Line 2: property 'Batch' of TTestRoot is not an object"},
        {"object X: TTestRoot\n Batch = 1\nend", false,
         "Line 2: invalid value for property 'Batch' (True or False expected)"},
        {"object X: TTestRoot\n Server = 5\nend", false,
         "Line 2: invalid value for property 'Server' (string expected)"},
        {"object X: TTestRoot\n Sub.Rate = 'x'\nend", false,
         "Line 2: invalid value for property 'Rate' (integer expected)"},
        {"object X: TTestRoot\n Sub.Rate = 2147483648\nend", false,
         "Line 2: value out of range for property 'Rate'"},
        {"object X: TTestRoot\n Sub.Band = 1e300\nend", false,
         "Line 2: value out of range for property 'Band'"},
        {"object X: TTestRoot\n Mode = lkBogus\nend", false,
         "Line 2: 'lkBogus' is not a valid value for property 'Mode'"},
        {"object X: TTestRoot\n Access = [afRead, afExec]\nend", false,
         "Line 2: 'afExec' is not a valid element of property 'Access'"},
        {"object X: TTestRoot\n Computed = 'x'\nend", false,
         "Line 2: property 'Computed' of TTestRoot is read-only"},
        {"object X: TTestRoot\n Nodes = <item Leaves = <item Value = 1 end> end>\nend", false,
         "Line 2: property 'Value' of TTestLeaf is read-only"},
        {"object X: TTestRoot\n Sub = 1\nend", false,
         "Line 2: property 'Sub' is an object: set its properties as 'Sub.Name = value'"},
        {"object X: TTestRoot\n Nodes = <item UpdateRate = -1 end>\nend", false,
         "Line 2: cannot set property 'UpdateRate': negative update rate"},
        {"object X: TOther\nend", false, "Line 1: class 'TOther' does not match TTestRoot"},
        {"object X: TTestRoot\n object Y: TTestRoot\n end\nend", false,
         "Line 2: nested objects are not supported"},
        {"object X: TTestRoot\n Link = Nobody\nend", false, "Line 2: component 'Nobody' not found"},
        {"thing X: TTestRoot\nend", true, "Line 1: 'object' expected"},
        {"object X: TTestRoot\n Server 'x'\nend", true, "Line 2: '=' expected"},
        {"object X: TTestRoot\n Server = 'abc\nend", true, "Line 2: unterminated string"},
        {"object X: TTestRoot\n Server = 'a' +\n 5\nend", true, "Line 3: string expected after '+'"},
        {"object X: TTestRoot\n Server = #99999999\nend", true,
         "Line 2: invalid character code '#99999999'"},
        {"object X: TTestRoot\n Batch = True\n", true, "Line 3: 'end' expected"},
        {"object X: TTestRoot\nend\nend", true, "Line 3: end of text expected"},
        {"object X: TTestRoot\n Nodes = < bogus >\nend", true, "Line 2: 'item' or '>' expected"},
        {"object X: TTestRoot\n Access = [afRead afWrite]\nend", true, "Line 2: ',' or ']' expected"},
        {"object X: TTestRoot\n Sub.Rate = 12ab\nend", true, "Line 2: invalid number '12a'"},
        {"object X: TTestRoot\n @ = 1\nend", true, "Line 2: property name expected"},
        {"object X: TTestRoot\n\x01\nend", true, "Line 2: invalid character #1"},
        {"", true, "Line 1: 'object' expected"},
    };
    for (const Case &c : cases) {
        TTestRoot r(nullptr);
        try {
            ReadComponentText(c.Text, r);
            ADD_FAILURE() << "accepted: " << c.Text;
        } catch (const EParserError &e) {
            EXPECT_TRUE(c.Parser) << c.Text;
            EXPECT_EQ(e.Message(), c.Message);
        } catch (const EReadError &e) {
            EXPECT_FALSE(c.Parser) << c.Text;
            EXPECT_EQ(e.Message(), c.Message);
        }
        EXPECT_EQ(r.LoadedCount, 0) << c.Text;
    }
}

// Deeply nested collections are refused, not followed until the stack ends.
TEST(Streaming, NestingIsBounded) {
    std::string text = "object X: TTestRoot\n";
    for (int i = 0; i < 100000; ++i)
        text += " Nodes = < item\n";
    TTestRoot r(nullptr);
    EXPECT_THROW(ReadComponentText(text, r), EReadError);
    std::string dotted = "object X: TTestRoot\n Sub";
    for (int i = 0; i < 1000; ++i)
        dotted += ".Sub";
    dotted += " = 1\nend";
    EXPECT_THROW(ReadComponentText(dotted, r), EReadError);
}

// Events: written by the name they were bound under, resolved through the
// binder when read, skipped without one, refused when unknown or ill-typed.
TEST(Streaming, EventsThroughTheBinder) {
    int connects = 0;
    TEventBinder binder;
    binder.Register("RootConnect", TNotifyEvent([&](TObject *) { ++connects; }));
    binder.Register("CountIt", std::function<void(int)>([](int) {}));
    TTestRoot r(nullptr);
    r.SetName("R");
    ReadComponentText("object R: TTestRoot\n OnConnect = rootconnect\nend", r, &binder);
    ASSERT_TRUE(r.OnConnect);
    r.OnConnect(&r);
    EXPECT_EQ(connects, 1);
    r.OnDisconnect = [](TObject *) {};
    const std::string t = WriteComponentText(r, &binder);
    EXPECT_NE(t.find("  OnConnect = RootConnect\r\n"), std::string::npos);
    EXPECT_NE(t.find("  OnDisconnect = RDisconnect\r\n"), std::string::npos);

    TTestRoot plain(nullptr);
    ReadComponentText(t, plain); // no binder: the events are skipped
    EXPECT_FALSE(plain.OnConnect);
    EXPECT_THROW(ReadComponentText("object R: TTestRoot\n OnConnect = Missing\nend", plain, &binder),
                 EReadError);
    try {
        ReadComponentText("object R: TTestRoot\n OnConnect = CountIt\nend", plain, &binder);
        FAIL();
    } catch (const EReadError &e) {
        EXPECT_EQ(e.Message(), "Line 2: event handler 'CountIt' does not fit property 'OnConnect'");
    }
    EXPECT_THROW(ReadComponentText("object R: TTestRoot\n OnConnect = 'x'\nend", plain, &binder),
                 EReadError);
}

// A component reference is written by name and found among the owned ones.
TEST(Streaming, ComponentReferenceByName) {
    TTestRoot r(nullptr);
    r.SetName("R");
    auto *child = new TComponent(&r);
    child->SetName("Child");
    r.Link = child;
    const std::string t = WriteComponentText(r);
    EXPECT_NE(t.find("  Link = Child\r\n"), std::string::npos);
    r.Link = nullptr;
    ReadComponentText(t, r);
    EXPECT_EQ(r.Link, child);
    ReadComponentText("object R: TTestRoot Link = nil end", r);
    EXPECT_EQ(r.Link, nullptr);
}

// 100 nodes of 1,000 leaves with four properties each save and load quickly.
TEST(Streaming, LargeConfigurationIsFast) {
    TTestRoot a(nullptr);
    for (int g = 0; g < 100; ++g) {
        auto *n = static_cast<TTestNode *>(a.Nodes.Add());
        n->SetName("G" + std::to_string(g));
        for (int i = 0; i < 1000; ++i) {
            auto *l = static_cast<TTestLeaf *>(n->Leaves.Add());
            l->Id = "Device.Channel." + std::to_string(i);
            l->Access = "path";
            l->Kind = lkAnalog;
        }
    }
    // CPU time of this thread: a busy shared machine does not count against us.
    auto cpuMs = [] {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
    };
    const double t0 = cpuMs();
    const std::string text = WriteComponentText(a);
    const double t1 = cpuMs();
    TTestRoot b(nullptr);
    ReadComponentText(text, b);
    const double t2 = cpuMs();
    EXPECT_EQ(b.Nodes.Node(99)->Leaves.Count(), 1000);
    // Generous bounds: sanitizer builds run several times slower than release.
    EXPECT_LT(t1 - t0, 3000.0);
    EXPECT_LT(t2 - t1, 3000.0);
    RecordProperty("save_cpu_ms", static_cast<int>(t1 - t0));
    RecordProperty("load_cpu_ms", static_cast<int>(t2 - t1));
}
