#include "base/long_path.h"

#include <algorithm>

namespace mv {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

}  // namespace

std::wstring ExtendedLengthPath(const std::wstring& full) {
  if (full.size() < kPlainPathLimit) return full;
  // "\\?\..." and "\\.\..." are device forms already.
  if (full.size() >= 4 && IsSeparator(full[0]) && IsSeparator(full[1]) && (full[2] == L'?' || full[2] == L'.') &&
      IsSeparator(full[3]))
    return full;
  std::wstring out;
  if (IsSeparator(full[0]) && IsSeparator(full[1])) {
    out = L"\\\\?\\UNC\\" + full.substr(2);
  } else if (IsLetter(full[0]) && full[1] == L':' && IsSeparator(full[2])) {
    out = L"\\\\?\\" + full;
  } else {
    return full;  // relative: the system resolves it, within its limit
  }
  std::replace(out.begin(), out.end(), L'/', L'\\');
  return out;
}

}  // namespace mv
