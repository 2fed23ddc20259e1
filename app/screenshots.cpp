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
#include "ui/application.h"
#include "ui/file_dialogs.h"
#include "ui/mdi_child.h"
#include "watermark/experiment.h"

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
    SetApplicationNames();
    if (argc != 3) {
        std::fprintf(stderr, "usage: quillfen-screenshots OUTPUT_FOLDER SAMPLES_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QDir samples(QDir(QString::fromLocal8Bit(argv[2])).absolutePath());
    if (!QDir().mkpath(out.path())) return 2;

    quillfen::SilentPrompts prompts;
    ScriptedDialogs dialogs;
    Forms forms(prompts, dialogs);
    TfrmMain& frmMain = forms.frmMain;
    frmMain.show();

    TMDIChild* doc = frmMain.OpenImageFile(samples.filePath(QStringLiteral("camera-256.pgm")));
    if (doc == nullptr) return 1;
    dialogs.next = samples.filePath(QStringLiteral("seal-128.bmp"));
    doc->StepAction(quillfen::Step::LoadWatermark)->trigger();
    frmMain.ShowStatus(1, QStringLiteral("위치정보"));
    bool ok = Save(frmMain, out, "main-window.png");

    forms.frmHistogram.IPA = &doc->Model().Image();
    ok = Save(forms.frmHistogram, out, "histogram.png") && ok;
    forms.frmHistogram.hide();
    ok = Save(forms.frmAbout, out, "about.png") && ok;
    ok = Save(forms.frmProperties, out, "properties.png") && ok;
    forms.frmParamHough.Fill(HoughParameters{});
    ok = Save(forms.frmParamHough, out, "hough-parameters.png") && ok;
    forms.frmParamHough.hide();

    // The experiment through the menus, with a fixed seed so the pictures never change.
    using quillfen::Experiment;
    using quillfen::Step;
    doc->SetFixedSeed(4242);
    for (const Step step : Experiment::EmbeddingChain()) doc->StepAction(step)->trigger();
    ok = Save(frmMain, out, "watermark-x-hat.png") && ok;
    doc->StepAction(Step::Jpeg)->trigger();
    for (const Step step : Experiment::ExtractionChain()) doc->StepAction(step)->trigger();
    doc->StepAction(Step::GetNC)->trigger();
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
