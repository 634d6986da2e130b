// One plug-in library's entry points, resolved by name, and its info
// texts: the same in the program and in a plug-in worker.
#pragma once

#include <windows.h>

#include <string>

#include "plugins/spi_interface.h"

namespace spi {

struct PluginEntries {
  SpiGetPluginInfo GetPluginInfo = nullptr;
  SpiIsSupported IsSupported = nullptr;
  SpiIsSupportedW IsSupportedW = nullptr;  // optional: told the name as the file system has it
  SpiGetPictureInfo GetPictureInfo = nullptr;
  SpiGetPicture GetPicture = nullptr;
  SpiGetPreview GetPreview = nullptr;
  SpiGetArchiveInfo GetArchiveInfo = nullptr;
  SpiGetFile GetFile = nullptr;
  SpiConfigurationDlg ConfigurationDlg = nullptr;

  // An import plug-in: it can be asked and can decode.
  bool Usable() const { return IsSupported && GetPicture; }
};

PluginEntries ResolveEntries(HMODULE module);

// GetPluginInfo(info_no) under the fault guard: offered 255 bytes of a
// larger zeroed buffer, so a plug-in that writes its terminator one byte
// late cannot overrun us, and whatever it wrote ends within the limit.
// False when the plug-in faulted; an empty text when it has no such entry.
bool FetchInfo(const PluginEntries& entries, int info_no, std::string& text);

}  // namespace spi
