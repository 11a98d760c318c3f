//===- InspectorProgramTest.cpp - vexo-inspector's editing round trip ----===//
#include "DesignFixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <QToolButton>

#include "InspectorSession.h"

namespace vexo::test {
namespace {

namespace fs = std::filesystem;

class InspectorProgramTest : public DesignTest {
  protected:
    void SetUp() override {
        DesignTest::SetUp();
        Dir =
            fs::temp_directory_path() /
            ("vexo-inspector-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override {
        fs::remove_all(Dir);
        DesignTest::TearDown();
    }
    int Run(std::vector<std::string> Args) {
        std::ostringstream Out, Err;
        const int Code = inspector::RunVexoInspector(Args, Out, Err);
        ErrText = Err.str();
        return Code;
    }
    /// In the inspector: adds group Name with the group dialog and one item,
    /// then closes the window.
    void AddGroupAndItemThenClose(const QString &Name) {
        OnModal<TVexoDlgExplorer>([Name](TVexoDlgExplorer *D) {
            OnModal<TVexoDlgEditGroup>(
                [Name](TVexoDlgEditGroup *G) { EditGroup(G, Name, "250", "0", true); });
            D->AddGroupAction()->trigger();
            TStringList Ids;
            Ids.Add("Simulation.Bucket.Int4");
            D->AddNewItems(D->SelectedGroup(), Ids);
            D->close();
        });
    }
    /// Answers the next save question with Button.
    void Answer(QMessageBox::StandardButton Button) {
        OnModal<QMessageBox>([Button](QMessageBox *Box) { Box->button(Button)->click(); });
    }
    static std::string ReadFile(const fs::path &P) {
        std::ifstream In(P, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
    }

    fs::path Dir;
    std::string ErrText;
};

TEST_F(InspectorProgramTest, SavedChangesLoadBackAsTheNewConfiguration) {
    // Property: open a file, add a group and an item, close with "Save": the
    // file then loads to the new configuration with the old settings kept.
    const fs::path File = Dir / "plant.opc";
    {
        TVexoServer Server(nullptr);
        Server.SetServer(kSimDA20);
        Server.SetClientName("plant");
        Server.SaveToFile(File.string());
    }
    AddGroupAndItemThenClose("Line1");
    Answer(QMessageBox::Save);
    ASSERT_EQ(Run({File.string()}), 0) << ErrText;

    TVexoServer Loaded(nullptr);
    Loaded.LoadFromFile(File.string());
    EXPECT_EQ(Loaded.ServerName(), kSimDA20);
    EXPECT_EQ(Loaded.ClientName(), "plant");
    ASSERT_EQ(Loaded.OPCGroups()->Count(), 1);
    TVexoGroup *Group = Loaded.OPCGroups()->GetItem(0);
    EXPECT_EQ(Group->Name(), "Line1");
    EXPECT_EQ(Group->UpdateRate(), 250);
    ASSERT_EQ(Group->OPCItems()->Count(), 1);
    EXPECT_EQ(Group->OPCItems()->GetItem(0)->ItemID(), "Simulation.Bucket.Int4");
    EXPECT_TRUE(Group->OPCItems()->GetItem(0)->IsActive());
}

TEST_F(InspectorProgramTest, CancelReturnsToTheInspectorAndDiscardKeepsTheFile) {
    // Property: "Cancel" opens the window again on the same, still changed
    // component; "Discard" leaves the file as it was; no change, no question.
    const fs::path File = Dir / "plant.opc";
    {
        TVexoServer Server(nullptr);
        Server.SetServer(kSimDA20);
        Server.SaveToFile(File.string());
    }
    const std::string Before = ReadFile(File);
    AddGroupAndItemThenClose("Line1");
    Answer(QMessageBox::Cancel);
    OnModal<TVexoDlgExplorer>([](TVexoDlgExplorer *D) {
        EXPECT_EQ(Groups(D)->topLevelItemCount(), 1);
        D->close();
    });
    Answer(QMessageBox::Discard);
    ASSERT_EQ(Run({File.string()}), 0) << ErrText;
    EXPECT_EQ(ReadFile(File), Before);

    OnModal<TVexoDlgExplorer>([](TVexoDlgExplorer *D) { D->close(); });
    ASSERT_EQ(Run({File.string()}), 0);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(InspectorProgramTest, WithoutAFileSavingAsksForANewName) {
    // Property: an empty start offers to save under a name the user picks;
    // an unreadable file and stray arguments end with exit code 1.
    const fs::path File = Dir / "new.opc";
    AddGroupAndItemThenClose("Line1");
    Answer(QMessageBox::Save);
    OnModal<QFileDialog>([File](QFileDialog *D) {
        D->selectFile(QString::fromStdString(File.string()));
        QMetaObject::invokeMethod(D, "accept", Qt::DirectConnection);
    });
    ASSERT_EQ(Run({}), 0) << ErrText;
    TVexoServer Loaded(nullptr);
    Loaded.LoadFromFile(File.string());
    EXPECT_EQ(Loaded.OPCGroups()->Count(), 1);

    const fs::path Bad = Dir / "bad.opc";
    std::ofstream(Bad) << "not a configuration";
    EXPECT_EQ(Run({Bad.string()}), 1);
    EXPECT_NE(ErrText.find("bad.opc"), std::string::npos) << ErrText;
    EXPECT_EQ(Run({"a", "b"}), 1);
}

} // namespace
} // namespace vexo::test
