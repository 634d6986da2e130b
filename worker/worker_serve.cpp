#include "worker/worker_serve.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <string>

#include "worker/worker_mailbox.h"
#include "worker/worker_plugins.h"

namespace worker {

namespace {

// The handles on the command line, when it is a worker's.
bool ReadHandles(HANDLE (&out)[kCommandLineHandles]) {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (!argv) return false;
  bool ok = argc == kCommandLineHandles + 2 &&
            std::wstring(argv[kCommandLineHandles + 1]) == std::wstring(kWorkerSwitch, kWorkerSwitch + sizeof kWorkerSwitch - 1);
  for (int i = 0; ok && i < kCommandLineHandles; ++i) {
    const std::wstring text = argv[i + 1];
    std::uint64_t v = 0;
    for (wchar_t c : text) {
      if (c < L'0' || c > L'9' || v > (UINT64_MAX - 9) / 10) {
        ok = false;
        break;
      }
      v = v * 10 + static_cast<unsigned>(c - L'0');
    }
    ok = ok && !text.empty() && v != 0;
    out[i] = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(v));
  }
  ::LocalFree(argv);
  return ok;
}

}  // namespace

bool StartedAsWorker() {
  HANDLE handles[kCommandLineHandles] = {};
  return ReadHandles(handles);
}

void Serve() {
  // No error boxes and no debugger for a plug-in's crash: the program is
  // told by this process ending, and nobody is at this process's screen.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  HANDLE handles[kCommandLineHandles] = {};
  if (!ReadHandles(handles)) ::TerminateProcess(::GetCurrentProcess(), 2);
  Mailbox mailbox(handles[0], handles[1], handles[2], handles[3]);
  if (!mailbox.Open()) ::TerminateProcess(::GetCurrentProcess(), 3);
  InstallLastWords(mailbox);
  PluginSet plugins(mailbox);
  mailbox.SayHello();
  while (mailbox.NextRequest()) {
    if (!plugins.Answer()) break;
  }
  // Ended, not exited: no plug-in's unloading code runs on the way out.
  ::TerminateProcess(::GetCurrentProcess(), 0);
  for (;;) ::Sleep(INFINITE);
}

}  // namespace worker
