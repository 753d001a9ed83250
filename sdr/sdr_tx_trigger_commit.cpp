// Transaction trigger: the commit into a data trigger and the undo and
// redo bodies of the trigger actions (SET_COND, SET_TRIGGER_LEVEL,
// SET_TRIGGER).

#include <algorithm>
#include <string>
#include <utility>

#include "atg_compiler.h"
#include "msg_service.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"
#include "sdr_internal.h"
#include "sdr_tx_internal.h"
#include "sdr_tx_session.h"
#include "sdr_tx_tree_object.h"
#include "sdr_tx_trigger.h"
#include "sdr_tx_trigger_internal.h"
#include "sdr_tx_undo_manager.h"

namespace {

// True when the tree object has something to store: children or
// attributes of its own.
bool tree_has_content(SDR_TX_TREE_OBJECT* tree) {
  if (!tree) return false;
  if (tree->get_num_children() > 0) return true;
  SDR_DATA_STRING_PAIR_VEC attributes;
  tree->get_attributes(&attributes);
  return attributes.get_num_pairs() > 0;
}

}  // namespace

// ---------------------------------------------------------------- commit

bool SDR_TX_TRIGGER::commit_signal_set(SDR_DATA_SIGNAL_SET* signal_set) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "commit_signal_set");
  if (!SDR_CHECK_AS(m_tx_session != nullptr, "m_tx_session != NULL")) return false;
  const bool ok = SDR_TX_SIGNAL_NODES::commit_signal_set(signal_set, is_hdl_node());
  m_signal_set_committed = true;
  return ok;
}

SDR_DATA_TRIGGER* SDR_TX_TRIGGER::make_data_trigger(SDR_DATA_SIGNAL_SET* s, bool force, bool* created) {
  SDR_DATA_TRIGGER* d = m_data_trigger;
  const bool changed = m_tx_change_status && m_tx_change_status->is_trigger_changed();
  const bool gui_logging = m_tx_session && m_tx_session->is_gui_logging_enabled();
  *created = true;
  if (gui_logging) {
    // A trigger without logs is replaced rather than kept beside the new
    // one; a trigger with logs stays with them.
    if (force && d && d->get_signal_set() == s && !d->is_global_temp() && d->get_num_logs() == 0 &&
        !d->get_global_log()) {
      m_data_trigger = nullptr;
      d->remove();
      d = nullptr;
    }
    if (d && d->is_global_temp() && !changed && d->get_name()) {
      SDR_DATA_TRIGGER* same = s->find_trigger(d->get_name());
      if (same && same != d && !same->is_global_temp()) {
        *created = false;
        return same;
      }
    }
    return s->create_trigger(nullptr, false);
  }
  if (d && !d->is_global_temp() && !changed && d->get_name()) {
    const std::string name = d->get_name();
    return s->create_trigger(name.c_str(), true);
  }
  return s->create_trigger(nullptr, true);
}

void SDR_TX_TRIGGER::write_levels(SDR_DATA_SIGNAL_SET* s) {
  SDR_DATA_TRIGGER* d = m_data_trigger;
  for (int level = 0; level < m_trigger_level; ++level) {
    TRIGGER_LEVEL_CONFIGURATION& record = m_trigger_level_config_vec[static_cast<size_t>(level)];
    const int index = d->append_new_level(true);
    if (record.conditions.size() < static_cast<size_t>(m_trigger_wire_index_max) + 1)
      record.conditions.resize(static_cast<size_t>(m_trigger_wire_index_max) + 1, SDR_TCOND_DONT_CARE);
    std::vector<std::pair<int, SDR_DATA_TRIGGER_CONDITION>> set;
    for (const auto& node : m_node_vec) {
      if (is_group_type(node->display_type) || node->trigger_wire_index < 0) continue;
      const SDR_DATA_SIGNAL_WIRE* wire = s->get_wire(node->name.c_str());
      if (!wire || !captures_trigger(wire->get_capture_type()) || wire->get_trigger_wire_index() < 0)
        continue;
      const size_t key = static_cast<size_t>(node->trigger_wire_index);
      const auto condition = key < record.conditions.size()
                                 ? static_cast<SDR_DATA_TRIGGER_CONDITION>(record.conditions[key])
                                 : SDR_TCOND_DONT_CARE;
      if (condition != SDR_TCOND_DONT_CARE) set.emplace_back(wire->get_trigger_wire_index(), condition);
    }
    // The level's text is written once, with the last condition.
    for (size_t i = 0; i < set.size(); ++i)
      d->set_trigger_condition(set[i].first, index, set[i].second, i + 1 == set.size());
    if (!record.m_is_basic_condition) {
      std::string text = level_equation(level);
      if (text.empty() && !record.expression.empty()) {
        // The tree gives no expression (it names what this trigger cannot
        // use, or the stored text never compiled into one): the level keeps
        // its text as it was.
        msg_local_vdebug("SDR", "ADV: level %d keeps its expression: its tree gives none", level);
        d->set_advanced_trigger_expression(index, record.expression.c_str());
      } else {
        record.expression = text;
        const bool compiled = d->set_advanced_trigger_expression(index, text.c_str());
        SDR_CHECK_AS(text.empty() || compiled, "Invalid advanced trigger condition expression");
      }
    }
    d->set_trigger_level_cond_expr_type(index, record.m_is_basic_condition);
    d->set_trigger_level_enabled(index, record.enabled);
  }
}

void SDR_TX_TRIGGER::write_properties(bool all) {
  SDR_DATA_TRIGGER* d = m_data_trigger;
  // A kept trigger gets only what differs, so that a setting put back is
  // written as it was read.
  if (all || d->get_trigger_position() != m_trigger_position) d->set_trigger_position(m_trigger_position);
  if (all || d->get_trigger_in() != m_trigger_in_condition) d->set_trigger_in(m_trigger_in_condition);
  if (all || d->get_trigger_out() != m_trigger_out_condition) d->set_trigger_out(m_trigger_out_condition);
  if (all || d->get_segment_size() != m_segment_size) d->set_segment_size(m_segment_size);
  if (all || d->get_trigger_type() != m_trigger_type) d->set_trigger_type(m_trigger_type);
}

void SDR_TX_TRIGGER::write_trees() {
  SDR_DATA_TRIGGER* d = m_data_trigger;
  const int levels = std::min(m_trigger_level, d->get_event_levels());
  for (int level = 0; level < levels; ++level) {
    SDR_TX_TREE_OBJECT* tree = m_trigger_level_config_vec[static_cast<size_t>(level)].m_advanced_condition;
    if (!tree) continue;
    const bool content = tree_has_content(tree);
    SDR_DATA_TRIGGER_ADV_TREE_OBJ* existing = d->get_advanced_trigger_tree_root(level);
    // An empty tree adds no element to a level that has none.
    if (!content && (!existing || existing->is_null())) continue;
    SDR_DATA_TRIGGER_ADV_TREE_OBJ* root = d->recreate_advanced_trigger_tree_root(level);
    if (!SDR_CHECK_AS(root != nullptr, "data_adv_trig_tree_root != NULL")) continue;
    if (content) SDR_TX_TREE_OBJECT::build_data_trigger_from_tx_object_tree(root, tree);
  }
}

bool SDR_TX_TRIGGER::commit(SDR_DATA_SIGNAL_SET* s, bool force) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "commit");
  scope.add_argument(force);
  if (!s) {
    m_data_trigger = nullptr;
    return true;
  }
  SDR_TX_CHANGE_STATUS none;
  SDR_TX_CHANGE_STATUS* status = m_tx_change_status ? m_tx_change_status : &none;
  const bool gui_logging = m_tx_session && m_tx_session->is_gui_logging_enabled();
  SDR_DATA_TRIGGER* d = m_data_trigger;
  const bool needed = !d || m_rebuild || status->m_trigger_level_changed ||
                      status->m_trigger_condition_changed || status->m_adv_trigger_changed_full ||
                      m_signal_set_committed || (!gui_logging && !d->is_global_temp()) ||
                      d->get_signal_set() != s;
  bool created = false;
  if (needed) {
    SDR_DATA_TRIGGER* fresh = make_data_trigger(s, force, &created);
    if (!fresh) {
      SDR_CHECK_AS(false, "Failed to create a trigger");
      return false;
    }
    m_rebuild = false;
    m_data_trigger = fresh;
    status->m_trigger_condition_changed = created;
    if (created && m_tx_session) m_tx_session->set_undoable_modified_flag();
  }
  if (SDR_DATA_SIGNAL_VIEW* view = s->get_setup_view()) SDR_TX_SIGNAL_NODES::commit(view);
  if (status->m_trigger_condition_changed) {
    write_levels(s);
    status->m_trigger_io_changed = true;
  }
  if (status->m_trigger_io_changed) write_properties(created);
  write_trees();
  // A trigger without basic levels (none at all included) checks its inputs
  // against its map, which no compilation may have made yet.
  if (!m_data_trigger->get_name_index_map()) m_data_trigger->create_name_index_map(nullptr);
  m_data_trigger->finalize_triggers();
  if (is_hdl_node()) {
    if (m_crc_value_inheritable) {
      // Nothing to inherit from a configuration without a CRC.
      if (m_committed_crc != 0) m_data_trigger->set_crc_value(m_committed_crc);
    } else {
      // A new configuration: the stored value goes and is computed anew
      // from what was just written.
      sdr_remove_attribute(m_data_trigger->get_dom_node(), "CRC");
      m_committed_crc = m_data_trigger->get_crc_value();
    }
  }
  if (!m_name_index_map) m_name_index_map.reset(new ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP());
  m_data_trigger->create_name_index_map(m_name_index_map.get());
  if (created) {
    // The advanced levels compile against the new trigger's inputs now.
    const int levels = std::min(m_trigger_level, m_data_trigger->get_event_levels());
    for (int level = 0; level < levels; ++level) {
      TRIGGER_LEVEL_CONFIGURATION& record = m_trigger_level_config_vec[static_cast<size_t>(level)];
      if (record.m_is_basic_condition) continue;
      delete record.factory;
      record.factory = compile_level(level, record.expression, m_data_trigger->get_name());
      record.crc_text = text_of(m_data_trigger->get_advanced_trigger_crc_string(level));
    }
  }
  // What was written is no longer a change.
  status->m_trigger_level_changed = status->m_trigger_condition_changed = false;
  status->m_adv_trigger_changed_full = status->m_adv_trigger_changed = false;
  status->m_trigger_io_changed = false;
  m_signal_set_committed = false;
  for (TRIGGER_LEVEL_CONFIGURATION& record : m_trigger_level_config_vec)
    record.modified = record.compile = false;
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
  return m_trigger->get_trigger_condition(m_node_index, m_level_index) == m_old;
}

bool SDR_TX_UNDO_ACTION_SET_COND::redo() {
  m_trigger->set_trigger_condition(m_node_index, m_level_index, m_new);
  return m_trigger->get_trigger_condition(m_node_index, m_level_index) == m_new;
}

void SDR_TX_UNDO_ACTION_SET_COND::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  flags->m_trigger_condition_changed = true;
}

SDR_TX_UNDO_ACTION_SET_TRIGGER_LEVEL::SDR_TX_UNDO_ACTION_SET_TRIGGER_LEVEL(
    SDR_TX_TRIGGER* trigger, int level_index, const SDR_TX_TRIGGER::TRIGGER_LEVEL_CONFIGURATION& old_config,
    const SDR_TX_TRIGGER::TRIGGER_LEVEL_CONFIGURATION& new_config)
    : m_trigger(trigger), m_level_index(level_index), m_old(old_config), m_new(new_config) {
  // Only the two flags are replayed: the copies keep no tree or factory.
  m_old.m_advanced_condition = m_new.m_advanced_condition = nullptr;
  m_old.factory = m_new.factory = nullptr;
}

bool SDR_TX_UNDO_ACTION_SET_TRIGGER_LEVEL::undo() {
  return m_trigger->restore_properties(m_level_index, &m_old);
}
bool SDR_TX_UNDO_ACTION_SET_TRIGGER_LEVEL::redo() {
  return m_trigger->restore_properties(m_level_index, &m_new);
}

void SDR_TX_UNDO_ACTION_SET_TRIGGER_LEVEL::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  if (m_old.m_is_basic_condition != m_new.m_is_basic_condition) flags->m_trigger_level_changed = true;
  if (m_old.enabled != m_new.enabled) flags->m_trigger_condition_changed = true;
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
