// tzo: inspects, checks and normalises configuration files from a shell.
//
// This unit holds the command table, the help texts and the command-line
// parser; each subcommand lives in its own unit.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "sdr_export.h"
#include "tzo_cli.h"
#include "tzo_exec.h"

namespace tzo {
namespace {

struct OPTION_DEF {
  const char* long_name;   // without the leading "--"
  char short_name;         // 0 when there is none
  const char* value_name;  // null for a flag
  const char* help;
};

struct COMMAND_DEF {
  const char* name;
  const char* usage;  // what follows "tzo NAME"
  const char* summary;
  const char* description;
  std::vector<OPTION_DEF> options;
  std::vector<const char*> operand_names;  // the last one repeats when max_operands < 0
  int min_operands;
  int max_operands;  // -1: no limit
  int (*run)(const ARGS&);
};

int run_help(const ARGS& args);

const std::vector<COMMAND_DEF>& commands() {
  static const std::vector<COMMAND_DEF> table = {
      {"info",
       "FILE [--wires]",
       "print the contents of a file as a tree",
       "Prints the session stored in FILE as an indented tree: the JTAG chain and\n"
       "device, the programming file, the logging flag, the analyzer instances\n"
       "with their signal sets, triggers and logs, the mnemonic tables, the global\n"
       "values and the embedded programming files. Messages posted while loading\n"
       "go to stderr.\n",
       {{"wires", 0, nullptr, "list every wire of each signal set"}},
       {"FILE"},
       1,
       1,
       run_info},
      {"check",
       "[--strict] FILE...",
       "load files and list the problems found",
       "Loads each FILE and prints every message posted while loading as\n"
       "\"FILE: SEVERITY ID: TEXT\", then one summary line per file. Fails when an\n"
       "error was posted or a file could not be read.\n",
       {{"strict", 0, nullptr, "fail on warnings too"}},
       {"FILE"},
       1,
       -1,
       run_check},
      {"fmt",
       "FILE... [-o OUT] [--check]",
       "rewrite files in the current layout",
       "Loads each FILE and saves it in place in the current layout; a file is\n"
       "replaced only once the new content is completely written. A file that\n"
       "does not load without errors is never written.\n",
       {{"output", 'o', "OUT", "write to OUT instead (with exactly one FILE)"},
        {"check", 0, nullptr, "write nothing; list the files that would change"}},
       {"FILE"},
       1,
       -1,
       run_fmt},
      {"new",
       "OUT [--instances N] [--force]",
       "create a new session file",
       "Creates a new session and saves it to OUT. An existing OUT is kept\n"
       "unless --force is given.\n",
       {{"instances", 0, "N", "number of analyzer instances to create"},
        {"force", 0, nullptr, "replace an existing OUT"}},
       {"OUT"},
       1,
       1,
       run_new},
      {"embedded",
       "FILE",
       "list the embedded programming files",
       "Lists the programming files embedded in FILE, one a line: the index\n"
       "(from 0) and the name.\n",
       {},
       {"FILE"},
       1,
       1,
       run_embedded},
      {"embed",
       "FILE BIX [--name NAME]",
       "embed a programming file",
       "Embeds the programming file BIX into FILE and saves FILE in place; the\n"
       "file is replaced only once the new content is completely written. A\n"
       "file that does not load without errors is never written. The entry is\n"
       "named after the base name of BIX unless --name is given; a name may\n"
       "occur more than once.\n",
       {{"name", 0, "NAME", "name to store it under"}},
       {"FILE", "BIX"},
       2,
       2,
       run_embed},
      {"extract",
       "FILE INDEX|NAME OUT",
       "write out an embedded programming file",
       "Writes the embedded programming file chosen by index (all digits, from\n"
       "0) or else by name (the first entry of that name) to OUT, byte for\n"
       "byte. OUT is replaced only once every byte is ready; on any failure\n"
       "nothing is written. A FILE with errors is still extracted from, and the\n"
       "exit status is then 1.\n",
       {},
       {"FILE", "INDEX|NAME", "OUT"},
       3,
       3,
       run_extract},
      {"export",
       "FILE [--instance N|NAME] [--log NAME] [--format vcd|csv] [--period NS] [--split-buses] [--pad] "
       "[--date TEXT] -o OUT",
       "write a captured log as VCD or CSV",
       "Writes captured samples of FILE to OUT for waveform viewers (VCD) or\n"
       "spreadsheets and scripts (CSV). By default each instance gives its active\n"
       "log (or its only one); --instance picks one instance (by index from 0 or\n"
       "by name) and --log names the log. The rows of the data view become the\n"
       "signals: each bus a vector in its bit order, each net outside a bus one\n"
       "bit, named by alias where one is set. A VCD holds one scope per instance\n"
       "and signal set, a \"trigger\" bit that is 1 on the trigger sample and, for\n"
       "segmented captures, a \"segment\" bit on the first sample of each\n"
       "segment. A CSV holds one log: \"sample\", \"trigger\" (and \"segment\"),\n"
       "then one column per row, buses in their radix or as the symbol of their\n"
       "mnemonic table. OUT is replaced only once it is completely written; on\n"
       "any failure nothing is written. The format follows OUT's extension\n"
       "(\".csv\" or else VCD) unless --format is given.\n",
       {{"output", 'o', "OUT", "the file to write"},
        {"instance", 0, "N|NAME", "export the log of this instance only"},
        {"log", 0, "NAME", "export the log of this name"},
        {"format", 0, "vcd|csv", "the file format"},
        {"period", 0, "NS", "nanoseconds per sample in a VCD (default 1; up to 3 decimals)"},
        {"split-buses", 0, nullptr, "VCD: one 1-bit variable per bus bit instead of vectors"},
        {"pad", 0, nullptr, "read bits missing from a short capture as 0 instead of failing"},
        {"date", 0, "TEXT", "the date written in the VCD header (default: now)"}},
       {"FILE"},
       1,
       1,
       run_export},
      {"demo",
       "OUT [--force]",
       "write an example session",
       "Writes an example session built through the library to OUT: two\n"
       "analyzer instances, signal sets with buses and a mnemonic table,\n"
       "triggers with basic and advanced levels, captured logs, global values\n"
       "and an embedded programming file. The content is fixed: the captured\n"
       "samples come from a small simulation, not from random data. An\n"
       "existing OUT is kept unless --force is given.\n",
       {{"force", 0, nullptr, "replace an existing OUT"}},
       {"OUT"},
       1,
       1,
       run_demo},
      {"import",
       "OLD [-o OUT]",
       "convert a file of the older text layout",
       "Reads OLD, a configuration file of the older text layout (its first line\n"
       "starts with \"[@\\TZO=\"), and writes it in the current layout to OUT,\n"
       "by default OLD with the extension \".tzo\". The file is written only once\n"
       "its new content is complete. Without -o an existing file is never\n"
       "replaced, and OLD itself only with -o OLD. Prints what was imported:\n"
       "signals, groups, trigger conditions, debug outputs and acquisition\n"
       "settings, and how many entries were skipped, by reason.\n",
       {{"output", 'o', "OUT", "write to OUT (an existing OUT is replaced)"}},
       {"OLD"},
       1,
       1,
       run_import},
      {"exec",
       "FILE [SCRIPT|-] [--keep-going] [--record DIR]",
       "run an editing script on a file",
       "Opens FILE for editing and runs the commands of SCRIPT (standard input\n"
       "when absent or \"-\"), one a line, in the language the editing layer\n"
       "records:\n"
       "\n"
       "  // set up the first instance\n"
       "  instance 0 rename 'uart_probe'\n"
       "  instance 0 setup_tab set_trigger_level 2\n"
       "  instance 0 setup_tab set_trigger_position 'post'\n"
       "  instance 0 data_tab set_sample_depth 256\n"
       "  set_jtag_chain_name 'chain \\'A\\''\n"
       "  save_session\n"
       "\n"
       "A line is a session command, or \"instance N\" followed by an instance\n"
       "command, or by \"setup_tab\" or \"data_tab\" and a command of that tab's\n"
       "rows and settings. Arguments are 'quoted text' (escapes \\' \\\\ \\n \\t),\n"
       "NULL, decimal integers, true and false; enumerations are quoted in\n"
       "their stored form ('post', 'both') and integer lists as '1,2,3'. Rows\n"
       "are counted from 0. Lines starting with \"//\" or \"-\" and blank lines are\n"
       "skipped. An edit outside begin_action/end_action is one undo step.\n"
       "\n"
       "save_session without an argument (or with '') writes FILE in place,\n"
       "crash-safe; save_session 'OUT' writes OUT. Nothing is written\n"
       "otherwise. At the end a summary tells whether the session was modified\n"
       "or saved and which compilation the edits need per instance.\n"
       "\n"
       "A line that cannot be parsed or run, or that names an instance or row\n"
       "that does not exist, stops the run with \"tzo: SCRIPT:LINE: TEXT\" and\n"
       "exit status 1; files saved by earlier lines stay as saved. An edit\n"
       "that changes nothing is reported the same way and stops the run too,\n"
       "unless --keep-going is given (the exit status is then still 1).\n"
       "\n"
       "Names the library generates (a trigger saved after an edit gets a new\n"
       "one) end in the local time; with SOURCE_DATE_EPOCH set (seconds since\n"
       "1970) that time is used instead, for output that does not change from\n"
       "run to run.\n"
       "\n"
       "Commands (rows: ROW, FIRST, LAST, BEFORE):\n",
       {{"keep-going", 0, nullptr, "go on after an edit that changes nothing"},
        {"record", 0, "DIR", "record the run as a script with check points in DIR"}},
       {"FILE", "SCRIPT"},
       1,
       2,
       run_exec},
      {"replay",
       "SCRIPT",
       "replay a recorded script against its check points",
       "Replays a script recorded by the editing layer (or by tzo exec --record)\n"
       "against the check-point files beside it. \"open_session 'X_init.tzo'\"\n"
       "opens a private copy of that file; \"create_session 'NAME'\" starts a\n"
       "new session in a private folder. At each \"save_session 'X_N.tzo'\" the\n"
       "session is saved privately and compared byte for byte with X_N.tzo\n"
       "beside the script (names the library generates end in the time they\n"
       "were made; that part is left out of the comparison). Nothing is ever\n"
       "written beside the script.\n"
       "\n"
       "  tzo replay recordings/tzo_tx_2026_12_06_10_00_00.log\n"
       "\n"
       "Exits 0 when every check point matches. Otherwise the exit status is 1\n"
       "and the message names the script line and the check point, followed\n"
       "by the first differing line of the two files as a short unified diff.\n"
       "Edits refused by the library are replayed as they were recorded. The\n"
       "language is that of 'tzo help exec'.\n",
       {},
       {"SCRIPT"},
       1,
       1,
       run_replay},
      {"help",
       "[COMMAND]",
       "show the help of a command",
       "Shows the list of commands, or the help of COMMAND.\n",
       {},
       {"COMMAND"},
       0,
       1,
       run_help},
  };
  return table;
}

const COMMAND_DEF* find_command(const std::string& name) {
  for (const COMMAND_DEF& c : commands())
    if (name == c.name) return &c;
  return nullptr;
}

// The commands of editing scripts by form, for tzo help exec.
std::string script_command_list() {
  static const std::pair<const char*, const char*> forms[] = {{"session", ""},
                                                              {"instance", "instance N "},
                                                              {"tab", "instance N setup_tab|data_tab "},
                                                              {"data_tab", "instance N data_tab "},
                                                              {"setup_tab", "instance N setup_tab "}};
  std::string text;
  for (const auto& form : forms) {
    for (const SCRIPT_COMMAND_INFO& info : list_script_commands()) {
      if (info.nested_only || std::string(info.form) != form.first) continue;
      text +=
          std::string("  ") + form.second + info.name + (*info.arguments ? " " : "") + info.arguments + "\n";
    }
  }
  return text;
}

const char* const MAIN_USAGE = "usage: tzo COMMAND [ARGS...]";

void print_main_help() {
  std::string text;
  text += MAIN_USAGE;
  text +=
      "\n\nInspects, checks, normalises and edits configuration files of the logic\nanalyzer.\n"
      "\nCommands:\n";
  for (const COMMAND_DEF& c : commands()) {
    std::string name = c.name;
    name.resize(10, ' ');
    text += "  " + name + c.summary + "\n";
  }
  text +=
      "\nOptions:\n"
      "  -h, --help  show this help\n"
      "  --version   show the version\n"
      "\nResults go to stdout, messages to stderr as \"tzo: FILE: TEXT [ID]\".\n"
      "Exit status: 0 success, 1 a file has errors or could not be read or\n"
      "written, 2 usage error.\n"
      "\nRun 'tzo help COMMAND' for the options of a command.\n";
  out(text);
}

std::string option_label(const OPTION_DEF& o) {
  std::string label = o.short_name ? std::string("-") + o.short_name + ", " : std::string();
  label += std::string("--") + o.long_name;
  if (o.value_name) label += std::string(" ") + o.value_name;
  return label;
}

void print_command_help(const COMMAND_DEF& c) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const OPTION_DEF& o : c.options) rows.emplace_back(option_label(o), o.help);
  rows.emplace_back("-h, --help", "show this help");
  size_t width = 0;
  for (const auto& row : rows) width = std::max(width, row.first.size());

  std::string text = std::string("usage: tzo ") + c.name + " " + c.usage + "\n\n" + c.description;
  if (std::string(c.name) == "exec") text += script_command_list();
  text += "\nOptions:\n";
  for (auto& row : rows) {
    row.first.resize(width, ' ');
    text += "  " + row.first + "  " + row.second + "\n";
  }
  out(text);
}

int run_help(const ARGS& args) {
  if (args.operands.empty()) {
    print_main_help();
    return EXIT_OK;
  }
  const COMMAND_DEF* c = find_command(args.operands[0]);
  if (!c) return usage_error("help", "unknown command '" + args.operands[0] + "'");
  print_command_help(*c);
  return EXIT_OK;
}

bool is_help_option(const std::string& arg) {
  return arg == "-h" || arg == "--help";
}

const OPTION_DEF* find_long(const COMMAND_DEF& c, const std::string& name) {
  for (const OPTION_DEF& o : c.options)
    if (name == o.long_name) return &o;
  return nullptr;
}

const OPTION_DEF* find_short(const COMMAND_DEF& c, char name) {
  for (const OPTION_DEF& o : c.options)
    if (o.short_name && o.short_name == name) return &o;
  return nullptr;
}

// Splits the arguments after the command name into options and operands.
// Returns EXIT_OK, or the status of a usage error already reported.
int parse_arguments(const COMMAND_DEF& c, int argc, char** argv, ARGS* args) {
  args->command = c.name;
  bool options_ended = false;
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      args->operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    const OPTION_DEF* def = nullptr;
    std::string display;
    std::string value;
    bool has_value = false;
    if (arg[1] == '-') {
      size_t eq = arg.find('=');
      std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      display = "--" + name;
      def = find_long(c, name);
      if (def && eq != std::string::npos) {
        if (!def->value_name) return usage_error(c.name, "option '" + display + "' takes no value");
        value = arg.substr(eq + 1);
        has_value = true;
      }
    } else {
      display = arg.substr(0, 2);
      def = find_short(c, arg[1]);
      if (def && arg.size() > 2) {
        if (!def->value_name) return usage_error(c.name, "unknown option '" + arg + "'");
        value = arg.substr(2);
        has_value = true;
      }
    }
    if (!def) return usage_error(c.name, "unknown option '" + (arg[1] == '-' ? display : arg) + "'");
    if (def->value_name && !has_value) {
      if (i + 1 >= argc) return usage_error(c.name, "option '" + display + "' needs a value");
      value = argv[++i];
    }
    args->options[def->long_name] = value;
  }
  int count = static_cast<int>(args->operands.size());
  if (count < c.min_operands) {
    const char* missing =
        c.operand_names[static_cast<size_t>(count) < c.operand_names.size() ? static_cast<size_t>(count)
                                                                            : c.operand_names.size() - 1];
    return usage_error(c.name, std::string("missing argument ") + missing);
  }
  if (c.max_operands >= 0 && count > c.max_operands)
    return usage_error(c.name,
                       "unexpected argument '" + args->operands[static_cast<size_t>(c.max_operands)] + "'");
  return EXIT_OK;
}

int top_level_usage_error(const std::string& text) {
  std::fprintf(stderr, "tzo: %s\n%s (see 'tzo --help')\n", text.c_str(), MAIN_USAGE);
  return EXIT_USAGE;
}

int run(int argc, char** argv) {
  if (argc < 2) return top_level_usage_error("missing command");
  std::string first = argv[1];
  if (is_help_option(first)) {
    print_main_help();
    return EXIT_OK;
  }
  if (first == "--version") {
    out("tzo " SDR_VERSION_STRING "\n");
    return EXIT_OK;
  }
  if (first.size() > 1 && first[0] == '-') return top_level_usage_error("unknown option '" + first + "'");
  const COMMAND_DEF* c = find_command(first);
  if (!c) return top_level_usage_error("unknown command '" + first + "'");

  for (int i = 2; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (is_help_option(argv[i])) {
      print_command_help(*c);
      return EXIT_OK;
    }
  }
  ARGS args;
  int status = parse_arguments(*c, argc - 2, argv + 2, &args);
  if (status != EXIT_OK) return status;
  return c->run(args);
}

}  // namespace

int usage_error(const std::string& command, const std::string& text) {
  const COMMAND_DEF* c = find_command(command);
  std::fprintf(stderr, "tzo: %s: %s\n", command.c_str(), text.c_str());
  if (c) std::fprintf(stderr, "usage: tzo %s %s (see 'tzo help %s')\n", c->name, c->usage, c->name);
  return EXIT_USAGE;
}

}  // namespace tzo

int main(int argc, char** argv) {
  int status;
  try {
    status = tzo::run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tzo: %s\n", e.what());
    status = tzo::EXIT_FAILED;
  }
  tzo::release_manager();
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "tzo: cannot write the output\n");
    if (status == tzo::EXIT_OK) status = tzo::EXIT_FAILED;
  }
  return status;
}
