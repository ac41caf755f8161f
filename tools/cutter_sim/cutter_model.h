// What the simulated cutter is and does: its panel settings, media size,
// scale factors, firmware identity and flash copy; the reply to each read
// command; and the paths its knife cuts, in millimetres, through the factors
// at which this particular cutter cuts true.
#pragma once

#include <string>
#include <vector>

#include "tools/cutter_sim/cutter_parser.h"

namespace cutter_sim {

constexpr int NOMINAL_FACTOR_X = 12390;
constexpr int NOMINAL_FACTOR_Y = 13112;
constexpr double UNITS_PER_MM = 40;  // plotter units of 0.025 mm

struct CutterSettings {
    int nWeight = 1;    // 1 light, otherwise heavy
    int nForce = 80;
    int nOffset = 250;  // knife offset in 0.001 mm
    int nQuality = 2;   // 1 draft, otherwise fine
    int nSmooth = 1;    // 1 on
    int nUnroll = 0;    // 1 on
    int nMedia = 1;     // 1 roll, 2 edge, 3 single sheet
    int nFactorX = NOMINAL_FACTOR_X;
    int nFactorY = NOMINAL_FACTOR_Y;
};

struct CutterState {
    CutterSettings settings;
    int nSizeX = 40000;  // media size in plotter units: 1000 mm along the feed
    int nSizeY = 24384;  // 609.6 mm across
    // The factors at which this cutter cuts a commanded length exactly.
    int nTrueX = NOMINAL_FACTOR_X;
    int nTrueY = NOMINAL_FACTOR_Y;
    std::string strModel = "K-720";
    std::string strVersion = "V2.10";
    std::string strBuildDate = "2002-03-18";
};

struct CutPoint {
    double dX;  // mm
    double dY;
};
using CutPath = std::vector<CutPoint>;

// "(2.50,2.50) (102.50,2.50)": each point in mm to 0.01.
std::string FormatPath(const CutPath& path);

class CCutterModel {
public:
    // Bounds what a flood of pen-down moves may record; further points are counted, not kept.
    static constexpr std::size_t MAX_CUT_POINTS = 100000;

    // Carries out one command; returns the reply it sends, or "" when none.
    std::string Apply(const CutterCommand& command);

    // Sets a value by name: weight, force, offset, quality, smooth, unroll,
    // media, sizex, sizey, factorx, factory, truex, truey (decimal 32-bit;
    // factors above 0), model, version, date (up to 32 printable characters,
    // no ',' or ';', no blank in the version, which the date follows after
    // one). False, with nothing changed, otherwise.
    bool Configure(const std::string& strKey, const std::string& strValue);

    const CutterState& State() const { return m_state; }
    // The settings as the last flash save stored them; the start values while FlashSaves() is 0.
    const CutterSettings& Saved() const { return m_saved; }
    int FlashSaves() const { return m_nFlashSaves; }
    // Every pen-down path, the one still being cut included.
    const std::vector<CutPath>& Cuts() const { return m_aCuts; }
    std::size_t DroppedPoints() const { return m_nDroppedPoints; }

private:
    std::string ApplyDevice(const CutterCommand& command);
    void ApplyHpgl(const CutterCommand& command);
    void MoveTo(double dUnitsX, double dUnitsY);
    void PenUp();

    CutterState m_state;
    CutterSettings m_saved;
    int m_nFlashSaves = 0;
    bool m_bRelative = false;
    bool m_bPenDown = false;
    bool m_bPathOpen = false;
    double m_dX = 0;  // knife position in mm
    double m_dY = 0;
    std::vector<CutPath> m_aCuts;
    std::size_t m_nCutPoints = 0;
    std::size_t m_nDroppedPoints = 0;
};

}  // namespace cutter_sim
