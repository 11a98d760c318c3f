//===- UiFixture.h - fixture of the dialog tests -------------------------===//
//
// UiTest registers the simulation servers, captures what the dialogs show
// the user (messages, beeps, busy-cursor changes, exceptions passed to the
// application's handler) while keeping the real Qt cursor service, checks
// the task-memory and BSTR counters at the end, and drives modal dialogs:
// WhenModal runs a script against the dialog once its modal loop is up, and
// closes it afterwards if the script left it open, so a failed step can
// never hang the test.
//
//   WhenModal<TVexoDlgEditGroup>([&](TVexoDlgEditGroup *D) { QTest::mouseClick(D->bOk, ...); });
//   bool ok = OPCEditGroupDialog(rec);
//
//===----------------------------------------------------------------------===//
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QTimer>
#include <QScreen>
#include <QWidget>

#include <vexo/Vexo.h>
#include <vexo/VexoSimulation.h>
#include <vexo/framework/Application.h>
#include <vexo/framework/UIServices.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/Variant.h>

namespace vexo::test {

constexpr const char *kSimDA20 = "Vexo.Simulation.1";
constexpr const char *kSimDA10 = "Vexo.Simulation.DA10.1";
constexpr const char *kSimClassID = "{7E46A347-A843-44D9-B2C6-ADCF158C9B0F}";
constexpr const char *kSimDA10ClassID = "{D2448441-2BD9-4F9D-8376-E27FC221F8E8}";

class UiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterSimulationServers();
        FTaskBlocks = platform::TaskMemLiveBlocks();
        FBStrs = platform::BStrLiveCount();
        TUIServices capture = UIServices(); // the Qt services of the test main
        auto cursor = capture.SetBusyCursor;
        capture.ShowMessage = [this](const std::string &Text) { Messages.push_back(Text); };
        capture.Beep = [this] { ++Beeps; };
        capture.SetBusyCursor = [this, cursor](bool Busy) {
            BusyChanges.push_back(Busy);
            cursor(Busy);
        };
        FSavedUI = SetUIServices(std::move(capture));
        FSavedOnException = Application->OnException;
        Application->OnException = [this](TObject *, const Exception &E) {
            Exceptions.push_back(E.Message());
        };
    }

    void TearDown() override {
        Application->OnException = FSavedOnException;
        SetUIServices(FSavedUI);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "busy cursor left on";
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "a dialog stayed open";
        EXPECT_EQ(platform::TaskMemLiveBlocks(), FTaskBlocks) << "task memory leaked";
        EXPECT_EQ(platform::BStrLiveCount(), FBStrs) << "BSTRs leaked";
    }

    /// Runs Script on the next modal dialog of type D once it is shown and
    /// active; rejects the dialog afterwards if the script left it open.
    template <class D> void WhenModal(std::function<void(D *)> Script) {
        QTimer::singleShot(0, [Script] {
            D *dlg = nullptr;
            const bool up = QTest::qWaitFor(
                [&] {
                    dlg = dynamic_cast<D *>(QApplication::activeModalWidget());
                    return dlg && dlg->isVisible();
                },
                10000);
            if (!up) {
                ADD_FAILURE() << "the dialog did not open";
                if (QWidget *w = QApplication::activeModalWidget())
                    w->close();
                return;
            }
            dlg->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(dlg));
            Script(dlg);
            if (dlg->isVisible())
                dlg->reject();
        });
    }

    /// Saves a picture of W to <build>/screenshots/Name.
    static void Screenshot(QWidget *W, const QString &Name) {
        QDir().mkpath(VEXO_SCREENSHOT_DIR);
        EXPECT_TRUE(W->grab().save(QString(VEXO_SCREENSHOT_DIR) + "/" + Name)) << Name.toStdString();
    }

    static std::string S(const QString &Q) { return Q.toStdString(); }

    /// The object names the focus visits from First on, pressing Tab Count times.
    static QStringList TabOrder(QWidget *First, int Count) {
        First->setFocus();
        QStringList names{First->objectName()};
        for (int i = 0; i < Count; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            names << QApplication::focusWidget()->objectName();
        }
        return names;
    }

    /// Success when W's frame is centred on the available desktop (to a pixel or two).
    static ::testing::AssertionResult Centred(QWidget *W) {
        const QRect f = W->frameGeometry();
        const QRect a = W->screen()->availableGeometry();
        if ((f.center() - a.center()).manhattanLength() <= 2)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "frame at " << f.x() << "," << f.y() << " size " << f.width() << "x"
               << f.height() << " on a desktop of " << a.width() << "x" << a.height();
    }

    std::vector<std::string> Messages;
    std::vector<std::string> Exceptions;
    std::vector<bool> BusyChanges;
    int Beeps = 0;

  private:
    long long FTaskBlocks = 0;
    long long FBStrs = 0;
    TUIServices FSavedUI;
    TApplication::TExceptionEvent FSavedOnException;
};

} // namespace vexo::test
