// The entry points of a Susie import plug-in (stdcall, exported by
// undecorated name) and the values the program uses with them.
//
// The 32-bit edition loads "*.spi"; the 64-bit edition loads "*.sph", the
// same eight entry points with lengths, offsets and the callback's user
// data widened to LONG_PTR (which is long on 32-bit, so one set of
// declarations serves both).
#pragma once

#include <windows.h>

#include "susie/spi_result_codes.h"

#ifdef _WIN64
#define MV_SPI_EXT ".sph"
#else
#define MV_SPI_EXT ".spi"
#endif

extern "C" {
// Called by a plug-in while it decodes; non-zero asks it to stop.
typedef int(__stdcall* SpiProgressCallback)(int done, int total, LONG_PTR user_data);

typedef int(__stdcall* SpiGetPluginInfo)(int info_no, LPSTR buf, int buf_len);
typedef int(__stdcall* SpiIsSupported)(LPCSTR file_name, DWORD_PTR dw);
// The same with a UTF-16 name, where a plug-in exports it.
typedef int(__stdcall* SpiIsSupportedW)(LPCWSTR file_name, DWORD_PTR dw);
typedef int(__stdcall* SpiGetPictureInfo)(LPCSTR buf, LONG_PTR len, unsigned int flag, void* info);
typedef int(__stdcall* SpiGetPicture)(LPCSTR buf, LONG_PTR len, unsigned int flag, HANDLE* info, HANDLE* bits,
                                      SpiProgressCallback progress, LONG_PTR user_data);
typedef int(__stdcall* SpiGetPreview)(LPCSTR buf, LONG_PTR len, unsigned int flag, HANDLE* info, HANDLE* bits,
                                      SpiProgressCallback progress, LONG_PTR user_data);
typedef int(__stdcall* SpiGetArchiveInfo)(LPCSTR buf, LONG_PTR len, unsigned int flag, HLOCAL* info);
typedef int(__stdcall* SpiGetFile)(LPCSTR src, LONG_PTR len, LPSTR dest, unsigned int flag,
                                   SpiProgressCallback progress, LONG_PTR user_data);
typedef int(__stdcall* SpiConfigurationDlg)(HWND parent, int function);
}

namespace spi {
// The plug-in files of this edition.
constexpr char kPluginExtension[] = MV_SPI_EXT;
constexpr int kEditionBits = sizeof(void*) * 8;
// The plug-in that comes with the program (ifwic.spi beside Morvane.exe,
// ifwic.sph beside Morvane64.exe): it always runs inside the program.
constexpr char kBundledPlugin[] = "ifwic";
// IsSupported's second argument: the 32-bit interface takes a file handle
// or a pointer to the file's first 2 KB; in 64-bit a handle cannot be told
// from a pointer, so the 64-bit edition always passes the 2 KB.
#ifdef _WIN64
constexpr bool kIsSupportedTakesBuffer = true;
#else
constexpr bool kIsSupportedTakesBuffer = false;
#endif
constexpr int kIsSupportedHeadBytes = 2048;
constexpr int kInfoDescription = 1;  // name and version of the plug-in
constexpr int kInfoFirstFilter = 2;  // its first extension filter
constexpr unsigned kInputMemory = 1;  // GetPicture: buf is the whole file in memory
constexpr int kConfigSettings = 1;    // ConfigurationDlg: the settings dialog
// Info texts are fetched into this many bytes, of which 255 are offered.
constexpr int kInfoTextLimit = 255;
}  // namespace spi
