// translation/layout.cpp - the dialog layout file: a parameter text file
// beside the dictionary, read into the table's dialog layouts.
//
// Shape: module node > "Dialogs" > dialog node (resource name, "#102" for a
// number) > values: "Dialog Size" of the size type, and rectangles (edge
// deltas) named by decimal control identifiers. Values of other types are
// ignored; a missing or unreadable file is no error.
#include <cstdlib>
#include <vector>

#include "translation/resource_key.h"
#include "translation/table.h"
#include "zr/param.h"
#include "zr/variant.h"

namespace zr {

namespace {

constexpr char kDialogsNode[] = "Dialogs";
constexpr char kDialogSizeValue[] = "Dialog Size";

// A reference released at the end of its scope.
template <class T>
struct Held {
  T* p = nullptr;
  Held() = default;
  explicit Held(T* object) : p(object) {}
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  ~Held() {
    if (p) p->Release();
  }
};

// The names an enumerator delivers, copied (they live only with it).
std::vector<CXString> Names(CTEnum<const char*>* names) {
  Held<CTEnum<const char*>> held(names);
  std::vector<CXString> out;
  if (!names) return out;
  const char* name = nullptr;
  ULONG fetched = 0;
  // A bound on the walk: an enumerator ends with a call that delivers
  // nothing, and no node holds more names than this.
  constexpr std::size_t kMaxNames = 1u << 20;
  while (out.size() < kMaxNames && names->Next(1, &name, &fetched) && fetched == 1)
    out.emplace_back(name);
  return out;
}

// The layout of one dialog node.
ZRDlgPos* ReadDialog(IParam* dialog) {
  auto* layout = Allocating([] { return new ZRDlgPos(); });
  try {
    CZRVariant value;
    if (dialog->GetValue(kDialogSizeValue, &value) && value.vt == ZRVT_SIZE)
      layout->dialogSize = value.sizeVal;
    for (const CXString& name : Names(dialog->EnumValues())) {
      CZRVariant rect;
      if (!dialog->GetValue(name, &rect) || rect.vt != ZRVT_RECT) continue;
      const auto id = static_cast<unsigned int>(std::atoi(name));
      layout->controls.Set(id, rect.rcVal);
    }
  } catch (...) {
    delete layout;
    throw;
  }
  return layout;
}

void FillLayouts(CTranslationTable& table, IParam* tree) {
  for (const CXString& module : Names(tree->EnumParams())) {
    Held<IParam> moduleNode(tree->OpenParam(module, 0));
    if (!moduleNode.p) continue;
    Held<IParam> dialogs(moduleNode.p->OpenParam(kDialogsNode, 0));
    if (!dialogs.p) continue;
    for (const CXString& dialogName : Names(dialogs.p->EnumParams())) {
      Held<IParam> dialog(dialogs.p->OpenParam(dialogName, 0));
      if (!dialog.p) continue;
      const CXString key = LayoutKeyA(module, dialogName);
      table.SetLayout(ResourceKeyHash(key), ReadDialog(dialog.p));
    }
  }
}

}  // namespace

void CTranslationTable::LoadLayouts(const WCHAR* layoutPath) {
  Held<IParam> tree(new_MemParam());
  if (!tree.p) return;
  try {
    if (!Param_IniFile2Param(layoutPath, tree.p)) return;
    FillLayouts(*this, tree.p);
  } catch (const CXMemException&) {
    throw;
  } catch (const CXException&) {
    // A missing or unreadable layout file leaves the dictionary loaded.
  }
}

}  // namespace zr
