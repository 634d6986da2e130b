// MorvaneSusieWorker32.exe / MorvaneSusieWorker64.exe: runs third-party
// Susie plug-ins for Morvane in a process of their own. It answers the
// requests of worker_protocol.h until the program asks it to quit or goes
// away. Whatever a plug-in does here ends at most this process: the
// program notices, marks the plug-in and starts a new worker when it next
// needs one.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "worker/worker_mailbox.h"
#include "worker/worker_plugins.h"

namespace {

// Parses the handles the program passed on the command line.
bool ReadHandles(const char* text, HANDLE (&out)[worker::kCommandLineHandles]) {
  // The program's own name comes first, quoted.
  const char* p = text;
  if (*p == '"') {
    p = std::strchr(p + 1, '"');
    if (!p) return false;
    ++p;
  } else {
    while (*p && *p != ' ') ++p;
  }
  for (HANDLE& h : out) {
    while (*p == ' ') ++p;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(p, &end, 10);
    if (end == p || v == 0) return false;
    h = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(v));
    p = end;
  }
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // No error boxes and no debugger for a plug-in's crash: the program is
  // told by this process ending, and nobody is at this process's screen.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  HANDLE handles[worker::kCommandLineHandles] = {};
  if (!ReadHandles(::GetCommandLineA(), handles)) return 2;
  worker::Mailbox mailbox(handles[0], handles[1], handles[2], handles[3]);
  if (!mailbox.Open()) return 3;
  worker::InstallLastWords(mailbox);
  worker::PluginSet plugins(mailbox);
  mailbox.SayHello();
  while (mailbox.NextRequest()) {
    if (!plugins.Answer()) break;
  }
  // Ended, not exited: no plug-in's unloading code runs on the way out.
  ::TerminateProcess(::GetCurrentProcess(), 0);
  return 0;
}
