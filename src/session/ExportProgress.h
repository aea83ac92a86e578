#pragma once

#include <cstddef>
#include <functional>

namespace Quorvex3 {

/// Told how far a writer has come, `done` of `total` units of its own, and
/// asked whether to go on. False cancels: the writer stops at its next
/// check and fails, so the caller leaves no file behind. Runs on the
/// writer's thread; an empty function lets everything run to its end.
using ExportProgress = std::function<bool(std::size_t done, std::size_t total)>;

} // namespace Quorvex3
