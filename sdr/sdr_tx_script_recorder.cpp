// Script recorder and record scopes.

#include "sdr_tx_script_recorder.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "cfg_service.h"
#include "msg_service.h"
#include "sdr_data_session.h"
#include "sdr_tx_internal.h"

namespace {

CFG_CACHED_SWITCH g_record("tzo_tx_record", false);
CFG_CACHED_SWITCH g_record_low_level("tzo_tx_record_low_level", false);
CFG_CACHED_SWITCH g_record_file_loc("tzo_tx_record_file_loc", false);
CFG_CACHED_SWITCH g_record_allow_ie("tzo_tx_record_allow_ie", false);

// More sessions started in one second than this give up recording.
const int MAX_SCRIPTS_PER_SECOND = 1000;

const char* base_name_of(const char* file) {
  if (!file) return "";
  const char* slash = std::strrchr(file, '/');
  return slash ? slash + 1 : file;
}

}  // namespace

SDR_TX_SCRIPT_RECORDER::SDR_TX_SCRIPT_RECORDER() {
  m_enabled = g_record.get();
  m_low_level = g_record_low_level.get();
  m_file_loc = g_record_file_loc.get();
  if (m_enabled) open_script();
}

SDR_TX_SCRIPT_RECORDER::~SDR_TX_SCRIPT_RECORDER() {
  if (m_stream) std::fclose(m_stream);
}

void SDR_TX_SCRIPT_RECORDER::open_script() {
  char stamp[64] = "";
  const time_t now = std::time(nullptr);
  struct tm local {};
  if (localtime_r(&now, &local)) std::strftime(stamp, sizeof(stamp), "%Y_%m_%d_%H_%M_%S", &local);

  // An empty root records into the current folder.
  const std::string root = cfg_get_value("tzo_tx_record_root_path", "");
  m_root_path = root.empty() || root.back() == '/' ? root : root + "/";

  // Never truncate a script: a second session started in the same second
  // gets the suffix "-2", then "-3", ...
  std::string path;
  for (int n = 1; n <= MAX_SCRIPTS_PER_SECOND && !m_stream; ++n) {
    m_base_name = std::string("tzo_tx_") + stamp + (n > 1 ? "-" + std::to_string(n) : "");
    path = m_root_path + m_base_name + ".log";
    m_stream = std::fopen(path.c_str(), "wx");
    if (!m_stream && errno != EEXIST) break;
  }
  if (m_stream) {
    m_script_path = path;
    write("//\n// This is an auto-generated script used internally by Norvane Trazio.\n//\n\n");
    flush();
    msg_local_vdebug("SDR", "tzo tx: open recording script %s to record", path.c_str());
    return;
  }
  m_enabled = false;
  m_base_name.clear();
  if (g_record_allow_ie.get()) {
    const std::string text = "Failed to write to recording script " + path;
    sdr_report_internal_error(text.c_str(), __FILE__, __LINE__);
  } else {
    msg_local_vdebug("SDR", "tzo tx: failed to open recording script %s; recording disabled", path.c_str());
  }
}

void SDR_TX_SCRIPT_RECORDER::write(const std::string& text) {
  if (m_stream) std::fwrite(text.data(), 1, text.size(), m_stream);
}

void SDR_TX_SCRIPT_RECORDER::flush() {
  if (m_stream) std::fflush(m_stream);
}

void SDR_TX_SCRIPT_RECORDER::end_open_line() {
  if (!m_line_open) return;
  write("\n");
  m_line_open = false;
}

void SDR_TX_SCRIPT_RECORDER::lower_depth() {
  if (m_enabled) end_open_line();
  flush();
  if (m_depth > 0) --m_depth;
}

void SDR_TX_SCRIPT_RECORDER::write_comment(const char* command, const char* argument) {
  if (!m_enabled) return;
  end_open_line();
  write(std::string("// ") + command + " " + quote(argument ? argument : "") + "\n");
  flush();
}

void SDR_TX_SCRIPT_RECORDER::save_check_point() {
  if (!m_enabled) return;
  if (!SDR_CHECK_AS(m_data_session != nullptr, "m_data_session != NULL")) return;
  end_open_line();
  std::string snapshot;
  if (m_check_point == 0) {
    snapshot = m_base_name + "_init.tzo";
    write("open_session " + quote(snapshot.c_str()) + "\n");
  } else {
    snapshot = m_base_name + "_" + std::to_string(m_check_point - 1) + ".tzo";
    write("save_session " + quote(snapshot.c_str()) + "\n");
  }
  flush();
  // A failed snapshot does not stop recording.
  m_data_session->save_as((m_root_path + snapshot).c_str(), true, true);
  write("\n// Check point " + std::to_string(m_check_point) + " saved.\n\n");
  flush();
  ++m_check_point;
}

std::string SDR_TX_SCRIPT_RECORDER::quote(const char* text) {
  if (!text) return "NULL";
  std::string out = "'";
  for (const char* p = text; *p; ++p) {
    switch (*p) {
      case '\'':
        out += "\\'";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += *p;
    }
  }
  out += "'";
  return out;
}

// ---------------------------------------------------------------- scopes

SDR_TX_RECORD_SCOPE::SDR_TX_RECORD_SCOPE(SDR_TX_SCRIPT_RECORDER* recorder, const char* command)
    : m_recorder(recorder) {
  open("", command);
}

SDR_TX_RECORD_SCOPE::SDR_TX_RECORD_SCOPE(SDR_TX_SCRIPT_RECORDER* recorder, int instance_index,
                                         const char* command)
    : m_recorder(recorder) {
  open("instance " + std::to_string(instance_index) + " ", command);
}

SDR_TX_RECORD_SCOPE::SDR_TX_RECORD_SCOPE(SDR_TX_SCRIPT_RECORDER* recorder, int instance_index, bool setup_tab,
                                         const char* command)
    : m_recorder(recorder) {
  open("instance " + std::to_string(instance_index) + (setup_tab ? " setup_tab " : " data_tab "), command);
}

void SDR_TX_RECORD_SCOPE::open(const std::string& prefix, const char* command) {
  m_active = m_recorder && m_recorder->m_enabled;
  if (!m_active) return;
  const int depth = ++m_recorder->m_depth;
  const std::string line = prefix + (command ? command : "");
  if (depth == 1) {
    m_recorder->end_open_line();
    m_recorder->write(line);
    m_recorder->m_line_open = true;
  } else if (m_recorder->m_low_level) {
    // A nested command starts its own line: one "-" per level below the
    // top, then ">".
    m_recorder->end_open_line();
    m_recorder->write(std::string(depth - 1, '-') + ">" + line);
    m_recorder->m_line_open = true;
  } else {
    m_suppressed = true;
  }
}

SDR_TX_RECORD_SCOPE::~SDR_TX_RECORD_SCOPE() {
  if (!m_active) return;
  if (m_recorder->m_depth == 1) m_recorder->end_open_line();
  m_recorder->flush();
  if (m_recorder->m_depth > 0) --m_recorder->m_depth;
}

bool SDR_TX_RECORD_SCOPE::writes() const {
  return m_active && !m_suppressed && m_recorder->m_enabled;
}

void SDR_TX_RECORD_SCOPE::add_location(const char* file, int line) {
  if (!writes() || !m_recorder->m_file_loc) return;
  m_recorder->write(std::string(" /* @loc:") + base_name_of(file) + "," + std::to_string(line) + "@ */ ");
}

void SDR_TX_RECORD_SCOPE::add_argument(const char* text) {
  if (writes()) m_recorder->write(" " + SDR_TX_SCRIPT_RECORDER::quote(text));
}

void SDR_TX_RECORD_SCOPE::add_argument(int value) {
  if (writes()) m_recorder->write(" " + std::to_string(value));
}

void SDR_TX_RECORD_SCOPE::add_argument(bool value) {
  if (writes()) m_recorder->write(value ? " true" : " false");
}

void SDR_TX_RECORD_SCOPE::write_enum_text(const char* text) {
  if (writes()) m_recorder->write(std::string(" '") + (text ? text : "") + "'");
}

#define SDR_TX_ENUM_ARGUMENT(TYPE)                              \
  void SDR_TX_RECORD_SCOPE::add_argument(TYPE value) {          \
    if (!writes()) return;                                      \
    const char* text = nullptr;                                 \
    SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(value, &text); \
    write_enum_text(text);                                      \
  }

SDR_TX_ENUM_ARGUMENT(SDR_DATA_SIGNAL_TYPE)
SDR_TX_ENUM_ARGUMENT(SDR_DATA_WIRE_CAPTURE_TYPE)
SDR_TX_ENUM_ARGUMENT(SDR_DATA_WIRE_TAP_MODE)
SDR_TX_ENUM_ARGUMENT(SDR_DATA_TRIGGER_CONDITION)
SDR_TX_ENUM_ARGUMENT(SDR_DATA_TRIGGER_POSITION)
SDR_TX_ENUM_ARGUMENT(SDR_DATA_TRIGGER_TYPE)
SDR_TX_ENUM_ARGUMENT(SDR_DATA_GROUP_DISPLAY_TYPE)

#undef SDR_TX_ENUM_ARGUMENT

void SDR_TX_RECORD_SCOPE::add_argument(SDR_KALVOS_RAM_TYPE value) {
  if (!writes()) return;
  // The "no instance" answer has no stored form.
  if (value < SDR_RAM_AUTO || value > SDR_RAM_RAMGRAND) {
    write_enum_text(std::to_string(static_cast<int>(value)).c_str());
    return;
  }
  const char* text = nullptr;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(value, &text);
  write_enum_text(text);
}

void SDR_TX_RECORD_SCOPE::add_argument(SDR_DATA_GROUP_LINKING_TYPE value) {
  if (!writes()) return;
  std::string text;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(value, &text);
  write_enum_text(text.c_str());
}

void SDR_TX_RECORD_SCOPE::add_argument(const int* values, int count) {
  if (!writes()) return;
  std::string text;
  for (int i = 0; values && i < count; ++i) {
    if (i > 0) text += ",";
    text += std::to_string(values[i]);
  }
  write_enum_text(text.c_str());
}
