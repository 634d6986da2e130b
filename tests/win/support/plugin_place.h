// Where the plug-ins of a test run: in a worker process (the program's
// default) or, for one scope, inside the test's own process, as the
// settings file's "Plug-ins In Process=1" makes them run for a user.
#pragma once

#include <string>

namespace mvtest {

class PluginsInProcess {
 public:
  PluginsInProcess();
  ~PluginsInProcess();
  PluginsInProcess(const PluginsInProcess&) = delete;
  PluginsInProcess& operator=(const PluginsInProcess&) = delete;
};

// The same setting, as a line for a settings file a test writes whole.
inline constexpr char kInProcessLine[] = "Plug-ins In Process=1\r\n";

}  // namespace mvtest
