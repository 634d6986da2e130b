// Rows of the plug-in list.
#include <gtest/gtest.h>

#include "plugins/dialog/plugin_row.h"

using mv::FormatPluginRow;

TEST(PluginRow, ColumnsAreRightAlignedIn18Bytes) {
  EXPECT_EQ(FormatPluginRow("ifpng.spi", "*.png", "PNG 1.0"),
            std::string(9, ' ') + "ifpng.spi" + " " + std::string(13, ' ') + "*.png" + "    PNG 1.0");
  EXPECT_EQ(FormatPluginRow("", "", ""), std::string(18, ' ') + " " + std::string(18, ' ') + "    ");
}

TEST(PluginRow, LongTextsPushTheOtherColumnsAndAreNotCut) {
  const std::string name = "mvt_longname_fixture_plugin.spi";  // 31 bytes
  const std::string row = FormatPluginRow(name, "*.mvt", "x");
  EXPECT_EQ(row.substr(0, name.size()), name);
  EXPECT_EQ(row.substr(name.size()), " " + std::string(13, ' ') + "*.mvt    x");
  const std::string desc(5000, 'd');  // far beyond any fixed buffer
  EXPECT_EQ(FormatPluginRow("a", "b", desc).size(), 18u + 1 + 18 + 4 + 5000);
}

TEST(PluginRow, DoubleByteCharactersCountAsTwoBytes) {
  const std::string jp = "\x89\xe6\x91\x9c";  // two characters, four bytes
  EXPECT_EQ(FormatPluginRow(jp, "", "").substr(0, 18), std::string(14, ' ') + jp);
}
