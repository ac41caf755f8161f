// The fault sweep's view of the calls UnPlug and RePlug make to the outside
// that can fail (spooler, LocalAlloc, drive files): it counts them and fails
// the chosen one, through the call fault hook of platform/base.
#pragma once

#include <string>
#include <vector>

#include "platform/base/win_types.h"

class CCallSweep {
public:
    // nFailAt: the counted call to fail, 1 for the first; 0 fails none.
    explicit CCallSweep(int nFailAt);
    CCallSweep(const CCallSweep&) = delete;
    CCallSweep& operator=(const CCallSweep&) = delete;
    ~CCallSweep();

    // Only calls made while armed count (the library's, not the script's own).
    void Arm(bool bArmed) { m_bArmed = bArmed; }
    // "CALL TARGET" for each call counted so far, in order.
    const std::vector<std::string>& Points() const { return m_aPoints; }
    bool Struck() const { return m_nFailAt > 0 && static_cast<int>(m_aPoints.size()) >= m_nFailAt; }
    // The call that was failed; empty before it struck.
    std::string FailedPoint() const { return Struck() ? m_aPoints[m_nFailAt - 1] : std::string(); }

private:
    static DWORD Hook(const char* pszCall, const char* pszTarget);

    int m_nFailAt;
    bool m_bArmed = false;
    std::vector<std::string> m_aPoints;
};
