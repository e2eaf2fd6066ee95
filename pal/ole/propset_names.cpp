// pal/ole/propset_names.cpp - the stream name of a simple property set.
//
// The two summary sets have names of their own ("\005SummaryInformation";
// the document summary set and the user-defined set share
// "\005DocumentSummaryInformation"). Any other format identifier is written
// as "\005" and 26 characters: the identifier's 16 bytes (in memory order)
// taken as one little-endian bit string, 5 bits a character, each the
// index into "abcdefghijklmnopqrstuvwxyz012345"; the last character carries
// the remaining 3 bits. Reading a name back takes either letter case.
#include "pal/ole/propidl.h"

namespace zrpal {

namespace {

constexpr char16_t kPrefix = u'\005';
constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz012345";
constexpr int kBits = 128;
constexpr int kChars = 26;  // ceil(128 / 5)
constexpr char16_t kSummary[] = u"\005SummaryInformation";
constexpr char16_t kDocSummary[] = u"\005DocumentSummaryInformation";

void GuidBytes(const GUID& g, BYTE out[16]) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<BYTE>(g.Data1 >> (8 * i));
  out[4] = static_cast<BYTE>(g.Data2);
  out[5] = static_cast<BYTE>(g.Data2 >> 8);
  out[6] = static_cast<BYTE>(g.Data3);
  out[7] = static_cast<BYTE>(g.Data3 >> 8);
  for (int i = 0; i < 8; ++i) out[8 + i] = g.Data4[i];
}

bool SameText(const char16_t* a, const char16_t* b) {
  for (; *a && *b; ++a, ++b) {
    char16_t x = *a, y = *b;
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
    if (x != y) return false;
  }
  return *a == *b;
}

}  // namespace

HRESULT FmtIdToPropStgName(const FMTID* fmtid, LPOLESTR name) {
  if (!fmtid || !name) return STG_E_INVALIDPARAMETER;
  const char16_t* fixed = nullptr;
  if (*fmtid == FMTID_SummaryInformation) fixed = kSummary;
  if (*fmtid == FMTID_DocSummaryInformation || *fmtid == FMTID_UserDefinedProperties) fixed = kDocSummary;
  if (fixed) {
    int i = 0;
    for (; fixed[i]; ++i) name[i] = fixed[i];
    name[i] = 0;
    return S_OK;
  }
  BYTE bytes[16];
  GuidBytes(*fmtid, bytes);
  name[0] = kPrefix;
  for (int c = 0; c < kChars; ++c) {
    unsigned v = 0;
    for (int b = 0; b < 5 && c * 5 + b < kBits; ++b) {
      const int bit = c * 5 + b;
      v |= ((bytes[bit / 8] >> (bit % 8)) & 1u) << b;
    }
    name[1 + c] = static_cast<OLECHAR>(kAlphabet[v]);
  }
  name[1 + kChars] = 0;
  return S_OK;
}

HRESULT PropStgNameToFmtId(const LPOLESTR name, FMTID* fmtid) {
  if (!name || !fmtid) return STG_E_INVALIDPARAMETER;
  if (SameText(name, kSummary)) {
    *fmtid = FMTID_SummaryInformation;
    return S_OK;
  }
  if (SameText(name, kDocSummary)) {
    *fmtid = FMTID_DocSummaryInformation;
    return S_OK;
  }
  if (name[0] != kPrefix) return STG_E_INVALIDNAME;
  BYTE bytes[16] = {};
  for (int c = 0; c < kChars; ++c) {
    char16_t ch = name[1 + c];
    if (ch >= u'A' && ch <= u'Z') ch = static_cast<char16_t>(ch + 32);
    int v = -1;
    for (int k = 0; k < 32; ++k)
      if (ch == static_cast<char16_t>(kAlphabet[k])) v = k;
    if (v < 0) return STG_E_INVALIDNAME;
    for (int b = 0; b < 5; ++b) {
      const int bit = c * 5 + b;
      const bool set = (v >> b) & 1;
      if (bit >= kBits) {
        if (set) return STG_E_INVALIDNAME;  // bits past the identifier
        continue;
      }
      if (set) bytes[bit / 8] = static_cast<BYTE>(bytes[bit / 8] | (1u << (bit % 8)));
    }
  }
  if (name[1 + kChars] != 0) return STG_E_INVALIDNAME;
  fmtid->Data1 = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<DWORD>(bytes[3]) << 24;
  fmtid->Data2 = static_cast<WORD>(bytes[4] | bytes[5] << 8);
  fmtid->Data3 = static_cast<WORD>(bytes[6] | bytes[7] << 8);
  for (int i = 0; i < 8; ++i) fmtid->Data4[i] = bytes[8 + i];
  return S_OK;
}

}  // namespace zrpal
