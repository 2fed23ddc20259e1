#include "ui/background_job.h"

#include <QThread>

namespace quillfen::ui {

BackgroundJob::BackgroundJob(Work work, QObject* parent) : QObject(parent) {
    thread_ = QThread::create([this, work = std::move(work)] {
        try {
            work(progress_);
        } catch (...) {
            failure_ = std::current_exception();
        }
    });
    // `finished` comes from the worker; the queued connection brings it to our thread, where
    // everything the work made may now be read.
    connect(thread_, &QThread::finished, this, [this] { emit Done(); }, Qt::QueuedConnection);
    thread_->start();
}

BackgroundJob::~BackgroundJob() {
    Cancel();
    thread_->wait();
    delete thread_;
}

bool BackgroundJob::Running() const { return thread_->isRunning(); }

void BackgroundJob::Wait() { thread_->wait(); }

}  // namespace quillfen::ui
