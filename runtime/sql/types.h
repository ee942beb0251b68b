// The values the SQL layer and its back ends hand each other: parameters,
// fetch targets, and what a wait for another program's lock tells the
// program. No functions, no state.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "values/value.h"

namespace rt::sql {

// Parameters are bound by position to the "?" of the statement.
using Params = std::vector<Value>;
// Targets of a fetch or single-row select, in select-list order.
using Into = std::vector<Value*>;

// A row of a statement in the back end's own SQL (rt::sql::native): each
// column as the back end writes it as text, nullopt for NULL.
using NativeRow = std::vector<std::optional<std::string>>;

enum class LockWait { Poll, Long, Over };
using LockWaitHook = void (*)(LockWait);
// How long a wait lasts before it is Long, in milliseconds.
inline constexpr int kLongLockWaitMs = 1000;

}  // namespace rt::sql
