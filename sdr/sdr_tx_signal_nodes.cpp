// Node lists of the two tabs (rows, groups, their view nodes, commits into
// wires and views) and the undo actions of node-list edits.

#include "sdr_tx_signal_nodes.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <unordered_set>
#include <utility>
#include <xercesc/dom/DOM.hpp>

#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_trigger.h"
#include "sdr_internal.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_internal.h"
#include "sdr_tx_undo_manager.h"

using namespace xercesc;

// Opens the record scope of a node-list operation.
#define NODES_RECORD(command) \
  SDR_TX_RECORD(record_scope, m_script_recorder, m_instance_index, m_setup_tab, command)

namespace {

using NODE = SDR_TX_SIGNAL_NODES::NODE_TYPE;
using VIEW_NODE = SDR_DATA_SIGNAL_VIEW_NODE;

const char GROUP_ROW_TEXT[] =
    "(*m_node_vec)[node_index]->display_type == SDR_DTYPE_EXPAND_GROUP_NODE || "
    "(*m_node_vec)[node_index]->display_type == SDR_DTYPE_COLLAPSE_GROUP_NODE";

bool is_group_type(SDR_DATA_NODE_DISPLAY_TYPE type) {
  return type == SDR_DTYPE_EXPAND_GROUP_NODE || type == SDR_DTYPE_COLLAPSE_GROUP_NODE;
}
bool is_member_type(SDR_DATA_NODE_DISPLAY_TYPE type) {
  return type == SDR_DTYPE_GROUP_MEMBER_NODE || type == SDR_DTYPE_LAST_GROUP_MEMBER_NODE;
}
bool is_net_type(SDR_DATA_NODE_DISPLAY_TYPE type) {
  return type == SDR_DTYPE_STANDALONE_NODE || is_member_type(type);
}
bool has_data(SDR_DATA_WIRE_CAPTURE_TYPE type) {
  return type == SDR_CTYPE_DATA || type == SDR_CTYPE_BOTH;
}
bool has_trigger(SDR_DATA_WIRE_CAPTURE_TYPE type) {
  return type == SDR_CTYPE_TRIGGER || type == SDR_CTYPE_BOTH;
}

std::unique_ptr<NODE> clone_node(const NODE* node) {
  std::unique_ptr<NODE> copy(new NODE);
  SDR_TX_SIGNAL_NODES::copy_node_properties(node, copy.get());
  return copy;
}

bool is_attached(const VIEW_NODE* node) {
  return node && node->get_dom_node() && node->get_dom_node()->getParentNode();
}

bool is_row_element(const DOMNode* node) {
  if (!node || node->getNodeType() != DOMNode::ELEMENT_NODE) return false;
  const XMLCh* tag = node->getNodeName();
  return XMLString::equals(tag, u"net") || XMLString::equals(tag, u"bus");
}

std::string attribute_of(const VIEW_NODE* node, const char* name) {
  return sdr_get_attribute(node->get_dom_node(), name);
}

bool text_is_yes(const std::string& text) {
  return text.size() == 3 && (text[0] == 'y' || text[0] == 'Y') && (text[1] == 'e' || text[1] == 'E') &&
         (text[2] == 's' || text[2] == 'S');
}

// The number after the last "[" (or, without one, the last "_") of a member
// name, and the text before it; false when no digit follows.
bool split_member_name(const std::string& name, std::string* base, long* number) {
  size_t pos = name.rfind('[');
  if (pos == std::string::npos) pos = name.rfind('_');
  if (pos == std::string::npos || pos + 1 >= name.size()) return false;
  const char next = name[pos + 1];
  if (next < '0' || next > '9') return false;
  *base = name.substr(0, pos);
  *number = std::strtol(name.c_str() + pos + 1, nullptr, 10);
  return true;
}

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

namespace {

void count_down(std::unordered_map<std::string, int>* counts, const std::string& name) {
  auto it = counts->find(name);
  if (it == counts->end()) return;
  if (--it->second <= 0) counts->erase(it);
}

}  // namespace

// Group rows are counted apart too, so that a group named like a net does
// not pass for another row of that net.
void SDR_TX_SIGNAL_NODES::name_added(const NODE_TYPE* node) {
  ++m_name_count[node->name];
  if (is_group_type(node->display_type)) ++m_group_name_count[node->name];
}

void SDR_TX_SIGNAL_NODES::name_removed(const NODE_TYPE* node) {
  count_down(&m_name_count, node->name);
  if (is_group_type(node->display_type)) count_down(&m_group_name_count, node->name);
}

int SDR_TX_SIGNAL_NODES::count_net_name(const char* name) const {
  if (!name) return 0;
  auto it = m_group_name_count.find(name);
  return count_name(name) - (it == m_group_name_count.end() ? 0 : it->second);
}

int SDR_TX_SIGNAL_NODES::count_name(const char* name) const {
  if (!name) return 0;
  auto it = m_name_count.find(name);
  return it == m_name_count.end() ? 0 : it->second;
}

// ------------------------------------------------------------ view nodes

SDR_DATA_SIGNAL_VIEW_NODE* SDR_TX_SIGNAL_NODES::adopt_view_node(SDR_DATA_SIGNAL_VIEW_NODE* node) {
  if (!node) return nullptr;
  std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE> owned(node);
  if (owned->is_null()) return nullptr;
  m_handle_epoch[node] = m_view_epoch;
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
  auto it = m_handle_epoch.find(node->data_view_node);
  if (it == m_handle_epoch.end() || it->second != m_view_epoch) return nullptr;
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

namespace {

// Basic trigger levels name their wires by alias: when a kept signal set
// gives a wire a new alias, every trigger of the set that has a condition
// on it writes its level texts again, or the stored text would name a
// signal that no longer exists and the condition would be lost on reload.
void rewrite_conditions_of(SDR_DATA_SIGNAL_SET* signal_set, const char* wire_name) {
  SDR_DATA_SIGNAL_WIRE* wire = signal_set && wire_name ? signal_set->get_wire(wire_name) : nullptr;
  const int index = wire ? wire->get_trigger_wire_index() : -1;
  if (index < 0) return;
  for (int t = 0; t < signal_set->get_num_triggers(); ++t) {
    SDR_DATA_TRIGGER* trigger = signal_set->get_trigger_at(t);
    for (int level = 0; trigger && level < trigger->get_event_levels(); ++level) {
      const SDR_DATA_TRIGGER_CONDITION condition = trigger->get_condition(level, index);
      if (trigger->is_trigger_level_basic_condition(level) && condition != SDR_TCOND_DONT_CARE)
        trigger->set_trigger_condition(index, level, condition, true);
    }
  }
}

}  // namespace

void SDR_TX_SIGNAL_NODES::sync_view_node(NODE_TYPE* node) {
  VIEW_NODE* vn = view_node_in(node, m_data_view);
  if (!vn) return;
  if (attribute_of(vn, "name") != node->name) vn->set_name(node->name.c_str());
  if (!vn->is_bus()) {
    if (is_group_type(node->display_type)) return;
    // A net's alias is its wire's.
    if (SDR_DATA_SIGNAL_WIRE* wire = vn->get_data_wire(false)) {
      const char* alias = wire->get_alias();
      if (node->alias != (alias ? alias : "") && vn->set_alias(node->alias.c_str()))
        rewrite_conditions_of(m_data_view->get_signal_set(), wire->get_name());
    }
    if (text_is_yes(attribute_of(vn, "is_signal_inverted")) != node->signal_inverted)
      vn->set_signal_inverted(node->signal_inverted);
    return;
  }
  if (attribute_of(vn, "alias") != node->alias) vn->set_alias(node->alias.c_str());
  SDR_DATA_SIGNAL_TYPE type = SDR_STYPE_UNKNOWN;
  SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(attribute_of(vn, "type").c_str(), &type);
  if (type != node->signal_type) vn->set_signal_type(node->signal_type);
  SDR_DATA_GROUP_DISPLAY_TYPE radix = SDR_GTYPE_HEX;
  const std::string radix_text = attribute_of(vn, "radix");
  if (!radix_text.empty()) SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(radix_text.c_str(), &radix);
  if (radix != node->group_display_type) vn->set_bus_display_type(node->group_display_type);
  if (attribute_of(vn, "mnemonics") != node->mnemonics_table_name)
    vn->set_mnemonics_table(node->mnemonics_table_name.c_str());
  if (!sdr_has_attribute(vn->get_dom_node(), "order") || vn->is_lsb_to_msb() != node->lsb_to_msb)
    vn->set_lsb_to_msb(node->lsb_to_msb);
  if (vn->is_bus_expanded() != (node->display_type == SDR_DTYPE_EXPAND_GROUP_NODE))
    vn->set_bus_display_state(node->display_type == SDR_DTYPE_EXPAND_GROUP_NODE);
  if (vn->get_bus_linking_type() != node->group_linking) vn->set_bus_linking_type(node->group_linking);
  if (text_is_yes(attribute_of(vn, "is_signal_inverted")) != node->signal_inverted)
    vn->set_signal_inverted(node->signal_inverted);
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
    name = port_name ? port_name : node->debug_port_name;
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
  if (node->name != record->name) {
    name_removed(node);
    name_added(record);
  }
  VIEW_NODE* vn = node->data_view_node;
  const bool mark = node->mark, no_wire = node->no_wire;
  *node = *record;
  node->data_view_node = vn;
  node->mark = mark;
  node->no_wire = no_wire;
  node->view_image.clear();
  VIEW_NODE* live = view_node_in(node, m_data_view);
  if (live && !record->view_image.empty()) {
    // The element as it was: the same attributes, no others.
    DOMElement* element = live->get_dom_node();
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

// ------------------------------------------------------------ append and delete

bool SDR_TX_SIGNAL_NODES::append_node(const char* name, SDR_DATA_SIGNAL_TYPE signal_type,
                                      SDR_DATA_WIRE_TAP_MODE tap_mode) {
  NODES_RECORD("append_node");
  record_scope.add_argument(name);
  record_scope.add_argument(signal_type);
  record_scope.add_argument(tap_mode);
  if (!SDR_CHECK(name != NULL) || !*name) return false;
  NODE_TYPE* node = new NODE_TYPE;
  node->name = name;
  node->display_type = SDR_DTYPE_STANDALONE_NODE;
  node->signal_type = signal_type;
  node->tap_mode = tap_mode;
  node->capture_type = SDR_CTYPE_BOTH;
  node->data_wire_index = m_next_data_wire_index++;
  node->trigger_wire_index = m_next_trigger_wire_index++;
  return append_node(node, false);
}

bool SDR_TX_SIGNAL_NODES::append_node(NODE_TYPE* node, bool clone) {
  if (!SDR_CHECK(node != NULL)) return false;
  std::unique_ptr<NODE_TYPE> row(clone ? clone_node(node).release() : node);
  // A row from elsewhere (the other tab, an old view) brings no view node.
  VIEW_NODE* vn = view_node_in(row.get(), m_data_view);
  if (!vn || is_attached(vn)) row->data_view_node = nullptr;
  row->mark = false;
  const bool group = is_group_type(row->display_type);
  if (!group && !is_member_type(row->display_type)) row->display_type = SDR_DTYPE_STANDALONE_NODE;
  if (!group) {
    if (has_data(row->capture_type)) ++m_data_wire_count;
    if (has_trigger(row->capture_type)) ++m_trigger_wire_count;
    if (m_tx_change_status) {
      if (row->tap_mode == SDR_MTYPE_PROBEONLY_TAP)
        m_tx_change_status->m_node_changed_pinwatch = true;
      else
        m_tx_change_status->m_node_changed_full = true;
    }
  }
  name_added(row.get());
  m_view_changed = true;
  const int index = get_node_count();
  std::unique_ptr<NODE_TYPE> copy = clone_node(row.get());
  m_node_vec.push_back(std::move(row));
  if (!is_replaying()) push_action(new SDR_TX_UNDO_ACTION_APPEND(this, index, copy.release()));
  return true;
}

bool SDR_TX_SIGNAL_NODES::append_node_uniq_name(NODE_TYPE* node) {
  NODES_RECORD("append_node_uniq_name");
  if (!SDR_CHECK_AS(node != NULL, "this_node != NULL")) return false;
  record_scope.add_argument(node->name);
  if (count_name(node->name.c_str()) > 0) return false;
  return append_node(node, true);
}

bool SDR_TX_SIGNAL_NODES::delete_node(const char* name) {
  NODES_RECORD("delete_node");
  record_scope.add_argument(name);
  const int index = find_wire_node(name);
  if (index < 0) return false;
  return delete_rows(index, index) > 0;
}

int SDR_TX_SIGNAL_NODES::delete_node(int first, int last) {
  NODES_RECORD("delete_node");
  record_scope.add_argument(first);
  record_scope.add_argument(last);
  return delete_rows(first, last);
}

int SDR_TX_SIGNAL_NODES::delete_node_base(int first, int last) {
  NODES_RECORD("delete_node_base");
  record_scope.add_argument(first);
  record_scope.add_argument(last);
  return delete_rows(first, last);
}

int SDR_TX_SIGNAL_NODES::delete_rows(int first, int last) {
  if (!SDR_CHECK(first >= 0 && last >= 0)) return 0;
  if (first > last) std::swap(first, last);
  const int count = get_node_count();
  if (last >= count) return 0;
  // The range follows the groups: a group row whose members run past the
  // range stays when it starts the range, and is taken whole elsewhere; a
  // range holding every member of a group takes its row as well.
  const NODE_TYPE* head = node_at(first);
  if (is_group_type(head->display_type) && group_last(first) > last) {
    ++first;
  } else if (is_member_type(head->display_type) && first > 0 &&
             is_group_type(node_at(first - 1)->display_type) && group_last(first - 1) <= last) {
    --first;
  }
  for (int i = first; i <= last; ++i) {
    if (!is_group_type(node_at(i)->display_type)) continue;
    const int end = group_last(i);
    if (end > last) last = end;
    i = end;
  }
  if (first > last) return 0;
  // Removing the tail of a group whose first members stay: the last that
  // stays becomes the last member.
  if (first > 0 && node_at(first - 1)->display_type == SDR_DTYPE_GROUP_MEMBER_NODE &&
      is_member_type(node_at(first)->display_type)) {
    int i = first;
    while (i <= last && node_at(i)->display_type == SDR_DTYPE_GROUP_MEMBER_NODE) ++i;
    if (i <= last && node_at(i)->display_type == SDR_DTYPE_LAST_GROUP_MEMBER_NODE)
      node_at(first - 1)->display_type = SDR_DTYPE_LAST_GROUP_MEMBER_NODE;
  }
  NODE_VEC deleted;
  deleted.reserve(static_cast<size_t>(last - first + 1));
  for (int i = first; i <= last; ++i) {
    NODE_TYPE* node = node_at(i);
    if (!is_group_type(node->display_type)) {
      if (has_data(node->capture_type)) --m_data_wire_count;
      if (has_trigger(node->capture_type)) --m_trigger_wire_count;
      flag_node_change(node);
    } else {
      flag_presentation_change();
    }
    detach_view_node(node);
    name_removed(node);
    deleted.push_back(std::move(m_node_vec[static_cast<size_t>(i)]));
  }
  m_node_vec.erase(m_node_vec.begin() + first, m_node_vec.begin() + last + 1);
  const int removed = last - first + 1;
  push_action(new SDR_TX_UNDO_ACTION_DELETE(this, first, last, std::move(deleted)));
  return removed;
}

bool SDR_TX_SIGNAL_NODES::insert_deleted_before_node(int index, const NODE_VEC& nodes) {
  if (!SDR_CHECK(index >= 0 && index <= get_node_count())) return false;
  if (nodes.empty()) return true;
  NODE_VEC rows;
  rows.reserve(nodes.size());
  for (const auto& node : nodes) {
    std::unique_ptr<NODE_TYPE> row = clone_node(node.get());
    VIEW_NODE* vn = view_node_in(row.get(), m_data_view);
    if (!vn || is_attached(vn)) row->data_view_node = nullptr;
    if (!is_group_type(row->display_type)) {
      if (has_data(row->capture_type)) ++m_data_wire_count;
      if (has_trigger(row->capture_type)) ++m_trigger_wire_count;
    }
    name_added(row.get());
    rows.push_back(std::move(row));
  }
  const int count = static_cast<int>(rows.size());
  m_node_vec.insert(m_node_vec.begin() + index, std::make_move_iterator(rows.begin()),
                    std::make_move_iterator(rows.end()));
  if (index > 0 && node_at(index - 1)->display_type == SDR_DTYPE_LAST_GROUP_MEMBER_NODE &&
      is_member_type(node_at(index)->display_type))
    node_at(index - 1)->display_type = SDR_DTYPE_GROUP_MEMBER_NODE;
  for (int i = index; i < index + count; ++i) place_view_node(i, true);
  return true;
}

// ------------------------------------------------------------ groups

SDR_TX_SIGNAL_NODES::NODE_TYPE* SDR_TX_SIGNAL_NODES::build_group_row(int first, int last) {
  NODE_TYPE* group = new NODE_TYPE;
  bool consistent = true;
  std::string base;
  long min_number = 0, max_number = 0;
  int min_updates = 0, max_updates = 0;
  for (int i = first; i <= last && consistent; ++i) {
    std::string member_base;
    long number = 0;
    if (!split_member_name(node_at(i)->name, &member_base, &number)) {
      consistent = false;
      break;
    }
    if (i == first) {
      base = member_base;
      min_number = max_number = number;
      continue;
    }
    if (member_base != base) consistent = false;
    if (number < min_number) {
      min_number = number;
      ++min_updates;
    }
    if (number > max_number) {
      max_number = number;
      ++max_updates;
    }
  }
  if (consistent) {
    char range[64];
    const bool ascending = max_updates > min_updates;
    std::snprintf(range, sizeof range, "[%ld..%ld]", ascending ? min_number : max_number,
                  ascending ? max_number : min_number);
    group->name = base + range;
    group->lsb_to_msb = ascending;
  } else {
    group->name = "Group";
    group->lsb_to_msb = true;
  }
  group->display_type = SDR_DTYPE_COLLAPSE_GROUP_NODE;
  group->signal_type = node_at(last)->signal_type;
  return group;
}

bool SDR_TX_SIGNAL_NODES::group_node(int first, int last, NODE_TYPE* group) {
  NODES_RECORD("group_node");
  record_scope.add_argument(first);
  record_scope.add_argument(last);
  if (!SDR_CHECK(first >= 0 && last >= 0)) return false;
  if (first > last) std::swap(first, last);
  if (last >= get_node_count()) return false;
  for (int i = first; i <= last; ++i)
    if (node_at(i)->display_type != SDR_DTYPE_STANDALONE_NODE) return false;
  std::unique_ptr<NODE_TYPE> row(group ? clone_node(group).release() : build_group_row(first, last));
  if (!is_group_type(row->display_type)) row->display_type = SDR_DTYPE_COLLAPSE_GROUP_NODE;
  if (row->name.empty()) row->name = "Group";
  row->data_wire_index = row->trigger_wire_index = -1;
  row->mark = row->no_wire = false;
  // The bus: the one of the record when it is free (redo keeps the same
  // element), else a new one, when some member is in the view.
  VIEW_NODE* bus = nullptr;
  VIEW_NODE* first_vn = nullptr;
  for (int i = first; i <= last && !first_vn; ++i) first_vn = view_node_in(node_at(i), m_data_view);
  if (first_vn) {
    bus = view_node_in(row.get(), m_data_view);
    if (!bus || !bus->is_bus() || is_attached(bus))
      bus = adopt_view_node(make_view_node(row.get(), m_data_view));
  }
  row->data_view_node = bus;
  if (bus) {
    first_vn->insert_before(bus);
    sync_view_node(row.get());
  }
  for (int i = first; i <= last; ++i) {
    NODE_TYPE* member = node_at(i);
    member->display_type = i == last ? SDR_DTYPE_LAST_GROUP_MEMBER_NODE : SDR_DTYPE_GROUP_MEMBER_NODE;
    if (bus) {
      if (VIEW_NODE* vn = view_node_in(member, m_data_view)) bus->append_child(vn);
    }
  }
  name_added(row.get());
  std::unique_ptr<NODE_TYPE> copy = clone_node(row.get());
  m_node_vec.insert(m_node_vec.begin() + first, std::move(row));
  flag_presentation_change();
  push_action(new SDR_TX_UNDO_ACTION_GROUP(this, first, last, copy.release()));
  return true;
}

bool SDR_TX_SIGNAL_NODES::ungroup_node(int index) {
  NODES_RECORD("ungroup_node");
  record_scope.add_argument(index);
  NODE_TYPE* node = node_at(index);
  if (!node || !is_group_type(node->display_type)) return false;
  if (node->group_linking != SDR_LTYPE_NONE && !is_replaying() && !m_link_suspended &&
      m_tx_the_other_signal_nodes) {
    SDR_TX_SIGNAL_NODES* other = m_tx_the_other_signal_nodes;
    const int j = other->find_group_node(node->name.c_str());
    if (j >= 0) {
      other->push_node_image(j);
      NODE_TYPE* target = other->node_at(j);
      target->group_linking = SDR_LTYPE_NONE;
      other->sync_view_node(target);
      other->ungroup_node(j);
    }
  }
  const int last = group_last(index);
  VIEW_NODE* bus = view_node_in(node, m_data_view);
  for (int i = index + 1; i <= last; ++i) {
    NODE_TYPE* member = node_at(i);
    member->display_type = SDR_DTYPE_STANDALONE_NODE;
    if (bus) {
      if (VIEW_NODE* vn = view_node_in(member, m_data_view)) bus->insert_before(vn);
    }
  }
  detach_view_node(node);
  std::unique_ptr<NODE_TYPE> copy = clone_node(node);
  name_removed(node);
  m_node_vec.erase(m_node_vec.begin() + index);
  flag_presentation_change();
  push_action(new SDR_TX_UNDO_ACTION_UNGROUP(this, index, last - 1, copy.release()));
  return true;
}

bool SDR_TX_SIGNAL_NODES::link_group_node(int index, SDR_DATA_GROUP_LINKING_TYPE linking) {
  NODES_RECORD("link_group_node");
  record_scope.add_argument(index);
  record_scope.add_argument(linking);
  SDR_TX_SIGNAL_NODES* other = m_tx_the_other_signal_nodes;
  if (!SDR_CHECK_AS(other != NULL, "target_nodes != NULL")) return false;
  if (!SDR_CHECK_AS(index >= 0, "group_node_index >= 0")) return false;
  NODE_TYPE* node = node_at(index);
  if (linking == SDR_LTYPE_NONE || !node || !is_group_type(node->display_type)) return false;
  push_node_image(index);
  const int last = group_last(index);
  std::vector<std::string> names;
  for (int i = index + 1; i <= last; ++i) names.push_back(node_at(i)->name);
  // 1. The members leave their groups on the other tab.
  for (const std::string& name : names) {
    const int j = other->find_wire_node(name.c_str());
    if (j < 0 || !is_member_type(other->node_at(j)->display_type)) continue;
    const int g = other->find_parent_group_node(j);
    if (g < 0) continue;
    other->push_node_image(g);
    other->node_at(g)->group_linking = SDR_LTYPE_NONE;
    other->ungroup_node(g);
  }
  // 2. They come together in member order.
  int pos = -1, found = 0;
  for (const std::string& name : names) {
    const int j = other->find_wire_node(name.c_str());
    if (j < 0) continue;
    ++found;
    if (pos < 0 || j == pos + 1) {
      pos = j;
      continue;
    }
    const int rc = other->move_before_node(j, j, pos + 1, false);
    if (!SDR_CHECK(rc >= 0)) return false;
    if (j > pos) ++pos;
  }
  if (found == 0) return false;
  // 3. They are grouped there under this group's name.
  const int first_other = pos - found + 1;
  if (!other->group_node(first_other, pos, nullptr)) return false;
  const int g = first_other;
  std::string accepted = node->name;
  for (int n = 1; other->node_at(g)->name != accepted && !other->set_group_node_name(g, accepted.c_str());
       ++n) {
    if (n > 100000) break;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, " (%d)", n);
    accepted = node->name + suffix;
  }
  if (accepted != node->name) set_group_node_name(index, other->node_at(g)->name.c_str());
  NODE_TYPE* target = other->node_at(g);
  other->push_node_image(g);
  // 4. Linked aspects follow this group.
  if (linking & SDR_LTYPE_RADIX) {
    target->group_display_type = node->group_display_type;
    target->mnemonics_table_name = node->mnemonics_table_name;
  }
  if (linking & SDR_LTYPE_BIT_ORDER) target->lsb_to_msb = node->lsb_to_msb;
  // 5. Both rows keep the link.
  node->group_linking = linking;
  target->group_linking = linking;
  sync_view_node(node);
  other->sync_view_node(target);
  push_node_image(index);
  other->push_node_image(g);
  m_view_changed = true;
  other->m_view_changed = true;
  flag_presentation_change();
  return true;
}

// ------------------------------------------------------------ move and copy

void SDR_TX_SIGNAL_NODES::node_block_swap(int first, int middle, int last) {
  if (first < 0 || middle < first || last <= middle || last >= get_node_count()) return;
  std::rotate(m_node_vec.begin() + first, m_node_vec.begin() + middle + 1, m_node_vec.begin() + last + 1);
}

int SDR_TX_SIGNAL_NODES::move_before_node(int first, int last, int before, bool into_group) {
  NODES_RECORD("move_before_node");
  record_scope.add_argument(first);
  record_scope.add_argument(last);
  record_scope.add_argument(before);
  record_scope.add_argument(into_group);
  if (!SDR_CHECK(first >= 0 && last >= 0 && before >= 0)) return -1;
  if (first > last) std::swap(first, last);
  const int count = get_node_count();
  if (last >= count || before > count || (before > first && before <= last)) return -1;
  const int n = last - first + 1;
  // The rows around the block's new place, the block left out.
  const int place = before <= first ? before : before - n;
  auto outside = [&](int k) -> NODE_TYPE* {  // k-th row of the list without the block
    if (k < 0 || k >= count - n) return nullptr;
    return node_at(k < first ? k : k + n);
  };
  const NODE_TYPE* prev = outside(place - 1);
  const NODE_TYPE* next = outside(place);
  // Groups stay whole: a group row moves with all its members, and a group
  // is not left empty.
  for (int i = first; i <= last; ++i) {
    if (!is_group_type(node_at(i)->display_type)) continue;
    if (into_group) return -1;
    const int end = group_last(i);
    if (end > last) return -1;
    i = end;
  }
  const bool leaves_tail = is_member_type(node_at(first)->display_type) && [&] {
    for (int i = first; i <= last; ++i) {
      if (node_at(i)->display_type == SDR_DTYPE_LAST_GROUP_MEMBER_NODE) return true;
      if (!is_member_type(node_at(i)->display_type)) return false;
    }
    return false;
  }();
  if (leaves_tail && first > 0 && is_group_type(node_at(first - 1)->display_type)) {
    // Every member would go: allowed only when they stay in that group.
    if (!(into_group && before == first)) return -1;
  }
  if (into_group) {
    if (!prev || !(is_group_type(prev->display_type) || is_member_type(prev->display_type))) return -1;
  } else if (next && is_member_type(next->display_type)) {
    return -1;
  }
  mirror_linked_move(first, last, before, into_group);
  const bool group_flag = is_member_type(node_at(first)->display_type);
  DISPLAY_TYPES types;
  if (first > 0) types.emplace_back(first - 1, node_at(first - 1)->display_type);
  for (int i = first; i <= last; ++i) types.emplace_back(i, node_at(i)->display_type);
  if (prev) {
    const int k = place - 1;
    const int prev_index = k < first ? k : k + n;
    if (prev_index != first - 1) types.emplace_back(prev_index, prev->display_type);
  }
  // Display types, fixed where the rows stand.
  if (!into_group) {
    for (int i = first; i <= last; ++i) {
      NODE_TYPE* row = node_at(i);
      if (row->display_type == SDR_DTYPE_GROUP_MEMBER_NODE) {
        row->display_type = SDR_DTYPE_STANDALONE_NODE;
      } else if (row->display_type == SDR_DTYPE_LAST_GROUP_MEMBER_NODE) {
        row->display_type = SDR_DTYPE_STANDALONE_NODE;
        if (first > 0 && is_member_type(node_at(first - 1)->display_type))
          node_at(first - 1)->display_type = SDR_DTYPE_LAST_GROUP_MEMBER_NODE;
        break;
      } else {
        break;
      }
    }
  } else {
    if (leaves_tail && first > 0 && node_at(first - 1)->display_type == SDR_DTYPE_GROUP_MEMBER_NODE)
      node_at(first - 1)->display_type = SDR_DTYPE_LAST_GROUP_MEMBER_NODE;
    for (int i = first; i <= last; ++i) node_at(i)->display_type = SDR_DTYPE_GROUP_MEMBER_NODE;
    // The block ends the group when nothing of the group follows it.
    NODE_TYPE* prev_row = const_cast<NODE_TYPE*>(prev);
    if (!next || !is_member_type(next->display_type)) {
      if (prev_row->display_type == SDR_DTYPE_LAST_GROUP_MEMBER_NODE)
        prev_row->display_type = SDR_DTYPE_GROUP_MEMBER_NODE;
      node_at(last)->display_type = SDR_DTYPE_LAST_GROUP_MEMBER_NODE;
    }
  }
  int result;
  if (before > last) {
    node_block_swap(first, last, before - 1);
    result = before;
  } else {
    if (before < first) node_block_swap(before, first - 1, last);
    result = before + n;
  }
  const int new_first = before > last ? before - n : before;
  for (int i = new_first; i < new_first + n; ++i) place_view_node(i, false);
  flag_presentation_change();
  SDR_TX_UNDO_ACTION_MOVE* action =
      new SDR_TX_UNDO_ACTION_MOVE(this, first, last, before, into_group, group_flag);
  action->set_display_types(std::move(types));
  push_action(action);
  return result;
}

bool SDR_TX_SIGNAL_NODES::restore_moved_block(int first, int last, int before, const DISPLAY_TYPES& types) {
  NODES_RECORD("restore_moved_block");
  record_scope.add_argument(first);
  record_scope.add_argument(last);
  record_scope.add_argument(before);
  const int count = get_node_count();
  if (first < 0 || first > last || last >= count || before < 0 || before > count) return false;
  const int n = last - first + 1;
  if (before > last + 1) {
    std::rotate(m_node_vec.begin() + first, m_node_vec.begin() + (before - n), m_node_vec.begin() + before);
  } else if (before < first) {
    std::rotate(m_node_vec.begin() + before, m_node_vec.begin() + before + n, m_node_vec.begin() + last + 1);
  }
  for (const auto& entry : types)
    if (NODE_TYPE* row = node_at(entry.first)) row->display_type = entry.second;
  for (int i = first; i <= last; ++i) place_view_node(i, false);
  flag_presentation_change();
  return true;
}

void SDR_TX_SIGNAL_NODES::mirror_linked_move(int first, int last, int before, bool into_group) {
  // Called before the move: a block moved inside one group linked by wire
  // order moves the same way in the group of that name on the other tab.
  if (!into_group || is_replaying() || m_link_suspended || !m_tx_the_other_signal_nodes) return;
  const int g = find_parent_group_node(first);
  if (g < 0) return;
  const int end = group_last(g);
  NODE_TYPE* group = node_at(g);
  if (last > end || before <= g || before > end + 1 || !(group->group_linking & SDR_LTYPE_WIRE_ORDER)) return;
  SDR_TX_SIGNAL_NODES* other = m_tx_the_other_signal_nodes;
  const int j = other->find_group_node(group->name.c_str());
  if (j < 0) return;
  const int other_end = other->group_last(j);
  const int of = j + (first - g), ol = j + (last - g), ob = j + (before - g);
  if (ol > other_end || ob > other_end + 1) return;
  other->push_node_image(j);
  other->m_link_suspended = true;
  other->move_before_node(of, ol, ob, true);
  other->m_link_suspended = false;
  other->push_node_image(j);
}

int SDR_TX_SIGNAL_NODES::copy_before_node(int first, int last, int before, bool into_group) {
  NODES_RECORD("copy_before_node");
  record_scope.add_argument(first);
  record_scope.add_argument(last);
  record_scope.add_argument(before);
  record_scope.add_argument(into_group);
  if (!SDR_CHECK(first >= 0 && last >= 0 && before >= 0)) return -1;
  if (first > last) std::swap(first, last);
  const int count = get_node_count();
  if (last >= count || before > count || (before > first && before <= last)) return -1;
  const int n = last - first + 1;
  for (int i = first; i <= last; ++i) {
    if (!is_group_type(node_at(i)->display_type)) continue;
    if (into_group) return -1;
    const int end = group_last(i);
    if (end > last) return -1;
    i = end;
  }
  const NODE_TYPE* prev = node_at(before - 1);
  const NODE_TYPE* next = node_at(before);
  if (into_group) {
    if (!prev || !(is_group_type(prev->display_type) || is_member_type(prev->display_type))) return -1;
  } else if (next && is_member_type(next->display_type)) {
    return -1;
  }
  NODE_VEC copies;
  copies.reserve(static_cast<size_t>(n));
  std::vector<VIEW_NODE*> bus_children;  // the cloned members of the last copied group
  size_t child = 0;
  for (int i = first; i <= last; ++i) {
    const NODE_TYPE* source = node_at(i);
    std::unique_ptr<NODE_TYPE> copy = clone_node(source);
    copy->data_view_node = nullptr;
    copy->mark = false;
    VIEW_NODE* vn = view_node_in(source, m_data_view);
    if (is_group_type(source->display_type)) {
      bus_children.clear();
      child = 0;
      if (vn) {
        copy->data_view_node = adopt_view_node(vn->clone(true));
        if (copy->data_view_node) {
          std::unique_ptr<VIEW_NODE> c(copy->data_view_node->get_first_child());
          while (c) {
            std::unique_ptr<VIEW_NODE> next_c(c->get_next_sibling());
            bus_children.push_back(adopt_view_node(c.release()));
            c = std::move(next_c);
          }
        }
      }
    } else if (is_member_type(source->display_type) && child < bus_children.size() && i > first &&
               find_parent_group_node(i) >= first) {
      copy->data_view_node = bus_children[child++];
    } else if (vn) {
      copy->data_view_node = adopt_view_node(vn->clone(true));
    }
    name_added(copy.get());
    if (!is_group_type(copy->display_type)) {
      if (has_data(copy->capture_type)) ++m_data_wire_count;
      if (has_trigger(copy->capture_type)) ++m_trigger_wire_count;
    }
    copies.push_back(std::move(copy));
  }
  m_node_vec.insert(m_node_vec.begin() + before, std::make_move_iterator(copies.begin()),
                    std::make_move_iterator(copies.end()));
  if (!into_group) {
    for (int i = before; i < before + n && is_member_type(node_at(i)->display_type); ++i)
      node_at(i)->display_type = SDR_DTYPE_STANDALONE_NODE;
  } else {
    if (before > 0 && node_at(before - 1)->display_type == SDR_DTYPE_LAST_GROUP_MEMBER_NODE)
      node_at(before - 1)->display_type = SDR_DTYPE_GROUP_MEMBER_NODE;
    for (int i = before; i < before + n; ++i) node_at(i)->display_type = SDR_DTYPE_GROUP_MEMBER_NODE;
    const NODE_TYPE* after = node_at(before + n);
    if (!after || !is_member_type(after->display_type))
      node_at(before + n - 1)->display_type = SDR_DTYPE_LAST_GROUP_MEMBER_NODE;
  }
  for (int i = before; i < before + n; ++i) place_view_node(i, false);
  m_view_changed = true;
  flag_presentation_change();
  const int end = before + n;
  push_action(new SDR_TX_UNDO_ACTION_COPY(this, first, last, before, into_group, end));
  return end;
}

// ------------------------------------------------------------ other tab, names

void SDR_TX_SIGNAL_NODES::rebuild_uniq_name_set() {}

void SDR_TX_SIGNAL_NODES::set_the_other_signal_nodes(SDR_TX_SIGNAL_NODES* nodes) {
  if (!SDR_CHECK(nodes != NULL)) return;
  m_tx_the_other_signal_nodes = nodes;
}

void SDR_TX_SIGNAL_NODES::gen_debug_port_name(std::string* text, int n) const {
  if (!text) return;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "auto_tzo_debug_out_%d_%d", m_instance_index, n);
  *text = buffer;
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

// ------------------------------------------------------------ init

bool SDR_TX_SIGNAL_NODES::init() {
  if (m_tx_undo_manager) m_tx_undo_manager->clear_all_actions();
  m_node_vec.clear();
  m_handle_epoch.clear();
  m_view_node_pool.clear();
  m_name_count.clear();
  m_group_name_count.clear();
  m_data_wire_count = m_trigger_wire_count = 0;
  m_next_data_wire_index = m_next_trigger_wire_index = 0;
  m_capture_type_changed = false;
  m_view_changed = false;
  m_data_view = nullptr;
  ++m_view_epoch;
  return true;
}

bool SDR_TX_SIGNAL_NODES::init(SDR_DATA_SIGNAL_VIEW* view) {
  SDR_TX_SIGNAL_NODES::init();
  if (!SDR_CHECK_AS(view != NULL, "data_view != NULL")) return false;
  m_data_view = view;
  if (SDR_DATA_SIGNAL_SET* set = view->get_signal_set()) {
    m_data_wire_count = m_next_data_wire_index = set->get_data_wire_width();
    m_trigger_wire_count = m_next_trigger_wire_index = set->get_trigger_wire_width();
  }
  auto net_row = [&](VIEW_NODE* vn, SDR_DATA_NODE_DISPLAY_TYPE type) {
    std::unique_ptr<NODE_TYPE> row(new NODE_TYPE);
    SDR_DATA_SIGNAL_WIRE* wire = vn->get_data_wire(true);
    if (wire) {
      assign_data_wire_to_node(row.get(), wire);
    } else {
      row->no_wire = true;
      const char* name = vn->get_name();
      row->name = name ? name : "";
    }
    row->display_type = type;
    row->signal_inverted = vn->is_signal_inverted();
    row->data_view_node = vn;
    name_added(row.get());
    m_node_vec.push_back(std::move(row));
  };
  std::unique_ptr<VIEW_NODE> cur(view->get_first_node());
  if (cur && cur->is_null()) cur.reset();
  while (cur) {
    std::unique_ptr<VIEW_NODE> next(cur->get_next_sibling());
    if (!cur->is_bus()) {
      net_row(adopt_view_node(cur.release()), SDR_DTYPE_STANDALONE_NODE);
      cur = std::move(next);
      continue;
    }
    // A bus: its nets, nested buses walked through, become the members.
    std::vector<VIEW_NODE*> members;
    std::vector<std::unique_ptr<VIEW_NODE>> stack;
    std::unique_ptr<VIEW_NODE> c(cur->get_first_child());
    while (c || !stack.empty()) {
      if (!c) {
        c.reset(stack.back()->get_next_sibling());
        stack.pop_back();
        continue;
      }
      if (c->is_bus()) {
        std::unique_ptr<VIEW_NODE> inner(c->get_first_child());
        stack.push_back(std::move(c));
        c = std::move(inner);
        continue;
      }
      std::unique_ptr<VIEW_NODE> next_c(c->get_next_sibling());
      members.push_back(adopt_view_node(c.release()));
      c = std::move(next_c);
    }
    if (!members.empty()) {
      VIEW_NODE* bus = adopt_view_node(cur.release());
      std::unique_ptr<NODE_TYPE> row(new NODE_TYPE);
      const char* name = bus->get_name();
      row->name = name ? name : "";
      row->alias = attribute_of(bus, "alias");
      row->signal_type = bus->get_signal_type();
      row->group_linking = bus->get_bus_linking_type();
      const std::string radix = attribute_of(bus, "radix");
      if (!radix.empty())
        SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(radix.c_str(), &row->group_display_type);
      row->mnemonics_table_name = attribute_of(bus, "mnemonics");
      row->display_type =
          bus->is_bus_expanded() ? SDR_DTYPE_EXPAND_GROUP_NODE : SDR_DTYPE_COLLAPSE_GROUP_NODE;
      row->lsb_to_msb = bus->is_lsb_to_msb();
      row->signal_inverted = bus->is_signal_inverted();
      row->data_view_node = bus;
      name_added(row.get());
      m_node_vec.push_back(std::move(row));
      for (size_t i = 0; i < members.size(); ++i)
        net_row(members[i],
                i + 1 == members.size() ? SDR_DTYPE_LAST_GROUP_MEMBER_NODE : SDR_DTYPE_GROUP_MEMBER_NODE);
    }
    cur = std::move(next);
  }
  recover_presentation_view_error();
  return true;
}

bool SDR_TX_SIGNAL_NODES::recover_presentation_view_error() {
  NODES_RECORD("recover_presentation_view_error");
  if (!SDR_CHECK(m_data_view != NULL)) return false;
  if (m_data_view->is_ref_error_checked()) return true;
  SDR_DATA_SIGNAL_SET* set = m_data_view->get_signal_set();
  const bool data_view = set && set->get_data_view() == m_data_view;
  std::unordered_set<std::string> names;
  int net_count = 0;
  // Rows without a wire go, with their view nodes; a group left without
  // members goes too.
  NODE_VEC kept;
  kept.reserve(m_node_vec.size());
  for (auto& row : m_node_vec) {
    if (!row->no_wire) {
      if (is_net_type(row->display_type)) {
        ++net_count;
        names.insert(row->name);
      }
      kept.push_back(std::move(row));
      continue;
    }
    SDR_CHECK_AS(row->data_view_node != NULL, "node->data_view_node != NULL");
    if (row->display_type == SDR_DTYPE_LAST_GROUP_MEMBER_NODE && !kept.empty()) {
      NODE_TYPE* prev = kept.back().get();
      if (prev->display_type == SDR_DTYPE_GROUP_MEMBER_NODE)
        prev->display_type = SDR_DTYPE_LAST_GROUP_MEMBER_NODE;
    }
    detach_view_node(row.get());
    name_removed(row.get());
  }
  m_node_vec.clear();
  for (size_t i = 0; i < kept.size(); ++i) {
    NODE_TYPE* row = kept[i].get();
    if (is_group_type(row->display_type) &&
        (i + 1 == kept.size() || !is_member_type(kept[i + 1]->display_type))) {
      detach_view_node(row);
      name_removed(row);
      continue;
    }
    m_node_vec.push_back(std::move(kept[i]));
  }
  // Wires without a row get one at the end.
  bool added = false;
  auto add_row = [&](SDR_DATA_SIGNAL_WIRE* wire) {
    if (!wire || !wire->get_name() || names.count(wire->get_name())) return;
    names.insert(wire->get_name());
    std::unique_ptr<NODE_TYPE> row(new NODE_TYPE);
    assign_data_wire_to_node(row.get(), wire);
    row->display_type = SDR_DTYPE_STANDALONE_NODE;
    row->mark = true;
    VIEW_NODE* vn = adopt_view_node(m_data_view->create_net_node(wire->get_name()));
    if (vn) m_data_view->append_node(vn);
    row->data_view_node = vn;
    name_added(row.get());
    m_node_vec.push_back(std::move(row));
    added = true;
  };
  if (set && data_view) {
    if (static_cast<int>(names.size()) < set->get_data_wire_width())
      for (int i = 0; i < set->get_data_wire_width(); ++i) add_row(set->get_data_wire_at(i));
  } else if (set && net_count < set->get_wire_size()) {
    for (int i = 0; i < set->get_data_wire_width(); ++i) add_row(set->get_data_wire_at(i));
    for (int i = 0; i < set->get_trigger_wire_width(); ++i) {
      SDR_DATA_SIGNAL_WIRE* wire = set->get_trigger_wire_at(i);
      if (wire && wire->get_capture_type() == SDR_CTYPE_TRIGGER) add_row(wire);
    }
  }
  if (added) m_capture_type_changed = true;
  m_data_view->set_ref_error_checked(true);
  return true;
}

// ------------------------------------------------------------ commits

void SDR_TX_SIGNAL_NODES::rebuild_view(SDR_DATA_SIGNAL_VIEW* view) {
  // The rows of the view leave it; their elements stay with the document,
  // since undo actions may still hold them.
  if (DOMElement* element = view->get_dom_node()) {
    DOMNode* child = element->getFirstChild();
    while (child) {
      DOMNode* next = child->getNextSibling();
      if (is_row_element(child)) element->removeChild(child);
      child = next;
    }
  }
  const unsigned old_epoch = m_view_epoch++;
  m_data_view = view;
  VIEW_NODE* bus = nullptr;
  for (auto& row : m_node_vec) {
    std::unique_ptr<VIEW_NODE> fresh(make_view_node(row.get(), view));
    if (!fresh || fresh->is_null()) continue;
    VIEW_NODE* old = row->data_view_node;
    auto known = old ? m_handle_epoch.find(old) : m_handle_epoch.end();
    VIEW_NODE* vn;
    if (known != m_handle_epoch.end() && known->second == old_epoch) {
      // Re-targets every copy of the row that undo actions hold.
      *old = *fresh;
      known->second = m_view_epoch;
      vn = old;
    } else {
      vn = adopt_view_node(fresh.release());
      row->data_view_node = vn;
    }
    sync_view_node(row.get());
    if (is_group_type(row->display_type)) {
      view->append_node(vn);
      bus = vn;
    } else if (is_member_type(row->display_type)) {
      if (SDR_CHECK_AS(bus != NULL, "bus_view_node != NULL")) bus->append_child(vn);
    } else {
      view->append_node(vn);
      bus = nullptr;
    }
  }
}

bool SDR_TX_SIGNAL_NODES::commit(SDR_DATA_SIGNAL_VIEW* view) {
  if (!SDR_CHECK(view != NULL)) return false;
  if (view != m_data_view) {
    rebuild_view(view);
  } else {
    for (int i = 0; i < get_node_count(); ++i) {
      NODE_TYPE* row = node_at(i);
      if (view_node_in(row, view))
        sync_view_node(row);
      else
        place_view_node(i, true);
    }
  }
  if (SDR_DATA_SIGNAL_SET* set = view->get_signal_set()) {
    for (auto& row : m_node_vec) {
      if (!is_net_type(row->display_type)) continue;
      if (SDR_DATA_SIGNAL_WIRE* wire = set->get_wire(row->name.c_str()))
        row->data_wire_index = wire->get_data_wire_index();
    }
  }
  m_view_changed = false;
  if (m_tx_change_status) m_tx_change_status->m_presentation_changed = false;
  return true;
}

bool SDR_TX_SIGNAL_NODES::commit_signal_set_debug_port(SDR_DATA_SIGNAL_SET* signal_set) {
  if (!signal_set) return false;
  int generated = 0;
  for (auto& row : m_node_vec) {
    if (!is_net_type(row->display_type)) continue;
    SDR_DATA_SIGNAL_WIRE* wire = signal_set->get_wire(row->name.c_str());
    if (!wire) continue;
    if (row->debug_port) {
      std::string name = row->debug_port_name;
      if (name.empty()) gen_debug_port_name(&name, generated++);
      const char* current = wire->get_debug_port_name();
      if (!wire->is_debug_port() || name != (current ? current : ""))
        wire->set_debug_port(true, name.c_str());
    } else if (wire->is_debug_port()) {
      wire->set_debug_port(false, nullptr);
    }
  }
  if (m_tx_change_status) {
    m_tx_change_status->m_debug_port_changed_full = false;
    m_tx_change_status->m_debug_port_changed_pinwatch = false;
  }
  return true;
}

bool SDR_TX_SIGNAL_NODES::commit_signal_set(SDR_DATA_SIGNAL_SET* signal_set, bool incremental) {
  if (!signal_set) return false;
  auto make_wire = [&](NODE_TYPE* row, SDR_DATA_WIRE_CAPTURE_TYPE capture) {
    SDR_DATA_SIGNAL_WIRE* wire =
        signal_set->create_wire(row->name.c_str(), capture, row->tap_mode, row->connection_status,
                                row->alias.empty() ? nullptr : row->alias.c_str());
    if (!wire || !signal_set->append(wire, true)) {
      sdr_report_internal_error("Failed to create a wire", __FILE__, __LINE__);
      return;
    }
    if (row->signal_type != SDR_STYPE_UNKNOWN && wire->get_signal_type() != row->signal_type)
      wire->set_signal_type(row->signal_type);
    if (row->debug_port && !row->debug_port_name.empty() && !wire->is_debug_port())
      wire->set_debug_port(true, row->debug_port_name.c_str());
    row->data_wire_index = wire->get_data_wire_index();
  };
  auto takes_part = [](const NODE_TYPE* row) { return is_net_type(row->display_type) && !row->name.empty(); };
  if (!incremental) {
    std::map<std::string, NODE_TYPE*> by_mode[3];
    for (auto& row : m_node_vec) {
      if (!takes_part(row.get())) continue;
      const int mode = static_cast<int>(row->tap_mode);
      if (!SDR_CHECK_AS(mode >= 0 && mode <= 2, "Invalid node connection type")) continue;
      by_mode[mode].emplace(row->name, row.get());
    }
    for (auto& map : by_mode)
      for (auto& entry : map) make_wire(entry.second, entry.second->capture_type);
  } else {
    // Existing wires keep their places in both lists; new ones follow.
    std::map<int, NODE_TYPE*> data_list, trigger_list;
    std::vector<NODE_TYPE*> new_data, new_trigger;
    for (auto& row : m_node_vec) {
      if (!takes_part(row.get())) continue;
      if (has_trigger(row->capture_type)) {
        if (row->trigger_wire_index < 0 || !trigger_list.emplace(row->trigger_wire_index, row.get()).second)
          new_trigger.push_back(row.get());
      }
      if (has_data(row->capture_type)) {
        if (row->data_wire_index < 0 || !data_list.emplace(row->data_wire_index, row.get()).second)
          new_data.push_back(row.get());
      }
    }
    for (auto& entry : trigger_list) make_wire(entry.second, SDR_CTYPE_TRIGGER);
    for (auto& entry : data_list) make_wire(entry.second, SDR_CTYPE_DATA);
    for (NODE_TYPE* row : new_trigger) make_wire(row, SDR_CTYPE_TRIGGER);
    for (NODE_TYPE* row : new_data) make_wire(row, SDR_CTYPE_DATA);
  }
  if (m_tx_change_status) {
    m_tx_change_status->m_node_changed_full = false;
    m_tx_change_status->m_node_changed_pinwatch = false;
  }
  return true;
}

// ------------------------------------------------------------ undo actions

namespace {

// The change flags a row edit raises, from the two images.
void add_row_change_kind(const NODE* a, const NODE* b, SDR_TX_CHANGE_STATUS* flags) {
  if (!a || !b) return;
  const bool classic = b->tap_mode == SDR_MTYPE_CLASSIC_TAP && a->tap_mode == SDR_MTYPE_CLASSIC_TAP;
  const bool net = is_net_type(b->display_type);
  bool wire_change = false;
  if ((a->name != b->name && net) || a->capture_type != b->capture_type) {
    (classic ? flags->m_node_changed_full : flags->m_node_changed_pinwatch) = true;
    wire_change = true;
  }
  if (a->tap_mode != b->tap_mode || a->connection_status != b->connection_status) {
    flags->m_node_changed_full = true;
    wire_change = true;
  }
  if (a->debug_port != b->debug_port || a->debug_port_name != b->debug_port_name) {
    (b->tap_mode == SDR_MTYPE_CLASSIC_TAP ? flags->m_debug_port_changed_full
                                          : flags->m_debug_port_changed_pinwatch) = true;
    wire_change = true;
  }
  // Everything else a row shows, and the images of linked groups.
  if (!wire_change || a->alias != b->alias || a->signal_inverted != b->signal_inverted ||
      a->lsb_to_msb != b->lsb_to_msb || a->group_display_type != b->group_display_type ||
      a->mnemonics_table_name != b->mnemonics_table_name || a->display_type != b->display_type ||
      a->group_linking != b->group_linking || (a->name != b->name && !net))
    flags->m_presentation_changed = true;
}

void add_rows_change_kind(const NODE* row, SDR_TX_CHANGE_STATUS* flags) {
  if (!row) return;
  if (is_group_type(row->display_type)) {
    flags->m_presentation_changed = true;
    return;
  }
  if (row->tap_mode == SDR_MTYPE_CLASSIC_TAP)
    flags->m_node_changed_full = true;
  else
    flags->m_node_changed_pinwatch = true;
}

}  // namespace

SDR_TX_UNDO_ACTION_MOVE::SDR_TX_UNDO_ACTION_MOVE(SDR_TX_SIGNAL_NODES* nodes, int first, int last, int before,
                                                 bool move_flag, bool group_flag)
    : m_nodes(nodes),
      m_first(first),
      m_last(last),
      m_before(before),
      m_move_flag(move_flag),
      m_group_flag(group_flag) {}

bool SDR_TX_UNDO_ACTION_MOVE::undo() {
  if (!m_types.empty()) return m_nodes->restore_moved_block(m_first, m_last, m_before, m_types);
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
  // Exactly the copies: the data tab's rule that keeps one row of a name
  // is not for undo.
  return m_nodes->delete_node_base(m_end - 1 - (m_last - m_first), m_end - 1) > 0;
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
  for (const auto& row : m_deleted) add_rows_change_kind(row.get(), flags);
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
  if (is_group_type(m_node->display_type)) return;
  if (m_node->tap_mode == SDR_MTYPE_PROBEONLY_TAP)
    flags->m_node_changed_pinwatch = true;
  else
    flags->m_node_changed_full = true;
}

SDR_TX_UNDO_ACTION_SET_NODE::SDR_TX_UNDO_ACTION_SET_NODE(SDR_TX_SIGNAL_NODES* nodes, int index,
                                                         SDR_TX_NODE* old_node, SDR_TX_NODE* new_node)
    : m_nodes(nodes), m_index(index), m_old(old_node), m_new(new_node) {}

SDR_TX_UNDO_ACTION_SET_NODE::~SDR_TX_UNDO_ACTION_SET_NODE() = default;

bool SDR_TX_UNDO_ACTION_SET_NODE::undo() {
  const bool ok = m_nodes->restore_node_properties(m_index, m_old.get());
  // A row's name or alias is in the setup tab's set of unique names.
  if (m_old->name != m_new->name || m_old->alias != m_new->alias) m_nodes->rebuild_uniq_name_set();
  return ok;
}

bool SDR_TX_UNDO_ACTION_SET_NODE::redo() {
  const bool ok = m_nodes->restore_node_properties(m_index, m_new.get());
  if (m_old->name != m_new->name || m_old->alias != m_new->alias) m_nodes->rebuild_uniq_name_set();
  return ok;
}

void SDR_TX_UNDO_ACTION_SET_NODE::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  add_row_change_kind(m_old.get(), m_new.get(), flags);
}
