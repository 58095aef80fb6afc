#include "thread.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A deadlock in the class under test would hang the whole run; end it
// loudly instead.
class Watchdog {
public:
    explicit Watchdog(const char* what, std::chrono::seconds limit = 10s)
        : guard_([this, what, limit] {
              std::unique_lock lock(mutex_);
              if (!cv_.wait_for(lock, limit, [this] { return done_; })) {
                  std::fprintf(stderr, "deadlock: %s did not return\n", what);
                  std::abort();
              }
          })
    {}
    ~Watchdog()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        guard_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread guard_;
};

// Serves the GUI thread's events until pred holds (at most 5 s).
bool spinUntil(const std::function<bool()>& pred)
{
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A thread whose body is given by the test; the body and what it captures
// must outlive the thread (every test ends it before deleting it).
class LambdaThread : public gui::Thread {
public:
    using Body = std::function<void(LambdaThread&)>;
    LambdaThread(bool createSuspended, Body body)
        : gui::Thread(createSuspended), body_(std::move(body))
    {}
    ~LambdaThread() override
    {
        terminate();
        waitFor();
    }
    using gui::Thread::sleepUnlessTerminated;
    using gui::Thread::synchronize;
    void setReturnValue(int v) { returnValue = v; }

protected:
    void execute() override { body_(*this); }

private:
    Body body_;
};

int waitWithin(gui::Thread& t, const char* what = "waitFor")
{
    Watchdog dog(what);
    return t.waitFor();
}

// --- start-up ---------------------------------------------------------------

// Sets its member only after a pause, as a subclass that opens a device would.
class SlowConstructed : public gui::Thread {
public:
    explicit SlowConstructed(bool createSuspended) : gui::Thread(createSuspended)
    {
        std::this_thread::sleep_for(30ms);
        value = 42;
    }
    ~SlowConstructed() override
    {
        terminate();
        waitFor();
    }
    int value = 0;
    int seen = -1;

protected:
    void execute() override { seen = value; }
};

TEST(Thread, NotSuspendedStartsFromEventLoopAfterConstruction)
{
    SlowConstructed t(false);
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(t.finished()) << "started before the event loop ran";
    ASSERT_TRUE(spinUntil([&] { return t.finished(); }));
    waitWithin(t);
    EXPECT_EQ(t.seen, 42);
}

TEST(Thread, SuspendedRunsOnlyAfterStart)
{
    int runs = 0;
    LambdaThread t(true, [&](LambdaThread&) { ++runs; });
    QTest::qWait(50);
    EXPECT_FALSE(t.finished());
    t.start();
    t.start();
    waitWithin(t);
    EXPECT_EQ(runs, 1);
}

TEST(Thread, WaitForStartsPendingStartAndQueuedStartDoesNotRerun)
{
    int runs = 0;
    LambdaThread t(false, [&](LambdaThread& self) {
        ++runs;
        self.setReturnValue(7);
    });
    EXPECT_EQ(waitWithin(t), 7);
    EXPECT_TRUE(t.finished());
    EXPECT_EQ(waitWithin(t), 7);
    QTest::qWait(20); // delivers the queued start
    EXPECT_EQ(runs, 1);
}

// Leaves the worker to the base destructor, which does not start it.
class Counting : public gui::Thread {
public:
    Counting(bool createSuspended, std::atomic<int>* runs)
        : gui::Thread(createSuspended), runs_(runs)
    {}

protected:
    void execute() override { ++*runs_; }

private:
    std::atomic<int>* runs_;
};

TEST(Thread, DeletedBeforeStartNeverRuns)
{
    std::atomic<int> runs = 0;
    for (bool suspended : {false, true})
        Counting(suspended, &runs);
    QTest::qWait(20); // the queued start, had it survived, would run now
    EXPECT_EQ(runs.load(), 0);
}

// --- synchronize --------------------------------------------------------------

enum class Served { ByEventLoop, ByWaitFor };
void PrintTo(Served s, std::ostream* os)
{
    *os << (s == Served::ByEventLoop ? "event loop" : "waitFor");
}

class ThreadSync : public ::testing::TestWithParam<Served> {
protected:
    void finish(gui::Thread& t)
    {
        if (GetParam() == Served::ByEventLoop) {
            ASSERT_TRUE(spinUntil([&] { return t.finished(); }));
        }
        waitWithin(t);
    }
};

TEST_P(ThreadSync, RunsOnGuiThreadWhileWorkerWaits)
{
    const auto gui = std::this_thread::get_id();
    std::thread::id ranOn;
    bool done = false;
    bool workerSawDone = false;
    LambdaThread t(false, [&](LambdaThread& self) {
        self.synchronize([&] {
            ranOn = std::this_thread::get_id();
            std::this_thread::sleep_for(20ms);
            done = true;
        });
        workerSawDone = done;
    });
    finish(t);
    EXPECT_EQ(ranOn, gui);
    EXPECT_TRUE(workerSawDone);
}

TEST_P(ThreadSync, ExceptionReachesWorker)
{
    std::string caught;
    bool after = false;
    LambdaThread t(false, [&](LambdaThread& self) {
        try {
            self.synchronize([] { throw std::runtime_error("kapot"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        self.synchronize([&] { after = true; });
    });
    finish(t);
    EXPECT_EQ(caught, "kapot");
    EXPECT_TRUE(after) << "the failed call left synchronize unusable";
    EXPECT_FALSE(t.fatalException());
}

TEST_P(ThreadSync, ManyCallsEachRunOnce)
{
    constexpr int calls = 200;
    int runs = 0;
    int seen = 0;
    LambdaThread t(false, [&](LambdaThread& self) {
        for (int i = 0; i < calls; ++i) {
            self.synchronize([&] { ++runs; });
            seen = runs;
            if (seen != i + 1)
                return;
        }
    });
    finish(t);
    QTest::qWait(20); // stale posted calls must find nothing to run
    EXPECT_EQ(runs, calls);
    EXPECT_EQ(seen, calls);
}

INSTANTIATE_TEST_SUITE_P(Path, ThreadSync,
                         ::testing::Values(Served::ByEventLoop, Served::ByWaitFor),
                         [](const auto& info) {
                             return info.param == Served::ByEventLoop ? "EventLoop" : "WaitFor";
                         });

TEST(Thread, SynchronizeOnGuiThreadRunsAtOnce)
{
    LambdaThread t(true, [](LambdaThread&) {});
    std::thread::id ranOn;
    t.synchronize([&] { ranOn = std::this_thread::get_id(); });
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_THROW(t.synchronize([] { throw std::runtime_error("x"); }), std::runtime_error);
}

TEST(Thread, WaitForServesPendingAndLaterCallsButNoOtherEvents)
{
    const auto gui = std::this_thread::get_id();
    std::atomic<bool> firstPosted = false;
    int first = 0, second = 0;
    bool firstOnGui = false, secondOnGui = false;
    LambdaThread t(true, [&](LambdaThread& self) {
        firstPosted = true;
        self.synchronize([&] {
            ++first;
            firstOnGui = std::this_thread::get_id() == gui;
        });
        // The GUI thread is inside waitFor by now.
        std::this_thread::sleep_for(30ms);
        self.synchronize([&] {
            ++second;
            secondOnGui = std::this_thread::get_id() == gui;
        });
    });
    t.start();
    while (!firstPosted)
        std::this_thread::yield();
    std::this_thread::sleep_for(30ms); // let the first call become pending
    bool timerRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });

    waitWithin(t);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    EXPECT_TRUE(firstOnGui);
    EXPECT_TRUE(secondOnGui);
    EXPECT_FALSE(timerRan) << "waitFor ran the event loop";

    // The calls' own posted events arrive now and must not run them again.
    ASSERT_TRUE(spinUntil([&] { return timerRan; }));
    QTest::qWait(20);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
}

TEST(Thread, TerminateCutsASleepShort)
{
    std::atomic<bool> sleeping = false;
    std::atomic<int> slept = -1;
    LambdaThread t(true, [&](LambdaThread& self) {
        sleeping = true;
        slept = self.sleepUnlessTerminated(60s) ? 1 : 0;
    });
    t.start();
    while (!sleeping)
        std::this_thread::yield();
    std::this_thread::sleep_for(20ms);
    t.terminate();
    waitWithin(t);
    EXPECT_EQ(slept, 0);
}

TEST(Thread, SleepRunsItsWholeDurationWithoutTerminate)
{
    std::atomic<int> slept = -1;
    LambdaThread t(true,
                   [&](LambdaThread& self) { slept = self.sleepUnlessTerminated(30ms) ? 1 : 0; });
    t.start();
    waitWithin(t);
    EXPECT_EQ(slept, 1);
}

TEST(Thread, TimedWaitForGivesUpButServesCallsMeanwhile)
{
    std::atomic<bool> release = false;
    int served = 0;
    LambdaThread t(true, [&](LambdaThread& self) {
        self.synchronize([&] { ++served; });
        while (!release)
            std::this_thread::sleep_for(1ms);
    });
    t.start();
    EXPECT_FALSE(t.waitFor(100ms));
    EXPECT_EQ(served, 1);
    EXPECT_FALSE(t.finished());
    release = true;
    EXPECT_TRUE(t.waitFor(5000ms));
    EXPECT_TRUE(t.finished());
}

// --- ending -------------------------------------------------------------------

TEST(Thread, TerminateEndsPollingLoop)
{
    std::atomic<bool> running = false;
    std::atomic<int> turns = 0;
    LambdaThread t(false, [&](LambdaThread& self) {
        running = true;
        while (!self.terminated()) {
            ++turns;
            std::this_thread::sleep_for(1ms);
        }
    });
    ASSERT_TRUE(spinUntil([&] { return running.load(); }));
    EXPECT_FALSE(t.terminated());
    QTest::qWait(20);
    EXPECT_FALSE(t.finished());
    t.terminate();
    EXPECT_TRUE(t.terminated());
    waitWithin(t);
    EXPECT_TRUE(t.finished());
    EXPECT_GT(turns.load(), 0);
}

TEST(Thread, ExecuteExceptionIsKeptNotFatal)
{
    LambdaThread t(false, [](LambdaThread&) { throw std::runtime_error("weg"); });
    waitWithin(t);
    ASSERT_TRUE(t.fatalException());
    EXPECT_THROW(std::rethrow_exception(t.fatalException()), std::runtime_error);
}

TEST(Thread, WaitForFromWorkerThrows)
{
    bool threw = false;
    LambdaThread t(false, [&](LambdaThread& self) {
        try {
            self.waitFor();
        } catch (const std::logic_error&) {
            threw = true;
        }
    });
    waitWithin(t);
    EXPECT_TRUE(threw);
}

// execute() uses only the base part and state outside the object, so the
// base destructor may end it.
struct Outside {
    std::atomic<bool> running = false;
    std::atomic<bool> ended = false;
    std::atomic<int> calls = 0;
};

class BaseOnly : public gui::Thread {
public:
    BaseOnly(Outside* o, bool blockInSync) : gui::Thread(false), o_(o), blockInSync_(blockInSync) {}

protected:
    void execute() override
    {
        Outside* o = o_;
        const bool sync = blockInSync_;
        o->running = true; // the owner may start deleting from here on
        while (!terminated()) {
            if (sync)
                synchronize([o] { ++o->calls; });
            else
                std::this_thread::sleep_for(1ms);
        }
        o->ended = true;
    }

private:
    Outside* o_;
    bool blockInSync_;
};

class ThreadDestroy : public ::testing::TestWithParam<bool> {};

TEST_P(ThreadDestroy, DestroyingRunningThreadEndsIt)
{
    const bool blockInSync = GetParam();
    Outside o;
    auto t = std::make_unique<BaseOnly>(&o, blockInSync);
    t->start();
    while (!o.running)
        std::this_thread::yield();
    std::this_thread::sleep_for(10ms); // let a call become pending
    {
        Watchdog dog("~Thread");
        t.reset();
    }
    EXPECT_TRUE(o.ended);
    if (blockInSync) {
        EXPECT_GE(o.calls.load(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Worker, ThreadDestroy, ::testing::Values(false, true),
                         [](const auto& info) {
                             return info.param ? "BlockedInSynchronize" : "Polling";
                         });

class SelfFreeing : public gui::Thread {
public:
    explicit SelfFreeing(std::thread::id* deletedOn) : gui::Thread(false), deletedOn_(deletedOn)
    {
        freeOnTerminate = true;
    }
    ~SelfFreeing() override { *deletedOn_ = std::this_thread::get_id(); }

protected:
    void execute() override {}

private:
    std::thread::id* deletedOn_;
};

TEST(Thread, FreeOnTerminateDeletesOnGuiThread)
{
    std::thread::id deletedOn;
    new SelfFreeing(&deletedOn);
    ASSERT_TRUE(spinUntil([&] { return deletedOn != std::thread::id(); }));
    EXPECT_EQ(deletedOn, std::this_thread::get_id());
}

} // namespace
