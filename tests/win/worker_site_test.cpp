// Plug-ins in a worker, against a worker that lies or dies as the test
// says: every size it names is checked against its real block, a reply is
// read once, its word on whom to blame counts only for a plug-in it was
// asked to call, and the deaths over one file have a bound.
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/handles.h"
#include "base/wide_text.h"
#include "forms/bitmap.h"
#include "plugins/worker_site.h"
#include "tests/win/support/fake_worker.h"
#include "tests/win/support/paths.h"

namespace {

using End = spi::WorkerChannel::End;

class WorkerSiteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = mv::WideFromAnsi(mvtest::MakeScratchDir("worker_site") + "a.mvt");
    mvtest::WriteFileBytes(path, std::string(100, 'x'));
    // Each load makes the pool's one worker anew: a fake that loads every
    // plug-in (again, when started anew) and answers decodes with `decode`.
    site = std::make_unique<spi::WorkerSite>(
        [this] {
          auto made = std::make_unique<mvtest::FakeWorker>();
          fake = made.get();
          fake->version = version;
          fake->answer = [this](const std::uint8_t* request, std::uint8_t* out) {
            if (request[0] == static_cast<std::uint8_t>(worker::Op::Load)) return mvtest::LoadAll(request, out);
            worker::DecodeRequest head;
            std::memcpy(&head, request, sizeof head);
            std::vector<int> asked(head.count);
            std::memcpy(asked.data(), request + sizeof head, asked.size() * sizeof(int));
            worker::DecodeReply reply{};
            reply.op = static_cast<std::uint32_t>(worker::Op::Decode);
            const End end = decode(asked, reply);
            std::memcpy(out, &reply, sizeof reply);
            return end;
          };
          return made;
        },
        1);
    site->OnFault = [this](int p) { faulted.push_back(p); };
  }
  // Loads `count` plug-ins into a fake worker that answers decodes with
  // `answer`: the plug-ins of the request, and where to write the reply.
  void Load(int count, std::function<End(const std::vector<int>& asked, worker::DecodeReply& reply)> answer) {
    decode = std::move(answer);
    std::vector<spi::SiteLoaded> loaded;
    ASSERT_TRUE(site->Load("C:\\plugins", std::vector<std::string>(static_cast<std::size_t>(count), "p.spi"), loaded));
  }
  spi::Outcome Decode(int plugins) {
    std::vector<int> all;
    for (int i = 0; i < plugins; ++i) all.push_back(i);
    picture = mv::DecodedPicture{};
    return site->Decode(path, nullptr, all, picture);
  }
  // An honest 2 x 2 24-bit picture in the reply itself (rows left zero).
  static End Honest(int plugin, worker::DecodeReply& r) {
    r.result = static_cast<std::int32_t>(spi::Outcome::Decoded);
    r.plugin = plugin;
    r.width = 2, r.height = 2, r.bitCount = 24;
    return End::Replied;
  }
  // A section of `bytes`, made only to reserve them when `reserve_only`.
  static std::uint64_t Section(DWORD bytes, bool reserve_only = false) {
    return reinterpret_cast<std::uintptr_t>(::CreateFileMappingA(
        INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | (reserve_only ? SEC_RESERVE : 0), 0, bytes, nullptr));
  }

  std::wstring path;
  std::function<End(const std::vector<int>& asked, worker::DecodeReply& reply)> decode;
  std::uint32_t version = worker::kVersion;
  mvtest::FakeWorker* fake = nullptr;
  std::unique_ptr<spi::WorkerSite> site;
  std::vector<int> faulted;
  mv::DecodedPicture picture;
};

}  // namespace

// Each lie is that plug-in's refusal: the next plug-in's picture is taken.
TEST_F(WorkerSiteTest, SizesAndCountsBeyondTheirBlockAreRefused) {
  const std::vector<std::function<void(worker::DecodeReply&)>> lies = {
      [](auto& r) { r.width = 1100, r.height = 800; },  // 2.6 MB of rows where at most 2 MB travel
      [](auto& r) { r.width = 100, r.height = 100, r.bitCount = 32, r.section = Section(4096); },
      [](auto& r) { r.width = 100, r.height = 100, r.bitCount = 32, r.section = Section(40000, true); },
      [](auto& r) { r.bitCount = 8, r.colorCount = 257; },
      [](auto& r) { r.bitCount = 24, r.colorCount = 1; },
      [](auto& r) { r.bitCount = 7; },
      [](auto& r) { r.width = 0; },
      [](auto& r) { r.height = INT32_MIN; },
      [](auto& r) { r.width = 65536; },
  };
  for (std::size_t i = 0; i < lies.size(); ++i) {
    SCOPED_TRACE(i);
    Load(2, [&](const std::vector<int>& asked, worker::DecodeReply& r) {
      Honest(asked[0], r);
      if (asked[0] == 0) lies[i](r);
      return End::Replied;
    });
    ASSERT_EQ(Decode(2), spi::Outcome::Decoded);
    EXPECT_EQ(picture.width, 2);
    EXPECT_EQ(picture.bitCount, 24);
    EXPECT_TRUE(faulted.empty());
  }
}

TEST_F(WorkerSiteTest, AReplyIsReadOnceWhateverTheWorkerWritesAfterIt) {
  Load(1, [](const std::vector<int>&, worker::DecodeReply& r) { return Honest(0, r); });
  fake->after_reply = [](std::uint8_t* reply) {
    worker::DecodeReply r;
    std::memcpy(&r, reply, sizeof r);
    r.width = 60000, r.height = 60000, r.bitCount = 32;
    std::memcpy(reply, &r, sizeof r);
  };
  ASSERT_EQ(Decode(1), spi::Outcome::Decoded);
  EXPECT_EQ(picture.width, 2);
  EXPECT_EQ(picture.height, 2);
  ASSERT_NE(picture.bitmap, nullptr);
  EXPECT_EQ(picture.bitmap->Width(), 2);
}

// A worker that dies naming a plug-in the request did not name, or none:
// nobody is marked, and after two such deaths the run is passed over.
// One that names a plug-in it was asked to call: that one is marked and the
// file goes on to the next in a new worker.
TEST_F(WorkerSiteTest, TheWorkersWordOnWhomToBlameCountsOnlyForPluginsItWasAsked) {
  for (const int liar : {-1, 7, 2}) {
    SCOPED_TRACE(liar);
    Load(3, [&](const std::vector<int>&, worker::DecodeReply&) {
      fake->culprit = liar;
      return End::Died;
    });
    const int starts = fake->starts;
    EXPECT_EQ(Decode(2), spi::Outcome::Declined);  // plug-in 2 is not asked
    EXPECT_TRUE(faulted.empty());
    EXPECT_EQ(fake->starts - starts, spi::WorkerSite::kMaxBlindDeaths - 1);
  }
  Load(3, [&](const std::vector<int>& asked, worker::DecodeReply& r) {
    if (asked[0] != 1) return Honest(asked[0], r);
    fake->culprit = 1;
    return End::Died;
  });
  std::vector<int> two = {1, 2};
  EXPECT_EQ(site->Decode(path, nullptr, two, picture), spi::Outcome::Decoded);
  EXPECT_EQ(faulted, std::vector<int>{1});
  EXPECT_FALSE(site->Callable(1));
}

// However many plug-ins each end their worker, one file costs a bounded
// number of workers, and then fails.
TEST_F(WorkerSiteTest, WorkersDyingOverOneFileEndInItsFailure) {
  Load(8, [&](const std::vector<int>& asked, worker::DecodeReply&) {
    fake->culprit = asked[0];
    return End::Hung;
  });
  EXPECT_EQ(Decode(8), spi::Outcome::FileError);
  EXPECT_EQ(faulted.size(), static_cast<std::size_t>(spi::WorkerSite::kMaxDeathsPerFile));
}

TEST_F(WorkerSiteTest, AWorkerOfAnotherVersionIsRefusedWithTheReason) {
  version = worker::kVersion - 1;
  std::vector<spi::SiteLoaded> loaded;
  EXPECT_FALSE(site->Load("C:\\plugins", {"p.spi"}, loaded));
  EXPECT_EQ(site->Problem(), "FakeWorker.exe はこの版のMorvaneのものではありません（版 " +
                                 std::to_string(worker::kVersion - 1) + "、必要な版 " +
                                 std::to_string(worker::kVersion) + "）");
  EXPECT_FALSE(fake->Running());
  EXPECT_FALSE(site->Callable(0));
}
