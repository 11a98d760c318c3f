//===- Platform.h - the whole COM/kernel stand-in ------------------------===//
#pragma once

#include <vexo/platform/Activation.h>
#include <vexo/platform/ComBase.h>
#include <vexo/platform/ComInterfaces.h>
#include <vexo/platform/ComObject.h>
#include <vexo/platform/ComPtr.h>
#include <vexo/platform/ErrorText.h>
#include <vexo/platform/GlobalMemory.h>
#include <vexo/platform/Guid.h>
#include <vexo/platform/Registry.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/Time.h>
#include <vexo/platform/Variant.h>
#include <vexo/platform/WideString.h>
