// kestra-soak: Dashel in Loop Detect for minutes over a network serial port
// to kestra-sim, which drops the connection, delays replies and garbles
// bytes. Real clock, real threads. It prints what it saw and exits 0; a panel
// that stops coming back to its message loop is reported and ends the run
// with status 1, so the soak never hangs.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "panel/app/panel_app.h"
#include "platform/base/prefix.h"
#include "platform/resources/resources.h"
#include "platform/serial/posix_serial.h"
#include "tools/soak/sim_process.h"
#include "tools/soak/soak_panel.h"

namespace fs = std::filesystem;

namespace {

const char* const USAGE =
    "usage: kestra-soak [--seconds N] [--drop-every S] [--delay MS] [--jitter MS] [--garble N] [--seed N]\n"
    "                   [--sim-log FILE]\n"
    "Keeps Dashel in Loop Detect over a network serial port to kestra-sim for N seconds (default 240)\n"
    "while kestra-sim drops the connection every S seconds (default 15), delays each reply by MS\n"
    "(default 100) plus a random 0..MS (default 300), and garbles one byte of every Nth reply\n"
    "(default 5); --seed (default 1) repeats a run's random choices. Prints what it saw;\n"
    "--sim-log keeps kestra-sim's log of every command, reply, garbled byte and drop in FILE.\n";

// What the user would wait before acting, and the longest a dialog thread may be away from its loop.
constexpr SoakTimes TIMES{std::chrono::seconds(0), std::chrono::seconds(6), std::chrono::seconds(10)};
constexpr auto STUCK_LIMIT = std::chrono::seconds(20);

// The cutter's settings, and the panel's label texts for them (IDC_FORCE onwards) in English.
const std::vector<std::string> CUTTER = {"--weight", "1", "--force", "137", "--offset", "250", "--quality", "2",
                                         "--smooth", "1", "--unroll", "0",   "--media",  "roll"};
const std::string EXPECTED_LABELS[] = {"137", "0.25mm", "Light", "Fine", "Enable", "Disable", "Roll"};

struct SoakOptions {
    long nSeconds = 240;
    std::string strSimLog;
    bool bHelp = false;
    std::vector<std::pair<std::string, std::string>> aFaults = {
        {"--drop-every", "15"}, {"--delay", "100"}, {"--jitter", "300"}, {"--garble", "5"}, {"--seed", "1"}};
};

// False with *error for an unknown option or a missing value; the fault
// values are kestra-sim's to check.
bool ParseSoakOptions(int argc, char** argv, SoakOptions* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            options->bHelp = true;
            continue;
        }
        if (i + 1 >= argc) {
            *error = option + " needs a value";
            return false;
        }
        std::string value = argv[++i];
        if (option == "--seconds") {
            char* end = nullptr;
            options->nSeconds = std::strtol(value.c_str(), &end, 10);
            if (*end || value.empty() || options->nSeconds < 10 || options->nSeconds > 86400) {
                *error = "--seconds wants 10..86400, not " + value;
                return false;
            }
            continue;
        }
        if (option == "--sim-log") {
            options->strSimLog = value;
            continue;
        }
        bool known = false;
        for (auto& [name, setting] : options->aFaults) {
            if (option != name) continue;
            setting = value;
            known = true;
        }
        if (!known) {
            *error = "unknown option " + option;
            return false;
        }
    }
    return true;
}

// Reports a panel that does not come back, and ends the process: the
// dialog thread cannot be asked to stop, and kestra-sim goes with us.
[[noreturn]] void ReportStuck(const CSoakBackend& backend, const CSimProcess& sim, const std::string& root,
                              const std::string& why, double runS) {
    SoakReport report = backend.Report();
    std::printf("FINDING: panel stuck: %s, while %s\n", why.c_str(), report.strDoing.c_str());
    PrintReport(report, sim.Snapshot(), runS);
    std::fflush(stdout);
    std::error_code ignored;
    fs::remove_all(root, ignored);
    _exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    SoakOptions options;
    std::string error;
    if (!ParseSoakOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "kestra-soak: %s\n%s", error.c_str(), USAGE);
        return 2;
    }
    if (options.bHelp) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    char folder[] = "/tmp/kestra-soak-XXXXXX";
    if (!mkdtemp(folder)) {
        std::perror("kestra-soak: cannot make a folder in /tmp");
        return 1;
    }
    std::string root = folder;

    std::vector<std::string> simArgs = CUTTER;
    std::string faults;
    for (const auto& [name, value] : options.aFaults) {
        simArgs.push_back(name);
        simArgs.push_back(value);
        faults += " " + name + " " + value;
    }
    CSimProcess sim;
    if (!sim.Start(KESTRA_SIM_PATH, simArgs, options.strSimLog, &error)) {
        std::fprintf(stderr, "kestra-soak: %s\n", error.c_str());
        fs::remove_all(root);
        return 1;
    }
    // A prefix of our own whose COM1 is the simulator; no device of this machine is touched.
    platform::SetPrefixRoot(root + "/prefix");
    fs::create_directories(root + "/prefix/dosdevices");
    std::string link = "rfc2217://127.0.0.1:" + std::to_string(sim.Port());
    fs::create_symlink(link, root + "/prefix/dosdevices/com1");
    std::printf("kestra-soak: %ld s of Loop Detect on COM1 = %s; kestra-sim%s\n", options.nSeconds, link.c_str(),
                faults.c_str());
    std::fflush(stdout);

    platform::posix_serial::Install();
    theApp.m_pszAppName = "Dashel";
    platform::res::SetUserUILanguage(1033);
    SoakTimes times = TIMES;
    times.run = std::chrono::seconds(options.nSeconds);
    CSoakBackend backend(sim, times, EXPECTED_LABELS);
    platform::ui::SetBackend(&backend);

    SoakClock::time_point started = SoakClock::now();
    auto runS = [&] { return std::chrono::duration<double>(SoakClock::now() - started).count(); };
    // Past this the run has failed to end: the longest recovery it allows, and time to close.
    auto hardEnd = started + times.run + times.stale + 4 * times.recovery + std::chrono::seconds(30);
    std::mutex doneLock;
    std::condition_variable doneChanged;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lk(doneLock);
        while (!doneChanged.wait_for(lk, std::chrono::seconds(1), [&] { return done; })) {
            SoakClock::time_point now = SoakClock::now();
            if (now - backend.LastStep() > STUCK_LIMIT)
                ReportStuck(backend, sim, root, "the dialog thread has not come back to its message loop for " +
                                                    std::to_string(STUCK_LIMIT.count()) + " s", runS());
            if (now > hardEnd) ReportStuck(backend, sim, root, "the run did not end in time", runS());
        }
    });
    AfxWinMain("Dashel");
    {
        std::lock_guard<std::mutex> lk(doneLock);
        done = true;
    }
    doneChanged.notify_all();
    watchdog.join();
    platform::ui::SetBackend(nullptr);
    platform::posix_serial::Uninstall();
    double ran = runS();
    sim.Stop();
    PrintReport(backend.Report(), sim.Snapshot(), ran);
    fs::remove_all(root);
    return 0;
}
