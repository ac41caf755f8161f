// What a soak found: the panel's side (label refreshes, each dropped
// connection and how the labels came back, message boxes), the process's
// resources at start and end, and the simulator's own counts. Printed as
// figures; judging them is the reader's business.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "tools/soak/sim_process.h"

struct Resources {
    std::size_t nHeapBytes = 0;  // in use by the allocator
    long nRssKb = 0;
    int nThreads = 0;
    int nDescriptors = 0;
};
Resources MeasureResources();

// One dropped connection, from the drop to the first correct labels after it.
struct DropEpisode {
    double dDropAtS = 0;             // seconds into the run
    bool bSelfRecovered = false;     // labels came back with no action of the user
    int nUserReconnects = 0;         // DisDetect and Loop Detect pressed as a user would
    double dRecoveredAfterS = -1;    // drop to correct labels; < 0: not recovered
    double dAfterReconnectS = -1;    // last Loop Detect press to correct labels
    std::size_t nHeapBytes = 0;      // in use when the labels came back
};

struct SoakReport {
    bool bStartKnown = false, bEndKnown = false;
    Resources start, end;
    int nRefreshes = 0;        // times the panel wrote its labels after Loop Detect began
    int nCorrect = 0;          // of them showing the cutter's settings
    int nGarbledShown = 0;     // showing something else
    int nPutRight = 0;         // garbled labels that the next refresh put right
    std::vector<std::string> aGarbledSamples;  // the first few garbled label sets, as shown
    std::vector<DropEpisode> aDrops;
    std::map<std::string, int> aBoxes;  // message boxes shown, by text
    std::string strDoing = "starting the panel";  // what the soak was doing last, for a stuck panel
};

// The figures, one per line, on standard output.
void PrintReport(const SoakReport& report, const CSimProcess::Counts& sim, double dRunS);
