// podinfo: what a scene file holds, for the people who make content.
//
//   podinfo [--json] [--frame F] FILE...
//
// Prints a readable summary of each file, or with --json one JSON object per
// file on a line of its own. With --frame the world matrix of every node at
// frame F is added. A file that does not load is named on standard error
// with the reason. Exit status 0 when every file loaded, 1 otherwise, 64 for
// a command line it does not understand. Only regular files are read: a
// pipe or a device is reported, never waited on.
#include <sys/stat.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "files/files.h"
#include "scene/ModelPOD.h"

using nlohmann::json;

namespace {

json FloatArray(const float* p, size_t n) {
  if (!p) return nullptr;
  json a = json::array();
  for (size_t i = 0; i < n; ++i) a.push_back(std::isfinite(p[i]) ? json(p[i]) : json(nullptr));
  return a;
}

size_t Entries(const CPODScene& s, const SPODNode& n, uint32_t bit) {
  return (n.animationFlags & bit) && s.frameCount > 1 ? s.frameCount : 1;
}

json Describe(const char* path, const CPODScene& s, bool ok, bool withFrame) {
  json j;
  j["file"] = path;
  j["ok"] = ok;
  if (!ok) {
    j["error"] = s.readError() ? s.readError() : "not read";
    return j;
  }
  j["frameCount"] = s.frameCount;
  j["flags"] = s.flags;
  j["counts"] = {{"nodes", s.nodeCount},         {"meshNodes", s.meshNodeCount}, {"meshes", s.meshCount},
                 {"materials", s.materialCount}, {"textures", s.textureCount},   {"cameras", s.cameraCount},
                 {"lights", s.lightCount}};
  json nodes = json::array();
  for (uint32_t i = 0; i < s.nodeCount; ++i) {
    const SPODNode& n = s.nodes[i];
    json o;
    o["name"] = n.name ? json(n.name) : json(nullptr);
    o["meshIndex"] = n.meshIndex;
    o["materialIndex"] = n.materialIndex;
    o["parentIndex"] = n.parentIndex;
    o["animationFlags"] = n.animationFlags;
    o["positions"] = FloatArray(n.positions, 3 * Entries(s, n, 1u));
    o["rotations"] = FloatArray(n.rotations, 4 * Entries(s, n, 2u));
    o["scales"] = FloatArray(n.scales, 7 * Entries(s, n, 4u));
    o["matrices"] = FloatArray(n.matrices, 16 * Entries(s, n, 8u));
    if (withFrame) {
      MATRIX w;
      s.GetWorldMatrix(w, n);
      o["world"] = FloatArray(w.f, 16);
    }
    nodes.push_back(o);
  }
  j["nodes"] = nodes;
  json meshes = json::array();
  for (uint32_t i = 0; i < s.meshCount; ++i) {
    const SPODMesh& m = s.meshes[i];
    meshes.push_back({{"vertexCount", m.vertexCount},
                      {"faceCount", m.faceCount},
                      {"uvwCount", m.uvwCount},
                      {"stripCount", m.stripCount},
                      {"skinned", m.boneWeights.data != nullptr},
                      {"batchCount", m.boneBatches.batchCount}});
  }
  j["meshes"] = meshes;
  json materials = json::array();
  for (uint32_t i = 0; i < s.materialCount; ++i) {
    const SPODMaterial& m = s.materials[i];
    materials.push_back({{"name", m.name ? json(m.name) : json(nullptr)},
                         {"textureIndex", m.textureIndex},
                         {"opacity", m.opacity},
                         {"ambient", FloatArray(m.ambient, 3)},
                         {"diffuse", FloatArray(m.diffuse, 3)},
                         {"specular", FloatArray(m.specular, 3)},
                         {"shininess", m.shininess}});
  }
  j["materials"] = materials;
  json textures = json::array();
  for (uint32_t i = 0; i < s.textureCount; ++i) textures.push_back(s.textures[i]);
  j["textures"] = textures;
  return j;
}

void PrintSummary(const json& j) {
  const std::string file = j["file"];
  if (!j["ok"].get<bool>()) return;
  const json& c = j["counts"];
  std::printf("%s\n", file.c_str());
  std::printf("  frames %u, flags %u\n", j["frameCount"].get<unsigned>(), j["flags"].get<unsigned>());
  std::printf("  %u nodes (%u mesh nodes), %u meshes, %u materials, %u textures, %u cameras, %u lights\n",
              c["nodes"].get<unsigned>(), c["meshNodes"].get<unsigned>(), c["meshes"].get<unsigned>(),
              c["materials"].get<unsigned>(), c["textures"].get<unsigned>(), c["cameras"].get<unsigned>(),
              c["lights"].get<unsigned>());
  size_t k = 0;
  for (const json& m : j["meshes"]) {
    std::printf("  mesh %zu: %u vertices, %u triangles, %u uv sets, %u strips, %s, %d bone batches\n", k++,
                m["vertexCount"].get<unsigned>(), m["faceCount"].get<unsigned>(), m["uvwCount"].get<unsigned>(),
                m["stripCount"].get<unsigned>(), m["skinned"].get<bool>() ? "skinned" : "rigid",
                m["batchCount"].get<int>());
  }
  k = 0;
  for (const json& m : j["materials"]) {
    const json& tex = m["textureIndex"];
    std::printf("  material %zu: \"%s\", texture %d\n", k++,
                m["name"].is_null() ? "" : m["name"].get<std::string>().c_str(), tex.get<int>());
  }
  k = 0;
  for (const json& t : j["textures"]) std::printf("  texture %zu: %s\n", k++, t.get<std::string>().c_str());
  k = 0;
  for (const json& n : j["nodes"]) {
    std::printf("  node %zu: \"%s\" parent %d mesh %d material %d animated %u", k++,
                n["name"].is_null() ? "" : n["name"].get<std::string>().c_str(), n["parentIndex"].get<int>(),
                n["meshIndex"].get<int>(), n["materialIndex"].get<int>(), n["animationFlags"].get<unsigned>());
    if (n.contains("world")) {
      const json& w = n["world"];
      std::printf(" at (%g, %g, %g)", w[12].is_null() ? NAN : w[12].get<double>(),
                  w[13].is_null() ? NAN : w[13].get<double>(), w[14].is_null() ? NAN : w[14].get<double>());
    }
    std::printf("\n");
  }
}

const CliProgram kCli = {"podinfo",
                         "FILE...",
                         1,
                         -1,
                         {{"--json", nullptr, "one JSON object per file, each on a line of its own"},
                          {"--frame", "F", "add the world matrix of every node at frame F"}},
                         "Exit status: 0 when every file loaded, 1 otherwise, 64 usage.\n"};

}  // namespace

static int Run(int argc, char** argv) {
  CliArgs args;
  const int parsed = CliParse(kCli, argc, argv, &args);
  if (parsed >= 0) return parsed;
  const bool asJson = args.Has("--json"), withFrame = args.Has("--frame");
  float frame = 0;
  if (withFrame) {
    const std::string text = args.Value("--frame");
    char* end = nullptr;
    const double f = std::strtod(text.c_str(), &end);
    if (text.empty() || !end || *end || !std::isfinite(f) || f < 0 || f > 1e7)
      return CliUsageError(kCli, "--frame takes a frame number of 0 or more, not \"" + text + "\"");
    frame = (float)f;
  }
  std::vector<const char*> files;
  for (const std::string& f : args.operands) files.push_back(f.c_str());
  int status = 0;
  for (const char* f : files) {
    CPODScene s;
    const bool ok = s.ReadFromFile(f);
    if (ok && withFrame) {
      // Frames past the animation hold its last pose.
      const float last = s.frameCount ? (float)(s.frameCount - 1) : 0.0f;
      s.SetFrame(frame > last ? last : frame);
    }
    const json j = Describe(f, s, ok, withFrame);
    // What failed goes to standard error; with --json its object stays in the output too.
    if (!ok) std::fprintf(stderr, "%s: %s\n", f, j["error"].get<std::string>().c_str());
    if (asJson)
      // Names that are not UTF-8 come out with U+FFFD in their place.
      std::printf("%s\n", j.dump(-1, ' ', false, json::error_handler_t::replace).c_str());
    else
      PrintSummary(j);
    if (!ok) status = 1;
  }
  return status;
}

// Whatever the JSON library throws is named on one line: a failure, never an abort.
int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "podinfo: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "podinfo: unexpected failure\n");
  }
  return 1;
}
