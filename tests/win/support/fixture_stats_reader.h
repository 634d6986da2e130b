// The counters of a fixture plug-in, wherever it runs: in this process or
// in a plug-in worker. Each test run has its own tag (set at start-up and
// inherited by the workers).
#pragma once

#include <string>

#include "tests/fixtures/fixture_stats.h"

struct QvSpiPlugin;

namespace mvtest {

// Gives this run its tag; called once by the tests' entry point.
void TagFixtureStats();
// The counters of the fixture library `fixture` (base name, e.g.
// "mvt_good") of `bits` (32 or 64; by default this edition's), or null
// when that fixture has not been loaded in this run.
mv::test::FixtureCounters* FixtureStatsOf(const std::string& fixture, int bits = sizeof(void*) * 8);
// The counters of the fixture a listed plug-in was copied from (its file
// name less the extension), in whichever process it runs.
mv::test::FixtureCounters* FixtureStatsOf(const QvSpiPlugin& plugin);
// Whether the host holds this plug-in file loaded, here or in a worker.
bool PluginLoaded(const std::string& path);

}  // namespace mvtest
