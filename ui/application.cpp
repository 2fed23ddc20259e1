#include "ui/application.h"

#include <QApplication>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

namespace quillfen::ui {

namespace {

// The name every window title and message box ends with, in the windows' language.
void SetDisplayName() {
    QApplication::setApplicationDisplayName(QCoreApplication::translate("quillfen::ui::Application", "Quillfen™ by tavrenn"));
}

}  // namespace

void SetApplicationNames() {
    QApplication::setApplicationName(QStringLiteral("quillfen"));
    // The settings file: ~/.config/quillfen/quillfen.conf.
    QApplication::setOrganizationName(QStringLiteral("quillfen"));
    SetDisplayName();
}

std::optional<QString> ChooseLanguage(const QString& requested) {
    const QString known[] = {QString::fromLatin1(kLanguageOriginal), QString::fromLatin1(kLanguageEnglish)};
    const auto valid = [&known](const QString& name) { return name == known[0] || name == known[1]; };
    if (!requested.isEmpty()) return valid(requested) ? std::optional<QString>(requested) : std::nullopt;
    const QString remembered = QSettings().value(QString::fromLatin1(kLanguageKey)).toString();
    if (valid(remembered)) return remembered;
    return QLocale::system().language() == QLocale::Korean ? known[0] : known[1];
}

bool UseLanguage(const QString& language) {
    static QTranslator* english = nullptr;
    if (language == QString::fromLatin1(kLanguageEnglish)) {
        if (english == nullptr) {
            english = new QTranslator(QCoreApplication::instance());
            if (!english->load(QStringLiteral(":/i18n/quillfen_en.qm"))) return false;
        }
        QCoreApplication::installTranslator(english);
        // Qt's own texts that follow the locale (the file types and dates of the file dialogs,
        // the names of days) in English too, with the numbers of the user's country.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::system().territory()));
    } else if (language == QString::fromLatin1(kLanguageOriginal)) {
        if (english != nullptr) QCoreApplication::removeTranslator(english);
        QLocale::setDefault(QLocale::system());
    } else {
        return false;
    }
    SetDisplayName();
    QSettings().setValue(QString::fromLatin1(kLanguageKey), language);
    return true;
}

// The dialogs are children of the frame; being declared after it, they go first.
Forms::Forms(UserPrompts& prompts, FileDialogs& dialogs)
    : frmMain(prompts, dialogs),
      frmAbout(&frmMain),
      frmHistogram(&frmMain),
      frmParamHough(prompts, &frmMain),
      frmProperties(&frmMain) {
    frmMain.SetForms(&frmAbout, &frmHistogram, &frmParamHough, &frmProperties);
}

}  // namespace quillfen::ui
