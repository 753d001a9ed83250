// Transaction session: whole documents edited, saved, undone and redone.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "msg_service.h"
#include "sdr_data_instance.h"
#include "sdr_data_manager.h"
#include "sdr_data_session.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_session.h"
#include "sdr_tx_signal_set.h"
#include "sdr_tx_trigger.h"
#include "test_util.h"

using sdr_test::read_bytes;
using sdr_test::TEMP_DIR;
using sdr_test::write_bytes;

namespace {

class TxSession : public ::testing::Test {
 protected:
  void SetUp() override {
    m_original = read_bytes(sdr_test::data_path("tx/design.tzo"));
    m_path = m_dir / "design.tzo";
    write_bytes(m_path, m_original);
  }
  void TearDown() override {
    m_session.reset();
    delete SDR_DATA_MANAGER::get_data_repository_manager();
  }
  SDR_TX_SESSION* open() {
    m_session.reset(new SDR_TX_SESSION(nullptr));
    EXPECT_TRUE(m_session->open_session(m_path.c_str()));
    return m_session.get();
  }
  // Saves to the session's file and returns its bytes.
  std::string save() {
    EXPECT_TRUE(m_session->save_session(nullptr));
    EXPECT_FALSE(m_session->is_modified());
    return read_bytes(m_path);
  }

  TEMP_DIR m_dir;
  std::string m_path;
  std::string m_original;
  std::unique_ptr<SDR_TX_SESSION> m_session;
};

// Three user actions on instance 0: settings, trigger properties and the
// incremental-compilation mode.
void edit(SDR_TX_SESSION* s) {
  SDR_TX_INSTANCE* instance = s->get_instance_at(0);
  instance->begin_action();
  EXPECT_TRUE(s->get_signal_set_at(0)->set_sample_depth(1024));
  EXPECT_TRUE(s->get_signal_set_at(0)->set_kalvos_ram_type(SDR_RAM_RAMGRAND));
  instance->end_action();
  instance->begin_action();
  EXPECT_TRUE(s->get_trigger_at(0)->set_trigger_position(SDR_TPOS_POST));
  EXPECT_TRUE(s->get_signal_set_at(0)->set_clock_source("clk2"));
  instance->end_action();
  instance->begin_action();
  instance->set_incr_cmp_mode(true);
  instance->end_action();
}

// The original with the edits above, as the file layout writes them.
std::string edited_form(std::string text) {
  auto replace = [&text](const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
  };
  replace("compilation_mode=\"full\"", "compilation_mode=\"incremental\"");
  replace("<clock name=\"clk\"", "<clock name=\"clk2\"");
  replace("ram_type=\"AUTO\" sample_depth=\"512\"", "ram_type=\"RAMGRAND\" sample_depth=\"1024\"");
  replace("name=\"trig\" position=\"pre\"", "name=\"trig\" position=\"post\"");
  return text;
}

// Undo of actions made before a save must still reach the file: undoing
// everything gives the original bytes back, redoing the edited ones.
TEST_F(TxSession, SavesBetweenUndoAndRedo) {
  SDR_TX_SESSION* s = open();
  SDR_TX_INSTANCE* instance = s->get_instance_at(0);
  edit(s);
  const std::string edited = save();
  EXPECT_EQ(edited, edited_form(m_original));
  ASSERT_TRUE(instance->undo());  // incremental mode
  ASSERT_TRUE(instance->undo());  // position and clock
  EXPECT_TRUE(s->is_modified());
  bool is_full = false, is_pinwatch = false;
  s->check_instance_compilation_type_at(0, &is_full, &is_pinwatch);
  EXPECT_TRUE(is_full);
  const std::string middle = save();
  EXPECT_NE(middle, edited);
  EXPECT_NE(middle, m_original);
  ASSERT_TRUE(instance->undo());
  EXPECT_FALSE(instance->undo());
  EXPECT_EQ(save(), m_original);
  ASSERT_TRUE(instance->redo());
  EXPECT_TRUE(s->is_modified());
  EXPECT_EQ(save(), middle);
  ASSERT_TRUE(instance->redo());
  ASSERT_TRUE(instance->redo());
  EXPECT_EQ(save(), edited);
  // Away from the saved position and back: clean again.
  ASSERT_TRUE(instance->undo());
  ASSERT_TRUE(instance->redo());
  EXPECT_FALSE(s->is_modified());
  EXPECT_EQ(save(), edited);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

TEST_F(TxSession, UndoOfTheModeRestoresTheStartFlags) {
  SDR_TX_SESSION* s = open();
  SDR_TX_INSTANCE* instance = s->get_instance_at(0);
  instance->begin_action();
  instance->set_incr_cmp_mode(false);  // already off: nothing
  instance->end_action();
  EXPECT_FALSE(instance->is_undo_available());
  instance->begin_action();
  instance->set_incr_cmp_mode(true);
  instance->end_action();
  EXPECT_TRUE(instance->is_full_compilation());
  EXPECT_TRUE(instance->undo());
  EXPECT_FALSE(instance->is_incr_cmp_mode());
  EXPECT_FALSE(instance->is_modified());
  EXPECT_FALSE(s->is_modified());
}

// Edits that change the stored form mark the session modified.
TEST_F(TxSession, StoredEditsMarkTheSessionModified) {
  SDR_TX_SESSION* s = open();
  EXPECT_FALSE(s->get_instance_at(0)->rename("ela_0"));
  EXPECT_FALSE(s->is_modified());
  EXPECT_TRUE(s->get_instance_at(0)->rename("core"));
  EXPECT_TRUE(s->is_modified());
  save();
  EXPECT_FALSE(s->get_instance_at(1)->rename("core"));  // taken
  EXPECT_FALSE(s->set_global_data("zoom", 3));
  EXPECT_FALSE(s->is_modified());
  EXPECT_TRUE(s->set_global_data("zoom", 4));
  EXPECT_TRUE(s->is_modified());
  save();
  EXPECT_FALSE(s->get_instance_at(0)->set_position_data("x", 10));
  EXPECT_TRUE(s->get_instance_at(0)->set_position_data("x", 11));
  EXPECT_TRUE(s->is_modified());
  save();
  s->set_jtag_chain_name("chain_1");
  EXPECT_FALSE(s->is_modified());
  s->set_jtag_chain_name("chain_2");
  EXPECT_TRUE(s->is_modified());
  const std::string saved = save();
  EXPECT_NE(saved.find("name=\"core\""), std::string::npos);
  EXPECT_NE(saved.find("attribute=\"zoom\" value=\"4\""), std::string::npos);
  EXPECT_NE(saved.find("attribute=\"x\" value=\"11\""), std::string::npos);
  EXPECT_NE(saved.find("jtag_chain=\"chain_2\""), std::string::npos);
  s->set_jtag_device_name(nullptr);  // stored as an empty text
  EXPECT_TRUE(s->is_modified());
  save();
  s->set_jtag_device_name(nullptr);
  s->set_jtag_device_name("");
  EXPECT_FALSE(s->is_modified());
}

TEST_F(TxSession, FailedSaveReturnsFalseAndStaysModified) {
  SDR_TX_SESSION* s = open();
  edit(s);
  const std::string bad = m_dir / "no_such_dir/out.tzo";
  EXPECT_FALSE(s->save_session(bad.c_str()));
  EXPECT_TRUE(s->is_modified());
  EXPECT_EQ(read_bytes(m_path), m_original);
  EXPECT_EQ(save(), edited_form(m_original));
}

TEST_F(TxSession, UnloadableFileIsRefusedAndLeftAlone) {
  write_bytes(m_path, "<session><instance");
  SDR_TX_SESSION s(nullptr);
  EXPECT_FALSE(s.open_session(m_path.c_str()));
  EXPECT_FALSE(s.is_session_opened());
  EXPECT_FALSE(s.save_session(nullptr));
  EXPECT_EQ(read_bytes(m_path), "<session><instance");
}

TEST_F(TxSession, MissingFileOpensANewSession) {
  SDR_TX_SESSION s(nullptr);
  const std::string path = m_dir / "new.tzo";
  ASSERT_TRUE(s.open_session(path.c_str()));
  EXPECT_EQ(s.get_num_instances(), 1);
  EXPECT_TRUE(s.is_modified());
  // Saved under the name it was opened with.
  EXPECT_TRUE(s.save_session(nullptr));
  EXPECT_NE(read_bytes(path).find("<instance "), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(path + "*"));
  EXPECT_TRUE(s.close_session());
}

TEST_F(TxSession, FileWithoutInstancesKeepsItsContents) {
  write_bytes(m_path,
              "<session jtag_chain=\"c\">\n  <global_info>\n    <single attribute=\"k\" value=\"1\"/>\n"
              "  </global_info>\n</session>\n");
  SDR_TX_SESSION* s = open();
  EXPECT_EQ(s->get_num_instances(), 1);
  EXPECT_TRUE(s->is_modified());
  const std::string saved = save();
  EXPECT_NE(saved.find("jtag_chain=\"c\""), std::string::npos);
  EXPECT_NE(saved.find("attribute=\"k\" value=\"1\""), std::string::npos);
  EXPECT_NE(saved.find("<instance "), std::string::npos);
}

TEST_F(TxSession, IndexesOutOfRangeAndSecondClose) {
  SDR_TX_SESSION s(nullptr);
  EXPECT_FALSE(s.close_session());
  ASSERT_TRUE(s.open_session(m_path.c_str()));
  for (int index : {-1, 2}) {
    EXPECT_EQ(s.get_instance_at(index), nullptr);
    EXPECT_EQ(s.get_signal_set_at(index), nullptr);
    EXPECT_EQ(s.get_trigger_at(index), nullptr);
    EXPECT_EQ(s.get_log_at(index), nullptr);
    EXPECT_FALSE(s.remove_trazio_instance(index));
    EXPECT_FALSE(s.set_active(index, "setup", nullptr, nullptr));
    EXPECT_FALSE(s.remove(index, "setup", nullptr, nullptr));
    EXPECT_EQ(s.create_new_log(index), nullptr);
    EXPECT_EQ(s.get_instance_ram_type_at(index), SDR_RAM_NO_INSTANCE);
    EXPECT_EQ(s.get_instance_estimated_lcell_count_at(index), 0u);
  }
  EXPECT_EQ(s.find_instance_index("ela_1"), 1);
  EXPECT_EQ(s.find_instance_index("nobody"), 2);
  EXPECT_EQ(s.find_instance_index(nullptr), -1);
  EXPECT_FALSE(s.remove(0, "nothing", nullptr, nullptr));
  EXPECT_FALSE(s.remove(0, "setup", "nothing", nullptr));
  EXPECT_FALSE(s.remove(0, "setup", "trig", "nothing"));
  EXPECT_FALSE(s.is_modified());
  EXPECT_TRUE(s.close_session());
  EXPECT_FALSE(s.close_session());
}

TEST_F(TxSession, RemovingAnInstanceRenumbersTheOthers) {
  SDR_TX_SESSION* s = open();
  ASSERT_EQ(s->create_trazio_instance("third"), 2);
  ASSERT_TRUE(s->remove_trazio_instance(0));
  ASSERT_EQ(s->get_num_instances(), 2);
  EXPECT_STREQ(s->get_instance_at(0)->get_name(), "ela_1");
  EXPECT_EQ(s->get_instance_at(1)->get_instance_index(), 1);
  EXPECT_EQ(s->get_signal_set_at(1)->get_instance_index(), 1);
  EXPECT_EQ(s->get_trigger_at(1)->get_instance_index(), 1);
  std::vector<const char*> targets;
  s->get_all_available_trigger_out_target_at(0, &targets);
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_STREQ(targets[1], "third|trigger_in");
  const std::string saved = save();
  EXPECT_EQ(saved.find("ela_0"), std::string::npos);
}

TEST_F(TxSession, LinkedTriggerPortsFollowUndo) {
  SDR_TX_SESSION* s = open();
  SDR_TX_INSTANCE* instance = s->get_instance_at(0);
  instance->begin_action();
  EXPECT_TRUE(s->get_signal_set_at(0)->set_trigger_in_enabled(true));
  EXPECT_TRUE(s->get_signal_set_at(0)->set_trigger_in_node("ela_1|trigger_out"));
  instance->end_action();
  EXPECT_TRUE(s->get_signal_set_at(1)->is_trigger_out_enabled());
  EXPECT_STREQ(s->get_signal_set_at(1)->get_trigger_out_source(), "ela_0|trigger_in");
  EXPECT_TRUE(s->get_instance_at(1)->is_modified());
  EXPECT_TRUE(instance->undo());
  EXPECT_EQ(s->get_signal_set_at(0)->get_trigger_in_source(), nullptr);
  EXPECT_FALSE(s->get_signal_set_at(0)->is_trigger_in_enabled());
  EXPECT_FALSE(s->get_signal_set_at(1)->is_trigger_out_enabled());
  EXPECT_EQ(s->get_signal_set_at(1)->get_trigger_out_source(), nullptr);
}

// Worked examples of the estimates.
TEST_F(TxSession, LogicCellAndRamEstimates) {
  SDR_TX_SESSION s(nullptr);
  ASSERT_TRUE(s.create_session((m_dir / "estimate.tzo").c_str()));
  SDR_TX_TRIGGER* trigger = s.get_trigger_at(0);
  SDR_TX_INSTANCE* instance = s.get_instance_at(0);
  instance->begin_action();
  for (int i = 0; i < 8; ++i)
    EXPECT_TRUE(
        trigger->append_node(("d" + std::to_string(i)).c_str(), SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP));
  EXPECT_FALSE(trigger->append_node("d0", SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP));
  instance->end_action();
  EXPECT_EQ(s.get_signal_set_at(0)->get_node_count(), 8);
  EXPECT_EQ(s.get_instance_estimated_lcell_count_at(0), 316u);
  EXPECT_EQ(s.get_instance_ram_bits_usage_at(0), 128u * 8u);
  EXPECT_EQ(s.get_instance_ram_type_at(0), SDR_RAM_RAMBASE);
  // The hub share: 64 each for two instances, 51 for three.
  ASSERT_EQ(s.create_trazio_instance(nullptr), 1);
  EXPECT_EQ(s.get_instance_estimated_lcell_count_at(0), 215u + 64u);
  EXPECT_EQ(s.get_instance_estimated_lcell_count_at(1), 0u);
  ASSERT_EQ(s.create_trazio_instance(nullptr), 2);
  EXPECT_EQ(s.get_instance_estimated_lcell_count_at(0), 215u + 51u);
  // Undo removes the rows from both tabs.
  EXPECT_TRUE(instance->undo());
  EXPECT_EQ(trigger->get_node_count(), 0);
  EXPECT_EQ(s.get_signal_set_at(0)->get_node_count(), 0);
  EXPECT_EQ(s.get_instance_estimated_lcell_count_at(0), 0u);
}

}  // namespace
