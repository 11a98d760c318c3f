//===- DesignHost.cpp - the least development environment ----------------===//
#include <vexo/design/DesignHost.h>

#include <vexo/VexoPropEdit.h>
#include <vexo/design/PaletteBitmaps.h>

namespace vexo {

void LoadVexoPackage() {
    static bool Loaded = false;
    if (Loaded)
        return;
    Loaded = true;
    vexo::Register();
    VexoPropEdit::Register();
}

TDesignForm::TDesignForm() : TComponent(nullptr) { SetDesigning(true); }

TComponent *TDesignForm::CreateComponent(const TComponentClass &Class) {
    TComponent *Component = Class.Create(this);
    Component->SetDesigning(true);
    return Component;
}

std::vector<std::string> TDesignForm::Verbs(TComponent *Component) {
    auto Editor = FindComponentEditor(Component, this);
    std::vector<std::string> Result;
    for (int i = 0; i < Editor->GetVerbCount(); ++i)
        Result.push_back(Editor->GetVerb(i));
    return Result;
}

void TDesignForm::ExecuteVerb(TComponent *Component, int Index) {
    FindComponentEditor(Component, this)->ExecuteVerb(Index);
}

void TDesignForm::DoubleClick(TComponent *Component) {
    FindComponentEditor(Component, this)->Edit();
}

TPropertyAttributes TDesignForm::PropertyAttributes(const std::vector<TPersistent *> &Selection,
                                                    const std::string &Name) {
    auto Editor = FindPropertyEditor(Selection, Name, this);
    return Editor ? Editor->GetAttributes() : 0;
}

QImage TDesignForm::PaletteImage(const TComponentClass &Class) {
    return PaletteBitmap(UpperCase(Class.ClassName));
}

void TDesignForm::EditProperty(const std::vector<TPersistent *> &Selection,
                               const std::string &Name) {
    if (auto Editor = FindPropertyEditor(Selection, Name, this))
        Editor->Edit();
}

} // namespace vexo
