//===- ui.cpp - links the dialogs through the installed package -----------===//
#include <QApplication>

#include <vexo/VexoBrowseDlg.h>
#include <vexo/VexoGroupDlg.h>
#include <vexo/VexoServerDlg.h>
#include <vexo/ui/QtServices.h>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    vexo::ui::TQtServices services;
    // Without a browser the dialog shows nothing and returns an empty id.
    return vexo::OPCBrowseItemDialog(nullptr, true).empty() ? 0 : 1;
}
