// One plug-in worker process: a process of ours that loads third-party
// plug-ins of one architecture and calls them on request, so that whatever
// a plug-in does (crash, exit, hang, heap damage) ends only that process.
// The program of the host's own architecture serves as its own worker
// (started with a switch); the 64-bit edition's 32-bit worker is a program
// of its own beside it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/handles.h"
#include "plugins/worker_channel.h"
#include "worker/worker_protocol.h"

namespace spi {

class WorkerProcess final : public WorkerChannel {
 public:
  // `bits` is 32 or 64: the program itself when that is its own
  // architecture, else the 32-bit worker program beside it.
  explicit WorkerProcess(int bits);
  ~WorkerProcess() override;
  WorkerProcess(const WorkerProcess&) = delete;
  WorkerProcess& operator=(const WorkerProcess&) = delete;

  const std::string& ProgramName() const override { return program_name_; }
  bool Start(std::string& why) override;
  std::uint64_t MaxFileBytes() const override { return bits_ == 32 ? 0x7FFFFFFFu : UINT64_MAX; }
  std::uint32_t PeerVersion() const override { return peer_version_; }
  bool Running() const override { return static_cast<bool>(process_); }
  bool Alive() override;
  void Stop() override;
  End Call(const void* request, std::size_t request_bytes, std::size_t reply_capacity, Wait wait, HWND owner,
           std::vector<std::uint8_t>& reply) override;
  int Culprit() const override { return culprit_; }
  std::uint8_t* RequestArea() override;
  const std::uint8_t* ReplyArea() const override;
  std::uint64_t GiveHandle(HANDLE handle, DWORD access) const override;
  mv::unique_handle TakeHandle(std::uint64_t remote, DWORD access) const override;
  void SetHangLimit(DWORD ms) override { hang_ms_ = ms; }

 private:
  const worker::MailboxHeader& Header() const;
  void Forget(End why);

  int bits_;
  std::string program_path_;
  std::string program_name_;
  DWORD hang_ms_ = 30000;
  std::uint32_t peer_version_ = 0;
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
