//===- ResourceStrings.cpp - the process-wide string table ---------------===//
//
// Texts are registered at start-up and replaced rarely; loads happen on every
// error message. A shared mutex lets loads run side by side and only a
// registration takes the table exclusively.
//
//===----------------------------------------------------------------------===//
#include <vexo/framework/ResourceStrings.h>

#include <mutex>
#include <shared_mutex>
#include <unordered_map>

namespace vexo {
namespace {

struct Table {
    std::shared_mutex Lock;
    std::unordered_map<int, std::string> Texts;
};

Table &TheTable() {
    static Table t; // constructed on first use, safe from static initialisers
    return t;
}

} // namespace

void RegisterResourceStrings(std::initializer_list<std::pair<int, const char *>> Entries) {
    Table &t = TheTable();
    std::unique_lock lock(t.Lock);
    for (const auto &[id, text] : Entries)
        t.Texts[id] = text ? text : "";
}

void SetResourceString(int Id, std::string Text) {
    Table &t = TheTable();
    std::unique_lock lock(t.Lock);
    t.Texts[Id] = std::move(Text);
}

std::string LoadResString(int Id) {
    Table &t = TheTable();
    std::shared_lock lock(t.Lock);
    auto it = t.Texts.find(Id);
    return it == t.Texts.end() ? std::string() : it->second;
}

} // namespace vexo
