// podinfo as its users run it: summaries, JSON lines, exit status.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <nlohmann/json.hpp>

#include "kit/program_run.h"
#include "scene_fixtures.h"

namespace {

testkit::ProgramRun Podinfo(const std::string& args) {
  return testkit::RunProgram(std::string(PODINFO_PATH) + " " + args);
}

}  // namespace

TEST(Podinfo, JsonLinePerFileAndStatus) {
  TempDir dir;
  CPODScene s;
  BuildTestScene(s);
  std::free(s.nodes[1].name);
  s.nodes[1].name = PODStrDup("b\xFFne");  // no UTF-8: comes out with U+FFFD, not an abort
  s.InitImpl();
  ASSERT_TRUE(PODWriteToFile(s, dir.file("good.pod").c_str()));
  WriteFileBytes(dir.file("bad.pod"), {1, 2, 3});

  testkit::ProgramRun good = Podinfo("--json --frame 4 " + dir.file("good.pod"));
  EXPECT_EQ(good.status, 0);
  const nlohmann::json j = nlohmann::json::parse(good.out);
  EXPECT_TRUE(j["ok"].get<bool>());
  EXPECT_EQ((nlohmann::json{j["frameCount"], j["counts"]["nodes"], j["counts"]["meshNodes"], j["meshes"][0]["skinned"],
                            j["meshes"][0]["batchCount"], j["materials"][0]["name"], j["nodes"][1]["name"],
                            j["textures"][0]}),
            (nlohmann::json{10, 4, 1, true, 2, "body", "b\xEF\xBF\xBDne", "maps\\skin.png"}));
  EXPECT_EQ(j["nodes"][3]["positions"].size(), 30u);  // per frame
  EXPECT_EQ(j["nodes"][3]["scales"].size(), 7u);
  EXPECT_TRUE(j["nodes"][3]["matrices"].is_null());
  // Bone B at frame 4 sits at x = 14.
  EXPECT_NEAR(j["nodes"][3]["world"][12].get<double>(), 14.0, 1e-4);

  testkit::ProgramRun both =
      Podinfo("--json " + dir.file("good.pod") + " " + dir.file("bad.pod") + " " + dir.file("none.pod"));
  EXPECT_EQ(both.status, 1);
  std::istringstream lines(both.out);
  std::string line;
  std::vector<nlohmann::json> objs;
  while (std::getline(lines, line)) objs.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(objs.size(), 3u);
  EXPECT_FALSE(objs[0].contains("error"));
  EXPECT_FALSE(objs[0]["nodes"][0].contains("world"));  // only with --frame
  // A file that fails is named with the reason on standard error, each its own.
  EXPECT_FALSE(objs[1]["ok"].get<bool>());
  EXPECT_NE(objs[1]["error"], objs[2]["error"]);
  EXPECT_EQ(both.err, dir.file("bad.pod") + ": " + objs[1]["error"].get<std::string>() + "\n" + dir.file("none.pod") +
                          ": " + objs[2]["error"].get<std::string>() + "\n");
}

TEST(Podinfo, ReadableSummaryAndBadArguments) {
  TempDir dir;
  CPODScene s;
  BuildTestScene(s, true);
  s.InitImpl();
  ASSERT_TRUE(PODWriteToFile(s, dir.file("strips.pod").c_str()));
  testkit::ProgramRun r = Podinfo(dir.file("strips.pod"));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("6 vertices, 4 triangles, 1 uv sets, 1 strips, skinned, 2 bone batches"), std::string::npos)
      << r.out;
  EXPECT_EQ(Podinfo("").status, 64);
  EXPECT_EQ(Podinfo("--frame nan " + dir.file("strips.pod")).status, 64);
  EXPECT_EQ(Podinfo("--frame -3 " + dir.file("strips.pod")).status, 64);
  // A pipe (nobody writes it) and a folder are reported, never waited on.
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
  r = Podinfo(dir.file("pipe") + " " + dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("pipe: a named pipe, not a regular file"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("a folder, not a regular file"), std::string::npos) << r.err;
}
