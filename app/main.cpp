// quillfen: the desktop program.
#include <QApplication>

#include "ui/application.h"
#include "ui/file_dialogs.h"
#include "ui/gui_prompts.h"

int main(int argc, char* argv[]) {
    using namespace quillfen::ui;
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
