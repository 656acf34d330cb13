// Who may touch the staging folder and the files in it.
#pragma once
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

// Puts the descriptor's DACL on an existing file or folder. False when it is not allowed
// (only an owner or a holder of WRITE_DAC may) or the descriptor is malformed.
bool ApplySddl(const std::string& path, const std::string& sddl);

}  // namespace platform
