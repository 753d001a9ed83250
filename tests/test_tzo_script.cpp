// Editing scripts: the line reader of tzo, its command table against the
// operations the library records, and recorded editing sessions replayed
// by tzo replay.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cfg_service.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_script_recorder.h"
#include "sdr_tx_session.h"
#include "sdr_tx_signal_set.h"
#include "sdr_tx_trigger.h"
#include "test_util.h"
#include "tzo_exec.h"
#include "tzo_script.h"
#include "tzo_tree_object.h"

using namespace tzo;
using sdr_test::TEMP_DIR;

namespace {

SCRIPT_COMMAND parsed(const std::string& line) {
  SCRIPT_COMMAND command;
  std::string error;
  EXPECT_EQ(parse_script_line(line, &command, &error), SCRIPT_LINE_KIND::COMMAND) << line << ": " << error;
  return command;
}

std::string parse_error(const std::string& line) {
  SCRIPT_COMMAND command;
  std::string error;
  EXPECT_EQ(parse_script_line(line, &command, &error), SCRIPT_LINE_KIND::ERROR) << line;
  return error;
}

}  // namespace

// The ordinary lines of recorded sessions are read back by ScriptReplay;
// here the forms its random edits do not make.
TEST(ScriptReader, ReadsTheLinesTheRecorderWrites) {
  SCRIPT_COMMAND c = parsed("create_trazio_instance NULL");
  EXPECT_EQ(c.form, SCRIPT_FORM::SESSION);
  EXPECT_EQ(c.args[0].kind, SCRIPT_TOKEN_KIND::NULL_VALUE);

  // The location marker of the recorder is blank; so is a carriage return.
  c = parsed("instance 0 data_tab /* @loc:sdr_tx_signal_set.cpp,254@ */  set_sample_depth -256\r");
  EXPECT_EQ(c.form, SCRIPT_FORM::DATA_TAB);
  EXPECT_EQ(c.args[0].value, -256);

  SCRIPT_COMMAND skipped;
  std::string error;
  for (const char* line :
       {"", "   \t", "// open_session 'a.tzo'", "  // note", "->instance 0 setup_tab toggle_node 2",
        "--->instance 0 data_tab commit true", "/* @loc:x.cpp,1@ */ "})
    EXPECT_EQ(parse_script_line(line, &skipped, &error), SCRIPT_LINE_KIND::SKIPPED) << line;
}

TEST(ScriptReader, QuotedTextsSurviveTheRecordersQuoting) {
  for (const std::string text : {"", "plain", "it's", "back\\slash", "two\nlines", "tab\there", "\\'",
                                 "'\\n'", "end\\", "a /* b */ c", "// not a comment"}) {
    const std::string quoted = SDR_TX_SCRIPT_RECORDER::quote(text.c_str());
    const SCRIPT_COMMAND c = parsed("instance 0 rename " + quoted);
    ASSERT_EQ(c.args.size(), 1u);
    EXPECT_EQ(c.args[0].text, text);
    EXPECT_EQ(parsed(print_script_command(c)), c);
  }
  EXPECT_EQ(SDR_TX_SCRIPT_RECORDER::quote(nullptr), "NULL");
}

TEST(ScriptReader, RefusesMalformedLinesWithAReason) {
  EXPECT_EQ(parse_error("instance 0 rename 'open"), "unterminated quoted text");
  EXPECT_EQ(parse_error("instance 0 rename 'a\\'"), "unterminated quoted text");
  EXPECT_NE(parse_error("instance 0 rename 'a\\qb'").find("unknown escape \\q"), std::string::npos);
  EXPECT_NE(parse_error("instance 0 data_tab set_sample_depth 99999999999").find("out of range"),
            std::string::npos);
  EXPECT_NE(parse_error("instance 0 data_tab set_sample_depth 12ab").find("malformed number '12ab'"),
            std::string::npos);
  EXPECT_NE(parse_error("instance x undo").find("instance index"), std::string::npos);
  EXPECT_NE(parse_error("instance 0 setup_tab").find("command name is missing"), std::string::npos);
  EXPECT_NE(parse_error("'name' rename").find("starts with a command name"), std::string::npos);
  EXPECT_NE(parse_error("rename \"x\"").find("unexpected character '\"'"), std::string::npos);
  EXPECT_NE(parse_error("undo /* open").find("unterminated /*"), std::string::npos);
  EXPECT_NE(parse_error(std::string("rename 'a\0b'", 12)).find("NUL"), std::string::npos);
}

TEST(ScriptReader, RefusesOverlongLinesWithoutReadingThem) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  std::fputs("undo\n", f);
  const std::string big(SCRIPT_READER::MAX_LINE + 10, 'x');
  std::fputs(big.c_str(), f);
  std::fputs("\nredo\n", f);
  std::rewind(f);
  SCRIPT_READER reader(f);
  std::string line;
  EXPECT_EQ(reader.next(&line), SCRIPT_READER::LINE);
  EXPECT_EQ(line, "undo");
  EXPECT_EQ(reader.next(&line), SCRIPT_READER::TOO_LONG);
  EXPECT_EQ(reader.get_line_number(), 2);
  EXPECT_LE(line.size(), SCRIPT_READER::MAX_LINE);
  std::fclose(f);
}

// ------------------------------------------------------------ command table

namespace {

struct RECORDED {
  std::string file;
  std::string form;  // session, instance, data_tab, setup_tab, tab
  std::string name;
};

// The record scopes opened in the transaction units: SDR_TX_RECORD(scope,
// recorder[, index[, tab]], "name"), and macros of a unit that open one with
// only the name (NAME_RECORD("name")), which take the node-list form.
std::vector<RECORDED> recorded_operations() {
  std::vector<RECORDED> found;
  const std::string dir = std::string(SDR_SOURCE_DIR) + "/sdr/";
  for (const char* unit :
       {"sdr_tx_session", "sdr_tx_instance", "sdr_tx_signal_nodes", "sdr_tx_signal_nodes_structure",
        "sdr_tx_signal_nodes_commit", "sdr_tx_signal_set", "sdr_tx_trigger", "sdr_tx_trigger_nodes",
        "sdr_tx_trigger_commit", "sdr_tx_tree_object", "sdr_tx_undo_manager"}) {
    const std::string text = sdr_test::read_bytes(dir + unit + ".cpp");
    const std::string tab = std::string(unit) == "sdr_tx_signal_set"                  ? "data_tab"
                            : std::string(unit).compare(0, 14, "sdr_tx_trigger") == 0 ? "setup_tab"
                                                                                      : "tab";
    static const std::regex full("SDR_TX_RECORD(?:_SCOPE\\s+\\w+)?\\s*\\(([^;\"]*)\"(\\w+)\"\\s*\\)");
    for (std::sregex_iterator it(text.begin(), text.end(), full), end; it != end; ++it) {
      const std::string before = (*it)[1];
      if (before.find("__VA_ARGS__") != std::string::npos) continue;
      int commas = 0;
      for (char c : before) commas += c == ',';
      // SDR_TX_RECORD names the scope first; SDR_TX_RECORD_SCOPE x( does not.
      const bool macro = it->str().compare(0, 20, "SDR_TX_RECORD_SCOPE ") != 0;
      const int leading = macro ? commas - 1 : commas;
      const char* form = leading == 1 ? "session" : leading == 2 ? "instance" : tab.c_str();
      found.push_back({unit, form, (*it)[2]});
    }
    static const std::regex short_form("\\b[A-Z]+_RECORD\\(\"(\\w+)\"\\)");
    for (std::sregex_iterator it(text.begin(), text.end(), short_form), end; it != end; ++it)
      found.push_back({unit, tab, (*it)[1]});
  }
  return found;
}

}  // namespace

// A newly recorded operation that scripts cannot run fails here: add it to
// tools/tzo_exec_table.cpp (or mark it as only ever nested there).
TEST(ScriptCommands, EveryRecordedOperationIsInTheTable) {
  const std::vector<RECORDED> recorded = recorded_operations();
  ASSERT_GT(recorded.size(), 60u);
  std::set<std::pair<std::string, std::string>> table;
  for (const SCRIPT_COMMAND_INFO& info : list_script_commands()) table.emplace(info.form, info.name);
  std::set<std::pair<std::string, std::string>> used;
  for (const RECORDED& r : recorded) {
    std::vector<std::string> forms = {r.form};
    if (r.form == "data_tab" || r.form == "setup_tab") forms.push_back("tab");
    bool known = false;
    for (const std::string& form : forms) {
      if (table.count({form, r.name})) {
        used.emplace(form, r.name);
        known = true;
      }
    }
    EXPECT_TRUE(known) << r.file << ".cpp records '" << r.name << "' (" << r.form
                       << " form), which the script command table does not know";
  }
  // And the table holds nothing the library does not record, but for the
  // check-point lines the recorder writes itself.
  for (const auto& entry : table) {
    if (entry.second == "open_session" || entry.second == "save_session") continue;
    EXPECT_TRUE(used.count(entry)) << entry.first << " " << entry.second << " is not recorded by the library";
  }
}

// ------------------------------------------------------------ record, replay

namespace {

int run_tzo(const std::string& arguments, std::string* err) {
  TEMP_DIR out;
  const std::string command = std::string("'") + SDR_TZO_PROGRAM + "' " + arguments + " >'" +
                              (out / "stdout") + "' 2>'" + (out / "stderr") + "'";
  const int status = std::system(command.c_str());
  if (err) *err = sdr_test::read_bytes(out / "stderr");
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const char* const RECORD_KEYS[] = {"tzo_tx_record", "tzo_tx_record_root_path", "tzo_tx_record_low_level",
                                   "tzo_tx_record_file_loc"};

// Drives a transaction session through a seeded random sequence of edits
// with recording on, and returns the script's path.
class RECORDED_SESSION {
 public:
  RECORDED_SESSION(const TEMP_DIR& dir, unsigned seed, int steps, bool low_level) {
    cfg_set_value("tzo_tx_record", "on");
    cfg_set_value("tzo_tx_record_root_path", (dir / "rec").c_str());
    cfg_set_value("tzo_tx_record_low_level", low_level ? "on" : nullptr);
    cfg_set_value("tzo_tx_record_file_loc", low_level ? "on" : nullptr);
    std::filesystem::create_directory(dir / "rec");
    sdr_test::write_bytes(dir / "rec/.keep", "");
    const std::string file = dir / "work.tzo";
    sdr_test::write_bytes(file, sdr_test::read_bytes(sdr_test::data_path("two_probes.tzo")));
    // The tree object of tzo, which tzo replay uses too.
    SDR_TX_SESSION session(new TZO_TREE_OBJECT());
    EXPECT_TRUE(session.open_session(file.c_str()));
    EXPECT_EQ(session.get_num_instances(), 2);
    script = session.get_script_recorder()->get_script_path();
    std::mt19937 random(seed);
    for (int step = 0; step < steps; ++step) {
      edit(session, random, step);
      if (step == steps / 3 || step == steps - 1) {
        EXPECT_TRUE(session.save_session((dir / "out.tzo").c_str()));
      }
    }
    session.disable_script_recording();
    session.close_session();
    for (const char* key : RECORD_KEYS) cfg_set_value(key, nullptr);
    MSG_REPORT::get_default_report()->clear_posted();
    MSG_INTERNAL_ERROR::clear_reports();
  }

  std::string script;

 private:
  static int pick(std::mt19937& random, int count) {
    return count > 0 ? static_cast<int>(random() % static_cast<unsigned>(count)) : 0;
  }

  void edit(SDR_TX_SESSION& session, std::mt19937& random, int step) {
    const int index = pick(random, 2);
    SDR_TX_INSTANCE* instance = session.get_instance_at(index);
    SDR_TX_SIGNAL_SET* data = session.get_signal_set_at(index);
    SDR_TX_TRIGGER* setup = session.get_trigger_at(index);
    const int choice = pick(random, 20);
    if (choice == 0) {
      instance->undo();
      return;
    }
    if (choice == 1) {
      instance->redo();
      return;
    }
    instance->begin_action();
    const int data_rows = data->get_node_count();
    const int setup_rows = setup->get_node_count();
    static const char* const positions[] = {"pre", "center", "post", "continuous"};
    static const char* const conditions[] = {"dont_care", "low", "high", "rising edge", "falling edge"};
    switch (choice) {
      case 2:
        instance->rename(("probe '" + std::to_string(step) + "'\t" + std::to_string(index)).c_str());
        break;
      case 3:
        instance->set_incr_cmp_mode(random() % 2 == 0);
        break;
      case 4:
        data->set_sample_depth(64 << pick(random, 5));
        break;
      case 5:
        data->set_node_alias(pick(random, data_rows), ("alias\\" + std::to_string(step)).c_str());
        break;
      case 6:
        data->set_node_group_display_type(pick(random, data_rows),
                                          static_cast<SDR_DATA_GROUP_DISPLAY_TYPE>(1 + pick(random, 6)));
        break;
      case 7:
        data->toggle_node(pick(random, data_rows));
        break;
      case 8: {
        const int first = pick(random, data_rows);
        data->move_before_node(first, first, pick(random, data_rows + 1), false);
        break;
      }
      case 9:
        data->set_node_lsb_to_msb(pick(random, data_rows), random() % 2 == 0);
        break;
      case 10:
        setup->set_node_signal_inverted(pick(random, setup_rows), random() % 2 == 0);
        break;
      case 11: {
        SDR_DATA_TRIGGER_POSITION position;
        SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(positions[pick(random, 4)], &position);
        setup->set_trigger_position(position);
        break;
      }
      case 12:
        setup->set_segment_size(16 << pick(random, 4));
        break;
      case 13: {
        SDR_DATA_TRIGGER_CONDITION condition;
        SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(conditions[pick(random, 5)], &condition);
        setup->set_trigger_condition(pick(random, setup_rows), 0, condition);
        break;
      }
      case 14: {
        const int first = pick(random, setup_rows);
        setup->move_before_node(first, first, pick(random, setup_rows + 1), false);
        break;
      }
      case 15:
        setup->set_node_alias(pick(random, setup_rows), ("s" + std::to_string(step)).c_str());
        break;
      case 16:
        session.set_jtag_chain_name(("chain\n" + std::to_string(step)).c_str());
        break;
      case 17:
        instance->set_position_data("zoom", step);
        break;
      case 18:
        data->set_clock_source(random() % 2 ? "top|clk_sys" : "io|clk_io");
        break;
      default:
        setup->set_trigger_in_condition(SDR_TCOND_RISING_EDGE);
        break;
    }
    instance->end_action();
  }
};

// The number of the script line that holds text, or 0.
int line_of(const std::string& script, const std::string& text) {
  std::istringstream in(sdr_test::read_bytes(script));
  std::string line;
  for (int n = 1; std::getline(in, line); ++n)
    if (line == text) return n;
  return 0;
}

void expect_replay_and_tamper(const TEMP_DIR& dir, const std::string& script) {
  std::string err;
  EXPECT_EQ(run_tzo("replay '" + script + "'", &err), 0) << err;

  // One changed byte in the second check point fails at its save line.
  const std::string snapshot = script.substr(0, script.size() - 4) + "_1.tzo";
  std::string bytes = sdr_test::read_bytes(snapshot);
  ASSERT_GT(bytes.size(), 400u);
  const size_t at = bytes.find("sample_depth=\"");
  ASSERT_NE(at, std::string::npos);
  bytes[at + 14] = bytes[at + 14] == '9' ? '8' : '9';
  sdr_test::write_bytes(snapshot, bytes);
  const std::string name = snapshot.substr(snapshot.rfind('/') + 1);
  const int line = line_of(script, "save_session '" + name + "'");
  ASSERT_GT(line, 0);
  EXPECT_EQ(run_tzo("replay '" + script + "'", &err), 1);
  EXPECT_NE(err.find(script + ":" + std::to_string(line) + ": check point '" + name + "' differs"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find("--- " + name + " (recorded)\n+++ " + name + " (replayed)\n@@ -"), std::string::npos)
      << err;
  // Nothing was written beside the script.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "rec")) files += entry.is_regular_file();
  EXPECT_EQ(files, 5);  // .keep, the script, _init, _0, _1
}

}  // namespace

// Recorded with and without the low-level lines and location markers, which
// replay skips.
TEST(ScriptReplay, ARecordedEditingSessionReplaysToTheSameFiles) {
  for (bool low_level : {false, true}) {
    SCOPED_TRACE(low_level ? "low level" : "plain");
    TEMP_DIR dir;
    RECORDED_SESSION recorded(dir, low_level ? 4711 : 17, 300, low_level);
    ASSERT_FALSE(recorded.script.empty());
    const std::string text = sdr_test::read_bytes(recorded.script);
    EXPECT_NE(text.find("instance 1 undo"), std::string::npos);
    EXPECT_NE(text.find("instance 0 setup_tab move_before_node"), std::string::npos);
    EXPECT_EQ(text.find("\n->") != std::string::npos, low_level);
    EXPECT_EQ(text.find("/* @loc:") != std::string::npos, low_level);
    expect_replay_and_tamper(dir, recorded.script);
  }
}

TEST(ScriptReplay, AMissingCheckPointFails) {
  TEMP_DIR dir;
  sdr_test::write_bytes(dir / "s.log", "// no snapshot\n\nopen_session 'gone_init.tzo'\n");
  std::string err;
  EXPECT_EQ(run_tzo("replay '" + (dir / "s.log") + "'", &err), 1);
  EXPECT_NE(err.find("s.log:3: cannot read the check point 'gone_init.tzo' beside the script"),
            std::string::npos)
      << err;
}

TEST(ScriptExec, ReadsStandardInputAndLeavesTheFileAloneOnABadLine) {
  TEMP_DIR dir;
  const std::string file = dir / "probe.tzo";
  const std::string original = sdr_test::read_bytes(sdr_test::data_path("two_probes.tzo"));
  sdr_test::write_bytes(file, original);

  // A line of 10 MB is refused by its number, without a write.
  {
    std::ofstream script(dir / "big.tzs", std::ios::binary);
    script << "instance 1 rename 'fine'\n// a comment\ninstance 0 rename '" << std::string(10 << 20, 'x')
           << "'\nsave_session\n";
  }
  std::string err;
  EXPECT_EQ(run_tzo("exec '" + file + "' - < '" + (dir / "big.tzs") + "'", &err), 1);
  EXPECT_EQ(err, "tzo: <stdin>:3: line longer than 1048576 bytes\n");
  EXPECT_EQ(sdr_test::read_bytes(file), original);

  // The same edits from standard input, saved in place.
  sdr_test::write_bytes(dir / "ok.tzs", "instance 1 rename 'it\\'s'\nsave_session ''\n");
  EXPECT_EQ(run_tzo("exec '" + file + "' < '" + (dir / "ok.tzs") + "'", &err), 0) << err;
  EXPECT_NE(sdr_test::read_bytes(file).find("name=\"it's\""), std::string::npos);
}
