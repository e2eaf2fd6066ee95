// A writer process for the cross-process profile tests (tests/pal).
//
//   profile_writer FILE PREFIX COUNT  sets keys PREFIX0 .. PREFIX<COUNT-1> of
//                                     section "s" to their numbers, one write
//                                     each; exit status 0 when every write
//                                     succeeded
//   profile_writer FILE --count       sets key "n" of section "s" to n + 1,
//                                     n + 2, ... until it is killed
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pal/profile/profile.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[2], "--count") == 0) {
    char current[32];
    zrpal::GetPrivateProfileStringA("s", "n", "0", current, sizeof current, argv[1]);
    for (long n = std::atol(current) + 1;; ++n)
      zrpal::WritePrivateProfileStringA("s", "n", std::to_string(n).c_str(), argv[1]);
  }
  if (argc != 4) {
    std::fputs("usage: profile_writer FILE PREFIX COUNT | FILE --count\n", stderr);
    return 2;
  }
  const int count = std::atoi(argv[3]);
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    const std::string key = argv[2] + std::to_string(i);
    failed +=
        !zrpal::WritePrivateProfileStringA("s", key.c_str(), std::to_string(i).c_str(), argv[1]);
  }
  return failed == 0 ? 0 : 1;
}
