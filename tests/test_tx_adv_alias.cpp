// A new wire alias given through the editing layer reaches the advanced
// expressions of the kept trigger: token for token, through save, reload,
// undo and redo.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "atg_compiler.h"
#include "msg_service.h"
#include "sdr_data_manager.h"
#include "sdr_data_trigger.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_session.h"
#include "sdr_tx_trigger.h"
#include "test_util.h"

using sdr_test::read_bytes;
using sdr_test::TEMP_DIR;
using sdr_test::write_bytes;

namespace {

class TxAdvAlias : public ::testing::Test {
 protected:
  void SetUp() override {
    MSG_INTERNAL_ERROR::clear_reports();
    m_original = read_bytes(sdr_test::data_path("tx/adv_alias.tzo"));
    m_expected = read_bytes(sdr_test::data_path("tx/adv_alias.expected.tzo"));
    m_path = m_dir / "adv_alias.tzo";
    write_bytes(m_path, m_original);
    reopen();
  }
  void TearDown() override {
    m_session.reset();
    delete SDR_DATA_MANAGER::get_data_repository_manager();
  }
  void reopen() {
    m_session.reset();
    // No condition trees: the levels keep only their expressions.
    m_session.reset(new SDR_TX_SESSION(nullptr));
    ASSERT_TRUE(m_session->open_session(m_path.c_str()));
  }
  std::string save() {
    EXPECT_TRUE(m_session->save_session(nullptr));
    return read_bytes(m_path);
  }
  void rename(int row, const char* alias) {
    m_session->get_instance_at(0)->begin_action();
    EXPECT_TRUE(m_session->get_trigger_at(0)->set_node_alias(row, alias));
    m_session->get_instance_at(0)->end_action();
  }

  TEMP_DIR m_dir;
  std::string m_path;
  std::string m_original;
  std::string m_expected;
  std::unique_ptr<SDR_TX_SESSION> m_session;
};

enum { ROW_A = 0, ROW_B = 3 };

// "start" becomes a name that needs quotes, the quoted "my sig" a plain
// one; "restart", "start_x" and the quoted 'restart' stay, and so does the
// level that does not scan.
TEST_F(TxAdvAlias, ExpressionsFollowTheAliasThroughSaveReloadUndoAndRedo) {
  EXPECT_EQ(save(), m_original);
  rename(ROW_A, "go now");
  rename(ROW_B, "sig_b");
  EXPECT_EQ(save(), m_expected);
  ASSERT_TRUE(m_session->get_instance_at(0)->undo());
  ASSERT_TRUE(m_session->get_instance_at(0)->undo());
  EXPECT_EQ(save(), m_original);
  ASSERT_TRUE(m_session->get_instance_at(0)->redo());
  ASSERT_TRUE(m_session->get_instance_at(0)->redo());
  EXPECT_EQ(save(), m_expected);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);

  reopen();
  SDR_DATA_TRIGGER* trigger = m_session->get_trigger_at(0)->get_data_trigger();
  ASSERT_NE(trigger, nullptr);
  EXPECT_NE(trigger->get_advanced_trigger_factory(1), nullptr);
  EXPECT_NE(trigger->get_advanced_trigger_factory(2), nullptr);
  EXPECT_EQ(trigger->get_advanced_trigger_factory(3), nullptr);
  // Back to a plain name from a quoted one, and the alias removed: the
  // expression then names the wire itself.
  rename(ROW_A, "start");
  rename(ROW_B, "");
  EXPECT_STREQ(trigger->get_advanced_trigger_expression(2), "(a || 'b')&&!'start'");
  EXPECT_NE(trigger->get_advanced_trigger_factory(2), nullptr);
  // The trigger's own names follow too: a new expression may use them.
  EXPECT_TRUE(trigger->set_advanced_trigger_expression(3, "start && b"));
  EXPECT_FALSE(trigger->set_advanced_trigger_expression(3, "'go now' && b"));
}

// The scanner's view of names: where each one is written and what it names.
TEST(AtgNames, SpansAndSpelling) {
  using UTIL = ATG_ADVANCED_TRIGGER_UTILITY;
  std::vector<UTIL::NAME_SPAN> names;
  const std::string text = "rising(x)||'it\\'s'^rising";
  ASSERT_TRUE(UTIL::find_signal_names(text.data(), text.size(), &names));
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(text.substr(names[1].offset, names[1].length), "'it\\'s'");
  EXPECT_EQ(names[1].name, "it's");
  EXPECT_EQ(names[2].name, "rising");
  EXPECT_FALSE(UTIL::find_signal_names("a & b", 5, &names));
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(UTIL::signal_name_text("q[3]", false), "q[3]");
  EXPECT_EQ(UTIL::signal_name_text("q[3]", true), "'q[3]'");
  EXPECT_EQ(UTIL::signal_name_text("either", false), "'either'");
  EXPECT_EQ(UTIL::signal_name_text("a'b\\", false), "'a\\'b\\\\'");
}

}  // namespace
