#include "tests/win/support/plugin_place.h"

#include <windows.h>

#include "plugins/settings_file.h"
#include "tests/win/support/app_harness.h"

namespace mvtest {

PluginsInProcess::PluginsInProcess() {
  ::WritePrivateProfileStringA(settings::kSectionSetting, settings::kKeyInProcess, "1", SettingsPath().c_str());
}

PluginsInProcess::~PluginsInProcess() {
  ::WritePrivateProfileStringA(settings::kSectionSetting, settings::kKeyInProcess, nullptr, SettingsPath().c_str());
}

}  // namespace mvtest
