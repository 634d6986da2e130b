// Loading many files through the program's own load, on its real windows:
//   (a) 10,000 small PNGs through the bundled ifwic: the load, with as many
//       decoders as the machine has cores, against DecodeImage of each file
//       one after the other on one thread, the records kept;
//   (b) 1,000 small MVT files through the third-party fixture mvt_good in
//       workers: the load with a pool of as many workers as cores against
//       the load with one worker;
//   (c) the longest the main window's thread takes to answer a message
//       posted to it during the load of 10,000 small bitmaps;
//   (d) the program's private memory at its highest during the load of
//       1,000 bitmaps of 1 MB each, against after it.
// Rounds of the two sides of a ratio alternate; the fastest of each counts.
// Prints its figures; exit 1 when a load came out wrong, 2 when a target
// was missed.
//
//   morvane_load_bench [parts]     (default "abcd")
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/MainForm.h"
#include "app/app_forms.h"
#include "base/wide_text.h"
#include "bench/bench_support.h"
#include "bench/wic_png.h"
#include "decode/decode_image.h"
#include "forms/message_box.h"
#include "plugins/settings_file.h"
#include "plugins/spi_ctrl.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/mvt_format.h"
#include "worker/worker_serve.h"

using bench::ExeDir;
using bench::Now;
using bench::WriteFileBytes;

namespace {

constexpr int kRounds = 3;

// `count` files named prefix00000.ext ... in `dir`, made by `bytes(i)`.
template <class Make>
std::vector<std::wstring> WriteFiles(const std::string& dir, const char* prefix, const char* ext, int count,
                                     Make bytes) {
  ::CreateDirectoryA(dir.c_str(), nullptr);
  std::vector<std::wstring> paths;
  for (int i = 0; i < count; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%05d.%s", prefix, i, ext);
    const std::string content = bytes(i);
    if (content.empty() || !WriteFileBytes(dir + name, content)) return {};
    paths.push_back(mv::WideFromAnsi(dir + name));
  }
  return paths;
}

void RemoveFolder(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  mv::unique_find found(::FindFirstFileA((dir + "*").c_str(), &fd));
  if (found) {
    do ::DeleteFileA((dir + fd.cFileName).c_str());
    while (::FindNextFileA(found.get(), &fd));
  }
  found.reset();
  ::RemoveDirectoryA(dir.c_str());
}

// Plug-ins from `folder`, `decoders` at once (0: as many as cores).
void UsePlugins(const std::string& folder, int decoders) {
  const std::string ini = settings::SettingsPathFor(settings::ExecutablePath());
  ::WritePrivateProfileStringA(settings::kSectionSetting, settings::kKeyDecoders,
                               decoders > 0 ? std::to_string(decoders).c_str() : nullptr, ini.c_str());
  frmMain->SpiCtrl->PluginDir = folder;
  frmMain->SpiCtrl->LoadPlugins();
}

void ClearList() {
  frmMain->RemoveImages(std::vector<bool>(frmMain->BeforeImages.size(), true));
}

// The main window's thread answering messages posted to it: a window of
// its own there takes each probe, a thread posts the next once the last was
// taken, and the longest wait is kept.
class AnswerProbe {
 public:
  AnswerProbe() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &AnswerProbe::Proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"MorvaneLoadBenchProbe";
    ::RegisterClassW(&wc);
    window_ = ::CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    self_ = this;
  }
  ~AnswerProbe() {
    Stop();
    ::DestroyWindow(window_);
    self_ = nullptr;
  }
  void Start() {
    longest_ = 0;
    answers_ = 0;
    running_ = true;
    thread_ = std::thread([this] {
      while (running_) {
        taken_ = false;
        sent_ = Now();
        ::PostMessageW(window_, WM_APP, 0, 0);
        while (running_ && !taken_) ::Sleep(1);
        ::Sleep(5);
      }
    });
  }
  void Stop() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
  }
  double Longest() const { return longest_; }
  int Answers() const { return answers_; }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_APP && self_) {
      self_->longest_ = std::max(self_->longest_, Now() - self_->sent_.load());
      ++self_->answers_;
      self_->taken_ = true;
      return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
  }
  static inline AnswerProbe* self_ = nullptr;
  HWND window_ = nullptr;
  std::thread thread_;
  std::atomic<bool> running_ = false, taken_ = false;
  std::atomic<double> sent_ = 0;
  double longest_ = 0;
  int answers_ = 0;
};

struct Loaded {
  double seconds = 0;
  bool right = false;
  double peak_private_mb = 0;  // sampled every 20 ms
};

// The load command's own path: LoadPaths, then the window's messages until
// the load has ended. Right when every file was listed without a box.
Loaded Load(const std::vector<std::wstring>& paths, int& boxes, bool sample_memory = false) {
  ClearList();
  const int boxes_before = boxes;
  Loaded out;
  double next_sample = 0;
  const double start = Now();
  frmMain->LoadPaths(paths);
  MSG msg;
  while (frmMain->Loading()) {
    if (sample_memory && Now() >= next_sample) {
      out.peak_private_mb = std::max(out.peak_private_mb, bench::CommittedPrivateBytes() / 1048576.0);
      next_sample = Now() + 0.02;
    }
    if (::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT) == WAIT_OBJECT_0)
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
  }
  out.seconds = Now() - start;
  out.right = boxes == boxes_before && frmMain->BeforeImages.size() == paths.size() &&
              frmMain->lstBefore->Count() == static_cast<int>(paths.size());
  for (std::size_t i = 0; out.right && i < paths.size(); ++i) out.right = frmMain->BeforeImages[i]->WidePath == paths[i];
  return out;
}

double DecodeAlone(const std::vector<std::wstring>& paths, bool& right) {
  ClearList();
  std::vector<std::unique_ptr<tag_BeforeImage>> kept;
  kept.reserve(paths.size());
  const double start = Now();
  for (const auto& p : paths) {
    kept.push_back(std::make_unique<tag_BeforeImage>());
    kept.back()->WidePath = p;
    right = DecodeImage(*frmMain->SpiCtrl, kept.back().get()) && right;
  }
  return Now() - start;
}

const char* Met(bool met) { return met ? "met" : "MISSED"; }

}  // namespace

int main(int argc, char** argv) {
  if (worker::StartedAsWorker()) worker::Serve();  // its plug-ins' worker
  const std::string parts = argc > 1 ? argv[1] : "abcd";
  auto part = [&](char p) { return parts.find(p) != std::string::npos; };
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  const std::string dir = ExeDir() + "load_bench\\";
  const std::string bin = ExeDir() + "..\\bin", plugins = dir + "plugins";
  ::CreateDirectoryA(dir.c_str(), nullptr);
  ::CreateDirectoryA(plugins.c_str(), nullptr);
  const std::string fixture = ExeDir() + "..\\tests\\fixtures\\mvt_good" + spi::kPluginExtension;
  if (!::CopyFileA(fixture.c_str(), (plugins + "\\mvt_good" + spi::kPluginExtension).c_str(), FALSE)) {
    std::printf("cannot copy the fixture plug-in (build the tests first)\n");
    return 1;
  }

  std::vector<std::wstring> pngs;
  std::thread([&] {  // WIC's encoder wants an apartment of its own
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (IWICImagingFactory* f = bench::NewFactory()) {
      pngs = WriteFiles(dir + "png\\", "p", "png", 10000, [&](int i) { return bench::EncodePng(f, i); });
      f->Release();
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
  }).join();
  std::vector<std::uint32_t> grey(256);
  for (std::uint32_t i = 0; i < 256; ++i) grey[i] = i * 0x010101u;
  const std::string mvt = mv::test::BuildMvt(32, 32, 8, grey, std::string(32 * 32, '\x42'));
  const auto mvts = WriteFiles(dir + "mvt\\", "m", "mvt", 1000, [&](int) { return mvt; });
  const std::string small_bmp = mv::test::PlainBmp(8, 2, 2);
  const auto bmps = WriteFiles(dir + "bmp\\", "b", "bmp", 10000, [&](int) { return small_bmp; });
  const std::string big_bmp = mv::test::PlainBmp(32, 512, 512);  // 1 MB of pixels
  const auto bigs = WriteFiles(dir + "big\\", "g", "bmp", 1000, [&](int) { return big_bmp; });
  if (pngs.empty() || mvts.empty() || bmps.empty() || bigs.empty()) {
    std::printf("cannot write the files in %s\n", dir.c_str());
    return 1;
  }

  app::CreateForms();
  frmMain->Show();
  int boxes = 0;
  forms::SetMessageBoxHook([&](const forms::MessageBoxRequest&) {
    ++boxes;
    return IDOK;
  });
  SYSTEM_INFO si;
  ::GetSystemInfo(&si);
  std::printf("%d-bit edition, %lu cores; %d rounds, fastest of each\n", static_cast<int>(sizeof(void*) * 8),
              si.dwNumberOfProcessors, kRounds);
  bool right = true, met = true;

  // (a) PNGs through ifwic.
  UsePlugins(bin, 0);
  const int decoders = frmMain->SpiCtrl->Decoders();
  double loaded = 1e9, alone = 1e9;
  for (int r = 0; r < kRounds && part('a'); ++r) {
    alone = std::min(alone, DecodeAlone(pngs, right));
    const Loaded l = Load(pngs, boxes);
    right = right && l.right;
    loaded = std::min(loaded, l.seconds);
  }
  if (part('a')) std::printf("(a) %zu PNGs through ifwic: load with %d decoders %.3f s, one by one on one thread %.3f s; "
              "ratio %.2f (target <= 0.6: %s)\n",
              pngs.size(), decoders, loaded, alone, loaded / alone, Met(loaded / alone <= 0.6));
  met = met && (!part('a') || loaded / alone <= 0.6);

  // (b) MVT files through a pool of workers and through one.
  double pool = 1e9, one = 1e9;
  for (int r = 0; r < kRounds && part('b'); ++r) {
    for (const int n : {0, 1}) {
      UsePlugins(plugins, n);
      const Loaded l = Load(mvts, boxes);
      right = right && l.right;
      (n == 0 ? pool : one) = std::min(n == 0 ? pool : one, l.seconds);
    }
  }
  if (part('b')) std::printf("(b) %zu MVT files through mvt_good in workers: pool of %d %.3f s, one worker %.3f s; "
              "ratio %.2f (target <= 0.6: %s)\n",
              mvts.size(), decoders, pool, one, pool / one, Met(pool / one <= 0.6));
  met = met && (!part('b') || pool / one <= 0.6);

  // (c) answering during a load.
  UsePlugins(bin, 0);
  if (part('c')) {
    AnswerProbe probe;
    probe.Start();
    const Loaded l = Load(bmps, boxes);
    probe.Stop();
    right = right && l.right;
    std::printf("(c) %zu bitmaps loaded in %.3f s; %d posted messages answered, the longest after %.1f ms "
                "(target <= 100 ms: %s)\n",
                bmps.size(), l.seconds, probe.Answers(), probe.Longest() * 1000, Met(probe.Longest() <= 0.1));
    met = met && probe.Longest() <= 0.1;
  }

  // (d) memory during a load of large files against after it.
  if (part('d')) {
    const Loaded l = Load(bigs, boxes, true);
    right = right && l.right;
    const double after = bench::CommittedPrivateBytes() / 1048576.0;
    const double mapped = bench::CommittedBytes(MEM_MAPPED) / 1048576.0;
    std::printf("(d) %zu bitmaps of 1 MB loaded in %.3f s: private memory %.1f MB at most during the load, "
                "%.1f MB after (%.1f MB of file views); ratio %.2f (target <= 1.1: %s)\n",
                bigs.size(), l.seconds, l.peak_private_mb, after, mapped, l.peak_private_mb / after,
                Met(l.peak_private_mb / after <= 1.1));
    met = met && l.peak_private_mb / after <= 1.1;
  }
  std::printf("lists after each load: %s\n", right ? "correct" : "WRONG");

  ClearList();
  forms::SetMessageBoxHook(nullptr);
  app::DestroyForms();
  for (const char* sub : {"png\\", "mvt\\", "bmp\\", "big\\", "plugins\\"}) RemoveFolder(dir + sub);
  ::RemoveDirectoryA(dir.c_str());
  ::WritePrivateProfileStringA(settings::kSectionSetting, settings::kKeyDecoders, nullptr,
                               settings::SettingsPathFor(settings::ExecutablePath()).c_str());
  return !right ? 1 : met ? 0 : 2;
}
