// A new wire alias given through the editing layer reaches the advanced
// expressions of the kept trigger, and the condition trees of the editing
// trigger: token for token, through save, reload, undo and redo. A rebuilt
// trigger keeps every advanced text its tree cannot give again.

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
#include "tzo_tree_object.h"

using sdr_test::read_bytes;
using sdr_test::TEMP_DIR;
using sdr_test::write_bytes;

namespace {

class TxAdvAlias : public ::testing::Test {
 protected:
  // Opens a copy of tests/data/tx/<name>.tzo; with trees, under a tzo
  // condition tree as the front end's root.
  void open(const std::string& name, bool trees) {
    m_trees = trees;
    m_original = read_bytes(sdr_test::data_path("tx/" + name + ".tzo"));
    m_expected = read_bytes(sdr_test::data_path("tx/" + name + ".expected.tzo"));
    m_path = m_dir / (name + ".tzo");
    write_bytes(m_path, m_original);
    reopen();
  }
  void TearDown() override {
    m_session.reset();
    delete SDR_DATA_MANAGER::get_data_repository_manager();
  }
  void reopen() {
    m_session.reset();
    m_session.reset(new SDR_TX_SESSION(m_trees ? new TZO_TREE_OBJECT() : nullptr));
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
  // The saved bytes with the trigger's made-up name written "trig".
  std::string save_as_trig() {
    std::string text = save();
    const std::string name = m_session->get_trigger_at(0)->get_data_trigger()->get_name();
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 4))
      text.replace(at, name.size(), "trig");
    return text;
  }
  // A basic condition changed: the trigger is rebuilt at the next commit.
  void set_condition(int row, int level) {
    m_session->get_instance_at(0)->begin_action();
    EXPECT_TRUE(m_session->get_trigger_at(0)->set_trigger_condition(row, level, SDR_TCOND_ACTIVE_HIGH));
    m_session->get_instance_at(0)->end_action();
  }
  void undo_redo(bool undo, int times) {
    for (int i = 0; i < times; ++i)
      ASSERT_TRUE(undo ? m_session->get_instance_at(0)->undo() : m_session->get_instance_at(0)->redo());
  }

  TEMP_DIR m_dir;
  bool m_trees = false;
  std::string m_path;
  std::string m_original;
  std::string m_expected;
  std::unique_ptr<SDR_TX_SESSION> m_session;
};

enum { ROW_A = 0, ROW_RESTART = 1, ROW_B = 3 };

// "start" becomes a name that needs quotes, the quoted "my sig" a plain
// one; "restart", "start_x" and the quoted 'restart' stay, and so does the
// level that does not scan.
TEST_F(TxAdvAlias, ExpressionsFollowTheAliasThroughSaveReloadUndoAndRedo) {
  open("adv_alias", false);
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

// Without trees no level can give its expression again: a rebuilt trigger
// writes each one as it was, the one that does not compile included.
TEST_F(TxAdvAlias, RebuiltTriggerKeepsTheStoredExpressions) {
  open("adv_alias", false);
  set_condition(ROW_B, 0);
  const std::string saved = save();
  for (const char* text : {"[CDATA[start && !restart ||  'start'==1 ^ rising( start )\n  && 'my sig' == 0",
                           "[CDATA[(a || 'my sig')&&!'start']]>", "[CDATA[start && 'my sig]]>"})
    EXPECT_NE(saved.find(text), std::string::npos) << text << "\n" << saved;
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

// With trees: the leaf that names the old alias follows it, the tree that
// names wires keeps its expression, and the levels whose trees give none
// (an alias is no input of the tree; the text does not compile) keep their
// texts, renamed token for token.
TEST_F(TxAdvAlias, TreesFollowTheAliasThroughARebuild) {
  open("adv_tree", true);
  EXPECT_EQ(save(), m_original);
  // The kept trigger: its text and its tree follow, and come back.
  std::string renamed = m_original;
  for (const char* text : {"alias=\"start\"", "alias=\"start\"", "'start'", "(start)", "\"start\" type"}) {
    const size_t at = renamed.find(text);
    ASSERT_NE(at, std::string::npos) << text;
    renamed.replace(renamed.find("start", at), 5, "go");
  }
  rename(ROW_A, "go");
  EXPECT_EQ(save(), renamed);
  undo_redo(true, 1);
  EXPECT_EQ(save(), m_original);
  undo_redo(false, 1);
  EXPECT_EQ(save(), renamed);
  // A rebuilt trigger (its new name aside) writes every level.
  set_condition(ROW_RESTART, 0);
  EXPECT_EQ(save_as_trig(), m_expected);
  EXPECT_STREQ(m_session->get_trigger_at(0)->get_trigger_adv_expression(2), "'my sig' == 0 && either(go)");
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
  reopen();
  EXPECT_EQ(save_as_trig(), m_expected);
  const TZO_TREE_OBJECT* tree =
      static_cast<TZO_TREE_OBJECT*>(m_session->get_trigger_at(0)->get_trigger_adv_condition_root(2));
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->describe(0), "(root)\n  and\n    compare name=my sig value=0\n    either name=go\n");
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
