// tzo info: the session of a file as an indented tree.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>
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
#include "tzo_tree_object.h"

namespace tzo {
namespace {

struct INFO_OPTIONS {
  bool wires = false;
};

// Rows of a view nested deeper than this are printed at this depth, so that
// a deeply nested document cannot make the output grow with the square of
// its depth.
const int MAX_VIEW_INDENT = 16;

std::string text_of(SDR_DATA_SIGNAL_TYPE value) {
  const char* text = nullptr;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(value, &text);
  return text ? text : "?";
}

std::string text_of(SDR_DATA_WIRE_CAPTURE_TYPE value) {
  const char* text = nullptr;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(value, &text);
  return text ? text : "?";
}

std::string text_of(SDR_DATA_WIRE_TAP_MODE value) {
  const char* text = nullptr;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(value, &text);
  return text ? text : "?";
}

std::string text_of(SDR_DATA_TRIGGER_CONDITION value) {
  const char* text = nullptr;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(value, &text);
  return text ? text : "?";
}

std::string text_of(SDR_DATA_TRIGGER_POSITION value) {
  const char* text = nullptr;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(value, &text);
  return text ? text : "?";
}

std::string text_of(SDR_DATA_TRIGGER_TYPE value) {
  const char* text = nullptr;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(value, &text);
  return text ? text : "?";
}

std::string text_of(SDR_DATA_GROUP_DISPLAY_TYPE value) {
  const char* text = nullptr;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(value, &text);
  return text ? text : "?";
}

std::string text_of(SDR_KALVOS_RAM_TYPE value) {
  const char* text = nullptr;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(value, &text);
  return text ? text : "?";
}

std::string or_dash(const char* text) {
  return text && *text ? printable(text) : std::string("-");
}

// "1 bus", "2 buses": the plural is the noun plus "es" after an s, else "s".
std::string count_of(int n, const std::string& noun) {
  if (n == 1) return "1 " + noun;
  return std::to_string(n) + " " + noun + (noun.back() == 's' ? "es" : "s");
}

using NODE_PTR = std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE>;

// A node handed out by the view, or null when there is none.
NODE_PTR take(SDR_DATA_SIGNAL_VIEW_NODE* node) {
  NODE_PTR owned(node);
  if (owned && owned->is_null()) owned.reset();
  return owned;
}

// Builds the tree in memory, one part of the session per member function,
// and writes it out in one piece.
class INFO_PRINTER {
 public:
  const std::string& print(const std::string& file, const SDR_DATA_SESSION& session,
                           const INFO_OPTIONS& options) {
    m_text.clear();
    m_options = options;
    line(0, "session " + file);
    session_properties(file, session);
    instances(session);
    mnemonic_tables(session);
    global_values(session);
    embedded_files(session);
    return m_text;
  }

 private:
  void line(int depth, const std::string& text) {
    m_text.append(static_cast<size_t>(depth) * 2, ' ');
    m_text += text;
    m_text += '\n';
  }

  void session_properties(const std::string& file, const SDR_DATA_SESSION& session) {
    line(1, "jtag chain: " + or_dash(session.get_jtag_chain_name()));
    line(1, "jtag device: " + or_dash(session.get_jtag_device_name()));
    // The session holds the programming file as an absolute path; it is
    // shown the way the file stores it, relative to the file's directory.
    const char* bix = session.get_bix_file_name();
    std::string shown;
    if (bix && *bix)
      shown = PATH_UTIL::relative_to(bix, PATH_UTIL::full_directory(PATH_UTIL::make_absolute(file)));
    line(1, "bix file: " + or_dash(shown.c_str()));
    line(1, std::string("gui logging: ") + (session.is_gui_logging_enabled() ? "on" : "off"));
  }

  // Each analyzer instance: name, node identity, version, compilation mode,
  // then its signal sets with their triggers and logs.
  void instances(const SDR_DATA_SESSION& session) {
    const int count = session.get_num_instances();
    if (count == 0) {
      line(1, "instances: none");
      return;
    }
    for (int i = 0; i < count; ++i) {
      SDR_DATA_INSTANCE* instance = session.get_instance_at(i);
      if (instance) this->instance(session, *instance);
    }
  }

  void instance(const SDR_DATA_SESSION& session, SDR_DATA_INSTANCE& instance) {
    line(1, "instance " + or_dash(instance.get_name()));
    const SDR_DATA_INSTANCE_INFO info = instance.get_node_info();
    std::string version = info.version == 255 ? std::string("undefined") : std::to_string(info.version);
    if (info.inferred_version != 255) version += " (inferred " + std::to_string(info.inferred_version) + ")";
    line(2, "node: mfg " + std::to_string(info.mfg_id) + ", node " + std::to_string(info.node_id) +
                ", index " + std::to_string(info.instance_index) + ", version " + version);
    line(2, std::string("compilation: ") + (instance.is_incr_cmp_mode() ? "incremental" : "full"));
    line(2, std::string("auto node: ") + (instance.is_auto_node() ? "yes" : "no"));
    line(2, "entity: " + or_dash(instance.get_entity_name()));
    line(2, "source file: " + or_dash(instance.get_source_filename()));
    if (session.has_active_tree()) {
      SDR_DATA_INSTANCE* key = &instance;
      SDR_DATA_SIGNAL_SET* set = session.find_active_signal_set(key);
      SDR_DATA_TRIGGER* trigger = session.find_active_trigger(key);
      SDR_DATA_LOG* log = session.find_active_log(key);
      if (set || trigger || log)
        line(2, "active: signal set " + (set ? or_dash(set->get_name()) : "-") + ", trigger " +
                    (trigger ? or_dash(trigger->get_name()) : "-") + ", log " +
                    (log ? or_dash(log->get_name()) : "-"));
    }
    const int count = instance.get_num_signal_sets();
    if (count == 0 && !instance.get_global_signal_set()) line(2, "signal sets: none");
    for (int i = 0; i < count; ++i) {
      SDR_DATA_SIGNAL_SET* set = instance.get_signal_set_at(i);
      if (set) signal_set(2, *set);
    }
    if (SDR_DATA_SIGNAL_SET* global = instance.get_global_signal_set()) signal_set(2, *global);
  }

  static std::string global_mark(bool global) { return global ? " (global temp)" : ""; }

  static std::string port_text(bool enabled, const char* pin, const char* node) {
    std::string text = enabled ? "on" : "off";
    if (pin && *pin) text += ", pin " + printable(pin);
    if (node && *node) text += ", node " + printable(node);
    return text;
  }

  // Clock, sample depth, RAM type, trigger-in/out and wire counts of a
  // signal set; every wire with --wires; the views' buses; the triggers.
  void signal_set(int depth, SDR_DATA_SIGNAL_SET& set) {
    line(depth, "signal set " + or_dash(set.get_name()) + global_mark(set.is_global_temp()));
    const int d = depth + 1;
    line(d, "clock: " + or_dash(set.get_clock_name()) + " (" +
                (set.get_clock_polarity() == SDR_DATA_SIGNAL_SET::NEGEDGE ? "negedge" : "posedge") + ")");
    line(d, "sample depth: " + std::to_string(set.get_sample_depth()));
    line(d, "ram type: " + text_of(set.get_kalvos_ram_type()));
    line(d, "trigger in: " +
                port_text(set.is_trigger_in_enabled(), set.get_trigger_in_pin(), set.get_trigger_in_node()));
    line(d, "trigger out: " + port_text(set.is_trigger_out_enabled(), set.get_trigger_out_pin(),
                                        set.get_trigger_out_node()));
    line(d, "reserved nodes: data " + std::to_string(set.get_reserved_data_node_size()) + ", trigger " +
                std::to_string(set.get_reserved_trigger_node_size()));
    line(d, "wires: trigger " + std::to_string(set.get_trigger_wire_width()) + ", data " +
                std::to_string(set.get_data_wire_width()) + ", distinct " +
                std::to_string(set.get_wire_size()));
    if (m_options.wires) wires(d + 1, set);
    view(d, "setup view", set.get_setup_view());
    view(d, "data view", set.get_data_view());
    const int count = set.get_num_triggers();
    for (int i = 0; i < count; ++i) {
      SDR_DATA_TRIGGER* trigger = set.get_trigger_at(i);
      if (trigger) this->trigger(d, *trigger);
    }
    if (SDR_DATA_TRIGGER* global = set.get_global_trigger()) this->trigger(d, *global);
  }

  // Every wire once: the trigger wires in trigger order, then the wires
  // that are data wires only, in data order.
  void wires(int depth, const SDR_DATA_SIGNAL_SET& set) {
    std::unordered_set<const SDR_DATA_SIGNAL_WIRE*> shown;
    const int triggers = set.get_trigger_wire_width();
    for (int i = 0; i < triggers; ++i) {
      const SDR_DATA_SIGNAL_WIRE* w = set.get_trigger_wire_at(i);
      if (w && shown.insert(w).second) wire(depth, *w);
    }
    const int data = set.get_data_wire_width();
    for (int i = 0; i < data; ++i) {
      const SDR_DATA_SIGNAL_WIRE* w = set.get_data_wire_at(i);
      if (w && shown.insert(w).second) wire(depth, *w);
    }
  }

  static std::string index_text(int index) { return index >= 0 ? std::to_string(index) : std::string("-"); }

  void wire(int depth, const SDR_DATA_SIGNAL_WIRE& w) {
    std::string text = "wire " + or_dash(w.get_name()) + ": alias " + or_dash(w.get_alias()) + ", capture " +
                       text_of(w.get_capture_type()) + ", tap " + text_of(w.get_tap_mode()) + ", type " +
                       text_of(w.get_signal_type()) + ", " +
                       (w.get_connection_status() ? "connected" : "not connected") + ", trigger index " +
                       index_text(w.get_trigger_wire_index()) + ", data index " +
                       index_text(w.get_data_wire_index());
    if (w.is_debug_port()) text += ", debug port " + or_dash(w.get_debug_port_name());
    line(depth, text);
  }

  // The buses of a view, nested buses below their bus. The walk keeps the
  // path from the top row in a list, not on the call stack.
  void view(int depth, const char* title, SDR_DATA_SIGNAL_VIEW* view) {
    if (!view || !view->get_dom_node()) {
      line(depth, std::string(title) + ": none");
      return;
    }
    int buses = 0;
    int nets = 0;
    std::string rows;
    std::vector<NODE_PTR> path;
    NODE_PTR node = take(view->get_first_node());
    while (node) {
      if (!node->is_bus()) {
        ++nets;
      } else {
        ++buses;
        const int nesting = std::min(static_cast<int>(path.size()), MAX_VIEW_INDENT);
        rows.append(static_cast<size_t>(depth + 1 + nesting) * 2, ' ');
        rows += bus_text(*node);
        rows += '\n';
        NODE_PTR child = take(node->get_first_child());
        if (child) {
          path.push_back(std::move(node));
          node = std::move(child);
          continue;
        }
      }
      // On to the next row: the next sibling, else that of the nearest
      // enclosing bus that has one.
      NODE_PTR next = take(node->get_next_sibling());
      while (!next && !path.empty()) {
        next = take(path.back()->get_next_sibling());
        path.pop_back();
      }
      node = std::move(next);
    }
    line(depth, std::string(title) + ": " + count_of(buses, "bus") + ", " + count_of(nets, "net"));
    m_text += rows;
  }

  static std::string bus_text(SDR_DATA_SIGNAL_VIEW_NODE& bus) {
    int members = 0;
    for (NODE_PTR member = take(bus.get_first_child()); member; member = take(member->get_next_sibling()))
      ++members;
    return "bus " + or_dash(bus.get_name()) + ": alias " + or_dash(bus.get_alias()) + ", radix " +
           text_of(bus.get_bus_display_type()) + ", mnemonics " + or_dash(bus.get_mnemonics_table()) + ", " +
           (bus.is_lsb_to_msb() ? "lsb first" : "msb first") + ", " + count_of(members, "member");
  }

  // Position, storage mode, conditions and levels of a trigger, then its
  // logs.
  void trigger(int depth, SDR_DATA_TRIGGER& trigger) {
    line(depth, "trigger " + or_dash(trigger.get_name()) + global_mark(trigger.is_global_temp()));
    const int d = depth + 1;
    line(d, "position: " + text_of(trigger.get_trigger_position()));
    std::string storage = "storage: " + text_of(trigger.get_trigger_type());
    if (trigger.is_segment_enabled())
      storage += ", segment size " + std::to_string(trigger.get_segment_size());
    line(d, storage);
    line(d, "trigger in: " + text_of(trigger.get_trigger_in()));
    line(d, "trigger out: " + text_of(trigger.get_trigger_out()));
    // The stored configuration CRC, else the one computed from the
    // settings; 0 (shown as "-") when the instance's version is undefined.
    char crc[24];
    std::snprintf(crc, sizeof crc, "%lX", trigger.get_crc_value());
    line(d, std::string("crc: ") + (std::strcmp(crc, "0") == 0 ? "-" : crc));
    const int levels = trigger.get_event_levels();
    line(d, "levels: " + std::to_string(levels));
    for (int level = 0; level < levels; ++level) {
      std::string text = "level " + std::to_string(level) + ": " +
                         (trigger.is_trigger_level_enabled(level) ? "enabled" : "disabled") + ", ";
      if (trigger.is_trigger_level_basic_condition(level)) {
        const char* condition = trigger.get_condition_text(level);
        text += "basic: " + (condition && *condition ? printable(condition) : std::string("(no condition)"));
      } else {
        const char* expression = trigger.get_advanced_trigger_expression(level);
        text += "advanced: " +
                (expression && *expression ? printable(expression) : std::string("(no expression)"));
        if (expression && *expression && !trigger.get_advanced_trigger_factory(level))
          text += " (does not compile)";
      }
      line(d + 1, text);
      if (!trigger.is_trigger_level_basic_condition(level)) condition_tree(d + 2, trigger, level);
    }
    const int count = trigger.get_num_logs();
    for (int i = 0; i < count; ++i) {
      SDR_DATA_LOG* log = trigger.get_log_at(i);
      if (log) this->log(d, *log);
    }
    if (SDR_DATA_LOG* global = trigger.get_global_log()) log(d, *global);
  }

  // The stored condition tree of an advanced level, one node a line.
  void condition_tree(int depth, SDR_DATA_TRIGGER& trigger, int level) {
    SDR_DATA_TRIGGER_ADV_TREE_OBJ* root = trigger.get_advanced_trigger_tree_root(level);
    if (!root || root->is_null()) return;
    TZO_TREE_OBJECT tree;
    SDR_TX_TREE_OBJECT::build_tx_object_tree_from_data_trigger(&tree, root);
    line(depth, "tree:");
    m_text += tree.describe(depth + 1);
  }

  void log(int depth, const SDR_DATA_LOG& log) {
    line(depth, "log " + or_dash(log.get_name()) + global_mark(log.is_global_temp()) + ": sample depth " +
                    std::to_string(log.get_data_sample_depth()) + ", trigger position " +
                    std::to_string(log.get_data_trigger_position()) + ", segment size " +
                    std::to_string(log.get_data_segment_size()) + ", data width " +
                    std::to_string(log.get_data_width()) + ", data " +
                    (log.is_data_available() ? "yes" : "no"));
  }

  void mnemonic_tables(const SDR_DATA_SESSION& session) {
    const SDR_DATA_MNEMONICS* mnemonics = session.find_mnemonics();
    const int count = mnemonics ? mnemonics->get_num_tables() : 0;
    if (count == 0) {
      line(1, "mnemonic tables: none");
      return;
    }
    line(1, "mnemonic tables:");
    for (int i = 0; i < count; ++i) {
      const SDR_DATA_MNEMONICS_TABLE* table = mnemonics->get_table(i);
      if (!table) continue;
      const int entries = table->get_num_entries();
      line(2, "table " + or_dash(table->get_name()) + ": width " + std::to_string(table->get_width()) + ", " +
                  std::to_string(entries) + (entries == 1 ? " entry" : " entries"));
      for (int e = 0; e < entries; ++e)
        line(3, or_dash(table->get_first_symbol(e)) + " = " + or_dash(table->get_value(e)));
    }
  }

  void global_values(const SDR_DATA_SESSION& session) {
    const auto& singles = session.get_global_singles();
    const auto& multis = session.get_global_multis();
    if (singles.empty() && multis.empty()) {
      line(1, "global values: none");
      return;
    }
    line(1, "global values:");
    for (const auto& kv : singles)
      line(2, "single " + printable(kv.first.c_str()) + " = " + std::to_string(kv.second));
    for (const auto& kv : multis) {
      std::string text =
          "multi " + printable(kv.first.c_str()) + " [" + std::to_string(kv.second.size()) + "]";
      const char* separator = " = ";
      for (int v : kv.second) {
        text += separator;
        text += std::to_string(v);
        separator = ", ";
      }
      line(2, text);
    }
  }

  // Name and stored size of each embedded programming file ("-" for a
  // size that does not read), and the instance ids and CRCs recorded for it.
  void embedded_files(const SDR_DATA_SESSION& session) {
    const int count = session.get_embedded_bix_file_count();
    if (count == 0) {
      line(1, "embedded files: none");
      return;
    }
    line(1, "embedded files:");
    for (int i = 0; i < count; ++i) {
      std::string text =
          "file " + std::to_string(i) + ": " + or_dash(session.get_embedded_bix_filename_at(i));
      const int size = session.get_embedded_bix_file_size_at(i);
      text += ", size " + (size < 0 ? std::string("-") : std::to_string(size));
      const char* id_crc = session.get_embedded_bix_inst_id_crc_at(i);
      if (id_crc && *id_crc) text += ", id_crc_pairs " + printable(id_crc);
      line(2, text);
    }
  }

  std::string m_text;
  INFO_OPTIONS m_options;
};

}  // namespace

int run_info(const ARGS& args) {
  const std::string& file = args.operands[0];
  INFO_OPTIONS options;
  options.wires = args.has("wires");

  bool has_errors = false;
  SESSION_PTR session = load_reporting(file, &has_errors);
  if (!session) return EXIT_FAILED;
  INFO_PRINTER printer;
  const std::string& text = printer.print(file, *session, options);
  // Anything the walk itself posted (a broken reference, say) follows the
  // messages of the load.
  report_messages(file, take_posted_messages());
  out(text);
  return has_errors ? EXIT_FAILED : EXIT_OK;
}

}  // namespace tzo
