// Timings and the count of saves: see accounting.h.
#include "accounting.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "core/runtime.h"
#include "sql/sql.h"

namespace load {

namespace sql = rt::sql;

void RunResult::merge(const RunResult& r) {
  operators += r.operators;
  stuck += r.stuck;
  not_started += r.not_started;
  said.insert(r.said.begin(), r.said.end());
  for (int p = 0; p < 2; ++p)
    for (int a = 0; a < kActions; ++a) {
      ms[p][a].insert(ms[p][a].end(), r.ms[p][a].begin(), r.ms[p][a].end());
      ms_checkpointing[p][a].insert(ms_checkpointing[p][a].end(), r.ms_checkpointing[p][a].begin(),
                                    r.ms_checkpointing[p][a].end());
    }
  server.merge(r.server);
  slow_saves += r.slow_saves;
  slow_saves_in_stall += r.slow_saves_in_stall;
  confirmed += r.confirmed;
  changed += r.changed;
  gone += r.gone;
  locked += r.locked;
  other += r.other;
  adds_confirmed += r.adds_confirmed;
  adds_other += r.adds_other;
  lost += r.lost;
  refused_yet_stored += r.refused_yet_stored;
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(v.size())));
  return v[std::min(v.size(), std::max<size_t>(rank, 1)) - 1];
}

namespace {

// The history: one row per field of a row each time a save writes it.
constexpr const char* kSqliteHistory = R"(
CREATE TABLE bench_history (seq INTEGER PRIMARY KEY AUTOINCREMENT, tbl TEXT, k TEXT, f TEXT, v TEXT);
CREATE TRIGGER bench_sn AFTER UPDATE ON iq_salesman_name BEGIN
  INSERT INTO bench_history (tbl, k, f, v) VALUES ('sn', NEW.iqsn_code, 'name', NEW.iqsn_name);
  INSERT INTO bench_history (tbl, k, f, v) VALUES ('sn', NEW.iqsn_code, 'login', NEW.iqsn_userlogin);
END;
CREATE TRIGGER bench_tu AFTER UPDATE ON tx_use_g BEGIN
  INSERT INTO bench_history (tbl, k, f, v) VALUES ('tu', NEW.tu_link, 'desc', NEW.tu_description);
END;
CREATE TRIGGER bench_tul AFTER INSERT ON tx_use_link BEGIN
  INSERT INTO bench_history (tbl, k, f, v) VALUES ('tu', NEW.tul_link, 'L' || NEW.tul_trn, NEW.tul_sched);
END;
)";

constexpr const char* kPgHistory = R"(
CREATE TABLE bench_history (seq BIGSERIAL PRIMARY KEY, tbl TEXT, k TEXT, f TEXT, v TEXT);
CREATE FUNCTION bench_sn() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN
  INSERT INTO bench_history (tbl, k, f, v) VALUES ('sn', rtrim(NEW.iqsn_code), 'name', rtrim(NEW.iqsn_name)),
    ('sn', rtrim(NEW.iqsn_code), 'login', rtrim(NEW.iqsn_userlogin));
  RETURN NULL; END $$;
CREATE TRIGGER bench_sn AFTER UPDATE ON iq_salesman_name FOR EACH ROW EXECUTE FUNCTION bench_sn();
CREATE FUNCTION bench_tu() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN
  INSERT INTO bench_history (tbl, k, f, v) VALUES ('tu', NEW.tu_link, 'desc', rtrim(NEW.tu_description));
  RETURN NULL; END $$;
CREATE TRIGGER bench_tu AFTER UPDATE ON tx_use_g FOR EACH ROW EXECUTE FUNCTION bench_tu();
CREATE FUNCTION bench_tul() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN
  INSERT INTO bench_history (tbl, k, f, v) VALUES ('tu', NEW.tul_link, 'L' || NEW.tul_trn, rtrim(NEW.tul_sched));
  RETURN NULL; END $$;
CREATE TRIGGER bench_tul AFTER INSERT ON tx_use_link FOR EACH ROW EXECUTE FUNCTION bench_tul();
)";

using Field = std::tuple<std::string, std::string, std::string>;  // table, key, field

std::string trim(std::string s) {
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

// Rows of a query on the current connection, each value as text.
std::vector<std::vector<std::string>> query(const std::string& text, int ncols) {
  std::vector<rt::Value> vals(static_cast<size_t>(ncols), rt::Value(rt::char_t(200)));
  sql::Into into;
  for (auto& v : vals) into.push_back(&v);
  sql::Cursor cur;
  sql::declare(cur, text, false);
  sql::open(cur);
  std::vector<std::vector<std::string>> out;
  for (sql::fetch_next(cur, into); rt::status == 0; sql::fetch_next(cur, into)) {
    std::vector<std::string> row;
    for (auto& v : vals) row.push_back(v.is_null() ? "" : trim(v.str()));
    out.push_back(std::move(row));
  }
  sql::free_cursor(cur);
  return out;
}

// A lost update, on the error output: which save, and what is there now.
void tell_lost(const Field& f, const std::string& value, const std::string& why) {
  std::fprintf(stderr, "lost: %s %s %s \"%s\": %s\n", std::get<0>(f).c_str(), std::get<1>(f).c_str(),
               std::get<2>(f).c_str(), value.c_str(), why.c_str());
}

struct Save {
  Field field;
  std::string value, outcome;
};

}  // namespace

bool install_history(bool postgres, const std::string& sqlite_file, std::string* error) {
  if (postgres) {
    PGconn* c = PQconnectdb("dbname=lunadesk");
    bool ok = PQstatus(c) == CONNECTION_OK;
    if (ok) {
      PGresult* r = PQexec(c, kPgHistory);
      ok = PQresultStatus(r) == PGRES_COMMAND_OK;
      PQclear(r);
    }
    if (!ok) *error = PQerrorMessage(c);
    PQfinish(c);
    return ok;
  }
  sqlite3* db = nullptr;
  char* msg = nullptr;
  bool ok = sqlite3_open(sqlite_file.c_str(), &db) == SQLITE_OK &&
            sqlite3_exec(db, kSqliteHistory, nullptr, nullptr, &msg) == SQLITE_OK;
  if (!ok) *error = msg ? msg : sqlite3_errmsg(db);
  sqlite3_free(msg);
  sqlite3_close(db);
  return ok;
}

void account(const std::vector<std::string>& logs, const std::vector<bool>& tugedit, RunResult* r) {
  std::vector<Save> saves;
  std::vector<Save> adds;
  for (size_t i = 0; i < logs.size(); ++i) {
    std::ifstream in(logs[i]);
    for (std::string line; std::getline(in, line);) {
      std::istringstream ss(line);
      std::string kind;
      ss >> kind;
      if (kind == "T") {
        int a = 0;
        double ms = 0, start = 0;
        ss >> a >> ms >> start;
        if (a < 0 || a >= kActions) continue;
        const int p = tugedit[i] ? 1 : 0;
        r->ms[p][a].push_back(ms);
        auto overlaps = [&](const std::vector<Window>& ws) {
          return std::any_of(ws.begin(), ws.end(),
                             [&](const Window& w) { return start <= w.to_ms && start + ms >= w.from_ms; });
        };
        if (overlaps(r->server.checkpointing)) r->ms_checkpointing[p][a].push_back(ms);
        if ((a == static_cast<int>(Action::Save) || a == static_cast<int>(Action::Add)) && ms > kSlowSaveMs) {
          ++r->slow_saves;
          if (overlaps(r->server.stalls)) ++r->slow_saves_in_stall;
        }
      } else if (kind == "S") {
        Save s;
        std::string table, key, field;
        ss >> table >> key >> field >> s.value >> s.outcome;
        s.field = {table, key, field};
        saves.push_back(s);
      } else if (kind == "X") {
        std::string text;
        std::getline(ss >> std::ws, text);
        r->said.insert(text);
      } else if (kind == "A") {
        Save s;
        std::string table, key;
        ss >> table >> key >> s.value >> s.outcome;
        s.field = {table, key, ""};
        adds.push_back(s);
      }
    }
  }

  // Where each value first reached each field, and what each field holds
  // now.
  std::map<std::pair<Field, std::string>, long> first_seq;
  for (const auto& row : query("select seq, tbl, k, f, v from bench_history", 5)) {
    const auto key = std::make_pair(Field{row[1], row[2], row[3]}, row[4]);
    const long seq = std::stol(row[0]);
    auto it = first_seq.find(key);
    if (it == first_seq.end() || seq < it->second) first_seq[key] = seq;
  }
  std::map<Field, std::string> now;
  std::set<std::pair<std::string, std::string>> salesmen, groups;  // (code, name), (group, description)
  for (const auto& row : query("select iqsn_code, iqsn_name, iqsn_userlogin from iq_salesman_name", 3)) {
    now[{"sn", row[0], "name"}] = row[1];
    now[{"sn", row[0], "login"}] = row[2];
    salesmen.insert({row[0], row[1]});
  }
  for (const auto& row : query("select tu_link, tu_description, tu_use_g from tx_use_g", 3)) {
    now[{"tu", row[0], "desc"}] = row[1];
    groups.insert({row[2], row[1]});
  }
  for (const auto& row : query("select tul_link, tul_trn, tul_sched from tx_use_link", 3))
    now[{"tu", row[0], "L" + row[1]}] = row[2];

  // The last confirmed save of each field must still be there.
  std::map<Field, std::pair<long, std::string>> last;
  for (const Save& s : saves) {
    const auto seq = first_seq.find({s.field, s.value});
    if (s.outcome == "confirmed") {
      ++r->confirmed;
      if (seq == first_seq.end()) {
        ++r->lost;  // never reached the database
        tell_lost(s.field, s.value, "never stored");
        continue;
      }
      auto& l = last[s.field];
      if (seq->second > l.first) l = {seq->second, s.value};
      continue;
    }
    if (s.outcome == "changed")
      ++r->changed;
    else if (s.outcome == "gone")
      ++r->gone;
    else if (s.outcome == "locked")
      ++r->locked;
    else
      ++r->other;
    if (seq != first_seq.end()) ++r->refused_yet_stored;
  }
  for (const auto& [field, l] : last)
    if (now[field] != l.second) {
      ++r->lost;
      tell_lost(field, l.second, "now \"" + now[field] + "\"");
    }

  for (const Save& s : adds) {
    if (s.outcome != "confirmed") {
      ++r->adds_other;
      continue;
    }
    ++r->adds_confirmed;
    const auto& rows = std::get<0>(s.field) == "sn" ? salesmen : groups;
    if (!rows.count({std::get<1>(s.field), s.value})) {
      ++r->lost;
      tell_lost(s.field, s.value, "no such row");
    }
  }
}

}  // namespace load
