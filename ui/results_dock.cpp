#include "ui/results_dock.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QHeaderView>
#include <QMenu>
#include <QTableWidget>

#include <algorithm>

#include "ui/ui_text.h"

namespace quillfen::ui {

namespace {

QDateTime LocalTime(const ResultLine& line) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(line.time.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms);
}

// A CSV field, quoted when it holds a separator, a quote or a line break.
QString CsvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')) &&
        !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

QString ResultText(const ResultLine& line) {
    // Whole numbers as they are; reals with the user's decimal separator.
    return Q(Translated(line.report).Phrase([](const ReportNumber& number) {
        return number.decimals > 0 ? S(LocalizeNumber(PlainNumber(number))) : PlainNumber(number);
    }));
}

QString ResultsCsv(const std::vector<ResultLine>& lines) {
    QString csv = QStringLiteral("time,step,text\r\n");
    for (const ResultLine& line : lines) {
        csv += CsvField(LocalTime(line).toString(Qt::ISODate)) + QLatin1Char(',') + CsvField(Q(line.source)) +
               QLatin1Char(',') + CsvField(Q(line.report.Line())) + QStringLiteral("\r\n");
    }
    return csv;
}

QString ResultsText(const std::vector<ResultLine>& lines) {
    QString text;
    for (const ResultLine& line : lines) {
        // A tab or line break inside a field would shift the columns: blanks in their place.
        QString words = ResultText(line);
        words.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        text += LocalTime(line).toString(QStringLiteral("HH:mm:ss")) + QLatin1Char('\t') + CommandName(line.source) +
                QLatin1Char('\t') + words + QLatin1Char('\n');
    }
    return text;
}

ResultsDock::ResultsDock(QWidget* parent) : QDockWidget(tr("Results"), parent) {
    setObjectName(QStringLiteral("dockResults"));
    table_ = new QTableWidget(0, 3, this);
    table_->setObjectName(QStringLiteral("tblResults"));
    table_->setHorizontalHeaderLabels({tr("Time"), tr("Step"), tr("Result")});
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    table_->verticalHeader()->setVisible(false);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    setWidget(table_);

    auto* copy = new QAction(tr("&Copy"), table_);
    copy->setObjectName(QStringLiteral("actCopyResults"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    auto* copyCsv = new QAction(tr("Copy as C&SV"), table_);
    copyCsv->setObjectName(QStringLiteral("actCopyResultsCsv"));
    auto* save = new QAction(tr("Save as CSV..."), table_);
    save->setObjectName(QStringLiteral("actSaveResultsCsv"));
    connect(copy, &QAction::triggered, this, &ResultsDock::CopyText);
    connect(copyCsv, &QAction::triggered, this, &ResultsDock::CopyCsv);
    connect(save, &QAction::triggered, this, &ResultsDock::SaveCsvRequested);
    table_->addActions({copy, copyCsv, save});
    table_->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void ResultsDock::Show(const std::vector<ResultLine>& lines) {
    const bool same = lines.size() == lines_.size() &&
                      std::equal(lines.begin(), lines.end(), lines_.begin(),
                                 [](const ResultLine& a, const ResultLine& b) { return a.id == b.id && a.time == b.time; });
    if (same) return;
    lines_ = lines;
    table_->setRowCount(static_cast<int>(lines_.size()));
    for (int row = 0; row < table_->rowCount(); ++row) FillRow(row, lines_[static_cast<std::size_t>(row)]);
    if (!lines_.empty()) table_->scrollToBottom();
}

void ResultsDock::Add(const ResultLine& line) {
    const auto at = std::find_if(lines_.begin(), lines_.end(), [&line](const ResultLine& l) { return l.id > line.id; });
    const int row = static_cast<int>(at - lines_.begin());
    const bool last = at == lines_.end();
    lines_.insert(at, line);
    table_->insertRow(row);
    FillRow(row, line);
    if (last) table_->scrollToBottom();
}

void ResultsDock::Remove(std::uint64_t id) {
    const auto at = std::find_if(lines_.begin(), lines_.end(), [id](const ResultLine& l) { return l.id == id; });
    if (at == lines_.end()) return;
    table_->removeRow(static_cast<int>(at - lines_.begin()));
    lines_.erase(at);
}

void ResultsDock::FillRow(int row, const ResultLine& line) {
    const QString cells[3] = {LocalTime(line).toString(QStringLiteral("HH:mm:ss")), CommandName(line.source),
                              ResultText(line)};
    for (int column = 0; column < 3; ++column) {
        auto* item = new QTableWidgetItem(cells[column]);
        item->setToolTip(cells[column]);
        table_->setItem(row, column, item);
    }
}

std::vector<ResultLine> ResultsDock::Chosen() const {
    std::vector<ResultLine> chosen;
    for (int row = 0; row < table_->rowCount(); ++row) {
        if (table_->selectionModel()->isRowSelected(row, {})) chosen.push_back(lines_[static_cast<std::size_t>(row)]);
    }
    return chosen.empty() ? lines_ : chosen;
}

void ResultsDock::CopyText() const { QApplication::clipboard()->setText(ResultsText(Chosen())); }

void ResultsDock::CopyCsv() const { QApplication::clipboard()->setText(ResultsCsv(Chosen())); }

}  // namespace quillfen::ui
