#include "decode/worker_decode.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "app/before_image.h"
#include "base/handles.h"
#include "base/open_file.h"
#include "forms/bitmap.h"
#include "plugins/plugin_name.h"
#include "plugins/spi_ctrl.h"

namespace {

// Deaths no plug-in can be named for, per file, before the worker's
// plug-ins are passed over for it: each other death takes its plug-in out
// of the run, so the walk ends.
constexpr int kMaxBlindDeaths = 2;
// Workers that may die over one file, whoever is to blame, before the file
// fails: a load never spins on restarting workers.
constexpr int kMaxDeathsPerFile = 4;

// The worker's picture as the record's bitmap, made over the shared rows.
bool TakePicture(spi::WorkerPicture& picture, tag_BeforeImage& image) {
  try {
    auto bitmap = std::make_unique<forms::Bitmap>();
    const int rows = picture.height < 0 ? -picture.height : picture.height;
    const forms::PixelFormat format = forms::PixelFormatFor(picture.bitCount);
    if (picture.section) {
      if (!bitmap->CreateOnSection(picture.width, rows, format, picture.colors.data(), std::move(picture.section)))
        return false;
    } else {
      // A small picture came in the reply: copied out of the mailbox once.
      bitmap->SetColorTable(picture.colors.data(), 0, 256);
      bitmap->Reshape(picture.width, rows, format);
      if (bitmap->Empty() || static_cast<std::size_t>(bitmap->Stride()) * rows != picture.bytes) return false;
      std::memcpy(bitmap->Bits(), picture.rows, picture.bytes);
    }
    image.Width = picture.width;
    image.Height = picture.height;
    image.BitCount = picture.bitCount;
    image.DepthIcon = DepthIconFor(image.BitCount);
    image.Colors.fill(RGBQUAD{0, 0, 0, 0});
    if (image.BitCount <= 8) std::copy_n(picture.colors.begin(), picture.colorCount, image.Colors.begin());
    image.Surface = MakeBitmapSurface(*bitmap);
    image.Bitmap = std::move(bitmap);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace

WorkerAttempt DecodeInWorker(QvSpiCtrl& host, const std::vector<QvSpiPlugin*>& run, tag_BeforeImage& image) {
  if (run.empty()) return WorkerAttempt::Declined;
  const int bits = run.front()->WorkerBits;
  mv::unique_file file = mv::OpenForReading(image.WidePath);
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return WorkerAttempt::FileError;
  // A 32-bit worker maps files below 2 GiB, as a 32-bit plug-in takes
  // them: a larger one is for the plug-ins elsewhere in the list.
  if (bits == 32 && size.QuadPart > 0x7FFFFFFF) return WorkerAttempt::Declined;

  const std::string name = spi::PluginNameFor(image.WidePath);
  std::vector<QvSpiPlugin*> left = run;
  for (int blind = 0, deaths = 0; blind < kMaxBlindDeaths && !left.empty();) {
    if (deaths >= kMaxDeathsPerFile) return WorkerAttempt::GaveUp;
    spi::WorkerHost* worker = host.RunningWorker(bits);
    if (!worker) return WorkerAttempt::Declined;
    std::erase_if(left, [](const QvSpiPlugin* p) { return p->Faulted || !p->LoadProblem.empty(); });
    std::vector<int> indices;
    for (const QvSpiPlugin* p : left) indices.push_back(p->WorkerIndex);
    if (indices.empty()) break;
    spi::WorkerDecode d = worker->Decode(file.get(), static_cast<std::uint64_t>(size.QuadPart), name, image.WidePath,
                                         host.OwnerWindow, indices);
    switch (d.end) {
      case spi::WorkerDecode::End::Decoded: {
        const auto made_by =
            std::find_if(left.begin(), left.end(), [&](const QvSpiPlugin* p) { return p->WorkerIndex == d.picture.plugin; });
        if (TakePicture(d.picture, image)) return WorkerAttempt::Decoded;
        // No bitmap of it here: as if that plug-in had failed.
        left.erase(left.begin(), made_by == left.end() ? left.end() : made_by + 1);
        break;
      }
      case spi::WorkerDecode::End::Declined:
      case spi::WorkerDecode::End::NoRoom: return WorkerAttempt::Declined;
      case spi::WorkerDecode::End::FileError: return WorkerAttempt::FileError;
      case spi::WorkerDecode::End::Died:
      case spi::WorkerDecode::End::NotRunning: {
        ++deaths;
        // The worker names the plug-in to blame, believed only for one this
        // request asked: it is marked, and the file goes on to the plug-ins
        // after it in a new worker. Any other death is nobody's to mark.
        const auto at =
            std::find_if(left.begin(), left.end(), [&](const QvSpiPlugin* p) { return p->WorkerIndex == d.culprit; });
        if (d.culprit < 0 || at == left.end()) {
          ++blind;
          break;
        }
        host.NoteFault(**at);
        left.erase(left.begin(), at + 1);
        break;
      }
    }
  }
  return WorkerAttempt::Declined;
}
