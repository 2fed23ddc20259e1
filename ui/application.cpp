#include "ui/application.h"

#include <QApplication>

namespace quillfen::ui {

void SetApplicationNames() {
    QApplication::setApplicationName(QStringLiteral("quillfen"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillfen™ by tavrenn"));
}

// The dialogs are children of the frame; being declared after it, they go first.
Forms::Forms(UserPrompts& prompts, FileDialogs& dialogs)
    : frmMain(prompts, dialogs),
      frmAbout(&frmMain),
      frmHistogram(&frmMain),
      frmParamHough(prompts, &frmMain),
      frmProperties(&frmMain) {
    frmMain.SetForms(&frmAbout, &frmHistogram, &frmParamHough, &frmProperties);
}

}  // namespace quillfen::ui
