#include "zq_setup/ui/curve_shape_api.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "control/curve_math.h"
#include "zq_setup/curve_shape.h"

namespace zq::setup::ui {
namespace {

using nlohmann::json;

json ShapeJson(const CurveShape& s) {
  return json{{"deadZone", s.deadZone},
              {"saturation", s.saturation},
              {"curvature", s.curvature},
              {"invert", s.invert}};
}

void Refuse(Response& res, const std::string& why) {
  res.result(http::status::bad_request);
  res.body() = json{{"error", why}}.dump();
}

// A whole number within -1000..1000, as the controls give it.
bool ReadPercent(const json& body, const char* name, int& out) {
  if (!body.contains(name)) return true;  // the default
  const json& v = body[name];
  if (!v.is_number_integer() || v.get<int64_t>() < -1000 || v.get<int64_t>() > 1000) return false;
  out = static_cast<int>(v.get<int64_t>());
  return true;
}

void Shape(const std::string& bodyText, Response& res) {
  json body = json::parse(bodyText, nullptr, false);
  if (body.is_discarded() || !body.is_object())
    return Refuse(res, "the request is not a JSON object");
  CurveShape s;
  if (!ReadPercent(body, "deadZone", s.deadZone) ||
      !ReadPercent(body, "saturation", s.saturation) ||
      !ReadPercent(body, "curvature", s.curvature)) {
    return Refuse(res, "deadZone, saturation and curvature are whole numbers");
  }
  if (body.contains("invert")) {
    if (!body["invert"].is_boolean()) return Refuse(res, "invert: true or false");
    s.invert = body["invert"].get<bool>();
  }
  if (std::string problem = ShapeProblem(s); !problem.empty()) return Refuse(res, problem);

  Curve curve = ShapeCurve(s);
  json points = json::array();
  std::string text;
  for (int k = 0; k < kCurvePoints; ++k) {
    points.push_back(curve[k]);
    text += (k ? " " : "") + std::to_string(curve[k]);
  }
  PointValues values = ComputePointValues(curve);
  json outputs = json::array();
  json ideal = json::array();
  for (int32_t reading = -1000; reading <= 1000; ++reading) {
    outputs.push_back(EvaluateCurve(reading, values));
    ideal.push_back(std::round(ShapeOutput(s, reading) * 100) / 100);
  }
  ShapeFit fit = FitShape(s, curve);
  res.body() = json{{"shape", ShapeJson(s)},
                    {"points", points},
                    {"text", text},
                    {"outputs", outputs},
                    {"ideal", ideal},
                    {"exact", fit.exact()},
                    {"deviation", std::round(fit.deviation * 10) / 10},
                    {"at", fit.reading}}
                   .dump();
}

}  // namespace

bool AnswerCurveShape(const Request& req, std::string_view path, Response& res) {
  bool get = req.method() == http::verb::get;
  if (get && path == "/api/curve/shapes") {
    json presets = json::array();
    for (const ShapePreset& p : kShapePresets) {
      json one = ShapeJson(p.shape);
      one["name"] = p.name;
      presets.push_back(one);
    }
    res.body() = json{{"presets", presets}}.dump();
    return true;
  }
  if (!get && path == "/api/curve/shape") {
    Shape(req.body(), res);
    return true;
  }
  return false;
}

}  // namespace zq::setup::ui
