//===- Lists.h - pointer list, string lists ------------------------------===//
//
// TList is a list of untyped pointers with index checking (EListError names
// the bad index); it never owns what it points to, but tells a derived class
// (Deleted) about every entry that leaves it, so an owning list frees them. TStrings is the abstract
// string list that dialogs and operations fill; TStringList is the concrete
// one. Owner thread only.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <vector>

#include <vexo/framework/Classes.h>

namespace vexo {

class TList : public TObject {
  public:
    TList() = default;
    std::string ClassName() const override { return "TList"; }

    int Add(void *Item) {
        FList.push_back(Item);
        return Count() - 1;
    }
    void Insert(int Index, void *Item);
    void Delete(int Index);
    /// Removes the first occurrence; returns its former index or -1.
    int Remove(void *Item);
    int IndexOf(const void *Item) const;
    void Clear();
    int Count() const { return static_cast<int>(FList.size()); }
    void *Get(int Index) const;
    void Put(int Index, void *Item);
    void *First() const { return Get(0); }
    void *Last() const { return Get(Count() - 1); }
    void SetCapacity(int Value) { FList.reserve(static_cast<std::size_t>(Value)); }
    /// Raw access for bulk loops (no index checking).
    void *const *Data() const { return FList.data(); }

  protected:
    /// Called once for every entry that leaves the list through Delete,
    /// Remove, Clear or Put (the replaced one), after it has left.
    virtual void Deleted(void *Item) { (void)Item; }

  private:
    void CheckIndex(int Index) const;
    std::vector<void *> FList;
};

class TStrings : public TPersistent {
  public:
    std::string ClassName() const override { return "TStrings"; }

    virtual int Count() const = 0;
    virtual std::string Get(int Index) const = 0;
    virtual void Put(int Index, const std::string &S) = 0;
    virtual TObject *GetObject(int Index) const = 0;
    virtual void PutObject(int Index, TObject *Obj) = 0;
    virtual void Insert(int Index, const std::string &S) = 0;
    virtual void Delete(int Index) = 0;
    virtual void Clear() = 0;

    virtual int Add(const std::string &S);
    int AddObject(const std::string &S, TObject *Obj);
    virtual int IndexOf(const std::string &S) const;
    void AddStrings(const TStrings &Other);
    /// All lines joined with "\r\n" after each; setting splits at CR, LF or CR LF.
    std::string Text() const;
    void SetText(const std::string &Value);
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate() { --FUpdateCount; }

  protected:
    int FUpdateCount = 0;
};

class TStringList : public TStrings {
  public:
    std::string ClassName() const override { return "TStringList"; }

    int Count() const override { return static_cast<int>(FItems.size()); }
    std::string Get(int Index) const override;
    void Put(int Index, const std::string &S) override;
    TObject *GetObject(int Index) const override;
    void PutObject(int Index, TObject *Obj) override;
    void Insert(int Index, const std::string &S) override;
    void Delete(int Index) override;
    void Clear() override { FItems.clear(); }
    int Add(const std::string &S) override;
    int IndexOf(const std::string &S) const override;

    /// Keeps the list sorted (case-insensitive, as the framework does).
    void SetSorted(bool Value);
    bool Sorted() const { return FSorted; }

    void LoadFromFile(const std::string &FileName); ///< EFOpenError
    void SaveToFile(const std::string &FileName) const; ///< EFCreateError

  private:
    struct Entry {
        std::string S;
        TObject *Obj = nullptr;
    };
    void CheckIndex(int Index) const;
    std::vector<Entry> FItems;
    bool FSorted = false;
};

} // namespace vexo
