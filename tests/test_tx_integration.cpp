// The editing layer as a whole: both tabs, the trigger and the signal-set
// settings of two instances driven through the transaction session on one
// document, saved along the way, then undone and redone to the end.

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "msg_service.h"
#include "sdr_data_manager.h"
#include "sdr_data_trigger.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_session.h"
#include "sdr_tx_signal_nodes.h"
#include "sdr_tx_signal_set.h"
#include "sdr_tx_trigger.h"
#include "test_util.h"
#include "tzo_tree_object.h"

using sdr_test::read_bytes;
using sdr_test::TEMP_DIR;
using sdr_test::write_bytes;

namespace {

class TxIntegration : public ::testing::Test {
 protected:
  void SetUp() override {
    m_original = read_bytes(sdr_test::data_path("tx/two_instances.tzo"));
    m_path = m_dir / "two_instances.tzo";
    write_bytes(m_path, m_original);
    reopen();
  }
  void TearDown() override {
    m_session.reset();
    delete SDR_DATA_MANAGER::get_data_repository_manager();
  }
  void reopen() {
    m_session.reset();
    m_session.reset(new SDR_TX_SESSION(new TZO_TREE_OBJECT()));
    ASSERT_TRUE(m_session->open_session(m_path.c_str()));
  }
  std::string save() {
    EXPECT_TRUE(m_session->save_session(nullptr));
    EXPECT_FALSE(m_session->is_modified());
    return read_bytes(m_path);
  }
  template <class EDIT>
  void act(int instance, EDIT edit) {
    m_session->get_instance_at(instance)->begin_action();
    edit(m_session->get_signal_set_at(instance), m_session->get_trigger_at(instance));
    m_session->get_instance_at(instance)->end_action();
  }
  // Undoes (or redoes) every action of both instances, newest first.
  void undo_all(const std::vector<int>& order) {
    for (auto it = order.rbegin(); it != order.rend(); ++it)
      EXPECT_TRUE(m_session->get_instance_at(*it)->undo());
    EXPECT_FALSE(m_session->get_instance_at(0)->undo());
    EXPECT_FALSE(m_session->get_instance_at(1)->undo());
  }
  void redo_all(const std::vector<int>& order) {
    for (int instance : order) EXPECT_TRUE(m_session->get_instance_at(instance)->redo());
  }

  TEMP_DIR m_dir;
  std::string m_path;
  std::string m_original;
  std::unique_ptr<SDR_TX_SESSION> m_session;
};

// Generated names end in the time they were made and a serial number.
std::string without_generated(const std::string& text) {
  static const std::regex stamp(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d  #\d+)");
  return std::regex_replace(text, stamp, "TIME");
}

// Rows of instance 0 on both tabs: a, the bus q[3..0] and its four members,
// d[0], d[1], b.
enum { ROW_A = 0, ROW_Q = 1, ROW_D0 = 6, ROW_D1 = 7, ROW_B = 8 };

// Edits of the node lists, the settings and the links, none of which needs
// a new data trigger: undo of everything gives back the stored bytes, also
// with saves in between, and redo gives back the edited bytes.
TEST_F(TxIntegration, NodesSettingsAndLinksUndoToTheStoredBytes) {
  std::vector<int> order;
  auto edit = [&](int instance, auto body) {
    act(instance, body);
    order.push_back(instance);
  };
  edit(0,
       [](SDR_TX_SIGNAL_SET* data, SDR_TX_TRIGGER*) { EXPECT_TRUE(data->set_node_alias(ROW_D0, "d_zero")); });
  edit(0, [](SDR_TX_SIGNAL_SET*, SDR_TX_TRIGGER* setup) { EXPECT_TRUE(setup->set_node_alias(ROW_A, "go")); });
  edit(0, [](SDR_TX_SIGNAL_SET*, SDR_TX_TRIGGER* setup) {
    EXPECT_TRUE(setup->set_group_node_name(ROW_Q, "cnt"));
  });
  const std::string first = save();
  // The kept trigger names a wire by its alias: the new alias is in its
  // text, so the condition on a comes back.
  EXPECT_NE(first.find("<level>'go' == high &amp;&amp; 'b' == low"), std::string::npos);
  // Data tab: a, cnt (4), d[0], d[1], b.
  edit(0, [](SDR_TX_SIGNAL_SET* data, SDR_TX_TRIGGER*) {
    EXPECT_TRUE(data->group_node(ROW_D0, ROW_D1, nullptr));
  });
  // a, cnt (4), d group (2), b.
  edit(0, [](SDR_TX_SIGNAL_SET* data, SDR_TX_TRIGGER*) {
    EXPECT_GE(data->move_before_node(ROW_A, ROW_A, 10, false), 0);
  });
  // cnt (4), d group (2), b, a.
  edit(0, [](SDR_TX_SIGNAL_SET* data, SDR_TX_TRIGGER*) {
    EXPECT_GE(data->copy_before_node(0, 4, 10, false), 0);
  });
  // cnt (4), d group (2), b, a, copy of cnt (4).
  edit(0, [](SDR_TX_SIGNAL_SET*, SDR_TX_TRIGGER* setup) { EXPECT_TRUE(setup->ungroup_node(ROW_Q)); });
  edit(0, [](SDR_TX_SIGNAL_SET* data, SDR_TX_TRIGGER*) {
    const int copy = data->get_node_count() - 5;
    EXPECT_EQ(data->delete_node(copy, copy + 4), 5);
  });
  edit(0, [](SDR_TX_SIGNAL_SET* data, SDR_TX_TRIGGER* setup) {
    EXPECT_TRUE(data->set_sample_depth(1024));
    EXPECT_TRUE(data->set_clock_source("clk_b"));
    EXPECT_TRUE(setup->set_trigger_position(SDR_TPOS_CENTER));
    EXPECT_TRUE(setup->set_trigger_in_condition(SDR_TCOND_HIGH));
  });
  edit(0, [](SDR_TX_SIGNAL_SET* data, SDR_TX_TRIGGER*) {
    EXPECT_TRUE(data->set_trigger_out_enabled(true));
    EXPECT_TRUE(data->set_trigger_out_node("ela_1|trigger_in"));
  });
  EXPECT_STREQ(m_session->get_signal_set_at(1)->get_trigger_in_source(), "ela_0|trigger_out");
  save();
  edit(1, [](SDR_TX_SIGNAL_SET* data, SDR_TX_TRIGGER*) { EXPECT_TRUE(data->set_node_alias(0, "ex")); });
  const std::string edited = save();
  EXPECT_NE(edited, m_original);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);

  undo_all(order);
  EXPECT_TRUE(m_session->is_modified());
  EXPECT_EQ(save(), m_original);
  redo_all(order);
  EXPECT_EQ(without_generated(save()), without_generated(edited));
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
  reopen();
  const int a = m_session->get_trigger_at(0)->find_wire_node("a");
  EXPECT_EQ(m_session->get_trigger_at(0)->get_trigger_condition(a, 0), SDR_TCOND_HIGH);
  EXPECT_EQ(MSG_REPORT::get_default_report()->get_num_posted(), 0);
}

// Renaming a wire of a signal set that holds a capture needs a new signal
// set and trigger beside the old ones (the capture must stay readable), and
// they get generated names. Undoing the rename after that save cannot bring
// the old set back by the commit rules, so the strongest true property is
// tested: the file written after undo-all loads into the working copy the
// original file loads into, and the capture is still there.
TEST_F(TxIntegration, RenameBesideACaptureUndoesToTheSameWorkingCopy) {
  auto working_copy = [this](int instance) {
    std::string text;
    for (int tab = 0; tab < 2; ++tab) {
      SDR_TX_SIGNAL_NODES* nodes =
          tab ? static_cast<SDR_TX_SIGNAL_NODES*>(m_session->get_trigger_at(instance))
              : m_session->get_signal_set_at(instance);
      for (int i = 0; i < nodes->get_node_count(); ++i)
        text += std::string(nodes->get_node_name(i)) + "/" + nodes->get_node_alias(i) + " ";
      text += "| ";
    }
    SDR_TX_TRIGGER* trigger = m_session->get_trigger_at(instance);
    for (int level = 0; level < trigger->get_trigger_level(); ++level) {
      text += trigger->is_trigger_level_enabled(level) ? " on:" : " off:";
      for (int i = 0; i < trigger->get_node_count(); ++i)
        text += std::to_string(trigger->get_trigger_condition(i, level));
    }
    return text;
  };
  auto rows = [&]() { return working_copy(0) + " # " + working_copy(1); };
  const std::string loaded = rows();
  act(0, [](SDR_TX_SIGNAL_SET* data, SDR_TX_TRIGGER*) { EXPECT_TRUE(data->set_node_name(ROW_B, "b_n")); });
  act(0, [](SDR_TX_SIGNAL_SET*, SDR_TX_TRIGGER* setup) {
    EXPECT_TRUE(setup->set_trigger_condition(ROW_B, 2, SDR_TCOND_FALLING_EDGE));
  });
  // Instance 1's trigger holds no capture: it is replaced.
  act(1, [](SDR_TX_SIGNAL_SET*, SDR_TX_TRIGGER* setup) {
    EXPECT_TRUE(setup->set_trigger_level(3));
    EXPECT_TRUE(setup->set_trigger_condition(1, 2, SDR_TCOND_LOW));
    EXPECT_TRUE(setup->set_trigger_level_enabled(0, false));
  });
  const std::string edited = save();
  EXPECT_NE(edited.find("name=\"b_n\""), std::string::npos);
  EXPECT_EQ(edited.find("name=\"t1\""), std::string::npos);
  EXPECT_TRUE(m_session->get_instance_at(0)->undo());
  EXPECT_TRUE(m_session->get_instance_at(0)->undo());
  EXPECT_TRUE(m_session->get_instance_at(1)->undo());
  EXPECT_EQ(rows(), loaded);
  const std::string undone = save();
  EXPECT_EQ(undone.find("b_n"), std::string::npos);
  EXPECT_NE(undone.find("<data name=\"run1\""), std::string::npos);
  reopen();
  EXPECT_EQ(rows(), loaded);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

// A group named like a net is no other row of that net: the net's only row
// on the data tab stays.
TEST_F(TxIntegration, GroupNamedLikeANetDoesNotLetItsOnlyRowGo) {
  act(0, [](SDR_TX_SIGNAL_SET* data, SDR_TX_TRIGGER*) {
    EXPECT_TRUE(data->group_node(ROW_D0, ROW_D1, nullptr));
    EXPECT_TRUE(data->set_group_node_name(ROW_D0, "b"));
  });
  SDR_TX_SIGNAL_SET* data = m_session->get_signal_set_at(0);
  const int b = data->find_wire_node("b");
  ASSERT_EQ(b, ROW_B + 1);
  EXPECT_FALSE(data->is_node_deletable(b));
  act(0, [&](SDR_TX_SIGNAL_SET*, SDR_TX_TRIGGER*) { EXPECT_EQ(data->delete_node(b, b), 0); });
  EXPECT_EQ(data->find_wire_node("b"), b);
  // A copy of the net may go, the group too.
  act(0, [&](SDR_TX_SIGNAL_SET*, SDR_TX_TRIGGER*) { EXPECT_GE(data->copy_before_node(b, b, 0, false), 0); });
  EXPECT_TRUE(data->is_node_deletable(0));
  act(0, [&](SDR_TX_SIGNAL_SET*, SDR_TX_TRIGGER*) { EXPECT_EQ(data->delete_node(0, 0), 1); });
  act(0, [&](SDR_TX_SIGNAL_SET*, SDR_TX_TRIGGER*) { EXPECT_EQ(data->delete_node(ROW_D0, ROW_D0), 1); });
  EXPECT_EQ(data->find_group_node("b"), -1);
  EXPECT_EQ(data->find_wire_node("b"), ROW_B);
  // Nor is the setup tab's group row a node the data tab may show.
  act(0, [&](SDR_TX_SIGNAL_SET*, SDR_TX_TRIGGER*) {
    EXPECT_FALSE(data->append_node("q[3..0]", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP));
    EXPECT_TRUE(data->append_node("b", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP));
  });
}

}  // namespace

// A long chain of negations is written with the negations counted, in time
// linear in the chain; their run ends at the operand it negates.
TEST(TzoTreeObjectChains, LongNegationChain) {
  TZO_TREE_OBJECT root;
  TZO_TREE_OBJECT* node = &root;
  const int depth = 200000;
  for (int i = 0; i < depth; ++i) node = node->add_node("not");
  TZO_TREE_OBJECT* both = node->add_node("and");
  both->add_node("signal", "a");
  both->add_node("signal", "b");
  std::string text;
  ASSERT_TRUE(root.get_equation(&text, nullptr, nullptr, false));
  EXPECT_EQ(text, std::string(depth, '!') + "(a && b)");
  TZO_TREE_OBJECT pair;
  TZO_TREE_OBJECT* either = pair.add_node("or");
  either->add_node("not")->add_node("not")->add_node("signal", "a");
  either->add_node("signal", "b");
  ASSERT_TRUE(pair.get_equation(&text, nullptr, nullptr, false));
  EXPECT_EQ(text, "!!a || b");
}
