//===- DesignIntf.cpp - palette, editor registries and editor bases -------===//
#include <vexo/framework/DesignIntf.h>

#include <algorithm>

namespace vexo {

namespace {

struct PaletteEntry {
    std::string Page;
    std::vector<const TComponentClass *> Classes;
};

struct PropertyEditorEntry {
    TPropKind Kind;
    const TComponentClass *ComponentClass;
    std::string PropertyName;
    TPropertyEditorClass EditorClass;
};

struct ComponentEditorEntry {
    const TComponentClass *ComponentClass;
    TComponentEditorClass EditorClass;
};

struct Registry {
    std::vector<PaletteEntry> Palette;
    std::vector<PropertyEditorEntry> PropertyEditors;
    std::vector<ComponentEditorEntry> ComponentEditors;
};

Registry &TheRegistry() {
    static Registry R;
    return R;
}

} // namespace

// --- Editor bases ----------------------------------------------------------------

void TComponentEditor::Edit() {
    if (GetVerbCount() > 0)
        ExecuteVerb(0);
}

void TComponentEditor::ExecuteVerb(int) {}

std::string TComponentEditor::GetVerb(int) { return ""; }

int TComponentEditor::GetVerbCount() { return 0; }

void TPropertyEditor::SetValue(const std::string &) {}

TPersistent *TPropertyEditor::GetComponent(int Index) const {
    if (Index < 0 || Index >= PropCount())
        throw EListError(Format("List index out of bounds (%d)", {Index}));
    return FSelection[static_cast<size_t>(Index)];
}

void TPropertyEditor::Modified() {
    if (FDesigner)
        FDesigner->Modified();
}

std::string TPropertyEditor::GetStrValue() const {
    if (FSelection.empty() || !FProp->GetStr)
        return "";
    return FProp->GetStr(*FSelection.front());
}

void TPropertyEditor::SetStrValue(const std::string &Value) {
    if (!FProp->SetStr)
        return;
    for (TPersistent *Obj : FSelection)
        FProp->SetStr(*Obj, Value);
    Modified();
}

// --- Registration ----------------------------------------------------------------

void RegisterComponents(const std::string &Page,
                        std::initializer_list<const TComponentClass *> Classes) {
    auto &Palette = TheRegistry().Palette;
    auto It = std::find_if(Palette.begin(), Palette.end(),
                           [&](const PaletteEntry &E) { return E.Page == Page; });
    if (It == Palette.end()) {
        Palette.push_back(PaletteEntry{Page, {}});
        It = Palette.end() - 1;
    }
    for (const TComponentClass *Class : Classes) {
        if (Class && std::find(It->Classes.begin(), It->Classes.end(), Class) == It->Classes.end())
            It->Classes.push_back(Class);
    }
}

void RegisterPropertyEditor(TPropKind PropertyType, const TComponentClass *ComponentClass,
                            const std::string &PropertyName, TPropertyEditorClass EditorClass) {
    TheRegistry().PropertyEditors.push_back(
        PropertyEditorEntry{PropertyType, ComponentClass, PropertyName, std::move(EditorClass)});
}

void RegisterComponentEditor(const TComponentClass *ComponentClass,
                             TComponentEditorClass EditorClass) {
    TheRegistry().ComponentEditors.push_back(
        ComponentEditorEntry{ComponentClass, std::move(EditorClass)});
}

std::vector<std::string> PalettePages() {
    std::vector<std::string> Pages;
    for (const auto &E : TheRegistry().Palette)
        Pages.push_back(E.Page);
    return Pages;
}

std::vector<const TComponentClass *> PaletteClasses(const std::string &Page) {
    for (const auto &E : TheRegistry().Palette)
        if (E.Page == Page)
            return E.Classes;
    return {};
}

std::unique_ptr<TComponentEditor> FindComponentEditor(TComponent *Component, IDesigner *Designer) {
    const auto &Editors = TheRegistry().ComponentEditors;
    for (auto It = Editors.rbegin(); It != Editors.rend(); ++It) {
        if (It->ComponentClass && It->ComponentClass->IsInstance(Component))
            return It->EditorClass(Component, Designer);
    }
    return std::make_unique<TComponentEditor>(Component, Designer);
}

std::unique_ptr<TPropertyEditor> FindPropertyEditor(const std::vector<TPersistent *> &Selection,
                                                    const std::string &PropertyName,
                                                    IDesigner *Designer) {
    if (Selection.empty() || !Selection.front())
        return nullptr;
    const PropertyTable *Table = Selection.front()->GetPropertyTable();
    const TPropInfo *Prop = Table ? Table->Find(PropertyName) : nullptr;
    if (!Prop)
        return nullptr;
    const auto &Editors = TheRegistry().PropertyEditors;
    for (auto It = Editors.rbegin(); It != Editors.rend(); ++It) {
        if (It->Kind != Prop->Kind)
            continue;
        if (It->ComponentClass && !It->ComponentClass->IsInstance(Selection.front()))
            continue;
        if (!It->PropertyName.empty() && !SameText(It->PropertyName, Prop->Name))
            continue;
        return It->EditorClass(Designer, Selection, Prop);
    }
    if (Prop->Kind == TPropKind::String)
        return std::make_unique<TStringProperty>(Designer, Selection, Prop);
    return std::make_unique<TPropertyEditor>(Designer, Selection, Prop);
}

} // namespace vexo
