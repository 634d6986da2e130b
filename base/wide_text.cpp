#include "base/wide_text.h"

#include <windows.h>

namespace mv {

std::wstring WideFromAnsi(std::string_view text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string AnsiFromWide(std::wstring_view text, bool* lossless) {
  if (lossless) *lossless = true;
  if (text.empty()) return {};
  BOOL used_default = FALSE;
  const int size = static_cast<int>(text.size());
  const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, out.data(), n, nullptr, &used_default);
  if (lossless) *lossless = n > 0 && !used_default;
  return out;
}

std::wstring ExtractFileDirW(std::wstring_view path) {
  const std::size_t i = path.find_last_of(L"\\:");
  if (i == std::wstring_view::npos) return {};
  if (i > 0 && path[i] == L'\\' && path[i - 1] != L'\\' && path[i - 1] != L':') return std::wstring(path.substr(0, i));
  return std::wstring(path.substr(0, i + 1));
}

std::wstring ExtractFileNameW(std::wstring_view path) {
  const std::size_t i = path.find_last_of(L"\\:");
  return std::wstring(i == std::wstring_view::npos ? path : path.substr(i + 1));
}

bool SameNameIgnoreCase(std::wstring_view a, std::wstring_view b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

}  // namespace mv
