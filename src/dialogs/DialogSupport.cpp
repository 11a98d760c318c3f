//===- DialogSupport.cpp - helpers shared by the dialogs -----------------===//
#include "DialogSupport.h"

#include <QGuiApplication>
#include <QScreen>

namespace vexo::ui {

void CentreOnDesktop(QWidget *Window) {
    QScreen *screen = Window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    Window->ensurePolished();
    if (!Window->testAttribute(Qt::WA_Resized))
        Window->adjustSize();
    QRect frame = Window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    Window->move(frame.topLeft());
}

} // namespace vexo::ui
