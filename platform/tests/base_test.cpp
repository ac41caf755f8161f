#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/scheduler.h"
#include "platform/base/win_base.h"

namespace {

class VirtualClock : public ::testing::Test {
protected:
    void SetUp() override { platform::clock::UseVirtual(); }
    void TearDown() override { platform::clock::UseReal(); }
};

struct Trace {
    CRITICAL_SECTION cs;
    std::vector<std::string> lines;
    void Add(const std::string& s) {
        EnterCriticalSection(&cs);
        lines.push_back(std::to_string(GetTickCount()) + " " + s);
        LeaveCriticalSection(&cs);
    }
};

struct Ticker {
    Trace* trace;
    const char* name;
    DWORD period;
    int count;
};

DWORD TickerProc(LPVOID p) {
    auto* t = static_cast<Ticker*>(p);
    for (int i = 0; i < t->count; ++i) {
        Sleep(t->period);
        t->trace->Add(t->name);
    }
    return 7;
}

TEST_F(VirtualClock, SleepsMoveTimeOnlyToTheNextDeadline) {
    EXPECT_EQ(GetTickCount(), 0u);
    Sleep(250);
    EXPECT_EQ(GetTickCount(), 250u);
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 100), WAIT_TIMEOUT);
    EXPECT_EQ(GetTickCount(), 350u);
    SetEvent(e);
    EXPECT_EQ(WaitForSingleObject(e, 100), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);  // manual reset stays set
    EXPECT_EQ(GetTickCount(), 350u);
    CloseHandle(e);
}

TEST_F(VirtualClock, ThreadsInterleaveTheSameWayOnEveryRun) {
    std::vector<std::string> first;
    for (int run = 0; run < 3; ++run) {
        Trace trace;
        InitializeCriticalSection(&trace.cs);
        Ticker a{&trace, "a", 10, 5}, b{&trace, "b", 25, 2};
        HANDLE ta = CreateThread(nullptr, 0, TickerProc, &a, 0, nullptr);
        HANDLE tb = CreateThread(nullptr, 0, TickerProc, &b, 0, nullptr);
        ASSERT_EQ(WaitForSingleObject(ta, INFINITE), WAIT_OBJECT_0);
        ASSERT_EQ(WaitForSingleObject(tb, INFINITE), WAIT_OBJECT_0);
        DWORD code = 0;
        GetExitCodeThread(ta, &code);
        EXPECT_EQ(code, 7u);
        CloseHandle(ta);
        CloseHandle(tb);
        DeleteCriticalSection(&trace.cs);
        if (run == 0) {
            first = trace.lines;
            std::vector<std::string> expected = {"10 a", "20 a", "25 b", "30 a", "40 a", "50 a", "50 b"};
            // Both due at 50 ms: a registered first, so a runs first.
            EXPECT_EQ(trace.lines, expected);
        } else {
            EXPECT_EQ(trace.lines, first);
        }
        platform::clock::UseReal();
        platform::clock::UseVirtual();
    }
}

DWORD SetAfter(LPVOID p) {
    Sleep(40);
    SetEvent(static_cast<HANDLE>(p));
    return 0;
}

TEST_F(VirtualClock, AnEventSetByAnotherThreadEndsTheWait) {
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE t = CreateThread(nullptr, 0, SetAfter, e, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 1000), WAIT_OBJECT_0);
    EXPECT_EQ(GetTickCount(), 40u);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);  // auto reset consumed it
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    CloseHandle(e);
}

DWORD CountRun(LPVOID p) {
    ++*static_cast<int*>(p);
    return 3;
}

TEST_F(VirtualClock, AThreadCreatedSuspendedRunsOnlyOnceResumed) {
    int runs = 0;
    DWORD id = 0;
    HANDLE t = CreateThread(nullptr, 0, CountRun, &runs, CREATE_SUSPENDED, &id);
    ASSERT_NE(t, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(WaitForSingleObject(t, 500), WAIT_TIMEOUT);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(ResumeThread(t), 1u);
    EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(ResumeThread(t), 0u);  // not suspended any more
    CloseHandle(t);
    EXPECT_EQ(ResumeThread(t), 0xFFFFFFFFu);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

struct Contender {
    HANDLE hEvent;
    CRITICAL_SECTION* pCs;
    int* pInside;
    int nMostInside = 0;
    bool bWoken = false;
};

DWORD HoldThenWait(LPVOID p) {
    auto* c = static_cast<Contender*>(p);
    EnterCriticalSection(c->pCs);
    c->nMostInside = ++*c->pInside;
    Sleep(10);  // the other contender runs while this one holds the section
    --*c->pInside;
    LeaveCriticalSection(c->pCs);
    c->bWoken = WaitForSingleObject(c->hEvent, 1000) == WAIT_OBJECT_0;
    return 0;
}

// Two threads made ready by one change: the first to run takes what woke
// both, and the second must wait on instead of returning as if it had it.
TEST_F(VirtualClock, WhatTheFirstWokenThreadTakesSendsTheOtherBackToWaiting) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    int inside = 0;
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Contender a{e, &cs, &inside}, b{e, &cs, &inside};
    EnterCriticalSection(&cs);
    HANDLE ta = CreateThread(nullptr, 0, HoldThenWait, &a, 0, nullptr);
    HANDLE tb = CreateThread(nullptr, 0, HoldThenWait, &b, 0, nullptr);
    Sleep(5);
    LeaveCriticalSection(&cs);  // both wait for it: one enters, then the other
    Sleep(50);
    SetEvent(e);  // an auto-reset event with two waiters: one wait ends, the other times out
    WaitForSingleObject(ta, INFINITE);
    WaitForSingleObject(tb, INFINITE);
    EXPECT_EQ(a.nMostInside, 1);
    EXPECT_EQ(b.nMostInside, 1);
    EXPECT_TRUE(a.bWoken);
    EXPECT_FALSE(b.bWoken);
    EXPECT_EQ(GetTickCount(), 1025u);
    CloseHandle(ta);
    CloseHandle(tb);
    CloseHandle(e);
    DeleteCriticalSection(&cs);
}

TEST(VirtualClockDeathTest, AWaitForEverWithNoOtherThreadIsReportedAsDeadlock) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            platform::clock::UseVirtual();
            HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
            WaitForSingleObject(e, INFINITE);
        },
        "deadlock");
}

TEST(RealClock, WaitsTimeOutAndHandlesAreChecked) {
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 1), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(e));
    EXPECT_FALSE(CloseHandle(e));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(e));
}

TEST(RealClock, AThreadCreatedSuspendedRunsOnceResumed) {
    int runs = 0;
    HANDLE t = CreateThread(nullptr, 0, CountRun, &runs, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(ResumeThread(t), 1u);
    EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(runs, 1);
    CloseHandle(t);
}

TEST(LocalMemory, ZeroInitAndInjectedFailure) {
    auto* p = static_cast<unsigned char*>(LocalAlloc(LMEM_ZEROINIT, 64));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(p[i], 0);
    LocalFree(p);
    platform::test::FailLocalAllocAfter(1);
    void* ok = LocalAlloc(LPTR, 8);
    EXPECT_NE(ok, nullptr);
    EXPECT_EQ(LocalAlloc(LPTR, 8), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    void* again = LocalAlloc(LPTR, 8);
    EXPECT_NE(again, nullptr);
    LocalFree(ok);
    LocalFree(again);
}

}  // namespace
