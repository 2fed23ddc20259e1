#include "ui/gui_prompts.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

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
    QInputDialog box(parent_);
    box.setObjectName(QStringLiteral("inputBox"));
    box.setWindowTitle(Q(caption));
    box.setLabelText(Q(prompt));
    box.setTextValue(Q(initial));
    // Wide enough for its whole title, which the window manager would otherwise cut.
    const QString title = Q(caption) + QStringLiteral(" — ") + QGuiApplication::applicationDisplayName();
    // (The box's layout sets its own minimum size: the field's width sets the box's.)
    if (auto* field = box.findChild<QLineEdit*>()) field->setMinimumWidth(box.fontMetrics().horizontalAdvance(title) + 120);
    if (box.exec() != QDialog::Accepted) return std::nullopt;
    return S(box.textValue());
}

SaveAnswer GuiPrompts::askSave(const std::string& text) {
    const ArrowWhileAsking arrow;
    QMessageBox box(QMessageBox::Warning, QGuiApplication::applicationDisplayName(), Q(text),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent_);
    box.setObjectName(QStringLiteral("askSave"));
    // The answers with their keys (Alt+S, Alt+D), whatever the platform's own texts.
    box.button(QMessageBox::Save)->setText(QCoreApplication::translate("quillfen::ui::GuiPrompts", "&Save"));
    box.button(QMessageBox::Discard)->setText(QCoreApplication::translate("quillfen::ui::GuiPrompts", "&Discard"));
    box.button(QMessageBox::Cancel)->setText(QCoreApplication::translate("quillfen::ui::GuiPrompts", "Cancel"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save: return SaveAnswer::Save;
    case QMessageBox::Discard: return SaveAnswer::Discard;
    default: return SaveAnswer::Cancel;
    }
}

}  // namespace quillfen::ui
