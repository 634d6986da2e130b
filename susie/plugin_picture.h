// One plug-in's attempt on one file: IsSupported, then GetPicture, every
// call under the fault guard, and the two blocks it hands back checked
// before anything reads them. The program runs this for the plug-ins it
// keeps in its own process, a worker for the others.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/fault_guard.h"
#include "base/handles.h"
#include "base/mapped_file.h"
#include "image/dib_check.h"
#include "susie/outcome.h"
#include "susie/plugin_library.h"

namespace spi {

// The file as a plug-in is offered it.
struct PluginInput {
  MappedBytes file;        // the whole file, mapped read-only (size: what the view holds)
  std::string name;        // what IsSupported is told the file is called
  std::wstring wide_name;  // what IsSupportedW is told; empty: IsSupported is asked
  HANDLE handle = nullptr; // the 32-bit handle form of IsSupported; null: the 2 KB form only
  SpiProgressCallback progress = nullptr;
};

// The picture a plug-in decoded: its blocks, owned and locked for as long
// as this lives, and what the check found in them.
class PluginPicture {
 public:
  PluginPicture() = default;
  ~PluginPicture();
  PluginPicture(const PluginPicture&) = delete;
  PluginPicture& operator=(const PluginPicture&) = delete;

  // Takes over the blocks a plug-in handed back with success, when they
  // are live blocks (the value may be anything: asked under the guard), and
  // checks them. One block cannot be both the header and the pixels. False
  // when they hold no picture.
  bool Take(HANDLE info, HANDLE bits);

  const mv::DibCheck& Dib() const { return dib_; }
  // The colour table's entries the block holds (8 bits or fewer).
  const RGBQUAD* Colors() const;
  // The rows, Dib().bytesNeeded of them, as the header describes them.
  const std::uint8_t* Rows() const { return static_cast<const std::uint8_t*>(bits_ptr_); }
  // Copies the pixels into `target`, a bitmap selected into `dc`, with
  // GDI's conversions, from a private header with the counts the blocks
  // were checked for. The lines GDI wrote; 0 on failure.
  int CopyInto(HDC dc, HBITMAP target) const;

 private:
  mv::unique_hglobal info_, bits_;
  const std::uint8_t* info_ptr_ = nullptr;
  const void* bits_ptr_ = nullptr;
  mv::DibCheck dib_;
};

// IsSupported and, on yes, GetPicture: Decoded (`picture` holds it),
// Declined (the plug-in does not read this file, or failed to), Faulted or
// FileError (reading the file failed: no plug-in is to blame).
// `buffer_form` says the plug-in takes only the 2 KB form of IsSupported;
// a plug-in that faults on the handle is asked once more that way and the
// flag is set.
Outcome TryPicture(const PluginEntries& entries, const PluginInput& input, bool& buffer_form, PluginPicture& picture);

}  // namespace spi
