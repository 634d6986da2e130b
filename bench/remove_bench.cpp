// Times loading 10,000 small bitmaps against decoding them alone, and
// removing every second one against loading them. The load and the removal
// run through the program's own commands on its real windows (the load
// command with the open dialog's answer supplied, the removal with the
// confirmation answered Yes); decoding alone is DecodeImage of the same
// files, the records kept until all are decoded, as the load keeps them;
// rounds of it and of the load alternate, and the fastest of each count.
// Prints the times and their ratios; the exit code is 0 only when the lists
// came out right.
//
//   morvane_remove_bench [count]      (default 10000)
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "app/app_forms.h"
#include "base/wide_text.h"
#include "decode/decode_image.h"
#include "forms/application.h"
#include "forms/dialogs.h"
#include "forms/message_box.h"
#include "palette/PreviewPaletteFrom.h"
#include "plugins/spi_ctrl.h"
#include "preview/PreviewForm.h"
#include "tests/support/bmp_builder.h"
#include "worker/worker_serve.h"

namespace {

constexpr int kLoadRounds = 5;

double Seconds() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(freq.QuadPart);
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  ::CloseHandle(h);
  return ok;
}

void Pump() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (worker::StartedAsWorker()) worker::Serve();  // its plug-ins' worker
  const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  if (count < 2) {
    std::fprintf(stderr, "count must be at least 2\n");
    return 2;
  }
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

  // Small native bitmaps with a full colour table: each listed one holds a
  // mapped view and a palette, as real 8-bit files do.
  char temp[MAX_PATH * 2] = {};
  ::GetTempPathA(sizeof temp, temp);
  const std::string dir = std::string(temp) + "morvane_remove_bench\\";
  ::CreateDirectoryA(dir.c_str(), nullptr);
  mv::test::BmpSpec recipe;
  recipe.width = 2;
  recipe.height = 2;
  recipe.bitCount = 8;
  const std::string bytes = mv::test::BuildBmp(recipe);
  std::vector<std::string> paths;
  paths.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "img%05d.bmp", i);
    paths.push_back(dir + name);
    if (!WriteBytes(paths.back(), bytes)) {
      std::fprintf(stderr, "cannot write %s\n", paths.back().c_str());
      return 2;
    }
  }

  app::CreateForms();
  frmMain->Show();
  Pump();

  // Every box answers Yes; a load failure box would be counted.
  int boxes = 0;
  forms::SetMessageBoxHook([&](const forms::MessageBoxRequest&) {
    ++boxes;
    return IDYES;
  });
  forms::OpenDialog::ExecuteOverride() = [&](forms::OpenDialog& d) {
    d.Files.clear();
    for (const std::string& p : paths) d.Files.push_back(mv::WideFromAnsi(p));
    return true;
  };

  // What the load cannot do with less: decode every file and keep it.
  int undecoded = 0;
  auto decode_alone = [&] {
    std::vector<std::unique_ptr<tag_BeforeImage>> decoded;
    decoded.reserve(paths.size());
    const double start = Seconds();
    for (const auto& p : paths) {
      decoded.push_back(std::make_unique<tag_BeforeImage>());
      decoded.back()->FilePath = p;
      if (!DecodeImage(*frmMain->SpiCtrl, decoded.back().get())) ++undecoded;
    }
    return Seconds() - start;
  };
  std::vector<double> decode_times, load_times;
  bool ok = true;
  for (int round = 0; round < kLoadRounds; ++round) {
    if (round > 0) frmMain->RemoveImages(std::vector<bool>(static_cast<size_t>(count), true));
    decode_times.push_back(decode_alone());
    const int boxes_before = boxes;
    const double load_start = Seconds();
    frmMain->btnLoadClick(nullptr);
    // The load runs on its own threads; it has ended when the window says so.
    while (frmMain->Loading()) {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      Pump();
    }
    load_times.push_back(Seconds() - load_start);
    ok = ok && boxes == boxes_before && frmMain->lstBefore->Count() == count &&
         static_cast<int>(frmMain->BeforeImages.size()) == count;
  }
  forms::OpenDialog::ExecuteOverride() = nullptr;
  // The fastest rounds: other work on the machine only ever adds time.
  const double decode_time = *std::min_element(decode_times.begin(), decode_times.end());
  const double load_time = *std::min_element(load_times.begin(), load_times.end());
  ok = ok && undecoded == 0;
  const int load_boxes = boxes;

  for (int i = 1; i < count; i += 2) frmMain->lstBefore->SetSelected(i, true);
  const int selected = frmMain->lstBefore->SelCount();

  const double remove_start = Seconds();
  frmMain->RemoveSelectedImages();
  const double remove_time = Seconds() - remove_start;

  const int kept = (count + 1) / 2;
  ok = ok && boxes == load_boxes + 1 && selected == count / 2 && frmMain->lstBefore->Count() == kept &&
       frmPreview->cmbPreview->Count() == kept && frmPrePalette->cmbPreview->Count() == kept &&
       static_cast<int>(frmMain->BeforeImages.size()) == kept;
  for (int i = 0; ok && i < kept; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "img%05d.bmp", 2 * i);
    ok = frmMain->lstBefore->Item(i) == name && frmPrePalette->cmbPreview->Item(i) == name &&
         frmMain->BeforeImages[static_cast<size_t>(i)]->FileName == name;
  }

  std::printf("images decoded alone: %d in %.3f s (fastest of %d)\n", count, decode_time, kLoadRounds);
  std::printf("images loaded:   %d in %.3f s (fastest of %d)\n", count, load_time, kLoadRounds);
  std::printf("load / decoding alone: %.3f (target: at most 1.0)\n", decode_time > 0 ? load_time / decode_time : 0.0);
  std::printf("images removed:  %d in %.3f s\n", selected, remove_time);
  std::printf("removal / load:  %.3f (target: at most 1)\n", load_time > 0 ? remove_time / load_time : 0.0);
  std::printf("lists after removal: %s\n", ok ? "correct" : "WRONG");

  forms::SetMessageBoxHook(nullptr);
  app::DestroyForms();
  for (const auto& p : paths) ::DeleteFileA(p.c_str());
  ::RemoveDirectoryA(dir.c_str());
  return ok ? 0 : 1;
}
