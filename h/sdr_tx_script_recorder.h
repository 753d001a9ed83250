#ifndef SDR_TX_SCRIPT_RECORDER_H
#define SDR_TX_SCRIPT_RECORDER_H

// A replayable script of the transaction-layer commands of one transaction
// session, with check points (copies of the session file saved beside the
// script at open and at every save). Switched on by configuration:
//   "tzo_tx_record"            on/off: record at all
//   "tzo_tx_record_low_level"  on/off: also write nested commands ("->" lines)
//   "tzo_tx_record_file_loc"   on/off: add a source-location marker
//   "tzo_tx_record_root_path"  folder of the script and check points
//                              (empty: the current folder)
//   "tzo_tx_record_allow_ie"   on/off: report a script that cannot be
//                              opened as an internal error
//
// Each recorded operation opens an SDR_TX_RECORD_SCOPE on entry; the scope
// writes the command name and its arguments and ends the line on exit.
// String arguments are quoted with '...'; a quote, a backslash, a line feed
// and a tab inside them are written \' \\ \n \t.

#include <cstdio>
#include <memory>
#include <string>

#include "sdr_data_global_enum.h"
#include "sdr_export.h"

class SDR_DATA_SESSION;

class SDR_API SDR_TX_SCRIPT_RECORDER {
 public:
  // Reads the configuration and, when recording is on, opens the script.
  SDR_TX_SCRIPT_RECORDER();
  ~SDR_TX_SCRIPT_RECORDER();

  SDR_TX_SCRIPT_RECORDER(const SDR_TX_SCRIPT_RECORDER&) = delete;
  SDR_TX_SCRIPT_RECORDER& operator=(const SDR_TX_SCRIPT_RECORDER&) = delete;

  bool is_enabled() const { return m_enabled; }
  // Off for good.
  void disable() { m_enabled = false; }
  bool is_low_level() const { return m_low_level; }
  bool is_file_loc() const { return m_file_loc; }

  void set_data_session(SDR_DATA_SESSION* session) { m_data_session = session; }
  // A new session gets no initial snapshot.
  void skip_init_check_point() { ++m_check_point; }
  // Writes the script line of the next check point, saves the snapshot
  // beside the script and writes the check-point comment.
  void save_check_point();
  // A comment line "// " + command + " '" + argument + "'".
  void write_comment(const char* command, const char* argument);
  // Open and save treat what they call as nested commands.
  void raise_depth() { ++m_depth; }
  void lower_depth();

  int get_depth() const { return m_depth; }
  int get_check_point() const { return m_check_point; }
  // The script's path; empty when recording is off.
  const std::string& get_script_path() const { return m_script_path; }
  const std::string& get_base_name() const { return m_base_name; }
  const std::string& get_root_path() const { return m_root_path; }

  // The quoted form of a string argument.
  static std::string quote(const char* text);

 private:
  friend class SDR_TX_RECORD_SCOPE;
  void open_script();
  void write(const std::string& text);
  void end_open_line();
  void flush();

  bool m_enabled = false;
  bool m_low_level = false;
  bool m_file_loc = false;
  bool m_line_open = false;  // a command line has been started and not ended
  int m_depth = 0;
  std::string m_base_name;
  std::string m_root_path;
  std::string m_script_path;
  std::FILE* m_stream = nullptr;
  int m_check_point = 0;
  SDR_DATA_SESSION* m_data_session = nullptr;
};

// Lives on the stack of one recorded operation.
class SDR_API SDR_TX_RECORD_SCOPE {
 public:
  // Session form: no prefix.
  SDR_TX_RECORD_SCOPE(SDR_TX_SCRIPT_RECORDER* recorder, const char* command);
  // Instance form: "instance N ".
  SDR_TX_RECORD_SCOPE(SDR_TX_SCRIPT_RECORDER* recorder, int instance_index, const char* command);
  // Node-list form: "instance N setup_tab " or "instance N data_tab ".
  SDR_TX_RECORD_SCOPE(SDR_TX_SCRIPT_RECORDER* recorder, int instance_index, bool setup_tab,
                      const char* command);
  ~SDR_TX_RECORD_SCOPE();

  SDR_TX_RECORD_SCOPE(const SDR_TX_RECORD_SCOPE&) = delete;
  SDR_TX_RECORD_SCOPE& operator=(const SDR_TX_RECORD_SCOPE&) = delete;

  // file is reduced to its base name.
  void add_location(const char* file, int line);
  void add_argument(const char* text);
  void add_argument(const std::string& text) { add_argument(text.c_str()); }
  void add_argument(int value);
  void add_argument(bool value);
  void add_argument(SDR_DATA_SIGNAL_TYPE value);
  void add_argument(SDR_DATA_WIRE_CAPTURE_TYPE value);
  void add_argument(SDR_DATA_WIRE_TAP_MODE value);
  void add_argument(SDR_DATA_TRIGGER_CONDITION value);
  void add_argument(SDR_DATA_TRIGGER_POSITION value);
  void add_argument(SDR_DATA_TRIGGER_TYPE value);
  void add_argument(SDR_DATA_GROUP_DISPLAY_TYPE value);
  void add_argument(SDR_DATA_GROUP_LINKING_TYPE value);
  void add_argument(SDR_KALVOS_RAM_TYPE value);
  void add_argument(const int* values, int count);

 private:
  void open(const std::string& prefix, const char* command);
  bool writes() const;
  void write_enum_text(const char* text);

  bool m_suppressed = false;
  bool m_active = false;  // recording was on when the scope opened
  SDR_TX_SCRIPT_RECORDER* m_recorder;
};

#endif
