#pragma once
// The desktop program's answer to UserPrompts: modal Qt message boxes and input boxes.
#include <QPointer>
#include <QWidget>

#include "ui/user_prompts.h"

namespace quillfen::ui {

class GuiPrompts : public UserPrompts {
public:
    // Boxes are centred on `parent` when it is set (it may be set later, once the main
    // window exists).
    explicit GuiPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    void show(PromptKind kind, const std::string& text) override;
    std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                     const std::string& initial) override;
    SaveAnswer askSave(const std::string& text) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace quillfen::ui
