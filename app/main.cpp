// quillfen: the desktop program.
#include <QApplication>

#include <cstdio>
#include <stdexcept>

#include "image/vector_targets.h"
#include "ui/about_dialog.h"
#include "ui/file_dialogs.h"
#include "ui/gui_prompts.h"
#include "ui/histogram_window.h"
#include "ui/main_window.h"
#include "ui/param_hough_dialog.h"
#include "ui/properties_window.h"

int main(int argc, char* argv[]) {
    using namespace quillfen::ui;
    // QF_HWY_TARGET runs the vector loops on a lesser instruction set; a bad value is reported
    // and the best target kept, so the window still opens.
    try {
        quillfen::vector_targets::UseTargetFromEnvironment();
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "quillfen: %s\n", e.what());
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillfen"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillfen™ by tavrenn"));

    GuiPrompts prompts;
    QtFileDialogs dialogs;
    // The forms, all created at start in this order; only the main window is shown.
    TfrmMain frmMain(prompts, dialogs);
    prompts.setParent(&frmMain);
    TfrmAbout frmAbout(&frmMain);
    TfrmHistogram frmHistogram(&frmMain);
    TfrmParamHough frmParamHough(prompts, &frmMain);
    TfrmProperties frmProperties(&frmMain);
    frmMain.SetForms(&frmAbout, &frmHistogram, &frmParamHough, &frmProperties);

    frmMain.show();
    return QApplication::exec();
}
