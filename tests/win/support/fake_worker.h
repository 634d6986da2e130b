// A worker of the tests' own, in place of a worker process: it answers
// each request as the test says, dies or lies on request, and counts its
// starts. A worker process does what its plug-ins make it do; this one
// does what no real plug-in can be made to do on purpose.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plugins/worker_channel.h"
#include "worker/worker_protocol.h"

namespace mvtest {

class FakeWorker final : public spi::WorkerChannel {
 public:
  // Answers one request: writes the reply into `reply` (the reply area) and
  // says how the call ended; on Died, Culprit() names `culprit`.
  using Answer = std::function<End(const std::uint8_t* request, std::uint8_t* reply)>;
  Answer answer;
  int culprit = -1;
  std::uint32_t version = worker::kVersion;
  int starts = 0;
  // Runs once a reply has been copied out: a worker that changes it later.
  std::function<void(std::uint8_t* reply)> after_reply;

  FakeWorker() : box_(worker::kMailboxBytes) {}
  ~FakeWorker() override;

  const std::string& ProgramName() const override { return name_; }
  std::uint64_t MaxFileBytes() const override { return UINT64_MAX; }
  bool Start(std::string& why) override;
  std::uint32_t PeerVersion() const override { return running_ ? version : 0; }
  bool Running() const override { return running_; }
  bool Alive() override { return running_; }
  void Stop() override { running_ = false; }
  End Call(const void* request, std::size_t request_bytes, std::size_t reply_capacity, Wait wait, HWND owner,
           std::vector<std::uint8_t>& reply) override;
  int Culprit() const override { return culprit; }
  std::uint8_t* RequestArea() override { return running_ ? box_.data() + worker::kRequestOffset : nullptr; }
  const std::uint8_t* ReplyArea() const override { return running_ ? box_.data() + worker::kReplyOffset : nullptr; }
  // Handles stay in this process: given ones are kept open until the end.
  std::uint64_t GiveHandle(HANDLE handle, DWORD access) const override;
  mv::unique_handle TakeHandle(std::uint64_t remote, DWORD access) const override;
  void SetHangLimit(DWORD) override {}

 private:
  std::vector<std::uint8_t> box_;
  bool running_ = false;
  std::string name_ = "FakeWorker.exe";
  mutable std::vector<HANDLE> given_;
};

// The reply of a worker that loaded all `count` plug-ins of a Load request.
spi::WorkerChannel::End LoadAll(const std::uint8_t* request, std::uint8_t* reply);

}  // namespace mvtest
