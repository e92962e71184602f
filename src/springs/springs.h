// Spring bones: the hair, skirt and other dangling parts of an imported
// character, swayed by her pose, gravity and the device's motion as her
// file describes them (VRM 1.0 `VRMC_springBone`, VRM 0.x
// `secondaryAnimation`), at the fixed 30 Hz tick, the same bits every run.
//
// Who calls it. At load the character loader turns the file's spring
// parameters into a SpringSetup (SpringsFromVrm1 / SpringsFromVrm0, from the
// plain records the importer parsed), makes the state with SpringsInit and
// runs SpringsSettle once with the skeleton at rest, so nothing flops at
// start. Every tick the frame update evaluates the animated skeleton, hands
// SpringsStep the world matrices of the setup's fixed nodes and the device's
// acceleration (SpringsDeviceAcceleration, from the same filtered reading
// that pushes her soft parts), and writes each joint's local rotation back
// before the skeleton is drawn. The trace reads SpringsReadout.
//
// The records. Joints are the nodes that sway: each hangs from an earlier
// joint or from a fixed node (one the animation moves, the solver never), has
// its rest local transform, and aims at its tail; a joint sways in a chain,
// which may carry its inertia in a centre node's space and tests the collider
// groups it names; colliders are spheres and capsules riding on fixed nodes.
// A joint without a chain, or whose tail is at its own origin, follows its
// parent rigidly. Joints come parents first (a parent joint's index is below
// its own), which also rules out cycles.
//
// Frames and units. "World" is whatever frame the fixed nodes' matrices map
// into: the character's model space, y up, metres for a model at its own
// scale. Matrices are 4x4 in GL element order (math/Matrix.h: translation in
// elements 12..14; a point is transformed as a column vector). A length that
// belongs to a node (a joint's tail and hit radius, a collider's offset, tail
// and radius) is in that node's space and scales with it, a joint's offset is
// in its parent's; directions and accelerations are in world. Rotations are unit quaternions
// (x, y, z, w) that turn column vectors, as glTF's; math/Matrix.h's
// MatrixRotationQuaternion builds the conjugate's matrix, so a rotation from
// here goes to a scene node conjugated.
//
// How a joint moves, each tick: its tail keeps its velocity, less `drag`
// (0 keeps all, 1 none), measured in the chain's centre space; it is pulled
// back towards where its rest pose points by `stiffness` and along
// `gravity_dir` by `gravity_power` (both as a distance per second, added once
// a tick), and pushed by the external acceleration; it is then kept at the
// bone's length from the joint's origin and outside every collider it tests
// (the sum of the collider's radius and the joint's hit radius; one whose
// whole reach lies inside a collider cannot leave it), and the joint turns to
// aim at it. A chain whose values stop being finite is put back at rest and
// counted in the readout.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "math/Matrix.h"

// The fixed tick every step advances.
constexpr float kSpringsTick = 1.0f / 30.0f;

struct SpringJoint {
  int parent_joint = -1;             // an earlier joint it hangs from, or -1
  int parent_node = -1;              // else the fixed node it hangs from, or -1: the world frame
  float offset[3] = {0, 0, 0};       // rest translation, parent's space
  float rotation[4] = {0, 0, 0, 1};  // rest local rotation
  float scale[3] = {1, 1, 1};
  float tail[3] = {0, 0, 0};  // the point it aims at, own space
  float hit_radius = 0;
  float stiffness = 1;
  float gravity_power = 0;
  float gravity_dir[3] = {0, -1, 0};
  float drag = 0.5f;  // 0..1
  int chain = -1;     // the chain it sways in, -1: it follows its parent
};

struct SpringChain {
  int centre_node = -1;  // fixed node whose space carries the inertia, -1: world
  std::vector<int> collider_groups;
};

struct SpringCollider {
  int node = -1;  // the fixed node it rides on, -1: the world frame
  bool capsule = false;
  float offset[3] = {0, 0, 0};  // the sphere's centre, or the capsule's start
  float tail[3] = {0, 0, 0};    // the capsule's end
  float radius = 0;
};

struct SpringSetup {
  // The caller's name for each fixed node (the file's node index) and for each
  // joint; the solver only uses how many fixed nodes there are.
  std::vector<int> node_ids;
  std::vector<int> joint_ids;
  std::vector<SpringJoint> joints;
  std::vector<SpringChain> chains;
  std::vector<SpringCollider> colliders;
  std::vector<std::vector<int>> collider_groups;  // indices into colliders
};

// Per joint while it sways: its tail now and a tick ago, in its chain's
// centre space.
struct SpringTail {
  float now[3];
  float before[3];
};

struct SpringState {
  SpringSetup setup;  // as checked, values clamped to their ranges
  // Out, per joint: local rotation (x, y, z, w) and world matrix.
  std::vector<float> rotation;
  std::vector<MATRIX> world;
  // The solver's own.
  std::vector<SpringTail> tails;
  std::vector<char> placed;           // per chain: tails set for this pose
  std::vector<float> chain_speed;     // per chain: fastest tail, units a second
  std::vector<float> collider_world;  // per collider: start, end, radius
  int resets = 0;                     // chains put back at rest so far
};

// Checks the setup and makes the state, every joint at its rest rotation. On
// a setup it cannot run (an index out of range, a parent after its child, a
// value that is not a number) it returns false with one line in *error and a
// state that moves nothing. Values out of range are brought in (drag to
// 0..1; stiffness, gravity power and radii to 0 and up, with an upper bound
// far past any use).
bool SpringsInit(SpringState* state, const SpringSetup& setup, std::string* error);

// One tick with these world matrices of the fixed nodes (count of them, as
// many as setup.node_ids) and the external acceleration in world units a
// second squared (null: none). A chain not yet placed starts at rest. False,
// moving nothing, when the count is wrong.
bool SpringsStep(SpringState* state, const MATRIX* nodes, size_t count, const float* accel);

// Puts every chain at rest for these matrices, then runs up to `ticks` ticks
// without external acceleration (stopping early once nothing moves faster
// than a millimetre a second) and stills what is left. False as SpringsStep.
bool SpringsSettle(SpringState* state, const MATRIX* nodes, size_t count, int ticks = 150);

// The local matrix translate(t) x rotate(q) x scale(s): how a joint's
// rotation goes back into its node with the node's own translation and scale.
void SpringsLocalMatrix(const float t[3], const float q[4], const float s[3], MATRIX* out);

struct SpringsReport {
  int chains_moving = 0;  // chains with a tail faster than a millimetre a second
  float max_speed = 0;    // the fastest tail, world units a second
  int resets = 0;
};
SpringsReport SpringsReadout(const SpringState& state);

// The device's reading as the filter hands it to her soft parts (in g, in
// the device's frame: x to the screen's right, y up it, z out of it; an
// upright, still device reads (0, -1, 0)) as the acceleration her springs
// feel, in world units a second squared: what is left after the upright
// reading, turned into world. `view_yaw_degrees` is how far the camera turns
// her about y (world = view turned back by it; at 0 the camera looks down -z).
void SpringsDeviceAcceleration(const float reading_g[3], float view_yaw_degrees, float out[3]);

// ---- From the character file's records ----

// A node of the file as read: its children in the file's order and its rest
// transform.
struct SpringFileNode {
  std::vector<int> children;
  float translation[3] = {0, 0, 0};
  float rotation[4] = {0, 0, 0, 1};
  float scale[3] = {1, 1, 1};
};

// VRM 1.0 `VRMC_springBone`; defaults are those of a value the file leaves out.
struct Vrm1JointIn {
  int node = -1;
  float hit_radius = 0;
  float stiffness = 1;
  float gravity_power = 0;
  float gravity_dir[3] = {0, -1, 0};
  float drag = 0.5f;
};
struct Vrm1SpringIn {
  std::vector<Vrm1JointIn> joints;
  std::vector<int> collider_groups;
  int center = -1;
};
struct Vrm1ColliderIn {
  int node = -1;
  bool capsule = false;
  float offset[3] = {0, 0, 0};
  float radius = 0;
  float tail[3] = {0, 0, 0};
};
struct Vrm1SpringBoneIn {
  std::vector<Vrm1ColliderIn> colliders;
  std::vector<std::vector<int>> collider_groups;
  std::vector<Vrm1SpringIn> springs;
};

// VRM 0.x `secondaryAnimation`, vectors as the file stores them (a left-handed
// frame: z reversed).
struct Vrm0ColliderIn {
  float offset[3] = {0, 0, 0};
  float radius = 0;
};
struct Vrm0ColliderGroupIn {
  int node = -1;
  std::vector<Vrm0ColliderIn> colliders;
};
struct Vrm0BoneGroupIn {
  float stiffness = 1;
  float gravity_power = 0;
  float gravity_dir[3] = {0, -1, 0};
  float drag = 0.4f;
  float hit_radius = 0.02f;
  int center = -1;
  std::vector<int> bones;  // root nodes: each with all of its descendants
  std::vector<int> collider_groups;
};
struct Vrm0SecondaryIn {
  std::vector<Vrm0BoneGroupIn> bone_groups;
  std::vector<Vrm0ColliderGroupIn> collider_groups;
};

// The setup for a file's springs. 1.0: a spring's joints each sway towards the
// next one (nodes between them follow rigidly), the last one is only a tail.
// 0.x: every node below a group's root bone sways with the group's values,
// towards its first child, or, at an end, 7 cm on along the bone from its
// parent. A chain per 1.0 spring and per 0.x root bone. What does not fit
// (an index out of range, a joint not below the one before it, a node in
// two springs, nodes in a cycle) is left out and the first such thing is
// described in *warning (empty when all was taken).
SpringSetup SpringsFromVrm1(const std::vector<SpringFileNode>& nodes, const Vrm1SpringBoneIn& in, std::string* warning);
SpringSetup SpringsFromVrm0(const std::vector<SpringFileNode>& nodes, const Vrm0SecondaryIn& in, std::string* warning);
