// quillfen-screenshots: renders the windows offscreen into PNG files for the documentation.
// Usage: quillfen-screenshots OUTPUT_FOLDER SAMPLES_FOLDER (run with QT_QPA_PLATFORM=offscreen).
#include <cstdio>
#include <optional>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>

#include "image/user_prompts.h"
#include "ui/about_dialog.h"
#include "ui/file_dialogs.h"
#include "ui/histogram_window.h"
#include "ui/main_window.h"
#include "ui/mdi_child.h"
#include "ui/param_hough_dialog.h"
#include "ui/properties_window.h"

namespace {

// Answers every file dialog with one prepared name.
class ScriptedDialogs : public quillfen::ui::FileDialogs {
public:
    std::optional<quillfen::ui::FileDialogResult> Execute(const quillfen::ui::FileDialogRequest&, QWidget*) override {
        return quillfen::ui::FileDialogResult{next, 1};
    }
    QString next;
};

bool Save(QWidget& widget, const QDir& folder, const char* name) {
    widget.show();
    QApplication::processEvents();
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace quillfen::ui;
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Quillfen™ by tavrenn"));
    if (argc != 3) {
        std::fprintf(stderr, "usage: quillfen-screenshots OUTPUT_FOLDER SAMPLES_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QDir samples(QDir(QString::fromLocal8Bit(argv[2])).absolutePath());
    if (!QDir().mkpath(out.path())) return 2;

    quillfen::SilentPrompts prompts;
    ScriptedDialogs dialogs;
    TfrmMain frmMain(prompts, dialogs);
    TfrmAbout frmAbout(&frmMain);
    TfrmHistogram frmHistogram(&frmMain);
    TfrmParamHough frmParamHough(prompts, &frmMain);
    TfrmProperties frmProperties(&frmMain);
    frmMain.SetForms(&frmAbout, &frmHistogram, &frmParamHough, &frmProperties);
    frmMain.show();

    TMDIChild* doc = frmMain.OpenImageFile(samples.filePath(QStringLiteral("camera-256.pgm")));
    if (doc == nullptr) return 1;
    dialogs.next = samples.filePath(QStringLiteral("seal-128.bmp"));
    doc->actLoadWExecute();
    frmMain.ShowStatus(1, QStringLiteral("위치정보"));
    bool ok = Save(frmMain, out, "main-window.png");

    frmHistogram.IPA = doc->FIpa.get();
    ok = Save(frmHistogram, out, "histogram.png") && ok;
    frmHistogram.hide();
    ok = Save(frmAbout, out, "about.png") && ok;
    ok = Save(frmProperties, out, "properties.png") && ok;
    frmParamHough.Fill(HoughParameters{});
    ok = Save(frmParamHough, out, "hough-parameters.png") && ok;
    frmParamHough.hide();

    // The experiment through the menus, with a fixed seed so the pictures never change.
    doc->FWatermark->SetFixedSeed(4242);
    for (QAction* step : {doc->actGetWr, doc->actGetWa, doc->actGetY, doc->actGetYr, doc->actGetP, doc->actGetP_hat,
                          doc->actGetYr_hat, doc->actGetY_hat, doc->actGetX_hat}) {
        step->trigger();
    }
    ok = Save(frmMain, out, "watermark-x-hat.png") && ok;
    for (QAction* step : {doc->actIPApplyJpeg, doc->actGetY_wave, doc->actGetYr_wave, doc->actGetP_wave,
                          doc->actGetWa_wave, doc->actGetWr_wave, doc->actGetW_wave, doc->actGetNC}) {
        step->trigger();
    }
    ok = Save(frmMain, out, "watermark-w-wave.png") && ok;

    // A toolbox command on a fresh document.
    frmMain.FileClose1->trigger();
    QApplication::processEvents();
    TMDIChild* fresh = frmMain.OpenImageFile(samples.filePath(QStringLiteral("camera-256.pgm")));
    if (fresh == nullptr) return 1;
    fresh->Action(QStringLiteral("IterativeSelection1S"))->trigger();
    ok = Save(frmMain, out, "toolbox-threshold.png") && ok;
    return ok ? 0 : 1;
}
