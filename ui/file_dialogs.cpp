#include "ui/file_dialogs.h"

#include <QFileDialog>

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

std::optional<FileDialogResult> QtFileDialogs::Execute(const FileDialogSpec& spec, QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setObjectName(spec.name);
    const QStringList filters = ToQtNameFilters(spec.filter);
    dialog.setNameFilters(filters);
    if (spec.filterIndex >= 1 && spec.filterIndex <= filters.size()) {
        dialog.selectNameFilter(filters[spec.filterIndex - 1]);
    }
    dialog.setDirectory(spec.initialDir);
    const bool save = spec.kind == FileDialogKind::Save || spec.kind == FileDialogKind::SavePicture;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    FileDialogResult result;
    result.fileName = dialog.selectedFiles().front();
    result.filterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
    if (result.filterIndex < 1) result.filterIndex = 1;
    return result;
}

}  // namespace quillfen::ui
