// Node lists of the two tabs: rows and their view nodes, getters and row
// property edits. Structural edits are in sdr_tx_signal_nodes_structure.cpp,
// init and commits in sdr_tx_signal_nodes_commit.cpp, the undo actions of
// node-list edits in sdr_tx_signal_nodes_undo.cpp, the name tables in
// sdr_tx_signal_nodes_names.cpp.

#include "sdr_tx_signal_nodes.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <utility>
#include <xercesc/dom/DOM.hpp>

#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_trigger.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_internal.h"
#include "sdr_tx_signal_nodes_internal.h"
#include "sdr_tx_undo_manager.h"

using namespace xercesc;

namespace {

const char GROUP_ROW_TEXT[] =
    "(*m_node_vec)[node_index]->display_type == SDR_DTYPE_EXPAND_GROUP_NODE || "
    "(*m_node_vec)[node_index]->display_type == SDR_DTYPE_COLLAPSE_GROUP_NODE";

}  // namespace

// ------------------------------------------------------------ construction

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

// ------------------------------------------------------------ small helpers

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

void SDR_TX_SIGNAL_NODES::flag_presentation_change() {
  if (m_tx_change_status) m_tx_change_status->m_presentation_changed = true;
}

bool SDR_TX_SIGNAL_NODES::is_replaying() const {
  return m_tx_undo_manager && m_tx_undo_manager->is_undo_redo_in_progress();
}

void SDR_TX_SIGNAL_NODES::push_action(SDR_TX_UNDO_ACTION_ATOMIC* action) {
  if (m_tx_undo_manager)
    m_tx_undo_manager->add_atomic_action(action);
  else
    delete action;
}

int SDR_TX_SIGNAL_NODES::group_last(int index) const {
  int last = index;
  for (int i = index + 1; i < get_node_count(); ++i) {
    const SDR_DATA_NODE_DISPLAY_TYPE type = m_node_vec[static_cast<size_t>(i)]->display_type;
    if (!is_member_type(type)) break;
    last = i;
    if (type == SDR_DTYPE_LAST_GROUP_MEMBER_NODE) break;
  }
  return last;
}

// Group rows are counted apart too, so that a group named like a net does
// not pass for another row of that net.
void SDR_TX_SIGNAL_NODES::name_added(const NODE_TYPE* node) {
  m_name_count.add(&node->name);
  if (is_group_type(node->display_type)) m_group_name_count.add(&node->name);
}

void SDR_TX_SIGNAL_NODES::name_removed(const NODE_TYPE* node) {
  m_name_count.remove(&node->name);
  if (is_group_type(node->display_type)) m_group_name_count.remove(&node->name);
}

int SDR_TX_SIGNAL_NODES::count_net_name(const char* name) const {
  if (!name) return 0;
  const int groups = m_group_name_count.empty() ? 0 : m_group_name_count.count(name);
  return m_name_count.count(name) - groups;
}

int SDR_TX_SIGNAL_NODES::count_name(const char* name) const {
  if (!name) return 0;
  return m_name_count.count(name);
}

// ------------------------------------------------------------ view nodes

size_t SDR_TX_SIGNAL_NODES::HANDLE_EPOCHS::slot_of(const SDR_DATA_SIGNAL_VIEW_NODE* handle) const {
  // Fibonacci hashing of the address; the table's size is a power of two.
  const uint64_t key = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
  return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> m_shift);
}

size_t SDR_TX_SIGNAL_NODES::HANDLE_EPOCHS::index_of(const SDR_DATA_SIGNAL_VIEW_NODE* handle) const {
  if (!handle || m_slots.empty()) return m_slots.size();
  const size_t mask = m_slots.size() - 1;
  for (size_t i = slot_of(handle);; i = (i + 1) & mask) {
    if (m_slots[i].handle == handle) return i;
    if (!m_slots[i].handle) return m_slots.size();
  }
}

unsigned* SDR_TX_SIGNAL_NODES::HANDLE_EPOCHS::find(const SDR_DATA_SIGNAL_VIEW_NODE* handle) {
  const size_t i = index_of(handle);
  return i < m_slots.size() ? &m_slots[i].epoch : nullptr;
}

const unsigned* SDR_TX_SIGNAL_NODES::HANDLE_EPOCHS::find(const SDR_DATA_SIGNAL_VIEW_NODE* handle) const {
  const size_t i = index_of(handle);
  return i < m_slots.size() ? &m_slots[i].epoch : nullptr;
}

void SDR_TX_SIGNAL_NODES::HANDLE_EPOCHS::set(const SDR_DATA_SIGNAL_VIEW_NODE* handle, unsigned epoch) {
  if (!handle) return;
  if (unsigned* known = find(handle)) {
    *known = epoch;
    return;
  }
  // At most half full, so that a miss ends soon.
  if (2 * (m_size + 1) > m_slots.size()) {
    std::vector<SLOT> old;
    old.swap(m_slots);
    const size_t size = old.empty() ? 64 : 2 * old.size();
    m_slots.assign(size, SLOT());
    m_shift = 64;
    for (size_t n = size; n > 1; n >>= 1) --m_shift;
    m_size = 0;
    for (const SLOT& slot : old)
      if (slot.handle) set(slot.handle, slot.epoch);
  }
  const size_t mask = m_slots.size() - 1;
  size_t i = slot_of(handle);
  while (m_slots[i].handle) i = (i + 1) & mask;
  m_slots[i].handle = handle;
  m_slots[i].epoch = epoch;
  ++m_size;
}

void SDR_TX_SIGNAL_NODES::HANDLE_EPOCHS::clear() {
  m_slots.clear();
  m_size = 0;
  m_shift = 64;
}

SDR_DATA_SIGNAL_VIEW_NODE* SDR_TX_SIGNAL_NODES::adopt_view_node(SDR_DATA_SIGNAL_VIEW_NODE* node) {
  if (!node) return nullptr;
  std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE> owned(node);
  if (owned->is_null()) return nullptr;
  m_handle_epoch.set(node, m_view_epoch);
  m_view_node_pool.push_back(std::move(owned));
  return node;
}

void SDR_TX_SIGNAL_NODES::unbind_view() {
  m_data_view = nullptr;
  ++m_view_epoch;
}

SDR_DATA_SIGNAL_VIEW_NODE* SDR_TX_SIGNAL_NODES::view_node_in(const NODE_TYPE* node,
                                                             const SDR_DATA_SIGNAL_VIEW* view) const {
  if (!node || !view || !node->data_view_node) return nullptr;
  // Only handles of this list, made since the rows last left a view.
  const unsigned* epoch = m_handle_epoch.find(node->data_view_node);
  if (!epoch || *epoch != m_view_epoch) return nullptr;
  VIEW_NODE* vn = node->data_view_node;
  if (vn->get_view() != view || vn->is_null()) return nullptr;
  return vn;
}

SDR_DATA_SIGNAL_VIEW_NODE* SDR_TX_SIGNAL_NODES::make_view_node(const NODE_TYPE* node,
                                                               SDR_DATA_SIGNAL_VIEW* view) {
  if (!view) return nullptr;
  if (is_group_type(node->display_type)) return view->create_bus_node(node->name.c_str());
  if (!SDR_CHECK_AS(is_net_type(node->display_type), "Invalid node type")) return nullptr;
  return view->create_net_node(node->name.c_str());
}

void SDR_TX_SIGNAL_NODES::detach_view_node(NODE_TYPE* node) {
  VIEW_NODE* vn = node ? node->data_view_node : nullptr;
  if (!vn || vn->is_null()) return;
  // The element leaves the view but stays with the row (undo puts it back);
  // the document frees it at the latest when it goes.
  vn->detach();
}

std::unique_ptr<SDR_TX_SIGNAL_NODES::NODE_TYPE> SDR_TX_SIGNAL_NODES::take_image(const NODE_TYPE* node) const {
  std::unique_ptr<NODE_TYPE> copy = clone_node(node);
  copy->view_image.clear();
  if (VIEW_NODE* vn = view_node_in(node, m_data_view)) {
    const DOMNamedNodeMap* attributes = vn->get_dom_node()->getAttributes();
    for (XMLSize_t i = 0; attributes && i < attributes->getLength(); ++i) {
      const DOMNode* attribute = attributes->item(i);
      copy->view_image.emplace_back(sdr_to_utf8(attribute->getNodeName()),
                                    sdr_to_utf8(attribute->getNodeValue()));
    }
  }
  return copy;
}

void SDR_TX_SIGNAL_NODES::place_view_node(int index, bool make) {
  NODE* node = node_at(index);
  if (!node || !m_data_view) return;
  VIEW_NODE* vn = view_node_in(node, m_data_view);
  if (!vn) {
    if (!make) return;
    vn = adopt_view_node(make_view_node(node, m_data_view));
    if (!vn) return;
    node->data_view_node = vn;
    sync_view_node(node);
  }
  if (is_member_type(node->display_type)) {
    for (int j = index - 1; j >= 0; --j) {
      NODE* prev = node_at(j);
      if (is_group_type(prev->display_type)) {
        VIEW_NODE* bus = view_node_in(prev, m_data_view);
        if (!bus) return;
        std::unique_ptr<VIEW_NODE> first(bus->get_first_child());
        if (!first)
          bus->append_child(vn);
        else if (first->get_dom_node() != vn->get_dom_node())
          first->insert_before(vn);
        return;
      }
      if (VIEW_NODE* prev_vn = view_node_in(prev, m_data_view)) {
        prev_vn->append_after(vn);
        return;
      }
      if (!is_member_type(prev->display_type)) return;
    }
    return;
  }
  for (int j = index - 1; j >= 0; --j) {
    NODE* prev = node_at(j);
    if (is_member_type(prev->display_type)) continue;
    if (VIEW_NODE* prev_vn = view_node_in(prev, m_data_view)) {
      prev_vn->append_after(vn);
      return;
    }
  }
  m_data_view->insert_first_node(vn);
}

// ------------------------------------------------------------ getters

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
  return node ? node->debug_port : false;
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
  return node ? node->lsb_to_msb : false;
}

bool SDR_TX_SIGNAL_NODES::is_node_signal_inverted(int index) const {
  const NODE_TYPE* node = node_at(index);
  return node ? node->signal_inverted : false;
}

bool SDR_TX_SIGNAL_NODES::is_node_invalid(int index) const {
  const NODE_TYPE* node = node_at(index);
  return node ? node->invalid : false;
}

void SDR_TX_SIGNAL_NODES::set_node_invalid(int index, bool invalid) {
  if (NODE_TYPE* node = node_at(index)) node->invalid = invalid;
}

bool SDR_TX_SIGNAL_NODES::is_group_member_expanded(int index) const {
  const NODE_TYPE* node = node_at(index);
  if (!node) return false;
  if (!is_member_type(node->display_type)) return true;
  const NODE_TYPE* group = node_at(find_parent_group_node(index));
  return !group || group->display_type == SDR_DTYPE_EXPAND_GROUP_NODE;
}

int SDR_TX_SIGNAL_NODES::find_wire_node(const char* name) const {
  if (!name || count_name(name) == 0) return -1;
  for (int i = 0; i < get_node_count(); ++i) {
    const NODE_TYPE* node = m_node_vec[static_cast<size_t>(i)].get();
    if (is_net_type(node->display_type) && node->name == name) return i;
  }
  return -1;
}

int SDR_TX_SIGNAL_NODES::find_group_node(const char* name) const {
  if (!name || count_name(name) == 0) return -1;
  for (int i = 0; i < get_node_count(); ++i) {
    const NODE_TYPE* node = m_node_vec[static_cast<size_t>(i)].get();
    if (is_group_type(node->display_type) && node->name == name) return i;
  }
  return -1;
}

int SDR_TX_SIGNAL_NODES::find_node_with_name_not_in_range(const char* name, int first, int last) const {
  if (!name || count_name(name) == 0) return -1;
  for (int i = 0; i < get_node_count(); ++i) {
    if (i >= first && i <= last) continue;
    if (m_node_vec[static_cast<size_t>(i)]->name == name) return i;
  }
  return -1;
}

int SDR_TX_SIGNAL_NODES::find_parent_group_node(int index) const {
  const NODE_TYPE* node = node_at(index);
  if (!node || !is_member_type(node->display_type)) return -1;
  for (int i = index - 1; i >= 0; --i) {
    const SDR_DATA_NODE_DISPLAY_TYPE type = m_node_vec[static_cast<size_t>(i)]->display_type;
    if (is_group_type(type)) return i;
    if (!is_member_type(type)) return -1;
  }
  return -1;
}

// ------------------------------------------------------------ row property edits

template <class CHANGE, class FLAG>
bool SDR_TX_SIGNAL_NODES::edit_row(int index, CHANGE change, FLAG flag) {
  NODE_TYPE* node = node_at(index);
  if (!node) return false;
  std::unique_ptr<NODE_TYPE> old_node = take_image(node);
  if (!change(node)) return false;
  flag(node);
  push_action(new SDR_TX_UNDO_ACTION_SET_NODE(this, index, old_node.release(), take_image(node).release()));
  return true;
}

template <class APPLY>
void SDR_TX_SIGNAL_NODES::mirror_linked_group(int index, SDR_DATA_GROUP_LINKING_TYPE needed, APPLY apply) {
  NODE_TYPE* node = node_at(index);
  if (!node || !is_group_type(node->display_type) || !(node->group_linking & needed)) return;
  if (is_replaying() || m_link_suspended || !m_tx_the_other_signal_nodes) return;
  SDR_TX_SIGNAL_NODES* other = m_tx_the_other_signal_nodes;
  const int j = other->find_group_node(node->name.c_str());
  if (j < 0) return;
  other->push_node_image(j);
  NODE_TYPE* target = other->node_at(j);
  apply(target);
  other->sync_view_node(target);
  other->flag_presentation_change();
  other->push_node_image(j);
}

bool SDR_TX_SIGNAL_NODES::set_node_name(int index, const char* name) {
  NODES_RECORD("set_node_name");
  record_scope.add_argument(index);
  record_scope.add_argument(name);
  if (!name || !*name) return false;
  NODE_TYPE* node = node_at(index);
  if (!node || is_group_type(node->display_type)) return false;
  return edit_row(
      index,
      [&](NODE_TYPE* n) {
        if (n->name == name) return false;
        name_removed(n);
        n->name = name;
        name_added(n);
        return true;
      },
      [&](NODE_TYPE* n) { flag_node_change(n); });
}

bool SDR_TX_SIGNAL_NODES::set_group_node_name(int index, const char* name) {
  NODES_RECORD("set_group_node_name");
  record_scope.add_argument(index);
  record_scope.add_argument(name);
  NODE_TYPE* node = node_at(index);
  if (!node) return false;
  if (!SDR_CHECK_AS(is_group_type(node->display_type), GROUP_ROW_TEXT)) return false;
  if (!SDR_CHECK_AS(name && *name, "name != NULL && gen_strlen( name ) > 0")) return false;
  if (node->name == name) return false;
  std::string accepted = name;
  std::unique_ptr<NODE_TYPE> old_node = take_image(node);
  if (node->group_linking != SDR_LTYPE_NONE && !is_replaying() && !m_link_suspended) {
    SDR_TX_SIGNAL_NODES* other = m_tx_the_other_signal_nodes;
    if (SDR_CHECK(other != NULL)) {
      const int j = other->find_group_node(node->name.c_str());
      if (j >= 0) {
        other->push_node_image(j);
        NODE_TYPE* target = other->node_at(j);
        const SDR_DATA_GROUP_LINKING_TYPE linking = target->group_linking;
        target->group_linking = SDR_LTYPE_NONE;
        for (int n = 1; target->name != accepted && !other->set_group_node_name(j, accepted.c_str()); ++n) {
          if (n > 100000) break;
          char suffix[32];
          std::snprintf(suffix, sizeof suffix, " (%d)", n);
          accepted = std::string(name) + suffix;
        }
        target->group_linking = linking;
        other->push_node_image(j);
        if (node->name == accepted) return false;
      }
    }
  }
  name_removed(node);
  node->name = accepted;
  name_added(node);
  sync_view_node(node);
  flag_presentation_change();
  push_action(new SDR_TX_UNDO_ACTION_SET_NODE(this, index, old_node.release(), take_image(node).release()));
  return true;
}

bool SDR_TX_SIGNAL_NODES::set_node_alias(int index, const char* alias) {
  NODES_RECORD("set_node_alias");
  record_scope.add_argument(index);
  record_scope.add_argument(alias);
  if (!alias) return false;
  return edit_row(
      index,
      [&](NODE_TYPE* n) {
        if (n->alias == alias) return false;
        n->alias = alias;
        sync_view_node(n);
        return true;
      },
      [&](NODE_TYPE*) { flag_presentation_change(); });
}

bool SDR_TX_SIGNAL_NODES::set_node_capture_type(int index, SDR_DATA_WIRE_CAPTURE_TYPE capture_type) {
  NODES_RECORD("set_node_capture_type");
  record_scope.add_argument(index);
  record_scope.add_argument(capture_type);
  if (capture_type != SDR_CTYPE_DATA && capture_type != SDR_CTYPE_TRIGGER && capture_type != SDR_CTYPE_BOTH)
    return false;
  NODE_TYPE* node = node_at(index);
  if (!node || is_group_type(node->display_type)) return false;
  return edit_row(
      index,
      [&](NODE_TYPE* n) {
        if (n->capture_type == capture_type) return false;
        m_data_wire_count += (has_data(capture_type) ? 1 : 0) - (has_data(n->capture_type) ? 1 : 0);
        m_trigger_wire_count += (has_trigger(capture_type) ? 1 : 0) - (has_trigger(n->capture_type) ? 1 : 0);
        n->capture_type = capture_type;
        n->mark = true;
        m_capture_type_changed = true;
        return true;
      },
      [&](NODE_TYPE* n) { flag_node_change(n); });
}

bool SDR_TX_SIGNAL_NODES::set_node_tap_mode(int index, SDR_DATA_WIRE_TAP_MODE tap_mode) {
  NODES_RECORD("set_node_tap_mode");
  record_scope.add_argument(index);
  record_scope.add_argument(tap_mode);
  if (!SDR_CHECK(tap_mode != SDR_MTYPE_PROBEONLY_TAP)) return false;
  NODE_TYPE* node = node_at(index);
  if (!node || is_group_type(node->display_type)) return false;
  return edit_row(
      index,
      [&](NODE_TYPE* n) {
        if (n->tap_mode == tap_mode) return false;
        n->tap_mode = tap_mode;
        return true;
      },
      [&](NODE_TYPE*) {
        if (m_tx_change_status) m_tx_change_status->m_node_changed_full = true;
      });
}

bool SDR_TX_SIGNAL_NODES::set_node_connection_status(int index, bool connected) {
  NODES_RECORD("set_node_connection_status");
  record_scope.add_argument(index);
  record_scope.add_argument(connected);
  NODE_TYPE* node = node_at(index);
  if (!node || is_group_type(node->display_type)) return false;
  return edit_row(
      index,
      [&](NODE_TYPE* n) {
        if (n->connection_status == connected) return false;
        n->connection_status = connected;
        return true;
      },
      [&](NODE_TYPE*) {
        if (m_tx_change_status) m_tx_change_status->m_node_changed_full = true;
      });
}

bool SDR_TX_SIGNAL_NODES::set_debug_out(int index, bool debug_port, const char* port_name) {
  NODES_RECORD("set_debug_out");
  record_scope.add_argument(index);
  record_scope.add_argument(debug_port);
  record_scope.add_argument(port_name);
  NODE_TYPE* node = node_at(index);
  if (!node || is_group_type(node->display_type)) return false;
  std::string name;
  if (debug_port) {
    if (!port_name) return false;
    name = port_name;
    if (name.empty()) gen_debug_port_name(&name, index);
  } else {
    name = port_name ? std::string(port_name) : node->debug_port_name.str();
  }
  return edit_row(
      index,
      [&](NODE_TYPE* n) {
        if (n->debug_port == debug_port && n->debug_port_name == name) return false;
        n->debug_port = debug_port;
        n->debug_port_name = name;
        return true;
      },
      [&](NODE_TYPE* n) {
        if (!m_tx_change_status) return;
        if (n->tap_mode == SDR_MTYPE_CLASSIC_TAP)
          m_tx_change_status->m_debug_port_changed_full = true;
        else
          m_tx_change_status->m_debug_port_changed_pinwatch = true;
      });
}

bool SDR_TX_SIGNAL_NODES::set_node_group_display_type(int index, SDR_DATA_GROUP_DISPLAY_TYPE display_type) {
  NODES_RECORD("set_node_group_display_type");
  record_scope.add_argument(index);
  record_scope.add_argument(display_type);
  NODE_TYPE* node = node_at(index);
  if (!node || !is_group_type(node->display_type)) return false;
  const bool changed = edit_row(
      index,
      [&](NODE_TYPE* n) {
        if (n->group_display_type == display_type) return false;
        n->group_display_type = display_type;
        sync_view_node(n);
        return true;
      },
      [&](NODE_TYPE*) { flag_presentation_change(); });
  if (changed)
    mirror_linked_group(index, SDR_LTYPE_RADIX, [&](NODE_TYPE* n) { n->group_display_type = display_type; });
  return changed;
}

bool SDR_TX_SIGNAL_NODES::set_node_mnemonics_table_name(int index, const char* table) {
  NODES_RECORD("set_node_mnemonics_table_name");
  record_scope.add_argument(index);
  record_scope.add_argument(table);
  if (!table) return false;
  NODE_TYPE* node = node_at(index);
  if (!node || !is_group_type(node->display_type)) return false;
  const bool changed = edit_row(
      index,
      [&](NODE_TYPE* n) {
        if (n->mnemonics_table_name == table) return false;
        n->mnemonics_table_name = table;
        sync_view_node(n);
        return true;
      },
      [&](NODE_TYPE*) { flag_presentation_change(); });
  if (changed)
    mirror_linked_group(index, SDR_LTYPE_RADIX, [&](NODE_TYPE* n) { n->mnemonics_table_name = table; });
  return changed;
}

bool SDR_TX_SIGNAL_NODES::set_node_lsb_to_msb(int index, bool lsb_to_msb) {
  NODES_RECORD("set_node_lsb_to_msb");
  record_scope.add_argument(index);
  record_scope.add_argument(lsb_to_msb);
  NODE_TYPE* node = node_at(index);
  if (!node || !is_group_type(node->display_type)) return false;
  const bool changed = edit_row(
      index,
      [&](NODE_TYPE* n) {
        if (n->lsb_to_msb == lsb_to_msb) return false;
        n->lsb_to_msb = lsb_to_msb;
        sync_view_node(n);
        return true;
      },
      [&](NODE_TYPE*) { flag_presentation_change(); });
  if (changed)
    mirror_linked_group(index, SDR_LTYPE_BIT_ORDER, [&](NODE_TYPE* n) { n->lsb_to_msb = lsb_to_msb; });
  return changed;
}

bool SDR_TX_SIGNAL_NODES::set_node_signal_inverted(int index, bool inverted) {
  NODES_RECORD("set_node_signal_inverted");
  record_scope.add_argument(index);
  record_scope.add_argument(inverted);
  return edit_row(
      index,
      [&](NODE_TYPE* n) {
        if (n->signal_inverted == inverted) return false;
        n->signal_inverted = inverted;
        sync_view_node(n);
        return true;
      },
      [&](NODE_TYPE*) { flag_presentation_change(); });
}

bool SDR_TX_SIGNAL_NODES::toggle_node(int index) {
  NODES_RECORD("toggle_node");
  record_scope.add_argument(index);
  NODE_TYPE* node = node_at(index);
  if (!node || !is_group_type(node->display_type)) return false;
  return edit_row(
      index,
      [&](NODE_TYPE* n) {
        n->display_type = n->display_type == SDR_DTYPE_EXPAND_GROUP_NODE ? SDR_DTYPE_COLLAPSE_GROUP_NODE
                                                                         : SDR_DTYPE_EXPAND_GROUP_NODE;
        sync_view_node(n);
        return true;
      },
      [&](NODE_TYPE*) { flag_presentation_change(); });
}

bool SDR_TX_SIGNAL_NODES::rename_all_node_name(const char* old_name, const char* new_name) {
  NODES_RECORD("rename_all_node_name");
  record_scope.add_argument(old_name);
  record_scope.add_argument(new_name);
  if (!old_name || !new_name || !*new_name || count_name(old_name) == 0) return false;
  bool changed = false;
  for (int i = 0; i < get_node_count(); ++i) {
    const NODE_TYPE* node = m_node_vec[static_cast<size_t>(i)].get();
    if (is_net_type(node->display_type) && node->name == old_name)
      changed = SDR_TX_SIGNAL_NODES::set_node_name(i, new_name) || changed;
  }
  return changed;
}

bool SDR_TX_SIGNAL_NODES::rename_all_node_alias(const char* old_alias, const char* new_alias) {
  NODES_RECORD("rename_all_node_alias");
  record_scope.add_argument(old_alias);
  record_scope.add_argument(new_alias);
  // An empty key would reach every row without an alias.
  if (!old_alias || !*old_alias || !new_alias) return false;
  bool changed = false;
  for (int i = 0; i < get_node_count(); ++i) {
    const NODE_TYPE* node = m_node_vec[static_cast<size_t>(i)].get();
    if (is_net_type(node->display_type) && node->alias == old_alias)
      changed = SDR_TX_SIGNAL_NODES::set_node_alias(i, new_alias) || changed;
  }
  return changed;
}

bool SDR_TX_SIGNAL_NODES::restore_node_properties(int index, const NODE_TYPE* record) {
  NODE_TYPE* node = node_at(index);
  if (!SDR_CHECK(record != NULL) || !node) return false;
  if (node->capture_type != record->capture_type && is_net_type(record->display_type)) {
    m_data_wire_count += (has_data(record->capture_type) ? 1 : 0) - (has_data(node->capture_type) ? 1 : 0);
    m_trigger_wire_count +=
        (has_trigger(record->capture_type) ? 1 : 0) - (has_trigger(node->capture_type) ? 1 : 0);
    m_capture_type_changed = true;
    node->mark = true;
  }
  const bool renamed = node->name != record->name;
  if (renamed) name_removed(node);
  VIEW_NODE* vn = node->data_view_node;
  const bool mark = node->mark, no_wire = node->no_wire;
  *node = *record;
  // The counts point at the row's own name.
  if (renamed) name_added(node);
  node->data_view_node = vn;
  node->mark = mark;
  node->no_wire = no_wire;
  node->view_image.clear();
  VIEW_NODE* live = view_node_in(node, m_data_view);
  if (live && !record->view_image.empty()) {
    // The element as it was: the same attributes, no others. Its name may
    // change: it counts as an edit of rows.
    DOMElement* element = live->get_dom_node();
    sdr_count_edit(element);
    std::vector<std::string> stale;
    const DOMNamedNodeMap* attributes = element->getAttributes();
    for (XMLSize_t i = 0; attributes && i < attributes->getLength(); ++i) {
      std::string attribute = sdr_to_utf8(attributes->item(i)->getNodeName());
      bool kept = false;
      for (const auto& entry : record->view_image) kept = kept || entry.first == attribute;
      if (!kept) stale.push_back(attribute);
    }
    for (const std::string& attribute : stale) sdr_remove_attribute(element, attribute.c_str());
    for (const auto& entry : record->view_image)
      if (sdr_get_attribute(element, entry.first.c_str()) != entry.second ||
          !sdr_has_attribute(element, entry.first.c_str()))
        sdr_set_attribute(element, entry.first.c_str(), entry.second.c_str());
    // The handle reads the element afresh.
    static_cast<VIEW_NODE&>(*live) = VIEW_NODE(element, live->get_view());
  }
  sync_view_node(node);
  return true;
}

void SDR_TX_SIGNAL_NODES::push_node_image(int index) {
  NODE_TYPE* node = node_at(index);
  if (!node) return;
  push_action(
      new SDR_TX_UNDO_ACTION_SET_NODE(this, index, take_image(node).release(), take_image(node).release()));
}

void SDR_TX_SIGNAL_NODES::copy_node_properties(const NODE_TYPE* source, NODE_TYPE* target) {
  if (!SDR_CHECK(source != NULL && target != NULL)) return;
  *target = *source;
}

void SDR_TX_SIGNAL_NODES::copy_bus_node_properties(const NODE_TYPE* source, NODE_TYPE* target) {
  if (!SDR_CHECK(source != NULL && target != NULL)) return;
  target->name = source->name;
  target->alias = source->alias;
  target->signal_type = source->signal_type;
  target->display_type = source->display_type;
  target->lsb_to_msb = source->lsb_to_msb;
  target->signal_inverted = source->signal_inverted;
  target->group_display_type = source->group_display_type;
  target->group_linking = source->group_linking;
  target->mnemonics_table_name = source->mnemonics_table_name;
}
