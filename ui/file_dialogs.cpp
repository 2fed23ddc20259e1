#include "ui/file_dialogs.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QRegularExpression>

#include "quillfen/io/picture_files.h"
#include "ui/ui_text.h"

namespace quillfen::ui {

QStringList ToQtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString p = pattern.trimmed();
            patterns << (p == QLatin1String("*.*") ? QStringLiteral("*") : p);
        }
        result << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return result;
}

PictureFormat FormatOfSaveFilter(int filterIndex) {
    switch (filterIndex) {
    case 1: return PictureFormat::Bmp;
    case 2: return PictureFormat::Png;
    case 3: return PictureFormat::Jpeg;
    case 4: return PictureFormat::Pgm;
    default: return PictureFormat::Unknown;
    }
}

QString WithPictureExtension(const QString& fileName, int filterIndex) {
    if (FormatFromFileName(FilePath(fileName)) != PictureFormat::Unknown) return fileName;
    static const char* const extensions[] = {".bmp", ".png", ".jpg", ".pgm"};
    // An index outside the list (a dialog without these filters) writes PNG, which keeps
    // every pixel.
    const int index = filterIndex >= 1 && filterIndex <= 4 ? filterIndex - 1 : 1;
    return fileName + QString::fromLatin1(extensions[index]);
}

QString FileStem(const QString& name) {
    QString stem = name;
    stem.replace(QRegularExpression(QStringLiteral("[/\\\\:*?\"<>|]")), QStringLiteral("_"));
    stem.remove(QRegularExpression(QStringLiteral("\\.(bmp|png|jpe?g|pgm)\\b"), QRegularExpression::CaseInsensitiveOption));
    return stem.trimmed();
}

namespace {

// The picture dialog shows the file under the cursor beside the list, through the same
// readers that will load it.
void AddPreview(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (grid == nullptr) return;
    auto* preview = new QLabel(&dialog);
    preview->setObjectName(QStringLiteral("preview"));
    preview->setFixedSize(160, 160);
    preview->setAlignment(Qt::AlignCenter);
    preview->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    grid->addWidget(preview, 0, grid->columnCount(), grid->rowCount(), 1);
    QObject::connect(&dialog, &QFileDialog::currentChanged, preview, [preview](const QString& path) {
        QPixmap pixmap;
        try {
            if (FormatFromFileName(S(path)) != PictureFormat::Unknown) {
                pixmap = QPixmap::fromImage(ToQImage(LoadPictureFile(FilePath(path)).bitmap));
            }
        } catch (const std::exception&) {
            // Not a readable picture: no preview.
        }
        if (pixmap.isNull()) {
            preview->clear();
        } else {
            preview->setPixmap(pixmap.scaled(preview->size() - QSize(4, 4), Qt::KeepAspectRatio));
        }
    });
}

}  // namespace

std::optional<FileDialogResult> QtFileDialogs::Execute(const FileDialogRequest& request, QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setObjectName(request.name);
    const QStringList filters = ToQtNameFilters(request.filter);
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size()) {
        dialog.selectNameFilter(filters[request.filterIndex - 1]);
    }
    dialog.setDirectory(request.initialDir);
    if (!request.proposedName.isEmpty()) dialog.selectFile(request.proposedName);
    const bool save = request.kind == FileDialogKind::Save || request.kind == FileDialogKind::SavePicture;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (request.kind == FileDialogKind::Folder) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
    }
    if (request.kind == FileDialogKind::OpenPicture) AddPreview(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    FileDialogResult result;
    result.fileName = dialog.selectedFiles().front();
    result.filterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
    if (result.filterIndex < 1) result.filterIndex = 1;
    return result;
}

}  // namespace quillfen::ui
