//===- GroupDialogTest.cpp - the group edit dialog -----------------------===//

#include "UiFixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

#include <vexo/VexoGroupDlg.h>

namespace vexo::test {
namespace {

class GroupDialogTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        QLocale::setDefault(QLocale::c());
    }
    void TearDown() override {
        QLocale::setDefault(QLocale::c());
        UiTest::TearDown();
    }
    static tGroupStateRec Record() {
        tGroupStateRec r;
        r.Name = "Tanks";
        r.UpdateRate = 250;
        r.DeadBand = 2.5678f;
        r.IsActive = true;
        r.TimeBias = -60;
        r.LocaleId = 0x407;
        r.ClientHandle = 7;
        r.ServerHandle = 0xDEADBEEF;
        return r;
    }
    static void ExpectUnchanged(const tGroupStateRec &A, const tGroupStateRec &B) {
        EXPECT_EQ(A.Name, B.Name);
        EXPECT_EQ(A.UpdateRate, B.UpdateRate);
        EXPECT_EQ(A.DeadBand, B.DeadBand);
        EXPECT_EQ(A.IsActive, B.IsActive);
        EXPECT_EQ(A.TimeBias, B.TimeBias);
        EXPECT_EQ(A.LocaleId, B.LocaleId);
        EXPECT_EQ(A.ClientHandle, B.ClientHandle);
        EXPECT_EQ(A.ServerHandle, B.ServerHandle);
    }
    static void Retype(QLineEdit *Edit, const QString &Text) {
        Edit->selectAll();
        QTest::keyClick(Edit, Qt::Key_Delete);
        QTest::keyClicks(Edit, Text);
    }
};

TEST_F(GroupDialogTest, AcceptingStoresWhatWasShownAndTypedAndKeepsTheRest) {
    // Untouched, the dead band comes back as shown (two decimals); the hidden fields travel through.
    tGroupStateRec rec = Record();
    WhenModal<TVexoDlgEditGroup>([&](TVexoDlgEditGroup *D) {
        EXPECT_EQ(D->windowTitle(), "Edit Group");
        EXPECT_EQ(D->eGroupName->text(), "Tanks");
        EXPECT_EQ(D->eUpdateRate->text(), "250");
        EXPECT_EQ(D->eDeadBand->text(), "2.57");
        EXPECT_TRUE(D->cActive->isChecked());
        EXPECT_TRUE(D->cActive->text().isEmpty());
        EXPECT_TRUE(Centred(D));
        EXPECT_EQ(TabOrder(D->eGroupName, 6),
                  (QStringList{"eGroupName", "eUpdateRate", "eDeadBand", "cActive", "bOk",
                               "BCancel", "eGroupName"}));
        Screenshot(D, "group-dialog.png");
        QTest::keyClick(D->eDeadBand, Qt::Key_Return); // Enter presses the default button
    });
    const tGroupStateRec in = rec;
    EXPECT_TRUE(OPCEditGroupDialog(rec));
    EXPECT_EQ(rec.DeadBand, 2.57f);
    rec.DeadBand = in.DeadBand;
    ExpectUnchanged(rec, in);

    // A blank name beeps and keeps the dialog; a name with blanks around is stored as typed.
    WhenModal<TVexoDlgEditGroup>([&](TVexoDlgEditGroup *D) {
        D->eGroupName->setText(" \t "); // blanks and a control character only
        D->bOk->setFocus();
        QTest::mouseClick(D->bOk, Qt::LeftButton);
        EXPECT_EQ(Beeps, 1);
        EXPECT_TRUE(D->isVisible());
        EXPECT_TRUE(D->eGroupName->hasFocus());
        Retype(D->eGroupName, "  Pumps ");
        Retype(D->eUpdateRate, "4294967295");
        Retype(D->eDeadBand, "-0.5");
        const int box = D->cActive->height() / 2; // the box itself, at the left
        QTest::mouseClick(D->cActive, Qt::LeftButton, {}, QPoint(box, box));
        EXPECT_FALSE(D->cActive->isChecked());
        QTest::mouseClick(D->bOk, Qt::LeftButton);
    });
    EXPECT_TRUE(OPCEditGroupDialog(rec));
    EXPECT_EQ(rec.Name, "  Pumps ");
    EXPECT_EQ(rec.UpdateRate, 4294967295u) << "every rate the record holds is accepted";
    EXPECT_EQ(rec.DeadBand, -0.5f);
    EXPECT_FALSE(rec.IsActive);
    EXPECT_EQ(rec.ServerHandle, in.ServerHandle);
    EXPECT_TRUE(Exceptions.empty());
}

TEST_F(GroupDialogTest, ConversionErrorsNameTheTextAndCancelLeavesTheRecord) {
    // A bad number is reported by its text, the dialog stays, and Cancel discards what was stored.
    tGroupStateRec rec = Record();
    const tGroupStateRec in = rec;
    WhenModal<TVexoDlgEditGroup>([&](TVexoDlgEditGroup *D) {
        Retype(D->eUpdateRate, "12a");
        QTest::mouseClick(D->bOk, Qt::LeftButton);
        EXPECT_EQ(Exceptions, std::vector<std::string>{"'12a' is not a valid integer value"});
        EXPECT_TRUE(D->isVisible());
        Retype(D->eUpdateRate, "-1");
        QTest::mouseClick(D->bOk, Qt::LeftButton);
        ASSERT_EQ(Exceptions.size(), 2u);
        EXPECT_EQ(Exceptions[1].rfind("'-1' is out of range", 0), 0u) << Exceptions[1];
        EXPECT_EQ(D->State.UpdateRate, in.UpdateRate) << "a negative rate never wraps";

        // The update rate and name are stored before the dead band fails.
        Retype(D->eUpdateRate, "500");
        Retype(D->eGroupName, "Changed");
        Retype(D->eDeadBand, "1,5"); // a group separator, not a decimal point, here
        QTest::mouseClick(D->bOk, Qt::LeftButton);
        ASSERT_EQ(Exceptions.size(), 3u);
        EXPECT_EQ(Exceptions[2], "'1,5' is not a valid floating point value");
        EXPECT_EQ(D->State.UpdateRate, 500u);
        EXPECT_EQ(D->State.Name, "Changed");
        EXPECT_TRUE(D->isVisible());
        QTest::mouseClick(D->BCancel, Qt::LeftButton);
    });
    EXPECT_FALSE(OPCEditGroupDialog(rec));
    ExpectUnchanged(rec, in);

    WhenModal<TVexoDlgEditGroup>([&](TVexoDlgEditGroup *D) {
        Retype(D->eGroupName, "Escaped");
        QTest::keyClick(D->eGroupName, Qt::Key_Escape);
    });
    EXPECT_FALSE(OPCEditGroupDialog(rec));
    WhenModal<TVexoDlgEditGroup>([&](TVexoDlgEditGroup *D) { D->close(); });
    EXPECT_FALSE(OPCEditGroupDialog(rec));
    ExpectUnchanged(rec, in);
}

TEST_F(GroupDialogTest, NumbersFollowTheUsersLocale) {
    // With a comma locale the dead band is shown and read with a comma, a point is refused.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    tGroupStateRec rec = Record();
    rec.UpdateRate = 1500000;
    rec.DeadBand = 1234.5f;
    WhenModal<TVexoDlgEditGroup>([&](TVexoDlgEditGroup *D) {
        EXPECT_EQ(D->eDeadBand->text(), "1234,50") << "no group separators";
        EXPECT_EQ(D->eUpdateRate->text(), "1500000");
        Retype(D->eDeadBand, "0.25");
        QTest::mouseClick(D->bOk, Qt::LeftButton);
        EXPECT_EQ(Exceptions, std::vector<std::string>{"'0.25' is not a valid floating point value"});
        Retype(D->eDeadBand, " 0,25 ");
        QTest::mouseClick(D->bOk, Qt::LeftButton);
    });
    EXPECT_TRUE(OPCEditGroupDialog(rec));
    EXPECT_EQ(rec.DeadBand, 0.25f);
    EXPECT_EQ(rec.UpdateRate, 1500000u);
}

} // namespace
} // namespace vexo::test
