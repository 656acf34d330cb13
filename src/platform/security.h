// Who may touch the staging folder and the files in it.
#pragma once
#include <windows.h>

#include <string>

namespace platform {

// The running user's SID in text form ("S-1-5-21-..."); empty when the token cannot be read.
std::string CurrentUserSid();

// A protected DACL in SDDL: full control for the user, SYSTEM and Administrators, passed
// on to what is made inside, and nothing inherited from the parent.
std::string OwnerSystemAdminsSddl(const std::string& userSid);

// Makes one folder with the descriptor's DACL. False when it was not made, an existing
// folder included.
bool CreateFolderWithSddl(const std::string& path, const std::string& sddl);

// The owner's SID in text form, read from a security descriptor; empty when it has none.
std::string OwnerSidOf(PSECURITY_DESCRIPTOR descriptor);

// The owner of an existing file or folder; empty when it cannot be read.
std::string OwnerSidOfPath(const std::string& path);

// True for owners that cannot be another ordinary account: the user, SYSTEM and the
// Administrators group. An owner may always rewrite the rights of what it owns.
bool IsTrustedOwner(const std::string& ownerSid, const std::string& userSid);

// Puts the descriptor's DACL on an existing file or folder. False when it is not allowed
// (only an owner or a holder of WRITE_DAC may) or the descriptor is malformed.
bool ApplySddl(const std::string& path, const std::string& sddl);

}  // namespace platform
