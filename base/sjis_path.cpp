#include "base/sjis_path.h"

#include <vector>

namespace mv {

namespace {

// Start positions of the characters of a text.
std::vector<bool> CharStarts(std::string_view s) {
  std::vector<bool> starts(s.size(), false);
  for (std::size_t i = 0; i < s.size();) {
    starts[i] = true;
    i += (IsSjisLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
  }
  return starts;
}

bool IsDelimiterAt(std::string_view s, const std::vector<bool>& starts, std::size_t i, std::string_view delims) {
  return starts[i] && delims.find(s[i]) != std::string_view::npos;
}

// One character folded for comparison: a byte, or a lead/trail pair.
struct Folded {
  unsigned value;
  std::size_t length;
};

Folded FoldAt(std::string_view s, std::size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  if (IsSjisLeadByte(c) && i + 1 < s.size()) {
    unsigned code = (static_cast<unsigned>(c) << 8) | static_cast<unsigned char>(s[i + 1]);
    if (code >= 0x8281 && code <= 0x829A) code -= 0x21;  // ａ-ｚ to Ａ-Ｚ
    return {code, 2};
  }
  if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
  return {c, 1};
}

}  // namespace

std::size_t LastDelimiter(std::string_view path, std::string_view delimiters) {
  std::size_t found = std::string_view::npos;
  auto starts = CharStarts(path);
  for (std::size_t i = 0; i < path.size(); ++i)
    if (IsDelimiterAt(path, starts, i, delimiters)) found = i;
  return found;
}

std::string ExtractFileDir(std::string_view path) {
  auto starts = CharStarts(path);
  std::size_t i = std::string_view::npos;
  for (std::size_t k = 0; k < path.size(); ++k)
    if (IsDelimiterAt(path, starts, k, "\\:")) i = k;
  if (i == std::string_view::npos) return {};
  if (i > 0 && path[i] == '\\' && !IsDelimiterAt(path, starts, i - 1, "\\:")) return std::string(path.substr(0, i));
  return std::string(path.substr(0, i + 1));
}

std::string ExtractFilePath(std::string_view path) {
  std::size_t i = LastDelimiter(path, "\\:");
  return i == std::string_view::npos ? std::string() : std::string(path.substr(0, i + 1));
}

std::string ExtractFileName(std::string_view path) {
  std::size_t i = LastDelimiter(path, "\\:");
  return std::string(i == std::string_view::npos ? path : path.substr(i + 1));
}

std::string ExtractFileExt(std::string_view path) {
  std::size_t i = LastDelimiter(path, ".\\:");
  if (i == std::string_view::npos || path[i] != '.') return {};
  return std::string(path.substr(i));
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  auto starts = CharStarts(text);
  for (std::size_t i = 0; i < out.size(); ++i)
    if (starts[i] && out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
  return out;
}

bool SameTextIgnoreCase(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    Folded x = FoldAt(a, i), y = FoldAt(b, j);
    if (x.value != y.value) return false;
    i += x.length;
    j += y.length;
  }
  return i == a.size() && j == b.size();
}

}  // namespace mv
