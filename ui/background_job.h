#pragma once
// Long work on a worker thread, with its progress and a way to stop it. The work gets a
// ProgressSink to advance; the window reads the fraction, may ask it to stop, and hears
// Done() on its own thread once the work has ended, however it ended. The work must touch
// nothing the window uses meanwhile: it runs on copies.
#include <exception>
#include <functional>

#include <QObject>

#include "quillfen/image/progress.h"

class QThread;

namespace quillfen::ui {

class BackgroundJob : public QObject {
    Q_OBJECT
public:
    using Work = std::function<void(ProgressSink&)>;

    // Starts `work` at once.
    explicit BackgroundJob(Work work, QObject* parent = nullptr);
    // Asks the work to stop and waits for it.
    ~BackgroundJob() override;
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    // Asks the work to stop. Work that does not look at its sink runs to its end; either way
    // the caller treats the job as cancelled and uses nothing it made.
    void Cancel() { progress_.RequestStop(); }
    bool CancelRequested() const { return progress_.StopRequested(); }
    // How far the work says it has got, 0..1 (0 for work that does not say).
    double Fraction() const { return progress_.Fraction(); }
    bool Running() const;
    // Blocks until the work has ended (Done still comes through the event loop).
    void Wait();
    // What the work threw, if anything (Cancelled when it stopped on request).
    std::exception_ptr Failure() const { return failure_; }

signals:
    void Done();

private:
    SharedProgress progress_;
    std::exception_ptr failure_;
    QThread* thread_ = nullptr;
};

}  // namespace quillfen::ui
