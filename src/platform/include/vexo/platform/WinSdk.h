//===- WinSdk.h - the system's COM, OLE automation and kernel headers ----===//
//
// This file includes the Windows headers that declare what the stand-in
// declares on other systems, and takes back the macros of those headers that
// would rename this library's own identifiers (PostMessage, SendMessage ...).
// Include it only through the platform headers.
//
//===----------------------------------------------------------------------===//
#pragma once

#ifndef _WIN32
#error "WinSdk.h is for Windows builds only"
#endif

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601 // Windows 7: RegDeleteTree
#endif

#include <windows.h>

#include <comcat.h>
#include <objbase.h>
#include <objidl.h>
#include <ocidl.h>
#include <oleauto.h>
#include <olectl.h>

#undef PostMessage
#undef SendMessage
#undef GetObject
#undef GetMessage
#undef DispatchMessage
#undef CreateWindow
#undef LoadString
#undef GetClassName
#undef ERROR
#undef DELETE
#undef Yield
#undef GetCurrentTime
#undef FormatMessage
#undef RegisterClass
#undef GetUserName
#undef GetComputerName
#undef CopyFile
#undef DeleteFile
#undef MoveFile
