#pragma once
// Small conversions between values and dialog texts, and the controls that show them.
#include <qcore/geom/math3d.h>
#include <qcore/platform/win32/cstring.h>
#include <qcore/platform/win32/types.h>

#include <vector>

class CWnd;
class CWinApp;

// "%f" when full, else "%.3f".
CString float_to_str(float value, BOOL full = FALSE);
CString int_to_str(int value);
// "%.3f,%.3f,%.3f".
CString vec_to_str(const VEC& v);
// Replaces items with the non-empty pieces of text between any of the separator characters.
void get_str_items(const char* text, const char* separators, std::vector<CString>& items);

// A control's text, read as text, float or integer (0 for a missing control or no number).
CString window_to_str(CWnd* window);
float window_to_float(CWnd* window);
int window_to_int(CWnd* window);
void set_window_text(CWnd* window, const char* text);
void enable_window(CWnd* window, BOOL enable);
void show_window(CWnd* window, BOOL show);
// Sets a check box's state (BM_SETCHECK).
void check_button(CWnd* window, BOOL checked);
// A string of the application's resources (empty when unknown).
CString load_string(UINT id, CWinApp* app = nullptr);

namespace qcore {
// The leading decimal integer of a text, clamped to int (0 when there is none).
int text_to_int(const char* text);
} // namespace qcore
