// What came of offering one file to plug-ins: one answer for the walk
// through a plug-in's entry points, for a worker's reply and for the host.
#pragma once

#include <cstdint>

namespace spi {

enum class Outcome : std::int32_t {
  Decoded = 0,    // a plug-in made a picture
  Declined = 1,   // none of those asked made one: the next may be asked
  FileError = 2,  // the file cannot be read (or keeps ending workers): it fails, no plug-in is to blame
  Faulted = 3,    // the plug-in faulted: it is not called again
  NoRoom = 4,     // where the plug-ins run the file cannot be mapped: plug-ins elsewhere may read it
};

}  // namespace spi
