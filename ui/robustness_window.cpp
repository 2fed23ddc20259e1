#include "ui/robustness_window.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <string_view>
#include <thread>
#include <tuple>

#include <QApplication>
#include <QAreaSeries>
#include <QClipboard>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QPen>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScatterSeries>
#include <QXYSeries>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QLogValueAxis>
#include <QValueAxis>
#include <QVBoxLayout>

#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/attacks/attack_list.h"
#include "quillfen/attacks/default_grid.h"
#include "quillfen/benchmark/calibration.h"
#include "quillfen/benchmark/robustness_report.h"
#include "quillfen/benchmark/robustness_rows.h"
#include "quillfen/benchmark/security.h"
#include "quillfen/benchmark/sweep_inputs.h"
#include "quillfen/methods/method.h"
#include "quillfen/image/errors.h"
#include "quillfen/image/number_format.h"
#include "quillfen/io/file_write.h"
#include "quillfen/io/picture_files.h"
#include "ui/background_job.h"
#include "ui/mdi_child.h"
#include "ui/ui_text.h"
#include "ui/user_prompts.h"
#include "ui/window_host.h"

namespace quillfen::ui {

namespace {

namespace fs = std::filesystem;

// QChartView gives the chart it showed back to its caller: it goes here.
void ReplaceChart(QChartView* view, QChart* chart) {
    QChart* old = view->chart();
    view->setChart(chart);
    delete old;
}

const QString kCsvFilter = QStringLiteral("CSV|*.csv");
const QString kJsonlFilter = QStringLiteral("JSON Lines|*.jsonl");
const QString kHtmlFilter = QStringLiteral("HTML|*.html;*.htm");
const QString kPictureFilter =
    QStringLiteral("All pictures|*.bmp;*.png;*.jpg;*.jpeg;*.pgm|Bitmap|*.bmp|PNG|*.png|JPEG|*.jpg;*.jpeg|PGM|*.pgm");
const QString kCalibrationFilter = QStringLiteral("Calibration|*.json|All files|*.*");
const char* const kDefaultSeeds = "1..5";

// The inputs of the last run, offered again at the next start. (Earlier versions kept one
// folder; it is offered as the list's one entry.)
const QString kHostsKey = QStringLiteral("robustness/hosts");
const QString kFolderKey = QStringLiteral("robustness/folder");
const QString kMarkKey = QStringLiteral("robustness/mark");
const QString kSeedsKey = QStringLiteral("robustness/seeds");
const QString kCalibrationKey = QStringLiteral("robustness/calibration");
const QString kSourceKey = QStringLiteral("robustness/hostSource");  // "document" or "files"
const QString kMethodsKey = QStringLiteral("robustness/methods");
const QString kTargetPsnrKey = QStringLiteral("robustness/targetPsnr");
const QString kCellsKey = QStringLiteral("robustness/cells");  // the grid's cells checked
const QString kMoreAttacksKey = QStringLiteral("robustness/moreAttacks");
const QString kRegisterKey = QStringLiteral("robustness/register");
const QString kJobsKey = QStringLiteral("robustness/jobs");

// Whether every pixel is gray (its three bytes equal): such a picture is written as an 8-bit
// gray file, which holds it whole.
bool AllGray(const Bitmap& picture) {
    for (int y = 0; y < picture.height(); ++y) {
        const std::uint8_t* row = picture.row(y);
        for (int x = 0; x < picture.width(); ++x)
            if (row[3 * x] != row[3 * x + 1] || row[3 * x] != row[3 * x + 2]) return false;
    }
    return true;
}

// The table's columns: the fields of the rows' schema that the table shows, those of a
// registering run included.
std::vector<RowField> TableFields(bool registering, bool methods = false, bool coded = false) {
    std::vector<RowField> fields;
    for (const RowField& f : RowFields(registering, methods, coded)) {
        if (f.InTable) fields.push_back(f);
        // A run that compares methods names each row's method after its attack.
        if (methods && f.Id == RowFieldId::Attack)
            for (const RowField& m : RowFields(false))
                if (m.Id == RowFieldId::Method) fields.push_back(m);
    }
    return fields;
}

QStringList Columns(bool registering, bool methods = false) {
    QStringList names;
    for (const RowField& f : TableFields(registering, methods)) names << QString::fromLatin1(f.Name);
    return names;
}

// A field's value as the table shows it: measures rounded to the field's places (the files
// keep every digit).
QString CellText(const RowValue& value, int decimals) {
    switch (value.Type) {
    case RowValue::Kind::Null: return QString();
    case RowValue::Kind::Text: return Q(value.Text);
    case RowValue::Kind::Whole: return QString::number(value.Whole);
    case RowValue::Kind::Flag: return value.Flag ? QStringLiteral("true") : QStringLiteral("false");
    case RowValue::Kind::Real:
        if (std::isinf(value.Real)) return value.Real > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
        return Q(FormatFixed(value.Real, std::max(decimals, 0)));
    }
    return QString();
}

// A family as the charts name it: the name the exported report gives it ("real-jpeg",
// "rotate"), so that a chart and the report's figure of one family are captioned alike.
QString FamilyCaption(const ReportFamily& family) { return Q(family.Name); }

// The family as the chooser lists it: under its group ("geometric: rotate"), the families
// coming group by group.
QString FamilyChoice(const ReportFamily& family) {
    if (family.Group == AttackGroup::None) return FamilyCaption(family);
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(AttackGroupName(family.Group)), FamilyCaption(family));
}

// A rate's Wilson 95 % interval as an error bar at x: one polyline (the lower cap, the bar,
// the upper cap) in the rate's colour, left out of the legend once the chart shows it.
QLineSeries* RateBar(QChart* chart, double x, std::size_t hits, std::size_t trials, const QColor& colour) {
    if (trials == 0) return nullptr;
    const RateInterval r = WilsonInterval(hits, trials);
    auto* bar = new QLineSeries(chart);
    constexpr double kCap = 0.025;
    bar->append(x - kCap, r.Low);
    bar->append(x + kCap, r.Low);
    bar->append(x, r.Low);
    bar->append(x, r.High);
    bar->append(x - kCap, r.High);
    bar->append(x + kCap, r.High);
    QPen pen(colour);
    pen.setWidthF(1.2);
    bar->setPen(pen);
    bar->setObjectName(QStringLiteral("rateBar"));
    chart->addSeries(bar);
    return bar;
}

// Hides the bars' entries in the legend (after the chart has taken them).
void HideFromLegend(QChart* chart, const std::vector<QLineSeries*>& bars) {
    for (QLineSeries* bar : bars)
        for (QLegendMarker* marker : chart->legend()->markers(bar)) marker->setVisible(false);
}

// How a refused input is named on screen.
QString InputLabel(SweepInput input) {
    switch (input) {
    case SweepInput::Hosts: return TfrmRobustness::tr("Hosts: ");
    case SweepInput::Mark: return TfrmRobustness::tr("Watermark: ");
    case SweepInput::Seeds: return TfrmRobustness::tr("Seeds: ");
    case SweepInput::Attacks: return TfrmRobustness::tr("Attacks: ");
    case SweepInput::Calibration: return TfrmRobustness::tr("Calibration: ");
    case SweepInput::Methods: return TfrmRobustness::tr("Methods: ");
    }
    return QString();
}

}  // namespace

// What the worker thread hands over to the window: rows in order as they come, and the end.
struct TfrmRobustness::Shared {
    std::mutex mutex;
    std::vector<RobustnessRow> pending;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    std::atomic<bool> cancel{false};
    SweepSummary summary;
};

TfrmRobustness::TfrmRobustness(RobustnessHost& host, QWidget* parent) : QWidget(parent, Qt::Window), host_(host) {
    setObjectName(QStringLiteral("frmRobustness"));
    setWindowTitle(tr("Robustness"));
    resize(1100, 680);
    auto* splitter = new QSplitter(this);
    splitter->addWidget(CreateInputs());
    splitter->addWidget(CreateResults());
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({400, 700});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(splitter);
    const QSettings settings;
    if (settings.contains(kHostsKey)) {
        SetHostPaths(settings.value(kHostsKey).toStringList());
    } else if (!settings.value(kFolderKey).toString().isEmpty()) {
        SetHostPaths({settings.value(kFolderKey).toString()});
    }
    edtMark->setText(settings.value(kMarkKey).toString());
    edtSeeds->setText(settings.value(kSeedsKey, QString::fromLatin1(kDefaultSeeds)).toString());
    edtCalibration->setText(settings.value(kCalibrationKey).toString());
    if (settings.value(kSourceKey).toString() == QStringLiteral("files")) rbFiles->setChecked(true);
    edtMethods->setText(settings.value(kMethodsKey).toString());
    edtTargetPsnr->setText(settings.value(kTargetPsnrKey).toString());
    if (settings.contains(kCellsKey)) CheckGridCells(settings.value(kCellsKey).toStringList());
    edtMoreAttacks->setText(settings.value(kMoreAttacksKey).toString());
    chkRegister->setChecked(settings.value(kRegisterKey, false).toBool());
    if (settings.contains(kJobsKey)) spnJobs->setValue(settings.value(kJobsKey).toInt());
    unsavedFolder_ = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                     QStringLiteral("/quillfen/unsaved-hosts");
    timer_ = new QTimer(this);
    timer_->setInterval(100);
    connect(timer_, &QTimer::timeout, this, [this] { TakeRows(); });
    UpdateEnabled();
}

TfrmRobustness::~TfrmRobustness() {
    if (shared_) shared_->cancel = true;
    delete job_;  // waits for the worker
}

QWidget* TfrmRobustness::CreateInputs() {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);

    auto* hosts = new QGroupBox(tr("Hosts"), box);
    auto* hostRows = new QVBoxLayout(hosts);
    rbDocument = new QRadioButton(tr("The active document's picture"), hosts);
    rbDocument->setObjectName(QStringLiteral("rbDocument"));
    rbFiles = new QRadioButton(tr("Pictures and folders:"), hosts);
    rbFiles->setObjectName(QStringLiteral("rbFiles"));
    rbDocument->setChecked(true);
    lstHosts = new QListWidget(hosts);
    lstHosts->setObjectName(QStringLiteral("lstHosts"));
    lstHosts->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstHosts->setMaximumHeight(lstHosts->fontMetrics().height() * 3 + 10);
    lstHosts->setToolTip(tr("Host pictures and folders, as the command line's HOSTS: a folder gives every "
                                        "picture file in it (not in its subfolders)"));
    auto* addPicture = new QPushButton(tr("Add Picture..."), hosts);
    auto* addFolder = new QPushButton(tr("Add Folder..."), hosts);
    auto* remove = new QPushButton(tr("Remove"), hosts);
    connect(addPicture, &QPushButton::clicked, this, [this] { host_.Run([this] { AddPicture(); }); });
    connect(addFolder, &QPushButton::clicked, this, [this] { host_.Run([this] { AddFolder(); }); });
    connect(remove, &QPushButton::clicked, this, [this] {
        for (QListWidgetItem* item : lstHosts->selectedItems()) delete item;
    });
    auto* filesRow = new QHBoxLayout;
    filesRow->addWidget(rbFiles);
    filesRow->addStretch(1);
    filesRow->addWidget(addPicture);
    filesRow->addWidget(addFolder);
    filesRow->addWidget(remove);
    hostRows->addWidget(rbDocument);
    hostRows->addLayout(filesRow);
    hostRows->addWidget(lstHosts);
    column->addWidget(hosts);

    auto* inputs = new QGroupBox(tr("Watermark and seeds"), box);
    auto* form = new QFormLayout(inputs);
    const auto fileRow = [this, inputs](QLineEdit*& edit, const char* name, const QString& filter) {
        edit = new QLineEdit(inputs);
        edit->setObjectName(QString::fromLatin1(name));
        auto* browse = new QPushButton(tr("Browse..."), inputs);
        QLineEdit* target = edit;
        connect(browse, &QPushButton::clicked, this,
                [this, target, filter] { host_.Run([this, target, filter] { ChooseFile(target, filter); }); });
        auto* row = new QHBoxLayout;
        row->addWidget(edit, 1);
        row->addWidget(browse);
        return row;
    };
    form->addRow(tr("Watermark:"), fileRow(edtMark, "edtMark", kPictureFilter));
    edtSeeds = new QLineEdit(QString::fromLatin1(kDefaultSeeds), inputs);
    edtSeeds->setObjectName(QStringLiteral("edtSeeds"));
    edtSeeds->setToolTip(tr("Seeds and ranges of seeds, as 1..20 or 1..5,7"));
    form->addRow(tr("Seeds:"), edtSeeds);
    form->addRow(tr("Calibration:"), fileRow(edtCalibration, "edtCalibration", kCalibrationFilter));
    edtCalibration->setPlaceholderText(tr("the watermark's <name>.calibration.json, if any"));
    spnJobs = new QSpinBox(inputs);
    spnJobs->setObjectName(QStringLiteral("spnJobs"));
    spnJobs->setRange(1, 1024);
    spnJobs->setValue(static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
    form->addRow(tr("Threads:"), spnJobs);
    chkRegister = new QCheckBox(tr("Read geometric cells again after registration"), inputs);
    chkRegister->setObjectName(QStringLiteral("chkRegister"));
    chkRegister->setToolTip(tr("Rotated, scaled, shifted and cropped pictures are registered to X_hat and read "
                                           "a second time, in the *_registered columns"));
    form->addRow(QString(), chkRegister);
    edtMethods = new QLineEdit(inputs);
    edtMethods->setObjectName(QStringLiteral("edtMethods"));
    edtMethods->setPlaceholderText(tr("polarity (blank-separated, as polarity qim spread-spectrum:bits=32)"));
    // The catalogue: every method with its parameters, their accepted values and defaults.
    QString methods = tr("Methods, each as NAME or NAME:param=value,...:");
    for (const auto& entry : MethodRegistry::BuiltIn().Entries()) {
        const MethodInfo& info = *entry;
        methods += QStringLiteral("\n%1").arg(Q(info.Name));
        for (const Parameter& p : info.Parameters)
            methods += QStringLiteral(" %1=%2 (%3)")
                           .arg(QString::fromUtf8(p.Name), Q(AcceptedValues(p)), Q(FormatMeasure(*p.Default)));
        methods += QStringLiteral(" - %1").arg(Q(info.Summary));
    }
    edtMethods->setToolTip(methods);
    form->addRow(tr("Methods:"), edtMethods);
    edtTargetPsnr = new QLineEdit(inputs);
    edtTargetPsnr->setObjectName(QStringLiteral("edtTargetPsnr"));
    edtTargetPsnr->setPlaceholderText(tr("each method's own strength"));
    edtTargetPsnr->setToolTip(tr("The embedding PSNR in dB (10..100) at which each method with a strength "
                                 "parameter marks each host (within 0.1 dB)"));
    form->addRow(tr("Target PSNR (dB):"), edtTargetPsnr);
    column->addWidget(inputs);

    auto* attacks = new QGroupBox(tr("Attacks"), box);
    auto* attackRows = new QVBoxLayout(attacks);
    treAttacks = new QTreeWidget(attacks);
    treAttacks->setObjectName(QStringLiteral("treAttacks"));
    treAttacks->setHeaderLabels({tr("Cell"), tr("Source")});
    FillGrid();
    attackRows->addWidget(treAttacks, 1);
    auto* allNone = new QHBoxLayout;
    auto* all = new QPushButton(tr("Default grid"), attacks);
    auto* none = new QPushButton(tr("None"), attacks);
    connect(all, &QPushButton::clicked, this, [this] { CheckWholeGrid(true); });
    connect(none, &QPushButton::clicked, this, [this] { CheckWholeGrid(false); });
    allNone->addWidget(all);
    allNone->addWidget(none);
    allNone->addStretch(1);
    attackRows->addLayout(allNone);
    edtMoreAttacks = new QLineEdit(attacks);
    edtMoreAttacks->setObjectName(QStringLiteral("edtMoreAttacks"));
    edtMoreAttacks->setPlaceholderText(tr("more cells, as real-jpeg:q=10..90:10,median:k=3,5"));
    // The catalogue: every attack with its parameters and their accepted values.
    QString catalogue = tr("Attacks of the catalogue:");
    for (const AttackInfo& info : AttackCatalogue()) {
        catalogue += QStringLiteral("\n%1").arg(QString::fromUtf8(info.Name));
        for (const AttackParameter& p : info.Parameters)
            catalogue += QStringLiteral(" %1=%2").arg(QString::fromUtf8(p.Name), Q(AcceptedValues(p)));
        catalogue += QStringLiteral(" - %1").arg(QString::fromUtf8(info.Summary));
    }
    edtMoreAttacks->setToolTip(catalogue);
    attackRows->addWidget(new QLabel(tr("More cells (any attack list):"), attacks));
    attackRows->addWidget(edtMoreAttacks);
    column->addWidget(attacks, 1);

    auto* run = new QHBoxLayout;
    btnRun = new QPushButton(tr("&Run"), box);
    btnRun->setObjectName(QStringLiteral("btnRun"));
    btnCancel = new QPushButton(tr("Cancel"), box);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnRun, &QPushButton::clicked, this, [this] { host_.Run([this] { Start(); }); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { Cancel(); });
    prgRun = new QProgressBar(box);
    prgRun->setObjectName(QStringLiteral("prgRun"));
    prgRun->setRange(0, 1000);
    prgRun->setValue(0);
    run->addWidget(btnRun);
    run->addWidget(btnCancel);
    run->addWidget(prgRun, 1);
    column->addLayout(run);
    lblState = new QLabel(tr("Choose the hosts, the watermark, the seeds and the attacks, then Run."), box);
    lblState->setObjectName(QStringLiteral("lblState"));
    lblState->setWordWrap(true);
    lblState->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long word (a file name) wraps inside the label's width instead of setting it.
    lblState->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    column->addWidget(lblState);
    auto* command = new QHBoxLayout;
    command->addWidget(new QLabel(tr("From the shell:"), box));
    edtCommand = new QLineEdit(box);
    edtCommand->setObjectName(QStringLiteral("edtCommand"));
    edtCommand->setReadOnly(true);
    edtCommand->setPlaceholderText(tr("the command line of the run, once it has started"));
    command->addWidget(edtCommand, 1);
    btnCopyCommand = new QPushButton(tr("Cop&y"), box);
    btnCopyCommand->setObjectName(QStringLiteral("btnCopyCommand"));
    btnCopyCommand->setToolTip(tr("Copy the command line, to paste it into a shell"));
    btnCopyCommand->setEnabled(false);
    connect(btnCopyCommand, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(edtCommand->text()); });
    command->addWidget(btnCopyCommand);
    column->addLayout(command);
    lblHostFile = new QLabel(box);
    lblHostFile->setObjectName(QStringLiteral("lblHostFile"));
    lblHostFile->setWordWrap(true);
    lblHostFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblHostFile->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblHostFile->hide();
    column->addWidget(lblHostFile);
    return box;
}

QWidget* TfrmRobustness::CreateResults() {
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabResults"));

    auto* table = new QWidget(tabs);
    auto* tableColumn = new QVBoxLayout(table);
    tblRows = new QTableWidget(0, static_cast<int>(Columns(false).size()), table);
    tblRows->setObjectName(QStringLiteral("tblRows"));
    tblRows->setHorizontalHeaderLabels(Columns(false));
    tblRows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblRows->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblRows->verticalHeader()->setDefaultSectionSize(tblRows->fontMetrics().height() + 4);
    tblRows->setToolTip(tr("Double-click a row to open its attacked picture and extracted mark"));
    connect(tblRows, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { host_.Run([this, row] { OpenRow(row); }); });
    tableColumn->addWidget(tblRows, 1);
    auto* exports = new QHBoxLayout;
    btnExportCsv = new QPushButton(tr("Export &CSV..."), table);
    btnExportJsonl = new QPushButton(tr("Export &JSON Lines..."), table);
    btnExportHtml = new QPushButton(tr("Export &HTML Report..."), table);
    const std::pair<QPushButton*, Export> buttons[] = {
        {btnExportCsv, Export::Csv}, {btnExportJsonl, Export::Jsonl}, {btnExportHtml, Export::Html}};
    for (const auto& [button, kind] : buttons) {
        const Export k = kind;
        connect(button, &QPushButton::clicked, this, [this, k] { host_.Run([this, k] { ExportCommand(k); }); });
        exports->addWidget(button);
    }
    exports->addStretch(1);
    tableColumn->addLayout(exports);
    tabs->addTab(table, tr("Table"));

    // The family the Charts and ROC tabs show, chosen in the tab bar's corner (hidden with the
    // table, which shows every family).
    auto* family = new QWidget(tabs);
    auto* familyRow = new QHBoxLayout(family);
    familyRow->setContentsMargins(4, 0, 4, 0);
    familyRow->addWidget(new QLabel(tr("Attack family:"), family));
    cmbFamily = new QComboBox(family);
    cmbFamily->setObjectName(QStringLiteral("cmbFamily"));
    cmbFamily->setMinimumContentsLength(16);
    familyRow->addWidget(cmbFamily, 1);
    tabs->setCornerWidget(family, Qt::TopRightCorner);
    family->setVisible(false);
    connect(tabs, &QTabWidget::currentChanged, family, [family](int index) { family->setVisible(index > 0); });
    connect(cmbFamily, &QComboBox::currentIndexChanged, this, [this](int index) { ShowFamily(index); });

    chartView = new QChartView(tabs);
    chartView->setObjectName(QStringLiteral("chartView"));
    chartView->setRenderHint(QPainter::Antialiasing);
    tabs->addTab(chartView, tr("Charts"));

    auto* roc = new QWidget(tabs);
    auto* rocColumn = new QVBoxLayout(roc);
    rocView = new QChartView(roc);
    rocView->setObjectName(QStringLiteral("rocView"));
    rocView->setRenderHint(QPainter::Antialiasing);
    rocColumn->addWidget(rocView, 1);
    lblRoc = new QLabel(roc);
    lblRoc->setObjectName(QStringLiteral("lblRoc"));
    lblRoc->setWordWrap(true);
    rocColumn->addWidget(lblRoc);
    tabs->addTab(roc, QStringLiteral("ROC"));
    return tabs;
}

void TfrmRobustness::FillGrid() {
    treAttacks->clear();
    for (const AttackFamily& family : DefaultAttackFamilies()) {
        auto* parent = new QTreeWidgetItem(treAttacks, {QString::fromUtf8(family.Family), QString::fromUtf8(family.Source)});
        parent->setFlags(parent->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
        for (const AttackCell& cell : ParseAttackCells(family.List)) {
            auto* item = new QTreeWidgetItem(parent, {Q(cell.Name)});
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Checked);
        }
    }
    treAttacks->setColumnWidth(0, 180);
}

void TfrmRobustness::CheckWholeGrid(bool on) {
    for (int i = 0; i < treAttacks->topLevelItemCount(); ++i)
        treAttacks->topLevelItem(i)->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
}

void TfrmRobustness::CheckGridCells(const QStringList& names) {
    for (int i = 0; i < treAttacks->topLevelItemCount(); ++i) {
        QTreeWidgetItem* family = treAttacks->topLevelItem(i);
        bool some = false;
        for (int j = 0; j < family->childCount(); ++j) {
            const bool on = names.contains(family->child(j)->text(0));
            family->child(j)->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
            some = some || on;
        }
        // A family chosen in part is opened, so that the choice shows.
        family->setExpanded(some && family->checkState(0) != Qt::Checked);
    }
}

std::vector<AttackCell> TfrmRobustness::ChosenCells() const {
    std::vector<AttackCell> cells;
    std::set<std::string> checked;
    for (int i = 0; i < treAttacks->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* family = treAttacks->topLevelItem(i);
        for (int j = 0; j < family->childCount(); ++j)
            if (family->child(j)->checkState(0) == Qt::Checked) checked.insert(S(family->child(j)->text(0)));
    }
    for (const AttackCell& cell : DefaultAttackGrid())
        if (checked.count(cell.Name) > 0) cells.push_back(cell);
    const std::string more = S(edtMoreAttacks->text().trimmed());
    if (!more.empty()) {
        std::vector<AttackCell> extra;
        try {
            extra = ParseSweepAttacks({more});
        } catch (const SweepInputError& e) {
            throw ArgumentError(S(tr("More cells: %1").arg(QString::fromUtf8(e.what()))));
        }
        cells.insert(cells.end(), extra.begin(), extra.end());
    }
    return cells;
}

QStringList TfrmRobustness::HostPaths() const {
    QStringList paths;
    for (int i = 0; i < lstHosts->count(); ++i) paths << lstHosts->item(i)->text();
    return paths;
}

void TfrmRobustness::SetHostPaths(const QStringList& paths) {
    lstHosts->clear();
    for (const QString& path : paths)
        if (!path.trimmed().isEmpty()) lstHosts->addItem(path);
}

void TfrmRobustness::AddFolder() {
    FileDialogRequest request{QStringLiteral("RobustnessFolderDlg"), FileDialogKind::Folder, QString(), 1, QString(), QString()};
    if (const auto chosen = host_.ExecuteDialog(request, this)) {
        lstHosts->addItem(chosen->fileName);
        rbFiles->setChecked(true);
    }
}

void TfrmRobustness::AddPicture() {
    FileDialogRequest request{QStringLiteral("RobustnessHostDlg"), FileDialogKind::Open, kPictureFilter, 1, QString(), QString()};
    if (const auto chosen = host_.ExecuteDialog(request, this)) {
        lstHosts->addItem(chosen->fileName);
        rbFiles->setChecked(true);
    }
}

void TfrmRobustness::ChooseFile(QLineEdit* edit, const QString& filter) {
    FileDialogRequest request{QStringLiteral("RobustnessOpenDlg"), FileDialogKind::Open, filter, 1, QString(), QString()};
    if (const auto chosen = host_.ExecuteDialog(request, this)) edit->setText(chosen->fileName);
}

// ---- The run ----------------------------------------------------------------------------------

SweepPlan TfrmRobustness::BuildPlan(std::vector<std::string>& words, std::string& markName,
                                    std::vector<std::pair<std::string, std::string>>& inputFiles) {
    // The inputs go through the command line's own reader of them, so that the window takes
    // what the command takes and refuses what it refuses.
    SweepInputs inputs;
    words = {"quillfen-cli", "robustness"};
    if (rbDocument->isChecked()) {
        TMDIChild* doc = host_.ActiveDocument();
        if (doc == nullptr || doc->Model().Picture().empty())
            throw ArgumentError(S(tr("There is no active document: open a host picture, or list pictures and folders of them")));
        // The document's picture, the host of its own experiments (never a step's view), read
        // from a file the command line names, so that the command gives the rows shown.
        const QString file = DocumentHostFile(*doc);
        inputs.Hosts.push_back(FilePath(file));
        words.push_back(S(file));
    } else {
        const QStringList hosts = HostPaths();
        if (hosts.isEmpty()) throw ArgumentError(S(tr("Add the host pictures, or folders of them")));
        for (const QString& host : hosts) {
            inputs.Hosts.push_back(FilePath(host));
            words.push_back(S(host));
        }
    }

    const QString mark = edtMark->text().trimmed();
    if (mark.isEmpty()) throw ArgumentError(S(tr("Choose the watermark picture")));
    inputs.Mark = FilePath(mark);
    words.insert(words.end(), {"--mark", S(mark)});

    inputs.Seeds = S(edtSeeds->text().trimmed());
    words.insert(words.end(), {"--seeds", inputs.Seeds});

    const std::vector<AttackCell> cells = ChosenCells();
    if (cells != DefaultAttackGrid()) {
        std::string list;
        for (const AttackCell& cell : cells) list += (list.empty() ? "" : ",") + cell.Name;
        if (list.empty()) throw ArgumentError(S(tr("no attack chosen: check cells of the grid, or list more cells")));
        inputs.Attacks = {list};
        words.insert(words.end(), {"--attacks", list});
    }

    // The calibration named, or the one beside the watermark, as the command line finds it.
    const QString calibration = edtCalibration->text().trimmed();
    if (!calibration.isEmpty()) {
        inputs.Calibration = FilePath(calibration);
        words.insert(words.end(), {"--calibration", S(calibration)});
    }
    // No more threads than the machine runs at once (more are not faster).
    inputs.Jobs = std::min(spnJobs->value(), AvailableThreads());
    words.insert(words.end(), {"--jobs", std::to_string(spnJobs->value())});
    inputs.Register = chkRegister->isChecked();
    if (inputs.Register) words.push_back("--register");
    for (const QString& method : edtMethods->text().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        inputs.Methods.push_back(S(method));
        words.insert(words.end(), {"--method", S(method)});
    }
    const QString target = edtTargetPsnr->text().trimmed();
    if (!target.isEmpty()) {
        bool number = false;
        const double decibels = target.toDouble(&number);
        if (!number || !(decibels >= 10 && decibels <= 100))
            throw ArgumentError(S(tr("Target PSNR: '%1' is not a PSNR in decibels (10..100, as 38 or 40.5)").arg(target)));
        inputs.TargetPsnr = decibels;
        words.insert(words.end(), {"--target-psnr", S(target)});
    }
    try {
        PreparedSweep prepared = PrepareSweep(inputs);
        markName = prepared.MarkName;
        inputFiles.clear();
        for (const HostFile& host : prepared.Hosts) inputFiles.push_back({QT_TR_NOOP("the host picture"), host.Path.string()});
        inputFiles.push_back({QT_TR_NOOP("the watermark"), inputs.Mark.string()});
        if (!prepared.Calibration.Path.empty())
            inputFiles.push_back({QT_TR_NOOP("the calibration"), prepared.Calibration.Path.string()});
        return std::move(prepared.Plan);
    } catch (const SweepInputError& e) {
        throw ArgumentError(S(InputLabel(e.Input)) + e.what());
    }
}

QString TfrmRobustness::DocumentHostFile(const TMDIChild& doc) {
    hostFileWritten_.clear();
    const QString file = doc.FileName();
    const Bitmap& picture = doc.Model().Picture();
    // The rule of every host, said of the document's name before any file is read or written.
    try {
        CheckHostPicture(S(QFileInfo(file).fileName()), picture);
    } catch (const SweepInputError& e) {
        throw ArgumentError(S(InputLabel(e.Input)) + e.what());
    }
    // An unchanged document is its file.
    if (!doc.Modified() && !doc.Model().NeverSaved() && QFileInfo(file).isFile()) return QFileInfo(file).absoluteFilePath();
    // A changed one is written as it is now: named after the document and its pixels, so that
    // the same picture gives the same file and another picture another, and the command line
    // of an earlier run still names the picture it ran on.
    const QString stem = FileStem(doc.BaseTitle()).isEmpty() ? QStringLiteral("document") : FileStem(doc.BaseTitle());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QStringLiteral("%1x%2;").arg(picture.width()).arg(picture.height()).toLatin1());
    for (int y = 0; y < picture.height(); ++y)
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(picture.row(y)), static_cast<qsizetype>(picture.rowBytes())));
    const QString name = QStringLiteral("%1-unsaved-%2.png").arg(stem, QString::fromLatin1(hash.result().toHex().left(8)));
    if (!QDir().mkpath(unsavedFolder_))
        throw FileError(S(tr("Cannot make the folder %1 for the picture of the changed document").arg(unsavedFolder_)));
    const QString path = QDir(unsavedFolder_).filePath(name);
    WriteQtPicture(FilePath(path), picture, AllGray(picture), PictureFormat::Png);
    hostFileWritten_ = path;
    return path;
}

bool TfrmRobustness::Start() {
    if (Running()) return false;
    std::vector<std::string> words;
    std::string markName;
    std::vector<std::pair<std::string, std::string>> inputFiles;
    SweepPlan plan;
    try {
        plan = BuildPlan(words, markName, inputFiles);
    } catch (const std::exception& e) {
        host_.Prompts().message(e.what());
        return false;
    }
    RememberInputs();
    plan_ = std::move(plan);
    markName_ = std::move(markName);
    commandWords_ = std::move(words);
    inputFiles_ = std::move(inputFiles);
    rows_.clear();
    cancelled_ = false;
    coded_ = false;
    tblRows->setRowCount(0);
    const bool methods = !plan_.Methods.empty();
    tblRows->setColumnCount(static_cast<int>(Columns(plan_.Register, methods).size()));
    tblRows->setHorizontalHeaderLabels(Columns(plan_.Register, methods));
    // The attack column as wide as its longest cell from the first row on.
    const std::vector<RowField> fields = TableFields(plan_.Register, methods);
    for (int c = 0; c < static_cast<int>(fields.size()); ++c) {
        if (std::string_view(fields[static_cast<std::size_t>(c)].Name) != "attack") continue;
        int widest = tblRows->horizontalHeader()->sectionSizeHint(c);
        for (const AttackCell& cell : plan_.Cells)
            widest = std::max(widest, tblRows->fontMetrics().horizontalAdvance(Q(cell.Name)) + 16);
        tblRows->setColumnWidth(c, widest);
    }
    cmbFamily->clear();
    ReplaceChart(chartView, new QChart);
    ReplaceChart(rocView, new QChart);
    lblRoc->clear();
    prgRun->setRange(0, 1000);
    prgRun->setValue(0);

    shared_ = std::make_shared<Shared>();
    shared_->total = plan_.RowCount();
    std::shared_ptr<Shared> shared = shared_;
    const SweepPlan plan2 = plan_;  // the worker's own copy
    job_ = new BackgroundJob(
        [shared, plan2](ProgressSink& sink) {
            SweepCallbacks callbacks;
            callbacks.Row = [shared](std::uint64_t, const RobustnessRow& row) {
                const std::lock_guard<std::mutex> lock(shared->mutex);
                shared->pending.push_back(row);
            };
            callbacks.Progress = [shared, &sink](std::uint64_t done, std::uint64_t total) {
                {
                    const std::lock_guard<std::mutex> lock(shared->mutex);
                    shared->done = done;
                    shared->total = total;
                }
                if (!sink.Advance(total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0))
                    shared->cancel = true;
            };
            callbacks.Cancel = &shared->cancel;
            const SweepSummary summary = RunSweep(plan2, callbacks);
            const std::lock_guard<std::mutex> lock(shared->mutex);
            shared->summary = summary;
        },
        this);
    connect(job_, &BackgroundJob::Done, this, [this] { Finish(); });
    edtCommand->setText(Q(CommandText()));
    edtCommand->setCursorPosition(0);
    btnCopyCommand->setEnabled(true);
    lblHostFile->setText(hostFileWritten_.isEmpty()
                             ? QString()
                             : tr("The active document has changes that are not saved: the run reads its picture as it is "
                                  "now from %1, the file the command line names.")
                                   .arg(hostFileWritten_));
    lblHostFile->setVisible(!hostFileWritten_.isEmpty());
    // Each count with its own word, one or many.
    const auto count = [](std::size_t n, const QString& one, const QString& many) {
        return n == 1 ? one : many.arg(n);
    };
    QStringList factors{count(plan_.Hosts.size(), tr("1 host"), tr("%1 hosts")),
                        count(plan_.Seeds.size(), tr("1 seed"), tr("%1 seeds")),
                        count(plan_.Cells.size(), tr("1 cell"), tr("%1 cells"))};
    if (!plan_.Methods.empty()) factors << count(plan_.Methods.size(), tr("1 method"), tr("%1 methods"));
    lblState->setText(tr("Running %1 (%2)...")
                          .arg(count(static_cast<std::size_t>(plan_.RowCount()), tr("1 row"), tr("%1 rows")),
                               factors.join(QStringLiteral(" × "))));
    timer_->start();
    UpdateEnabled();
    return true;
}

void TfrmRobustness::Cancel() {
    if (!Running()) return;
    shared_->cancel = true;
    job_->Cancel();
    lblState->setText(tr("Cancelling: the rows already started are finished..."));
}

void TfrmRobustness::Wait() {
    if (!Running()) return;
    job_->Wait();
    Finish();
}

void TfrmRobustness::TakeRows() {
    if (!shared_) return;
    std::vector<RobustnessRow> rows;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    {
        const std::lock_guard<std::mutex> lock(shared_->mutex);
        rows.swap(shared_->pending);
        done = shared_->done;
        total = shared_->total;
    }
    tblRows->setUpdatesEnabled(false);
    for (RobustnessRow& row : rows) {
        AppendRowToTable(row);
        rows_.push_back(std::move(row));
    }
    tblRows->setUpdatesEnabled(true);
    if (total > 0) prgRun->setValue(static_cast<int>(done * 1000 / total));
}

void TfrmRobustness::AppendRowToTable(const RobustnessRow& row) {
    const int r = tblRows->rowCount();
    tblRows->insertRow(r);
    const bool methods = !plan_.Methods.empty();
    // A method that decodes a message (its `ecc`) gives its rows message_ok: the column comes
    // with the first such row, as the exported files have it only in runs that have such rows.
    if (row.MessageOk.has_value() && !coded_) {
        coded_ = true;
        const std::vector<RowField> fields = TableFields(plan_.Register, methods, true);
        for (int c = 0; c < static_cast<int>(fields.size()); ++c)
            if (fields[static_cast<std::size_t>(c)].Id == RowFieldId::MessageOk) {
                tblRows->insertColumn(c);
                tblRows->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromLatin1(fields[c].Name)));
                for (int earlier = 0; earlier < r; ++earlier) tblRows->setItem(earlier, c, new QTableWidgetItem);
            }
    }
    const std::vector<RowField> fields = TableFields(plan_.Register, methods, coded_);
    for (int c = 0; c < static_cast<int>(fields.size()); ++c) {
        const RowValue value = FieldValue(row, fields[c].Id);
        auto* item = new QTableWidgetItem(CellText(value, fields[c].Decimals));
        // Numbers and verdicts to the right, texts (host, attack, error) to the left.
        if (value.Type != RowValue::Kind::Text) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        tblRows->setItem(r, c, item);
    }
}

void TfrmRobustness::Finish() {
    if (job_ == nullptr) return;
    timer_->stop();
    TakeRows();
    BackgroundJob* job = job_;
    job_ = nullptr;
    const std::exception_ptr failure = job->Failure();
    job->deleteLater();
    SweepSummary summary;
    {
        const std::lock_guard<std::mutex> lock(shared_->mutex);
        summary = shared_->summary;
    }
    cancelled_ = shared_->cancel.load() || summary.Cancelled;
    std::uint64_t failed = 0;
    for (const RobustnessRow& row : rows_) failed += row.Failed() ? 1 : 0;
    QString state = cancelled_ ? tr("Cancelled after %1 of %2 rows").arg(rows_.size()).arg(plan_.RowCount())
                               : rows_.size() == 1 ? tr("1 row") : tr("%1 rows").arg(rows_.size());
    state += tr(", %1 failed.").arg(failed);
    if (!plan_.Thresholds) state += tr(" No calibration: no detection rates.");
    lblState->setText(state);
    if (!cancelled_) prgRun->setValue(1000);
    tblRows->resizeColumnsToContents();
    cmbFamily->blockSignals(true);
    cmbFamily->clear();
    for (const ReportFamily& family : ReportFamilies(plan_.Cells)) cmbFamily->addItem(FamilyChoice(family));
    cmbFamily->blockSignals(false);
    ShowFamily(0);
    UpdateEnabled();
    if (failure) host_.Run([failure] { std::rethrow_exception(failure); });
    emit Finished();
}

void TfrmRobustness::RememberInputs() const {
    QSettings settings;
    settings.setValue(kHostsKey, HostPaths());
    settings.setValue(kSourceKey, rbFiles->isChecked() ? QStringLiteral("files") : QStringLiteral("document"));
    settings.setValue(kMarkKey, edtMark->text());
    settings.setValue(kSeedsKey, edtSeeds->text());
    settings.setValue(kCalibrationKey, edtCalibration->text());
    settings.setValue(kMethodsKey, edtMethods->text());
    settings.setValue(kTargetPsnrKey, edtTargetPsnr->text());
    QStringList cells;
    for (int i = 0; i < treAttacks->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* family = treAttacks->topLevelItem(i);
        for (int j = 0; j < family->childCount(); ++j)
            if (family->child(j)->checkState(0) == Qt::Checked) cells << family->child(j)->text(0);
    }
    settings.setValue(kCellsKey, cells);
    settings.setValue(kMoreAttacksKey, edtMoreAttacks->text());
    settings.setValue(kRegisterKey, chkRegister->isChecked());
    settings.setValue(kJobsKey, spnJobs->value());
}

void TfrmRobustness::hideEvent(QHideEvent* event) {
    // What was chosen is offered again at the next opening, in this session or the next,
    // whether it ran or not.
    RememberInputs();
    QWidget::hideEvent(event);
}

void TfrmRobustness::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FitScreen();
}

void TfrmRobustness::FitScreen() {
    const QScreen* screen = this->screen();
    if (screen == nullptr) return;
    // The frame's title bar and borders come on top of the window's own size.
    const QRect available = screen->availableGeometry();
    const QSize border = frameGeometry().size() - size();
    const QSize room = available.size() - border;
    if (width() > room.width() || height() > room.height()) resize(size().boundedTo(room));
    QPoint at = pos();
    at.setX(std::clamp(at.x(), available.left(), std::max(available.left(), available.right() + 1 - frameGeometry().width())));
    at.setY(std::clamp(at.y(), available.top(), std::max(available.top(), available.bottom() + 1 - frameGeometry().height())));
    if (at != pos()) move(at);
}

void TfrmRobustness::UpdateEnabled() {
    const bool running = Running();
    btnRun->setEnabled(!running);
    btnCancel->setEnabled(running);
    for (QPushButton* b : {btnExportCsv, btnExportJsonl, btnExportHtml}) b->setEnabled(!running && !rows_.empty());
}

std::string TfrmRobustness::CommandText() const { return ShellCommandLine(commandWords_); }

// ---- What it shows and writes -------------------------------------------------------------------

std::string TfrmRobustness::ExportText(Export kind) const {
    switch (kind) {
    case Export::Csv: return RowsCsv(rows_, plan_.Register, !plan_.Methods.empty());
    case Export::Jsonl: return RowsJsonl(rows_);
    case Export::Html: break;
    }
    const QString version = QCoreApplication::applicationVersion();
    // Appended piece by piece (GCC 12 warns falsely about "x" + std::string here).
    std::string program = "quillfen";
    if (!version.isEmpty()) {
        program += ' ';
        program += S(version);
    }
    program += " (desktop)";
    RobustnessReport report = ReportOf(plan_, rows_, markName_, CommandText(), program);
    AddReportExamples(report, plan_);
    return RobustnessHtml(report);
}

void TfrmRobustness::ExportCommand(Export kind) {
    if (Running() || rows_.empty()) return;
    static const struct {
        const char* name;
        const QString* filter;
        const char* extension;
    } kinds[] = {{"ExportCsvDlg", &kCsvFilter, ".csv"},
                 {"ExportJsonlDlg", &kJsonlFilter, ".jsonl"},
                 {"ExportHtmlDlg", &kHtmlFilter, ".html"}};
    const auto& k = kinds[static_cast<int>(kind)];
    FileDialogRequest request{QString::fromLatin1(k.name), FileDialogKind::Save, *k.filter, 1, QString(), QString()};
    const auto chosen = host_.ExecuteDialog(request, this);
    if (!chosen) return;
    QString name = chosen->fileName;
    if (QFileInfo(name).suffix().isEmpty()) name += QString::fromLatin1(k.extension);
    // An export never replaces a file the run read (by whatever name it is chosen).
    for (const auto& [what, path] : inputFiles_)
        if (SameFile(FilePath(name), path))
            throw Error(S(tr("'%1' is %2 of the run; it would be overwritten (choose another name)").arg(name, Tr("quillfen::ui::TfrmRobustness", what))));
    const std::string text = ExportText(kind);
    // Whole or not at all: a reader never sees half a file.
    WriteFileAtomically(FilePath(name), std::vector<std::uint8_t>(text.begin(), text.end()));
    lblState->setText(tr("Written: %1").arg(name));
}

TMDIChild* TfrmRobustness::OpenRow(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return nullptr;
    const RowPictures pictures = ComputeRowPictures(plan_, static_cast<std::uint64_t>(row));
    if (pictures.Row.Failed()) throw Error(S(tr("Row %1 failed: %2").arg(row + 1).arg(Q(pictures.Row.Error))));
    const RobustnessRow& r = pictures.Row;
    // A run of several methods names the row's method too: rows of one host, seed and attack
    // differ only by it.
    const QString method = plan_.Methods.empty() ? QString() : Q(r.Identity.Method);
    const QString title = method.isEmpty()
                              ? QStringLiteral("%1 - seed %2 - %3").arg(Q(r.Host)).arg(r.Seed).arg(Q(r.Attack))
                              : QStringLiteral("%1 - %2 - seed %3 - %4").arg(Q(r.Host), method).arg(r.Seed).arg(Q(r.Attack));
    const auto fixed5 = [](double value) { return std::vector<ReportNumber>{{value, 5}}; };
    std::vector<StepReport> reports;
    // A payload method has no NC; its BER is that of its payload.
    if (r.Nc) reports.push_back({1, {"NC =%1", fixed5(*r.Nc)}});
    reports.push_back({2, {"BER = %1", fixed5(r.Ber)}});  // the texts of core_texts.cpp
    reports.push_back({kListOnly, SeedReport(r.Seed)});
    reports.push_back({kListOnly, std::isinf(r.Psnr) ? Report{"PSNR = infinite", {}} : Report{"PSNR = %1", fixed5(r.Psnr)}});
    reports.push_back({kListOnly, {"SSIM = %1", fixed5(r.Ssim)}});
    if (r.Detected1e6) reports.push_back({kListOnly, {*r.Detected1e6 ? "detected at 1e-6" : "not detected at 1e-6", {}}});
    TMDIChild* doc = host_.OpenPicture(pictures.Attacked, title);
    // The watermark picture is what was embedded only for a method that reads one back; a
    // payload method embeds bits of its own and extracts no picture.
    Bitmap mark;
    if (!pictures.Extracted.empty()) {
        mark = plan_.Mark;
        mark.resize(TWatermark::kMarkSize, TWatermark::kMarkSize);
    }
    const std::string source = "Robustness: " + r.Attack + (method.isEmpty() ? std::string() : " (" + S(method) + ")");
    doc->ShowRowPictures(std::move(mark), pictures.Extracted, source, reports);
    return doc;
}

void TfrmRobustness::ShowFamily(int index) {
    const std::vector<ReportFamily> families = ReportFamilies(plan_.Cells);
    auto* chart = new QChart;
    chart->setObjectName(QStringLiteral("chart"));
    if (index < 0 || static_cast<std::size_t>(index) >= families.size() || rows_.empty()) {
        ReplaceChart(chartView, chart);
        ReplaceChart(rocView, new QChart);
        lblRoc->clear();
        return;
    }
    const ReportFamily& family = families[static_cast<std::size_t>(index)];
    RobustnessReport report = ReportOf(plan_, rows_);
    if (!plan_.Methods.empty()) {
        ShowMethods(report, family, chart);
        return;
    }
    const std::vector<CellSummary> summaries = SummariseCells(report);
    ShowRocs({{QString(), RocOfFamily(report, family)}}, FamilyCaption(family));

    // A family without a strength axis (cells side by side) is drawn as points: a line between
    // two unrelated attacks would mean nothing.
    const bool points = family.Parameter.empty();
    const auto makeSeries = [chart, points](const QString& name) -> QXYSeries* {
        QXYSeries* made = points ? static_cast<QXYSeries*>(new QScatterSeries(chart)) : new QLineSeries(chart);
        if (points) static_cast<QScatterSeries*>(made)->setMarkerSize(9);
        made->setName(name);
        return made;
    };
    QXYSeries* median = makeSeries(tr("NC (median)"));
    auto* q1 = new QLineSeries(chart);
    auto* q3 = new QLineSeries(chart);
    QXYSeries* score = makeSeries(tr("score (median)"));
    QXYSeries* tpr3 = makeSeries(tr("detected at 1e-3"));
    QXYSeries* tpr6 = makeSeries(tr("detected at 1e-6"));
    // A registering run's second reading of the geometric cells: dashed, in the same colours.
    auto* registeredNc = new QLineSeries(chart);
    registeredNc->setName(tr("NC, registered"));
    auto* registeredScore = new QLineSeries(chart);
    registeredScore->setName(tr("score, registered"));
    auto* registeredTpr6 = new QLineSeries(chart);
    registeredTpr6->setName(tr("detected at 1e-6, registered"));
    auto* axisX = new QCategoryAxis(chart);
    axisX->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    bool anyRate = false;
    double lowest = 0.0;  // the score may fall below 0 (fewer reversals than chance)
    // Strengths are drawn evenly spaced in their order, as the report draws them.
    for (std::size_t i = 0; i < family.Cells.size(); ++i) {
        const CellSummary& s = summaries[family.Cells[i]];
        const double x = static_cast<double>(i);
        QString label = family.Parameter.empty() ? Q(plan_.Cells[family.Cells[i]].Name)
                                                 : Q(FormatMeasure(family.Strengths[i]));
        axisX->append(label, x);
        if (!std::isnan(s.ScoreMedian)) {
            score->append(x, s.ScoreMedian);
            lowest = std::min(lowest, s.ScoreMedian);
        }
        if (!std::isnan(s.Nc.Median)) {
            median->append(x, s.Nc.Median);
            q1->append(x, s.Nc.Q1);
            q3->append(x, s.Nc.Q3);
        }
        if (!std::isnan(s.Tpr3)) {
            tpr3->append(x, s.Tpr3);
            tpr6->append(x, s.Tpr6);
            anyRate = true;
        }
        if (s.Registered > 0) {
            registeredNc->append(x, s.RegisteredNcMedian);
            registeredScore->append(x, s.RegisteredScoreMedian);
            lowest = std::min(lowest, s.RegisteredScoreMedian);
            if (!std::isnan(s.RegisteredTpr6)) registeredTpr6->append(x, s.RegisteredTpr6);
        }
    }
    const QColor tpr6Colour(190, 50, 40);
    const QColor tpr3Colour(230, 140, 30);
    if (points) {
        delete q1;
        delete q3;
    } else {
        auto* band = new QAreaSeries(q3, q1);
        band->setName(tr("NC (quartiles)"));
        QColor fill = QColor(70, 110, 200);
        fill.setAlpha(60);
        band->setBrush(fill);
        band->setPen(Qt::NoPen);
        chart->addSeries(band);
    }
    median->setColor(QColor(40, 70, 160));
    chart->addSeries(median);
    score->setColor(QColor(40, 150, 90));
    chart->addSeries(score);
    std::vector<QLineSeries*> bars;
    if (anyRate) {
        chart->addSeries(tpr3);
        chart->addSeries(tpr6);
        tpr3->setColor(tpr3Colour);
        tpr6->setColor(tpr6Colour);
        // Each rate with its Wilson 95 % interval, the two thresholds' bars a little apart.
        for (std::size_t i = 0; i < family.Cells.size(); ++i) {
            const CellSummary& s = summaries[family.Cells[i]];
            const double x = static_cast<double>(i);
            for (QLineSeries* bar : {RateBar(chart, x - 0.04, s.Hits3, s.Verdicts, tpr3Colour),
                                     RateBar(chart, x + 0.04, s.Hits6, s.Verdicts, tpr6Colour),
                                     RateBar(chart, x + 0.08, s.RegisteredHits6, s.RegisteredVerdicts, tpr6Colour)})
                if (bar != nullptr) bars.push_back(bar);
        }
    } else {
        delete tpr3;
        delete tpr6;
    }
    const auto dashed = [&](QLineSeries* series, const QColor& colour) {
        if (series->count() == 0) {
            delete series;
            return;
        }
        QPen pen(colour);
        pen.setWidth(2);
        pen.setStyle(Qt::DashLine);
        series->setPen(pen);
        series->setPointsVisible(true);
        chart->addSeries(series);
    };
    dashed(registeredNc, median->color());
    dashed(registeredScore, score->color());
    dashed(registeredTpr6, tpr6Colour);
    axisX->setRange(-0.5, static_cast<double>(family.Cells.size()) - 0.5);
    axisX->setTitleText(family.Parameter.empty() ? tr("cell") : Q(family.Parameter));
    // Cell names are long: slanted, each stays whole.
    if (points) axisX->setLabelsAngle(-35);
    auto* axisY = new QValueAxis(chart);
    // A little room above 1, where rates often stand with their bars' caps.
    axisY->setRange(lowest < 0 ? std::floor(lowest * 4) / 4 : 0.0, 1.05);
    // Round ticks: 0, 0.25, 0.5, ...
    axisY->setTickType(QValueAxis::TicksDynamic);
    axisY->setTickAnchor(0.0);
    axisY->setTickInterval(0.25);
    axisY->setLabelFormat(QStringLiteral("%.2f"));
    axisY->setTitleText(anyRate ? tr("NC, score, detection rate") : tr("NC, score"));
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(axisX);
        series->attachAxis(axisY);
    }
    HideFromLegend(chart, bars);
    chart->setTitle(FamilyCaption(family) + (anyRate ? tr(" (bars: Wilson 95 % intervals)") : tr(" (no calibration: NC only)")));
    // Eight names do not fit in one row under the plot; beside it each stays whole.
    chart->legend()->setAlignment(chart->series().size() - bars.size() > 5 ? Qt::AlignRight : Qt::AlignBottom);
    ReplaceChart(chartView, chart);
}

namespace {
// Method m's colour in both charts of a comparison, so that a method keeps its colour between tabs.
QColor MethodColour(std::size_t m) {
    static const QColor kColours[] = {QColor(40, 70, 160), QColor(190, 50, 40), QColor(40, 150, 90),
                                      QColor(230, 140, 30), QColor(130, 60, 170), QColor(90, 90, 90)};
    return kColours[m % std::size(kColours)];
}
}  // namespace

void TfrmRobustness::ShowMethods(RobustnessReport& report, const ReportFamily& family, QChart* chart) {
    // A run that compares methods: each method's detection rate at 1e-6 against the attack's
    // strength, as the report draws it; the ROC tab one curve per method (the report names them).
    std::vector<std::pair<QString, FamilyRoc>> rocs;
    for (std::size_t m = 0; m < report.Methods.size(); ++m)
        rocs.emplace_back(Q(report.Methods[m]), RocOfFamily(report, family, m));
    ShowRocs(rocs, FamilyCaption(family));
    const bool points = family.Parameter.empty();
    auto* axisX = new QCategoryAxis(chart);
    axisX->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    for (std::size_t i = 0; i < family.Cells.size(); ++i)
        axisX->append(family.Parameter.empty() ? Q(plan_.Cells[family.Cells[i]].Name) : Q(FormatMeasure(family.Strengths[i])),
                      static_cast<double>(i));
    std::vector<QLineSeries*> bars;
    bool anyBits = false;
    for (std::size_t m = 0; m < report.Methods.size(); ++m) {
        const std::vector<CellSummary> summaries = SummariseCells(report, report.Methods[m]);
        QXYSeries* series = points ? static_cast<QXYSeries*>(new QScatterSeries(chart)) : new QLineSeries(chart);
        if (points) {
            // Methods at one rate stand on one spot: each its own shape and size, the later smaller.
            auto* scatter = static_cast<QScatterSeries*>(series);
            scatter->setMarkerShape(m % 2 == 0 ? QScatterSeries::MarkerShapeCircle : QScatterSeries::MarkerShapeRectangle);
            scatter->setMarkerSize(std::max(5.0, 12.0 - 2.0 * static_cast<double>(m)));
        } else {
            static_cast<QLineSeries*>(series)->setPointsVisible(true);
        }
        series->setName(Q(report.Methods[m]));
        if (points) {
            series->setColor(MethodColour(m));
        } else {
            QPen pen(MethodColour(m));
            pen.setWidth(2);
            series->setPen(pen);
        }
        for (std::size_t i = 0; i < family.Cells.size(); ++i) {
            const double rate = summaries[family.Cells[i]].Tpr6;
            if (!std::isnan(rate)) series->append(static_cast<double>(i), rate);
        }
        chart->addSeries(series);
        // Each rate's Wilson 95 % interval, the methods' bars a little apart.
        const double dx = (static_cast<double>(m) - static_cast<double>(report.Methods.size() - 1) / 2) * 0.05;
        for (std::size_t i = 0; i < family.Cells.size(); ++i) {
            const CellSummary& s = summaries[family.Cells[i]];
            if (QLineSeries* bar = RateBar(chart, static_cast<double>(i) + dx, s.Hits6, s.Verdicts, MethodColour(m)))
                bars.push_back(bar);
        }
        // A payload method's mean bit accuracy, dashed in its colour.
        auto* bits = new QLineSeries(chart);
        bits->setName(tr("%1: bit accuracy").arg(Q(report.Methods[m])));
        for (std::size_t i = 0; i < family.Cells.size(); ++i) {
            const double accuracy = summaries[family.Cells[i]].BitAccuracyMean;
            if (!std::isnan(accuracy)) bits->append(static_cast<double>(i), accuracy);
        }
        if (bits->count() == 0) {
            delete bits;
            continue;
        }
        QPen dashed(MethodColour(m));
        dashed.setWidth(2);
        dashed.setStyle(Qt::DashLine);
        bits->setPen(dashed);
        bits->setPointsVisible(true);
        chart->addSeries(bits);
        anyBits = true;
    }
    axisX->setRange(-0.5, static_cast<double>(family.Cells.size()) - 0.5);
    axisX->setTitleText(family.Parameter.empty() ? tr("cell") : Q(family.Parameter));
    if (points) axisX->setLabelsAngle(-35);
    auto* axisY = new QValueAxis(chart);
    // A little room beyond 0 and 1, where rates often stand, so that no point sits on the frame.
    axisY->setRange(-0.05, 1.05);
    axisY->setTickType(QValueAxis::TicksDynamic);
    axisY->setTickAnchor(0.0);
    axisY->setTickInterval(0.25);
    axisY->setLabelFormat(QStringLiteral("%.2f"));
    axisY->setTitleText(anyBits ? tr("detected at 1e-6; bit accuracy (dashed)") : tr("detected at 1e-6"));
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(axisX);
        series->attachAxis(axisY);
    }
    HideFromLegend(chart, bars);
    chart->setTitle(FamilyCaption(family) + tr(": detected at 1e-6, per method (bars: Wilson 95 % intervals)"));
    ReplaceChart(chartView, chart);
}

void TfrmRobustness::ShowRocs(const std::vector<std::pair<QString, FamilyRoc>>& rocs, const QString& name) {
    auto* chart = new QChart;
    chart->setObjectName(QStringLiteral("rocChart"));
    const bool compared = rocs.size() > 1;
    const auto noNullSide = [](const std::pair<QString, FamilyRoc>& roc) { return roc.second.Curve.Points.empty(); };
    if (std::all_of(rocs.begin(), rocs.end(), noNullSide)) {
        chart->setTitle(tr("ROC: no null side (rows of an earlier program)"));
        ReplaceChart(rocView, chart);
        lblRoc->setText(tr("The rows hold no score of the unmarked host: no ROC curve."));
        return;
    }
    // The false-positive axis is logarithmic (1e-6..1), as in the report: the rates the
    // thresholds are set at would otherwise all sit at its left edge. A rate of 0 is drawn at
    // 1e-6, the axis' end.
    const auto onAxis = [](double fpr) { return std::clamp(fpr, 1e-6, 1.0); };
    auto* chance = new QLineSeries(chart);
    chance->setName(tr("chance"));
    for (int i = 0; i <= 24; ++i) {
        const double f = std::pow(10.0, -6.0 + 6.0 * i / 24.0);
        chance->append(f, f);
    }
    QPen dashed(QColor(150, 150, 150));
    dashed.setStyle(Qt::DashLine);
    chance->setPen(dashed);
    chart->addSeries(chance);
    // One colour per method when methods are compared; a lone curve keeps the report's blue and
    // its thresholds' orange and red.
    QStringList texts;
    for (std::size_t m = 0; m < rocs.size(); ++m) {
        const auto& [method, roc] = rocs[m];
        const RocCurve& curve = roc.Curve;
        const QColor colour = MethodColour(m);
        const QString who = compared ? method + QStringLiteral(": ") : QString();
        if (curve.Points.empty()) {
            texts << who + tr("no score of the unmarked host.");
            continue;
        }
        auto* line = new QLineSeries(chart);
        line->setName(compared ? tr("%1 (AUC %2)").arg(method, Q(FormatFixed(curve.Auc, 3))) : QStringLiteral("ROC"));
        // A step at each threshold: across at the old rate, then up, as the report draws it.
        double lastTpr = 0;
        for (const auto& [fpr, tpr] : curve.Points) {
            line->append(onAxis(fpr), lastTpr);
            line->append(onAxis(fpr), tpr);
            lastTpr = tpr;
        }
        QPen pen(colour);
        pen.setWidth(2);
        line->setPen(pen);
        chart->addSeries(line);
        if (!std::isnan(roc.Tpr1e3) && !std::isnan(roc.Fpr1e3)) {
            // Compared methods mark only their 1e-6 threshold, in their own colour: two points per
            // curve in four colours would crowd the corner where they all stand.
            for (const auto& [fpr, tpr, pointColour, label] :
                 {std::tuple{roc.Fpr1e3, roc.Tpr1e3, QColor(230, 140, 30), QT_TR_NOOP("at the 1e-3 threshold")},
                  std::tuple{roc.Fpr1e6, roc.Tpr1e6, QColor(190, 50, 40), QT_TR_NOOP("at the 1e-6 threshold")}}) {
                if (compared && std::string_view(label) != "at the 1e-6 threshold") continue;
                auto* point = new QScatterSeries(chart);
                point->setName(compared ? tr("%1 at 1e-6").arg(method) : tr(label));
                point->setColor(compared ? colour : pointColour);
                point->setMarkerSize(9);
                point->append(onAxis(fpr), tpr);
                chart->addSeries(point);
            }
        }
        QString text = who + tr("AUC %1 over %2 marked and %3 unmarked pictures.")
                                 .arg(Q(FormatFixed(curve.Auc, 3)))
                                 .arg(curve.Positives)
                                 .arg(curve.Negatives);
        if (curve.Auc < 0.5)
            text += tr(" Below 0.5: an inverted mark (the marked pictures score below the unmarked ones).");
        if (std::isnan(roc.Tpr1e3)) {
            text += tr(" No calibration: no detection rates.");
        } else {
            // The rates at the two thresholds: of marked pictures found (true positives) and
            // of unmarked ones taken for marked (false positives).
            // Each rate with its Wilson 95 % interval: a family has a few dozen rows.
            const auto rate = [](double share, std::size_t trials) {
                if (std::isnan(share) || trials == 0) return QStringLiteral("-");
                const RateInterval r =
                    WilsonInterval(static_cast<std::size_t>(std::llround(share * static_cast<double>(trials))), trials);
                return Q(FormatFixed(r.Rate, 3) + " (" + FormatFixed(r.Low, 2) + "-" + FormatFixed(r.High, 2) + ")");
            };
            text += tr(" Marked pictures found: %1 at 1e-3, %2 at 1e-6; unmarked ones taken for marked: %3 at "
                       "1e-3, %4 at 1e-6.")
                        .arg(rate(roc.Tpr1e3, roc.Verdicts), rate(roc.Tpr1e6, roc.Verdicts),
                             rate(roc.Fpr1e3, curve.Negatives), rate(roc.Fpr1e6, curve.Negatives));
        }
        texts << text;
    }
    // A little room left of 0 and above 1, so that the thresholds' points (mostly at a
    // false-positive rate of 0) are not cut in half by the plot's edge; ticks stay at quarters.
    auto* axisX = new QLogValueAxis(chart);
    axisX->setBase(10.0);
    axisX->setRange(0.8e-6, 1.0);
    axisX->setLabelFormat(QStringLiteral("%.0e"));
    axisX->setMinorTickCount(0);
    axisX->setTitleText(tr("false-positive rate, log (own host unmarked)"));
    auto* axisY = new QValueAxis(chart);
    axisY->setRange(0.0, 1.02);
    axisY->setTitleText(tr("true-positive rate"));
    axisY->setTickType(QValueAxis::TicksDynamic);
    axisY->setTickAnchor(0.0);
    axisY->setTickInterval(0.25);
    axisY->setLabelFormat(QStringLiteral("%.2f"));
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(axisX);
        series->attachAxis(axisY);
    }
    chart->setTitle(compared ? tr("ROC, %1, per method").arg(name)
                             : tr("ROC, %1: AUC %2").arg(name, Q(FormatFixed(rocs[0].second.Curve.Auc, 3))));
    chart->legend()->setAlignment(compared ? Qt::AlignRight : Qt::AlignBottom);
    ReplaceChart(rocView, chart);
    lblRoc->setText(texts.join(QLatin1Char('\n')));
}

}  // namespace quillfen::ui
