//===- ListsTest.cpp - pointer list, string lists, files ------------------===//
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include <vexo/framework/Lists.h>
#include <vexo/framework/SysUtils.h>

using namespace vexo;

// TList checks every index and names the bad one.
TEST(Lists, PointerListIndexChecking) {
    TList l;
    int a = 0, b = 0, c = 0;
    l.Add(&a);
    l.Add(&c);
    l.Insert(1, &b);
    EXPECT_EQ(l.Get(1), &b);
    EXPECT_EQ(l.IndexOf(&c), 2);
    EXPECT_EQ(l.Remove(&a), 0);
    EXPECT_EQ(l.Remove(&a), -1);
    EXPECT_EQ(l.First(), &b);
    EXPECT_EQ(l.Last(), &c);
    try {
        l.Get(2);
        FAIL();
    } catch (const EListError &e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (2)");
    }
    EXPECT_THROW(l.Put(-1, nullptr), EListError);
    EXPECT_THROW(l.Insert(3, nullptr), EListError);
    l.Clear();
    EXPECT_THROW(l.First(), EListError);
    EXPECT_THROW(l.Last(), EListError);
}

// Every entry that leaves a list is announced once, so an owning list can free it.
TEST(Lists, DerivedListHearsOfEveryEntryThatLeaves) {
    struct Counting : TList {
        std::vector<void *> Gone;
        void Deleted(void *Item) override { Gone.push_back(Item); }
    } l;
    int a = 0, b = 0, c = 0, d = 0;
    for (int *p : {&a, &b, &c})
        l.Add(p);
    l.Delete(0);
    l.Put(0, &d);
    l.Put(0, &d); // the same entry again: nothing leaves
    EXPECT_EQ(l.Remove(&c), 1);
    l.Add(&a);
    l.Add(&b);
    l.Clear();
    EXPECT_EQ(l.Gone, (std::vector<void *>{&a, &b, &c, &b, &a, &d}));
}

// Text joins with CR LF after each line; setting it accepts CR, LF and CR LF.
TEST(Lists, StringListText) {
    TStringList s;
    s.SetText("a\r\nb\nc\rd");
    ASSERT_EQ(s.Count(), 4);
    EXPECT_EQ(s.Get(3), "d");
    EXPECT_EQ(s.Text(), "a\r\nb\r\nc\r\nd\r\n");
    s.SetText("x\r\n\r\ny\r\n");
    EXPECT_EQ(s.Count(), 3);
    EXPECT_EQ(s.Get(1), "");
    EXPECT_EQ(s.IndexOf("Y"), 2);
    EXPECT_THROW(s.Get(3), EStringListError);
}

// A sorted list keeps case-insensitive order and finds entries by search.
TEST(Lists, SortedStringList) {
    TStringList s;
    s.Add("b");
    s.Add("C");
    s.Add("a");
    s.SetSorted(true);
    EXPECT_EQ(s.Text(), "a\r\nb\r\nC\r\n");
    EXPECT_EQ(s.Add("B2"), 2);
    EXPECT_EQ(s.IndexOf("c"), 3);
    EXPECT_EQ(s.IndexOf("zz"), -1);
    EXPECT_THROW(s.Insert(0, "x"), EStringListError);
    TStringList copy;
    copy.AddStrings(s);
    EXPECT_EQ(copy.Count(), 4);
}

// Files: save and load round-trip; errors name the file.
TEST(Lists, FilesAndFileErrors) {
    const auto path = std::filesystem::temp_directory_path() / "vexo_lists_test.txt";
    TStringList s;
    s.Add("one");
    s.Add("two");
    s.SaveToFile(path.string());
    TStringList r;
    r.LoadFromFile(path.string());
    EXPECT_EQ(r.Text(), s.Text());
    std::filesystem::remove(path);

    try {
        r.LoadFromFile("/nonexistent/dir/f.txt");
        FAIL();
    } catch (const EFOpenError &e) {
        EXPECT_NE(e.Message().find("/nonexistent/dir/f.txt"), std::string::npos);
    }
    try {
        s.SaveToFile("/nonexistent/dir/f.txt");
        FAIL();
    } catch (const EFCreateError &e) {
        EXPECT_NE(e.Message().find("/nonexistent/dir/f.txt"), std::string::npos);
    }
}
