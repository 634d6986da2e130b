// The host's line to one plug-in worker: a shared mailbox, a request at a
// time, and what is known when the worker dies. A worker process is one
// such line (worker_process.h); the tests put fakes of their own in its
// place to play a worker that lies or dies as no real plug-in can make it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/handles.h"

namespace spi {

class WorkerChannel {
 public:
  virtual ~WorkerChannel() = default;

  // The worker program's file name, as a user sees it beside the program.
  virtual const std::string& ProgramName() const = 0;
  // Starts the worker unless it runs; false (and the reason, in words for
  // the user) when it cannot start or does not answer.
  virtual bool Start(std::string& why) = 0;
  // The largest file the worker can map (a 32-bit one: below 2 GiB).
  virtual std::uint64_t MaxFileBytes() const = 0;
  // The protocol version the worker said hello with (0 before that).
  virtual std::uint32_t PeerVersion() const = 0;
  virtual bool Running() const = 0;
  // Whether the worker still runs. One that ended since (between calls: a
  // thread a plug-in left behind) is forgotten, and Culprit() names the
  // plug-in its last state points at.
  virtual bool Alive() = 0;
  // Asks the worker to quit and ends it if it does not.
  virtual void Stop() = 0;

  enum class Wait {
    // decoding: paint only, input waits; a silence of the hang limit is a
    // hang, except while the worker shows a window of its own (a plug-in
    // asking the user): then the program's windows are disabled as under a
    // modal box, every message is handled, and the clock stands.
    Work,
    Dialog,  // a plug-in's dialog: every message is handled, no time limit
  };
  enum class End { Replied, Died, Hung, NotRunning };
  // Sends one request and waits for the answer. On Replied, `reply` holds
  // a copy of at most `reply_capacity` bytes of the reply area, taken out
  // of the mailbox before anyone reads it. On Died or Hung the worker is
  // gone and Culprit() names the plug-in its last state points at. `owner`
  // is the program's window a plug-in's own windows are owned by: its
  // thread's windows wait under one as under a modal box.
  virtual End Call(const void* request, std::size_t request_bytes, std::size_t reply_capacity, Wait wait,
                   HWND owner, std::vector<std::uint8_t>& reply) = 0;
  // The worker's own word on whom to blame for the last death or hang: an
  // index in its list, -1 when it names none. The caller checks it.
  virtual int Culprit() const = 0;

  // The mailbox's request area, to write a request into in place (Call then
  // copies nothing when handed this), and its reply area, where a reply's
  // bulk may be read after Call; both null when the worker does not run.
  virtual std::uint8_t* RequestArea() = 0;
  virtual const std::uint8_t* ReplyArea() const = 0;

  // A handle of ours, duplicated into the worker with the given access;
  // 0 when it cannot be.
  virtual std::uint64_t GiveHandle(HANDLE handle, DWORD access) const = 0;
  // A handle the worker named in its reply, taken over (and closed in the
  // worker); null when it is no handle of the worker's.
  virtual mv::unique_handle TakeHandle(std::uint64_t remote, DWORD access) const = 0;

  // How long a call may go without a sign of life before it is a hang.
  virtual void SetHangLimit(DWORD ms) = 0;
};

}  // namespace spi
