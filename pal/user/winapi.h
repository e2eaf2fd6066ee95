// pal/user/winapi.h - the Win32 entry points libzrcore exports under their
// Win32 names (C linkage), so that a Linux module can import them by symbol
// as a Windows module imports them from USER32 and KERNEL32.
//
// They are the set the resource interception replaces. Each forwards to the
// platform layer's function of that name; GetProcAddress on the user32 and
// kernel32 stand-ins answers these addresses, so the GOT slot of a module
// that calls LoadStringA holds the very value the interception compares.
#pragma once

#include "pal/user/menu.h"
#include "pal/user/resource.h"
#include "pal/user/window.h"


extern "C" {
ZR_API int LoadStringA(zrpal::HINSTANCE instance, zrpal::UINT id, zrpal::LPSTR buffer, int capacity);
ZR_API int LoadStringW(zrpal::HINSTANCE instance, zrpal::UINT id, zrpal::LPWSTR buffer, int capacity);
ZR_API zrpal::HMENU LoadMenuA(zrpal::HINSTANCE instance, zrpal::LPCSTR name);
ZR_API zrpal::HMENU LoadMenuW(zrpal::HINSTANCE instance, zrpal::LPCWSTR name);
ZR_API zrpal::HMENU LoadMenuIndirectA(const void* menuTemplate);
ZR_API zrpal::HRSRC FindResourceA(zrpal::HMODULE module, zrpal::LPCSTR name, zrpal::LPCSTR type);
ZR_API zrpal::HRSRC FindResourceW(zrpal::HMODULE module, zrpal::LPCWSTR name, zrpal::LPCWSTR type);
ZR_API zrpal::HRSRC FindResourceExA(zrpal::HMODULE module, zrpal::LPCSTR type, zrpal::LPCSTR name, zrpal::WORD language);
ZR_API zrpal::HRSRC FindResourceExW(zrpal::HMODULE module, zrpal::LPCWSTR type, zrpal::LPCWSTR name, zrpal::WORD language);
ZR_API zrpal::HGLOBAL LoadResource(zrpal::HMODULE module, zrpal::HRSRC resource);
ZR_API zrpal::LPVOID LockResource(zrpal::HGLOBAL data);
ZR_API zrpal::DWORD SizeofResource(zrpal::HMODULE module, zrpal::HRSRC resource);
ZR_API zrpal::BOOL FreeResource(zrpal::HGLOBAL data);
ZR_API zrpal::HWND CreateDialogParamA(zrpal::HINSTANCE instance, zrpal::LPCSTR name, zrpal::HWND parent, zrpal::DLGPROC procedure, zrpal::LPARAM parameter);
ZR_API zrpal::HWND CreateDialogParamW(zrpal::HINSTANCE instance, zrpal::LPCWSTR name, zrpal::HWND parent, zrpal::DLGPROC procedure, zrpal::LPARAM parameter);
ZR_API zrpal::INT_PTR DialogBoxParamA(zrpal::HINSTANCE instance, zrpal::LPCSTR name, zrpal::HWND parent, zrpal::DLGPROC procedure, zrpal::LPARAM parameter);
ZR_API zrpal::INT_PTR DialogBoxParamW(zrpal::HINSTANCE instance, zrpal::LPCWSTR name, zrpal::HWND parent, zrpal::DLGPROC procedure, zrpal::LPARAM parameter);
ZR_API zrpal::INT_PTR DialogBoxIndirectParamA(zrpal::HINSTANCE instance, const void* dialogTemplate, zrpal::HWND parent, zrpal::DLGPROC procedure, zrpal::LPARAM parameter);
ZR_API zrpal::INT_PTR DialogBoxIndirectParamW(zrpal::HINSTANCE instance, const void* dialogTemplate, zrpal::HWND parent, zrpal::DLGPROC procedure, zrpal::LPARAM parameter);
ZR_API zrpal::HWND CreateDialogIndirectParamA(zrpal::HINSTANCE instance, const void* dialogTemplate, zrpal::HWND parent, zrpal::DLGPROC procedure, zrpal::LPARAM parameter);
ZR_API zrpal::HWND CreateDialogIndirectParamW(zrpal::HINSTANCE instance, const void* dialogTemplate, zrpal::HWND parent, zrpal::DLGPROC procedure, zrpal::LPARAM parameter);
ZR_API int MessageBoxA(zrpal::HWND owner, zrpal::LPCSTR text, zrpal::LPCSTR caption, zrpal::UINT type);
ZR_API int MessageBoxExA(zrpal::HWND owner, zrpal::LPCSTR text, zrpal::LPCSTR caption, zrpal::UINT type, zrpal::WORD language);
ZR_API int MessageBoxIndirectA(const zrpal::MSGBOXPARAMSA* params);
}
