//===- DialogSupport.cpp - helpers shared by the dialogs -----------------===//
#include "DialogSupport.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>

namespace vexo::ui {

void CentreOnDesktop(QWidget *Window) {
    QScreen *screen = Window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    Window->ensurePolished();
    if (QLayout *layout = Window->layout())
        layout->activate(); // the final size, which a fixed-size layout sets only now
    if (!Window->testAttribute(Qt::WA_Resized))
        Window->adjustSize();
    Window->winId(); // a native window knows its frame margins
    QRect frame = Window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    Window->move(frame.topLeft());
}

} // namespace vexo::ui
