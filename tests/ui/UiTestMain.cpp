//===- UiTestMain.cpp - entry point of the dialog tests ------------------===//
//
// Creates the QApplication and installs the Qt UI services for the whole
// run. Without a platform chosen the tests run headless (offscreen).
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <QApplication>

#include <vexo/ui/QtServices.h>

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Vexo dialog tests");
    vexo::ui::TQtServices services;
    return RUN_ALL_TESTS();
}
