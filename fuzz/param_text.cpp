// Reads the parameter text from fuzzer bytes held in a CMemFile, with every
// include served from memory as the same bytes under the name asked for (up
// to 64 opens), then writes the tree back as text, as the string form and
// as a parameter stream. Nothing may read out of bounds, recurse without bound, hang or
// leak; a tree read from text always writes and reads back.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "params/paramtext.h"
#include "params/textfile.h"
#include "zr/param.h"

namespace {

zr::CMemFile* FileOf(const void* data, std::size_t size) {
  auto* file = new zr::CMemFile(zr::CMemFile::kTextStep);
  file->Write(data, static_cast<int>(size));
  file->Seek(0, ZRFILE_SEEK_SET);
  return file;
}

// A memory file answering another name, so that includes nest and cycle.
class CNamedSource final : public zr::CParamTextSource {
 public:
  CNamedSource(zr::CMemFile* file, const CXStringW& name) : m_file(file), m_name(name) {}
  int ReadLine(char* buffer, int max) override { return m_file.ReadLine(buffer, max); }
  const WCHAR* GetFileName() override { return m_name; }

 private:
  zr::CXFileTextSource m_file;
  CXStringW m_name;
};

class CSameBytesOpener final : public zr::CParamIncludeOpener {
 public:
  CSameBytesOpener(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
  std::unique_ptr<zr::CParamTextSource> Open(const CXStringW& path) override {
    // Enough opens to reach the depth bound; every include rereads the
    // input, so more would only slow the fuzzing down.
    if (++m_opens > kMaxOpens) return nullptr;
    return std::make_unique<CNamedSource>(FileOf(m_data, m_size), path);
  }

 private:
  static constexpr int kMaxOpens = 64;
  const std::uint8_t* m_data;
  std::size_t m_size;
  int m_opens = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1 << 20)) return 0;
  IParam* tree = new_MemParam();
  zr::CXFileTextSource source(FileOf(data, size));
  CSameBytesOpener opener(data, size);
  Check(zr::ReadParamText(source, tree, &opener) == 1);
  zr::CMemFile* text = FileOf(nullptr, 0);
  zr::CXFileTextSource written(text);
  zr::CXFileTextSink sink(*text);
  zr::WriteParamText(tree, sink, nullptr);
  text->Seek(0, ZRFILE_SEEK_SET);
  IParam* back = new_MemParam();
  Check(zr::ReadParamText(written, back, nullptr) == 1);
  CXString form;
  Check(Param_Param2String(back, form) == 1);
  IXStream* stream = new_StreamOnMemory();
  Check(SaveParamToXStream(stream, tree) == 1);
  stream->Release();
  back->Release();
  tree->Release();
  return 0;
}
