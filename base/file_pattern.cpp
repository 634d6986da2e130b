#include "base/file_pattern.h"

#include <cstddef>

namespace mv {

namespace {

wchar_t Fold(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// One pattern, '*' and '?' as wildcards: the usual walk that goes back to
// the last '*' on a mismatch, linear in the name for each star.
bool Matches(std::wstring_view name, std::wstring_view pattern) {
  std::size_t n = 0, p = 0, star = std::wstring_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == L'?' || Fold(pattern[p]) == Fold(name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == L'*') {
      star = p++;
      resume = n;
    } else if (star != std::wstring_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesAnyPattern(std::wstring_view name, std::wstring_view patterns) {
  while (!patterns.empty()) {
    const std::size_t end = patterns.find(L';');
    std::wstring_view one = patterns.substr(0, end);
    while (!one.empty() && one.front() == L' ') one.remove_prefix(1);
    while (!one.empty() && one.back() == L' ') one.remove_suffix(1);
    if (!one.empty() && Matches(name, one)) return true;
    if (end == std::wstring_view::npos) break;
    patterns.remove_prefix(end + 1);
  }
  return false;
}

}  // namespace mv
