// Conformance table for the kernel stand-in's dispatcher objects: mutex
// ownership and recursion, hand-over to the oldest waiter, notification and
// synchronization events, waits with and without time-outs. Each row is a
// timed plan for up to three threads on the virtual clock and the outcomes
// the platform gives, in the order they happen.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/scheduler.h"
#include "platform/base/win_base.h"
#include "platform/wdm/wdm.h"

namespace {

constexpr int kForever = -1;

enum class Op { Wait, WaitUntil, Release, Set, Clear, Reset, Read };

struct Step {
    unsigned nAt;  // virtual ms at which the thread starts this step
    char cThread;  // 'A', 'B' or 'C'
    Op op;
    char cObject;  // 'M' mutex, 'N' notification event, 'S' synchronization event
    int nTimeoutMs = kForever;  // Wait: relative, 0 only tests; WaitUntil: absolute
};

struct Row {
    const char* pszWhat;
    std::vector<Step> aSteps;
    std::vector<std::string> aOutcomes;  // "MS THREAD what: result"
};

struct Objects {
    KMUTEX mutex;
    KEVENT notification;
    KEVENT synchronization;
    void* Of(char name) {
        if (name == 'M') return &mutex;
        return name == 'N' ? static_cast<void*>(&notification) : static_cast<void*>(&synchronization);
    }
};

struct Actor {
    char cName;
    Objects* pObjects;
    std::vector<Step> aSteps;
    std::vector<std::string>* pLog;
};

std::string StatusName(NTSTATUS status) {
    return status == STATUS_SUCCESS ? "SUCCESS" : status == STATUS_TIMEOUT ? "TIMEOUT" : std::to_string(status);
}

std::string Perform(const Step& step, Objects* objects) {
    void* object = objects->Of(step.cObject);
    std::string target(1, step.cObject);
    switch (step.op) {
        case Op::Wait:
        case Op::WaitUntil: {
            LARGE_INTEGER timeout;
            timeout.QuadPart = step.op == Op::Wait ? -10000LL * step.nTimeoutMs : 10000LL * step.nTimeoutMs;
            std::string what = (step.op == Op::Wait ? "wait " : "wait-until ") + target;
            if (step.nTimeoutMs != kForever) what += " " + std::to_string(step.nTimeoutMs);
            NTSTATUS status = KeWaitForSingleObject(object, Executive, KernelMode, FALSE,
                                                    step.nTimeoutMs == kForever ? nullptr : &timeout);
            return what + ": " + StatusName(status);
        }
        case Op::Release: return "release " + target + ": " + std::to_string(KeReleaseMutex(&objects->mutex, FALSE));
        case Op::Set: return "set " + target + ": " + std::to_string(KeSetEvent(static_cast<PKEVENT>(object), 0, FALSE));
        case Op::Clear: KeClearEvent(static_cast<PKEVENT>(object)); return "clear " + target;
        case Op::Reset: return "reset " + target + ": " + std::to_string(KeResetEvent(static_cast<PKEVENT>(object)));
        case Op::Read: return "read " + target + ": " + std::to_string(KeReadStateEvent(static_cast<PKEVENT>(object)));
    }
    return "?";
}

DWORD ActorThread(LPVOID parameter) {
    auto* actor = static_cast<Actor*>(parameter);
    for (const Step& step : actor->aSteps) {
        LARGE_INTEGER at;
        at.QuadPart = 10000LL * step.nAt;  // absolute: a step already due runs at once
        KeDelayExecutionThread(KernelMode, FALSE, &at);
        std::string outcome = Perform(step, actor->pObjects);
        // One thread runs at a time on the virtual clock: the log needs no lock.
        actor->pLog->push_back(std::to_string(platform::sched::Now()) + " " + actor->cName + " " + outcome);
    }
    return 0;
}

std::vector<std::string> RunRow(const Row& row) {
    Objects objects;
    KeInitializeMutex(&objects.mutex, 0);
    KeInitializeEvent(&objects.notification, NotificationEvent, FALSE);
    KeInitializeEvent(&objects.synchronization, SynchronizationEvent, FALSE);
    std::vector<std::string> log;
    std::map<char, Actor> actors;
    for (const Step& step : row.aSteps) {
        Actor& actor = actors[step.cThread];
        actor.cName = step.cThread;
        actor.pObjects = &objects;
        actor.pLog = &log;
        actor.aSteps.push_back(step);
    }
    std::vector<HANDLE> threads;
    for (auto& [name, actor] : actors) threads.push_back(CreateThread(nullptr, 0, ActorThread, &actor, 0, nullptr));
    for (HANDLE thread : threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    return log;
}

const Row kRows[] = {
    {"a free mutex is taken at once, also by a wait that only tests",
     {{0, 'A', Op::Wait, 'M', 0}, {5, 'A', Op::Release, 'M'}, {10, 'B', Op::Wait, 'M'}, {15, 'B', Op::Release, 'M'}},
     {"0 A wait M 0: SUCCESS", "5 A release M: 0", "10 B wait M: SUCCESS", "15 B release M: 0"}},
    {"the owner takes its mutex again; it is free after as many releases",
     {{0, 'A', Op::Wait, 'M'}, {0, 'A', Op::Wait, 'M', 0}, {5, 'B', Op::Wait, 'M'},
      {10, 'A', Op::Release, 'M'}, {20, 'A', Op::Release, 'M'}, {30, 'B', Op::Release, 'M'}},
     {"0 A wait M: SUCCESS", "0 A wait M 0: SUCCESS", "10 A release M: -1", "20 A release M: 0",
      "20 B wait M: SUCCESS", "30 B release M: 0"}},
    {"a mutex another thread owns: a test fails at once, a time-out passes, a wait for ever gets it",
     {{0, 'A', Op::Wait, 'M'}, {5, 'B', Op::Wait, 'M', 0}, {5, 'B', Op::Wait, 'M', 30},
      {35, 'B', Op::Wait, 'M'}, {50, 'A', Op::Release, 'M'}, {60, 'B', Op::Release, 'M'}},
     {"0 A wait M: SUCCESS", "5 B wait M 0: TIMEOUT", "35 B wait M 30: TIMEOUT", "50 A release M: 0",
      "50 B wait M: SUCCESS", "60 B release M: 0"}},
    {"a released mutex passes to its waiters in the order they came, not the order of the threads",
     {{0, 'A', Op::Wait, 'M'}, {5, 'C', Op::Wait, 'M'}, {10, 'B', Op::Wait, 'M'},
      {20, 'A', Op::Release, 'M'}, {20, 'A', Op::Wait, 'M', 0},
      {30, 'C', Op::Release, 'M'}, {40, 'B', Op::Release, 'M'}},
     {"0 A wait M: SUCCESS", "20 A release M: 0", "20 A wait M 0: TIMEOUT", "20 C wait M: SUCCESS",
      "30 C release M: 0", "30 B wait M: SUCCESS", "40 B release M: 0"}},
    {"a waiter that timed out has left the queue",
     {{0, 'A', Op::Wait, 'M'}, {0, 'B', Op::Wait, 'M', 10}, {5, 'C', Op::Wait, 'M'},
      {20, 'A', Op::Release, 'M'}, {30, 'C', Op::Release, 'M'}},
     {"0 A wait M: SUCCESS", "10 B wait M 10: TIMEOUT", "20 A release M: 0", "20 C wait M: SUCCESS",
      "30 C release M: 0"}},
    {"setting a notification event ends every wait and it stays set until cleared",
     {{0, 'B', Op::Wait, 'N'}, {5, 'C', Op::Wait, 'N', 100}, {10, 'A', Op::Set, 'N'}, {20, 'A', Op::Wait, 'N', 0},
      {30, 'A', Op::Set, 'N'}, {40, 'A', Op::Clear, 'N'}, {40, 'A', Op::Wait, 'N', 10}},
     {"10 A set N: 0", "10 B wait N: SUCCESS", "10 C wait N 100: SUCCESS", "20 A wait N 0: SUCCESS",
      "30 A set N: 1", "40 A clear N", "50 A wait N 10: TIMEOUT"}},
    {"setting a synchronization event ends the oldest wait only, and the event stays clear",
     {{0, 'C', Op::Wait, 'S'}, {5, 'B', Op::Wait, 'S'}, {10, 'A', Op::Set, 'S'}, {10, 'A', Op::Read, 'S'},
      {20, 'A', Op::Set, 'S'}, {30, 'A', Op::Set, 'S'}, {40, 'A', Op::Reset, 'S'}, {40, 'A', Op::Reset, 'S'}},
     {"10 A set S: 0", "10 A read S: 0", "10 C wait S: SUCCESS", "20 A set S: 0", "20 B wait S: SUCCESS",
      "30 A set S: 0", "40 A reset S: 1", "40 A reset S: 0"}},
    {"a set synchronization event is taken by one wait",
     {{0, 'A', Op::Set, 'S'}, {5, 'B', Op::Wait, 'S', 0}, {10, 'C', Op::Wait, 'S', 0}},
     {"0 A set S: 0", "5 B wait S 0: SUCCESS", "10 C wait S 0: TIMEOUT"}},
    {"an absolute time-out ends at that clock time; one already past only tests",
     {{10, 'A', Op::WaitUntil, 'N', 30}, {40, 'A', Op::WaitUntil, 'N', 20}, {50, 'B', Op::Set, 'N'},
      {60, 'A', Op::WaitUntil, 'N', 20}},
     {"30 A wait-until N 30: TIMEOUT", "40 A wait-until N 20: TIMEOUT", "50 B set N: 0",
      "60 A wait-until N 20: SUCCESS"}},
};

class KernelObjects : public ::testing::Test {
protected:
    void SetUp() override { platform::clock::UseVirtual(); }
    void TearDown() override { platform::clock::UseReal(); }
};

TEST_F(KernelObjects, BehaveAsThePlatformDocumentsThem) {
    for (const Row& row : kRows) {
        EXPECT_EQ(RunRow(row), row.aOutcomes) << row.pszWhat;
        platform::clock::UseReal();
        platform::clock::UseVirtual();
    }
}

// Where the platform raises an exception or stops the machine, the stand-in aborts.
TEST(KernelObjectsDeathTest, ReleasingAMutexNotOwnedOrWaitingHoldingASpinLockAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    KMUTEX mutex;
    KeInitializeMutex(&mutex, 0);
    EXPECT_DEATH(KeReleaseMutex(&mutex, FALSE), "released by a thread that does not own it");
    EXPECT_DEATH(
        {
            KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr);
            std::thread([&mutex] { KeReleaseMutex(&mutex, FALSE); }).join();
        },
        "released by a thread that does not own it");
    EXPECT_DEATH(
        {
            KSPIN_LOCK lock;
            KIRQL irql;
            KeInitializeSpinLock(&lock);
            KeAcquireSpinLock(&lock, &irql);
            LARGE_INTEGER zero{};
            LARGE_INTEGER oneMs;
            oneMs.QuadPart = -10000;
            if (KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, &zero) == STATUS_SUCCESS)
                KeReleaseMutex(&mutex, FALSE);  // a wait that only tests is allowed
            KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, &oneMs);
        },
        "waited at raised IRQL");
}

}  // namespace
