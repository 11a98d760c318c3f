//===- RegistrationTest.cpp - palette, editors and the designer ----------===//
#include "DesignFixture.h"

#include <algorithm>

#include <vexo/design/DesignHost.h>

namespace vexo::test {
namespace {

class RegistrationTest : public DesignTest {
  protected:
    void SetUp() override {
        DesignTest::SetUp();
        LoadVexoPackage();
        LoadVexoPackage(); // the environment may load the package again
    }
    /// Closes the next inspector after checking which server it shows.
    void CloseInspectorOn(TVexoServer *Expected, const QString &ServerText = QString()) {
        WhenModal<TVexoDlgExplorer>([=, this](TVexoDlgExplorer *D) {
            EXPECT_EQ(D->Server(), Expected);
            EXPECT_EQ(D->windowTitle(), "OPC Inspector");
            if (!ServerText.isNull())
                Child<QComboBox>(D, "cbServer")->setEditText(ServerText);
            D->close();
        });
    }
};

TEST_F(RegistrationTest, PalettePageOPCHoldsExactlyTheServerAndTheServerBrowser) {
    // Property: "OPC" lists the two component classes once each, in order,
    // each with its 16-colour 32 by 32 palette picture.
    const auto Classes = PaletteClasses("OPC");
    ASSERT_EQ(Classes.size(), 2u);
    EXPECT_EQ(Classes[0], ClassOf<TVexoServer>());
    EXPECT_EQ(Classes[0]->ClassName, "TVexoServer");
    EXPECT_EQ(Classes[1], ClassOf<TvexoServerBrowser>());
    EXPECT_EQ(Classes[1]->ClassName, "TvexoServerBrowser");
    const auto Pages = PalettePages();
    EXPECT_EQ(std::count(Pages.begin(), Pages.end(), "OPC"), 1);
    for (const TComponentClass *Class : Classes) {
        const QImage Picture = TDesignForm::PaletteImage(*Class);
        EXPECT_EQ(Picture.size(), QSize(32, 32)) << Class->ClassName;
        EXPECT_EQ(Picture.colorCount(), 16) << Class->ClassName;
    }
    EXPECT_TRUE(TDesignForm::PaletteImage(TComponentClass{"TVexoBrowser", {}, {}}).isNull());
}

TEST_F(RegistrationTest, DroppedComponentsAreDesigningAndTheVerbOpensTheInspector) {
    // Property: one verb "OPC Inspector..."; verb 0 and the double click open
    // the inspector and mark the form modified even when nothing changed;
    // other verbs do nothing.
    TDesignForm Form;
    auto *Server = CheckedCast<TVexoServer>(Form.CreateComponent(*ClassOf<TVexoServer>()));
    auto *Browser = Form.CreateComponent(*ClassOf<TvexoServerBrowser>());
    EXPECT_TRUE(Server->IsDesigning());
    EXPECT_TRUE(Browser->IsDesigning());
    EXPECT_EQ(Server->Owner(), &Form);
    EXPECT_EQ(Form.Verbs(Server), std::vector<std::string>{"OPC Inspector..."});
    EXPECT_TRUE(Form.Verbs(Browser).empty());

    CloseInspectorOn(Server);
    Form.DoubleClick(Server);
    EXPECT_EQ(Form.ModifiedCount(), 1);
    CloseInspectorOn(Server);
    Form.ExecuteVerb(Server, 0);
    EXPECT_EQ(Form.ModifiedCount(), 2);

    auto Editor = FindComponentEditor(Server, &Form);
    EXPECT_EQ(Editor->GetVerbCount(), 1);
    EXPECT_EQ(Editor->GetVerb(1), "");
    Editor->ExecuteVerb(1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(Form.ModifiedCount(), 2);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(RegistrationTest, ServerNameEditorIsAnEllipsisOnTheFirstSelectedServer) {
    // Property: ServerName has only the dialog attribute; its ellipsis opens
    // the inspector on the first selected server, which stores the chosen
    // name itself; other string properties keep the plain string editor.
    TDesignForm Form;
    auto *First = CheckedCast<TVexoServer>(Form.CreateComponent(*ClassOf<TVexoServer>()));
    auto *Second = CheckedCast<TVexoServer>(Form.CreateComponent(*ClassOf<TVexoServer>()));
    const std::vector<TPersistent *> Selection{First, Second};
    EXPECT_EQ(Form.PropertyAttributes(Selection, "ServerName"), paDialog);
    EXPECT_EQ(Form.PropertyAttributes(Selection, "ClientName"), paMultiSelect | paRevertable);
    EXPECT_EQ(Form.PropertyAttributes(Selection, "NoSuchProperty"), 0u);

    CloseInspectorOn(First, kSimDA20);
    Form.EditProperty(Selection, "ServerName");
    EXPECT_EQ(First->ServerName(), kSimDA20);
    EXPECT_EQ(Second->ServerName(), "");
    EXPECT_FALSE(First->Active());
    EXPECT_EQ(Form.ModifiedCount(), 1);
}

TEST_F(RegistrationTest, EditorsRefuseComponentsOfAnotherClass) {
    // Property: the editors convert type-checked; another class raises the
    // invalid-cast error and neither opens a window nor marks the form.
    TDesignForm Form;
    auto *Browser = Form.CreateComponent(*ClassOf<TvexoServerBrowser>());
    TVexoEditor Editor(Browser, &Form);
    EXPECT_THROW(Editor.ExecuteVerb(0), EInvalidCast);
    auto *Server = Form.CreateComponent(*ClassOf<TVexoServer>());
    const PropertyTable *Table = Server->GetPropertyTable();
    TVexoProperty Property(&Form, {Browser}, Table->Find("ServerName"));
    EXPECT_THROW(Property.Edit(), EInvalidCast);
    EXPECT_EQ(Form.ModifiedCount(), 0);
}

} // namespace
} // namespace vexo::test
