#pragma once
// Helpers of the window tests: file dialogs answered from a queue, and small picture makers.
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include <QApplication>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <QAction>

#include "quillfen/image/bitmap.h"
#include "quillfen/watermark/experiment.h"
#include "tests/test_support.h"
#include "tests/watermark/workspace_buffers.h"
#include "ui/file_dialogs.h"
#include "ui/main_window.h"
#include "ui/mdi_child.h"
#include "ui/user_prompts.h"

namespace quillfen {

// A document's workspace, writable: for the rare states a real experiment does not reach.
struct TestAccess {
    static WorkspaceBuffers Workspace(const ui::TMDIChild& doc) {
        auto& document = const_cast<ui::Document&>(doc.Model());
        return WorkspaceBuffers(document.experiment_.workspace_);
    }
    static void SetQuantScale(const ui::TMDIChild& doc, double scale) {
        const_cast<ui::Document&>(doc.Model()).experiment_.SetQuantScale(scale);
    }
};

}  // namespace quillfen

namespace quillfen::test {

// Records every message and answers input boxes from a queue.
class RecordingPrompts : public ui::UserPrompts {
public:
    struct Shown {
        ui::PromptKind kind;
        std::string text;
    };
    void show(ui::PromptKind kind, const std::string& text) override { shown.push_back({kind, text}); }
    std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                     const std::string& initial) override {
        captions.push_back(caption);
        inputPrompts.push_back(prompt);
        initials.push_back(initial);
        if (answers.empty()) return std::nullopt;
        std::optional<std::string> answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    // Answers from saveAnswers, front to back; Discard once they are used up.
    ui::SaveAnswer askSave(const std::string& text) override {
        saveQuestions.push_back(text);
        if (saveAnswers.empty()) return ui::SaveAnswer::Discard;
        const ui::SaveAnswer answer = saveAnswers.front();
        saveAnswers.erase(saveAnswers.begin());
        return answer;
    }

    std::vector<Shown> shown;
    std::vector<std::string> saveQuestions;  // every unsaved-changes question asked
    std::vector<ui::SaveAnswer> saveAnswers;
    std::vector<std::string> captions;                // captions of the input boxes asked
    std::vector<std::string> inputPrompts;            // ... their prompts
    std::vector<std::string> initials;                // ... and the texts they started from
    std::vector<std::optional<std::string>> answers;  // consumed front to back
};

// Points every QSettings of the test program (the frame's and the file dialogs') at `folder`,
// so that no test reads or writes the user's settings.
inline void UseSettingsFolder(const QString& folder) {
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, folder);
        QSettings::setPath(format, QSettings::SystemScope, folder);
    }
}

// Every window test program starts with its settings in a folder of its own, removed at
// the end; tests that look at the settings give each test a fresh one.
inline const QTemporaryDir& TestSettingsFolder() {
    static const QTemporaryDir folder;
    return folder;
}
inline const bool kSettingsIsolated = [] {
    UseSettingsFolder(TestSettingsFolder().path());
    return true;
}();

// The object names of a document's checked step marks, in step order.
inline QStringList CheckedSteps(const ui::TMDIChild& doc) {
    QStringList names;
    for (const StepInfo& info : Experiment::Steps()) {
        if (doc.StepAction(info.step)->isChecked()) names << doc.StepAction(info.step)->objectName();
    }
    return names;
}

// Answers each file dialog with the next prepared answer (nothing = the user cancels) and
// records what was asked.
class ScriptedFileDialogs : public ui::FileDialogs {
public:
    std::optional<ui::FileDialogResult> Execute(const ui::FileDialogRequest& request, QWidget* parent) override {
        asked.push_back(request);
        parents.push_back(parent);
        if (answers.empty()) return std::nullopt;
        const Prepared answer = answers.front();
        answers.pop_front();
        if (answer.cancel) return std::nullopt;
        return answer.result;
    }
    void Answer(const QString& fileName, int filterIndex = 1) {
        answers.push_back(Prepared{false, ui::FileDialogResult{fileName, filterIndex}});
    }
    void Cancel() { answers.push_back(Prepared{true, {}}); }

    struct Prepared {
        bool cancel = false;
        ui::FileDialogResult result;
    };
    std::deque<Prepared> answers;
    std::vector<ui::FileDialogRequest> asked;
    std::vector<QWidget*> parents;  // the window each dialog was opened over
};

// A width x height gray picture whose pixel (x, y) is (x * 7 + y * 3) mod 256.
inline Bitmap Ramp(int width, int height) {
    Bitmap bitmap(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) bitmap.setGray(x, y, static_cast<std::uint8_t>((x * 7 + y * 3) % 256));
    }
    return bitmap;
}

// Lets deferred deletions (closed windows) happen.
inline void ProcessDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// The base of the window tests: a main frame with prompts of the test's kind, file dialogs
// answered from a queue and a scratch folder, made afresh for each test function.
template <class Prompts>
class FrameTest : public QObject {
protected:
    std::unique_ptr<Prompts> prompts;
    std::unique_ptr<ScriptedFileDialogs> dialogs;
    std::unique_ptr<ui::TfrmMain> frame;
    std::unique_ptr<TempDir> dir;

    // New prompts, dialogs, frame (not yet shown, so that a test can set it up first) and folder.
    void MakeFrame() {
        prompts = std::make_unique<Prompts>();
        dialogs = std::make_unique<ScriptedFileDialogs>();
        frame = std::make_unique<ui::TfrmMain>(*prompts, *dialogs);
        dir = std::make_unique<TempDir>();
    }
    // The frame's actions, to trigger and inspect.
    const ui::FrameActionList& Actions() const { return frame->AllActions(); }
    // Closes the frame and lets its windows go: the number of windows left, 0 unless one leaked.
    qsizetype CloseFrame() {
        frame.reset();
        ProcessDeferredDeletes();
        return QApplication::topLevelWidgets().size();
    }
};

}  // namespace quillfen::test
