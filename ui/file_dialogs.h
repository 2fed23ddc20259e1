#pragma once
// The four file dialogs of the main window, described as data and run through an interface,
// so that the tests can answer them without a modal dialog.
#include <optional>

#include <QString>
#include <QStringList>

#include "quillfen/io/picture_files.h"

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

// The save dialogs' picture filters, in this order: 1 bitmap, 2 PNG, 3 JPEG, 4 PGM.
inline constexpr const char* kSavePictureFilters = "Bitmap|*.bmp|PNG|*.png|JPEG|*.jpg;*.jpeg|PGM|*.pgm";
// The format a filter index of kSavePictureFilters chooses; Unknown outside 1..4.
PictureFormat FormatOfSaveFilter(int filterIndex);
// A chosen file name as it is written: a name that ends in a picture extension keeps it and
// is written in that format, whatever filter the dialog showed ("big.png" with the PGM filter
// is a PNG file); any other name gets the filter's extension (".bmp", ".png", ".jpg", ".pgm").
QString WithPictureExtension(const QString& fileName, int filterIndex);

// A name made into a file name without an extension: a caption such as "camera-512.bmp -
// seed 5 - jpeg 50" loses its folder separators and the picture extensions inside (which the
// writers would take for the name's own); a file name loses its extension.
QString FileStem(const QString& name);

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
