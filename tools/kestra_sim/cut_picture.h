// What the simulated cutter has cut, as an SVG picture of its media: the
// media outline to scale in millimetres and every knife path on it.
#pragma once

#include <string>

#include "tools/cutter_sim/cutter_model.h"

namespace kestra_sim {

// The picture as SVG text; the feed direction runs left to right, the
// media's origin at the lower left as the cutter sees it.
std::string CutPicture(const cutter_sim::CCutterModel& model);
// Writes the picture to path through a temporary file, so a viewer never
// sees half a file; false when it cannot be written.
bool WriteCutPicture(const cutter_sim::CCutterModel& model, const std::string& path);

}  // namespace kestra_sim
