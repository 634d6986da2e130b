// The entry points of a Susie import plug-in (32-bit, stdcall, exported by
// undecorated name) and the values the program uses with them.
#pragma once

#include <windows.h>

extern "C" {
// Called by a plug-in while it decodes; non-zero asks it to stop.
typedef int(__stdcall* SpiProgressCallback)(int done, int total, long user_data);

typedef int(__stdcall* SpiGetPluginInfo)(int info_no, LPSTR buf, int buf_len);
typedef int(__stdcall* SpiIsSupported)(LPCSTR file_name, DWORD_PTR dw);
typedef int(__stdcall* SpiGetPictureInfo)(LPCSTR buf, long len, unsigned int flag, void* info);
typedef int(__stdcall* SpiGetPicture)(LPCSTR buf, long len, unsigned int flag, HANDLE* info, HANDLE* bits,
                                      SpiProgressCallback progress, long user_data);
typedef int(__stdcall* SpiGetPreview)(LPCSTR buf, long len, unsigned int flag, HANDLE* info, HANDLE* bits,
                                      SpiProgressCallback progress, long user_data);
typedef int(__stdcall* SpiGetArchiveInfo)(LPCSTR buf, long len, unsigned int flag, HLOCAL* info);
typedef int(__stdcall* SpiGetFile)(LPCSTR src, long len, LPSTR dest, unsigned int flag,
                                   SpiProgressCallback progress, long user_data);
typedef int(__stdcall* SpiConfigurationDlg)(HWND parent, int function);
}

namespace spi {
constexpr int kInfoDescription = 1;  // name and version of the plug-in
constexpr int kInfoFirstFilter = 2;  // its first extension filter
constexpr unsigned kInputMemory = 1;  // GetPicture: buf is the whole file in memory
constexpr int kConfigSettings = 1;    // ConfigurationDlg: the settings dialog
constexpr int kNoFunction = -1;       // the plug-in does not implement the call
// Info texts are fetched into this many bytes, of which 255 are offered.
constexpr int kInfoTextLimit = 255;
}  // namespace spi
