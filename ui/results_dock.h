#pragma once
// The Results dock: every result line of the active document, in the order they were made,
// with the time, the command that made it and its text; copied as text (tab-separated) or as
// CSV, or saved as a CSV file.
#include <cstdint>
#include <vector>

#include <QDockWidget>
#include <QString>

#include "ui/document.h"

class QTableWidget;

namespace quillfen::ui {

// The lines as CSV: a header "time,step,text", then one row per line with the local time in
// ISO 8601 and the text with '.' as its decimal point, quoted where a field needs it.
QString ResultsCsv(const std::vector<ResultLine>& lines);
// The lines as the table shows them, one per line, the columns separated by tabs.
QString ResultsText(const std::vector<ResultLine>& lines);
// A line's text as the windows show it, its number in the user's notation.
QString ResultText(const ResultLine& line);

class ResultsDock : public QDockWidget {
    Q_OBJECT
public:
    explicit ResultsDock(QWidget* parent = nullptr);

    // Shows these lines (none without a document).
    void Show(const std::vector<ResultLine>& lines);
    // One line more, in its place by id (the lines are in the order they were made), or one
    // line fewer: the document tells the dock of each change as it happens.
    void Add(const ResultLine& line);
    void Remove(std::uint64_t id);
    const std::vector<ResultLine>& Lines() const { return lines_; }
    QTableWidget* Table() const { return table_; }
    // The selected lines, or all of them when none is selected.
    std::vector<ResultLine> Chosen() const;

    // The commands of its popup menu.
    void CopyText() const;
    void CopyCsv() const;

signals:
    // "Save as CSV..." was chosen: the frame asks for the file.
    void SaveCsvRequested();

private:
    void FillRow(int row, const ResultLine& line);

    QTableWidget* table_;
    std::vector<ResultLine> lines_;
};

}  // namespace quillfen::ui
