#include "ui/gui_prompts.h"

#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>

#include "ui/ui_text.h"

namespace quillfen::ui {

namespace {

QMessageBox::Icon IconOf(PromptKind kind) {
    switch (kind) {
    case PromptKind::Plain: return QMessageBox::NoIcon;
    case PromptKind::Information: return QMessageBox::Information;
    case PromptKind::Warning: return QMessageBox::Warning;
    case PromptKind::Error: return QMessageBox::Critical;
    case PromptKind::Confirmation: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// While a long step shows the hourglass, a box it opens (the PSNR of identical images) is
// answered with the ordinary arrow; the hourglass comes back when the box closes.
class ArrowWhileAsking {
public:
    ArrowWhileAsking() : active_(QGuiApplication::overrideCursor() != nullptr) {
        if (active_) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~ArrowWhileAsking() {
        if (active_) QGuiApplication::restoreOverrideCursor();
    }
    ArrowWhileAsking(const ArrowWhileAsking&) = delete;
    ArrowWhileAsking& operator=(const ArrowWhileAsking&) = delete;

private:
    bool active_;
};

}  // namespace

void GuiPrompts::show(PromptKind kind, const std::string& text) {
    const ArrowWhileAsking arrow;
    QMessageBox box(IconOf(kind), QGuiApplication::applicationDisplayName(), Q(text),
                    QMessageBox::Ok, parent_);
    box.exec();
}

std::optional<std::string> GuiPrompts::input(const std::string& caption, const std::string& prompt,
                                             const std::string& initial) {
    const ArrowWhileAsking arrow;
    bool ok = false;
    const QString answer =
        QInputDialog::getText(parent_, Q(caption), Q(prompt), QLineEdit::Normal, Q(initial), &ok);
    if (!ok) return std::nullopt;
    return S(answer);
}

SaveAnswer GuiPrompts::askSave(const std::string& text) {
    const ArrowWhileAsking arrow;
    QMessageBox box(QMessageBox::Warning, QGuiApplication::applicationDisplayName(), Q(text),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent_);
    box.setObjectName(QStringLiteral("askSave"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save: return SaveAnswer::Save;
    case QMessageBox::Discard: return SaveAnswer::Discard;
    default: return SaveAnswer::Cancel;
    }
}

}  // namespace quillfen::ui
