// Runs a driver scenario script (format in FORMAT.md) against zbkusd on the
// simulated USB system and the virtual clock, printing what happened.
#pragma once

#include <map>
#include <memory>
#include <ostream>
#include <utility>
#include <string>
#include <vector>

#include "platform/base/win_types.h"
#include "platform/usbsim/io_manager.h"
#include "platform/text/verb_table.h"
#include "platform/usbsim/usb_system.h"

class CScenarioRunner {
public:
    // failAt: the counted allocation to fail (0 for none); expectations are
    // then not checked, only that nothing crashes and nothing leaks.
    CScenarioRunner(std::ostream& out, long failAt);
    ~CScenarioRunner();

    // Runs the whole script; returns 0 when every expectation held and the
    // pool balanced, 1 for a failed expectation or a bad line, 2 for a leak,
    // 3 for a line that pulling every cable could not end (see SetLineLimit).
    int Run(const std::vector<std::string>& lines);

    // Runs each line but `advance` on a thread of its own and gives it ms of virtual time:
    // a line still running then (a script that waits for what never comes,
    // such as a wake-up) has every cutter unplugged, which must end it, and
    // the rest of the script is skipped.
    void SetLineLimit(DWORD ms) { m_nLineLimitMs = ms; }

    using Words = std::vector<std::string>;
    using Lines = std::vector<std::string>;

    // One user-mode command on the calling thread; its output in *lines.
    void RunUserCommand(const Words& words, Lines* lines);

    // A user-mode command started by `async`, with its output until `join`.
    struct STask {
        CScenarioRunner* pRunner;
        Words aWords;
        Lines aLines;
        HANDLE hThread = nullptr;
    };

private:
    using SVerb = platform::text::SVerb<bool (CScenarioRunner::*)(const Words&, Lines*)>;
    static const SVerb kUserVerbs[];
    static const SVerb kVerbs[];

    // The handlers of the verbs (verbs.cpp).
    bool UserOpen(const Words& words, Lines* lines);
    bool UserClose(const Words& words, Lines* lines);
    bool UserRead(const Words& words, Lines* lines);
    bool UserWrite(const Words& words, Lines* lines);
    bool UserIoctl(const Words& words, Lines* lines);
    bool DoCutter(const Words& words, Lines* lines);
    bool DoPlug(const Words& words, Lines* lines);
    bool DoUnplug(const Words& words, Lines* lines);
    bool DoPnp(const Words& words, Lines* lines);
    bool DoSystemControl(const Words& words, Lines* lines);
    bool DoPower(const Words& words, Lines* lines);
    bool DoOutcome(const Words& words, Lines* lines);
    bool DoData(const Words& words, Lines* lines);
    bool DoReply(const Words& words, Lines* lines);
    bool DoAsync(const Words& words, Lines* lines);
    bool DoJoin(const Words& words, Lines* lines);
    bool DoAdvance(const Words& words, Lines* lines);
    bool DoSettle(const Words& words, Lines* lines);
    bool DoFailAlloc(const Words& words, Lines* lines);
    bool DoPool(const Words& words, Lines* lines);
    bool DoLinks(const Words& words, Lines* lines);
    HANDLE HandleOf(const std::string& name) const;
    static void Report(const platform::iomgr::SIoResult& result, const std::vector<BYTE>* data, Lines* lines);

    bool Execute(const Words& words, Lines* lines);
    // How a line ended under the line limit: by itself (well or as a bad
    // line), after the cutters were unplugged, or not at all.
    enum class LineEnd { Done, Bad, Rescued, Stuck };
    LineEnd ExecuteBounded(const std::vector<std::string>& words, std::vector<std::string>* lines);
    static DWORD LineThread(LPVOID parameter);
    bool Expect(const std::string& text, bool wanted);
    void CollectSystemOutput(std::vector<std::string>* lines);
    void Teardown();
    int CheckPool();

    std::ostream& m_out;
    bool m_bCheckExpectations;
    platform::usbsim::CUsbSystem* m_pSystem = nullptr;
    platform::usbsim::CCutterDevice* ModelFor(const std::string& name);
    bool Configure(platform::usbsim::CCutterDevice* model, const std::map<std::string, std::string>& options);

    std::map<std::string, platform::usbsim::CCutterDevice> m_aPrepared;  // cutters set up before plugging
    std::map<std::string, HANDLE> m_aHandles;
    std::map<std::string, std::unique_ptr<STask>> m_aTasks;
    std::vector<std::string> m_aLast;  // output of the latest command, for expect
    int m_nFailures = 0;
    DWORD m_nLineLimitMs = 0;
    long m_nStartNextCalls = 0;
};
