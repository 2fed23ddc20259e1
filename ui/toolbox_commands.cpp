// The popup menu's image-processing commands. The operations come from the toolbox catalogue
// (quillfen/toolbox/catalogue.h); this file lays out the menu around them, with the entries of
// methods this laboratory does not offer, and runs a command: read its inputs (input boxes or
// the Hough parameter dialog), run the operation on the document, draw again and report.
// Errors of the operations (a MathError on a degenerate image, too many objects to label)
// reach the frame's error report through its command guard, with the image as it was.
// Entries of methods that are not offered are shown disabled, saying so. Large work runs on
// a worker thread with progress and Cancel, on a copy of the image.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QSettings>
#include <QStringList>

#include "quillfen/image/number_format.h"
#include "quillfen/toolbox/catalogue.h"
#include "ui/background_job.h"
#include "ui/histogram_window.h"
#include "ui/mdi_child.h"
#include "ui/param_hough_dialog.h"
#include "ui/results_dock.h"
#include "ui/ui_text.h"
#include "ui/user_prompts.h"

namespace quillfen::ui {

namespace {

// The Hough dialog's parameters as the command passes them on (angle cells, distance cells,
// minimum line length, gradient threshold, Hough threshold, line-based 0/1), kept between runs.
const QString kHoughKey = QStringLiteral("toolbox/houghParameters");

void RememberHough(const std::vector<int>& values) {
    QStringList stored;
    for (const int value : values) stored << QString::number(value);
    QSettings().setValue(kHoughKey, stored);
}

// Nothing before the first accepted dialog, or when the entry is not what RememberHough writes.
std::optional<std::vector<int>> RememberedHough() {
    const QStringList stored = QSettings().value(kHoughKey).toStringList();
    if (stored.size() != 6) return std::nullopt;
    std::vector<int> values;
    for (const QString& text : stored) {
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < 0) return std::nullopt;
        values.push_back(value);
    }
    if (values[0] < 1 || values[1] < 1 || values[5] > 1) return std::nullopt;
    return values;
}

}  // namespace

namespace {

// An entry of the popup menu's layout. Its captions are texts of the "Toolbox" context, as
// the catalogue's (core_texts.cpp); the menu shows their translations.
struct Entry {
    enum Kind {
        Operations,  // the catalogue's next operations of this submenu, in catalogue order
        Submenu,
        Plain,       // a caption with no command
        Inert,       // an action on the menu whose method is not offered: it does nothing
        Histogram,   // View Histogram: the histogram window, not an operation on the image
        Separator,
    };
    Kind kind;
    const char* caption = nullptr;
    const char* action = nullptr;
    std::vector<Entry> entries = {};  // of a submenu
};

Entry Ops() { return {Entry::Operations}; }
Entry Sub(const char* caption, std::vector<Entry> entries) { return {Entry::Submenu, caption, nullptr, std::move(entries)}; }
Entry Plain(const char* caption) { return {Entry::Plain, caption}; }
Entry Inert(const char* action, const char* caption) { return {Entry::Inert, caption, action}; }
std::vector<Entry> Plains(std::initializer_list<const char*> captions) {
    std::vector<Entry> entries;
    for (const char* caption : captions) entries.push_back(Plain(caption));
    return entries;
}

// The popup menu from top to bottom.
const std::vector<Entry>& Layout() {
    static const std::vector<Entry> layout = {
        Plain(QT_TRANSLATE_NOOP("Toolbox", "Image Size")),
        {Entry::Separator},
        Sub(QT_TRANSLATE_NOOP("Toolbox", "Segmentation (Threshold)"), {Ops(), Sub(QT_TRANSLATE_NOOP("Toolbox", "Entropy"), {Ops()}), Sub(QT_TRANSLATE_NOOP("Toolbox", "Fuzzy Set"), {Ops()}), Ops(),
                                         Inert("Relaxation1S", QT_TRANSLATE_NOOP("Toolbox", "Relaxation"))}),
        Sub(QT_TRANSLATE_NOOP("Toolbox", "Histogram"), {{Entry::Histogram, QT_TRANSLATE_NOOP("Toolbox", "View Histogram"), "ViewHistogram1H"}, Ops()}),
        Sub(QT_TRANSLATE_NOOP("Toolbox", "Edge Detection"), {Sub(QT_TRANSLATE_NOOP("Toolbox", "Gradient"), {Ops()}), Sub(QT_TRANSLATE_NOOP("Toolbox", "Laplacian"), {Ops()}),
                               Sub(QT_TRANSLATE_NOOP("Toolbox", "Template Matching"), Plains({QT_TRANSLATE_NOOP("Toolbox", "Prewitt"), QT_TRANSLATE_NOOP("Toolbox", "Hueckel")})), Inert("Canny1e", QT_TRANSLATE_NOOP("Toolbox", "Canny")),
                               Inert("Shen_Castan1e", QT_TRANSLATE_NOOP("Toolbox", "Shen_Castan")), Inert("Marr_Hildreth1e", QT_TRANSLATE_NOOP("Toolbox", "Marr_Hildreth")), Ops()}),
        Sub(QT_TRANSLATE_NOOP("Toolbox", "Thinning"), {Inert("Hilditch1T", QT_TRANSLATE_NOOP("Toolbox", "Hilditch")), Inert("Medial_AxisTransform1T", QT_TRANSLATE_NOOP("Toolbox", "Medial_AxisTransform")),
                         Inert("IterativeMorphological1T", QT_TRANSLATE_NOOP("Toolbox", "IterativeMorphological")),
                         Inert("Stentiford_Holt_Zhang_Suen1T", QT_TRANSLATE_NOOP("Toolbox", "Stentiford_Holt_Zhang_Suen")), Ops()}),
        Sub(QT_TRANSLATE_NOOP("Toolbox", "Noise Removement"), {Ops()}),
        Sub(QT_TRANSLATE_NOOP("Toolbox", "Feature Detection"), {Ops(), Sub(QT_TRANSLATE_NOOP("Toolbox", "Feature parameter"), Plains({QT_TRANSLATE_NOOP("Toolbox", "Size"), QT_TRANSLATE_NOOP("Toolbox", "Ratio"), QT_TRANSLATE_NOOP("Toolbox", "Round length"), QT_TRANSLATE_NOOP("Toolbox", "Center")}))}),
        Sub(QT_TRANSLATE_NOOP("Toolbox", "Texture"), {Sub(QT_TRANSLATE_NOOP("Toolbox", "Co-occurency"), Plains({QT_TRANSLATE_NOOP("Toolbox", "Maximum Probability"), QT_TRANSLATE_NOOP("Toolbox", "Moments"), QT_TRANSLATE_NOOP("Toolbox", "Contrast"), QT_TRANSLATE_NOOP("Toolbox", "Homogeneity"),
                                                    QT_TRANSLATE_NOOP("Toolbox", "Entropy"), QT_TRANSLATE_NOOP("Toolbox", "Mean")}))}),
        Sub(QT_TRANSLATE_NOOP("Toolbox", "Image Restoration"),
            {Sub(QT_TRANSLATE_NOOP("Toolbox", "Frequency Processing"), Plains({QT_TRANSLATE_NOOP("Toolbox", "Discreate Fourier Transform"), QT_TRANSLATE_NOOP("Toolbox", "Fast Fourier Transform"),
                                                 QT_TRANSLATE_NOOP("Toolbox", "Inverse Fourier Transform"), QT_TRANSLATE_NOOP("Toolbox", "Two-Dimensional Fourier Transform"),
                                                 QT_TRANSLATE_NOOP("Toolbox", "Creating Artificial Blur")})),
             Sub(QT_TRANSLATE_NOOP("Toolbox", "Filtering"), Plains({QT_TRANSLATE_NOOP("Toolbox", "Inverse Filter"), QT_TRANSLATE_NOOP("Toolbox", "Wiener Filter"), QT_TRANSLATE_NOOP("Toolbox", "Structured Noise"), QT_TRANSLATE_NOOP("Toolbox", "Montion Blur-Special Case"),
                                      QT_TRANSLATE_NOOP("Toolbox", "Homomorphie Filter")}))}),
        Sub(QT_TRANSLATE_NOOP("Toolbox", "Geometrical Transform"),
            Plains({QT_TRANSLATE_NOOP("Toolbox", "Size Transform"), QT_TRANSLATE_NOOP("Toolbox", "Location Transform"), QT_TRANSLATE_NOOP("Toolbox", "Rotation Transform"), QT_TRANSLATE_NOOP("Toolbox", "Projection Transform")})),
        Sub(QT_TRANSLATE_NOOP("Toolbox", "Image Compression"), Plains({QT_TRANSLATE_NOOP("Toolbox", "Run-Length EnCoding"), QT_TRANSLATE_NOOP("Toolbox", "DPCM"), QT_TRANSLATE_NOOP("Toolbox", "Variable Encoding")})),
        Sub(QT_TRANSLATE_NOOP("Toolbox", "Etc Algorithm"), {Plain(QT_TRANSLATE_NOOP("Toolbox", "Constrast")), Ops()}),
    };
    return layout;
}

// Inert actions that are on no menu, and actions kept without any behaviour (their
// captions are their names).
const Entry kOffMenu[] = {Inert("Prewitt1TM1E", QT_TRANSLATE_NOOP("Toolbox", "Prewitt")), Inert("Hueckel1TM1E", QT_TRANSLATE_NOOP("Toolbox", "Hueckel")),
                          Inert("Smoothing1NR", QT_TRANSLATE_NOOP("Toolbox", "Smoothing"))};
const char* const kUnused[] = {
    "Size1FP", "FeatureParameter1FD", "Ratio1FP", "RoundLength1FP", "Center1FP", "FrequencyProcessing1IR",
    "DiscreteFourierTransform1FP", "FastFourierTransform1FP", "InverseFourierTransform1FP",
    "TwoDimensionalFourierTransform1FP", "CreatingArtificialBlur1FP", "Filtering1IR", "InverseFilter1F",
    "WienerFilter1F", "StructuredNoise1F", "MontionBlur_SpecialCase1F", "HomomorphieFilter1F", "Cooccurency1T",
    "MaximumProbability1CO", "Moments1CO", "Contrast1CO", "Homogeneity1CO", "Entropy1CO", "Mean1CO",
    "SizeTransform1GT", "LocationTranform1GT", "RotationTransform1GT", "ProjectionTranform1GT",
    "RunLengthEdcoding1IC", "DPCM1IC", "VariableEncoding1IC", "Constrast1E"};

// The status panel of an operation's report: its result's. The Hough transform's report only
// names what was done, as the texts of work in progress do, and goes to their panel.
int PanelOf(const toolbox::Operation& operation) {
    return std::string_view(operation.action) == "HoughTransform1E" ? 0 : 1;
}

// An entered whole number, in the user's digits or plain ASCII ones.
std::optional<int> EnteredInt(const std::string& text) {
    int value = 0;
    if (ParseLocalInt(Q(text), value) || TryParseInt(text, value)) return value;
    return std::nullopt;
}

// A stretch [from, to] of a job's progress, which an operation's own 0..1 fills.
class ProgressPart : public ProgressSink {
public:
    ProgressPart(ProgressSink& whole, double from, double to) : whole_(whole), from_(from), to_(to) {}
    bool Advance(double fraction) override { return whole_.Advance(from_ + (to_ - from_) * fraction); }

private:
    ProgressSink& whole_;
    double from_;
    double to_;
};

}  // namespace

void TMDIChild::CreatePopupMenu() {
    popup_ = new QMenu;
    popup_->setObjectName(QStringLiteral("PopupMnu"));
    popup_->setToolTipsVisible(true);
    const auto makeAction = [this](const char* name, const char* caption) {
        // A caption two operations share is translated for its action first.
        QString text = QCoreApplication::translate("Toolbox", caption, name);
        if (text == QString::fromUtf8(caption)) text = Tr("Toolbox", caption);
        auto* action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        toolboxActions_ << action;
        return action;
    };
    const std::vector<toolbox::Operation>& operations = toolbox::Operations();
    std::size_t next = 0;  // the next catalogue operation to place
    std::function<void(QMenu*, const std::string&, const std::vector<Entry>&)> build =
        [&](QMenu* menu, const std::string& path, const std::vector<Entry>& entries) {
            for (const Entry& entry : entries) {
                switch (entry.kind) {
                case Entry::Operations:
                    for (; next < operations.size() && path == operations[next].menu; ++next) {
                        const toolbox::Operation& operation = operations[next];
                        QAction* action = makeAction(operation.action, operation.caption);
                        connect(action, &QAction::triggered, this, [this, &operation] {
                            host_.Run([this, &operation] { ToolboxCommand(operation); });
                        });
                        menu->addAction(action);
                    }
                    break;
                case Entry::Submenu: {
                    QMenu* submenu = menu->addMenu(Tr("Toolbox", entry.caption));
                    submenu->setToolTipsVisible(true);
                    build(submenu, path.empty() ? entry.caption : path + "/" + entry.caption, entry.entries);
                    break;
                }
                case Entry::Plain: MarkUnavailable(menu->addAction(Tr("Toolbox", entry.caption))); break;
                case Entry::Inert: {
                    QAction* action = makeAction(entry.action, entry.caption);
                    MarkUnavailable(action);
                    menu->addAction(action);
                    break;
                }
                case Entry::Histogram: {
                    QAction* action = makeAction(entry.action, entry.caption);
                    // The histogram window reads the document's image while it is open.
                    connect(action, &QAction::triggered, this, [this] {
                        host_.Run([this] {
                            if (TfrmHistogram* histogram = host_.HistogramWindow())
                                histogram->ShowModalFor(document_.Image());
                        });
                    });
                    menu->addAction(action);
                    break;
                }
                case Entry::Separator: menu->addSeparator(); break;
                }
            }
        };
    build(popup_, "", Layout());
    // Every operation of the catalogue has its place in the layout; one that had none would
    // silently be missing from the menu.
    Q_ASSERT(next == operations.size());
    for (const Entry& entry : kOffMenu) MarkUnavailable(makeAction(entry.action, entry.caption));
    for (const char* name : kUnused) MarkUnavailable(makeAction(name, name));
    Action(QStringLiteral("FeatureParameter1FD"))->setText(QStringLiteral("FeatureParameter"));
}

void TMDIChild::ToolboxCommand(const toolbox::Operation& operation) {
    if (Busy()) return;
    std::vector<int> values = toolbox::InitialValues(operation);
    switch (operation.asks) {
    case toolbox::Asks::Nothing: break;
    case toolbox::Asks::InputBoxes:
        // One box per argument, each starting from the argument's initial value; a cancelled
        // box ends the command with nothing changed.
        for (std::size_t i = 0; i < operation.arguments.size(); ++i) {
            const toolbox::Argument& argument = operation.arguments[i];
            const std::optional<std::string> entered = host_.Prompts().input(
                S(Tr("Toolbox", argument.caption)), S(Tr("Toolbox", argument.prompt)), std::to_string(argument.initial));
            if (!entered) return;
            const std::optional<int> value = toolbox::Accept(argument, EnteredInt(*entered));
            if (!value) {
                host_.Prompts().confirm(S(Tr("Toolbox", argument.refusal)));
                return;
            }
            values[i] = *value;
        }
        break;
    case toolbox::Asks::HoughDialog:
        // The dialog starts from the parameters last accepted, in this run or an earlier one;
        // the first time from the initial values.
        if (TfrmParamHough* dialog = host_.HoughDialog()) {
            if (const std::optional<std::vector<int>> remembered = RememberedHough()) values = *remembered;
            HoughParameters start;
            start.thetaCount = values[0];
            start.rhoCount = values[1];
            start.minLineLength = values[2];
            start.gradientThreshold = values[3];
            start.houghThreshold = values[4];
            start.lineBased = values[5] != 0;
            const std::optional<HoughParameters> chosen = dialog->Ask(start);
            if (!chosen) return;
            values = {chosen->thetaCount, chosen->rhoCount, chosen->minLineLength, chosen->gradientThreshold,
                      chosen->houghThreshold, chosen->lineBased ? 1 : 0};
            RememberHough(values);
        }
        break;
    }
    // The work grows with the pixels, and for the Hough transform's point-based voting with
    // the angle cells each pixel votes in.
    double work = static_cast<double>(document_.Image().GetPixelCount());
    if (operation.asks == toolbox::Asks::HoughDialog && values[5] == 0) work *= values[0] / 2.0;
    if (host_.RunsInBackground(work)) {
        // Everything that passes over the pixels happens on the worker: the operation, the
        // picture of its result and the packing of the image before for the history.
        const toolbox::Operation* op = &operation;
        const std::shared_ptr<const TRixIPA> image = document_.SharedImage();
        const int panel = PanelOf(operation);
        StartJob(Tr("Toolbox", operation.caption), [this, op, values, image, panel](ProgressSink& progress) -> Apply {
            // The bar shows how far the whole job has got, from its start: the copy of the
            // image before the operation, the operation's own progress, and the passes that
            // make its picture and pack the image before (seconds each on the largest pictures).
            quillfen::Advance(&progress, 0.01);
            ProgressPart operationPart(progress, 0.01, 0.8);
            auto outcome = std::make_shared<ToolboxOutcome>(Document::ComputeToolbox(*image, *op, values, &operationPart));
            quillfen::Advance(&progress, 0.8);
            outcome->picture = std::make_shared<const Bitmap>(outcome->image.CreateBitmap());
            quillfen::Advance(&progress, 0.9);
            outcome->before = PackedPlane::Of(image->Plane());
            quillfen::Advance(&progress, 1.0);
            return [this, op, outcome, panel] {
                const bool embedded = EmbeddingRan();
                const std::optional<ResultLine> line = document_.ApplyToolbox(*op, std::move(*outcome), panel);
                Redraw();
                if (line) ShowLine(*line);
                if (embedded) SayEmbeddingEnded();
            };
        });
        return;
    }
    const bool embedded = EmbeddingRan();
    const std::optional<ResultLine> line = document_.RunToolbox(operation, values, PanelOf(operation));
    Redraw();
    if (line) ShowLine(*line);
    if (embedded) SayEmbeddingEnded();
}

void TMDIChild::StartJob(const QString& caption, std::function<Apply(ProgressSink&)> work, bool onCopies) {
    jobOnCopies_ = onCopies;
    auto apply = std::make_shared<Apply>();
    job_ = new BackgroundJob([apply, work = std::move(work)](ProgressSink& progress) { *apply = work(progress); },
                             this);
    jobApply_ = apply;
    jobCaption_ = caption;
    // A job cancelled and finished by CancelWork may still have its Done on the way.
    connect(job_, &BackgroundJob::Done, this, [this, job = job_] {
        if (job_ == job) FinishJob();
    });
    SetCommandsEnabled(false);
    Say(0, tr("%1... (Esc cancels)").arg(caption));
    emit BusyChanged();
}

void TMDIChild::FinishJob() {
    BackgroundJob* job = job_;
    job_ = nullptr;
    // A job still running (cancelled without waiting) goes once it has ended; one that has
    // ended is still sending Done.
    if (job->Running()) {
        connect(job, &BackgroundJob::Done, job, &QObject::deleteLater);
    } else {
        job->deleteLater();
    }
    const std::shared_ptr<Apply> apply = std::move(jobApply_);
    SetCommandsEnabled(true);
    if (job->CancelRequested()) {
        Say(0, tr("%1 cancelled.").arg(jobCaption_));
    } else if (job->Failure()) {
        Say(0, QString());
        const std::exception_ptr failure = job->Failure();
        host_.Run([failure] { std::rethrow_exception(failure); });
    } else if (apply && *apply) {
        Say(0, QString());
        host_.Run(*apply);
    }
    emit BusyChanged();
}

void TMDIChild::CancelWork(bool wait) {
    if (job_ == nullptr) return;
    job_->Cancel();
    // Work that does not look at its progress (the key's calibration) runs to its end: the
    // window need not wait for it, as nothing it makes is used.
    if (wait || !jobOnCopies_) job_->Wait();
    // The work's end is handled now, not when its Done arrives.
    FinishJob();
}

void TMDIChild::SetCommandsEnabled(bool enabled) {
    popup_->setEnabled(enabled);
    for (qsizetype i = 3; i <= 5 && i < menus_.size(); ++i) menus_[i]->menuAction()->setEnabled(enabled);
}

}  // namespace quillfen::ui
