#include "plugins/fault_guard.h"

namespace spi {

bool GuardCatches(DWORD code) {
  return (code & 0xC0000000u) == 0xC0000000u || code == EXCEPTION_DATATYPE_MISALIGNMENT;
}

}  // namespace spi
