// The host's side of one plug-in worker: a process of ours that loads
// third-party plug-ins of one architecture and calls them on request, so
// that whatever a plug-in does (crash, exit, hang, heap damage) ends only
// that process. The worker is started on first use, and restarted on the
// next use after it died or was ended for hanging.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/handles.h"
#include "worker/worker_protocol.h"

namespace spi {

class PluginWorker {
 public:
  // `bits` is 32 or 64: which worker program, found beside the executable.
  explicit PluginWorker(int bits);
  ~PluginWorker();
  PluginWorker(const PluginWorker&) = delete;
  PluginWorker& operator=(const PluginWorker&) = delete;

  int Bits() const { return bits_; }
  // The worker program's file name, as a user sees it beside the program.
  const std::string& ProgramName() const { return program_name_; }

  // Starts the worker unless it runs; false (and the reason, in words for
  // the user) when it cannot start or does not answer.
  bool Start(std::string& why);
  bool Running() const { return static_cast<bool>(process_); }
  // Whether the worker still runs. One that ended since (between calls: a
  // thread a plug-in left behind) is forgotten, and Culprit() names the
  // plug-in its last state points at.
  bool Alive();
  // Asks the worker to quit and ends it if it does not.
  void Stop();

  enum class Wait {
    // decoding: paint only, input waits; a silence of hang_ms is a hang,
    // except while the worker shows a window of its own (a plug-in asking
    // the user): then the program's windows are disabled as under a modal
    // box, every message is handled, and the clock stands.
    Work,
    Dialog,  // a plug-in's dialog: every message is handled, no time limit
  };
  enum class End { Replied, Died, Hung, NotRunning };
  // Sends one request and waits for the answer, keeping the program's
  // windows painted. On Replied, `reply` holds a copy of at most
  // `reply_capacity` bytes of the reply area, taken out of the mailbox
  // before anyone reads it. On Died or Hung the worker is gone and
  // Culprit() names the plug-in the worker's last state points at.
  End Call(const void* request, std::size_t request_bytes, std::size_t reply_capacity, Wait wait,
           std::vector<std::uint8_t>& reply);
  // Index (in the worker's list) of the plug-in to blame for the last
  // death or hang, -1 when none can be named. Read from the worker's own
  // report: the caller checks it against what it asked for.
  int Culprit() const { return culprit_; }

  // The mailbox's request area, to write a request into in place (Call then
  // copies nothing when handed this), and its reply area, where a reply's
  // bulk may be read after Call; both null when the worker does not run.
  std::uint8_t* RequestArea();
  const std::uint8_t* ReplyArea() const;

  // A handle of ours, duplicated into the worker with the given access;
  // 0 when it cannot be.
  std::uint64_t GiveHandle(HANDLE handle, DWORD access) const;
  // A handle the worker named in its reply, taken over (and closed in the
  // worker); null when it is no handle of the worker's.
  mv::unique_handle TakeHandle(std::uint64_t remote, DWORD access) const;

  // How long a call may go without a sign of life before it is a hang.
  void SetHangLimit(DWORD ms) { hang_ms_ = ms; }

 private:
  const worker::MailboxHeader& Header() const;
  void Forget(End why);

  int bits_;
  std::string program_name_;
  DWORD hang_ms_ = 30000;
  mv::unique_handle process_;
  DWORD pid_ = 0;
  mv::unique_handle mailbox_;
  mv::unique_view view_;
  mv::unique_handle request_event_;
  mv::unique_handle reply_event_;
  int culprit_ = -1;
};

// The job every worker of this process runs in: when the program ends, in
// any way, the system ends the workers with it.
HANDLE WorkerJob();

}  // namespace spi
