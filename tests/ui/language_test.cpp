// The windows' two languages: the original texts (what the other window tests pin) and
// English, from the translation compiled into the program.
#include <QAction>
#include <QSettings>
#include <QTest>
#include <QTranslator>

#include "quillfen/io/pgm.h"
#include "quillfen/toolbox/catalogue.h"
#include "tests/ui/ui_test_support.h"
#include "ui/language.h"
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
        QCOMPARE(TfrmMain::InitialStatus(0), QStringLiteral("Progress"));
        const std::string path = dir->file("host.pgm");
        quillfen::TRixPGM().SaveToFile(path, quillfen::test::Ramp(300, 300));
        TMDIChild* doc = frame->OpenImageFile(QString::fromStdString(path));
        doc->StepAction(Step::GetWr)->trigger();
        QCOMPARE(prompts->shown.back().text, std::string("Load the host picture and the watermark first."));
        CloseFrame();
        // The original texts again, remembered.
        QVERIFY(UseLanguage(QStringLiteral("original")));
        QCOMPARE(QSettings().value(QString::fromLatin1(kLanguageKey)).toString(), QStringLiteral("original"));
        QCOMPARE(TfrmMain::InitialStatus(0), QStringLiteral("수행정보출력"));
    }
};

QTEST_MAIN(LanguageTest)
#include "language_test.moc"
