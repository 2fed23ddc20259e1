// quillfen: the desktop program.
#include <QApplication>

#include <cstdio>
#include <stdexcept>

#include "image/vector_targets.h"
#include "ui/application.h"
#include "ui/file_dialogs.h"
#include "ui/gui_prompts.h"

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
    SetApplicationNames();

    GuiPrompts prompts;
    QtFileDialogs dialogs;
    // Only the main window is shown; the other forms wait until a command needs them.
    Forms forms(prompts, dialogs);
    prompts.setParent(&forms.frmMain);
    forms.frmMain.show();
    return QApplication::exec();
}
