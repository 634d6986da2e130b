// Shift-JIS path scanning: separators found character by character.
#include <gtest/gtest.h>

#include "base/file_pattern.h"
#include "base/long_path.h"
#include "base/sjis_path.h"

using namespace mv;

namespace {
// "表" is 0x95 0x5C and "ソ" is 0x83 0x5C: their second byte is a backslash.
const std::string kHyo = "\x95\x5C";
const std::string kSo = "\x83\x5C";
}  // namespace

TEST(SjisPath, FolderPartDropsFinalBackslashExceptAtRoots) {
  EXPECT_EQ(ExtractFileDir("C:\\images\\a.bmp"), "C:\\images");
  EXPECT_EQ(ExtractFileDir("C:\\a.bmp"), "C:\\");
  EXPECT_EQ(ExtractFileDir("C:a.bmp"), "C:");
  EXPECT_EQ(ExtractFileDir("\\\\server\\share"), "\\\\server");
  EXPECT_EQ(ExtractFileDir("\\\\x"), "\\\\");
  EXPECT_EQ(ExtractFileDir("a.bmp"), "");
  EXPECT_EQ(ExtractFileDir(""), "");
  EXPECT_EQ(ExtractFileDir("C:\\dir\\"), "C:\\dir");
}

TEST(SjisPath, TrailByteBackslashIsNoSeparator) {
  // C:\表\ソ.bmp: the only separators are the real ones.
  const std::string path = "C:\\" + kHyo + "\\" + kSo + ".bmp";
  EXPECT_EQ(ExtractFileName(path), kSo + ".bmp");
  EXPECT_EQ(ExtractFileDir(path), "C:\\" + kHyo);
  EXPECT_EQ(ExtractFilePath(path), "C:\\" + kHyo + "\\");
  // A folder whose name ends in 表 keeps all of it, and the final real
  // backslash is still dropped (the byte before it is a trail byte).
  EXPECT_EQ(ExtractFileDir("C:\\" + kHyo + "\\"), "C:\\" + kHyo);
  // No real separator at all.
  EXPECT_EQ(ExtractFileName(kHyo + kSo), kHyo + kSo);
  EXPECT_EQ(ExtractFileDir(kHyo + kSo), "");
}

TEST(SjisPath, Extension) {
  EXPECT_EQ(ExtractFileExt("C:\\a\\b.bmp"), ".bmp");
  EXPECT_EQ(ExtractFileExt("C:\\a.dir\\b"), "");
  EXPECT_EQ(ExtractFileExt("C:\\a\\b.tar.gz"), ".gz");
  EXPECT_EQ(ExtractFileExt("noext"), "");
  EXPECT_EQ(ExtractFileExt("C:\\a\\.bmp"), ".bmp");
  // A "." after a trail-byte backslash belongs to the name.
  EXPECT_EQ(ExtractFileExt("C:\\" + kSo + ".BmP"), ".BmP");
  // Cut in the middle of a double-byte character: the lone lead byte is
  // taken as it is and nothing reads past the end.
  EXPECT_EQ(ExtractFileName("C:\\a\x95"), "a\x95");
}

TEST(SjisPath, UpperAsciiLeavesDoubleByteCharactersAlone) {
  EXPECT_EQ(UpperAscii(".bmp"), ".BMP");
  // 0x82 0x61 is a double-byte character whose trail byte is 'a'.
  EXPECT_EQ(UpperAscii("\x82\x61x"), "\x82\x61X");
}

TEST(SjisPath, SameTextIgnoreCase) {
  EXPECT_TRUE(SameTextIgnoreCase("Sunset.BMP", "sunset.bmp"));
  EXPECT_FALSE(SameTextIgnoreCase("sunset.bmp", "sunset.bm"));
  EXPECT_FALSE(SameTextIgnoreCase("a", "b"));
  // Full-width ａ (0x82 0x81) and Ａ (0x82 0x60) compare equal.
  EXPECT_TRUE(SameTextIgnoreCase("\x82\x81", "\x82\x60"));
  // Trail bytes are never folded: 0x82 0x61 and 0x82 0x41 differ.
  EXPECT_FALSE(SameTextIgnoreCase("\x82\x61", "\x82\x41"));
  EXPECT_TRUE(SameTextIgnoreCase(kHyo, kHyo));
}

TEST(LongPath, LongFullPathsTakeTheDeviceFormShortOnesStayPlain) {
  const std::wstring deep = L"\\" + std::wstring(300, L'd') + L"\\a.bmp";
  EXPECT_EQ(ExtendedLengthPath(L"C:\\a\\b.bmp"), L"C:\\a\\b.bmp");
  EXPECT_EQ(ExtendedLengthPath(L"C:" + deep), L"\\\\?\\C:" + deep);
  EXPECT_EQ(ExtendedLengthPath(L"\\\\srv\\share" + deep), L"\\\\?\\UNC\\srv\\share" + deep);
  // The device form skips the system's rewriting: "/" must already be "\".
  EXPECT_EQ(ExtendedLengthPath(L"c:/x" + deep), L"\\\\?\\c:\\x" + deep);
  EXPECT_EQ(ExtendedLengthPath(L"\\\\?\\C:" + deep), L"\\\\?\\C:" + deep);
  EXPECT_EQ(ExtendedLengthPath(L"\\\\.\\C:" + deep), L"\\\\.\\C:" + deep);
  // Relative and drive-relative paths are left to the system.
  EXPECT_EQ(ExtendedLengthPath(L"rel" + deep), L"rel" + deep);
  EXPECT_EQ(ExtendedLengthPath(L"C:rel" + deep), L"C:rel" + deep);
  EXPECT_EQ(ExtendedLengthPath(std::wstring(259, L'x')), std::wstring(259, L'x'));
}

TEST(FilePattern, PluginFiltersMatchNamesAsTheFileSystemComparesThem) {
  EXPECT_TRUE(MatchesAnyPattern(L"a.PNG", L"*.png"));
  EXPECT_TRUE(MatchesAnyPattern(L"photo.jpeg", L"*.jpg; *.jpeg;*.jpe"));
  EXPECT_FALSE(MatchesAnyPattern(L"photo.jpeg2", L"*.jpg;*.jpeg"));
  EXPECT_FALSE(MatchesAnyPattern(L"png", L"*.png"));
  EXPECT_TRUE(MatchesAnyPattern(L"a.b.c", L"*.c"));
  EXPECT_TRUE(MatchesAnyPattern(L"img01.dat", L"img??.dat"));
  EXPECT_FALSE(MatchesAnyPattern(L"img1.dat", L"img??.dat"));
  EXPECT_TRUE(MatchesAnyPattern(L"\u8868.mvt", L"*.MVT"));
  EXPECT_TRUE(MatchesAnyPattern(L"anything", L"*"));
  EXPECT_FALSE(MatchesAnyPattern(L"a.png", L""));
  EXPECT_FALSE(MatchesAnyPattern(L"a.png", L";;"));
}
