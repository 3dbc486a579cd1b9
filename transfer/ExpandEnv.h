// Expands environment-variable references in a path, for the worker's save
// paths. Accepted forms: %NAME% (as the client's configuration writes them),
// $NAME and ${NAME} (NAME of letters, digits and '_', not starting with a
// digit). A reference to a variable that is not set stays as written, except
// TEMP and TMP, which fall back to $TMPDIR and then /tmp when unset or empty.
// A lone '%' or '$' stays as it is.
//
// Threads: any thread (it reads the environment).
#pragma once

#include <string>

namespace transfer {

// The expanded path; "" when the result would be longer than a path can be
// (4095 bytes), which makes the download fail.
std::string ExpandEnvironmentStrings(const std::string& path);

}  // namespace transfer
