// Transaction instance and change status.

#include "sdr_tx_instance.h"

#include "sdr_data_instance.h"
#include "sdr_tx_internal.h"
#include "sdr_tx_session.h"
#include "sdr_tx_undo_manager.h"

// ---------------------------------------------------------------- change status

namespace {

bool SDR_TX_CHANGE_STATUS::*const FLAGS[SDR_TX_CHANGE_STATUS::FLAG_COUNT] = {
    &SDR_TX_CHANGE_STATUS::m_incr_cmp_mode_changed,       &SDR_TX_CHANGE_STATUS::m_node_changed_full,
    &SDR_TX_CHANGE_STATUS::m_node_changed_pinwatch,       &SDR_TX_CHANGE_STATUS::m_debug_port_changed_full,
    &SDR_TX_CHANGE_STATUS::m_debug_port_changed_pinwatch, &SDR_TX_CHANGE_STATUS::m_signal_set_changed,
    &SDR_TX_CHANGE_STATUS::m_trigger_level_changed,       &SDR_TX_CHANGE_STATUS::m_trigger_condition_changed,
    &SDR_TX_CHANGE_STATUS::m_adv_trigger_changed_full,    &SDR_TX_CHANGE_STATUS::m_adv_trigger_changed,
    &SDR_TX_CHANGE_STATUS::m_trigger_io_changed,          &SDR_TX_CHANGE_STATUS::m_presentation_changed};

}  // namespace

void SDR_TX_CHANGE_STATUS::reset_all() {
  for (auto flag : FLAGS) this->*flag = false;
}

bool SDR_TX_CHANGE_STATUS::get_flag(int i) const {
  return i >= 0 && i < FLAG_COUNT ? this->*FLAGS[i] : false;
}

void SDR_TX_CHANGE_STATUS::set_flag(int i, bool value) {
  if (i >= 0 && i < FLAG_COUNT) this->*FLAGS[i] = value;
}

unsigned SDR_TX_CHANGE_STATUS::get_bits() const {
  unsigned bits = 0, bit = 1;
  for (auto flag : FLAGS) {
    if (this->*flag) bits |= bit;
    bit <<= 1;
  }
  return bits;
}

void SDR_TX_CHANGE_STATUS::set_bits(unsigned bits) {
  for (auto flag : FLAGS) {
    this->*flag = (bits & 1u) != 0;
    bits >>= 1;
  }
}

void SDR_TX_CHANGE_STATUS::merge(const SDR_TX_CHANGE_STATUS& other) {
  for (auto flag : FLAGS) this->*flag = this->*flag || other.*flag;
}

bool SDR_TX_CHANGE_STATUS::operator==(const SDR_TX_CHANGE_STATUS& other) const {
  for (auto flag : FLAGS)
    if (this->*flag != other.*flag) return false;
  return true;
}

bool SDR_TX_CHANGE_STATUS::is_modified() const {
  for (auto flag : FLAGS)
    if (this->*flag) return true;
  return false;
}

bool SDR_TX_CHANGE_STATUS::is_full_compilation() const {
  return m_incr_cmp_mode_changed || m_node_changed_full || m_debug_port_changed_full ||
         m_signal_set_changed || m_trigger_level_changed || m_adv_trigger_changed_full;
}

bool SDR_TX_CHANGE_STATUS::is_pinwatch_compilation() const {
  return !is_full_compilation() && (m_node_changed_pinwatch || m_debug_port_changed_pinwatch);
}

bool SDR_TX_CHANGE_STATUS::is_signal_set_changed() const {
  return m_node_changed_full || m_node_changed_pinwatch || m_debug_port_changed_full ||
         m_debug_port_changed_pinwatch || m_signal_set_changed;
}

bool SDR_TX_CHANGE_STATUS::is_trigger_changed() const {
  return m_trigger_level_changed || m_trigger_condition_changed || m_adv_trigger_changed_full ||
         m_trigger_io_changed;
}

// ---------------------------------------------------------------- instance

SDR_TX_INSTANCE::SDR_TX_INSTANCE(int index, SDR_TX_SESSION* session, SDR_DATA_INSTANCE* data_instance,
                                 SDR_TX_SCRIPT_RECORDER* recorder)
    : m_tx_change_status(new SDR_TX_CHANGE_STATUS()),
      m_tx_session(session),
      m_script_recorder(recorder),
      m_instance_index(index),
      m_data_instance(data_instance) {
  m_tx_undo_manager.reset(new SDR_TX_UNDO_MANAGER(m_tx_change_status.get(), this));
}

SDR_TX_INSTANCE::~SDR_TX_INSTANCE() = default;

void SDR_TX_INSTANCE::begin_action() {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, "begin_action");
  m_tx_undo_manager->begin_action();
}

void SDR_TX_INSTANCE::end_action() {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, "end_action");
  m_tx_undo_manager->end_action();
}

bool SDR_TX_INSTANCE::undo() {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, "undo");
  return m_tx_undo_manager->undo();
}

bool SDR_TX_INSTANCE::redo() {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, "redo");
  return m_tx_undo_manager->redo();
}

bool SDR_TX_INSTANCE::is_undo_available() const {
  return m_tx_undo_manager->is_undo_available();
}
bool SDR_TX_INSTANCE::is_redo_available() const {
  return m_tx_undo_manager->is_redo_available();
}

void SDR_TX_INSTANCE::set_max_undo_steps(int steps) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, "set_max_undo_steps");
  scope.add_argument(steps);
  m_tx_undo_manager->set_max_undo_steps(steps);
}

int SDR_TX_INSTANCE::get_max_undo_steps() const {
  return m_tx_undo_manager->get_max_undo_steps();
}

void SDR_TX_INSTANCE::set_incr_cmp_mode(bool incremental) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, "set_incr_cmp_mode");
  scope.add_argument(incremental);
  if (!m_data_instance || m_data_instance->is_incr_cmp_mode() == incremental) return;
  m_data_instance->set_incr_cmp_mode(incremental);
  m_tx_change_status->m_incr_cmp_mode_changed = true;
  m_tx_undo_manager->add_atomic_action(new SDR_TX_UNDO_ACTION_SET_INSTANCE(this, !incremental));
}

bool SDR_TX_INSTANCE::is_incr_cmp_mode() const {
  return m_data_instance && m_data_instance->is_incr_cmp_mode();
}
bool SDR_TX_INSTANCE::is_current_version() const {
  return m_data_instance && m_data_instance->is_current_version();
}
bool SDR_TX_INSTANCE::is_trazio_instance() const {
  return m_data_instance && m_data_instance->is_trazio_node();
}
const char* SDR_TX_INSTANCE::get_name() const {
  return m_data_instance ? m_data_instance->get_name() : nullptr;
}

SDR_DATA_INSTANCE_INFO SDR_TX_INSTANCE::get_node_info() const {
  return m_data_instance ? m_data_instance->get_node_info() : SDR_DATA_INSTANCE_INFO();
}

void SDR_TX_INSTANCE::update_to_current_version() {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, "update_to_current_version");
  if (m_data_instance && m_data_instance->update_to_current_version() && m_tx_session)
    m_tx_session->set_undoable_modified_flag();
}

bool SDR_TX_INSTANCE::rename(const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, "rename");
  scope.add_argument(name);
  if (!m_data_instance || !name) return false;
  const char* current = m_data_instance->get_name();
  if (current && std::strcmp(current, name) == 0) return false;
  if (!m_data_instance->set_name(name)) return false;
  // The name is stored: a save must write it.
  if (m_tx_session) m_tx_session->set_undoable_modified_flag();
  return true;
}

void SDR_TX_INSTANCE::set_setup_tab_selected(bool selected) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, "set_setup_tab_selected");
  scope.add_argument(selected);
  m_setup_tab_selected = selected;
}

bool SDR_TX_INSTANCE::set_position_data(const char* name, int value) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, "set_position_data");
  scope.add_argument(name);
  scope.add_argument(value);
  if (!m_data_instance || !name) return false;
  const auto& singles = m_data_instance->get_single_position_data();
  auto it = singles.find(name);
  if (it != singles.end() && it->second == value) return false;
  if (!m_data_instance->set_position_data(name, value, false)) return false;
  if (m_tx_session) m_tx_session->set_undoable_modified_flag();
  return true;
}

bool SDR_TX_INSTANCE::set_position_data(const char* name, const int* values, int count) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, "set_position_data");
  scope.add_argument(name);
  scope.add_argument(values, count);
  if (!m_data_instance || !name || count < 0 || (count > 0 && !values)) return false;
  const auto& multis = m_data_instance->get_multi_position_data();
  auto it = multis.find(name);
  if (it != multis.end() && it->second == std::vector<int>(values, values + count)) return false;
  if (!m_data_instance->set_position_data(name, values, count, false)) return false;
  if (m_tx_session) m_tx_session->set_undoable_modified_flag();
  return true;
}

int SDR_TX_INSTANCE::get_position_data(const char* name) const {
  return m_data_instance ? m_data_instance->get_position_data(name) : -1;
}

int SDR_TX_INSTANCE::get_position_data(const char* name, int* out) const {
  return m_data_instance ? m_data_instance->get_position_data(name, out) : -1;
}

bool SDR_TX_INSTANCE::set_expanded_status(bool expanded) {
  if (!m_data_instance) return false;
  m_data_instance->set_expanded_status(expanded);
  return true;
}

bool SDR_TX_INSTANCE::is_expanded() const {
  return m_data_instance ? m_data_instance->is_expanded() : true;
}

bool SDR_TX_INSTANCE::is_modified() const {
  return m_tx_change_status->is_modified();
}
bool SDR_TX_INSTANCE::is_signal_set_modified() const {
  return m_tx_change_status->is_signal_set_changed();
}
bool SDR_TX_INSTANCE::is_full_compilation() const {
  return m_tx_change_status->is_full_compilation();
}
bool SDR_TX_INSTANCE::is_pinwatch_compilation() const {
  return m_tx_change_status->is_pinwatch_compilation();
}
bool SDR_TX_INSTANCE::is_trigger_modified() const {
  return m_tx_change_status->is_trigger_changed();
}

bool SDR_TX_INSTANCE::commit() {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, "commit");
  // The mode went to the data instance when it was set; once committed it
  // is no longer a difference from the stored state.
  m_tx_change_status->m_incr_cmp_mode_changed = false;
  return true;
}

// ---------------------------------------------------------------- undo action

SDR_TX_UNDO_ACTION_SET_INSTANCE::SDR_TX_UNDO_ACTION_SET_INSTANCE(SDR_TX_INSTANCE* instance,
                                                                 bool previous_mode)
    : m_instance(instance), m_previous_mode(previous_mode) {}

bool SDR_TX_UNDO_ACTION_SET_INSTANCE::undo() {
  m_instance->set_incr_cmp_mode(m_previous_mode);
  return true;
}

bool SDR_TX_UNDO_ACTION_SET_INSTANCE::redo() {
  m_instance->set_incr_cmp_mode(!m_previous_mode);
  return true;
}

void SDR_TX_UNDO_ACTION_SET_INSTANCE::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  flags->m_incr_cmp_mode_changed = true;
}
