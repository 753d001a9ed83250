#include "sdr_data_log.h"

#include <atomic>
#include <climits>
#include <cstdint>
#include <ctime>
#include <new>
#include <random>
#include <string>

#include "cfg_service.h"
#include "sdr_data_instance.h"
#include "sdr_data_manager.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"

using namespace xercesc;

namespace {

// Longest sample text a log builds itself; bit positions stay within int.
const uint64_t MAX_SAMPLE_TEXT = static_cast<uint64_t>(INT_MAX);

// The basic condition of data wire `wire` at trigger level `level`: the
// trigger's condition of the same wire in its trigger role, or dont_care
// when the wire is not also a trigger wire (or anything is missing).
SDR_DATA_TRIGGER_CONDITION data_wire_condition(const SDR_DATA_TRIGGER* trigger,
                                               const SDR_DATA_SIGNAL_SET* signal_set, int wire, int level) {
  if (!trigger || !signal_set || level < 0) return SDR_TCOND_DONT_CARE;
  const SDR_DATA_SIGNAL_WIRE* data_wire = signal_set->get_data_wire_at(wire);
  if (!data_wire) return SDR_TCOND_DONT_CARE;
  const int node = data_wire->get_trigger_wire_index();
  if (node < 0) return SDR_TCOND_DONT_CARE;
  return trigger->get_condition(level, node);
}

bool is_segmented(const SDR_DATA_TRIGGER* trigger) {
  return trigger && trigger->is_segment_enabled();
}

// The number of characters of a capture of `width` wires and `depth`
// samples; 0 when either is not positive.
uint64_t capture_length(int width, int depth) {
  if (width <= 0 || depth <= 0) return 0;
  return static_cast<uint64_t>(width) * static_cast<uint64_t>(depth);
}

// Fills *out with `length` characters: the first `available` of bits, where
// anything but "1" becomes "0", then "0" for the bits that are missing.
// False when the text would be too long or cannot be allocated.
template <class CHAR>
bool build_sample_text(const CHAR* bits, uint64_t available, uint64_t length, std::u16string* out) {
  if (length > MAX_SAMPLE_TEXT) return false;
  try {
    out->assign(static_cast<size_t>(length), u'0');
  } catch (const std::bad_alloc&) {
    return false;
  }
  const uint64_t copied = available < length ? available : length;
  for (uint64_t i = 0; i < copied; ++i)
    if (bits[i] == CHAR('1')) (*out)[i] = u'1';
  return true;
}

}  // namespace

SDR_DATA_LOG::SDR_DATA_LOG(DOMDocument* document) : SDR_DATA_LOG(document, nullptr) {}

SDR_DATA_LOG::SDR_DATA_LOG(DOMDocument* document, const char* name) {
  if (!SDR_CHECK(document != NULL)) return;
  m_name.reset(name ? new std::string(name) : SDR_DATA_MANAGER::name_auto_gen("log"));
  m_element = document->createElement(SDR_XSTR("data"));
  sdr_set_attribute(m_element, "name", m_name->c_str());
}

SDR_DATA_LOG::SDR_DATA_LOG(DOMDocument* document, DOMElement* element, SDR_DATA_SIGNAL_SET* signal_set,
                           SDR_DATA_TRIGGER* trigger)
    : m_signal_set(signal_set), m_trigger(trigger), m_element(element) {
  if (!SDR_CHECK(document != NULL) || !SDR_CHECK(element != NULL)) return;
  m_data_width = signal_set ? signal_set->get_data_wire_width() : 0;

  std::string text = sdr_get_attribute(m_element, "name");
  if (text.empty()) {
    m_name.reset(SDR_DATA_MANAGER::name_auto_gen("data"));
    sdr_set_attribute(m_element, "name", m_name->c_str());
  } else {
    m_name.reset(new std::string(text));
  }

  refresh_sample_text();

  m_sample_depth = sdr_atoi(sdr_get_attribute(m_element, "sample_depth").c_str());
  m_segment_size = sdr_atoi(sdr_get_attribute(m_element, "segment_size").c_str());
  text = sdr_get_attribute(m_element, "unconnected_ports");
  if (!text.empty()) m_unconnected_ports.reset(new std::string(text));
  // An absent position reads 0, unlike a new log's -1.
  m_trigger_position = sdr_atoi(sdr_get_attribute(m_element, "trigger_position").c_str());
}

SDR_DATA_LOG::~SDR_DATA_LOG() {
  sdr_release_element(m_element);
}

// ------------------------------------------------------------------ names

const char* SDR_DATA_LOG::get_name() const {
  return m_name ? m_name->c_str() : nullptr;
}

bool SDR_DATA_LOG::set_name(const char* name) {
  if (!SDR_CHECK(m_name != NULL) || !name) return false;
  // The global log is not in the trigger's name map.
  SDR_DATA_TRIGGER* trigger = m_trigger && m_trigger->get_global_log() != this ? m_trigger : nullptr;
  return sdr_rename_listed(trigger, this, &m_name, name, m_element);
}

void SDR_DATA_LOG::set_signal_set(SDR_DATA_SIGNAL_SET* signal_set) {
  m_signal_set = signal_set;
  // Without a set the stored text keeps the width it was laid out with.
  if (signal_set) m_data_width = signal_set->get_data_wire_width();
}

// ------------------------------------------------------------------- data

bool SDR_DATA_LOG::get_connection_status(int wire) const {
  static CFG_CACHED_SWITCH always_connected("tzo_always_connected", false);
  if (!m_unconnected_ports || !m_signal_set || always_connected.get()) return true;
  if (wire < 0 || wire >= m_data_width) return false;
  // A text shorter than the width does not mark the wires past its end.
  if (static_cast<size_t>(wire) >= m_unconnected_ports->size()) return true;
  return (*m_unconnected_ports)[wire] != '0';
}

bool SDR_DATA_LOG::is_data_available() const {
  return m_sample_text && !m_acquiring;
}

bool SDR_DATA_LOG::start_acquisition() {
  if (m_acquiring) return false;
  m_acquiring = true;
  return true;
}

bool SDR_DATA_LOG::end_acquisition() {
  if (!m_acquiring) return false;
  m_acquiring = false;
  return true;
}

void SDR_DATA_LOG::refresh_sample_text() {
  m_sample_text = nullptr;
  m_sample_length = 0;
  DOMNode* first = m_element ? m_element->getFirstChild() : nullptr;
  if (!first || first->getNodeType() != DOMNode::TEXT_NODE) return;
  const DOMText* text = static_cast<const DOMText*>(first);
  const XMLSize_t length = text->getLength();
  if (length == 0) return;
  // Points into the node's own buffer: no copy, valid until the node
  // changes, which only this class does.
  m_sample_text = text->getData();
  m_sample_length = length;
}

bool SDR_DATA_LOG::translate_bit_stream(const unsigned short* bits, int sample_depth, int trigger_position) {
  const uint64_t length = capture_length(m_data_width, sample_depth);
  if (length > 0 && !SDR_CHECK(bits != NULL)) return false;
  std::u16string text;
  if (!build_sample_text(bits, length, length, &text)) return false;
  return store_capture(&text, sample_depth, trigger_position);
}

bool SDR_DATA_LOG::store_capture(std::u16string* text, int sample_depth, int trigger_position) {
  if (!SDR_CHECK(m_element != NULL)) return false;
  m_sample_text = nullptr;
  m_sample_length = 0;
  try {
    // Old children go first so that the document can reuse their buffers.
    while (DOMNode* child = m_element->getFirstChild()) {
      m_element->removeChild(child);
      child->release();
    }
    m_element->appendChild(m_element->getOwnerDocument()->createTextNode(text->c_str()));
  } catch (...) {
    // Out of memory inside the document: the log is left without data.
    refresh_sample_text();
    return false;
  }
  // The document holds its own copy now.
  std::u16string().swap(*text);
  refresh_sample_text();

  m_sample_depth = sample_depth;
  m_trigger_position = trigger_position;
  const bool segmented = is_segmented(m_trigger);
  m_segment_size = segmented ? m_trigger->get_segment_size() : 0;

  sdr_set_attribute(m_element, "sample_depth", sample_depth);
  if (!segmented) {
    sdr_set_attribute(m_element, "trigger_position", trigger_position);
    sdr_remove_attribute(m_element, "segment_size");
  } else {
    sdr_set_attribute(m_element, "segment_size", m_segment_size);
    if (trigger_position < 0) {
      sdr_set_attribute(m_element, "trigger_position", -1);
    } else {
      sdr_remove_attribute(m_element, "trigger_position");
    }
  }

  // The connection text describes this capture only.
  if (m_signal_set && !m_signal_set->get_connection_status()) {
    const char* connections = m_signal_set->get_signal_connections();
    m_unconnected_ports.reset(new std::string(connections ? connections : ""));
    sdr_set_attribute(m_element, "unconnected_ports", m_unconnected_ports->c_str());
  } else {
    m_unconnected_ports.reset();
    sdr_remove_attribute(m_element, "unconnected_ports");
  }

  if (is_regression_test_mode()) {
    sdr_set_attribute(m_element, "sanity_check", check_data_sanity() ? "PASS" : "FAIL");
  } else {
    sdr_remove_attribute(m_element, "sanity_check");
  }
  return true;
}

void SDR_DATA_LOG::copy_data(SDR_DATA_LOG* other) {
  if (!SDR_CHECK(other != NULL)) return;
  // Taken before the capture is stored, which resets this log's ports (and
  // other may be this log).
  std::unique_ptr<std::string> ports(other->m_unconnected_ports ? new std::string(*other->m_unconnected_ports)
                                                                : nullptr);
  if (other->m_sample_text) {
    std::u16string text;
    if (!build_sample_text(other->m_sample_text, other->m_sample_length,
                           capture_length(m_data_width, other->m_sample_depth), &text) ||
        !store_capture(&text, other->m_sample_depth, other->m_trigger_position))
      return;
  }
  m_unconnected_ports = std::move(ports);
  if (m_unconnected_ports) {
    if (m_element) sdr_set_attribute(m_element, "unconnected_ports", m_unconnected_ports->c_str());
  } else {
    sdr_remove_attribute(m_element, "unconnected_ports");
  }
}

bool SDR_DATA_LOG::check_data_sanity() const {
  const bool segmented = is_segmented(m_trigger);
  const int depth = m_sample_depth;
  const int position = m_trigger_position;
  const int segment = m_segment_size;

  if (position < -1 || depth < 0 || segment < 0) return false;
  if (!segmented && depth > 0 && depth <= position) return false;
  if (segmented) {
    const int limit = m_signal_set ? m_signal_set->get_sample_depth() : depth;
    if (segment == 0 || segment >= limit) return false;
  }
  if (depth == 0 && position != 0 && position != -1) return false;

  const int levels = m_trigger ? m_trigger->get_event_levels() : 0;
  if (levels <= 0 || depth == 0) return true;
  const int level = levels - 1;

  if (!segmented) {
    if (position < 0) return true;
    const int before = (depth - 1 + position) % depth;
    for (int w = 0; w < m_data_width; ++w) {
      const bool at = get_bit(w, position);
      const bool prev = get_bit(w, before);
      bool ok = true;
      switch (data_wire_condition(m_trigger, m_signal_set, w, level)) {
        case SDR_TCOND_HIGH:
          ok = at;
          break;
        case SDR_TCOND_LOW:
          ok = !at;
          break;
        case SDR_TCOND_RISING_EDGE:
          ok = at && !prev;
          break;
        case SDR_TCOND_FALLING_EDGE:
          ok = !at && prev;
          break;
        case SDR_TCOND_EITHER_EDGE:
          ok = at != prev;
          break;
        default:
          break;
      }
      if (!ok) return false;
    }
    return true;
  }

  for (int w = 0; w < m_data_width; ++w) {
    bool wanted = false;
    switch (data_wire_condition(m_trigger, m_signal_set, w, level)) {
      case SDR_TCOND_HIGH:
      case SDR_TCOND_RISING_EDGE:
        wanted = true;
        break;
      case SDR_TCOND_LOW:
      case SDR_TCOND_FALLING_EDGE:
        wanted = false;
        break;
      default:
        continue;
    }
    for (int64_t s = 0; s < depth; s += segment)
      if (get_bit(w, static_cast<int>(s)) != wanted) return false;
  }
  return true;
}

// ------------------------------------------------------------------ other

bool SDR_DATA_LOG::is_global_temp() const {
  return sdr_get_attribute(m_element, "global_temp").compare(0, 1, "1") == 0;
}

void SDR_DATA_LOG::set_global_temp() {
  if (m_element) sdr_set_attribute(m_element, "global_temp", "1");
}

std::unique_ptr<SDR_DATA_LOG> SDR_DATA_LOG::detach() {
  if (m_trigger) {
    SDR_DATA_SIGNAL_SET* signal_set = m_trigger->get_signal_set();
    SDR_DATA_INSTANCE* instance = signal_set ? signal_set->get_instance() : nullptr;
    if (SDR_DATA_SESSION* session = instance ? instance->get_session() : nullptr)
      session->forget_active(this);
    if (m_trigger->get_global_log() == this) {
      m_trigger->set_global_log(nullptr);
    } else {
      m_trigger->delete_from_name_map(this);
      m_trigger->delete_from_vector(this);
    }
    m_trigger = nullptr;
  }
  sdr_unlink(m_element);
  return std::unique_ptr<SDR_DATA_LOG>(this);
}

void SDR_DATA_LOG::remove() {
  SDR_CHECK_AS(m_element && m_element->getParentNode(), "parent != NULL");
  detach();
}

void SDR_DATA_LOG::simulate_run() {
  if (!m_signal_set) return;
  static std::atomic<unsigned> run_counter{0};
  const int depth = m_signal_set->get_sample_depth();
  const int width = m_signal_set->get_data_wire_width();
  const uint64_t length = capture_length(width, depth);

  std::mt19937 random(static_cast<unsigned>(std::time(nullptr)) + run_counter++);
  int t = depth / 8;
  if (m_trigger) {
    switch (m_trigger->get_trigger_position()) {
      case SDR_TPOS_CENTER:
        t = depth / 2;
        break;
      case SDR_TPOS_POST:
        t = (depth / 8) * 7;
        break;
      case SDR_TPOS_CONTINUOUS:
        t = 0;
        break;
      default:
        break;
    }
  }
  // The shaping level: level 1 when there is one, else the last level.
  const int levels = m_trigger ? m_trigger->get_event_levels() : 0;
  const int level = levels >= 2 ? 1 : levels - 1;

  std::u16string text;
  if (!build_sample_text(static_cast<const char16_t*>(nullptr), 0, length, &text)) return;
  m_data_width = width;
  for (uint64_t i = 0; i < length; ++i) {
    const unsigned m = random() % 10 + 1;
    if (random() % m == 1) text[i] = u'1';
  }
  for (int w = 0; w < width; ++w) {
    auto set_bit = [&](int sample, bool value) {
      if (sample >= 0 && sample < depth)
        text[static_cast<size_t>(sample) * static_cast<size_t>(width) + static_cast<size_t>(w)] =
            value ? u'1' : u'0';
    };
    const SDR_DATA_TRIGGER_CONDITION condition = data_wire_condition(m_trigger, m_signal_set, w, level);
    switch (condition) {
      case SDR_TCOND_HIGH:
      case SDR_TCOND_LOW: {
        const bool high = condition == SDR_TCOND_HIGH;
        for (int s = 0; s < t && s < depth; ++s) set_bit(s, !high);
        set_bit(t, high);
        break;
      }
      case SDR_TCOND_RISING_EDGE:
        set_bit(t, true);
        break;
      case SDR_TCOND_FALLING_EDGE:
        set_bit(t, false);
        break;
      case SDR_TCOND_EITHER_EDGE:
        set_bit(t + 1, (random() & 1u) != 0);
        break;
      default:
        break;
    }
  }
  store_capture(&text, depth, t);
}
