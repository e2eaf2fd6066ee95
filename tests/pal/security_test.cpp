// File security: descriptors and their buffer rule, tokens, access checks
// by owner, group and other bits for an ordinary user (a child process that
// gives up the superuser's ids), and account names.
#include "pal/security/security.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "common/temp_dir.h"
#include "pal/files/file.h"
#include "pal/handle.h"
#include "tests/pal/last_error.h"

namespace zrpal {
namespace {

using zrtest::TempDir;

constexpr GENERIC_MAPPING kFileMapping = {0x120089, 0x120116, 0x1200A0, 0x1F01FF};

// Whether this process may read and write `path`, asked as the library does.
bool MayReadAndWrite(const std::u16string& path) {
  DWORD needed = 0;
  if (GetFileSecurityW(path.c_str(), 7, nullptr, 0, &needed) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return false;
  std::vector<BYTE> descriptor(needed);
  HANDLE process, token;
  if (!GetFileSecurityW(path.c_str(), 7, descriptor.data(), needed, &needed) ||
      !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &process))
    return false;
  const BOOL duplicated = DuplicateToken(process, SecurityImpersonation, &token);
  CloseHandle(process);
  if (!duplicated) return false;
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  MapGenericMask(&access, &kFileMapping);
  PRIVILEGE_SET privileges;
  DWORD length = sizeof privileges, granted = 0;
  BOOL status = FALSE;
  const BOOL ran = AccessCheck(descriptor.data(), token, access, &kFileMapping, &privileges,
                               &length, &granted, &status);
  CloseHandle(token);
  return ran && status && granted == access;
}

TEST(Security, TheCheckFollowsOwnerGroupAndOtherBits) {
  if (::geteuid() != 0) GTEST_SKIP() << "making files of other owners needs the superuser";
  constexpr uid_t kUser = 65534;
  constexpr gid_t kGroup = 65534;
  TempDir dir;
  ::chmod(dir.Path().c_str(), 0755);
  const struct {
    const char* name;
    uid_t owner;
    gid_t group;
    mode_t mode;
    bool userMay;  // the answer for kUser in kGroup
  } cases[] = {
      {"others-rw", 0, 0, 0666, true},
      {"others-r", 0, 0, 0644, false},
      {"owner-rw", kUser, 0, 0600, true},
      {"owner-r", kUser, 0, 0466, false},  // owner bits rule the owner
      {"group-rw", 0, kGroup, 0060, true},
      {"group-r", 0, kGroup, 0646, false},
  };
  for (const auto& c : cases) {
    zrtest::WriteText(dir.Path(c.name), "x");
    ASSERT_EQ(::chown(dir.Path(c.name).c_str(), c.owner, c.group), 0);
    ASSERT_EQ(::chmod(dir.Path(c.name).c_str(), c.mode), 0);
    EXPECT_TRUE(MayReadAndWrite(dir.WPath(c.name))) << c.name << ": the superuser may";
  }
  // An ordinary user, in a process of its own; the exit code is a bit per
  // case that came out as expected.
  EXPECT_EXIT(
      {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kGroup) != 0 || ::setuid(kUser) != 0)
          std::_Exit(100);
        int matched = 0;
        for (std::size_t i = 0; i < std::size(cases); ++i)
          if (MayReadAndWrite(dir.WPath(cases[i].name)) == cases[i].userMay) matched |= 1 << i;
        std::_Exit(matched);
      },
      testing::ExitedWithCode((1 << std::size(cases)) - 1), "");
}

TEST(Security, BufferRulesAndRefusals) {
  TempDir dir;
  zrtest::WriteText(dir.Path("f"), "x");
  DWORD needed = 0;
  EXPECT_FAILS_WITH(GetFileSecurityW(dir.WPath("f").c_str(), 7, nullptr, 0, &needed),
                    ERROR_INSUFFICIENT_BUFFER);
  EXPECT_GT(needed, 20u);
  EXPECT_FAILS_WITH(GetFileSecurityW(dir.WPath("f").c_str(), 8, nullptr, 0, &needed),
                    ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(GetFileSecurityW(dir.WPath("none").c_str(), 7, nullptr, 0, &needed),
                    ERROR_FILE_NOT_FOUND);
  std::vector<BYTE> descriptor(needed);
  ASSERT_TRUE(GetFileSecurityW(dir.WPath("f").c_str(), 7, descriptor.data(), needed, &needed));
  HANDLE primary;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &primary));
  DWORD access = GENERIC_READ;
  MapGenericMask(&access, &kFileMapping);
  EXPECT_EQ(access, kFileMapping.GenericRead);
  PRIVILEGE_SET privileges;
  DWORD length = sizeof privileges, granted;
  BOOL status;
  EXPECT_FAILS_WITH(AccessCheck(descriptor.data(), primary, access, &kFileMapping, &privileges,
                                &length, &granted, &status),
                    ERROR_NO_IMPERSONATION_TOKEN);
  HANDLE token;
  ASSERT_TRUE(DuplicateToken(primary, SecurityImpersonation, &token));
  EXPECT_FAILS_WITH(AccessCheck(descriptor.data(), token, GENERIC_READ, &kFileMapping, &privileges,
                                &length, &granted, &status),
                    ERROR_GENERIC_NOT_MAPPED);
  length = 4;
  EXPECT_FAILS_WITH(AccessCheck(descriptor.data(), token, access, &kFileMapping, &privileges,
                                &length, &granted, &status),
                    ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(length, sizeof(PRIVILEGE_SET));
  CloseHandle(token);
  CloseHandle(primary);
}

TEST(Security, OwnerAndAccountNames) {
  TempDir dir;
  zrtest::WriteText(dir.Path("f"), "x");
  HANDLE file = CreateFileW(dir.WPath("f").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                            nullptr, nullptr, &descriptor),
            ERROR_SUCCESS);
  CloseHandle(file);
  const BYTE* sid = static_cast<const BYTE*>(owner);
  EXPECT_EQ(sid[0], 1);  // S-1-22-1-<uid>
  EXPECT_EQ(sid[7], 22);
  DWORD nameLength = 1, domainLength = 0;
  SID_NAME_USE use;
  WCHAR name[64], domain[256];
  EXPECT_FAILS_WITH(
      LookupAccountSidW(nullptr, owner, name, &nameLength, domain, &domainLength, &use),
      ERROR_INSUFFICIENT_BUFFER);
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  const std::string user = ::geteuid() == 0 ? "root" : "";
  EXPECT_EQ(domainLength, std::strlen(host) + 1) << "both sizes, terminators counted";
  if (!user.empty()) {
    EXPECT_EQ(nameLength, user.size() + 1);
  }
  ASSERT_TRUE(LookupAccountSidW(nullptr, owner, name, &nameLength, domain, &domainLength, &use));
  EXPECT_EQ(use, SidTypeUser);
  EXPECT_EQ(domainLength, std::strlen(host));
  EXPECT_EQ(std::u16string(domain), TempDir::Wide(host));
  if (!user.empty()) {
    EXPECT_EQ(std::u16string(name), u"root");
  }
  EXPECT_FAILS_WITH(
      LookupAccountSidW(u"server", owner, name, &nameLength, domain, &domainLength, &use),
      ERROR_INVALID_PARAMETER);
  BYTE unknown[16] = {1, 2, 0, 0, 0, 0, 0, 5};  // S-1-5-...: not one of ours
  EXPECT_FAILS_WITH(
      LookupAccountSidW(nullptr, unknown, name, &nameLength, domain, &domainLength, &use),
      ERROR_NONE_MAPPED);
  EXPECT_EQ(LocalFree(descriptor), nullptr);
}

}  // namespace
}  // namespace zrpal
