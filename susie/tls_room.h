// Room in the process's thread-local storage. Some plug-ins take an index
// each time they are loaded and never give it back (32-bit ones built with
// MinGW-w64's static posix runtime: its frame registration takes one
// through winpthreads; ifwic.spi is one). After about 1,085 loads in one
// run none is left, and such a plug-in then aborts the whole process from
// inside LoadLibrary. Each showing of the plug-in dialog loads them all
// again, so the host loads one only while room is left.
#pragma once

namespace spi {

// Indexes a plug-in load must leave free: for the plug-in itself and for
// the system libraries the program loads later (dialogs, shell, COM).
inline constexpr int kTlsReserve = 32;

// Whether at least `indexes` thread-local storage indexes are free now.
bool TlsRoomFor(int indexes);

}  // namespace spi
