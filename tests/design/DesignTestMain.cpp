//===- DesignTestMain.cpp - entry point of the inspector and editor tests -===//
//
// Creates the QApplication and installs the Qt UI services for the whole
// run, so that the components' events arrive through Qt's event loop as in
// a development environment. Without a platform chosen the tests run
// headless (offscreen).
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <QApplication>

#include <vexo/ui/QtServices.h>

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication App(argc, argv);
    QApplication::setApplicationDisplayName("Vexo inspector tests");
    vexo::ui::TQtServices Services;
    return RUN_ALL_TESTS();
}
