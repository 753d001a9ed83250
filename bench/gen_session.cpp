#include "gen_session.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace sdr_bench {

namespace {

// Deterministic pseudo-random numbers (xorshift64*), so every run
// generates the same bytes.
class RNG {
 public:
  explicit RNG(uint64_t seed) : m_state(seed ? seed : 0x9E3779B97F4A7C15ull) {}
  uint64_t next() {
    m_state ^= m_state >> 12;
    m_state ^= m_state << 25;
    m_state ^= m_state >> 27;
    return m_state * 0x2545F4914F6CDD1Dull;
  }
  unsigned below(unsigned n) { return static_cast<unsigned>(next() % n); }

 private:
  uint64_t m_state;
};

class OUT {
 public:
  explicit OUT(std::string* s) : m_s(s) {}
  OUT& operator<<(const char* t) {
    m_s->append(t);
    return *this;
  }
  OUT& operator<<(const std::string& t) {
    m_s->append(t);
    return *this;
  }
  OUT& operator<<(char c) {
    m_s->push_back(c);
    return *this;
  }
  OUT& operator<<(long long v) {
    char buf[24];
    int n = std::snprintf(buf, sizeof buf, "%lld", v);
    m_s->append(buf, static_cast<size_t>(n));
    return *this;
  }
  OUT& operator<<(int v) { return *this << static_cast<long long>(v); }
  OUT& operator<<(unsigned v) { return *this << static_cast<long long>(v); }
  // A new line indented for an element at depth (the root is depth 1).
  OUT& line(int depth) {
    m_s->push_back('\n');
    m_s->append(static_cast<size_t>(depth - 1) * 2, ' ');
    return *this;
  }

 private:
  std::string* m_s;
};

const char* const BUS_NAMES[] = {"data",     "addr",      "ctrl",       "state",
                                 "fifo_lvl", "axi_wdata", "axi_araddr", "irq"};
const char* const SIGNAL_TYPES[] = {"register", "combinatorial", "input pin", "state machine", "memory"};
const char* const RADIXES[] = {"hex", "bin", "unsigned_dec", "signed_dec"};
const char* const CONDITIONS[] = {"high", "low", "rising edge", "falling edge", "either edge", "dont_care"};

// The names of wire `bit` of bus `bus` in instance `instance`.
std::string bus_alias(int instance, int bus) {
  std::string s = "core";
  s += std::to_string(instance);
  s += '_';
  s += BUS_NAMES[bus % 8];
  s += '_';
  s += std::to_string(bus);
  return s;
}

std::string wire_name(int instance, int bus, int bit) {
  std::string s = "u_core_" + std::to_string(instance) + "/u_pipe_" + std::to_string(bus % 7) + "/stage_" +
                  std::to_string(bit % 4) + '/' + BUS_NAMES[bus % 8] + "_q_reg[" + std::to_string(bit) + ']';
  return s;
}

void session_open(OUT& o, int instances) {
  o << "<session bix_file=\"\" jtag_chain=\"usb_cable_0\" jtag_device=\"fpga_dev_1\">";
  o.line(2) << "<display_tree gui_logging_enabled=\"1\">";
  for (int i = 0; i < instances; ++i)
    o.line(3) << "<display_branch instance=\"u_ila_" << i << "\" signal_set=\"set_0\"/>";
  o.line(2) << "</display_tree>";
}

void session_close(OUT& o, int wires) {
  // Sorted by attribute name: the order in which loading rewrites them.
  o.line(2) << "<global_info>";
  o.line(3) << "<single attribute=\"capture_depth\" value=\"16384\"/>";
  o.line(3) << "<single attribute=\"sample_rate_mhz\" value=\"100\"/>";
  o.line(3) << "<single attribute=\"total_wires\" value=\"" << wires << "\"/>";
  o.line(3) << "<multi attribute=\"probe_widths\" size=\"4\" value=\"16,16,8,1\"/>";
  o.line(2) << "</global_info>";
  o << "\n</session>\n";
}

void wire_list(OUT& o, RNG& rng, int instance, int wires, int bus_width, const char* tag) {
  o.line(5) << '<' << tag << '>';
  for (int w = 0; w < wires; ++w) {
    int bus = w / bus_width, bit = w % bus_width;
    o.line(6) << "<wire alias=\"" << bus_alias(instance, bus) << '[' << bit
              << "]\" connection_status=\"true\" name=\"" << wire_name(instance, bus, bit)
              << "\" tap_mode=\"classic\" type=\"" << SIGNAL_TYPES[rng.below(5)] << "\"/>";
  }
  o.line(5) << "</" << tag << '>';
}

void view(OUT& o, int instance, int wires, int bus_width, const char* tag) {
  o.line(5) << '<' << tag << '>';
  for (int bus = 0; bus * bus_width < wires; ++bus) {
    o.line(6) << "<bus name=\"" << bus_alias(instance, bus) << "\" order=\"lsb_to_msb\" radix=\""
              << RADIXES[bus % 4] << "\" state=\"" << (bus % 3 ? "collapse" : "expand") << "\">";
    for (int bit = 0; bit < bus_width && bus * bus_width + bit < wires; ++bit)
      o.line(7) << "<net alias=\"" << bus_alias(instance, bus) << '[' << bit << "]\" name=\""
                << wire_name(instance, bus, bit) << "\"/>";
    o.line(6) << "</bus>";
  }
  o.line(5) << "</" << tag << '>';
}

// Each level's condition names every other wire of the first `terms` of
// the signal set, so the condition text grows with the design.
void trigger(OUT& o, RNG& rng, int index, int instance, int terms, int bus_width, int levels) {
  o.line(4) << "<trigger is_expanded=\"true\" name=\"trig_" << index << "\" position=\""
            << (index % 2 ? "center" : "pre")
            << "\" segment_size=\"1\" trigger_in=\"dont_care\" trigger_out=\"active high\" "
               "trigger_type=\"circular\">";
  o.line(5) << "<events>";
  for (int l = 0; l < levels; ++l) {
    o.line(6) << "<level enabled=\"" << (l < 4 ? "yes" : "no") << "\" type=\"basic\">";
    for (int w = 0; w < terms; w += 2) {
      if (w) o << " &amp;&amp; ";
      o << bus_alias(instance, w / bus_width) << '[' << w % bus_width << "] == " << CONDITIONS[rng.below(6)];
    }
    // Text made by the library is followed by the indentation of the
    // closing tag.
    o.line(6) << "</level>";
  }
  o.line(5) << "</events>";
}

void instance_open(OUT& o, RNG& rng, int index, int wires, int bus_width) {
  // Attributes in the order the document keeps them: sorted by name.
  o.line(2) << "<instance compilation_mode=\"full\" entity_name=\"sdr_core\" is_auto_node=\"no\" "
               "is_expanded=\"true\""
            << " name=\"u_ila_" << index << "\" source_file=\"rtl/top_" << index << ".v\">";
  o.line(3) << "<node_ip_info instance_id=\"" << index << "\" mfg_id=\"110\" node_id=\"" << index
            << "\" version=\"3\"/>";
  o.line(3) << "<signal_set is_expanded=\"true\" name=\"set_0\">";
  o.line(4) << "<clock name=\"clk_sys_" << index << "\" polarity=\"posedge\"/>";
  o.line(4) << "<config ram_type=\"AUTO\" sample_depth=\"16384\" trigger_in_enable=\"no\" "
               "trigger_out_enable=\"no\"/>";
  o.line(4) << "<top_entity name=\"top\"/>";
  o.line(4) << "<signal_vec>";
  wire_list(o, rng, index, wires, bus_width, "trigger_input_vec");
  wire_list(o, rng, index, wires, bus_width, "data_input_vec");
  o.line(4) << "</signal_vec>";
  o.line(4) << "<presentation>";
  view(o, index, wires, bus_width, "data_view");
  view(o, index, wires, bus_width, "setup_view");
  o.line(4) << "</presentation>";
}

void instance_close(OUT& o) {
  o.line(3) << "</signal_set>";
  o.line(3) << "<position_info>";
  o.line(4) << "<single attribute=\"x\" value=\"120\"/>";
  o.line(4) << "<single attribute=\"y\" value=\"40\"/>";
  o.line(3) << "</position_info>";
  o.line(2) << "</instance>";
}

}  // namespace

ATTRIBUTE_SHAPE growth_shape(int wires) {
  ATTRIBUTE_SHAPE s;
  s.instances = 4;
  s.wires_per_instance = wires / 4;
  return s;
}

std::string make_attribute_session(const ATTRIBUTE_SHAPE& shape) {
  std::string text;
  text.reserve(static_cast<size_t>(shape.instances) * static_cast<size_t>(shape.wires_per_instance) * 800 +
               4096);
  OUT o(&text);
  RNG rng(0x5D2A17u);
  session_open(o, shape.instances);
  for (int i = 0; i < shape.instances; ++i) {
    instance_open(o, rng, i, shape.wires_per_instance, shape.bus_width);
    for (int t = i; t < shape.triggers; t += shape.instances) {
      trigger(o, rng, t, i, shape.wires_per_instance, shape.bus_width, shape.levels_per_trigger);
      o.line(4) << "</trigger>";
    }
    instance_close(o);
  }
  session_close(o, shape.instances * shape.wires_per_instance);
  return text;
}

std::string make_log_session(const LOG_SHAPE& shape) {
  const size_t bits = static_cast<size_t>(shape.wires) * static_cast<size_t>(shape.samples);
  std::string text;
  text.reserve(static_cast<size_t>(shape.logs) * (bits + 256) + static_cast<size_t>(shape.wires) * 800 +
               4096);
  OUT o(&text);
  RNG rng(0xC0FFEEu);
  session_open(o, 1);
  instance_open(o, rng, 0, shape.wires, 16);
  trigger(o, rng, 0, 0, shape.wires < 32 ? shape.wires : 32, 16, 4);
  for (int l = 0; l < shape.logs; ++l) {
    o.line(5) << "<data name=\"log_" << l << "\" sample_depth=\"" << shape.samples
              << "\" segment_size=\"1\" trigger_position=\"" << shape.samples / 2 << "\">";
    size_t old = text.size();
    text.resize(old + bits);
    char* d = &text[old];
    size_t i = 0;
    while (i < bits) {
      uint64_t r = rng.next();
      for (int k = 0; k < 64 && i < bits; ++k, ++i) d[i] = static_cast<char>('0' + ((r >> k) & 1));
    }
    o << "</data>";
  }
  o.line(4) << "</trigger>";
  instance_close(o);
  session_close(o, shape.wires);
  return text;
}

bool write_text_file(const std::string& path, const std::string& bytes, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0) ok = false;
  if (!ok && error) *error = path + ": write failed";
  return ok;
}

}  // namespace sdr_bench
