//===- DesignIntf.h - the design-time registration interface -------------===//
//
// This file defines what a package registers with a development environment
// and the bases its editors derive from: component classes (a name, a
// factory and a type test), palette pages (RegisterComponents), component
// editors (TComponentEditor, RegisterComponentEditor), property editors
// (TPropertyEditor, TStringProperty, RegisterPropertyEditor) and the
// designer an editor reports changes to (IDesigner::Modified).
//
// The registrations are process-wide and belong to the thread that runs the
// environment; the environment reads them back through the Find... calls.
//
//   RegisterComponents("Samples", {ClassOf<TMyComponent>()});
//   RegisterComponentEditor(ClassOf<TMyComponent>(), EditorClassOf<TMyEditor>());
//
//===----------------------------------------------------------------------===//
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include <vexo/framework/Classes.h>
#include <vexo/framework/Streaming.h>
#include <vexo/framework/SysUtils.h>

namespace vexo {

/// A type-checked conversion that failed ("Invalid class typecast").
VEXO_DECLARE_EXCEPTION(EInvalidCast, Exception);

/// Obj as a T: nullptr for nullptr, EInvalidCast when Obj is of another class.
template <class T> T *CheckedCast(TObject *Obj) {
    if (!Obj)
        return nullptr;
    if (T *Result = dynamic_cast<T *>(Obj))
        return Result;
    throw EInvalidCast("Invalid class typecast");
}

/// A component class as the environment sees it. One instance per class,
/// obtained from ClassOf, so classes compare by address.
struct TComponentClass {
    std::string ClassName;
    /// Creates a component of the class owned by Owner.
    std::function<TComponent *(TComponent *Owner)> Create;
    /// True when Obj is of the class or of a class derived from it.
    std::function<bool(const TObject *Obj)> IsInstance;
};

/// The class record of T (a TComponent with a TComponent* constructor).
template <class T> const TComponentClass *ClassOf() {
    static const TComponentClass Class{
        std::unique_ptr<T>(new T(nullptr))->ClassName(),
        [](TComponent *Owner) -> TComponent * { return new T(Owner); },
        [](const TObject *Obj) { return dynamic_cast<const T *>(Obj) != nullptr; }};
    return &Class;
}

/// The designer of one form: editors tell it that the form has changed.
class IDesigner {
  public:
    virtual ~IDesigner() = default;
    /// Marks the form modified (it has to be saved again).
    virtual void Modified() = 0;
    /// The form whose components are designed.
    virtual TComponent *GetRoot() const = 0;
};

/// The base of component editors: the verbs of a component's context menu
/// and what a double click does. Created by the environment per selection.
class TComponentEditor {
  public:
    TComponentEditor(TComponent *AComponent, IDesigner *ADesigner)
        : FComponent(AComponent), FDesigner(ADesigner) {}
    virtual ~TComponentEditor() = default;
    TComponentEditor(const TComponentEditor &) = delete;
    TComponentEditor &operator=(const TComponentEditor &) = delete;

    /// The double click: runs verb 0 when the editor has verbs.
    virtual void Edit();
    /// Runs the verb Index; the base runs none.
    virtual void ExecuteVerb(int Index);
    /// The menu text of verb Index; the base has none.
    virtual std::string GetVerb(int Index);
    virtual int GetVerbCount();

    TComponent *Component() const { return FComponent; }
    IDesigner *Designer() const { return FDesigner; }

  private:
    TComponent *FComponent;
    IDesigner *FDesigner;
};

using TComponentEditorClass =
    std::function<std::unique_ptr<TComponentEditor>(TComponent *Component, IDesigner *Designer)>;

template <class E> TComponentEditorClass EditorClassOf() {
    return [](TComponent *Component, IDesigner *Designer) -> std::unique_ptr<TComponentEditor> {
        return std::make_unique<E>(Component, Designer);
    };
}

/// What the object inspector offers for a property.
enum TPropertyAttribute : unsigned {
    paValueList = 1u << 0,     ///< a drop-down list of values
    paSubProperties = 1u << 1, ///< nested properties
    paDialog = 1u << 2,        ///< an ellipsis button that calls Edit
    paMultiSelect = 1u << 3,   ///< shown when several components are selected
    paAutoUpdate = 1u << 4,
    paSortList = 1u << 5,
    paReadOnly = 1u << 6,
    paRevertable = 1u << 7,
};
using TPropertyAttributes = unsigned;

/// The base of property editors: one published property of the selected
/// components (all of the same property table entry).
class TPropertyEditor {
  public:
    TPropertyEditor(IDesigner *ADesigner, std::vector<TPersistent *> Selection,
                    const TPropInfo *Prop)
        : FDesigner(ADesigner), FSelection(std::move(Selection)), FProp(Prop) {}
    virtual ~TPropertyEditor() = default;
    TPropertyEditor(const TPropertyEditor &) = delete;
    TPropertyEditor &operator=(const TPropertyEditor &) = delete;

    virtual TPropertyAttributes GetAttributes() { return paRevertable; }
    /// The ellipsis button (paDialog); the base does nothing.
    virtual void Edit() {}
    /// The value as the object inspector shows it.
    virtual std::string GetValue() { return "(unknown)"; }
    virtual void SetValue(const std::string &Value);

    const std::string &GetName() const { return FProp->Name; }
    /// Selected component Index (0 = the first); EListError on a bad index.
    TPersistent *GetComponent(int Index) const;
    int PropCount() const { return static_cast<int>(FSelection.size()); }
    IDesigner *Designer() const { return FDesigner; }
    /// Tells the designer that the form has changed.
    void Modified();

  protected:
    /// The string value of the first selected component.
    std::string GetStrValue() const;
    /// Sets the string value of every selected component, then Modified.
    void SetStrValue(const std::string &Value);

  private:
    IDesigner *FDesigner;
    std::vector<TPersistent *> FSelection;
    const TPropInfo *FProp;
};

/// The editor of string properties: the value typed in as it stands.
class TStringProperty : public TPropertyEditor {
  public:
    using TPropertyEditor::TPropertyEditor;
    TPropertyAttributes GetAttributes() override { return paMultiSelect | paRevertable; }
    std::string GetValue() override { return GetStrValue(); }
    void SetValue(const std::string &Value) override { SetStrValue(Value); }
};

using TPropertyEditorClass = std::function<std::unique_ptr<TPropertyEditor>(
    IDesigner *Designer, std::vector<TPersistent *> Selection, const TPropInfo *Prop)>;

template <class E> TPropertyEditorClass PropertyEditorClassOf() {
    return [](IDesigner *Designer, std::vector<TPersistent *> Selection,
              const TPropInfo *Prop) -> std::unique_ptr<TPropertyEditor> {
        return std::make_unique<E>(Designer, std::move(Selection), Prop);
    };
}

// --- Registration --------------------------------------------------------------

/// Puts Classes on the palette page Page, after what the page holds; a class
/// already on the page is not added twice.
void RegisterComponents(const std::string &Page,
                        std::initializer_list<const TComponentClass *> Classes);
/// Registers EditorClass for the properties of kind PropertyType named
/// PropertyName ("" = any name) of ComponentClass (nullptr = any class) and
/// the classes derived from it. A later registration wins over an earlier one.
void RegisterPropertyEditor(TPropKind PropertyType, const TComponentClass *ComponentClass,
                            const std::string &PropertyName, TPropertyEditorClass EditorClass);
/// Registers EditorClass for ComponentClass and its derived classes; a later
/// registration wins.
void RegisterComponentEditor(const TComponentClass *ComponentClass,
                             TComponentEditorClass EditorClass);

// --- What the environment reads back -------------------------------------------

/// The palette pages in the order of their first registration.
std::vector<std::string> PalettePages();
/// The classes on Page in registration order (empty for an unknown page).
std::vector<const TComponentClass *> PaletteClasses(const std::string &Page);
/// The editor registered for Component's class, or the base editor (no verbs).
std::unique_ptr<TComponentEditor> FindComponentEditor(TComponent *Component, IDesigner *Designer);
/// The editor of property PropertyName of the selection (its first component
/// decides the class); TStringProperty or the base editor when none is
/// registered; nullptr when the first component has no such property or the
/// selection is empty.
std::unique_ptr<TPropertyEditor> FindPropertyEditor(const std::vector<TPersistent *> &Selection,
                                                    const std::string &PropertyName,
                                                    IDesigner *Designer);

} // namespace vexo
