// Query-by-example input: criteria become the condition; invalid criteria
// and over-long conditions are refused while the input goes on; criteria
// may be longer than their field.
#include <gtest/gtest.h>

#include "core/runtime.h"
#include "test_forms.h"

namespace ui = rt::ui;
using namespace ui::key;
using screen_test::person_form;
using screen_test::start_with;

namespace {
struct Construct : ::testing::Test {
  ui::FakeTerminal* t = nullptr;
  std::vector<ui::ConstructField> fields{{"code", ""}, {"name", ""}, {"cnt", "x.count"}};
  void SetUp() override {
    t = start_with(person_form());
    rt::int_flag = 0;
  }
  void TearDown() override { rt::int_flag = 0; }
};
}  // namespace

TEST_F(Construct, NothingTypedSelectsEveryRow) {
  t->push(kEsc);
  EXPECT_EQ(ui::construct(fields), "1=1");
}

TEST_F(Construct, CriteriaOfSeveralFieldsAreJoined) {
  t->type("ab*");
  t->push({kReturn, kReturn});
  t->type("1:3");
  t->push(kEsc);
  EXPECT_EQ(ui::construct(fields), "t.code matches 'AB*' and x.count between 1 and 3");
}

TEST_F(Construct, InvalidCriterionIsRefusedAndTheCursorStays) {
  std::string err;
  int line = 0;
  t->push({kDown, kDown});
  t->type("abc");
  t->push(kReturn);
  t->when_idle([&](ui::FakeTerminal& term) {
    if (err.empty()) {
      err = term.row(24);
      line = term.cursor_line();
      term.push({kHome, ctrl('d')});
      term.type(">2");
      term.push(kEsc);
    }
  });
  EXPECT_EQ(ui::construct(fields), "x.count>2");
  EXPECT_EQ(err, "Error in field.");
  EXPECT_EQ(line, 8);
}

TEST_F(Construct, CriteriaLongerThanTheFieldScrollAndAreKeptWhole) {
  t->push(kDown);
  t->type("Smith|Jones|Miller|Brown");  // 24 characters in a 20-wide field
  std::string row;
  t->when_idle([&](ui::FakeTerminal& term) {
    row = term.row(6);
    term.push(kEsc);
  });
  EXPECT_EQ(ui::construct(fields), "t.name in ('Smith','Jones','Miller','Brown')");
  EXPECT_EQ(row, "  Name   [|Jones|Miller|Brown ]");
}

TEST_F(Construct, DisplayIntoAFieldBecomesItsCriterionEvenWhenLonger) {
  // The after-input of a batch program puts "<=" and a date into a field
  // narrower than that text.
  ui::Events ev;
  ev.after_input = [](ui::Dialog&) {
    if (!rt::int_flag) ui::display_field("code", std::string_view("<=ABCDE"));
  };
  t->push(kEsc);
  EXPECT_EQ(ui::construct(fields, ev), "t.code<='ABCDE'");
}

TEST_F(Construct, OverLongConditionIsRefusedAndTheInputGoesOn) {
  std::string err;
  t->push(kDown);
  t->type("aaaaaaaaaa|bbbbbbbbbb|cccccccccc");
  t->push(kEsc);
  t->when_idle([&](ui::FakeTerminal& term) {
    if (!err.empty()) return;
    err = term.row(24);
    term.push({kHome, ctrl('d')});
    term.type("a");
    term.push(kEsc);
  });
  EXPECT_EQ(ui::construct(fields, {}, 30), "t.name='a'");
  EXPECT_NE(err.find("at most 30"), std::string::npos);
}

TEST_F(Construct, InterruptGivesNoCondition) {
  t->type("abc");
  t->push(kInterrupt);
  EXPECT_EQ(ui::construct(fields), std::nullopt);
  EXPECT_EQ(rt::int_flag, 1);
}

TEST_F(Construct, FieldBufferReadsTheCriteriaTyped) {
  std::string buf;
  ui::Events ev;
  ev.after_field["code"] = [&](ui::Dialog&) { buf = ui::field_buffer("code"); };
  t->type("x|y");
  t->push({kReturn, kEsc});
  ui::construct(fields, ev);
  EXPECT_EQ(buf, "X|Y");
}

TEST_F(Construct, CriteriaRunToTheConditionsSizeAndNoFurtherWithoutAWord) {
  std::string buf, err;
  ui::Events ev;
  ev.after_field["name"] = [&](ui::Dialog&) { buf = ui::field_buffer("name"); };
  t->push(kDown);
  t->type(std::string(400, 'x'));
  t->when_idle([&](ui::FakeTerminal& term) {
    if (!err.empty()) return term.push(kInterrupt);  // the condition itself is too long to accept
    err = term.row(24);
    term.push(kEsc);
  });
  ui::construct(fields, ev, 300);
  EXPECT_EQ(buf, std::string(300, 'x'));
  EXPECT_EQ(err, "The criteria of a field can be at most 300 characters long.");
}
