// zrcore.h - every public header of the library, for modules that want one
// include.
#pragma once

#include "zr/zrtypes.h"
#include "zr/version.h"
#include "zr/unknown.h"
#include "zr/heap.h"
#include "zr/exception.h"
#include "zr/tenum.h"
#include "zr/tlist.h"
#include "zr/tmap.h"
#include "zr/ifacereg.h"
#include "zr/xstring.h"
#include "zr/geometry.h"
#include "zr/blob.h"
#include "zr/variant.h"
#include "zr/registry.h"
#include "zr/service.h"
#include "zr/xstream.h"
#include "zr/persist.h"
#include "zr/param.h"
#include "zr/iniparam.h"
