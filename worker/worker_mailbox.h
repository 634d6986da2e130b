// The worker's end of the channel to the program: the shared mailbox, the
// two events, and what the worker leaves there for the program to read
// while it runs and after it died.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "base/handles.h"
#include "worker/worker_protocol.h"

namespace worker {

class Mailbox {
 public:
  // Takes over the handles the program passed on the command line.
  Mailbox(HANDLE section, HANDLE request, HANDLE reply, HANDLE host);
  bool Open();
  // Tells the program the worker is ready.
  void SayHello();
  // Waits for the next request, answering window messages meanwhile; false
  // when the program asked to quit or is gone.
  bool NextRequest();

  const std::uint8_t* Request() const { return base_ + kRequestOffset; }
  std::uint8_t* Reply() { return base_ + kReplyOffset; }
  // Sends what is in the reply area.
  void SendReply();

  // A sign of life: every plug-in call and every progress report.
  void Beat();
  // The plug-in being called now (-1: none); also recorded as the last one.
  void SetRunning(int plugin);
  void Blame(int plugin);

 private:
  MailboxHeader* Header() { return reinterpret_cast<MailboxHeader*>(base_); }
  mv::unique_handle section_, request_, reply_, host_;
  mv::unique_view view_;
  std::uint8_t* base_ = nullptr;
};

// Names a plug-in's address range, so that a fault raised by its code in
// any thread (even after its call returned) is blamed on it.
void NoteModuleRange(int plugin, std::uintptr_t begin, std::uintptr_t end);
void ForgetModuleRanges();
// Writes the blame for an unhandled fault into the mailbox, then ends the
// process at once: nothing of a damaged process is trusted to clean up.
void InstallLastWords(Mailbox& mailbox);

// Handed to every GetPicture: a sign of life, and never a request to stop.
int __stdcall ProgressCallback(int done, int total, LONG_PTR user_data);

}  // namespace worker
