// Undo manager, user-level undo actions and the atomic base.

#include "sdr_tx_undo_manager.h"

#include "msg_service.h"
#include "sdr_tx_internal.h"

SDR_TX_UNDO_ACTION_ATOMIC::~SDR_TX_UNDO_ACTION_ATOMIC() = default;

// ---------------------------------------------------------------- action

SDR_TX_UNDO_ACTION::SDR_TX_UNDO_ACTION(SDR_TX_CHANGE_STATUS* live, SDR_TX_INSTANCE* instance)
    : m_setup_tab_selected(instance ? instance->is_setup_tab_selected() : true),
      m_tx_change_status(live),
      m_tx_instance(instance) {}

SDR_TX_UNDO_ACTION::~SDR_TX_UNDO_ACTION() = default;

SDR_TX_UNDO_ACTION::FLAG_BITS SDR_TX_UNDO_ACTION::to_bits(const SDR_TX_CHANGE_STATUS& status) {
  return static_cast<FLAG_BITS>(status.get_bits());
}

void SDR_TX_UNDO_ACTION::write_bits(FLAG_BITS bits, SDR_TX_CHANGE_STATUS* status) {
  status->set_bits(bits);
}

SDR_TX_CHANGE_STATUS SDR_TX_UNDO_ACTION::to_status(FLAG_BITS bits) {
  SDR_TX_CHANGE_STATUS status;
  write_bits(bits, &status);
  return status;
}

void SDR_TX_UNDO_ACTION::add_atomic_action(std::unique_ptr<SDR_TX_UNDO_ACTION_ATOMIC> atomic_action) {
  if (!atomic_action) return;
  if (m_num_atomic < IN_PLACE) {
    m_first_atomic[m_num_atomic] = std::move(atomic_action);
  } else {
    if (!m_more_atomic) m_more_atomic.reset(new std::vector<std::unique_ptr<SDR_TX_UNDO_ACTION_ATOMIC>>());
    m_more_atomic->push_back(std::move(atomic_action));
  }
  ++m_num_atomic;
}

void SDR_TX_UNDO_ACTION::save_change_status_begin() {
  m_has_status_begin = true;
  if (m_tx_change_status) m_begin_bits = to_bits(*m_tx_change_status);
}

void SDR_TX_UNDO_ACTION::save_change_status_end(FLAG_BITS kinds) {
  m_has_status_end = true;
  if (m_tx_change_status) m_end_bits = to_bits(*m_tx_change_status);
  // A flag already set at the start may have been raised again by this
  // action: count it when one of its changes is of that kind.
  const FLAG_BITS begin = m_has_status_begin ? m_begin_bits : 0;
  m_own_bits = static_cast<FLAG_BITS>(m_end_bits & (~begin | kinds));
}

bool SDR_TX_UNDO_ACTION::undo() {
  bool ok = true;
  for (int i = m_num_atomic - 1; i >= 0; --i) {
    if (!atomic_at(i)->undo()) {
      ok = false;
      break;
    }
  }
  if (m_tx_instance) m_tx_instance->set_setup_tab_selected(m_setup_tab_selected);
  if (m_has_status_begin && m_tx_change_status) write_bits(m_begin_bits, m_tx_change_status);
  if (!ok) sdr_report_internal_error("Undo failed", __FILE__, __LINE__);
  return ok;
}

bool SDR_TX_UNDO_ACTION::redo() {
  bool ok = true;
  for (int i = 0; i < m_num_atomic; ++i) {
    if (!atomic_at(i)->redo()) {
      ok = false;
      break;
    }
  }
  if (m_tx_instance) m_tx_instance->set_setup_tab_selected(m_setup_tab_selected);
  if (m_has_status_end && m_tx_change_status) write_bits(m_end_bits, m_tx_change_status);
  if (!ok) sdr_report_internal_error("Redo failed", __FILE__, __LINE__);
  return ok;
}

// ---------------------------------------------------------------- manager

SDR_TX_UNDO_MANAGER::SDR_TX_UNDO_MANAGER(SDR_TX_CHANGE_STATUS* change_status, SDR_TX_INSTANCE* instance)
    : m_tx_change_status(change_status), m_tx_instance(instance) {}

SDR_TX_UNDO_MANAGER::~SDR_TX_UNDO_MANAGER() {
  clear_all_actions();
}

void SDR_TX_UNDO_MANAGER::begin_action() {
  if (m_undo_redo_in_progress) {
    sdr_report_internal_error("Undo manager state error", __FILE__, __LINE__);
    return;
  }
  if (m_current_undo_action) {
    sdr_report_internal_error("Previous action has not been terminated in undo manager", __FILE__, __LINE__);
    // Keep what the open action did: it stays undoable.
    store_open_action();
  }
  m_current_undo_action.reset(new SDR_TX_UNDO_ACTION(m_tx_change_status, m_tx_instance));
  m_current_undo_action->save_change_status_begin();
  m_open_kinds.reset_all();
  msg_local_vdebug("SDR", "Begin undo action");
}

bool SDR_TX_UNDO_MANAGER::end_action() {
  if (!m_current_undo_action) {
    sdr_report_internal_error("Action has not been started in undo manager", __FILE__, __LINE__);
    return false;
  }
  if (m_undo_redo_in_progress) {
    sdr_report_internal_error("Undo manager state error", __FILE__, __LINE__);
    return false;
  }
  const bool stored = store_open_action();
  msg_local_vdebug("SDR", stored ? "End undo action with atomic action(s) pushed onto stack"
                                 : "End undo action without any atomic action");
  return stored;
}

bool SDR_TX_UNDO_MANAGER::store_open_action() {
  std::unique_ptr<SDR_TX_UNDO_ACTION> action = std::move(m_current_undo_action);
  const bool committed_inside = m_commit_while_open;
  m_commit_while_open = false;
  if (!action || action->get_num_atomic_actions() == 0) return false;
  const SDR_TX_UNDO_ACTION::FLAG_BITS kinds = SDR_TX_UNDO_ACTION::to_bits(m_open_kinds);
  action->save_change_status_end(kinds);
  if (committed_inside) action->count_all_kinds_as_own(kinds);
  push_action(std::move(action));
  return true;
}

void SDR_TX_UNDO_MANAGER::add_atomic_action(SDR_TX_UNDO_ACTION_ATOMIC* atomic_action) {
  std::unique_ptr<SDR_TX_UNDO_ACTION_ATOMIC> owned(atomic_action);
  if (!SDR_CHECK_AS(owned != nullptr, "atomic_action != NULL")) return;
  // What undo and redo replay records nothing.
  if (m_undo_redo_in_progress) return;
  if (!m_current_undo_action) {
    sdr_report_internal_error("Action has not been started in undo manager", __FILE__, __LINE__);
    return;
  }
  // Its kinds of change now, while it is at hand.
  owned->add_change_kind(&m_open_kinds);
  m_current_undo_action->add_atomic_action(std::move(owned));
  msg_local_vdebug("SDR", "Add atomic action");
}

SDR_TX_UNDO_MANAGER::FLAG_BITS SDR_TX_UNDO_MANAGER::own_flags_since_clean() const {
  unsigned bits = 0;
  for (int i = 0; i < SDR_TX_CHANGE_STATUS::FLAG_COUNT; ++i)
    bits |= (m_between_counts[i] != 0 ? 1u : 0u) << i;
  return static_cast<FLAG_BITS>(bits);
}

void SDR_TX_UNDO_MANAGER::count_between(const SDR_TX_UNDO_ACTION& action, int sign) {
  const unsigned own = action.get_own_flag_bits();
  if (!own || m_clean_index < 0) return;
  for (int i = 0; i < SDR_TX_CHANGE_STATUS::FLAG_COUNT; ++i)
    if ((own >> i) & 1u) m_between_counts[i] += sign;
}

void SDR_TX_UNDO_MANAGER::push_action(std::unique_ptr<SDR_TX_UNDO_ACTION> action) {
  // The redo branch is dropped; a committed position in it is gone.
  const size_t keep = static_cast<size_t>(m_current_index);
  m_undo_action_list.erase(m_undo_action_list.begin() + keep, m_undo_action_list.end());
  if (m_clean_index > m_current_index) m_clean_index = -1;

  // The new action follows the committed position (when there is one).
  count_between(*action, 1);
  m_undo_action_list.push_back(std::move(action));

  // At most one action leaves per push.
  if (m_undo_action_list.size() > static_cast<unsigned>(m_max_undo_steps)) {
    m_undo_action_list.pop_front();
    m_clean_index = m_clean_index > 0 ? m_clean_index - 1 : -1;
  }
  m_current_index = static_cast<int>(m_undo_action_list.size());
}

bool SDR_TX_UNDO_MANAGER::is_undo_available() const {
  return !m_undo_action_list.empty() && m_current_index > 0;
}

bool SDR_TX_UNDO_MANAGER::is_redo_available() const {
  return !m_undo_action_list.empty() && m_current_index < static_cast<int>(m_undo_action_list.size());
}

SDR_TX_UNDO_MANAGER::FLAG_BITS SDR_TX_UNDO_MANAGER::uncovered_flags() const {
  if (m_clean_index < 0 || !m_tx_change_status) return 0;
  const FLAG_BITS expected = own_flags_since_clean() | m_clean_residual;
  return static_cast<FLAG_BITS>(SDR_TX_UNDO_ACTION::to_bits(*m_tx_change_status) & ~expected);
}

void SDR_TX_UNDO_MANAGER::settle_change_status(const SDR_TX_UNDO_ACTION& replayed, FLAG_BITS uncovered) {
  if (!m_tx_change_status) return;
  FLAG_BITS live;
  if (m_clean_index >= 0) {
    // The difference between the committed position and this one.
    live = own_flags_since_clean();
  } else {
    // No committed position to measure from: the flags the action put back
    // plus its own, so that its change is committed again.
    live = SDR_TX_UNDO_ACTION::to_bits(*m_tx_change_status) | replayed.get_own_flag_bits();
  }
  SDR_TX_UNDO_ACTION::write_bits(static_cast<FLAG_BITS>(live | m_clean_residual | uncovered),
                                 m_tx_change_status);
}

bool SDR_TX_UNDO_MANAGER::undo() {
  if (m_current_undo_action || m_undo_redo_in_progress) {
    sdr_report_internal_error("Undo manager state error", __FILE__, __LINE__);
    return false;
  }
  if (!is_undo_available()) return false;
  const FLAG_BITS uncovered = uncovered_flags();
  SDR_TX_UNDO_ACTION& action = *m_undo_action_list[static_cast<size_t>(m_current_index) - 1];
  // Past the committed position the action leaves the stretch between
  // them; before it, it joins.
  count_between(action, m_current_index > m_clean_index ? -1 : 1);
  bool ok;
  {
    SDR_TX_REPLAY_GUARD replay(this);
    --m_current_index;
    ok = action.undo();
  }
  settle_change_status(action, uncovered);
  return ok;
}

bool SDR_TX_UNDO_MANAGER::redo() {
  if (m_current_undo_action || m_undo_redo_in_progress) {
    sdr_report_internal_error("Undo manager state error", __FILE__, __LINE__);
    return false;
  }
  if (!is_redo_available()) return false;
  const FLAG_BITS uncovered = uncovered_flags();
  SDR_TX_UNDO_ACTION& action = *m_undo_action_list[static_cast<size_t>(m_current_index)];
  count_between(action, m_current_index >= m_clean_index ? 1 : -1);
  bool ok;
  {
    SDR_TX_REPLAY_GUARD replay(this);
    ok = action.redo();
    ++m_current_index;
  }
  settle_change_status(action, uncovered);
  return ok;
}

void SDR_TX_UNDO_MANAGER::clear_all_actions() {
  m_undo_action_list.clear();
  m_between_counts.fill(0);
  m_current_index = 0;
  // Whatever the flags say now is not the history's doing.
  m_clean_index = 0;
  m_clean_residual = m_tx_change_status ? SDR_TX_UNDO_ACTION::to_bits(*m_tx_change_status) : 0;
}

void SDR_TX_UNDO_MANAGER::set_clean() {
  m_clean_residual = m_tx_change_status ? SDR_TX_UNDO_ACTION::to_bits(*m_tx_change_status) : 0;
  m_between_counts.fill(0);
  if (m_current_undo_action) {
    // Committed halfway through an action: no position matches the
    // committed state, and the open action's changes all count as its own.
    m_clean_index = -1;
    m_commit_while_open = true;
  } else {
    m_clean_index = m_current_index;
  }
}
