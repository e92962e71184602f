// Build-time generator of the four backdrops she stands in: a pool, a living
// room, a classroom and an office (their names: catalog/catalog.h), with
// the textures they name.
//
// Each backdrop surrounds the origin on all sides, far enough that the camera
// (up to 600 away, turned any way round, panned within its limits) stays
// inside it and sees walls, floor and things with depth behind her. The
// camera can be anywhere within about 640 of her, 30 to 400 high, so nothing
// stands in that cylinder but the floor. Each has a
// small looping motion whose last frame leads smoothly into the first.
#include <cmath>
#include <cstdio>
#include <set>
#include <string>

#include "bundle_out.h"
#include "catalog/catalog.h"
#include "generators.h"
#include "scene_build.h"
#include "textures.h"

namespace {

const float kPi = 3.14159265f;
const int kLoopFrames = 1800;  // one minute at 30 frames a second

float Phase(int k, int n, int cycles) { return 2 * kPi * float(cycles) * float(k) / float(n); }

// Motions are periodic over the loop: whole cycles only, so the frame after
// the last is the first again.
Motion Sway(V3 at, V3 axis, float degrees, int cycles) {
  return [=](int k, int n, V3& p, float q[4]) {
    p = at;
    AxisAngle(axis, degrees * kPi / 180 * std::sin(Phase(k, n, cycles)), q);
  };
}
Motion Spin(V3 at, V3 axis, int turns) {
  return [=](int k, int n, V3& p, float q[4]) {
    p = at;
    AxisAngle(axis, Phase(k, n, turns), q);
  };
}

// The inside of a room: floor, four walls and ceiling, all facing inwards.
// Floor and ceiling reach past the walls and the walls reach below the floor:
// near-plane clipping cuts shared edges a little differently, and without the
// overlap the slate clear colour would peep through the seams.
const float kSeam = 40;

// Floor, the given walls and the ceiling of a room `half` across each way.
void Shell(SceneBuilder& s, float half, float height, int floorMat, float floorTile, const Mesh& walls, int wallMat,
           int ceilMat) {
  Mesh floor, ceil;
  const float f = half + kSeam;
  floor.Quad({-f, 0, f}, {2 * f, 0, 0}, {0, 0, -2 * f}, floorTile);
  ceil.Quad({-f, height, -f}, {2 * f, 0, 0}, {0, 0, 2 * f}, 0);
  s.Add("floor", floor, floorMat, {0, 0, 0}, {}, Layer::kShell);
  s.Add("walls", walls, wallMat, {0, 0, 0}, {}, Layer::kShell);
  s.Add("ceiling", ceil, ceilMat, {0, 0, 0}, {}, Layer::kShell);
}

void Room(SceneBuilder& s, float half, float height, int floorMat, float floorTile, int wallMat, float wallTile,
          int ceilMat) {
  Mesh walls;
  const float f = half + kSeam, lo = -kSeam, h = height + 2 * kSeam;
  walls.Quad({-f, lo, -half}, {2 * f, 0, 0}, {0, h, 0}, wallTile);  // back, faces +z
  walls.Quad({f, lo, half}, {-2 * f, 0, 0}, {0, h, 0}, wallTile);   // front, faces -z
  walls.Quad({-half, lo, f}, {0, 0, -2 * f}, {0, h, 0}, wallTile);  // left, faces +x
  walls.Quad({half, lo, -f}, {0, 0, 2 * f}, {0, h, 0}, wallTile);   // right, faces -x
  Shell(s, half, height, floorMat, floorTile, walls, wallMat, ceilMat);
}

// A wall clock facing along `normal` with a second hand that goes round once a minute.
void Clock(SceneBuilder& s, V3 centre, V3 normal, float radius, int faceMat, int handMat) {
  Mesh face, hand;
  V3 up{0, 1, 0};
  V3 right = Normalized(Cross(up, normal));
  // Kept well off the wall: the depth buffer has 16 bits, a few units at this range.
  face.QuadUV(centre - right * radius - up * radius + normal * 12, right * (2 * radius), up * (2 * radius), 0, 0, 1, 1);
  // The hand is built pointing up in the node's own frame, then turned round the wall normal.
  const float w = radius * 0.06f;  // thick enough to see move from across the room
  hand.Quad(right * (-w / 2) + up * (-radius * 0.15f) + normal * 20, right * w, up * (radius * 0.95f));
  s.Add("clock face", face, faceMat);
  s.Add("clock second hand", hand, handMat, centre, Spin(centre, normal, kLoopFrames / 1800));
}

// A potted plant whose leaves stir in a draught.
void Plant(SceneBuilder& s, V3 at, float size, int potMat, int leafMat, int cycles) {
  Mesh pot, leaves;
  pot.Cylinder(at, size * 0.22f, size * 0.28f, size * 0.3f, 16);
  for (int i = 0; i < 3; ++i) {
    float a = kPi * float(i) / 3;
    V3 u{std::cos(a) * size, 0, std::sin(a) * size};
    leaves.QuadUV(u * -0.5f, u, {0, size, 0}, 0, 0, 1, 1, true);
  }
  s.Add("plant pot", pot, potMat);
  V3 base = at + V3{0, size * 0.28f, 0};
  s.Add("plant leaves", leaves, leafMat, base, Sway(base, {1, 0, 0.4f}, 5, cycles));
}

// A painted door with its frame and a knob, set into the wall at z = wallZ
// (front wall: it faces -z).
void Door(SceneBuilder& s, float x, float wallZ, int paint, int knob) {
  Mesh leaf, frame, handle;
  leaf.Box({x, 400, wallZ - 10}, {170, 400, 10}, 0);
  frame.Box({x - 182, 410, wallZ - 14}, {12, 410, 14});
  frame.Box({x + 182, 410, wallZ - 14}, {12, 410, 14});
  frame.Box({x, 812, wallZ - 14}, {194, 12, 14});
  handle.Cylinder({x + 130, 380, wallZ - 30}, 9, 9, 14, 10);
  s.Add("door", leaf, paint);
  s.Add("door frame", frame, paint);
  s.Add("door knob", handle, knob);
}

// The inside of a parasol's canopy, facing the other way. The canvas is
// thin: from below it shows the light that falls on its top, so the inside
// keeps the top's normals.
Mesh Underside(const Mesh& canopy) {
  Mesh under = canopy;
  under.TurnWinding();
  return under;
}

Mesh Table(V3 centre, float hx, float hz, float height, float top, float leg) {
  Mesh m;
  m.Box(centre + V3{0, height - top / 2, 0}, {hx, top / 2, hz});
  for (int i = 0; i < 4; ++i) {
    float sx = (i & 1) ? 1.0f : -1.0f, sz = (i & 2) ? 1.0f : -1.0f;
    m.Box(centre + V3{sx * (hx - leg), (height - top) / 2, sz * (hz - leg)}, {leg / 2, (height - top) / 2, leg / 2});
  }
  return m;
}

// ---------------------------------------------------------------- pool
struct PoolMaterials {
  int deck, tiles, coping, hedge, wall, bark, lounger, cushion, canopy, pole, ring, sky, cloud, frond, water;
};

PoolMaterials PoolMaterialsOf(SceneBuilder& s) {
  const int deck = s.Lit("deck stone", s.Texture("maps\\pool\\deck_tiles.png"), 1.0f, 0.98f, 0.95f, 0.2f, 30);
  const int tiles = s.Lit("pool tiles", s.Texture("maps\\pool\\pool_tiles.png"), 1.0f, 1.0f, 1.0f, 0.4f, 60);
  const int coping = s.Lit("coping", -1, 0.95f, 0.93f, 0.88f, 0.2f, 20);
  const int hedge = s.Lit("hedge", s.Texture("textures/hedge.png"), 0.95f, 1.0f, 0.9f, 0.05f, 8);
  const int wall = s.Lit("garden wall", s.Texture("textures/plaster.png"), 1.0f, 0.96f, 0.9f, 0.1f, 10);
  const int bark = s.Lit("palm bark", s.Texture("textures/bark.png"), 1.0f, 1.0f, 1.0f, 0.05f, 5);
  const int lounger = s.Lit("lounger", -1, 0.98f, 0.98f, 0.98f, 0.3f, 40);
  const int cushion = s.Lit("cushion", s.Texture("fabric.png"), 0.35f, 0.62f, 0.85f, 0.1f, 10);
  const int canopy = s.Lit("parasol", s.Texture("fabric.png"), 1.0f, 0.55f, 0.35f, 0.1f, 10);
  const int pole = s.Lit("pole", -1, 0.85f, 0.85f, 0.8f, 0.5f, 60);
  const int ring = s.Lit("float ring", -1, 1.0f, 0.45f, 0.55f, 0.6f, 50);
  const int sky = s.Const("sky const", s.Texture("sky_day.png"));
  // Clouds are as white as the sky's own, whichever side the sun is on: unlit.
  const int cloud = s.Lit("cloud alpha const", s.Texture("textures/sky/cloud.png"), 1.0f, 1.0f, 1.0f, 0, 0);
  const int frond = s.Lit("palm frond alpha", s.Texture("maps\\pool\\palm_frond.png"), 0.9f, 1.0f, 0.85f, 0.05f, 10);
  const int water = s.Lit("water alpha", s.Texture("textures/water.png"), 1.0f, 1.0f, 1.0f, 0.8f, 80);
  return {deck, tiles, coping, hedge, wall, bark, lounger, cushion, canopy, pole, ring, sky, cloud, frond, water};
}

// The pool: x from kPoolX0 to kPoolX1, z from kPoolZ0 (far) to kPoolZ1, kPoolDepth
// deep; the deck reaches kDeckEdge every way.
const float kPoolX0 = -400, kPoolX1 = 400, kPoolZ0 = -1050, kPoolZ1 = -250, kPoolDepth = 140;
const float kDeckEdge = 1700;

// The deck round the pool, the tiled basin and its coping.
void PoolDeckAndBasin(SceneBuilder& s, const PoolMaterials& m) {
  Mesh ground;
  ground.Quad({-kDeckEdge, 0, kDeckEdge}, {2 * kDeckEdge, 0, 0}, {0, 0, -(kDeckEdge - kPoolZ1)},
              160);  // in front of the pool
  ground.Quad({-kDeckEdge, 0, kPoolZ0}, {2 * kDeckEdge, 0, 0}, {0, 0, -(kDeckEdge + kPoolZ0)}, 160);   // behind it
  ground.Quad({-kDeckEdge, 0, kPoolZ1}, {kDeckEdge + kPoolX0, 0, 0}, {0, 0, kPoolZ0 - kPoolZ1}, 160);  // left of it
  ground.Quad({kPoolX1, 0, kPoolZ1}, {kDeckEdge - kPoolX1, 0, 0}, {0, 0, kPoolZ0 - kPoolZ1}, 160);     // right of it
  s.Add("deck", ground, m.deck, {0, 0, 0}, {}, Layer::kShell);

  Mesh basin;
  basin.Quad({kPoolX0, -kPoolDepth, kPoolZ1}, {kPoolX1 - kPoolX0, 0, 0}, {0, 0, kPoolZ0 - kPoolZ1}, 80);  // floor
  basin.Quad({kPoolX0, -kPoolDepth, kPoolZ0}, {kPoolX1 - kPoolX0, 0, 0}, {0, kPoolDepth, 0}, 80);  // far side, faces +z
  basin.Quad({kPoolX1, -kPoolDepth, kPoolZ1}, {kPoolX0 - kPoolX1, 0, 0}, {0, kPoolDepth, 0},
             80);  // near side, faces -z
  basin.Quad({kPoolX0, -kPoolDepth, kPoolZ1}, {0, 0, kPoolZ0 - kPoolZ1}, {0, kPoolDepth, 0}, 80);  // left, faces +x
  basin.Quad({kPoolX1, -kPoolDepth, kPoolZ0}, {0, 0, kPoolZ1 - kPoolZ0}, {0, kPoolDepth, 0}, 80);  // right, faces -x
  s.Add("pool basin", basin, m.tiles, {0, 0, 0}, {}, Layer::kBeyond);

  Mesh edge;
  edge.Box({0, 4, kPoolZ1 + 15}, {kPoolX1 + 30, 4, 15});
  edge.Box({0, 4, kPoolZ0 - 15}, {kPoolX1 + 30, 4, 15});
  edge.Box({kPoolX0 - 15, 4, (kPoolZ0 + kPoolZ1) / 2}, {15, 4, (kPoolZ1 - kPoolZ0) / 2});
  edge.Box({kPoolX1 + 15, 4, (kPoolZ0 + kPoolZ1) / 2}, {15, 4, (kPoolZ1 - kPoolZ0) / 2});
  s.Add("pool coping", edge, m.coping);
}

// A hedge on a low wall all round the garden.
void GardenHedge(SceneBuilder& s, const PoolMaterials& m) {
  Mesh low, green;
  const float G = 1650;
  low.Box({0, 40, -G}, {G, 40, 25}, 0);
  low.Box({0, 40, G}, {G, 40, 25}, 0);
  low.Box({-G, 40, 0}, {25, 40, G}, 0);
  low.Box({G, 40, 0}, {25, 40, G}, 0);
  green.Box({0, 170, -G}, {G, 90, 40}, 120);
  green.Box({0, 170, G}, {G, 90, 40}, 120);
  green.Box({-G, 170, 0}, {40, 90, G}, 120);
  green.Box({G, 170, 0}, {40, 90, G}, 120);
  s.Add("garden wall", low, m.wall, {0, 0, 0}, {}, Layer::kShell);
  s.Add("hedge", green, m.hedge, {0, 0, 0}, {}, Layer::kShell);
}

// Two loungers with cushions and a parasol between them.
void LoungersAndParasol(SceneBuilder& s, const PoolMaterials& m) {
  for (int side = -1; side <= 1; side += 2) {
    float x = float(side) * 680;
    Mesh frame, pad;
    frame.Box({x, 30, -450}, {45, 6, 100});
    frame.Box({x - 35, 15, -540}, {4, 15, 4});
    frame.Box({x + 35, 15, -540}, {4, 15, 4});
    frame.Box({x - 35, 15, -360}, {4, 15, 4});
    frame.Box({x + 35, 15, -360}, {4, 15, 4});
    pad.Box({x, 42, -420}, {42, 6, 70}, 40);
    s.Add("lounger", frame, m.lounger);
    s.Add("lounger cushion", pad, m.cushion);
    Mesh back;
    back.Box({0, 0, 0}, {42, 6, 40}, 40);
    s.AddTurned("lounger backrest", back, m.cushion, {x, 70, -528}, {1, 0, 0}, -0.9f);
  }
  Mesh stick, shade;
  stick.Cylinder({980, 0, -450}, 5, 5, 300, 10);
  shade.Cylinder({980, 260, -450}, 190, 6, 70, 12, false, 0);
  shade.Append(Underside(shade));
  s.Add("parasol pole", stick, m.pole);
  s.Add("parasol canopy", shade, m.canopy);
}

// A pool house and a garden table, seen when the camera turns round.
void PoolHouseAndTable(SceneBuilder& s, const PoolMaterials& m) {
  int plaster = s.Lit("pool house", s.Texture("textures/plaster.png"), 1.0f, 0.97f, 0.92f, 0.1f, 10);
  int roof = s.Lit("roof", -1, 0.80f, 0.40f, 0.28f, 0.2f, 20);
  int glassDark = s.Lit("pool house window", s.Texture("window_view.png"), 0.55f, 0.65f, 0.75f, 0.8f, 80);
  Mesh house, top, panes;
  house.Box({-150, 170, 1380}, {420, 170, 140}, 200);
  top.Box({-150, 355, 1370}, {460, 15, 175});
  // Facing her (-z), a little off the wall for the 16-bit depth buffer.
  panes.Quad({-270, 120, 1226}, {-200, 0, 0}, {0, 150, 0});
  panes.Quad({370, 120, 1226}, {-200, 0, 0}, {0, 150, 0});
  panes.Quad({-80, 0, 1226}, {-140, 0, 0}, {0, 260, 0});
  s.Add("pool house", house, plaster);
  s.Add("pool house roof", top, roof);
  s.Add("pool house windows", panes, glassDark);
  Mesh garden;
  garden.Cylinder({650, 0, 1000}, 12, 12, 100, 10);
  garden.Cylinder({650, 100, 1000}, 90, 90, 8, 24);
  garden.Box({520, 45, 1000}, {30, 45, 30});
  garden.Box({780, 45, 1000}, {30, 45, 30});
  s.Add("garden table", garden, m.lounger);
  Mesh stick2, shade2;
  stick2.Cylinder({650, 108, 1000}, 4, 4, 220, 8);
  shade2.Cylinder({650, 290, 1000}, 170, 6, 60, 12, false, 0);
  shade2.Append(Underside(shade2));
  s.Add("table parasol pole", stick2, m.pole);
  s.Add("table parasol", shade2, m.cushion);
}

// Palm trunks round the garden; returns where their crowns go.
std::vector<V3> PalmTrunks(SceneBuilder& s, const PoolMaterials& m) {
  const V3 palms[] = {{-900, 0, -1250}, {1000, 0, -1300}, {-1300, 0, 200},
                      {1300, 0, 400},   {-500, 0, 1300},  {700, 0, 1250}};
  std::vector<V3> crowns;
  for (size_t i = 0; i < 6; ++i) {
    Mesh trunk;
    V3 p = palms[i];
    float lean = (i % 2 ? 1.0f : -1.0f) * 12;
    for (int seg = 0; seg < 6; ++seg) {
      float r0 = 24 - float(seg) * 2.2f, r1 = 24 - float(seg + 1) * 2.2f;
      trunk.Cylinder(p + V3{lean * float(seg * seg) / 6.0f, float(seg) * 110, 0}, r0, r1, 112, 10, false, 60);
    }
    s.Add("palm trunk", trunk, m.bark);
    crowns.push_back(p + V3{lean * 36 / 6.0f, 660, 0});
  }
  return crowns;
}

// Sky all round, with clouds that drift to and fro.
void SkyAndClouds(SceneBuilder& s, const PoolMaterials& m) {
  Mesh dome;
  dome.Cylinder({0, -400, 0}, 4200, 4200, 3600, 48, false, 0);
  dome.Flip();
  for (size_t i = 0; i < dome.uv.size(); i += 2) dome.uv[i] *= 4;  // the sky picture four times round
  s.Add("sky", dome, m.sky, {0, 0, 0}, {}, Layer::kBeyond);

  Mesh clouds;
  for (int i = 0; i < 7; ++i) {
    float a = 2 * kPi * float(i) / 7 + 0.3f;
    float r = 3600, h = 1100 + 260 * float(i % 3);
    clouds.Card({std::sin(a) * r, h, std::cos(a) * r}, 1300, 650, a + kPi);
  }
  s.Add("clouds", clouds, m.cloud, {0, 0, 0}, Sway({0, 0, 0}, {0, 1, 0}, 5, 1));
}

// The palm crowns, stirring in the breeze.
void PalmCrowns(SceneBuilder& s, const PoolMaterials& m, const std::vector<V3>& crowns) {
  for (size_t i = 0; i < crowns.size(); ++i) {
    Mesh crown;
    for (int f = 0; f < 8; ++f) {
      float a = 2 * kPi * float(f) / 8 + float(i) * 0.4f;
      V3 dir{std::cos(a), 0, std::sin(a)};
      V3 side = Normalized(Cross(dir, {0, 1, 0})) * 95.0f;
      V3 rise = Normalized(dir + V3{0, 0.35f, 0}) * 150.0f, fall = Normalized(dir + V3{0, -0.75f, 0}) * 150.0f;
      crown.QuadUV(side * -0.5f, side, rise, 0, 0, 1, 0.5f, true);
      crown.QuadUV(rise - side * 0.5f, side, fall, 0, 0.5f, 1, 1, true);
    }
    s.Add("palm crown", crown, m.frond, crowns[i], Sway(crowns[i], {float(i % 2), 0, 1}, 3, 6 + int(i)));
  }
}

// The water, rising and falling a little, with a float ring drifting on it.
void FloatRingAndWater(SceneBuilder& s, const PoolMaterials& m) {
  Mesh torus;
  torus.Torus({0, 0, 0}, 42, 14, 24, 10);
  s.Add("float ring", torus, m.ring, {0, 0, 0}, [](int k, int n, V3& p, float q[4]) {
    float a = Phase(k, n, 1);
    p = {120 + 90 * std::cos(a), -16 + 2.5f * std::sin(Phase(k, n, 15)), -650 + 90 * std::sin(a)};
    AxisAngle({0, 1, 0}, -a, q);
  });
  Mesh surface;
  surface.Quad({kPoolX0, 0, kPoolZ1}, {kPoolX1 - kPoolX0, 0, 0}, {0, 0, kPoolZ0 - kPoolZ1}, 200);
  s.Add("water", surface, m.water, {0, -18, 0}, [](int k, int n, V3& p, float q[4]) {
    p = {0, -18 + 2.5f * std::sin(Phase(k, n, 15)), 0};
    q[0] = q[1] = q[2] = 0;
    q[3] = 1;
  });
}

bool BuildPool(const std::string& path) {
  SceneBuilder s;
  s.frames = kLoopFrames;
  const PoolMaterials m = PoolMaterialsOf(s);
  PoolDeckAndBasin(s, m);
  GardenHedge(s, m);
  LoungersAndParasol(s, m);
  PoolHouseAndTable(s, m);
  const std::vector<V3> crowns = PalmTrunks(s, m);
  SkyAndClouds(s, m);
  PalmCrowns(s, m, crowns);
  FloatRingAndWater(s, m);
  return s.Write(path);
}

// ---------------------------------------------------------------- living room
struct CasualMaterials {
  int floor, paper, ceil, sofa, cushion, wood, rug, view, frame, curtain, books, lampShade, metal, pot, picture, door,
      clockFace, hand, leaves;
};

CasualMaterials CasualMaterialsOf(SceneBuilder& s) {
  CasualMaterials m;
  m.floor = s.Lit("oak floor", s.Texture("textures/wood_planks.png"), 1.0f, 0.95f, 0.9f, 0.35f, 40);
  m.paper = s.Lit("wallpaper", s.Texture("textures\\home\\wallpaper.png"), 1.0f, 0.97f, 0.93f, 0.05f, 5);
  m.ceil = s.Lit("ceiling", s.Texture("plaster.png"), 1.0f, 1.0f, 0.98f, 0, 1);
  m.sofa = s.Lit("sofa fabric", s.Texture("fabric.png"), 0.35f, 0.55f, 0.55f, 0.05f, 5);
  m.cushion = s.Lit("cushion fabric", s.Texture("fabric.png"), 0.95f, 0.70f, 0.35f, 0.05f, 5);
  m.wood = s.Lit("walnut", s.Texture("textures/wood_planks.png"), 0.75f, 0.6f, 0.5f, 0.4f, 50);
  m.rug = s.Lit("rug", s.Texture("textures\\home\\rug.png"), 1.0f, 1.0f, 1.0f, 0.02f, 2);
  m.view = s.Const("window view const", s.Texture("window_view.png"));
  m.frame = s.Lit("window frame", -1, 0.97f, 0.97f, 0.95f, 0.3f, 30);
  m.curtain = s.Lit("curtain", s.Texture("fabric.png"), 0.75f, 0.25f, 0.25f, 0.05f, 5);
  m.books = s.Lit("books", s.Texture("books.png"), 1.0f, 1.0f, 1.0f, 0.1f, 10);
  m.lampShade = s.Const("lamp shade const", s.Texture("glow.png"));
  m.metal = s.Lit("brass", -1, 0.8f, 0.65f, 0.35f, 0.8f, 80);
  m.pot = s.Lit("terracotta", -1, 0.78f, 0.45f, 0.30f, 0.2f, 20);
  m.picture = s.Lit("picture", s.Texture("window_view.png"), 1.0f, 1.0f, 1.0f, 0.3f, 60);
  m.door = s.Lit("door paint", -1, 0.96f, 0.94f, 0.88f, 0.3f, 30);
  m.clockFace = s.Lit("clock face alpha", s.Texture("clock_face.png"), 1.0f, 1.0f, 1.0f, 0.3f, 40);
  m.hand = s.Lit("clock hand", -1, 0.75f, 0.15f, 0.1f, 0.2f, 20);
  m.leaves = s.Lit("leaves alpha", s.Texture("textures\\home\\leaves.png"), 0.9f, 1.0f, 0.9f, 0.1f, 10);
  return m;
}

const float kCasualHalf = 1000;

// The window on the back wall with curtains either side.
void LivingRoomWindow(SceneBuilder& s, const CasualMaterials& m) {
  const float R = kCasualHalf;
  Mesh win, frames;
  win.Quad({-650, 280, -R + 12}, {620, 0, 0}, {0, 440, 0});
  s.Add("window view", win, m.view);
  frames.Box({-340, 272, -R + 16}, {330, 10, 16});
  frames.Box({-340, 728, -R + 16}, {330, 10, 16});
  frames.Box({-660, 500, -R + 16}, {10, 230, 16});
  frames.Box({-20, 500, -R + 16}, {10, 230, 16});
  frames.Box({-340, 500, -R + 16}, {5, 220, 6});
  frames.Box({-340, 500, -R + 16}, {320, 5, 6});
  s.Add("window frame", frames, m.frame);
  Mesh drapes;
  drapes.Box({-720, 430, -R + 30}, {60, 430, 14}, 0);
  drapes.Box({40, 430, -R + 30}, {60, 430, 14}, 0);
  s.Add("curtains", drapes, m.curtain);
}

// The sofa behind her, a side table, a rug under her feet.
void SofaAndRug(SceneBuilder& s, const CasualMaterials& m) {
  Mesh body, pads;
  body.Box({250, 70, -780}, {380, 70, 110});
  body.Box({250, 200, -870}, {380, 100, 30});
  body.Box({-110, 130, -780}, {30, 60, 110});
  body.Box({610, 130, -780}, {30, 60, 110});
  pads.Box({80, 160, -790}, {150, 20, 90}, 60);
  pads.Box({420, 160, -790}, {150, 20, 90}, 60);
  pads.Box({30, 230, -820}, {60, 50, 15}, 60);
  pads.Box({480, 230, -820}, {60, 50, 15}, 60);
  s.Add("sofa", body, m.sofa);
  s.Add("sofa cushions", pads, m.cushion);
  s.Add("side table", Table({-330, 0, -800}, 60, 60, 130, 10, 8), m.wood);
  Mesh carpet;
  carpet.Disc({250, 5, -560}, 300, 48);  // before the sofa, clear of her shadow
  s.Add("rug", carpet, m.rug);
}

// A bookshelf on the left wall, a picture on the right, a floor lamp in the corner.
void ShelfPictureAndLamp(SceneBuilder& s, const CasualMaterials& m) {
  const float R = kCasualHalf;
  Mesh shelf, spines;
  shelf.Box({-R + 60, 360, -250}, {55, 360, 260});
  spines.Quad({-R + 126, 20, 0}, {0, 0, -500}, {0, 680, 0});
  s.Add("bookshelf", shelf, m.wood);
  s.Add("books", spines, m.books);
  Mesh pic, picFrame;
  pic.Quad({R - 22, 380, -500}, {0, 0, 460}, {0, 300, 0});
  picFrame.Box({R - 6, 530, -270}, {5, 165, 245});
  s.Add("picture frame", picFrame, m.wood);
  s.Add("picture", pic, m.picture);
  Mesh lampPole, lampTop;
  lampPole.Cylinder({820, 0, -820}, 22, 6, 10, 12);
  lampPole.Cylinder({820, 10, -820}, 4, 4, 470, 8);
  lampTop.Cylinder({820, 470, -820}, 75, 50, 110, 24);
  s.Add("lamp stand", lampPole, m.metal);
  s.Add("lamp shade", lampTop, m.lampShade);
}

// Behind the camera: a door and a sideboard, so turning round shows a room too.
void DoorAndSideboard(SceneBuilder& s, const CasualMaterials& m) {
  const float R = kCasualHalf;
  Mesh board;
  Door(s, -400, R, m.door, m.metal);
  board.Box({350, 180, R - 90}, {300, 90, 60}, 0);
  board.Box({350, 45, R - 90}, {290, 45, 55}, 0);
  s.Add("sideboard", board, m.wood);
  Mesh vase;
  vase.Cylinder({200, 270, R - 90}, 30, 22, 90, 16);
  s.Add("vase", vase, m.pot);
}

bool BuildCasual(const std::string& path) {
  SceneBuilder s;
  s.frames = kLoopFrames;
  const CasualMaterials m = CasualMaterialsOf(s);
  Room(s, kCasualHalf, 900, m.floor, 260, m.paper, 256, m.ceil);
  LivingRoomWindow(s, m);
  SofaAndRug(s, m);
  ShelfPictureAndLamp(s, m);
  DoorAndSideboard(s, m);
  Clock(s, {250, 640, -kCasualHalf}, {0, 0, 1}, 70, m.clockFace, m.hand);
  Plant(s, {-830, 0, -780}, 300, m.pot, m.leaves, 9);
  Plant(s, {820, 0, 700}, 260, m.pot, m.leaves, 11);
  return s.Write(path);
}

// ---------------------------------------------------------------- classroom
struct SchoolMaterials {
  int lino, wall, ceil, board, wood, steel, seat, frame, sky, cloud, poster, books, clockFace, hand, trees;
};

SchoolMaterials SchoolMaterialsOf(SceneBuilder& s) {
  SchoolMaterials m;
  m.lino = s.Lit("lino", s.Texture("textures/school/floor_lino.png"), 0.9f, 0.95f, 1.0f, 0.3f, 30);
  m.wall = s.Lit("school wall", s.Texture("plaster.png"), 0.98f, 0.95f, 0.80f, 0.05f, 5);
  m.ceil = s.Lit("ceiling", s.Texture("plaster.png"), 1.0f, 1.0f, 1.0f, 0, 1);
  m.board = s.Lit("chalkboard", s.Texture("textures/school/chalkboard.png"), 1.0f, 1.0f, 1.0f, 0.15f, 20);
  m.wood = s.Lit("desk wood", s.Texture("wood_planks.png"), 1.0f, 0.9f, 0.8f, 0.3f, 30);
  m.steel = s.Lit("steel", -1, 0.55f, 0.58f, 0.62f, 0.7f, 60);
  m.seat = s.Lit("chair", -1, 0.25f, 0.45f, 0.70f, 0.3f, 30);
  m.frame = s.Lit("window frame", -1, 0.95f, 0.95f, 0.93f, 0.3f, 30);
  m.sky = s.Const("sky const", s.Texture("C:\\ovanta\\art\\sky_day.png"));
  m.cloud = s.Lit("cloud alpha const", s.Texture("C:\\ovanta\\art\\cloud.png"), 1.0f, 1.0f, 1.0f, 0, 0);
  m.poster = s.Lit("map", s.Texture("textures/school/poster.png"), 1.0f, 1.0f, 1.0f, 0.2f, 20);
  m.books = s.Lit("books", s.Texture("books.png"), 1.0f, 1.0f, 1.0f, 0.1f, 10);
  m.clockFace = s.Lit("clock face alpha", s.Texture("clock_face.png"), 1.0f, 1.0f, 1.0f, 0.3f, 40);
  m.hand = s.Lit("clock hand", -1, 0.75f, 0.15f, 0.1f, 0.2f, 20);
  m.trees = s.Lit("trees", s.Texture("hedge.png"), 0.9f, 1.0f, 0.9f, 0, 1);
  return m;
}

const float kSchoolHalf = 1000, kSchoolHeight = 950;
// The left wall's three window openings (z ranges), sill and lintel heights.
const float kSchoolWindows[] = {-800, -200, 400}, kSchoolWindowLength = 420, kSill = 300, kLintel = 780;

// Floor, walls with the window openings, ceiling and the window frames.
void Classroom(SceneBuilder& s, const SchoolMaterials& m) {
  const float R = kSchoolHalf, H = kSchoolHeight, F = R + kSeam, lo = -kSeam, wlen = kSchoolWindowLength;
  Mesh walls;
  walls.Quad({-F, lo, -R}, {2 * F, 0, 0}, {0, H + 2 * kSeam, 0}, 256);  // back
  walls.Quad({F, lo, R}, {-2 * F, 0, 0}, {0, H + 2 * kSeam, 0}, 256);   // front
  walls.Quad({R, lo, -F}, {0, 0, 2 * F}, {0, H + 2 * kSeam, 0}, 256);   // right
  walls.Quad({-R, lo, F}, {0, 0, -2 * F}, {0, kSill - lo, 0}, 256);
  walls.Quad({-R, kLintel, F}, {0, 0, -2 * F}, {0, H + kSeam - kLintel, 0}, 256);
  float z = R;
  for (int i = 2; i >= 0; --i) {  // pillars between the windows, from the front wall back
    float zEnd = kSchoolWindows[i] + wlen;
    walls.Quad({-R, kSill, z}, {0, 0, zEnd - z}, {0, kLintel - kSill, 0}, 256);
    z = kSchoolWindows[i];
  }
  walls.Quad({-R, kSill, z}, {0, 0, -R - z}, {0, kLintel - kSill, 0}, 256);
  Shell(s, R, H, m.lino, 200, walls, m.wall, m.ceil);

  Mesh frames;
  for (float zw : kSchoolWindows) {
    frames.Box({-R, kSill - 8, zw + wlen / 2}, {30, 8, wlen / 2 + 10});
    frames.Box({-R, kLintel + 6, zw + wlen / 2}, {14, 6, wlen / 2 + 10});
    frames.Box({-R, (kSill + kLintel) / 2, zw + 4}, {14, (kLintel - kSill) / 2, 4});
    frames.Box({-R, (kSill + kLintel) / 2, zw + wlen - 4}, {14, (kLintel - kSill) / 2, 4});
    frames.Box({-R, (kSill + kLintel) / 2, zw + wlen / 2}, {6, (kLintel - kSill) / 2, 3});
  }
  s.Add("window frames", frames, m.frame);
}

// The board, the teacher's desk, a map and a shelf of books.
void BoardDeskMapAndShelf(SceneBuilder& s, const SchoolMaterials& m) {
  const float R = kSchoolHalf;
  Mesh boardM, boardFrame;
  boardM.Quad({-600, 280, -R + 14}, {1200, 0, 0}, {0, 540, 0});
  boardFrame.Box({0, 274, -R + 20}, {620, 8, 20});
  boardFrame.Box({0, 826, -R + 14}, {620, 8, 14});
  boardFrame.Box({-612, 550, -R + 14}, {8, 280, 14});
  boardFrame.Box({612, 550, -R + 14}, {8, 280, 14});
  s.Add("chalkboard", boardM, m.board);
  s.Add("board frame", boardFrame, m.wood);
  s.Add("teacher desk", Table({-350, 0, -780}, 200, 80, 150, 14, 12), m.wood);
  Mesh deskFront;
  deskFront.Box({-350, 80, -705}, {195, 60, 4});
  s.Add("teacher desk front", deskFront, m.wood);
  Mesh map;
  map.Quad({R - 14, 330, -560}, {0, 0, 620}, {0, 310, 0});
  s.Add("map", map, m.poster);
  Mesh shelf, spines;
  shelf.Box({R - 50, 230, 500}, {45, 230, 240});
  spines.Quad({R - 106, 10, 270}, {0, 0, 460}, {0, 440, 0});
  s.Add("shelf", shelf, m.wood);
  s.Add("shelf books", spines, m.books);
}

// Rows of pupils' desks with chairs, left and right of her and behind the camera.
void PupilsDesks(SceneBuilder& s, const SchoolMaterials& m) {
  Mesh tops, legs, chairs;
  for (int side = -1; side <= 1; side += 2)
    for (int row = 0; row < 4; ++row) {
      V3 c{float(side) * 800, 0, -560 + float(row) * 380};
      Mesh t = Table(c, 130, 60, 120, 10, 8);
      tops.Append(t);
      chairs.Box(c + V3{0, 70, 120}, {55, 5, 45});
      chairs.Box(c + V3{0, 140, 162}, {55, 40, 4});
      for (int i = 0; i < 4; ++i) {
        float sx = (i & 1) ? 45.0f : -45.0f, sz = (i & 2) ? 155.0f : 85.0f;
        legs.Box(c + V3{sx, 35, sz}, {3, 35, 3});
      }
    }
  s.Add("desks", tops, m.wood);
  s.Add("chair legs", legs, m.steel);
  s.Add("chairs", chairs, m.seat);
}

// Outside the windows: trees, sky, and clouds that pass to and fro; the door
// and the notice board behind the camera, the clock over the board.
void SchoolOutsideAndBehind(SceneBuilder& s, const SchoolMaterials& m) {
  const float R = kSchoolHalf;
  Mesh outside, treeline;
  outside.Quad({-1900, -300, -2200}, {0, 0, 4400}, {0, 2400, 0});
  treeline.Quad({-1500, 0, -1800}, {0, 0, 3600}, {0, 420, 0}, 300);
  // Both are seen from the room: their faces turn towards it, their normals
  // (and so the light on them) stay.
  outside.TurnWinding();
  treeline.TurnWinding();
  s.Add("trees", treeline, m.trees, {0, 0, 0}, {}, Layer::kBeyond);
  s.Add("sky", outside, m.sky, {0, 0, 0}, {}, Layer::kBeyond);
  int paint = s.Lit("door paint", -1, 0.55f, 0.70f, 0.62f, 0.3f, 30);
  Door(s, 600, R, paint, m.steel);
  Mesh notices, noticeFrame;
  notices.Quad({200, 330, R - 14}, {-700, 0, 0}, {0, 350, 0});
  noticeFrame.Box({-150, 505, R - 5}, {360, 185, 5});
  s.Add("notice board frame", noticeFrame, m.wood);
  s.Add("notice board", notices, m.poster);
  // Over the board, off to the right: her name is shown over its middle.
  Clock(s, {330, 860, -R}, {0, 0, 1}, 55, m.clockFace, m.hand);
  Mesh clouds;
  for (int i = 0; i < 5; ++i)
    clouds.Card({-1700, 950 + 120 * float(i % 2), -1500 + float(i) * 750}, 700, 330, kPi * 0.5f);
  s.Add("clouds", clouds, m.cloud, {0, 0, 0}, [](int k, int n, V3& p, float q[4]) {
    p = {0, 0, 380 * std::sin(Phase(k, n, 1))};
    q[0] = q[1] = q[2] = 0;
    q[3] = 1;
  });
}

bool BuildSchool(const std::string& path) {
  SceneBuilder s;
  s.frames = kLoopFrames;
  const SchoolMaterials m = SchoolMaterialsOf(s);
  Classroom(s, m);
  BoardDeskMapAndShelf(s, m);
  PupilsDesks(s, m);
  SchoolOutsideAndBehind(s, m);
  return s.Write(path);
}

// ---------------------------------------------------------------- office
struct OfficeMaterials {
  int carpet, wall, ceil, city, mullion, desk, dark, screen, chair, steel, books, pot, panel, door, board, clockFace,
      hand, leaves, glass;
};

OfficeMaterials OfficeMaterialsOf(SceneBuilder& s) {
  OfficeMaterials m;
  m.carpet = s.Lit("carpet", s.Texture("textures/office/carpet.png"), 0.85f, 0.9f, 1.0f, 0.02f, 2);
  m.wall = s.Lit("office wall", s.Texture("textures/office/plaster.png"), 0.88f, 0.92f, 0.98f, 0.05f, 5);
  m.ceil = s.Lit("ceiling", s.Texture("plaster.png"), 1.0f, 1.0f, 1.0f, 0, 1);
  m.city = s.Const("skyline const", s.Texture("textures/office/city.png"));
  m.mullion = s.Lit("mullion", -1, 0.35f, 0.38f, 0.42f, 0.6f, 60);
  m.desk = s.Lit("desk", s.Texture("wood_planks.png"), 0.55f, 0.42f, 0.35f, 0.5f, 60);
  m.dark = s.Lit("black plastic", -1, 0.12f, 0.12f, 0.14f, 0.6f, 80);
  m.screen = s.Const("monitor const", s.Texture("textures/office/screen.png"));
  m.chair = s.Lit("chair", s.Texture("fabric.png"), 0.25f, 0.25f, 0.3f, 0.1f, 10);
  m.steel = s.Lit("steel", -1, 0.7f, 0.72f, 0.75f, 0.8f, 90);
  m.books = s.Lit("binders", s.Texture("books.png"), 1.0f, 1.0f, 1.0f, 0.1f, 10);
  m.pot = s.Lit("pot", -1, 0.92f, 0.92f, 0.9f, 0.4f, 40);
  m.panel = s.Const("ceiling light const", s.Texture("glow.png"));
  m.door = s.Lit("door paint", -1, 0.80f, 0.82f, 0.85f, 0.3f, 30);
  m.board = s.Lit("whiteboard", s.Texture("textures/office/whiteboard.png"), 1.0f, 1.0f, 1.0f, 0.6f, 80);
  m.clockFace = s.Lit("clock face alpha", s.Texture("clock_face.png"), 1.0f, 1.0f, 1.0f, 0.3f, 40);
  m.hand = s.Lit("clock hand", -1, 0.75f, 0.15f, 0.1f, 0.2f, 20);
  m.leaves = s.Lit("leaves alpha", s.Texture("leaves.png"), 0.9f, 1.0f, 0.9f, 0.1f, 10);
  m.glass = s.Lit("glass alpha", s.Texture("textures/office/glass.png"), 1.0f, 1.0f, 1.0f, 0.9f, 100);
  return m;
}

const float kOfficeHalf = 1000, kOfficeHeight = 900;

// The room, and its window wall: the city far behind, mullions in front of it.
void OfficeAndWindowWall(SceneBuilder& s, const OfficeMaterials& m) {
  const float R = kOfficeHalf, H = kOfficeHeight, F = R + kSeam, lo = -kSeam;
  Mesh walls;
  walls.Quad({-F, lo, -R}, {2 * F, 0, 0}, {0, 90 - lo, 0}, 256);           // sill under the window wall
  walls.Quad({-F, 840, -R}, {2 * F, 0, 0}, {0, H + kSeam - 840, 0}, 256);  // above it
  walls.Quad({F, lo, R}, {-2 * F, 0, 0}, {0, H + 2 * kSeam, 0}, 256);
  walls.Quad({-R, lo, F}, {0, 0, -2 * F}, {0, H + 2 * kSeam, 0}, 256);
  walls.Quad({R, lo, -F}, {0, 0, 2 * F}, {0, H + 2 * kSeam, 0}, 256);
  Shell(s, R, H, m.carpet, 160, walls, m.wall, m.ceil);

  Mesh skyline, bars;
  skyline.Quad({-3200, -700, -2600}, {6400, 0, 0}, {0, 3000, 0});
  for (int i = 0; i <= 5; ++i) bars.Box({-R + float(i) * 400, 465, -R + 10}, {12, 375, 12});
  bars.Box({0, 96, -R + 14}, {R, 6, 14});
  bars.Box({0, 834, -R + 10}, {R, 6, 10});
  s.Add("skyline", skyline, m.city, {0, 0, 0}, {}, Layer::kBeyond);
  s.Add("mullions", bars, m.mullion);
}

// A desk with a monitor behind her and a chair, off to her right, so the
// camera turned round does not stand in the chair.
void DeskMonitorAndChair(SceneBuilder& s, const OfficeMaterials& m) {
  const float dx = 380;
  s.Add("desk", Table({dx, 0, -800}, 320, 120, 150, 12, 12), m.desk);
  Mesh mon, monScreen;
  mon.Box({dx, 160, -870}, {50, 8, 30});
  mon.Box({dx, 200, -880}, {8, 40, 8});
  mon.Box({dx, 290, -885}, {150, 90, 8});
  monScreen.Quad({dx - 140, 208, -868}, {280, 0, 0}, {0, 164, 0});
  s.Add("monitor", mon, m.dark);
  s.Add("monitor screen", monScreen, m.screen);
  Mesh chairM, chairBase;
  chairM.Box({dx + 40, 100, -650}, {80, 10, 75}, 60);
  chairM.Box({dx + 40, 200, -570}, {80, 90, 10}, 60);
  chairBase.Cylinder({dx + 40, 0, -650}, 70, 8, 12, 5);
  chairBase.Cylinder({dx + 40, 12, -650}, 6, 6, 80, 8);
  s.Add("chair", chairM, m.chair);
  s.Add("chair base", chairBase, m.steel);
}

// Binders on the right wall, a whiteboard and the door behind the camera, the
// ceiling lights.
void CabinetWhiteboardAndLights(SceneBuilder& s, const OfficeMaterials& m) {
  const float R = kOfficeHalf, H = kOfficeHeight;
  Mesh shelf, spines;
  shelf.Box({R - 50, 300, -300}, {45, 300, 300});
  spines.Quad({R - 106, 20, -600}, {0, 0, 600}, {0, 560, 0});
  s.Add("cabinet", shelf, m.desk);
  s.Add("binders", spines, m.books);
  Mesh wb, wbFrame;
  wb.Quad({650, 250, R - 14}, {-800, 0, 0}, {0, 460, 0});
  wbFrame.Box({250, 480, R - 5}, {410, 240, 5});
  s.Add("whiteboard frame", wbFrame, m.steel);
  s.Add("whiteboard", wb, m.board);
  Door(s, -600, R, m.door, m.steel);
  Mesh lights;
  for (int i = -1; i <= 1; ++i)
    for (int j = -1; j <= 1; ++j)
      lights.Quad({float(i) * 600 - 120, H - 12, float(j) * 600 - 120}, {240, 0, 0}, {0, 0, 240});
  s.Add("ceiling lights", lights, m.panel);
}

bool BuildBusiness(const std::string& path) {
  SceneBuilder s;
  s.frames = kLoopFrames;
  const OfficeMaterials m = OfficeMaterialsOf(s);
  OfficeAndWindowWall(s, m);
  DeskMonitorAndChair(s, m);
  CabinetWhiteboardAndLights(s, m);
  Clock(s, {-kOfficeHalf, 620, -200}, {1, 0, 0}, 90, m.clockFace, m.hand);
  Plant(s, {-760, 0, -760}, 340, m.pot, m.leaves, 7);
  // A glass partition at her right, in front of the cabinet.
  Mesh pane;
  pane.QuadUV({700, 0, 150}, {0, 0, 600}, {0, 780, 0}, 0, 0, 1, 1, true);
  s.Add("glass partition", pane, m.glass);
  return s.Write(path);
}

}  // namespace

bool GenerateBackdrops(const std::string& dir) {
  // In the order of the outfits that stand her in them (catalog/catalog.h).
  bool (*const build[kCatalogOptions])(const std::string&) = {BuildPool, BuildCasual, BuildSchool, BuildBusiness};
  for (int b = 0; b < kCatalogOptions; ++b)
    if (!build[b](BundleOutPath(dir, std::string(kOutfitBackdrops[b]) + ".POD"))) return false;
  for (const std::string& name : TextureNames())
    if (!PaintTexture(dir, name)) return false;
  return true;
}
