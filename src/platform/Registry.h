#pragma once

#include <QtGlobal>

// The read-only registry of this program: HKEY_LOCAL_MACHINE as written in the file system.reg
// of the system directory, in the format the Windows registry editor exports. The calls keep the
// shape of their Windows namesakes; a missing or unreadable file is an empty registry.
namespace platform {

using HKEY = quintptr;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;

enum RegResult : long {
    ERROR_SUCCESS = 0,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_INVALID_HANDLE = 6,
    ERROR_MORE_DATA = 234
};
enum RegType : unsigned { REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4 };

long RegOpenKeyExA(HKEY root, const char* subKey, unsigned options, unsigned access, HKEY* result);
// With data null only the size is reported. When the data does not fit dataSize, *dataSize
// becomes the size needed and the result is ERROR_MORE_DATA.
long RegQueryValueExA(HKEY key, const char* valueName, unsigned* reserved, unsigned* type,
                      unsigned char* data, unsigned* dataSize);
long RegCloseKey(HKEY key);

} // namespace platform
