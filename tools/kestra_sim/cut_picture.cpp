#include "tools/kestra_sim/cut_picture.h"

#include <cstdio>
#include <fstream>

namespace kestra_sim {

namespace {

std::string Mm(double d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", d);
    return text;
}

}  // namespace

std::string CutPicture(const cutter_sim::CCutterModel& model) {
    const cutter_sim::CutterState& state = model.State();
    double width = state.nSizeX / cutter_sim::UNITS_PER_MM;
    double height = state.nSizeY / cutter_sim::UNITS_PER_MM;
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Mm(width) + "mm\" height=\"" + Mm(height) +
           "mm\" viewBox=\"0 0 " + Mm(width) + " " + Mm(height) + "\">\n";
    svg += "<title>" + state.strModel + " media " + Mm(width) + " x " + Mm(height) + " mm, " +
           std::to_string(model.Cuts().size()) + " cuts</title>\n";
    svg += "<rect x=\"0\" y=\"0\" width=\"" + Mm(width) + "\" height=\"" + Mm(height) +
           "\" fill=\"#fffdf5\" stroke=\"#888\" stroke-width=\"0.5\"/>\n";
    for (const cutter_sim::CutPath& path : model.Cuts()) {
        if (path.size() < 2) continue;
        svg += "<polyline fill=\"none\" stroke=\"#c00\" stroke-width=\"0.3\" points=\"";
        for (size_t i = 0; i < path.size(); ++i) {
            if (i) svg += ' ';
            svg += Mm(path[i].dX) + "," + Mm(height - path[i].dY);
        }
        svg += "\"/>\n";
    }
    svg += "</svg>\n";
    return svg;
}

bool WriteCutPicture(const cutter_sim::CCutterModel& model, const std::string& path) {
    std::string temporary = path + ".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << CutPicture(model);
        if (!file.flush()) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace kestra_sim
