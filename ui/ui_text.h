#pragma once
// Small conversions shared by the windows: UTF-8 std::string <-> QString, the user's decimal
// separator in report numbers, and Bitmap <-> QImage.
#include <filesystem>
#include <string>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

#include "quillfen/image/bitmap.h"
#include "quillfen/image/report.h"

namespace quillfen::ui {

inline QString Q(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string S(const QString& text) { return text.toStdString(); }

// A file name as the file system spells it (bytes, through QFile's own conversion), so that
// the name a dialog returns is the file the file layer opens.
inline std::filesystem::path FilePath(const QString& name) {
    const QByteArray bytes = QFile::encodeName(name);
    return std::filesystem::path(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

// A text of the tables the windows show (the steps' of step_presentation.h under "Step", the
// toolbox catalogue's under "Toolbox") in the windows' language: its translation, or itself.
QString Tr(const char* context, const char* text);
inline QString Tr(const char* context, const std::string& text) { return Tr(context, text.c_str()); }
// A report with its words in the windows' language ("NC =%1" of the steps, "Number of
// Object = %1" of the toolbox); the numbers stay.
Report Translated(const Report& report);
// The name of a command as the Results list shows it (a step's, a toolbox operation's).
QString CommandName(const std::string& source);

// The number formats of quillfen/image/number_format.h write '.'; the windows show numbers with the
// decimal separator of the user's locale (QLocale's default).
QString LocalizeNumber(const std::string& formatted);

// A whole number in the user's digits, without group separators ("12345").
QString LocalInt(long long value);
// Parses a whole number written as LocalInt writes it; false when the text is not one.
bool ParseLocalInt(const QString& text, int& value);

// A 24-bit QImage of the picture (the empty picture gives a null image).
QImage ToQImage(const Bitmap& bitmap);

}  // namespace quillfen::ui
