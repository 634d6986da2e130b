// File-name patterns as plug-ins give them: "*.png", "*.jpg;*.jpeg".
#pragma once

#include <string_view>

namespace mv {

// Whether `name` matches one of the ';'-separated `patterns`: '*' stands
// for any run of characters, '?' for one; ASCII letters match in either
// case, as the file system compares names.
bool MatchesAnyPattern(std::wstring_view name, std::wstring_view patterns);

}  // namespace mv
