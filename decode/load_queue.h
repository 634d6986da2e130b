// Decoding a list of files on threads of its own, as many at once as it is
// told, and handing each result back in the order the files were given,
// whatever order their decodes end in. Only a bounded number of decoded
// images, holding a bounded number of bytes, wait to be taken: the threads
// start no file further ahead.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "image/before_image.h"

class QvSpiCtrl;

class LoadQueue {
 public:
  // The taker comes by itself now and then; `ready` runs on a decoding
  // thread when it should come at once: the results waiting have filled
  // the room ahead, or the last decode has ended. It must only wake the
  // taker (post a message, say).
  LoadQueue(QvSpiCtrl& host, std::vector<std::wstring> paths, int threads, std::function<void()> ready);
  // Stops, then waits for the decodes in flight.
  ~LoadQueue();
  LoadQueue(const LoadQueue&) = delete;
  LoadQueue& operator=(const LoadQueue&) = delete;

  struct Result {
    std::wstring path;
    std::unique_ptr<tag_BeforeImage> image;  // null: the file did not decode
  };
  // The next results in order, as far as they are ready, at most `max`.
  std::vector<Result> Take(std::size_t max);
  // Starts nothing more; what has not been taken is dropped once ready.
  void Stop();
  bool Stopped() const;
  // Every file taken, or stopped with no decode in flight.
  bool Done() const;
  // Decodes running now.
  int InFlight() const;
  std::size_t Total() const { return paths_.size(); }
  std::size_t Taken() const;

 private:
  void Run();

  QvSpiCtrl& host_;
  const std::vector<std::wstring> paths_;
  const std::function<void()> ready_;
  bool Full() const;  // no file may start until some are taken
  const std::size_t ahead_;  // how far past the next to take a thread may start
  mutable std::mutex mutex_;
  std::condition_variable room_;
  std::vector<std::optional<Result>> results_;
  std::size_t next_start_ = 0, next_take_ = 0;
  int in_flight_ = 0;
  std::size_t waiting_bytes_ = 0;  // what the results not yet taken hold
  bool stopped_ = false;
  std::vector<std::thread> threads_;
};
