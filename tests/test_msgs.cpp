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

// Messages with their codes, kinds and texts; the others are made by the
// same factory, and their texts are compared where they are posted (the
// loader's error in the CLI cases, the trigger's warnings in their tests).
TEST(MsgTable, MessagesWithTheirArguments) {
  check(SDR_MSGS::wsdr_duplicate_name("inst_0"), WSDR_DUPLICATE_NAME, "WSDR_DUPLICATE_NAME", false,
        "Created entity with duplicate name \"inst_0\"");
  check(SDR_MSGS::wsdr_cond_syntax("t", 2, "x"), WSDR_COND_SYNTAX, "WSDR_COND_SYNTAX", false,
        "Condition expression defined in trigger \"t\" at level 2 contains a syntax error -- stopping "
        "processing at string \"x\"");
}

// Posting goes to the default report (its listener is MsgService's); a null
// message is no message.
TEST(MsgTable, PostCopiesToDefaultReport) {
  MSG_REPORT* report = MSG_REPORT::get_default_report();
  SDR_MSGS::post(SDR_MSGS::wsdr_duplicate_name("n"));
  SDR_MSGS::post(nullptr);
  ASSERT_EQ(report->get_num_posted(), 1);
  EXPECT_EQ(report->get_posted_at(0)->get_code(), WSDR_DUPLICATE_NAME);
}
