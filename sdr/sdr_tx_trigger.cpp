// Transaction trigger: the trigger properties and level records of the
// setup tab, and the undo actions of trigger edits.
//
// The properties, the level flags, basic conditions and their undo are in
// place, and commit writes the properties into the data trigger this copy
// edits. Creating new data triggers, writing levels and conditions,
// advanced conditions and the node-list edits of the setup tab beyond
// appending are not yet editable.

#include "sdr_tx_trigger.h"

#include <algorithm>

#include "atg_compiler.h"
#include "cfg_service.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_internal.h"
#include "sdr_tx_session.h"
#include "sdr_tx_signal_set.h"
#include "sdr_tx_tree_object.h"
#include "sdr_tx_undo_manager.h"

namespace {

bool is_group_type(SDR_DATA_NODE_DISPLAY_TYPE type) {
  return type == SDR_DTYPE_EXPAND_GROUP_NODE || type == SDR_DTYPE_COLLAPSE_GROUP_NODE;
}

bool captures_data(SDR_DATA_WIRE_CAPTURE_TYPE type) {
  return type == SDR_CTYPE_DATA || type == SDR_CTYPE_BOTH;
}
bool captures_trigger(SDR_DATA_WIRE_CAPTURE_TYPE type) {
  return type == SDR_CTYPE_TRIGGER || type == SDR_CTYPE_BOTH;
}

}  // namespace

SDR_TX_TRIGGER::SDR_TX_TRIGGER(int index, SDR_TX_SESSION* session, SDR_TX_UNDO_MANAGER* undo_manager,
                               SDR_TX_CHANGE_STATUS* change_status, SDR_TX_TREE_OBJECT* tree_root,
                               SDR_TX_SCRIPT_RECORDER* recorder)
    : SDR_TX_SIGNAL_NODES(index, undo_manager, change_status, recorder, true),
      m_tx_session(session),
      m_tree_root(tree_root) {
  init();
}

SDR_TX_TRIGGER::SDR_TX_TRIGGER(int index, SDR_TX_SESSION* session, SDR_DATA_TRIGGER* trigger,
                               SDR_TX_UNDO_MANAGER* undo_manager, SDR_TX_CHANGE_STATUS* change_status,
                               SDR_TX_TREE_OBJECT* tree_root, SDR_TX_SCRIPT_RECORDER* recorder)
    : SDR_TX_SIGNAL_NODES(index, undo_manager, change_status, recorder, true),
      m_tx_session(session),
      m_tree_root(tree_root) {
  init(trigger);
}

SDR_TX_TRIGGER::~SDR_TX_TRIGGER() {
  clear_level_records();
}

const char* SDR_TX_TRIGGER::get_name() const {
  return m_data_trigger ? m_data_trigger->get_name() : nullptr;
}

void SDR_TX_TRIGGER::clear_level_records() {
  for (TRIGGER_LEVEL_CONFIGURATION& record : m_trigger_level_config_vec) {
    if (record.m_advanced_condition && m_tree_root)
      SDR_CHECK(m_tree_root->remove_child(record.m_advanced_condition));
    delete record.factory;
  }
  m_trigger_level_config_vec.clear();
}

bool SDR_TX_TRIGGER::init() {
  SDR_TX_SIGNAL_NODES::init();
  m_trigger_position = SDR_TPOS_PRE;
  m_trigger_in_condition = SDR_TCOND_DONT_CARE;
  m_trigger_out_condition = SDR_TCOND_ACTIVE_HIGH;
  clear_level_records();
  m_name_index_map.reset();
  m_uniq_node_set.clear();
  m_data_trigger = nullptr;
  m_trigger_level = 1;
  {
    // Creating the first record is no user edit.
    SDR_TX_REPLAY_GUARD quiet(m_tx_undo_manager);
    set_trigger_level(1);
  }
  m_data_node_count = m_trigger_node_count = m_trigger_wire_index_max = 0;
  m_segment_size = 1;
  m_trigger_type = SDR_TTYPE_CIRCULAR;
  m_rebuild = true;
  if (m_tx_change_status) {
    m_tx_change_status->m_trigger_level_changed = false;
    m_tx_change_status->m_trigger_condition_changed = false;
    m_tx_change_status->m_trigger_io_changed = false;
  }
  m_signal_set_committed = false;
  return true;
}

bool SDR_TX_TRIGGER::init(SDR_DATA_SIGNAL_VIEW* setup_view) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "init");
  if (!SDR_CHECK_AS(setup_view != nullptr, "setup_view != NULL")) return false;
  return SDR_TX_SIGNAL_NODES::init(setup_view);
}

bool SDR_TX_TRIGGER::init(SDR_DATA_TRIGGER* d) {
  if (!SDR_CHECK_AS(d != nullptr, "trigger != NULL")) return init();
  SDR_DATA_SIGNAL_SET* set = d->get_signal_set();
  const bool result = set && set->get_setup_view() ? SDR_TX_SIGNAL_NODES::init(set->get_setup_view())
                                                   : SDR_TX_SIGNAL_NODES::init();
  rebuild_uniq_name_set();
  clear_level_records();
  m_name_index_map.reset(new ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP());
  d->create_name_index_map(m_name_index_map.get());
  m_trigger_position = d->get_trigger_position();
  m_trigger_in_condition = d->get_trigger_in();
  m_trigger_out_condition = d->get_trigger_out();
  m_segment_size = d->get_segment_size();
  m_trigger_type = d->get_trigger_type();
  const int levels = d->get_event_levels();
  m_trigger_level = 0;
  {
    SDR_TX_REPLAY_GUARD quiet(m_tx_undo_manager);
    set_trigger_level(levels);
  }
  m_trigger_level = levels;
  const int width = set ? set->get_trigger_wire_width() : 0;
  m_trigger_wire_index_max = m_trigger_node_count = width;
  for (int level = 0; level < levels; ++level) {
    TRIGGER_LEVEL_CONFIGURATION& record = m_trigger_level_config_vec[static_cast<size_t>(level)];
    record.conditions.assign(static_cast<size_t>(width), SDR_TCOND_DONT_CARE);
    for (int wire = 0; wire < width; ++wire)
      record.conditions[static_cast<size_t>(wire)] = d->get_condition(level, wire);
    record.enabled = d->is_trigger_level_enabled(level);
    record.m_is_basic_condition = d->is_trigger_level_basic_condition(level);
    SDR_DATA_TRIGGER_ADV_TREE_OBJ* root = d->get_advanced_trigger_tree_root(level);
    if (root && !root->is_null() && record.m_advanced_condition)
      SDR_TX_TREE_OBJECT::build_tx_object_tree_from_data_trigger(record.m_advanced_condition, root);
    record.expression = d->get_advanced_trigger_expression(level);
    const char* crc = d->get_advanced_trigger_crc_string(level);
    record.crc_text = crc ? crc : "";
  }
  m_data_trigger = d;
  m_rebuild = false;
  if (m_tx_change_status) {
    m_tx_change_status->m_trigger_level_changed = false;
    m_tx_change_status->m_trigger_condition_changed = false;
    m_tx_change_status->m_trigger_io_changed = false;
  }
  m_signal_set_committed = false;
  return result;
}

// ---------------------------------------------------------------- properties

void SDR_TX_TRIGGER::save_properties(TRIGGER_PROPERTIES* p) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "save_properties");
  if (!p) return;
  p->position = m_trigger_position;
  p->trigger_in_condition = m_trigger_in_condition;
  p->trigger_out_condition = m_trigger_out_condition;
  p->segment_size = m_segment_size;
  p->trigger_level = m_trigger_level;
  p->trigger_type = m_trigger_type;
}

bool SDR_TX_TRIGGER::restore_properties(const TRIGGER_PROPERTIES* p) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "restore_properties");
  if (!p) return false;
  m_trigger_position = p->position;
  m_trigger_in_condition = p->trigger_in_condition;
  m_trigger_out_condition = p->trigger_out_condition;
  m_segment_size = p->segment_size;
  m_trigger_level = p->trigger_level;
  m_trigger_type = p->trigger_type;
  return SDR_CHECK_AS(static_cast<size_t>(m_trigger_level) <= m_trigger_level_config_vec.size(),
                      "static_cast<size_t>(m_trigger_level) <= m_trigger_level_config_vec.size()");
}

void SDR_TX_TRIGGER::save_properties(int level_index, TRIGGER_LEVEL_CONFIGURATION* record) {
  if (!record ||
      !SDR_CHECK(level_index >= 0 && static_cast<size_t>(level_index) < m_trigger_level_config_vec.size()))
    return;
  const TRIGGER_LEVEL_CONFIGURATION& level = m_trigger_level_config_vec[static_cast<size_t>(level_index)];
  record->m_is_basic_condition = level.m_is_basic_condition;
  record->enabled = level.enabled;
}

bool SDR_TX_TRIGGER::restore_properties(int level_index, const TRIGGER_LEVEL_CONFIGURATION* record) {
  if (!record ||
      !SDR_CHECK(level_index >= 0 && static_cast<size_t>(level_index) < m_trigger_level_config_vec.size()))
    return false;
  TRIGGER_LEVEL_CONFIGURATION& level = m_trigger_level_config_vec[static_cast<size_t>(level_index)];
  level.m_is_basic_condition = record->m_is_basic_condition;
  level.enabled = record->enabled;
  return true;
}

template <class APPLY>
bool SDR_TX_TRIGGER::change_properties(APPLY apply) {
  TRIGGER_PROPERTIES old_properties;
  save_properties(&old_properties);
  apply();
  TRIGGER_PROPERTIES new_properties;
  save_properties(&new_properties);
  if (m_tx_undo_manager)
    m_tx_undo_manager->add_atomic_action(
        new SDR_TX_UNDO_ACTION_SET_TRIGGER(this, old_properties, new_properties));
  return true;
}

bool SDR_TX_TRIGGER::set_trigger_in_condition(SDR_DATA_TRIGGER_CONDITION condition) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_trigger_in_condition");
  scope.add_argument(condition);
  if (m_trigger_in_condition == condition) return false;
  if (m_tx_change_status) m_tx_change_status->m_trigger_io_changed = true;
  return change_properties([&] { m_trigger_in_condition = condition; });
}

bool SDR_TX_TRIGGER::set_trigger_out_condition(SDR_DATA_TRIGGER_CONDITION condition) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_trigger_out_condition");
  scope.add_argument(condition);
  if (m_trigger_out_condition == condition) return false;
  if (m_tx_change_status) m_tx_change_status->m_trigger_io_changed = true;
  return change_properties([&] { m_trigger_out_condition = condition; });
}

bool SDR_TX_TRIGGER::set_trigger_position(SDR_DATA_TRIGGER_POSITION position) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_trigger_position");
  scope.add_argument(position);
  if (m_trigger_position == position) return false;
  if (m_tx_change_status) m_tx_change_status->m_trigger_io_changed = true;
  return change_properties([&] { m_trigger_position = position; });
}

bool SDR_TX_TRIGGER::set_segment_size(int size) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_segment_size");
  scope.add_argument(size);
  if (m_segment_size == size) return false;
  if (m_tx_change_status) m_tx_change_status->m_trigger_condition_changed = true;
  return change_properties([&] { m_segment_size = size; });
}

bool SDR_TX_TRIGGER::set_trigger_type(SDR_DATA_TRIGGER_TYPE type) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_trigger_type");
  scope.add_argument(type);
  if (m_trigger_type == type) return false;
  if (m_tx_change_status) m_tx_change_status->m_trigger_condition_changed = true;
  return change_properties([&] { m_trigger_type = type; });
}

bool SDR_TX_TRIGGER::set_trigger_level(int level_count) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_trigger_level");
  scope.add_argument(level_count);
  if (level_count < 0) return false;
  while (m_trigger_level_config_vec.size() < static_cast<size_t>(level_count)) {
    TRIGGER_LEVEL_CONFIGURATION record;
    record.m_advanced_condition = m_tree_root ? m_tree_root->add_child() : nullptr;
    m_trigger_level_config_vec.push_back(record);
  }
  if (level_count == m_trigger_level) return false;
  if (m_tx_change_status)
    m_tx_change_status->m_trigger_level_changed = m_tx_change_status->m_trigger_condition_changed = true;
  return change_properties([&] { m_trigger_level = level_count; });
}

template <class APPLY>
bool SDR_TX_TRIGGER::change_level(int level_index, APPLY apply) {
  TRIGGER_LEVEL_CONFIGURATION old_record;
  save_properties(level_index, &old_record);
  apply(m_trigger_level_config_vec[static_cast<size_t>(level_index)]);
  TRIGGER_LEVEL_CONFIGURATION new_record;
  save_properties(level_index, &new_record);
  if (m_tx_undo_manager)
    m_tx_undo_manager->add_atomic_action(
        new SDR_TX_UNDO_ACTION_SET_TRIGGER_LEVEL(this, level_index, old_record, new_record));
  return true;
}

bool SDR_TX_TRIGGER::set_trigger_level_basic_condition(int level_index, bool basic) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_trigger_level_basic_condition");
  scope.add_argument(level_index);
  scope.add_argument(basic);
  if (!SDR_CHECK_AS(level_index >= 0, "level_index >= 0") ||
      static_cast<size_t>(level_index) >= m_trigger_level_config_vec.size() ||
      m_trigger_level_config_vec[static_cast<size_t>(level_index)].m_is_basic_condition == basic)
    return false;
  if (m_tx_change_status) m_tx_change_status->m_trigger_level_changed = true;
  return change_level(level_index,
                      [&](TRIGGER_LEVEL_CONFIGURATION& level) { level.m_is_basic_condition = basic; });
}

bool SDR_TX_TRIGGER::set_trigger_level_enabled(int level_index, bool enabled) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_trigger_level_enabled");
  scope.add_argument(level_index);
  scope.add_argument(enabled);
  if (!SDR_CHECK_AS(level_index >= 0, "level_index >= 0") ||
      static_cast<size_t>(level_index) >= m_trigger_level_config_vec.size() ||
      m_trigger_level_config_vec[static_cast<size_t>(level_index)].enabled == enabled)
    return false;
  if (m_tx_change_status) m_tx_change_status->m_trigger_condition_changed = true;
  return change_level(level_index, [&](TRIGGER_LEVEL_CONFIGURATION& level) { level.enabled = enabled; });
}

bool SDR_TX_TRIGGER::set_trigger_condition(int node_index, int level_index,
                                           SDR_DATA_TRIGGER_CONDITION condition) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_trigger_condition");
  scope.add_argument(node_index);
  scope.add_argument(level_index);
  scope.add_argument(condition);
  if (!SDR_CHECK_AS(node_index >= 0, "node_index >= 0")) return false;
  const NODE_TYPE* node = node_at(node_index);
  if (!node || !captures_trigger(node->capture_type) || level_index < 0 || level_index >= m_trigger_level ||
      node->trigger_wire_index < 0)
    return false;
  std::vector<int>& conditions = m_trigger_level_config_vec[static_cast<size_t>(level_index)].conditions;
  const size_t wire = static_cast<size_t>(node->trigger_wire_index);
  if (conditions.size() <= wire) conditions.resize(wire + 1, SDR_TCOND_DONT_CARE);
  const SDR_DATA_TRIGGER_CONDITION old_condition = static_cast<SDR_DATA_TRIGGER_CONDITION>(conditions[wire]);
  if (old_condition == condition) return false;
  conditions[wire] = condition;
  if (m_tx_change_status) m_tx_change_status->m_trigger_condition_changed = true;
  if (m_tx_undo_manager)
    m_tx_undo_manager->add_atomic_action(
        new SDR_TX_UNDO_ACTION_SET_COND(this, node_index, level_index, old_condition, condition));
  return true;
}

bool SDR_TX_TRIGGER::set_trigger_level_adv_condition_modified(int, bool, bool) {
  // Advanced conditions are not yet editable.
  return false;
}

// ---------------------------------------------------------------- queries

bool SDR_TX_TRIGGER::is_trigger_level_basic_condition(int level_index) const {
  if (level_index < 0 || static_cast<size_t>(level_index) >= m_trigger_level_config_vec.size()) return true;
  return m_trigger_level_config_vec[static_cast<size_t>(level_index)].m_is_basic_condition;
}

bool SDR_TX_TRIGGER::is_trigger_level_enabled(int level_index) const {
  if (level_index < 0 || static_cast<size_t>(level_index) >= m_trigger_level_config_vec.size()) return true;
  return m_trigger_level_config_vec[static_cast<size_t>(level_index)].enabled;
}

SDR_TX_TREE_OBJECT* SDR_TX_TRIGGER::get_trigger_adv_condition_root(int level_index) const {
  if (level_index < 0 || static_cast<size_t>(level_index) >= m_trigger_level_config_vec.size())
    return nullptr;
  return m_trigger_level_config_vec[static_cast<size_t>(level_index)].m_advanced_condition;
}

ATG_ADVANCED_TRIGGER_FACTORY* SDR_TX_TRIGGER::get_advanced_trigger_condition_factory(int level_index) const {
  if (level_index < 0 || static_cast<size_t>(level_index) >= m_trigger_level_config_vec.size())
    return nullptr;
  return m_trigger_level_config_vec[static_cast<size_t>(level_index)].factory;
}

unsigned long SDR_TX_TRIGGER::get_adv_trigger_level_lcell_usage(int level_index) const {
  // No compiled advanced expressions yet.
  (void)level_index;
  return 0;
}

SDR_DATA_TRIGGER_CONDITION SDR_TX_TRIGGER::get_trigger_condition(int node_index, int level_index) {
  const NODE_TYPE* node = node_at(node_index);
  if (!node || !captures_trigger(node->capture_type) || node->trigger_wire_index < 0 || level_index < 0 ||
      level_index >= m_trigger_level)
    return static_cast<SDR_DATA_TRIGGER_CONDITION>(9);
  std::vector<int>& conditions = m_trigger_level_config_vec[static_cast<size_t>(level_index)].conditions;
  const size_t wire = static_cast<size_t>(node->trigger_wire_index);
  if (conditions.size() <= wire) conditions.resize(wire + 1, SDR_TCOND_DONT_CARE);
  return static_cast<SDR_DATA_TRIGGER_CONDITION>(conditions[wire]);
}

unsigned long SDR_TX_TRIGGER::get_commited_crc_value() const {
  return m_data_trigger ? m_data_trigger->get_crc_value() : 0;
}

int SDR_TX_TRIGGER::get_data_wire_width() {
  recount_data_trigger_width();
  return m_data_node_count;
}

int SDR_TX_TRIGGER::get_trigger_wire_width() {
  recount_data_trigger_width();
  return m_trigger_node_count;
}

int SDR_TX_TRIGGER::get_trigger_wire_width_non_inc_rted() const {
  int count = 0;
  for (const auto& node : m_node_vec)
    if (!is_group_type(node->display_type) && captures_trigger(node->capture_type) &&
        node->tap_mode == SDR_MTYPE_CLASSIC_TAP)
      ++count;
  return count;
}

bool SDR_TX_TRIGGER::is_expanded() const {
  return m_data_trigger ? m_data_trigger->is_expanded() : true;
}

bool SDR_TX_TRIGGER::set_expanded_status(bool expanded) {
  if (!m_data_trigger) return false;
  m_data_trigger->set_expanded_status(expanded);
  return true;
}

bool SDR_TX_TRIGGER::is_valid_advanced_trigger_condition_input_node(const char* name) const {
  if (!SDR_CHECK_AS(name != nullptr, "name != NULL")) return false;
  // Nodes tapped after fitting count when the switch shows them or the
  // instance compiles incrementally.
  static CFG_CACHED_SWITCH show_incremental("sed_show_incremental_nodes", false);
  SDR_TX_INSTANCE* instance = m_tx_session ? m_tx_session->get_instance_at(m_instance_index) : nullptr;
  const bool any_tap = show_incremental.get() || (instance && instance->is_incr_cmp_mode());
  for (const auto& node : m_node_vec)
    if (!is_group_type(node->display_type) && captures_trigger(node->capture_type) &&
        (any_tap || node->tap_mode == SDR_MTYPE_CLASSIC_TAP) && node->name == name)
      return true;
  return false;
}

void SDR_TX_TRIGGER::check_compilation_type(bool* is_full, bool* is_pinwatch) {
  if (!is_full || !is_pinwatch) return;
  *is_full = *is_pinwatch = false;
  if (!m_data_trigger || m_trigger_level != m_data_trigger->get_event_levels()) {
    *is_full = true;
    return;
  }
  for (int level = 0; level < m_trigger_level; ++level)
    if (is_trigger_level_basic_condition(level) != m_data_trigger->is_trigger_level_basic_condition(level)) {
      *is_full = true;
      return;
    }
}

bool SDR_TX_TRIGGER::is_signal_compatible(SDR_DATA_SIGNAL_SET* signal_set) const {
  if (!m_tx_change_status ||
      !(m_tx_change_status->m_node_changed_full || m_tx_change_status->m_node_changed_pinwatch))
    return true;
  return signal_set && signal_set->get_wire_size() == get_node_count();
}

// ---------------------------------------------------------------- node list

bool SDR_TX_TRIGGER::append_node(const char* name, SDR_DATA_SIGNAL_TYPE signal_type,
                                 SDR_DATA_WIRE_TAP_MODE tap_mode) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "append_node");
  scope.add_argument(name);
  scope.add_argument(signal_type);
  scope.add_argument(tap_mode);
  if (!name || m_uniq_node_set.count(name)) return false;
  if (!SDR_TX_SIGNAL_NODES::append_node(name, signal_type, tap_mode)) return false;
  m_uniq_node_set.insert(name);
  if (m_tx_the_other_signal_nodes) m_tx_the_other_signal_nodes->append_node(name, signal_type, tap_mode);
  return true;
}

void SDR_TX_TRIGGER::rebuild_uniq_name_set() {
  m_uniq_node_set.clear();
  for (const auto& node : m_node_vec) {
    m_uniq_node_set.insert(node->name);
    if (!node->alias.empty()) m_uniq_node_set.insert(node->alias);
  }
}

void SDR_TX_TRIGGER::set_instance_index(int index) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_instance_index");
  scope.add_argument(index);
  m_instance_index = index;
}

void SDR_TX_TRIGGER::recount_data_trigger_width() {
  m_data_node_count = m_trigger_node_count = 0;
  for (const auto& node : m_node_vec) {
    if (is_group_type(node->display_type)) continue;
    if (captures_data(node->capture_type)) ++m_data_node_count;
    if (captures_trigger(node->capture_type)) ++m_trigger_node_count;
  }
}

void SDR_TX_TRIGGER::sync_upon_capture_type_change() {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "sync_upon_capture_type_change");
  if (!m_capture_type_changed) return;
  {
    // The mirroring is no user edit of its own: an empty action.
    SDR_TX_ACTION_BRACKET bracket(m_tx_undo_manager);
    SDR_TX_REPLAY_GUARD quiet(m_tx_undo_manager);
    // Capture types are not yet editable, so there is nothing to mirror.
  }
  m_capture_type_changed = false;
}

// Not yet editable on the setup tab.
bool SDR_TX_TRIGGER::set_node_name(int, const char*) {
  return false;
}
bool SDR_TX_TRIGGER::set_group_node_name(int, const char*) {
  return false;
}
bool SDR_TX_TRIGGER::set_node_alias(int, const char*) {
  return false;
}
bool SDR_TX_TRIGGER::is_node_deletable(int) {
  return true;
}
bool SDR_TX_TRIGGER::delete_node(const char*) {
  return false;
}
int SDR_TX_TRIGGER::delete_node(int, int) {
  return 0;
}
bool SDR_TX_TRIGGER::ungroup_node(int) {
  return false;
}
bool SDR_TX_TRIGGER::group_node(int, int, NODE_TYPE*) {
  return false;
}
int SDR_TX_TRIGGER::copy_before_node(int, int, int, bool) {
  return -1;
}
bool SDR_TX_TRIGGER::rename_node_name(const char*, const char*) {
  return false;
}
bool SDR_TX_TRIGGER::rename_node_alias(const char*, const char*) {
  return false;
}
bool SDR_TX_TRIGGER::commit_signal_set(SDR_DATA_SIGNAL_SET*) {
  return false;
}

// ---------------------------------------------------------------- commit

bool SDR_TX_TRIGGER::commit(SDR_DATA_SIGNAL_SET* signal_set, bool force) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "commit");
  scope.add_argument(force);
  if (!signal_set) {
    m_data_trigger = nullptr;
    return true;
  }
  SDR_DATA_TRIGGER* d = m_data_trigger;
  if (!d || d->get_signal_set() != signal_set) return true;
  SDR_TX_SIGNAL_NODES::commit(signal_set->get_setup_view());
  SDR_TX_CHANGE_STATUS* status = m_tx_change_status;
  if (status && (status->m_trigger_io_changed || status->m_trigger_condition_changed)) {
    // Only what differs, so that properties set back are written as read.
    if (d->get_trigger_position() != m_trigger_position) d->set_trigger_position(m_trigger_position);
    if (d->get_trigger_in() != m_trigger_in_condition) d->set_trigger_in(m_trigger_in_condition);
    if (d->get_trigger_out() != m_trigger_out_condition) d->set_trigger_out(m_trigger_out_condition);
    if (d->get_segment_size() != m_segment_size) d->set_segment_size(m_segment_size);
    if (d->get_trigger_type() != m_trigger_type) d->set_trigger_type(m_trigger_type);
    status->m_trigger_io_changed = false;
  }
  // Levels and conditions are written once a new data trigger can be made;
  // until then their flags stay set when the level count differs.
  if (status && m_trigger_level == d->get_event_levels()) {
    for (int level = 0; level < m_trigger_level; ++level) {
      const TRIGGER_LEVEL_CONFIGURATION& record = m_trigger_level_config_vec[static_cast<size_t>(level)];
      if (d->is_trigger_level_enabled(level) != record.enabled)
        d->set_trigger_level_enabled(level, record.enabled);
      if (d->is_trigger_level_basic_condition(level) != record.m_is_basic_condition)
        d->set_trigger_level_cond_expr_type(level, record.m_is_basic_condition);
      const int width =
          std::min(static_cast<int>(record.conditions.size()), signal_set->get_trigger_wire_width());
      for (int wire = 0; wire < width; ++wire) {
        const auto condition =
            static_cast<SDR_DATA_TRIGGER_CONDITION>(record.conditions[static_cast<size_t>(wire)]);
        if (d->get_condition(level, wire) != condition)
          d->set_trigger_condition(wire, level, condition, true);
      }
    }
    status->m_trigger_condition_changed = status->m_trigger_level_changed = false;
  }
  return true;
}

// ---------------------------------------------------------------- undo actions

SDR_TX_UNDO_ACTION_SET_COND::SDR_TX_UNDO_ACTION_SET_COND(SDR_TX_TRIGGER* trigger, int node_index,
                                                         int level_index,
                                                         SDR_DATA_TRIGGER_CONDITION old_condition,
                                                         SDR_DATA_TRIGGER_CONDITION new_condition)
    : m_trigger(trigger),
      m_node_index(node_index),
      m_level_index(level_index),
      m_old(old_condition),
      m_new(new_condition) {}

bool SDR_TX_UNDO_ACTION_SET_COND::undo() {
  m_trigger->set_trigger_condition(m_node_index, m_level_index, m_old);
  return true;
}

bool SDR_TX_UNDO_ACTION_SET_COND::redo() {
  m_trigger->set_trigger_condition(m_node_index, m_level_index, m_new);
  return true;
}

void SDR_TX_UNDO_ACTION_SET_COND::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  flags->m_trigger_condition_changed = true;
}

SDR_TX_UNDO_ACTION_SET_TRIGGER_LEVEL::SDR_TX_UNDO_ACTION_SET_TRIGGER_LEVEL(
    SDR_TX_TRIGGER* trigger, int level_index, const SDR_TX_TRIGGER::TRIGGER_LEVEL_CONFIGURATION& old_config,
    const SDR_TX_TRIGGER::TRIGGER_LEVEL_CONFIGURATION& new_config)
    : m_trigger(trigger), m_level_index(level_index), m_old(old_config), m_new(new_config) {}

bool SDR_TX_UNDO_ACTION_SET_TRIGGER_LEVEL::undo() {
  return m_trigger->restore_properties(m_level_index, &m_old);
}
bool SDR_TX_UNDO_ACTION_SET_TRIGGER_LEVEL::redo() {
  return m_trigger->restore_properties(m_level_index, &m_new);
}

void SDR_TX_UNDO_ACTION_SET_TRIGGER_LEVEL::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  flags->m_trigger_level_changed = flags->m_trigger_condition_changed = true;
}

SDR_TX_UNDO_ACTION_SET_TRIGGER::SDR_TX_UNDO_ACTION_SET_TRIGGER(
    SDR_TX_TRIGGER* trigger, const SDR_TX_TRIGGER::TRIGGER_PROPERTIES& old_properties,
    const SDR_TX_TRIGGER::TRIGGER_PROPERTIES& new_properties)
    : m_trigger(trigger), m_old(old_properties), m_new(new_properties) {}

bool SDR_TX_UNDO_ACTION_SET_TRIGGER::undo() {
  return m_trigger->restore_properties(&m_old);
}
bool SDR_TX_UNDO_ACTION_SET_TRIGGER::redo() {
  return m_trigger->restore_properties(&m_new);
}

void SDR_TX_UNDO_ACTION_SET_TRIGGER::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  // Only the kinds that differ between the two records.
  if (m_old.position != m_new.position || m_old.trigger_in_condition != m_new.trigger_in_condition ||
      m_old.trigger_out_condition != m_new.trigger_out_condition)
    flags->m_trigger_io_changed = true;
  if (m_old.segment_size != m_new.segment_size || m_old.trigger_type != m_new.trigger_type)
    flags->m_trigger_condition_changed = true;
  if (m_old.trigger_level != m_new.trigger_level)
    flags->m_trigger_level_changed = flags->m_trigger_condition_changed = true;
}
