// Script recorder: whole scripts of a short session, check points beside
// them, escapes, script names, and nothing on disk when recording is off.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>

#include "cfg_service.h"
#include "sdr_data_manager.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_script_recorder.h"
#include "sdr_tx_session.h"
#include "sdr_tx_signal_set.h"
#include "test_util.h"

using sdr_test::read_bytes;
using sdr_test::TEMP_DIR;
using sdr_test::write_bytes;

namespace {

const char* const KEYS[] = {"tzo_tx_record", "tzo_tx_record_low_level", "tzo_tx_record_file_loc",
                            "tzo_tx_record_root_path", "tzo_tx_record_allow_ie"};

class TxRecorder : public ::testing::Test {
 protected:
  void SetUp() override {
    m_record_dir = m_dir / "scripts";
    std::filesystem::create_directory(m_record_dir);
    m_path = m_dir / "design.tzo";
    m_original = read_bytes(sdr_test::data_path("tx/design.tzo"));
    write_bytes(m_path, m_original);
    cfg_set_value("tzo_tx_record", "on");
    cfg_set_value("tzo_tx_record_root_path", m_record_dir.c_str());
  }
  void TearDown() override {
    for (const char* key : KEYS) cfg_set_value(key, nullptr);
    delete SDR_DATA_MANAGER::get_data_repository_manager();
  }
  // Opens, edits, undoes and saves; returns the script.
  std::string run_session(std::string* base) {
    SDR_TX_SESSION s(nullptr);
    EXPECT_TRUE(s.open_session(m_path.c_str()));
    SDR_TX_INSTANCE* instance = s.get_instance_at(0);
    instance->begin_action();
    s.get_signal_set_at(0)->set_sample_depth(1024);
    s.get_signal_set_at(0)->set_kalvos_ram_type(SDR_RAM_RAMLITE);
    instance->end_action();
    instance->undo();
    s.set_jtag_chain_name("it's \"x\"\\\n\t");
    s.set_bix_file_name(nullptr);
    const int values[] = {1, -2};
    s.set_global_data("g", values, 2);
    EXPECT_TRUE(s.save_session(nullptr));
    EXPECT_TRUE(s.close_session());
    *base = s.get_script_recorder()->get_base_name();
    return read_bytes(s.get_script_recorder()->get_script_path());
  }

  TEMP_DIR m_dir;
  std::string m_record_dir;
  std::string m_path;
  std::string m_original;
};

const char HEADER[] = "//\n// This is an auto-generated script used internally by Norvane Trazio.\n//\n\n";

// The script of run_session, with location markers when loc is set (their
// line numbers as "#").
std::string expected_script(const std::string& path, const std::string& base, bool loc) {
  // A command line: the command, the unit that records it, its arguments.
  auto line = [loc](const char* command, const char* unit, const char* args) {
    return command + (loc ? std::string(" /* @loc:") + unit + ".cpp,#@ */ " : "") + args + "\n";
  };
  return HEADER + ("// open_session '" + path + "'\n") + "open_session '" + base + "_init.tzo'\n" +
         "\n// Check point 0 saved.\n\n" +                                             //
         line("instance 0 begin_action", "sdr_tx_instance", "") +                      //
         line("instance 0 data_tab set_sample_depth", "sdr_tx_signal_set", " 1024") +  //
         line("instance 0 data_tab set_kalvos_ram_type", "sdr_tx_signal_set", " 'RAMLITE'") +
         line("instance 0 end_action", "sdr_tx_instance", "") +                        //
         line("instance 0 undo", "sdr_tx_instance", "") +                              //
         line("set_jtag_chain_name", "sdr_tx_session", " 'it\\'s \"x\"\\\\\\n\\t'") +  //
         line("set_bix_file_name", "sdr_tx_session", " NULL") +                        //
         line("set_global_data", "sdr_tx_session", " 'g' '1,-2'") +                    //
         "// save_session ''\n" + "save_session '" + base + "_0.tzo'\n" +              //
         "\n// Check point 1 saved.\n\n" + line("close_session", "sdr_tx_session", "");
}

TEST_F(TxRecorder, WholeScriptWithCheckPoints) {
  std::string base;
  const std::string script = run_session(&base);
  EXPECT_EQ(script, expected_script(m_path, base, false));
  // The snapshot lies one folder down: its programming-file path follows.
  std::string snapshot = m_original;
  snapshot.replace(snapshot.find("design.bix"), 0, "../");
  EXPECT_EQ(read_bytes(m_record_dir + "/" + base + "_init.tzo"), snapshot);
  EXPECT_EQ(read_bytes(m_record_dir + "/" + base + "_0.tzo"), read_bytes(m_path));  // no programming file
}

TEST_F(TxRecorder, LowLevelLinesStandOnTheirOwn) {
  cfg_set_value("tzo_tx_record_low_level", "on");
  std::string base;
  const std::string script = run_session(&base);
  EXPECT_EQ(script, HEADER + ("// open_session '" + m_path + "'\n") + "open_session '" + base +
                        "_init.tzo'\n"
                        "\n// Check point 0 saved.\n\n"
                        "->instance 0 data_tab recover_presentation_view_error\n"
                        "->instance 0 setup_tab recover_presentation_view_error\n"
                        "->instance 0 setup_tab set_trigger_level 1\n"
                        "-->instance 0 setup_tab save_properties\n"
                        "-->instance 0 setup_tab save_properties\n"
                        "->instance 1 setup_tab set_trigger_level 1\n"
                        "instance 0 begin_action\n"
                        "instance 0 data_tab set_sample_depth 1024\n"
                        "->instance 0 data_tab save_properties\n"
                        "->instance 0 data_tab save_properties\n"
                        "instance 0 data_tab set_kalvos_ram_type 'RAMLITE'\n"
                        "->instance 0 data_tab save_properties\n"
                        "->instance 0 data_tab save_properties\n"
                        "instance 0 end_action\n"
                        "instance 0 undo\n"
                        "->instance 0 data_tab restore_properties\n"
                        "->instance 0 data_tab restore_properties\n"
                        "->instance 0 set_setup_tab_selected true\n"
                        "set_jtag_chain_name 'it\\'s \"x\"\\\\\\n\\t'\n"
                        "set_bix_file_name NULL\n"
                        "set_global_data 'g' '1,-2'\n"
                        "// save_session ''\n"
                        "->commit_session\n"
                        "-->commit_instance_at 0 true\n"
                        "--->instance 0 commit\n"
                        "--->instance 0 data_tab commit true\n"
                        "---->instance 0 setup_tab sync_upon_capture_type_change\n"
                        "--->instance 0 setup_tab commit true\n"
                        "-->commit_instance_at 1 true\n"
                        "--->instance 1 commit\n"
                        "--->instance 1 data_tab commit true\n"
                        "---->instance 1 setup_tab sync_upon_capture_type_change\n"
                        "--->instance 1 setup_tab commit true\n"
                        "save_session '" +
                        base +
                        "_0.tzo'\n"
                        "\n// Check point 1 saved.\n\n"
                        "close_session\n");
}

TEST_F(TxRecorder, LocationMarkers) {
  cfg_set_value("tzo_tx_record_file_loc", "on");
  std::string base;
  const std::string script = run_session(&base);
  EXPECT_EQ(std::regex_replace(script, std::regex(",[0-9]+@"), ",#@"), expected_script(m_path, base, true));
}

TEST_F(TxRecorder, NewSessionNumbersItsFirstCheckPointOne) {
  SDR_TX_SESSION s(nullptr);
  ASSERT_TRUE(s.create_session((m_dir / "new.tzo").c_str()));
  ASSERT_TRUE(s.save_session((m_dir / "new.tzo").c_str()));
  const std::string base = s.get_script_recorder()->get_base_name();
  EXPECT_EQ(read_bytes(s.get_script_recorder()->get_script_path()),
            HEADER + ("create_session '" + (m_dir / "new.tzo") + "'\n") + "// save_session '" +
                (m_dir / "new.tzo") + "'\n" + "save_session '" + base + "_0.tzo'\n" +
                "\n// Check point 1 saved.\n\n");
  EXPECT_EQ(read_bytes(m_record_dir + "/" + base + "_0.tzo"), read_bytes(m_dir / "new.tzo"));
}

// Sessions started in the same second keep their own scripts.
TEST_F(TxRecorder, ScriptsAreNeverShared) {
  SDR_TX_SCRIPT_RECORDER first;
  SDR_TX_SCRIPT_RECORDER second;
  ASSERT_TRUE(first.is_enabled());
  ASSERT_TRUE(second.is_enabled());
  EXPECT_NE(first.get_script_path(), second.get_script_path());
  EXPECT_EQ(read_bytes(first.get_script_path()), HEADER);
}

TEST_F(TxRecorder, EmptyRootRecordsIntoTheCurrentFolder) {
  cfg_set_value("tzo_tx_record_root_path", "");
  const std::string cwd = std::filesystem::current_path().string();
  ASSERT_EQ(chdir(m_record_dir.c_str()), 0);
  std::string path;
  {
    SDR_TX_SCRIPT_RECORDER recorder;
    path = recorder.get_script_path();
  }
  const bool there = std::filesystem::exists(m_record_dir + "/" + path);
  ASSERT_EQ(chdir(cwd.c_str()), 0);
  EXPECT_EQ(path.find('/'), std::string::npos);
  EXPECT_TRUE(there);
}

TEST_F(TxRecorder, UnwritableFolderSwitchesRecordingOff) {
  cfg_set_value("tzo_tx_record_root_path", (m_dir / "missing").c_str());
  SDR_TX_SCRIPT_RECORDER recorder;
  EXPECT_FALSE(recorder.is_enabled());
  EXPECT_TRUE(recorder.get_script_path().empty());
}

TEST_F(TxRecorder, NothingOnDiskWhenOff) {
  cfg_set_value("tzo_tx_record", nullptr);
  std::string base;
  run_session(&base);
  EXPECT_TRUE(base.empty());
  EXPECT_TRUE(std::filesystem::is_empty(m_record_dir));
}

}  // namespace
