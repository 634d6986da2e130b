// Where a Wine test finds its fixtures (beside the test executable) and
// keeps its scratch files.
#pragma once

#include <string>

namespace mvtest {

// The program of this edition, built into ..\bin\ beside the tests.
#ifdef _WIN64
inline constexpr char kProgramExe[] = "Morvane64.exe";
#else
inline constexpr char kProgramExe[] = "Morvane.exe";
#endif
// Its folder (with a trailing backslash) and its full path.
inline std::string ProgramDir();
inline std::string ProgramPath();

// Folder of the running test executable, with a trailing backslash.
std::string ExeDir();
// ExeDir() + "fixtures\\": the fixture plug-ins built with the tests.
std::string FixtureDir();
// ExeDir() + "fixtures32\\": the 64-bit build's 32-bit fixture plug-ins
// (*.spi, for the 32-bit worker); empty in a 32-bit build.
std::string FixtureDir32();
// A fresh, empty scratch folder in a short folder of the tests' own under
// the temporary folder, wherever the checkout lies (trailing backslash).
std::string MakeScratchDir(const std::string& name);
// Writes bytes to a file, replacing it.
void WriteFileBytes(const std::string& path, const std::string& bytes);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);

inline std::string ProgramDir() { return ExeDir() + "..\\bin\\"; }
inline std::string ProgramPath() { return ProgramDir() + kProgramExe; }

}  // namespace mvtest
