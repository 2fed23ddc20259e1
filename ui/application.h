#pragma once
// What the desktop program and its screenshot renderer both set up at start: the program's
// names, and its forms, created in the order the program has always created them (the main
// frame first, then the about box, the histogram window, the Hough parameter dialog and the
// method description), all owned by one object and handed to the frame.
#include "ui/about_dialog.h"
#include "ui/histogram_window.h"
#include "ui/language.h"
#include "ui/main_window.h"
#include "ui/param_hough_dialog.h"
#include "ui/properties_window.h"

namespace quillfen::ui {

class FileDialogs;
class UserPrompts;

// The application's display name, which every message box shows as its title.
void SetApplicationNames();



struct Forms {
    Forms(UserPrompts& prompts, FileDialogs& dialogs);
    Forms(const Forms&) = delete;
    Forms& operator=(const Forms&) = delete;

    TfrmMain frmMain;
    TfrmAbout frmAbout;
    TfrmHistogram frmHistogram;
    TfrmParamHough frmParamHough;
    TfrmProperties frmProperties;
};

}  // namespace quillfen::ui
