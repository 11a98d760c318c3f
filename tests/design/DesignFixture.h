//===- DesignFixture.h - fixture of the inspector and editor tests -------===//
//
// DesignTest is the dialog tests' fixture (captured messages, beeps and
// exceptions, counters checked at the end, screenshots) with a modal driver
// that lets several windows wait at once (OnModal), and helpers that reach
// the inspector's controls by name and pick entries of the item browse
// dialog.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <chrono>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <vexo/VexoBrowseDlg.h>
#include <vexo/VexoGroupDlg.h>
#include <vexo/VexoPropEdit.h>
#include <vexo/design/TVexoDlgExplorer.h>

#include "ui/UiFixture.h"

namespace vexo::test {

class DesignTest : public UiTest {
  protected:
    /// Runs Script on the next modal dialog of type D (see OnModal).
    template <class D> static void WhenModal(std::function<void(D *)> Script) {
        OnModal<D>(std::move(Script));
    }

    /// Runs Script on a modal dialog of type D without blocking the event
    /// loop, so several can wait at once: dialogs of one type are served in
    /// the order their scripts were given, each dialog once. A dialog the
    /// script leaves open is rejected; none within 20 s fails the test.
    template <class D> static void OnModal(std::function<void(D *)> Script) {
        static int Issued = 0;
        static int Serving = 0;
        const int Mine = Issued++;
        auto *Poll = new QTimer(QCoreApplication::instance());
        const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        QObject::connect(Poll, &QTimer::timeout, [Poll, Mine, Deadline, Script] {
            const bool Late = std::chrono::steady_clock::now() > Deadline;
            D *Dlg =
                Mine == Serving ? dynamic_cast<D *>(QApplication::activeModalWidget()) : nullptr;
            if (Dlg && (!Dlg->isVisible() || Dlg->property("vexoScripted").toBool()))
                Dlg = nullptr;
            if (!Dlg && !Late)
                return;
            Poll->stop();
            Poll->deleteLater();
            if (!Dlg) {
                if (Mine == Serving)
                    ++Serving;
                ADD_FAILURE() << "the expected dialog did not open";
                if (QWidget *W = QApplication::activeModalWidget())
                    W->close();
                return;
            }
            ++Serving;
            Dlg->setProperty("vexoScripted", true);
            QPointer<D> Alive(Dlg);
            Script(Dlg);
            if (Alive && Alive->isVisible())
                Alive->reject();
        });
        Poll->start(10);
    }

    template <class W> static W *Child(QWidget *Form, const char *Name) {
        W *Result = Form->findChild<W *>(Name);
        EXPECT_NE(Result, nullptr) << Name;
        return Result;
    }
    static std::string LabelText(QWidget *Form, const char *Name) {
        return Child<QLabel>(Form, Name)->text().toStdString();
    }
    static QTreeWidget *Groups(QWidget *Form) { return Child<QTreeWidget>(Form, "tvGroups"); }
    static QTreeWidget *Rows(QWidget *Form) { return Child<QTreeWidget>(Form, "lvItems"); }
    static QTimer *Timer(QWidget *Form) { return Form->findChild<QTimer *>("Timer1"); }

    /// Selects exactly the entries named Names in the browse dialog's list.
    static void Pick(TVexoDlgBrowse *D, const QStringList &Names) {
        D->ListView->clearSelection();
        for (const QString &Name : Names) {
            const auto Found = D->ListView->findItems(Name, Qt::MatchExactly);
            ASSERT_EQ(Found.size(), 1) << Name.toStdString();
            Found.front()->setSelected(true);
        }
    }
    /// Walks from the dialog's level into Branches, then accepts Leaves.
    static void BrowseAndAccept(TVexoDlgBrowse *D, const QStringList &Branches,
                                const QStringList &Leaves) {
        for (const QString &Branch : Branches) {
            Pick(D, {Branch});
            D->bOk->click();
        }
        Pick(D, Leaves);
        D->bOk->click();
    }
    /// Fills the group edit dialog and presses "&Ok".
    static void EditGroup(TVexoDlgEditGroup *D, const QString &Name, const QString &Rate,
                          const QString &DeadBand, bool Active) {
        D->eGroupName->setText(Name);
        D->eUpdateRate->setText(Rate);
        D->eDeadBand->setText(DeadBand);
        D->cActive->setChecked(Active);
        D->bOk->click();
    }
};

} // namespace vexo::test
