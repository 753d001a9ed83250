// tzo demo: an example session built through the library.
//
// Everything in it is fixed, including the captured samples, which come
// from a small simulation of the tapped design rather than from random
// data: the same build writes the same bytes every time.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "path_util.h"
#include "sdr_data_global_enum.h"
#include "sdr_data_instance.h"
#include "sdr_data_log.h"
#include "sdr_data_mnemonics.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_trigger.h"
#include "tzo_cli.h"

namespace tzo {
namespace {

// Raised when a library call refuses the demo's content: the demo is fixed,
// so this is a fault of the build, not of the user.
struct DEMO_FAILED {
  std::string what;
};

void require(bool ok, const std::string& what) {
  if (!ok) throw DEMO_FAILED{what};
}

std::string bit_name(const char* base, int bit) {
  return std::string(base) + "[" + std::to_string(bit) + "]";
}

SDR_DATA_SIGNAL_WIRE* add_wire(SDR_DATA_SIGNAL_SET* set, const std::string& name,
                               SDR_DATA_WIRE_CAPTURE_TYPE capture, SDR_DATA_SIGNAL_TYPE type,
                               SDR_DATA_WIRE_TAP_MODE mode = SDR_MTYPE_CLASSIC_TAP, bool connected = true,
                               const char* alias = nullptr) {
  SDR_DATA_SIGNAL_WIRE* wire = set->create_wire(name.c_str(), capture, mode, connected, alias);
  require(wire != nullptr, "create_wire");
  wire->set_signal_type(type);
  require(set->append(wire, true), "append wire");
  return wire;
}

void add_bus_wires(SDR_DATA_SIGNAL_SET* set, const char* base, int width, SDR_DATA_WIRE_CAPTURE_TYPE capture,
                   SDR_DATA_SIGNAL_TYPE type) {
  for (int bit = 0; bit < width; ++bit) add_wire(set, bit_name(base, bit), capture, type);
}

using NODE_PTR = std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE>;

void append_net(SDR_DATA_SIGNAL_VIEW* view, const std::string& name) {
  NODE_PTR net(view->create_net_node(name.c_str()));
  require(net != nullptr, "create_net_node");
  view->append_node(net.get());
}

// A bus of the nets base[0] .. base[width-1], listed in its bit order.
NODE_PTR make_bus(SDR_DATA_SIGNAL_VIEW* view, const char* bus_name, const char* base, int width,
                  bool lsb_first, SDR_DATA_GROUP_DISPLAY_TYPE radix) {
  NODE_PTR bus(view->create_bus_node(bus_name));
  require(bus != nullptr, "create_bus_node");
  bus->set_lsb_to_msb(lsb_first);
  bus->set_bus_display_type(radix);
  for (int i = 0; i < width; ++i) {
    const int bit = lsb_first ? i : width - 1 - i;
    NODE_PTR net(view->create_net_node(bit_name(base, bit).c_str()));
    require(net != nullptr && bus->append_child(net.get()), "append bus member");
  }
  return bus;
}

void append_bus(SDR_DATA_SIGNAL_VIEW* view, const char* bus_name, const char* base, int width, bool lsb_first,
                SDR_DATA_GROUP_DISPLAY_TYPE radix, const char* mnemonics = nullptr) {
  NODE_PTR bus = make_bus(view, bus_name, base, width, lsb_first, radix);
  if (mnemonics) require(bus->set_mnemonics_table(mnemonics), "set_mnemonics_table");
  view->append_node(bus.get());
}

int trigger_index(SDR_DATA_SIGNAL_SET* set, const char* name) {
  SDR_DATA_SIGNAL_WIRE* wire = set->get_wire(name);
  require(wire != nullptr && wire->get_trigger_wire_index() >= 0, "trigger wire");
  return wire->get_trigger_wire_index();
}

void set_condition(SDR_DATA_TRIGGER* trigger, int level, const char* wire,
                   SDR_DATA_TRIGGER_CONDITION condition) {
  require(
      trigger->set_trigger_condition(trigger_index(trigger->get_signal_set(), wire), level, condition, true),
      "set_trigger_condition by wire");
}

// One level with an advanced condition: an expression over the trigger
// wires, compiled by the advanced trigger support.
void add_advanced_level(SDR_DATA_TRIGGER* trigger) {
  const int level = trigger->append_new_level(true);
  trigger->set_trigger_level_cond_expr_type(level, false);
  require(trigger->set_advanced_trigger_expression(level, "rising('uart|tx') && !'dma|ack'"),
          "set_advanced_trigger_expression");
}

// The samples of one capture: one '0'/'1' character per data wire and
// sample, sample by sample, from a small simulation of the design around a
// trigger point.
class DEMO_SIGNALS {
 public:
  DEMO_SIGNALS(int depth, int trigger_position) : m_depth(depth), m_trigger(trigger_position) {}

  // The value of a wire at a sample, by the wire's name.
  bool value(const std::string& name, int s) const {
    int bit = 0;
    if (bus_bit(name, "cpu|pc", &bit)) return ((0x100 + s - m_trigger) >> bit) & 1;
    if (bus_bit(name, "fsm|state", &bit)) {
      // IDLE, FETCH, EXEC, WAIT as the trigger reads the table's values:
      // the first character of a value is the least significant bit.
      static const int states[] = {0x0, 0x8, 0x4, 0x2};
      return (states[(s / 4) % 4] >> bit) & 1;
    }
    if (bus_bit(name, "mem|addr", &bit)) return ((s * 3) & 0xff) >> bit & 1;
    if (bus_bit(name, "io|gpio", &bit)) return ((s >> bit) ^ (s >> (bit + 1))) & 1;
    if (name == "uart|tx") return serial_bit('A' + (s / 80) % 26, s);
    if (name == "uart|rx") return serial_bit('a' + (s / 80) % 26, s + 37);
    if (name == "dma|req") return s % 32 >= 4 && s % 32 < 12;
    if (name == "dma|ack") return s % 32 >= 6 && s % 32 < 14;
    return false;
  }

  void fill(SDR_DATA_LOG* log, SDR_DATA_SIGNAL_SET* set) const {
    const int width = set->get_data_wire_width();
    std::vector<unsigned short> bits(static_cast<size_t>(width) * static_cast<size_t>(m_depth), '0');
    for (int w = 0; w < width; ++w) {
      const SDR_DATA_SIGNAL_WIRE* wire = set->get_data_wire_at(w);
      require(wire != nullptr && wire->get_name(), "data wire");
      const std::string name = wire->get_name();
      for (int s = 0; s < m_depth; ++s)
        if (value(name, s))
          bits[static_cast<size_t>(s) * static_cast<size_t>(width) + static_cast<size_t>(w)] = '1';
    }
    require(log->translate_bit_stream(bits.data(), m_depth, m_trigger), "translate_bit_stream");
  }

 private:
  static bool bus_bit(const std::string& name, const char* base, int* bit) {
    const std::string prefix = std::string(base) + "[";
    if (name.compare(0, prefix.size(), prefix) != 0) return false;
    *bit = std::atoi(name.c_str() + prefix.size());
    return true;
  }

  // An 8N1 frame of c, eight samples a bit, idle high between frames.
  static bool serial_bit(int c, int s) {
    const int position = (s / 8) % 10;
    if (position == 0) return false;  // start bit
    if (position == 9) return true;   // stop bit
    return (c >> (position - 1)) & 1;
  }

  int m_depth;
  int m_trigger;
};

void build_mnemonics(SDR_DATA_SESSION& session) {
  SDR_DATA_MNEMONICS_TABLE* table = session.get_mnemonics()->create_table("fsm_states", 4);
  require(table != nullptr, "create_table");
  require(table->add_entry("IDLE", "0000") && table->add_entry("FETCH", "0001") &&
              table->add_entry("EXEC", "0010") && table->add_entry("WAIT", "01XX"),
          "add_entry");
}

// The first analyzer: a processor core with its UART, state machine and
// DMA handshake.
void build_core_instance(SDR_DATA_SESSION& session) {
  SDR_DATA_INSTANCE* instance = session.create_trazio_instance(nullptr);
  require(instance != nullptr, "create_trazio_instance");
  SDR_DATA_SIGNAL_SET* set = instance->create_signal_set("capture", false);
  require(set != nullptr, "create_signal_set");
  set->set_clock("top|clk_sys", SDR_DATA_SIGNAL_SET::POSEDGE);
  set->set_sample_depth(256);
  set->set_kalvos_ram_type(SDR_RAM_AUTO);
  set->enable_trigger_in(true);
  set->set_trigger_in_pin("trig_in");
  set->enable_trigger_out(true);
  set->set_trigger_out_node("top|trig_out_q");
  set->set_reserved_data_node_size(8);
  set->set_reserved_trigger_node_size(8);

  add_bus_wires(set, "cpu|pc", 16, SDR_CTYPE_BOTH, SDR_STYPE_REGISTER);
  add_wire(set, "uart|tx", SDR_CTYPE_BOTH, SDR_STYPE_OUTPUT_PIN);
  add_wire(set, "uart|rx", SDR_CTYPE_BOTH, SDR_STYPE_INPUT_PIN);
  add_bus_wires(set, "fsm|state", 4, SDR_CTYPE_BOTH, SDR_STYPE_STATE_MACHINE);
  add_wire(set, "dma|req", SDR_CTYPE_BOTH, SDR_STYPE_COMBINATORIAL);
  add_wire(set, "dma|ack", SDR_CTYPE_BOTH, SDR_STYPE_COMBINATORIAL);
  add_wire(set, "cpu|irq", SDR_CTYPE_TRIGGER, SDR_STYPE_REGISTER, SDR_MTYPE_ADVANCED_TAP);
  add_wire(set, "top|reset_sync_n", SDR_CTYPE_TRIGGER, SDR_STYPE_REGISTER, SDR_MTYPE_CLASSIC_TAP, true,
           "reset_n");
  add_bus_wires(set, "mem|addr", 7, SDR_CTYPE_DATA, SDR_STYPE_REGISTER);
  add_wire(set, bit_name("mem|addr", 7), SDR_CTYPE_DATA, SDR_STYPE_REGISTER, SDR_MTYPE_PROBEONLY_TAP, false);

  // Setup view: the trigger wires, with the program counter least
  // significant bit first and the state most significant bit first.
  SDR_DATA_SIGNAL_VIEW* setup = set->get_setup_view();
  require(setup != nullptr, "setup view");
  append_net(setup, "top|reset_sync_n");
  append_bus(setup, "pc", "cpu|pc", 16, true, SDR_GTYPE_HEX);
  append_bus(setup, "state", "fsm|state", 4, false, SDR_GTYPE_HEX, "fsm_states");
  append_net(setup, "uart|tx");
  append_net(setup, "uart|rx");
  append_net(setup, "dma|req");
  append_net(setup, "dma|ack");
  append_net(setup, "cpu|irq");

  // Data view: the data wires; the DMA handshake groups its address bus.
  SDR_DATA_SIGNAL_VIEW* data = set->get_data_view();
  require(data != nullptr, "data view");
  append_bus(data, "pc", "cpu|pc", 16, true, SDR_GTYPE_HEX);
  append_bus(data, "state", "fsm|state", 4, false, SDR_GTYPE_HEX, "fsm_states");
  append_net(data, "uart|tx");
  append_net(data, "uart|rx");
  NODE_PTR dma(data->create_bus_node("dma"));
  require(dma != nullptr, "create_bus_node");
  dma->set_bus_display_type(SDR_GTYPE_BIN);
  for (const char* name : {"dma|req", "dma|ack"}) {
    NODE_PTR net(data->create_net_node(name));
    require(net != nullptr && dma->append_child(net.get()), "append bus member");
  }
  NODE_PTR addr = make_bus(data, "addr", "mem|addr", 8, false, SDR_GTYPE_UNSIGNED_DEC);
  require(dma->append_child(addr.get()), "append nested bus");
  data->append_node(dma.get());

  // The boot trigger: out of reset, the program counter reaching the
  // start address, the state machine fetching, then the advanced level.
  SDR_DATA_TRIGGER* boot = set->create_trigger("boot", false);
  require(boot != nullptr, "create_trigger");
  boot->set_trigger_position(SDR_TPOS_CENTER);
  require(boot->set_trigger_type(SDR_TTYPE_SEGMENTED), "set_trigger_type");
  require(boot->set_segment_size(64), "set_segment_size");
  boot->set_trigger_in(SDR_TCOND_RISING_EDGE);
  boot->set_trigger_out(SDR_TCOND_ACTIVE_LOW);
  int level = boot->append_new_level(true);
  set_condition(boot, level, "top|reset_sync_n", SDR_TCOND_RISING_EDGE);
  level = boot->append_new_level(true);
  require(boot->set_trigger_condition("pc", level, 0x0100L, true), "set_trigger_condition by value");
  set_condition(boot, level, "uart|tx", SDR_TCOND_HIGH);
  level = boot->append_new_level(true);
  require(boot->set_trigger_condition("state", level, "FETCH", true), "set_trigger_condition by symbol");
  level = boot->append_new_level(true);
  set_condition(boot, level, "dma|req", SDR_TCOND_HIGH);
  set_condition(boot, level, "dma|ack", SDR_TCOND_LOW);
  boot->set_trigger_level_enabled(level, false);
  add_advanced_level(boot);

  SDR_DATA_LOG* run = boot->create_log("run1", false);
  require(run != nullptr, "create_log");
  DEMO_SIGNALS(256, 128).fill(run, set);

  // A second trigger on the serial line, with no capture yet.
  SDR_DATA_TRIGGER* uart = set->create_trigger("uart_start", false);
  require(uart != nullptr, "create_trigger");
  uart->set_trigger_position(SDR_TPOS_PRE);
  level = uart->append_new_level(true);
  set_condition(uart, level, "uart|rx", SDR_TCOND_FALLING_EDGE);
  set_condition(uart, level, "cpu|irq", SDR_TCOND_DONT_CARE);

  require(session.add_active_branch(run), "add_active_branch");
}

// The second analyzer: general purpose pins, compiled incrementally, with
// a temporary capture of the front end.
void build_io_instance(SDR_DATA_SESSION& session) {
  SDR_DATA_INSTANCE* instance = session.create_trazio_instance(nullptr);
  require(instance != nullptr, "create_trazio_instance");
  instance->set_incr_cmp_mode(true);
  SDR_DATA_SIGNAL_SET* set = instance->create_signal_set("probe", false);
  require(set != nullptr, "create_signal_set");
  set->set_clock("io|clk_io", SDR_DATA_SIGNAL_SET::NEGEDGE);
  set->set_sample_depth(128);
  set->set_kalvos_ram_type(SDR_RAM_RAMLITE);
  add_bus_wires(set, "io|gpio", 8, SDR_CTYPE_BOTH, SDR_STYPE_BIDIR_PIN);
  append_bus(set->get_setup_view(), "gpio", "io|gpio", 8, false, SDR_GTYPE_BIN);
  append_bus(set->get_data_view(), "gpio", "io|gpio", 8, false, SDR_GTYPE_BIN);
  SDR_DATA_TRIGGER* edge = set->create_trigger("gpio_edge", false);
  require(edge != nullptr, "create_trigger");
  edge->set_trigger_position(SDR_TPOS_POST);
  set_condition(edge, edge->append_new_level(true), "io|gpio[0]", SDR_TCOND_EITHER_EDGE);

  SDR_DATA_SIGNAL_SET* quick = instance->create_signal_set("quick_setup", true);
  require(quick != nullptr, "create_signal_set global");
  quick->set_clock("io|clk_io", SDR_DATA_SIGNAL_SET::NEGEDGE);
  quick->set_sample_depth(64);
  add_bus_wires(quick, "io|gpio", 4, SDR_CTYPE_BOTH, SDR_STYPE_BIDIR_PIN);
  append_bus(quick->get_data_view(), "gpio", "io|gpio", 4, false, SDR_GTYPE_BIN);
  SDR_DATA_TRIGGER* trigger = quick->create_trigger("quick", true);
  require(trigger != nullptr, "create_trigger global");
  trigger->set_trigger_position(SDR_TPOS_CONTINUOUS);
  set_condition(trigger, trigger->append_new_level(true), "io|gpio[1]", SDR_TCOND_RISING_EDGE);
  SDR_DATA_LOG* log = trigger->create_log("quick_run", true);
  require(log != nullptr, "create_log global");
  DEMO_SIGNALS(64, 0).fill(log, quick);
  require(session.add_active_branch(log), "add_active_branch");
}

// A small programming file: a header line and a fixed pseudo-random body.
std::string demo_programming_file() {
  std::string bytes = "BIX1 demo_top 2048\n";
  unsigned state = 0x2545f491u;
  while (bytes.size() < 2048) {
    state = state * 1103515245u + 12345u;
    bytes += static_cast<char>((state >> 16) & 0xff);
  }
  return bytes;
}

// Embeds the programming file through a scratch file that is removed again.
void embed_programming_file(SDR_DATA_SESSION& session) {
  const char* dir = std::getenv("TMPDIR");
  std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/tzo-demo-XXXXXX";
  std::vector<char> scratch(pattern.begin(), pattern.end());
  scratch.push_back('\0');
  int fd = mkstemp(scratch.data());
  require(fd >= 0,
          "creating a scratch file for the programming file in " + std::string(dir && *dir ? dir : "/tmp"));
  const std::string bytes = demo_programming_file();
  bool written = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  written = close(fd) == 0 && written;
  bool embedded = written && session.embed_bix_file(scratch.data(), "demo_top.bix");
  unlink(scratch.data());
  require(written, "writing the scratch programming file");
  require(embedded, "embed_bix_file");
}

void build_demo(SDR_DATA_SESSION& session, const std::string& target) {
  session.set_jtag_chain_name("lab-cable-1 [usb-1]");
  session.set_jtag_device_name("@1: LOGIC_CORE_A (0x0000a5a5)");
  // Stored relative to the file: the programming file lies beside it.
  session.set_bix_file_name(
      PATH_UTIL::join(PATH_UTIL::full_directory(PATH_UTIL::make_absolute(target)), "demo_top.bix").c_str());
  session.set_gui_logging(true);
  session.reset_active_tree();
  build_mnemonics(session);
  build_core_instance(session);
  build_io_instance(session);
  require(session.set_global_data("sample_rate_mhz", 100, false), "set_global_data");
  const int lanes[] = {0, 1, 2, 3};
  require(session.set_global_data("lane_map", lanes, 4, false), "set_global_data multi");
  embed_programming_file(session);
}

}  // namespace

int run_demo(const ARGS& args) {
  const std::string& target = args.operands[0];
  if (target.empty()) return usage_error(args.command, "empty file name for OUT");
  struct stat st;
  if (!args.has("force") && lstat(target.c_str(), &st) == 0) {
    report(target, "the file exists; use --force to replace it");
    return EXIT_FAILED;
  }
  take_posted_messages();
  const int internal_errors = MSG_INTERNAL_ERROR::get_num_reports();
  SDR_DATA_SESSION session;
  try {
    build_demo(session, target);
  } catch (const DEMO_FAILED& failure) {
    report_messages(target, take_posted_messages());
    report(target, "cannot build the example session (" + failure.what + " failed); nothing written");
    return EXIT_FAILED;
  }
  // Whatever the library posted while the session was built is a fault of
  // the demo too: nothing is written then.
  std::vector<MSG_OBJECT> posted = take_posted_messages();
  const int internal_now = MSG_INTERNAL_ERROR::get_num_reports();
  if (!posted.empty() || internal_now != internal_errors) {
    report_messages(target, posted);
    for (int i = internal_errors; i < internal_now; ++i)
      report(target, std::string("internal error: ") + MSG_INTERNAL_ERROR::get_expression_at(i) + " (" +
                         MSG_INTERNAL_ERROR::get_file_at(i) + ":" +
                         std::to_string(MSG_INTERNAL_ERROR::get_line_at(i)) + ")");
    report(target, "the library refused parts of the example session; nothing written");
    return EXIT_FAILED;
  }
  return save_settled(session, target) ? EXIT_OK : EXIT_FAILED;
}

}  // namespace tzo
