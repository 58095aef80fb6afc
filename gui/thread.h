// A worker thread in the manner of the forms' thread class: execute() runs on
// a std::thread of its own, synchronize() hands a call to the GUI thread and
// waits for it, and waitFor() keeps serving such calls while it waits, so an
// owner ending the thread never deadlocks against a hand-over already begun.
//
// The GUI thread is the thread that constructs the object; it must run the
// Qt event loop (the application's main thread).
//
// Start-up. The constructor never starts the worker: at that point the
// subclass is not built yet, and execute() would see its members unset.
// - Created suspended: the worker starts at start().
// - Created not suspended: the constructor posts a zero-delay queued start()
//   to the GUI thread. The GUI thread is busy with the statement that creates
//   the object, so the start runs only after the most-derived constructor has
//   returned: when the event loop next runs, or earlier inside waitFor().
//   A subclass constructor therefore must not run an event loop itself (no
//   modal dialog, no processEvents); that is the one way to start it early.
//
// Ending. terminate() only sets terminated(); execute() polls it. The owner
// ends the thread (terminate, then waitFor) before deleting it, because the
// subclass part is gone by the time ~Thread runs. ~Thread still ends a thread
// that is running (terminate + waitFor), for an execute() that touches only
// the base part and objects outside it.
#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace gui {

class Thread {
public:
    explicit Thread(bool createSuspended);
    virtual ~Thread();

    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts the worker once; later calls, and the queued start of a thread
    // created not suspended, do nothing more.
    void start();
    // Asks execute() to return; interrupts nothing.
    void terminate();
    bool terminated() const { return terminated_.load(); }
    // Returns returnValue once execute() has returned. On the GUI thread it
    // runs the synchronize calls that arrive meanwhile, without an event loop:
    // no other queued event is delivered. A thread never started is started
    // first, so execute() runs (and can release what the constructor took).
    // Calling it from the worker itself throws std::logic_error.
    int waitFor();
    // The same with a time limit: true once execute() has returned, false when
    // timeout passed first (the thread keeps running).
    bool waitFor(std::chrono::milliseconds timeout);
    bool finished() const;
    // What escaped execute(), or null; read it once finished() is true.
    std::exception_ptr fatalException() const;

    // Set before the worker starts (in the subclass constructor). When true,
    // the object deletes itself on the GUI thread after execute() returned,
    // and the owner must not delete it.
    bool freeOnTerminate = false;

protected:
    virtual void execute() = 0;
    // From the worker: blocks until the GUI thread has run fn; an exception
    // thrown by fn is rethrown here. On the GUI thread fn runs at once.
    void synchronize(const std::function<void()>& fn);
    // Worker: sleeps for duration, or less when terminate() comes meanwhile;
    // true when the whole duration passed.
    bool sleepUnlessTerminated(std::chrono::milliseconds duration);

    // Result of waitFor(); written by execute() only.
    int returnValue = 0;

private:
    struct Call {
        const std::function<void()>* fn;
        std::exception_ptr error;
        bool done = false;
    };

    void run();
    bool waitUntil(std::optional<std::chrono::steady_clock::time_point> deadline);
    void startLocked();
    bool onGuiThread() const { return std::this_thread::get_id() == guiThread_; }
    // Runs the oldest pending call, if waitFor() has not already taken it.
    void serveOne();
    void runCall(Call* call);
    void joinWorker();

    const std::thread::id guiThread_;
    std::atomic<bool> terminated_{false};
    mutable std::mutex mutex_;
    std::condition_variable changed_;     // a call was queued or a call/the worker finished
    std::condition_variable terminating_; // terminate() was called
    std::deque<Call*> pending_;           // guarded by mutex_
    bool started_ = false;                // guarded by mutex_
    std::thread::id workerId_;            // guarded by mutex_
    bool finished_ = false;               // guarded by mutex_
    std::exception_ptr fatal_;            // guarded by mutex_
    std::thread worker_;                  // guarded by mutex_; joined on the GUI thread
    // Receiver of the queued start and synchronize calls, living on the GUI
    // thread; its destruction (after ~Thread has joined the worker) drops the
    // calls still queued for it.
    QObject context_;
};

} // namespace gui
