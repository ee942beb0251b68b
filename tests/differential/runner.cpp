// The differential runner: each corpus file runs on a fresh embedded
// database and on a fresh PostgreSQL database, and every statement and
// query must answer the same on both: the same rows (sorted, unless the
// case orders them), the same status and error number, the same rows
// touched and serial assigned. A difference fails the file's test and
// prints both answers, unless the corpus lists it (corpus.h).
//
// LUNADESK_DIFF_REPORT=path appends one line per difference found, listed
// or not, tab-separated: file:line, group, listing, text, both answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "corpus.h"
#include "fuzz.h"
#include "run.h"
#include "pg_server.h"

namespace lunadesk::differential {
namespace {

using lunadesk::testing::Db;

std::string corpus_dir() { return CORPUS_DIR; }

std::vector<std::string> corpus_files() {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(corpus_dir())) {
    if (e.path().extension() == ".test") files.push_back(e.path().filename().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class Differential : public ::testing::TestWithParam<std::string> {};

TEST_P(Differential, SameAnswerOnBothBackEnds) {
  Corpus corpus = read_corpus(corpus_dir() + "/" + GetParam());
  for (const std::string& e : corpus.errors) ADD_FAILURE() << e;
  ASSERT_TRUE(corpus.errors.empty());

  std::string why;
  const std::vector<Answer> lite = run_all(Db::Sqlite, corpus.records, &why);
  ASSERT_FALSE(lite.empty()) << "embedded back end: " << why;
  const std::vector<Answer> pg = run_all(Db::Postgres, corpus.records, &why);
  if (pg.empty()) {
    if (lunadesk::testing::in_ci()) FAIL() << why;
    GTEST_SKIP() << why;
  }

  std::ofstream report;
  if (const char* path = std::getenv("LUNADESK_DIFF_REPORT")) report.open(path, std::ios::app);
  int cases = 0, differ = 0, pending = 0, decided = 0;
  std::map<std::string, int> by_group;
  for (size_t i = 0; i < corpus.records.size(); ++i) {
    const Record& r = corpus.records[i];
    if (r.kind == RecordKind::DbDate) continue;
    const std::string where = r.file + ":" + std::to_string(r.line);
    if (r.kind == RecordKind::Setup || r.kind == RecordKind::Native) {
      if (lite[i].setup_failed) ADD_FAILURE() << where << ": setup failed on the embedded back end: " << show(lite[i]);
      if (pg[i].setup_failed) ADD_FAILURE() << where << ": setup failed on PostgreSQL: " << show(pg[i]);
      continue;
    }
    ++cases;
    if (lite[i] == pg[i]) continue;
    ++differ;
    ++by_group[r.group];
    auto known = corpus.known.find(collapse(r.text));
    std::string listing = "new";
    if (known != corpus.known.end()) {
      known->second.seen = true;
      listing = known->second.pending ? "pending " + known->second.owner : "decided";
      (known->second.pending ? pending : decided)++;
    } else {
      ADD_FAILURE() << where << " [" << r.group << "]: the back ends answer differently\n  " << collapse(r.text)
                    << "\n  embedded:   " << show(lite[i]) << "\n  PostgreSQL: " << show(pg[i]);
    }
    if (report) {
      report << where << '\t' << r.group << '\t' << listing << '\t' << collapse(r.text) << '\t' << show(lite[i]) << '\t'
             << show(pg[i]) << '\n';
    }
  }
  for (const auto& [text, k] : corpus.known) {
    if (!k.seen) {
      std::printf("%s:%d: listed difference no longer seen (remove it): %s\n", GetParam().c_str(), k.line,
                  text.c_str());
    }
  }
  std::printf("%s: %d statements and queries, %d differ (%d pending, %d decided, %d new)\n", GetParam().c_str(), cases,
              differ, pending, decided, differ - pending - decided);
  for (const auto& [g, n] : by_group) std::printf("  %-24s %d\n", g.c_str(), n);
}

std::string file_name(const ::testing::TestParamInfo<std::string>& info) {
  std::string n = info.param.substr(0, info.param.rfind('.'));
  for (char& c : n) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return n;
}

INSTANTIATE_TEST_SUITE_P(Corpus, Differential, ::testing::ValuesIn(corpus_files()), file_name);

// A bounded run of the generator (grammar.h) with its oracles (fuzz.h):
// LUNADESK_FUZZ_SEED and LUNADESK_FUZZ_STATEMENTS change the seed and the
// number of statements. Every fault found fails, with its reproducer.
TEST(Generated, BothBackEndsAndTheOraclesAgree) {
  const char* seed = std::getenv("LUNADESK_FUZZ_SEED");
  const char* count = std::getenv("LUNADESK_FUZZ_STATEMENTS");
  Fuzzer fuzzer(seed ? std::strtoull(seed, nullptr, 10) : 26, Features{});
  std::vector<Finding> found;
  const FuzzStats st = fuzzer.run(count ? std::atol(count) : 8000, 50, &found);
  if (st.database_missing) {
    if (lunadesk::testing::in_ci()) FAIL() << st.why;
    GTEST_SKIP() << st.why;
  }
  for (const Finding& f : found) ADD_FAILURE() << f.oracle << "\n" << f.reproducer << "  " << f.answers;
  std::printf("generated: %ld statements (%ld run on each back end) in %.1f s, %zu faults\n", st.statements,
              st.executed, st.seconds, found.size());
}

}  // namespace
}  // namespace lunadesk::differential
