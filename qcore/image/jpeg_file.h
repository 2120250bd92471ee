#pragma once
// Writes RGB pixels as a JPEG file through libjpeg.
#include <qcore/platform/win32/cstring.h>

// rgb holds width x height pixels, rows from the top, red, green, blue. A zero colour flag writes a
// grey-scale file. Quality is clamped to 0..100. Returns 1 on success; a file that cannot be created shows
// "JpegFile :\nCan't open <name>\n" and gives 0; any other failure gives 0 and leaves an existing file as
// it was.
int RGBToJpegFile(const CString& name, const BYTE* rgb, UINT width, UINT height, BOOL color, int quality);
