#pragma once
// How the desktop program's commands ask the user and tell them things: the GUI shows modal
// boxes, the tests record what was asked and answer from a queue. The libraries below never
// talk to the user; they return results or throw, and the windows word the messages.
#include <optional>
#include <string>

namespace quillfen::ui {

enum class PromptKind {
    Plain,         // a plain message box
    Information,   // information icon, OK button
    Warning,       // warning icon, OK button
    Error,         // error icon, OK button
    Confirmation,  // question icon; used with a single OK button
};

// What to do with the unsaved changes of a document that is about to close.
enum class SaveAnswer { Save, Discard, Cancel };

class UserPrompts {
public:
    virtual ~UserPrompts() = default;

    // Shows a message and waits until the user has acknowledged it.
    virtual void show(PromptKind kind, const std::string& text) = 0;

    // One-line input box. Returns nothing when the user cancels.
    virtual std::optional<std::string> input(const std::string& caption,
                                             const std::string& prompt,
                                             const std::string& initial) = 0;

    // Asks what to do with unsaved changes (Save, Discard or Cancel). Without a user to ask
    // the answer is Cancel, so that nothing is lost.
    virtual SaveAnswer askSave(const std::string& text) {
        (void)text;
        return SaveAnswer::Cancel;
    }

    void message(const std::string& text) { show(PromptKind::Plain, text); }
    void information(const std::string& text) { show(PromptKind::Information, text); }
    void warning(const std::string& text) { show(PromptKind::Warning, text); }
    void error(const std::string& text) { show(PromptKind::Error, text); }
    void confirm(const std::string& text) { show(PromptKind::Confirmation, text); }
};

// Answers nothing and shows nothing: for callers that have no user to ask.
class SilentPrompts : public UserPrompts {
public:
    void show(PromptKind, const std::string&) override {}
    std::optional<std::string> input(const std::string&, const std::string&,
                                     const std::string&) override {
        return std::nullopt;
    }
};

}  // namespace quillfen::ui
