// Looking into a file's JSON without trusting its shape: a member that is
// missing, or asked of something that is no object, is null; a number of
// the wrong type, or not finite, is the caller's fallback. For the file
// reader and the readers of the extensions it keeps (springs, expressions).
#pragma once

#include <cmath>

#include <nlohmann/json.hpp>

namespace vrm {

inline const nlohmann::json& Member(const nlohmann::json& o, const char* key) {
  static const nlohmann::json kNull;
  if (!o.is_object()) return kNull;
  auto it = o.find(key);
  return it == o.end() ? kNull : *it;
}

inline double Number(const nlohmann::json& o, const char* key, double fallback) {
  const nlohmann::json& v = Member(o, key);
  return v.is_number() && std::isfinite(v.get<double>()) ? v.get<double>() : fallback;
}

}  // namespace vrm
