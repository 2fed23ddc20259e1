#pragma once
// The four file dialogs of the main window, described as data and run through an interface,
// so that the tests can answer them without a modal dialog.
#include <optional>

#include <QString>
#include <QStringList>

class QWidget;

namespace quillfen::ui {

// Folder chooses an existing folder (its result's fileName is the folder).
enum class FileDialogKind { Open, Save, OpenPicture, SavePicture, Folder };

struct FileDialogRequest {
    QString name;           // openDlg, SaveDlg, OpenPDlg, SavePDlg
    FileDialogKind kind = FileDialogKind::Open;
    QString filter;         // "Description|patterns|Description|patterns..." as the dialogs list them
    int filterIndex = 1;    // 1-based, the filter selected when the dialog opens
    QString initialDir;     // folder shown when the dialog opens
    QString proposedName;   // the file name the dialog starts with (a save dialog); empty: none
};

struct FileDialogResult {
    QString fileName;
    int filterIndex = 1;  // 1-based index of the filter the user chose
};

// Qt's name filters for a "Description|patterns|..." filter: "Description (p1 p2)". A
// pattern list separated by ';' becomes blank-separated, and "*.*" becomes "*" so that files
// without an extension are listed too.
QStringList ToQtNameFilters(const QString& filter);

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // Runs the dialog; nothing when the user cancels.
    virtual std::optional<FileDialogResult> Execute(const FileDialogRequest& request, QWidget* parent) = 0;
};

// Modal QFileDialog. The save dialog asks before replacing an existing file.
class QtFileDialogs : public FileDialogs {
public:
    std::optional<FileDialogResult> Execute(const FileDialogRequest& request, QWidget* parent) override;
};

}  // namespace quillfen::ui
