// Answers of the plug-in's entry points.
#pragma once

namespace mv::wic {

enum SpiCode : int {
  kNoFunction = -1,  // the entry point does nothing here
  kOk = 0,
  kAborted = 1,        // the progress callback asked to stop
  kUnknownFormat = 2,
  kBrokenData = 3,
  kNoMemory = 4,
  kMemoryError = 5,    // a block could not be locked
  kReadError = 6,
  kInternalError = 8,
};

}  // namespace mv::wic
