// The cursors of the public SQL services (sql.h): declaring, opening,
// fetching and closing, and the position of scroll cursors, which is kept
// here so that both back ends move alike. Never talks to a back end but
// through the cursor it opened.
//
// Scroll cursor position: 0 before the first row, else the number of the
// row last delivered. A fetch names a target row; when the result has it,
// the cursor moves there, otherwise the status is 100 and the cursor stays
// where it was, except that a fetch before the first row leaves it on the
// first row. So a fetch past the last row leaves the cursor on the last
// row, a following Previous gives the row before it, one before the first
// row leaves it on the first, and Relative 0 reads the current row again.
#include "sql/sql.h"

#include "sql_state.h"

namespace rt::sql {

using namespace services;

void declare(Cursor& cur, Statement& stmt, bool scroll, const Loc& loc) {
  if (!usable(stmt, loc)) return;
  auto impl = std::make_shared<Cursor::Impl>();
  impl->stmt = stmt.impl_;
  impl->scroll = scroll;
  prune(&g().cursors);
  g().cursors.push_back(impl);
  cur.impl_ = std::move(impl);
  rt::status = 0;
}

void declare(Cursor& cur, std::string_view text, bool scroll, const Loc& loc) {
  Statement stmt;
  stmt.impl_ = cached(text, loc);
  if (stmt.impl_) declare(cur, stmt, scroll, loc);
}

void open(Cursor& cur, const Params& params, const Loc& loc) {
  if (!cur.impl_ || !cur.impl_->stmt || !cur.impl_->stmt->bs) {
    fail(err::kNotAvailable, "the cursor is not declared", loc);
    return;
  }
  Cursor::Impl& c = *cur.impl_;
  detail::Outcome o = guarded([&] {
    if (c.bc) c.bc->close();
    c.bc.reset();
    c.pos = 0;
    return c.stmt->bs->open(params, c.scroll, &c.bc);
  });
  finish(o, loc, c.stmt->text);
}

void fetch(Cursor& cur, Fetch how, long n, const Into& into, const Loc& loc) {
  if (!cur.impl_ || !cur.impl_->bc) {
    fail(err::kNoCursor, "the cursor is not open", loc);
    return;
  }
  Cursor::Impl& c = *cur.impl_;
  const std::string& text = c.stmt->text;
  if (!c.scroll) {
    if (how != Fetch::Next) {
      fail(err::kNotAvailable, "only a scroll cursor moves other than to the next row", loc, text);
      return;
    }
    // A row already at hand leaves the row changes sent where they are.
    if (c.bc->next_is_local())
      finish(unsettled([&] { return c.bc->next(into); }), loc, text);
    else
      finish(guarded([&] { return c.bc->next(into); }), loc, text);
    return;
  }
  long target = 0;
  switch (how) {
    case Fetch::Next: target = c.pos + 1; break;
    case Fetch::Previous: target = c.pos - 1; break;
    case Fetch::First: target = 1; break;
    case Fetch::Relative: target = c.pos + n; break;
    case Fetch::Absolute: target = n; break;
    case Fetch::Last: {
      detail::Outcome o = guarded([&] { return c.bc->count(&target); });
      if (!o.ok()) {
        finish(o, loc, text);
        return;
      }
      break;
    }
  }
  if (target < 1) {
    // Before the first row: the cursor is left on the first row.
    if (c.pos > 1) c.pos = 1;
    finish({err::kNotFound, {}}, loc, text);
    return;
  }
  detail::Outcome o = guarded([&] { return c.bc->row_at(target, into); });
  if (o.code != err::kNotFound) c.pos = target;
  finish(o, loc, text);
}

void close(Cursor& cur) {
  settle();
  if (cur.impl_) {
    if (cur.impl_->bc) cur.impl_->bc->close();
    cur.impl_->bc.reset();
    cur.impl_->pos = 0;
  }
  rt::status = 0;
}

void free_cursor(Cursor& cur) {
  close(cur);
  cur.impl_.reset();
}

}  // namespace rt::sql
