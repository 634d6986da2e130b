#include "plugins/dialog/plugin_row.h"

namespace mv {

namespace {
void AppendRightAligned(std::string& out, const std::string& text, std::size_t width) {
  if (text.size() < width) out.append(width - text.size(), ' ');
  out += text;
}
}  // namespace

std::string FormatPluginRow(const std::string& file_name, const std::string& filter, const std::string& description) {
  std::string row;
  row.reserve(file_name.size() + filter.size() + description.size() + 48);
  AppendRightAligned(row, file_name, 18);
  row += ' ';
  AppendRightAligned(row, filter, 18);
  row += "    ";
  row += description;
  return row;
}

}  // namespace mv
