#include "tests/win/support/fixture_stats_reader.h"

#include <windows.h>

#include <map>

namespace mvtest {

void TagFixtureStats() {
  ::SetEnvironmentVariableA(mv::test::kFixtureTagVariable, std::to_string(::GetCurrentProcessId()).c_str());
}

mv::test::FixtureCounters* FixtureStatsOf(const std::string& fixture, int bits) {
  // Views stay open for the run: a fixture reloaded later writes into the
  // same block, and the pointer stays good.
  static std::map<std::string, mv::test::FixtureCounters*> open;
  char tag[64] = "0";
  const DWORD n = ::GetEnvironmentVariableA(mv::test::kFixtureTagVariable, tag, sizeof tag);
  if (n == 0 || n >= sizeof tag) return nullptr;
  const std::string name = mv::test::FixtureStatsName(fixture, bits, tag);
  if (auto it = open.find(name); it != open.end()) return it->second;
  HANDLE block = ::OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
  if (!block) return nullptr;
  void* view = ::MapViewOfFile(block, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  ::CloseHandle(block);  // the view keeps the block
  if (!view) return nullptr;
  auto* counters = static_cast<mv::test::FixtureCounters*>(view);
  open[name] = counters;
  return counters;
}

}  // namespace mvtest
