// The import of the older line-oriented text form: the signal collector,
// the line reader and SDR_DATA_SESSION::parse_tzo_file.

#include "sdr_tzo_signal_set.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sdr_data_instance.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_trigger.h"
#include "sdr_data_xml_load.h"
#include "sdr_internal.h"
#include "sdr_tzo_trigger.h"

namespace {

using NODE_PTR = std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE>;

// A name the document can carry: not empty, no control characters, and
// only characters XML allows.
bool is_usable_name(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return false;
  }
  const SDR_XSTR text(name);
  for (const XMLCh* p = text.x(); *p; ++p) {
    const XMLCh c = *p;
    if (c == 0xFFFE || c == 0xFFFF || (c >= 0xDC00 && c <= 0xDFFF)) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (!(p[1] >= 0xDC00 && p[1] <= 0xDFFF)) return false;
      ++p;
    }
  }
  return true;
}

// A name in backquotes loses them.
std::string unquote(const std::string& text) {
  if (text.size() >= 2 && text.front() == '`' && text.back() == '`') return text.substr(1, text.size() - 2);
  return text;
}

std::string trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

bool starts_with_ignore_case(const std::string& text, const char* prefix) {
  size_t n = std::strlen(prefix);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char a = text[i];
    char b = prefix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

bool equals_ignore_case(const std::string& text, const char* word) {
  return text.size() == std::strlen(word) && starts_with_ignore_case(text, word);
}

bool ends_with_ignore_case(const std::string& text, const char* suffix) {
  size_t n = std::strlen(suffix);
  return text.size() >= n && starts_with_ignore_case(text.substr(text.size() - n), suffix);
}

// Lines of a file, read through a fixed buffer: a line ends at a line feed,
// a carriage return before it is dropped, and a last line without a line
// feed is still a line. A line longer than MAX_LINE is not kept: it is
// consumed and handed back empty with *too_long set.
class LINE_READER {
 public:
  static const size_t MAX_LINE = 8u << 20;

  explicit LINE_READER(int fd) : m_fd(fd), m_buf(1 << 16) {}
  LINE_READER(const LINE_READER&) = delete;
  LINE_READER& operator=(const LINE_READER&) = delete;

  bool next(std::string* line, bool* too_long) {
    line->clear();
    *too_long = false;
    bool any = false;
    for (;;) {
      if (m_pos == m_len && !fill()) {
        if (!any) return false;
        break;
      }
      any = true;
      const char* start = m_buf.data() + m_pos;
      const void* lf = std::memchr(start, '\n', m_len - m_pos);
      size_t n = lf ? static_cast<size_t>(static_cast<const char*>(lf) - start) : m_len - m_pos;
      if (!*too_long) {
        if (line->size() + n > MAX_LINE) {
          *too_long = true;
          line->clear();
          line->shrink_to_fit();
        } else {
          line->append(start, n);
        }
      }
      m_pos += n;
      if (lf) {
        ++m_pos;
        break;
      }
    }
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
  }

  // True when the end of the file was reached without a read error.
  bool at_clean_end() const { return m_eof && !m_error; }

 private:
  bool fill() {
    if (m_eof) return false;
    for (;;) {
      ssize_t n = ::read(m_fd, m_buf.data(), m_buf.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        m_eof = true;
        m_error = n < 0;
        return false;
      }
      m_pos = 0;
      m_len = static_cast<size_t>(n);
      return true;
    }
  }

  int m_fd;
  std::vector<char> m_buf;
  size_t m_pos = 0;
  size_t m_len = 0;
  bool m_eof = false;
  bool m_error = false;
};

class FD_CLOSER {
 public:
  explicit FD_CLOSER(int fd) : m_fd(fd) {}
  ~FD_CLOSER() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FD_CLOSER(const FD_CLOSER&) = delete;
  FD_CLOSER& operator=(const FD_CLOSER&) = delete;

 private:
  int m_fd;
};

// Reads the leading decimal digits of text; false when there are none or
// the number does not fit an unsigned long.
bool read_index(const std::string& text, unsigned long* index) {
  unsigned long value = 0;
  size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (value > (static_cast<unsigned long>(-1) - digit) / 10) return false;
    value = value * 10 + digit;
  }
  if (i == 0) return false;
  *index = value;
  return true;
}

enum SECTION { SECTION_NONE, SECTION_SIGNAL, SECTION_ACQ };

// The state of one import while the lines go by.
struct TZO_READER {
  SDR_TZO_IMPORT_REPORT* report;
  std::unique_ptr<SDR_TZO_SIGNAL_SET> signals;
  std::unique_ptr<SDR_TZO_TRIGGER> acquisition;
  SECTION section = SECTION_NONE;
  // Entries taken into the current collectors, counted in case a later
  // section replaces them.
  int signal_entries = 0;
  int acq_entries = 0;

  void skip(SDR_TZO_IMPORT_REPORT::SKIP_REASON reason, int count = 1) { report->skipped[reason] += count; }

  void line(std::string text) {
    // Blanks at the end never count, not even after a header's "]".
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    if (starts_with_ignore_case(text, "[Signal]")) {
      if (signals) skip(SDR_TZO_IMPORT_REPORT::SKIP_REPLACED_SECTION, signal_entries);
      signals.reset(new SDR_TZO_SIGNAL_SET());
      signal_entries = 0;
      section = SECTION_SIGNAL;
      return;
    }
    if (starts_with_ignore_case(text, "[ACQ=\"Tessaro ELA\"]")) {
      if (acquisition) skip(SDR_TZO_IMPORT_REPORT::SKIP_REPLACED_SECTION, acq_entries);
      acquisition.reset(new SDR_TZO_TRIGGER());
      acq_entries = 0;
      section = SECTION_ACQ;
      return;
    }
    if (!text.empty() && text.front() == '[' && text.back() == ']') {
      section = SECTION_NONE;
      ++report->other_lines;
      return;
    }
    switch (section) {
      case SECTION_SIGNAL:
        signal_entry(text);
        break;
      case SECTION_ACQ:
        acq_entry(text);
        break;
      case SECTION_NONE:
        ++report->other_lines;
        break;
    }
  }

  void signal_entry(const std::string& text) {
    size_t eq = text.find('=');
    if (eq == std::string::npos) {
      if (!trim(text).empty()) skip(SDR_TZO_IMPORT_REPORT::SKIP_MALFORMED);
      return;
    }
    size_t eq2 = text.find('=', eq + 1);
    const std::string key = trim(text.substr(0, eq));
    const std::string value =
        trim(text.substr(eq + 1, eq2 == std::string::npos ? std::string::npos : eq2 - eq - 1));
    if (key.empty() || value.empty()) {
      skip(SDR_TZO_IMPORT_REPORT::SKIP_MALFORMED);
      return;
    }
    if (value[0] >= '0' && value[0] <= '9') {
      unsigned long index = 0;
      if (!read_index(value, &index) || index > SDR_TZO_SIGNAL_SET::MAX_SIGNAL_INDEX) {
        skip(SDR_TZO_IMPORT_REPORT::SKIP_INDEX_RANGE);
      } else if (!is_usable_name(unquote(key)) || !signals->add_signal(index, unquote(key).c_str())) {
        skip(SDR_TZO_IMPORT_REPORT::SKIP_BAD_NAME);
      } else {
        ++signal_entries;
      }
      return;
    }
    if (value[0] != '"') {
      skip(SDR_TZO_IMPORT_REPORT::SKIP_MALFORMED);
      return;
    }
    if (ends_with_ignore_case(key, ":P1")) {
      const std::string name = unquote(key.substr(0, key.size() - 3));
      if (is_usable_name(name) &&
          signals->set_trigger_condition(name.c_str(), value.size() > 1 ? value[1] : 0)) {
        ++signal_entries;
      } else {
        skip(SDR_TZO_IMPORT_REPORT::SKIP_UNKNOWN_SIGNAL);
      }
      return;
    }
    const std::string group = unquote(key);
    if (!is_usable_name(group)) {
      skip(SDR_TZO_IMPORT_REPORT::SKIP_BAD_NAME);
      return;
    }
    ++signal_entries;
    // The members follow the opening quote, separated by commas and quotes.
    size_t start = 1;
    while (start <= value.size()) {
      size_t end = value.find_first_of(",\"", start);
      if (end == std::string::npos) end = value.size();
      const std::string member = unquote(trim(value.substr(start, end - start)));
      if (!member.empty() && !(is_usable_name(member) && signals->set_group(member.c_str(), group.c_str())))
        skip(SDR_TZO_IMPORT_REPORT::SKIP_UNKNOWN_SIGNAL);
      start = end + 1;
    }
  }

  void acq_entry(const std::string& text) {
    const std::string entry = trim(text);
    if (entry.empty()) return;
    if (starts_with_ignore_case(entry, "dpo:")) {
      const std::string wire = unquote(trim(entry.substr(4)));
      if (!is_usable_name(wire)) {
        skip(SDR_TZO_IMPORT_REPORT::SKIP_BAD_NAME);
        return;
      }
      acquisition->add_debug_out_wire(wire.c_str());
      ++acq_entries;
      return;
    }
    if (equals_ignore_case(entry, "dpo")) return;
    size_t eq = entry.find('=');
    if (eq == std::string::npos) {
      skip(SDR_TZO_IMPORT_REPORT::SKIP_MALFORMED);
      return;
    }
    size_t eq2 = entry.find('=', eq + 1);
    const std::string key = trim(entry.substr(0, eq));
    const std::string value =
        trim(entry.substr(eq + 1, eq2 == std::string::npos ? std::string::npos : eq2 - eq - 1));
    if (equals_ignore_case(key, "clk")) {
      std::string clock = value;
      if (!clock.empty() && clock.front() == '"') clock.erase(0, 1);
      if (!clock.empty() && clock.back() == '"') clock.pop_back();
      if (!clock.empty() && !is_usable_name(clock)) {
        skip(SDR_TZO_IMPORT_REPORT::SKIP_BAD_NAME);
        return;
      }
      acquisition->set_clock(clock.c_str());
    } else if (equals_ignore_case(key, "depth")) {
      acquisition->set_sample_depth(sdr_atoi(value.c_str()));
    } else if (equals_ignore_case(key, "tpos")) {
      acquisition->set_trigger_position(sdr_atoi(value.c_str()));
    } else if (equals_ignore_case(key, "ti")) {
      acquisition->set_trigger_in(value.c_str());
    } else if (equals_ignore_case(key, "to")) {
      acquisition->set_trigger_out(value.c_str());
    } else {
      skip(SDR_TZO_IMPORT_REPORT::SKIP_UNKNOWN_KEY);
      return;
    }
    ++acq_entries;
  }
};

}  // namespace

// ------------------------------------------------------------------ report

int SDR_TZO_IMPORT_REPORT::get_num_skipped() const {
  int total = 0;
  for (int n : skipped) total += n;
  return total;
}

const char* SDR_TZO_IMPORT_REPORT::get_reason_text(SKIP_REASON reason) {
  switch (reason) {
    case SKIP_INDEX_RANGE:
      return "signal index out of range";
    case SKIP_BAD_NAME:
      return "empty name or control characters in a name";
    case SKIP_DUPLICATE_NAME:
      return "signal name already taken";
    case SKIP_UNKNOWN_SIGNAL:
      return "condition or group member naming no signal";
    case SKIP_UNKNOWN_DEBUG_WIRE:
      return "debug output naming no signal";
    case SKIP_MALFORMED:
      return "malformed entry";
    case SKIP_UNKNOWN_KEY:
      return "unknown acquisition key";
    case SKIP_LONG_LINE:
      return "line too long";
    case SKIP_REPLACED_SECTION:
      return "entry of a section replaced by a later one";
    case SKIP_REASON_COUNT:
      break;
  }
  return "";
}

// --------------------------------------------------------------- collector

SDR_TZO_SIGNAL_SET::SDR_TZO_SIGNAL_SET() {
  m_records.reserve(128);
}

SDR_TZO_SIGNAL_SET::~SDR_TZO_SIGNAL_SET() = default;

bool SDR_TZO_SIGNAL_SET::add_signal(unsigned long index, const char* name) {
  if (!SDR_CHECK(name != NULL)) return false;
  if (index > MAX_SIGNAL_INDEX || !is_usable_name(name)) return false;
  if (index >= m_records.size()) m_records.resize(index + 1);
  RECORD& record = m_records[index];
  if (!record.name.empty()) {
    auto it = m_by_name.find(record.name);
    if (it != m_by_name.end()) {
      it->second.erase(index);
      if (it->second.empty()) m_by_name.erase(it);
    }
  }
  record.name = name;
  m_by_name[record.name].insert(index);
  return true;
}

long SDR_TZO_SIGNAL_SET::find_first(const std::string& name) const {
  auto it = m_by_name.find(name);
  if (it == m_by_name.end() || it->second.empty()) return -1;
  return static_cast<long>(*it->second.begin());
}

bool SDR_TZO_SIGNAL_SET::set_trigger_condition(const char* signal, char letter) {
  if (!SDR_CHECK(signal != NULL)) return false;
  long i = find_first(signal);
  if (i < 0) return false;
  m_records[static_cast<size_t>(i)].condition = letter;
  return true;
}

bool SDR_TZO_SIGNAL_SET::set_group(const char* member, const char* group) {
  if (!SDR_CHECK(member != NULL) || !SDR_CHECK(group != NULL)) return false;
  long i = find_first(member);
  if (i < 0) return false;
  m_records[static_cast<size_t>(i)].group = group;
  return true;
}

const char* SDR_TZO_SIGNAL_SET::get_name_at(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= m_records.size()) return nullptr;
  return m_records[static_cast<size_t>(index)].name.c_str();
}

const char* SDR_TZO_SIGNAL_SET::get_group_at(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= m_records.size()) return nullptr;
  return m_records[static_cast<size_t>(index)].group.c_str();
}

char SDR_TZO_SIGNAL_SET::get_condition_at(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= m_records.size()) return 0;
  return m_records[static_cast<size_t>(index)].condition;
}

SDR_DATA_TRIGGER_CONDITION SDR_TZO_SIGNAL_SET::convert_condition_letter(char letter) {
  switch (letter) {
    case 'e':
    case 'E':
      return SDR_TCOND_EITHER_EDGE;
    case 'f':
    case 'F':
      return SDR_TCOND_FALLING_EDGE;
    case 'h':
    case 'H':
      return SDR_TCOND_HIGH;
    case 'l':
    case 'L':
      return SDR_TCOND_LOW;
    case 'r':
    case 'R':
      return SDR_TCOND_RISING_EDGE;
    default:
      return SDR_TCOND_DONT_CARE;
  }
}

bool SDR_TZO_SIGNAL_SET::morph_signals(SDR_DATA_SIGNAL_SET* signals, SDR_TZO_IMPORT_REPORT* report) {
  if (!SDR_CHECK(signals != NULL)) return false;
  SDR_DATA_SIGNAL_VIEW* data_view = signals->get_data_view();
  SDR_DATA_SIGNAL_VIEW* setup_view = signals->get_setup_view();
  if (!SDR_CHECK(data_view != NULL) || !SDR_CHECK(setup_view != NULL)) return false;

  m_wires.assign(m_records.size(), nullptr);
  NODE_PTR data_bus;
  NODE_PTR setup_bus;
  const std::string* last_group = nullptr;
  for (size_t i = 0; i < m_records.size(); ++i) {
    const RECORD& record = m_records[i];
    if (record.name.empty()) continue;  // an index gap
    if (signals->get_wire(record.name.c_str())) {
      if (report) ++report->skipped[SDR_TZO_IMPORT_REPORT::SKIP_DUPLICATE_NAME];
      continue;
    }
    SDR_DATA_SIGNAL_WIRE* wire =
        signals->create_wire(record.name.c_str(), SDR_CTYPE_BOTH, SDR_MTYPE_CLASSIC_TAP, true, nullptr);
    if (!wire || !signals->append(wire, true)) continue;
    m_wires[i] = wire;
    if (report) ++report->signals;

    NODE_PTR data_net(data_view->create_net_node(record.name.c_str()));
    NODE_PTR setup_net(setup_view->create_net_node(record.name.c_str()));
    if (record.group.empty()) {
      data_view->append_node(data_net.get());
      setup_view->append_node(setup_net.get());
      continue;
    }
    if (!last_group || *last_group != record.group) {
      data_bus.reset(data_view->create_bus_node(record.group.c_str()));
      setup_bus.reset(setup_view->create_bus_node(record.group.c_str()));
      data_view->append_node(data_bus.get());
      setup_view->append_node(setup_bus.get());
      last_group = &record.group;
      if (report) ++report->groups;
    }
    data_bus->append_child(data_net.get());
    setup_bus->append_child(setup_net.get());
  }
  m_morph_done = true;
  return true;
}

bool SDR_TZO_SIGNAL_SET::apply_trigger_conditions(SDR_DATA_TRIGGER* trigger, SDR_TZO_IMPORT_REPORT* report) {
  if (!SDR_CHECK_AS(m_morph_done, "m_morph_signals_done")) return false;
  if (!SDR_CHECK(trigger != NULL)) return false;
  int level = trigger->append_new_level(true);
  // The level's text is written once, with the last wire.
  size_t last = m_wires.size();
  for (size_t i = 0; i < m_wires.size(); ++i)
    if (m_wires[i]) last = i;
  for (size_t i = 0; i < m_wires.size(); ++i) {
    SDR_DATA_SIGNAL_WIRE* wire = m_wires[i];
    if (!wire) continue;
    SDR_DATA_TRIGGER_CONDITION condition = convert_condition_letter(m_records[i].condition);
    trigger->set_trigger_condition(wire->get_trigger_wire_index(), level, condition, i == last);
    if (report && condition != SDR_TCOND_DONT_CARE) ++report->conditions;
  }
  return true;
}

// ------------------------------------------------------------------ import

bool SDR_DATA_SESSION::import_tzo_file() {
  m_tzo_report.reset(new SDR_TZO_IMPORT_REPORT());
  SDR_TZO_IMPORT_REPORT* report = m_tzo_report.get();

  SDR_DATA_INSTANCE* instance = create_trazio_instance(nullptr);
  if (!SDR_CHECK(instance != NULL)) return false;
  SDR_DATA_SIGNAL_SET* signal_set = instance->create_signal_set("signals_imported", false);
  if (!SDR_CHECK(signal_set != NULL)) return false;

  // A missing or unreadable file leaves the empty instance, silently.
  if (!m_name) return false;
  size_t size = 0;
  std::string error;
  int fd = sdr_open_regular_file(m_name->c_str(), &size, &error);
  if (fd < 0) return false;
  FD_CLOSER closer(fd);

  TZO_READER reader;
  reader.report = report;
  LINE_READER lines(fd);
  std::string text;
  bool too_long = false;
  bool first = true;
  while (lines.next(&text, &too_long)) {
    const bool marker = first && starts_with_ignore_case(text, "[@\\TZO=");
    first = false;
    if (marker) continue;
    if (too_long) {
      reader.skip(SDR_TZO_IMPORT_REPORT::SKIP_LONG_LINE);
      continue;
    }
    reader.line(std::move(text));
  }
  report->file_read = lines.at_clean_end();

  SDR_DATA_TRIGGER* trigger = nullptr;
  if (reader.signals) {
    if (reader.signals->morph_signals(signal_set, report)) {
      trigger = signal_set->create_trigger("trigger_imported", false);
      if (trigger) reader.signals->apply_trigger_conditions(trigger, report);
    }
  }
  if (reader.acquisition) {
    reader.acquisition->apply_to_signal_set(signal_set, report);
    if (trigger) reader.acquisition->apply_to_trigger(trigger, report);
  }
  msg_local_vdebug("SDR", "legacy import of %s: %d signals, %d groups, %d conditions, %d entries skipped",
                   m_name->c_str(), report->signals, report->groups, report->conditions,
                   report->get_num_skipped());
  return true;
}

const SDR_TZO_IMPORT_REPORT* SDR_DATA_SESSION::get_tzo_import_report() const {
  return m_tzo_report.get();
}
