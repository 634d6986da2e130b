// Texts between the program's code page (Shift-JIS: its own texts, and what
// ANSI interfaces take) and UTF-16 (file names as the file system has them).
#pragma once

#include <string>
#include <string_view>

namespace mv {

// The system's code page to UTF-16.
std::wstring WideFromAnsi(std::string_view text);
// UTF-16 to the system's code page; what it cannot say becomes '?', as the
// system converts. `lossless`, when given, tells whether every character
// came through as itself (no best-fit stand-ins either).
std::string AnsiFromWide(std::wstring_view text, bool* lossless = nullptr);

// The folder and name parts of a wide path, split as ExtractFileDir and
// ExtractFileName split a Shift-JIS one.
std::wstring ExtractFileDirW(std::wstring_view path);
std::wstring ExtractFileNameW(std::wstring_view path);

// Compares two names ignoring letter case in every script, as the file
// system does.
bool SameNameIgnoreCase(std::wstring_view a, std::wstring_view b);

}  // namespace mv
