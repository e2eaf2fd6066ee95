// Shared helpers of the parameter tree tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zr/param.h"
#include "zr/variant.h"

namespace zrtest {

// A tree held for the test's scope.
class Tree {
 public:
  Tree() : m_p(new_MemParam()) {}
  explicit Tree(IParam* p) : m_p(p) {}
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
  if (!e) return names;
  const char* name = nullptr;
  while (e->Next(1, &name, nullptr)) names.emplace_back(name);
  e->Release();
  return names;
}

// Reads `text` into a fresh tree... into `tree` through the string form.
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
