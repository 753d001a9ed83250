// Transaction trigger: the trigger properties and level records of one
// instance and the compilation answers. The setup-tab node list is in
// sdr_tx_trigger_nodes.cpp, the commit into a data trigger and the undo
// actions in sdr_tx_trigger_commit.cpp.

#include "sdr_tx_trigger.h"

#include <algorithm>
#include <vector>

#include "atg_compiler.h"
#include "cfg_service.h"
#include "msg_service.h"
#include "sdr_data_instance.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_internal.h"
#include "sdr_tx_row_wire.h"
#include "sdr_tx_session.h"
#include "sdr_tx_signal_set.h"
#include "sdr_tx_tree_object.h"
#include "sdr_tx_trigger_internal.h"
#include "sdr_tx_undo_manager.h"

namespace {

bool captures_data(SDR_DATA_WIRE_CAPTURE_TYPE type) {
  return type == SDR_CTYPE_DATA || type == SDR_CTYPE_BOTH;
}

const SDR_DATA_TRIGGER_CONDITION NO_CONDITION = static_cast<SDR_DATA_TRIGGER_CONDITION>(9);

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
  // The renames found trees that are gone.
  m_signal_renames.clear();
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
    // The wires some row names exactly, by their places in the two lists:
    // when that is every wire, none is gone and the walk of the wires
    // below, a lookup in the name counts for each, is not needed.
    const int data_width = set->get_data_wire_width();
    const int trigger_width = set->get_trigger_wire_width();
    std::vector<unsigned char> named(static_cast<size_t>(data_width + trigger_width), 0);
    int named_count = 0;
    auto mark = [&](int place, int width, int offset) {
      if (place < 0 || place >= width || named[static_cast<size_t>(offset + place)]) return;
      named[static_cast<size_t>(offset + place)] = 1;
      ++named_count;
    };
    for (const auto& node : m_node_vec) {
      if (*is_full) return;
      if (is_group_type(node->display_type)) continue;
      const SDR_DATA_SIGNAL_WIRE* wire = sdr_tx_row_wire(set, node->name.c_str(), node.get());
      if (wire && wire->get_name() && node->name.compare(wire->get_name()) == 0) {
        const int d = wire->get_data_wire_index();
        if (set->get_data_wire_at(d) == wire) mark(d, data_width, 0);
        const int t = wire->get_trigger_wire_index();
        if (set->get_trigger_wire_at(t) == wire) mark(t, trigger_width, data_width);
      }
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
    // Wires whose node is gone: names of rows, not aliases or group names
    // (the list's name counts, kept with every edit).
    auto gone = [&](const SDR_DATA_SIGNAL_WIRE* wire) {
      if (!wire || *is_full || count_net_name(text_of(wire->get_name()).c_str()) > 0) return;
      *(wire->get_tap_mode() != SDR_MTYPE_CLASSIC_TAP ? is_pinwatch : is_full) = true;
    };
    if (named_count < data_width + trigger_width) {
      for (int i = 0; i < set->get_data_wire_width(); ++i) gone(set->get_data_wire_at(i));
      for (int i = 0; i < set->get_trigger_wire_width(); ++i) gone(set->get_trigger_wire_at(i));
    }
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
    const SDR_DATA_SIGNAL_WIRE* wire = sdr_tx_row_wire(signal_set, node->name.c_str(), node.get());
    if (!wire || wire->get_capture_type() != node->capture_type || wire->get_tap_mode() != node->tap_mode)
      return false;
  }
  return rows == signal_set->get_wire_size();
}
