// Saves that several operators run at once on one database: what a save
// tells the operator instead of stopping the program, and the comparison
// of a stored row with the row a Change started from.
//
// A save runs its statements inside an rt::sql::ContinueOnLock scope: a
// lock that another program holds costs the operator a wait he sees and
// may give up with Ctrl-C, never the program or what he typed. These
// helpers roll the unit of work back and say on the error line why
// nothing was stored. They hold no state and run no statement but the
// rollback.
#pragma once

#include <string_view>

#include "values/value.h"

// The same stored value: both null, or equal as SQL compares them.
bool same_value(const rt::Value& lv_a, const rt::Value& lv_b);

// After a statement of a save (or of a delete): when it could not have a
// lock that another program holds (status -154), Ctrl-C cut it short
// (-213), this user may only read the database (-389), or the database
// could not take it (the server went away, the disk is full, the file is
// damaged), rolls back the open unit of work, resets the interrupt flag,
// shows the cause in words, as in "This record is locked by another user:
// nothing was <lv_done>", and returns true: the caller goes back into the
// input with what was typed. Otherwise false.
bool lock_refused(std::string_view lv_done = "saved");

// Rolls back the open unit of work and tells that another user changed
// the record since the Change started.
void refuse_changed();
// The same when another user deleted it.
void refuse_gone();
