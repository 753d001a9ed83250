#include "sdr_tzo_trigger.h"

#include <cstdio>
#include <string>

#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"
#include "sdr_internal.h"
#include "sdr_tzo_signal_set.h"

namespace {

// The character after the value's opening quote, or 0.
char second_char(const char* value) {
  return value[0] ? value[1] : 0;
}

}  // namespace

SDR_TZO_TRIGGER::SDR_TZO_TRIGGER() = default;
SDR_TZO_TRIGGER::~SDR_TZO_TRIGGER() = default;

void SDR_TZO_TRIGGER::set_clock(const char* clk) {
  if (!SDR_CHECK(clk != NULL)) return;
  m_clock = clk;
  m_clock_set = true;
}

void SDR_TZO_TRIGGER::set_sample_depth(int depth) {
  m_sample_depth = depth;
  m_depth_set = true;
}

void SDR_TZO_TRIGGER::set_trigger_position(int position) {
  m_position = position;
  m_position_set = true;
}

void SDR_TZO_TRIGGER::set_trigger_in(const char* trigger_in) {
  if (!SDR_CHECK(trigger_in != NULL)) return;
  m_trigger_in = second_char(trigger_in);
  m_trigger_in_set = true;
}

void SDR_TZO_TRIGGER::set_trigger_out(const char* trigger_out) {
  if (!SDR_CHECK(trigger_out != NULL)) return;
  m_trigger_out = second_char(trigger_out);
  m_trigger_out_set = true;
}

void SDR_TZO_TRIGGER::add_debug_out_wire(const char* wire_name) {
  if (!SDR_CHECK(wire_name != NULL)) return;
  m_debug_out.emplace_back(wire_name);
}

SDR_DATA_TRIGGER_POSITION SDR_TZO_TRIGGER::convert_position(int position) {
  switch (position) {
    case 0:
      return SDR_TPOS_CONTINUOUS;
    case 50:
      return SDR_TPOS_CENTER;
    case 90:
      return SDR_TPOS_POST;
    default:
      return SDR_TPOS_PRE;
  }
}

SDR_DATA_TRIGGER_CONDITION SDR_TZO_TRIGGER::convert_trigger_in(char letter) {
  switch (letter) {
    case 'r':
    case 'R':
      return SDR_TCOND_RISING_EDGE;
    case 'f':
    case 'F':
      return SDR_TCOND_FALLING_EDGE;
    case 'e':
    case 'E':
      return SDR_TCOND_EITHER_EDGE;
    case 'h':
    case 'H':
      return SDR_TCOND_HIGH;
    case 'l':
    case 'L':
      return SDR_TCOND_LOW;
    default:
      return SDR_TCOND_DISABLE;
  }
}

SDR_DATA_TRIGGER_CONDITION SDR_TZO_TRIGGER::convert_trigger_out(char letter) {
  switch (letter) {
    case 'h':
    case 'H':
      return SDR_TCOND_ACTIVE_HIGH;
    case 'l':
    case 'L':
      return SDR_TCOND_ACTIVE_LOW;
    default:
      return SDR_TCOND_DISABLE;
  }
}

bool SDR_TZO_TRIGGER::apply_to_signal_set(SDR_DATA_SIGNAL_SET* signals, SDR_TZO_IMPORT_REPORT* report) {
  if (!SDR_CHECK(signals != NULL)) return false;
  if (report) report->has_acquisition = true;
  if (m_depth_set) {
    signals->set_sample_depth(m_sample_depth);
    if (report) report->depth_set = true;
  }
  int counter = 0;
  for (const std::string& name : m_debug_out) {
    SDR_DATA_SIGNAL_WIRE* wire = signals->get_wire(name.c_str());
    if (!wire) {
      if (report) ++report->skipped[SDR_TZO_IMPORT_REPORT::SKIP_UNKNOWN_DEBUG_WIRE];
      continue;
    }
    char port[48];
    std::snprintf(port, sizeof port, "auto_tzo_debug_out_0_%d", counter++);
    wire->set_debug_port(true, port);
  }
  if (report) report->debug_outputs += counter;
  signals->set_clock(m_clock.c_str(), SDR_DATA_SIGNAL_SET::POSEDGE);
  if (report && m_clock_set) report->clock_set = true;
  return true;
}

bool SDR_TZO_TRIGGER::apply_to_trigger(SDR_DATA_TRIGGER* trigger, SDR_TZO_IMPORT_REPORT* report) {
  if (!SDR_CHECK(trigger != NULL)) return false;
  if (m_position_set) {
    trigger->set_trigger_position(convert_position(m_position));
    if (report) report->position_set = true;
  }
  if (m_trigger_in_set) {
    trigger->set_trigger_in(convert_trigger_in(m_trigger_in));
    if (report) report->trigger_in_set = true;
  }
  if (m_trigger_out_set) {
    trigger->set_trigger_out(convert_trigger_out(m_trigger_out));
    if (report) report->trigger_out_set = true;
  }
  return true;
}
