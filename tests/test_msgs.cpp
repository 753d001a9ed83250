#include <gtest/gtest.h>

#include <memory>

#include "msg_service.h"
#include "sdr_msgs.h"

namespace {

void check(MSG_OBJECT* raw, int code, const char* id, bool is_error, const char* text) {
  std::unique_ptr<MSG_OBJECT> msg(raw);
  SCOPED_TRACE(id);
  ASSERT_NE(msg, nullptr);
  EXPECT_EQ(msg->get_code(), code);
  EXPECT_STREQ(msg->get_id(), id);
  EXPECT_EQ(msg->is_error(), is_error);
  EXPECT_STREQ(msg->get_text(), text);
}

}  // namespace

TEST(MsgTable, EveryMessageWithItsArguments) {
  check(SDR_MSGS::esdr_source_generic("/tmp/a/b.tzo", "bad token"), 1, "ESDR_SOURCE_GENERIC", true,
        "Tessaro II software encountered an error while reading Trazio II File /tmp/a/b.tzo, with message "
        "\"bad token\"");
  check(SDR_MSGS::esdr_source_invalid_format(), 2, "ESDR_SOURCE_INVALID_FORMAT", true,
        "Trazio II File is not in valid format");
  check(SDR_MSGS::wsdr_missing_name("instance"), 3, "WSDR_MISSING_NAME", false,
        "Entity \"instance\" doesn't have name");
  check(SDR_MSGS::wsdr_duplicate_name("inst_0"), 4, "WSDR_DUPLICATE_NAME", false,
        "Created entity with duplicate name \"inst_0\"");
  check(SDR_MSGS::wsdr_empty_signal_set(), 6, "WSDR_EMPTY_SIGNAL_SET", false,
        "Trazio II File requires signals");
  check(SDR_MSGS::wsdr_duplicate_symbol("IDLE", "0", "states", "3"), 8, "WSDR_DUPLICATE_SYMBOL", false,
        "Symbol \"IDLE\" has duplicate value \"0\" in mnemonic table \"states\" -- ignoring new value \"3\"");
  check(SDR_MSGS::wsdr_invalid_signal_ref("top|clk"), 9, "WSDR_INVALID_SIGNAL_REF", false,
        "Signal \"top|clk\" does not exist in Trazio II File");
  check(SDR_MSGS::wsdr_invalid_bus_ref("data", "RUN", "data == RUN"), 10, "WSDR_INVALID_BUS_REF", false,
        "Trigger condition \"data == RUN\" in Trazio II File contains undefined bus \"data\" with symbol or "
        "value \"RUN\"");
  check(SDR_MSGS::wsdr_invalid_sym_table("states"), 11, "WSDR_INVALID_SYM_TABLE", false,
        "Mnemonic table \"states\" does not exist in Trazio II File");
  check(SDR_MSGS::wsdr_invalid_symbol("RUN", "states"), 12, "WSDR_INVALID_SYMBOL", false,
        "Symbol \"RUN\" does not exist in mnemonic table \"states\"");
  check(SDR_MSGS::wsdr_cond_syntax("t", 2, "x"), 13, "WSDR_COND_SYNTAX", false,
        "Condition expression defined in trigger \"t\" at level 2 contains a syntax error -- stopping "
        "processing at string \"x\"");
  check(SDR_MSGS::wsdr_trigger_not_used("top|a", "trigger: 1"), 14, "WSDR_TRIGGER_NOT_USED", false,
        "Signal \"top|a\" exists in signal set and is defined as an input for triggering, but advanced "
        "trigger conditions in trigger \"trigger: 1\" do not use the signal");
}

TEST(MsgTable, ArgumentsKeepTheirOrder) {
  std::unique_ptr<MSG_OBJECT> bus(SDR_MSGS::wsdr_invalid_bus_ref("b", "v", "c"));
  EXPECT_STREQ(
      bus->get_raw_text(),
      "Trigger condition \"%3!s!\" in Trazio II File contains undefined bus \"%1!s!\" with symbol or "
      "value \"%2!s!\"");
  ASSERT_EQ(bus->get_num_args(), 3);
  EXPECT_STREQ(bus->get_arg_at(0), "b");
  EXPECT_STREQ(bus->get_arg_at(2), "c");
  std::unique_ptr<MSG_OBJECT> cond(SDR_MSGS::wsdr_cond_syntax("t", -1, ""));
  EXPECT_STREQ(cond->get_arg_at(1), "-1");
}

TEST(MsgTable, PostCopiesToDefaultReport) {
  MSG_REPORT* report = MSG_REPORT::get_default_report();
  report->clear_posted();
  int heard = 0;
  MSG_REPORT::LISTENER previous = report->set_listener([&heard](const MSG_OBJECT& m) {
    ++heard;
    EXPECT_EQ(m.get_code(), WSDR_DUPLICATE_NAME);
  });
  SDR_MSGS::post(SDR_MSGS::wsdr_duplicate_name("n"));
  SDR_MSGS::post(nullptr);
  report->set_listener(previous);

  EXPECT_EQ(heard, 1);
  ASSERT_EQ(report->get_num_posted(), 1);
  EXPECT_STREQ(report->get_posted_at(0)->get_text(), "Created entity with duplicate name \"n\"");
  report->clear_posted();
}
