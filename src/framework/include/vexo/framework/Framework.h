//===- Framework.h - the whole framework stand-in ------------------------===//
#pragma once

#include <vexo/framework/Application.h>
#include <vexo/framework/Classes.h>
#include <vexo/framework/Collections.h>
#include <vexo/framework/Files.h>
#include <vexo/framework/DateUtils.h>
#include <vexo/framework/Interfaced.h>
#include <vexo/framework/Lists.h>
#include <vexo/framework/Messages.h>
#include <vexo/framework/ResourceStrings.h>
#include <vexo/framework/SysUtils.h>
#include <vexo/framework/UIServices.h>
#include <vexo/framework/Variants.h>
