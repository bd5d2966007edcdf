// Curve shapes for the page:
//   GET  /api/curve/shapes  the named presets
//   POST /api/curve/shape   {"deadZone", "saturation", "curvature", "invert"}:
//        the eleven points, the panel's response to them for every reading
//        -1000..1000, the shape itself, and how closely the points follow it
#pragma once

#include <string_view>

#include "zq_setup/ui/ui_http.h"

namespace zq::setup::ui {

// Answers the two routes; false for any other request.
bool AnswerCurveShape(const Request& req, std::string_view path, Response& res);

}  // namespace zq::setup::ui
