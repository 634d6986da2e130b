#include "plugins/worker_host.h"

#include <algorithm>
#include <cstring>

#include "base/committed.h"
#include "decode/bmp_layout.h"
#include "forms/dib_format.h"

namespace spi {

namespace {

using worker::kMaxPlugins;

template <class T>
void Append(std::vector<std::uint8_t>& out, const T& value) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
  out.insert(out.end(), p, p + sizeof value);
}

template <class T>
T At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  T v{};
  if (offset + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + offset, sizeof v);
  return v;
}

template <std::size_t N>
void CopyInto(char (&out)[N], const std::string& text) {
  const std::size_t n = std::min(text.size(), N - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

template <std::size_t N>
std::string TextOf(const char (&in)[N]) {
  return std::string(in, strnlen(in, N));
}

bool AcceptedBitCount(int bits) {
  return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

bool WorkerHost::Send(std::vector<std::uint8_t>& reply, const std::vector<std::uint8_t>& request,
                      std::size_t reply_size, PluginWorker::Wait wait, PluginWorker::End& end) {
  end = worker_.Call(request.data(), request.size(), reply_size, wait, reply);
  return end == PluginWorker::End::Replied;
}

int WorkerHost::NamedCulprit() const {
  const int culprit = worker_.Culprit();
  return std::find(named_.begin(), named_.end(), culprit) != named_.end() ? culprit : -1;
}

bool WorkerHost::Load(const std::string& folder, const std::vector<std::string>& names,
                      std::vector<WorkerLoaded>& out, std::string& why) {
  folder_ = folder;
  names_ = names;
  if (names_.size() > kMaxPlugins) names_.resize(kMaxPlugins);
  return Restart(out, why);
}

void WorkerHost::Drop(int index) {
  if (index >= 0 && static_cast<std::size_t>(index) < names_.size()) names_[static_cast<std::size_t>(index)].clear();
}

bool WorkerHost::Restart(std::vector<WorkerLoaded>& out, std::string& why) {
  out.assign(names_.size(), WorkerLoaded{});
  // A new list always gets a new worker: no plug-in's unloading code runs
  // while we wait, and nothing of the last list's plug-ins stays behind.
  worker_.Stop();
  if (!worker_.Start(why)) return false;
  worker::LoadRequest head{};
  head.op = static_cast<std::uint32_t>(worker::Op::Load);
  head.count = static_cast<std::uint32_t>(names_.size());
  CopyInto(head.folder, folder_);
  std::vector<std::uint8_t> request;
  request.reserve(sizeof head + names_.size() * sizeof(worker::LoadName));
  Append(request, head);
  for (const std::string& n : names_) {
    worker::LoadName name{};
    CopyInto(name.fileName, n);
    Append(request, name);
  }
  named_.clear();
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (!names_[i].empty()) named_.push_back(static_cast<int>(i));
  const std::size_t reply_size = sizeof(worker::LoadReply) + names_.size() * sizeof(worker::LoadedPlugin);
  std::vector<std::uint8_t> reply;
  PluginWorker::End end;
  while (!Send(reply, request, reply_size, PluginWorker::Wait::Work, end)) {
    // A plug-in that ends the worker while it loads is left out, and the
    // others are loaded by a new worker.
    const int culprit = NamedCulprit();
    if (end == PluginWorker::End::NotRunning || culprit < 0) {
      why = worker_.ProgramName() + " が応答しません";
      worker_.Stop();
      return false;
    }
    out[static_cast<std::size_t>(culprit)].result = worker::LoadResult::Faulted;
    names_[static_cast<std::size_t>(culprit)].clear();
    std::erase(named_, culprit);
    std::memset(request.data() + sizeof head + static_cast<std::size_t>(culprit) * sizeof(worker::LoadName), 0,
                sizeof(worker::LoadName));
    if (!worker_.Start(why)) return false;
  }
  const auto got = At<worker::LoadReply>(reply, 0);
  if (got.op != static_cast<std::uint32_t>(worker::Op::Load) || got.count != names_.size()) {
    why = worker_.ProgramName() + " の応答が正しくありません";
    worker_.Stop();
    return false;
  }
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (out[i].result == worker::LoadResult::Faulted) continue;  // ended an earlier worker
    const auto p = At<worker::LoadedPlugin>(reply, sizeof got + i * sizeof(worker::LoadedPlugin));
    WorkerLoaded& o = out[i];
    switch (static_cast<worker::LoadResult>(p.result)) {
      case worker::LoadResult::Loaded:
        o.result = worker::LoadResult::Loaded;
        o.description = TextOf(p.description);
        o.filter = TextOf(p.filter);
        break;
      case worker::LoadResult::Faulted: o.result = worker::LoadResult::Faulted; break;
      case worker::LoadResult::NotPlugin: o.result = worker::LoadResult::NotPlugin; break;
      default: o.result = worker::LoadResult::NotLoaded; break;
    }
    o.error = p.errorCode;
    o.hasConfig = p.hasConfig != 0;
    if (names_[i].empty()) o.result = worker::LoadResult::NotLoaded;
  }
  return true;
}

bool WorkerHost::CheckPicture(const worker::DecodeReply& r, WorkerPicture& picture) {
  const int bits = static_cast<int>(r.bitCount);
  if (r.width <= 0 || static_cast<std::uint32_t>(r.width) > mv::kMaxBmpSide || r.height == 0 ||
      r.height == INT32_MIN || !AcceptedBitCount(bits))
    return false;
  const std::uint32_t rows = static_cast<std::uint32_t>(r.height < 0 ? -static_cast<std::int64_t>(r.height) : r.height);
  if (rows > mv::kMaxBmpSide) return false;
  const std::uint64_t bytes = static_cast<std::uint64_t>(forms::DibStride(r.width, forms::StoredBits(bits))) * rows;
  if (bytes > mv::kMaxBmpPixelBytes) return false;
  if (bits <= 8 ? r.colorCount > (1u << bits) : r.colorCount != 0) return false;
  if (r.section == 0) {
    // In the reply itself: only as much as the reply area holds.
    if (bytes > worker::kInlinePixelBytes || !worker_.ReplyArea()) return false;
    picture.rows = worker_.ReplyArea() + worker::kInlinePixelsOffset;
  } else {
    mv::unique_handle section = worker_.TakeHandle(r.section, FILE_MAP_READ | FILE_MAP_WRITE);
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

bool WorkerHost::PlaceFile(HANDLE file, std::uint64_t size, worker::DecodeRequest& head, mv::unique_handle& mapping) {
  head.size = size;
  if (size <= worker::kInlineFileBytes) {
    // Read straight into the mailbox, once, where every later request of
    // this file finds it.
    std::uint8_t* area = worker_.RequestArea();
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
  head.mapping = worker_.GiveHandle(mapping.get(), FILE_MAP_READ);
  return head.mapping != 0;
}

WorkerDecode WorkerHost::Decode(HANDLE file, std::uint64_t size, const std::string& name,
                                const std::wstring& wide_name, HWND owner, const std::vector<int>& plugins) {
  WorkerDecode result;
  std::vector<int> asked = plugins;
  if (asked.size() > kMaxPlugins) asked.resize(kMaxPlugins);
  mv::unique_handle mapping;
  bool placed = false;
  while (!asked.empty()) {
    if (!worker_.Running()) {
      result.end = WorkerDecode::End::NotRunning;
      return result;
    }
    worker::DecodeRequest head{};
    head.op = static_cast<std::uint32_t>(worker::Op::Decode);
    head.count = static_cast<std::uint32_t>(asked.size());
    head.owner = reinterpret_cast<std::uintptr_t>(owner);
    // A file in the mailbox stays in place for the asks after a refusal.
    if (!placed || size > worker::kInlineFileBytes) {
      if (!PlaceFile(file, size, head, mapping)) {
        result.end = WorkerDecode::End::FileError;
        return result;
      }
      placed = true;
      size = head.mapping ? size : head.size;
    } else {
      head.size = size;
    }
    std::uint8_t* area = worker_.RequestArea();
    // The names, whole, whatever their length.
    head.nameBytes = static_cast<std::uint32_t>(std::min<std::size_t>(name.size(), worker::kNameBytes));
    std::memcpy(area + worker::kNameOffset, name.data(), head.nameBytes);
    head.wideNameChars = static_cast<std::uint32_t>(std::min<std::size_t>(wide_name.size(), worker::kNameChars - 1));
    for (std::size_t i = 0; i < head.wideNameChars; ++i) {
      const auto unit = static_cast<std::uint16_t>(wide_name[i]);
      std::memcpy(area + worker::kWideNameOffset + 2 * i, &unit, sizeof unit);
    }
    std::memcpy(area, &head, sizeof head);
    named_ = asked;
    for (std::size_t i = 0; i < asked.size(); ++i) {
      const auto index = static_cast<std::int32_t>(asked[i]);
      std::memcpy(area + sizeof head + i * sizeof index, &index, sizeof index);
    }
    std::vector<std::uint8_t> reply;
    const PluginWorker::End end = worker_.Call(area, sizeof head + asked.size() * sizeof(std::int32_t),
                                               sizeof(worker::DecodeReply), PluginWorker::Wait::Work, reply);
    if (end != PluginWorker::End::Replied) {
      result.end = end == PluginWorker::End::NotRunning ? WorkerDecode::End::NotRunning : WorkerDecode::End::Died;
      result.culprit = NamedCulprit();
      return result;
    }
    const auto r = At<worker::DecodeReply>(reply, 0);
    if (r.op != static_cast<std::uint32_t>(worker::Op::Decode)) {
      result.end = WorkerDecode::End::Declined;
      return result;
    }
    switch (static_cast<worker::DecodeResult>(r.result)) {
      case worker::DecodeResult::FileError: result.end = WorkerDecode::End::FileError; return result;
      case worker::DecodeResult::NoRoom: result.end = WorkerDecode::End::NoRoom; return result;
      case worker::DecodeResult::Decoded: break;
      case worker::DecodeResult::Faulted:
        // The worker ends itself: wait for that, so the next call goes to a new one.
        worker_.Stop();
        result.end = WorkerDecode::End::Died;
        // Only a plug-in asked can have faulted.
        result.culprit = std::find(asked.begin(), asked.end(), r.plugin) != asked.end() ? r.plugin : -1;
        return result;
      default: result.end = WorkerDecode::End::Declined; return result;
    }
    const auto made_by = std::find(asked.begin(), asked.end(), r.plugin);
    if (made_by == asked.end()) {
      if (r.section) worker_.TakeHandle(r.section, 0);  // closed in the worker as well
      result.end = WorkerDecode::End::Declined;
      return result;
    }
    if (CheckPicture(r, result.picture)) {
      result.picture.plugin = r.plugin;
      result.end = WorkerDecode::End::Decoded;
      return result;
    }
    // A picture the host does not take is that plug-in's failure: the
    // plug-ins after it are asked, as they would be in the program.
    asked.erase(asked.begin(), made_by + 1);
  }
  result.end = WorkerDecode::End::Declined;
  return result;
}

WorkerHost::Configured WorkerHost::Configure(int plugin, HWND parent, int& value) {
  worker::ConfigureRequest head{};
  head.op = static_cast<std::uint32_t>(worker::Op::Configure);
  head.plugin = plugin;
  head.parent = reinterpret_cast<std::uintptr_t>(parent);
  named_ = {plugin};
  std::vector<std::uint8_t> request;
  Append(request, head);
  std::vector<std::uint8_t> reply;
  PluginWorker::End end;
  if (!Send(reply, request, sizeof(worker::ConfigureReply), PluginWorker::Wait::Dialog, end))
    return end == PluginWorker::End::NotRunning ? Configured::NoDialog : Configured::Faulted;
  const auto r = At<worker::ConfigureReply>(reply, 0);
  if (r.op != static_cast<std::uint32_t>(worker::Op::Configure)) return Configured::Faulted;
  switch (static_cast<worker::ConfigureResult>(r.result)) {
    case worker::ConfigureResult::Returned: value = r.value; return Configured::Returned;
    case worker::ConfigureResult::NoDialog: return Configured::NoDialog;
    default:
      // The worker ends itself after a dialog faulted: wait for that, so the
      // next call goes to a new one.
      worker_.Stop();
      return Configured::Faulted;
  }
}

}  // namespace spi
