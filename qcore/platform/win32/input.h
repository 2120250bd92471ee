#pragma once
// The desktop's display mode, the cursor and the keyboard, and injection of mouse and key input for tests
// and for the SDL backend. Injected input arrives as the messages a real window gets: posted to the
// window under the cursor (or the capture window), client coordinates, MK_* flags from the current state.
#include <qcore/platform/d3d8/d3d8_types.h>
#include <qcore/platform/win32/types.h>

#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_IBEAM MAKEINTRESOURCEA(32513)
#define IDC_WAIT MAKEINTRESOURCEA(32514)
#define IDC_CROSS MAKEINTRESOURCEA(32515)
#define IDC_UPARROW MAKEINTRESOURCEA(32516)
#define IDC_SIZENWSE MAKEINTRESOURCEA(32642)
#define IDC_SIZENESW MAKEINTRESOURCEA(32643)
#define IDC_SIZEWE MAKEINTRESOURCEA(32644)
#define IDC_SIZENS MAKEINTRESOURCEA(32645)
#define IDC_SIZEALL MAKEINTRESOURCEA(32646)
#define IDC_NO MAKEINTRESOURCEA(32648)
#define IDC_HAND MAKEINTRESOURCEA(32649)
#define IDC_APPSTARTING MAKEINTRESOURCEA(32650)
#define IDC_HELP MAKEINTRESOURCEA(32651)
#ifndef MAKEINTRESOURCEA
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#endif

#define VK_LBUTTON 0x01
#define VK_RBUTTON 0x02
#define VK_CANCEL 0x03
#define VK_MBUTTON 0x04
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_PAUSE 0x13
#define VK_CAPITAL 0x14
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_LWIN 0x5B
#define VK_RWIN 0x5C
#define VK_NUMPAD0 0x60
#define VK_MULTIPLY 0x6A
#define VK_ADD 0x6B
#define VK_SUBTRACT 0x6D
#define VK_DECIMAL 0x6E
#define VK_DIVIDE 0x6F
#define VK_F1 0x70
#define VK_F12 0x7B
#define VK_NUMLOCK 0x90
#define VK_SCROLL 0x91
#define VK_LSHIFT 0xA0
#define VK_RSHIFT 0xA1
#define VK_LCONTROL 0xA2
#define VK_RCONTROL 0xA3
#define VK_LMENU 0xA4
#define VK_RMENU 0xA5

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
// Returns the previous cursor.
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
BOOL GetCursorPos(LPPOINT point);
BOOL SetCursorPos(int x, int y);
int ShowCursor(BOOL show);
// High bit: the key is down; low bit (GetKeyState): toggled. VK_SHIFT, VK_CONTROL and VK_MENU are down
// while either of their left and right keys is.
SHORT GetKeyState(int virtual_key);
SHORT GetAsyncKeyState(int virtual_key);
BOOL GetKeyboardState(BYTE* state);

namespace qcore {

struct DesktopMode {
    int width = 1920;
    int height = 1080;
    D3DFORMAT format = D3DFMT_X8R8G8B8;
};
// The desktop's display mode: GetDesktopWindow's size and the adapter display mode the graphics device
// reports. Headless default 1920 x 1080, D3DFMT_X8R8G8B8; the SDL backend sets the real one when it starts.
// Sizes below 1 are refused (returns false).
bool set_desktop_mode(int width, int height, D3DFORMAT format);
DesktopMode get_desktop_mode();
// Bits per pixel of a desktop format (0 for formats a desktop cannot have).
int desktop_format_bits(D3DFORMAT format);

enum class MouseButton { left, right, middle };

// Moves the cursor to a screen point and posts WM_SETCURSOR and WM_MOUSEMOVE to the window under it.
void inject_mouse_move(int screen_x, int screen_y);
// Presses or releases a button at a screen point; two presses within the double-click time and distance on
// a window whose class has CS_DBLCLKS give the double-click message.
void inject_mouse_button(MouseButton button, bool down, int screen_x, int screen_y);
// Posts WM_MOUSEWHEEL (screen coordinates, delta in WHEEL_DELTA units) to the focus window or the window
// under the cursor.
void inject_mouse_wheel(int delta, int screen_x, int screen_y);
// Presses or releases a key (VK_LSHIFT, VK_RMENU, ... keep left and right apart; VK_SHIFT means the left
// one) and posts WM_KEYDOWN/WM_KEYUP (WM_SYSKEY* while Alt is down) to the focus window.
void inject_key(int virtual_key, bool down);
// Releases every key and button (tests call it between cases).
void reset_input_state();

namespace detail {
// Injection aimed at one top-level window (the SDL backend knows which window the event is for).
void mouse_button_in(HWND top_level, MouseButton button, bool down, int screen_x, int screen_y);
void mouse_move_in(HWND top_level, int screen_x, int screen_y);
} // namespace detail

} // namespace qcore
