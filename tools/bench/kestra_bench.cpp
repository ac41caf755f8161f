// kestra-bench: prints the system's speed and memory figures beside their
// targets. It measures, it does not judge: it exits 0 whatever the figures.
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "driver/eznus.h"
#include "panel/app/panel_app.h"
#include "panel/app/panel_dlg.h"
#include "panel/resources/resource.h"
#include "platform/base/devices.h"
#include "platform/resources/resources.h"
#include "platform/serial/sim_serial.h"
#include "platform/ui/backend.h"
#include "platform/ui/window_core.h"
#include "platform/usbsim/io_manager.h"
#include "platform/usbsim/usb_system.h"
#include "tools/cutter_sim/sim_cutter.h"

namespace ui = platform::ui;
namespace sim = platform::sim_serial;
using Clock = std::chrono::steady_clock;

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

size_t HeapInUse() { return mallinfo2().uordblks; }

// Runs the panel on the headless backend; the bench's steps run on the UI
// thread when it is idle, and label changes are timed as they happen.
class BenchBackend : public ui::Backend {
public:
    std::vector<std::function<bool()>> steps;  // a step returns true when it is done
    std::atomic<int> shownForce{-1};
    Clock::time_point shownAt;
    HANDLE shown = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ~BenchBackend() override { CloseHandle(shown); }

    void Wait(platform::sched::Millis deadline) override {
        platform::sched::YieldToReady();
        if (!steps.empty() && ui::ActiveModal()) {
            if (steps.front()()) steps.erase(steps.begin());
            deadline = std::min(deadline, platform::sched::Now() + 250);  // the bench's own checks stay rare
        }
        ui::WaitForQueue(deadline);
    }
    void Wake() override { ui::WakeQueues(); }
    void WindowChanged(ui::Window& w) override {
        if (w.id != IDC_FORCE || w.text.empty()) return;
        shownAt = Clock::now();
        shownForce.store(std::stoi(w.text));
        SetEvent(shown);
    }
};

HWND Panel() { return g_pPanelDlg ? g_pPanelDlg->m_hWnd : nullptr; }

bool Click(int id) {
    ui::ClickControl(GetDlgItem(Panel(), id), false);
    return true;
}

struct LatencyRun {
    BenchBackend* backend;
    std::vector<double> millis;
};

// The device's side: each reply lands in the port's queue whole, and the
// clock runs until the panel's force label shows it.
DWORD SendReplies(LPVOID param) {
    auto* run = static_cast<LatencyRun*>(param);
    while (!sim::IsOpen(1)) Sleep(5);
    for (int i = 0; i < 1000; ++i) {
        std::string reply = "OR1,1," + std::to_string(i) + ",250,0,1,0,1;";
        Clock::time_point sent = Clock::now();
        sim::InjectReceived(1, reply);
        while (run->backend->shownForce.load() != i) WaitForSingleObject(run->backend->shown, 1000);
        run->millis.push_back(std::chrono::duration<double, std::milli>(run->backend->shownAt - sent).count());
        Sleep(1 + i % 7);  // arrivals fall at every phase of the reader's poll
    }
    return 0;
}

void ReplyLatency() {
    sim::Install();
    BenchBackend backend;
    ui::SetBackend(&backend);
    LatencyRun run{&backend, {}};
    HANDLE device = nullptr;
    backend.steps.push_back([] { return Click(IDC_LOOP_DETECT); });
    backend.steps.push_back([&] {
        device = CreateThread(nullptr, 0, SendReplies, &run, 0, nullptr);
        return true;
    });
    backend.steps.push_back([&] { return run.millis.size() == 1000 && Click(IDC_DIS_DETECT); });
    backend.steps.push_back([] { return Click(IDOK); });
    AfxWinMain("Dashel");
    WaitForSingleObject(device, INFINITE);
    CloseHandle(device);
    ui::SetBackend(nullptr);
    std::sort(run.millis.begin(), run.millis.end());
    std::printf("reply latency, serial line to labels (real clock, 1000 replies): p50 %.2f ms, p99 %.2f ms"
                "   target p99 <= 12 ms\n",
                run.millis[run.millis.size() / 2], run.millis[run.millis.size() * 99 / 100]);
    sim::Uninstall();
}

void IdleAndLoopingCpu() {
    sim::Install();
    cutter_sim::CSimCutter cutter;
    cutter.Attach(1);
    BenchBackend backend;
    ui::SetBackend(&backend);
    double idle = 0, looping = 0;
    auto measure = [](double* share) {
        return [share, start = Clock::time_point{}, cpu = 0.0]() mutable {
            if (start == Clock::time_point{}) {
                start = Clock::now();
                cpu = CpuSeconds();
                return false;
            }
            double wall = std::chrono::duration<double>(Clock::now() - start).count();
            if (wall < 4.0) return false;
            *share = (CpuSeconds() - cpu) / wall * 100;
            return true;
        };
    };
    backend.steps.push_back(measure(&idle));
    backend.steps.push_back([] { return Click(IDC_LOOP_DETECT); });
    backend.steps.push_back(measure(&looping));
    backend.steps.push_back([] { return Click(IDC_DIS_DETECT); });
    backend.steps.push_back([] { return Click(IDOK); });
    AfxWinMain("Dashel");
    ui::SetBackend(nullptr);
    cutter.Detach();
    std::printf("CPU of Dashel, idle: %.3f %% of one core; during Loop Detect: %.3f %%   target <= 0.5 %%\n", idle,
                looping);
    sim::Uninstall();
}

void HeapOverAnHour() {
    platform::clock::UseVirtual();
    sim::Install();
    cutter_sim::CSimCutter cutter;
    cutter.Attach(1);
    BenchBackend backend;
    ui::SetBackend(&backend);
    size_t afterMinute = 0, afterHour = 0;
    auto heapAt = [](platform::sched::Millis when, size_t* heap) {
        return [when, heap] {
            if (platform::sched::Now() < when) return false;
            *heap = HeapInUse();
            return true;
        };
    };
    platform::sched::Millis start = 0;
    backend.steps.push_back([&] {
        start = platform::sched::Now();
        return Click(IDC_LOOP_DETECT);
    });
    backend.steps.push_back([&] { return heapAt(start + 60 * 1000, &afterMinute)(); });
    backend.steps.push_back([&] { return heapAt(start + 3600 * 1000, &afterHour)(); });
    backend.steps.push_back([] { return Click(IDC_DIS_DETECT); });
    backend.steps.push_back([] { return Click(IDOK); });
    AfxWinMain("Dashel");
    ui::SetBackend(nullptr);
    cutter.Detach();
    sim::Uninstall();
    platform::clock::UseReal();
    std::printf("heap during Loop Detect (virtual clock): %zu bytes after 1 minute, %zu after 1 hour   target: flat\n",
                afterMinute, afterHour);
}

void DriverCost() {
    int opener = platform::iomgr::InstallDeviceOpener();
    auto* system = new platform::usbsim::CUsbSystem;
    system->LoadFunctionDriver(DriverEntry);
    system->SetBusLog(false);
    platform::usbsim::SPlugResult plugged{};
    system->Plug("A", platform::usbsim::CCutterDevice(), false, &plugged);
    HANDLE h = CreateFileA("\\\\.\\EZNUS0", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    constexpr int kRounds = 20000;
    auto perCall = [](auto&& call) {
        Clock::time_point start = Clock::now();
        for (int i = 0; i < kRounds; ++i) call();
        return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kRounds;
    };
    DWORD done = 0;
    char data[16] = "PA;PU0,0;";
    double write = perCall([&] { WriteFile(h, data, 9, &done, nullptr); });
    double read = perCall([&] {
        system->QueueInData("A", 3, {'O', 'K', ';'});
        ReadFile(h, data, sizeof data, &done, nullptr);
    });
    double control = perCall([&] { DeviceIoControl(h, IOCTL_EZNUS_WRITE, data, 9, nullptr, 0, &done, nullptr); });
    CloseHandle(h);
    delete system;
    platform::RemoveDeviceOpener(opener);
    std::printf("driver stack per request, zero-latency device: write %.2f us, read %.2f us (queueing included), "
                "control %.2f us   target <= 2 us each\n",
                write, read, control);
}

}  // namespace

// kestra-bench [latency] [cpu] [heap] [driver]: the figures named, or all.
int main(int argc, char** argv) {
    theApp.m_pszAppName = "Dashel";
    platform::res::SetUserUILanguage(1033);
    const std::pair<const char*, void (*)()> figures[] = {
        {"latency", ReplyLatency}, {"cpu", IdleAndLoopingCpu}, {"heap", HeapOverAnHour}, {"driver", DriverCost}};
    std::vector<std::string> wanted(argv + 1, argv + argc);
    for (const std::string& name : wanted) {
        if (std::none_of(std::begin(figures), std::end(figures), [&](auto& f) { return name == f.first; })) {
            std::fprintf(stderr, "kestra-bench: no figure \"%s\" (latency, cpu, heap, driver)\n", name.c_str());
            return 64;
        }
    }
    std::printf("kestra-bench on %u cores\n", std::thread::hardware_concurrency());
    for (auto& [name, run] : figures)
        if (wanted.empty() || std::find(wanted.begin(), wanted.end(), name) != wanted.end()) run();
    return 0;
}
