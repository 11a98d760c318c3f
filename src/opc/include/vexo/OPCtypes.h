//===- OPCtypes.h - base types shared by the OPC declarations -------------===//
//
// This file defines the handle type and the pointer typedefs that the OPC Data
// Access and OPC Common interfaces use, on top of the COM base types of the
// platform. Like every COM ABI type they live at global scope.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <vexo/platform/ComBase.h>
#include <vexo/platform/ComInterfaces.h>
#include <vexo/platform/Variant.h>

/// A 32-bit handle naming a group or an item, on the client or on the server side.
using OPCHANDLE = DWORD;
using LPOPCHANDLE = OPCHANDLE *;

static_assert(sizeof(OPCHANDLE) == 4);
static_assert(sizeof(HRESULT) == 4 && sizeof(LONG) == 4 && sizeof(BOOL) == 4);
static_assert(sizeof(LCID) == 4 && sizeof(VARTYPE) == 2 && sizeof(FLOAT) == 4);
