#pragma once
// Reads the administrators' policy values from the one place policy.h names. Nothing a
// user sets (no option, no environment variable) moves it or skips it.

#include <string>

#include "policy.h"

namespace zelkora {

// The values as the store holds them: none where administrators set no policy.
PolicyValues read_policy_values();

// The policy of this machine and user, read afresh. Never throws: what cannot be read is
// one of its problems.
Policy system_policy();

#ifndef _WIN32
// The values of the policy file at `path`, which only a regular file (after links) of at
// most POLICY_FILE_MOST bytes may give; read without waiting on anything. Only a file
// that is not there, in a folder that is not there or is one, is no policy; anything
// else that keeps it from being read is a problem naming the path and why.
PolicyValues read_policy_file(const std::string& path);
inline constexpr long POLICY_FILE_MOST = 64 * 1024;
#endif

}  // namespace zelkora
