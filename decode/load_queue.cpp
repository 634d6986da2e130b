#include "decode/load_queue.h"

#include <windows.h>

#include <algorithm>

#include "decode/decode_image.h"

namespace {

// Enough ahead that fast files keep every thread busy between two visits
// of the taker; few enough pictures that a load of large ones holds at most
// this many bytes beyond what the list keeps.
constexpr std::size_t kAheadFiles = 1024;
constexpr std::size_t kAheadBytes = std::size_t{128} << 20;

// What a decoded record holds: its file's view, or the plug-in's picture.
std::size_t HeldBytes(const tag_BeforeImage* image) {
  if (!image) return 0;
  std::size_t bytes = image->FileView ? image->FileSize : 0;
  if (image->Bitmap)
    bytes += static_cast<std::size_t>(image->Bitmap->Stride()) * static_cast<std::size_t>(std::max(image->Bitmap->Height(), 0));
  return bytes;
}

}  // namespace

LoadQueue::LoadQueue(QvSpiCtrl& host, std::vector<std::wstring> paths, int threads, std::function<void()> ready)
    : host_(host),
      paths_(std::move(paths)),
      ready_(std::move(ready)),
      ahead_(std::max(kAheadFiles, 2 * static_cast<std::size_t>(std::max(threads, 1)) + 2)),
      results_(paths_.size()) {
  const int count = std::clamp(threads, 1, static_cast<int>(std::max<std::size_t>(paths_.size(), 1)));
  for (int i = 0; i < count; ++i) threads_.emplace_back([this] { Run(); });
}

LoadQueue::~LoadQueue() {
  Stop();
  for (std::thread& t : threads_) t.join();
}

void LoadQueue::Run() {
  // The windows come first: decoding is what waits when the cores are busy.
  ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
  for (;;) {
    std::size_t index = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      room_.wait(lock, [&] { return stopped_ || next_start_ >= paths_.size() || !Full(); });
      if (stopped_ || next_start_ >= paths_.size()) return;
      index = next_start_++;
      ++in_flight_;
    }
    Result result{paths_[index], std::make_unique<tag_BeforeImage>()};
    result.image->WidePath = paths_[index];
    // Nothing thrown here may end the thread with the load: such a file fails.
    bool decoded = false;
    try {
      decoded = DecodeImage(host_, result.image.get());
    } catch (...) {
      decoded = false;
    }
    if (!decoded) result.image.reset();
    bool wake = false;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      --in_flight_;
      if (!stopped_) {
        waiting_bytes_ += HeldBytes(result.image.get());
        results_[index] = std::move(result);
      }
      wake = Full() || (in_flight_ == 0 && (stopped_ || next_start_ >= paths_.size()));
    }
    if (wake && ready_) ready_();
  }
}

std::vector<LoadQueue::Result> LoadQueue::Take(std::size_t max) {
  std::vector<Result> out;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    while (out.size() < max && next_take_ < results_.size() && results_[next_take_]) {
      waiting_bytes_ -= std::min(waiting_bytes_, HeldBytes(results_[next_take_]->image.get()));
      out.push_back(std::move(*results_[next_take_]));
      results_[next_take_].reset();
      ++next_take_;
    }
  }
  if (!out.empty()) room_.notify_all();
  return out;
}

void LoadQueue::Stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    // Dropped here, on the thread that owns the windows they were for.
    for (auto& r : results_) r.reset();
    waiting_bytes_ = 0;
  }
  room_.notify_all();
}

bool LoadQueue::Full() const {
  // Whatever the bytes, the next file to take may always start.
  return next_start_ >= next_take_ + ahead_ || (waiting_bytes_ >= kAheadBytes && next_start_ > next_take_);
}

bool LoadQueue::Stopped() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return stopped_;
}

bool LoadQueue::Done() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return stopped_ ? in_flight_ == 0 : next_take_ >= results_.size();
}

int LoadQueue::InFlight() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return in_flight_;
}

std::size_t LoadQueue::Taken() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return next_take_;
}
