// tests/child/sample_tree.h - the parameter tree the storage-parameter
// tests write in one process and compare in another.
#pragma once

#include "zr/param.h"
#include "zr/variant.h"

// Fills `tree`:
// values of several types at the root, in a node and two levels down.
inline void FillSampleTree(IParam* tree) {
  CZRVariant number(42);
  CZRVariant text("text value");
  CZRVariant real(2.5);
  CZRVariant wide(u"wide");
  tree->SetValue("n", &number);
  tree->SetValue("", &text);
  tree->SetValue("a\\b\\deep", &real);
  tree->SetValue("a\\t", &wide);
  IParam* empty = tree->CreateParam("empty");
  empty->Release();
}
