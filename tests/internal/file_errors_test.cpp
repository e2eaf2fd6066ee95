// The table of Windows errors to file causes, row by row as the contract
// lists it, and the answer for codes it does not list.
#include <gtest/gtest.h>

#include <initializer_list>

#include "files/errors.h"
#include "zr/exception.h"

namespace {

TEST(FileCauses, EveryListedErrorHasItsCause) {
  const struct {
    DWORD cause;
    std::initializer_list<DWORD> errors;
  } rows[] = {
      {ZRCAUSE_NOMEMORY, {8, 14, 84, 1130}},
      {ZRCAUSE_VOLUMEFULL, {39, 112}},
      {ZRCAUSE_EOF, {38}},
      {ZRCAUSE_FILENOTFOUND, {2}},
      {ZRCAUSE_BADPATH, {3, 15, 20, 55, 67, 123, 161, 206, 1203, 1214}},
      {ZRCAUSE_SHARING, {32, 33, 108}},
      {ZRCAUSE_ACCESSDENIED, {5, 19, 65}},
      {ZRCAUSE_DEVICE, {21, 23, 25, 27, 30, 132, 267, 1006, 1117, 1126, 1127, 1128, 1392, 1393}},
      {ZRCAUSE_NETWORK, {50, 53, 54, 58, 64, 70, 88, 1201, 1204, 1206, 1222, 6118}},
      {ZRCAUSE_TOOMANYFILES, {4}},
  };
  for (const auto& row : rows)
    for (DWORD error : row.errors)
      EXPECT_EQ(zr::FileCauseOf(error), row.cause) << "error " << error;
  for (DWORD other : {0u, 1u, 6u, 80u, 183u, 0xFFFFFFFFu})
    EXPECT_EQ(zr::FileCauseOf(other), ZRCAUSE_OSERROR) << other;
}

}  // namespace
