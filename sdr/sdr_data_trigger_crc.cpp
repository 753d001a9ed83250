// The configuration CRC of a trigger and the texts it is computed from.

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
#include "sdr_data_trigger.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_lang_parser.h"
#include "sdr_msgs.h"

using namespace xercesc;

// -------------------------------------------------------- configuration CRC

namespace {

// A CRC over the text's bits, least significant bit of each byte first: a
// bit that differs from the register's lowest bit feeds poly back in. The
// eight steps of a byte are taken at once from a table made for poly.
template <unsigned POLY>
unsigned reflected_crc(const std::string& text, unsigned init) {
  struct TABLE {
    unsigned step[256];
    TABLE() {
      for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned crc = byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ POLY : crc >> 1;
        step[byte] = crc;
      }
    }
  };
  static const TABLE table;
  unsigned crc = init;
  for (unsigned char byte : text) crc = (crc >> 8) ^ table.step[(crc ^ byte) & 0xFFu];
  return crc;
}

}  // namespace

unsigned SDR_DATA_TRIGGER::crc16(const std::string& text) {
  return reflected_crc<0xA001>(text, 0xFFFF);
}

unsigned SDR_DATA_TRIGGER::crc8(const std::string& text) {
  return reflected_crc<0x88>(text, 0xFF);
}

std::string SDR_DATA_TRIGGER::get_crc_critical_text(int version) {
  std::string text;
  if (!m_signals) return text;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d|%d|%d|%d|", m_signals->get_ela_trigger_wire_width(),
                m_signals->get_ela_data_wire_width(), get_event_levels(), m_signals->get_sample_depth());
  text = buf;
  text += m_signals->is_trigger_in_enabled() ? "Y|" : "N|";
  text += m_signals->is_trigger_out_enabled() ? "Y" : "N";
  if (version == 3)
    for (int level = 0; level < get_event_levels(); ++level) text += get_advanced_trigger_crc_string(level);
  return text;
}

namespace {

// Wire names of one list, each followed by ";", selected by tap mode.
void append_wire_names(SDR_DATA_SIGNAL_SET* set, bool data, int want_classic, std::string* text) {
  int n = data ? set->get_data_wire_width() : set->get_trigger_wire_width();
  for (int i = 0; i < n; ++i) {
    SDR_DATA_SIGNAL_WIRE* wire = data ? set->get_data_wire_at(i) : set->get_trigger_wire_at(i);
    bool classic = wire->get_tap_mode() == SDR_MTYPE_CLASSIC_TAP;
    if (want_classic >= 0 && classic != (want_classic == 1)) continue;
    if (wire->get_name()) *text += wire->get_name();
    *text += ';';
  }
}

void append_port_nodes(SDR_DATA_SIGNAL_SET* set, std::string* text) {
  if (set->is_trigger_in_enabled() && set->get_trigger_in_node()) {
    *text += set->get_trigger_in_node();
    *text += '^';
  }
  if (set->is_trigger_out_enabled() && set->get_trigger_out_node()) *text += set->get_trigger_out_node();
}

}  // namespace

std::string SDR_DATA_TRIGGER::get_crc_non_critical_text() const {
  std::string text;
  if (!m_signals) return text;
  text = m_signals->get_clock_name() ? m_signals->get_clock_name() : "";
  text += '^';
  append_wire_names(m_signals, true, 1, &text);
  text += '^';
  append_wire_names(m_signals, false, 1, &text);
  text += '^';
  append_port_nodes(m_signals, &text);
  return text;
}

std::string SDR_DATA_TRIGGER::get_crc_incremental_text() const {
  std::string text;
  if (!m_signals) return text;
  append_wire_names(m_signals, true, 0, &text);
  text += '^';
  append_wire_names(m_signals, false, 0, &text);
  text += '^';
  return text;
}

std::string SDR_DATA_TRIGGER::get_crc_non_incremental_text() const {
  std::string text;
  if (!m_signals) return text;
  text = m_signals->get_clock_name() ? m_signals->get_clock_name() : "";
  text += '^';
  append_wire_names(m_signals, true, -1, &text);
  text += '^';
  append_wire_names(m_signals, false, -1, &text);
  text += '^';
  append_port_nodes(m_signals, &text);
  return text;
}

unsigned long SDR_DATA_TRIGGER::get_crc_value() {
  std::string stored = sdr_get_attribute(m_element, "CRC");
  if (!stored.empty()) {
    msg_local_vdebug("SDR", "Trigger: %s  CRC: %s", get_name() ? get_name() : "", stored.c_str());
    return std::strtoul(stored.c_str(), nullptr, 16);
  }
  int version = get_instance_version();
  uint32_t result = 0;
  if (version == 0 || version == 255) return 0;
  if (version == 1 || version == 2 || version == 3) {
    std::string critical = get_crc_critical_text(version);
    if (is_using_incremental_route()) {
      result = ((static_cast<uint32_t>(crc16(critical)) << 16 | crc8(get_crc_non_critical_text())) << 8) |
               crc8(get_crc_incremental_text());
    } else {
      result = static_cast<uint32_t>(crc16(critical)) << 16 | crc16(get_crc_non_incremental_text());
    }
  } else {
    SDR_CHECK_AS(false, "Unsupported Trazio II version");
    return 0;
  }
  if (result != 0) {
    set_crc_value(result);
    msg_local_vdebug("SDR", "Trigger: %s  CRC: %s", get_name() ? get_name() : "",
                     sdr_get_attribute(m_element, "CRC").c_str());
  }
  return result;
}

void SDR_DATA_TRIGGER::set_crc_value(unsigned long value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%lX", value);
  sdr_set_attribute(m_element, "CRC", buf);
}
