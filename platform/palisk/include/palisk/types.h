// The window-system vocabulary that window classes written for the DirectUI
// library speak: message numbers, handles, points and rectangles, flags of
// message boxes and windows. Values are those of the system they were
// written for, so handlers keep their message tables as they are.
#pragma once

#include <cstdint>

namespace palisk {

class WindowHost;
using HWND = WindowHost*;
using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

struct POINT {
  int x = 0, y = 0;
};
struct SIZE {
  int cx = 0, cy = 0;
};
struct RECT {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Contains(POINT p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
};

// A handler's answer asking the window host for its own default action
// (the stand-in for passing a message on to the system's default handling).
inline constexpr LRESULT kDefaultAction = static_cast<LRESULT>(INTPTR_MIN);

inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_SIZE = 0x0005;
inline constexpr UINT WM_KILLFOCUS = 0x0008;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_NCCALCSIZE = 0x0083;
inline constexpr UINT WM_NCHITTEST = 0x0084;
inline constexpr UINT WM_NCPAINT = 0x0085;
inline constexpr UINT WM_NCACTIVATE = 0x0086;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr UINT WM_MOUSEWHEEL = 0x020A;
inline constexpr UINT WM_DROPFILES = 0x0233;
inline constexpr UINT WM_USER = 0x0400;

inline constexpr WPARAM SIZE_RESTORED = 0;
inline constexpr WPARAM SIZE_MINIMIZED = 1;
inline constexpr WPARAM SC_MINIMIZE = 0xF020;

inline constexpr LRESULT HTCLIENT = 1;
inline constexpr LRESULT HTCAPTION = 2;

inline constexpr int VK_ESCAPE = 0x1B;
inline constexpr int VK_UP = 0x26;
inline constexpr int VK_DOWN = 0x28;
inline constexpr int VK_DELETE = 0x2E;

inline constexpr uint32_t MB_OK = 0x0;
inline constexpr uint32_t MB_OKCANCEL = 0x1;
inline constexpr uint32_t MB_YESNO = 0x4;
inline constexpr uint32_t MB_ICONERROR = 0x10;
inline constexpr uint32_t MB_ICONQUESTION = 0x20;
inline constexpr uint32_t MB_ICONWARNING = 0x30;
inline constexpr uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;

inline constexpr uint32_t WS_POPUP = 0x80000000u;
inline constexpr uint32_t WS_VISIBLE = 0x10000000u;
inline constexpr uint32_t WS_CAPTION = 0x00C00000u;
inline constexpr uint32_t WS_CLIPSIBLINGS = 0x04000000u;
inline constexpr uint32_t WS_CLIPCHILDREN = 0x02000000u;
inline constexpr uint32_t WS_OVERLAPPEDWINDOW = 0x00CF0000u;
inline constexpr uint32_t WS_EX_TOOLWINDOW = 0x00000080u;
inline constexpr uint32_t WS_EX_STATICEDGE = 0x00020000u;
inline constexpr uint32_t WS_EX_APPWINDOW = 0x00040000u;
inline constexpr uint32_t CS_DBLCLKS = 0x0008u;
inline constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

inline constexpr LPARAM MakeLParam(int low, int high) {
  return static_cast<LPARAM>(static_cast<uint32_t>((low & 0xFFFF) | ((high & 0xFFFF) << 16)));
}
inline constexpr int LowWord(LPARAM value) { return static_cast<int16_t>(value & 0xFFFF); }
inline constexpr int HighWord(LPARAM value) { return static_cast<int16_t>((value >> 16) & 0xFFFF); }

}  // namespace palisk
