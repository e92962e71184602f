// Her skeleton as a humanoid: which of her bones (named by tools/girlgen)
// stands for which bone of the humanoid bone map a VRM file carries. The
// generator writes her VRM exports through it, and the character import
// reads her clips through it when it retargets them onto an imported
// character (vrm/vrm_retarget). Header only, like the clip table beside it.
#pragma once

#include "rig/face_bones.h"

struct GirlHumanBone {
  const char* girl;      // her node's name
  const char* humanoid;  // the humanoid bone (VRM 1.0 spelling)
};

constexpr GirlHumanBone kGirlHumanBones[] = {
    {"hips", "hips"},
    {"spine", "spine"},
    {"chest", "chest"},
    {"neck", "neck"},
    {"head", "head"},
    {"shoulder_l", "leftShoulder"},
    {"upperarm_l", "leftUpperArm"},
    {"forearm_l", "leftLowerArm"},
    {"hand_l", "leftHand"},
    {"shoulder_r", "rightShoulder"},
    {"upperarm_r", "rightUpperArm"},
    {"forearm_r", "rightLowerArm"},
    {"hand_r", "rightHand"},
    {"thigh_l", "leftUpperLeg"},
    {"shin_l", "leftLowerLeg"},
    {"foot_l", "leftFoot"},
    {"thigh_r", "rightUpperLeg"},
    {"shin_r", "rightLowerLeg"},
    {"foot_r", "rightFoot"},
    {kFaceEyeL, "leftEye"},
    {kFaceEyeR, "rightEye"},
    {kFaceJaw, "jaw"},
};
constexpr int kGirlHumanBoneCount = sizeof kGirlHumanBones / sizeof kGirlHumanBones[0];
