#include "sdr_data_signal_set.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/XMLString.hpp>

#include "sdr_data_instance.h"
#include "sdr_data_manager.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_trigger.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_msgs.h"
#include "sdr_wire_index.h"

using namespace xercesc;

namespace {

const char* const DEFAULT_CLOCK_NAME = "auto_tzo_external_clock";
const char* const NAME_BASE = "signal_set";
const int DEFAULT_SAMPLE_DEPTH = 128;
const int MIN_SAMPLE_DEPTH = 64;
// The largest depth the validation hands out; larger requests are bounded to
// it so that the doubling search never overflows.
const int MAX_SAMPLE_DEPTH = 1 << 30;

const XMLCh TAG_WIRE[] = u"wire";
const XMLCh TAG_BUS[] = u"bus";

using NODE_PTR = std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE>;

bool has_tag(const DOMNode* node, const XMLCh* tag) {
  return node && node->getNodeType() == DOMNode::ELEMENT_NODE && XMLString::equals(node->getNodeName(), tag);
}

// Empty texts count as absent, as they do in the document.
std::unique_ptr<std::string> optional_text(const char* text) {
  return std::unique_ptr<std::string>(text && *text ? new std::string(text) : nullptr);
}

std::unique_ptr<std::string> optional_text(const std::string& text) {
  return optional_text(text.c_str());
}

const char* text_or_null(const std::unique_ptr<std::string>& text) {
  return text ? text->c_str() : nullptr;
}

bool is_set(const std::unique_ptr<std::string>& text) {
  return text && !text->empty();
}

// Creates an element and appends it to parent; null when either is missing.
DOMElement* append_new_element(DOMDocument* document, DOMNode* parent, const char* tag) {
  if (!document || !parent) return nullptr;
  DOMElement* element = document->createElement(SDR_XSTR(tag));
  sdr_append_child(parent, element);
  return element;
}

// Adds a new net row named name at the end of the view, or as the last
// member of bus when one is given.
void append_row(SDR_DATA_SIGNAL_VIEW* view, SDR_DATA_SIGNAL_VIEW_NODE* bus, const std::string& name) {
  NODE_PTR net(view->create_net_node(name.c_str()));
  if (bus) {
    bus->append_child(net.get());
  } else {
    view->append_node(net.get());
  }
}

// Adds a new bus row at the end of the view, named after the old "bus"
// element and carrying its alias and signal type.
NODE_PTR new_bus_row(SDR_DATA_SIGNAL_VIEW* view, const DOMElement* bus) {
  NODE_PTR row(view->create_bus_node(sdr_get_attribute(bus, "name").c_str()));
  const std::string alias = sdr_get_attribute(bus, "alias");
  if (!alias.empty()) row->set_alias(alias.c_str());
  const std::string type_text = sdr_get_attribute(bus, "type");
  if (!type_text.empty()) {
    SDR_DATA_SIGNAL_TYPE type = SDR_STYPE_UNKNOWN;
    SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(type_text.c_str(), &type);
    row->set_signal_type(type);
  }
  view->append_node(row.get());
  return row;
}

}  // namespace

// ======================================================================
// SDR_DATA_SIGNAL_SET
// ======================================================================

SDR_DATA_SIGNAL_SET::SDR_DATA_SIGNAL_SET(DOMDocument* document) : m_document(document) {
  init_map();
  std::unique_ptr<std::string> name(SDR_DATA_MANAGER::name_auto_gen(NAME_BASE));
  init_new(name ? name->c_str() : NAME_BASE);
}

SDR_DATA_SIGNAL_SET::SDR_DATA_SIGNAL_SET(DOMDocument* document, const char* name) : m_document(document) {
  init_map();
  if (name) {
    init_new(name);
    return;
  }
  SDR_CHECK(name != NULL);
  std::unique_ptr<std::string> generated(SDR_DATA_MANAGER::name_auto_gen(NAME_BASE));
  init_new(generated ? generated->c_str() : NAME_BASE);
}

SDR_DATA_SIGNAL_SET::SDR_DATA_SIGNAL_SET(DOMDocument* document, DOMElement* element,
                                         SDR_DATA_INSTANCE* instance)
    : m_instance(instance), m_document(document), m_element(element) {
  init_map();
  if (!SDR_CHECK(document != NULL)) return;
  if (!SDR_CHECK(element != NULL)) {
    // Nothing to read: stand as a new set so that every setter has its
    // elements.
    std::unique_ptr<std::string> generated(SDR_DATA_MANAGER::name_auto_gen(NAME_BASE));
    init_new(generated ? generated->c_str() : NAME_BASE);
    return;
  }
  read_element();
}

SDR_DATA_SIGNAL_SET::~SDR_DATA_SIGNAL_SET() {
  delete_triggers();
  sdr_release_element(m_element);
  // The lists and the map only borrow; m_owned_wires frees every wire once.
  m_wire_map.reset();
  m_trigger_wires.clear();
  m_data_wires.clear();
  m_owned_set.clear();
  m_owned_wires.clear();
}

void SDR_DATA_SIGNAL_SET::init_map() {
  m_wire_map.reset(new SDR_WIRE_INDEX(&SDR_DATA_SIGNAL_SET::wire_has_key));
}

void SDR_DATA_SIGNAL_SET::init_new(const char* name) {
  m_name.reset(new std::string(name));
  m_clock_name = DEFAULT_CLOCK_NAME;
  if (!SDR_CHECK(m_document != NULL)) return;
  m_element = m_document->createElement(SDR_XSTR("signal_set"));
  sdr_set_attribute(m_element, "name", name);
  m_dom_clock = append_new_element(m_document, m_element, "clock");
  sdr_set_attribute(m_dom_clock, "name", DEFAULT_CLOCK_NAME);
  m_config_element = append_new_element(m_document, m_element, "config");
  m_top_entity_element = append_new_element(m_document, m_element, "top_entity");
  m_signal_vec_element = append_new_element(m_document, m_element, "signal_vec");
  m_trigger_vec_element = append_new_element(m_document, m_signal_vec_element, "trigger_input_vec");
  m_data_vec_element = append_new_element(m_document, m_signal_vec_element, "data_input_vec");
  m_dom_presentation = append_new_element(m_document, m_element, "presentation");
  m_data_view.reset(new SDR_DATA_SIGNAL_VIEW(m_document, SDR_DATA_SIGNAL_VIEW::DATA_VIEW, this));
  m_setup_view.reset(new SDR_DATA_SIGNAL_VIEW(m_document, SDR_DATA_SIGNAL_VIEW::SETUP_VIEW, this));
  m_dom_presentation->appendChild(m_data_view->get_dom_node());
  m_dom_presentation->appendChild(m_setup_view->get_dom_node());
  create_signal_connections();
}

// ------------------------------------------------------------------ reading

void SDR_DATA_SIGNAL_SET::read_element() {
  {
    SDR_FLAG_GUARD reading(&m_reading);
    read_parts();
  }
  // 9. Signal connections.
  create_signal_connections();
}

void SDR_DATA_SIGNAL_SET::read_parts() {
  // 1. Defaults.
  m_clock_name = DEFAULT_CLOCK_NAME;

  // 2. Name.
  std::string text = sdr_get_attribute(m_element, "name");
  if (text.empty()) {
    std::unique_ptr<std::string> generated(SDR_DATA_MANAGER::name_auto_gen(NAME_BASE));
    text = generated ? *generated : std::string(NAME_BASE);
    sdr_set_attribute(m_element, "name", text.c_str());
  }
  m_name.reset(new std::string(text));

  // 3. Expanded state, written back in its canonical form.
  set_expanded_status(!equals_ignore_case(sdr_get_attribute(m_element, "is_expanded"), "false"));

  // 4. Clock.
  m_dom_clock = find_child_element(m_element, "clock");
  if (!m_dom_clock) {
    m_dom_clock = append_new_element(m_document, m_element, "clock");
    set_default_clock_name();
  } else {
    text = sdr_get_attribute(m_dom_clock, "name");
    if (text.empty()) {
      set_default_clock_name();
    } else {
      m_clock_name = text;
    }
    m_polarity = sdr_get_attribute(m_dom_clock, "polarity") == "negedge" ? NEGEDGE : POSEDGE;
  }

  // 5. Acquisition configuration.
  m_config_element = find_child_element(m_element, "config");
  if (!m_config_element) {
    m_config_element = append_new_element(m_document, m_element, "config");
    m_sample_depth = DEFAULT_SAMPLE_DEPTH;
    write_config("sample_depth", DEFAULT_SAMPLE_DEPTH);
    set_kalvos_ram_type(SDR_RAM_RAMBASE);
  } else {
    read_config();
  }

  // 6. Top entity.
  m_top_entity_element = find_child_element(m_element, "top_entity");
  if (!m_top_entity_element) {
    m_top_entity_element = append_new_element(m_document, m_element, "top_entity");
  } else {
    m_top_entity = optional_text(sdr_get_attribute(m_top_entity_element, "name"));
  }

  // 7. Presentation and its two views; a missing view is built from the
  // wires below.
  bool build_data = false;
  bool build_setup = false;
  m_dom_presentation = find_child_element(m_element, "presentation");
  if (!m_dom_presentation) {
    m_dom_presentation = append_new_element(m_document, m_element, "presentation");
    build_data = build_setup = true;
  } else {
    DOMElement* view = find_child_element(m_dom_presentation, "data_view");
    if (view) {
      m_data_view.reset(new SDR_DATA_SIGNAL_VIEW(m_document, view, this));
    } else {
      build_data = true;
    }
    view = find_child_element(m_dom_presentation, "setup_view");
    if (view) {
      m_setup_view.reset(new SDR_DATA_SIGNAL_VIEW(m_document, view, this));
    } else {
      build_setup = true;
    }
  }
  if (!SDR_CHECK(m_dom_presentation != NULL)) return;
  if (build_data) {
    m_data_view.reset(new SDR_DATA_SIGNAL_VIEW(m_document, SDR_DATA_SIGNAL_VIEW::DATA_VIEW, this));
    m_dom_presentation->appendChild(m_data_view->get_dom_node());
  }
  if (build_setup) {
    m_setup_view.reset(new SDR_DATA_SIGNAL_VIEW(m_document, SDR_DATA_SIGNAL_VIEW::SETUP_VIEW, this));
    m_dom_presentation->appendChild(m_setup_view->get_dom_node());
  }

  // 8. Wires, then triggers. A set without wires still reads its triggers,
  // so that the first load completes them as every later one would.
  m_signal_vec_element = find_child_element(m_element, "signal_vec");
  if (!m_signal_vec_element) {
    m_signal_vec_element = append_new_element(m_document, m_element, "signal_vec");
    m_trigger_vec_element = append_new_element(m_document, m_signal_vec_element, "trigger_input_vec");
    m_data_vec_element = append_new_element(m_document, m_signal_vec_element, "data_input_vec");
    SDR_MSGS::post(SDR_MSGS::wsdr_empty_signal_set());
  } else {
    DOMElement* trigger_vec = find_child_element(m_signal_vec_element, "trigger_input_vec");
    if (trigger_vec && !build_data && !build_setup) {
      read_current_wires(trigger_vec);
    } else {
      if (build_data || build_setup) build_views(build_data, build_setup);
      convert_old_wires();
    }
  }
  read_triggers();
}

void SDR_DATA_SIGNAL_SET::read_config() {
  std::string text;
  if (sdr_has_attribute(m_config_element, "sample_depth")) {
    int depth = sdr_atoi(sdr_get_attribute(m_config_element, "sample_depth").c_str());
    if (!validate_sample_depth(&depth)) write_config("sample_depth", depth);
    m_sample_depth = depth;
  }

  m_trigger_in_enabled = sdr_get_attribute(m_config_element, "trigger_in_enable") == "yes";
  m_trigger_in_pin = optional_text(sdr_get_attribute(m_config_element, "trigger_in_pin"));
  if (!m_trigger_in_pin)
    m_trigger_in_node = optional_text(sdr_get_attribute(m_config_element, "trigger_in_node"));
  m_trigger_out_enabled = sdr_get_attribute(m_config_element, "trigger_out_enable") == "yes";
  m_trigger_out_pin = optional_text(sdr_get_attribute(m_config_element, "trigger_out_pin"));
  if (!m_trigger_out_pin)
    m_trigger_out_node = optional_text(sdr_get_attribute(m_config_element, "trigger_out_node"));

  if (sdr_has_attribute(m_config_element, "reserved_data_nodes")) {
    m_reserved_data_nodes = sdr_atoi(sdr_get_attribute(m_config_element, "reserved_data_nodes").c_str());
    if (m_reserved_data_nodes < 0) set_reserved_data_node_size(0);
  }
  if (sdr_has_attribute(m_config_element, "reserved_trigger_nodes")) {
    m_reserved_trigger_nodes =
        sdr_atoi(sdr_get_attribute(m_config_element, "reserved_trigger_nodes").c_str());
    if (m_reserved_trigger_nodes < 0) set_reserved_trigger_node_size(0);
  }

  text = sdr_get_attribute(m_config_element, "ram_type");
  if (!text.empty()) SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(text.c_str(), &m_ram_type);
}

// The current layout: one "wire" per list entry under "trigger_input_vec"
// and "data_input_vec"; a node in both lists becomes one wire.
void SDR_DATA_SIGNAL_SET::read_current_wires(DOMElement* dom_input_vec) {
  if (!SDR_CHECK(dom_input_vec != NULL)) return;
  m_trigger_vec_element = dom_input_vec;
  for (DOMElement* e = find_child_element(dom_input_vec, TAG_WIRE); e;
       e = find_next_sibling_element(e, TAG_WIRE)) {
    // A nameless wire is warned about by the wire and kept in the list.
    append(new SDR_DATA_SIGNAL_WIRE(m_document, e, nullptr), false);
  }

  m_data_vec_element = find_child_element(m_signal_vec_element, "data_input_vec");
  if (!m_data_vec_element) {
    m_data_vec_element = m_document->createElement(SDR_XSTR("data_input_vec"));
    m_signal_vec_element->insertBefore(m_data_vec_element, dom_input_vec->getNextSibling());
  }
  for (DOMElement* e = find_child_element(m_data_vec_element, TAG_WIRE); e;
       e = find_next_sibling_element(e, TAG_WIRE)) {
    const std::string name = sdr_get_attribute(e, "name");
    if (name.empty()) continue;
    std::unique_ptr<SDR_DATA_SIGNAL_WIRE> wire(new SDR_DATA_SIGNAL_WIRE(m_document, nullptr, e));
    SDR_DATA_SIGNAL_WIRE* existing = m_wire_map->find(name.c_str());
    if (existing && existing->get_name() && name == existing->get_name()) {
      // Listed in both lists (or twice): one wire; a second data entry of
      // the same node stays in the document only.
      existing->consolidate(wire.get(), false);
      append(existing, false);
    } else {
      append(wire.release(), false);
    }
  }
}

// Older layouts keep the wires directly under "signal_vec", each with a
// "connection_mode". They move into the two lists; lists that are already
// there are read as they are and receive the converted wires.
void SDR_DATA_SIGNAL_SET::convert_old_wires() {
  DOMElement* trigger_vec = find_child_element(m_signal_vec_element, "trigger_input_vec");
  if (!trigger_vec) {
    trigger_vec = m_document->createElement(SDR_XSTR("trigger_input_vec"));
    m_signal_vec_element->insertBefore(trigger_vec,
                                       find_child_element(m_signal_vec_element, "data_input_vec"));
  }
  read_current_wires(trigger_vec);

  // Old wires stand directly under "signal_vec" or inside its "bus"
  // elements; the members of a bus are tapped signals like the others, so
  // they become wires too (the rows built for them refer to them).
  std::vector<DOMElement*> old_wires;
  std::vector<DOMElement*> old_buses;
  for (DOMElement* e = first_child_element(m_signal_vec_element); e; e = next_sibling_element(e)) {
    if (has_tag(e, TAG_WIRE)) {
      old_wires.push_back(e);
    } else if (has_tag(e, TAG_BUS)) {
      old_buses.push_back(e);
      for (DOMElement* w = find_child_element(e, TAG_WIRE); w; w = find_next_sibling_element(w, TAG_WIRE))
        old_wires.push_back(w);
    }
  }

  for (DOMElement* e : old_wires) {
    const std::string name = sdr_get_attribute(e, "name");
    if (name.empty()) {
      SDR_MSGS::post(SDR_MSGS::wsdr_missing_name("signal"));
    } else {
      const std::string alias = sdr_get_attribute(e, "alias");
      std::string text = sdr_get_attribute(e, "connection_mode");
      SDR_DATA_WIRE_CAPTURE_TYPE capture = SDR_CTYPE_BOTH;
      if (!text.empty()) SDR_DATA_SIGNAL_WIRE::convert_to_capture_type(text.c_str(), &capture);
      text = sdr_get_attribute(e, "tap_mode");
      SDR_DATA_WIRE_TAP_MODE mode = SDR_MTYPE_CLASSIC_TAP;
      if (!text.empty()) SDR_DATA_SIGNAL_WIRE::convert_to_tap_mode(text.c_str(), &mode);
      text = sdr_get_attribute(e, "connection_status");
      const bool connected = text.empty() || text[0] != 'f';

      SDR_DATA_SIGNAL_WIRE* wire =
          create_wire(name.c_str(), capture, mode, connected, alias.empty() ? nullptr : alias.c_str());
      if (wire) {
        text = sdr_get_attribute(e, "type");
        if (!text.empty()) {
          SDR_DATA_SIGNAL_TYPE type = SDR_STYPE_UNKNOWN;
          SDR_DATA_SIGNAL_WIRE::convert_to_signal_type(text.c_str(), &type);
          wire->set_signal_type(type);
        }
        const bool debug_port = sdr_get_attribute(e, "debug_port") == "yes";
        append(wire, true);
        const std::string port_name = sdr_get_attribute(e, "debug_port_name");
        // A debug port needs its name; without one the wire is an ordinary
        // wire.
        if (debug_port && !port_name.empty()) wire->set_debug_port(true, port_name.c_str());
      }
    }
    e->getParentNode()->removeChild(e);
    e->release();
  }
  // A bus left without members has nothing more to say.
  for (DOMElement* bus : old_buses) {
    if (first_child_element(bus)) continue;
    m_signal_vec_element->removeChild(bus);
    bus->release();
  }
}

// Fills the views being built from the old "wire" elements: a wire directly
// under "signal_vec" is a top-level row, a wire inside a "bus" element a
// member of a bus row of that name. The walk visits the whole subtree of
// "signal_vec" in document order without recursion.
void SDR_DATA_SIGNAL_SET::build_views(bool build_data, bool build_setup) {
  SDR_DATA_SIGNAL_VIEW* data_view = build_data ? m_data_view.get() : nullptr;
  SDR_DATA_SIGNAL_VIEW* setup_view = build_setup ? m_setup_view.get() : nullptr;
  NODE_PTR data_bus;
  NODE_PTR setup_bus;
  bool have_bus = false;
  std::string bus_name;

  DOMNode* root = m_signal_vec_element;
  DOMNode* node = root->getFirstChild();
  while (node) {
    if (has_tag(node, TAG_WIRE)) {
      DOMElement* wire = static_cast<DOMElement*>(node);
      DOMNode* parent = wire->getParentNode();
      const std::string name = sdr_get_attribute(wire, "name");
      SDR_DATA_WIRE_CAPTURE_TYPE capture = SDR_CTYPE_BOTH;
      const std::string mode = sdr_get_attribute(wire, "connection_mode");
      if (!mode.empty()) SDR_DATA_SIGNAL_WIRE::convert_to_capture_type(mode.c_str(), &capture);
      const bool in_data = capture != SDR_CTYPE_TRIGGER;

      if (name.empty()) {
        // No wire is made of it, so no row either.
      } else if (parent == root) {
        if (setup_view) append_row(setup_view, nullptr, name);
        if (data_view && in_data) append_row(data_view, nullptr, name);
      } else if (has_tag(parent, TAG_BUS)) {
        DOMElement* bus = static_cast<DOMElement*>(parent);
        const std::string this_bus = sdr_get_attribute(bus, "name");
        if (!have_bus || this_bus != bus_name) {
          have_bus = true;
          bus_name = this_bus;
          if (data_view) data_bus = new_bus_row(data_view, bus);
          if (setup_view) setup_bus = new_bus_row(setup_view, bus);
        }
        if (setup_view) append_row(setup_view, setup_bus.get(), name);
        if (data_view && in_data) append_row(data_view, data_bus.get(), name);
      }
    }

    // Next node in document order: first child, else next sibling, else the
    // next sibling of the nearest ancestor below the root that has one.
    DOMNode* next = node->getNodeType() == DOMNode::ELEMENT_NODE ? node->getFirstChild() : nullptr;
    while (!next && node && node != root) {
      next = node->getNextSibling();
      if (!next) {
        node = node->getParentNode();
        if (node == root) node = nullptr;
      }
    }
    node = next;
  }
}

// ------------------------------------------------------------------ properties

const char* SDR_DATA_SIGNAL_SET::get_name() const {
  return text_or_null(m_name);
}

bool SDR_DATA_SIGNAL_SET::set_name(const char* name) {
  if (!SDR_CHECK(name != NULL) || !SDR_CHECK(m_name != NULL)) return false;
  // The instance's global set stays out of its name map.
  const bool mapped = m_instance && m_instance->get_global_signal_set() != this;
  return sdr_rename_listed(mapped ? m_instance : nullptr, this, &m_name, name, m_element);
}

const char* SDR_DATA_SIGNAL_SET::get_clock_name() const {
  return m_clock_name.c_str();
}

void SDR_DATA_SIGNAL_SET::set_default_clock_name() {
  m_clock_name = DEFAULT_CLOCK_NAME;
  if (!SDR_CHECK(m_dom_clock != NULL)) return;
  sdr_set_attribute(m_dom_clock, "name", DEFAULT_CLOCK_NAME);
}

void SDR_DATA_SIGNAL_SET::set_clock(const char* name, POLARITY polarity) {
  if (!SDR_CHECK(name != NULL)) return;
  if (*name) {
    m_clock_name = name;
    if (m_dom_clock) sdr_set_attribute(m_dom_clock, "name", name);
  } else {
    set_default_clock_name();
  }
  set_clock(polarity);
}

void SDR_DATA_SIGNAL_SET::set_clock(POLARITY polarity) {
  m_polarity = polarity == NEGEDGE ? NEGEDGE : POSEDGE;
  if (m_dom_clock) sdr_set_attribute(m_dom_clock, "polarity", m_polarity == NEGEDGE ? "negedge" : "posedge");
}

const char* SDR_DATA_SIGNAL_SET::get_top_entity_name() const {
  return text_or_null(m_top_entity);
}

void SDR_DATA_SIGNAL_SET::set_top_entity_name(const char* name) {
  m_top_entity = optional_text(name);
  if (!m_top_entity_element) return;
  if (m_top_entity) {
    sdr_set_attribute(m_top_entity_element, "name", name);
  } else {
    sdr_remove_attribute(m_top_entity_element, "name");
  }
}

bool SDR_DATA_SIGNAL_SET::validate_sample_depth(int* depth) {
  if (!SDR_CHECK(depth != NULL)) return false;
  if (*depth < 0) {
    *depth = 0;
    return false;
  }
  if (*depth == 0) return true;
  if (*depth > MAX_SAMPLE_DEPTH) {
    *depth = MAX_SAMPLE_DEPTH;
    return false;
  }
  const bool power_of_two = (*depth & (*depth - 1)) == 0;
  if (power_of_two && *depth >= MIN_SAMPLE_DEPTH) return true;
  // The largest power of two below the depth, at least the minimum. The
  // candidate never passes MAX_SAMPLE_DEPTH, so the doubling cannot
  // overflow.
  int candidate = MIN_SAMPLE_DEPTH;
  while (candidate < *depth) candidate *= 2;
  *depth = candidate == MIN_SAMPLE_DEPTH ? MIN_SAMPLE_DEPTH : candidate / 2;
  return false;
}

void SDR_DATA_SIGNAL_SET::set_sample_depth(int depth) {
  validate_sample_depth(&depth);
  m_sample_depth = depth;
  write_config("sample_depth", depth);
}

void SDR_DATA_SIGNAL_SET::set_kalvos_ram_type(SDR_KALVOS_RAM_TYPE type) {
  if (!SDR_CHECK(type >= SDR_RAM_AUTO && type <= SDR_RAM_RAMGRAND)) return;
  m_ram_type = type;
  const char* text = nullptr;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(type, &text);
  write_config("ram_type", text);
}

void SDR_DATA_SIGNAL_SET::enable_trigger_in(bool enabled) {
  m_trigger_in_enabled = enabled;
  write_config("trigger_in_enable", enabled ? "yes" : "no");
}

void SDR_DATA_SIGNAL_SET::enable_trigger_out(bool enabled) {
  m_trigger_out_enabled = enabled;
  write_config("trigger_out_enable", enabled ? "yes" : "no");
}

const char* SDR_DATA_SIGNAL_SET::get_trigger_in_pin() const {
  return text_or_null(m_trigger_in_pin);
}
const char* SDR_DATA_SIGNAL_SET::get_trigger_in_node() const {
  return text_or_null(m_trigger_in_node);
}
const char* SDR_DATA_SIGNAL_SET::get_trigger_out_pin() const {
  return text_or_null(m_trigger_out_pin);
}
const char* SDR_DATA_SIGNAL_SET::get_trigger_out_node() const {
  return text_or_null(m_trigger_out_node);
}

// A port has either a pin or a node: setting one clears the other.
void SDR_DATA_SIGNAL_SET::set_port(const char* name, std::unique_ptr<std::string>* field,
                                   const char* attribute, std::unique_ptr<std::string>* other,
                                   const char* other_attribute) {
  if (!SDR_CHECK(name != NULL)) return;
  field->reset(new std::string(name));
  write_config(attribute, name);
  if (is_set(*other)) {
    other->reset();
    remove_config(other_attribute);
  }
}

void SDR_DATA_SIGNAL_SET::set_trigger_in_pin(const char* name) {
  set_port(name, &m_trigger_in_pin, "trigger_in_pin", &m_trigger_in_node, "trigger_in_node");
}

void SDR_DATA_SIGNAL_SET::set_trigger_in_node(const char* name) {
  set_port(name, &m_trigger_in_node, "trigger_in_node", &m_trigger_in_pin, "trigger_in_pin");
}

void SDR_DATA_SIGNAL_SET::set_trigger_out_pin(const char* name) {
  set_port(name, &m_trigger_out_pin, "trigger_out_pin", &m_trigger_out_node, "trigger_out_node");
}

void SDR_DATA_SIGNAL_SET::set_trigger_out_node(const char* name) {
  set_port(name, &m_trigger_out_node, "trigger_out_node", &m_trigger_out_pin, "trigger_out_pin");
}

void SDR_DATA_SIGNAL_SET::clear_trigger_in_port() {
  m_trigger_in_pin.reset();
  m_trigger_in_node.reset();
  remove_config("trigger_in_pin");
  remove_config("trigger_in_node");
}

void SDR_DATA_SIGNAL_SET::clear_trigger_out_port() {
  m_trigger_out_pin.reset();
  m_trigger_out_node.reset();
  remove_config("trigger_out_pin");
  remove_config("trigger_out_node");
}

void SDR_DATA_SIGNAL_SET::set_reserved_data_node_size(int size) {
  m_reserved_data_nodes = std::max(size, 0);
  write_config("reserved_data_nodes", m_reserved_data_nodes);
}

void SDR_DATA_SIGNAL_SET::set_reserved_trigger_node_size(int size) {
  m_reserved_trigger_nodes = std::max(size, 0);
  write_config("reserved_trigger_nodes", m_reserved_trigger_nodes);
}

bool SDR_DATA_SIGNAL_SET::set_expanded_status(bool expanded) {
  m_expanded = expanded;
  if (m_element) sdr_set_attribute(m_element, "is_expanded", expanded ? "true" : "false");
  return true;
}

bool SDR_DATA_SIGNAL_SET::is_global_temp() const {
  return sdr_get_attribute(m_element, "global_temp").compare(0, 1, "1") == 0;
}

void SDR_DATA_SIGNAL_SET::set_global_temp() {
  if (m_element) sdr_set_attribute(m_element, "global_temp", "1");
}

void SDR_DATA_SIGNAL_SET::write_config(const char* name, const char* value) {
  if (m_config_element) sdr_set_attribute(m_config_element, name, value);
}

void SDR_DATA_SIGNAL_SET::write_config(const char* name, int value) {
  if (m_config_element) sdr_set_attribute(m_config_element, name, value);
}

void SDR_DATA_SIGNAL_SET::remove_config(const char* name) {
  sdr_remove_attribute(m_config_element, name);
}

// ------------------------------------------------------------------ wires

SDR_DATA_SIGNAL_WIRE* SDR_DATA_SIGNAL_SET::create_wire(const char* name, SDR_DATA_WIRE_CAPTURE_TYPE type,
                                                       SDR_DATA_WIRE_TAP_MODE mode, bool connected,
                                                       const char* alias) {
  if (!SDR_CHECK(name != NULL)) return nullptr;
  if (SDR_DATA_SIGNAL_WIRE* existing = get_wire(name)) {
    existing->consolidate(type, true);
    return existing;
  }
  SDR_DATA_SIGNAL_WIRE* wire = alias && *alias ? new SDR_DATA_SIGNAL_WIRE(m_document, name, alias, type)
                                               : new SDR_DATA_SIGNAL_WIRE(m_document, name, type);
  wire->set_tap_mode(mode);
  wire->set_connection_status(connected || (m_instance && m_instance->is_incr_cmp_mode()));
  return wire;
}

bool SDR_DATA_SIGNAL_SET::append(SDR_DATA_SIGNAL_WIRE* wire, bool attach_element) {
  if (!SDR_CHECK(wire != NULL)) return false;
  // A wire handed back by create_wire may already be ours.
  if (m_owned_set.insert(wire).second) m_owned_wires.emplace_back(wire);
  map_wire(wire);

  const SDR_DATA_WIRE_CAPTURE_TYPE type = wire->get_capture_type();
  bool new_data_wire = false;
  if ((type == SDR_CTYPE_DATA || type == SDR_CTYPE_BOTH) && wire->get_data_wire_index() < 0) {
    new_data_wire = true;
    m_data_wires.push_back(wire);
    wire->set_data_wire_index(static_cast<int>(m_data_wires.size()) - 1);
    if (attach_element && wire->get_data_dom_node() && m_data_vec_element)
      sdr_append_child(m_data_vec_element, wire->get_data_dom_node());
  }
  wire->m_set = this;
  if ((type == SDR_CTYPE_TRIGGER || type == SDR_CTYPE_BOTH) && wire->get_trigger_wire_index() < 0) {
    m_term_names.valid = false;
    m_trigger_wires.push_back(wire);
    wire->set_trigger_wire_index(static_cast<int>(m_trigger_wires.size()) - 1);
    if (attach_element && wire->get_trigger_dom_node() && m_trigger_vec_element)
      sdr_append_child(m_trigger_vec_element, wire->get_trigger_dom_node());
  }
  // While reading, the connections are computed once at the end. A data
  // wire added to connections that are up to date adds its own status
  // (adding wires one by one stays linear); otherwise they are made again.
  if (!m_reading) {
    if (new_data_wire && m_signal_connections.size() + 1 == m_data_wires.size()) {
      const bool connected = wire->get_connection_status();
      m_signal_connections.push_back(connected ? '1' : '0');
      if (!connected) m_all_connected = false;
    } else if (new_data_wire || m_signal_connections.size() != m_data_wires.size()) {
      create_signal_connections();
    }
  }
  return true;
}

// Enters the wire under its name and, when it differs, its alias. True when
// both keys now lead to this wire.
bool SDR_DATA_SIGNAL_SET::map_wire(SDR_DATA_SIGNAL_WIRE* wire) {
  bool ok = true;
  const char* name = wire->get_name();
  if (name) ok = m_wire_map->emplace(name, wire) == wire;
  if (!ok) m_name_taken = true;
  const char* alias = wire->get_alias();
  if (alias && *alias && !(name && std::strcmp(name, alias) == 0))
    ok = m_wire_map->emplace(alias, wire) == wire && ok;
  return ok;
}

bool SDR_DATA_SIGNAL_SET::wire_has_key(const SDR_DATA_SIGNAL_WIRE* wire, const char* key, size_t length) {
  for (const std::optional<std::string>* text : {&wire->m_name, &wire->m_alias})
    if (*text && (*text)->size() == length && std::memcmp((*text)->data(), key, length) == 0) return true;
  return false;
}

void SDR_DATA_SIGNAL_SET::unmap_alias(SDR_DATA_SIGNAL_WIRE* wire) {
  const char* alias = wire->get_alias();
  const char* name = wire->get_name();
  if (!alias || (name && std::strcmp(name, alias) == 0)) return;
  m_wire_map->erase(alias, wire);
}

SDR_DATA_SIGNAL_WIRE* SDR_DATA_SIGNAL_SET::get_wire(const char* name) const {
  if (!name) return nullptr;
  return m_wire_map->find(name);
}

SDR_DATA_SIGNAL_WIRE* SDR_DATA_SIGNAL_SET::get_wire(const char* name, int data_index,
                                                    int trigger_index) const {
  // A wire of the lists entered its name when it was appended, and names
  // never leave the index: while no name was found taken, a name leads to
  // the wire of that name.
  if (name && !m_name_taken) {
    for (const SDR_DATA_SIGNAL_WIRE* wire :
         {get_data_wire_at(data_index), get_trigger_wire_at(trigger_index)})
      if (wire && wire->m_name && wire->m_name->compare(name) == 0)
        return const_cast<SDR_DATA_SIGNAL_WIRE*>(wire);
  }
  return get_wire(name);
}

SDR_DATA_SIGNAL_WIRE* SDR_DATA_SIGNAL_SET::get_trigger_wire_at(int index) const {
  return index >= 0 && index < get_trigger_wire_width() ? m_trigger_wires[index] : nullptr;
}

SDR_DATA_SIGNAL_WIRE* SDR_DATA_SIGNAL_SET::get_data_wire_at(int index) const {
  return index >= 0 && index < get_data_wire_width() ? m_data_wires[index] : nullptr;
}

const char* SDR_DATA_SIGNAL_SET::get_trigger_wire_alias_at(int index) const {
  const SDR_DATA_SIGNAL_WIRE* wire = get_trigger_wire_at(index);
  if (!wire) return nullptr;
  return wire->get_alias() ? wire->get_alias() : wire->get_name();
}

const SDR_DATA_SIGNAL_SET::TERM_NAMES& SDR_DATA_SIGNAL_SET::term_names() const {
  TERM_NAMES& t = m_term_names;
  if (t.valid) return t;
  t.terms8.clear();
  t.terms16.clear();
  t.at8.assign(1, 0);
  t.at16.assign(1, 0);
  t.at8.reserve(m_trigger_wires.size() + 1);
  t.at16.reserve(m_trigger_wires.size() + 1);
  for (int i = 0; i < get_trigger_wire_width(); ++i) {
    if (const char* alias = get_trigger_wire_alias_at(i)) {
      // Quotes and backslashes are escaped so the text reads back to the
      // same name.
      const size_t start = t.terms8.size();
      t.terms8.push_back('\'');
      for (const char* p = alias; *p; ++p) {
        if (*p == '\'' || *p == '\\') t.terms8.push_back('\\');
        t.terms8.push_back(*p);
      }
      t.terms8.push_back('\'');
      sdr_append_utf16(t.terms8.data() + start, t.terms8.size() - start, &t.terms16);
    }
    t.at8.push_back(t.terms8.size());
    t.at16.push_back(t.terms16.size());
  }
  static unsigned long versions = 0;
  t.version = ++versions;
  t.valid = true;
  return t;
}

int SDR_DATA_SIGNAL_SET::get_wire_size() const {
  int size = get_data_wire_width();
  for (const SDR_DATA_SIGNAL_WIRE* wire : m_trigger_wires)
    if (wire->get_capture_type() == SDR_CTYPE_TRIGGER) ++size;
  return size;
}

int SDR_DATA_SIGNAL_SET::get_ela_trigger_wire_width() const {
  return std::max(get_trigger_wire_width(), m_reserved_trigger_nodes);
}

int SDR_DATA_SIGNAL_SET::get_ela_data_wire_width() const {
  return std::max(get_data_wire_width(), m_reserved_data_nodes);
}

bool SDR_DATA_SIGNAL_SET::rename_signal_alias(const char* orig_name, const char* alias) {
  if (!SDR_CHECK(orig_name != NULL)) return false;
  SDR_DATA_SIGNAL_WIRE* wire = get_wire(orig_name);
  if (!wire) return false;
  if (!alias || !*alias) {
    unmap_alias(wire);
    wire->del_alias();
    return true;
  }
  if (wire->get_alias() && std::strcmp(wire->get_alias(), alias) == 0) return true;
  SDR_DATA_SIGNAL_WIRE* user = get_wire(alias);
  if (user && user != wire) return false;
  unmap_alias(wire);
  wire->set_alias(alias);
  return map_wire(wire);
}

bool SDR_DATA_SIGNAL_SET::create_signal_connections() {
  m_signal_connections.clear();
  m_signal_connections.reserve(m_data_wires.size());
  m_all_connected = true;
  for (const SDR_DATA_SIGNAL_WIRE* wire : m_data_wires) {
    const bool connected = wire->get_connection_status();
    m_signal_connections.push_back(connected ? '1' : '0');
    if (!connected) m_all_connected = false;
  }
  return true;
}

// ------------------------------------------------------------------ other

std::unique_ptr<SDR_DATA_SIGNAL_SET> SDR_DATA_SIGNAL_SET::detach() {
  if (m_instance) {
    if (SDR_DATA_SESSION* session = m_instance->get_session()) session->forget_active(this);
    if (m_instance->get_global_signal_set() == this) {
      m_instance->set_global_signal_set(nullptr);
    } else {
      m_instance->delete_from_name_map(this);
      m_instance->delete_from_vector(this);
    }
    m_instance = nullptr;
  }
  sdr_unlink(m_element);
  return std::unique_ptr<SDR_DATA_SIGNAL_SET>(this);
}

void SDR_DATA_SIGNAL_SET::remove() {
  SDR_CHECK_AS(m_element && m_element->getParentNode(), "parent != NULL");
  detach();
}

const char* SDR_DATA_SIGNAL_SET::to_string() {
  m_text = "   clock = ";
  m_text += m_polarity == NEGEDGE ? "negedge" : "posedge";
  m_text += " " + m_clock_name + "\n";
  m_text += "   trigger signal width = " + std::to_string(get_trigger_wire_width()) + "\n";
  m_text += "   data signal width = " + std::to_string(get_data_wire_width()) + "\n";
  if (m_trigger_in_enabled) {
    m_text += "   trigger in ";
    if (is_set(m_trigger_in_pin)) m_text += "pin = " + *m_trigger_in_pin;
    if (is_set(m_trigger_in_node)) m_text += "node = " + *m_trigger_in_node;
    m_text += "\n";
  }
  if (m_trigger_out_enabled) {
    m_text += "   trigger out ";
    if (is_set(m_trigger_out_pin)) m_text += "pin = " + *m_trigger_out_pin;
    if (is_set(m_trigger_out_node)) m_text += "node = " + *m_trigger_out_node;
    m_text += "\n";
  }
  m_text += "   sample depth = " + std::to_string(m_sample_depth);
  return m_text.c_str();
}
