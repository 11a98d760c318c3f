//===- DialogSupport.h - helpers shared by the dialogs (internal) --------===//
//
// Centring a window on the desktop, and running an event handler so that an
// exception it raises goes to the application's exception display instead of
// unwinding through Qt's event loop (which must never see one).
//
//===----------------------------------------------------------------------===//
#pragma once

#include <utility>

#include <QWidget>

#include <vexo/framework/Application.h>

namespace vexo::ui {

/// Moves Window so that its frame is centred on the available area of the
/// screen it is on (the primary screen when none).
void CentreOnDesktop(QWidget *Window);

/// Runs Handler; an exception goes to Application->HandleException.
template <class F> void Guarded(F &&Handler) {
    try {
        std::forward<F>(Handler)();
    } catch (...) {
        Application->HandleException(nullptr);
    }
}

} // namespace vexo::ui
