// Form input: what the maintenance programs rely on. Cursor movement and
// wrap, skipping a field in the direction of travel, after-field and
// after-input keeping the input going, the attributes' own messages, a
// value that does not fit its type, interrupt.
#include <gtest/gtest.h>

#include "core/runtime.h"
#include "test_forms.h"

namespace ui = rt::ui;
using namespace ui::key;
using screen_test::person_form;
using screen_test::start_with;

namespace {
struct Rec {
  rt::Value code{rt::char_t(4)}, name{rt::char_t(20)}, cnt{rt::smallint_t()};
  std::vector<ui::InputField> fields() { return {{"code", &code}, {"name", &name}, {"cnt", &cnt}}; }
};

struct Fixture : ::testing::Test {
  ui::FakeTerminal* t = nullptr;
  Rec rec;
  std::vector<std::string> trail;  // the fields entered, in order
  ui::Events ev;
  void SetUp() override {
    t = start_with(person_form());
    rt::int_flag = 0;
    ui::set_input_wrap(false);
    for (const char* f : {"code", "name", "cnt"}) ev.before_field[f] = [this, f](ui::Dialog&) { trail.push_back(f); };
  }
  void TearDown() override { rt::int_flag = 0; }
};
using Input = Fixture;
}  // namespace

TEST_F(Input, TypedValuesReachTheVariablesUpshiftedAndFormatted) {
  t->type("ab");
  t->push(kReturn);
  t->type("Jörg");
  t->push(kReturn);
  t->type("3");
  t->push(kEsc);
  EXPECT_TRUE(ui::input(rec.fields(), ev, false));
  EXPECT_EQ(rec.code.str(), "AB");
  EXPECT_EQ(rec.name.str(), "Jörg");
  EXPECT_EQ(rec.cnt.as_int(), 3);
  EXPECT_EQ(t->row(8), "  Count  [    3]");
  EXPECT_EQ(t->row(23), "");  // the comment line is cleared at the end
}

TEST_F(Input, CommentLineAndCursorFollowTheField) {
  int line = 0, col = 0;
  std::string comment;
  t->type("X");
  t->when_idle([&](ui::FakeTerminal& term) {
    if (comment.empty()) {
      comment = term.row(23);
      line = term.cursor_line();
      col = term.cursor_col();
    }
    term.push(kEsc);
  });
  rec.code.set_text("Q");
  rec.name.set_text("n");
  ui::input(rec.fields(), ev);
  EXPECT_EQ(comment, "Enter a code");
  EXPECT_EQ(line, 4);
  EXPECT_EQ(col, 12);  // after the X typed at the field's first column (11)
}

TEST_F(Input, WrapOffEndsAtTheLastFieldWrapOnGoesRound) {
  rec.code.set_text("A");
  rec.name.set_text("B");
  t->push({kReturn, kReturn, kReturn});
  EXPECT_TRUE(ui::input(rec.fields(), ev));
  EXPECT_EQ(trail, (std::vector<std::string>{"code", "name", "cnt"}));

  trail.clear();
  ui::set_input_wrap(true);
  t->push({kReturn, kReturn, kReturn, kUp, kEsc});
  EXPECT_TRUE(ui::input(rec.fields(), ev));
  EXPECT_EQ(trail, (std::vector<std::string>{"code", "name", "cnt", "code", "cnt"}));
}

TEST_F(Input, SkippedFieldIsSkippedInTheDirectionOfTravel) {
  // The change mode of a maintenance program: the code never takes the
  // cursor, neither moving up from the name nor wrapping round.
  ui::set_input_wrap(true);
  ev.before_field["code"] = [this](ui::Dialog& d) {
    trail.push_back("code?");
    d.next_field_next();
  };
  rec.code.set_text("A");
  t->push({kUp, kReturn, kReturn, kEsc});
  EXPECT_TRUE(ui::input(rec.fields(), ev));
  EXPECT_EQ(trail, (std::vector<std::string>{"code?", "name", "code?", "cnt", "code?", "name", "cnt"}));
}

TEST_F(Input, AfterFieldKeepsTheCursorAndCancelsAnAccept) {
  int refusals = 0;
  ev.after_field["code"] = [&](ui::Dialog& d) {
    if (rec.code.str() == "DUP") {
      ++refusals;
      ui::error("This code is already in the system and can not be re-entered");
      d.next_field("code");
    }
  };
  t->type("dup");
  t->push(kReturn);  // refused, cursor stays
  t->push(kEsc);     // refused again: the accept is cancelled
  t->type("ok");
  t->push(kEsc);
  EXPECT_TRUE(ui::input(rec.fields(), ev, false));
  EXPECT_EQ(refusals, 2);
  EXPECT_EQ(rec.code.str(), "OK");
  EXPECT_EQ(trail, (std::vector<std::string>{"code", "code", "code"}));
}

TEST_F(Input, RequiredIsCheckedAtAcceptAndAfterInputCanGoOn) {
  int after = 0;
  ev.after_input = [&](ui::Dialog& d) {
    ++after;
    if (rec.name.is_null()) {
      ui::error("Required entry");
      d.next_field("name");
    }
  };
  std::vector<std::string> errors;
  t->push({kEsc});  // the code is required: the runtime's own message
  t->when_idle([&](ui::FakeTerminal& term) {
    errors.push_back(term.row(24));
    if (errors.size() == 1) {
      term.type("c1");
      term.push(kEsc);  // the program's after-input refuses: no name
    } else if (errors.size() == 2) {
      term.type("Name");
      term.push(kEsc);
    }
  });
  EXPECT_TRUE(ui::input(rec.fields(), ev, false));
  EXPECT_EQ(errors, (std::vector<std::string>{"This field requires an entered value.", "Required entry"}));
  EXPECT_EQ(after, 2);
  EXPECT_EQ(rec.name.str(), "Name");
}

TEST_F(Input, ValueThatDoesNotFitTheTypeOrIncludeListIsRefused) {
  rec.code.set_text("A");
  std::vector<std::string> errors;
  t->push({kDown, kDown});
  t->type("x1");
  t->push(kReturn);
  t->when_idle([&](ui::FakeTerminal& term) {
    errors.push_back(term.row(24));
    if (errors.size() == 1) {
      term.push({kHome, ctrl('d')});
      term.type("9");
      term.push(kEsc);
    } else if (errors.size() == 2) {
      term.push({kHome, ctrl('d')});
      term.push(kEsc);  // empty is in the list
    }
  });
  EXPECT_TRUE(ui::input(rec.fields(), ev));
  EXPECT_EQ(errors, (std::vector<std::string>{"Error in field.", "This value is not among the valid possibilities."}));
  EXPECT_TRUE(rec.cnt.is_null());
}

TEST_F(Input, TextBeyondTheFieldIsRefusedWithTheBell) {
  t->type("abcdef");
  t->push(kEsc);
  EXPECT_TRUE(ui::input(rec.fields(), ev, false));
  EXPECT_EQ(rec.code.str(), "ABCD");
  EXPECT_EQ(t->bells(), 2);
  EXPECT_EQ(t->row(4), "  Code   [ABCD]");
}

TEST_F(Input, InterruptRunsAfterInputWithTheFlagAndKeepsVariables) {
  rec.code.set_text("OLD");
  bool seen = false;
  ev.after_field["code"] = [](ui::Dialog&) { ADD_FAILURE() << "no after field on interrupt"; };
  ev.after_input = [&](ui::Dialog&) { seen = rt::int_flag == 1; };
  t->type("NEW");
  t->push(kInterrupt);
  EXPECT_FALSE(ui::input(rec.fields(), ev));
  EXPECT_TRUE(seen);
  EXPECT_EQ(rec.code.str(), "OLD");
}

TEST_F(Input, OnKeyEventDisplaysIntoTheFieldBeingEdited) {
  // A lookup on F5 or Ctrl-F puts its code into the field; the input takes
  // it as typed.
  ev.on_key.push_back({{f(5), ctrl('f')}, [](ui::Dialog& d) {
                         if (d.infield("name")) ui::display_field("name", std::string_view("Found"));
                       }});
  t->push({ctrl('f'), kReturn, kReturn});
  t->push({kUp, f(5), kEsc});
  rec.code.set_text("A");
  EXPECT_TRUE(ui::input(rec.fields(), ev));
  EXPECT_EQ(rec.name.str(), "Found");
  EXPECT_EQ(ui::last_key(), kEsc);
}

TEST_F(Input, EditingKeysAndUnboundKeysLeaveNoTrace) {
  rec.name.set_text("abcdef");
  rec.code.set_text("A");
  t->push({kDown, kRight, kRight, ctrl('x'), kBackspace, ctrl('a'), 'Z', kEnd, f(9), kPgDn, ctrl('d'), kEsc});
  EXPECT_TRUE(ui::input(rec.fields(), ev));
  EXPECT_EQ(rec.name.str(), "aZdef");
  EXPECT_EQ(t->bells(), 0);
}

TEST_F(Input, NonUtf8LocaleRefusesCharactersItCannotHold) {
  auto* a = ui::install_fake_terminal(false);
  auto f = person_form();
  ui::open_form("p", f);
  ui::display_form("p");
  a->push({'a', static_cast<int>(U'é'), 'b', kEsc});
  EXPECT_TRUE(ui::input(rec.fields(), ev, false));
  EXPECT_EQ(rec.code.str(), "AB");
  EXPECT_EQ(a->bells(), 1);
}
