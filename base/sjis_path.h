// Path texts in Shift-JIS (code page 932), scanned character by character:
// the second byte of a double-byte character (0x5C in 表 and ソ) is never
// taken for a separator.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mv {

// True for bytes that begin a double-byte character in code page 932.
constexpr bool IsSjisLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Position of the last character of `path` that is one of `delimiters`
// (single-byte characters only), or npos.
std::size_t LastDelimiter(std::string_view path, std::string_view delimiters);

// The folder part: up to the last "\" or ":"; a final "\" is dropped unless
// it follows ":" or another "\" (a drive root keeps its backslash); empty
// when the path has neither character.
std::string ExtractFileDir(std::string_view path);
// The folder part including its final "\" or ":".
std::string ExtractFilePath(std::string_view path);
// What follows the last "\" or ":".
std::string ExtractFileName(std::string_view path);
// From the last "." to the end, when no "\" or ":" follows it; else empty.
std::string ExtractFileExt(std::string_view path);

// Letters a to z in upper case; double-byte characters stay as they are.
std::string UpperAscii(std::string_view text);

// Compares two texts ignoring letter case: ASCII letters and the
// full-width Latin letters of code page 932; other bytes must match.
bool SameTextIgnoreCase(std::string_view a, std::string_view b);

}  // namespace mv
