// The main frame and the document window: start-up state, menu merging, file commands,
// watermark panels, step marks and the error guard.
#include <cmath>
#include <memory>

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QImage>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include "quillfen/image/errors.h"
#include "quillfen/io/jpeg.h"
#include "quillfen/io/pgm.h"
#include "quillfen/io/picture_files.h"
#include "quillfen/watermark/experiment.h"
#include "tests/test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main_window.h"
#include "ui/mdi_child.h"
#include "ui/picture_view.h"

using namespace quillfen;
using namespace quillfen::ui;
using quillfen::test::RecordingPrompts;
using quillfen::test::ScriptedFileDialogs;
using quillfen::test::TempDir;

namespace {

QStringList Titles(const QList<QAction*>& actions) {
    QStringList titles;
    for (QAction* a : actions) titles << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return titles;
}

QStringList MenuBarTitles(QMainWindow& window) { return Titles(window.menuBar()->actions()); }

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

class MainWindowTest : public quillfen::test::FrameTest<RecordingPrompts> {
    Q_OBJECT

private:

    // Writes a picture file into the scratch folder and returns its name.
    QString WriteFile(const std::string& name, const Bitmap& bitmap, bool eightBit = false) {
        const std::string path = dir->file(name);
        switch (FormatFromFileName(path)) {
        case PictureFormat::Pgm: TRixPGM().SaveToFile(path, bitmap); break;
        case PictureFormat::Jpeg: WriteBytes(path, TRixJPEG::Encode(bitmap)); break;
        default: WriteQtPicture(path, bitmap, eightBit, PictureFormat::Bmp); break;
        }
        return Q(path);
    }
    static void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
        quillfen::test::WriteBytes(path, bytes);
    }

private slots:
    void init() {
        MakeFrame();
        frame->show();
    }
    void cleanup() {
        QCOMPARE(CloseFrame(), 0);  // no window leaked
    }

    void startUpShowsTheFramesOwnState() {
        QCOMPARE(frame->windowTitle(), QStringLiteral("Watermarking Simulator - by tavrenn"));
        // Room for the menus, the panels, a 512 x 512 picture and the Results list, within
        // nine tenths of the screen.
        const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
        QCOMPARE(frame->size(), QSize(1100, 800).boundedTo(QSize(screen.width() * 9 / 10, screen.height() * 9 / 10)));
        QCOMPARE(MenuBarTitles(*frame), (QStringList{"&File", "&Edit", "&Window", "&Options", "&Help"}));
        QCOMPARE(frame->menuBar()->objectName(), QStringLiteral("mainmnuMDI"));
        const QStringList texts{"수행정보출력", "위치정보", "영상 정보", "칼라정보"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(frame->StatusText(i), texts[i]);
            auto* panel = frame->statusBar()->findChild<QLabel*>(QStringLiteral("stsComment%1").arg(i));
            QVERIFY(panel != nullptr);
            QVERIFY(panel->width() >= 120);
        }
        // Panel 0 takes the room the others leave.
        QVERIFY(frame->statusBar()->findChild<QLabel*>(QStringLiteral("stsComment0"))->width() >= 300);
        QCOMPARE(frame->statusBar()->objectName(), QStringLiteral("stsComment"));
        // With no document, the five commands AppIdle governs are off.
        for (QAction* a : {Actions().FileSave1, Actions().FileSaveAs1, Actions().FileClose1, Actions().Undo1, Actions().Redo1,
                           Actions().Property1, Actions().RunEmbedding1, Actions().ZoomIn1, Actions().CancelWork1}) {
            QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
        }
        for (QAction* a : {Actions().PageSetup1, Actions().Print1, Actions().PrintPreview1}) QVERIFY(!a->isEnabled());
        for (QAction* a : {Actions().EditCut1, Actions().EditCopy1, Actions().EditPaste1}) QVERIFY(!a->isVisible());
        QVERIFY(Actions().FileOpen1->isEnabled());
        QVERIFY(Actions().HelpAbout1->isEnabled());
        QCOMPARE(frame->EmbeddedPanel()->contentsRect().size(), QSize(128, 128));
        QCOMPARE(frame->ExtractedPanel()->contentsRect().size(), QSize(128, 128));
        QVERIFY(frame->EmbeddedPanel()->IsEmpty());
        QVERIFY(frame->findChild<QWidget*>(QStringLiteral("pnlWatermarks"))->height() > 130);
        QVERIFY(frame->findChild<QLabel*>(QStringLiteral("lblInstructions"))->text().startsWith(QStringLiteral("★ 워터마킹 작업 순서\n1. File->Open메뉴에서")));
        QCOMPARE(frame->findChild<QLabel*>(QStringLiteral("lblInstructions"))->text().count(QLatin1Char('\n')), 6);
    }

    // The shortcuts work whichever menus the menu bar shows.
    void actionShortcuts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shortcut");
        QTest::newRow("Undo1") << "Undo1" << "Ctrl+Z";
        QTest::newRow("FileOpen1") << "FileOpen1" << "Ctrl+O";
        QTest::newRow("FileSave1") << "FileSave1" << "Ctrl+S";
        QTest::newRow("FileSaveAs1") << "FileSaveAs1" << "Ctrl+Shift+S";
        QTest::newRow("Redo1") << "Redo1" << "Ctrl+Y, Ctrl+Shift+Z";
        QTest::newRow("ZoomIn1") << "ZoomIn1" << "Ctrl++, Ctrl+=";
        QTest::newRow("ZoomOut1") << "ZoomOut1" << "Ctrl+-";
        QTest::newRow("ZoomFit1") << "ZoomFit1" << "Ctrl+F";
        QTest::newRow("ZoomActual1") << "ZoomActual1" << "Ctrl+0";
        QTest::newRow("RunEmbedding1") << "RunEmbedding1" << "Ctrl+E";
        QTest::newRow("RunExtraction1") << "RunExtraction1" << "Ctrl+Shift+E";
        QTest::newRow("RunWholeExperiment1") << "RunWholeExperiment1" << "Ctrl+R";
        QTest::newRow("SetSeed1") << "SetSeed1" << "";
        QTest::newRow("CancelWork1") << "CancelWork1" << "Esc";
        QTest::newRow("FileClose1") << "FileClose1" << "Ctrl+W, Ctrl+F4";
        QTest::newRow("FileExit1") << "FileExit1" << "";
        QTest::newRow("EditCut1") << "EditCut1" << "Ctrl+X";
        QTest::newRow("EditCopy1") << "EditCopy1" << "Ctrl+C";
        QTest::newRow("EditPaste1") << "EditPaste1" << "Ctrl+V";
        QTest::newRow("WindowCascade1") << "WindowCascade1" << "";
        QTest::newRow("WindowTileHorizontal1") << "WindowTileHorizontal1" << "";
        QTest::newRow("WindowTileVertical1") << "WindowTileVertical1" << "";
        QTest::newRow("WindowMinimizeAll1") << "WindowMinimizeAll1" << "";
        QTest::newRow("WindowArrangeAll1") << "WindowArrangeAll1" << "";
        QTest::newRow("HelpAbout1") << "HelpAbout1" << "";
        QTest::newRow("Property1") << "Property1" << "";
        QTest::newRow("PageSetup1") << "PageSetup1" << "";
        QTest::newRow("Print1") << "Print1" << "Ctrl+P";
        QTest::newRow("PrintPreview1") << "PrintPreview1" << "";
    }
    void actionShortcuts() {
        QFETCH(QString, name);
        QFETCH(QString, shortcut);
        QAction* action = nullptr;
        for (QAction* a : Actions().actlstMenu) {
            if (a->objectName() == name) action = a;
        }
        QVERIFY(action != nullptr);
        QStringList keys;
        for (const QKeySequence& key : action->shortcuts()) keys << key.toString();
        QCOMPARE(keys.join(QStringLiteral(", ")), shortcut);
    }

    void framesMenusAndToolBarAreInOrder() {
        QCOMPARE(Titles(frame->FrameMenus()[0]->actions()),
                 (QStringList{"&Open Image", "&Save", "Save &As...", "Recent &Files", "&Close", "-", "Page S&etup",
                              "Print Pre&view", "&Print", "-", "E&xit"}));
        QCOMPARE(Titles(frame->FrameMenus()[1]->actions()), (QStringList{"Undo", "Redo", "-", "Cu&t", "&Copy", "&Paste"}));
        QCOMPARE(Titles(frame->FrameMenus()[2]->actions()), (QStringList{"&Cascade", "Tile &Horizontally", "Tile &Vertically",
                                                                   "&Minimize All", "&Arrange All", "-", "&Results",
                  "R&obustness..."}));
        QCOMPARE(Titles(frame->FrameMenus()[3]->actions()), (QStringList{"&Language"}));
        QCOMPARE(Titles(frame->FrameMenus()[4]->actions()), (QStringList{"Property", "&About..."}));
        QStringList buttons;
        for (QAction* a : frame->findChild<QToolBar*>(QStringLiteral("ToolBar1"))->actions()) {
            buttons << (a->isSeparator() ? QStringLiteral("-") : a->iconText() + (a->isVisible() ? "" : "(hidden)"));
        }
        QCOMPARE(buttons, (QStringList{"Open Image", "Save(hidden)", "-", "Cut(hidden)", "Copy(hidden)", "Paste(hidden)",
                                       "-", "Undo(hidden)", "-", "Cascade", "Tile Horizontally", "Tile Vertically", "-",
                                       "Print Preview", "-", "Property", "-", "About"}));
        QCOMPARE(Actions().Property1->toolTip(), QStringLiteral("워터마킹이란?"));
        QCOMPARE(Titles(frame->WatermarkMenu()->actions()), (QStringList{"LoadFromFile", "SaveToFile", "Clear"}));
        QVERIFY(!Actions().pmuSaveToFile->isEnabled());
    }

    // Each filter names its format once, and the open dialogs start at "All pictures".
    void fileDialogsCarryTheirFilters() {
        const QStringList pictures{"Bitmap (*.bmp)", "PNG (*.png)", "JPEG (*.jpg *.jpeg)", "PGM (*.pgm)"};
        QCOMPARE(ToQtNameFilters(frame->Dialogs().openDlg.filter),
                 pictures + QStringList{"All pictures (*.bmp *.png *.jpg *.jpeg *.pgm)"});
        QCOMPARE(frame->Dialogs().OpenPDlg.filter, frame->Dialogs().openDlg.filter);
        QCOMPARE(ToQtNameFilters(frame->Dialogs().SaveDlg.filter), pictures);
        QCOMPARE(ToQtNameFilters(frame->Dialogs().SavePDlg.filter), QStringList{"Bitmap (*.bmp)"});
        QCOMPARE(frame->Dialogs().openDlg.filterIndex, 5);
        QCOMPARE(frame->Dialogs().OpenPDlg.filterIndex, 5);
        // The first dialog opens in the current folder; the chosen filter is kept.
        dialogs->Answer(dir->path().c_str() + QStringLiteral("/nothing.bmp"), 3);
        Actions().FileOpen1->trigger();
        QCOMPARE(dialogs->asked.size(), std::size_t{1});
        QCOMPARE(dialogs->asked[0].name, QStringLiteral("openDlg"));
        QCOMPARE(dialogs->asked[0].initialDir, QDir::currentPath());
        QCOMPARE(frame->Dialogs().openDlg.filterIndex, 3);
        QCOMPARE(frame->MDIChildCount(), 0);  // a name that does not exist opens nothing
        QVERIFY(prompts->shown.empty());
        // Every later dialog, of any kind, opens where the last file was chosen.
        dialogs->Cancel();
        Actions().FileOpen1->trigger();
        QCOMPARE(dialogs->asked[1].initialDir, QString::fromStdString(dir->path().string()));
    }

    void menusFollowTheActiveDocument() {
        const QString a = WriteFile("a.bmp", quillfen::test::Ramp(40, 30));
        const QString b = WriteFile("b.pgm", quillfen::test::Ramp(20, 10));
        const QStringList frameMenus{"&File", "&Edit", "&Window", "&Options", "&Help"};
        // Options and Help stay beside a document's own menus.
        const QStringList documentMenus{"&File",         "&Edit",           "&View", "Watermark Embedment",
                                        "Image Processing", "Watermark Extraction", "&Window", "&Options", "&Help"};

        TMDIChild* first = frame->OpenImageFile(a);
        QVERIFY(first != nullptr);
        QCOMPARE(frame->ActiveDocument(), first);
        QCOMPARE(MenuBarTitles(*frame), documentMenus);
        QCOMPARE(frame->menuBar()->actions()[1], first->Menus()[1]->menuAction());
        for (QAction* act : {Actions().FileSave1, Actions().FileSaveAs1, Actions().FileClose1, Actions().Property1}) {
            QVERIFY(act->isEnabled());
        }
        QVERIFY(!Actions().Undo1->isEnabled());
        // The document's File, Edit, View and Window items are the frame's own actions, so
        // Undo and Redo stay in the menu bar while a document is open.
        QCOMPARE(first->Menus()[0]->actions(),
                 (QList<QAction*>{Actions().FileOpen1, Actions().FileSave1, Actions().FileSaveAs1, Actions().mnuRecent->menuAction(),
                                  Actions().FileClose1, first->Menus()[0]->actions()[5], Actions().Print1,
                                  Actions().PageSetup1, first->Menus()[0]->actions()[8], Actions().FileExit1}));
        QCOMPARE(first->Menus()[1]->actions(), (QList<QAction*>{Actions().Undo1, Actions().Redo1}));
        QCOMPARE(first->Menus()[2]->actions(),
                 (QList<QAction*>{Actions().ZoomIn1, Actions().ZoomOut1, Actions().ZoomFit1, Actions().ZoomActual1}));
        QCOMPARE(Titles(first->Menus()[6]->actions()),
                 (QStringList{"Tile &Horizontally", "Tile &Vertically", "&Cascade", "&Arrange All", "-",
                              "&Minimize All", "&Show...", "-", "&Results",
                  "R&obustness..."}));

        TMDIChild* second = frame->OpenImageFile(b);
        QCOMPARE(frame->MDIChildCount(), 2);
        QCOMPARE(frame->menuBar()->actions()[1], second->Menus()[1]->menuAction());
        emit second->Menus()[6]->aboutToShow();
        const QStringList withList = Titles(second->Menus()[6]->actions());
        // The documents by their names; the whole file names are their tooltips.
        QCOMPARE(withList.mid(10), (QStringList{"-", "&1 a.bmp", "&2 b.pgm"}));
        QCOMPARE(first->windowTitle(), QStringLiteral("a.bmp[*]"));
        QCOMPARE(first->toolTip(), a);
        emit second->Menus()[6]->aboutToShow();  // listing again does not grow the menu
        QCOMPARE(Titles(second->Menus()[6]->actions()), withList);
        emit frame->FrameMenus()[2]->aboutToShow();
        QCOMPARE(Titles(frame->FrameMenus()[2]->actions()).size(), 8 + 3);

        frame->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(first->parentWidget()));
        QCOMPARE(frame->menuBar()->actions()[1], first->Menus()[1]->menuAction());

        Actions().FileClose1->trigger();  // closes the first
        quillfen::test::ProcessDeferredDeletes();
        QCOMPARE(frame->MDIChildCount(), 1);
        QCOMPARE(frame->menuBar()->actions()[1], second->Menus()[1]->menuAction());
        QVERIFY(Actions().FileSave1->isEnabled());

        Actions().FileClose1->trigger();
        quillfen::test::ProcessDeferredDeletes();
        QCOMPARE(frame->MDIChildCount(), 0);
        QCOMPARE(MenuBarTitles(*frame), frameMenus);
        for (QAction* act : {Actions().FileSave1, Actions().FileSaveAs1, Actions().FileClose1, Actions().Undo1, Actions().Property1}) {
            QVERIFY(!act->isEnabled());
        }
    }

    void openedDocumentShowsItsPicture() {
        const Bitmap picture = quillfen::test::Ramp(37, 23);
        const QString name = WriteFile("photo.bmp", picture);
        TMDIChild* doc = frame->OpenImageFile(name);
        QCOMPARE(doc->FileName(), name);
        QCOMPARE(doc->toolTip(), name);
        QVERIFY(doc->Picture() == picture);
        const auto* imgFile = doc->findChild<PictureView*>(QStringLiteral("imgFile"));
        QCOMPARE(imgFile->size(), QSize(37, 23));
        QCOMPARE(doc->size(), QSize(37, 23));  // the client area is the picture's size
        QCOMPARE(imgFile->pos(), QPoint(0, 0));
        QCOMPARE(doc->Model().Image().GetWidth(), 37);
        QCOMPARE(doc->Model().Image().Pixel(5, 7), picture.blue(5, 7));
        QCOMPARE(doc->Model().Format(), PixelFormat::Bit24);
        QVERIFY(quillfen::test::CheckedSteps(*doc).isEmpty());
    }

    // The reader follows the file name's own extension, whatever its case and whatever the
    // folder names contain.
    void readerFollowsTheExtension_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("format");  // 8 or 24
        QTest::newRow("upper-case JPG") << "PHOTO.JPG" << 24;
        QTest::newRow("upper-case BMP") << "scan.BMP" << 24;
        QTest::newRow("jpeg") << "x.jpeg" << 24;
        QTest::newRow("pgm in a .bmp folder") << "x.bmp.d/x.pgm" << 8;
        QTest::newRow("Pgm") << "gray.Pgm" << 8;
    }
    void readerFollowsTheExtension() {
        QFETCH(QString, name);
        QFETCH(int, format);
        std::filesystem::create_directories(dir->path() / "x.bmp.d");
        const Bitmap picture = quillfen::test::Ramp(16, 16);
        const QString path = WriteFile(name.toStdString(), picture);
        TMDIChild* doc = frame->OpenImageFile(path);
        QVERIFY(prompts->shown.empty());
        QCOMPARE(doc->Picture().width(), 16);
        QCOMPARE(doc->Model().Format(), format == 8 ? PixelFormat::Bit8 : PixelFormat::Bit24);
        if (format == 8) QVERIFY(doc->Picture() == picture);
    }

    // A file the readers refuse opens no window, and the warning says why.
    void unreadableFilesOpenNoWindow_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("broken jpeg") << "bad.jpg" << QByteArray("\xff\xd8\xff not really");
        QTest::newRow("broken bmp") << "bad.bmp" << QByteArray("BM nothing");
        QTest::newRow("unknown extension") << "notes.txt" << QByteArray("hello");
        QTest::newRow("broken pgm") << "bad.pgm" << QByteArray("P2\n2 2\n255\n1 2 3 4\n");
        QTest::newRow("broken png") << "bad.png" << QByteArray("\x89PNG\r\n\x1a\n");
    }
    void unreadableFilesOpenNoWindow() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        TMDIChild* good = frame->OpenImageFile(Q(quillfen::test::SamplePath("seal-128.pgm")));
        const std::string path = dir->file(name.toStdString());
        quillfen::test::WriteBytes(path, std::string(content.constData(), static_cast<std::size_t>(content.size())));
        TMDIChild* opened = nullptr;
        frame->Run([&] { opened = frame->OpenImageFile(Q(path)); });
        QVERIFY(opened == nullptr);
        QCOMPARE(frame->MDIChildCount(), 1);
        QCOMPARE(frame->ActiveDocument(), good);
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].kind, PromptKind::Warning);
        QVERIFY(!frame->RecentFiles().contains(Q(path)));
    }

    // Save As: the format follows the chosen filter; the extension is added when missing.
    void saveAsWritesTheChosenFormat_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("written");
        QTest::newRow("bitmap") << "result" << 1 << "result.bmp";
        QTest::newRow("png") << "result" << 2 << "result.png";
        QTest::newRow("jpeg") << "result" << 3 << "result.jpg";
        QTest::newRow("pgm") << "result" << 4 << "result.pgm";
        QTest::newRow("upper-case BMP kept") << "out.BMP" << 1 << "out.BMP";
        QTest::newRow("upper-case PNG kept") << "out.PNG" << 2 << "out.PNG";
        // A typed picture extension says the format, whatever the filter.
        QTest::newRow("pgm filter with bmp name") << "x.bmp" << 4 << "x.bmp";
        QTest::newRow("pgm filter with png name") << "big_saved.png" << 4 << "big_saved.png";
        QTest::newRow("bitmap filter with jpeg name") << "photo.JPEG" << 1 << "photo.JPEG";
        QTest::newRow("png filter, another extension") << "notes.v2" << 2 << "notes.v2.png";
    }
    void saveAsWritesTheChosenFormat() {
        QFETCH(QString, typed);
        QFETCH(int, filter);
        QFETCH(QString, written);
        const Bitmap picture = quillfen::test::Ramp(24, 16);
        TMDIChild* doc = frame->OpenImageFile(WriteFile("source.bmp", picture));
        dialogs->Answer(Q(dir->file(typed.toStdString())), filter);
        Actions().FileSaveAs1->trigger();
        // The document is now the file written: its caption, and where Save writes.
        QCOMPARE(doc->FileName(), Q(dir->file(written.toStdString())));
        QCOMPARE(doc->toolTip(), doc->FileName());
        QVERIFY2(prompts->shown.empty(), prompts->shown.empty() ? "" : prompts->shown[0].text.c_str());
        QCOMPARE(dialogs->asked.back().name, QStringLiteral("SaveDlg"));
        std::vector<std::string> expected{"source.bmp", written.toStdString()};
        std::sort(expected.begin(), expected.end());
        QCOMPARE(dir->listing(), expected);
        // The file is of the format its name says: its first bytes.
        const std::string path = dir->file(written.toStdString());
        const PictureFormat format = FormatFromFileName(path);
        const std::vector<std::uint8_t> bytes = quillfen::test::ReadBytes(path);
        const std::string magic(bytes.begin(), bytes.begin() + 4);
        switch (format) {
        case PictureFormat::Bmp: QCOMPARE(magic.substr(0, 2), std::string("BM")); break;
        case PictureFormat::Png: QCOMPARE(magic, std::string("\x89PNG")); break;
        case PictureFormat::Pgm: QCOMPARE(magic.substr(0, 2), std::string("P5")); break;
        case PictureFormat::Jpeg: QCOMPARE(magic.substr(0, 2), std::string("\xff\xd8")); break;
        case PictureFormat::Unknown: QFAIL("no picture extension"); break;
        }
        const LoadedPicture back = LoadPictureFile(path);
        QCOMPARE(back.bitmap.width(), 24);
        if (format != PictureFormat::Jpeg) QVERIFY(back.bitmap == picture);
    }

    // Each panel draws the whole 128 x 128 plane inside its frame, the window maximized too:
    // its last row and column are on screen.
    void panelsShowTheWholeMark() {
        TMDIChild* doc = frame->OpenImageFile(Q(quillfen::test::SamplePath("camera-256.pgm")));
        LoadAndExtract(doc);
        frame->showMaximized();
        QApplication::processEvents();
        for (PictureView* panel : {frame->EmbeddedPanel(), frame->ExtractedPanel()}) {
            QCOMPARE(panel->contentsRect().size(), QSize(128, 128));
            QCOMPARE(panel->visibleRegion().boundingRect(), panel->rect());
            const QImage drawn = panel->grab().toImage();
            const QPoint corner = panel->contentsRect().bottomRight();
            QCOMPARE(qBlue(drawn.pixel(corner)), static_cast<int>(panel->Picture().blue(127, 127)));
        }
    }

    // Save As starts at the document's own name, folder and format, whatever was chosen last.
    void saveAsProposesTheDocumentsNameAndFormat() {
        TMDIChild* doc = frame->OpenImageFile(WriteFile("first.png", quillfen::test::Ramp(24, 16)));
        dialogs->Answer(Q(dir->file("copy")), 1);  // the bitmap filter chosen last
        Actions().FileSaveAs1->trigger();
        QCOMPARE(dialogs->asked.back().proposedName, QStringLiteral("first.png"));
        QCOMPARE(dialogs->asked.back().filterIndex, 2);
        frame->OpenImageFile(WriteFile("second.pgm", quillfen::test::Ramp(24, 16), true));
        dialogs->Cancel();
        Actions().FileSaveAs1->trigger();
        QCOMPARE(dialogs->asked.back().proposedName, QStringLiteral("second.pgm"));
        QCOMPARE(dialogs->asked.back().filterIndex, 4);
        QCOMPARE(QFileInfo(dialogs->asked.back().initialDir).canonicalFilePath(),
                 QFileInfo(Q(dir->path().string())).canonicalFilePath());
        QCOMPARE(doc->FileName(), Q(dir->file("copy.bmp")));
    }

    // Open, save in each format, open again: the pixels survive (JPEG within its loss), and an
    // 8-bit document stays 8-bit.
    void roundTrips_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("sourceEightBit");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("expectedDepth");  // of a written bitmap; 0 when not a bitmap
        QTest::newRow("pgm to pgm") << "in.pgm" << true << 4 << "out.pgm" << 0;
        QTest::newRow("pgm to bmp (8-bit palette)") << "in.pgm" << true << 1 << "out.bmp" << 8;
        QTest::newRow("pgm to png (8-bit gray)") << "in.pgm" << true << 2 << "out.png" << 8;
        QTest::newRow("8-bit bmp to pgm") << "in.bmp" << true << 4 << "out.pgm" << 0;
        QTest::newRow("8-bit bmp to bmp") << "in.bmp" << true << 1 << "out.bmp" << 8;
        QTest::newRow("24-bit bmp to bmp") << "in.bmp" << false << 1 << "out.bmp" << 24;
        QTest::newRow("24-bit bmp to jpeg") << "in.bmp" << false << 3 << "out.jpg" << 0;
        QTest::newRow("jpeg to pgm") << "in.jpg" << false << 4 << "out.pgm" << 0;
    }
    void roundTrips() {
        QFETCH(QString, source);
        QFETCH(bool, sourceEightBit);
        QFETCH(int, filter);
        QFETCH(QString, target);
        QFETCH(int, expectedDepth);
        const Bitmap picture = quillfen::test::Ramp(32, 24);
        TMDIChild* doc = frame->OpenImageFile(WriteFile(source.toStdString(), picture, sourceEightBit));
        QCOMPARE(doc->Model().Format(), sourceEightBit ? PixelFormat::Bit8 : PixelFormat::Bit24);
        const Bitmap shown = doc->Picture();  // a JPEG source already lost a little
        const QString out = Q(dir->file(target.toStdString()));
        dialogs->Answer(out, filter);
        Actions().FileSaveAs1->trigger();
        QVERIFY(prompts->shown.empty());
        if (expectedDepth != 0) QCOMPARE(QImage(out).depth() == 8 ? 8 : 24, expectedDepth);
        TMDIChild* reopened = frame->OpenImageFile(out);
        QCOMPARE(reopened->Picture().width(), 32);
        if (filter == 3) {
            int worst = 0;
            for (int y = 0; y < 24; ++y) {
                for (int x = 0; x < 32; ++x) worst = std::max(worst, std::abs(reopened->Picture().blue(x, y) - shown.blue(x, y)));
            }
            QVERIFY2(worst < 40, qPrintable(QString::number(worst)));
        } else {
            QVERIFY(reopened->Picture() == shown);
        }
    }

    // New documents open within the workspace, a large one zoomed to fit; many documents
    // never march off it; Zoom to Fit and Cascade keep every window inside, title bar and all.
    void documentsStayWithinTheWorkspace() {
        const QString large = WriteFile("large.pgm", quillfen::test::Ramp(1800, 1500));
        const QString small = WriteFile("small.pgm", quillfen::test::Ramp(60, 40));
        const QRect workspace = frame->MdiArea()->viewport()->rect();
        const auto inside = [&](const TMDIChild* doc) {
            return workspace.contains(doc->parentWidget()->geometry());
        };
        TMDIChild* big = frame->OpenImageFile(large);
        QVERIFY(inside(big));
        QVERIFY(big->Zoom() < 1.0);
        QCOMPARE(big->View()->width(), static_cast<int>(std::floor(1800 * big->Zoom())));
        for (int i = 0; i < 12; ++i) QVERIFY(inside(frame->OpenImageFile(small)));
        TMDIChild* last = frame->ActiveDocument();
        QCOMPARE(last->Zoom(), 1.0);
        frame->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(big->parentWidget()));
        big->SetZoom(1.0);
        Actions().ZoomFit1->trigger();
        QVERIFY(big->Zoom() < 1.0);
        QVERIFY(inside(big));
        Actions().WindowCascade1->trigger();
        for (const TMDIChild* doc : frame->Documents()) {
            QVERIFY(doc->parentWidget()->width() >= 160);
            QVERIFY(workspace.contains(doc->parentWidget()->geometry().topLeft()));
        }
    }

    // A new document zoomed out to fit a small workspace (the frame not yet maximized) takes
    // the room it is given when the workspace grows, up to 1:1; a zoom the user chose stays.
    void newDocumentsFollowTheWorkspace() {
        frame->resize(640, 480);
        QApplication::processEvents();
        TMDIChild* doc = frame->OpenImageFile(Q(quillfen::test::SamplePath("camera-256.pgm")));
        QVERIFY(doc->Zoom() < 1.0);
        frame->resize(1200, 1000);
        QApplication::processEvents();
        QCOMPARE(doc->Zoom(), 1.0);
        QCOMPARE(doc->View()->size(), QSize(256, 256));
        QVERIFY(frame->MdiArea()->viewport()->rect().contains(doc->parentWidget()->geometry()));
        frame->resize(640, 480);
        QApplication::processEvents();
        TMDIChild* zoomed = frame->OpenImageFile(Q(quillfen::test::SamplePath("camera-256.pgm")));
        QVERIFY(zoomed->Zoom() < 1.0);
        Actions().ZoomOut1->trigger();
        const double chosen = zoomed->Zoom();
        frame->resize(1200, 1000);
        QApplication::processEvents();
        QCOMPARE(zoomed->Zoom(), chosen);
    }

    // The steps' views are views: Save writes the document's picture (opened, plus the
    // toolbox's commands), never the plane a step shows, and the steps leave the document
    // unmodified.
    void saveWritesThePictureNeverAStepsView() {
        const Bitmap ramp = quillfen::test::Ramp(300, 300);
        const QString name = WriteFile("doc.pgm", ramp);
        TMDIChild* doc = frame->OpenImageFile(name);
        // A step view: after "Get Yr" the document shows a 128 x 128 plane.
        dialogs->Answer(Q(quillfen::test::SamplePath("seal-128.pgm")));
        for (const Step step : {Step::LoadWatermark, Step::GetWr, Step::GetWa, Step::GetY, Step::GetYr})
            doc->StepAction(step)->trigger();
        QCOMPARE(doc->Picture().width(), 128);
        QVERIFY(!doc->Modified());
        QVERIFY(doc->Model().Picture() == ramp);
        Actions().FileSave1->trigger();
        QCOMPARE(dialogs->asked.size(), std::size_t{1});  // the watermark's only
        Bitmap back;
        TRixPGM().LoadFromFile(name.toStdString(), back);
        QVERIFY(back == ramp);
        // A toolbox command changes the picture itself, and Save writes that.
        doc->Action(QStringLiteral("Inverse1E"))->trigger();
        QVERIFY(doc->Modified());
        QCOMPARE(doc->Picture().width(), 300);
        Actions().FileSave1->trigger();
        TRixPGM().LoadFromFile(name.toStdString(), back);
        QCOMPARE(back.blue(0, 0), static_cast<std::uint8_t>(255 - ramp.blue(0, 0)));
        QVERIFY(!doc->Modified());
    }

    // Save after Save As writes the new file and leaves the first one as it was.
    void saveAfterSaveAsWritesTheNewFile() {
        const QString first = WriteFile("first.pgm", quillfen::test::Ramp(20, 10));
        TMDIChild* doc = frame->OpenImageFile(first);
        const QString second = Q(dir->file("second"));
        dialogs->Answer(second, 4);
        Actions().FileSaveAs1->trigger();
        QCOMPARE(doc->FileName(), second + ".pgm");
        doc->Action(QStringLiteral("Inverse1E"))->trigger();
        Actions().FileSave1->trigger();
        QCOMPARE(dialogs->asked.size(), std::size_t{1});
        Bitmap back;
        TRixPGM().LoadFromFile((second + ".pgm").toStdString(), back);
        QVERIFY(back == doc->Picture());
        TRixPGM().LoadFromFile(first.toStdString(), back);
        QVERIFY(back == quillfen::test::Ramp(20, 10));
        QVERIFY(!doc->Modified());
    }

    void saveOfAVanishedFileAsksForAName() {
        const QString name = WriteFile("gone.bmp", quillfen::test::Ramp(8, 8));
        frame->OpenImageFile(name);
        QFile::remove(name);
        dialogs->Answer(Q(dir->file("kept")), 4);
        Actions().FileSave1->trigger();
        QCOMPARE(dialogs->asked.back().name, QStringLiteral("SaveDlg"));
        QVERIFY(QFile::exists(Q(dir->file("kept.pgm"))));
    }

    void watermarkLoadUsesTheActiveDocument() {
        // Without a document the frame refuses.
        frame->pmuLoadFromFileClick();
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].text, std::string("워터마킹 대상 이미지를 먼저 로딩하세요"));

        TMDIChild* doc = frame->OpenImageFile(Q(quillfen::test::SamplePath("camera-512.bmp")));
        QCOMPARE(doc->Picture().width(), 512);
        const QString mark = Q(quillfen::test::SamplePath("seal-128.bmp"));
        dialogs->Answer(mark);
        frame->pmuLoadFromFileClick();
        QCOMPARE(dialogs->asked.back().name, QStringLiteral("OpenPDlg"));
        // The document now shows the top-left 256 x 256 part, which is X.
        QCOMPARE(doc->Picture().width(), 256);
        QCOMPARE(doc->Picture().height(), 256);
        QCOMPARE(doc->Model().GetExperiment().Workspace().X()[255], doc->Picture().blue(255, 0));
        QVERIFY(doc->StepAction(Step::LoadWatermark)->isChecked());
        QCOMPARE(frame->StatusText(0), QStringLiteral("Watermark image[0] is loaded ") + mark);
        QVERIFY(!frame->EmbeddedPanel()->IsEmpty());
        QVERIFY(frame->EmbeddedPanel()->Picture() == doc->Model().Watermark());

        // Cancelling the dialog empties the panel.
        dialogs->Cancel();
        frame->pmuLoadFromFileClick();
        QVERIFY(frame->EmbeddedPanel()->IsEmpty());
    }

    // JPEG and PGM watermarks are decoded into the panel and into W, and a small picture is
    // extended with white to 128 x 128.
    void watermarkFilesOfEveryFormat_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("pgm") << "mark.pgm";
        QTest::newRow("bmp") << "mark.bmp";
        QTest::newRow("jpeg") << "mark.JPG";
    }
    void watermarkFilesOfEveryFormat() {
        QFETCH(QString, name);
        Bitmap mark(100, 90, 255);
        for (int y = 10; y < 60; ++y) {
            for (int x = 20; x < 70; ++x) mark.setGray(x, y, 0);
        }
        const QString markFile = WriteFile(name.toStdString(), mark);
        TMDIChild* doc = frame->OpenImageFile(Q(quillfen::test::SamplePath("camera-256.pgm")));
        dialogs->Answer(markFile);
        frame->pmuLoadFromFileClick();
        QVERIFY(prompts->shown.empty());
        QCOMPARE(frame->EmbeddedPanel()->Picture().width(), 128);
        const std::vector<std::uint8_t>& w = doc->Model().GetExperiment().Workspace().W();
        QVERIFY(w[30 * 128 + 40] < 40);    // inside the black square
        QVERIFY(w[5 * 128 + 5] > 215);     // outside it
        QCOMPARE(static_cast<int>(w[120 * 128 + 120]), 255);  // the white extension
        QCOMPARE(frame->EmbeddedPanel()->Picture().blue(40, 30), w[30 * 128 + 40]);
    }

    void unreadableWatermarkReachesTheErrorReport() {
        TMDIChild* doc = frame->OpenImageFile(Q(quillfen::test::SamplePath("camera-256.pgm")));
        const std::string bad = dir->file("bad.pgm");
        quillfen::test::WriteBytes(bad, std::string("P5\n4 4\n255\nxx"));
        dialogs->Answer(Q(bad));
        doc->StepAction(Step::LoadWatermark)->trigger();
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].kind, PromptKind::Error);
        QVERIFY(!doc->StepAction(Step::LoadWatermark)->isChecked());
        QCOMPARE(doc->Picture().width(), 256);
        QCOMPARE(frame->StatusText(0), QStringLiteral("수행정보출력"));
    }

    void loadWatermarkCommand() {
        TMDIChild* doc = frame->OpenImageFile(Q(quillfen::test::SamplePath("camera-256.pgm")));
        dialogs->Answer(Q(quillfen::test::SamplePath("seal-128.pgm")));
        doc->StepAction(Step::LoadWatermark)->trigger();
        doc->StepAction(Step::GetWr)->trigger();
        QCOMPARE(quillfen::test::CheckedSteps(*doc), (QStringList{"actLoadW", "actGetWr"}));
        dialogs->Answer(Q(quillfen::test::SamplePath("seal-128.pgm")));
        doc->StepAction(Step::LoadWatermark)->trigger();
        QCOMPARE(quillfen::test::CheckedSteps(*doc), QStringList{"actLoadW"});  // every other mark is cleared
        QCOMPARE(frame->StatusText(0), QStringLiteral("Loaded watermark image."));
        // Cancelled: the report is the same, every mark is gone and the panel is empty.
        dialogs->Cancel();
        doc->StepAction(Step::LoadWatermark)->trigger();
        QVERIFY(quillfen::test::CheckedSteps(*doc).isEmpty());
        QVERIFY(frame->EmbeddedPanel()->IsEmpty());
        QCOMPARE(frame->StatusText(0), QStringLiteral("Loaded watermark image."));
    }

    // The marks show what the document's experiment has run: a refused step stays clear.
    void stepMarksShowTheExperiment() {
        TMDIChild* doc = frame->OpenImageFile(Q(quillfen::test::SamplePath("camera-256.pgm")));
        for (const StepInfo& info : Experiment::Steps()) QVERIFY(doc->StepAction(info.step)->isCheckable());
        doc->StepAction(Step::GetWr)->trigger();  // refused on a fresh document: its mark stays clear
        QVERIFY(quillfen::test::CheckedSteps(*doc).isEmpty());
        dialogs->Answer(Q(quillfen::test::SamplePath("seal-128.pgm")));
        doc->StepAction(Step::LoadWatermark)->trigger();
        doc->StepAction(Step::GetWr)->trigger();
        doc->StepAction(Step::GetY)->trigger();  // refused: Get Wa has not run
        QCOMPARE(quillfen::test::CheckedSteps(*doc), (QStringList{"actLoadW", "actGetWr"}));
    }

    void watermarkMenusAreInOrder() {
        TMDIChild* doc = frame->OpenImageFile(Q(quillfen::test::SamplePath("camera-256.pgm")));
        QCOMPARE(Titles(doc->Menus()[3]->actions()),
                 (QStringList{"Load Watermark (W)", "-", "Get Wr ( Pseudo Random)", "Get Wa ( Adaptive )", "-",
                              "Get Y ( = FDCT(X) )", "Get Yr ( = Reduce Y)", "Get P ( = Polarity Yr )",
                              "Get P_hat ( = XOR(P, Wa) )", "Get Yr_hat ( = Expand P_hat )",
                              "Get Y_hat ( = Map Yr_hat to Y_hat )", "Get X_hat ( = IDCT (Y_hat) )", "-",
                              "Get PSNR,  Difference Between  X and X_hat", "Save X_hat to Bitmap File", "-",
                              "Save &Key...", "Save Watermarked &Image...", "-", "Set &Seed...", "Run &Embedding", "Run &Whole Experiment"}));
        QVERIFY(!doc->StepAction(Step::SaveX_hat)->isVisible());
        QCOMPARE(Titles(doc->Menus()[4]->actions()),
                 (QStringList{"No Attack to X_hat", "-", "Apply Jpeg to X_hat", "Apply Blurring to X_hat",
                              "Apply Cropping to X_hat with Zero Quarter", "Apply Cropping to X_hat with Image quarter",
                              "Apply Cropping to X_hat with Zero Half", "Apply Cropping to X_hat with Image Half", "-",
                              "Load &Attacked Image..."}));
        QCOMPARE(Titles(doc->Menus()[5]->actions()),
                 (QStringList{"Get Y ( = FDCT(X_wave) )", "Get Yr_wave ( = Reduce (Y_wave) )",
                              "Get P_wave ( =  Polarity( Yr_wave) )", "Get Wa_wave ( = XOR(P, P_wave) )",
                              "Get Wr_wave ( reverse adaptive )", "Get W_wave ( reverse random number )", "-",
                              "Get Normalized Correlation", "Save W_wave to File", "-", "Run E&xtraction"}));
        QVERIFY(!doc->StepAction(Step::SaveW_wave)->isVisible());
    }

    // Load a watermark into `doc` and run Get Wr.
    void LoadAndScatter(TMDIChild* doc) {
        dialogs->Answer(Q(quillfen::test::SamplePath("seal-128.pgm")));
        doc->StepAction(Step::LoadWatermark)->trigger();
        doc->StepAction(Step::GetWr)->trigger();
    }
    // The watermark loaded and a whole experiment run: both panels show a mark.
    void LoadAndExtract(TMDIChild* doc) {
        LoadAndScatter(doc);
        Actions().RunWholeExperiment1->trigger();
    }

    void clearUnmarksTheActiveDocumentOnly() {
        TMDIChild* first = frame->OpenImageFile(Q(quillfen::test::SamplePath("camera-256.pgm")));
        LoadAndScatter(first);
        TMDIChild* second = frame->OpenImageFile(Q(quillfen::test::SamplePath("camera-512.bmp")));
        LoadAndExtract(second);
        QVERIFY(!frame->EmbeddedPanel()->IsEmpty() && !frame->ExtractedPanel()->IsEmpty());
        frame->SetPopupComponent(frame->ExtractedPanel());
        Actions().pmuClear->trigger();
        QVERIFY(frame->ExtractedPanel()->IsEmpty());
        QVERIFY(!frame->EmbeddedPanel()->IsEmpty());  // only the panel the popup came from
        QVERIFY(quillfen::test::CheckedSteps(*second).isEmpty());
        QCOMPARE(quillfen::test::CheckedSteps(*first), (QStringList{"actLoadW", "actGetWr"}));
    }

    // A panel's picture is saved as an 8-bit gray file of the format chosen (PNG first), under
    // a name proposed after the document.
    void panelSavesToAPictureFile_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("written");
        QTest::newRow("png") << "mark" << 2 << "mark.png";
        QTest::newRow("pgm") << "mark" << 4 << "mark.pgm";
        QTest::newRow("bitmap") << "mark" << 1 << "mark.bmp";
        QTest::newRow("typed extension") << "mark.pgm" << 2 << "mark.pgm";
    }
    void panelSavesToAPictureFile() {
        QFETCH(QString, typed);
        QFETCH(int, filter);
        QFETCH(QString, written);
        TMDIChild* doc = frame->OpenImageFile(Q(quillfen::test::SamplePath("camera-256.pgm")));
        frame->SetPopupComponent(frame->EmbeddedPanel());
        QVERIFY(!Actions().pmuSaveToFile->isEnabled());  // nothing loaded yet
        LoadAndExtract(doc);
        frame->SetPopupComponent(frame->EmbeddedPanel());
        QVERIFY(Actions().pmuSaveToFile->isEnabled());
        dialogs->Answer(Q(dir->file(typed.toStdString())), filter);
        Actions().pmuSaveToFile->trigger();
        QCOMPARE(dialogs->asked.back().name, QStringLiteral("SaveMarkDlg"));
        QCOMPARE(dialogs->asked.back().proposedName, QStringLiteral("camera-256-watermark.png"));
        const QString out = Q(dir->file(written.toStdString()));
        QCOMPARE(frame->StatusText(0), QStringLiteral("Watermark image Saved to") + out);
        const LoadedPicture back = LoadPictureFile(out.toStdString());
        QVERIFY(back.eightBit);
        QVERIFY(back.bitmap == doc->Model().Watermark());
        // The dialog keeps the format chosen, and proposes the extracted mark's name in it.
        frame->SetPopupComponent(frame->ExtractedPanel());
        dialogs->Cancel();
        Actions().pmuSaveToFile->trigger();
        const QStringList extensions{".bmp", ".png", ".jpg", ".pgm"};
        QCOMPARE(dialogs->asked.back().proposedName, QStringLiteral("camera-256-extracted-mark") + extensions[filter - 1]);
    }

    void undoRestoresTheImageOnce() {
        TMDIChild* doc = frame->OpenImageFile(Q(quillfen::test::SamplePath("camera-256.pgm")));
        const Bitmap before = doc->Picture();
        doc->Action(QStringLiteral("Inverse1E"))->trigger();
        QVERIFY(Actions().Undo1->isEnabled());
        QVERIFY(!(doc->Picture() == before));
        Actions().Undo1->trigger();
        QVERIFY(doc->Picture() == before);
        // Another document without an undo copy turns Undo off when it becomes active.
        TMDIChild* other = frame->OpenImageFile(Q(quillfen::test::SamplePath("seal-128.pgm")));
        QCOMPARE(frame->ActiveDocument(), other);
        QVERIFY(!Actions().Undo1->isEnabled());
    }

    void errorGuardReportsAndGoesOn_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("file error") << 0;
        QTest::newRow("math error") << 1;
        QTest::newRow("foreign exception") << 2;
    }
    void errorGuardReportsAndGoesOn() {
        QFETCH(int, kind);
        frame->Run([kind] {
            if (kind == 0) throw FileError("Cannot open file x.bmp");
            if (kind == 1) throw MathError(kFloatingPointDivisionByZero);
            throw 42;
        });
        QCOMPARE(prompts->shown.size(), std::size_t{1});
        QCOMPARE(prompts->shown[0].kind, PromptKind::Error);
        const char* expected[] = {"Cannot open file x.bmp", kFloatingPointDivisionByZero, "Unknown error"};
        QCOMPARE(prompts->shown[0].text, std::string(expected[kind]));
        // The program goes on: the next command runs normally.
        QVERIFY(frame->OpenImageFile(Q(quillfen::test::SamplePath("seal-128.pgm"))) != nullptr);
    }

    void closingADocumentKeepsTheOthers() {
        TMDIChild* first = frame->OpenImageFile(Q(quillfen::test::SamplePath("camera-256.pgm")));
        TMDIChild* second = frame->OpenImageFile(Q(quillfen::test::SamplePath("seal-128.pgm")));
        frame->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(first->parentWidget()));
        LoadAndScatter(first);
        const Bitmap mark = frame->EmbeddedPanel()->Picture();
        frame->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(second->parentWidget()));
        QPointer<TMDIChild> watch(second);
        Actions().FileClose1->trigger();
        quillfen::test::ProcessDeferredDeletes();
        QVERIFY(watch.isNull());
        QCOMPARE(frame->ActiveDocument(), first);
        QCOMPARE(quillfen::test::CheckedSteps(*first), (QStringList{"actLoadW", "actGetWr"}));
        QCOMPARE(first->Model().Image().GetWidth(), 256);
        QVERIFY(frame->EmbeddedPanel()->Picture() == mark);
    }

    // The shortcut reaches Undo whichever menus the menu bar shows.
    void undoShortcutWorksWithTheDocumentsMenus() {
        TMDIChild* doc = frame->OpenImageFile(Q(quillfen::test::SamplePath("seal-128.pgm")));
        const Bitmap before = doc->Picture();
        doc->Action(QStringLiteral("Inverse1E"))->trigger();
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(doc->Picture() == before);
    }

    // File > Close is in every document's File menu, and Ctrl+W and Ctrl+F4 close the active
    // document; Ctrl+A is no longer Save As.
    void closeShortcutsCloseTheActiveDocument() {
        TMDIChild* first = frame->OpenImageFile(Q(quillfen::test::SamplePath("seal-128.pgm")));
        frame->OpenImageFile(Q(quillfen::test::SamplePath("camera-256.pgm")));
        QVERIFY(first->Menus()[0]->actions().contains(Actions().FileClose1));
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        QTest::keyClick(frame.get(), Qt::Key_A, Qt::ControlModifier);
        QVERIFY(dialogs->asked.empty());
        QTest::keyClick(frame->ActiveDocument(), Qt::Key_W, Qt::ControlModifier);
        quillfen::test::ProcessDeferredDeletes();
        QCOMPARE(frame->MDIChildCount(), 1);
        QCOMPARE(frame->ActiveDocument(), first);
        QTest::keyClick(frame->ActiveDocument(), Qt::Key_F4, Qt::ControlModifier);
        quillfen::test::ProcessDeferredDeletes();
        QCOMPARE(frame->MDIChildCount(), 0);
    }

    // Saving a document without changes leaves its file as it is, byte for byte (another
    // writer's palette included), whatever view a step shows; a change is written.
    void savingAnUnchangedFileKeepsItsBytes() {
        const Bitmap ramp = quillfen::test::Ramp(300, 280);
        const QString name = WriteFile("y.bmp", ramp, true);
        // Another writer's palette: the fourth byte of each entry, which readers skip, unlike
        // the one this program's writer puts there.
        std::vector<std::uint8_t> bytes = quillfen::test::ReadBytes(name.toStdString());
        const std::size_t palette = 14 + (bytes[14] | bytes[15] << 8 | bytes[16] << 16 | bytes[17] << 24);
        for (std::size_t i = 0; i < 256; ++i) bytes[palette + 4 * i + 3] ^= 0xff;
        WriteBytes(name.toStdString(), bytes);
        TMDIChild* doc = frame->OpenImageFile(name);
        QVERIFY(doc->Model().Picture() == ramp);
        dialogs->Answer(Q(quillfen::test::SamplePath("seal-128.pgm")));
        doc->StepAction(Step::LoadWatermark)->trigger();
        Actions().FileSave1->trigger();
        QCOMPARE(quillfen::test::ReadBytes(name.toStdString()), bytes);
        QCOMPARE(frame->StatusText(0), QStringLiteral("y.bmp has no changes to save."));
        // A change taken back is no change.
        doc->Action(QStringLiteral("Inverse1E"))->trigger();
        Actions().Undo1->trigger();
        Actions().FileSave1->trigger();
        QCOMPARE(quillfen::test::ReadBytes(name.toStdString()), bytes);
        doc->Action(QStringLiteral("Inverse1E"))->trigger();
        Actions().FileSave1->trigger();
        QVERIFY(quillfen::test::ReadBytes(name.toStdString()) != bytes);
        QCOMPARE(LoadPictureFile(name.toStdString()).bitmap.blue(0, 0), static_cast<std::uint8_t>(255 - ramp.blue(0, 0)));
        QVERIFY(!doc->Modified());
        QVERIFY(dialogs->asked.size() == 1);  // the watermark's only
    }

    // Titles are file names, not whole paths; documents of one name get " (2)", " (3)", and a
    // file opened again says so.
    void documentsGoByUniqueNames() {
        const QString host = WriteFile("y.pgm", quillfen::test::Ramp(40, 30));
        QDir(Q(dir->path().string())).mkdir(QStringLiteral("other"));
        const QString namesake = WriteFile("other/y.pgm", quillfen::test::Ramp(20, 10));
        TMDIChild* first = frame->OpenImageFile(host);
        TMDIChild* second = frame->OpenImageFile(namesake);
        TMDIChild* third = frame->OpenImageFile(host);
        QCOMPARE(first->Title(), QStringLiteral("y.pgm"));
        QCOMPARE(second->Title(), QStringLiteral("y.pgm (2)"));
        QCOMPARE(third->Title(), QStringLiteral("y.pgm (3)"));
        QCOMPARE(second->toolTip(), namesake);
        QCOMPARE(frame->StatusText(0), QStringLiteral("y.pgm was open already, as y.pgm: this is another window of it."));
        frame->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(second->parentWidget()));
        QCOMPARE(frame->StatusText(0), TfrmMain::InitialStatus(0));  // the other file was not open
        // A name freed is taken again; Save As gives the new file's name.
        frame->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(first->parentWidget()));
        Actions().FileClose1->trigger();
        quillfen::test::ProcessDeferredDeletes();
        QCOMPARE(frame->OpenImageFile(namesake)->Title(), QStringLiteral("y.pgm"));
        dialogs->Answer(Q(dir->file("z")), 2);
        Actions().FileSaveAs1->trigger();
        QCOMPARE(frame->ActiveDocument()->Title(), QStringLiteral("z.png"));
        QCOMPARE(frame->ActiveDocument()->windowTitle(), QStringLiteral("z.png[*]"));
    }

    void rightClicksOpenThePopupMenus() {
        TMDIChild* doc = frame->OpenImageFile(Q(quillfen::test::SamplePath("seal-128.pgm")));
        emit doc->findChild<PictureView*>(QStringLiteral("imgFile"))->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(doc->PopupMenu()->isVisible());
        doc->PopupMenu()->hide();
        // The keyboard opens it too: Shift+F10 in the document.
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10, Qt::ShiftModifier);
        QVERIFY(doc->PopupMenu()->isVisible());
        doc->PopupMenu()->hide();
        // The panel popup acts on the panel it was opened on.
        LoadAndExtract(doc);
        emit frame->EmbeddedPanel()->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(frame->WatermarkMenu()->isVisible());
        frame->WatermarkMenu()->hide();
        Actions().pmuClear->trigger();
        QVERIFY(frame->EmbeddedPanel()->IsEmpty());
        QVERIFY(!frame->ExtractedPanel()->IsEmpty());
    }

    void windowCommandsArrangeTheDocuments() {
        frame->OpenImageFile(Q(quillfen::test::SamplePath("seal-128.pgm")));
        frame->OpenImageFile(Q(quillfen::test::SamplePath("seal-128.bmp")));
        const QList<QMdiSubWindow*> subs = frame->MdiArea()->subWindowList();
        Actions().WindowTileVertical1->trigger();
        QCOMPARE(subs[0]->y(), subs[1]->y());
        QVERIFY(subs[0]->x() != subs[1]->x());
        Actions().WindowTileHorizontal1->trigger();
        QCOMPARE(subs[0]->x(), subs[1]->x());
        QVERIFY(subs[0]->y() != subs[1]->y());
        Actions().WindowMinimizeAll1->trigger();
        QVERIFY(subs[0]->isMinimized() && subs[1]->isMinimized());
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
