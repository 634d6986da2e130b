// Finding the public BMP suite beside the checkout, and reading its files.
#pragma once

#include <string>
#include <vector>

namespace mvtest {

// MORVANE_CORPUS_WIN (a Windows path), else MORVANE_CORPUS (a Unix path,
// reached through Wine's Z: drive), else beside the checkout. Empty when
// absent; `tried` collects the places looked at.
std::string CorpusDir(std::string* tried);
std::string WithSlash(std::string dir);
bool IsDir(const std::string& dir);
bool IsFile(const std::string& path);
bool ReadAll(const std::string& path, std::string& out);
// The "*.bmp" files of a folder, sorted by name.
std::vector<std::string> BmpFiles(const std::string& dir);

}  // namespace mvtest
