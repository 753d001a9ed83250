// Node lists of the two tabs, and the undo actions of node-list edits.
//
// Appending rows, removing them again and the row getters are in place;
// the structural edits (grouping, moving, copying, renaming, deleting by
// range) and the commits into views and wires are not yet editable: they
// refuse and change nothing.

#include "sdr_tx_signal_nodes.h"

#include <algorithm>

#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_internal.h"
#include "sdr_tx_undo_manager.h"

namespace {

bool is_group_type(SDR_DATA_NODE_DISPLAY_TYPE type) {
  return type == SDR_DTYPE_EXPAND_GROUP_NODE || type == SDR_DTYPE_COLLAPSE_GROUP_NODE;
}

}  // namespace

SDR_TX_SIGNAL_NODES::SDR_TX_SIGNAL_NODES(int index, SDR_TX_UNDO_MANAGER* undo_manager,
                                         SDR_TX_CHANGE_STATUS* change_status,
                                         SDR_TX_SCRIPT_RECORDER* recorder, bool setup_tab)
    : m_instance_index(index),
      m_tx_undo_manager(undo_manager),
      m_tx_change_status(change_status),
      m_script_recorder(recorder),
      m_setup_tab(setup_tab) {
  SDR_TX_SIGNAL_NODES::init();
}

SDR_TX_SIGNAL_NODES::SDR_TX_SIGNAL_NODES(int index, SDR_DATA_SIGNAL_VIEW* view,
                                         SDR_TX_UNDO_MANAGER* undo_manager, SDR_TX_SCRIPT_RECORDER* recorder,
                                         bool setup_tab)
    : m_instance_index(index),
      m_tx_undo_manager(undo_manager),
      m_tx_change_status(nullptr),
      m_script_recorder(recorder),
      m_setup_tab(setup_tab) {
  SDR_TX_SIGNAL_NODES::init(view);
}

SDR_TX_SIGNAL_NODES::~SDR_TX_SIGNAL_NODES() = default;

SDR_TX_SIGNAL_NODES::NODE_TYPE* SDR_TX_SIGNAL_NODES::node_at(int index) const {
  if (index < 0 || index >= get_node_count()) return nullptr;
  return m_node_vec[static_cast<size_t>(index)].get();
}

void SDR_TX_SIGNAL_NODES::flag_node_change(const NODE_TYPE* node) {
  if (!m_tx_change_status || !node) return;
  if (node->tap_mode == SDR_MTYPE_CLASSIC_TAP)
    m_tx_change_status->m_node_changed_full = true;
  else
    m_tx_change_status->m_node_changed_pinwatch = true;
}

// ---------------------------------------------------------------- getters

const char* SDR_TX_SIGNAL_NODES::get_node_name(int index) const {
  const NODE_TYPE* node = node_at(index);
  if (!node) return nullptr;
  SDR_CHECK_AS(!node->name.empty(), "!(*m_node_vec)[node_index]->name.empty()");
  return node->name.c_str();
}

const char* SDR_TX_SIGNAL_NODES::get_node_alias(int index) const {
  const NODE_TYPE* node = node_at(index);
  return node ? node->alias.c_str() : nullptr;
}

SDR_DATA_SIGNAL_TYPE SDR_TX_SIGNAL_NODES::get_signal_type(int index) const {
  const NODE_TYPE* node = node_at(index);
  return node ? node->signal_type : SDR_STYPE_UNKNOWN;
}

SDR_DATA_WIRE_CAPTURE_TYPE SDR_TX_SIGNAL_NODES::get_capture_type(int index) const {
  const NODE_TYPE* node = node_at(index);
  return node ? node->capture_type : SDR_CTYPE_NONE;
}

SDR_DATA_WIRE_TAP_MODE SDR_TX_SIGNAL_NODES::get_tap_mode(int index) const {
  const NODE_TYPE* node = node_at(index);
  return node ? node->tap_mode : SDR_MTYPE_CLASSIC_TAP;
}

bool SDR_TX_SIGNAL_NODES::get_connection_status(int index) const {
  const NODE_TYPE* node = node_at(index);
  return node ? node->connection_status : false;
}

SDR_DATA_NODE_DISPLAY_TYPE SDR_TX_SIGNAL_NODES::get_node_display_type(int index) const {
  const NODE_TYPE* node = node_at(index);
  return node ? node->display_type : SDR_DTYPE_UNKNOWN_NODE;
}

bool SDR_TX_SIGNAL_NODES::is_debug_port(int index) const {
  const NODE_TYPE* node = node_at(index);
  return node && node->debug_port;
}

const char* SDR_TX_SIGNAL_NODES::get_debug_port_name(int index) const {
  const NODE_TYPE* node = node_at(index);
  return node ? node->debug_port_name.c_str() : nullptr;
}

int SDR_TX_SIGNAL_NODES::get_data_wire_index(int index) const {
  const NODE_TYPE* node = node_at(index);
  return node ? node->data_wire_index : -1;
}

SDR_DATA_GROUP_DISPLAY_TYPE SDR_TX_SIGNAL_NODES::get_node_group_display_type(int index) const {
  const NODE_TYPE* node = node_at(index);
  return node ? node->group_display_type : SDR_GTYPE_HEX;
}

const char* SDR_TX_SIGNAL_NODES::get_node_mnemonics_table_name(int index) const {
  const NODE_TYPE* node = node_at(index);
  return node ? node->mnemonics_table_name.c_str() : nullptr;
}

bool SDR_TX_SIGNAL_NODES::is_node_lsb_to_msb(int index) const {
  const NODE_TYPE* node = node_at(index);
  return node && node->lsb_to_msb;
}

bool SDR_TX_SIGNAL_NODES::is_node_signal_inverted(int index) const {
  const NODE_TYPE* node = node_at(index);
  return node && node->signal_inverted;
}

bool SDR_TX_SIGNAL_NODES::is_node_invalid(int index) const {
  const NODE_TYPE* node = node_at(index);
  return node && node->invalid;
}

void SDR_TX_SIGNAL_NODES::set_node_invalid(int index, bool invalid) {
  if (NODE_TYPE* node = node_at(index)) node->invalid = invalid;
}

bool SDR_TX_SIGNAL_NODES::is_group_member_expanded(int index) const {
  const int parent = find_parent_group_node(index);
  const NODE_TYPE* group = node_at(parent);
  return group && group->display_type == SDR_DTYPE_EXPAND_GROUP_NODE;
}

int SDR_TX_SIGNAL_NODES::find_wire_node(const char* name) const {
  return name ? find_node_with_name_not_in_range(name, -1, -1) : -1;
}

int SDR_TX_SIGNAL_NODES::find_group_node(const char* name) const {
  if (!name) return -1;
  for (int i = 0; i < get_node_count(); ++i)
    if (is_group_type(m_node_vec[static_cast<size_t>(i)]->display_type) &&
        m_node_vec[static_cast<size_t>(i)]->name == name)
      return i;
  return -1;
}

int SDR_TX_SIGNAL_NODES::find_node_with_name_not_in_range(const char* name, int first, int last) const {
  if (!name) return -1;
  for (int i = 0; i < get_node_count(); ++i) {
    if (i >= first && i <= last) continue;
    const NODE_TYPE& node = *m_node_vec[static_cast<size_t>(i)];
    if (!is_group_type(node.display_type) && node.name == name) return i;
  }
  return -1;
}

int SDR_TX_SIGNAL_NODES::find_parent_group_node(int index) const {
  const NODE_TYPE* node = node_at(index);
  if (!node || (node->display_type != SDR_DTYPE_GROUP_MEMBER_NODE &&
                node->display_type != SDR_DTYPE_LAST_GROUP_MEMBER_NODE))
    return -1;
  for (int i = index - 1; i >= 0; --i)
    if (is_group_type(m_node_vec[static_cast<size_t>(i)]->display_type)) return i;
  return -1;
}

// ---------------------------------------------------------------- rows

bool SDR_TX_SIGNAL_NODES::append_node(const char* name, SDR_DATA_SIGNAL_TYPE signal_type,
                                      SDR_DATA_WIRE_TAP_MODE tap_mode) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "append_node");
  scope.add_argument(name);
  scope.add_argument(signal_type);
  scope.add_argument(tap_mode);
  if (!SDR_CHECK_AS(name != nullptr, "name != NULL")) return false;
  NODE_TYPE row;
  row.name = name;
  row.display_type = SDR_DTYPE_STANDALONE_NODE;
  row.signal_type = signal_type;
  row.tap_mode = tap_mode;
  row.capture_type = SDR_CTYPE_BOTH;
  row.data_wire_index = m_next_data_wire_index++;
  row.trigger_wire_index = m_next_trigger_wire_index++;
  ++m_data_wire_count;
  ++m_trigger_wire_count;
  if (m_tx_change_status) {
    if (tap_mode == SDR_MTYPE_PROBEONLY_TAP)
      m_tx_change_status->m_node_changed_pinwatch = true;
    else
      m_tx_change_status->m_node_changed_full = true;
  }
  return append_node(&row, false);
}

bool SDR_TX_SIGNAL_NODES::append_node(NODE_TYPE* node, bool clone) {
  if (!SDR_CHECK_AS(node != nullptr, "this_node != NULL")) return false;
  (void)clone;  // the list always keeps its own copy
  std::unique_ptr<NODE_TYPE> row(new NODE_TYPE(*node));
  const int index = get_node_count();
  m_node_vec.push_back(std::move(row));
  m_view_changed = true;
  if (m_tx_undo_manager)
    m_tx_undo_manager->add_atomic_action(new SDR_TX_UNDO_ACTION_APPEND(this, index, new NODE_TYPE(*node)));
  return true;
}

bool SDR_TX_SIGNAL_NODES::append_node_uniq_name(NODE_TYPE* node) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "append_node_uniq_name");
  if (!SDR_CHECK_AS(node != nullptr, "this_node != NULL")) return false;
  if (find_wire_node(node->name.c_str()) >= 0) return false;
  return append_node(node, true);
}

int SDR_TX_SIGNAL_NODES::delete_node_base(int first, int last) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "delete_node_base");
  scope.add_argument(first);
  scope.add_argument(last);
  if (!SDR_CHECK_AS(first >= 0 && last >= 0, "first_index >= 0 && last_index >= 0")) return -1;
  if (first > last) std::swap(first, last);
  if (last >= get_node_count()) return 0;
  // Only standalone rows for now: groups are not yet editable.
  for (int i = first; i <= last; ++i)
    if (m_node_vec[static_cast<size_t>(i)]->display_type != SDR_DTYPE_STANDALONE_NODE) return 0;
  for (int i = first; i <= last; ++i) {
    const NODE_TYPE& node = *m_node_vec[static_cast<size_t>(i)];
    if (node.capture_type == SDR_CTYPE_DATA || node.capture_type == SDR_CTYPE_BOTH) --m_data_wire_count;
    if (node.capture_type == SDR_CTYPE_TRIGGER || node.capture_type == SDR_CTYPE_BOTH) --m_trigger_wire_count;
    flag_node_change(&node);
  }
  m_node_vec.erase(m_node_vec.begin() + first, m_node_vec.begin() + last + 1);
  m_view_changed = true;
  return last - first + 1;
}

bool SDR_TX_SIGNAL_NODES::insert_deleted_before_node(int index, const NODE_VEC& nodes) {
  if (index < 0 || index > get_node_count()) return false;
  NODE_VEC copies;
  for (const auto& node : nodes)
    if (node) copies.emplace_back(new NODE_TYPE(*node));
  m_node_vec.insert(m_node_vec.begin() + index, std::make_move_iterator(copies.begin()),
                    std::make_move_iterator(copies.end()));
  m_view_changed = true;
  return true;
}

bool SDR_TX_SIGNAL_NODES::restore_node_properties(int index, const NODE_TYPE* node) {
  NODE_TYPE* row = node_at(index);
  if (!row || !node) return false;
  SDR_DATA_SIGNAL_VIEW_NODE* view_node = row->data_view_node;
  if (row->capture_type != node->capture_type) m_capture_type_changed = true;
  copy_node_properties(node, row);
  row->data_view_node = view_node;
  m_view_changed = true;
  return true;
}

void SDR_TX_SIGNAL_NODES::copy_node_properties(const NODE_TYPE* source, NODE_TYPE* target) {
  if (source && target) *target = *source;
}

void SDR_TX_SIGNAL_NODES::copy_bus_node_properties(const NODE_TYPE* source, NODE_TYPE* target) {
  if (!source || !target) return;
  target->group_display_type = source->group_display_type;
  target->mnemonics_table_name = source->mnemonics_table_name;
  target->lsb_to_msb = source->lsb_to_msb;
  target->group_linking = source->group_linking;
}

void SDR_TX_SIGNAL_NODES::push_node_image(int index) {
  const NODE_TYPE* row = node_at(index);
  if (!row || !m_tx_undo_manager) return;
  m_tx_undo_manager->add_atomic_action(
      new SDR_TX_UNDO_ACTION_SET_NODE(this, index, new NODE_TYPE(*row), new NODE_TYPE(*row)));
}

void SDR_TX_SIGNAL_NODES::node_block_swap(int first, int middle, int last) {
  if (first < 0 || first > middle || middle > last || last >= get_node_count()) return;
  std::rotate(m_node_vec.begin() + first, m_node_vec.begin() + middle + 1, m_node_vec.begin() + last + 1);
}

void SDR_TX_SIGNAL_NODES::set_the_other_signal_nodes(SDR_TX_SIGNAL_NODES* nodes) {
  if (!SDR_CHECK_AS(nodes != nullptr, "nodes != NULL")) return;
  m_tx_the_other_signal_nodes = nodes;
}

void SDR_TX_SIGNAL_NODES::gen_debug_port_name(std::string* text, int n) const {
  if (text) *text = "auto_tzo_debug_out_" + std::to_string(m_instance_index) + "_" + std::to_string(n);
}

void SDR_TX_SIGNAL_NODES::assign_data_wire_to_node(NODE_TYPE* node, SDR_DATA_SIGNAL_WIRE* wire) {
  if (!node || !wire) return;
  node->name = wire->get_name() ? wire->get_name() : "";
  node->alias = wire->get_alias() ? wire->get_alias() : "";
  node->signal_type = wire->get_signal_type();
  node->capture_type = wire->get_capture_type();
  node->tap_mode = wire->get_tap_mode();
  node->connection_status = wire->get_connection_status();
  node->debug_port = wire->is_debug_port();
  node->debug_port_name = wire->get_debug_port_name() ? wire->get_debug_port_name() : "";
  node->data_wire_index = wire->get_data_wire_index();
  node->trigger_wire_index = wire->get_trigger_wire_index();
}

bool SDR_TX_SIGNAL_NODES::init() {
  m_node_vec.clear();
  m_data_wire_count = m_trigger_wire_count = 0;
  m_next_data_wire_index = m_next_trigger_wire_index = 0;
  m_data_view = nullptr;
  m_view_changed = false;
  if (m_tx_undo_manager) m_tx_undo_manager->clear_all_actions();
  return true;
}

bool SDR_TX_SIGNAL_NODES::init(SDR_DATA_SIGNAL_VIEW* view) {
  m_node_vec.clear();
  m_data_view = view;
  m_view_changed = false;
  m_capture_type_changed = false;
  m_data_wire_count = m_trigger_wire_count = 0;
  m_next_data_wire_index = m_next_trigger_wire_index = 0;
  if (m_tx_undo_manager) m_tx_undo_manager->clear_all_actions();
  if (!SDR_CHECK_AS(view != nullptr, "data_view != NULL")) return false;
  if (SDR_DATA_SIGNAL_SET* set = view->get_signal_set()) {
    m_data_wire_count = m_next_data_wire_index = set->get_data_wire_width();
    m_trigger_wire_count = m_next_trigger_wire_index = set->get_trigger_wire_width();
  }
  // The rows of the view are not yet read into the list.
  return true;
}

bool SDR_TX_SIGNAL_NODES::commit(SDR_DATA_SIGNAL_VIEW* view) {
  // The view is not yet rewritten from the rows.
  (void)view;
  m_view_changed = false;
  if (m_tx_change_status) m_tx_change_status->m_presentation_changed = false;
  return true;
}

bool SDR_TX_SIGNAL_NODES::commit_signal_set(SDR_DATA_SIGNAL_SET* signal_set, bool incremental) {
  // Rows are not yet written as wires.
  (void)signal_set;
  (void)incremental;
  return false;
}

bool SDR_TX_SIGNAL_NODES::commit_signal_set_debug_port(SDR_DATA_SIGNAL_SET* signal_set) {
  (void)signal_set;
  if (m_tx_change_status)
    m_tx_change_status->m_debug_port_changed_full = m_tx_change_status->m_debug_port_changed_pinwatch = false;
  return true;
}

bool SDR_TX_SIGNAL_NODES::recover_presentation_view_error() {
  return false;
}

// ---------------------------------------------------------------- not yet editable

bool SDR_TX_SIGNAL_NODES::set_node_name(int, const char*) {
  return false;
}
bool SDR_TX_SIGNAL_NODES::set_group_node_name(int, const char*) {
  return false;
}
bool SDR_TX_SIGNAL_NODES::set_node_alias(int, const char*) {
  return false;
}
bool SDR_TX_SIGNAL_NODES::delete_node(const char*) {
  return false;
}
int SDR_TX_SIGNAL_NODES::delete_node(int, int) {
  return 0;
}
bool SDR_TX_SIGNAL_NODES::ungroup_node(int) {
  return false;
}
bool SDR_TX_SIGNAL_NODES::group_node(int, int, NODE_TYPE*) {
  return false;
}
int SDR_TX_SIGNAL_NODES::copy_before_node(int, int, int, bool) {
  return -1;
}
void SDR_TX_SIGNAL_NODES::rebuild_uniq_name_set() {}
bool SDR_TX_SIGNAL_NODES::set_node_capture_type(int, SDR_DATA_WIRE_CAPTURE_TYPE) {
  return false;
}
bool SDR_TX_SIGNAL_NODES::set_node_tap_mode(int, SDR_DATA_WIRE_TAP_MODE) {
  return false;
}
bool SDR_TX_SIGNAL_NODES::set_node_connection_status(int, bool) {
  return false;
}
bool SDR_TX_SIGNAL_NODES::set_debug_out(int, bool, const char*) {
  return false;
}
bool SDR_TX_SIGNAL_NODES::set_node_group_display_type(int, SDR_DATA_GROUP_DISPLAY_TYPE) {
  return false;
}
bool SDR_TX_SIGNAL_NODES::set_node_mnemonics_table_name(int, const char*) {
  return false;
}
bool SDR_TX_SIGNAL_NODES::set_node_lsb_to_msb(int, bool) {
  return false;
}
bool SDR_TX_SIGNAL_NODES::set_node_signal_inverted(int, bool) {
  return false;
}
bool SDR_TX_SIGNAL_NODES::toggle_node(int) {
  return false;
}
bool SDR_TX_SIGNAL_NODES::link_group_node(int, SDR_DATA_GROUP_LINKING_TYPE) {
  return false;
}
int SDR_TX_SIGNAL_NODES::move_before_node(int, int, int, bool) {
  return -1;
}
bool SDR_TX_SIGNAL_NODES::rename_all_node_name(const char*, const char*) {
  return false;
}
bool SDR_TX_SIGNAL_NODES::rename_all_node_alias(const char*, const char*) {
  return false;
}

// ---------------------------------------------------------------- undo actions

SDR_TX_UNDO_ACTION_MOVE::SDR_TX_UNDO_ACTION_MOVE(SDR_TX_SIGNAL_NODES* nodes, int first, int last, int before,
                                                 bool move_flag, bool group_flag)
    : m_nodes(nodes),
      m_first(first),
      m_last(last),
      m_before(before),
      m_move_flag(move_flag),
      m_group_flag(group_flag) {}

bool SDR_TX_UNDO_ACTION_MOVE::undo() {
  const int n = m_last - m_first + 1;
  if (m_first < m_before)
    return m_nodes->move_before_node(m_before - n, m_before - 1, m_first, m_group_flag) >= 0;
  return m_nodes->move_before_node(m_before, m_before + n - 1, m_last + 1, m_group_flag) >= 0;
}

bool SDR_TX_UNDO_ACTION_MOVE::redo() {
  return m_nodes->move_before_node(m_first, m_last, m_before, m_move_flag) >= 0;
}

void SDR_TX_UNDO_ACTION_MOVE::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  flags->m_presentation_changed = true;
}

SDR_TX_UNDO_ACTION_COPY::SDR_TX_UNDO_ACTION_COPY(SDR_TX_SIGNAL_NODES* nodes, int first, int last, int before,
                                                 bool copy_flag, int end)
    : m_nodes(nodes), m_first(first), m_last(last), m_before(before), m_copy_flag(copy_flag), m_end(end) {}

bool SDR_TX_UNDO_ACTION_COPY::undo() {
  return m_nodes->delete_node(m_end - 1 - (m_last - m_first), m_end - 1) > 0;
}

bool SDR_TX_UNDO_ACTION_COPY::redo() {
  return m_nodes->copy_before_node(m_first, m_last, m_before, m_copy_flag) >= 0;
}

void SDR_TX_UNDO_ACTION_COPY::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  flags->m_presentation_changed = true;
}

SDR_TX_UNDO_ACTION_GROUP::SDR_TX_UNDO_ACTION_GROUP(SDR_TX_SIGNAL_NODES* nodes, int first, int last,
                                                   SDR_TX_NODE* group)
    : m_nodes(nodes), m_first(first), m_last(last), m_group(group) {}
SDR_TX_UNDO_ACTION_GROUP::~SDR_TX_UNDO_ACTION_GROUP() = default;
bool SDR_TX_UNDO_ACTION_GROUP::undo() {
  return m_nodes->ungroup_node(m_first);
}
bool SDR_TX_UNDO_ACTION_GROUP::redo() {
  return m_nodes->group_node(m_first, m_last, m_group.get());
}
void SDR_TX_UNDO_ACTION_GROUP::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  flags->m_presentation_changed = true;
}

SDR_TX_UNDO_ACTION_UNGROUP::SDR_TX_UNDO_ACTION_UNGROUP(SDR_TX_SIGNAL_NODES* nodes, int first, int last,
                                                       SDR_TX_NODE* group)
    : m_nodes(nodes), m_first(first), m_last(last), m_group(group) {}
SDR_TX_UNDO_ACTION_UNGROUP::~SDR_TX_UNDO_ACTION_UNGROUP() = default;
bool SDR_TX_UNDO_ACTION_UNGROUP::undo() {
  return m_nodes->group_node(m_first, m_last, m_group.get());
}
bool SDR_TX_UNDO_ACTION_UNGROUP::redo() {
  return m_nodes->ungroup_node(m_first);
}
void SDR_TX_UNDO_ACTION_UNGROUP::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  flags->m_presentation_changed = true;
}

SDR_TX_UNDO_ACTION_DELETE::SDR_TX_UNDO_ACTION_DELETE(SDR_TX_SIGNAL_NODES* nodes, int first, int last,
                                                     SDR_TX_SIGNAL_NODES::NODE_VEC deleted)
    : m_nodes(nodes), m_first(first), m_last(last), m_deleted(std::move(deleted)) {}
SDR_TX_UNDO_ACTION_DELETE::~SDR_TX_UNDO_ACTION_DELETE() = default;

bool SDR_TX_UNDO_ACTION_DELETE::undo() {
  const bool ok = m_nodes->insert_deleted_before_node(m_first, m_deleted);
  m_nodes->rebuild_uniq_name_set();
  return ok;
}

bool SDR_TX_UNDO_ACTION_DELETE::redo() {
  const int removed = m_nodes->delete_node_base(m_first, m_last);
  m_nodes->rebuild_uniq_name_set();
  return removed >= 0;
}

void SDR_TX_UNDO_ACTION_DELETE::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  flags->m_node_changed_full = flags->m_node_changed_pinwatch = true;
}

SDR_TX_UNDO_ACTION_APPEND::SDR_TX_UNDO_ACTION_APPEND(SDR_TX_SIGNAL_NODES* nodes, int index, SDR_TX_NODE* node)
    : m_nodes(nodes), m_index(index), m_node(node) {}
SDR_TX_UNDO_ACTION_APPEND::~SDR_TX_UNDO_ACTION_APPEND() = default;

bool SDR_TX_UNDO_ACTION_APPEND::undo() {
  if (is_group_type(m_node->display_type)) return true;
  const int removed = m_nodes->delete_node_base(m_index, m_index);
  m_nodes->rebuild_uniq_name_set();
  return removed >= 0;
}

bool SDR_TX_UNDO_ACTION_APPEND::redo() {
  const bool ok = m_nodes->append_node(m_node.get(), true);
  m_nodes->rebuild_uniq_name_set();
  return ok;
}

void SDR_TX_UNDO_ACTION_APPEND::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  flags->m_node_changed_full = flags->m_node_changed_pinwatch = true;
}

SDR_TX_UNDO_ACTION_SET_NODE::SDR_TX_UNDO_ACTION_SET_NODE(SDR_TX_SIGNAL_NODES* nodes, int index,
                                                         SDR_TX_NODE* old_node, SDR_TX_NODE* new_node)
    : m_nodes(nodes), m_index(index), m_old(old_node), m_new(new_node) {}
SDR_TX_UNDO_ACTION_SET_NODE::~SDR_TX_UNDO_ACTION_SET_NODE() = default;
bool SDR_TX_UNDO_ACTION_SET_NODE::undo() {
  return m_nodes->restore_node_properties(m_index, m_old.get());
}
bool SDR_TX_UNDO_ACTION_SET_NODE::redo() {
  return m_nodes->restore_node_properties(m_index, m_new.get());
}

void SDR_TX_UNDO_ACTION_SET_NODE::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  flags->m_node_changed_full = flags->m_node_changed_pinwatch = true;
  flags->m_debug_port_changed_full = flags->m_debug_port_changed_pinwatch = true;
  flags->m_presentation_changed = true;
}
