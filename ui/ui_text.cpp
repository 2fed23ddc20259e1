#include "ui/ui_text.h"

#include <cstring>

#include <QCoreApplication>
#include <QLocale>

namespace quillfen::ui {

QString Tr(const char* context, const char* text) {
    if (text == nullptr) return QString();
    return QCoreApplication::translate(context, text);
}

namespace {

// The translation of a table's text under the first context that has one.
QString TrAny(const std::string& text) {
    for (const char* context : {"Step", "Toolbox"}) {
        const QString translated = Tr(context, text);
        if (translated != Q(text)) return translated;
    }
    return Q(text);
}

}  // namespace

Report Translated(const Report& report) { return {S(TrAny(report.words)), report.numbers}; }

QString CommandName(const std::string& source) { return TrAny(source); }

QString LocalizeNumber(const std::string& formatted) {
    QString text = Q(formatted);
    text.replace(QLatin1Char('.'), QLocale().decimalPoint());
    text.replace(QLatin1Char('-'), QLocale().negativeSign());
    return text;
}

QString LocalInt(long long value) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value);
}

bool ParseLocalInt(const QString& text, int& value) {
    QLocale locale;
    locale.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const int parsed = locale.toInt(text.trimmed(), &ok);
    if (ok) value = parsed;
    return ok;
}

QImage ToQImage(const Bitmap& bitmap) {
    if (bitmap.empty()) return {};
    QImage image(bitmap.width(), bitmap.height(), QImage::Format_BGR888);
    for (int y = 0; y < bitmap.height(); ++y) {
        std::memcpy(image.scanLine(y), bitmap.row(y), bitmap.rowBytes());
    }
    return image;
}

}  // namespace quillfen::ui
