#pragma once
// String resources. There are no resource files on this platform: applications register their strings
// under their ids at start-up, and LoadStringA finds them whatever the instance.
#include <qcore/platform/win32/types.h>

#ifndef ERROR_RESOURCE_NAME_NOT_FOUND
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#endif

// Copies the string (cut to size - 1 characters) and returns its length; 0 when the id is unknown.
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size);

namespace qcore {
// Registers (or with null, removes) the string of an id.
void register_string_resource(UINT id, const char* text);
} // namespace qcore
