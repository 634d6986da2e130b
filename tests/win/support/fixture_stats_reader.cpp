#include "tests/win/support/fixture_stats_reader.h"

#include <windows.h>

#include <map>

#include "app/MainForm.h"
#include "base/sjis_path.h"
#include "plugins/spi_ctrl.h"
#include "tests/win/support/paths.h"

namespace mvtest {

namespace {

std::map<std::string, mv::test::FixtureCounters*>& Blocks() {
  static std::map<std::string, mv::test::FixtureCounters*> blocks;
  return blocks;
}

std::string Tag() {
  char tag[64] = "";
  const DWORD n = ::GetEnvironmentVariableA(mv::test::kFixtureTagVariable, tag, sizeof tag);
  return n == 0 || n >= sizeof tag ? std::string() : std::string(tag);
}

// The block of one fixture, made if no process has made it yet. The
// handle stays open for the run: the counters outlive every process that
// loads the fixture (a worker that crashed among them), and under Wine a
// view alone does not keep a block's name for the next one to find.
mv::test::FixtureCounters* Block(const std::string& name, bool create) {
  if (auto it = Blocks().find(name); it != Blocks().end()) return it->second;
  HANDLE block = create ? ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                               sizeof(mv::test::FixtureCounters), name.c_str())
                        : ::OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
  if (!block) return nullptr;
  void* view = ::MapViewOfFile(block, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  if (!view) {
    ::CloseHandle(block);
    return nullptr;
  }
  auto* counters = static_cast<mv::test::FixtureCounters*>(view);
  counters->structSize = sizeof(mv::test::FixtureCounters);
  Blocks()[name] = counters;
  return counters;
}

void HoldBlocksOf(const std::string& dir, const char* pattern, int bits) {
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA((dir + pattern).c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = fd.cFileName;
    Block(mv::test::FixtureStatsName(name.substr(0, name.size() - 4), bits, Tag()), true);
  } while (::FindNextFileA(h, &fd));
  ::FindClose(h);
}

}  // namespace

void TagFixtureStats() {
  ::SetEnvironmentVariableA(mv::test::kFixtureTagVariable, std::to_string(::GetCurrentProcessId()).c_str());
  // Every fixture's block, held from the start of the run.
  HoldBlocksOf(FixtureDir(), "*" MV_SPI_EXT, spi::kEditionBits);
  HoldBlocksOf(FixtureDir32(), "*.spi", 32);
}

mv::test::FixtureCounters* FixtureStatsOf(const std::string& fixture, int bits) {
  const std::string tag = Tag();
  return tag.empty() ? nullptr : Block(mv::test::FixtureStatsName(fixture, bits, tag), false);
}

}  // namespace mvtest

namespace mvtest {

mv::test::FixtureCounters* FixtureStatsOf(const QvSpiPlugin& plugin) {
  const std::string& name = plugin.FileName;
  const std::string stem = name.substr(0, name.size() - mv::ExtractFileExt(name).size());
  // A fixture's counters are its build's: *.spi are 32-bit, *.sph 64-bit,
  // wherever they run.
  return FixtureStatsOf(stem, mv::UpperAscii(mv::ExtractFileExt(name)) == ".SPI" ? 32 : 64);
}

bool PluginLoaded(const std::string& path) {
  if (::GetModuleHandleA(path.c_str())) return true;
  if (!frmMain || !frmMain->SpiCtrl) return false;
  // A folder given with a trailing backslash doubles it in the path.
  auto normal = [](std::string p) {
    for (std::size_t at; (at = p.find("\\\\")) != std::string::npos;) p.erase(at, 1);
    return mv::UpperAscii(p);
  };
  for (const auto& p : frmMain->SpiCtrl->Plugins)
    if (!p->Faulted && normal(p->FilePath) == normal(path) && p->Site->Callable(p->SiteIndex)) return true;
  return false;
}

}  // namespace mvtest
