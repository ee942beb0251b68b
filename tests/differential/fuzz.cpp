// Generated statements, their oracles and the minimiser. See fuzz.h.
#include "fuzz.h"

#include <algorithm>
#include <chrono>
#include <functional>

#include "run.h"
#include "values/value.h"

namespace lunadesk::differential {
namespace {

using lunadesk::testing::Db;

std::vector<rt::Type> fetch_types(const std::string& fetch) {
  std::vector<rt::Type> t;
  for (char c : fetch)
    t.push_back(c == 'I'   ? rt::integer_t()
                : c == 'N' ? rt::decimal_t(32, 10)
                : c == 'D' ? rt::date_t()
                           : rt::char_t(255));
  return t;
}

// `params`: the values bound, as a corpus line of parameters without "? ".
Record query_record(const std::string& text, const std::string& fetch, bool ordered, const std::string& params = "") {
  Record r;
  r.kind = RecordKind::Query;
  r.group = "generated";
  r.text = text;
  r.columns = fetch_types(fetch);
  r.ordered = ordered;
  parse_params(params, &r.params);
  return r;
}

Record statement_record(const std::string& text, const std::string& params = "") {
  Record r;
  r.kind = RecordKind::Statement;
  r.group = "generated";
  r.text = text;
  parse_params(params, &r.params);
  return r;
}

std::string quoted(const std::string& s) {
  std::string r = "'";
  for (char c : s) r += c == '\'' ? std::string("''") : std::string(1, c);
  return r + "'";
}

std::string joined(const std::string& a, const std::string& b) {
  return a.empty() || b.empty() ? a + b : a + " | " + b;
}

// The fetch types of a case's result columns.
std::string fetch_of(const Case& c) {
  if (!c.fetch_from_list) return c.fetch;
  std::string f;
  for (const Part& item : c.stmt.kids[0].kids) {
    if (!item.dropped) f += item.type == 'i' ? 'I' : item.type == 'n' ? 'N' : item.type == 'd' ? 'D' : 'T';
  }
  return f;
}

// The queries of a partition: whole, p, NOT p, p IS NULL.
std::vector<std::string> partition_texts(const Case& c) {
  const std::string q = render(c.stmt), p = render(c.pred);
  const bool has_where = q.find(" where ") != std::string::npos;
  const std::string join = has_where ? " and " : " where ";
  return {q, q + join + "(" + p + ")", q + join + "not (" + p + ")", q + join + "(" + p + ") is null"};
}

// The records of one case.
std::vector<Record> records_of(const Case& c, const std::vector<World::Table>& tables) {
  std::vector<Record> out;
  switch (c.kind) {
    case Case::Query:
      if (c.into_temp) {
        out.push_back(statement_record(render(c.stmt) + " into temp tq", bound_params(c.stmt)));
        out.push_back(query_record("select * from tq", fetch_of(c), false));
        out.push_back(statement_record("drop table tq"));
        break;
      }
      [[fallthrough]];
    case Case::Constant:
      out.push_back(query_record(render(c.stmt), fetch_of(c), c.ordered, bound_params(c.stmt)));
      break;
    case Case::Partition: {
      // The whole query's parameters, then the predicate's.
      const std::string whole = bound_params(c.stmt), with_p = joined(whole, bound_params(c.pred));
      for (const std::string& t : partition_texts(c))
        out.push_back(query_record(t, fetch_of(c), false, out.empty() ? whole : with_p));
      break;
    }
    case Case::Change: {
      out.push_back(statement_record("begin work"));
      out.push_back(statement_record(render(c.stmt), bound_params(c.stmt)));
      std::string cols;
      for (const World::Table& t : tables) {
        if (t.name != c.table) continue;
        for (const World::Column& col : t.cols)
          if (col.serial) out.back().serials_held = t.rows;
        for (const World::Column& col : t.cols) {
          // A serial given by the change is compared for what is promised
          // of it, to be above every serial the table held: a statement of
          // an earlier case that failed may have left serials unused on
          // one back end only.
          const std::string held = std::to_string(t.rows);
          cols +=
              (cols.empty() ? "" : ", ") +
              (col.serial ? "case when " + col.name + " > " + held + " then -1 else " + col.name + " end" : col.name);
        }
      }
      // The table's rows as a set: their order is another family's question.
      out.push_back(query_record("select " + cols + " from " + c.table, c.fetch, false));
      out.push_back(statement_record("rollback work"));
      break;
    }
  }
  return out;
}

std::string expected_line(const Case& c) {
  rt::Value v(fetch_types(c.fetch)[0]);
  v.set_text(c.expected);
  return render_value(v);
}

// The fault a case shows, "" for none: compared across the back ends and
// by the case's own oracle. `lite` and `pg` hold the case's answers.
std::string fault(const Case& c, const std::vector<Answer>& lite, const std::vector<Answer>& pg, std::string* shown) {
  for (size_t k = 0; k < lite.size(); ++k) {
    if (!(lite[k] == pg[k])) {
      *shown = "embedded:   " + show(lite[k]) + "\n  PostgreSQL: " + show(pg[k]);
      // What kind of answer each gave keeps a smaller case on the same fault.
      auto kind = [](const Answer& a) {
        return !a.lines.empty() && a.lines.back().rfind("error", 0) == 0 ? a.lines.back() : std::string("rows");
      };
      return "differ " + std::to_string(k) + " " + kind(lite[k]) + "/" + kind(pg[k]);
    }
  }
  const std::vector<Answer>* sides[] = {&lite, &pg};
  const char* names[] = {"sqlite", "pg"};
  for (int s = 0; s < 2; ++s) {
    const std::vector<Answer>& a = *sides[s];
    if (c.kind == Case::Constant) {
      const std::string want = expected_line(c);
      if (a[0].lines != std::vector<std::string>{want}) {
        *shown = std::string(names[s]) + ": " + show(a[0]) + "\n  documented: " + want;
        return std::string("constant on ") + names[s];
      }
    }
    if (c.kind == Case::Partition) {
      bool error = false;
      for (const Answer& x : a)
        for (const std::string& l : x.lines) error = error || l.rfind("error", 0) == 0 || l.rfind("(", 0) == 0;
      if (error) continue;
      std::vector<std::string> parts;
      for (size_t k = 1; k < 4; ++k) parts.insert(parts.end(), a[k].lines.begin(), a[k].lines.end());
      std::sort(parts.begin(), parts.end());
      if (parts != a[0].lines) {
        Answer u;
        u.lines = parts;
        *shown = std::string(names[s]) + ": whole " + show(a[0]) + "\n  parts together: " + show(u);
        return std::string("partition on ") + names[s];
      }
    }
  }
  return "";
}

struct Trial {
  std::vector<Record> setup;
  Case c;
};

class Checker {
 public:
  Checker(const std::vector<World::Table>& tables) : tables_(tables) {}
  // The fault of the trial on fresh databases; "" none, "?" no database.
  std::string check(const Trial& t, std::string* shown) {
    std::vector<Record> records = t.setup;
    const size_t first = records.size();
    for (Record& r : records_of(t.c, tables_)) records.push_back(std::move(r));
    std::string why;
    std::vector<Answer> lite = run_all(Db::Sqlite, records, &why);
    std::vector<Answer> pg = run_all(Db::Postgres, records, &why);
    ++runs;
    if (lite.empty() || pg.empty()) return "?";
    for (size_t k = 0; k < first; ++k) {
      if (lite[k].setup_failed || pg[k].setup_failed) return "setup";
    }
    const std::vector<Answer> a(lite.begin() + static_cast<long>(first), lite.end());
    const std::vector<Answer> b(pg.begin() + static_cast<long>(first), pg.end());
    return fault(t.c, a, b, shown);
  }
  int runs = 0;

 private:
  const std::vector<World::Table>& tables_;
};

// Every node of a tree, by pointer, depth first.
void nodes(Part* p, std::vector<Part*>* out) {
  out->push_back(p);
  for (Part& k : p->kids) nodes(&k, out);
}

// Makes the trial smaller while `still` holds.
void minimise(Trial* t, const std::function<bool(const Trial&)>& still) {
  constexpr int kBudget = 250;
  int tries = 0;
  auto attempt = [&](const Trial& cand) { return ++tries <= kBudget && still(cand); };
  // Tables the statement does not name, and rows, one at a time.
  for (size_t k = t->setup.size(); k-- > 0;) {
    Trial cand = *t;
    const std::string text = cand.setup[k].text;
    if (text.rfind("create table", 0) == 0) {
      const std::string name = text.substr(13, text.find(' ', 13) - 13);
      std::string all = render(t->c.stmt) + " " + render(t->c.pred) + " " + t->c.table;
      if (all.find(name + " ") != std::string::npos || all.find(name + ")") != std::string::npos || all.ends_with(name))
        continue;
      std::erase_if(cand.setup, [&](const Record& r) {
        return r.text.rfind("create table " + name + " ", 0) == 0 || r.text.rfind("insert into " + name + " ", 0) == 0;
      });
      if (attempt(cand)) *t = cand;
      k = std::min(k, t->setup.size());
      continue;
    }
    if (text.rfind("insert", 0) != 0) continue;
    cand.setup.erase(cand.setup.begin() + static_cast<long>(k));
    if (attempt(cand)) *t = cand;
  }
  // The statement: optional parts left out, list items dropped, an
  // expression replaced by an operand of its type.
  for (bool changed = true; changed && tries < kBudget;) {
    changed = false;
    for (Part* root : {&t->c.stmt, &t->c.pred}) {
      std::vector<Part*> all;
      nodes(root, &all);
      for (size_t n = 0; n < all.size() && !changed && tries < kBudget; ++n) {
        Part* p = all[n];
        if (p->dropped) continue;
        auto try_edit = [&](const std::function<void(Part*)>& edit) {
          Trial cand = *t;
          std::vector<Part*> mirror;
          nodes(root == &t->c.stmt ? &cand.c.stmt : &cand.c.pred, &mirror);
          edit(mirror[n]);
          if (attempt(cand)) {
            *t = cand;
            changed = true;
          }
        };
        if (p->optional) try_edit([](Part* q) { q->dropped = true; });
        if (!changed && !p->sep.empty()) {
          int alive = 0;
          for (const Part& k : p->kids) alive += !k.dropped;
          for (size_t k = 0; k < p->kids.size() && !changed && alive > p->min_kids; ++k) {
            if (!p->kids[k].dropped) try_edit([k](Part* q) { q->kids[k].dropped = true; });
          }
        }
        if (!changed && p->type && p->sep.empty()) {
          for (size_t k = 0; k < p->kids.size() && !changed; ++k) {
            if (p->kids[k].type == p->type) try_edit([k](Part* q) { *q = Part(q->kids[k]); });
          }
        }
      }
    }
  }
}

// A parameter's type as the corpus writes it.
std::string type_name(const rt::Type& t) {
  switch (t.kind) {
    case rt::Kind::Char: return "char(" + std::to_string(t.len) + ")";
    case rt::Kind::Decimal: return "decimal(" + std::to_string(t.len) + "," + std::to_string(t.scale) + ")";
    case rt::Kind::Date: return "date";
    case rt::Kind::SmallInt: return "smallint";
    default: return "integer";
  }
}

std::string corpus_text(const Trial& t, const std::vector<World::Table>& tables, const std::string& oracle) {
  std::string s = "# " + oracle + "\ngroup generated\n";
  for (const Record& r : t.setup)
    s += std::string(r.kind == RecordKind::Native ? "native" : "setup") + "\n" + r.text + "\n\n";
  for (const Record& r : records_of(t.c, tables)) {
    std::string params;
    for (const Param& p : r.params) {
      std::string v = p.null ? "null" : p.type.kind == rt::Kind::Char ? quoted(p.text) : p.text;
      params += (params.empty() ? "\n? " : " | ") + type_name(p.type) + " " + v;
    }
    if (r.kind == RecordKind::Statement) {
      s += "statement\n" + r.text + params + "\n\n";
      continue;
    }
    std::string types;
    for (const rt::Type& ty : r.columns)
      types += ty.kind == rt::Kind::Integer   ? 'I'
               : ty.kind == rt::Kind::Decimal ? 'N'
               : ty.kind == rt::Kind::Date    ? 'D'
                                              : 'T';
    s += "query " + types + (r.ordered ? " ordered" : "") + "\n" + r.text + params + "\n\n";
  }
  if (t.c.kind == Case::Constant) s += "# documented: " + t.c.expected + "\n";
  return s;
}

}  // namespace

FuzzStats Fuzzer::run(long statements, int per_world, std::vector<Finding>* found, std::FILE* log) {
  FuzzStats st;
  const auto start = std::chrono::steady_clock::now();
  while (st.statements < statements) {
    const World w = grammar_.world();
    std::vector<Case> cases;
    std::vector<Record> records = w.setup;
    std::vector<size_t> at;
    for (int k = 0; k < per_world && st.statements < statements; ++k, ++st.statements) {
      cases.push_back(grammar_.next(w));
      at.push_back(records.size());
      for (Record& r : records_of(cases.back(), w.tables)) records.push_back(std::move(r));
    }
    at.push_back(records.size());
    st.executed += static_cast<long>(records.size());
    std::string why;
    const std::vector<Answer> lite = run_all(Db::Sqlite, records, &why);
    const std::vector<Answer> pg = lite.empty() ? lite : run_all(Db::Postgres, records, &why);
    if (lite.empty() || pg.empty()) {
      st.database_missing = true;
      st.why = why;
      break;
    }
    Checker checker(w.tables);
    bool setup_failed = false;
    for (size_t k = 0; k < w.setup.size(); ++k) {
      if (!lite[k].setup_failed && !pg[k].setup_failed) continue;
      found->push_back({"setup", w.setup[k].text, "embedded:   " + show(lite[k]) + "\n  PostgreSQL: " + show(pg[k])});
      setup_failed = true;
    }
    // What follows a failed setup differs for that reason alone.
    if (setup_failed) cases.clear();
    for (size_t c = 0; c < cases.size(); ++c) {
      const std::vector<Answer> a(lite.begin() + static_cast<long>(at[c]), lite.begin() + static_cast<long>(at[c + 1]));
      const std::vector<Answer> b(pg.begin() + static_cast<long>(at[c]), pg.begin() + static_cast<long>(at[c + 1]));
      std::string shown;
      const std::string f = fault(cases[c], a, b, &shown);
      if (f.empty()) continue;
      Trial t{w.setup, cases[c]};
      std::string alone_shown;
      const std::string alone = checker.check(t, &alone_shown);
      if (alone == f) {
        minimise(&t, [&](const Trial& cand) {
          std::string s;
          return checker.check(cand, &s) == f;
        });
        checker.check(t, &shown);
      } else {
        shown += "\n  (seen only after the statements before it in its world)";
      }
      found->push_back({f.rfind("differ", 0) == 0 ? "differ" : f, corpus_text(t, w.tables, f), shown});
      if (log) std::fprintf(log, "found: %s\n%s  %s\n", f.c_str(), found->back().reproducer.c_str(), shown.c_str());
    }
    st.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (log) std::fprintf(log, "%ld statements, %.1f s, %zu found\n", st.statements, st.seconds, found->size());
  }
  st.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return st;
}

}  // namespace lunadesk::differential
