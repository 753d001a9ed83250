// Transaction signal set: the settings of the data tab, their links to
// other instances, the data tab's node-list rules, the commit into the data
// signal set, and the undo action of a settings change.

#include "sdr_tx_signal_set.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "sdr_data_instance.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_internal.h"
#include "sdr_tx_session.h"
#include "sdr_tx_trigger.h"
#include "sdr_tx_undo_manager.h"

namespace {

const char TRIGGER_IN_SUFFIX[] = "|trigger_in";
const char TRIGGER_OUT_SUFFIX[] = "|trigger_out";

std::string text_or_empty(const char* text) {
  return text ? text : "";
}

}  // namespace

SDR_TX_SIGNAL_SET::SDR_TX_SIGNAL_SET(int index, SDR_TX_SESSION* session, SDR_TX_UNDO_MANAGER* undo_manager,
                                     SDR_TX_CHANGE_STATUS* change_status, SDR_TX_SCRIPT_RECORDER* recorder)
    : SDR_TX_SIGNAL_NODES(index, undo_manager, change_status, recorder, false), m_tx_session(session) {
  init();
}

SDR_TX_SIGNAL_SET::SDR_TX_SIGNAL_SET(int index, SDR_TX_SESSION* session, SDR_DATA_SIGNAL_SET* signal_set,
                                     SDR_TX_UNDO_MANAGER* undo_manager, SDR_TX_CHANGE_STATUS* change_status,
                                     SDR_TX_SCRIPT_RECORDER* recorder)
    : SDR_TX_SIGNAL_NODES(index, undo_manager, change_status, recorder, false), m_tx_session(session) {
  init(signal_set);
}

SDR_TX_SIGNAL_SET::~SDR_TX_SIGNAL_SET() = default;

const char* SDR_TX_SIGNAL_SET::get_name() const {
  return m_data_signal_set ? m_data_signal_set->get_name() : nullptr;
}

bool SDR_TX_SIGNAL_SET::init() {
  m_data_signal_set = nullptr;
  m_clock_source.clear();
  m_clock_negedge = false;
  m_trigger_in_enabled = m_trigger_out_enabled = false;
  m_trigger_in_node.clear();
  m_trigger_out_node.clear();
  m_trigger_in_pin.clear();
  m_trigger_out_pin.clear();
  m_top_entity_name.clear();
  m_sample_depth = 128;
  m_reserved_data_node_size = m_reserved_trigger_node_size = 0;
  m_kalvos_ram_type = SDR_RAM_RAMBASE;
  return SDR_TX_SIGNAL_NODES::init();
}

bool SDR_TX_SIGNAL_SET::init(SDR_DATA_SIGNAL_SET* signal_set) {
  if (!SDR_CHECK_AS(signal_set != nullptr, "signal_set != NULL")) return init();
  m_data_signal_set = signal_set;
  m_clock_source = text_or_empty(signal_set->get_clock_name());
  m_clock_negedge = signal_set->get_clock_polarity() == SDR_DATA_SIGNAL_SET::NEGEDGE;
  m_trigger_in_enabled = signal_set->is_trigger_in_enabled();
  m_trigger_out_enabled = signal_set->is_trigger_out_enabled();
  m_trigger_in_pin = text_or_empty(signal_set->get_trigger_in_pin());
  m_trigger_in_node = text_or_empty(signal_set->get_trigger_in_node());
  m_trigger_out_pin = text_or_empty(signal_set->get_trigger_out_pin());
  m_trigger_out_node = text_or_empty(signal_set->get_trigger_out_node());
  m_sample_depth = signal_set->get_sample_depth();
  m_kalvos_ram_type = signal_set->get_kalvos_ram_type();
  m_reserved_data_node_size = signal_set->get_reserved_data_node_size();
  m_reserved_trigger_node_size = signal_set->get_reserved_trigger_node_size();
  m_top_entity_name = text_or_empty(signal_set->get_top_entity_name());
  return SDR_TX_SIGNAL_NODES::init(signal_set->get_data_view());
}

void SDR_TX_SIGNAL_SET::save_properties(SIGNAL_SET_PROPERTIES* properties) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "save_properties");
  if (!properties) return;
  properties->clock_source = m_clock_source;
  properties->trigger_in_enabled = m_trigger_in_enabled;
  properties->trigger_out_enabled = m_trigger_out_enabled;
  properties->trigger_in_node = m_trigger_in_node;
  properties->trigger_out_node = m_trigger_out_node;
  properties->trigger_in_pin = m_trigger_in_pin;
  properties->trigger_out_pin = m_trigger_out_pin;
  properties->top_entity_name = m_top_entity_name;
  properties->sample_depth = m_sample_depth;
  properties->reserved_data_node_size = m_reserved_data_node_size;
  properties->reserved_trigger_node_size = m_reserved_trigger_node_size;
  properties->kalvos_ram_type = m_kalvos_ram_type;
}

bool SDR_TX_SIGNAL_SET::restore_properties(const SIGNAL_SET_PROPERTIES* p) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "restore_properties");
  if (!p) return false;
  m_clock_source = p->clock_source;
  m_top_entity_name = p->top_entity_name;
  m_sample_depth = p->sample_depth;
  m_reserved_data_node_size = p->reserved_data_node_size;
  m_reserved_trigger_node_size = p->reserved_trigger_node_size;
  m_kalvos_ram_type = p->kalvos_ram_type;
  if (p->trigger_in_enabled != m_trigger_in_enabled) set_trigger_in_enabled(p->trigger_in_enabled);
  if (p->trigger_out_enabled != m_trigger_out_enabled) set_trigger_out_enabled(p->trigger_out_enabled);
  // Setters re-establish links to other instances.
  // A link that goes away is undone on the partner as well.
  if (!p->trigger_in_node.empty() && p->trigger_in_node != m_trigger_in_node) {
    set_trigger_in_node(p->trigger_in_node.c_str());
  } else {
    if (p->trigger_in_node.empty() && !m_trigger_in_node.empty()) unlink_trigger_out_from_in(true, true);
    m_trigger_in_node = p->trigger_in_node;
  }
  if (!p->trigger_out_node.empty() && p->trigger_out_node != m_trigger_out_node) {
    set_trigger_out_node(p->trigger_out_node.c_str());
  } else {
    if (p->trigger_out_node.empty() && !m_trigger_out_node.empty()) unlink_trigger_in_from_out(true, true);
    m_trigger_out_node = p->trigger_out_node;
  }
  if (!p->trigger_in_pin.empty() && p->trigger_in_pin != m_trigger_in_pin)
    set_trigger_in_pin(p->trigger_in_pin.c_str());
  else
    m_trigger_in_pin = p->trigger_in_pin;
  if (!p->trigger_out_pin.empty() && p->trigger_out_pin != m_trigger_out_pin)
    set_trigger_out_pin(p->trigger_out_pin.c_str());
  else
    m_trigger_out_pin = p->trigger_out_pin;
  return true;
}

template <class APPLY>
bool SDR_TX_SIGNAL_SET::change_setting(APPLY apply) {
  std::unique_ptr<SIGNAL_SET_PROPERTIES> old_properties(new SIGNAL_SET_PROPERTIES());
  save_properties(old_properties.get());
  if (m_tx_change_status) m_tx_change_status->m_signal_set_changed = true;
  apply();
  std::unique_ptr<SIGNAL_SET_PROPERTIES> new_properties(new SIGNAL_SET_PROPERTIES());
  save_properties(new_properties.get());
  if (m_tx_undo_manager)
    m_tx_undo_manager->add_atomic_action(
        new SDR_TX_UNDO_ACTION_SET_SIGNALSET(this, *old_properties, *new_properties));
  return true;
}

bool SDR_TX_SIGNAL_SET::set_clock_source(const char* clock_name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_clock_source");
  scope.add_argument(clock_name);
  if (!SDR_CHECK_AS(clock_name != nullptr, "clock_name != NULL") || m_clock_source == clock_name)
    return false;
  return change_setting([&] { m_clock_source = clock_name; });
}

std::string SDR_TX_SIGNAL_SET::auto_port_name(const char* base) const {
  int hardware_index = 0;
  if (m_tx_session) {
    if (SDR_TX_INSTANCE* instance = m_tx_session->get_instance_at(m_instance_index))
      hardware_index = instance->get_node_info().instance_index;
  }
  return std::string(base) + "_" + std::to_string(hardware_index);
}

bool SDR_TX_SIGNAL_SET::set_trigger_in_enabled(bool enabled) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_trigger_in_enabled");
  scope.add_argument(enabled);
  if (m_trigger_in_enabled == enabled) return false;
  return change_setting([&] {
    m_trigger_in_enabled = enabled;
    if (!enabled)
      unlink_trigger_out_from_in(true, false);
    else if (m_trigger_in_node.empty() && m_trigger_in_pin.empty())
      m_trigger_in_pin = auto_port_name("auto_tzo_trigger_in");
    else
      link_trigger_in_to_out(true, false);
  });
}

bool SDR_TX_SIGNAL_SET::set_trigger_out_enabled(bool enabled) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_trigger_out_enabled");
  scope.add_argument(enabled);
  if (m_trigger_out_enabled == enabled) return false;
  return change_setting([&] {
    m_trigger_out_enabled = enabled;
    if (!enabled)
      unlink_trigger_in_from_out(true, false);
    else if (m_trigger_out_node.empty() && m_trigger_out_pin.empty())
      m_trigger_out_pin = auto_port_name("auto_tzo_trigger_out");
    else
      link_trigger_out_to_in(true, false);
  });
}

bool SDR_TX_SIGNAL_SET::set_trigger_in_node(const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_trigger_in_node");
  scope.add_argument(name);
  if (!SDR_CHECK_AS(name != nullptr, "trigger_in_name != NULL") || m_trigger_in_node == name) return false;
  return change_setting([&] {
    unlink_trigger_out_from_in(true, true);
    m_trigger_in_node = name;
    m_trigger_in_pin.clear();
    link_trigger_in_to_out(true, true);
  });
}

bool SDR_TX_SIGNAL_SET::set_trigger_out_node(const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_trigger_out_node");
  scope.add_argument(name);
  if (!SDR_CHECK_AS(name != nullptr, "trigger_out_name != NULL") || m_trigger_out_node == name) return false;
  return change_setting([&] {
    unlink_trigger_in_from_out(true, true);
    m_trigger_out_node = name;
    m_trigger_out_pin.clear();
    link_trigger_out_to_in(true, true);
  });
}

bool SDR_TX_SIGNAL_SET::set_trigger_in_pin(const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_trigger_in_pin");
  scope.add_argument(name);
  if (!SDR_CHECK_AS(name != nullptr, "trigger_in_name != NULL") || m_trigger_in_pin == name) return false;
  return change_setting([&] {
    m_trigger_in_pin = name;
    if (!m_trigger_in_pin.empty() && !m_trigger_in_node.empty()) {
      unlink_trigger_out_from_in(true, true);
      m_trigger_in_node.clear();
    }
  });
}

bool SDR_TX_SIGNAL_SET::set_trigger_out_pin(const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_trigger_out_pin");
  scope.add_argument(name);
  if (!SDR_CHECK_AS(name != nullptr, "trigger_out_name != NULL") || m_trigger_out_pin == name) return false;
  return change_setting([&] {
    m_trigger_out_pin = name;
    if (!m_trigger_out_pin.empty() && !m_trigger_out_node.empty()) {
      unlink_trigger_in_from_out(true, true);
      m_trigger_out_node.clear();
    }
  });
}

bool SDR_TX_SIGNAL_SET::set_top_entity_name(const char* entity_name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_top_entity_name");
  scope.add_argument(entity_name);
  if (!SDR_CHECK_AS(entity_name != nullptr, "entity_name != NULL") || m_top_entity_name == entity_name)
    return false;
  return change_setting([&] { m_top_entity_name = entity_name; });
}

bool SDR_TX_SIGNAL_SET::set_sample_depth(int depth) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_sample_depth");
  scope.add_argument(depth);
  if (m_sample_depth == depth) return false;
  return change_setting([&] { m_sample_depth = depth; });
}

bool SDR_TX_SIGNAL_SET::set_reserved_data_node_size(int size) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_reserved_data_node_size");
  scope.add_argument(size);
  if (m_reserved_data_node_size == size) return false;
  return change_setting([&] { m_reserved_data_node_size = size; });
}

bool SDR_TX_SIGNAL_SET::set_reserved_trigger_node_size(int size) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_reserved_trigger_node_size");
  scope.add_argument(size);
  if (m_reserved_trigger_node_size == size) return false;
  return change_setting([&] { m_reserved_trigger_node_size = size; });
}

bool SDR_TX_SIGNAL_SET::set_kalvos_ram_type(SDR_KALVOS_RAM_TYPE ram_type) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_kalvos_ram_type");
  scope.add_argument(ram_type);
  // Only the stored types: the "no instance" answer is never a setting.
  if (ram_type < SDR_RAM_AUTO || ram_type > SDR_RAM_RAMGRAND || m_kalvos_ram_type == ram_type) return false;
  return change_setting([&] { m_kalvos_ram_type = ram_type; });
}

bool SDR_TX_SIGNAL_SET::set_expanded_status(bool expanded) {
  return m_data_signal_set && m_data_signal_set->set_expanded_status(expanded);
}

bool SDR_TX_SIGNAL_SET::is_expanded() const {
  return m_data_signal_set ? m_data_signal_set->is_expanded() : true;
}

const char* SDR_TX_SIGNAL_SET::get_trigger_in_source() const {
  if (!m_trigger_in_node.empty()) return m_trigger_in_node.c_str();
  return m_trigger_in_pin.empty() ? nullptr : m_trigger_in_pin.c_str();
}

const char* SDR_TX_SIGNAL_SET::get_trigger_out_source() const {
  if (!m_trigger_out_node.empty()) return m_trigger_out_node.c_str();
  return m_trigger_out_pin.empty() ? nullptr : m_trigger_out_pin.c_str();
}

// ---------------------------------------------------------------- links

SDR_TX_SIGNAL_SET* SDR_TX_SIGNAL_SET::find_linked(const std::string& node, const char* suffix) const {
  const size_t length = std::strlen(suffix);
  if (!m_tx_session || node.size() < length || node.compare(node.size() - length, length, suffix) != 0)
    return nullptr;
  const std::string name = node.substr(0, node.size() - length);
  const int index = m_tx_session->find_instance_index(name.c_str());
  SDR_TX_SIGNAL_SET* other = m_tx_session->get_signal_set_at(index);
  return other == this ? nullptr : other;
}

namespace {

// Sets a field of another instance's working copy and its flag 5 when it
// changes.
template <class T>
void set_linked(SDR_TX_SIGNAL_SET* other, T* field, const T& value, SDR_TX_CHANGE_STATUS* status) {
  if (*field == value) return;
  *field = value;
  if (status) status->m_signal_set_changed = true;
  (void)other;
}

}  // namespace

void SDR_TX_SIGNAL_SET::link_trigger_in_to_out(bool set_enable, bool set_name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "link_trigger_in_to_out");
  scope.add_argument(set_enable);
  scope.add_argument(set_name);
  SDR_TX_SIGNAL_SET* other = find_linked(m_trigger_in_node, TRIGGER_OUT_SUFFIX);
  if (!other) return;
  if (set_enable)
    set_linked(other, &other->m_trigger_out_enabled, m_trigger_in_enabled, other->m_tx_change_status);
  if (set_name) {
    const char* own_name = m_tx_session->get_instance_at(m_instance_index)->get_name();
    set_linked(other, &other->m_trigger_out_node, text_or_empty(own_name) + TRIGGER_IN_SUFFIX,
               other->m_tx_change_status);
    other->m_trigger_out_pin.clear();
  }
}

void SDR_TX_SIGNAL_SET::link_trigger_out_to_in(bool set_enable, bool set_name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "link_trigger_out_to_in");
  scope.add_argument(set_enable);
  scope.add_argument(set_name);
  SDR_TX_SIGNAL_SET* other = find_linked(m_trigger_out_node, TRIGGER_IN_SUFFIX);
  if (!other) return;
  if (set_enable)
    set_linked(other, &other->m_trigger_in_enabled, m_trigger_out_enabled, other->m_tx_change_status);
  if (set_name) {
    const char* own_name = m_tx_session->get_instance_at(m_instance_index)->get_name();
    set_linked(other, &other->m_trigger_in_node, text_or_empty(own_name) + TRIGGER_OUT_SUFFIX,
               other->m_tx_change_status);
    other->m_trigger_in_pin.clear();
  }
}

void SDR_TX_SIGNAL_SET::unlink_trigger_out_from_in(bool set_enable, bool set_name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "unlink_trigger_out_from_in");
  scope.add_argument(set_enable);
  scope.add_argument(set_name);
  SDR_TX_SIGNAL_SET* other = find_linked(m_trigger_in_node, TRIGGER_OUT_SUFFIX);
  if (!other) return;
  if (set_enable) set_linked(other, &other->m_trigger_out_enabled, false, other->m_tx_change_status);
  if (set_name) set_linked(other, &other->m_trigger_out_node, std::string(), other->m_tx_change_status);
}

void SDR_TX_SIGNAL_SET::unlink_trigger_in_from_out(bool set_enable, bool set_name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "unlink_trigger_in_from_out");
  scope.add_argument(set_enable);
  scope.add_argument(set_name);
  SDR_TX_SIGNAL_SET* other = find_linked(m_trigger_out_node, TRIGGER_IN_SUFFIX);
  if (!other) return;
  if (set_enable) set_linked(other, &other->m_trigger_in_enabled, false, other->m_tx_change_status);
  if (set_name) set_linked(other, &other->m_trigger_in_node, std::string(), other->m_tx_change_status);
}

// ---------------------------------------------------------------- node list

SDR_TX_TRIGGER* SDR_TX_SIGNAL_SET::get_tx_trigger() const {
  return m_tx_session ? m_tx_session->get_trigger_at(m_instance_index) : nullptr;
}

bool SDR_TX_SIGNAL_SET::append_node(const char* name, SDR_DATA_SIGNAL_TYPE signal_type,
                                    SDR_DATA_WIRE_TAP_MODE tap_mode) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "append_node");
  scope.add_argument(name);
  scope.add_argument(signal_type);
  scope.add_argument(tap_mode);
  // The data tab shows nodes of the setup tab only (a group row is none).
  SDR_TX_TRIGGER* trigger = get_tx_trigger();
  if (trigger && trigger->count_net_name(name) == 0) return false;
  return SDR_TX_SIGNAL_NODES::append_node(name, signal_type, tap_mode);
}

bool SDR_TX_SIGNAL_SET::is_node_deletable(int index) {
  if (!SDR_CHECK_AS(index >= 0, "node_index >= 0")) return false;
  const NODE_TYPE* node = node_at(index);
  if (!node) return false;
  // A net row needs another net row of its name: a group named like it
  // does not keep the net on the tab.
  const bool group = node->display_type == SDR_DTYPE_EXPAND_GROUP_NODE ||
                     node->display_type == SDR_DTYPE_COLLAPSE_GROUP_NODE;
  return (group ? count_name(node->name.c_str()) : count_net_name(node->name.c_str())) > 1;
}

// The node went from the setup tab: every row of that name goes.
bool SDR_TX_SIGNAL_SET::delete_node(const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "delete_node");
  scope.add_argument(name);
  bool removed = false;
  for (int index = find_wire_node(name); index >= 0; index = find_wire_node(name)) {
    if (delete_rows(index, index) <= 0) break;
    removed = true;
  }
  return removed;
}

int SDR_TX_SIGNAL_SET::delete_node(int first, int last) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "delete_node");
  scope.add_argument(first);
  scope.add_argument(last);
  if (!SDR_CHECK(first >= 0 && last >= 0)) return 0;
  if (first > last) std::swap(first, last);
  if (last >= get_node_count()) return 0;
  // A row may go when it is a group row or its name stays on the tab: in
  // another row outside the range, or in the first row of that name that
  // the range holds.
  std::unordered_map<std::string, int> in_range;
  for (int i = first; i <= last; ++i)
    if (node_at(i)->display_type != SDR_DTYPE_EXPAND_GROUP_NODE &&
        node_at(i)->display_type != SDR_DTYPE_COLLAPSE_GROUP_NODE)
      ++in_range[node_at(i)->name];
  std::vector<char> removable(static_cast<size_t>(last - first + 1));
  std::unordered_set<std::string> kept;
  for (int i = first; i <= last; ++i) {
    const NODE_TYPE* node = node_at(i);
    bool mark = node->display_type == SDR_DTYPE_EXPAND_GROUP_NODE ||
                node->display_type == SDR_DTYPE_COLLAPSE_GROUP_NODE ||
                count_net_name(node->name.c_str()) > in_range[node->name];
    if (!mark) mark = !kept.insert(node->name).second;
    removable[static_cast<size_t>(i - first)] = mark;
  }
  // Runs of removable rows, from the end so that the rows before stay put.
  int total = 0;
  for (int end = last; end >= first;) {
    if (!removable[static_cast<size_t>(end - first)]) {
      --end;
      continue;
    }
    int start = end;
    while (start > first && removable[static_cast<size_t>(start - 1 - first)]) --start;
    // A group whose members run past the removable rows is ungrouped first.
    for (int g = end; g >= start; --g) {
      const SDR_DATA_NODE_DISPLAY_TYPE type = node_at(g)->display_type;
      if ((type == SDR_DTYPE_EXPAND_GROUP_NODE || type == SDR_DTYPE_COLLAPSE_GROUP_NODE) &&
          group_last(g) > end) {
        if (ungroup_node(g)) {
          ++total;
          --end;
        }
      }
    }
    if (end >= start) total += delete_rows(start, end);
    end = start - 1;
  }
  return total;
}

int SDR_TX_SIGNAL_SET::copy_before_node(int first, int last, int before, bool into_group) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "copy_before_node");
  scope.add_argument(first);
  scope.add_argument(last);
  scope.add_argument(before);
  scope.add_argument(into_group);
  return SDR_TX_SIGNAL_NODES::copy_before_node(first, last, before, into_group);
}

bool SDR_TX_SIGNAL_SET::set_node_name(int index, const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_node_name");
  scope.add_argument(index);
  scope.add_argument(name);
  const NODE_TYPE* node = node_at(index);
  if (!node) return false;
  if (!SDR_CHECK_AS(node->display_type != SDR_DTYPE_EXPAND_GROUP_NODE &&
                        node->display_type != SDR_DTYPE_COLLAPSE_GROUP_NODE,
                    "(*m_node_vec)[node_index]->display_type != SDR_DTYPE_EXPAND_GROUP_NODE && "
                    "(*m_node_vec)[node_index]->display_type != SDR_DTYPE_COLLAPSE_GROUP_NODE"))
    return false;
  if (!name || !*name || node->name == name) return false;
  const std::string old_name = node->name;
  // The setup tab renames the node, and with it every row of this tab.
  if (SDR_TX_TRIGGER* trigger = get_tx_trigger()) {
    if (!trigger->rename_node_name(old_name.c_str(), name)) return false;
    rename_all_node_name(old_name.c_str(), name);
    return true;
  }
  return rename_all_node_name(old_name.c_str(), name);
}

bool SDR_TX_SIGNAL_SET::set_node_alias(int index, const char* alias) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_node_alias");
  scope.add_argument(index);
  scope.add_argument(alias);
  const NODE_TYPE* node = node_at(index);
  if (!node || !alias) return false;
  if (node->display_type == SDR_DTYPE_EXPAND_GROUP_NODE ||
      node->display_type == SDR_DTYPE_COLLAPSE_GROUP_NODE)
    return SDR_TX_SIGNAL_NODES::set_node_alias(index, alias);
  if (node->alias == alias) return false;
  // The setup tab finds the node by its name (an empty old alias would name
  // no node, or every node without one); this tab renames that node's rows.
  const std::string name = node->name;
  if (SDR_TX_TRIGGER* trigger = get_tx_trigger()) {
    if (!trigger->rename_node_alias(name.c_str(), alias)) return false;
  }
  bool changed = false;
  for (int i = 0; i < get_node_count(); ++i) {
    const NODE_TYPE* row = node_at(i);
    if (row->name == name && row->display_type != SDR_DTYPE_EXPAND_GROUP_NODE &&
        row->display_type != SDR_DTYPE_COLLAPSE_GROUP_NODE && row->alias != alias)
      changed = SDR_TX_SIGNAL_NODES::set_node_alias(i, alias) || changed;
  }
  return changed;
}

// ---------------------------------------------------------------- commit

void SDR_TX_SIGNAL_SET::set_instance_index(int index) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_instance_index");
  scope.add_argument(index);
  m_instance_index = index;
}

void SDR_TX_SIGNAL_SET::check_compilation_type(bool* is_full, bool* is_pinwatch) {
  if (!SDR_CHECK_AS(is_full != nullptr, "is_full != NULL") ||
      !SDR_CHECK_AS(is_pinwatch != nullptr, "is_pinwatch != NULL"))
    return;
  *is_full = *is_pinwatch = false;
  const SDR_DATA_SIGNAL_SET* d = m_data_signal_set;
  if (!d) return;
  const std::string clock = text_or_empty(d->get_clock_name());
  const std::string in_source = text_or_empty(get_trigger_in_source());
  const std::string out_source = text_or_empty(get_trigger_out_source());
  const char* d_in = d->get_trigger_in_node() && *d->get_trigger_in_node() ? d->get_trigger_in_node()
                                                                           : d->get_trigger_in_pin();
  const char* d_out = d->get_trigger_out_node() && *d->get_trigger_out_node() ? d->get_trigger_out_node()
                                                                              : d->get_trigger_out_pin();
  // Reserved space may grow freely while the built widths absorb it.
  const int built_data = d->get_ela_data_wire_width();
  const int built_trigger = d->get_ela_trigger_wire_width();
  const bool reserved_changed =
      (m_reserved_data_node_size != d->get_reserved_data_node_size() &&
       (built_data <= 0 || m_reserved_data_node_size + d->get_data_wire_width() > built_data)) ||
      (m_reserved_trigger_node_size != d->get_reserved_trigger_node_size() &&
       (built_trigger <= 0 || m_reserved_trigger_node_size + d->get_trigger_wire_width() > built_trigger));
  *is_full = (!clock.empty() && clock != m_clock_source) || reserved_changed ||
             m_sample_depth != d->get_sample_depth() || m_kalvos_ram_type != d->get_kalvos_ram_type() ||
             m_trigger_in_enabled != d->is_trigger_in_enabled() || in_source != text_or_empty(d_in) ||
             m_trigger_out_enabled != d->is_trigger_out_enabled() || out_source != text_or_empty(d_out);
}

void SDR_TX_SIGNAL_SET::forget_signal_set(SDR_TX_TRIGGER* trigger, bool remove, bool destroyed) {
  SDR_DATA_SIGNAL_SET* d = m_data_signal_set;
  if (!d) return;
  // Neither tab keeps a view node of a set it no longer mirrors.
  unbind_view();
  if (trigger) {
    trigger->unbind_view();
    SDR_DATA_TRIGGER* committed = trigger->get_data_trigger();
    if ((remove || destroyed) && committed && committed->get_signal_set() == d)
      trigger->commit(nullptr, false);
  }
  m_data_signal_set = nullptr;
  if (remove) d->remove();
}

bool SDR_TX_SIGNAL_SET::commit(SDR_DATA_INSTANCE* data_instance, bool flag) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "commit");
  scope.add_argument(flag);
  SDR_TX_TRIGGER* trigger = get_tx_trigger();
  if (!SDR_CHECK_AS(trigger != nullptr, "tx_trigger != NULL")) return false;
  if (!SDR_CHECK_AS(data_instance != nullptr, "instance != NULL")) return false;
  SDR_DATA_SESSION* data_session = m_tx_session->get_data_session();
  if (!SDR_CHECK_AS(data_session != nullptr, "data_session != NULL")) return false;
  SDR_TX_CHANGE_STATUS* status = m_tx_change_status;
  trigger->sync_upon_capture_type_change();
  SDR_DATA_SIGNAL_SET* d = m_data_signal_set;
  const bool gui_logging = data_session->is_gui_logging_enabled();
  const bool global_temp = d && d->is_global_temp();
  const bool changed = status && status->is_signal_set_changed();
  // The committed set stays while its wires still fit the node list;
  // settings alone are written into it.
  // A commit with nothing changed leaves the file as it is.
  bool keep;
  if (!d)
    keep = !changed;
  else
    keep = !changed || (gui_logging != global_temp && trigger->is_signal_compatible(d));
  bool created = false;
  if (!keep) {
    SDR_DATA_SIGNAL_SET* chosen = nullptr;
    if (!gui_logging) {
      const bool fresh_name = !d || global_temp || changed || trigger->is_capture_type_changed();
      const std::string name = d && !fresh_name ? text_or_empty(d->get_name()) : std::string();
      // The new global set replaces the old one, which goes with it.
      if (d && global_temp) forget_signal_set(trigger, false, true);
      chosen = data_instance->create_signal_set(fresh_name ? nullptr : name.c_str(), true);
    } else {
      // A set that holds no capture goes: no trigger, or one without logs.
      const bool no_capture =
          d && (d->get_num_triggers() == 0 ||
                (d->get_num_triggers() == 1 && d->get_trigger_at(0)->get_num_logs() == 0 &&
                 !d->get_trigger_at(0)->get_global_log()));
      if (flag && d && !global_temp && no_capture) {
        forget_signal_set(trigger, true, true);
        d = nullptr;
      }
      if (d && global_temp) {
        SDR_DATA_SIGNAL_SET* same = data_instance->find_signal_set(d->get_name());
        if (same && !same->is_global_temp() && trigger->is_signal_compatible(same)) chosen = same;
      }
      if (!chosen) chosen = data_instance->create_signal_set(nullptr, false);
    }
    if (chosen && chosen != m_data_signal_set) {
      if (m_data_signal_set) forget_signal_set(trigger, false, false);
      m_data_signal_set = chosen;
      created = true;
      if (status) status->m_signal_set_changed = true;
      m_tx_session->set_undoable_modified_flag();
      if (chosen->get_wire_size() == 0 && !trigger->commit_signal_set(chosen)) {
        const bool incremental = data_instance->is_trazio_hdl_node();
        static_cast<SDR_TX_SIGNAL_NODES*>(trigger)->commit_signal_set(chosen, incremental);
      }
    }
  }
  SDR_DATA_SIGNAL_SET* s = m_data_signal_set;
  if (s) {
    commit_signal_set_debug_port(s);
    SDR_TX_SIGNAL_NODES::commit(s->get_data_view());
  }
  if (s && created && s->get_wire_size() == 0 && m_reserved_data_node_size < 1 &&
      m_reserved_trigger_node_size < 1) {
    forget_signal_set(trigger, true, true);
    s = nullptr;
  }
  if (s && status && status->m_signal_set_changed) write_settings(s);
  if (status) {
    // What the node list changed is in the committed set now.
    status->m_signal_set_changed = false;
    status->m_node_changed_full = status->m_node_changed_pinwatch = false;
  }
  return true;
}

void SDR_TX_SIGNAL_SET::write_settings(SDR_DATA_SIGNAL_SET* d) {
  // Only what differs is written, so that a document whose settings went
  // back to the stored ones is written as it was read. The clock keeps its
  // polarity.
  std::string clock = m_clock_source;
  if (clock.empty()) clock = auto_port_name("auto_tzo_external_clock");
  const SDR_DATA_SIGNAL_SET::POLARITY polarity =
      m_clock_negedge ? SDR_DATA_SIGNAL_SET::NEGEDGE : SDR_DATA_SIGNAL_SET::POSEDGE;
  if (clock != text_or_empty(d->get_clock_name()) || polarity != d->get_clock_polarity())
    d->set_clock(clock.c_str(), polarity);
  if (m_reserved_data_node_size != d->get_reserved_data_node_size())
    d->set_reserved_data_node_size(m_reserved_data_node_size);
  if (m_reserved_trigger_node_size != d->get_reserved_trigger_node_size())
    d->set_reserved_trigger_node_size(m_reserved_trigger_node_size);
  if (m_trigger_in_enabled != d->is_trigger_in_enabled()) d->enable_trigger_in(m_trigger_in_enabled);
  if (m_trigger_out_enabled != d->is_trigger_out_enabled()) d->enable_trigger_out(m_trigger_out_enabled);
  if (!m_trigger_in_pin.empty()) {
    if (m_trigger_in_pin != text_or_empty(d->get_trigger_in_pin()))
      d->set_trigger_in_pin(m_trigger_in_pin.c_str());
  } else if (!m_trigger_in_node.empty()) {
    if (m_trigger_in_node != text_or_empty(d->get_trigger_in_node()))
      d->set_trigger_in_node(m_trigger_in_node.c_str());
  } else if (d->get_trigger_in_pin() || d->get_trigger_in_node()) {
    // A port left without pin and node (an undone link) is stored so.
    d->clear_trigger_in_port();
  }
  if (!m_trigger_out_pin.empty()) {
    if (m_trigger_out_pin != text_or_empty(d->get_trigger_out_pin()))
      d->set_trigger_out_pin(m_trigger_out_pin.c_str());
  } else if (!m_trigger_out_node.empty()) {
    if (m_trigger_out_node != text_or_empty(d->get_trigger_out_node()))
      d->set_trigger_out_node(m_trigger_out_node.c_str());
  } else if (d->get_trigger_out_pin() || d->get_trigger_out_node()) {
    d->clear_trigger_out_port();
  }
  if (m_sample_depth != d->get_sample_depth()) d->set_sample_depth(m_sample_depth);
  if (m_kalvos_ram_type != d->get_kalvos_ram_type()) d->set_kalvos_ram_type(m_kalvos_ram_type);
  if (m_top_entity_name != text_or_empty(d->get_top_entity_name()))
    d->set_top_entity_name(m_top_entity_name.c_str());
}

// ---------------------------------------------------------------- undo action

SDR_TX_UNDO_ACTION_SET_SIGNALSET::SDR_TX_UNDO_ACTION_SET_SIGNALSET(
    SDR_TX_SIGNAL_SET* signal_set, const SDR_TX_SIGNAL_SET::SIGNAL_SET_PROPERTIES& old_properties,
    const SDR_TX_SIGNAL_SET::SIGNAL_SET_PROPERTIES& new_properties)
    : m_signal_set(signal_set), m_old(old_properties), m_new(new_properties) {}

bool SDR_TX_UNDO_ACTION_SET_SIGNALSET::undo() {
  return m_signal_set->restore_properties(&m_old);
}
bool SDR_TX_UNDO_ACTION_SET_SIGNALSET::redo() {
  return m_signal_set->restore_properties(&m_new);
}

void SDR_TX_UNDO_ACTION_SET_SIGNALSET::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  flags->m_signal_set_changed = true;
}
