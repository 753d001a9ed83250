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
  OUT& operator<<(long long v) {
    char buf[24];
    int n = std::snprintf(buf, sizeof buf, "%lld", v);
    m_s->append(buf, static_cast<size_t>(n));
    return *this;
  }
  OUT& operator<<(char c) {
    m_s->push_back(c);
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
const char* const WIRE_TYPES[] = {"data", "trigger", "data_trigger"};
const char* const TAP_MODES[] = {"pre_synthesis", "post_synthesis", "netlist"};
const char* const COMPARES[] = {"eq", "neq", "gt", "lt", "rising", "falling", "either", "dont_care"};
const char* const COLORS[] = {"#3366cc", "#dc3912", "#ff9900", "#109618", "#990099", "#0099c6"};

std::string bus_name(int instance, int vec) {
  std::string s = "core";
  s += std::to_string(instance);
  s += '_';
  s += BUS_NAMES[vec % 8];
  s += '_';
  s += std::to_string(vec);
  return s;
}

void session_open(OUT& o) {
  o << "<session bix_file=\"\" jtag_chain=\"usb_cable_0\" jtag_device=\"fpga_dev_1\" version=\"3\">";
  o.line(2)
      << "<display_tree gui_logging_enabled=\"1\" active_instance=\"u_ila_0\" active_tab=\"waveform\"/>";
}

void session_close(OUT& o, int wires) {
  // Sorted by attribute name: the order in which loading rewrites them.
  o.line(2) << "<global_info>";
  o.line(3) << "<multi attribute=\"probe_widths\" size=\"4\" value=\"16,16,8,1\"/>";
  o.line(3) << "<single attribute=\"capture_depth\" value=\"16384\"/>";
  o.line(3) << "<single attribute=\"sample_rate_mhz\" value=\"100\"/>";
  o.line(3) << "<single attribute=\"total_wires\" value=\"" << wires << "\"/>";
  o.line(2) << "</global_info>";
  o << "\n</session>\n";
}

void instance(OUT& o, RNG& rng, int index, int wires, const ATTRIBUTE_SHAPE& shape) {
  o.line(2) << "<instance name=\"u_ila_" << index << "\" type=\"sdr_core\" version=\"6.2\" depth=\"16384\""
            << " clock=\"clk_sys_" << index << "\" clock_edge=\"rising\" trigger_out=\"0\" storage=\"bram\">";
  int vecs = (wires + shape.wires_per_vec - 1) / shape.wires_per_vec;
  int wire = 0;
  for (int v = 0; v < vecs; ++v) {
    if (v % shape.vecs_per_set == 0) {
      if (v) o.line(3) << "</signal_set>";
      o.line(3) << "<signal_set name=\"set_" << v / shape.vecs_per_set
                << "\" capture_mode=\"continuous\" storage_qualify=\"0\">";
    }
    std::string bus = bus_name(index, v);
    int width = wires - wire < shape.wires_per_vec ? wires - wire : shape.wires_per_vec;
    o.line(4) << "<signal_vec name=\"" << bus << "\" width=\"" << width << "\" radix=\""
              << (v % 3 == 0   ? "hex"
                  : v % 3 == 1 ? "binary"
                               : "unsigned")
              << "\" color=\"" << COLORS[v % 6] << "\" expanded=\"" << (v % 2) << "\">";
    for (int b = 0; b < width; ++b, ++wire) {
      o.line(5) << "<wire name=\"top/u_core_" << index << "/u_pipe_" << v % 7 << "/stage_" << b % 4 << '/'
                << BUS_NAMES[v % 8] << "_q[" << b << "]\" alias=\"" << bus << '[' << b << "]\" type=\""
                << WIRE_TYPES[rng.below(3)] << "\" capture=\"" << (rng.below(4) ? 1 : 0) << "\" tap_mode=\""
                << TAP_MODES[rng.below(3)] << "\" net=\"u_core_" << index << "/n_"
                << static_cast<int>(100000 + wire * 7 + index) << "\" probe=\"probe_" << v % 4 << "\" slot=\""
                << wire << "\" compare=\"" << COMPARES[rng.below(8)] << "\" value=\""
                << (rng.below(2) ? "1'b1" : "1'bX") << "\" node=\"top|u_core_" << index << "|u_pipe_" << v % 7
                << "|stage_" << b % 4 << '|' << BUS_NAMES[v % 8] << "_q_reg[" << b << "]\" trigger_index=\""
                << wire << "\" data_index=\"" << wire << "\" clock_domain=\"clk_sys_" << index
                << "\" group=\"grp_" << bus << "\" sample_edge=\"" << (b % 5 ? "rising" : "falling")
                << "\" enable=\"1\"/>";
    }
    o.line(4) << "</signal_vec>";
  }
  if (vecs) o.line(3) << "</signal_set>";
  o.line(2) << "</instance>";
}

// A trigger over one instance; each level's condition names every wire of
// it, so the condition text grows with the design.
void trigger(OUT& o, RNG& rng, int index, int instance, int wires, const ATTRIBUTE_SHAPE& shape) {
  o.line(2) << "<trigger name=\"trig_" << index << "\" instance=\"u_ila_" << instance
            << "\" position=\"8192\" mode=\"sequential\" enabled=\"1\" storage=\"all\">";
  for (int l = 0; l < shape.levels_per_trigger; ++l) {
    o.line(3) << "<level index=\"" << l << "\" count=\"" << 1 + l % 3 << "\" op=\"" << (l % 2 ? "or" : "and")
              << "\" goto=\"" << (l + 1) % shape.levels_per_trigger << "\">";
    o.line(4) << "<condition type=\"equation\" name=\"c" << index << '_' << l << "\">";
    for (int w = 0; w < wires; ++w) {
      int vec = w / shape.wires_per_vec;
      int bit = w % shape.wires_per_vec;
      if (w) o << (rng.below(5) ? " &amp;&amp; " : " || ");
      o << '(' << bus_name(instance, vec) << '[' << bit << "] == " << (rng.below(2) ? "1'b1" : "1'b0") << ')';
    }
    // A condition made by the library keeps its text followed by the
    // indentation of the closing tag.
    o.line(4) << "</condition>";
    o.line(3) << "</level>";
  }
  o.line(2) << "</trigger>";
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
  text.reserve(static_cast<size_t>(shape.instances) * static_cast<size_t>(shape.wires_per_instance) * 700 +
               4096);
  OUT o(&text);
  RNG rng(0x5D2A17u);
  session_open(o);
  for (int i = 0; i < shape.instances; ++i) instance(o, rng, i, shape.wires_per_instance, shape);
  for (int t = 0; t < shape.triggers; ++t)
    trigger(o, rng, t, shape.instances ? t % shape.instances : 0, shape.wires_per_instance, shape);
  session_close(o, shape.instances * shape.wires_per_instance);
  return text;
}

std::string make_log_session(const LOG_SHAPE& shape) {
  ATTRIBUTE_SHAPE design;
  design.instances = 1;
  design.wires_per_instance = shape.wires;
  design.triggers = 1;
  std::string text;
  text.reserve(static_cast<size_t>(shape.logs) * (shape.bits_per_log + 256) +
               static_cast<size_t>(shape.wires) * 700 + 4096);
  OUT o(&text);
  RNG rng(0xC0FFEEu);
  session_open(o);
  instance(o, rng, 0, shape.wires, design);
  trigger(o, rng, 0, 0, shape.wires > 64 ? 64 : shape.wires, design);
  for (int l = 0; l < shape.logs; ++l) {
    o.line(2) << "<log name=\"log_" << l << "\" instance=\"u_ila_0\" trigger=\"trig_0\" width=\""
              << shape.wires << "\" samples=\""
              << static_cast<long long>(shape.bits_per_log / (shape.wires ? shape.wires : 1))
              << "\" trigger_sample=\"8192\" timestamp=\"2024-05-1" << l << "T10:2" << l << ":00\">";
    o.line(3) << "<data>";
    size_t old = text.size();
    text.resize(old + shape.bits_per_log);
    char* d = &text[old];
    size_t i = 0;
    while (i < shape.bits_per_log) {
      uint64_t bits = rng.next();
      for (int k = 0; k < 64 && i < shape.bits_per_log; ++k, ++i)
        d[i] = static_cast<char>('0' + ((bits >> k) & 1));
    }
    o << "</data>";
    o.line(2) << "</log>";
  }
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
