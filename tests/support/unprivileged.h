#pragma once

// Runs a check without root's rights, so that tests of refused writes mean
// the same for a developer and for CI, which runs as root.

#include <functional>

namespace testsupport {

// Runs `check` in a child process; when the tests run as root the child
// first drops to uid and gid 65534 (nobody). Returns what `check` returned,
// false when the child could not run it. The child leaves with _exit, so
// nothing of the parent's state is torn down twice.
bool RunUnprivileged(const std::function<bool()> &check);

} // namespace testsupport
