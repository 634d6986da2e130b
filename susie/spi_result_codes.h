// What a Susie plug-in's entry points answer, as the interface defines it.
// Constants only: the host reads them and the bundled plug-in (spi/), which
// takes nothing else of the host, gives them.
#pragma once

namespace spi {

enum ResultCode : int {
  kNoFunction = -1,  // the plug-in does not implement the call
  kOk = 0,
  kAborted = 1,      // the progress callback asked to stop
  kUnknownFormat = 2,
  kBrokenData = 3,
  kNoMemory = 4,
  kMemoryError = 5,  // a block could not be locked
  kReadError = 6,
  kInternalError = 8,
};

}  // namespace spi
