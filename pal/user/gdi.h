// pal/user/gdi.h - the display facts the library asks the window system
// for: system metrics, stock fonts and device capabilities, as plain data.
//
// There is no display here. The answers are those of a Windows desktop at
// 96 pixels per inch whose system locale has the process's ANSI code page
// (pal/codepage.h): a double-byte code page (932, 936, 949, 950) makes a
// double-byte system, with that language's default GUI font. Stock objects
// are handles to fixed records; they are never freed (DeleteObject of a
// stock object is harmless on Windows too, and is not offered here).
//
// Thread-safe (read-only data, apart from GetACP's one-time setting).
#pragma once

#include "pal/types.h"
#include "pal/user/menu.h"  // ERROR_INVALID_WINDOW_HANDLE

namespace zrpal {

using ::HFONT;
using ::HGDIOBJ;
using ::HWND;
struct HDC__;
using HDC = HDC__*;

// GetSystemMetrics: the one metric implemented.
inline constexpr int SM_DBCSENABLED = 42;

// GetStockObject: the stock fonts offered.
inline constexpr int SYSTEM_FONT = 13;
inline constexpr int DEVICE_DEFAULT_FONT = 14;
inline constexpr int DEFAULT_GUI_FONT = 17;


// GetDeviceCaps: the capabilities implemented.
inline constexpr int HORZRES = 8;
inline constexpr int VERTRES = 10;
inline constexpr int LOGPIXELSX = 88;
inline constexpr int LOGPIXELSY = 90;

inline constexpr int LF_FACESIZE = 32;

// The font record of GetObjectW, with Windows' layout.
struct LOGFONTW {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[LF_FACESIZE];
};
static_assert(sizeof(LOGFONTW) == 92, "Windows' LOGFONTW is 92 bytes");

// SM_DBCSENABLED: non-zero when the ANSI code page is a double-byte one.
// Every other index answers 0, as Windows does for an unknown index
// (Deviation: Windows knows some hundred metrics).
int GetSystemMetrics(int index);

// A stock font: SYSTEM_FONT and DEVICE_DEFAULT_FONT ("System", height 16,
// bold) and DEFAULT_GUI_FONT ("MS Shell Dlg", height -11; on a double-byte
// system that language's face at height -12: "MS UI Gothic", "SimSun",
// "Gulim", "PMingLiU"). Null for any other index (Deviation: the fixed and
// OEM fonts, pens, brushes and palettes are not offered). The character set
// follows the ANSI code page, as Windows' follows the system locale.
HGDIOBJ GetStockObject(int index);

// For a stock font or a font object and a buffer of at least sizeof(LOGFONTW) bytes: copies
// the font record and returns its size; a null buffer returns the size.
// 0 for any other handle (ERROR_INVALID_HANDLE) or a smaller buffer
// (ERROR_INVALID_PARAMETER; Windows copies a prefix there).
int GetObjectW(HGDIOBJ object, int size, void* buffer);

// A font object made from a font record (the record is kept as given; the
// face is cut to LF_FACESIZE - 1 characters). Nothing is realised: the
// handle answers GetObjectW and is released by DeleteObject. Null font
// record: null and ERROR_INVALID_PARAMETER.
HFONT CreateFontIndirectW(const LOGFONTW* font);
// Releases a font object: TRUE. A stock object: TRUE, nothing happens (as on
// Windows). Anything else: FALSE and ERROR_INVALID_HANDLE.
BOOL DeleteObject(HGDIOBJ object);
// The font height of a point size in the screen's 96 pixels per inch (a
// negative height: a character height, as the dialog manager asks for).
int FontHeightOfPoints(int pointSize);

// The device context of the screen (window null) or of a window; there are
// no windows, so a non-null window gives null (ERROR_INVALID_WINDOW_HANDLE).
// ReleaseDC answers 1 for the screen's context, else 0.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);

// LOGPIXELSX / LOGPIXELSY 96, HORZRES 1920, VERTRES 1080 for the screen's
// context; 0 for another index or another context.
int GetDeviceCaps(HDC dc, int index);

// number * numerator / denominator in 64-bit arithmetic, rounded half away
// from zero; -1 when the denominator is 0 or the result does not fit.
int MulDiv(int number, int numerator, int denominator);

}  // namespace zrpal
