// Shared helpers of the parameter tree tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zr/param.h"
#include "zr/variant.h"

namespace zrtest {

// A tree (a new memory tree unless one is given) released with the scope.
class Tree {
 public:
  explicit Tree(IParam* p = new_MemParam()) : m_p(p) {}
  ~Tree() {
    if (m_p) m_p->Release();
  }
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;
  IParam* operator->() const { return m_p; }
  IParam* get() const { return m_p; }

 private:
  IParam* m_p;
};

// The names an enumerator delivers (it is released).
inline std::vector<std::string> Names(CTEnum<const char*>* e) {
  std::vector<std::string> names;
  const char* name = nullptr;
  while (e && e->Next(1, &name, nullptr)) names.emplace_back(name);
  if (e) e->Release();
  return names;
}

// The integer value `name`, or -1 when there is none.
inline int IntOf(IParam* node, const char* name) {
  CZRVariant v;
  return node->GetValue(name, &v) ? v.intVal : -1;
}

// Reads `text` into `tree` through the string form.
inline int ReadText(const std::string& text, IParam* tree) {
  CXString input(text.c_str());
  return Param_String2Param(input, tree);
}

inline std::string StringForm(IParam* tree) {
  CXString out;
  EXPECT_EQ(Param_Param2String(tree, out), 1);
  return std::string(static_cast<const char*>(out));
}

}  // namespace zrtest
