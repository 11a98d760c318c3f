//===- Lists.cpp - TList, TStrings and TStringList -----------------------===//
//
// This file implements the pointer list and the string lists. Every indexed
// access is checked and names the bad index; file errors name the file.
//
//===----------------------------------------------------------------------===//
#include <vexo/framework/Lists.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include <vexo/framework/SysUtils.h>

namespace vexo {
namespace {

[[noreturn]] void BadIndex(int Index) {
    throw EListError(Format("List index out of bounds (%d)", {Index}));
}

/// ASCII case-insensitive three-way comparison, the sort order of TStringList.
int CompareText(const std::string &A, const std::string &B) {
    const std::size_t n = std::min(A.size(), B.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char a = static_cast<unsigned char>(A[i]);
        unsigned char b = static_cast<unsigned char>(B[i]);
        if (a >= 'A' && a <= 'Z')
            a = static_cast<unsigned char>(a + 32);
        if (b >= 'A' && b <= 'Z')
            b = static_cast<unsigned char>(b + 32);
        if (a != b)
            return a < b ? -1 : 1;
    }
    return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}

} // namespace

// --- TList ------------------------------------------------------------------

void TList::CheckIndex(int Index) const {
    if (Index < 0 || Index >= Count())
        BadIndex(Index);
}

void TList::Insert(int Index, void *Item) {
    if (Index < 0 || Index > Count())
        BadIndex(Index);
    FList.insert(FList.begin() + Index, Item);
}

void TList::Delete(int Index) {
    CheckIndex(Index);
    void *Item = FList[static_cast<std::size_t>(Index)];
    FList.erase(FList.begin() + Index);
    Deleted(Item);
}

int TList::Remove(void *Item) {
    int i = IndexOf(Item);
    if (i >= 0) {
        FList.erase(FList.begin() + i);
        Deleted(Item);
    }
    return i;
}

int TList::IndexOf(const void *Item) const {
    auto it = std::find(FList.begin(), FList.end(), Item);
    return it == FList.end() ? -1 : static_cast<int>(it - FList.begin());
}

// The entries leave first and are announced last to first, so a Deleted
// that looks at the list finds it empty.
void TList::Clear() {
    std::vector<void *> Old;
    Old.swap(FList);
    for (auto It = Old.rbegin(); It != Old.rend(); ++It)
        Deleted(*It);
}

void *TList::Get(int Index) const {
    CheckIndex(Index);
    return FList[static_cast<std::size_t>(Index)];
}

void TList::Put(int Index, void *Item) {
    CheckIndex(Index);
    void *Old = FList[static_cast<std::size_t>(Index)];
    FList[static_cast<std::size_t>(Index)] = Item;
    if (Old != Item)
        Deleted(Old);
}

// --- TStrings ---------------------------------------------------------------

int TStrings::Add(const std::string &S) {
    int i = Count();
    Insert(i, S);
    return i;
}

int TStrings::AddObject(const std::string &S, TObject *Obj) {
    int i = Add(S);
    PutObject(i, Obj);
    return i;
}

int TStrings::IndexOf(const std::string &S) const {
    for (int i = 0; i < Count(); ++i)
        if (SameText(Get(i), S))
            return i;
    return -1;
}

void TStrings::AddStrings(const TStrings &Other) {
    if (&Other == this) {
        const int n = Count();
        for (int i = 0; i < n; ++i)
            AddObject(Get(i), GetObject(i));
        return;
    }
    for (int i = 0; i < Other.Count(); ++i)
        AddObject(Other.Get(i), Other.GetObject(i));
}

std::string TStrings::Text() const {
    std::string r;
    for (int i = 0; i < Count(); ++i) {
        r += Get(i);
        r += "\r\n";
    }
    return r;
}

void TStrings::SetText(const std::string &Value) {
    Clear();
    std::size_t start = 0;
    const std::size_t n = Value.size();
    while (start < n) {
        std::size_t end = start;
        while (end < n && Value[end] != '\r' && Value[end] != '\n')
            ++end;
        Add(Value.substr(start, end - start));
        if (end < n && Value[end] == '\r')
            ++end;
        if (end < n && Value[end] == '\n')
            ++end;
        start = end;
    }
}

// --- TStringList ------------------------------------------------------------

void TStringList::CheckIndex(int Index) const {
    if (Index < 0 || Index >= Count())
        throw EStringListError(Format("List index out of bounds (%d)", {Index}));
}

std::string TStringList::Get(int Index) const {
    CheckIndex(Index);
    return FItems[static_cast<std::size_t>(Index)].S;
}

void TStringList::Put(int Index, const std::string &S) {
    if (FSorted)
        throw EStringListError("Operation not allowed on sorted list");
    CheckIndex(Index);
    FItems[static_cast<std::size_t>(Index)].S = S;
}

TObject *TStringList::GetObject(int Index) const {
    CheckIndex(Index);
    return FItems[static_cast<std::size_t>(Index)].Obj;
}

void TStringList::PutObject(int Index, TObject *Obj) {
    CheckIndex(Index);
    FItems[static_cast<std::size_t>(Index)].Obj = Obj;
}

void TStringList::Insert(int Index, const std::string &S) {
    if (FSorted)
        throw EStringListError("Operation not allowed on sorted list");
    if (Index < 0 || Index > Count())
        throw EStringListError(Format("List index out of bounds (%d)", {Index}));
    FItems.insert(FItems.begin() + Index, Entry{S, nullptr});
}

void TStringList::Delete(int Index) {
    CheckIndex(Index);
    FItems.erase(FItems.begin() + Index);
}

int TStringList::Add(const std::string &S) {
    if (!FSorted) {
        FItems.push_back(Entry{S, nullptr});
        return Count() - 1;
    }
    // Sorted: after any equal entries, so equal strings keep their order.
    auto it = std::upper_bound(FItems.begin(), FItems.end(), S,
                               [](const std::string &s, const Entry &e) {
                                   return CompareText(s, e.S) < 0;
                               });
    it = FItems.insert(it, Entry{S, nullptr});
    return static_cast<int>(it - FItems.begin());
}

int TStringList::IndexOf(const std::string &S) const {
    if (!FSorted)
        return TStrings::IndexOf(S);
    auto it = std::lower_bound(FItems.begin(), FItems.end(), S,
                               [](const Entry &e, const std::string &s) {
                                   return CompareText(e.S, s) < 0;
                               });
    if (it != FItems.end() && CompareText(it->S, S) == 0)
        return static_cast<int>(it - FItems.begin());
    return -1;
}

void TStringList::SetSorted(bool Value) {
    if (Value && !FSorted)
        std::stable_sort(FItems.begin(), FItems.end(), [](const Entry &a, const Entry &b) {
            return CompareText(a.S, b.S) < 0;
        });
    FSorted = Value;
}

void TStringList::LoadFromFile(const std::string &FileName) {
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> f(std::fopen(FileName.c_str(), "rb"),
                                                       &std::fclose);
    if (!f)
        throw EFOpenError("Cannot open file \"" + FileName + "\"");
    std::string data;
    char buf[65536];
    for (;;) {
        std::size_t n = std::fread(buf, 1, sizeof buf, f.get());
        data.append(buf, n);
        if (n < sizeof buf)
            break;
    }
    if (std::ferror(f.get()))
        throw EFOpenError("Cannot read file \"" + FileName + "\"");
    SetText(data);
}

void TStringList::SaveToFile(const std::string &FileName) const {
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> f(std::fopen(FileName.c_str(), "wb"),
                                                       &std::fclose);
    if (!f)
        throw EFCreateError("Cannot create file \"" + FileName + "\"");
    const std::string text = Text();
    if (std::fwrite(text.data(), 1, text.size(), f.get()) != text.size() ||
        std::fflush(f.get()) != 0)
        throw EFCreateError("Cannot write file \"" + FileName + "\"");
}

} // namespace vexo
