// The soft-skin spring network: point masses built from the marked vertices
// of the character mesh, springs along the mesh edges between them, and the
// fixed step that moves them and writes their positions back into the mesh.
//
// The scene loader zero-fills phy_skin and calls PhySkinParse after every
// (re)load of the character; the frame update calls PhySkinFrame twice a
// frame and PhySkinForce with the filtered accelerometer force. The record
// has a fixed size and owns no memory; mesh_pos points into the scene, so
// the network is only valid while that scene lives.
//
// The vertex colour's byte 0 marks the soft region: 255 not soft (an anchor
// only beside a soft vertex), 251..254 pinned, 0..250 free with mass
// 300 - mark. Diagnostics go to standard error, one per event.
#pragma once

#include <cstdint>

#include "math/Vector.h"

class CPODScene;

const int kPhyMaxVertex = 512;
const int kPhyMaxLink = 1024;
const int kPhyMeshIndexSlots = 4;

struct PhyVertex {
  float pos[3];       // current position; z never changes
  float normal[3];    // load-time normal, the direction of the constant push
  float momentum[3];  // mass x velocity
  float inv_mass;     // 0 for a pinned point
  float damping;      // momentum kept per step
};

struct PhyLink {
  int32_t a;
  int32_t b;
  float rest_len;
};

struct PhySkinObj {
  int32_t n_vertex;
  int32_t n_link;
  float* mesh_pos;  // the character mesh's positions, 3 floats a vertex; not owned
  PhyVertex vertex[kPhyMaxVertex];
  PhyLink link[kPhyMaxLink];
  // Mesh vertices that share each point's position; -1 ends the list.
  int32_t mesh_index[kPhyMaxVertex][kPhyMeshIndexSlots];
};

extern PhySkinObj phy_skin;

// Builds the network from the scene's single mesh. 1 on success (possibly an
// empty network), 0 when the mesh does not qualify; obj is zero-filled by the
// caller. The scene must outlive the network.
int PhySkinParse(PhySkinObj* obj, CPODScene* scene);

// Adds mesh vertex `index` and returns the point that stands for it, or -1
// when the network is full.
int TryAddVertex(PhySkinObj* obj, unsigned char* colours, VECTOR3* positions, VECTOR3* normals, int index);

// First point within distance 0.01 of p, or -1.
int PhyVertexFound(PhySkinObj* obj, const float* p);

// Removes points held by at most one spring, and free points held by two,
// until none is left to remove.
void RemoveFuckingTie(PhySkinObj* obj);

// Removes point k and every spring that uses it; later points move down.
void PhyDelVertex(PhySkinObj* obj, int k);

// One fixed step: move, push along the normals, write back, spring impulses.
void PhySkinFrame(PhySkinObj* obj);

// Writes every point's position into the mesh vertices that share it, in
// point order, as a step does.
void PhySkinWriteBack(const PhySkinObj* obj);

// Subtracts 0.08 x mass x (fx, fy, fz) from the momentum of every free point.
void PhySkinForce(PhySkinObj* obj, float fx, float fy, float fz);
