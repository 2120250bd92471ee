#pragma once
// Symbolic names of the result codes of Direct3D 8, D3DX 8, DirectShow, DirectPlay 8 and COM/Win32.

namespace qcore {
// The name of a result code ("S_OK", "D3DERR_INVALIDCALL", "ERROR_FILE_NOT_FOUND", ...), or null when the
// code is not in the table.
const char* find_error_name(long code);
} // namespace qcore
