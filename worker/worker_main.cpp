// MorvaneSusieWorker32.exe: the 64-bit edition's worker for 32-bit Susie
// plug-ins, beside Morvane64.exe. Started by the program only.
#include <windows.h>

#include "worker/worker_serve.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (!worker::StartedAsWorker()) return 2;
  worker::Serve();
}
