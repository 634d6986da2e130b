// The form of a full path that the wide file calls take at any length.
// Plain paths stop at MAX_PATH on Windows (unless the system opts in);
// "\\?\" paths reach about 32,767 characters but skip every rewrite the
// system makes, so they must already be full and use "\" only.
#pragma once

#include <cstddef>
#include <string>

namespace mv {

// Below this many characters a plain path opens as it is.
inline constexpr std::size_t kPlainPathLimit = 260;

// `full` (a full path, "C:\..." or "\\server\share\...") as the file calls
// take it: unchanged when short enough or already in a device form;
// "\\?\C:\..." and "\\?\UNC\server\share\..." otherwise, with "/" turned
// into "\". A relative path stays as it is.
std::wstring ExtendedLengthPath(const std::wstring& full);

}  // namespace mv
