// What the tests of plug-ins in workers share: the program started with a
// folder of chosen fixture plug-ins, in a chosen order of trial, and the
// checks that the program is still fine.
#pragma once

#include <string>
#include <vector>

#include "plugins/spi_ctrl.h"
#include "tests/win/support/app_harness.h"

namespace mvtest {

class WorkerTest : public AppTest {
 public:
  // An 8-bit MVT picture any good fixture decodes.
  static std::string Mvt8();

 protected:
  // Starts the program with a plug-in folder holding the fixtures `stems`
  // (copied from `from`, with extension `ext`), tried in this order, and
  // `more` lines in the settings file's [Setting] section.
  void StartWith(const std::string& from, const std::string& ext, const std::vector<std::string>& stems,
                 const std::string& more = "");
  // The listed plug-in copied from this fixture, or null.
  QvSpiPlugin* Plugin(const std::string& stem);
  // A native image, so that something is listed when a worker dies.
  void ListANativeImage();
  // All `count` images are still listed, and the first still shows.
  void ExpectStillViewable(std::size_t count);

  std::string images, plugin_dir;
};

// The plug-in workers running as children of the process `parent`.
std::vector<unsigned long> WorkersOf(unsigned long parent);

// The worker programs beside this test are out of reach for one scope, as
// on a machine where they are missing.
class HideWorkers {
 public:
  HideWorkers();
  ~HideWorkers();
  HideWorkers(const HideWorkers&) = delete;
  HideWorkers& operator=(const HideWorkers&) = delete;
};

}  // namespace mvtest
