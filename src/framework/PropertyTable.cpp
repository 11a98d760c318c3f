//===- PropertyTable.cpp - published-property tables and event binder ----===//
#include <vexo/framework/Streaming.h>

namespace vexo {

bool TPropInfo::IsReadWrite() const {
    switch (Kind) {
    case TPropKind::Boolean:
    case TPropKind::Integer:
    case TPropKind::Int64:
    case TPropKind::Enumeration:
    case TPropKind::Set:
        return GetOrd && SetOrd;
    case TPropKind::Float:
        return GetFloat && SetFloat;
    case TPropKind::String:
        return GetStr && SetStr;
    case TPropKind::Class:
        return static_cast<bool>(GetObject);
    case TPropKind::Collection:
        return static_cast<bool>(GetCollection);
    case TPropKind::Event:
        return EventAssigned && SetEvent;
    case TPropKind::Component:
        return GetComponent && SetComponent;
    case TPropKind::Variant:
        return false;
    }
    return false;
}

std::vector<const TPropInfo *> PropertyTable::Properties() const {
    std::vector<const TPropInfo *> r;
    if (FBase)
        r = FBase->Properties();
    for (const TPropInfo &p : FProps)
        r.push_back(&p);
    return r;
}

const TPropInfo *PropertyTable::Find(std::string_view Name) const {
    for (const PropertyTable *t = this; t; t = t->FBase)
        for (const TPropInfo &p : t->FProps)
            if (p.Name.size() == Name.size() && SameText(p.Name, Name))
                return &p;
    return nullptr;
}

const std::any *TEventBinder::Find(std::string_view Name, std::string *CanonicalName) const {
    auto it = FHandlers.find(LowerCase(Name));
    if (it == FHandlers.end())
        return nullptr;
    if (CanonicalName)
        *CanonicalName = it->second.Name;
    return &it->second.Handler;
}

void TEventBinder::SetHandlerName(const TPersistent *Obj, const std::string &Prop,
                                  std::string Name) {
    FAssigned[{Obj, LowerCase(Prop)}] = std::move(Name);
}

std::string TEventBinder::HandlerName(const TPersistent *Obj, const std::string &Prop) const {
    auto it = FAssigned.find({Obj, LowerCase(Prop)});
    return it == FAssigned.end() ? std::string() : it->second;
}

void TEventBinder::Forget(const TPersistent *Obj) {
    for (auto it = FAssigned.begin(); it != FAssigned.end();)
        it = it->first.first == Obj ? FAssigned.erase(it) : std::next(it);
}

} // namespace vexo
