// quillfen-smoke-helper: the other program of the desktop smoke test, under a real X server.
//
//   quillfen-smoke-helper drag FILE X Y
//       Shows a small window at (X, Y) labelled with FILE. A mouse drag that starts in it
//       carries FILE as a file URL through the X drag-and-drop protocol, to whatever window
//       the mouse is released over. Exits 0 once the drop was taken (five seconds later, for
//       the target to read the data), 1 when it was refused, 3 when no drag came within 60
//       seconds.
//   quillfen-smoke-helper shot OUT.png
//       Saves a picture of the whole screen.
//   quillfen-smoke-helper clip
//       Prints the text on the clipboard (another program's, asked through the X selection).
//
// xdotool moves the mouse and presses its button, but only a program can offer data to
// drag; this one does, so that the drop the desktop program receives is a real one from
// another client.
#include <cstdio>

#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QUrl>

namespace {

class DragSource : public QLabel {
public:
    explicit DragSource(const QString& file) : file_(file) {
        setText(QFileInfo(file).fileName());
        setAlignment(Qt::AlignCenter);
        setWindowTitle(QStringLiteral("quillfen-smoke-drag"));
        setFixedSize(160, 80);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override { start_ = event->position().toPoint(); }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!(event->buttons() & Qt::LeftButton) || dragging_) return;
        if ((event->position().toPoint() - start_).manhattanLength() < QApplication::startDragDistance()) return;
        dragging_ = true;
        auto* mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(file_)});
        // On the heap and left to Qt: the target asks for the data after exec() has returned,
        // through the drag object's transaction.
        auto* drag = new QDrag(this);
        drag->setMimeData(mime);
        const Qt::DropAction done = drag->exec(Qt::CopyAction);
        std::printf("drop %s\n", done == Qt::CopyAction ? "taken" : "refused");
        std::fflush(stdout);
        // The target reads the dropped data from this program after the drop: stay a while.
        QTimer::singleShot(5000, qApp, [done] { QApplication::exit(done == Qt::CopyAction ? 0 : 1); });
    }

private:
    QString file_;
    QPoint start_;
    bool dragging_ = false;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() == 3 && args[1] == QStringLiteral("shot")) {
        const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        return screen.save(args[2]) ? 0 : 1;
    }
    if (args.size() == 2 && args[1] == QStringLiteral("clip")) {
        const QString text = QGuiApplication::clipboard()->text();
        std::printf("%s\n", qPrintable(text));
        return text.isEmpty() ? 1 : 0;
    }
    if (args.size() == 5 && args[1] == QStringLiteral("drag")) {
        DragSource source(QFileInfo(args[2]).absoluteFilePath());
        source.move(args[3].toInt(), args[4].toInt());
        source.show();
        QTimer::singleShot(60000, &application, [] { QApplication::exit(3); });
        return QApplication::exec();
    }
    std::fprintf(stderr, "usage: quillfen-smoke-helper drag FILE X Y | shot OUT.png | clip\n");
    return 2;
}
