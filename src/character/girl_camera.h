// The camera values and the fixed lighting.
//
// The gesture logic changes v_angle, v_dist and v_pan within their limits;
// the frame update turns them into the projection every tick (translate by
// (v_pan.x, v_pan.y, -v_dist), then turn by v_angle degrees about y) and
// calls InitTestLight before that. The reset button calls ResetCamera.
#pragma once

extern float v_angle;   // degrees about y, never wrapped
extern float v_dist;    // distance of the scene along the view axis
extern float v_pan[2];  // scene offset in the screen plane

// Limits the gestures keep; ResetCamera and start-up write values directly.
const float kCameraDistMin = 150.0f;
const float kCameraDistMax = 600.0f;
const float kCameraPanXMin = -200.0f;
const float kCameraPanXMax = 200.0f;
const float kCameraPanYMin = -400.0f;
const float kCameraPanYMax = -30.0f;

const float kCameraResetDist = 560.0f;
const float kCameraResetPanX = 0.0f;
const float kCameraResetPanY = -200.0f;

// Back to the start-up view; the gesture in progress keeps its references.
void ResetCamera();

// Lighting on, grey ambient, one white directional light. Needs a current
// GL context.
void InitTestLight();

// Puts the camera in the projection matrix — turned `angle` degrees about the
// vertical, `dist` away, panned by (panX, panY) — and loads the identity into
// the model-view, so lights set before stay in scene space. The frame update
// and the preview tools share it so that they frame her alike.
void GirlSetCamera(float angle, float dist, float panX, float panY);
