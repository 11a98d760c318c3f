//===- Vexo.h - the whole client unit ------------------------------------===//
#pragma once

#include <vexo/VexoErrors.h>
#include <vexo/client/TVexoBrowser.h>
#include <vexo/client/TVexoGroup.h>
#include <vexo/client/TVexoItem.h>
#include <vexo/client/TVexoItemList.h>
#include <vexo/client/TVexoItemProperties.h>
#include <vexo/client/TVexoServer.h>
#include <vexo/client/VexoSinks.h>
#include <vexo/client/TvexoServerBrowser.h>
#include <vexo/client/VexoRegister.h>
#include <vexo/client/VexoTypes.h>
#include <vexo/foundation/Conversions.h>
