#include "thread.h"

#include <QCoreApplication>
#include <stdexcept>

namespace gui {

Thread::Thread(bool createSuspended) : guiThread_(std::this_thread::get_id())
{
    // Queued, not direct: the subclass constructors still have to run.
    if (!createSuspended)
        QMetaObject::invokeMethod(
            &context_, [this] { start(); }, Qt::QueuedConnection);
}

Thread::~Thread()
{
    {
        std::lock_guard lock(mutex_);
        if (!started_)
            return;
        if (workerId_ == std::this_thread::get_id()) {
            // Deleted from its own execute(): it cannot wait for itself.
            if (worker_.joinable())
                worker_.detach();
            return;
        }
    }
    terminate();
    waitFor();
    joinWorker();
}

void Thread::terminate()
{
    {
        // Under the mutex, so a sleeper cannot miss the wake-up between its
        // check and its wait.
        std::lock_guard lock(mutex_);
        terminated_.store(true);
    }
    terminating_.notify_all();
}

bool Thread::sleepUnlessTerminated(std::chrono::milliseconds duration)
{
    std::unique_lock lock(mutex_);
    return !terminating_.wait_for(lock, duration, [this] { return terminated_.load(); });
}

void Thread::start()
{
    std::lock_guard lock(mutex_);
    startLocked();
}

void Thread::startLocked()
{
    if (started_)
        return;
    worker_ = std::thread(&Thread::run, this);
    workerId_ = worker_.get_id();
    started_ = true;
}

void Thread::run()
{
    std::exception_ptr fatal;
    try {
        execute();
    } catch (...) {
        fatal = std::current_exception();
    }
    const bool selfDelete = freeOnTerminate;
    {
        std::lock_guard lock(mutex_);
        fatal_ = fatal;
        finished_ = true;
        changed_.notify_all();
    }
    // From here on the owner may delete the object; touch nothing of it.
    if (QCoreApplication* app = QCoreApplication::instance(); selfDelete && app)
        QMetaObject::invokeMethod(
            app, [this] { delete this; }, Qt::QueuedConnection);
}

int Thread::waitFor()
{
    waitUntil(std::nullopt);
    return returnValue;
}

bool Thread::waitFor(std::chrono::milliseconds timeout)
{
    return waitUntil(std::chrono::steady_clock::now() + timeout);
}

bool Thread::waitUntil(std::optional<std::chrono::steady_clock::time_point> deadline)
{
    std::unique_lock lock(mutex_);
    if (started_ && workerId_ == std::this_thread::get_id())
        throw std::logic_error("Thread::waitFor called by the thread itself");
    startLocked();
    // Only the GUI thread can run the calls; elsewhere this is a plain wait.
    const bool serve = onGuiThread();
    auto ready = [&] { return finished_ || (serve && !pending_.empty()); };
    for (;;) {
        if (!deadline)
            changed_.wait(lock, ready);
        else if (!changed_.wait_until(lock, *deadline, ready))
            return false;
        if (serve && !pending_.empty()) {
            Call* call = pending_.front();
            pending_.pop_front();
            lock.unlock();
            runCall(call);
            lock.lock();
            continue;
        }
        break;
    }
    lock.unlock();
    if (serve)
        joinWorker();
    return true;
}

bool Thread::finished() const
{
    std::lock_guard lock(mutex_);
    return finished_;
}

std::exception_ptr Thread::fatalException() const
{
    std::lock_guard lock(mutex_);
    return fatal_;
}

void Thread::synchronize(const std::function<void()>& fn)
{
    if (onGuiThread()) {
        fn();
        return;
    }
    Call call{&fn, nullptr};
    std::unique_lock lock(mutex_);
    pending_.push_back(&call);
    changed_.notify_all(); // a waitFor in progress runs it at once
    QMetaObject::invokeMethod(
        &context_, [this] { serveOne(); }, Qt::QueuedConnection);
    changed_.wait(lock, [&] { return call.done; });
    lock.unlock();
    if (call.error)
        std::rethrow_exception(call.error);
}

void Thread::serveOne()
{
    Call* call = nullptr;
    {
        std::lock_guard lock(mutex_);
        // Empty when waitFor() has run the call this event was posted for.
        if (pending_.empty())
            return;
        call = pending_.front();
        pending_.pop_front();
    }
    runCall(call);
}

void Thread::runCall(Call* call)
{
    std::exception_ptr error;
    try {
        (*call->fn)();
    } catch (...) {
        error = std::current_exception();
    }
    std::lock_guard lock(mutex_);
    call->error = error;
    call->done = true;
    changed_.notify_all();
}

void Thread::joinWorker()
{
    std::thread worker;
    {
        std::lock_guard lock(mutex_);
        worker = std::move(worker_);
    }
    if (worker.joinable())
        worker.join();
}

} // namespace gui
