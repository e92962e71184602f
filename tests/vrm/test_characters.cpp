// Character folders: an import made once and found again, its input left as
// it was, refusals that write nothing, removal that touches only what the
// import made.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kit/temp_dir.h"
#include "kit/vrm_builder.h"
#include "scene/ModelPOD.h"
#include "vrm/characters.h"
#include "vrm/vrm_convert.h"

namespace {

using testkit::TempDir;

CPODScene& Clips() {
  static CPODScene* s = [] {
    auto* c = new CPODScene();
    EXPECT_TRUE(c->ReadFromFile(OVANTA_BUNDLE "/girl_beach.POD"));
    return c;
  }();
  return *s;
}

using testkit::Exists;

TEST(Characters, ImportOnceFindAgainRemove) {
  TempDir dir;
  const std::string root = dir / "data/characters";
  vrm::GlbBuilder g = testkit::TinyVrm();
  g.json["extensions"]["VRMC_vrm"]["meta"]["thumbnailImage"] = 0;
  const std::vector<uint8_t> bytes = g.Finish();
  const std::string file = dir / "tiny.vrm";
  ASSERT_TRUE(testkit::WriteFileBytes(file, bytes));
  struct stat before;
  ASSERT_EQ(stat(file.c_str(), &before), 0);

  const vrm::ImportResult first = vrm::ImportCharacterFile(file, root, Clips());
  ASSERT_TRUE(first.ok) << first.message;
  EXPECT_TRUE(first.fresh);
  EXPECT_EQ(first.info.id, vrm::CharacterId(bytes.data(), bytes.size()));
  EXPECT_EQ(first.info.title, "Tiny");
  EXPECT_EQ(first.info.vrm, "1.0");
  EXPECT_EQ(testkit::ListDir(first.info.folder),
            (std::vector<std::string>{"character.json", "model.POD", "picture0.png", "thumbnail.png"}));
  EXPECT_EQ(first.info.thumbnail, first.info.folder + "/thumbnail.png");
  // Nothing else beside it, and the input as it was.
  EXPECT_EQ(testkit::ListDir(root), std::vector<std::string>{first.info.id});
  struct stat after;
  ASSERT_EQ(stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_mtime, before.st_mtime);
  EXPECT_EQ(testkit::ReadFileBytes(file), bytes);
  // What it wrote is a scene of ours.
  CPODScene model;
  EXPECT_TRUE(model.ReadFromFile((first.info.folder + "/model.POD").c_str())) << model.readError();

  // The same file again is the same character, not made again.
  const vrm::ImportResult again = vrm::ImportCharacter(bytes.data(), bytes.size(), root, Clips());
  ASSERT_TRUE(again.ok);
  EXPECT_FALSE(again.fresh);
  EXPECT_EQ(again.info.folder, first.info.folder);
  vrm::CharacterInfo found;
  EXPECT_TRUE(vrm::FindCharacter(root, first.info.id, &found));
  EXPECT_EQ(vrm::ListCharacters(root).size(), 1u);

  // A file it did not make keeps the folder; without it the folder goes.
  std::string why;
  ASSERT_TRUE(testkit::WriteFileBytes(first.info.folder + "/notes.txt", {'x'}));
  EXPECT_FALSE(vrm::RemoveCharacter(root, first.info.id, &why));
  EXPECT_TRUE(Exists(first.info.folder + "/model.POD")) << why;
  unlink((first.info.folder + "/notes.txt").c_str());
  EXPECT_TRUE(vrm::RemoveCharacter(root, first.info.id, &why)) << why;
  EXPECT_TRUE(testkit::ListDir(root).empty());
  EXPECT_FALSE(vrm::RemoveCharacter(root, first.info.id, &why));
}

// A folder of ours that is not whole (another format) makes way; a file in
// the way that is not ours does not.
TEST(Characters, BrokenFoldersMakeWayForeignOnesDoNot) {
  TempDir dir;
  const std::string root = dir / "characters";
  const std::vector<uint8_t> bytes = testkit::TinyVrm().Finish();
  const std::string id = vrm::CharacterId(bytes.data(), bytes.size());
  ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((root + "/" + id).c_str(), 0755), 0);
  ASSERT_TRUE(testkit::WriteFileBytes(root + "/" + id + "/character.json", {'{', '}'}));
  const vrm::ImportResult made = vrm::ImportCharacter(bytes.data(), bytes.size(), root, Clips());
  ASSERT_TRUE(made.ok) << made.message;
  EXPECT_TRUE(made.fresh);

  std::string why;
  ASSERT_TRUE(vrm::RemoveCharacter(root, id, &why)) << why;
  ASSERT_TRUE(testkit::WriteFileBytes(root + "/" + id, {'m', 'i', 'n', 'e'}));
  const vrm::ImportResult blocked = vrm::ImportCharacter(bytes.data(), bytes.size(), root, Clips());
  EXPECT_FALSE(blocked.ok);
  EXPECT_EQ(testkit::ReadFileBytes(root + "/" + id), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));
  EXPECT_EQ(testkit::ListDir(root), std::vector<std::string>{id}) << "no temporary folder left";
}

TEST(Characters, RefusedFilesWriteNothing) {
  TempDir dir;
  const std::string root = dir / "characters";
  // Not a VRM, too large (a sparse file: nothing of it is read), missing,
  // and read but out of any model's proportion (a hat ten thousand km off).
  ASSERT_TRUE(testkit::WriteFileBytes(dir / "plain.vrm", {'n', 'o', 'p', 'e'}));
  vrm::GlbBuilder far = testkit::TinyVrm();
  far.json["nodes"].back()["translation"] = {1e7, 0, 0};
  ASSERT_TRUE(testkit::WriteFileBytes(dir / "far.vrm", far.Finish()));
  const std::string large = dir / "large.vrm";
  ASSERT_TRUE(testkit::WriteFileBytes(large, {}));
  ASSERT_EQ(truncate(large.c_str(), (off_t)vrm::kMaxFileBytes + 1), 0);
  const std::pair<std::string, const char*> cases[] = {{dir / "plain.vrm", "not a glTF binary file"},
                                                       {large, "larger than 256 MB"},
                                                       {dir / "missing.vrm", "no such file"},
                                                       {dir / "far.vrm", "inconsistent: a node's placement"}};
  for (const auto& c : cases) {
    const vrm::ImportResult r = vrm::ImportCharacterFile(c.first, root, Clips());
    EXPECT_FALSE(r.ok) << c.first;
    EXPECT_EQ(r.message.rfind(c.second, 0), 0u) << r.message;
    EXPECT_EQ(r.message.find('\n'), std::string::npos);
  }
  EXPECT_FALSE(Exists(root));
}

}  // namespace
