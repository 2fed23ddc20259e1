// The auxiliary dialogs, the Qt message and input boxes behind UserPrompts, and the Qt file
// dialog behind FileDialogs. Modal boxes are answered from a timer, so nothing blocks.
#include <functional>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QGroupBox>
#include <QTest>
#include <QTimer>

#include "tests/test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/about_dialog.h"
#include "ui/file_dialogs.h"
#include "ui/gui_prompts.h"
#include "ui/param_hough_dialog.h"
#include "ui/properties_window.h"

using namespace quillfen;
using namespace quillfen::ui;

namespace {

// Runs `answer` on the modal widget as soon as it is shown.
void WhenModal(const std::function<void(QWidget*)>& answer) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        }
    });
    timer->start();
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void aboutBox() {
        TfrmAbout about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About"));
        QCOMPARE(about.Comments->text(),
                 QStringLiteral("Comments : : 영상데이타 저작권 보호를 위한 DCT영역에서의 적응적 워터마킹 방법."));
        QVERIFY(about.Copyright->text().contains(QStringLiteral("Quillfen")));
        QVERIFY(about.Label1->text().contains(QStringLiteral("issue tracker")));
        QVERIFY(about.Label3->text().contains(QStringLiteral("이슈 트래커")));
        QVERIFY(!about.ProgramIcon->pixmap().isNull());
        // Shown twice, closed with OK: the same content, accepted each time.
        const QString before = about.Label3->text();
        for (int i = 0; i < 2; ++i) {
            WhenModal([&](QWidget*) { about.BitBtn1->click(); });
            QCOMPARE(about.exec(), int(QDialog::Accepted));
            QCOMPARE(about.Label3->text(), before);
        }
    }

    void propertiesWindow() {
        TfrmProperties properties;
        QCOMPARE(properties.windowTitle(), QStringLiteral("워터마킹이란?"));
        QCOMPARE(properties.Edit2->text(), QStringLiteral("1. 워터마킹의 개요"));
        QCOMPARE(properties.Edit1->text(), QStringLiteral("2. DCT영역에서 이진 워터마크의 적응적 영상 삽입"));
        for (QLineEdit* heading : {properties.Edit1, properties.Edit2}) QVERIFY(heading->isReadOnly());
        for (QPlainTextEdit* memo : {properties.Memo1, properties.Memo2}) {
            QVERIFY(memo->isReadOnly());
            QVERIFY(memo->toPlainText().size() > 100);
        }
        QVERIFY(properties.Memo1->toPlainText().contains(QStringLiteral("JPEG")));
        QVERIFY(properties.Memo2->toPlainText().contains(QStringLiteral("소유권")));
    }

    void houghDialogTexts() {
        test::RecordingPrompts prompts;
        TfrmParamHough dialog(prompts);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Hough Transform Parameters"));
        QCOMPARE(dialog.GroupBox1->title(), QStringLiteral("Parameter Space"));
        QCOMPARE(dialog.GroupBox2->title(), QStringLiteral("Threshold"));
        QCOMPARE(dialog.rdoBased->title(), QStringLiteral("Based Hough Transform : "));
        QCOMPARE(dialog.Label1->text(), QStringLiteral("Radius :"));
        QCOMPARE(dialog.Label2->text(), QStringLiteral("Theta(Θ) :"));
        QCOMPARE(dialog.Label3->text(), QStringLiteral("Minimum line length :"));
        QCOMPARE(dialog.Label4->text(), QStringLiteral("Gradient magnitude :"));
        QCOMPARE(dialog.Label5->text(), QStringLiteral("Hough Strength :"));
        QVERIFY(dialog.edtRadius->text().isEmpty());
        QVERIFY(dialog.rdoPoint->isChecked());
    }

    void houghDialogStartsFromTheCommandsValues() {
        test::RecordingPrompts prompts;
        TfrmParamHough dialog(prompts);
        WhenModal([&](QWidget*) {
            QCOMPARE(dialog.edtRadius->text(), QStringLiteral("300"));
            QCOMPARE(dialog.edtTheta->text(), QStringLiteral("360"));
            QCOMPARE(dialog.edtHThresh->text(), QStringLiteral("200"));
            dialog.btnOk->click();
        });
        const std::optional<HoughParameters> p = dialog.Ask();
        QVERIFY(p.has_value());
        QCOMPARE(*p, (HoughParameters{300, 360, 10, 10, 200, false}));
    }

    void houghDialogReturnsWhatWasEntered() {
        test::RecordingPrompts prompts;
        TfrmParamHough dialog(prompts);
        WhenModal([&](QWidget*) {
            dialog.edtRadius->setText(QStringLiteral("150"));
            dialog.edtGThresh->setText(QStringLiteral(" 0 "));
            dialog.rdoLine->setChecked(true);
            dialog.btnOk->click();
        });
        const std::optional<HoughParameters> p = dialog.Ask();
        QVERIFY(p.has_value());
        QCOMPARE(*p, (HoughParameters{150, 360, 10, 0, 200, true}));
        QVERIFY(prompts.shown.empty());
    }

    void houghDialogCancelGivesNothing() {
        test::RecordingPrompts prompts;
        TfrmParamHough dialog(prompts);
        WhenModal([&](QWidget*) { dialog.btnCancel->click(); });
        QVERIFY(!dialog.Ask().has_value());
    }

    void houghDialogRefusesBadEntries_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("letters") << 0 << "abc" << "Radius: 'abc' is not a valid integer value";
        QTest::newRow("empty") << 4 << "" << "Hough Strength: '' is not a valid integer value";
        QTest::newRow("fraction") << 2 << "1.5" << "Minimum line length: '1.5' is not a valid integer value";
        QTest::newRow("zero theta") << 1 << "0" << "Theta(Θ): 0 is too small; enter at least 1";
        QTest::newRow("negative threshold") << 3 << "-4" << "Gradient magnitude: -4 is too small; enter at least 0";
    }
    void houghDialogRefusesBadEntries() {
        QFETCH(int, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        test::RecordingPrompts prompts;
        TfrmParamHough dialog(prompts);
        dialog.Fill(HoughParameters{});
        QLineEdit* edits[] = {dialog.edtRadius, dialog.edtTheta, dialog.edtLThresh, dialog.edtGThresh, dialog.edtHThresh};
        edits[field]->setText(text);
        QVERIFY(!dialog.ReadParameters().has_value());
        QCOMPARE(prompts.shown.size(), std::size_t{1});
        QCOMPARE(prompts.shown[0].kind, PromptKind::Warning);
        QCOMPARE(QString::fromStdString(prompts.shown[0].text), message);
        // OK with the bad entry keeps the dialog open.
        dialog.show();
        dialog.accept();
        QVERIFY(dialog.isVisible());
        dialog.reject();
    }

    void messageBoxesHaveTheirKind_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("icon");
        QTest::newRow("plain") << int(PromptKind::Plain) << int(QMessageBox::NoIcon);
        QTest::newRow("information") << int(PromptKind::Information) << int(QMessageBox::Information);
        QTest::newRow("warning") << int(PromptKind::Warning) << int(QMessageBox::Warning);
        QTest::newRow("error") << int(PromptKind::Error) << int(QMessageBox::Critical);
        QTest::newRow("confirmation") << int(PromptKind::Confirmation) << int(QMessageBox::Question);
    }
    void messageBoxesHaveTheirKind() {
        QFETCH(int, kind);
        QFETCH(int, icon);
        GuiPrompts prompts;
        int seenIcon = -1;
        QString seenText;
        int buttons = 0;
        WhenModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box != nullptr);
            seenIcon = box->icon();
            seenText = box->text();
            buttons = static_cast<int>(box->buttons().size());
            box->button(QMessageBox::Ok)->click();
        });
        prompts.show(static_cast<PromptKind>(kind), "입력값 페센티지에 문제가 있습니다");
        QCOMPARE(seenIcon, icon);
        QCOMPARE(seenText, QStringLiteral("입력값 페센티지에 문제가 있습니다"));
        QCOMPARE(buttons, 1);
    }

    // A box opened during a step under the hourglass is answered with the arrow; the
    // hourglass is back when it closes.
    void boxesDuringABusyStepShowTheArrow() {
        GuiPrompts prompts;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        Qt::CursorShape seen = Qt::WaitCursor;
        WhenModal([&](QWidget* modal) {
            seen = QApplication::overrideCursor()->shape();
            static_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click();
        });
        prompts.message("PSNR is infinite value");
        QCOMPARE(seen, Qt::ArrowCursor);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QApplication::restoreOverrideCursor();
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    // The unsaved-changes question names its answers with their keys: Alt+D discards,
    // whatever texts the platform gives its standard buttons.
    void askSaveAnswersByItsKeys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("answer");
        QTest::newRow("Alt+S") << int(Qt::Key_S) << int(SaveAnswer::Save);
        QTest::newRow("Alt+D") << int(Qt::Key_D) << int(SaveAnswer::Discard);
    }
    void askSaveAnswersByItsKeys() {
        QFETCH(int, key);
        QFETCH(int, answer);
        GuiPrompts prompts;
        QStringList texts;
        WhenModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box != nullptr);
            for (QAbstractButton* button : box->buttons()) texts << button->text();
            // Mnemonics are shortcuts of the active window: a box not yet activated (a slow
            // start, the first box of the run) would take the key as nothing.
            box->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(box));
            QTest::keyClick(box, static_cast<Qt::Key>(key), Qt::AltModifier);
            // A key that answered nothing leaves the box open: Esc answers Cancel.
            QTimer::singleShot(200, box, [box] { box->reject(); });
        });
        QCOMPARE(static_cast<int>(prompts.askSave("The picture of 'y.bmp' has changed. Save it before closing?")), answer);
        QVERIFY2(texts.contains(QStringLiteral("&Discard")) && texts.contains(QStringLiteral("&Save")), qPrintable(texts.join(',')));
    }

    // An input box is as wide as its title, which the window manager would otherwise cut.
    void inputBoxShowsItsWholeTitle() {
        GuiPrompts prompts;
        int width = 0;
        int titleWidth = 0;
        WhenModal([&](QWidget* modal) {
            width = modal->width();
            titleWidth = modal->fontMetrics().horizontalAdvance(modal->windowTitle());
            static_cast<QDialog*>(modal)->reject();
        });
        prompts.input("Ends-In Contrast Stretch (percentage of pixels set to 255)", "Upper percentage:", "255");
        QVERIFY2(width > titleWidth + 100, qPrintable(QStringLiteral("%1 %2").arg(width).arg(titleWidth)));
    }

    void inputBoxAnswersOrCancels() {
        GuiPrompts prompts;
        QString caption;
        WhenModal([&](QWidget* modal) {
            auto* box = qobject_cast<QInputDialog*>(modal);
            QVERIFY(box != nullptr);
            caption = box->windowTitle();
            QCOMPARE(box->labelText(), QStringLiteral("Black % :Ex)50"));
            QCOMPARE(box->textValue(), QStringLiteral("0"));
            box->setTextValue(QStringLiteral("50"));
            box->accept();
        });
        QCOMPARE(prompts.input("Threshold by P-tile method", "Black % :Ex)50", "0"), std::optional<std::string>("50"));
        QCOMPARE(caption, QStringLiteral("Threshold by P-tile method"));
        WhenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
        QVERIFY(!prompts.input("Caption", "Prompt", "0").has_value());
    }

    void qtFileDialogReportsTheChosenFilter() {
        test::TempDir dir;
        FileDialogRequest request{QStringLiteral("SaveDlg"), FileDialogKind::Save,
                            QStringLiteral("Bitmap Image File(*.bmp)|*.bmp|Jpeg Image File(*.jpg)|*.jpg|"
                                           "Portable Grayscale Map P5 (*.pgm)|*.pgm"),
                            1, QString::fromStdString(dir.path().string()), QStringLiteral("proposed.bmp")};
        QtFileDialogs dialogs;
        QStringList filters;
        QStringList proposed;
        WhenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog != nullptr);
            proposed = dialog->selectedFiles();
            filters = dialog->nameFilters();
            QCOMPARE(dialog->selectedNameFilter(), filters[0]);
            dialog->selectNameFilter(filters[2]);
            dialog->selectFile(QStringLiteral("result"));
            static_cast<QDialog*>(dialog)->accept();
        });
        const std::optional<FileDialogResult> result = dialogs.Execute(request, nullptr);
        QVERIFY(result.has_value());
        QCOMPARE(result->filterIndex, 3);
        QVERIFY(result->fileName.endsWith(QStringLiteral("/result")));
        QCOMPARE(filters.size(), 3);
        QCOMPARE(proposed.size(), 1);
        QVERIFY(proposed[0].endsWith(QStringLiteral("/proposed.bmp")));  // the name it started with
        WhenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
        QVERIFY(!dialogs.Execute(request, nullptr).has_value());
    }

    void pictureDialogPreviewsTheFile() {
        test::TempDir dir;
        const std::string mark = dir.file("mark.pgm");
        std::filesystem::copy_file(test::SamplePath("seal-128.pgm"), mark);
        FileDialogRequest request{QStringLiteral("OpenPDlg"), FileDialogKind::OpenPicture,
                            QStringLiteral("PortableGrayscaleMap P5(*.pgm)|*.pgm"), 1,
                            QString::fromStdString(dir.path().string()), QString()};
        QtFileDialogs dialogs;
        bool previewed = false;
        WhenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            auto* preview = dialog->findChild<QLabel*>(QStringLiteral("preview"));
            QVERIFY(preview != nullptr);
            emit dialog->currentChanged(QString::fromStdString(mark));
            previewed = !preview->pixmap().isNull();
            emit dialog->currentChanged(QString::fromStdString(dir.file("missing.pgm")));
            QVERIFY(preview->pixmap().isNull());  // an unreadable file shows nothing
            static_cast<QDialog*>(dialog)->reject();
        });
        QVERIFY(!dialogs.Execute(request, nullptr).has_value());
        QVERIFY(previewed);
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
