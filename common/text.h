#pragma once
// 8-bit text helpers. Texts on the wire and in files are bytes; only ASCII letters change case.
#include <string>
#include <string_view>
#include <vector>

namespace vk {

inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
std::string LowerAscii(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
inline bool Contains(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }

// The lines of a text, each without its LF or CR LF; a last line without LF counts too.
std::vector<std::string> SplitLines(std::string_view text);

// The bytes as printable ASCII for a console: others (0xC8, cipher text) as \xNN. With a
// lineBreak, a CR LF, CR or LF inside the text is written as that instead.
std::string EscapeBytes(std::string_view s, const char* lineBreak = nullptr);

// Order of two lines as Windows' ignore-case word sort (CompareString, NORM_IGNORECASE, user
// locale) places them, for the characters that occur in result, file and module lines:
//   - '-' and '\'' carry no primary weight ("word sort"): "a-b" sorts beside "ab";
//   - then blank ! " # $ % & ( ) * , . / : ; ? @ [ \ ] ^ _ ` { | } ~, then + < = >;
//   - then the digits, then the letters with upper and lower case equal;
//   - control bytes before the blank, bytes from 0x7F on after the letters by value;
//   - a shorter line that is a prefix of a longer one comes first.
// Lines equal in those weights are ordered by their hyphens and apostrophes (a line without
// them first, then by the position of the first difference); lines that differ only in case
// compare equal, which is what makes a sorted list drop them as duplicates.
// Returns <0, 0 or >0.
int CompareLines(std::string_view a, std::string_view b);

}  // namespace vk
