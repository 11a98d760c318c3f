//===- QtServices.h - the framework's UI services in a Qt application ----===//
//
// Installs real user-interface services for a Qt Widgets application: a
// message box for ShowMessage, QApplication::beep, the wait cursor as the
// busy cursor, and processing of pending Qt events. It also hooks the
// application object's wake-up callback into Qt's event loop, so that the
// components' message targets (data changes, completions, shutdowns) are
// drained on the GUI thread as soon as something is posted, without polling.
//
//   QApplication app(argc, argv);
//   vexo::ui::TQtServices services; // for the lifetime of the application
//   ... components created on this thread receive their events from app.exec()
//
//===----------------------------------------------------------------------===//
#pragma once

#include <memory>

#include <vexo/framework/UIServices.h>

namespace vexo::ui {

/// Installs the Qt services and the wake-up hook for its lifetime and puts
/// back what was installed before on destruction. Create it on the GUI thread
/// after the QApplication and destroy it before; one at a time. The hook may
/// be called from any thread; the draining runs on the GUI thread only.
class TQtServices {
  public:
    TQtServices();
    ~TQtServices();
    TQtServices(const TQtServices &) = delete;
    TQtServices &operator=(const TQtServices &) = delete;

    /// The services installed by this object (for tests that wrap one of them).
    const TUIServices &Installed() const;

  private:
    struct State;
    std::shared_ptr<State> FState;
    TUIServices FPrevious;
    TUIServices FInstalled;
};

/// The Qt services as a set, without installing them or the hook.
TUIServices QtUIServices();

} // namespace vexo::ui
