#pragma once
// Game message decoding and the cheat detectors.
namespace vkst {

struct Monitor;

// Decodes the message whose length byte is at decode-buffer position 31, in the context of the
// packet it came with; drives the once-per-second detector tick on capture timestamps.
void decodeMessage(Monitor& m);

}  // namespace vkst
