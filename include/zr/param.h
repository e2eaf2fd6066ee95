// param.h - parameter trees: the interface IParam every back-end implements,
// the memory back-end's factory, the binary parameter stream, and the
// utilities that work on any tree.
//
// A tree is made of nodes; each node holds named sub-parameters (child
// nodes) and named values (variants). Names are 8-bit, zero-terminated and
// compare without regard to letter case (ASCII letters): within a node two
// names are the same when their lowered h * 257 hashes are equal
// (zr/tmap.h), the text itself is not compared. A name with a backslash is
// a path: the text before the last backslash addresses a descendant node,
// the text after it the name within that node (each operation says whether
// it takes paths). An empty or null value name is the default value "@".
//
// Ownership follows the object model: an operation that returns a node or
// an enumerator gives the caller one reference; variants passed in stay the
// caller's (GetValue writes a copy, SetValue stores a copy). Enumerated
// names are valid while their enumerator lives.
//
// A tree and its enumerators are used by one thread at a time.
#pragma once

#include "zr/exception.h"
#include "zr/tenum.h"
#include "zr/unknown.h"
#include "zr/xstream.h"
#include "zr/xstring.h"

struct tagZRVARIANT;

// One node of a parameter tree. The operations are declared in table-slot
// order (slots 3 to 13 after IZRUnknown's three), which is fixed.
class ZR_API IParam : public IZRUnknown {
 public:
  // Slot 3: the sub-parameter `name` (or path) afterwards exists and holds
  // nothing: an existing one is emptied (Purge) and returned. New
  // reference, or null.
  virtual IParam* CreateParam(const char* name) = 0;
  // Slot 4: the existing sub-parameter `name` (or path); when there is
  // none, null if `create` is 0, else CreateParam(name).
  virtual IParam* OpenParam(const char* name, int create) = 0;
  // Slot 5: empties the sub-parameter (a path empties the addressed
  // descendant, which stays in its parent) and removes it from this node.
  virtual void DeleteParam(const char* name) = 0;
  // Slot 6: DeleteParam for every sub-parameter.
  virtual void DeleteAllParams() = 0;
  // Slot 7: the names of the sub-parameters, or null.
  virtual CTEnum<const char*>* EnumParams() = 0;
  // Slot 8: copies the value `name` (or path) into *out: 1. 0 when there is
  // none (*out unchanged on the memory back-end).
  virtual int GetValue(const char* name, tagZRVARIANT* out) = 0;
  // Slot 9: stores a copy of *value under `name` (or path; the nodes on
  // the path are created).
  virtual void SetValue(const char* name, const tagZRVARIANT* value) = 0;
  // Slot 10: removes the value `name` (no path).
  virtual void DeleteValue(const char* name) = 0;
  // Slot 11: DeleteValue for every value.
  virtual void DeleteAllValues() = 0;
  // Slot 12: the names of the values, or null.
  virtual CTEnum<const char*>* EnumValues() = 0;
  // Slot 13: removes everything the node holds.
  virtual void Purge() = 0;

 protected:
  ~IParam() = default;
};

// The reference-counting base of the back-ends (tail slots after slot 13).
extern template class ZR_API CZRUnknownImpl<IParam>;

// A new, empty memory node (CMemParam) with an empty name; null when memory
// cannot be had. Names are enumerated in the order of their first
// insertion; deleting a name and setting it again moves it to the end.
// QueryInterface answers only IRegisterIface (not IParam, not IZRUnknown).
// Paths given to GetValue and SetValue may have any length.
ZR_API IParam* new_MemParam();

// --- The parameter stream ------------------------------------------------
// The binary form of a tree: for each node, its sub-parameters (name with
// WriteString, then the sub-parameter's own record), an empty string, its
// values (name with WriteString, then WriteVariant), an empty string. No
// header, count or length; the root's name is not written; a sub-parameter
// with an empty name is skipped with its content.

// Writes `tree` to `stream` from the stream's position. 1 when the whole
// tree was written; 0 when a CXFileException stopped it (the bytes already
// written stay).
ZR_API int SaveParamToXStream(IXStream* stream, IParam* tree);

// Empties `tree`, then reads a tree from `stream` (from its position up to
// its size) into it. 1 on success, also when the stream ends early (what
// was read stays) and for an empty stream; 0 when a record is unreadable (a
// CXFileException from the stream: the tree is emptied again). Names must be
// shorter than 1024 bytes and contain no line feed. Nodes nested more than
// 256 levels below `tree` make the stream unreadable.
ZR_API int LoadParamFromXStream(IXStream* stream, IParam* tree);

// --- Utilities -----------------------------------------------------------

// Merges `source` into `destination`: every sub-parameter (created when
// missing) and value of the source is copied; nothing is removed. Throws
// CXIFaceException (cause 10, CTEnum<const char*>) when a tree hands out no
// enumerator.
ZR_API void Param_CopyTo(IParam* source, IParam* destination);

// 1 when every value and sub-parameter of `first` is found equal in
// `second` (one-sided: what only `second` has is not looked at); 0
// otherwise or when either is null.
ZR_API int Param_Cmp(IParam* first, IParam* second);

// Writes the names of the tree to the debugger output (zrpal's
// OutputDebugStringA: standard error when the environment variable
// ZR_DEBUG_OUTPUT is set): " name \n" for each value, "--- name ---\n" and
// the sub-parameter's own dump for each sub-parameter.
ZR_API void Dump_Param(IParam* tree);

// --- The parameter text ---------------------------------------------------
// The library's own text form of a tree: lines of items separated by "|":
// section headers "[\a\b]" (the root is "[\]"), values name=value text
// (a type tag and the text, as the INI back-end keeps them), flags (an item
// without "=": the integer 0), comments (";" to the end of the line) and
// "#include NAME" directives. An included file is looked for by its name
// (beside the including file when the name starts with ".") and in the
// folder of the outermost file; the second wins. Includes nest at most 16
// files deep; a file the reader is already inside, a memory-file name and a
// file that does not open are passed over. Unreadable items are skipped.
// The writer puts each node on one line: "\r\n[" path "]\t", then
// "\t| " name "=" value text for each value; wide strings are written as
// 8-bit strings.

// The one-line string form of the tree: the items of its parameter text,
// each followed by "|" (for a root holding only the integer n = 5 and an
// empty sub-parameter a: "[\]\t\t|n=i5|[\a]\t|"). 1; 0 for a null tree or
// when the memory file cannot be made.
ZR_API int Param_Param2String(IParam* tree, CXString& output);

// Reads the parameter text (or its one-line string form: bars separate
// items as line ends do) into `tree`, merging. Included files are opened
// with Fio_Open; the outermost folder is "\" (the memory file's name has
// none). The reader's result (1); 0 for a null tree or when the memory file
// cannot be made.
ZR_API int Param_String2Param(CXString& input, IParam* tree);

// Reads the parameter text file `fileName` (Fio_Open, mode 0) into `tree`,
// merging. A CXFileException of the opening passes to the caller. The
// reader's result: 1, or 0 for a null tree.
ZR_API int Param_IniFile2Param(const WCHAR* fileName, IParam* tree);

// Writes the parameter text of `tree` to `fileName` through a committing
// writer (Fio_OpenOut, mode 1): the target is replaced only when the whole
// text is written. The writer's exceptions pass to the caller, the target
// unchanged. 1; 0 for a null tree (the target untouched).
ZR_API int Param_Param2IniFile(IParam* tree, const WCHAR* fileName);
