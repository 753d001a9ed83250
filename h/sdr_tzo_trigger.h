#ifndef SDR_TZO_TRIGGER_H
#define SDR_TZO_TRIGGER_H

// The acquisition settings of an older text file's acquisition section.

#include <string>
#include <vector>

#include "sdr_data_global_enum.h"
#include "sdr_export.h"

class SDR_DATA_SIGNAL_SET;
class SDR_DATA_TRIGGER;
struct SDR_TZO_IMPORT_REPORT;

class SDR_API SDR_TZO_TRIGGER {
 public:
  SDR_TZO_TRIGGER();
  virtual ~SDR_TZO_TRIGGER();
  SDR_TZO_TRIGGER(const SDR_TZO_TRIGGER&) = delete;
  SDR_TZO_TRIGGER& operator=(const SDR_TZO_TRIGGER&) = delete;

  // The clock's name, as given (quotes already removed).
  void set_clock(const char* clk);
  void set_sample_depth(int depth);
  // The position as the file writes it: 0, 10, 50 or 90.
  void set_trigger_position(int position);
  // The letter is the second character of the value (the one after its
  // opening quote); a value shorter than that gives none.
  void set_trigger_in(const char* trigger_in);
  void set_trigger_out(const char* trigger_out);
  void add_debug_out_wire(const char* wire_name);

  // Applies what the file gave to the signal set: the sample depth, the
  // debug ports (named "auto_tzo_debug_out_0_N", N counting only the wires
  // found) and the clock (positive edge; no name gives the default name).
  // A setting the file did not give is left alone.
  bool apply_to_signal_set(SDR_DATA_SIGNAL_SET* signals, SDR_TZO_IMPORT_REPORT* report);
  // Applies the trigger position and the trigger-in and trigger-out
  // conditions the file gave.
  bool apply_to_trigger(SDR_DATA_TRIGGER* trigger, SDR_TZO_IMPORT_REPORT* report);

  const char* get_clock() const { return m_clock.c_str(); }
  int get_sample_depth() const { return m_sample_depth; }
  int get_trigger_position() const { return m_position; }
  char get_trigger_in() const { return m_trigger_in; }
  char get_trigger_out() const { return m_trigger_out; }
  int get_num_debug_out_wires() const { return static_cast<int>(m_debug_out.size()); }

  // 0 continuous, 10 pre, 50 center, 90 post; anything else pre.
  static SDR_DATA_TRIGGER_POSITION convert_position(int position);
  // r rising, f falling, e either edge, h high, l low (either case);
  // anything else disables.
  static SDR_DATA_TRIGGER_CONDITION convert_trigger_in(char letter);
  // h active high, l active low (either case); anything else disables.
  static SDR_DATA_TRIGGER_CONDITION convert_trigger_out(char letter);

 private:
  std::string m_clock;
  bool m_clock_set = false;
  int m_sample_depth = 0;
  bool m_depth_set = false;
  int m_position = 0;
  bool m_position_set = false;
  char m_trigger_in = 0;
  bool m_trigger_in_set = false;
  char m_trigger_out = 0;
  bool m_trigger_out_set = false;
  std::vector<std::string> m_debug_out;
};

#endif
