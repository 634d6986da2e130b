#include "plugins/worker_process.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "base/sjis_path.h"
#include "plugins/settings_file.h"
#include "susie/spi_interface.h"

namespace spi {

namespace {

constexpr DWORD kStartLimitMs = 20000;  // a fresh worker says hello within this
constexpr DWORD kQuitLimitMs = 2000;    // a worker asked to quit has gone within this
constexpr DWORD kPollMs = 100;

// The program that serves as the worker of `bits`: this program for its
// own architecture, else the 32-bit worker program beside it.
std::string ProgramPathFor(int bits) {
  const std::string self = settings::ExecutablePath();
  return bits == kEditionBits ? self : mv::ExtractFilePath(self) + "MorvaneSusieWorker32.exe";
}

std::string Hex8(DWORD v) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(v));
  return hex;
}

// Whether `exe` is a Windows program for 32-bit x86, by its own header.
bool IsI386Program(const std::string& exe) {
  mv::unique_file f(::CreateFileA(exe.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  IMAGE_DOS_HEADER dos{};
  DWORD got = 0;
  if (!f || !::ReadFile(f.get(), &dos, sizeof dos, &got, nullptr) || got != sizeof dos ||
      dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0)
    return false;
  struct {
    DWORD signature;
    IMAGE_FILE_HEADER file;
  } nt{};
  LARGE_INTEGER at{};
  at.QuadPart = dos.e_lfanew;
  return ::SetFilePointerEx(f.get(), at, nullptr, FILE_BEGIN) && ::ReadFile(f.get(), &nt, sizeof nt, &got, nullptr) &&
         got == sizeof nt && nt.signature == IMAGE_NT_SIGNATURE && nt.file.Machine == IMAGE_FILE_MACHINE_I386;
}

// Why a worker program that is there did not start, in words a user can
// act on: this PC cannot run 32-bit programs, else the code with the
// system's own text for it.
std::string StartFailure(const std::string& program, const std::string& exe, int bits, DWORD error) {
  // What Windows without its 32-bit layer, and Wine without 32-bit
  // support, answer for a 32-bit program that is sound.
  const bool refused_as_32 = error == ERROR_BAD_EXE_FORMAT || error == ERROR_EXE_MACHINE_TYPE_MISMATCH ||
                             error == ERROR_NOT_SUPPORTED || error == ERROR_INTERNAL_ERROR;
  if (bits == 32 && refused_as_32 && IsI386Program(exe))
    return "このPCでは32ビットのプラグインを実行できません";
  char* text = nullptr;
  std::string words;
  if (::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr) && text) {
    words = text;
    ::LocalFree(text);
  }
  while (!words.empty() && (words.back() == '\r' || words.back() == '\n' || words.back() == ' ')) words.pop_back();
  return program + " を起動できません（エラー " + std::to_string(error) + (words.empty() ? "" : "：" + words) + "）";
}

std::string HandleText(HANDLE h) { return std::to_string(reinterpret_cast<std::uintptr_t>(h)); }

// Paints (and answers messages sent to our windows) while the worker works;
// the user's input waits in the queue until the call is over. The W calls:
// our windows are Unicode.
void PumpPaint() {
  MSG msg;
  for (int i = 0; i < 64 && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE); ++i)
    ::DispatchMessageW(&msg);
}

// Everything, as a modal loop would: a plug-in's dialog in the worker is
// owned by one of our windows, and the two threads' input is joined.
void PumpAll() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// A window the worker shows of its own, visible now: a prompt or a box a
// plug-in opened. Null when there is none.
struct FindShown {
  DWORD pid;
  HWND found;
};
BOOL CALLBACK IsShownBy(HWND w, LPARAM p) {
  auto* find = reinterpret_cast<FindShown*>(p);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  if (pid != find->pid || !::IsWindowVisible(w)) return TRUE;
  find->found = w;
  return FALSE;
}
HWND ShownWindowOf(DWORD pid) {
  FindShown find{pid, nullptr};
  ::EnumWindows(&IsShownBy, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

// The thread of the program's windows: the owner's, else this one.
DWORD WindowsThread(HWND owner) {
  const DWORD thread = owner ? ::GetWindowThreadProcessId(owner, nullptr) : 0;
  return thread ? thread : ::GetCurrentThreadId();
}

// While a plug-in in the worker waits on the user through a window of its
// own, the program acts as under a modal box of its own: its windows are
// disabled, every message is handled (the threads' input is joined), and
// the box is brought to the front.
class WorkerModal {
 public:
  WorkerModal(HWND shown, HWND owner) {
    const DWORD thread = WindowsThread(owner);
    GUITHREADINFO gui{sizeof gui};
    if (::GetGUIThreadInfo(thread, &gui)) active_ = gui.hwndActive;
    ::EnumThreadWindows(thread, &DisableOne, reinterpret_cast<LPARAM>(&disabled_));
    ::SetForegroundWindow(shown);
  }
  ~WorkerModal() {
    for (HWND w : disabled_)
      if (::IsWindow(w)) ::EnableWindow(w, TRUE);
    if (active_ && ::IsWindow(active_)) ::SetForegroundWindow(active_);
  }
  WorkerModal(const WorkerModal&) = delete;
  WorkerModal& operator=(const WorkerModal&) = delete;

 private:
  static BOOL CALLBACK DisableOne(HWND w, LPARAM p) {
    if (::IsWindowVisible(w) && ::IsWindowEnabled(w)) {
      ::EnableWindow(w, FALSE);
      reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
    }
    return TRUE;
  }
  HWND active_ = nullptr;
  std::vector<HWND> disabled_;
};

// Shows that work is going on while the input waits: from the first poll
// on, so that the many short calls of a load do not flicker the pointer.
class BusyCursor {
 public:
  BusyCursor() = default;
  ~BusyCursor() {
    if (shown_) ::SetCursor(old_);
  }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
  void Show() {
    if (shown_) return;
    shown_ = true;
    old_ = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
  }

 private:
  bool shown_ = false;
  HCURSOR old_ = nullptr;
};

}  // namespace

HANDLE WorkerJob() {
  // Never closed on purpose: the system closes it when this process ends,
  // however it ends, and then ends every worker in it.
  static const HANDLE job = [] {
    HANDLE j = ::CreateJobObjectA(nullptr, nullptr);
    if (j) {
      JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
      limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
      ::SetInformationJobObject(j, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    return j;
  }();
  return job;
}

WorkerProcess::WorkerProcess(int bits)
    : bits_(bits), program_path_(ProgramPathFor(bits)), program_name_(mv::ExtractFileName(program_path_)) {}

WorkerProcess::~WorkerProcess() { Stop(); }

const worker::MailboxHeader& WorkerProcess::Header() const {
  return *static_cast<const worker::MailboxHeader*>(view_.get());
}

bool WorkerProcess::Start(std::string& why) {
  if (Running()) return true;
  culprit_ = -1;
  peer_version_ = 0;
  const std::string& exe = program_path_;
  if (::GetFileAttributesA(exe.c_str()) == INVALID_FILE_ATTRIBUTES) {
    why = program_name_ + " が見つかりません";
    return false;
  }
  // Handed to the worker by inheritance, then made private again at once so
  // that no later child inherits them.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  mailbox_.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, &inherit, PAGE_READWRITE, 0, worker::kMailboxBytes, nullptr));
  if (mailbox_) view_.reset(::MapViewOfFile(mailbox_.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
  request_event_.reset(::CreateEventA(&inherit, FALSE, FALSE, nullptr));
  reply_event_.reset(::CreateEventA(&inherit, FALSE, FALSE, nullptr));
  HANDLE self_raw = nullptr;
  ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &self_raw, SYNCHRONIZE, TRUE,
                    0);
  mv::unique_handle self(self_raw);
  if (!view_ || !request_event_ || !reply_event_ || !self) {
    why = StartFailure(program_name_, exe, bits_, ::GetLastError());
    Forget(End::NotRunning);
    return false;
  }

  std::string command = "\"" + exe + "\" " + HandleText(mailbox_.get()) + " " + HandleText(request_event_.get()) +
                        " " + HandleText(reply_event_.get()) + " " + HandleText(self.get()) + " " +
                        worker::kWorkerSwitch;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const BOOL made = ::CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                                     nullptr, &si, &pi);
  const DWORD error = ::GetLastError();
  for (HANDLE h : {mailbox_.get(), request_event_.get(), reply_event_.get()})
    ::SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);
  if (!made) {
    why = StartFailure(program_name_, exe, bits_, error);
    Forget(End::NotRunning);
    return false;
  }
  mv::unique_handle thread(pi.hThread);
  process_.reset(pi.hProcess);
  pid_ = pi.dwProcessId;
  // Where jobs cannot nest the worker still ends with us: it watches our
  // process handle.
  if (HANDLE job = WorkerJob()) ::AssignProcessToJobObject(job, process_.get());
  ::ResumeThread(thread.get());

  // The worker says hello by setting the reply event once its header is
  // written; a machine that cannot run it ends it first. Its version is
  // for the caller to judge.
  const HANDLE waits[2] = {reply_event_.get(), process_.get()};
  const DWORD r = ::WaitForMultipleObjects(2, waits, FALSE, kStartLimitMs);
  if (r == WAIT_OBJECT_0 && Header().magic == worker::kMagic) peer_version_ = Header().version;
  if (r != WAIT_OBJECT_0 || Header().magic != worker::kMagic) {
    DWORD code = 0;
    if (r == WAIT_OBJECT_0 + 1) ::GetExitCodeProcess(process_.get(), &code);
    why = program_name_ + " を起動できません（終了コード " + Hex8(code) + "）";
    ::TerminateProcess(process_.get(), 1);
    Forget(End::NotRunning);
    return false;
  }
  return true;
}

bool WorkerProcess::Alive() {
  if (!Running()) return false;
  if (::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) return true;
  Forget(End::Died);
  return false;
}

void WorkerProcess::Stop() {
  if (!Running()) return;
  if (view_ && request_event_) {
    worker::QuitRequest quit{static_cast<std::uint32_t>(worker::Op::Quit)};
    std::memcpy(static_cast<char*>(const_cast<void*>(view_.get())) + worker::kRequestOffset, &quit, sizeof quit);
    ::SetEvent(request_event_.get());
    if (::WaitForSingleObject(process_.get(), kQuitLimitMs) != WAIT_OBJECT_0) ::TerminateProcess(process_.get(), 1);
  } else {
    ::TerminateProcess(process_.get(), 1);
  }
  ::WaitForSingleObject(process_.get(), kQuitLimitMs);
  Forget(End::NotRunning);
}

void WorkerProcess::Forget(End why) {
  culprit_ = -1;
  if (view_ && (why == End::Died || why == End::Hung)) {
    // The worker's last words: the plug-in whose code faulted, else the one
    // it was calling, else (a death between calls, say in a thread a
    // plug-in left running) the one it called last.
    const volatile worker::MailboxHeader& h = Header();
    const int blamed = h.blamed, running = h.running, last = h.lastCalled;
    culprit_ = blamed >= 0 ? blamed : running >= 0 ? running : why == End::Died ? last : -1;
  }
  process_.reset();
  view_.reset();
  mailbox_.reset();
  request_event_.reset();
  reply_event_.reset();
}

WorkerProcess::End WorkerProcess::Call(const void* request, std::size_t request_bytes, std::size_t reply_capacity,
                                       Wait wait, HWND owner, std::vector<std::uint8_t>& reply) {
  reply.clear();
  if (!Running()) return End::NotRunning;
  if (request_bytes > worker::kRequestBytes) request_bytes = worker::kRequestBytes;
  if (reply_capacity > worker::kReplyBytes) reply_capacity = worker::kReplyBytes;
  auto* box = static_cast<std::uint8_t*>(const_cast<void*>(view_.get()));
  if (request != box + worker::kRequestOffset) std::memcpy(box + worker::kRequestOffset, request, request_bytes);
  ::ResetEvent(reply_event_.get());
  ::SetEvent(request_event_.get());

  BusyCursor busy;
  std::optional<WorkerModal> modal;
  const HANDLE waits[2] = {reply_event_.get(), process_.get()};
  const volatile std::uint32_t& heartbeat = Header().heartbeat;
  std::uint32_t beat = heartbeat;
  DWORD quiet_since = ::GetTickCount();
  for (;;) {
    const bool all = wait == Wait::Dialog || modal;
    // Messages sent by other threads are always answered: a window of the
    // worker's owned by ours waits on them while it comes up.
    const DWORD r =
        ::MsgWaitForMultipleObjects(2, waits, FALSE, kPollMs, all ? QS_ALLINPUT : QS_PAINT | QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0) break;
    // Only where the program's windows are: a decoding thread has none.
    if (WindowsThread(owner) == ::GetCurrentThreadId()) busy.Show();
    if (r == WAIT_OBJECT_0 + 1 || r == WAIT_FAILED) {
      ::TerminateProcess(process_.get(), 1);
      Forget(End::Died);
      return End::Died;
    }
    if (r == WAIT_OBJECT_0 + 2) {
      if (all) PumpAll(); else PumpPaint();
    }
    if (wait == Wait::Work) {
      // A plug-in waiting on the user is no hang: the clock stands while
      // its window is up.
      const HWND shown = ShownWindowOf(pid_);
      if (shown) {
        if (!modal) modal.emplace(shown, owner);
        quiet_since = ::GetTickCount();
      } else {
        modal.reset();
      }
    }
    if (heartbeat != beat) {
      beat = heartbeat;
      quiet_since = ::GetTickCount();
    } else if (wait == Wait::Work && hang_ms_ && ::GetTickCount() - quiet_since >= hang_ms_) {
      ::TerminateProcess(process_.get(), 1);
      ::WaitForSingleObject(process_.get(), kQuitLimitMs);
      Forget(End::Hung);
      return End::Hung;
    }
  }
  // Copied out before anything reads it: the worker cannot change what is
  // checked after the check.
  reply.assign(box + worker::kReplyOffset, box + worker::kReplyOffset + reply_capacity);
  return End::Replied;
}

std::uint8_t* WorkerProcess::RequestArea() {
  return view_ ? static_cast<std::uint8_t*>(const_cast<void*>(view_.get())) + worker::kRequestOffset : nullptr;
}

const std::uint8_t* WorkerProcess::ReplyArea() const {
  return view_ ? static_cast<const std::uint8_t*>(view_.get()) + worker::kReplyOffset : nullptr;
}

std::uint64_t WorkerProcess::GiveHandle(HANDLE handle, DWORD access) const {
  HANDLE remote = nullptr;
  if (!Running() || !::DuplicateHandle(::GetCurrentProcess(), handle, process_.get(), &remote, access, FALSE, 0))
    return 0;
  return reinterpret_cast<std::uintptr_t>(remote);
}

mv::unique_handle WorkerProcess::TakeHandle(std::uint64_t remote, DWORD access) const {
  HANDLE local = nullptr;
  if (!Running() || remote == 0 || remote > UINTPTR_MAX) return mv::unique_handle();
  if (!::DuplicateHandle(process_.get(), reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(remote)),
                         ::GetCurrentProcess(), &local, access, FALSE, DUPLICATE_CLOSE_SOURCE))
    return mv::unique_handle();
  return mv::unique_handle(local);
}

}  // namespace spi
