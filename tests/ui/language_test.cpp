// The windows' two languages: the original texts (what the other window tests pin) and
// English, from the translation compiled into the program.
#include <QAction>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QXmlStreamReader>
#include <QTest>
#include <QTranslator>

#include "quillfen/io/pgm.h"
#include "quillfen/toolbox/catalogue.h"
#include "tests/ui/ui_test_support.h"
#include "ui/about_dialog.h"
#include "ui/histogram_window.h"
#include "ui/language.h"
#include "ui/param_hough_dialog.h"
#include "ui/main_window.h"
#include "ui/mdi_child.h"

using quillfen::Bitmap;
using quillfen::Step;
using quillfen::TRixIPA;
using quillfen::test::RecordingPrompts;
using quillfen::ui::TMDIChild;

class LanguageTest : public quillfen::test::FrameTest<RecordingPrompts> {
    Q_OBJECT

private slots:
    void cleanup() {
        quillfen::ui::UseLanguage(QString::fromLatin1(quillfen::ui::kLanguageOriginal));
        CloseFrame();
    }

    // The catalogue's texts come from a library that never translates: every one the windows
    // show (captions, submenus, input boxes, the report of each operation) has its English.
    void everyToolboxTextHasItsEnglish() {
        QTranslator english;
        QVERIFY(english.load(QStringLiteral(":/i18n/quillfen_en.qm")));
        QStringList missing;
        const auto check = [&](const char* text) {
            if (text != nullptr && *text != '\0' && english.translate("Toolbox", text).isEmpty()) missing << QString::fromUtf8(text);
        };
        for (const quillfen::toolbox::Operation& op : quillfen::toolbox::Operations()) {
            check(op.caption);
            for (const QString& part : QString::fromUtf8(op.menu).split(QLatin1Char('/'))) check(part.toUtf8().constData());
            for (const quillfen::toolbox::Argument& a : op.arguments) {
                check(a.caption);
                check(a.prompt);
                check(a.refusal);
            }
            TRixIPA image;
            image.LoadFromBitmap(quillfen::test::Ramp(40, 30));
            try {
                if (const auto report = op.run(image, quillfen::toolbox::InitialValues(op))) check(report->words.c_str());
            } catch (const std::exception&) {
            }
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(" | "))));
    }

    // No text of the English translation is left as the original gave it unless it was read
    // and found to be English as written (tests/ui/english_as_written.txt): every Korean text
    // and every original text a native reader would stumble over has its English.
    void englishTranslatesEveryText() {
        QFile allowed(QStringLiteral(QT_TESTCASE_SOURCEDIR "/ui/english_as_written.txt"));
        QVERIFY(allowed.open(QIODevice::ReadOnly | QIODevice::Text));
        QSet<QString> asWritten;
        for (const QString& line : QString::fromUtf8(allowed.readAll()).split(QLatin1Char('\n')))
            if (!line.isEmpty() && !line.startsWith(QLatin1Char('#'))) asWritten << line;
        QFile ts(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../ui/translations/quillfen_en.ts"));
        QVERIFY(ts.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&ts);
        const QRegularExpression hangul(QStringLiteral("[\\x{1100}-\\x{11FF}\\x{3130}-\\x{318F}\\x{AC00}-\\x{D7AF}]"));
        QString context;
        QString source;
        QString translation;
        bool unfinished = false;
        QStringList wrong;
        QSet<QString> seen;
        int messages = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QLatin1String("name")) context = xml.readElementText();
            if (xml.isStartElement() && xml.name() == QLatin1String("source"))
                source = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            if (xml.isStartElement() && xml.name() == QLatin1String("translation")) {
                unfinished = xml.attributes().value(QLatin1String("type")) == QLatin1String("unfinished");
                translation = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            }
            if (!xml.isEndElement() || xml.name() != QLatin1String("message")) continue;
            ++messages;
            const QString entry = context + QLatin1Char('\t') + source;
            if (unfinished || translation.isEmpty() || translation.contains(hangul) ||
                (translation == source && !asWritten.contains(entry)))
                wrong << entry + QStringLiteral(" -> ") + translation;
            if (translation == source) seen << entry;
        }
        QVERIFY(!xml.hasError());
        QVERIFY(messages > 400);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
        // The list names only texts that are still there and still kept as written.
        const QSet<QString> stale = asWritten - seen;
        QVERIFY2(stale.isEmpty(), qPrintable(QStringList(stale.begin(), stale.end()).join(QLatin1Char('\n'))));
    }

    // English chosen under a Korean locale: Qt's own texts that follow the locale (the file
    // dialogs' file types) are English too, and the titles carry the program's name once.
    void englishUnderAKoreanLocale() {
        using namespace quillfen::ui;
        QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea));
        QVERIFY(UseLanguage(QStringLiteral("en")));
        QCOMPARE(QLocale().language(), QLocale::English);
        QCOMPARE(QMimeDatabase().mimeTypeForName(QStringLiteral("image/png")).comment(), QStringLiteral("PNG image"));
        QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("Quillfen"));
        MakeFrame();
        QCOMPARE(frame->windowTitle(), QStringLiteral("Watermarking Simulator"));
        CloseFrame();
        QVERIFY(UseLanguage(QStringLiteral("original")));
        QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("Quillfen™ by tavrenn"));
        QLocale::setDefault(QLocale::c());
    }

    // The texts a new user meets first, in English: the menus (all on the bar at the first
    // window's width, Help too), the toolbox's look-alike entries, the status bar at rest, the
    // refusals of a document with a picture, the dialogs.
    void englishTextsAUserMeets() {
        using namespace quillfen::ui;
        QVERIFY(UseLanguage(QStringLiteral("en")));
        MakeFrame();
        frame->resize(1100, 800);
        frame->show();
        const std::string path = dir->file("host.pgm");
        quillfen::TRixPGM().SaveToFile(path, quillfen::test::Ramp(300, 300));
        TMDIChild* doc = frame->OpenImageFile(QString::fromStdString(path));
        QStringList menus;
        for (QAction* a : frame->menuBar()->actions()) menus << a->text();
        QCOMPARE(menus, (QStringList{"&File", "&Edit", "&View", "Watermark Embedding", "Image Processing",
                                     "Watermark Extraction", "&Window", "&Options", "&Help"}));
        QApplication::processEvents();
        const QRect help = frame->menuBar()->actionGeometry(frame->menuBar()->actions().back());
        QVERIFY2(help.isValid() && frame->menuBar()->rect().contains(help), "Help is not on the menu bar");
        QCOMPARE(doc->Action(QStringLiteral("Mean1NR"))->text(), QStringLiteral("Mean Filter"));
        QCOMPARE(doc->Action(QStringLiteral("Mean1S"))->text(), QStringLiteral("Mean"));
        QCOMPARE(doc->Action(QStringLiteral("FreiChen1G1E"))->text(), QStringLiteral("Frei-Chen Operator"));
        QCOMPARE(doc->Action(QStringLiteral("Laplacian2L1E"))->text(), QStringLiteral("Laplacian Mask 2"));
        QCOMPARE(doc->StepAction(Step::Jpeg)->text(), QStringLiteral("Apply JPEG Compression to X_hat"));
        QCOMPARE(TfrmMain::InitialStatus(0), QStringLiteral("Ready"));
        QCOMPARE(TfrmMain::InitialStatus(1), QStringLiteral("Position"));
        doc->StepAction(Step::GetWr)->trigger();
        QCOMPARE(prompts->shown.back().text, std::string("Load the watermark first (Watermark Embedding ▸ Load Watermark)."));
        doc->StepAction(Step::GetY_wave)->trigger();
        QVERIFY(QString::fromStdString(prompts->shown.back().text).startsWith(QStringLiteral("First embed the watermark")));
        TfrmParamHough hough(*prompts);
        QCOMPARE(hough.Label1->text(), QStringLiteral("Distance cells (ρ):"));
        QCOMPARE(hough.Label2->text(), QStringLiteral("Angle cells (θ):"));
        QCOMPARE(hough.Label5->text(), QStringLiteral("Minimum votes:"));
        hough.Fill(HoughParameters{});
        hough.edtTheta->setText(QStringLiteral("x"));
        QVERIFY(!hough.ReadParameters());
        QCOMPARE(prompts->shown.back().text, std::string("Angle cells (θ): 'x' is not a whole number"));
        TfrmAbout about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About Quillfen"));
        QVERIFY(about.Comments->text().startsWith(QStringLiteral("Adaptive watermarking")));
        QVERIFY(!about.Label3->text().contains(QStringLiteral("tracker")));
        QCOMPARE(about.Version->text(), QStringLiteral("Version ") + QCoreApplication::applicationVersion());
        TfrmHistogram histogram;
        QCOMPARE(histogram.windowTitle(), QStringLiteral("Histogram"));
        QCOMPARE(histogram.Label1->text(), QStringLiteral("Level:"));
        CloseFrame();
    }

    // The language is the one asked for, else the one remembered; a name it does not know is
    // refused. English shows the method's refusals in English.
    void theChosenLanguageIsShown() {
        using namespace quillfen::ui;
        QVERIFY(!ChooseLanguage(QStringLiteral("fr")));
        QVERIFY(UseLanguage(QStringLiteral("en")));
        QCOMPARE(*ChooseLanguage(QString()), QStringLiteral("en"));
        QCOMPARE(*ChooseLanguage(QStringLiteral("original")), QStringLiteral("original"));
        MakeFrame();
        frame->show();
        QCOMPARE(TfrmMain::InitialStatus(0), QStringLiteral("Ready"));
        const std::string path = dir->file("host.pgm");
        quillfen::TRixPGM().SaveToFile(path, quillfen::test::Ramp(300, 300));
        TMDIChild* doc = frame->OpenImageFile(QString::fromStdString(path));
        doc->StepAction(Step::GetWr)->trigger();
        QCOMPARE(prompts->shown.back().text, std::string("Load the watermark first (Watermark Embedding ▸ Load Watermark)."));
        CloseFrame();
        // The original texts again, remembered.
        QVERIFY(UseLanguage(QStringLiteral("original")));
        QCOMPARE(QSettings().value(QString::fromLatin1(kLanguageKey)).toString(), QStringLiteral("original"));
        QCOMPARE(TfrmMain::InitialStatus(0), QStringLiteral("수행정보출력"));
    }
};

QTEST_MAIN(LanguageTest)
#include "language_test.moc"
