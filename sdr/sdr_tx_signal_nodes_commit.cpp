// Node lists of the two tabs: init from a view, recovery of a broken
// presentation view, the sync of rows into their view nodes, and commits
// into wires and views.

#include <map>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>
#include <xercesc/dom/DOM.hpp>

#include "sdr_data_global_enum.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_trigger.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_tx_internal.h"
#include "sdr_tx_row_wire.h"
#include "sdr_tx_signal_nodes.h"
#include "sdr_tx_signal_nodes_internal.h"
#include "sdr_tx_undo_manager.h"

using namespace xercesc;

namespace {

bool is_row_element(const DOMNode* node) {
  if (!node || node->getNodeType() != DOMNode::ELEMENT_NODE) return false;
  const XMLCh* tag = node->getNodeName();
  return XMLString::equals(tag, u"net") || XMLString::equals(tag, u"bus");
}

// True when element's attribute (absent reads "") is text; an ASCII value
// is compared in place, without a conversion.
bool attribute_is(const DOMElement* element, const XMLCh* name, const std::string& text) {
  const DOMAttr* attr = element ? element->getAttributeNode(name) : nullptr;
  const XMLCh* value = attr ? sdr_attribute_value(attr) : u"";
  if (!value) value = u"";
  size_t i = 0;
  for (; value[i] && i < text.size(); ++i) {
    if (value[i] >= 0x80 || static_cast<unsigned char>(text[i]) >= 0x80) return sdr_to_utf8(value) == text;
    if (value[i] != static_cast<XMLCh>(text[i])) return false;
  }
  if (value[i] && value[i] >= 0x80) return sdr_to_utf8(value) == text;
  return !value[i] && i == text.size();
}

bool text_is_yes(const std::string& text) {
  return text.size() == 3 && (text[0] == 'y' || text[0] == 'Y') && (text[1] == 'e' || text[1] == 'E') &&
         (text[2] == 's' || text[2] == 'S');
}

}  // namespace

// ------------------------------------------------------------ view sync

namespace {

// Trigger levels name their wires by alias: when a kept signal set gives a
// wire a new alias, every trigger of the set writes again the basic level
// texts with a condition on it and the advanced expressions that named it
// by its old alias (by its name when the alias went), or the stored text
// would name a signal that no longer exists and the condition would be
// lost on reload.
void rewrite_conditions_of(SDR_DATA_SIGNAL_SET* signal_set, const char* wire_name,
                           const std::string& old_alias) {
  SDR_DATA_SIGNAL_WIRE* wire = signal_set && wire_name ? signal_set->get_wire(wire_name) : nullptr;
  const int index = wire ? wire->get_trigger_wire_index() : -1;
  if (index < 0) return;
  const char* alias = wire->get_alias();
  const char* new_name = alias && *alias ? alias : wire->get_name();
  for (int t = 0; t < signal_set->get_num_triggers(); ++t) {
    SDR_DATA_TRIGGER* trigger = signal_set->get_trigger_at(t);
    if (!trigger) continue;
    for (int level = 0; level < trigger->get_event_levels(); ++level) {
      const SDR_DATA_TRIGGER_CONDITION condition = trigger->get_condition(level, index);
      if (trigger->is_trigger_level_basic_condition(level) && condition != SDR_TCOND_DONT_CARE)
        trigger->set_trigger_condition(index, level, condition, true);
    }
    // Without an old alias the expressions named the wire by its name,
    // which it keeps.
    if (!old_alias.empty() && wire->get_name() && old_alias != wire->get_name())
      trigger->rename_advanced_signal(old_alias.c_str(), new_name);
  }
}

}  // namespace

void SDR_TX_SIGNAL_NODES::sync_view_node(NODE_TYPE* node) {
  bool renamed = false;
  sync_view_node_in(node, view_node_in(node, m_data_view), &renamed);
}

SDR_DATA_SIGNAL_WIRE* SDR_TX_SIGNAL_NODES::sync_view_node_in(NODE_TYPE* node, SDR_DATA_SIGNAL_VIEW_NODE* vn,
                                                             bool* renamed) {
  if (!vn) return nullptr;
  if (!attribute_is(vn->get_dom_node(), u"name", node->name)) {
    vn->set_name(node->name.c_str());
    *renamed = true;
  }
  if (!vn->is_bus()) {
    if (is_group_type(node->display_type)) return nullptr;
    // A net's alias is its wire's (the view node's get_data_wire).
    const char* vn_name = vn->get_name();
    SDR_DATA_SIGNAL_SET* vn_set = vn->get_view() ? vn->get_view()->get_signal_set() : nullptr;
    SDR_DATA_SIGNAL_WIRE* wire = vn_set && vn_name ? sdr_tx_row_wire(vn_set, vn_name, node) : nullptr;
    if (wire) {
      const char* alias = wire->get_alias();
      const std::string old_alias = alias ? alias : "";
      if (node->alias != old_alias && vn->set_alias(node->alias.c_str())) {
        rewrite_conditions_of(m_data_view->get_signal_set(), wire->get_name(), old_alias);
        *renamed = true;
      }
    }
    if (text_is_yes(attribute_of(vn, "is_signal_inverted")) != node->signal_inverted)
      vn->set_signal_inverted(node->signal_inverted);
    return wire;
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
  return nullptr;
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
    sdr_count_edit(element);
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
    unsigned* known = old ? m_handle_epoch.find(old) : nullptr;
    VIEW_NODE* vn;
    if (known && *known == old_epoch) {
      // Re-targets every copy of the row that undo actions hold.
      *old = *fresh;
      *known = m_view_epoch;
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

void SDR_TX_SIGNAL_NODES::HANDLE_EPOCHS::prefetch(const SDR_DATA_SIGNAL_VIEW_NODE* handle) const {
  if (handle && !m_slots.empty()) __builtin_prefetch(&m_slots[slot_of(handle)]);
}

bool SDR_TX_SIGNAL_NODES::commit(SDR_DATA_SIGNAL_VIEW* view) {
  if (!SDR_CHECK(view != NULL)) return false;
  // The wire index of each net row is taken from the wire the view's sync
  // found, in the same pass; the rows are looked up by name again only when
  // some sync wrote a name or an alias (a lookup then may find another
  // wire) or a row had no view node.
  SDR_DATA_SIGNAL_SET* set = view->get_signal_set();
  bool indexed = false;
  if (view != m_data_view) {
    rebuild_view(view);
  } else {
    indexed = true;
    // The slots of the rows' handles lie at random in their table: on a list
    // of thousands of rows each is read from memory, so the read of a slot
    // starts some rows ahead (the rows themselves lie in order).
    const int AHEAD = 8;
    for (int i = 0; i < get_node_count(); ++i) {
      if (i + AHEAD < get_node_count())
        m_handle_epoch.prefetch(m_node_vec[static_cast<size_t>(i + AHEAD)]->data_view_node);
      NODE_TYPE* row = node_at(i);
      VIEW_NODE* vn = view_node_in(row, view);
      if (!vn) {
        place_view_node(i, true);
        indexed = false;
        continue;
      }
      bool renamed = false;
      SDR_DATA_SIGNAL_WIRE* wire = sync_view_node_in(row, vn, &renamed);
      if (renamed) indexed = false;
      if (indexed && wire && set && is_net_type(row->display_type))
        row->data_wire_index = wire->get_data_wire_index();
    }
  }
  if (set && !indexed) {
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
    SDR_DATA_SIGNAL_WIRE* wire = sdr_tx_row_wire(signal_set, row->name.c_str(), row.get());
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
