// Import patching of real images: a PE32+ DLL built by the MinGW-w64
// compiler (mapped and bound here as a loader would), and a Linux module
// whose GOT slot for LoadStringA is patched and restored.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "pal/image/imports.h"
#include "pal/image/pe.h"
#include "pal/module.h"
#include "pal/user/resource.h"
#include "pal/user/winapi.h"
#include "translation/hookproc.h"
#include "translation/restrans.h"
#include "zr/translation.h"
#include "zr/hookproc.h"

namespace {

using namespace zrpal;

constexpr std::size_t kPage = 4096;

// A PE32+ image mapped at its section addresses, its imports bound to the
// platform layer's functions of the same names (unknown ones stay unbound).
class MappedDll {
 public:
  explicit MappedDll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    m_file.assign(std::istreambuf_iterator<char>(in), {});
    pe::ImportWalker headers;
    if (m_file.size() < kPage ||
        pe::ImportWalker::Open(m_file.data(), m_file.size(), &headers) != pe::Status::kOk)
      return;
    const auto& nt = headers.Headers();
    m_size = (nt.OptionalHeader.SizeOfImage + kPage - 1) / kPage * kPage;
    m_image = static_cast<BYTE*>(std::aligned_alloc(kPage, m_size));
    std::memset(m_image, 0, m_size);
    std::memcpy(m_image, m_file.data(), nt.OptionalHeader.SizeOfHeaders);
    const std::size_t sections = static_cast<std::size_t>(
        reinterpret_cast<const BYTE*>(&nt.OptionalHeader) - m_file.data() + nt.FileHeader.SizeOfOptionalHeader);
    for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
      pe::IMAGE_SECTION_HEADER s;
      std::memcpy(&s, m_file.data() + sections + i * sizeof s, sizeof s);
      std::memcpy(m_image + s.VirtualAddress, m_file.data() + s.PointerToRawData,
                  std::min(s.SizeOfRawData, s.VirtualSize ? s.VirtualSize : s.SizeOfRawData));
    }
    pe::ImportWalker walker;
    if (pe::ImportWalker::Open(m_image, m_size, &walker) != pe::Status::kOk) return;
    walker.ForEach([&](const pe::Import& import) {
      HMODULE library = GetModuleHandleA(import.library);
      FARPROC proc = library && import.name ? GetProcAddress(library, import.name) : nullptr;
      if (proc) {
        *import.slot = reinterpret_cast<ULONGLONG>(proc);
        m_slots[import.name] = import.slot;
      }
      return true;
    });
  }
  ~MappedDll() { std::free(m_image); }

  HMODULE Handle() const { return reinterpret_cast<HMODULE>(m_image); }
  std::size_t Size() const { return m_size; }
  BYTE* Image() { return m_image; }
  // The bound slot of each import the platform layer provides.
  const std::map<std::string, ULONGLONG*>& Slots() const { return m_slots; }
  void* Slot(const std::string& name) const {
    return reinterpret_cast<void*>(*m_slots.at(name));
  }

 private:
  std::vector<BYTE> m_file;
  BYTE* m_image = nullptr;
  std::size_t m_size = 0;
  std::map<std::string, ULONGLONG*> m_slots;
};

int ReplacementA(HINSTANCE, UINT, LPSTR, int) { return 1; }
int ReplacementB(HINSTANCE, UINT, LPSTR, int) { return 2; }
int ReplacedLoadString(HINSTANCE, UINT, LPSTR buffer, int size) {
  std::strncpy(buffer, "replaced", static_cast<std::size_t>(size));
  return 8;
}

TEST(InterceptPe, EachBoundSlotGetsTheReplacementAndBack) {
  MappedDll dll(ZR_PE_IMPORT_DLL);
  ASSERT_NE(dll.Handle(), nullptr);
  // The bound imports: those the DLL takes from USER32 and KERNEL32.
  const std::map<std::string, std::pair<const char*, void*>> imports = {
      {"LoadStringA", {"user32", reinterpret_cast<void*>(&::LoadStringA)}},
      {"LoadStringW", {"user32", reinterpret_cast<void*>(&::LoadStringW)}},
      {"MessageBoxA", {"USER32.dll", nullptr}},
      {"DialogBoxParamA", {"user32", nullptr}},
      {"LoadMenuA", {"user32", nullptr}},
      {"FindResourceW", {"kernel32", reinterpret_cast<void*>(&::FindResourceW)}},
  };
  ASSERT_EQ(dll.Slots().size(), imports.size());
  static int markers[8];  // a distinct replacement address for each import
  int index = 0;
  for (const auto& [name, import] : imports) {
    void* replacement = &markers[index++];
    void* platform = dll.Slot(name);
    if (import.second) {
      EXPECT_EQ(platform, import.second) << name;
    }
    EXPECT_EQ(HookProc_Install(dll.Handle(), import.first, name.c_str(), replacement), platform) << name;
    EXPECT_EQ(dll.Slot(name), replacement) << name;
    // Patching twice changes nothing.
    EXPECT_EQ(HookProc_Install(dll.Handle(), import.first, name.c_str(), replacement), platform);
    EXPECT_EQ(dll.Slot(name), replacement) << name;
    EXPECT_EQ(HookProc_UnInstall(dll.Handle(), import.first, name.c_str()), 1) << name;
    EXPECT_EQ(dll.Slot(name), platform) << name;
  }
  // The internal entry point: the same walk, restored by replacement.
  void* entry = nullptr;
  EXPECT_EQ(zr::InterceptImport(dll.Handle(), "user32", "LoadStringA",
                                reinterpret_cast<void*>(&ReplacementA), &entry),
            zr::InterceptResult::kPatched);
  EXPECT_EQ(entry, reinterpret_cast<void*>(&::LoadStringA));
  EXPECT_EQ(dll.Slot("LoadStringA"), reinterpret_cast<void*>(&ReplacementA));
  EXPECT_EQ(zr::RestoreImport(dll.Handle(), "user32", "LoadStringA", nullptr), zr::InterceptResult::kPatched);
  EXPECT_EQ(dll.Slot("LoadStringA"), entry);
}

// The module patch of the resource interception: every import of the DLL
// is in the intercepted set, so every bound slot holds its replacement
// until DeInitResTranslation gives the platform's entry points back.
TEST(InterceptPe, ResTranslationPatchesEverySlotAndRestoresIt) {
  MappedDll dll(ZR_PE_IMPORT_DLL);
  ASSERT_NE(dll.Handle(), nullptr);
  std::map<std::string, void*> bound;
  for (const auto& [name, slot] : dll.Slots()) bound[name] = dll.Slot(name);
  ASSERT_EQ(bound.size(), 6u);
  EXPECT_EQ(InitResTranslation(dll.Handle()), 1);
  for (const auto& [name, platform] : bound) {
    ASSERT_NE(zr::ReplacementOf(name.c_str()), nullptr) << name;
    EXPECT_EQ(dll.Slot(name), zr::ReplacementOf(name.c_str())) << name;
  }
  EXPECT_EQ(Supp_InitResTranslation(dll.Handle()), 1);  // idempotent
  EXPECT_EQ(dll.Slot("LoadStringA"), zr::ReplacementOf("LoadStringA"));
  EXPECT_EQ(DeInitResTranslation(dll.Handle()), 1);
  for (const auto& [name, platform] : bound) EXPECT_EQ(dll.Slot(name), platform) << name;
}

TEST(InterceptPe, RefusesWhatIsNotAPatchableImage) {
  // A null module: the address of a function that answers 0.
  void* zero = HookProc_Install(nullptr, "user32", "LoadStringA", reinterpret_cast<void*>(&ReplacementA));
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(reinterpret_cast<int (*)()>(zero)(), 0);
  MappedDll dll(ZR_PE_IMPORT_DLL);
  EXPECT_EQ(HookProc_Install(dll.Handle(), "user32", "NoSuchFunction", &zero), nullptr);
  EXPECT_EQ(HookProc_Install(dll.Handle(), "nosuchlib", "LoadStringA", &zero), nullptr);
  // An ELF module is not PE: HookProc_Install leaves it alone.
  EXPECT_EQ(HookProc_Install(GetModuleHandleW(nullptr), "user32", "LoadStringA", &zero), nullptr);
  // A 32-bit optional header.
  pe::ImportWalker walker;
  ASSERT_EQ(pe::ImportWalker::Open(dll.Image(), dll.Size(), &walker), pe::Status::kOk);
  auto* nt = const_cast<pe::IMAGE_NT_HEADERS64*>(&walker.Headers());
  nt->FileHeader.SizeOfOptionalHeader = 224;
  EXPECT_EQ(HookProc_Install(dll.Handle(), "user32", "LoadStringA", &zero), nullptr);
  nt->FileHeader.SizeOfOptionalHeader = pe::kOptionalHeaderSize64;
  // Damage, each refused by the walker: the directory past the end, a
  // library name without its terminator, a table that runs off the image.
  pe::IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[pe::kImportDirectory];
  const pe::IMAGE_DATA_DIRECTORY saved = imports;
  imports.VirtualAddress = static_cast<DWORD>(dll.Size() - 8);
  std::size_t changed = 0;
  EXPECT_EQ(PatchPeImports(dll.Handle(), dll.Size(), &zero, &zero, &changed), ImportPatch::kBadImage);
  imports = saved;
  auto* desc = reinterpret_cast<pe::IMAGE_IMPORT_DESCRIPTOR*>(dll.Image() + imports.VirtualAddress);
  const DWORD name = desc->Name;
  desc->Name = static_cast<DWORD>(dll.Size() - 4);
  std::memset(dll.Image() + dll.Size() - 4, 'x', 4);
  EXPECT_EQ(PatchPeImports(dll.Handle(), dll.Size(), &zero, &zero, &changed), ImportPatch::kBadImage);
  desc->Name = name;
  desc->FirstThunk = static_cast<DWORD>(dll.Size() - 8);
  std::memset(dll.Image() + dll.Size() - 8, 1, 8);
  EXPECT_EQ(PatchPeImports(dll.Handle(), dll.Size(), &zero, &zero, &changed), ImportPatch::kBadImage);
  // Cut anywhere inside the headers, the image is not taken for PE32+.
  const std::size_t headersEnd = 0x80 + sizeof(pe::IMAGE_NT_HEADERS64);  // MinGW's e_lfanew is 0x80
  for (std::size_t cut = 0; cut < headersEnd; cut += 8)
    EXPECT_NE(pe::ImportWalker::Open(dll.Image(), cut, &walker), pe::Status::kOk) << cut;
}

TEST(InterceptElf, GotSlotPatchedAndRestored) {
  HMODULE module = LoadLibraryA(ZR_ELF_IMPORT_MODULE);
  ASSERT_NE(module, nullptr);
  auto load = reinterpret_cast<int (*)(HMODULE, char*, int)>(GetProcAddress(module, "ElfImportLoadString"));
  ASSERT_NE(load, nullptr);
  char buffer[32];
  EXPECT_EQ(load(module, buffer, sizeof buffer), 13);
  EXPECT_STREQ(buffer, "platform text");
  // The platform function as the module sees it: the exported LoadStringA.
  const void* platform = reinterpret_cast<const void*>(&::LoadStringA);
  std::size_t changed = 0;
  ASSERT_EQ(PatchElfImports(module, platform, reinterpret_cast<const void*>(&ReplacedLoadString), &changed),
            ImportPatch::kDone);
  EXPECT_EQ(changed, 1u);
  EXPECT_EQ(load(module, buffer, sizeof buffer), 8);
  EXPECT_STREQ(buffer, "replaced");
  // Patched again: nothing holds the platform function any more.
  ASSERT_EQ(PatchElfImports(module, platform, reinterpret_cast<const void*>(&ReplacementB), &changed),
            ImportPatch::kDone);
  EXPECT_EQ(changed, 0u);
  ASSERT_EQ(PatchElfImports(module, reinterpret_cast<const void*>(&ReplacedLoadString), platform, &changed),
            ImportPatch::kDone);
  EXPECT_EQ(changed, 1u);
  EXPECT_EQ(load(module, buffer, sizeof buffer), 13);
  EXPECT_STREQ(buffer, "platform text");
  // The interception entry point takes the ELF walk for an ELF module: the
  // user32 stand-in answers the exported LoadStringA, the module's slot.
  void* entry = nullptr;
  EXPECT_EQ(zr::InterceptImport(module, "user32", "LoadStringA", reinterpret_cast<void*>(&ReplacedLoadString), &entry),
            zr::InterceptResult::kPatched);
  EXPECT_EQ(entry, platform);
  EXPECT_EQ(load(module, buffer, sizeof buffer), 8);
  EXPECT_EQ(zr::RestoreImport(module, "user32", "LoadStringA", nullptr), zr::InterceptResult::kPatched);
  EXPECT_EQ(load(module, buffer, sizeof buffer), 13);
  EXPECT_EQ(PatchElfImports(reinterpret_cast<HMODULE>(&changed), nullptr, nullptr, &changed),
            ImportPatch::kNotElf);
  EXPECT_TRUE(FreeLibrary(module));
}

}  // namespace
