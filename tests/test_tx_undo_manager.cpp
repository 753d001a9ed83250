// Undo manager: history, redo branch, limits, replay guard, protocol misuse
// and the change flags around saved positions.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "msg_service.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_undo_manager.h"

namespace {

int g_live_atomics = 0;

// Adds its step to a counter; raises one change flag.
class STEP : public SDR_TX_UNDO_ACTION_ATOMIC {
 public:
  STEP(int* counter, int step, SDR_TX_CHANGE_STATUS* status = nullptr, SDR_TX_UNDO_MANAGER* echo = nullptr)
      : m_counter(counter), m_step(step), m_echo(echo) {
    ++g_live_atomics;
    *m_counter += step;
    if (status) status->m_signal_set_changed = true;
  }
  ~STEP() override { --g_live_atomics; }
  bool undo() override {
    *m_counter -= m_step;
    // An operation run by undo pushes nothing.
    if (m_echo) m_echo->add_atomic_action(new STEP(m_counter, 0));
    return true;
  }
  bool redo() override {
    *m_counter += m_step;
    return true;
  }
  void add_change_kind(SDR_TX_CHANGE_STATUS* flags) const override { flags->m_signal_set_changed = true; }

 private:
  int* m_counter;
  int m_step;
  SDR_TX_UNDO_MANAGER* m_echo;
};

class TxUndo : public ::testing::Test {
 protected:
  TxUndo() : m_instance(0, nullptr, nullptr, nullptr), m_undo(m_instance.get_undo_manager()) {
    MSG_INTERNAL_ERROR::clear_reports();
  }
  ~TxUndo() override { MSG_INTERNAL_ERROR::clear_reports(); }
  // One stored action adding step.
  void act(int step) {
    m_undo->begin_action();
    m_undo->add_atomic_action(new STEP(&m_value, step, m_instance.get_change_status()));
    EXPECT_TRUE(m_undo->end_action());
  }
  std::string last_report() const {
    const int n = MSG_INTERNAL_ERROR::get_num_reports();
    return n ? MSG_INTERNAL_ERROR::get_expression_at(n - 1) : "";
  }
  SDR_TX_CHANGE_STATUS* status() { return m_instance.get_change_status(); }

  SDR_TX_INSTANCE m_instance;
  SDR_TX_UNDO_MANAGER* m_undo;
  int m_value = 0;
};

TEST_F(TxUndo, EmptyActionStoresNothingAndKeepsTheRedoBranch) {
  act(1);
  ASSERT_TRUE(m_undo->undo());
  m_undo->begin_action();
  EXPECT_FALSE(m_undo->end_action());
  EXPECT_TRUE(m_undo->is_redo_available());
  EXPECT_TRUE(m_undo->redo());
  EXPECT_EQ(m_value, 1);
  EXPECT_FALSE(m_undo->redo());
}

TEST_F(TxUndo, NewActionDropsTheRedoBranch) {
  act(1);
  act(10);
  act(100);
  ASSERT_TRUE(m_undo->undo());
  ASSERT_TRUE(m_undo->undo());
  act(1000);
  EXPECT_FALSE(m_undo->is_redo_available());
  EXPECT_EQ(m_value, 1001);
  EXPECT_TRUE(m_undo->undo());
  EXPECT_TRUE(m_undo->undo());
  EXPECT_FALSE(m_undo->undo());
  EXPECT_EQ(m_value, 0);
  EXPECT_EQ(g_live_atomics, 2);
}

TEST_F(TxUndo, HistoryLimits) {
  for (int i = 0; i < 129; ++i) act(1);
  EXPECT_EQ(m_undo->get_num_actions(), 128);
  int undone = 0;
  while (m_undo->undo()) ++undone;
  EXPECT_EQ(undone, 128);
  EXPECT_EQ(m_value, 1);
  m_undo->clear_all_actions();
  EXPECT_FALSE(m_undo->is_undo_available());
  EXPECT_FALSE(m_undo->is_redo_available());

  m_undo->set_max_undo_steps(0);
  act(1);
  EXPECT_EQ(m_undo->get_num_actions(), 0);
  EXPECT_FALSE(m_undo->undo());

  m_undo->set_max_undo_steps(-1);  // no limit
  for (int i = 0; i < 300; ++i) act(1);
  EXPECT_EQ(m_undo->get_num_actions(), 300);

  m_undo->set_max_undo_steps(2);  // shrinks by one per push
  act(1);
  EXPECT_EQ(m_undo->get_num_actions(), 300);
  EXPECT_EQ(g_live_atomics, 300);
}

TEST_F(TxUndo, ReplayPushesNothing) {
  m_undo->begin_action();
  m_undo->add_atomic_action(new STEP(&m_value, 5, status(), m_undo));
  ASSERT_TRUE(m_undo->end_action());
  ASSERT_TRUE(m_undo->undo());
  EXPECT_FALSE(m_undo->is_undo_available());
  EXPECT_TRUE(m_undo->redo());
  EXPECT_EQ(m_undo->get_num_actions(), 1);
  EXPECT_EQ(g_live_atomics, 1);
}

// Misuse reports and neither loses nor leaks anything.
TEST_F(TxUndo, ProtocolMisuse) {
  EXPECT_FALSE(m_undo->end_action());
  EXPECT_EQ(last_report(), "Action has not been started in undo manager");

  m_undo->add_atomic_action(new STEP(&m_value, 1));
  EXPECT_EQ(last_report(), "Action has not been started in undo manager");
  EXPECT_EQ(g_live_atomics, 0);
  m_value = 0;
  m_undo->add_atomic_action(nullptr);
  EXPECT_EQ(last_report(), "atomic_action != NULL");

  m_undo->begin_action();
  m_undo->add_atomic_action(new STEP(&m_value, 1));
  m_undo->begin_action();  // the open action is kept
  EXPECT_EQ(last_report(), "Previous action has not been terminated in undo manager");
  EXPECT_EQ(m_undo->get_num_actions(), 1);
  EXPECT_FALSE(m_undo->undo());
  EXPECT_FALSE(m_undo->redo());
  EXPECT_EQ(last_report(), "Undo manager state error");
  EXPECT_FALSE(m_undo->end_action());
  EXPECT_TRUE(m_undo->undo());
  EXPECT_EQ(m_value, 0);

  // An action left open is freed with the manager.
  m_undo->begin_action();
  m_undo->add_atomic_action(new STEP(&m_value, 1));
}

TEST_F(TxUndo, FlagsAndSetupTabFollowTheAction) {
  m_instance.set_setup_tab_selected(false);
  act(1);
  m_instance.set_setup_tab_selected(true);
  EXPECT_TRUE(status()->is_full_compilation());
  ASSERT_TRUE(m_undo->undo());
  EXPECT_FALSE(m_instance.is_setup_tab_selected());
  EXPECT_FALSE(status()->is_modified());
  m_instance.set_setup_tab_selected(true);
  ASSERT_TRUE(m_undo->redo());
  EXPECT_FALSE(m_instance.is_setup_tab_selected());
  EXPECT_TRUE(status()->m_signal_set_changed);
}

// The flags describe the difference from the committed position.
TEST_F(TxUndo, FlagsAroundTheCommittedPosition) {
  act(1);
  act(2);
  status()->reset_all();  // what a commit does
  m_undo->set_clean();
  ASSERT_TRUE(m_undo->undo());
  EXPECT_TRUE(status()->m_signal_set_changed);
  ASSERT_TRUE(m_undo->redo());
  EXPECT_FALSE(status()->is_modified());
  ASSERT_TRUE(m_undo->undo());
  ASSERT_TRUE(m_undo->undo());
  status()->reset_all();
  m_undo->set_clean();
  ASSERT_TRUE(m_undo->redo());
  EXPECT_TRUE(status()->is_modified());
  ASSERT_TRUE(m_undo->undo());
  EXPECT_FALSE(status()->is_modified());

  // A flag raised outside any action survives a replay.
  status()->m_presentation_changed = true;
  ASSERT_TRUE(m_undo->redo());
  ASSERT_TRUE(m_undo->undo());
  EXPECT_TRUE(status()->m_presentation_changed);
  EXPECT_FALSE(status()->m_signal_set_changed);

  // A new action drops the committed position with the redo branch: the
  // replayed action's own flags are kept.
  status()->reset_all();
  m_undo->set_clean();  // at 0
  act(5);
  ASSERT_TRUE(m_undo->undo());
  status()->reset_all();
  m_undo->set_clean();  // at 0 again
  ASSERT_TRUE(m_undo->redo());
  ASSERT_TRUE(m_undo->undo());
  act(7);  // the position is reachable: still 0
  EXPECT_TRUE(m_undo->is_clean_reachable());
  status()->reset_all();
  m_undo->set_clean();  // at 1
  ASSERT_TRUE(m_undo->undo());
  act(9);  // drops the action after the committed position
  EXPECT_FALSE(m_undo->is_clean_reachable());
  status()->reset_all();
  ASSERT_TRUE(m_undo->undo());
  EXPECT_TRUE(status()->m_signal_set_changed);
}

// A commit in the middle of an open action: the action's changes count as
// its own, so undoing it commits them again.
TEST_F(TxUndo, CommitInsideAnOpenAction) {
  m_undo->begin_action();
  m_undo->add_atomic_action(new STEP(&m_value, 1, status()));
  status()->reset_all();
  m_undo->set_clean();
  EXPECT_TRUE(m_undo->end_action());
  EXPECT_FALSE(status()->is_modified());
  ASSERT_TRUE(m_undo->undo());
  EXPECT_TRUE(status()->m_signal_set_changed);
}

// Raises the flags of bits (bit 0: signal set, bit 1: presentation).
class FLAGS_STEP : public SDR_TX_UNDO_ACTION_ATOMIC {
 public:
  FLAGS_STEP(SDR_TX_CHANGE_STATUS* status, int bits) : m_bits(bits) { add_change_kind(status); }
  bool undo() override { return true; }
  bool redo() override { return true; }
  void add_change_kind(SDR_TX_CHANGE_STATUS* flags) const override {
    if (m_bits & 1) flags->m_signal_set_changed = true;
    if (m_bits & 2) flags->m_presentation_changed = true;
  }

 private:
  int m_bits;
};

// A seeded run of actions, undo, redo and commits: while the committed
// position is reachable, the flags after a replay are those raised by the
// actions between it and the current position.
TEST_F(TxUndo, FlagsFollowTheActionsBetweenTheCommittedAndCurrentPositions) {
  std::mt19937 random(11);
  std::vector<int> raised;  // per action of the history
  int current = 0, clean = 0;
  for (int step = 0; step < 600; ++step) {
    const unsigned op = random() % 6;
    if (op == 0 && raised.size() < 100) {
      const int bits = static_cast<int>(random() % 4);
      m_undo->begin_action();
      m_undo->add_atomic_action(new FLAGS_STEP(status(), bits));
      m_undo->end_action();
      raised.resize(static_cast<size_t>(current));
      raised.push_back(bits);
      if (clean > current) clean = -1;
      current = static_cast<int>(raised.size());
      continue;
    }
    if (op == 1) {
      status()->reset_all();
      m_undo->set_clean();
      clean = current;
      continue;
    }
    if (op <= 3 ? !m_undo->undo() : !m_undo->redo()) continue;
    current += op <= 3 ? -1 : 1;
    ASSERT_EQ(m_undo->get_current_index(), current);
    ASSERT_EQ(m_undo->is_clean_reachable(), clean >= 0);
    if (clean < 0) continue;
    int expected = 0;
    for (int i = std::min(clean, current); i < std::max(clean, current); ++i)
      expected |= raised[static_cast<size_t>(i)];
    ASSERT_EQ(status()->m_signal_set_changed, (expected & 1) != 0) << step;
    ASSERT_EQ(status()->m_presentation_changed, (expected & 2) != 0) << step;
  }
}

}  // namespace
