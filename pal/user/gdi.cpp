// pal/user/gdi.cpp - system metrics, stock fonts and device capabilities as
// plain data (see gdi.h).
//
// Invariant: a stock font handle is the address of one record of g_fonts;
// GetObjectW recognises a handle only by that address, so no other pointer
// is ever read as a font.
#include "pal/user/gdi.h"

#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>

#include "pal/codepage.h"
#include "pal/error.h"
#include "pal/handle.h"

namespace zrpal {

namespace {

constexpr int kPixelsPerInch = 96;
constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;
constexpr LONG kWeightNormal = 400;
constexpr LONG kWeightBold = 700;
constexpr BYTE kVariablePitchSwiss = 0x22;  // VARIABLE_PITCH | FF_SWISS

// The screen's device context: a fixed, never dereferenced address.
constinit char g_screenDc = 0;
HDC ScreenDc() { return reinterpret_cast<HDC>(&g_screenDc); }

struct FontRecord {
  LOGFONTW font;
};

constexpr LOGFONTW MakeFont(LONG height, LONG weight, BYTE charSet, const char16_t* face) {
  LOGFONTW f{};
  f.lfHeight = height;
  f.lfWeight = weight;
  f.lfCharSet = charSet;
  f.lfPitchAndFamily = kVariablePitchSwiss;
  for (int i = 0; i < LF_FACESIZE - 1 && face[i]; ++i) f.lfFaceName[i] = face[i];
  return f;
}

// Windows character sets of the ANSI code pages.
BYTE CharSetOf(UINT codePage) {
  switch (codePage) {
    case 932:
      return 128;  // SHIFTJIS_CHARSET
    case 936:
      return 134;  // GB2312_CHARSET
    case 949:
      return 129;  // HANGUL_CHARSET
    case 950:
      return 136;  // CHINESEBIG5_CHARSET
    case 874:
      return 222;  // THAI_CHARSET
    case 1250:
      return 238;  // EASTEUROPE_CHARSET
    case 1251:
      return 204;  // RUSSIAN_CHARSET
    case 1253:
      return 161;  // GREEK_CHARSET
    case 1254:
      return 162;  // TURKISH_CHARSET
    case 1255:
      return 177;  // HEBREW_CHARSET
    case 1256:
      return 178;  // ARABIC_CHARSET
    case 1257:
      return 186;  // BALTIC_CHARSET
    case 1258:
      return 163;  // VIETNAMESE_CHARSET
    case 1252:
      return 0;  // ANSI_CHARSET
    default:
      return 1;  // DEFAULT_CHARSET
  }
}

// Face and height of the default GUI font of a double-byte system.
struct DbcsGuiFace {
  UINT codePage;
  const char16_t* face;
};
constexpr DbcsGuiFace kDbcsGuiFaces[] = {
    {932, u"MS UI Gothic"}, {936, u"SimSun"}, {949, u"Gulim"}, {950, u"PMingLiU"}};

bool IsDbcsCodePage(UINT codePage) {
  for (const DbcsGuiFace& f : kDbcsGuiFaces)
    if (f.codePage == codePage) return true;
  return false;
}

// g_fonts: [0] the system font, [1] the default GUI font. Filled once for the
// process's ANSI code page, which is read once (pal/codepage.h).
constinit FontRecord g_fonts[2] = {};

void FillFontsOnce() {
  const UINT acp = GetACP();
  const BYTE charSet = CharSetOf(acp);
  g_fonts[0].font = MakeFont(16, kWeightBold, charSet, u"System");
  g_fonts[1].font = MakeFont(-11, kWeightNormal, charSet, u"MS Shell Dlg");
  for (const DbcsGuiFace& f : kDbcsGuiFaces)
    if (f.codePage == acp) g_fonts[1].font = MakeFont(-12, kWeightNormal, charSet, f.face);
}

void FillFonts() {
  static const bool filled = (FillFontsOnce(), true);  // thread-safe, once
  (void)filled;
}

const FontRecord* FontOf(HGDIOBJ object) {
  for (const FontRecord& r : g_fonts)
    if (reinterpret_cast<const void*>(&r) == static_cast<const void*>(object)) return &r;
  return nullptr;
}

class FontObject final : public HandleObject {
 public:
  explicit FontObject(const LOGFONTW& font) : HandleObject(HandleKind::Font), m_font(font) {}
  LOGFONTW m_font;
};

}  // namespace

int GetSystemMetrics(int index) {
  if (index == SM_DBCSENABLED) return IsDbcsCodePage(GetACP()) ? 1 : 0;
  return 0;
}

HGDIOBJ GetStockObject(int index) {
  FillFonts();
  switch (index) {
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT:
      return reinterpret_cast<HGDIOBJ>(&g_fonts[0]);
    case DEFAULT_GUI_FONT:
      return reinterpret_cast<HGDIOBJ>(&g_fonts[1]);
    default:
      return nullptr;
  }
}

HFONT CreateFontIndirectW(const LOGFONTW* font) {
  if (!font) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  LOGFONTW copy = *font;
  copy.lfFaceName[LF_FACESIZE - 1] = 0;
  FontObject* object = new (std::nothrow) FontObject(copy);
  if (!object) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return static_cast<HFONT>(InsertHandle(object));
}

BOOL DeleteObject(HGDIOBJ object) {
  if (object && FontOf(object)) return TRUE;
  // Only a font: menus and windows share the handle family.
  const bool font = object && ReferenceHandle<FontObject>(object, KindBit(HandleKind::Font));
  if (!font || CloseTableHandle(object, HandleFamily::User) != ERROR_SUCCESS) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

int FontHeightOfPoints(int pointSize) { return -MulDiv(pointSize, kPixelsPerInch, 72); }

int GetObjectW(HGDIOBJ object, int size, void* buffer) {
  LOGFONTW font{};
  if (const FontRecord* record = FontOf(object)) {
    font = record->font;
  } else if (auto ref = ReferenceHandle<FontObject>(object, KindBit(HandleKind::Font))) {
    font = ref->m_font;
  } else {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  constexpr int kSize = static_cast<int>(sizeof(LOGFONTW));
  if (!buffer) return kSize;
  if (size < kSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::memcpy(buffer, &font, sizeof(LOGFONTW));
  return kSize;
}

HDC GetDC(HWND window) {
  if (window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return ScreenDc();
}

int ReleaseDC(HWND window, HDC dc) { return !window && dc == ScreenDc() ? 1 : 0; }

int GetDeviceCaps(HDC dc, int index) {
  if (dc != ScreenDc()) return 0;
  switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY:
      return kPixelsPerInch;
    case HORZRES:
      return kScreenWidth;
    case VERTRES:
      return kScreenHeight;
    default:
      return 0;
  }
}

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
  std::int64_t q = product / denominator;
  const std::int64_t r = product % denominator;
  // Half away from zero: compare twice the remainder with the divisor.
  const std::int64_t twiceR = (r < 0 ? -r : r) * 2;
  const std::int64_t absDen =
      denominator < 0 ? -static_cast<std::int64_t>(denominator) : denominator;
  if (twiceR >= absDen) q += ((product < 0) != (denominator < 0)) ? -1 : 1;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<int>(q);
}

}  // namespace zrpal
