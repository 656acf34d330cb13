#include "platform/security.h"

#include <windows.h>
#include <sddl.h>

#include "win/handles.h"

namespace platform {

std::string CurrentUserSid() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return std::string();
  win::unique_handle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::string buffer(size, '\0');
  if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size))
    return std::string();
  char* text = nullptr;
  if (!::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text))
    return std::string();
  win::unique_local owned(text);
  return text;
}

std::string OwnerSystemAdminsSddl(const std::string& userSid) {
  // P: protected from the parent's entries; OICI: inherited by files and folders inside;
  // FA: full control. SY is SYSTEM, BA the Administrators group.
  return "D:P(A;OICI;FA;;;" + userSid + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
}

namespace {
win::unique_local DescriptorOf(const std::string& sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr))
    return win::unique_local();
  return win::unique_local(descriptor);
}
}  // namespace

std::string OwnerSidOf(PSECURITY_DESCRIPTOR descriptor) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  char* text = nullptr;
  if (!descriptor || !::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner ||
      !::ConvertSidToStringSidA(owner, &text))
    return std::string();
  win::unique_local owned(text);
  return text;
}

std::string OwnerSidOfPath(const std::string& path) {
  DWORD size = 0;
  ::GetFileSecurityA(path.c_str(), OWNER_SECURITY_INFORMATION, nullptr, 0, &size);
  std::string buffer(size, '\0');
  if (size == 0 || !::GetFileSecurityA(path.c_str(), OWNER_SECURITY_INFORMATION, buffer.data(), size, &size))
    return std::string();
  return OwnerSidOf(buffer.data());
}

bool IsTrustedOwner(const std::string& ownerSid, const std::string& userSid) {
  return !ownerSid.empty() && (ownerSid == userSid || ownerSid == "S-1-5-18" || ownerSid == "S-1-5-32-544");
}

bool CreateFolderWithSddl(const std::string& path, const std::string& sddl) {
  win::unique_local descriptor = DescriptorOf(sddl);
  if (!descriptor) return false;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};
  return ::CreateDirectoryA(path.c_str(), &attributes) != FALSE;
}

bool ApplySddl(const std::string& path, const std::string& sddl) {
  win::unique_local descriptor = DescriptorOf(sddl);
  return descriptor && ::SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.get()) != FALSE;
}

}  // namespace platform
