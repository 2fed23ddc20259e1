// quillfen-screenshots: renders the windows offscreen into PNG files for the documentation.
// Usage: quillfen-screenshots OUTPUT_FOLDER SAMPLES_FOLDER (run with QT_QPA_PLATFORM=offscreen).
#include <cstdio>
#include <optional>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPixmap>
#include <QSettings>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>

#include "quillfen/watermark/experiment.h"
#include "ui/application.h"
#include "ui/file_dialogs.h"
#include "ui/mdi_child.h"
#include "ui/picture_view.h"
#include "ui/results_dock.h"
#include "ui/robustness_window.h"
#include "ui/user_prompts.h"

namespace {

// Answers every file dialog with one prepared name.
class ScriptedDialogs : public quillfen::ui::FileDialogs {
public:
    std::optional<quillfen::ui::FileDialogResult> Execute(const quillfen::ui::FileDialogRequest&, QWidget*) override {
        return quillfen::ui::FileDialogResult{next, 1};
    }
    QString next;
};

// Says nothing and closes documents without saving them.
class DiscardingPrompts : public quillfen::ui::SilentPrompts {
public:
    quillfen::ui::SaveAnswer askSave(const std::string&) override { return quillfen::ui::SaveAnswer::Discard; }
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
    QApplication::setApplicationVersion(QStringLiteral(QUILLFEN_VERSION));
    if (argc != 3) {
        std::fprintf(stderr, "usage: quillfen-screenshots OUTPUT_FOLDER SAMPLES_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    // The samples as named on the command line (relative in `make screenshots`), so that the
    // windows' titles show the names a reader of the README would use.
    const QDir samples(QString::fromLocal8Bit(argv[2]));
    if (!QDir().mkpath(out.path())) return 2;

    // Pictures of a first start: no remembered geometry, docks or recent files, and nothing
    // written into the user's settings.
    const QTemporaryDir settings;
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, settings.path());

    // The main window with the original texts, then everything in English.
    bool ok = true;
    {
        DiscardingPrompts prompts;
        ScriptedDialogs dialogs;
        Forms forms(prompts, dialogs);
        forms.frmMain.resize(900, 780);
        forms.frmMain.show();
        TMDIChild* doc = forms.frmMain.OpenImageFile(samples.filePath(QStringLiteral("camera-256.pgm")));
        if (doc == nullptr) return 1;
        dialogs.next = samples.filePath(QStringLiteral("seal-128.bmp"));
        doc->StepAction(quillfen::Step::LoadWatermark)->trigger();
        ok = Save(forms.frmMain, out, "main-window-original.png") && ok;
        forms.frmMain.AllActions().FileClose1->trigger();
        QApplication::processEvents();
    }
    if (!UseLanguage(QString::fromLatin1(kLanguageEnglish))) {
        std::fprintf(stderr, "the English texts are missing\n");
        return 1;
    }

    DiscardingPrompts prompts;
    ScriptedDialogs dialogs;
    Forms forms(prompts, dialogs);
    TfrmMain& frmMain = forms.frmMain;
    frmMain.resize(900, 780);
    frmMain.show();

    TMDIChild* doc = frmMain.OpenImageFile(samples.filePath(QStringLiteral("camera-256.pgm")));
    if (doc == nullptr) return 1;
    dialogs.next = samples.filePath(QStringLiteral("seal-128.bmp"));
    doc->StepAction(quillfen::Step::LoadWatermark)->trigger();
    ok = Save(frmMain, out, "main-window.png") && ok;

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
    doc->StepAction(Step::GetPSNR)->trigger();
    doc->StepAction(Step::Jpeg)->trigger();
    // The extraction in one go, as Run Extraction does it.
    frmMain.AllActions().RunExtraction1->trigger();
    ok = Save(frmMain, out, "watermark-w-wave.png") && ok;
    ok = Save(*frmMain.ResultsList(), out, "results-dock.png") && ok;

    // A 128 x 128 plane (P_wave, the last view the extraction left) three times as large,
    // and the extracted watermark enlarged by a click on its panel.
    doc->SetZoom(3.0);
    doc->SizeToPicture();
    ok = Save(frmMain, out, "zoomed-plane.png") && ok;
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), frmMain.ExtractedPanel()->mapToGlobal(QPointF(5, 5)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frmMain.ExtractedPanel(), &click);
    if (QWidget* magnifier = frmMain.findChild<QWidget*>(QStringLiteral("magnifier"))) {
        ok = Save(*magnifier, out, "magnified-watermark.png") && ok;
        magnifier->hide();
    }

    // A toolbox command on a fresh document.
    frmMain.AllActions().FileClose1->trigger();
    QApplication::processEvents();
    TMDIChild* fresh = frmMain.OpenImageFile(samples.filePath(QStringLiteral("camera-256.pgm")));
    if (fresh == nullptr) return 1;
    fresh->Action(QStringLiteral("IterativeSelection1S"))->trigger();
    ok = Save(frmMain, out, "toolbox-threshold.png") && ok;

    // The robustness window after a small registering run: the bundled hosts, three seeds, the
    // JPEG family of the default grid and five rotations; its table, the JPEG family's charts,
    // then the rotations' charts with their reading after registration, and the JPEG family's
    // ROC curve; then the same JPEG cells with three methods compared.
    frmMain.AllActions().WindowRobustness1->trigger();
    TfrmRobustness& robustness = *frmMain.Robustness();
    robustness.resize(1200, 700);
    robustness.rbFiles->setChecked(true);
    // Names relative to the folder the program runs in, as a user would type them.
    robustness.SetHostPaths({QDir::current().relativeFilePath(samples.filePath(QStringLiteral("hosts")))});
    robustness.edtMark->setText(QDir::current().relativeFilePath(samples.filePath(QStringLiteral("seal-128.pgm"))));
    robustness.edtSeeds->setText(QStringLiteral("1..3"));
    QStringList cells;
    for (const int q : {15, 20, 25, 30, 35, 40, 50, 60, 70, 80, 90, 100}) cells << QStringLiteral("real-jpeg:q=%1").arg(q);
    robustness.CheckGridCells(cells);
    robustness.edtMoreAttacks->setText(QStringLiteral("rotate:deg=0.25,0.5,1,2,5"));
    robustness.chkRegister->setChecked(true);
    if (!robustness.Start()) return 1;
    robustness.Wait();
    ok = Save(robustness, out, "robustness-window.png") && ok;
    if (auto* tabs = robustness.findChild<QTabWidget*>(QStringLiteral("tabResults"))) tabs->setCurrentIndex(1);
    ok = Save(robustness, out, "robustness-charts.png") && ok;
    robustness.cmbFamily->setCurrentIndex(robustness.cmbFamily->findText(QStringLiteral("geometric: rotate")));
    ok = Save(robustness, out, "robustness-registered.png") && ok;
    // The JPEG family's ROC curve.
    robustness.cmbFamily->setCurrentIndex(0);
    if (auto* tabs = robustness.findChild<QTabWidget*>(QStringLiteral("tabResults"))) tabs->setCurrentIndex(2);
    ok = Save(robustness, out, "robustness-roc.png") && ok;

    // Three methods compared at one embedding PSNR on the same hosts and JPEG cells: one
    // detection line per method, then one ROC curve per method.
    robustness.edtMoreAttacks->clear();
    robustness.chkRegister->setChecked(false);
    robustness.edtMethods->setText(QStringLiteral("polarity spread-spectrum qim"));
    robustness.edtTargetPsnr->setText(QStringLiteral("38"));
    if (!robustness.Start()) return 1;
    robustness.Wait();
    robustness.cmbFamily->setCurrentIndex(0);
    if (auto* tabs = robustness.findChild<QTabWidget*>(QStringLiteral("tabResults"))) tabs->setCurrentIndex(1);
    ok = Save(robustness, out, "robustness-methods.png") && ok;
    if (auto* tabs = robustness.findChild<QTabWidget*>(QStringLiteral("tabResults"))) tabs->setCurrentIndex(2);
    ok = Save(robustness, out, "robustness-methods-roc.png") && ok;
    robustness.hide();
    return ok ? 0 : 1;
}
