#pragma once
// Detector and landmark state kept by the monitor for the whole run (owned by decode/landmarks).
namespace vkst {

struct DecodeState {};
struct LandmarkState {};

}  // namespace vkst
