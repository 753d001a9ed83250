// The tapped signals of a signal set: one wire object per design node, with
// a "wire" element for each of its roles.

#include <optional>
#include <string>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/XMLString.hpp>

#include "sdr_data_signal_set.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_msgs.h"
#include "sdr_wire_index.h"

using namespace xercesc;

namespace {

const XMLCh TAG_WIRE[] = u"wire";

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

// A wire keeps its name and alias inline: reading the condition texts of a
// large design visits every wire, one memory access each.
std::optional<std::string> optional_string(const char* text) {
  if (text && *text) return std::string(text);
  return std::nullopt;
}

const char* text_or_null(const std::optional<std::string>& text) {
  return text ? text->c_str() : nullptr;
}

}  // namespace

SDR_DATA_SIGNAL_WIRE::SDR_DATA_SIGNAL_WIRE(DOMDocument* document, const char* name,
                                           SDR_DATA_WIRE_CAPTURE_TYPE type)
    : SDR_DATA_SIGNAL_WIRE(document, name, nullptr, type) {}

SDR_DATA_SIGNAL_WIRE::SDR_DATA_SIGNAL_WIRE(DOMDocument* document, const char* name, const char* alias,
                                           SDR_DATA_WIRE_CAPTURE_TYPE type)
    : m_capture_type(type), m_document(document) {
  SDR_CHECK(name != NULL);
  m_name = optional_string(name);
  m_alias = optional_string(alias);
  if (type == SDR_CTYPE_TRIGGER || type == SDR_CTYPE_BOTH) m_trigger_element = create_element();
  if (type == SDR_CTYPE_DATA || type == SDR_CTYPE_BOTH) m_data_element = create_element();
  if (m_alias) write_attribute("alias", m_alias->c_str());
}

SDR_DATA_SIGNAL_WIRE::SDR_DATA_SIGNAL_WIRE(DOMDocument* document, DOMElement* trigger_element,
                                           DOMElement* data_element)
    : m_document(document), m_data_element(data_element), m_trigger_element(trigger_element) {
  if (data_element && trigger_element) {
    m_capture_type = SDR_CTYPE_BOTH;
  } else if (data_element) {
    m_capture_type = SDR_CTYPE_DATA;
  } else if (trigger_element) {
    m_capture_type = SDR_CTYPE_TRIGGER;
  } else {
    SDR_CHECK(trigger_element != NULL || data_element != NULL);
    m_capture_type = SDR_CTYPE_NONE;
    return;
  }
  read_element(data_element ? data_element : trigger_element);
}

SDR_DATA_SIGNAL_WIRE::~SDR_DATA_SIGNAL_WIRE() = default;

void SDR_DATA_SIGNAL_WIRE::read_element(DOMElement* element) {
  std::string text = sdr_get_attribute(element, "name");
  if (text.empty()) {
    SDR_MSGS::post(SDR_MSGS::wsdr_missing_name("signal"));
    return;
  }
  m_name = std::move(text);
  m_alias = optional_string(sdr_get_attribute(element, "alias").c_str());
  m_debug_port = sdr_get_attribute(element, "debug_port") == "yes";
  convert_to_signal_type(sdr_get_attribute(element, "type").c_str(), &m_signal_type);

  text = sdr_get_attribute(element, "tap_mode");
  if (text.empty()) {
    set_tap_mode(SDR_MTYPE_CLASSIC_TAP);
  } else {
    convert_to_tap_mode(text.c_str(), &m_tap_mode);
  }

  text = sdr_get_attribute(element, "connection_status");
  if (text.empty()) {
    m_connected = true;
    write_attribute("connection_status", "true");
  } else {
    m_connected = text[0] != 'f';
  }

  m_debug_port_name = optional_text(sdr_get_attribute(element, "debug_port_name"));
}

DOMElement* SDR_DATA_SIGNAL_WIRE::create_element() {
  if (!m_document) return nullptr;
  DOMElement* element = m_document->createElement(TAG_WIRE);
  if (m_name) sdr_set_attribute(element, "name", m_name->c_str());
  return element;
}

void SDR_DATA_SIGNAL_WIRE::write_attribute(const char* name, const char* value) {
  for (DOMElement* element : {m_trigger_element, m_data_element}) {
    if (!element) continue;
    if (value) {
      sdr_set_attribute(element, name, value);
    } else {
      sdr_remove_attribute(element, name);
    }
  }
}

const char* SDR_DATA_SIGNAL_WIRE::get_name() const {
  return text_or_null(m_name);
}
const char* SDR_DATA_SIGNAL_WIRE::get_alias() const {
  return text_or_null(m_alias);
}
const char* SDR_DATA_SIGNAL_WIRE::get_debug_port_name() const {
  return text_or_null(m_debug_port_name);
}

void SDR_DATA_SIGNAL_WIRE::set_trigger_wire_index(int index) {
  // Bus bits resolved to trigger indices are resolved again.
  if (index != m_trigger_index) SDR_WIRE_INDEX::touch();
  m_trigger_index = index;
}

void SDR_DATA_SIGNAL_WIRE::set_alias(const char* alias) {
  if (!alias || !*alias) {
    del_alias();
    return;
  }
  SDR_WIRE_INDEX::touch();
  m_alias.emplace(alias);
  if (m_set) m_set->m_term_names.valid = false;
  write_attribute("alias", alias);
}

void SDR_DATA_SIGNAL_WIRE::del_alias() {
  // The set's index finds a wire by its current keys: the old alias leaves
  // it first.
  if (m_set) m_set->unmap_alias(this);
  SDR_WIRE_INDEX::touch();
  m_alias.reset();
  if (m_set) m_set->m_term_names.valid = false;
  write_attribute("alias", nullptr);
}

void SDR_DATA_SIGNAL_WIRE::set_debug_port(bool debug_port, const char* debug_port_name) {
  if (!debug_port) {
    m_debug_port = false;
    write_attribute("debug_port", nullptr);
    return;
  }
  if (!SDR_CHECK(debug_port_name != NULL)) return;
  m_debug_port = true;
  write_attribute("debug_port", "yes");
  m_debug_port_name.reset(new std::string(debug_port_name));
  write_attribute("debug_port_name", debug_port_name);
}

void SDR_DATA_SIGNAL_WIRE::set_signal_type(SDR_DATA_SIGNAL_TYPE type) {
  m_signal_type = type;
  const char* text = nullptr;
  convert_to_signal_type_str(type, &text);
  write_attribute("type", text);
}

void SDR_DATA_SIGNAL_WIRE::set_tap_mode(SDR_DATA_WIRE_TAP_MODE mode) {
  m_tap_mode = mode;
  const char* text = nullptr;
  convert_to_tap_mode_str(mode, &text);
  write_attribute("tap_mode", text);
}

bool SDR_DATA_SIGNAL_WIRE::set_connection_status(bool connected) {
  bool result = true;
  if (connected) {
    m_connected = true;
  } else if (m_tap_mode == SDR_MTYPE_CLASSIC_TAP) {
    // A classic tap is always connected.
    m_connected = true;
    result = false;
  } else {
    m_connected = false;
  }
  write_attribute("connection_status", m_connected ? "true" : "false");
  return result;
}

void SDR_DATA_SIGNAL_WIRE::consolidate(SDR_DATA_WIRE_CAPTURE_TYPE added, bool create_elements) {
  if (added != SDR_CTYPE_DATA && added != SDR_CTYPE_TRIGGER && added != SDR_CTYPE_BOTH) {
    sdr_report_internal_error("Invalid capture type", __FILE__, __LINE__);
    return;
  }
  const int current = (m_capture_type == SDR_CTYPE_DATA || m_capture_type == SDR_CTYPE_TRIGGER ||
                       m_capture_type == SDR_CTYPE_BOTH)
                          ? static_cast<int>(m_capture_type)
                          : 0;
  const SDR_DATA_WIRE_CAPTURE_TYPE type = static_cast<SDR_DATA_WIRE_CAPTURE_TYPE>(current | added);
  if (!create_elements) {
    m_capture_type = type;
    return;
  }

  const bool need_trigger = (type == SDR_CTYPE_TRIGGER || type == SDR_CTYPE_BOTH) && !m_trigger_element;
  const bool need_data = (type == SDR_CTYPE_DATA || type == SDR_CTYPE_BOTH) && !m_data_element;
  // An element of a nameless wire could never be found again: keep the
  // wire as it was.
  if ((need_trigger || need_data) && !SDR_CHECK_AS(m_name.has_value(), "m_name != NULL")) return;
  m_capture_type = type;
  if (need_trigger) m_trigger_element = create_element();
  if (need_data) m_data_element = create_element();
  if (!need_trigger && !need_data) return;

  // Both elements carry the same attributes.
  write_attribute("alias", text_or_null(m_alias));
  write_attribute("connection_status", m_connected ? "true" : "false");
  write_attribute("debug_port", m_debug_port ? "yes" : nullptr);
  if (m_debug_port_name) write_attribute("debug_port_name", m_debug_port_name->c_str());
  set_signal_type(m_signal_type);
  set_tap_mode(m_tap_mode);
}

void SDR_DATA_SIGNAL_WIRE::consolidate(SDR_DATA_SIGNAL_WIRE* dup_wire, bool create_elements) {
  if (!SDR_CHECK(dup_wire != NULL) || dup_wire == this) return;
  if (!m_name || !dup_wire->get_name() || m_name->compare(dup_wire->get_name()) != 0) {
    sdr_report_internal_error("m_name->compare( dup_wire->get_name() ) == 0", __FILE__, __LINE__);
    return;
  }
  consolidate(dup_wire->get_capture_type(), create_elements);
  if (create_elements) return;
  if (!m_data_element && dup_wire->m_data_element) {
    m_data_element = dup_wire->m_data_element;
    dup_wire->m_data_element = nullptr;
  }
  if (!m_trigger_element && dup_wire->m_trigger_element) {
    m_trigger_element = dup_wire->m_trigger_element;
    dup_wire->m_trigger_element = nullptr;
  }
}

void SDR_DATA_SIGNAL_WIRE::convert_to_signal_type_str(SDR_DATA_SIGNAL_TYPE type, const char** out) {
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(type, out);
}

void SDR_DATA_SIGNAL_WIRE::convert_to_signal_type(const char* text, SDR_DATA_SIGNAL_TYPE* out) {
  SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(text, out);
}

void SDR_DATA_SIGNAL_WIRE::convert_to_tap_mode_str(SDR_DATA_WIRE_TAP_MODE mode, const char** out) {
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(mode, out);
}

void SDR_DATA_SIGNAL_WIRE::convert_to_tap_mode(const char* text, SDR_DATA_WIRE_TAP_MODE* out) {
  SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(text, out);
}

void SDR_DATA_SIGNAL_WIRE::convert_to_capture_type_str(SDR_DATA_WIRE_CAPTURE_TYPE type, const char** out) {
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(type, out);
}

void SDR_DATA_SIGNAL_WIRE::convert_to_capture_type(const char* text, SDR_DATA_WIRE_CAPTURE_TYPE* out) {
  SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(text, out);
}
