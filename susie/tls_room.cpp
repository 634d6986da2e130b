#include "susie/tls_room.h"

#include <windows.h>

#include <vector>

namespace spi {

bool TlsRoomFor(int indexes) {
  std::vector<DWORD> taken;
  taken.reserve(static_cast<size_t>(indexes));
  while (static_cast<int>(taken.size()) < indexes) {
    const DWORD index = ::TlsAlloc();
    if (index == TLS_OUT_OF_INDEXES) break;
    taken.push_back(index);
  }
  const bool room = static_cast<int>(taken.size()) == indexes;
  for (DWORD index : taken) ::TlsFree(index);
  return room;
}

}  // namespace spi
