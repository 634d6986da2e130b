// The load command: choose files (or a folder), decode them off the
// window's thread, append the images in the order given.
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "app/MainForm.h"
#include "app/folder_files.h"
#include "base/open_file.h"
#include "base/wide_text.h"
#include "decode/load_queue.h"
#include "forms/message_box.h"
#include "plugins/spi_ctrl.h"

namespace {

// A load that ends within this shows no progress.
constexpr DWORD kQuietLoadMs = 500;
// The window takes results for at most this long at a time, then answers
// its input.
constexpr DWORD kSliceMs = 20;
constexpr std::size_t kTakeBatch = 64;
// A failure message names this many files, then how many more.
constexpr std::size_t kFailuresNamed = 20;

}  // namespace

void TfrmMain::btnLoadClick(void*) {
  for (;;) {
    try {
      dlgLoad->FileName.clear();
      dlgLoad->InitialDir = LastFolder;
      if (!dlgLoad->Execute(Handle())) return;
      LoadPaths(dlgLoad->Files);
      return;
    } catch (const forms::FileOpenError& e) {
      if (forms::ShowMessageBox(Handle(), e.what(), "オープンエラー", MB_RETRYCANCEL) != IDRETRY) return;
    }
  }
}

void TfrmMain::Menu_LoadFolderClick(void*) {
  std::wstring folder;
  if (ChooseFolder && ChooseFolder(folder)) LoadPaths({folder});
}

void TfrmMain::Menu_StopLoadClick(void*) { StopLoad(); }

std::vector<std::wstring> TfrmMain::ExpandFolders(const std::vector<std::wstring>& paths) const {
  // What the enabled plug-ins claim by name.
  std::wstring patterns;
  for (const auto& p : SpiCtrl->Plugins)
    if (p->Enabled == 1 && !p->Faulted && !p->Filters.empty()) patterns += mv::WideFromAnsi(p->Filters) + L';';
  std::vector<std::wstring> files;
  for (const std::wstring& path : paths) {
    const DWORD attributes = ::GetFileAttributesW(mv::FileCallPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      files.push_back(path);  // a name that is no file fails like any other
      continue;
    }
    for (std::wstring& file : app::ImageFilesIn(path, patterns)) files.push_back(std::move(file));
  }
  return files;
}

void TfrmMain::LoadPaths(const std::vector<std::wstring>& paths) {
  std::vector<std::wstring> files = ExpandFolders(paths);
  if (files.empty()) return;
  if (load_) {
    queued_loads_.push_back(std::move(files));
    return;
  }
  StartLoad(std::move(files));
}

void TfrmMain::StartLoad(std::vector<std::wstring> files) {
  load_failures_.clear();
  load_palette_failed_ = false;
  load_started_ = ::GetTickCount();
  for (forms::ItemList* list : NameLists()) list->Reserve(list->Count() + static_cast<int>(files.size()));
  // Removal and the plug-in dialog wait for the load's end.
  btnDel1->SetEnabled(false);
  Menu()->SetEnabled(Menu_Plugin, false);
  Menu()->SetEnabled(Menu_StopLoad, true);
  load_ = std::make_unique<LoadQueue>(*SpiCtrl, std::move(files), SpiCtrl->Decoders(), [this] { WakeLoad(); });
  tmrLoad->SetEnabled(true);
}

bool TfrmMain::LoadStopped() const { return load_ && load_->Stopped(); }

void TfrmMain::StopLoad() {
  if (!load_ || load_->Stopped()) return;
  load_->Stop();
  queued_loads_.clear();
}

void TfrmMain::WakeLoad() {
  // One wake waits in the queue at a time, however many results come.
  if (!load_woken_.exchange(true)) PostCall([this] {
      load_woken_ = false;
      TakeLoadResults();
    });
}

void TfrmMain::TakeLoadResults() {
  if (!load_) return;
  const DWORD start = ::GetTickCount();
  bool more = false;
  // The four lists gain each image together, and draw once a slice.
  std::optional<ListsRedrawPause> pause;
  const std::size_t first = BeforeImages.size();
  for (;;) {
    // What is ready now; the rest comes on the next visit, not by waiting.
    std::vector<LoadQueue::Result> ready = load_->Take(kTakeBatch);
    if (ready.empty()) break;
    if (!pause) pause.emplace(*this);
    for (LoadQueue::Result& r : ready) {
      LastFolder = mv::ExtractFileDirW(r.path);
      if (!r.image) {
        load_failures_.push_back(std::move(r.path));
        continue;
      }
      // A native bitmap whose palette the system refused stays listed
      // without one; the user is told at the end.
      if (r.image->FormatIndex == 0 && r.image->BitCount <= 8 && !r.image->Palette) load_palette_failed_ = true;
      AppendImage(std::move(r.image));
    }
    if (ready.size() < kTakeBatch) break;
    if (::GetTickCount() - start >= kSliceMs) {
      more = true;
      break;
    }
  }
  pause.reset();
  if (BeforeImages.size() > first) UpdateBeforeExtent(first);
  ShowLoadProgress();
  if (more)
    WakeLoad();
  else if (load_->Done())
    FinishLoad();
}

void TfrmMain::ShowLoadProgress() {
  if (!load_) return;
  if (!load_progress_shown_) {
    if (::GetTickCount() - load_started_ < kQuietLoadMs || load_->Stopped()) return;
    status_after_load_ = StatusBar->SimpleText();
    prgLoad->SetMax(static_cast<int>(load_->Total()));
    prgLoad->SetVisible(true);
    load_progress_shown_ = true;
  }
  const std::size_t taken = load_->Taken();
  StatusBar->SetSimpleText("読み込み中 " + std::to_string(taken) + " / " + std::to_string(load_->Total()));
  prgLoad->SetPosition(static_cast<int>(taken));
}

void TfrmMain::FinishLoad() {
  tmrLoad->SetEnabled(false);
  const bool stopped = load_->Stopped();
  load_.reset();
  if (load_progress_shown_) {
    prgLoad->SetVisible(false);
    StatusBar->SetSimpleText(status_after_load_);
    load_progress_shown_ = false;
  }
  btnDel1->SetEnabled(lstBefore->Count() > 0);
  Menu()->SetEnabled(Menu_Plugin, true);
  Menu()->SetEnabled(Menu_StopLoad, false);
  // A load the user stopped ends quietly.
  if (!stopped) {
    ShowLoadFailures();
    if (load_palette_failed_)
      forms::ShowMessageBox(nullptr, "パレットの作成に失敗しました", "パレット作成失敗", MB_OK | MB_ICONSTOP);
  }
  if (!queued_loads_.empty()) {
    std::vector<std::wstring> next = std::move(queued_loads_.front());
    queued_loads_.pop_front();
    StartLoad(std::move(next));
    return;
  }
  ResumePendingClose();
}

void TfrmMain::ShowLoadFailures() {
  if (load_failures_.empty()) return;
  std::wstring text;
  if (load_failures_.size() == 1) {
    text = mv::WideFromAnsi("指定のファイル：\r\n") + load_failures_[0] + mv::WideFromAnsi("\r\nを読み込むことができません");
  } else {
    text = mv::WideFromAnsi("次のファイルを読み込むことができません：");
    for (std::size_t i = 0; i < load_failures_.size() && i < kFailuresNamed; ++i) text += L"\r\n" + load_failures_[i];
    if (load_failures_.size() > kFailuresNamed)
      text += mv::WideFromAnsi("\r\nほか " + std::to_string(load_failures_.size() - kFailuresNamed) + " 件");
  }
  load_failures_.clear();
  forms::ShowMessageBox(Handle(), text, "読み込み失敗", MB_OK);
}
