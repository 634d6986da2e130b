// The built program itself: a GUI executable of its edition (PE32 i386
// marked large-address-aware, or PE32+ x86-64) that needs no DLL beyond
// Windows' own, which starts, shows its main
// window and ends with exit code 0 when that window closes.
#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "susie/spi_interface.h"
#include "tests/win/support/app_harness.h"
#include "tests/win/support/corpus.h"
#include "tests/win/support/paths.h"
#include "tests/win/support/worker_test_support.h"

namespace {

std::string ExePath() { return mvtest::ProgramPath(); }

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(::toupper(c)); });
  return s;
}

}  // namespace

TEST(Executable, GuiImageOfItsEditionWithSystemImportsOnly) {
  std::string image;
  ASSERT_TRUE(mvtest::ReadAll(ExePath(), image)) << ExePath();
  ASSERT_GT(image.size(), 0x400u);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
  ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
  // IMAGE_NT_HEADERS is the layout of this edition's own images.
  ASSERT_LT(static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS), image.size());
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.data() + dos->e_lfanew);
  ASSERT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
#ifdef _WIN64
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
  EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
#else
  EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
  EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE);
#endif
  EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);

  // Walk the import directory through the section table.
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  const auto* sections = IMAGE_FIRST_SECTION(nt);
  auto to_offset = [&](DWORD rva) -> size_t {
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
      const auto& s = sections[i];
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + std::max(s.Misc.VirtualSize, s.SizeOfRawData))
        return rva - s.VirtualAddress + s.PointerToRawData;
    }
    return 0;
  };
  const std::set<std::string> system = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "COMCTL32.DLL", "COMDLG32.DLL",
                                        "SHELL32.DLL", "SHLWAPI.DLL", "OLE32.DLL", "ADVAPI32.DLL", "MSVCRT.DLL",
                                        "OLEAUT32.DLL"};
  size_t off = to_offset(dir.VirtualAddress);
  ASSERT_NE(off, 0u);
  int imports = 0;
  for (;; off += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    ASSERT_LT(off + sizeof(IMAGE_IMPORT_DESCRIPTOR), image.size());
    const auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.data() + off);
    if (d->Name == 0) break;
    const size_t name = to_offset(d->Name);
    ASSERT_NE(name, 0u);
    const std::string dll = Upper(image.c_str() + name);
    EXPECT_TRUE(system.count(dll)) << "imports " << dll;
    ++imports;
  }
  EXPECT_GT(imports, 3);
}

TEST(Executable, StartsShowsMainWindowAndEndsWithZero) {
  STARTUPINFOA si{sizeof(si)};
  PROCESS_INFORMATION pi{};
  std::string cmd = '"' + ExePath() + '"';
  ASSERT_TRUE(::CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               (mvtest::ExeDir() + "..\\bin").c_str(), &si, &pi));
  HWND main = nullptr;
  for (int i = 0; i < 300 && !main; ++i) {
    HWND w = ::FindWindowA(nullptr, "Morvane Ver.0.9");
    DWORD pid = 0;
    if (w) ::GetWindowThreadProcessId(w, &pid);
    if (w && pid == pi.dwProcessId && ::IsWindowVisible(w)) main = w;
    else ::Sleep(50);
  }
  ASSERT_NE(main, nullptr) << "no visible main window";
  RECT r;
  ::GetClientRect(main, &r);
  EXPECT_EQ(r.right, 631);
  EXPECT_EQ(r.bottom, 434);
  ::PostMessageA(main, WM_CLOSE, 0, 0);
  ASSERT_EQ(::WaitForSingleObject(pi.hProcess, 15000), WAIT_OBJECT_0);
  DWORD code = 1;
  ::GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
}

// The program alone in a folder, as users copy portable tools, serves as
// the worker for its own third-party plug-ins: it decodes through one. The
// worker runs in a job that ends with the program, however it ends.
TEST(Executable, AloneInAFolderItDecodesThroughItsOwnWorkerWhichEndsWithIt) {
  const std::string alone = mvtest::MakeScratchDir("exe_alone");
  const std::string plugins = mvtest::MakeScratchDir("exe_plugins");
  ASSERT_TRUE(::CopyFileA(ExePath().c_str(), (alone + mvtest::kProgramExe).c_str(), FALSE));
  ASSERT_TRUE(::CopyFileA((mvtest::FixtureDir() + "mvt_good" MV_SPI_EXT).c_str(),
                          (plugins + "mvt_good" MV_SPI_EXT).c_str(), FALSE));
  mvtest::WriteFileBytes(alone + "Morvane.ini", "[Setting]\r\nSusie Plug-in Dir=" + plugins + "\r\n");
  mvtest::WriteFileBytes(alone + "a.mvt", mvtest::WorkerTest::Mvt8());
  STARTUPINFOA si{sizeof(si)};
  PROCESS_INFORMATION pi{};
  std::string cmd = "\"" + alone + mvtest::kProgramExe + "\" a.mvt";
  ASSERT_TRUE(::CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, alone.c_str(), &si, &pi));
  std::vector<std::wstring> listed;
  for (int i = 0; i < 300 && listed.empty(); ++i) {
    ::Sleep(50);
    listed = mvtest::SourceListOf(pi.dwProcessId);
  }
  const std::vector<unsigned long> workers = mvtest::WorkersOf(pi.dwProcessId);
  EXPECT_EQ(listed, std::vector<std::wstring>{L"a.mvt"});
  ASSERT_EQ(workers.size(), 1u) << "the program started no worker for its third-party plug-in";
  HANDLE worker = ::OpenProcess(SYNCHRONIZE, FALSE, workers[0]);
  ASSERT_NE(worker, nullptr);
  ::TerminateProcess(pi.hProcess, 9);
  ::WaitForSingleObject(pi.hProcess, 15000);
  EXPECT_EQ(::WaitForSingleObject(worker, 10000), WAIT_OBJECT_0) << "the worker outlived the program";
  ::CloseHandle(worker);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
}
