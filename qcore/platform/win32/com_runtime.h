#pragma once
// The small COM runtime the media and session stand-ins share: apartments, class creation over a table of
// registered classes, GUID generation, wide-text conversion and critical sections.
#include <qcore/platform/win32/com.h>

#include <functional>
#include <mutex>

typedef enum tagCOINIT {
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_MULTITHREADED = 0x0,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
} COINIT;

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106u)

// Every thread that creates objects calls CoInitialize first; calls nest and pair with CoUninitialize.
HRESULT CoInitialize(LPVOID reserved);
HRESULT CoInitializeEx(LPVOID reserved, DWORD coinit);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD cls_context, REFIID iid, LPVOID* out);
// A new version-4 GUID from the operating system's random source.
HRESULT CoCreateGuid(GUID* guid);

// Code pages: CP_ACP and CP_UTF8 both mean UTF-8 here (the system code page is UTF-8).
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x8
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_NO_UNICODE_TRANSLATION 1113L

// Both return the number of units written (or needed when the output size is 0), counting the terminating
// zero when the input length is -1; 0 on failure with GetLastError set.
int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR text, int text_len, LPWSTR out, int out_len);
int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR text, int text_len, LPSTR out, int out_len,
                        LPCSTR default_char, LPBOOL used_default);

// Recursive, as the platform's critical sections are.
typedef struct _RTL_CRITICAL_SECTION {
    std::recursive_mutex* lock = nullptr;
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

void InitializeCriticalSection(LPCRITICAL_SECTION cs);
void EnterCriticalSection(LPCRITICAL_SECTION cs);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);
void LeaveCriticalSection(LPCRITICAL_SECTION cs);
void DeleteCriticalSection(LPCRITICAL_SECTION cs);

namespace qcore {

// Makes a new object of a class and asks it for the interface; returns its HRESULT.
using com_factory = std::function<HRESULT(REFIID iid, void** out)>;

// Registers (or replaces) the factory of a class; an empty factory removes it. Returns true when the class
// was not registered before.
bool register_com_class(REFCLSID clsid, com_factory factory);

// The number of CoInitialize calls on this thread not yet paired with CoUninitialize.
int com_init_depth();

} // namespace qcore
