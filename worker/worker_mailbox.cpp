#include "worker/worker_mailbox.h"

#include <cstring>
#include <vector>

#include "base/fault_guard.h"

namespace worker {

namespace {

Mailbox* g_mailbox = nullptr;

struct ModuleRange {
  int plugin;
  std::uintptr_t begin, end;
};
// Filled before any plug-in runs, read from the last-words filter.
std::vector<ModuleRange> g_ranges;

LONG WINAPI LastWords(EXCEPTION_POINTERS* info) {
  if (g_mailbox && info && info->ExceptionRecord) {
    const auto at = reinterpret_cast<std::uintptr_t>(info->ExceptionRecord->ExceptionAddress);
    for (const ModuleRange& r : g_ranges)
      if (at >= r.begin && at < r.end) g_mailbox->Blame(r.plugin);
  }
  ::TerminateProcess(::GetCurrentProcess(), info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 1);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

Mailbox::Mailbox(HANDLE section, HANDLE request, HANDLE reply, HANDLE host)
    : section_(section), request_(request), reply_(reply), host_(host) {}

bool Mailbox::Open() {
  MEMORY_BASIC_INFORMATION mbi{};
  view_.reset(::MapViewOfFile(section_.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (!view_ || !::VirtualQuery(view_.get(), &mbi, sizeof mbi) || mbi.RegionSize < kMailboxBytes) return false;
  base_ = static_cast<std::uint8_t*>(const_cast<void*>(view_.get()));
  return true;
}

void Mailbox::SayHello() {
  MailboxHeader* h = Header();
  h->heartbeat = 0;
  h->running = h->blamed = h->lastCalled = -1;
  h->version = kVersion;
  h->magic = kMagic;
  SendReply();
}

bool Mailbox::NextRequest() {
  const HANDLE waits[2] = {request_.get(), host_.get()};
  for (;;) {
    // A plug-in's dialog is owned by a window of the program: both threads
    // must keep their queues moving.
    const DWORD r = ::MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) break;
    if (r != WAIT_OBJECT_0 + 2) return false;  // the program is gone
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
  std::uint32_t op = 0;
  std::memcpy(&op, Request(), sizeof op);
  return op != static_cast<std::uint32_t>(Op::Quit);
}

void Mailbox::SendReply() {
  Beat();
  ::SetEvent(reply_.get());
}

void Mailbox::Beat() { ::InterlockedIncrement(reinterpret_cast<volatile LONG*>(&Header()->heartbeat)); }

void Mailbox::SetRunning(int plugin) {
  Beat();
  if (plugin >= 0) Header()->lastCalled = plugin;
  Header()->running = plugin;
}

void Mailbox::Blame(int plugin) { Header()->blamed = plugin; }

void NoteModuleRange(int plugin, std::uintptr_t begin, std::uintptr_t end) { g_ranges.push_back({plugin, begin, end}); }

void ForgetModuleRanges() { g_ranges.clear(); }

void InstallLastWords(Mailbox& mailbox) {
  g_mailbox = &mailbox;
  ::SetUnhandledExceptionFilter(&LastWords);
}

int __stdcall ProgressCallback(int, int, LONG_PTR) {
  spi::HostCallback ours;  // a fault in here is the worker's, not the plug-in's
  if (g_mailbox) g_mailbox->Beat();
  return 0;
}

}  // namespace worker
