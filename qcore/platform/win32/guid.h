#pragma once
// The 16-byte globally unique identifier record with its published layout.
#include <qcore/platform/win32/types.h>

#ifndef GUID_DEFINED
#define GUID_DEFINED
typedef struct _GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID;
#endif
typedef GUID IID;
typedef GUID CLSID;

static_assert(sizeof(GUID) == 16);
