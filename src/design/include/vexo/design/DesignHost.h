//===- DesignHost.h - the least development environment ------------------===//
//
// TDesignForm is what a development environment gives the library: a form
// in the designing state on which components are dropped from the palette,
// whose designer counts the changes editors report, and which runs the
// editors the way the environment does (double click, a verb of the context
// menu, the ellipsis of a property). LoadVexoPackage runs the library's two
// registration routines, once per process. GUI thread only.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <vector>

#include <QImage>

#include <vexo/framework/DesignIntf.h>

namespace vexo {

/// Runs Register of the components and of the design-time editors; later
/// calls do nothing.
void LoadVexoPackage();

class TDesignForm : public TComponent, public IDesigner {
  public:
    /// A form in the designing state, without owner.
    TDesignForm();
    std::string ClassName() const override { return "TDesignForm"; }

    /// Drops a component of Class on the form: owned by it and designing.
    TComponent *CreateComponent(const TComponentClass &Class);
    /// The verbs of Component's context menu.
    std::vector<std::string> Verbs(TComponent *Component);
    /// Runs verb Index of Component's editor.
    void ExecuteVerb(TComponent *Component, int Index);
    /// A double click on Component.
    void DoubleClick(TComponent *Component);
    /// The attributes of the property editor of Name for Selection; 0 when
    /// the first selected component has no such property.
    TPropertyAttributes PropertyAttributes(const std::vector<TPersistent *> &Selection,
                                           const std::string &Name);
    /// The palette picture of Class: the bitmap resource named by its
    /// upper-case class name, or a null image.
    static QImage PaletteImage(const TComponentClass &Class);
    /// The ellipsis of property Name for Selection.
    void EditProperty(const std::vector<TPersistent *> &Selection, const std::string &Name);

    // IDesigner
    void Modified() override { ++FModifiedCount; }
    TComponent *GetRoot() const override { return const_cast<TDesignForm *>(this); }
    /// How often an editor reported a change since the last ClearModified.
    int ModifiedCount() const { return FModifiedCount; }
    void ClearModified() { FModifiedCount = 0; }

  private:
    int FModifiedCount = 0;
};

} // namespace vexo
