// geometry.h - the integer and double-precision point, size and rectangle
// records carried by variants.
//
// tagPOINT, tagSIZE and tagRECT are the platform's integer records with the
// Windows member types (32-bit signed LONG), so their layout is the one other
// modules were compiled against. tagRPOINT, tagRSIZE and tagRRECT have the
// same shapes and member order with double members.
//
// Empty rectangles: an integer rectangle is exclusive of its right and bottom
// edge and is empty when left >= right or top >= bottom; a double rectangle
// is inclusive of them and is empty when left > right or top > bottom. The
// variant conversions move between the two with a shift of 1.
#pragma once

#include <cstddef>

#include "zr/zrtypes.h"

struct tagPOINT {
  LONG x;
  LONG y;
};

struct tagSIZE {
  LONG cx;
  LONG cy;
};

struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

struct tagRPOINT {
  double x;
  double y;
};

struct tagRSIZE {
  double cx;
  double cy;
};

struct tagRRECT {
  double left;
  double top;
  double right;
  double bottom;
};

static_assert(sizeof(tagPOINT) == 8 && offsetof(tagPOINT, y) == 4);
static_assert(sizeof(tagSIZE) == 8 && offsetof(tagSIZE, cy) == 4);
static_assert(sizeof(tagRECT) == 16 && offsetof(tagRECT, top) == 4 &&
              offsetof(tagRECT, right) == 8 && offsetof(tagRECT, bottom) == 12);
static_assert(sizeof(tagRPOINT) == 16 && offsetof(tagRPOINT, y) == 8);
static_assert(sizeof(tagRSIZE) == 16 && offsetof(tagRSIZE, cy) == 8);
static_assert(sizeof(tagRRECT) == 32 && offsetof(tagRRECT, top) == 8 &&
              offsetof(tagRRECT, right) == 16 && offsetof(tagRRECT, bottom) == 24);
