#include "plugins/worker_site.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/committed.h"
#include "base/open_file.h"
#include "forms/bitmap.h"
#include "forms/dib_format.h"
#include "image/bmp_layout.h"
#include "susie/plugin_name.h"

namespace spi {

namespace {

using worker::kMaxPlugins;

bool AcceptedBitCount(int bits) {
  return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

bool Contains(const std::vector<int>& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

WorkerSite::WorkerSite(MakeChannel make, int pool_size) : make_(std::move(make)), pool_size_(std::max(pool_size, 1)) {}

WorkerSite::~WorkerSite() {
  for (auto& w : pool_) w->channel->Stop();
}

int WorkerSite::NamedCulprit(const Worker& w) {
  const int culprit = w.channel->Culprit();
  return Contains(w.named, culprit) ? culprit : -1;
}

void WorkerSite::Drop(int plugin) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (plugin >= 0 && static_cast<std::size_t>(plugin) < names_.size()) names_[static_cast<std::size_t>(plugin)].clear();
}

void WorkerSite::SetProblem(std::string why) {
  const std::lock_guard<std::mutex> lock(mutex_);
  problem_ = std::move(why);
}

std::string WorkerSite::Problem() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return problem_;
}

void WorkerSite::SetHangLimit(DWORD ms) {
  const std::lock_guard<std::mutex> lock(mutex_);
  hang_ms_ = ms;
  for (auto& w : pool_) w->channel->SetHangLimit(ms);
}

bool WorkerSite::Load(const std::string& folder, const std::vector<std::string>& names,
                      std::vector<SiteLoaded>& loaded) {
  Unload();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    folder_ = folder;
    names_ = names;
    if (names_.size() > kMaxPlugins) names_.resize(kMaxPlugins);
    problem_.clear();
    // Each list gets workers of its own, made as the files need them.
    for (int i = 0; i < pool_size_; ++i) {
      pool_.push_back(std::make_unique<Worker>());
      pool_.back()->channel = make_();
      pool_.back()->channel->SetHangLimit(hang_ms_);
    }
  }
  const bool started = Restart(*pool_.front(), loaded);
  loaded.resize(names.size());  // past what one worker holds: not loaded
  return started;
}

void WorkerSite::Unload() {
  // Each list gets workers of its own: the last list's go with it.
  std::vector<std::unique_ptr<Worker>> gone;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    gone.swap(pool_);
    names_.clear();
  }
  for (auto& w : gone) w->channel->Stop();
}

bool WorkerSite::Callable(int plugin) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return problem_.empty() && plugin >= 0 && static_cast<std::size_t>(plugin) < names_.size() &&
         !names_[static_cast<std::size_t>(plugin)].empty();
}

WorkerSite::Worker& WorkerSite::Acquire() {
  std::unique_lock<std::mutex> lock(mutex_);
  // The one that ran last first: it is running already.
  Worker* free = nullptr;
  freed_.wait(lock, [&] {
    for (auto& w : pool_)
      if (!w->busy && (!free || w->channel->Running())) free = w.get();
    return free != nullptr;
  });
  free->busy = true;
  return *free;
}

void WorkerSite::Release(Worker& worker) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    worker.busy = false;
  }
  freed_.notify_one();
}

bool WorkerSite::Restart(Worker& w, std::vector<SiteLoaded>& loaded) {
  std::string folder;
  std::vector<std::string> names;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    folder = folder_;
    names = names_;
  }
  loaded.assign(names.size(), SiteLoaded{});
  // A new list always gets a new worker: no plug-in's unloading code runs
  // while we wait, and nothing of the last list's plug-ins stays behind.
  WorkerChannel& channel = *w.channel;
  channel.Stop();
  std::string why;
  if (!channel.Start(why)) {
    SetProblem(why);
    return false;
  }
  // A worker left from another version of the program speaks another
  // protocol.
  if (channel.PeerVersion() != worker::kVersion) {
    SetProblem(channel.ProgramName() + " はこの版のMorvaneのものではありません（版 " +
               std::to_string(channel.PeerVersion()) + "、必要な版 " + std::to_string(worker::kVersion) + "）");
    channel.Stop();
    return false;
  }
  worker::LoadRequest head{};
  head.op = static_cast<std::uint32_t>(worker::Op::Load);
  head.count = static_cast<std::uint32_t>(names.size());
  worker::PutText(head.folder, folder);
  std::string request;
  request.reserve(sizeof head + names.size() * sizeof(worker::LoadName));
  worker::Append(request, head);
  w.named.clear();
  for (std::size_t i = 0; i < names.size(); ++i) {
    worker::LoadName name{};
    worker::PutText(name.fileName, names[i]);
    worker::Append(request, name);
    if (!names[i].empty()) w.named.push_back(static_cast<int>(i));
  }
  const std::size_t reply_size = sizeof(worker::LoadReply) + names.size() * sizeof(worker::LoadedPlugin);
  std::vector<std::uint8_t> reply;
  for (;;) {
    const WorkerChannel::End end =
        channel.Call(request.data(), request.size(), reply_size, WorkerChannel::Wait::Work, nullptr, reply);
    if (end == WorkerChannel::End::Replied) break;
    // A plug-in that ends the worker while it loads is left out, and the
    // others are loaded by a new worker.
    const int culprit = NamedCulprit(w);
    if (end == WorkerChannel::End::NotRunning || culprit < 0) {
      SetProblem(channel.ProgramName() + " が応答しません");
      channel.Stop();
      return false;
    }
    loaded[static_cast<std::size_t>(culprit)].result = LoadResult::Faulted;
    Drop(culprit);
    std::erase(w.named, culprit);
    std::memset(request.data() + sizeof head + static_cast<std::size_t>(culprit) * sizeof(worker::LoadName), 0,
                sizeof(worker::LoadName));
    if (!channel.Start(why)) {
      SetProblem(why);
      return false;
    }
  }
  const auto got = worker::ReadAt<worker::LoadReply>(reply.data(), reply.size(), 0);
  if (got.op != static_cast<std::uint32_t>(worker::Op::Load) || got.count != names.size()) {
    SetProblem(channel.ProgramName() + " の応答が正しくありません");
    channel.Stop();
    return false;
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    SiteLoaded& o = loaded[i];
    if (o.result == LoadResult::Faulted) continue;  // ended an earlier worker
    const auto p =
        worker::ReadAt<worker::LoadedPlugin>(reply.data(), reply.size(), sizeof got + i * sizeof(worker::LoadedPlugin));
    const auto result = static_cast<LoadResult>(p.result);
    switch (result) {
      case LoadResult::Loaded:
      case LoadResult::Faulted:
      case LoadResult::NotPlugin: o.result = result; break;
      default: o.result = LoadResult::NotLoaded; break;
    }
    if (names[i].empty()) o.result = LoadResult::NotLoaded;
    o.error = p.errorCode;
    o.has_config = p.hasConfig != 0;
    if (o.result == LoadResult::Loaded) {
      o.description = worker::TextOf(p.description);
      o.filter = worker::TextOf(p.filter);
      o.filters = worker::TextOf(p.filters);
    } else {
      Drop(static_cast<int>(i));  // not called, nor loaded again
    }
  }
  return true;
}

bool WorkerSite::Running(Worker& w) {
  if (!Problem().empty()) return false;
  if (w.channel->Running()) {
    if (w.channel->Alive()) return true;
    // It ended between calls: a thread its plug-in left running, say.
    if (const int culprit = NamedCulprit(w); culprit >= 0) {
      Drop(culprit);
      Faulted(culprit);
    }
  }
  // A restarted worker must hold what the last one held.
  std::vector<SiteLoaded> loaded;
  if (!Restart(w, loaded)) return false;
  for (std::size_t i = 0; i < loaded.size(); ++i)
    if (loaded[i].result == LoadResult::Faulted) Faulted(static_cast<int>(i));
  return true;
}

bool WorkerSite::Check(Worker& w, const worker::DecodeReply& r, Checked& picture) {
  const int bits = static_cast<int>(r.bitCount);
  if (r.width <= 0 || static_cast<std::uint32_t>(r.width) > mv::kMaxBmpSide || r.height == 0 ||
      r.height == INT32_MIN || !AcceptedBitCount(bits))
    return false;
  const auto rows = static_cast<std::uint32_t>(r.height < 0 ? -static_cast<std::int64_t>(r.height) : r.height);
  if (rows > mv::kMaxBmpSide) return false;
  const std::uint64_t bytes = static_cast<std::uint64_t>(forms::DibStride(r.width, forms::StoredBits(bits))) * rows;
  if (bytes > mv::kMaxBmpPixelBytes) return false;
  if (bits <= 8 ? r.colorCount > (1u << bits) : r.colorCount != 0) return false;
  if (r.section == 0) {
    // In the reply itself: only as much as the reply area holds.
    if (bytes > worker::kInlinePixelBytes || !w.channel->ReplyArea()) return false;
    picture.rows = w.channel->ReplyArea() + worker::kInlinePixelsOffset;
  } else {
    mv::unique_handle section = w.channel->TakeHandle(r.section, FILE_MAP_READ | FILE_MAP_WRITE);
    if (!section) return false;
    // The section must hold every row the bitmap will be made over: a view
    // of that size maps only from a section at least that large, and every
    // page of it must be committed (one made only to reserve faults when read).
    const mv::unique_view rows_view(::MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(bytes)));
    if (!rows_view || !mv::RangeCommitted(rows_view.get(), static_cast<std::size_t>(bytes))) return false;
    picture.section = std::move(section);
  }
  picture.width = r.width;
  picture.height = r.height;
  picture.bitCount = bits;
  picture.bytes = static_cast<std::size_t>(bytes);
  picture.colorCount = r.colorCount;
  picture.colors.fill(RGBQUAD{0, 0, 0, 0});
  for (std::uint32_t i = 0; i < r.colorCount; ++i) {
    std::memcpy(&picture.colors[i], &r.colors[i], sizeof(RGBQUAD));
    picture.colors[i].rgbReserved = 0;
  }
  return true;
}

bool WorkerSite::MakeBitmap(Checked& picture, mv::DecodedPicture& out) {
  try {
    auto bitmap = std::make_unique<forms::Bitmap>();
    const int rows = picture.height < 0 ? -picture.height : picture.height;
    const forms::PixelFormat format = forms::PixelFormatFor(picture.bitCount);
    if (picture.section) {
      // The program's bitmap is made on the worker's section: no copy.
      if (!bitmap->CreateOnSection(picture.width, rows, format, picture.colors.data(), std::move(picture.section)))
        return false;
    } else {
      // A small picture came in the reply: copied out of the mailbox once.
      bitmap->SetColorTable(picture.colors.data(), 0, 256);
      bitmap->Reshape(picture.width, rows, format);
      if (bitmap->Empty() || static_cast<std::size_t>(bitmap->Stride()) * rows != picture.bytes) return false;
      std::memcpy(bitmap->Bits(), picture.rows, picture.bytes);
    }
    out.bitmap = std::move(bitmap);
    out.width = picture.width;
    out.height = picture.height;
    out.bitCount = picture.bitCount;
    out.colors.fill(RGBQUAD{0, 0, 0, 0});
    if (picture.bitCount <= 8) std::copy_n(picture.colors.begin(), picture.colorCount, out.colors.begin());
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool WorkerSite::PlaceFile(Worker& w, HANDLE file, std::uint64_t size, worker::DecodeRequest& head,
                           mv::unique_handle& mapping) {
  head.size = size;
  if (size <= worker::kInlineFileBytes) {
    // Read straight into the mailbox, once, where every later request of
    // this file finds it.
    std::uint8_t* area = w.channel->RequestArea();
    if (!area) return false;
    LARGE_INTEGER start{};
    DWORD got = 0;
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) ||
        !::ReadFile(file, area + worker::kInlineFileOffset, static_cast<DWORD>(size), &got, nullptr))
      return false;
    head.mapping = 0;
    head.size = got;  // a file cut short since reads as what it holds now
    return true;
  }
  if (!mapping) mapping.reset(::CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) return false;
  head.mapping = w.channel->GiveHandle(mapping.get(), FILE_MAP_READ);
  return head.mapping != 0;
}

Outcome WorkerSite::Ask(Worker& w, HANDLE file, std::uint64_t& size, bool& placed, mv::unique_handle& mapping,
                        const std::wstring& path, HWND owner, std::vector<int>& asked, Checked& picture,
                        int& culprit) {
  WorkerChannel& channel = *w.channel;
  culprit = -1;
  for (;;) {
    worker::DecodeRequest head{};
    head.op = static_cast<std::uint32_t>(worker::Op::Decode);
    head.count = static_cast<std::uint32_t>(asked.size());
    head.owner = reinterpret_cast<std::uintptr_t>(owner);
    // A file in the mailbox stays in place for the asks after a refusal.
    if (!placed || size > worker::kInlineFileBytes) {
      if (!PlaceFile(w, file, size, head, mapping)) return Outcome::FileError;
      placed = true;
      size = head.mapping ? size : head.size;
    } else {
      head.size = size;
    }
    std::uint8_t* area = channel.RequestArea();
    // The names, whole, whatever their length.
    const std::string name = PluginNameFor(path);
    head.nameBytes = static_cast<std::uint32_t>(std::min<std::size_t>(name.size(), worker::kNameBytes));
    std::memcpy(area + worker::kNameOffset, name.data(), head.nameBytes);
    head.wideNameChars = static_cast<std::uint32_t>(std::min<std::size_t>(path.size(), worker::kNameChars - 1));
    for (std::size_t i = 0; i < head.wideNameChars; ++i) {
      const auto unit = static_cast<std::uint16_t>(path[i]);
      std::memcpy(area + worker::kWideNameOffset + 2 * i, &unit, sizeof unit);
    }
    std::memcpy(area, &head, sizeof head);
    for (std::size_t i = 0; i < asked.size(); ++i) {
      const auto index = static_cast<std::int32_t>(asked[i]);
      std::memcpy(area + sizeof head + i * sizeof index, &index, sizeof index);
    }
    w.named = asked;
    std::vector<std::uint8_t> reply;
    const WorkerChannel::End end = channel.Call(area, sizeof head + asked.size() * sizeof(std::int32_t),
                                                sizeof(worker::DecodeReply), WorkerChannel::Wait::Work, owner, reply);
    if (end != WorkerChannel::End::Replied) {
      culprit = NamedCulprit(w);
      return Outcome::Faulted;
    }
    const auto r = worker::ReadAt<worker::DecodeReply>(reply.data(), reply.size(), 0);
    if (r.op != static_cast<std::uint32_t>(worker::Op::Decode)) return Outcome::Declined;
    switch (static_cast<Outcome>(r.result)) {
      case Outcome::FileError: return Outcome::FileError;
      case Outcome::NoRoom: return Outcome::NoRoom;
      case Outcome::Decoded: break;
      case Outcome::Faulted:
        // The worker ends itself: wait for that, so the next call goes to a
        // new one. Only a plug-in asked can have faulted.
        channel.Stop();
        culprit = Contains(asked, r.plugin) ? r.plugin : -1;
        return Outcome::Faulted;
      default: return Outcome::Declined;
    }
    const auto made_by = std::find(asked.begin(), asked.end(), r.plugin);
    if (made_by == asked.end()) {
      if (r.section) channel.TakeHandle(r.section, 0);  // closed in the worker as well
      return Outcome::Declined;
    }
    if (Check(w, r, picture)) {
      picture.plugin = r.plugin;
      return Outcome::Decoded;
    }
    // A picture the host does not take is that plug-in's failure: the
    // plug-ins after it are asked, as they would be in the program.
    asked.erase(asked.begin(), made_by + 1);
    if (asked.empty()) return Outcome::Declined;
  }
}

Outcome WorkerSite::Decode(const std::wstring& path, HWND owner, const std::vector<int>& plugins,
                           mv::DecodedPicture& picture) {
  if (pool_.empty()) return Outcome::Declined;
  mv::unique_file file = mv::OpenForReading(path);
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return Outcome::FileError;
  // A file a worker of this architecture cannot map (a 32-bit one maps
  // files below 2 GiB, as a 32-bit plug-in takes them) is for the plug-ins
  // elsewhere in the list.
  if (static_cast<std::uint64_t>(size.QuadPart) > pool_.front()->channel->MaxFileBytes()) return Outcome::Declined;
  std::vector<int> left;
  for (int p : plugins)
    if (left.size() < kMaxPlugins) left.push_back(p);
  auto file_size = static_cast<std::uint64_t>(size.QuadPart);
  mv::unique_handle mapping;
  bool placed = false;
  Worker& w = Acquire();
  Outcome outcome = Outcome::Declined;
  for (int blind = 0, deaths = 0; blind < kMaxBlindDeaths;) {
    if (deaths >= kMaxDeathsPerFile) {
      outcome = Outcome::FileError;
      break;
    }
    if (!Running(w)) break;
    std::erase_if(left, [this](int p) { return !Callable(p); });
    if (left.empty()) break;
    std::vector<int> asked = left;
    Checked checked;
    int culprit = -1;
    const Outcome got = Ask(w, file.get(), file_size, placed, mapping, path, owner, asked, checked, culprit);
    if (got == Outcome::Decoded) {
      if (MakeBitmap(checked, picture)) {
        outcome = Outcome::Decoded;
        break;
      }
      // No bitmap of it here: as if that plug-in had failed.
      const auto made_by = std::find(left.begin(), left.end(), checked.plugin);
      left.erase(left.begin(), made_by == left.end() ? left.end() : made_by + 1);
      continue;
    }
    if (got == Outcome::FileError) {
      outcome = Outcome::FileError;
      break;
    }
    if (got != Outcome::Faulted) break;  // declined, or no room in this worker
    ++deaths;
    placed = false;
    // The plug-in to blame is marked, and the file goes on to the plug-ins
    // after it in a new worker. Any other death is nobody's.
    const auto at = std::find(left.begin(), left.end(), culprit);
    if (culprit < 0 || at == left.end()) {
      ++blind;
      continue;
    }
    Drop(culprit);
    Faulted(culprit);
    left.erase(left.begin(), at + 1);
  }
  Release(w);
  return outcome;
}

PluginSite::Configured WorkerSite::Configure(int plugin, HWND parent, int& value) {
  if (pool_.empty() || !Callable(plugin)) return Configured::NoDialog;
  Worker& w = Acquire();
  struct Releaser {
    WorkerSite& site;
    Worker& w;
    ~Releaser() { site.Release(w); }
  } release{*this, w};
  if (!Running(w) || !Callable(plugin)) return Configured::NoDialog;
  worker::ConfigureRequest head{};
  head.op = static_cast<std::uint32_t>(worker::Op::Configure);
  head.plugin = plugin;
  head.parent = reinterpret_cast<std::uintptr_t>(parent);
  w.named = {plugin};
  std::string request;
  worker::Append(request, head);
  std::vector<std::uint8_t> reply;
  const WorkerChannel::End end = w.channel->Call(request.data(), request.size(), sizeof(worker::ConfigureReply),
                                                 WorkerChannel::Wait::Dialog, parent, reply);
  if (end == WorkerChannel::End::NotRunning) return Configured::NoDialog;
  const auto r = worker::ReadAt<worker::ConfigureReply>(reply.data(), reply.size(), 0);
  if (end == WorkerChannel::End::Replied && r.op == static_cast<std::uint32_t>(worker::Op::Configure)) {
    switch (static_cast<worker::ConfigureResult>(r.result)) {
      case worker::ConfigureResult::Returned: value = r.value; return Configured::Returned;
      case worker::ConfigureResult::NoDialog: return Configured::NoDialog;
      default: break;
    }
  }
  // A dialog that faulted ends its worker: wait for that, so the next call
  // goes to a new one.
  w.channel->Stop();
  Drop(plugin);
  return Configured::Faulted;
}

}  // namespace spi
