// Transaction trigger: the trigger properties, level records and setup-tab
// node list of one instance, their undo actions, the compilation answers and
// the commit into a data trigger.

#include "sdr_tx_trigger.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "atg_compiler.h"
#include "cfg_service.h"
#include "msg_service.h"
#include "sdr_data_instance.h"
#include "sdr_data_session.h"
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

const SDR_DATA_TRIGGER_CONDITION NO_CONDITION = static_cast<SDR_DATA_TRIGGER_CONDITION>(9);

std::string text_of(const char* text) {
  return text ? text : "";
}

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
  if (trigger)
    init(trigger);
  else
    init();
}

SDR_TX_TRIGGER::~SDR_TX_TRIGGER() {
  clear_level_records();
}

const char* SDR_TX_TRIGGER::get_name() const {
  return m_data_trigger ? m_data_trigger->get_name() : nullptr;
}

// ---------------------------------------------------------------- level records

void SDR_TX_TRIGGER::clear_level_records() {
  for (TRIGGER_LEVEL_CONFIGURATION& record : m_trigger_level_config_vec) {
    if (record.m_advanced_condition && m_tree_root)
      SDR_CHECK_AS(m_tree_root->remove_child(record.m_advanced_condition),
                   "m_tx_tree_object_root->remove_child( m_advanced_condition )");
    record.m_advanced_condition = nullptr;
    delete record.factory;
    record.factory = nullptr;
  }
  m_trigger_level_config_vec.clear();
}

void SDR_TX_TRIGGER::grow_level_records(int count) {
  while (m_trigger_level_config_vec.size() < static_cast<size_t>(std::max(count, 0))) {
    TRIGGER_LEVEL_CONFIGURATION record;
    record.m_advanced_condition = m_tree_root ? m_tree_root->add_child() : nullptr;
    m_trigger_level_config_vec.push_back(record);
  }
}

SDR_TX_TRIGGER::TRIGGER_LEVEL_CONFIGURATION* SDR_TX_TRIGGER::level_record(int level_index) {
  if (level_index < 0 || static_cast<size_t>(level_index) >= m_trigger_level_config_vec.size())
    return nullptr;
  return &m_trigger_level_config_vec[static_cast<size_t>(level_index)];
}

const SDR_TX_TRIGGER::TRIGGER_LEVEL_CONFIGURATION* SDR_TX_TRIGGER::level_record(int level_index) const {
  if (level_index < 0 || static_cast<size_t>(level_index) >= m_trigger_level_config_vec.size())
    return nullptr;
  return &m_trigger_level_config_vec[static_cast<size_t>(level_index)];
}

std::string SDR_TX_TRIGGER::level_equation(int level_index) {
  std::string text;
  TRIGGER_LEVEL_CONFIGURATION* record = level_record(level_index);
  if (!record || !record->m_advanced_condition) return text;
  SDR_DATA_SESSION* session = m_tx_session ? m_tx_session->get_data_session() : nullptr;
  // The session's tables as they are: asking creates none.
  SDR_DATA_MNEMONICS* mnemonics = session ? session->find_mnemonics() : nullptr;
  const bool ok = record->m_advanced_condition->get_equation(&text, mnemonics, this, false);
  msg_local_vdebug("SDR", "ADV: get_equation returns (%d)", ok ? 1 : 0);
  if (!ok) text.clear();
  return text;
}

ATG_ADVANCED_TRIGGER_FACTORY* SDR_TX_TRIGGER::compile_level(int level_index, const std::string& text,
                                                            const char* trigger_name) {
  if (text.empty() || !m_name_index_map) return nullptr;
  std::unique_ptr<ATG_ADVANCED_TRIGGER_FACTORY> factory(new ATG_ADVANCED_TRIGGER_FACTORY());
  factory->set_trigger_name(trigger_name);
  factory->set_trigger_level_index(level_index);
  factory->set_name_map(m_name_index_map.get());
  if (!ATG_ADVANCED_TRIGGER_UTILITY::create_expression_tree(text.c_str(), factory.get(), false)) {
    msg_local_vdebug("SDR", "ADV: Invalid advanced trigger expression is generated from get_equation");
    return nullptr;
  }
  return factory.release();
}

bool SDR_TX_TRIGGER::is_hdl_node() const {
  // The data trigger knows its instance before the session lists the group.
  SDR_DATA_SIGNAL_SET* set = m_data_trigger ? m_data_trigger->get_signal_set() : nullptr;
  SDR_DATA_INSTANCE* data_instance = set ? set->get_instance() : nullptr;
  if (!data_instance) {
    SDR_TX_INSTANCE* instance = m_tx_session ? m_tx_session->get_instance_at(m_instance_index) : nullptr;
    data_instance = instance ? instance->get_data_instance() : nullptr;
  }
  return data_instance && data_instance->is_trazio_hdl_node();
}

// ---------------------------------------------------------------- init

bool SDR_TX_TRIGGER::init() {
  SDR_TX_SIGNAL_NODES::init();
  m_trigger_position = SDR_TPOS_PRE;
  m_trigger_in_condition = SDR_TCOND_DONT_CARE;
  m_trigger_out_condition = SDR_TCOND_ACTIVE_HIGH;
  clear_level_records();
  m_name_index_map.reset();
  m_uniq_node_set.clear();
  m_uniq_node_set_stale = false;
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
  m_committed_crc = 0;
  m_crc_value_inheritable = false;
  return true;
}

bool SDR_TX_TRIGGER::init(SDR_DATA_SIGNAL_VIEW* setup_view) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "init");
  if (!SDR_CHECK_AS(setup_view != nullptr, "setup_view != NULL")) return false;
  const bool result = SDR_TX_SIGNAL_NODES::init(setup_view);
  // Every row read from the view may take a condition and keeps its name.
  rebuild_uniq_name_set();
  for (const auto& node : m_node_vec) note_trigger_wire_index(node.get());
  return result;
}

bool SDR_TX_TRIGGER::init(SDR_DATA_TRIGGER* d) {
  if (!SDR_CHECK_AS(d != nullptr, "data_trigger != NULL")) return init();
  SDR_DATA_SIGNAL_SET* set = d->get_signal_set();
  const bool result = set && set->get_setup_view() ? SDR_TX_SIGNAL_NODES::init(set->get_setup_view())
                                                   : SDR_TX_SIGNAL_NODES::init();
  rebuild_uniq_name_set();
  clear_level_records();
  if (!m_name_index_map) m_name_index_map.reset(new ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP());
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
  // A stored trigger keeps all its levels, even more than an edit may set.
  m_trigger_level = levels;
  grow_level_records(levels);
  const int width = set ? set->get_trigger_wire_width() : 0;
  m_trigger_wire_index_max = m_trigger_node_count = width;
  for (const auto& node : m_node_vec) note_trigger_wire_index(node.get());
  const char* name = d->get_name();
  for (int level = 0; level < levels; ++level) {
    TRIGGER_LEVEL_CONFIGURATION& record = m_trigger_level_config_vec[static_cast<size_t>(level)];
    record.conditions.assign(static_cast<size_t>(width), SDR_TCOND_DONT_CARE);
    for (int wire = 0; wire < width; ++wire)
      record.conditions[static_cast<size_t>(wire)] = d->get_condition(level, wire);
    record.enabled = d->is_trigger_level_enabled(level);
    record.m_is_basic_condition = d->is_trigger_level_basic_condition(level);
    SDR_DATA_TRIGGER_ADV_TREE_OBJ* root = d->get_advanced_trigger_tree_root(level);
    if (record.m_advanced_condition) {
      if (root && !root->is_null()) {
        SDR_TX_TREE_OBJECT::build_tx_object_tree_from_data_trigger(record.m_advanced_condition, root);
      } else if (!record.m_is_basic_condition) {
        ATG_ADVANCED_TRIGGER_FACTORY* compiled = d->get_advanced_trigger_factory(level);
        if (compiled && compiled->get_root()) {
          if (SDR_TX_TREE_OBJECT* child = record.m_advanced_condition->add_child())
            child->build_from_factory(compiled);
        }
      }
    }
    record.expression = text_of(d->get_advanced_trigger_expression(level));
    record.crc_text = text_of(d->get_advanced_trigger_crc_string(level));
    record.factory = compile_level(level, record.expression, name);
  }
  m_data_trigger = d;
  m_crc_value_inheritable = false;
  m_committed_crc = 0;
  if (is_hdl_node()) {
    m_committed_crc = d->get_crc_value();
    m_crc_value_inheritable = true;
  }
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
  if (SDR_CHECK_AS(static_cast<size_t>(m_trigger_level) <= m_trigger_level_config_vec.size(),
                   "static_cast<size_t>(m_trigger_level) <= m_trigger_level_config_vec.size()"))
    return true;
  grow_level_records(m_trigger_level);
  return false;
}

void SDR_TX_TRIGGER::save_properties(int level_index, TRIGGER_LEVEL_CONFIGURATION* record) {
  const TRIGGER_LEVEL_CONFIGURATION* level = level_record(level_index);
  if (!record || !SDR_CHECK_AS(level != nullptr, "level_index < m_trigger_level_config_vec.size()")) return;
  record->m_is_basic_condition = level->m_is_basic_condition;
  record->enabled = level->enabled;
}

bool SDR_TX_TRIGGER::restore_properties(int level_index, const TRIGGER_LEVEL_CONFIGURATION* record) {
  TRIGGER_LEVEL_CONFIGURATION* level = level_record(level_index);
  if (!record || !SDR_CHECK_AS(level != nullptr, "level_index < m_trigger_level_config_vec.size()"))
    return false;
  level->m_is_basic_condition = record->m_is_basic_condition;
  level->enabled = record->enabled;
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
  if (level_count < 1 || level_count > MAX_TRIGGER_LEVEL) return false;
  grow_level_records(level_count);
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
  if (!SDR_CHECK_AS(level_index >= 0, "level_index >= 0")) return false;
  const TRIGGER_LEVEL_CONFIGURATION* record = level_record(level_index);
  if (!record || record->m_is_basic_condition == basic) return false;
  if (m_tx_change_status) m_tx_change_status->m_trigger_level_changed = true;
  return change_level(level_index,
                      [&](TRIGGER_LEVEL_CONFIGURATION& level) { level.m_is_basic_condition = basic; });
}

bool SDR_TX_TRIGGER::set_trigger_level_enabled(int level_index, bool enabled) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_trigger_level_enabled");
  scope.add_argument(level_index);
  scope.add_argument(enabled);
  if (!SDR_CHECK_AS(level_index >= 0, "level_index >= 0")) return false;
  const TRIGGER_LEVEL_CONFIGURATION* record = level_record(level_index);
  if (!record || record->enabled == enabled) return false;
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
  // A group row has no trigger wire; a negative level is no level.
  if (!node || !captures_trigger(node->capture_type) || level_index < 0 || level_index >= m_trigger_level ||
      node->trigger_wire_index < 0 || static_cast<int>(condition) < 0 ||
      static_cast<int>(condition) > SDR_TCOND_DONT_CARE)
    return false;
  if (!SDR_CHECK_AS(node->trigger_wire_index <= m_trigger_wire_index_max,
                    "node->trigger_wire_index <= m_trigger_wire_index_max"))
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

bool SDR_TX_TRIGGER::set_trigger_level_adv_condition_modified(int level_index, bool modified,
                                                              bool check_compile) {
  if (!SDR_CHECK_AS(level_index >= 0, "level_index >= 0")) return false;
  TRIGGER_LEVEL_CONFIGURATION* record = level_record(level_index);
  if (!record) return false;
  if (!SDR_CHECK_AS(!record->m_is_basic_condition,
                    "!(m_trigger_level_config_vec[level_index].m_is_basic_condition)") ||
      !SDR_CHECK_AS(record->m_advanced_condition != nullptr,
                    "m_trigger_level_config_vec[level_index].m_advanced_condition != NULL"))
    return false;
  msg_local_vdebug("SDR", "ADV: level %d is modified (%d); check compilation compatibility (%d)", level_index,
                   modified ? 1 : 0, check_compile ? 1 : 0);
  bool compile = false;
  if (m_name_index_map && check_compile) {
    std::string text = level_equation(level_index);
    if (text != record->expression) {
      compile = true;
      record->expression = text;
      delete record->factory;
      record->factory = compile_level(level_index, text, get_name());
    }
  }
  if (record->factory && compile) {
    std::vector<ATG_ADVANCED_TRIGGER_OUTPUT*> roots;
    for (const TRIGGER_LEVEL_CONFIGURATION& r : m_trigger_level_config_vec)
      roots.push_back(r.factory ? r.factory->get_root() : nullptr);
    ATG_ADVANCED_TRIGGER_UTILITY::set_coordinated_latency_delay(roots.data(), static_cast<int>(roots.size()));
  }
  ATG_ADVANCED_TRIGGER_CRC_GENERATOR generator;
  for (TRIGGER_LEVEL_CONFIGURATION& r : m_trigger_level_config_vec)
    generator.create_advanced_trigger_crc(r.factory ? r.factory->get_root() : nullptr, &r.crc_text);
  if (!modified) {
    record->modified = record->compile = false;
  } else {
    record->modified = true;
    record->compile = record->compile || compile;
  }
  if (m_tx_change_status) {
    m_tx_change_status->m_adv_trigger_changed_full = m_tx_change_status->m_adv_trigger_changed = false;
    for (const TRIGGER_LEVEL_CONFIGURATION& r : m_trigger_level_config_vec) {
      if (r.m_is_basic_condition) continue;
      m_tx_change_status->m_adv_trigger_changed_full =
          m_tx_change_status->m_adv_trigger_changed_full || r.compile;
      m_tx_change_status->m_adv_trigger_changed = m_tx_change_status->m_adv_trigger_changed || r.modified;
    }
  }
  return false;
}

// ---------------------------------------------------------------- queries

bool SDR_TX_TRIGGER::is_trigger_level_basic_condition(int level_index) const {
  const TRIGGER_LEVEL_CONFIGURATION* record = level_record(level_index);
  return record ? record->m_is_basic_condition : true;
}

bool SDR_TX_TRIGGER::is_trigger_level_enabled(int level_index) const {
  const TRIGGER_LEVEL_CONFIGURATION* record = level_record(level_index);
  return record ? record->enabled : true;
}

SDR_TX_TREE_OBJECT* SDR_TX_TRIGGER::get_trigger_adv_condition_root(int level_index) const {
  const TRIGGER_LEVEL_CONFIGURATION* record = level_record(level_index);
  return record ? record->m_advanced_condition : nullptr;
}

ATG_ADVANCED_TRIGGER_FACTORY* SDR_TX_TRIGGER::get_advanced_trigger_condition_factory(int level_index) const {
  const TRIGGER_LEVEL_CONFIGURATION* record = level_record(level_index);
  return record ? record->factory : nullptr;
}

const char* SDR_TX_TRIGGER::get_trigger_adv_expression(int level_index) const {
  const TRIGGER_LEVEL_CONFIGURATION* record = level_record(level_index);
  return record ? record->expression.c_str() : "";
}

const char* SDR_TX_TRIGGER::get_trigger_adv_crc_text(int level_index) const {
  const TRIGGER_LEVEL_CONFIGURATION* record = level_record(level_index);
  return record ? record->crc_text.c_str() : "";
}

unsigned long SDR_TX_TRIGGER::get_adv_trigger_level_lcell_usage(int level_index) const {
  const TRIGGER_LEVEL_CONFIGURATION* record = level_record(level_index);
  if (!record || !record->factory || !record->factory->get_root()) return 0;
  ATG_ADVANCED_TRIGGER_LE_USAGE usage;
  const int cells = usage.get_estimated_le_usage(record->factory->get_root());
  return cells > 0 ? static_cast<unsigned long>(cells) : 0;
}

SDR_DATA_TRIGGER_CONDITION SDR_TX_TRIGGER::get_trigger_condition(int node_index, int level_index) {
  const NODE_TYPE* node = node_at(node_index);
  if (!node || !captures_trigger(node->capture_type) || level_index >= m_trigger_level) return NO_CONDITION;
  if (level_index < 0 || node->trigger_wire_index < 0) return SDR_TCOND_DONT_CARE;
  std::vector<int>& conditions = m_trigger_level_config_vec[static_cast<size_t>(level_index)].conditions;
  const size_t wire = static_cast<size_t>(node->trigger_wire_index);
  if (conditions.size() <= wire) conditions.resize(wire + 1, SDR_TCOND_DONT_CARE);
  return static_cast<SDR_DATA_TRIGGER_CONDITION>(conditions[wire]);
}

unsigned long SDR_TX_TRIGGER::get_commited_crc_value() const {
  return m_data_trigger ? m_data_trigger->get_crc_value() : 0;
}

int SDR_TX_TRIGGER::get_data_wire_width() {
  count_widths();
  return m_data_node_count;
}

int SDR_TX_TRIGGER::get_trigger_wire_width() {
  count_widths();
  return m_trigger_node_count;
}

void SDR_TX_TRIGGER::count_widths() {
  m_data_node_count = m_trigger_node_count = 0;
  for (const auto& node : m_node_vec) {
    if (is_group_type(node->display_type)) continue;
    if (captures_data(node->capture_type)) ++m_data_node_count;
    if (captures_trigger(node->capture_type)) ++m_trigger_node_count;
  }
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
  const int index = find_wire_node(name);
  if (index < 0) return false;
  const NODE_TYPE* node = node_at(index);
  return !is_group_type(node->display_type) && captures_trigger(node->capture_type) &&
         (any_tap || node->tap_mode == SDR_MTYPE_CLASSIC_TAP);
}

void SDR_TX_TRIGGER::check_compilation_type(bool* is_full, bool* is_pinwatch) {
  if (!SDR_CHECK_AS(is_full != nullptr, "is_full != NULL") ||
      !SDR_CHECK_AS(is_pinwatch != nullptr, "is_pinwatch != NULL"))
    return;
  *is_full = *is_pinwatch = false;
  if (!m_data_trigger || m_trigger_level != m_data_trigger->get_event_levels()) {
    *is_full = true;
    return;
  }
  // The rows against the committed wires.
  if (SDR_DATA_SIGNAL_SET* set = m_data_trigger->get_signal_set()) {
    for (const auto& node : m_node_vec) {
      if (*is_full) return;
      if (is_group_type(node->display_type)) continue;
      const SDR_DATA_SIGNAL_WIRE* wire = set->get_wire(node->name.c_str());
      bool* answer;
      if (!wire) {
        answer = node->tap_mode == SDR_MTYPE_PROBEONLY_TAP ? is_pinwatch : is_full;
      } else if (wire->get_tap_mode() != node->tap_mode) {
        answer = is_full;
      } else if (wire->get_capture_type() != node->capture_type) {
        answer = wire->get_tap_mode() == SDR_MTYPE_PROBEONLY_TAP ? is_pinwatch : is_full;
      } else if (wire->is_debug_port() != node->debug_port ||
                 text_of(wire->get_debug_port_name()) != node->debug_port_name) {
        answer = wire->get_tap_mode() == SDR_MTYPE_CLASSIC_TAP ? is_full : is_pinwatch;
      } else {
        continue;
      }
      *answer = true;
    }
    // Wires whose node is gone: names of rows, not aliases or group names.
    std::unordered_set<std::string> names;
    for (const auto& node : m_node_vec)
      if (!is_group_type(node->display_type)) names.insert(node->name);
    auto gone = [&](const SDR_DATA_SIGNAL_WIRE* wire) {
      if (!wire || *is_full || names.count(text_of(wire->get_name()))) return;
      *(wire->get_tap_mode() != SDR_MTYPE_CLASSIC_TAP ? is_pinwatch : is_full) = true;
    };
    for (int i = 0; i < set->get_data_wire_width(); ++i) gone(set->get_data_wire_at(i));
    for (int i = 0; i < set->get_trigger_wire_width(); ++i) gone(set->get_trigger_wire_at(i));
    if (*is_full) return;
  }
  // The levels against the committed ones.
  bool any_advanced = false;
  for (int level = 0; level < m_trigger_level; ++level) {
    const bool basic = is_trigger_level_basic_condition(level);
    if (basic != m_data_trigger->is_trigger_level_basic_condition(level)) {
      *is_full = true;
      return;
    }
    any_advanced = any_advanced || !basic;
  }
  if (!any_advanced || !m_tx_change_status || !m_tx_change_status->m_adv_trigger_changed_full) return;
  for (int level = 0; level < m_trigger_level && !*is_full; ++level) {
    const TRIGGER_LEVEL_CONFIGURATION& record = m_trigger_level_config_vec[static_cast<size_t>(level)];
    if (record.m_is_basic_condition) continue;
    const char* committed = m_data_trigger->get_advanced_trigger_crc_string(level);
    if (!record.crc_text.empty() && committed && *committed)
      *is_full = record.crc_text != committed;
    else
      *is_full = record.factory != nullptr || m_data_trigger->get_advanced_trigger_factory(level) != nullptr;
  }
}

bool SDR_TX_TRIGGER::is_signal_compatible(SDR_DATA_SIGNAL_SET* signal_set) const {
  if (!m_tx_change_status ||
      !(m_tx_change_status->m_node_changed_full || m_tx_change_status->m_node_changed_pinwatch))
    return true;
  if (!signal_set) return false;
  // Every row is a wire of the set and every wire a row; group names and
  // aliases name no wire.
  int rows = 0;
  for (const auto& node : m_node_vec) {
    if (is_group_type(node->display_type)) continue;
    ++rows;
    const SDR_DATA_SIGNAL_WIRE* wire = signal_set->get_wire(node->name.c_str());
    if (!wire || wire->get_capture_type() != node->capture_type || wire->get_tap_mode() != node->tap_mode)
      return false;
  }
  return rows == signal_set->get_wire_size();
}

// ---------------------------------------------------------------- node list

std::set<std::string>& SDR_TX_TRIGGER::uniq_names() {
  if (m_uniq_node_set_stale) {
    m_uniq_node_set_stale = false;
    m_uniq_node_set.clear();
    for (const auto& node : m_node_vec) add_names(node.get());
  }
  return m_uniq_node_set;
}

void SDR_TX_TRIGGER::add_names(const NODE_TYPE* node) {
  // A stale set is rebuilt from the rows as they will be then.
  if (!node || m_uniq_node_set_stale) return;
  if (!node->name.empty()) m_uniq_node_set.insert(node->name);
  if (!node->alias.empty()) m_uniq_node_set.insert(node->alias);
}

void SDR_TX_TRIGGER::remove_names(const NODE_TYPE* node) {
  if (!node || m_uniq_node_set_stale) return;
  m_uniq_node_set.erase(node->name);
  if (!node->alias.empty()) m_uniq_node_set.erase(node->alias);
}

void SDR_TX_TRIGGER::note_trigger_wire_index(const NODE_TYPE* node) {
  if (node && node->trigger_wire_index > m_trigger_wire_index_max)
    m_trigger_wire_index_max = node->trigger_wire_index;
}

void SDR_TX_TRIGGER::rebuild_uniq_name_set() {
  // Undoing many appends would otherwise rebuild the set once per row.
  m_uniq_node_set_stale = true;
  if (!is_replaying()) uniq_names();
}

bool SDR_TX_TRIGGER::is_node_deletable(int) {
  return true;
}

bool SDR_TX_TRIGGER::append_node(const char* name, SDR_DATA_SIGNAL_TYPE signal_type,
                                 SDR_DATA_WIRE_TAP_MODE tap_mode) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "append_node");
  scope.add_argument(name);
  scope.add_argument(signal_type);
  scope.add_argument(tap_mode);
  if (!SDR_CHECK_AS(name != nullptr, "name != NULL") || !*name || uniq_names().count(name)) return false;
  if (!SDR_TX_SIGNAL_NODES::append_node(name, signal_type, tap_mode)) return false;
  const NODE_TYPE* node = node_at(get_node_count() - 1);
  SDR_CHECK_AS(uniq_names().insert(name).second, "m_uniq_node_set->insert( name ).second");
  // Every appended row may take a condition, in a new instance too.
  note_trigger_wire_index(node);
  if (m_tx_the_other_signal_nodes) m_tx_the_other_signal_nodes->append_node(name, signal_type, tap_mode);
  return true;
}

bool SDR_TX_TRIGGER::delete_node(const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "delete_node");
  scope.add_argument(name);
  if (!name) return false;
  const int index = find_wire_node(name);
  if (index < 0) return false;
  NODE_TYPE copy = *node_at(index);
  if (!SDR_TX_SIGNAL_NODES::delete_node(name)) return false;
  remove_names(&copy);
  if (m_tx_the_other_signal_nodes) m_tx_the_other_signal_nodes->delete_node(name);
  return true;
}

int SDR_TX_TRIGGER::delete_node(int first, int last) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "delete_node");
  scope.add_argument(first);
  scope.add_argument(last);
  if (!SDR_CHECK_AS(first >= 0 && last >= 0, "first_index >= 0 && last_index >= 0")) return 0;
  if (first > last) std::swap(first, last);
  if (last >= get_node_count()) return 0;
  SDR_TX_SIGNAL_NODES* other = m_tx_the_other_signal_nodes;
  const bool replaying = m_tx_undo_manager && m_tx_undo_manager->is_undo_redo_in_progress();
  // From the end, so that an ungrouping that reaches back here moves only
  // the rows already passed.
  std::vector<std::string> names;
  for (int i = last; i >= first && other; --i) {
    const NODE_TYPE* node = node_at(i);
    if (!is_group_type(node->display_type)) {
      names.push_back(node->name);
      continue;
    }
    if (node->group_linking == SDR_LTYPE_NONE || replaying) continue;
    const int j = other->find_group_node(node->name.c_str());
    if (j < 0) continue;
    other->push_node_image(j);
    const int before = get_node_count();
    other->ungroup_node(j);
    // A linked group is ungrouped on both tabs: the range lost this row.
    if (get_node_count() < before) --last;
  }
  if (last < first) {
    rebuild_uniq_name_set();
    return 0;
  }
  const int removed = SDR_TX_SIGNAL_NODES::delete_node(first, last);
  rebuild_uniq_name_set();
  if (removed > 0 && other)
    for (const std::string& name : names) other->delete_node(name.c_str());
  return removed;
}

bool SDR_TX_TRIGGER::group_node(int first, int last, NODE_TYPE* group) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "group_node");
  scope.add_argument(first);
  scope.add_argument(last);
  if (!SDR_CHECK_AS(first >= 0 && last >= 0, "first_index >= 0 && last_index >= 0")) return false;
  if (first > last) std::swap(first, last);
  // The names before the group row joins them.
  uniq_names();
  if (!SDR_TX_SIGNAL_NODES::group_node(first, last, group)) return false;
  NODE_TYPE* row = node_at(first);
  if (!row) return false;
  if (uniq_names().count(row->name)) {
    const std::string base = row->name;
    std::string candidate;
    for (int n = 1;; ++n) {
      char suffix[32];
      std::snprintf(suffix, sizeof suffix, " (%d)", n);
      candidate = base + suffix;
      if (!uniq_names().count(candidate)) break;
    }
    SDR_TX_SIGNAL_NODES::set_group_node_name(first, candidate.c_str());
  }
  add_names(node_at(first));
  return true;
}

bool SDR_TX_TRIGGER::ungroup_node(int index) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "ungroup_node");
  scope.add_argument(index);
  const NODE_TYPE* node = node_at(index);
  if (!node || !is_group_type(node->display_type)) return false;
  NODE_TYPE copy = *node;
  if (!SDR_TX_SIGNAL_NODES::ungroup_node(index)) return false;
  remove_names(&copy);
  return true;
}

bool SDR_TX_TRIGGER::set_group_node_name(int index, const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_group_node_name");
  scope.add_argument(index);
  scope.add_argument(name);
  if (!SDR_CHECK_AS(name != nullptr && *name, "name != NULL && gen_strlen( name ) > 0")) return false;
  NODE_TYPE* node = node_at(index);
  if (!node || node->name == name || uniq_names().count(name)) return false;
  const std::string old_name = node->name;
  uniq_names().erase(old_name);
  if (!SDR_TX_SIGNAL_NODES::set_group_node_name(index, name)) {
    uniq_names().insert(old_name);
    return false;
  }
  uniq_names().insert(node_at(index)->name);
  return true;
}

bool SDR_TX_TRIGGER::set_node_name(int index, const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_node_name");
  scope.add_argument(index);
  scope.add_argument(name);
  NODE_TYPE* node = node_at(index);
  if (!node || !name || !*name || uniq_names().count(name)) return false;
  if (node->display_type != SDR_DTYPE_STANDALONE_NODE && node->display_type != SDR_DTYPE_GROUP_MEMBER_NODE &&
      node->display_type != SDR_DTYPE_LAST_GROUP_MEMBER_NODE)
    return false;
  const std::string old_name = node->name;
  uniq_names().erase(old_name);
  if (!SDR_TX_SIGNAL_NODES::set_node_name(index, name) || node_at(index)->name.empty()) {
    uniq_names().insert(old_name);
    return false;
  }
  uniq_names().insert(name);
  if (m_tx_the_other_signal_nodes && !m_renaming_for_other)
    m_tx_the_other_signal_nodes->rename_all_node_name(old_name.c_str(), name);
  return true;
}

bool SDR_TX_TRIGGER::set_node_alias(int index, const char* alias) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_node_alias");
  scope.add_argument(index);
  scope.add_argument(alias);
  NODE_TYPE* node = node_at(index);
  if (!node || !alias || node->alias == alias || (*alias && uniq_names().count(alias))) return false;
  const std::string old_alias = node->alias;
  if (!SDR_TX_SIGNAL_NODES::set_node_alias(index, alias)) return false;
  if (!old_alias.empty()) uniq_names().erase(old_alias);
  if (*alias) uniq_names().insert(alias);
  node = node_at(index);
  SDR_TX_SIGNAL_NODES* other = m_tx_the_other_signal_nodes;
  if (other && !m_renaming_for_other && !is_group_type(node->display_type)) {
    // The rows of this node on the data tab, found by name: an old alias
    // that is empty would name every row without one.
    for (int i = 0; i < other->get_node_count(); ++i) {
      if (is_group_type(other->get_node_display_type(i))) continue;
      const char* row_name = other->get_node_name(i);
      if (row_name && node->name == row_name) other->SDR_TX_SIGNAL_NODES::set_node_alias(i, alias);
    }
  }
  return true;
}

int SDR_TX_TRIGGER::copy_before_node(int first, int last, int before, bool into_group) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "copy_before_node");
  scope.add_argument(first);
  scope.add_argument(last);
  scope.add_argument(before);
  scope.add_argument(into_group);
  // Nodes are not copied on the setup tab.
  return -1;
}

bool SDR_TX_TRIGGER::rename_node_name(const char* old_name, const char* new_name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "rename_node_name");
  scope.add_argument(old_name);
  scope.add_argument(new_name);
  if (!SDR_CHECK_AS(old_name != nullptr, "old_name != NULL") || !*old_name) return false;
  for (int i = 0; i < get_node_count(); ++i) {
    const NODE_TYPE* node = node_at(i);
    if (is_group_type(node->display_type) || (node->name != old_name && node->alias != old_name)) continue;
    m_renaming_for_other = true;
    const bool ok = set_node_name(i, new_name);
    m_renaming_for_other = false;
    return ok;
  }
  return false;
}

bool SDR_TX_TRIGGER::rename_node_alias(const char* old_alias, const char* new_alias) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "rename_node_alias");
  scope.add_argument(old_alias);
  scope.add_argument(new_alias);
  if (!SDR_CHECK_AS(old_alias != nullptr, "old_alias != NULL") || !*old_alias) return false;
  for (int i = 0; i < get_node_count(); ++i) {
    const NODE_TYPE* node = node_at(i);
    if (is_group_type(node->display_type) || (node->name != old_alias && node->alias != old_alias)) continue;
    m_renaming_for_other = true;
    const bool ok = set_node_alias(i, new_alias);
    m_renaming_for_other = false;
    return ok;
  }
  return false;
}

void SDR_TX_TRIGGER::set_instance_index(int index) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_instance_index");
  scope.add_argument(index);
  m_instance_index = index;
}

void SDR_TX_TRIGGER::recount_data_trigger_width() {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "recount_data_trigger_width");
  count_widths();
}

void SDR_TX_TRIGGER::sync_upon_capture_type_change() {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "sync_upon_capture_type_change");
  if (!m_capture_type_changed) return;
  SDR_TX_SIGNAL_NODES* other = m_tx_the_other_signal_nodes;
  {
    // The mirroring is no user edit of its own: an empty action.
    SDR_TX_UNDO_MANAGER* own = m_tx_undo_manager;
    if (own && (own->is_action_open() || own->is_undo_redo_in_progress())) own = nullptr;
    SDR_TX_ACTION_BRACKET bracket(own);
    SDR_TX_REPLAY_GUARD quiet(m_tx_undo_manager);
    for (const auto& node : m_node_vec) {
      if (!node->mark) continue;
      node->mark = false;
      if (!other || is_group_type(node->display_type)) continue;
      if (node->capture_type == SDR_CTYPE_TRIGGER)
        other->delete_node(node->name.c_str());
      else
        other->append_node_uniq_name(node.get());
    }
  }
  m_capture_type_changed = false;
}

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
      const std::string text = level_equation(level);
      record.expression = text;
      const bool compiled = d->set_advanced_trigger_expression(index, text.c_str());
      SDR_CHECK_AS(text.empty() || compiled, "Invalid advanced trigger condition expression");
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
