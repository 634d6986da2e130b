// Loading one plug-in library: its entry points, resolved by name, where
// it lies, and its info texts. The same in the program and in a worker.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/handles.h"
#include "susie/plugin_image.h"
#include "susie/spi_interface.h"

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

// What became of loading one plug-in file.
enum class LoadResult : std::int32_t {
  Loaded = 0,
  NotLoaded = 1,  // the system did not load it (or no thread storage was left for it)
  NotPlugin = 2,  // a library without IsSupported and GetPicture: not listed
  Faulted = 3,    // it faulted as it was asked for its texts: listed, never called
};

struct LoadedLibrary {
  mv::unique_module module;
  PluginEntries entries;
  LoadedImage image;  // where it lay when it was loaded
  std::string description, filter;  // GetPluginInfo 1 and 2
  std::string filters;  // every filter it gives (2, 4, 6 ...), joined by ';'

  DWORD error = 0;  // the system's last error when it did not load or is no plug-in
};

// Loads the plug-in library at `path` and asks it for its texts, under the
// fault guard. Only while thread storage has room (some plug-ins take an
// index at every load and abort the process when none is left). A library
// that is no plug-in is freed at once; one that faulted stays loaded, not
// to be called again.
LoadResult LoadPluginLibrary(const std::string& path, LoadedLibrary& out);

// GetPluginInfo(info_no) under the fault guard: offered 255 bytes of a
// larger zeroed buffer, so a plug-in that writes its terminator one byte
// late cannot overrun us, and whatever it wrote ends within the limit.
// False when the plug-in faulted; an empty text when it has no such entry.
bool FetchInfo(const PluginEntries& entries, int info_no, std::string& text);

// Every file filter the plug-in gives (info numbers 2, 4, 6 ... up to the
// first empty one), joined by ';' ("*.png;*.jpg;*.jpeg"), and the first
// of them alone. False when it faulted.
bool FetchFilters(const PluginEntries& entries, std::string& first, std::string& filters);

}  // namespace spi
