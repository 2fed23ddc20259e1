#pragma once
// TfrmRobustness: the robustness sweep from the desktop (Window > Robustness...). The user picks
// the hosts (the active document's picture, or pictures and folders of them, read as the
// command line reads its HOSTS: watermark/sweep_inputs.h), the watermark, the
// seeds and the attack cells (the default grid preselected, by family, plus any attack list the
// command line takes); the sweep runs on a worker thread with its progress and a Cancel button,
// and its rows fill the table as they come. The charts show, per attack family, NC (median and
// interquartile band) and the detection rates against the attack's strength, and, on a tab of
// its own, the family's ROC curve with its AUC and the true-positive rates at both thresholds
// (the family chosen in the tab bar's corner serves both). The rows are
// exported as CSV, JSON Lines and the HTML report by the command line's own writers, and a
// double-click on a row opens that cell's attacked picture, with the mark extracted from it, as
// a new document (the row computed again: it is a pure function of host, seed and cell). The
// table's columns are the rows' schema's (robustness_rows.h). The hosts, watermark, seeds and
// calibration of the last run are offered again (QSettings).
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QString>
#include <QStringList>
#include <QWidget>

#include "quillfen/benchmark/robustness.h"
#include "quillfen/benchmark/robustness_report.h"

class QCheckBox;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableWidget;
class QTimer;
class QTreeWidget;

namespace quillfen::ui {

class BackgroundJob;
class RobustnessHost;
class TMDIChild;

class TfrmRobustness : public QWidget {
    Q_OBJECT
public:
    explicit TfrmRobustness(RobustnessHost& host, QWidget* parent = nullptr);
    ~TfrmRobustness() override;

    // ---- The inputs -------------------------------------------------------------------------
    QRadioButton* rbDocument;  // the active document's picture
    QRadioButton* rbFiles;     // the pictures and folders listed
    QListWidget* lstHosts;     // host pictures and folders (every picture file in a folder)
    QLineEdit* edtMark;
    QLineEdit* edtSeeds;
    QLineEdit* edtCalibration;  // empty: the mark's <name>.calibration.json, when there is one
    QSpinBox* spnJobs;
    QCheckBox* chkRegister;     // geometric cells read again after registration
    QLineEdit* edtMethods;      // the methods compared, as --method takes them, blank-separated
    QLineEdit* edtTargetPsnr;   // the embedding PSNR each method with a strength is set to; empty: none
    QTreeWidget* treAttacks;    // the default grid: families and their cells, each checkable
    QLineEdit* edtMoreAttacks;  // any further attack list, as the command line writes it

    // The pictures and folders listed, in order; and a new list of them.
    QStringList HostPaths() const;
    void SetHostPaths(const QStringList& paths);

    // The cells checked in the tree, in grid order, then those of the further list. Throws
    // ArgumentError when that list cannot be read.
    std::vector<AttackCell> ChosenCells() const;
    // Checks exactly the cells of the default grid named in `names` (all of them: the whole grid).
    void CheckGridCells(const QStringList& names);
    void CheckWholeGrid(bool on);

    // ---- The run ----------------------------------------------------------------------------
    // Builds the plan from the inputs and starts the sweep. False, with a message saying why
    // and nothing started, when an input is refused.
    bool Start();
    void Cancel();
    bool Running() const { return job_ != nullptr; }
    // Blocks until the run has ended and shows its end (for scripts and tests).
    void Wait();
    // The rows delivered so far, in row order (after a cancel, the first rows of the run).
    const std::vector<RobustnessRow>& Rows() const { return rows_; }
    bool WasCancelled() const { return cancelled_; }
    // The command line that runs the same sweep from the shell, word by word and as one text.
    const std::vector<std::string>& CommandWords() const { return commandWords_; }
    std::string CommandText() const;

    // ---- What it shows and writes -------------------------------------------------------------
    QTableWidget* tblRows;
    QComboBox* cmbFamily;
    QChartView* chartView;
    // The family's ROC curve: marked pictures after its attacks against the key's own host,
    // unmarked, after the same attacks; its AUC and the detection rates at both thresholds.
    QChartView* rocView;
    QLabel* lblRoc;
    QLabel* lblState;
    // The equivalent command line, read-only: it scrolls rather than widening the window.
    QLineEdit* edtCommand;
    QPushButton* btnCopyCommand;  // puts the command line on the clipboard
    // Says which file the run read the active document's picture from when the document had
    // changes that were not saved (hidden otherwise).
    QLabel* lblHostFile;
    QProgressBar* prgRun;
    QPushButton* btnRun;
    QPushButton* btnCancel;
    QPushButton* btnExportCsv;
    QPushButton* btnExportJsonl;
    QPushButton* btnExportHtml;

    // The three files, through the command line's writers; each asks for a name first.
    enum class Export { Csv, Jsonl, Html };
    void ExportCommand(Export kind);
    // The file's text for the rows shown.
    std::string ExportText(Export kind) const;
    // Opens row `row`'s attacked picture, with the watermark and the mark extracted from it in
    // the panels and its measures in the Results list, as a new document.
    TMDIChild* OpenRow(int row);
    // Draws the charts of family `index` (of the run's families).
    void ShowFamily(int index);

    // Where the pictures of changed documents are written for a run (a folder of the user's
    // cache), and the file the last run wrote, empty when it read the document's own file.
    void SetUnsavedFolder(const QString& folder) { unsavedFolder_ = folder; }
    QString UnsavedFolder() const { return unsavedFolder_; }
    QString HostFileWritten() const { return hostFileWritten_; }

signals:
    // The run has ended (finished or cancelled) and its rows are shown.
    void Finished();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Shared;  // what the worker hands over: rows as they come, the summary

    QWidget* CreateInputs();
    QWidget* CreateResults();
    void FillGrid();
    void AddFolder();
    void AddPicture();
    void ChooseFile(QLineEdit* edit, const QString& filter);
    // Moves the rows the worker has delivered into the table, and the progress into the bar.
    void TakeRows();
    void Finish();
    void UpdateEnabled();
    // Keeps the window within the screen it is on (a long input never widens it past it).
    void FitScreen();
    void AppendRowToTable(const RobustnessRow& row);
    // Draws a family's ROC curve and says its AUC and rates under it.
    // The ROC curve of a family, or one per method (each with its label) when methods are compared.
    void ShowRocs(const std::vector<std::pair<QString, FamilyRoc>>& rocs, const QString& name);
    // A run that compares methods: the family's detection rate at 1e-6 per method into `chart`.
    void ShowMethods(RobustnessReport& report, const ReportFamily& family, QChart* chart);
    // Every input as chosen, for the next opening (QSettings).
    void RememberInputs() const;
    // The file the active document's picture is read from: its own file when it has no
    // changes, else the picture as it is, written into UnsavedFolder().
    QString DocumentHostFile(const TMDIChild& doc);
    // The plan of the inputs; throws Error (the message for the user) for a refused input.
    SweepPlan BuildPlan(std::vector<std::string>& words, std::string& markName,
                        std::vector<std::pair<std::string, std::string>>& inputs);

    RobustnessHost& host_;
    QTimer* timer_;
    BackgroundJob* job_ = nullptr;
    std::shared_ptr<Shared> shared_;
    SweepPlan plan_;
    std::string markName_;
    std::vector<RobustnessRow> rows_;
    bool cancelled_ = false;
    bool coded_ = false;  // a row of the run decoded a message: the table has message_ok
    std::vector<std::string> commandWords_;
    // The files the run read (what the messages call each, and its name): no export replaces one.
    std::vector<std::pair<std::string, std::string>> inputFiles_;
    QString unsavedFolder_;
    QString hostFileWritten_;
};

}  // namespace quillfen::ui
