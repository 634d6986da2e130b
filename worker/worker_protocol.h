// What the program and its plug-in workers say to each other. Both sides,
// 32-bit and 64-bit, include this one header: fixed-width fields only, no
// pointers, one layout whatever the architecture.
//
// The channel is one shared block (the mailbox) and two events. The host
// writes a request into the request area and sets the request event; the
// worker answers in the reply area and sets the reply event. Handles named
// in a message are values in the receiving process: the host duplicates
// them into the worker before it sends, and the worker hands its own back
// for the host to duplicate out.
//
// The host trusts nothing the worker writes: it copies a reply out of the
// mailbox before it looks at it, and checks every count and size against
// what it asked for and against the real size of any block named.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace worker {

inline constexpr std::uint32_t kMagic = 0x4B57564Du;  // "MVWK"
inline constexpr std::uint32_t kVersion = 3;

inline constexpr std::uint32_t kMaxPlugins = 1024;  // plug-ins one worker holds
inline constexpr std::uint32_t kPathBytes = 1040;   // a plug-in's ANSI file name or folder, terminator included
// A file's names, of any length the file system allows (32,767 UTF-16
// units; two bytes each at most in the code page).
inline constexpr std::uint32_t kNameChars = 32768;
inline constexpr std::uint32_t kNameBytes = 2 * kNameChars;
inline constexpr std::uint32_t kInfoBytes = 256;    // a GetPluginInfo text: 255 and a terminator
inline constexpr std::uint32_t kFiltersBytes = 2048;  // every filter of a plug-in, joined by ';'

enum class Op : std::uint32_t { None = 0, Load = 1, Decode = 2, Configure = 3, Quit = 4 };

// Written by the worker at the start of the mailbox. The host reads these
// fields while the worker runs: to tell a hang from work, and to learn
// which plug-in was running when the worker died.
struct MailboxHeader {
  std::uint32_t magic;
  std::uint32_t version;
  std::uint32_t heartbeat;  // moves at every plug-in call and progress report
  std::int32_t running;     // the plug-in being called now, -1 between calls
  std::int32_t blamed;      // a plug-in whose own code raised the fault that ends the worker, -1 if none known
  std::int32_t lastCalled;  // the last plug-in called, -1 before any
  std::uint32_t reserved[2];
};
static_assert(sizeof(MailboxHeader) == 32);

inline constexpr std::uint32_t kRequestOffset = 64;
inline constexpr std::uint32_t kRequestBytes = 4u << 20;
inline constexpr std::uint32_t kReplyOffset = kRequestOffset + kRequestBytes;
inline constexpr std::uint32_t kReplyBytes = 4u << 20;
inline constexpr std::uint32_t kMailboxBytes = kReplyOffset + kReplyBytes;

// Small files and pictures travel in the mailbox itself: mapping a view of
// a section of their own costs more than copying them.
inline constexpr std::uint32_t kInlineFileBytes = 2u << 20;
inline constexpr std::uint32_t kInlinePixelBytes = 2u << 20;

// ---- Load: the plug-ins this worker is to hold, in order ------------------

struct LoadName {
  char fileName[kPathBytes];  // empty: a place kept for a plug-in not to be loaded
};

struct LoadRequest {
  std::uint32_t op;  // Op::Load
  std::uint32_t count;
  char folder[kPathBytes];
  // followed by `count` LoadName
};
static_assert(sizeof(LoadRequest) == 1048);

struct LoadedPlugin {
  std::int32_t result;       // an spi::LoadResult
  std::uint32_t errorCode;   // the system's last error when it did not load
  std::int32_t hasConfig;    // exports ConfigurationDlg
  std::int32_t reserved;
  char description[kInfoBytes];  // GetPluginInfo 1
  char filter[kInfoBytes];       // GetPluginInfo 2
  char filters[kFiltersBytes];   // GetPluginInfo 2, 4, 6 ..., joined by ';'
};
static_assert(sizeof(LoadedPlugin) == 528 + kFiltersBytes);

struct LoadReply {
  std::uint32_t op;  // Op::Load
  std::uint32_t count;
  // followed by `count` LoadedPlugin, in the request's order
};

// ---- Decode: one file, offered to the listed plug-ins in order -----------

struct DecodeRequest {
  std::uint32_t op;  // Op::Decode
  std::uint32_t count;
  // A read-only mapping of the whole file, a handle in the worker; 0: the
  // file's bytes (at most kInlineFileBytes) are in the request area from
  // kInlineFileOffset.
  std::uint64_t mapping;
  std::uint64_t size;   // the file's bytes
  // The program's window that a plug-in's own windows (a prompt, a
  // warning) are to be owned by; 0: none.
  std::uint64_t owner;
  // What IsSupported is told the file is called, at kNameOffset, and the
  // same for IsSupportedW at kWideNameOffset (0 units: not told); no
  // terminators.
  std::uint32_t nameBytes;
  std::uint32_t wideNameChars;
  // followed by `count` std::int32_t plug-in indices
};
static_assert(sizeof(DecodeRequest) == 40);

// Where the names and a file sent in the request start, from the start of
// the request: after the longest list of plug-in indices, so they stay in
// place when the list is sent again shorter.
inline constexpr std::uint32_t kNameOffset = sizeof(DecodeRequest) + kMaxPlugins * 4u;
inline constexpr std::uint32_t kWideNameOffset = kNameOffset + kNameBytes;
inline constexpr std::uint32_t kInlineFileOffset = (kWideNameOffset + 2 * kNameChars + 15u) & ~15u;
static_assert(kInlineFileOffset + kInlineFileBytes <= kRequestBytes);

struct DecodeReply {
  std::uint32_t op;  // Op::Decode
  // An spi::Outcome: Decoded (`plugin` made the picture), Declined (none of
  // the listed plug-ins did), FileError (the file could not be read: no
  // plug-in is to blame), NoRoom (the worker could not map the file: its
  // plug-ins cannot take it), or Faulted (`plugin` faulted: whatever it
  // damaged stays in this process, so the worker ends once it has replied;
  // the plug-ins after it are for a new one).
  std::int32_t result;
  std::int32_t plugin;   // which plug-in decoded it, or faulted
  std::uint32_t reserved;
  // The picture, when decoded: bottom-up rows of `bitCount` bits per pixel
  // (1, 4, 8, 24 or 32; 16 as 5-6-5 bit fields; other counts as 32) and
  // |height| rows, in a section of the worker's; 0: in the reply itself
  // (at most kInlinePixelBytes), from kInlinePixelsOffset. `height` is as
  // the plug-in gave it.
  std::uint64_t section;
  std::int32_t width;
  std::int32_t height;
  std::uint32_t bitCount;     // as the plug-in gave it
  std::uint32_t colorCount;   // entries of `colors` the plug-in gave (8 bits or fewer)
  std::uint32_t colors[256];  // B, G, R, 0 as in a DIB colour table
};
static_assert(sizeof(DecodeReply) == 16 + 8 + 16 + 1024);
inline constexpr std::uint32_t kInlinePixelsOffset = (sizeof(DecodeReply) + 15u) & ~15u;
static_assert(kInlinePixelsOffset + kInlinePixelBytes <= kReplyBytes);

// ---- Configure: a plug-in's own settings dialog --------------------------

struct ConfigureRequest {
  std::uint32_t op;  // Op::Configure
  std::int32_t plugin;
  std::uint64_t parent;  // the owner window (window handles fit in 32 bits)
};

enum class ConfigureResult : std::int32_t { Returned = 0, Faulted = 1, NoDialog = 2 };

struct ConfigureReply {
  std::uint32_t op;  // Op::Configure
  std::int32_t result;  // ConfigureResult
  std::int32_t value;   // what ConfigurationDlg answered
  std::int32_t reserved;
};

// ---- Quit ----------------------------------------------------------------

struct QuitRequest {
  std::uint32_t op;  // Op::Quit
};

// The worker's command line: the program, four handles as decimal numbers,
// all inherited (mailbox section, request event, reply event, the host
// process), then this switch. The program of the host's own architecture
// serves as its worker when started so.
inline constexpr int kCommandLineHandles = 4;
inline constexpr char kWorkerSwitch[] = "/SusieWorker";

// ---- Packing ---------------------------------------------------------------

// A T at `offset` of a block of `size` bytes; zeros where the block ends
// first. Messages are read only through this, from a copy.
template <class T>
T ReadAt(const std::uint8_t* block, std::size_t size, std::size_t offset) {
  T value{};
  if (offset <= size && sizeof value <= size - offset) std::memcpy(&value, block + offset, sizeof value);
  return value;
}

template <class T>
void Append(std::string& out, const T& value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// A text into a fixed field, cut to fit, always terminated.
template <std::size_t N>
void PutText(char (&out)[N], std::string_view text) {
  const std::size_t n = std::min(text.size(), N - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

// A fixed field's text, up to its terminator or its end.
template <std::size_t N>
std::string TextOf(const char (&in)[N]) {
  return std::string(in, static_cast<std::size_t>(std::find(in, in + N, '\0') - in));
}

}  // namespace worker
