// Transaction trigger: whole documents edited through the setup tab,
// committed, saved and compared byte for byte; advanced levels through the
// tzo condition tree; change flags and compilation answers.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "atg_compiler.h"
#include "msg_service.h"
#include "sdr_data_instance.h"
#include "sdr_data_manager.h"
#include "sdr_data_mnemonics.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_session.h"
#include "sdr_tx_signal_set.h"
#include "sdr_tx_trigger.h"
#include "test_util.h"
#include "tzo_tree_object.h"

using sdr_test::read_bytes;
using sdr_test::TEMP_DIR;
using sdr_test::write_bytes;

namespace {

// The trigger element of the fixtures as stored.
const char* const TRIG_OPEN = "      <trigger is_expanded=\"true\" name=\"trig\" position=\"pre\">\n";
const char* const TRIG_LEVELS =
    "        <events>\n"
    "          <level>'a' == high\n"
    "          </level>\n"
    "        </events>\n";

class TxTrigger : public ::testing::Test {
 protected:
  void SetUp() override {
    MSG_INTERNAL_ERROR::clear_reports();
    MSG_REPORT::get_default_report()->clear_posted();
  }
  void TearDown() override {
    m_session.reset();
    delete SDR_DATA_MANAGER::get_data_repository_manager();
  }
  // Opens a copy of a fixture of tests/data/tx with a tzo condition tree as
  // the front end's root.
  void open(const std::string& fixture) {
    m_original = read_bytes(sdr_test::data_path("tx/" + fixture));
    m_path = m_dir / fixture;
    write_bytes(m_path, m_original);
    reopen();
  }
  void reopen() {
    m_session.reset();
    m_session.reset(new SDR_TX_SESSION(new TZO_TREE_OBJECT()));
    ASSERT_TRUE(m_session->open_session(m_path.c_str()));
    m_trigger = m_session->get_trigger_at(0);
    m_instance = m_session->get_instance_at(0);
  }
  std::string save() {
    EXPECT_TRUE(m_session->save_session(nullptr));
    EXPECT_FALSE(m_session->is_modified());
    return read_bytes(m_path);
  }
  template <class EDIT>
  void act(EDIT edit) {
    m_instance->begin_action();
    edit();
    m_instance->end_action();
  }
  // The committed trigger of instance 0.
  SDR_DATA_TRIGGER* committed() const { return m_trigger->get_data_trigger(); }
  TZO_TREE_OBJECT* level_tree(int level) const {
    return static_cast<TZO_TREE_OBJECT*>(m_trigger->get_trigger_adv_condition_root(level));
  }

  TEMP_DIR m_dir;
  std::string m_path;
  std::string m_original;
  std::unique_ptr<SDR_TX_SESSION> m_session;
  SDR_TX_TRIGGER* m_trigger = nullptr;
  SDR_TX_INSTANCE* m_instance = nullptr;
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// A new trigger as the commit writes it: properties in full, one level
// element per level with its attributes.
std::string new_trigger(const std::string& name, const std::string& levels, const std::string& extra = "") {
  return "      <trigger" + extra + " name=\"" + name +
         "\" position=\"pre\" segment_size=\"1\" trigger_in=\"dont_care\" trigger_out=\"active high\" "
         "trigger_type=\"circular\">\n        <events>\n" +
         levels + "        </events>\n      </trigger>\n";
}

TEST_F(TxTrigger, KeptTriggerGetsOnlyTheChangedProperties) {
  open("design.tzo");
  act([&] {
    EXPECT_TRUE(m_trigger->set_trigger_position(SDR_TPOS_CENTER));
    EXPECT_FALSE(m_trigger->set_trigger_position(SDR_TPOS_CENTER));
    EXPECT_TRUE(m_trigger->set_trigger_out_condition(SDR_TCOND_ACTIVE_LOW));
  });
  // Undone before a commit, nothing reaches the file.
  while (m_instance->undo()) {
  }
  EXPECT_EQ(save(), m_original);
  while (m_instance->redo()) {
  }
  SDR_DATA_TRIGGER* before = committed();
  EXPECT_EQ(save(), replaced(m_original, TRIG_OPEN,
                             "      <trigger is_expanded=\"true\" name=\"trig\" position=\"center\" "
                             "trigger_out=\"active low\">\n"));
  EXPECT_EQ(committed(), before);
}

// A new condition needs a new trigger; without logs the old one goes.
TEST_F(TxTrigger, ConditionReplacesATriggerWithoutLogs) {
  open("design.tzo");
  act([&] { EXPECT_TRUE(m_trigger->set_trigger_condition(1, 0, SDR_TCOND_RISING_EDGE)); });
  act([&] { EXPECT_FALSE(m_trigger->set_trigger_condition(1, 0, SDR_TCOND_RISING_EDGE)); });
  EXPECT_EQ(m_trigger->get_trigger_condition(0, 0), SDR_TCOND_HIGH);
  const std::string edited = save();
  const std::string name = committed()->get_name();
  EXPECT_NE(name, "trig");
  std::string expected =
      replaced(m_original, std::string(TRIG_OPEN) + TRIG_LEVELS + "      </trigger>\n",
               new_trigger(name,
                           "          <level enabled=\"yes\" type=\"basic\">'a' == high &amp;&amp; 'b' == "
                           "rising edge\n          </level>\n"));
  expected = replaced(expected, "trigger=\"trig\"", "trigger=\"" + name + "\"");
  EXPECT_EQ(edited, expected);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

// A trigger with logs stays with them and gets a new trigger beside it.
// The analyzer is its own HDL node: a change that needs no full compilation
// inherits the stored CRC, one that does has it computed anew.
TEST_F(TxTrigger, TriggerWithLogsGetsANewOneBesideAndTheCrcFollows) {
  open("logged.tzo");
  act([&] { EXPECT_TRUE(m_trigger->set_trigger_level_enabled(0, false)); });
  bool full = true, pinwatch = true;
  m_session->check_instance_compilation_type_at(0, &full, &pinwatch);
  EXPECT_FALSE(full);
  const std::string edited = save();
  const std::string first = committed()->get_name();
  const std::string old_trigger =
      "      <trigger CRC=\"ABCD1234\" is_expanded=\"true\" name=\"trig\" position=\"pre\">\n" +
      std::string(TRIG_LEVELS) +
      "        <data name=\"run1\" sample_depth=\"2\" trigger_position=\"0\">0110</data>\n"
      "      </trigger>\n";
  std::string expected = replaced(
      m_original, old_trigger,
      old_trigger +
          new_trigger(first,
                      "          <level enabled=\"no\" type=\"basic\">'a' == high\n          </level>\n",
                      " CRC=\"ABCD1234\""));
  expected = replaced(expected, "trigger=\"trig\"", "trigger=\"" + first + "\"");
  EXPECT_EQ(edited, expected);

  act([&] { EXPECT_TRUE(m_trigger->set_trigger_level(2)); });
  m_session->check_instance_compilation_type_at(0, &full, &pinwatch);
  EXPECT_TRUE(full);
  const std::string second_save = save();
  SDR_DATA_TRIGGER* second = committed();
  EXPECT_NE(second->get_name(), first);
  char crc[32];
  std::snprintf(crc, sizeof crc, "CRC=\"%lX\"", second->get_crc_value());
  EXPECT_NE(std::string(crc), "CRC=\"ABCD1234\"");
  EXPECT_NE(second_save.find(crc), std::string::npos);
  // The first new trigger had no logs: it was replaced.
  EXPECT_EQ(second_save.find("name=\"" + first + "\""), std::string::npos);
  EXPECT_NE(second_save.find("name=\"run1\""), std::string::npos);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

// Without GUI logging every commit that needs a new trigger makes the
// global one, named after the trigger while the settings are unchanged.
TEST_F(TxTrigger, GuiLoggingOffCommitsIntoTheGlobalTrigger) {
  open("design.tzo");
  m_session->set_gui_logging(false);
  const std::string edited = save();
  EXPECT_TRUE(committed()->is_global_temp());
  EXPECT_STREQ(committed()->get_name(), "trig");
  // The signal set is kept: nothing in it changed.
  std::string expected = replaced(
      m_original, std::string(TRIG_OPEN) + TRIG_LEVELS + "      </trigger>\n",
      std::string(TRIG_OPEN) + TRIG_LEVELS + "      </trigger>\n" +
          new_trigger("trig",
                      "          <level enabled=\"yes\" type=\"basic\">'a' == high\n          </level>\n",
                      " global_temp=\"1\""));
  expected = replaced(expected,
                      "<display_tree gui_logging_enabled=\"1\">\n    <display_branch instance=\"ela_0\" "
                      "signal_set=\"setup\" trigger=\"trig\"/>",
                      "<display_tree gui_logging_enabled=\"0\">\n    <display_branch instance=\"ela_0\" "
                      "signal_set=\"setup\" trigger=\"USE_GLOBAL_TEMP\"/>");
  EXPECT_EQ(edited, expected);
  // A changed trigger gets an automatic name; the global one is replaced.
  act([&] { EXPECT_TRUE(m_trigger->set_trigger_condition(0, 0, SDR_TCOND_LOW)); });
  save();
  EXPECT_TRUE(committed()->is_global_temp());
  EXPECT_STRNE(committed()->get_name(), "trig");
  EXPECT_EQ(committed()->get_condition(0, 0), SDR_TCOND_LOW);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

// An advanced level made through the tzo tree: committed as expression and
// "op_node" tree, and read back into the same tree.
TEST_F(TxTrigger, AdvancedLevelThroughTheTreeObject) {
  open("design.tzo");
  act([&] {
    EXPECT_TRUE(m_trigger->set_trigger_level(2));
    EXPECT_TRUE(m_trigger->set_trigger_level_basic_condition(0, false));
    EXPECT_TRUE(m_trigger->set_trigger_level_basic_condition(1, false));
  });
  TZO_TREE_OBJECT* tree = level_tree(0);
  TZO_TREE_OBJECT* both = tree->add_node("and");
  both->add_node("rising", "a");
  both->add_node("not")->add_node("signal", "b");
  tree->add_node("compare", "a", "0");
  EXPECT_FALSE(m_trigger->set_trigger_level_adv_condition_modified(0, true, true));
  EXPECT_STREQ(m_trigger->get_trigger_adv_expression(0), "(rising(a) && !b) && a == 0");
  ASSERT_NE(m_trigger->get_advanced_trigger_condition_factory(0), nullptr);
  EXPECT_GT(m_trigger->get_adv_trigger_level_lcell_usage(0), 0u);
  // A root with an attribute and no children keeps it.
  level_tree(1)->set_attribute("note", "empty");
  const std::string shape0 = level_tree(0)->describe(0);

  const std::string edited = save();
  EXPECT_NE(edited.find("<expression><![CDATA[(rising(a) && !b) && a == 0]]>"), std::string::npos) << edited;
  EXPECT_NE(edited.find("<op_node>\n              <op_node type=\"and\">"), std::string::npos) << edited;
  EXPECT_NE(edited.find("<op_node note=\"empty\"/>"), std::string::npos) << edited;
  EXPECT_NE(committed()->get_advanced_trigger_factory(0), nullptr);

  reopen();
  EXPECT_EQ(m_trigger->get_trigger_level(), 2);
  EXPECT_FALSE(m_trigger->is_trigger_level_basic_condition(0));
  EXPECT_EQ(level_tree(0)->describe(0), shape0);
  EXPECT_STREQ(level_tree(1)->find_attribute("note"), "empty");
  EXPECT_STREQ(m_trigger->get_trigger_adv_expression(0), "(rising(a) && !b) && a == 0");
  EXPECT_EQ(save(), edited);

  // A tree change that keeps the expression needs no compilation and keeps
  // the trigger; one that changes it needs a full one.
  bool full = true, pinwatch = true;
  SDR_DATA_TRIGGER* kept = committed();
  level_tree(1)->set_attribute("note", "other");
  m_trigger->set_trigger_level_adv_condition_modified(1, true, true);
  EXPECT_TRUE(m_instance->get_change_status()->m_adv_trigger_changed);
  EXPECT_FALSE(m_instance->get_change_status()->m_adv_trigger_changed_full);
  m_trigger->check_compilation_type(&full, &pinwatch);
  EXPECT_FALSE(full);
  level_tree(0)->add_node("compare", "b", "1");
  m_trigger->set_trigger_level_adv_condition_modified(0, true, true);
  EXPECT_TRUE(m_instance->get_change_status()->m_adv_trigger_changed_full);
  m_trigger->check_compilation_type(&full, &pinwatch);
  EXPECT_TRUE(full);
  level_tree(0)->remove_child(level_tree(0)->child_at(2));
  m_trigger->set_trigger_level_adv_condition_modified(0, false, true);
  EXPECT_FALSE(m_instance->get_change_status()->m_adv_trigger_changed_full);
  EXPECT_EQ(save(), replaced(edited, "note=\"empty\"", "note=\"other\""));
  EXPECT_EQ(committed(), kept);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

// Change flags 6 to 10 and the compilation answer of each edit, undone
// before the next.
TEST_F(TxTrigger, EditsAgainstChangeFlagsAndCompilationAnswers) {
  open("design.tzo");
  struct ROW {
    const char* what;
    std::function<bool()> edit;
    const char* flags;  // flags 6 to 10
    bool full, pinwatch;
  };
  SDR_TX_TRIGGER* t = m_trigger;
  const ROW rows[] = {
      {"position", [&] { return t->set_trigger_position(SDR_TPOS_POST); }, "00001", false, false},
      {"condition", [&] { return t->set_trigger_condition(0, 0, SDR_TCOND_LOW); }, "01000", false, false},
      {"enabled", [&] { return t->set_trigger_level_enabled(0, false); }, "01000", false, false},
      {"segment", [&] { return t->set_segment_size(64); }, "01000", false, false},
      {"levels", [&] { return t->set_trigger_level(2); }, "11000", true, false},
      {"advanced", [&] { return t->set_trigger_level_basic_condition(0, false); }, "10000", true, false},
      {"classic node", [&] { return t->append_node("c", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP); },
       "00000", true, false},
      {"probe node", [&] { return t->append_node("p", SDR_STYPE_REGISTER, SDR_MTYPE_PROBEONLY_TAP); },
       "00000", false, true},
  };
  for (const ROW& row : rows) {
    m_instance->begin_action();
    EXPECT_TRUE(row.edit()) << row.what;
    m_instance->end_action();
    std::string flags;
    for (int i = 6; i <= 10; ++i) flags += m_instance->get_change_status()->get_flag(i) ? '1' : '0';
    EXPECT_EQ(flags, row.flags) << row.what;
    bool full = false, pinwatch = false;
    m_session->check_instance_compilation_type_at(0, &full, &pinwatch);
    EXPECT_EQ(full, row.full) << row.what;
    EXPECT_EQ(pinwatch, row.pinwatch) << row.what;
    EXPECT_TRUE(m_instance->undo()) << row.what;
    EXPECT_FALSE(m_instance->is_modified()) << row.what;
  }
  EXPECT_EQ(save(), m_original);
}

// A committed wire whose row went asks for a compilation: a full one for a
// classic tap, a probe-only one for a probe-only tap; with every wire named
// by a row again, none.
TEST_F(TxTrigger, WiresWithoutRowsAgainstCompilationAnswers) {
  open("design.tzo");
  auto answers = [&] {
    bool full = false, pinwatch = false;
    m_trigger->check_compilation_type(&full, &pinwatch);
    return std::string(full ? "full" : "") + (pinwatch ? "pinwatch" : "");
  };
  act([&] { EXPECT_TRUE(m_trigger->append_node("p", SDR_STYPE_REGISTER, SDR_MTYPE_PROBEONLY_TAP)); });
  ASSERT_TRUE(m_session->commit_session());
  EXPECT_EQ(answers(), "");
  act([&] { EXPECT_TRUE(m_trigger->delete_node("p")); });
  EXPECT_EQ(answers(), "pinwatch");
  EXPECT_TRUE(m_instance->undo());
  EXPECT_EQ(answers(), "");
  act([&] { EXPECT_TRUE(m_trigger->delete_node("b")); });
  EXPECT_EQ(answers(), "full");
  EXPECT_TRUE(m_instance->undo());
  EXPECT_EQ(answers(), "");
}

TEST_F(TxTrigger, LevelsAndConditionsAreCheckedAndKept) {
  open("design.tzo");
  act([&] {
    // Negative and oversized counts are refused; records outlive a lower count.
    EXPECT_FALSE(m_trigger->set_trigger_level(0));
    EXPECT_FALSE(m_trigger->set_trigger_level(-3));
    EXPECT_FALSE(m_trigger->set_trigger_level(SDR_TX_TRIGGER::MAX_TRIGGER_LEVEL + 1));
    EXPECT_TRUE(m_trigger->set_trigger_level(3));
    EXPECT_TRUE(m_trigger->set_trigger_condition(1, 2, SDR_TCOND_FALLING_EDGE));
    EXPECT_TRUE(m_trigger->set_trigger_level(1));
    EXPECT_EQ(m_trigger->get_trigger_condition(1, 2), static_cast<SDR_DATA_TRIGGER_CONDITION>(9));
    EXPECT_TRUE(m_trigger->set_trigger_level(3));
    EXPECT_EQ(m_trigger->get_trigger_condition(1, 2), SDR_TCOND_FALLING_EDGE);
    // A negative level and a group row take no condition.
    EXPECT_FALSE(m_trigger->set_trigger_condition(0, -1, SDR_TCOND_LOW));
    EXPECT_EQ(m_trigger->get_trigger_condition(0, -1), SDR_TCOND_DONT_CARE);
    EXPECT_TRUE(m_trigger->group_node(0, 1, nullptr));
    EXPECT_FALSE(m_trigger->set_trigger_condition(0, 0, SDR_TCOND_LOW));
    EXPECT_EQ(m_trigger->get_trigger_condition(0, 0), SDR_TCOND_DONT_CARE);
    EXPECT_EQ(m_trigger->copy_before_node(1, 1, 0, false), -1);
    // Rows appended to a loaded file take conditions too.
    EXPECT_TRUE(m_trigger->append_node("c", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP));
    EXPECT_TRUE(m_trigger->append_node("d", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP));
    EXPECT_TRUE(m_trigger->set_trigger_condition(4, 0, SDR_TCOND_EITHER_EDGE));
    // Group names stay unique on the setup tab.
    EXPECT_TRUE(m_trigger->group_node(3, 4, nullptr));
    EXPECT_STREQ(m_trigger->get_node_name(3), "Group (1)");
    EXPECT_TRUE(m_trigger->ungroup_node(3));
    EXPECT_TRUE(m_trigger->set_segment_size(1000));
  });
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
  save();
  EXPECT_EQ(m_trigger->get_segment_size(), 1000);
  EXPECT_EQ(committed()->get_segment_size(), 512);
  EXPECT_EQ(committed()->get_event_levels(), 3);
  EXPECT_EQ(committed()->get_condition(2, 1), SDR_TCOND_FALLING_EDGE);
  const SDR_DATA_SIGNAL_WIRE* d = committed()->get_signal_set()->get_wire("d");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(committed()->get_condition(0, d->get_trigger_wire_index()), SDR_TCOND_EITHER_EDGE);
}

// Every appended row takes a condition, in a new instance too.
TEST_F(TxTrigger, AppendedRowsOfANewInstanceTakeConditions) {
  open("design.tzo");
  m_trigger = m_session->get_trigger_at(1);
  m_instance = m_session->get_instance_at(1);
  act([&] {
    EXPECT_TRUE(m_trigger->append_node("x", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP));
    EXPECT_TRUE(m_trigger->append_node("y", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP));
    EXPECT_FALSE(m_trigger->append_node("y", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP));
    EXPECT_TRUE(m_trigger->set_trigger_condition(0, 0, SDR_TCOND_HIGH));
    EXPECT_TRUE(m_trigger->set_trigger_condition(1, 0, SDR_TCOND_LOW));
  });
  EXPECT_EQ(m_session->get_signal_set_at(1)->get_node_count(), 2);
  save();
  ASSERT_NE(committed(), nullptr);
  EXPECT_STREQ(committed()->get_condition_text(0), "'x' == high && 'y' == low");
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

TEST_F(TxTrigger, NamesAndAliasesStayUniqueThroughUndo) {
  open("design.tzo");
  SDR_TX_SIGNAL_SET* data = m_session->get_signal_set_at(0);
  act([&] { EXPECT_TRUE(m_trigger->set_node_name(0, "a2")); });
  EXPECT_STREQ(data->get_node_name(0), "a2");
  EXPECT_TRUE(m_instance->undo());
  act([&] {
    EXPECT_FALSE(m_trigger->append_node("a", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP));
    EXPECT_TRUE(m_trigger->append_node("a2", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP));
  });
  // An alias for an alias-less row reaches that node's rows only.
  act([&] { EXPECT_TRUE(m_trigger->set_node_alias(0, "alpha")); });
  EXPECT_STREQ(data->get_node_alias(0), "alpha");
  EXPECT_STREQ(data->get_node_alias(1), "");
  act([&] {
    EXPECT_FALSE(m_trigger->set_node_name(1, "alpha"));
    EXPECT_FALSE(m_trigger->set_node_alias(1, "a2"));
  });
  EXPECT_TRUE(m_instance->undo());
  EXPECT_TRUE(m_instance->undo());
  act([&] { EXPECT_TRUE(m_trigger->set_node_alias(1, "alpha")); });
  // Deleting a row lets its name go on both tabs.
  act([&] { EXPECT_TRUE(m_trigger->delete_node("b")); });
  EXPECT_EQ(data->find_wire_node("b"), -1);
  act([&] { EXPECT_TRUE(m_trigger->append_node("alpha2", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP)); });
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
  while (m_instance->undo()) {
  }
  EXPECT_EQ(save(), m_original);
}

// Undo and redo of an action of many appended rows mark the set of names
// stale instead of making it again per row: the names read after them are
// the rows' names all the same, and a group still gets a free name.
TEST_F(TxTrigger, NamesFollowUndoAndRedoOfManyAppends) {
  open("design.tzo");
  const int rows = m_trigger->get_node_count();
  act([&] {
    for (const char* name : {"p0", "p1", "p2", "p3"})
      EXPECT_TRUE(m_trigger->append_node(name, SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP));
  });
  EXPECT_TRUE(m_instance->undo());
  EXPECT_EQ(m_trigger->get_node_count(), rows);
  act([&] { EXPECT_TRUE(m_trigger->append_node("p1", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP)); });
  EXPECT_TRUE(m_instance->undo());
  EXPECT_TRUE(m_instance->redo());
  EXPECT_EQ(m_trigger->get_node_count(), rows + 1);
  act([&] {
    EXPECT_FALSE(m_trigger->append_node("p1", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP));
    EXPECT_TRUE(m_trigger->append_node("qa", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP));
    EXPECT_TRUE(m_trigger->append_node("qb", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP));
  });
  EXPECT_TRUE(m_instance->undo());
  EXPECT_TRUE(m_instance->redo());
  // The group row is not among the names it is checked against.
  act([&] { EXPECT_TRUE(m_trigger->group_node(rows + 1, rows + 2, nullptr)); });
  EXPECT_STREQ(m_trigger->get_node_name(rows + 1), "Group");
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

// Deleting a linked group on the setup tab ungroups its counterpart on the
// data tab and deletes the members there; undo puts both tabs back.
TEST_F(TxTrigger, DeletingALinkedGroupReachesTheDataTab) {
  open("design.tzo");
  SDR_TX_SIGNAL_SET* data = m_session->get_signal_set_at(0);
  act([&] {
    EXPECT_TRUE(data->group_node(0, 1, nullptr));
    EXPECT_TRUE(data->link_group_node(0, SDR_LTYPE_BASIC));
  });
  ASSERT_EQ(m_trigger->get_node_display_type(0), SDR_DTYPE_COLLAPSE_GROUP_NODE);
  act([&] { EXPECT_EQ(m_trigger->delete_node(0, 2), 2); });
  EXPECT_EQ(m_trigger->get_node_count(), 0);
  EXPECT_EQ(data->get_node_count(), 0);
  act([&] { EXPECT_TRUE(m_trigger->append_node("a", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP)); });
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
  while (m_instance->undo()) {
  }
  EXPECT_EQ(data->get_node_count(), 2);
  EXPECT_EQ(save(), m_original);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

// Bus values and mnemonic symbols become per-bit terms; the tables are the
// session's own.
TEST_F(TxTrigger, BusNodesUseTheSessionsMnemonics) {
  open("design.tzo");
  SDR_DATA_SESSION* session = m_session->get_data_session();
  EXPECT_EQ(session->find_mnemonics(), nullptr);
  TZO_TREE_OBJECT tree;
  TZO_TREE_OBJECT* bus = tree.add_node("bus", "q", "go");
  bus->set_attribute("width", "3");
  bus->set_attribute("table", "states");
  std::string text;
  EXPECT_FALSE(tree.get_equation(&text, session->find_mnemonics(), nullptr, false));
  SDR_DATA_MNEMONICS_TABLE* table = session->get_mnemonics()->create_table("states", 3);
  ASSERT_NE(table, nullptr);
  EXPECT_TRUE(table->add_entry("go", "1RX"));
  EXPECT_TRUE(tree.get_equation(&text, session->find_mnemonics(), nullptr, false));
  EXPECT_EQ(text, "q[0] == 1 && rising(q[1])");
  // Through the trigger only its input names are accepted.
  EXPECT_FALSE(tree.get_equation(&text, session->find_mnemonics(), m_trigger, false));
}

// Group rows and aliases name no wire: the committed signal set still fits
// the rows.
TEST_F(TxTrigger, GroupsAndAliasesKeepTheSignalSetCompatible) {
  open("design.tzo");
  SDR_DATA_SIGNAL_SET* set = m_session->get_signal_set_at(0)->get_data_signal_set();
  act([&] {
    EXPECT_TRUE(m_trigger->group_node(0, 1, nullptr));
    EXPECT_TRUE(m_trigger->set_node_alias(1, "alpha"));
    EXPECT_TRUE(m_trigger->set_node_connection_status(2, false));
  });
  EXPECT_TRUE(m_trigger->is_signal_compatible(set));
  act([&] { EXPECT_TRUE(m_trigger->set_node_tap_mode(2, SDR_MTYPE_ADVANCED_TAP)); });
  EXPECT_FALSE(m_trigger->is_signal_compatible(set));
  EXPECT_TRUE(m_instance->undo());
  save();
  EXPECT_EQ(m_session->get_signal_set_at(0)->get_data_signal_set(), set);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

// A trigger-only node leaves the data tab at the next commit.
TEST_F(TxTrigger, CaptureTypeChangesReachTheDataTab) {
  open("design.tzo");
  act([&] { EXPECT_TRUE(m_trigger->set_node_capture_type(1, SDR_CTYPE_TRIGGER)); });
  save();
  EXPECT_EQ(m_session->get_signal_set_at(0)->find_wire_node("b"), -1);
  EXPECT_EQ(m_trigger->find_wire_node("b"), 1);
  const std::string edited = save();
  EXPECT_NE(edited.find("<trigger_input_vec>\n          <wire connection_status=\"true\" name=\"a\""),
            std::string::npos);
  // Undone, the node comes back to the data tab at the next commit.
  EXPECT_TRUE(m_instance->undo());
  save();
  EXPECT_EQ(m_session->get_signal_set_at(0)->find_wire_node("b"), 1);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

// The tree's expression language, and a tree rebuilt from a compiled one.
TEST(TzoTreeObject, EquationsAndFactoryTrees) {
  TZO_TREE_OBJECT root;
  std::string text;
  EXPECT_FALSE(root.get_equation(&text, nullptr, nullptr, false));
  TZO_TREE_OBJECT* either = root.add_node("or");
  either->add_node("compare", "odd name", "1");
  either->add_node("xor")->add_node("const", nullptr, "1");
  either->add_node("either", "q[2]");
  EXPECT_TRUE(root.get_equation(&text, nullptr, nullptr, false));
  EXPECT_EQ(text, "'odd name' == 1 || 1 || either(q[2])");
  root.add_node("bus", "d", "5")->set_attribute("width", "3");
  EXPECT_TRUE(root.get_equation(&text, nullptr, nullptr, false));
  EXPECT_EQ(text, "('odd name' == 1 || 1 || either(q[2])) && (d[0] == 1 && d[1] == 0 && d[2] == 1)");
  root.add_node("bogus");
  EXPECT_FALSE(root.get_equation(&text, nullptr, nullptr, false));

  ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP map;
  map.insert_table_entry("a", 0);
  map.insert_table_entry("b", 1);
  map.set_num_trigger_nodes(2);
  ATG_ADVANCED_TRIGGER_FACTORY factory;
  factory.set_name_map(&map);
  ASSERT_TRUE(ATG_ADVANCED_TRIGGER_UTILITY::create_expression_tree("a && b && !(a || falling(b)) && b == 0",
                                                                   &factory, false));
  TZO_TREE_OBJECT rebuilt;
  rebuilt.build_from_factory(&factory);
  EXPECT_TRUE(rebuilt.get_equation(&text, nullptr, nullptr, false));
  EXPECT_EQ(text, "a && b && !(a || falling(b)) && b == 0");
  // A long chain of negations neither overflows nor recurses.
  std::string deep(20000, '!');
  ASSERT_TRUE(ATG_ADVANCED_TRIGGER_UTILITY::create_expression_tree((deep + "a").c_str(), &factory, false));
  TZO_TREE_OBJECT chain;
  chain.build_from_factory(&factory);
  EXPECT_TRUE(chain.get_equation(&text, nullptr, nullptr, false));
  EXPECT_EQ(text, deep + "a");
}

}  // namespace
