// Undo manager, user-level undo actions and the atomic base.

#include "sdr_tx_undo_manager.h"

#include "msg_service.h"
#include "sdr_tx_internal.h"

SDR_TX_UNDO_ACTION_ATOMIC::~SDR_TX_UNDO_ACTION_ATOMIC() = default;

// ---------------------------------------------------------------- action

SDR_TX_UNDO_ACTION::SDR_TX_UNDO_ACTION(SDR_TX_CHANGE_STATUS* live, SDR_TX_INSTANCE* instance)
    : m_tx_change_status(live),
      m_setup_tab_selected(instance ? instance->is_setup_tab_selected() : true),
      m_tx_instance(instance) {
  m_own_change_status.reset_all();
}

SDR_TX_UNDO_ACTION::~SDR_TX_UNDO_ACTION() = default;

void SDR_TX_UNDO_ACTION::add_atomic_action(std::unique_ptr<SDR_TX_UNDO_ACTION_ATOMIC> atomic_action) {
  if (!atomic_action) return;
  if (m_num_atomic < IN_PLACE)
    m_first_atomic[m_num_atomic] = std::move(atomic_action);
  else
    m_more_atomic.push_back(std::move(atomic_action));
  ++m_num_atomic;
}

void SDR_TX_UNDO_ACTION::save_change_status_begin() {
  m_has_status_begin = true;
  if (m_tx_change_status) m_change_status_begin = *m_tx_change_status;
}

void SDR_TX_UNDO_ACTION::save_change_status_end() {
  m_has_status_end = true;
  if (m_tx_change_status) m_change_status_end = *m_tx_change_status;
  // A flag already set at the start may have been raised again by this
  // action: count it when one of its changes is of that kind.
  SDR_TX_CHANGE_STATUS kinds;
  for (int i = 0; i < m_num_atomic; ++i) atomic_at(i)->add_change_kind(&kinds);
  const SDR_TX_CHANGE_STATUS begin = m_has_status_begin ? m_change_status_begin : SDR_TX_CHANGE_STATUS();
  for (int i = 0; i < SDR_TX_CHANGE_STATUS::FLAG_COUNT; ++i)
    m_own_change_status.set_flag(
        i, m_change_status_end.get_flag(i) && (!begin.get_flag(i) || kinds.get_flag(i)));
}

void SDR_TX_UNDO_ACTION::count_all_kinds_as_own() {
  for (int i = 0; i < m_num_atomic; ++i) atomic_at(i)->add_change_kind(&m_own_change_status);
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
  if (m_has_status_begin && m_tx_change_status) *m_tx_change_status = m_change_status_begin;
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
  if (m_has_status_end && m_tx_change_status) *m_tx_change_status = m_change_status_end;
  if (!ok) sdr_report_internal_error("Redo failed", __FILE__, __LINE__);
  return ok;
}

// ---------------------------------------------------------------- manager

SDR_TX_UNDO_MANAGER::SDR_TX_UNDO_MANAGER(SDR_TX_CHANGE_STATUS* change_status, SDR_TX_INSTANCE* instance)
    : m_tx_change_status(change_status), m_tx_instance(instance) {
  m_clean_residual.reset_all();
}

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
  action->save_change_status_end();
  if (committed_inside) action->count_all_kinds_as_own();
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
  m_current_undo_action->add_atomic_action(std::move(owned));
  msg_local_vdebug("SDR", "Add atomic action");
}

const SDR_TX_UNDO_MANAGER::FLAG_COUNTS& SDR_TX_UNDO_MANAGER::counts_before(int index) const {
  return index <= 0 ? m_front_counts : m_flag_counts[static_cast<size_t>(index) - 1];
}

SDR_TX_CHANGE_STATUS SDR_TX_UNDO_MANAGER::own_flags_between(int from, int to) const {
  if (from > to) std::swap(from, to);
  const FLAG_COUNTS& low = counts_before(from);
  const FLAG_COUNTS& high = counts_before(to);
  SDR_TX_CHANGE_STATUS flags;
  for (int i = 0; i < SDR_TX_CHANGE_STATUS::FLAG_COUNT; ++i) flags.set_flag(i, high[i] > low[i]);
  return flags;
}

void SDR_TX_UNDO_MANAGER::push_action(std::unique_ptr<SDR_TX_UNDO_ACTION> action) {
  // The redo branch is dropped; a committed position in it is gone.
  const size_t keep = static_cast<size_t>(m_current_index);
  m_undo_action_list.erase(m_undo_action_list.begin() + keep, m_undo_action_list.end());
  m_flag_counts.erase(m_flag_counts.begin() + keep, m_flag_counts.end());
  if (m_clean_index > m_current_index) m_clean_index = -1;

  FLAG_COUNTS counts = counts_before(m_current_index);
  const SDR_TX_CHANGE_STATUS& own = action->get_own_change_status();
  for (int i = 0; i < SDR_TX_CHANGE_STATUS::FLAG_COUNT; ++i) counts[i] += own.get_flag(i) ? 1 : 0;
  m_undo_action_list.push_back(std::move(action));
  m_flag_counts.push_back(counts);

  // At most one action leaves per push.
  if (m_undo_action_list.size() > static_cast<unsigned>(m_max_undo_steps)) {
    m_front_counts = m_flag_counts.front();
    m_undo_action_list.pop_front();
    m_flag_counts.pop_front();
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

SDR_TX_CHANGE_STATUS SDR_TX_UNDO_MANAGER::uncovered_flags() const {
  SDR_TX_CHANGE_STATUS uncovered;
  if (m_clean_index < 0 || !m_tx_change_status) return uncovered;
  SDR_TX_CHANGE_STATUS expected = own_flags_between(m_clean_index, m_current_index);
  expected.merge(m_clean_residual);
  for (int i = 0; i < SDR_TX_CHANGE_STATUS::FLAG_COUNT; ++i)
    uncovered.set_flag(i, m_tx_change_status->get_flag(i) && !expected.get_flag(i));
  return uncovered;
}

void SDR_TX_UNDO_MANAGER::settle_change_status(const SDR_TX_UNDO_ACTION& replayed,
                                               const SDR_TX_CHANGE_STATUS& uncovered) {
  if (!m_tx_change_status) return;
  if (m_clean_index >= 0) {
    // The difference between the committed position and this one.
    *m_tx_change_status = own_flags_between(m_clean_index, m_current_index);
    m_tx_change_status->merge(m_clean_residual);
  } else {
    // No committed position to measure from: the flags the action put back
    // plus its own, so that its change is committed again.
    m_tx_change_status->merge(replayed.get_own_change_status());
    m_tx_change_status->merge(m_clean_residual);
  }
  m_tx_change_status->merge(uncovered);
}

bool SDR_TX_UNDO_MANAGER::undo() {
  if (m_current_undo_action || m_undo_redo_in_progress) {
    sdr_report_internal_error("Undo manager state error", __FILE__, __LINE__);
    return false;
  }
  if (!is_undo_available()) return false;
  const SDR_TX_CHANGE_STATUS uncovered = uncovered_flags();
  SDR_TX_UNDO_ACTION& action = *m_undo_action_list[static_cast<size_t>(m_current_index) - 1];
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
  const SDR_TX_CHANGE_STATUS uncovered = uncovered_flags();
  SDR_TX_UNDO_ACTION& action = *m_undo_action_list[static_cast<size_t>(m_current_index)];
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
  m_flag_counts.clear();
  m_front_counts = FLAG_COUNTS{};
  m_current_index = 0;
  // Whatever the flags say now is not the history's doing.
  m_clean_index = 0;
  if (m_tx_change_status) m_clean_residual = *m_tx_change_status;
}

void SDR_TX_UNDO_MANAGER::set_clean() {
  m_clean_residual = m_tx_change_status ? *m_tx_change_status : SDR_TX_CHANGE_STATUS();
  if (m_current_undo_action) {
    // Committed halfway through an action: no position matches the
    // committed state, and the open action's changes all count as its own.
    m_clean_index = -1;
    m_commit_while_open = true;
  } else {
    m_clean_index = m_current_index;
  }
}
