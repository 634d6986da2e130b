// The files a folder gives a load: those directly in it (subfolders are
// not entered) whose extension is a bitmap's or that a plug-in claims by
// its filters, in the order Explorer shows names in.
#pragma once

#include <string>
#include <vector>

namespace app {

// The files of `folder` named like a bitmap (.bmp, .dib, .rle) or matching
// one of `patterns` (';'-separated, as plug-ins give them), full paths,
// ordered as Explorer orders names: letter case ignored, runs of digits
// compared as numbers ("2.bmp" before "10.bmp").
std::vector<std::wstring> ImageFilesIn(const std::wstring& folder, const std::wstring& patterns);

}  // namespace app
