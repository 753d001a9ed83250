#include "sdr_data_export.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>
#include <xercesc/dom/DOM.hpp>

#include "cfg_service.h"
#include "sdr_data_global_enum.h"
#include "sdr_data_instance.h"
#include "sdr_data_log.h"
#include "sdr_data_mnemonics.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"

using namespace xercesc;

namespace {

// Buses nested deeper than this are refused: every bus is exported with
// the bits of all its members, so the work grows with the nesting depth.
const size_t MAX_BUS_NESTING = 256;
// Symbols looked up per bus before the lookups stop being remembered.
const size_t MAX_SYMBOL_CACHE = 4096;
// Bytes gathered before they go to the file.
const size_t FLUSH_BYTES = 1 << 16;
// The longest period: one second.
const long long MAX_PERIOD_PS = 1000000000000LL;

using NODE_PTR = std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE>;

NODE_PTR take(SDR_DATA_SIGNAL_VIEW_NODE* node) {
  NODE_PTR owned(node);
  if (owned && owned->is_null()) owned.reset();
  return owned;
}

std::string quoted(const char* text) {
  return std::string("\"") + (text ? text : "") + "\"";
}

// A text for a VCD section: printable ASCII on one line, no '$' (which
// could end the section early).
std::string section_text(const std::string& text) {
  std::string out;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    out += u < 0x20 || u > 0x7e ? '?' : c == '$' ? '_' : c;
  }
  return out;
}

// A VCD reference name: letters, digits and '_' (anything else becomes
// '_'), not starting with a digit, keeping a trailing bit select "[N]".
std::string vcd_name(const std::string& text, std::string* select) {
  std::string base = text;
  select->clear();
  if (!base.empty() && base.back() == ']') {
    const size_t open = base.rfind('[');
    if (open != std::string::npos && open + 2 < base.size() &&
        base.find_first_not_of("0123456789", open + 1) == base.size() - 1) {
      *select = base.substr(open);
      base.resize(open);
    }
  }
  std::string out;
  for (char c : base) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    out += keep ? c : '_';
  }
  if (out.empty()) out = "unnamed";
  if (out[0] >= '0' && out[0] <= '9') out.insert(out.begin(), '_');
  return out;
}

// Names unique within one scope: a taken name gets "_2", "_3", ... before
// its bit select.
class NAME_SET {
 public:
  std::string unique(const std::string& text) {
    std::string select;
    const std::string base = vcd_name(text, &select);
    std::string name = base + select;
    for (int n = 2; !m_taken.insert(name).second; ++n) name = base + "_" + std::to_string(n) + select;
    return name;
  }

 private:
  std::unordered_set<std::string> m_taken;
};

// The short identifier code of variable n: printable characters other
// than '$' and '#', which readers may take for a keyword or a time.
std::string id_code(size_t n) {
  static const std::string digits = [] {
    std::string text;
    for (char c = '!'; c <= '~'; ++c)
      if (c != '$' && c != '#') text += c;
    return text;
  }();
  std::string code;
  do {
    code += digits[n % digits.size()];
    n /= digits.size();
  } while (n > 0);
  return code;
}

// A CSV field, quoted when it holds a separator, a quote, a line break or
// blanks at either end.
std::string csv_field(const std::string& text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// Bytes gathered and handed to the sink in large pieces.
class OUTPUT {
 public:
  explicit OUTPUT(const SDR_DATA_XML_WRITER::BYTE_SINK& sink) : m_sink(sink) {
    m_buffer.reserve(FLUSH_BYTES * 2);
  }
  std::string& text() { return m_buffer; }
  // Hands the gathered bytes on once there are enough; false once a write
  // failed.
  bool pass() { return m_buffer.size() < FLUSH_BYTES || flush(); }
  bool flush() {
    if (m_ok && !m_buffer.empty()) m_ok = m_sink(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return m_ok;
  }

 private:
  const SDR_DATA_XML_WRITER::BYTE_SINK& m_sink;
  std::string m_buffer;
  bool m_ok = true;
};

// ------------------------------------------------------------ bus values
//
// A value is a text of '0', '1' and 'x' characters, least significant bit
// first (as mnemonic values are written).

bool has_unknown(const std::string& lsb_first) {
  return lsb_first.find('x') != std::string::npos;
}

std::string binary_text(const std::string& lsb_first) {
  return std::string(lsb_first.rbegin(), lsb_first.rend());
}

// Digits of 1, 3 or 4 bits each, most significant first.
std::string grouped_text(const std::string& lsb_first, int bits_per_digit) {
  static const char digits[] = "0123456789ABCDEF";
  const size_t n = lsb_first.size();
  const size_t count = (n + static_cast<size_t>(bits_per_digit) - 1) / static_cast<size_t>(bits_per_digit);
  std::string out(count, '0');
  for (size_t d = 0; d < count; ++d) {
    int value = 0;
    for (int b = bits_per_digit - 1; b >= 0; --b) {
      const size_t i = d * static_cast<size_t>(bits_per_digit) + static_cast<size_t>(b);
      value = value * 2 + (i < n && lsb_first[i] == '1' ? 1 : 0);
    }
    out[count - 1 - d] = digits[value];
  }
  return out;
}

// The unsigned decimal of the first `width` bits.
std::string decimal_text(const std::string& lsb_first, size_t width) {
  if (width <= 64) {
    uint64_t value = 0;
    for (size_t i = width; i-- > 0;) value = value * 2 + (lsb_first[i] == '1' ? 1 : 0);
    return std::to_string(value);
  }
  // Wide buses: 32-bit words, least significant first, divided by 10^9
  // until nothing is left.
  std::vector<uint32_t> words((width + 31) / 32, 0);
  for (size_t i = 0; i < width; ++i)
    if (lsb_first[i] == '1') words[i / 32] |= 1u << (i % 32);
  std::vector<uint32_t> chunks;
  bool zero = false;
  while (!zero) {
    uint64_t rest = 0;
    zero = true;
    for (size_t w = words.size(); w-- > 0;) {
      const uint64_t current = (rest << 32) | words[w];
      words[w] = static_cast<uint32_t>(current / 1000000000u);
      rest = current % 1000000000u;
      if (words[w]) zero = false;
    }
    chunks.push_back(static_cast<uint32_t>(rest));
  }
  std::string out = std::to_string(chunks.back());
  char piece[16];
  for (size_t c = chunks.size() - 1; c-- > 0;) {
    std::snprintf(piece, sizeof piece, "%09u", chunks[c]);
    out += piece;
  }
  return out;
}

// The two's complement negation of the value over its width.
std::string negated(const std::string& lsb_first) {
  std::string out = lsb_first;
  bool carry = true;
  for (char& c : out) {
    const bool bit = c != '1';  // inverted
    c = (bit != carry) ? '1' : '0';
    carry = bit && carry;
  }
  return out;
}

std::string ascii_text(const std::string& lsb_first) {
  std::string out;
  const size_t bytes = (lsb_first.size() + 7) / 8;
  for (size_t b = bytes; b-- > 0;) {
    int value = 0;
    for (int i = 7; i >= 0; --i) {
      const size_t k = b * 8 + static_cast<size_t>(i);
      value = value * 2 + (k < lsb_first.size() && lsb_first[k] == '1' ? 1 : 0);
    }
    out += value >= 0x20 && value < 0x7f ? static_cast<char>(value) : '.';
  }
  return out;
}

std::string radix_text(const std::string& lsb_first, SDR_DATA_GROUP_DISPLAY_TYPE radix) {
  if (radix == SDR_GTYPE_BIN) return binary_text(lsb_first);
  if (has_unknown(lsb_first)) return "x";
  const size_t width = lsb_first.size();
  const bool negative = width > 0 && lsb_first[width - 1] == '1';
  switch (radix) {
    case SDR_GTYPE_SIGNED_DEC:
    case SDR_GTYPE_BAR_SIGNED:
    case SDR_GTYPE_LINE_SIGNED:
      return negative ? "-" + decimal_text(negated(lsb_first), width) : decimal_text(lsb_first, width);
    case SDR_GTYPE_SIGN_MAGNITUDE_DEC:
      if (width < 2) return decimal_text(lsb_first, width);
      return (negative ? "-" : "") + decimal_text(lsb_first, width - 1);
    case SDR_GTYPE_UNSIGNED_DEC:
    case SDR_GTYPE_BAR:
    case SDR_GTYPE_LINE:
      return decimal_text(lsb_first, width);
    case SDR_GTYPE_OCT:
      return grouped_text(lsb_first, 3);
    case SDR_GTYPE_ASCII:
      return ascii_text(lsb_first);
    default:
      return grouped_text(lsb_first, 4);
  }
}

}  // namespace

// ------------------------------------------------------------------ model

// One bit of an exported signal: a data wire of the log (-1: no data), and
// whether the view shows it inverted.
struct EXPORT_BIT {
  int wire = -1;
  bool inverted = false;
};

// One exported row of the data view.
struct EXPORT_SIGNAL {
  std::string display;           // the name as the user sees it
  std::vector<EXPORT_BIT> bits;  // least significant first
  bool bus = false;
  bool lsb_first = true;  // the bus lists its least significant bit first
  SDR_DATA_GROUP_DISPLAY_TYPE radix = SDR_GTYPE_HEX;
  const SDR_DATA_MNEMONICS_TABLE* table = nullptr;
  // Symbols found per value (null: none).
  mutable std::unordered_map<std::string, const char*> symbols;
};

struct SDR_DATA_EXPORT::LOG_ENTRY {
  SDR_DATA_LOG* log = nullptr;
  const SDR_DATA_INSTANCE* instance = nullptr;
  std::string instance_name;
  std::string set_name;
  std::string log_name;
  int depth = 0;
  int width = 0;
  int trigger = -1;         // -1: no trigger sample
  int segment_size = 0;     // 0: not segmented
  std::vector<char> known;  // per data wire: connected when captured
  std::vector<EXPORT_SIGNAL> signals;

  // The bits of a signal at a sample, least significant first.
  void value(const EXPORT_SIGNAL& signal, int sample, std::string* out) const {
    out->resize(signal.bits.size());
    for (size_t i = 0; i < signal.bits.size(); ++i) {
      const EXPORT_BIT& bit = signal.bits[i];
      if (bit.wire < 0 || bit.wire >= width || !known[static_cast<size_t>(bit.wire)]) {
        (*out)[i] = 'x';
      } else {
        (*out)[i] = (log->get_bit(bit.wire, sample) != bit.inverted) ? '1' : '0';
      }
    }
  }

  bool is_segment_start(int sample) const { return segment_size > 0 && sample % segment_size == 0; }
};

struct SDR_DATA_EXPORT::STATE {
  std::vector<std::unique_ptr<LOG_ENTRY>> logs;
};

namespace {

// The stored sample text's length in characters (0 when there is none).
size_t sample_text_length(const SDR_DATA_LOG* log) {
  const DOMElement* element = log->get_dom_node();
  const DOMNode* first = element ? element->getFirstChild() : nullptr;
  if (!first || first->getNodeType() != DOMNode::TEXT_NODE) return 0;
  return static_cast<const DOMText*>(first)->getLength();
}

const char* display_name(SDR_DATA_SIGNAL_VIEW_NODE& node) {
  const char* alias = node.get_alias();
  if (alias && *alias) return alias;
  const char* name = node.get_name();
  return name ? name : "";
}

// The radix a bus linked to a mnemonic table shows for values without a
// symbol: its stored radix, hexadecimal by default.
SDR_DATA_GROUP_DISPLAY_TYPE raw_radix(SDR_DATA_SIGNAL_VIEW_NODE& node) {
  SDR_DATA_GROUP_DISPLAY_TYPE radix = node.get_bus_display_type();
  if (radix != SDR_GTYPE_MNEMONICS) return radix;
  const std::string stored = sdr_get_attribute(node.get_dom_node(), "radix");
  radix = SDR_GTYPE_HEX;
  if (!stored.empty()) SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(stored.c_str(), &radix);
  return radix == SDR_GTYPE_MNEMONICS ? SDR_GTYPE_HEX : radix;
}

// Walks the data view: every bus row becomes a signal (in pre-order), every
// net row outside a bus a 1-bit signal. A bus holds the bits of all its
// members: walking the members from the bus's least significant end, a net
// adds its bit and a nested bus its own bits, least significant first. The
// walk keeps its path in a list, not on the call stack.
bool collect_signals(SDR_DATA_SIGNAL_VIEW* view, const SDR_DATA_SESSION* session,
                     std::vector<EXPORT_SIGNAL>* signals, std::string* error) {
  struct FRAME {
    NODE_PTR node;
    size_t signal = 0;
    bool inverted = false;
    std::vector<std::vector<EXPORT_BIT>> parts;  // per member, in view order
  };
  std::vector<FRAME> path;
  NODE_PTR node = take(view->get_first_node());
  while (node || !path.empty()) {
    if (node) {
      const bool inverted = node->is_signal_inverted() != (!path.empty() && path.back().inverted);
      if (node->is_bus()) {
        if (path.size() >= MAX_BUS_NESTING) {
          if (error)
            *error = "the data view nests buses more than " + std::to_string(MAX_BUS_NESTING) + " deep";
          return false;
        }
        EXPORT_SIGNAL signal;
        signal.display = display_name(*node);
        signal.bus = true;
        signal.lsb_first = node->is_lsb_to_msb();
        signal.radix = raw_radix(*node);
        if (const char* table = node->get_mnemonics_table()) {
          const SDR_DATA_MNEMONICS* mnemonics = session ? session->find_mnemonics() : nullptr;
          signal.table = mnemonics ? mnemonics->find_table(table) : nullptr;
          if (!signal.table) SDR_MSGS::post(SDR_MSGS::wsdr_invalid_sym_table(table));
        }
        signals->push_back(std::move(signal));
        FRAME frame;
        frame.signal = signals->size() - 1;
        frame.inverted = inverted;
        NODE_PTR child = take(node->get_first_child());
        frame.node = std::move(node);
        path.push_back(std::move(frame));
        node = std::move(child);
        continue;
      }
      SDR_DATA_SIGNAL_WIRE* wire = node->get_data_wire(true);
      EXPORT_BIT bit;
      bit.wire = wire ? wire->get_data_wire_index() : -1;
      bit.inverted = inverted;
      if (!path.empty()) {
        path.back().parts.push_back({bit});
      } else if (bit.wire >= 0) {
        EXPORT_SIGNAL signal;
        signal.display = display_name(*node);
        signal.bits.push_back(bit);
        signals->push_back(std::move(signal));
      }
      node = take(node->get_next_sibling());
      continue;
    }
    // A bus is complete: its bits from the least significant member on.
    FRAME done = std::move(path.back());
    path.pop_back();
    EXPORT_SIGNAL& signal = (*signals)[done.signal];
    if (signal.lsb_first) {
      for (auto& part : done.parts) signal.bits.insert(signal.bits.end(), part.begin(), part.end());
    } else {
      for (size_t p = done.parts.size(); p-- > 0;)
        signal.bits.insert(signal.bits.end(), done.parts[p].begin(), done.parts[p].end());
    }
    if (!path.empty()) path.back().parts.push_back(signal.bits);
    node = take(done.node->get_next_sibling());
  }
  // A bus without members has nothing to show.
  std::vector<EXPORT_SIGNAL> kept;
  kept.reserve(signals->size());
  for (EXPORT_SIGNAL& s : *signals)
    if (!s.bits.empty()) kept.push_back(std::move(s));
  signals->swap(kept);
  return true;
}

std::string header_date(const std::string& date) {
  if (!date.empty()) return date;
  if (is_regression_test_mode()) return "Thu Jan  1 00:00:00 1970";
  std::time_t now = std::time(nullptr);
  std::tm local = {};
  char text[64];
  if (!localtime_r(&now, &local) || std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y", &local) == 0)
    return "unknown";
  return text;
}

// The VCD time unit for a period: the largest power of ten (up to 100 s)
// dividing it, as text, and the number of units per sample.
void time_unit(long long period_ps, std::string* unit, long long* step) {
  static const char* const units[] = {"ps", "ns", "us", "ms", "s"};
  int power = 0;
  long long scale = 1;
  while (power < 14 && period_ps % (scale * 10) == 0) {
    scale *= 10;
    ++power;
  }
  static const char* const magnitudes[] = {"1", "10", "100"};
  *unit = std::string(magnitudes[power % 3]) + " " + units[power / 3];
  *step = period_ps / scale;
}

}  // namespace

// ------------------------------------------------------------------ class

SDR_DATA_EXPORT::SDR_DATA_EXPORT() : m_state(new STATE) {}

SDR_DATA_EXPORT::~SDR_DATA_EXPORT() = default;

int SDR_DATA_EXPORT::get_num_logs() const {
  return static_cast<int>(m_state->logs.size());
}

bool SDR_DATA_EXPORT::append_log(SDR_DATA_LOG* log, std::string* error) {
  std::string reason;
  if (!error) error = &reason;
  if (!SDR_CHECK(log != NULL)) {
    *error = "no log";
    return false;
  }
  std::unique_ptr<LOG_ENTRY> entry(new LOG_ENTRY);
  entry->log = log;
  entry->log_name = log->get_name() ? log->get_name() : "";
  const std::string label = "log " + quoted(entry->log_name.c_str());
  SDR_DATA_SIGNAL_SET* set = log->get_signal_set();
  if (!set || !set->get_data_view()) {
    *error = label + " belongs to no signal set";
    return false;
  }
  entry->set_name = set->get_name() ? set->get_name() : "";
  entry->instance = set->get_instance();
  entry->instance_name =
      entry->instance && entry->instance->get_name() ? entry->instance->get_name() : std::string("instance");
  for (const auto& other : m_state->logs) {
    if (other->log == log || (entry->instance && other->instance == entry->instance)) {
      *error =
          label + ": the export holds a log of instance " + quoted(entry->instance_name.c_str()) + " already";
      return false;
    }
  }

  entry->depth = log->get_data_sample_depth();
  entry->width = log->get_data_width();
  const size_t stored = sample_text_length(log);
  if (!log->is_data_available() || stored == 0 || entry->depth <= 0) {
    *error = label + " holds no captured data";
    return false;
  }
  if (entry->width <= 0) {
    *error = label + ": its signal set has no data wires";
    return false;
  }
  const uint64_t needed = static_cast<uint64_t>(entry->depth) * static_cast<uint64_t>(entry->width);
  if (stored < needed && !m_options.pad_short_data) {
    *error = label + " holds " + std::to_string(stored) + " of the " + std::to_string(needed) + " bits its " +
             std::to_string(entry->depth) + " samples of " + std::to_string(entry->width) + " wires call for";
    return false;
  }
  const int position = log->get_data_trigger_position();
  entry->trigger = position >= 0 && position < entry->depth ? position : -1;
  entry->segment_size = log->get_data_segment_size() > 0 ? log->get_data_segment_size() : 0;
  entry->known.resize(static_cast<size_t>(entry->width));
  for (int w = 0; w < entry->width; ++w) entry->known[static_cast<size_t>(w)] = log->get_connection_status(w);

  const SDR_DATA_SESSION* session = entry->instance ? entry->instance->get_session() : nullptr;
  if (!collect_signals(set->get_data_view(), session, &entry->signals, error)) {
    *error = label + ": " + *error;
    return false;
  }
  m_state->logs.push_back(std::move(entry));
  return true;
}

bool SDR_DATA_EXPORT::parse_period_ns(const char* text, long long* period_ps) {
  if (!text || !period_ps) return false;
  long long ps = 0;
  int decimals = -1;
  for (const char* p = text; *p; ++p) {
    if (*p == '.') {
      if (decimals >= 0 || p == text) return false;
      decimals = 0;
      continue;
    }
    if (*p < '0' || *p > '9') return false;
    if (decimals >= 0 && ++decimals > 3) return false;
    ps = ps * 10 + (*p - '0');
    if (ps > MAX_PERIOD_PS) return false;
  }
  if (decimals == 0) return false;  // "5." has no decimals
  for (int d = decimals < 0 ? 0 : decimals; d < 3; ++d) ps *= 10;
  if (ps < 1 || ps > MAX_PERIOD_PS) return false;
  *period_ps = ps;
  return true;
}

// ------------------------------------------------------------------- VCD

namespace {

// One VCD variable: some bits of a signal, least significant first.
struct VCD_VAR {
  size_t signal = 0;
  size_t first_bit = 0;
  size_t width = 0;
  std::string code;
  std::string previous;  // the value written last, most significant first
  char last = 0;         // the same for a 1-bit variable
};

}  // namespace

bool SDR_DATA_EXPORT::write_vcd(const char* path, std::string* error) const {
  std::string reason;
  if (!error) error = &reason;
  if (m_state->logs.empty()) {
    *error = "no log to export";
    return false;
  }
  if (m_options.period_ps < 1 || m_options.period_ps > MAX_PERIOD_PS) {
    *error = "the sample period is out of range";
    return false;
  }
  std::string unit;
  long long step = 1;
  time_unit(m_options.period_ps, &unit, &step);
  int samples = 0;
  for (const auto& entry : m_state->logs) samples = std::max(samples, entry->depth);
  if (static_cast<long long>(samples) > LLONG_MAX / step) {
    *error = "the sample period is too long for a capture of this depth";
    return false;
  }

  // Per log: the trigger variable, the segment variable, then the signals.
  struct LOG_VARS {
    VCD_VAR trigger;
    VCD_VAR segment;
    std::vector<VCD_VAR> vars;
    bool ended = false;
  };
  std::vector<LOG_VARS> logs(m_state->logs.size());
  size_t codes = 0;
  std::string header;
  header += "$date\n\t" + section_text(header_date(m_options.date)) + "\n$end\n";
  header += "$version\n\tsdr " SDR_VERSION_STRING "\n$end\n";
  for (const auto& entry : m_state->logs) {
    std::string text = "instance " + entry->instance_name + ", signal set " + entry->set_name + ", log " +
                       entry->log_name + ": " + std::to_string(entry->depth) + " samples";
    if (entry->segment_size > 0) text += " in segments of " + std::to_string(entry->segment_size);
    text +=
        entry->trigger >= 0 ? ", trigger sample " + std::to_string(entry->trigger) : ", no trigger sample";
    header += "$comment\n\t" + section_text(text) + "\n$end\n";
  }
  header += "$timescale " + unit + " $end\n";
  NAME_SET instance_names;
  for (size_t l = 0; l < m_state->logs.size(); ++l) {
    const LOG_ENTRY& entry = *m_state->logs[l];
    LOG_VARS& v = logs[l];
    header += "$scope module " + instance_names.unique(entry.instance_name) + " $end\n";
    NAME_SET names;
    header += "$scope module " + names.unique(entry.set_name) + " $end\n";
    NAME_SET vars;
    v.trigger.code = id_code(codes++);
    v.trigger.width = 1;
    header += "$var wire 1 " + v.trigger.code + " " + vars.unique("trigger") + " $end\n";
    if (entry.segment_size > 0) {
      v.segment.code = id_code(codes++);
      v.segment.width = 1;
      header += "$var wire 1 " + v.segment.code + " " + vars.unique("segment") + " $end\n";
    }
    for (size_t s = 0; s < entry.signals.size(); ++s) {
      const EXPORT_SIGNAL& signal = entry.signals[s];
      const size_t width = signal.bits.size();
      if (!signal.bus || !m_options.split_buses) {
        VCD_VAR var;
        var.signal = s;
        var.width = width;
        var.code = id_code(codes++);
        std::string select;
        std::string name =
            signal.bus ? vars.unique(vcd_name(signal.display, &select)) : vars.unique(signal.display);
        if (signal.bus) name += " [" + std::to_string(width - 1) + ":0]";
        header += "$var wire " + std::to_string(width) + " " + var.code + " " + name + " $end\n";
        v.vars.push_back(std::move(var));
        continue;
      }
      // One variable per bit, in the bus's own order.
      std::string select;
      const std::string base = vars.unique(vcd_name(signal.display, &select));
      for (size_t k = 0; k < width; ++k) {
        VCD_VAR var;
        var.signal = s;
        var.first_bit = signal.lsb_first ? k : width - 1 - k;
        var.width = 1;
        var.code = id_code(codes++);
        header += "$var wire 1 " + var.code + " " + base + "[" + std::to_string(var.first_bit) + "] $end\n";
        v.vars.push_back(std::move(var));
      }
    }
    header += "$upscope $end\n$upscope $end\n";
  }
  header += "$enddefinitions $end\n";

  const SDR_DATA_EXPORT::OPTIONS& options = m_options;
  const STATE& state = *m_state;
  auto fill = [&](const SDR_DATA_XML_WRITER::BYTE_SINK& sink) -> bool {
    OUTPUT out(sink);
    out.text() = header;
    std::string bits;
    std::string msb_first;
    std::string changes;
    auto put_bit = [&](VCD_VAR& var, char bit, std::string* to) {
      if (var.last == bit) return;
      var.last = bit;
      *to += bit;
      *to += var.code;
      *to += '\n';
    };
    auto put = [&](VCD_VAR& var, const std::string& msb_first, std::string* to) {
      if (var.width == 1) return put_bit(var, msb_first[0], to);
      if (var.previous == msb_first) return;
      var.previous = msb_first;
      *to += 'b';
      *to += msb_first;
      *to += ' ';
      *to += var.code;
      *to += '\n';
    };
    for (int sample = 0; sample <= samples; ++sample) {
      changes.clear();
      for (size_t l = 0; l < state.logs.size(); ++l) {
        const LOG_ENTRY& entry = *state.logs[l];
        LOG_VARS& v = logs[l];
        if (v.ended) continue;
        if (sample >= entry.depth) {
          // Past its end a shorter log reads as unknown.
          if (sample == samples) continue;
          v.ended = true;
          put_bit(v.trigger, 'x', &changes);
          if (entry.segment_size > 0) put_bit(v.segment, 'x', &changes);
          for (VCD_VAR& var : v.vars) put(var, std::string(var.width, 'x'), &changes);
          continue;
        }
        put_bit(v.trigger, sample == entry.trigger ? '1' : '0', &changes);
        if (entry.segment_size > 0) put_bit(v.segment, entry.is_segment_start(sample) ? '1' : '0', &changes);
        // The variables of a split bus follow one another: the bus's
        // value is read once for all of them.
        size_t read = SIZE_MAX;
        for (VCD_VAR& var : v.vars) {
          const EXPORT_SIGNAL& signal = entry.signals[var.signal];
          if (read != var.signal) {
            entry.value(signal, sample, &bits);
            msb_first.assign(bits.rbegin(), bits.rend());
            read = var.signal;
          }
          if (options.split_buses && signal.bus) {
            put_bit(var, bits[var.first_bit], &changes);
          } else {
            put(var, msb_first, &changes);
          }
        }
      }
      if (sample == 0) {
        out.text() += "#0\n$dumpvars\n" + changes + "$end\n";
      } else if (!changes.empty() || sample == samples) {
        out.text() += "#" + std::to_string(static_cast<long long>(sample) * step) + "\n" + changes;
      }
      if (!out.pass()) return false;
    }
    return out.flush();
  };
  return SDR_DATA_XML_WRITER::write_file_streamed(path, fill, error);
}

// ------------------------------------------------------------------- CSV

bool SDR_DATA_EXPORT::write_csv(const char* path, std::string* error) const {
  std::string reason;
  if (!error) error = &reason;
  if (m_state->logs.size() != 1) {
    *error = m_state->logs.empty() ? "no log to export" : "a CSV file holds one log";
    return false;
  }
  const LOG_ENTRY& entry = *m_state->logs.front();
  auto fill = [&](const SDR_DATA_XML_WRITER::BYTE_SINK& sink) -> bool {
    OUTPUT out(sink);
    std::string& text = out.text();
    text += "sample,trigger";
    if (entry.segment_size > 0) text += ",segment";
    for (const EXPORT_SIGNAL& signal : entry.signals) text += "," + csv_field(signal.display);
    text += "\n";
    std::string bits;
    for (int sample = 0; sample < entry.depth; ++sample) {
      text += std::to_string(sample);
      text += sample == entry.trigger ? ",1" : ",0";
      if (entry.segment_size > 0) text += "," + std::to_string(sample / entry.segment_size);
      for (const EXPORT_SIGNAL& signal : entry.signals) {
        entry.value(signal, sample, &bits);
        text += ',';
        if (!signal.bus) {
          text += bits;
          continue;
        }
        const char* symbol = nullptr;
        if (signal.table && !has_unknown(bits)) {
          auto found = signal.symbols.find(bits);
          if (found != signal.symbols.end()) {
            symbol = found->second;
          } else {
            symbol = signal.table->get_first_symbol(bits.c_str());
            if (signal.symbols.size() < MAX_SYMBOL_CACHE) signal.symbols.emplace(bits, symbol);
          }
        }
        text += csv_field(symbol ? std::string(symbol) : radix_text(bits, signal.radix));
      }
      text += '\n';
      if (!out.pass()) return false;
    }
    return out.flush();
  };
  return SDR_DATA_XML_WRITER::write_file_streamed(path, fill, error);
}
