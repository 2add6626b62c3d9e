#pragma once
// Reads the administrators' policy values from the one place policy.h names. Nothing a
// user sets (no option, no environment variable) moves it or skips it.

#include "policy.h"

namespace zelkora {

// The values as the store holds them: none where administrators set no policy.
PolicyValues read_policy_values();

// The policy of this machine and user, read afresh.
Policy system_policy();

}  // namespace zelkora
