#include "sdr_data_trigger.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <xercesc/util/XMLChar.hpp>

#include "atg_compiler.h"
#include "cfg_service.h"
#include "sdr_data_instance.h"
#include "sdr_data_log.h"
#include "sdr_data_manager.h"
#include "sdr_data_mnemonics.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_lang_parser.h"
#include "sdr_msgs.h"

using namespace xercesc;

namespace {

const char* condition_text(SDR_DATA_TRIGGER_CONDITION c) {
  const char* text = "";
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(c, &text);
  return text;
}

// A whole-text match of a condition word; fallback when nothing matches.
SDR_DATA_TRIGGER_CONDITION read_condition(const std::string& text, SDR_DATA_TRIGGER_CONDITION fallback) {
  for (int c = SDR_TCOND_DISABLE; c <= SDR_TCOND_DONT_CARE; ++c)
    if (text == condition_text(static_cast<SDR_DATA_TRIGGER_CONDITION>(c)))
      return static_cast<SDR_DATA_TRIGGER_CONDITION>(c);
  return fallback;
}

// "tzo_last_trigger_level_latency", read once per configuration generation.
int last_level_latency_switch() {
  static unsigned generation = 0;
  static bool valid = false;
  static int value = 0;
  unsigned g = cfg_get_generation();
  if (!valid || g != generation) {
    value = cfg_get_int("tzo_last_trigger_level_latency", 0);
    generation = g;
    valid = true;
  }
  return value;
}

SDR_DATA_SESSION* session_of(SDR_DATA_SIGNAL_SET* signals) {
  SDR_DATA_INSTANCE* instance = signals ? signals->get_instance() : nullptr;
  return instance ? instance->get_session() : nullptr;
}

}  // namespace

// Applies the terms of a level's condition text as the parser recognises
// them, without rewriting the text.
class SDR_COND_APPLIER : public SDR_COND_ACTIONS {
 public:
  SDR_COND_APPLIER(SDR_DATA_TRIGGER* trigger, int level) : m_trigger(trigger), m_level(level) {}

  void apply_condition(const char* name, SDR_DATA_TRIGGER_CONDITION condition) override {
    SDR_DATA_SIGNAL_SET* signals = m_trigger->m_signals;
    SDR_DATA_SIGNAL_WIRE* wire = signals ? signals->get_wire(name) : nullptr;
    if (wire) {
      if (wire->get_trigger_wire_index() >= 0)
        m_trigger->set_trigger_condition(wire->get_trigger_wire_index(), m_level, condition, false);
      return;
    }
    m_trigger->set_trigger_condition(name, m_level, condition, false);
  }

  void apply_symbol(const char* name, const char* symbol) override {
    const char* dot = std::strchr(symbol, '.');
    if (dot) {
      std::string table(symbol, static_cast<size_t>(dot - symbol));
      m_trigger->set_trigger_condition(name, m_level, table.c_str(), dot + 1, false);
    } else {
      m_trigger->set_trigger_condition(name, m_level, symbol, false);
    }
  }

  void apply_value(const char* name, long value) override {
    m_trigger->set_trigger_condition(name, m_level, value, false);
  }

 private:
  SDR_DATA_TRIGGER* m_trigger;
  int m_level;
};

// ---------------------------------------------------------- construction

SDR_DATA_TRIGGER::SDR_DATA_TRIGGER(DOMDocument* document) : m_document(document) {
  std::unique_ptr<std::string> name(SDR_DATA_MANAGER::name_auto_gen("trigger"));
  init_new(name->c_str());
}

SDR_DATA_TRIGGER::SDR_DATA_TRIGGER(DOMDocument* document, const char* name) : m_document(document) {
  init_new(name ? name : "");
}

SDR_DATA_TRIGGER::SDR_DATA_TRIGGER(DOMDocument* document, DOMElement* element,
                                   SDR_DATA_SIGNAL_SET* signal_set)
    : m_signals(signal_set), m_document(document), m_element(element) {
  if (!SDR_CHECK(document != NULL) || !SDR_CHECK(element != NULL)) return;
  read_element();
}

SDR_DATA_TRIGGER::~SDR_DATA_TRIGGER() {
  m_logs.clear();
  sdr_release_element(m_element);
}

void SDR_DATA_TRIGGER::init_new(const char* name) {
  if (!SDR_CHECK(m_document != NULL)) return;
  m_name.reset(new std::string(name));
  m_element = m_document->createElement(SDR_XSTR("trigger"));
  sdr_set_attribute(m_element, "name", name);
  m_events_element = m_document->createElement(SDR_XSTR("events"));
  m_element->appendChild(m_events_element);
}

void SDR_DATA_TRIGGER::read_element() {
  std::string text = sdr_get_attribute(m_element, "name");
  if (text.empty()) {
    std::unique_ptr<std::string> name(SDR_DATA_MANAGER::name_auto_gen("trigger"));
    text = *name;
    sdr_set_attribute(m_element, "name", text.c_str());
  }
  m_name.reset(new std::string(text));

  set_expanded_status(!equals_ignore_case(sdr_get_attribute(m_element, "is_expanded"), "false"));

  if (sdr_has_attribute(m_element, "sample_depth")) {
    // An older layout kept the sample depth on the trigger.
    if (m_signals)
      m_signals->set_sample_depth(sdr_atoi(sdr_get_attribute(m_element, "sample_depth").c_str()));
    sdr_remove_attribute(m_element, "sample_depth");
  }
  if (sdr_has_attribute(m_element, "segment_size"))
    m_segment_size = sdr_atoi(sdr_get_attribute(m_element, "segment_size").c_str());
  if (sdr_has_attribute(m_element, "trigger_type"))
    SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(sdr_get_attribute(m_element, "trigger_type").c_str(),
                                                 &m_trigger_type);
  text = sdr_get_attribute(m_element, "position");
  if (!text.empty()) {
    // An unrecognised position reads as the default "pre".
    m_position = SDR_TPOS_PRE;
    for (int p = SDR_TPOS_PRE; p <= SDR_TPOS_CONTINUOUS; ++p) {
      const char* form = "";
      SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(static_cast<SDR_DATA_TRIGGER_POSITION>(p), &form);
      if (text == form) m_position = static_cast<SDR_DATA_TRIGGER_POSITION>(p);
    }
  }
  // An unrecognised pin condition reads as the pin's default.
  text = sdr_get_attribute(m_element, "trigger_in");
  if (!text.empty()) m_trigger_in = read_condition(text, SDR_TCOND_DONT_CARE);
  if (!text.empty() && m_trigger_in == SDR_TCOND_DISABLE) {
    if (m_signals) m_signals->enable_trigger_in(false);
    sdr_remove_attribute(m_element, "trigger_in");
  }
  text = sdr_get_attribute(m_element, "trigger_out");
  if (!text.empty()) m_trigger_out = read_condition(text, SDR_TCOND_ACTIVE_HIGH);
  if (!text.empty() && m_trigger_out == SDR_TCOND_DISABLE) {
    if (m_signals) m_signals->enable_trigger_out(false);
    sdr_remove_attribute(m_element, "trigger_out");
  }

  m_events_element = find_child_element(m_element, "events");
  if (!m_events_element) {
    m_events_element = m_document->createElement(SDR_XSTR("events"));
    m_element->appendChild(m_events_element);
  } else {
    std::string condition;
    for (DOMElement* e = find_child_element(m_events_element, "level"); e;
         e = find_next_sibling_element(e, "level")) {
      int level = append_new_level(false);
      LEVEL& l = *m_levels[static_cast<size_t>(level)];
      l.element = e;
      l.enabled = sdr_get_attribute(e, "enabled") != "no";
      l.basic = sdr_get_attribute(e, "type") != "advanced";
      DOMNode* first = e->getFirstChild();
      if (first && first->getNodeType() == DOMNode::TEXT_NODE) {
        l.text_node = first;
        condition.clear();
        sdr_append_utf8(first->getNodeValue(), &condition);
        if (!condition.empty()) parse_condition(condition.data(), condition.size(), level);
      }
      if (DOMElement* expression = find_child_element(e, "expression")) {
        DOMNode* cdata = expression->getFirstChild();
        if (cdata && cdata->getNodeType() == DOMNode::CDATA_SECTION_NODE) l.expression_node = cdata;
      }
      if (DOMElement* root = find_child_element(e, "op_node"))
        l.tree_root.reset(new SDR_DATA_TRIGGER_ADV_TREE_OBJ(root));
    }
  }

  for (DOMElement* e = find_child_element(m_element, "data"); e; e = find_next_sibling_element(e, "data")) {
    sdr_adopt_read_child(m_logs, new SDR_DATA_LOG(m_document, e, m_signals, this),
                         [this](SDR_DATA_LOG* log) { return append(log, false); });
  }
}

void SDR_DATA_TRIGGER::parse_condition(const char* text, size_t length, int level) {
  SDR_COND_APPLIER applier(this, level);
  sdr_parse_condition_expression(text, length, &applier, get_name() ? get_name() : "", level);
}

std::unique_ptr<SDR_DATA_TRIGGER> SDR_DATA_TRIGGER::detach() {
  if (m_signals) {
    if (SDR_DATA_SESSION* session = session_of(m_signals)) session->forget_active(this);
    if (m_signals->get_global_trigger() == this) {
      m_signals->set_global_trigger(nullptr);
    } else {
      m_signals->delete_from_name_map(this);
      m_signals->delete_from_vector(this);
    }
    m_signals = nullptr;
  }
  sdr_unlink(m_element);
  return std::unique_ptr<SDR_DATA_TRIGGER>(this);
}

void SDR_DATA_TRIGGER::remove() {
  SDR_CHECK_AS(m_element && m_element->getParentNode(), "parent != NULL");
  detach();
}

const char* SDR_DATA_TRIGGER::get_name() const {
  return m_name ? m_name->c_str() : nullptr;
}

bool SDR_DATA_TRIGGER::set_name(const char* name) {
  if (!name || !m_name) return false;
  bool listed = m_signals && !is_global_temp();
  return sdr_rename_listed(listed ? m_signals : nullptr, this, &m_name, name, m_element);
}

// --------------------------------------------------------------- settings

void SDR_DATA_TRIGGER::set_trigger_position(SDR_DATA_TRIGGER_POSITION position) {
  m_position = position;
  const char* text = "";
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(position, &text);
  sdr_set_attribute(m_element, "position", text);
}

void SDR_DATA_TRIGGER::set_trigger_in(SDR_DATA_TRIGGER_CONDITION condition) {
  m_trigger_in = condition;
  sdr_set_attribute(m_element, "trigger_in", condition_text(condition));
}

void SDR_DATA_TRIGGER::set_trigger_out(SDR_DATA_TRIGGER_CONDITION condition) {
  m_trigger_out = condition;
  sdr_set_attribute(m_element, "trigger_out", condition_text(condition));
}

bool SDR_DATA_TRIGGER::set_trigger_type(SDR_DATA_TRIGGER_TYPE type) {
  m_trigger_type = type;
  bool known = type == SDR_TTYPE_CIRCULAR || type == SDR_TTYPE_SEGMENTED;
  const char* text = "circular";
  if (known) SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(type, &text);
  sdr_set_attribute(m_element, "trigger_type", text);
  return known;
}

bool SDR_DATA_TRIGGER::set_segment_size(int size) {
  int depth = m_signals ? m_signals->get_sample_depth() : 0;
  int stored = 1;
  if (depth > 0) {
    int wanted = size > depth ? depth : (size < 1 ? 1 : size);
    while (stored <= wanted / 2) stored *= 2;
  }
  m_segment_size = stored;
  sdr_set_attribute(m_element, "segment_size", stored);
  return stored == size;
}

void SDR_DATA_TRIGGER::set_expanded_status(bool expanded) {
  m_expanded = expanded;
  sdr_set_attribute(m_element, "is_expanded", expanded ? "true" : "false");
}

void SDR_DATA_TRIGGER::set_global_temp() {
  sdr_set_attribute(m_element, "global_temp", "1");
}

bool SDR_DATA_TRIGGER::is_global_temp() const {
  std::string v = sdr_get_attribute(m_element, "global_temp");
  return !v.empty() && v[0] == '1';
}

// ----------------------------------------------------------------- levels

int SDR_DATA_TRIGGER::append_new_level(bool create_dom) {
  std::unique_ptr<LEVEL> level(new LEVEL);
  int width = m_signals ? m_signals->get_trigger_wire_width() : 0;
  level->conditions.assign(static_cast<size_t>(width), SDR_TCOND_DONT_CARE);
  if (create_dom && m_document && m_events_element) {
    level->element = m_document->createElement(SDR_XSTR("level"));
    level->text_node = m_document->createTextNode(SDR_XSTR(""));
    m_events_element->appendChild(level->element);
    level->element->appendChild(level->text_node);
  }
  m_levels.push_back(std::move(level));
  return static_cast<int>(m_levels.size()) - 1;
}

bool SDR_DATA_TRIGGER::is_trigger_level_enabled(int level) const {
  if (level < 0 || level >= get_event_levels()) return true;
  return m_levels[static_cast<size_t>(level)]->enabled;
}

bool SDR_DATA_TRIGGER::is_trigger_level_basic_condition(int level) const {
  if (level < 0 || level >= get_event_levels()) return true;
  return m_levels[static_cast<size_t>(level)]->basic;
}

bool SDR_DATA_TRIGGER::set_trigger_level_enabled(int level, bool enabled) {
  if (level < 0 || level >= get_event_levels()) return false;
  LEVEL& l = *m_levels[static_cast<size_t>(level)];
  l.enabled = enabled;
  if (l.element) sdr_set_attribute(l.element, "enabled", enabled ? "yes" : "no");
  return false;
}

bool SDR_DATA_TRIGGER::set_trigger_level_cond_expr_type(int level, bool basic) {
  if (level < 0 || level >= get_event_levels()) return false;
  LEVEL& l = *m_levels[static_cast<size_t>(level)];
  l.basic = basic;
  if (l.element) sdr_set_attribute(l.element, "type", basic ? "basic" : "advanced");
  return false;
}

SDR_DATA_TRIGGER_CONDITION SDR_DATA_TRIGGER::get_condition(int level, int node) const {
  if (level < 0 || level >= get_event_levels() || node < 0) return SDR_TCOND_DONT_CARE;
  const LEVEL& l = *m_levels[static_cast<size_t>(level)];
  // A level is as wide as the trigger wires were when it was appended.
  if (static_cast<size_t>(node) >= l.conditions.size()) return SDR_TCOND_DONT_CARE;
  if (m_signals && node >= m_signals->get_trigger_wire_width()) return SDR_TCOND_DONT_CARE;
  return l.conditions[static_cast<size_t>(node)];
}

bool SDR_DATA_TRIGGER::set_trigger_condition(int node, int level, SDR_DATA_TRIGGER_CONDITION condition,
                                             bool update) {
  if (level < 0 || level >= get_event_levels() || node < 0) return false;
  if (!m_signals || node >= m_signals->get_trigger_wire_width()) return false;
  LEVEL& l = *m_levels[static_cast<size_t>(level)];
  // Refused beyond the width the level was appended with.
  if (static_cast<size_t>(node) >= l.conditions.size()) return false;
  SDR_DATA_TRIGGER_CONDITION& slot = l.conditions[static_cast<size_t>(node)];
  const SDR_DATA_TRIGGER_CONDITION before = slot;
  slot = condition;
  if (!update) {
    if (before != condition) l.synced_node = nullptr;
  } else if (!patch_condition_text(l, static_cast<size_t>(node), before, condition)) {
    write_condition_text(level);
  }
  return true;
}

// The bus row of that name (or alias) in the setup view, or null.
std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE> SDR_DATA_TRIGGER::find_setup_bus(const char* bus) const {
  std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE> node(m_signals->get_setup_view()->find_bus_node(bus));
  if (node && node->is_null()) node.reset();
  return node;
}

// Visits the bus's members from its least significant bit with each one's
// trigger wire index, or null (reported) for a member that names no wire.
// The members are resolved by the view, once per state of its rows.
template <class VISIT>
void SDR_DATA_TRIGGER::for_each_bus_bit(SDR_DATA_SIGNAL_VIEW_NODE* node, VISIT visit) {
  SDR_DATA_SIGNAL_VIEW* view = node->get_view();
  if (!SDR_CHECK(view != NULL)) return;
  const std::shared_ptr<const SDR_DATA_SIGNAL_VIEW::BUS_BITS> bits = view->bus_bits(node);
  size_t missing = 0;
  for (const int index : bits->wires) {
    if (index != SDR_DATA_SIGNAL_VIEW::BUS_BITS::NO_WIRE) {
      visit(&index);
    } else if (SDR_CHECK(missing < bits->missing.size())) {
      SDR_MSGS::post(SDR_MSGS::wsdr_invalid_signal_ref(bits->missing[missing++].c_str()));
      visit(nullptr);
    }
  }
}

bool SDR_DATA_TRIGGER::set_trigger_condition(const char* name, int level,
                                             SDR_DATA_TRIGGER_CONDITION condition, bool update) {
  if (level < 0 || level >= get_event_levels() || !name || !m_signals) return false;
  if (!SDR_CHECK(m_signals->get_setup_view() != NULL)) return false;
  std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE> node(m_signals->get_setup_view()->find_bus_node(name));
  if (!node || node->is_null()) {
    SDR_MSGS::post(SDR_MSGS::wsdr_invalid_signal_ref(name));
    return false;
  }
  bool any = false;
  for (std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE> child(node->get_first_child()); child && !child->is_null();
       child.reset(child->get_next_sibling())) {
    if (SDR_DATA_SIGNAL_WIRE* wire = child->get_data_wire(true))
      any |= set_trigger_condition(wire->get_trigger_wire_index(), level, condition, false);
  }
  if (any && update) write_condition_text(level);
  return any;
}

bool SDR_DATA_TRIGGER::set_trigger_condition(const char* bus, int level, long value, bool update) {
  if (level < 0 || level >= get_event_levels() || !bus || !m_signals) return false;
  if (!SDR_CHECK(m_signals->get_setup_view() != NULL)) return false;
  bool any = false;
  std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE> node = find_setup_bus(bus);
  if (node) {
    for_each_bus_bit(node.get(), [&](const int* wire) {
      if (wire)
        any |= set_trigger_condition(*wire, level, (value & 1) ? SDR_TCOND_HIGH : SDR_TCOND_LOW, false);
      value >>= 1;
    });
  } else {
    char text[32];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    SDR_MSGS::post(SDR_MSGS::wsdr_invalid_bus_ref(bus, text, get_name() ? get_name() : ""));
    return false;
  }
  if (any && update) write_condition_text(level);
  return any;
}

SDR_DATA_TRIGGER_CONDITION SDR_DATA_TRIGGER::convert_symbol_char(char c) {
  switch (c) {
    case '0':
    case 'L':
    case 'l':
      return SDR_TCOND_LOW;
    case '1':
    case 'H':
    case 'h':
      return SDR_TCOND_HIGH;
    case 'R':
    case 'r':
      return SDR_TCOND_RISING_EDGE;
    case 'F':
    case 'f':
      return SDR_TCOND_FALLING_EDGE;
    case 'E':
    case 'e':
      return SDR_TCOND_EITHER_EDGE;
    default:
      return SDR_TCOND_DONT_CARE;
  }
}

// The bus row a symbol is set on; null (reported when the bus is missing)
// when the call cannot apply.
std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE> SDR_DATA_TRIGGER::find_symbol_bus(const char* bus, int level,
                                                                             const char* symbol) const {
  if (level < 0 || level >= get_event_levels() || !bus || !m_signals) return nullptr;
  if (!SDR_CHECK(m_signals->get_setup_view() != NULL)) return nullptr;
  std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE> node = find_setup_bus(bus);
  if (!node) SDR_MSGS::post(SDR_MSGS::wsdr_invalid_bus_ref(bus, symbol, get_name() ? get_name() : ""));
  return node;
}

bool SDR_DATA_TRIGGER::set_trigger_condition(const char* bus, int level, const char* symbol, bool update) {
  if (!SDR_CHECK_AS(symbol != NULL, "symbolic_name != NULL")) return false;
  std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE> node = find_symbol_bus(bus, level, symbol);
  if (!node) return false;
  // The bus's own table; without one (or without tables at all) nothing
  // is said.
  SDR_DATA_SESSION* session = session_of(m_signals);
  const char* table = node->get_mnemonics_table();
  if (!session || !session->find_mnemonics() || !table) return false;
  std::string table_name = table;
  return apply_symbol(node.get(), level, table_name.c_str(), symbol, update);
}

bool SDR_DATA_TRIGGER::set_trigger_condition(const char* bus, int level, const char* table,
                                             const char* symbol, bool update) {
  if (!SDR_CHECK_AS(symbol != NULL, "symbolic_name != NULL")) return false;
  if (!SDR_CHECK_AS(table != NULL, "mnemonics_table != NULL")) return false;
  std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE> node = find_symbol_bus(bus, level, symbol);
  if (!node) return false;
  return apply_symbol(node.get(), level, table, symbol, update);
}

// Walks the bus from its least significant bit, giving each wire the
// condition of the next character of the symbol's value.
bool SDR_DATA_TRIGGER::apply_symbol(SDR_DATA_SIGNAL_VIEW_NODE* node, int level, const char* table,
                                    const char* symbol, bool update) {
  SDR_DATA_SESSION* session = session_of(m_signals);
  SDR_DATA_MNEMONICS* mnemonics = session ? session->find_mnemonics() : nullptr;
  SDR_DATA_MNEMONICS_TABLE* t = mnemonics ? mnemonics->find_table(table) : nullptr;
  if (!t) {
    SDR_MSGS::post(SDR_MSGS::wsdr_invalid_sym_table(table));
    return false;
  }
  const char* value = t->get_value(symbol);
  if (!value) {
    SDR_MSGS::post(SDR_MSGS::wsdr_invalid_symbol(symbol, table));
    return false;
  }
  std::string bits = value;
  size_t next = 0;
  bool any = false;
  for_each_bus_bit(node, [&](const int* wire) {
    if (!wire) return;
    SDR_DATA_TRIGGER_CONDITION c =
        next < bits.size() ? convert_symbol_char(bits[next++]) : SDR_TCOND_DONT_CARE;
    any |= set_trigger_condition(*wire, level, c, false);
  });
  if (any && update) write_condition_text(level);
  return any;
}

// ------------------------------------------------------------------- logs

SDR_DATA_LOG* SDR_DATA_TRIGGER::create_log(const char* name, bool global) {
  SDR_DATA_LOG* log = name ? new SDR_DATA_LOG(m_document, name) : new SDR_DATA_LOG(m_document);
  if (!global) {
    log = sdr_listed_or_dropped(log, append(log, true));
  } else {
    sdr_make_global(m_logs, m_element, log);
  }
  if (log) {
    log->set_signal_set(m_signals);
    log->set_trigger(this);
  }
  return log;
}

bool SDR_DATA_TRIGGER::append(SDR_DATA_LOG* log, bool update_dom) {
  if (!log || !m_logs.append(log)) return false;
  if (update_dom && m_element && !sdr_append_child(m_element, log->get_dom_node())) {
    m_logs.take(log);
    return false;
  }
  log->set_trigger(this);
  return true;
}

SDR_DATA_LOG* SDR_DATA_TRIGGER::find_log(const char* name) const {
  return m_logs.find(name);
}

SDR_DATA_LOG* SDR_DATA_TRIGGER::get_log_at(int index) const {
  return m_logs.at(index);
}

SDR_DATA_LOG* SDR_DATA_TRIGGER::get_last_log() const {
  SDR_DATA_SESSION* session = session_of(m_signals);
  if (session) {
    SDR_DATA_INSTANCE* instance = m_signals->get_instance();
    if (session->find_active_trigger(instance) == this) {
      if (SDR_DATA_LOG* log = session->find_active_log(instance)) return log;
    }
  }
  return m_logs.back();
}

void SDR_DATA_TRIGGER::delete_from_vector(SDR_DATA_LOG* log) {
  m_logs.remove_from_list(log);
}

bool SDR_DATA_TRIGGER::insert_into_name_map(SDR_DATA_LOG* log) {
  return m_logs.insert_name(log);
}

void SDR_DATA_TRIGGER::delete_from_name_map(SDR_DATA_LOG* log) {
  m_logs.remove_name(log);
}

// ------------------------------------------------------------------ other

const char* SDR_DATA_TRIGGER::to_string() {
  char buf[96];
  std::snprintf(buf, sizeof buf, "   trigger levels = %d\tsegment_size = %d", get_event_levels(),
                m_segment_size);
  m_text = buf;
  if (m_trigger_type == SDR_TTYPE_CIRCULAR || m_trigger_type == SDR_TTYPE_SEGMENTED) {
    const char* text = "";
    SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(m_trigger_type, &text);
    m_text += std::string("\n   trigger type = ") + text;
  }
  if (m_position >= SDR_TPOS_PRE && m_position <= SDR_TPOS_CONTINUOUS) {
    const char* text = "";
    SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(m_position, &text);
    m_text += std::string("\n   trigger position = ") + text;
  }
  if (m_signals && m_signals->is_trigger_in_enabled())
    m_text += std::string("\n   trigger in = ") + condition_text(m_trigger_in);
  if (m_signals && m_signals->is_trigger_out_enabled())
    m_text += std::string("\n   trigger out = ") + condition_text(m_trigger_out);
  return m_text.c_str();
}

int SDR_DATA_TRIGGER::get_last_trigger_level_latency_delay() {
  int configured = last_level_latency_switch();
  if (configured > 0) return configured;
  if (!SDR_CHECK_AS(!m_levels.empty(), "m_is_basic_vec->size() > 0")) return -1;
  int last = get_event_levels() - 1;
  if (m_levels.back()->basic) return 1;
  ATG_ADVANCED_TRIGGER_FACTORY* factory = get_advanced_trigger_factory(last);
  ATG_ADVANCED_TRIGGER_OUTPUT* root = factory ? factory->get_root() : nullptr;
  return root ? root->get_pipeline_latency() : -1;
}

int SDR_DATA_TRIGGER::get_instance_version() const {
  SDR_DATA_INSTANCE* instance = m_signals ? m_signals->get_instance() : nullptr;
  if (!instance) return 255;
  SDR_DATA_INSTANCE_INFO info = instance->get_node_info();
  return info.version == 255 ? info.inferred_version : info.version;
}

int SDR_DATA_TRIGGER::get_trigger_out_latency_delay() {
  int version = get_instance_version();
  if (version < 4) {
    int last = get_last_trigger_level_latency_delay();
    return last < 0 ? -1 : last + 3;
  }
  if (version == 255) return -1;
  SDR_CHECK_AS(false, "Incomplete IP version handling");
  return -1;
}

bool SDR_DATA_TRIGGER::is_using_incremental_route() const {
  if (!m_signals) return false;
  for (int i = 0; i < m_signals->get_trigger_wire_width(); ++i)
    if (m_signals->get_trigger_wire_at(i)->get_tap_mode() != SDR_MTYPE_CLASSIC_TAP) return true;
  for (int i = 0; i < m_signals->get_data_wire_width(); ++i)
    if (m_signals->get_data_wire_at(i)->get_tap_mode() != SDR_MTYPE_CLASSIC_TAP) return true;
  return m_signals->get_data_wire_width() < m_signals->get_reserved_data_node_size() ||
         m_signals->get_trigger_wire_width() < m_signals->get_reserved_trigger_node_size();
}

bool SDR_DATA_TRIGGER::is_incremental_node_used_correctly() {
  if (!m_signals) return true;
  bool incremental = false;
  for (int i = 0; i < m_signals->get_ela_trigger_wire_width(); ++i) {
    SDR_DATA_SIGNAL_WIRE* wire = m_signals->get_trigger_wire_at(i);
    if (!wire || wire->get_tap_mode() == SDR_MTYPE_ADVANCED_TAP ||
        wire->get_tap_mode() == SDR_MTYPE_PROBEONLY_TAP) {
      incremental = true;
      break;
    }
  }
  if (!incremental) return true;
  for (const auto& level : m_levels)
    if (level->basic) return true;
  for (int level = 0; level < get_event_levels(); ++level) {
    if (ATG_ADVANCED_TRIGGER_UTILITY::get_node_count(get_advanced_trigger_factory(level),
                                                     ATG_NODE_INCREMENTAL_SIGNAL) > 0)
      return true;
  }
  return false;
}

// ------------------------------------------------ the signal set's triggers

SDR_DATA_TRIGGER* SDR_DATA_SIGNAL_SET::create_trigger(const char* name, bool global) {
  SDR_DATA_TRIGGER* trigger =
      name ? new SDR_DATA_TRIGGER(m_document, name) : new SDR_DATA_TRIGGER(m_document);
  if (!global) {
    trigger = sdr_listed_or_dropped(trigger, append(trigger, true));
  } else {
    // The old global trigger's global log goes first.
    if (SDR_DATA_TRIGGER* old = m_triggers.get_global())
      if (SDR_DATA_LOG* log = old->get_global_log()) log->remove();
    sdr_make_global(m_triggers, m_element, trigger);
  }
  if (trigger) trigger->set_signal_set(this);
  return trigger;
}

bool SDR_DATA_SIGNAL_SET::append(SDR_DATA_TRIGGER* trigger, bool attach_element) {
  if (!trigger || !m_triggers.append(trigger)) return false;
  if (attach_element && m_element && !sdr_append_child(m_element, trigger->get_dom_node())) {
    m_triggers.take(trigger);
    return false;
  }
  trigger->set_signal_set(this);
  return true;
}

bool SDR_DATA_SIGNAL_SET::insert_into_name_map(SDR_DATA_TRIGGER* trigger) {
  return m_triggers.insert_name(trigger);
}

void SDR_DATA_SIGNAL_SET::delete_from_name_map(SDR_DATA_TRIGGER* trigger) {
  m_triggers.remove_name(trigger);
}

void SDR_DATA_SIGNAL_SET::delete_from_vector(SDR_DATA_TRIGGER* trigger) {
  m_triggers.remove_from_list(trigger);
}

SDR_DATA_TRIGGER* SDR_DATA_SIGNAL_SET::find_trigger(const char* name) const {
  return m_triggers.find(name);
}

SDR_DATA_TRIGGER* SDR_DATA_SIGNAL_SET::get_trigger_at(int index) const {
  return m_triggers.at(index);
}

SDR_DATA_TRIGGER* SDR_DATA_SIGNAL_SET::get_last_trigger() const {
  SDR_DATA_SESSION* session = session_of(const_cast<SDR_DATA_SIGNAL_SET*>(this));
  if (session && m_instance) {
    SDR_DATA_TRIGGER* active = session->find_active_trigger(m_instance);
    if (active && active->get_signal_set() == this) return active;
  }
  return m_triggers.back();
}

// Reads every "trigger" child: the global one is kept apart, a duplicate
// name is dropped (its element stays in the document).
void SDR_DATA_SIGNAL_SET::read_triggers() {
  for (DOMElement* e = find_child_element(m_element, "trigger"); e;
       e = find_next_sibling_element(e, "trigger")) {
    sdr_adopt_read_child(m_triggers, new SDR_DATA_TRIGGER(m_document, e, this),
                         [this](SDR_DATA_TRIGGER* t) { return append(t, false); });
  }
}

void SDR_DATA_SIGNAL_SET::delete_triggers() {
  m_triggers.clear();
}
