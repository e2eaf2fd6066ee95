// Fuzzes the dialog and menu template readers: the first byte picks the
// reader, the rest is the template. A dialog template that parses must write
// back to bytes that parse to the same form; a menu that loads must be
// walkable and destroyed without leaving a handle.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/check.h"
#include "pal/handle.h"
#include "pal/user/dlgtemplate.h"
#include "pal/user/menu.h"

namespace {

using namespace zrpal;

void Walk(HMENU menu, unsigned depth) {
  Check(depth <= kMaxMenuDepth);
  const int count = GetMenuItemCount(menu);
  Check(count >= 0);
  for (int i = 0; i < count; ++i) {
    WCHAR text[64];
    GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
    Check(GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) != 0xFFFFFFFF);
    if (HMENU sub = GetSubMenu(menu, i)) Walk(sub, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::vector<BYTE> body(data + 1, data + size);
  if (data[0] & 1) {
    const std::size_t handles = LiveHandleCount();
    HMENU menu = LoadMenuFromTemplate(body.data(), body.size());
    if (menu) {
      Walk(menu, 0);
      Check(DestroyMenu(menu));
    }
    Check(LiveHandleCount() == handles);
    return 0;
  }
  dlg::DialogForm form;
  if (dlg::ParseDialogTemplate(body.data(), body.size(), &form) != dlg::ParseResult::kOk) return 0;
  std::vector<BYTE> written;
  Check(dlg::WriteDialogTemplate(form, &written));
  dlg::DialogForm again;
  Check(dlg::ParseDialogTemplate(written.data(), written.size(), &again) == dlg::ParseResult::kOk);
  Check(again == form);
  return 0;
}
