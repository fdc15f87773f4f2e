#pragma once
// mplayer.ini as the client reads and writes it: a list of text lines. Writing replaces the
// whole file through a temporary file and a rename, so the game never finds a half-written
// file; lines an operation does not touch come back byte for byte (with CR LF line ends).
#include <string>
#include <vector>

namespace vk {

inline constexpr const char* kMplayerIni = "mplayer.ini";

// Reads the lines (split at LF, a CR before it dropped). False with a reason when the file
// cannot be read.
bool LoadIniLines(const std::string& osPath, std::vector<std::string>& lines, std::string& error);
// Writes every line followed by CR LF into a temporary file beside osPath, flushes it to disk
// and renames it over osPath (keeping the old file's permissions). False with a reason, and
// the old file untouched, on any failure and for a read-only file.
bool SaveIniLines(const std::string& osPath, const std::vector<std::string>& lines, std::string& error);

// Index of the first line containing "[metaservers]" in any case, -1 when none.
int FindMetaHeader(const std::vector<std::string>& lines);
// Index of the first line starting with exactly "[KnownServers]", -1 when none.
int FindKnownHeader(const std::vector<std::string>& lines);
// The toggle's state: the line right after the meta header starts with "server=" (any case).
bool UsingMetaServers(const std::vector<std::string>& lines);
// Removes the "server=" lines (any case) right after the meta header; when meta is set,
// inserts the two given meta-server lines in that order. header must be FindMetaHeader's.
void SetMetaServerLines(std::vector<std::string>& lines, int header, bool meta, const std::string& first,
                        const std::string& second);
// "Server=TCP:" + server + ":6001".
std::string MetaServerLine(const std::string& server);
// Every line containing "udp:" in any case, as the browser lists it: 0xFE, "Known server = ",
// the line with A-Z lowered.
std::vector<std::string> KnownServerEntries(const std::vector<std::string>& lines);

// The address part of a browser line (the text after its last "|__|", " UDP:a.b.c.d:port")
// and its name part (after the second-last "|__|", up to the space before the last one; from
// the start of the line when there is only one "|__|"). False when the line has no "|__|".
bool SplitServerLine(const std::string& line, std::string& address, std::string& name);
// " UDP:" + dotted IPv4 + ":" + decimal port 1..65535, nothing else.
bool IsUdpAddressPart(const std::string& address);

}  // namespace vk
