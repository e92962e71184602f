// Her face rig, driven by a few numbers: where the head and the eyes look,
// how far the lids are closed and how the mouth is held. FaceRigApply turns
// them into the pose layer of her scene (CPODScene::SetPoseLayer), on top of
// whatever clip plays: the head's and neck's turns add to the clip's, the
// face bones (rig/face_bones.h) are at rest in every clip.
//
// The face layer (face/face.h) calls it once a tick before she is drawn;
// the preview tool poses her face sheet with it.
#pragma once

#include <vector>

#include "math/Matrix.h"

class CPODScene;

struct FacePose {
  float head_yaw = 0, head_pitch = 0;  // degrees; towards her left and up are positive
  float eye_yaw = 0, eye_pitch = 0;    // degrees, relative to the head (within about 25)
  float lids = 0;                      // 0 open .. 1 closed
  float jaw = 0;                       // 0 closed .. 1 as far open as it goes
  float width = 0;                     // -1 round (corners in) .. 1 wide (corners out)
  float lip = 0;                       // upper lip raised 0 .. 1; below 0 the lips press together
};

// The mouth shapes lip sync uses, in the order the trace names them.
enum MouthShape { kMouthRest, kMouthA, kMouthO, kMouthE, kMouthM, kMouthShapeCount };
const char* MouthShapeName(MouthShape shape);  // "rest", "a", "o", "e", "m"
// -1 for a name that is none of them.
int MouthShapeFromName(const char* name);
// A pose's mouth (jaw, width, lip) for a shape held `amount` (0..1) open;
// the other fields are left as they are.
void FaceMouthPose(FacePose* pose, MouthShape shape, float amount);

// A turn of `pitch` degrees about x (up positive), then `yaw` about y (her
// left positive), in GL element order.
void FaceTurn(MATRIX& m, float yaw, float pitch);
// The neck's and the head's shares of the pose's head turn.
void FaceHeadTurns(const FacePose& pose, MATRIX* neck, MATRIX* head);

// Where the rig's bones are in one loaded scene.
struct FaceRig {
  const CPODScene* scene = nullptr;
  int head = -1, neck = -1, tail[2] = {-1, -1};
  int eye[2] = {-1, -1}, lid[2] = {-1, -1};
  int jaw = -1, lip_upper = -1, corner[2] = {-1, -1};
  std::vector<MATRIX> layer;  // one per node, handed to the scene
};

// Finds the bones. False when the scene has no face rig (another model, or
// none loaded): FaceRigApply then leaves the scene alone.
bool FaceRigBind(FaceRig* rig, const CPODScene* scene);
// Poses the scene: sets its pose layer to the rig's matrices for `pose`.
void FaceRigApply(FaceRig* rig, CPODScene* scene, const FacePose& pose);
