// Change status answers, instance operations, session logs and active
// branches. How advanced-condition trees go to and from the document is
// TxTrigger.AdvancedLevelThroughTheTreeObject's.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "msg_service.h"
#include "sdr_data_log.h"
#include "sdr_data_manager.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_session.h"
#include "sdr_tx_signal_set.h"
#include "sdr_tx_tree_object.h"
#include "sdr_tx_trigger.h"
#include "test_util.h"

using sdr_test::read_bytes;
using sdr_test::TEMP_DIR;
using sdr_test::write_bytes;

namespace {

TEST(TxChangeStatus, Answers) {
  SDR_TX_CHANGE_STATUS status;
  for (int i = 0; i < SDR_TX_CHANGE_STATUS::FLAG_COUNT; ++i) EXPECT_FALSE(status.get_flag(i));
  status.m_node_changed_pinwatch = true;
  EXPECT_TRUE(status.is_pinwatch_compilation());
  EXPECT_FALSE(status.is_full_compilation());
  EXPECT_TRUE(status.is_signal_set_changed());
  status.m_trigger_level_changed = true;  // a full-compilation flag wins
  EXPECT_TRUE(status.is_full_compilation());
  EXPECT_FALSE(status.is_pinwatch_compilation());
  EXPECT_TRUE(status.is_trigger_changed());
  status.reset_all();
  status.m_adv_trigger_changed = true;
  status.m_presentation_changed = true;
  EXPECT_TRUE(status.is_modified());
  EXPECT_FALSE(status.is_full_compilation() || status.is_pinwatch_compilation());
  EXPECT_FALSE(status.is_signal_set_changed() || status.is_trigger_changed());
  SDR_TX_CHANGE_STATUS copy = status;
  EXPECT_EQ(copy, status);
}

// A tree object that keeps (type, value) pairs and children: the front
// end's tree of the sessions below.
class TREE : public SDR_TX_TREE_OBJECT {
 public:
  SDR_TX_TREE_OBJECT* get_child(int index) override { return m_children[static_cast<size_t>(index)].get(); }
  int get_num_children() override { return static_cast<int>(m_children.size()); }
  SDR_TX_TREE_OBJECT* add_child() override {
    m_children.emplace_back(new TREE());
    return m_children.back().get();
  }
  bool remove_child(SDR_TX_TREE_OBJECT* child) override {
    for (auto it = m_children.begin(); it != m_children.end(); ++it)
      if (it->get() == child) {
        m_children.erase(it);
        return true;
      }
    return false;
  }
  bool get_equation(std::string* out, SDR_DATA_MNEMONICS*, SDR_TX_TRIGGER*, bool) override {
    *out = "";
    return false;
  }
  void report_attributes() override {
    for (const auto& a : m_attributes) add_attribute(a.first.c_str(), a.second.c_str());
  }
  void build_from_factory(ATG_ADVANCED_TRIGGER_FACTORY*) override {}
  void set_attribute(const char* type, const char* value) override { m_attributes.emplace_back(type, value); }

  std::vector<std::pair<std::string, std::string>> m_attributes;
  std::vector<std::unique_ptr<SDR_TX_TREE_OBJECT>> m_children;
};

class TxInstance : public ::testing::Test {
 protected:
  void SetUp() override {
    m_path = m_dir / "design.tzo";
    write_bytes(m_path, read_bytes(sdr_test::data_path("tx/design.tzo")));
    m_session.reset(new SDR_TX_SESSION(new TREE()));
    ASSERT_TRUE(m_session->open_session(m_path.c_str()));
  }
  void TearDown() override {
    m_session.reset();
    delete SDR_DATA_MANAGER::get_data_repository_manager();
  }
  TEMP_DIR m_dir;
  std::string m_path;
  std::unique_ptr<SDR_TX_SESSION> m_session;
};

// A list of values set again unchanged is no edit.
TEST_F(TxInstance, PositionDataListsAndUndoDepth) {
  SDR_TX_INSTANCE* instance = m_session->get_instance_at(0);
  EXPECT_EQ(instance->get_max_undo_steps(), 128);
  const int values[] = {1, 2, 3};
  EXPECT_TRUE(instance->set_position_data("pos", values, 3));
  EXPECT_FALSE(instance->set_position_data("pos", values, 3));
  int out[3] = {};
  EXPECT_EQ(instance->get_position_data("pos", out), 3);
  EXPECT_EQ(out[2], 3);
  EXPECT_TRUE(m_session->is_modified());
}

// Changing the active branch rebuilds the working copies from the data
// model and clears the history.
TEST_F(TxInstance, LogsAndActiveBranches) {
  SDR_TX_INSTANCE* instance = m_session->get_instance_at(0);
  instance->begin_action();
  m_session->get_trigger_at(0)->set_trigger_position(SDR_TPOS_CENTER);
  instance->end_action();
  SDR_DATA_LOG* log = m_session->create_new_log(0);
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(m_session->get_log_at(0), nullptr);  // GUI logging keeps the active log
  const std::string log_name = log->get_name();
  EXPECT_TRUE(m_session->set_active_log(0, log));
  EXPECT_EQ(m_session->get_log_at(0), log);
  ASSERT_TRUE(m_session->set_active(0, "setup", "trig", log_name.c_str()));
  EXPECT_EQ(m_session->get_log_at(0), log);
  EXPECT_FALSE(instance->is_setup_tab_selected());
  EXPECT_FALSE(instance->is_undo_available());
  EXPECT_EQ(m_session->get_trigger_at(0)->get_trigger_position(), SDR_TPOS_CENTER);  // committed
  EXPECT_TRUE(m_session->remove(0, "setup", "trig", log_name.c_str()));
  EXPECT_EQ(m_session->get_log_at(0), nullptr);
  ASSERT_TRUE(m_session->save_session(nullptr));
  const std::string saved = read_bytes(m_path);
  EXPECT_EQ(saved.find("<data "), std::string::npos);
  EXPECT_NE(saved.find("position=\"center\""), std::string::npos);
  // Without a trigger the setup tab comes from the signal set.
  ASSERT_TRUE(m_session->set_active(0, "setup", nullptr, nullptr));
  EXPECT_EQ(m_session->get_trigger_at(0)->get_data_trigger(), nullptr);
  EXPECT_TRUE(m_session->remove(0, "setup", nullptr, nullptr));
  EXPECT_EQ(m_session->get_signal_set_at(0)->get_data_signal_set(), nullptr);
  EXPECT_TRUE(m_session->remove(0, nullptr, nullptr, nullptr));
  EXPECT_EQ(m_session->get_num_instances(), 1);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

}  // namespace
