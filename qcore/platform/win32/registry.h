#pragma once
// A small in-process registry. Keys are paths of names (case-insensitive) under the predefined roots;
// values are strings or DWORDs. HKEY_LOCAL_MACHINE\Hardware\Description\System\CentralProcessor\0 carries
// the processor's "Identifier" from /proc/cpuinfo, filled on first use.
#include <qcore/platform/win32/types.h>

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_NONE 0
#define REG_SZ 1
#define REG_DWORD 4

typedef DWORD REGSAM;

LONG RegOpenKeyExA(HKEY root, const char* sub_key, DWORD options, REGSAM access, HKEY* result);
LONG RegCreateKeyExA(HKEY root, const char* sub_key, DWORD reserved, char* cls, DWORD options, REGSAM access,
                     void* security, HKEY* result, DWORD* disposition);
// Fills data with up to *size bytes; a string value includes its terminating zero. ERROR_MORE_DATA when
// the buffer is too small (size then holds the size needed); data may be null to ask for the size.
LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LONG RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LONG RegDeleteKeyA(HKEY root, const char* sub_key);
LONG RegCloseKey(HKEY key);

namespace qcore {
// Where the processor key's "Identifier" comes from (default /proc/cpuinfo, its "model name" line). Setting
// it drops the key, so that the next lookup reads the new source; an unreadable source leaves no key.
void set_cpuinfo_source(const char* path);
} // namespace qcore
