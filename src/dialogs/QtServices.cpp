//===- QtServices.cpp - Qt implementations of the UI services ------------===//
//
// This file implements the Qt UI services and the wake-up hook. Posts from
// any thread call the hook; it schedules one queued drain on the GUI thread
// and coalesces further wake-ups until that drain has started, so a fast
// producer costs one Qt event per drain rather than one per message.
//
//===----------------------------------------------------------------------===//
#include <vexo/ui/QtServices.h>

#include <atomic>
#include <mutex>

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <vexo/framework/Application.h>

namespace vexo::ui {

struct TQtServices::State {
    std::mutex Lock;                  // guards Receiver against the uninstall
    QObject *Receiver = nullptr;      // lives on the GUI thread
    std::atomic<bool> Pending{false}; // a drain is queued and has not started

    void Wake() {
        if (Pending.exchange(true, std::memory_order_acq_rel))
            return;
        std::lock_guard lock(Lock);
        if (!Receiver) {
            Pending.store(false, std::memory_order_release);
            return;
        }
        QMetaObject::invokeMethod(
            Receiver,
            [this] {
                // Cleared before draining: a post during the drain queues another.
                Pending.store(false, std::memory_order_release);
                Application->ProcessMessages();
            },
            Qt::QueuedConnection);
    }
};

TUIServices QtUIServices() {
    TUIServices s;
    s.ShowMessage = [](const std::string &Text) {
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(),
                        QString::fromStdString(Text), QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    };
    s.Beep = [] {
        // Beep may come from any thread; QApplication::beep belongs to the GUI thread.
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [] { QApplication::beep(); }, Qt::AutoConnection);
    };
    s.SetBusyCursor = [](bool Busy) {
        if (Busy)
            QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        else
            QApplication::restoreOverrideCursor();
    };
    s.ProcessPendingMessages = [] { QCoreApplication::processEvents(); };
    return s;
}

TQtServices::TQtServices() : FState(std::make_shared<State>()) {
    FState->Receiver = new QObject(); // deleted in the destructor, on this thread
    FInstalled = QtUIServices();
    FPrevious = SetUIServices(FInstalled);
    std::weak_ptr<State> weak = FState;
    Application->SetWakeUpHook([weak] {
        if (auto state = weak.lock())
            state->Wake();
    });
    // Messages posted before the hook existed still need a drain.
    FState->Wake();
}

TQtServices::~TQtServices() {
    Application->SetWakeUpHook(nullptr);
    QObject *receiver = nullptr;
    {
        std::lock_guard lock(FState->Lock);
        receiver = FState->Receiver;
        FState->Receiver = nullptr;
    }
    delete receiver; // drops a drain that is still queued
    SetUIServices(FPrevious);
}

const TUIServices &TQtServices::Installed() const { return FInstalled; }

} // namespace vexo::ui
