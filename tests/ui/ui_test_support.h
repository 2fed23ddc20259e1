#pragma once
// Helpers of the window tests: file dialogs answered from a queue, and small picture makers.
#include <deque>
#include <optional>
#include <vector>

#include <QApplication>
#include <QString>

#include "image/bitmap.h"
#include "ui/file_dialogs.h"

namespace quillfen::test {

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
