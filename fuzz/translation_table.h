// fuzz/translation_table.h - the small dictionary the resource rewriter
// targets translate with: a few texts, one of them longer than its source,
// and keys of a dialog and a string table of module "x".
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

#include "translation/table.h"

namespace fuzz {

inline zr::CTranslationTable* Table() {
  static zr::CTranslationTable* table = [] {
    auto* t = new zr::CTranslationTable();
    const std::string path = "/tmp/zr_fuzz_res_translate_" + std::to_string(getpid()) + ".wld";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
      std::fputs("\"OK\"\n\"Jawohl, sehr gerne\"\n\"A\"\n\"\"\n\"x#1#1\xFD\xFDGo\"\n\"Los\"\n"
                 "\"x#3#1\xFD\xFD" "B\"\n\"Bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb\"\n",
                 f);
      std::fclose(f);
    }
    const std::u16string wide(path.begin(), path.end());
    t->Load(wide.c_str());
    std::remove(path.c_str());
    return t;
  }();
  return table;
}

}  // namespace fuzz
