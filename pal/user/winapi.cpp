// pal/user/winapi.cpp - the exported Win32 entry points (see winapi.h).
#include "pal/user/winapi.h"

extern "C" {
int LoadStringA(zrpal::HINSTANCE instance, zrpal::UINT id, zrpal::LPSTR buffer, int capacity) { return zrpal::LoadStringA(instance, id, buffer, capacity); }
int LoadStringW(zrpal::HINSTANCE instance, zrpal::UINT id, zrpal::LPWSTR buffer, int capacity) { return zrpal::LoadStringW(instance, id, buffer, capacity); }
zrpal::HMENU LoadMenuA(zrpal::HINSTANCE instance, zrpal::LPCSTR name) { return zrpal::LoadMenuA(instance, name); }
zrpal::HMENU LoadMenuW(zrpal::HINSTANCE instance, zrpal::LPCWSTR name) { return zrpal::LoadMenuW(instance, name); }
zrpal::HMENU LoadMenuIndirectA(const void* menuTemplate) { return zrpal::LoadMenuIndirectA(menuTemplate); }
zrpal::HRSRC FindResourceA(zrpal::HMODULE module, zrpal::LPCSTR name, zrpal::LPCSTR type) { return zrpal::FindResourceA(module, name, type); }
zrpal::HRSRC FindResourceW(zrpal::HMODULE module, zrpal::LPCWSTR name, zrpal::LPCWSTR type) { return zrpal::FindResourceW(module, name, type); }
zrpal::HRSRC FindResourceExA(zrpal::HMODULE module, zrpal::LPCSTR type, zrpal::LPCSTR name, zrpal::WORD language) { return zrpal::FindResourceExA(module, type, name, language); }
zrpal::HRSRC FindResourceExW(zrpal::HMODULE module, zrpal::LPCWSTR type, zrpal::LPCWSTR name, zrpal::WORD language) { return zrpal::FindResourceExW(module, type, name, language); }
zrpal::HGLOBAL LoadResource(zrpal::HMODULE module, zrpal::HRSRC resource) { return zrpal::LoadResource(module, resource); }
zrpal::LPVOID LockResource(zrpal::HGLOBAL data) { return zrpal::LockResource(data); }
zrpal::DWORD SizeofResource(zrpal::HMODULE module, zrpal::HRSRC resource) { return zrpal::SizeofResource(module, resource); }
zrpal::BOOL FreeResource(zrpal::HGLOBAL data) { return zrpal::FreeResource(data); }
zrpal::HWND CreateDialogParamA(zrpal::HINSTANCE instance, zrpal::LPCSTR name, zrpal::HWND parent, zrpal::DLGPROC procedure, zrpal::LPARAM parameter) { return zrpal::CreateDialogParamA(instance, name, parent, procedure, parameter); }
zrpal::HWND CreateDialogParamW(zrpal::HINSTANCE instance, zrpal::LPCWSTR name, zrpal::HWND parent, zrpal::DLGPROC procedure, zrpal::LPARAM parameter) { return zrpal::CreateDialogParamW(instance, name, parent, procedure, parameter); }
zrpal::INT_PTR DialogBoxParamA(zrpal::HINSTANCE instance, zrpal::LPCSTR name, zrpal::HWND parent, zrpal::DLGPROC procedure, zrpal::LPARAM parameter) { return zrpal::DialogBoxParamA(instance, name, parent, procedure, parameter); }
zrpal::INT_PTR DialogBoxParamW(zrpal::HINSTANCE instance, zrpal::LPCWSTR name, zrpal::HWND parent, zrpal::DLGPROC procedure, zrpal::LPARAM parameter) { return zrpal::DialogBoxParamW(instance, name, parent, procedure, parameter); }
zrpal::INT_PTR DialogBoxIndirectParamA(zrpal::HINSTANCE instance, const void* dialogTemplate, zrpal::HWND parent, zrpal::DLGPROC procedure, zrpal::LPARAM parameter) { return zrpal::DialogBoxIndirectParamA(instance, dialogTemplate, parent, procedure, parameter); }
zrpal::INT_PTR DialogBoxIndirectParamW(zrpal::HINSTANCE instance, const void* dialogTemplate, zrpal::HWND parent, zrpal::DLGPROC procedure, zrpal::LPARAM parameter) { return zrpal::DialogBoxIndirectParamW(instance, dialogTemplate, parent, procedure, parameter); }
zrpal::HWND CreateDialogIndirectParamA(zrpal::HINSTANCE instance, const void* dialogTemplate, zrpal::HWND parent, zrpal::DLGPROC procedure, zrpal::LPARAM parameter) { return zrpal::CreateDialogIndirectParamA(instance, dialogTemplate, parent, procedure, parameter); }
zrpal::HWND CreateDialogIndirectParamW(zrpal::HINSTANCE instance, const void* dialogTemplate, zrpal::HWND parent, zrpal::DLGPROC procedure, zrpal::LPARAM parameter) { return zrpal::CreateDialogIndirectParamW(instance, dialogTemplate, parent, procedure, parameter); }
int MessageBoxA(zrpal::HWND owner, zrpal::LPCSTR text, zrpal::LPCSTR caption, zrpal::UINT type) { return zrpal::MessageBoxA(owner, text, caption, type); }
int MessageBoxExA(zrpal::HWND owner, zrpal::LPCSTR text, zrpal::LPCSTR caption, zrpal::UINT type, zrpal::WORD language) { return zrpal::MessageBoxExA(owner, text, caption, type, language); }
int MessageBoxIndirectA(const zrpal::MSGBOXPARAMSA* params) { return zrpal::MessageBoxIndirectA(params); }
}
