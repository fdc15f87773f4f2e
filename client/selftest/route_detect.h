#pragma once
// Reading the player's Internet address out of a route ping, and the ping target check.
#include <optional>
#include <string>
#include <vector>

namespace vk {

// The Internet address in a route ping's output: the first line, the last one excepted, that
// holds a ':' before a "->" gives the text from two characters after the ':' up to two
// characters before the "->" ("    Route: 203.0.113.1 ->" gives "203.0.113.1").
std::optional<std::string> DetectInternetIP(const std::vector<std::string>& lines);

// Rewrites the record-route block of Linux's `ping -R` ("RR:\t192.168.61.2", then one
// "\tADDRESS" line per further hop) into the lines DetectInternetIP reads: "    Route: A ->"
// for the first recorded address that is not one of this computer's own (own, and every
// 127.x address), then "           B ->" for each further one. Linux records this computer's
// address first, so A is the router's outside address. A block with no such address, and
// every other line, stay as they are.
std::vector<std::string> RewriteRecordRoute(const std::vector<std::string>& lines,
                                            const std::vector<std::string>& own);

// A text that may go to ping as its target: a dotted IPv4 address or a host name (letters,
// digits and '-' in dot-separated labels, none starting or ending with '-'). Anything else,
// and above all a text starting with '-', which ping would take as an option, is refused.
bool IsPingTarget(const std::string& text);

// Dotted IPv4 text with four decimal parts 0..255.
bool IsDottedAddress(const std::string& text);

}  // namespace vk
