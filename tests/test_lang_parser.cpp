// Condition expressions of basic trigger levels: the terms handed to the
// actions, the number syntaxes, quoting, and what a syntax error reports.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "msg_service.h"
#include "sdr_lang_parser.h"
#include "sdr_msgs.h"
#include "test_util.h"

namespace {

// Records each term as "name cond N", "name sym S" or "name val V".
class RECORDER : public SDR_COND_ACTIONS {
 public:
  void apply_condition(const char* name, SDR_DATA_TRIGGER_CONDITION condition) override {
    terms.push_back(std::string(name) + " cond " + std::to_string(static_cast<int>(condition)));
  }
  void apply_symbol(const char* name, const char* symbol) override {
    terms.push_back(std::string(name) + " sym " + symbol);
  }
  void apply_value(const char* name, long value) override {
    terms.push_back(std::string(name) + " val " + std::to_string(value));
  }
  std::vector<std::string> terms;
};

using TERMS = std::vector<std::string>;

class CondParser : public testing::Test {
 protected:
  TERMS parse(const std::string& text, const char* trigger = "trg", int level = 2) {
    RECORDER recorder;
    sdr_parse_condition_expression(text.data(), text.size(), &recorder, trigger, level);
    return recorder.terms;
  }

  static int posted() { return MSG_REPORT::get_default_report()->get_num_posted(); }

  // Expects exactly one WSDR_COND_SYNTAX with these arguments, then clears.
  static void expect_syntax_error(const std::string& token, const char* trigger = "trg",
                                  const char* level = "2") {
    MSG_REPORT* report = MSG_REPORT::get_default_report();
    ASSERT_EQ(report->get_num_posted(), 1);
    const MSG_OBJECT* m = report->get_posted_at(0);
    EXPECT_EQ(m->get_code(), WSDR_COND_SYNTAX);
    EXPECT_FALSE(m->is_error());
    ASSERT_EQ(m->get_num_args(), 3);
    EXPECT_STREQ(m->get_arg_at(0), trigger);
    EXPECT_STREQ(m->get_arg_at(1), level);
    EXPECT_EQ(std::string(m->get_arg_at(2)), token);
    report->clear_posted();
  }
};

using sdr_test::bytes_of;
using sdr_test::repeat;

TEST_F(CondParser, TermsAreAppliedInOrder) {
  EXPECT_EQ(parse("'a' == rising edge && 'b' == high"), (TERMS{"a cond 5", "b cond 3"}));
  EXPECT_EQ(parse("a==low&&b == falling   edge\r\n&&\tc == either edge && d == dont_care"),
            (TERMS{"a cond 4", "b cond 6", "c cond 7", "d cond 8"}));
  EXPECT_EQ(parse("'bus' == IDLE && 'bus' == states.RUN"), (TERMS{"bus sym IDLE", "bus sym states.RUN"}));
  // Empty and blank texts apply nothing and post nothing.
  EXPECT_TRUE(parse("").empty());
  EXPECT_TRUE(parse(" \t\r\n  ").empty());
  EXPECT_EQ(posted(), 0);
}

TEST_F(CondParser, NumberSyntaxes) {
  for (const char* literal : {"0x1F", "0X1f", "h1F", "H1f", "31", "B11111", "b011111", "o37", "O037"}) {
    EXPECT_EQ(parse(std::string("'bus' == ") + literal), TERMS{"bus val 31"}) << literal;
  }
  EXPECT_EQ(parse("x == -5 && x == -0 && x == 007"), (TERMS{"x val -5", "x val 0", "x val 7"}));
  // A name made of hexadecimal digits after "h" is a number.
  EXPECT_EQ(parse("x == hbad && x == hbadz"), (TERMS{"x val 2989", "x sym hbadz"}));
  // A number directly followed by a name is two tokens.
  EXPECT_EQ(parse("x == 12abc"), TERMS{"x val 12"});
  expect_syntax_error("abc");
  EXPECT_EQ(posted(), 0);
}

TEST_F(CondParser, NumbersKeepTheirLow32Bits) {
  EXPECT_EQ(parse("x == 0x123456789"), TERMS{"x val " + std::to_string(0x23456789)});
  EXPECT_EQ(parse("x == 0xFFFFFFFF && x == h80000000"), (TERMS{"x val -1", "x val -2147483648"}));
  EXPECT_EQ(parse("x == 4294967295 && x == 2147483648 && x == 4294967301"),
            (TERMS{"x val -1", "x val -2147483648", "x val 5"}));
  // Binary: the last 32 digits.
  EXPECT_EQ(parse("x == b1" + std::string(32, '0') + " && x == b" + repeat("10", 20)),
            (TERMS{"x val 0", "x val " + std::to_string(static_cast<int32_t>(0xAAAAAAAAu))}));
  // Octal: 11 digits are all used (the top bit falls off); from 12 on, the last 11.
  EXPECT_EQ(parse("x == o40000000001 && x == o777777777777 && x == o100000000007"),
            (TERMS{"x val 1", "x val -1", "x val 7"}));
  EXPECT_EQ(posted(), 0);
}

TEST_F(CondParser, KeywordsAreLowerCaseAndWhole) {
  EXPECT_EQ(parse("'a' == High && b == HIGH && c == edgeX && d == highx && e == rising_edge"),
            (TERMS{"a sym High", "b sym HIGH", "c sym edgeX", "d sym highx", "e sym rising_edge"}));
  // Names hold punctuation; a quoted keyword is a name.
  EXPECT_EQ(parse("top/u1:q[3](0)! == -x && 'high' == low && ,n == 1"),
            (TERMS{"top/u1:q[3](0)! sym -x", "high cond 4", ",n val 1"}));
  EXPECT_EQ(posted(), 0);
}

TEST_F(CondParser, SyntaxErrorStopsAtTheToken) {
  struct CASE {
    const char* text;
    TERMS terms;
    const char* token;
  };
  const CASE cases[] = {
      {"'a' == high && 'b' == rising", {"a cond 3"}, ""},
      {"'a' == rising && 'b' == high", {}, "&&"},
      {"'a' == rising high", {}, "high"},
      {"disable", {}, "disable"},
      {"'a' == active high", {}, "active"},
      {"'a' == active low", {}, "active"},
      {"'a' == high &&", {"a cond 3"}, ""},
      {"'a' == high && && 'b' == low", {"a cond 3"}, "&&"},
      {"'a' high", {}, "high"},
      {"'a' ==", {}, ""},
      {"'a' == 1 'b' == 2", {"a val 1"}, "'b'"},
      {"a == 1 b == 2", {"a val 1"}, "b"},
      {"== high", {}, "=="},
      {"a == 'b' == c", {"a sym b"}, "=="},
      {"'a' == edge", {}, "edge"},
  };
  for (const CASE& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse(c.text), c.terms);
    expect_syntax_error(c.token);
  }
  // The trigger name and level are passed through as given.
  parse("x", "trigger: 7", -1);
  expect_syntax_error("", "trigger: 7", "-1");
  parse("x", nullptr, 0);
  expect_syntax_error("", "", "0");
}

TEST_F(CondParser, QuotedNames) {
  EXPECT_EQ(parse(R"('it\'s' == high)"), TERMS{"it's cond 3"});
  EXPECT_EQ(parse(R"('back\\slash' == 'a\b\=c')"), TERMS{R"(back\slash sym ab=c)"});
  EXPECT_EQ(parse("'top a&&b == c,d' == '' && '' == '\n'"), (TERMS{"top a&&b == c,d sym ", " sym \n"}));
  // An unclosed quote takes the rest of the text.
  EXPECT_EQ(parse("'a' == 'unterminated && text"), TERMS{"a sym unterminated && text"});
  // A quote in the middle of a name misleads the rest.
  EXPECT_EQ(parse("'bus' == 'x && 'y' == high"), TERMS{"bus sym x && "});
  expect_syntax_error("y");
  EXPECT_EQ(posted(), 0);
}

TEST_F(CondParser, StrayCharactersAreEchoedAndSkipped) {
  testing::internal::CaptureStdout();
  TERMS terms = parse("'a' = == high & && \\ 'b' == low && 'c' == 'x\\");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "=&\\\\");
  EXPECT_EQ(terms, (TERMS{"a cond 3", "b cond 4", "c sym x"}));
  EXPECT_EQ(posted(), 0);
}

TEST_F(CondParser, HostileBytesNeverCrash) {
  // NUL and high bytes are ordinary name characters; the receiver sees the
  // name up to its first NUL.
  EXPECT_EQ(parse(bytes_of("'a\0b' == high && c\0d == \xff\xfe")), (TERMS{"a cond 3", "c sym \xff\xfe"}));
  EXPECT_EQ(parse(bytes_of("\x01\x7f == \x1b[0m")), TERMS{"\x01\x7f sym \x1b[0m"});
  // Only the given length is read: the text need not end in a NUL.
  RECORDER recorder;
  sdr_parse_condition_expression("'a' == high && 'b' == low", 11, &recorder, "trg", 2);
  EXPECT_EQ(recorder.terms, TERMS{"a cond 3"});
  EXPECT_EQ(posted(), 0);

  // Every short text over a small alphabet of awkward bytes ends normally.
  const std::string alphabet = bytes_of("'\\=&\0\xff\n0x-h ");
  testing::internal::CaptureStdout();
  for (size_t n = 0; n < alphabet.size() * alphabet.size() * alphabet.size() * alphabet.size(); ++n) {
    std::string text;
    for (size_t k = n; text.size() < 4; k /= alphabet.size()) text += alphabet[k % alphabet.size()];
    RECORDER recorder;
    sdr_parse_condition_expression(text.data(), text.size(), &recorder, "trg", 1);
    ASSERT_LE(recorder.terms.size(), 1u);
  }
  testing::internal::GetCapturedStdout();
}

TEST_F(CondParser, LongInputs) {
  // About 1 MB of terms: the grammar is left-recursive, so the parser's
  // stack stays small however many terms there are.
  const std::string term = "'a' == high && ";
  const size_t count = (1u << 20) / term.size();
  TERMS terms = parse(repeat(term, count) + "'a' == 0x1");
  ASSERT_EQ(terms.size(), count + 1);
  EXPECT_EQ(terms.front(), "a cond 3");
  EXPECT_EQ(terms.back(), "a val 1");
  EXPECT_EQ(posted(), 0);

  const std::string name(1u << 20, 'n');
  EXPECT_EQ(parse(name + " == '" + name + "'"), TERMS{name + " sym " + name});
  EXPECT_EQ(parse("x == 0x" + std::string(1u << 20, 'f') + " && x == -" + std::string(1u << 20, '9')),
            (TERMS{"x val -1", "x val 0"}));
  EXPECT_EQ(posted(), 0);
}

TEST_F(CondParser, TextsOver16MiBAreRefused) {
  // At the limit the text is read (and stops at its first token); one byte
  // more and it is refused before any token.
  const size_t limit = size_t(16) * 1024 * 1024;
  std::string text = "== high" + std::string(limit - 7, ' ');
  EXPECT_TRUE(parse(text).empty());
  expect_syntax_error("==");
  text += ' ';
  EXPECT_TRUE(parse(text).empty());
  expect_syntax_error("");
}

}  // namespace
