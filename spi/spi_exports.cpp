// The entry points of the WIC import plug-in. No exception leaves them:
// each answers the interface's codes instead.
#include <windows.h>

#include <cstring>
#include <new>

#include "spi/format_sniff.h"
#include "spi/plugin_info.h"
#include "spi/spi_input.h"
#include "spi/wic_factory.h"
#include "spi/wic_picture.h"
#include "susie/spi_interface.h"
#include "susie/spi_result_codes.h"

using namespace mv::wic;

namespace {

// IsSupported's second argument: a file handle when its high word is 0,
// else the address of (at least) the file's first 2 KB.
bool ReadHead(DWORD_PTR dw, std::uint8_t* head, std::size_t* got) {
  if ((dw & ~static_cast<DWORD_PTR>(0xFFFF)) != 0) {
    std::memcpy(head, reinterpret_cast<const void*>(dw), kSniffBytes);
    *got = kSniffBytes;
    return true;
  }
  // The handle is read where it stands, and left there.
  const HANDLE file = reinterpret_cast<HANDLE>(dw);
  LARGE_INTEGER zero{}, at{};
  if (!::SetFilePointerEx(file, zero, &at, FILE_CURRENT)) return false;
  DWORD n = 0;
  const BOOL ok = ::ReadFile(file, head, static_cast<DWORD>(kSniffBytes), &n, nullptr);
  ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
  *got = n;
  return ok != FALSE;
}

template <class F>
int Guarded(F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return spi::kNoMemory;
  } catch (...) {
    return spi::kInternalError;
  }
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  // reserved is set when the process is ending rather than the library freed.
  if (reason == DLL_PROCESS_DETACH) LetGoOfSharedFactory(reserved != nullptr);
  return TRUE;
}

int __stdcall GetPluginInfo(int info_no, LPSTR buf, int buf_len) { return CopyPluginInfo(info_no, buf, buf_len); }

int __stdcall IsSupported(LPCSTR /*file_name*/, DWORD_PTR dw) {
  std::uint8_t head[kSniffBytes] = {};
  std::size_t got = 0;
  if (!ReadHead(dw, head, &got)) return 0;
  return SniffFormat(head, got) != Sniffed::Unknown ? 1 : 0;
}

int __stdcall GetPictureInfo(LPCSTR buf, LONG_PTR len, unsigned int flag, SpiPictureInfo* info) {
  if (!info) return spi::kInternalError;
  return Guarded([&] {
    SpiInput input;
    if (int code = input.Open(buf, len, flag)) return code;
    return DescribePicture(input.data(), input.size(), info);
  });
}

int __stdcall GetPicture(LPCSTR buf, LONG_PTR len, unsigned int flag, HANDLE* info, HANDLE* bits,
                         SpiProgressCallback progress, LONG_PTR user_data) {
  if (!info || !bits) return spi::kInternalError;
  *info = nullptr;
  *bits = nullptr;
  return Guarded([&] {
    SpiInput input;
    if (int code = input.Open(buf, len, flag)) return code;
    return DecodePicture(input.data(), input.size(), progress, user_data, info, bits);
  });
}

int __stdcall GetPreview(LPCSTR, LONG_PTR, unsigned int, HANDLE*, HANDLE*, SpiProgressCallback, LONG_PTR) {
  return spi::kNoFunction;  // hosts then use GetPicture
}

int __stdcall ConfigurationDlg(HWND, int) { return spi::kNoFunction; }  // nothing to set

}  // extern "C"
