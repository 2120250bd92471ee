#pragma once
// Conversions between system-code-page text and wide text.
#include <qcore/platform/win32/hresult.h>
#include <qcore/platform/win32/types.h>

// `count` is the size of the destination in characters, the terminating zero included; -1 means the
// destination holds the whole text. The result is always zero-terminated and cut at a character boundary.
HRESULT DXUtil_ConvertAnsiStringToWide(WCHAR* dest, const CHAR* source, int count);
HRESULT DXUtil_ConvertWideStringToAnsi(CHAR* dest, const WCHAR* source, int count);
