// What the program remembers between runs and how files reach it: QSettings (the last
// folder, the window's geometry and docks, the recent files), files dropped on the frame or
// named on the command line, and the entries without a command.
#include <memory>

#include <QAction>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "quillfen/io/pgm.h"
#include "quillfen/toolbox/catalogue.h"
#include "tests/test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main_window.h"
#include "ui/mdi_child.h"
#include "ui/results_dock.h"

using namespace quillfen;
using namespace quillfen::ui;
using quillfen::test::RecordingPrompts;
using quillfen::test::ScriptedFileDialogs;
using quillfen::test::TempDir;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QStringList Titles(const QList<QAction*>& actions) {
    QStringList titles;
    for (QAction* a : actions) titles << a->text();
    return titles;
}

}  // namespace

class SettingsTest : public quillfen::test::FrameTest<RecordingPrompts> {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> settingsFolder;

    void NewFrame() {
        frame.reset();
        frame = std::make_unique<TfrmMain>(*prompts, *dialogs);
        frame->show();
    }
    QString WritePicture(const std::string& name) {
        const std::string path = dir->file(name);
        TRixPGM().SaveToFile(path, quillfen::test::Ramp(20, 10));
        return Q(path);
    }
    // Drops `urls` on the frame as a drag from another program would.
    void Drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = frame->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame.get(), &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame.get(), &drop);
        QApplication::processEvents();
    }

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    // Each test starts from settings of its own, empty.
    void init() {
        settingsFolder = std::make_unique<QTemporaryDir>();
        quillfen::test::UseSettingsFolder(settingsFolder->path());
        MakeFrame();
        frame->show();
    }
    void cleanup() {
        QCOMPARE(CloseFrame(), 0);
        quillfen::test::UseSettingsFolder(quillfen::test::TestSettingsFolder().path());
    }

    // The settings live where the test put them: the user's own are never touched.
    void settingsStayInTheTestsFolder() {
        frame->AddRecentFile(QStringLiteral("/nowhere/x.pgm"));
        QCOMPARE(QSettings().fileName().left(settingsFolder->path().size()), settingsFolder->path());
    }

    // The window's size, place and docks come back in the next run.
    void geometryAndDocksAreRemembered() {
        frame->resize(900, 700);
        frame->ResultsList()->hide();
        frame->close();
        NewFrame();
        QCOMPARE(frame->size(), QSize(900, 700));
        QVERIFY(!frame->ResultsList()->isVisible());
        QVERIFY(!Actions().WindowResults1->isChecked());
    }

    // Opened and saved files go to the top of File > Recent Files, each once, at most
    // eight; the list comes back in the next run and opens its files.
    void recentFilesAreKept() {
        QStringList names;
        for (int i = 0; i < 10; ++i) names << WritePicture(QStringLiteral("p%1.pgm").arg(i).toStdString());
        for (const QString& name : names) frame->OpenImageFile(name);
        frame->OpenImageFile(names[3]);  // again: to the top, not twice
        QStringList expected{names[3], names[9], names[8], names[7], names[6], names[5], names[4], names[2]};
        QCOMPARE(frame->RecentFiles(), expected);
        const QString saved = Q(dir->file("saved"));
        dialogs->Answer(saved, 4);
        Actions().FileSaveAs1->trigger();
        expected.prepend(saved + ".pgm");
        expected.removeLast();
        QCOMPARE(frame->RecentFiles(), expected);

        NewFrame();
        QCOMPARE(frame->RecentFiles(), expected);
        const QList<QAction*> items = Actions().mnuRecent->actions();
        QCOMPARE(items.size(), 8);
        QCOMPARE(items[0]->text(), "&1 " + expected[0]);
        items[1]->trigger();
        QCOMPARE(frame->MDIChildCount(), 1);
        QCOMPARE(frame->ActiveDocument()->FileName(), expected[1]);
    }

    // A recent file that has gone since says so and leaves the list.
    void aVanishedRecentFileLeavesTheList() {
        const QString name = WritePicture("gone.pgm");
        frame->OpenImageFile(name);
        Actions().FileClose1->trigger();
        QFile::remove(name);
        Actions().mnuRecent->actions()[0]->trigger();
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].kind, PromptKind::Error);
        QCOMPARE(Q(prompts->shown[0].text), QStringLiteral("Cannot open '%1': the file no longer exists").arg(name));
        QVERIFY(frame->RecentFiles().isEmpty());
        QVERIFY(!Actions().mnuRecent->isEnabled());
    }

    // The dialogs open where the last file was chosen, in this run and the next.
    void lastFolderIsRemembered() {
        const QString name = WritePicture("here.pgm");
        dialogs->Answer(name);
        Actions().FileOpen1->trigger();
        NewFrame();
        dialogs->Cancel();
        Actions().FileOpen1->trigger();
        QCOMPARE(dialogs->asked.back().initialDir, Q(dir->path().string()));
        // A folder that has gone since: the current folder instead.
        QSettings().setValue(QStringLiteral("files/lastFolder"), QStringLiteral("/no/such/folder"));
        NewFrame();
        dialogs->Cancel();
        Actions().FileOpen1->trigger();
        QCOMPARE(dialogs->asked.back().initialDir, QDir::currentPath());
    }

    // Files dropped on the frame open as documents; what cannot be opened says why.
    void droppedFilesOpen() {
        const QString a = WritePicture("a.pgm");
        const QString b = WritePicture("b.pgm");
        Drop({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
        QCOMPARE(frame->MDIChildCount(), 2);
        QCOMPARE(frame->ActiveDocument()->FileName(), b);
        QVERIFY(prompts->shown.empty());

        const std::string broken = dir->file("broken.pgm");
        quillfen::test::WriteBytes(broken, std::string("P5\n9 9\n255\nx"));
        Drop({QUrl::fromLocalFile(Q(broken)), QUrl::fromLocalFile(Q(dir->path().string()))});
        QCOMPARE(frame->MDIChildCount(), 2);
        QCOMPARE(prompts->shown.size(), std::size_t{2});
        QCOMPARE(prompts->shown[0].kind, PromptKind::Warning);
        QCOMPARE(Q(prompts->shown[1].text), QStringLiteral("Cannot open '%1': it is not a file").arg(Q(dir->path().string())));
    }

    // A drag of anything but local files is not taken.
    void onlyLocalFilesAreTaken() {
        QMimeData data;
        data.setUrls({QUrl(QStringLiteral("https://example.org/a.pgm"))});
        QDragEnterEvent enter(frame->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        enter.setDropAction(Qt::IgnoreAction);
        enter.ignore();
        QApplication::sendEvent(frame.get(), &enter);
        QVERIFY(!enter.isAccepted());
        QMimeData text;
        text.setText(QStringLiteral("hello"));
        QDragEnterEvent plain(frame->rect().center(), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        plain.ignore();
        QApplication::sendEvent(frame.get(), &plain);
        QVERIFY(!plain.isAccepted());
    }

    // The names given to the program at start open as dropped files do.
    void namesFromTheCommandLineOpen() {
        const QString a = WritePicture("start.pgm");
        frame->OpenDroppedFiles({a, Q(dir->file("missing.pgm"))});
        QCOMPARE(frame->MDIChildCount(), 1);
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(Q(prompts->shown[0].text),
                 QStringLiteral("Cannot open '%1': there is no such file").arg(Q(dir->file("missing.pgm"))));
    }

    // --results-csv keeps a file up to date with the active document's results.
    void resultsCsvFileFollowsTheResults() {
        // A file that cannot be written is refused at once.
        QVERIFY(!frame->SetResultsCsvFile(Q(dir->file("no-such-folder/results.csv"))));
        const QString csv = Q(dir->file("results.csv"));
        QVERIFY(frame->SetResultsCsvFile(csv));
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("time,step,text\r\n"));
        file.close();
        TMDIChild* doc = frame->OpenImageFile(WritePicture("c.pgm"));
        doc->Action(QStringLiteral("Mean1S"))->trigger();
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), ResultsCsv(doc->Model().Results()));
    }

    // Every entry of the menus either has a command or is shown disabled, saying so; the
    // menus keep every entry.
    void entriesWithoutACommandAreDisabled() {
        TMDIChild* doc = frame->OpenImageFile(WritePicture("d.pgm"));
        int disabled = 0;
        int enabled = 0;
        std::function<void(QMenu*)> walk = [&](QMenu* menu) {
            for (QAction* a : menu->actions()) {
                if (a->isSeparator()) continue;
                if (a->menu() != nullptr) {
                    walk(a->menu());
                    continue;
                }
                if (a->isEnabled()) {
                    ++enabled;
                    // Something answers it: an operation, the histogram window.
                    QVERIFY2(toolbox::FindAction(a->objectName().toStdString()) != nullptr ||
                                 a->objectName() == QStringLiteral("ViewHistogram1H"),
                             qPrintable(a->text()));
                } else {
                    ++disabled;
                    QCOMPARE(a->toolTip(), QStringLiteral("Not available in this version"));
                }
            }
        };
        walk(doc->PopupMenu());
        QCOMPARE(enabled, static_cast<int>(toolbox::Operations().size()) + 1);  // + View Histogram
        QCOMPARE(disabled, 39);
        QVERIFY(doc->PopupMenu()->toolTipsVisible());
        QCOMPARE(Titles(doc->PopupMenu()->actions()).first(), QStringLiteral("Image Size"));
        QAction* show = doc->Menus().last()->findChild<QAction*>(QStringLiteral("mnuShow"));
        QVERIFY(show != nullptr && !show->isEnabled());
    }
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
