// Fuzzes the dialog template rewriter over a small dictionary and a layout:
// the first byte picks the layout (bit 1) and the context (bit 2), the rest
// is the template. A template that parses must be rewritten, and the result
// must parse back with the same items in the same order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/check.h"
#include "fuzz/translation_table.h"
#include "pal/user/dlgtemplate.h"
#include "translation/dlgxl.h"
#include "translation/table.h"

namespace {

using namespace zrpal;

using fuzz::Table;

zr::ZRDlgPos* Layout() {
  static zr::ZRDlgPos* layout = [] {
    auto* l = new zr::ZRDlgPos();
    l->dialogSize = {20, 5};
    l->controls.Set(1u, tagRECT{2, -3, 32767, -40000});
    return l;
  }();
  return layout;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t mode = data[0];
  std::vector<BYTE> body(data + 1, data + size);
  dlg::DialogForm before;
  const bool parses =
      dlg::ParseDialogTemplate(body.data(), body.size(), &before) == dlg::ParseResult::kOk;
  DWORD outSize = 0;
  void* copy = zr::TranslateDialogTemplate(Table(), body.data(), body.size(),
                                           (mode & 2) ? Layout() : nullptr, &outSize,
                                           (mode & 4) ? "x#1#1\xFD\xFD" : nullptr);
  Check(parses == (copy != nullptr));
  if (!copy) return 0;
  Check(outSize > 0);
  dlg::DialogForm after;
  Check(dlg::ParseDialogTemplate(copy, outSize, &after) == dlg::ParseResult::kOk);
  Check(after.items.size() == before.items.size() && after.extended == before.extended);
  for (std::size_t i = 0; i < after.items.size(); ++i) {
    Check(after.items[i].windowClass == before.items[i].windowClass);
    Check(after.items[i].creationData == before.items[i].creationData);
    Check((after.items[i].id & 0xFFFF) == (before.items[i].id & 0xFFFF));
  }
  std::free(copy);
  return 0;
}
