// tzo info: the session of a file as an indented tree.

#include <string>

#include "path_util.h"
#include "sdr_data_session.h"
#include "tzo_cli.h"

namespace tzo {
namespace {

struct INFO_OPTIONS {
  bool wires = false;
};

// Builds the tree in memory, one part of the session per member function,
// and writes it out in one piece. The parts for objects the session does
// not expose yet print nothing; they are filled in as those objects land.
class INFO_PRINTER {
 public:
  const std::string& print(const std::string& file, const SDR_DATA_SESSION& session,
                           const INFO_OPTIONS& options) {
    m_text.clear();
    line(0, "session " + file);
    session_properties(file, session);
    instances(session, options);
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

  static std::string or_dash(const char* text) { return text && *text ? printable(text) : std::string("-"); }

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
  // then its signal sets, triggers and logs.
  void instances(const SDR_DATA_SESSION&, const INFO_OPTIONS&) {}

  // Clock, sample depth, RAM type, trigger-in/out and wire counts of a
  // signal set; every wire with options.wires; the views' buses.
  void signal_sets(int, const INFO_OPTIONS&) {}

  // Position, storage mode, conditions and levels of each trigger.
  void triggers(int) {}

  // Sample depth, trigger position, segment size and data width of each log.
  void logs(int) {}

  void mnemonic_tables(const SDR_DATA_SESSION&) {}

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

  // Name and size of each embedded programming file.
  void embedded_files(const SDR_DATA_SESSION&) {}

  std::string m_text;
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
  out(printer.print(file, *session, options));
  return has_errors ? EXIT_FAILED : EXIT_OK;
}

}  // namespace tzo
