#include "tests/win/support/worker_test_support.h"

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "preview/PreviewForm.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/mvt_format.h"
#include "tests/win/support/paths.h"

namespace mvtest {

namespace {
constexpr const char* kWorkers[] = {"MorvaneSusieWorker32.exe"};
}

void WorkerTest::StartWith(const std::string& from, const std::string& ext, const std::vector<std::string>& stems,
                           const std::string& more) {
  images = MakeScratchDir("worker_images");
  plugin_dir = MakeScratchDir("worker_plugins");
  for (const auto& stem : stems)
    ASSERT_TRUE(::CopyFileA((from + stem + ext).c_str(), (plugin_dir + stem + ext).c_str(), FALSE)) << stem;
  // One decoder unless the test asks for a pool: a fixture's counters are
  // one block by name, started afresh by each worker that loads it.
  const std::string decoders = more.find("Decoders=") == std::string::npos ? "Decoders=1\r\n" : "";
  WriteSettingsFile("[Setting]\r\nSusie Plug-in Dir=" + plugin_dir + "\r\n" + decoders + more);
  StartApp();
  // The order of trial is the test's, whatever order the folder gave.
  auto& list = frmMain->SpiCtrl->Plugins;
  std::vector<std::unique_ptr<QvSpiPlugin>> ordered;
  for (const auto& stem : stems)
    for (auto& p : list)
      if (p && p->FileName == stem + ext) ordered.push_back(std::move(p));
  list = std::move(ordered);
}

QvSpiPlugin* WorkerTest::Plugin(const std::string& stem) {
  for (auto& p : frmMain->SpiCtrl->Plugins)
    if (p->FileName.rfind(stem + ".", 0) == 0) return p.get();
  return nullptr;
}

void WorkerTest::ListANativeImage() {
  mv::test::BmpSpec recipe;
  recipe.bitCount = 8;
  ASSERT_NE(AddListedBytes(images, "before.bmp", mv::test::BuildBmp(recipe)), nullptr);
}

void WorkerTest::ExpectStillViewable(std::size_t count) {
  ASSERT_EQ(frmMain->BeforeImages.size(), count);
  EXPECT_EQ(frmMain->lstBefore->Count(), static_cast<int>(count));
  frmPreview->ImageIndex = 0;
  frmPreview->Hide();
  frmPreview->Show();
  Pump();
  EXPECT_EQ(frmPreview->Caption().rfind(frmMain->BeforeImages[0]->FileName + " ", 0), 0u);
}

std::string WorkerTest::Mvt8() {
  std::vector<std::uint32_t> palette;
  for (std::uint32_t i = 0; i < 256; ++i) palette.push_back(i << 16 | (255 - i) << 8 | i);
  std::string rows;
  for (int y = 0; y < 4; ++y) rows += std::string(4, static_cast<char>(y * 60));
  return mv::test::BuildMvt(4, 4, 8, palette, rows);
}

std::vector<unsigned long> WorkersOf(unsigned long parent) {
  std::vector<unsigned long> found;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return found;
  std::vector<PROCESSENTRY32> all;
  PROCESSENTRY32 e{};
  e.dwSize = sizeof e;
  for (BOOL more = ::Process32First(snapshot, &e); more; more = ::Process32Next(snapshot, &e)) all.push_back(e);
  ::CloseHandle(snapshot);
  // A program serves as its own worker: a child of the same program, or
  // the 32-bit worker.
  std::string self;
  for (const PROCESSENTRY32& p : all)
    if (p.th32ProcessID == parent) self = p.szExeFile;
  for (const PROCESSENTRY32& p : all) {
    const std::string name = p.szExeFile;
    if (p.th32ParentProcessID == parent && (name == self || name.find("MorvaneSusieWorker") != std::string::npos))
      found.push_back(p.th32ProcessID);
  }
  return found;
}

HideWorkers::HideWorkers() {
  for (const char* w : kWorkers) ::MoveFileExA((ExeDir() + w).c_str(), (ExeDir() + w + ".hidden").c_str(), 0);
}

HideWorkers::~HideWorkers() {
  for (const char* w : kWorkers) ::MoveFileExA((ExeDir() + w + ".hidden").c_str(), (ExeDir() + w).c_str(), 0);
}

}  // namespace mvtest
