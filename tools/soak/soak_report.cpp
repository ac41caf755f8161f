#include "tools/soak/soak_report.h"

#include <dirent.h>
#include <malloc.h>

#include <cstdio>
#include <fstream>

namespace {

// A "Name:  value kB" line of /proc/self/status.
long StatusField(const std::string& name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(name + ":", 0) == 0) return std::atol(line.c_str() + name.size() + 1);
    return -1;
}

int OpenDescriptors() {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    int n = 0;
    while (dirent* entry = readdir(dir)) n += entry->d_name[0] != '.';
    closedir(dir);
    return n - 1;  // the directory's own
}

std::string Describe(const Resources& r) {
    char text[160];
    std::snprintf(text, sizeof text, "heap %.1f KB, RSS %ld KB, %d threads, %d descriptors", r.nHeapBytes / 1024.0,
                  r.nRssKb, r.nThreads, r.nDescriptors);
    return text;
}

}  // namespace

Resources MeasureResources() {
    Resources r;
    r.nHeapBytes = mallinfo2().uordblks;
    r.nRssKb = StatusField("VmRSS");
    r.nThreads = static_cast<int>(StatusField("Threads"));
    r.nDescriptors = OpenDescriptors();
    return r;
}

void PrintReport(const SoakReport& report, const CSimProcess::Counts& sim, double dRunS) {
    std::printf("ran %.0f s of Loop Detect\n", dRunS);
    std::printf("kestra-sim: %d replies sent, %d of them garbled; %d connections, %d dropped by --drop-every\n",
                sim.nReplies, sim.nGarbled, sim.nConnections, sim.nDrops);
    std::printf("replies shown: %d label refreshes, %d correct, %d showing a garbled reply (%d put right by the "
                "next refresh)\n",
                report.nRefreshes, report.nCorrect, report.nGarbledShown, report.nPutRight);
    for (const std::string& labels : report.aGarbledSamples) std::printf("  garbled labels: %s\n", labels.c_str());
    int recovered = 0, self = 0, reconnects = 0;
    double worst = 0;
    for (const DropEpisode& d : report.aDrops) {
        recovered += d.dRecoveredAfterS >= 0;
        self += d.bSelfRecovered;
        reconnects += d.nUserReconnects;
        if (d.dRecoveredAfterS > worst) worst = d.dRecoveredAfterS;
    }
    std::printf("reconnects survived: %d of %d drops recovered (%d by themselves, %d user reconnects pressed), "
                "longest stale %.1f s\n",
                recovered, static_cast<int>(report.aDrops.size()), self, reconnects, worst);
    for (size_t i = 0; i < report.aDrops.size(); ++i) {
        const DropEpisode& d = report.aDrops[i];
        std::printf("  drop %2zu at %6.1f s: ", i + 1, d.dDropAtS);
        if (d.dRecoveredAfterS < 0)
            std::printf("labels not recovered (%d user reconnects)\n", d.nUserReconnects);
        else if (d.bSelfRecovered)
            std::printf("labels recovered by themselves after %.1f s; heap %.1f KB\n", d.dRecoveredAfterS,
                        d.nHeapBytes / 1024.0);
        else
            std::printf("labels recovered %.1f s after the drop, %.2f s after the %s Loop Detect press; heap %.1f KB\n",
                        d.dRecoveredAfterS, d.dAfterReconnectS, d.nUserReconnects == 1 ? "first" : "last",
                        d.nHeapBytes / 1024.0);
    }
    if (report.aBoxes.empty()) std::printf("message boxes: none\n");
    for (const auto& [text, count] : report.aBoxes) std::printf("message box \"%s\": %d\n", text.c_str(), count);
    std::printf("memory at start: %s\n", report.bStartKnown ? Describe(report.start).c_str() : "not measured");
    std::printf("memory at end:   %s\n", report.bEndKnown ? Describe(report.end).c_str() : "not measured");
}
