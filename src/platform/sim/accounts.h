// The machine's users as Windows names them. A Linux user is the local account
// S-1-5-21-<a>-<b>-<c>-<uid>, where a, b and c identify the machine (taken from /etc/machine-id, or
// from the host name), in the domain named like the computer: the host name's first label in
// upper case.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/os.h"

namespace os::sim {

// The account name of a user (getpwuid_r), or nothing when the user has no entry.
std::optional<std::u16string> user_name(uid_t uid);

// Whether a user is the machine's administrator: root, which is also its system account. Every
// other user is a standard user.
inline bool is_administrator(uid_t uid) { return uid == 0; }

// The computer's name, as the domain of its local accounts.
std::u16string computer_name();

// The SID of a user, as the bytes of a Windows SID structure.
std::vector<BYTE> user_sid(uid_t uid);

enum class SidCheck { Malformed, Foreign, Local };
// Reads a SID structure: Malformed when it is not a SID, Foreign when it is not one of this
// machine's user accounts, else Local with the user in `uid`.
SidCheck read_user_sid(const void* sid, uid_t& uid);

}  // namespace os::sim
