// iniparam.h - the INI-file back-end of the parameter trees (CIniFileParam),
// its factory, and the name enumerator CIniFileEnum.
//
// A tree lives in the sections of one INI file, read and written only
// through the platform's profile functions (one call per operation, so the
// file syntax and its rules are theirs, and another process's change is seen
// at the next call):
//
//   root node                         section "\"
//   sub-parameter N of the root       section "\N"
//   sub-parameter N of section S      section "S\N"
//   value named N                     key N of the node's section
//   default value (null or "" name)   key "@"
//   value content                     the value text: type tag + text
//   section marker                    key "@" = "e", written into every
//                                     section a node opens or creates
//
// So a tree with a sub-parameter a holding b lives in the sections \, \a and
// \a\b; a name with backslashes lengthens the section name, and a path needs
// no further handling in CreateParam and OpenParam. Section names, key
// names and texts are the profile functions': names compare without regard
// to case and lose the white space around them.
//
// Lists and value texts are read into 64000-byte buffers: longer ones are
// cut as the profile functions cut them. A value text longer than 63999
// bytes is written cut to that length, which is what a read of it gives.
// Paths given to GetValue and SetValue may have any length.
//
// Errors of the profile functions are not reported: a failed read reads as
// empty, a failed write is lost. Nodes are used by one thread at a time.
#pragma once

#include "zr/ifacereg.h"
#include "zr/param.h"
#include "zr/tenum.h"

// One node: a section of the file. Table slots 0-13 are IParam's; the
// node's own operations follow (slots 14-16), then RegisterInterface of its
// IRegisterIface base (slot 17 of this table, slot 3 of the second).
// QueryInterface answers only the interface registry, which holds
// IRegisterIface (this node, without a reference).
class ZR_API CIniFileParam final : public IParam, public IRegisterIface {
 public:
  // Builds the node of section `parentSection` + "\" + `name` (no "\" after
  // the root's "\"; `parentSection` alone for a null name) in `fileName`,
  // holding a reference to `parent` (may be null). When the section's key
  // "@" reads as empty, the file's folder is created and the marker written.
  CIniFileParam(const char* fileName, const char* parentSection, const char* name, IParam* parent);

  CIniFileParam(const CIniFileParam&) = delete;
  CIniFileParam& operator=(const CIniFileParam&) = delete;

  // One count and one identity for both bases; the last Release frees the
  // names, releases the parent and the registry, and deletes the node.
  ULONG Release() override;
  int QueryInterface(const std::type_info& type, void** out) override;
  ULONG AddRef() override;

  // Slot 3: an existing sub-parameter is purged first; the new node's
  // section holds the marker.
  IParam* CreateParam(const char* name) override;
  // Slot 4: a node when the sub-section has at least one key.
  IParam* OpenParam(const char* name, int create) override;
  // Slot 5: purges the sub-parameter: its section and every one below go.
  void DeleteParam(const char* name) override;
  void DeleteAllParams() override;
  // Slot 7: EnumSubSections.
  CTEnum<const char*>* EnumParams() override;
  // Slot 8: clears *out, then reads the key: 1 when its value text is read.
  int GetValue(const char* name, tagZRVARIANT* out) override;
  // Slot 9: nothing is written for the types without a value text.
  void SetValue(const char* name, const tagZRVARIANT* value) override;
  // Slot 10: deletes the key `name` (null: "@"; no path).
  void DeleteValue(const char* name) override;
  // Slot 11: deletes every key, then writes the marker again.
  void DeleteAllValues() override;
  // Slot 12: the section's key names ("@" among them).
  CTEnum<const char*>* EnumValues() override;
  // Slot 13: purges every sub-parameter, then deletes the section.
  void Purge() override;

  // Slot 14: the names of the sub-parameters: for each section of the file,
  // in file order, the first component after this node's section name and
  // a backslash; each name once (letter case counted).
  virtual CTEnum<const char*>* EnumSubSections();
  // Slot 15: holds a reference to `parent`, releases the previous one.
  virtual void SetParent(IParam* parent);
  // Slot 16: the parent with a new reference, or null.
  virtual IParam* GetParent();

  int RegisterInterface(IZRUnknown* object, const std::type_info& type, ULONG strong) override;

  const char* GetFileName() const { return m_pszFileName; }
  const char* GetSection() const { return m_pszSection; }

 private:
  ~CIniFileParam();

  ULONG m_cRef;
  CZRInterfaceRegistry m_registry;
  IParam* m_pParent;
  char* m_pszFileName;
  char* m_pszSection;
  ULONG m_nSectionLength;
  int m_bRoot;  // the section is exactly "\"

  friend struct CIniFileParamLayout;
};

// The enumerator of _CZeroDelimitedStringsEnum<char>'s layout and
// operations that keeps no node alive (its owner is always null). The
// back-end hands out _CZeroDelimitedStringsEnum<char>; this one is for
// callers that enumerate a zero-delimited list of their own.
class ZR_API CIniFileEnum : public _CZeroDelimitedStringsEnum<char> {
 public:
  explicit CIniFileEnum(const char* list);
};

// A tree kept in the INI file `fileName` (converted to 8 bits): the root
// node, section "\". A file or folder that does not exist is created with
// the section marker. Count 1; null only if memory cannot be had.
ZR_API IParam* new_IParamIniFile(const WCHAR* fileName);
