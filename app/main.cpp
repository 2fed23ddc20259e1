// quillfen: the desktop program.
// Usage: quillfen [--lang original|en] [--results-csv FILE] [PICTURE...]
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>
#include <stdexcept>

#include "quillfen/image/vector_targets.h"
#include "ui/application.h"
#include "ui/file_dialogs.h"
#include "ui/gui_prompts.h"
#include "ui/ui_text.h"

int main(int argc, char* argv[]) {
    using namespace quillfen::ui;
    // QF_HWY_TARGET runs the vector loops on a lesser instruction set; a bad value is reported
    // and the best target kept, so the window still opens.
    try {
        quillfen::vector_targets::UseTargetFromEnvironment();
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "quillfen: %s\n", e.what());
    }
    QApplication application(argc, argv);
    SetApplicationNames();
    QApplication::setApplicationVersion(QStringLiteral(QUILLFEN_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A laboratory for DCT-domain image watermarking and gray-level image processing."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption resultsCsv(
        QStringLiteral("results-csv"),
        QStringLiteral("Keep FILE up to date with the Results list of the active document, as CSV."),
        QStringLiteral("FILE"));
    parser.addOption(resultsCsv);
    const QCommandLineOption language(
        QStringLiteral("lang"),
        QStringLiteral("The windows' language: 'original' (the original texts, Korean and English) or 'en' "
                       "(English); remembered for the next start. Without it: the one chosen last, else the "
                       "system's (Korean: the original texts)."),
        QStringLiteral("LANGUAGE"));
    parser.addOption(language);
    parser.addPositionalArgument(QStringLiteral("pictures"), QStringLiteral("Pictures to open as documents."),
                                 QStringLiteral("[PICTURE...]"));
    parser.process(application);  // --help and --version print and exit; unknown options exit with 1

    const std::optional<QString> chosen = ChooseLanguage(parser.value(language));
    if (!chosen || !UseLanguage(*chosen)) {
        std::fprintf(stderr, "quillfen: unknown language '%s' (choose 'original' or 'en')\n",
                     qPrintable(parser.value(language)));
        return 2;
    }

    GuiPrompts prompts;
    QtFileDialogs dialogs;
    // Only the main window is shown; the other forms wait until a command needs them.
    Forms forms(prompts, dialogs);
    prompts.setParent(&forms.frmMain);
    if (parser.isSet(resultsCsv) && !forms.frmMain.SetResultsCsvFile(parser.value(resultsCsv))) {
        std::fprintf(stderr, "quillfen: cannot write the results file '%s'\n", qPrintable(parser.value(resultsCsv)));
        return 2;
    }
    forms.frmMain.show();
    // The pictures named on the command line open as if dropped on the window.
    QStringList names;
    for (const QString& name : parser.positionalArguments()) names << QFileInfo(name).absoluteFilePath();
    if (!names.isEmpty()) forms.frmMain.OpenDroppedFiles(names);
    return QApplication::exec();
}
