// The bones of her face rig and the few measures of it that both sides must
// agree on: the generator builds the rig (tools/girlgen), the face layer
// moves it (face/face_rig). Header only, so the generator needs no app
// library. The bones are children of "head"; their joints are in the model.
#pragma once

// Each eye turns about the centre of its (very flat) eyeball; the lid is a
// shell over the eyeball that turns down about the same centre to close.
constexpr const char* kFaceEyeL = "eye_l";
constexpr const char* kFaceEyeR = "eye_r";
constexpr const char* kFaceLidL = "lid_l";
constexpr const char* kFaceLidR = "lid_r";
// The mouth: the jaw turns the lower lip down, the upper lip rises, the
// corners move in (round) or out (wide).
constexpr const char* kFaceJaw = "jaw";
constexpr const char* kFaceLipUpper = "lip_upper";
constexpr const char* kFaceCornerL = "corner_l";
constexpr const char* kFaceCornerR = "corner_r";

// The lid closes turning about the model's x axis through the eye's centre,
// its front going down (a negative turn), by this many degrees.
constexpr float kLidClosedDegrees = 60.0f;
// The eyeball's radius in model units: a turn of the eye by a degrees moves
// the iris across the eye by about a * pi / 180 * kEyeRadius.
constexpr float kEyeRadius = 12.0f;
// How far the iris may travel from the middle of the eye, model units: the
// eyeball reaches that much beyond the eye opening.
constexpr float kIrisTravel = 3.0f;
