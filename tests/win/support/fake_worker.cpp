#include "tests/win/support/fake_worker.h"

#include <windows.h>

#include <cstring>

namespace mvtest {

FakeWorker::~FakeWorker() {
  for (HANDLE h : given_) ::CloseHandle(h);
}

bool FakeWorker::Start(std::string&) {
  if (!running_) ++starts;
  running_ = true;
  return true;
}

spi::WorkerChannel::End FakeWorker::Call(const void* request, std::size_t request_bytes, std::size_t reply_capacity,
                                         Wait, HWND, std::vector<std::uint8_t>& reply) {
  reply.clear();
  if (!running_) return End::NotRunning;
  std::uint8_t* area = box_.data() + worker::kRequestOffset;
  if (request != area) std::memcpy(area, request, request_bytes);
  const End end = answer ? answer(area, box_.data() + worker::kReplyOffset) : End::Died;
  if (end != End::Replied) {
    running_ = false;
    return end;
  }
  const std::uint8_t* out = box_.data() + worker::kReplyOffset;
  reply.assign(out, out + reply_capacity);
  if (after_reply) after_reply(box_.data() + worker::kReplyOffset);
  return end;
}

std::uint64_t FakeWorker::GiveHandle(HANDLE handle, DWORD access) const {
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, access, FALSE, 0)) return 0;
  given_.push_back(copy);
  return reinterpret_cast<std::uintptr_t>(copy);
}

mv::unique_handle FakeWorker::TakeHandle(std::uint64_t remote, DWORD access) const {
  HANDLE local = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(remote)),
                         ::GetCurrentProcess(), &local, access, FALSE, DUPLICATE_CLOSE_SOURCE))
    return mv::unique_handle();
  return mv::unique_handle(local);
}

spi::WorkerChannel::End LoadAll(const std::uint8_t* request, std::uint8_t* reply) {
  worker::LoadRequest head;
  std::memcpy(&head, request, sizeof head);
  const worker::LoadReply out{static_cast<std::uint32_t>(worker::Op::Load), head.count};
  std::memcpy(reply, &out, sizeof out);
  for (std::uint32_t i = 0; i < head.count; ++i) {
    worker::LoadedPlugin p{};
    p.result = 0;  // loaded
    worker::PutText(p.description, "fake " + std::to_string(i));
    std::memcpy(reply + sizeof out + i * sizeof p, &p, sizeof p);
  }
  return spi::WorkerChannel::End::Replied;
}

}  // namespace mvtest
