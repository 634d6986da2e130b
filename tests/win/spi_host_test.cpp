// The plug-in host against the fixture plug-ins: which libraries it takes,
// in which order, what it reads from them, and that it frees them.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "plugins/spi_ctrl.h"
#include "susie/tls_room.h"
#include "tests/win/support/paths.h"
#include "tests/win/support/plugin_place.h"
#include "tests/win/support/worker_test_support.h"

namespace {

std::string CopyFixtures(const std::string& scratch, const std::vector<std::string>& names) {
  std::string dir = mvtest::MakeScratchDir(scratch);
  for (const auto& n : names)
    EXPECT_TRUE(::CopyFileA((mvtest::FixtureDir() + n).c_str(), (dir + n).c_str(), FALSE)) << n;
  return dir;
}

// Plug-in file names in the order the directory search reports them.
std::vector<std::string> SearchOrder(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA((dir + "*" MV_SPI_EXT).c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do names.push_back(fd.cFileName);
  while (::FindNextFileA(h, &fd));
  ::FindClose(h);
  return names;
}

std::vector<std::string> Listed(const QvSpiCtrl& host) {
  std::vector<std::string> names;
  for (const auto& p : host.Plugins) names.push_back(p->FileName);
  return names;
}

const QvSpiPlugin* Find(const QvSpiCtrl& host, const std::string& name) {
  for (const auto& p : host.Plugins)
    if (p->FileName == name) return p.get();
  return nullptr;
}

}  // namespace

TEST(SpiHost, TakesOnlyLibrariesWithIsSupportedAndGetPicture) {
  const std::string dir = CopyFixtures("host_accept", {"mvt_good" MV_SPI_EXT, "mvt_noinfo" MV_SPI_EXT, "mvt_infoonly" MV_SPI_EXT,
                                                       "not_a_dll" MV_SPI_EXT, "mvt_failpic" MV_SPI_EXT});
  QvSpiCtrl host(dir);
  std::vector<std::string> expected;
  for (const auto& n : SearchOrder(dir))
    if (n != "mvt_infoonly" MV_SPI_EXT && n != "not_a_dll" MV_SPI_EXT) expected.push_back(n);
  EXPECT_EQ(Listed(host), expected);  // directory order, unsorted
  EXPECT_EQ(host.PluginDir, dir);
  EXPECT_EQ(host.MappingCounter, 0);

  const QvSpiPlugin* good = Find(host, "mvt_good" MV_SPI_EXT);
  ASSERT_NE(good, nullptr);
  EXPECT_EQ(good->Description, "Morvane MVT fixture 1.0");
  EXPECT_EQ(good->ExtFilter, "*.mvt");
  EXPECT_EQ(good->Enabled, 1);
  EXPECT_TRUE(good->HasConfig);
  // A third-party plug-in runs in a worker: nothing of it is loaded here.
  EXPECT_EQ(::GetModuleHandleA((dir + "mvt_good" MV_SPI_EXT).c_str()), nullptr);
  EXPECT_EQ(mvtest::WorkersOf(::GetCurrentProcessId()).size(), 1u);

  const QvSpiPlugin* noinfo = Find(host, "mvt_noinfo" MV_SPI_EXT);
  ASSERT_NE(noinfo, nullptr);
  EXPECT_EQ(noinfo->Description, "");
  EXPECT_EQ(noinfo->ExtFilter, "");
}

TEST(SpiHost, InProcessTheLibrariesAreLoadedHereWithTheirEntryPoints) {
  const mvtest::PluginsInProcess here;
  const std::string dir = CopyFixtures("host_accept_here", {"mvt_good" MV_SPI_EXT, "mvt_noinfo" MV_SPI_EXT,
                                                            "mvt_infoonly" MV_SPI_EXT, "not_a_dll" MV_SPI_EXT});
  QvSpiCtrl host(dir);
  EXPECT_EQ(host.Plugins.size(), 2u);
  const QvSpiPlugin* good = Find(host, "mvt_good" MV_SPI_EXT);
  ASSERT_NE(good, nullptr);
  EXPECT_NE(::GetModuleHandleA((dir + "mvt_good" MV_SPI_EXT).c_str()), nullptr);
  EXPECT_TRUE(mvtest::WorkersOf(::GetCurrentProcessId()).empty());
  EXPECT_EQ(good->Description, "Morvane MVT fixture 1.0");
  EXPECT_TRUE(good->HasConfig);
  EXPECT_EQ(Find(host, "mvt_noinfo" MV_SPI_EXT)->Description, "");
  // A library that loaded but was not taken is not kept loaded either.
  EXPECT_EQ(::GetModuleHandleA((dir + "mvt_infoonly" MV_SPI_EXT).c_str()), nullptr);
}

TEST(SpiHost, EmptyOrMissingFolderGivesEmptyList) {
  const std::string empty = mvtest::MakeScratchDir("host_empty");
  mvtest::WriteFileBytes(empty + "readme.txt", "not a plug-in");
  QvSpiCtrl a(empty);
  EXPECT_TRUE(a.Plugins.empty());
  QvSpiCtrl b(empty + "does_not_exist\\");
  EXPECT_TRUE(b.Plugins.empty());
  // Our own plug-in runs here: a folder without others starts no worker.
  const std::string bundled = std::string(spi::kBundledPlugin) + MV_SPI_EXT;
  ASSERT_TRUE(::CopyFileA((mvtest::ProgramDir() + bundled).c_str(), (empty + bundled).c_str(), FALSE));
  QvSpiCtrl c(empty);
  ASSERT_EQ(c.Plugins.size(), 1u);
  EXPECT_NE(::GetModuleHandleA((empty + bundled).c_str()), nullptr);
  EXPECT_TRUE(mvtest::WorkersOf(::GetCurrentProcessId()).empty());
}

TEST(SpiHost, FolderWithTrailingBackslashStillLoads) {
  // The default folder ends in a backslash: pattern and paths get a
  // doubled one, which the system accepts.
  const std::string dir = CopyFixtures("host_slash", {"mvt_good" MV_SPI_EXT});
  ASSERT_EQ(dir.back(), '\\');
  QvSpiCtrl host(dir);
  ASSERT_EQ(Listed(host), std::vector<std::string>{"mvt_good" MV_SPI_EXT});
  std::string no_slash = dir.substr(0, dir.size() - 1);
  QvSpiCtrl host2(no_slash);
  EXPECT_EQ(Listed(host2), std::vector<std::string>{"mvt_good" MV_SPI_EXT});
}

TEST(SpiHost, ReloadsKeepEachLibraryLoadedOnceAndDestructionFreesIt) {
  const mvtest::PluginsInProcess here;
  const std::string dir = CopyFixtures("host_reload", {"mvt_good" MV_SPI_EXT, "mvt_cfg5" MV_SPI_EXT});
  const std::string good = dir + "mvt_good" MV_SPI_EXT;
  {
    QvSpiCtrl host(dir);
    host.Plugins[0]->Enabled = 0;
    host.LoadPlugins();
    host.LoadPlugins();
    ASSERT_EQ(host.Plugins.size(), 2u);
    for (const auto& p : host.Plugins) EXPECT_EQ(p->Enabled, 1);  // back to in use after a reload
    HMODULE m = ::GetModuleHandleA(good.c_str());
    ASSERT_NE(m, nullptr);
    // One reference of ours more and one free brings it to exactly the
    // host's single reference.
    HMODULE again = ::LoadLibraryA(good.c_str());
    EXPECT_EQ(again, m);
    ::FreeLibrary(again);
    EXPECT_NE(::GetModuleHandleA(good.c_str()), nullptr);
  }
  // The host held each library exactly once: after it, they are gone.
  EXPECT_EQ(::GetModuleHandleA(good.c_str()), nullptr);
  EXPECT_EQ(::GetModuleHandleA((dir + "mvt_cfg5" MV_SPI_EXT).c_str()), nullptr);
}

TEST(SpiHost, ALibraryThatFreedItselfIsNeitherReadNorCalledNorFreedAgain) {
  const mvtest::PluginsInProcess here;
  const std::string name = "mvt_free_self" MV_SPI_EXT;
  const std::string dir = CopyFixtures("host_free_self", {name});
  const std::string other = dir + "other.dll";
  ASSERT_TRUE(::CopyFileA((dir + name).c_str(), other.c_str(), FALSE));
  // 32-bit, its return into the freed code faults (caught); 64-bit, it returns.
  auto free_itself = [](QvSpiCtrl& host) {
    try {
      host.ShowPluginConfig(0, ::GetDesktopWindow());
    } catch (const PluginFaulted&) {
    }
  };
  {
    // Another library now lies where it was: neither called nor freed by the reload.
    QvSpiCtrl host(dir);
    ASSERT_EQ(Listed(host), std::vector<std::string>{name});
    const HMODULE base = ::GetModuleHandleA((dir + name).c_str());
    free_itself(host);
    ASSERT_EQ(::GetModuleHandleA((dir + name).c_str()), nullptr) << "the fixture did not free itself";
    const HMODULE in_its_place = ::LoadLibraryA(other.c_str());
    ASSERT_EQ(in_its_place, base) << "the other library was not loaded where the plug-in was";
    EXPECT_EQ(host.ShowPluginConfig(0, ::GetDesktopWindow()), -1);
    host.LoadPlugins();
    EXPECT_EQ(::GetModuleHandleA(other.c_str()), in_its_place) << "the reload freed another library";
    ::FreeLibrary(in_its_place);
  }
  // Nothing lies where it was: the host's end (as at exit) reads nothing of it.
  QvSpiCtrl host(dir);
  free_itself(host);
  EXPECT_EQ(::GetModuleHandleA((dir + name).c_str()), nullptr);
}

TEST(SpiHost, ShowPluginConfigPassesResultAndParent) {
  const std::string dir = CopyFixtures("host_config", {"mvt_good" MV_SPI_EXT, "mvt_failpic" MV_SPI_EXT, "mvt_cfg5" MV_SPI_EXT,
                                                       "mvt_nocfg" MV_SPI_EXT});
  QvSpiCtrl host(dir);
  HWND parent = ::GetDesktopWindow();
  for (size_t i = 0; i < host.Plugins.size(); ++i) {
    const std::string& n = host.Plugins[i]->FileName;
    const int r = host.ShowPluginConfig(static_cast<int>(i), parent);
    const int expected = n == "mvt_good" MV_SPI_EXT ? 0 : n == "mvt_cfg5" MV_SPI_EXT ? 5 : -1;  // nocfg: nothing to call
    EXPECT_EQ(r, expected) << n;
  }
  EXPECT_EQ(host.ShowPluginConfig(99, parent), -1);
}

TEST(SpiHost, LongFolderNamesDoNotOverflow) {
  // A real folder whose library paths pass the 256 bytes an old host
  // builds them in, yet stay within what the system loads: listed.
  const std::string dir = mvtest::MakeScratchDir("host_long");
  ASSERT_LT(dir.size(), 200u);
  const std::string name = "mvt_good" MV_SPI_EXT;
  const std::string folder = dir + std::string(MAX_PATH - 2 - name.size() - dir.size(), 'a');
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(::CopyFileA((mvtest::FixtureDir() + name).c_str(), (folder + "\\" + name).c_str(), FALSE));
  ASSERT_GT(folder.size() + 1 + name.size(), 256u);
  QvSpiCtrl host(folder);
  EXPECT_EQ(Listed(host), std::vector<std::string>{name});
  // Far beyond what the system takes: nothing, and nothing overflows.
  const std::string deep = folder + "\\" + std::string(200, 'b');
  QvSpiCtrl none(deep);
  EXPECT_TRUE(none.Plugins.empty());
  EXPECT_EQ(none.PluginDir, deep);
}

TEST(SpiHost, ShortOfThreadStorageLoadsNothing) {
  // A plug-in that finds no TLS index left may abort the process as it
  // loads (some take one on every load and keep it): with less than the
  // reserve free, the host loads none.
  const std::string dir = CopyFixtures("host_tls", {"mvt_good" MV_SPI_EXT});
  const mvtest::PluginsInProcess here;  // the host's own TLS is what runs short
  std::vector<DWORD> taken;
  for (DWORD i; (i = ::TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(i);
  for (int i = 1; i < spi::kTlsReserve && !taken.empty(); ++i) {
    ::TlsFree(taken.back());
    taken.pop_back();
  }
  const size_t loaded_short = QvSpiCtrl(dir).Plugins.size();
  for (DWORD i : taken) ::TlsFree(i);
  EXPECT_EQ(loaded_short, 0u);
  EXPECT_EQ(QvSpiCtrl(dir).Plugins.size(), 1u);
}

TEST(SpiHost, ProgressCallbackNeverStops) {
  EXPECT_EQ(QvSpiCtrl::ProgressCallback(0, 100, 0), 0);
  EXPECT_EQ(QvSpiCtrl::ProgressCallback(100, 100, 12345), 0);
}
