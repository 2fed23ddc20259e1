#pragma once
// Helpers of the window tests: file dialogs answered from a queue, and small picture makers.
#include <deque>
#include <optional>
#include <vector>

#include <QApplication>
#include <QString>

#include <QAction>

#include "image/bitmap.h"
#include "tests/watermark/workspace_buffers.h"
#include "ui/file_dialogs.h"
#include "ui/mdi_child.h"
#include "watermark/experiment.h"

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
    std::optional<ui::FileDialogResult> Execute(const ui::FileDialogRequest& request, QWidget*) override {
        asked.push_back(request);
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

}  // namespace quillfen::test
