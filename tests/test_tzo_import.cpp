// Import of the older text form: whole files imported, saved and compared
// byte for byte; hostile files; the collectors on their own.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "msg_service.h"
#include "sdr_data_instance.h"
#include "sdr_data_manager.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"
#include "sdr_tzo_signal_set.h"
#include "sdr_tzo_trigger.h"
#include "test_util.h"

using sdr_test::read_bytes;
using sdr_test::TEMP_DIR;
using sdr_test::write_bytes;

namespace {

class TzoImport : public testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0)
        << (MSG_INTERNAL_ERROR::get_num_reports() ? MSG_INTERNAL_ERROR::get_expression_at(0) : "");
    EXPECT_EQ(sdr_test::posted_ids(), "");
  }

  // The saved form of a legacy file loaded into a session.
  std::string imported(const std::string& path) {
    SDR_DATA_SESSION session(path.c_str());
    EXPECT_NE(session.get_name(), nullptr) << path;
    std::string out;
    EXPECT_TRUE(session.save_as((m_dir / "out.tzo").c_str(), true, true));
    return read_bytes(m_dir / "out.tzo");
  }

  TEMP_DIR m_dir;
};

SDR_DATA_SIGNAL_SET* imported_set(SDR_DATA_SESSION& session) {
  SDR_DATA_INSTANCE* instance = session.get_num_instances() > 0 ? session.get_instance_at(0) : nullptr;
  return instance ? instance->find_signal_set("signals_imported") : nullptr;
}

}  // namespace

TEST_F(TzoImport, WholeFilesSaveAsExpected) {
  for (const char* name : {"full", "edges", "acq_only"}) {
    std::string legacy = sdr_test::data_path(std::string("legacy/") + name + ".stp");
    std::string expected = read_bytes(sdr_test::data_path(std::string("legacy/") + name + ".tzo"));
    ASSERT_FALSE(expected.empty()) << name;
    EXPECT_EQ(imported(legacy), expected) << name;
  }
}

TEST_F(TzoImport, ReportCountsWhatWasTakenAndSkipped) {
  SDR_DATA_SESSION full(sdr_test::data_path("legacy/full.stp").c_str());
  const SDR_TZO_IMPORT_REPORT* r = full.get_tzo_import_report();
  ASSERT_NE(r, nullptr);
  EXPECT_TRUE(r->file_read);
  EXPECT_EQ(r->signals, 9);
  EXPECT_EQ(r->groups, 2);
  EXPECT_EQ(r->conditions, 6);
  EXPECT_EQ(r->debug_outputs, 1);
  EXPECT_TRUE(r->clock_set && r->depth_set && r->position_set && r->trigger_in_set && r->trigger_out_set);
  EXPECT_EQ(r->skipped[SDR_TZO_IMPORT_REPORT::SKIP_UNKNOWN_KEY], 1);
  EXPECT_EQ(r->get_num_skipped(), 1);
  EXPECT_EQ(r->other_lines, 4);

  SDR_DATA_SESSION edges(sdr_test::data_path("legacy/edges.stp").c_str());
  r = edges.get_tzo_import_report();
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->signals, 4);
  EXPECT_EQ(r->skipped[SDR_TZO_IMPORT_REPORT::SKIP_INDEX_RANGE], 2);
  EXPECT_EQ(r->skipped[SDR_TZO_IMPORT_REPORT::SKIP_MALFORMED], 1);
  EXPECT_EQ(r->skipped[SDR_TZO_IMPORT_REPORT::SKIP_DUPLICATE_NAME], 1);
  EXPECT_EQ(r->skipped[SDR_TZO_IMPORT_REPORT::SKIP_UNKNOWN_SIGNAL], 1);
  EXPECT_EQ(r->skipped[SDR_TZO_IMPORT_REPORT::SKIP_UNKNOWN_DEBUG_WIRE], 1);
  EXPECT_EQ(r->skipped[SDR_TZO_IMPORT_REPORT::SKIP_REPLACED_SECTION], 1);  // depth=512
  // What was taken (index gaps make no wire, each condition stays with its
  // signal) is in the saved form WholeFilesSaveAsExpected compares.
}

TEST_F(TzoImport, ManagerImportsAndRegisters) {
  std::string path = m_dir / "old.tzo";
  write_bytes(path, "[Signal]\na=0\n");  // no mark needed when asked for by name
  SDR_DATA_MANAGER* m = SDR_DATA_MANAGER::get_data_repository_manager();
  SDR_DATA_SESSION* s = m->open_session_from_tzo(path.c_str());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(m->open_session_from_tzo(path.c_str()), s);
  EXPECT_EQ(s->get_open_ref(), 2);
  SDR_DATA_SIGNAL_SET* set = imported_set(*s);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->get_trigger_wire_width(), 1);
  EXPECT_TRUE(m->close_session(path.c_str()));
  EXPECT_TRUE(m->close_session(path.c_str()));

  // A missing file still gives the new, empty instance, registered.
  std::string missing = m_dir / "missing.stp";
  s = m->open_session_from_tzo(missing.c_str());
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->get_num_instances(), 1);
  EXPECT_NE(imported_set(*s), nullptr);
  EXPECT_FALSE(s->get_tzo_import_report()->file_read);
  EXPECT_TRUE(m->close_session(missing.c_str()));
}

TEST_F(TzoImport, HostileFilesEndQuicklyWithoutCrash) {
  struct CASE {
    const char* name;
    std::string bytes;
    int wires;
  };
  std::string long_line = "[@\\TZO=1]\n[Signal]\n`" + std::string(2 << 20, 'n') + "`=0\nb=1\nb:P1=\"" +
                          std::string(2 << 20, 'r') +
                          "\n[ACQ=\"Tessaro ELA\"]\ndpo:" + std::string(2 << 20, 'b');
  std::string nul = sdr_test::bytes_of("[@\\TZO=1]\n[Signal]\na\0b=0\nc=1\na=2\na\0:P1=\"h\"\n");
  const CASE cases[] = {
      {"huge index", "[@\\TZO=1]\n[Signal]\nfar=4294967295\nnear=65535\n", 1},
      {"overflowing index",
       "[@\\TZO=1]\n[Signal]\nx=184467440737095516160\ny=999999999999999999999999\nz=0\n", 1},
      {"NUL bytes", nul, 2},
      {"2 MB lines", long_line, 2},
      {"empty file", "", 0},
      {"mark only", "[@\\TZO=", 0},
      {"headers only", "[@\\TZO=1]\r\n[Signal]\r\n[ACQ=\"Tessaro ELA\"]\r\n[Signal]", 0},
  };
  for (const CASE& c : cases) {
    std::string path = m_dir / "hostile.stp";
    write_bytes(path, c.bytes);
    auto start = std::chrono::steady_clock::now();
    SDR_DATA_MANAGER* m = SDR_DATA_MANAGER::get_data_repository_manager();
    SDR_DATA_SESSION* s = m->open_session_from_tzo(path.c_str());
    ASSERT_NE(s, nullptr) << c.name;
    SDR_DATA_SIGNAL_SET* set = imported_set(*s);
    ASSERT_NE(set, nullptr) << c.name;
    EXPECT_EQ(set->get_trigger_wire_width(), c.wires) << c.name;
    std::string text;
    EXPECT_TRUE(s->write_to_string(&text)) << c.name;
    EXPECT_TRUE(m->close_session(path.c_str()));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0) << c.name;
  }

  // A directory, through the manager and through a load.
  SDR_DATA_MANAGER* m = SDR_DATA_MANAGER::get_data_repository_manager();
  SDR_DATA_SESSION* s = m->open_session_from_tzo(m_dir.path().c_str());
  ASSERT_NE(s, nullptr);
  EXPECT_FALSE(s->get_tzo_import_report()->file_read);
  EXPECT_TRUE(m->close_session(m_dir.path().c_str()));
}

TEST_F(TzoImport, NulInANameNeverMatchesAnotherSignal) {
  std::string path = m_dir / "nul.stp";
  write_bytes(path, sdr_test::bytes_of("[@\\TZO=1]\n[Signal]\na=0\n`a\0x`:P1=\"h\"\n"));
  SDR_DATA_SESSION session(path.c_str());
  SDR_DATA_SIGNAL_SET* set = imported_set(session);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->find_trigger("trigger_imported")->get_condition(0, 0), SDR_TCOND_DONT_CARE);
}

TEST_F(TzoImport, CollectorsOnTheirOwn) {
  SDR_TZO_SIGNAL_SET signals;
  EXPECT_FALSE(signals.add_signal(SDR_TZO_SIGNAL_SET::MAX_SIGNAL_INDEX + 1, "far"));
  EXPECT_FALSE(signals.add_signal(0, ""));
  EXPECT_FALSE(signals.add_signal(0, "tab\there"));
  EXPECT_EQ(signals.get_num_records(), 0);
  EXPECT_TRUE(signals.add_signal(1, "a"));
  EXPECT_TRUE(signals.add_signal(1, "b"));  // replaces a
  EXPECT_FALSE(signals.set_trigger_condition("a", 'r'));
  EXPECT_TRUE(signals.set_trigger_condition("b", 'r'));
  EXPECT_TRUE(signals.set_group("b", "g"));
  EXPECT_EQ(signals.get_num_records(), 2);
  EXPECT_STREQ(signals.get_name_at(0), "");
  EXPECT_STREQ(signals.get_group_at(1), "g");
  EXPECT_EQ(signals.get_condition_at(1), 'r');

  // The conditions need the wires first.
  EXPECT_FALSE(signals.apply_trigger_conditions(nullptr, nullptr));
  ASSERT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 1);
  EXPECT_STREQ(MSG_INTERNAL_ERROR::get_expression_at(0), "m_morph_signals_done");
  MSG_INTERNAL_ERROR::clear_reports();

  // The condition letters of both cases, and positions 90 and 20, are in
  // the files WholeFilesSaveAsExpected compares.
  EXPECT_EQ(SDR_TZO_TRIGGER::convert_position(0), SDR_TPOS_CONTINUOUS);
  EXPECT_EQ(SDR_TZO_TRIGGER::convert_position(10), SDR_TPOS_PRE);
  EXPECT_EQ(SDR_TZO_TRIGGER::convert_position(50), SDR_TPOS_CENTER);
  EXPECT_EQ(SDR_TZO_TRIGGER::convert_trigger_in('-'), SDR_TCOND_DISABLE);
  EXPECT_EQ(SDR_TZO_TRIGGER::convert_trigger_out('l'), SDR_TCOND_ACTIVE_LOW);
  SDR_TZO_TRIGGER acquisition;
  acquisition.set_trigger_in("\"");  // no letter after the quote
  EXPECT_EQ(acquisition.get_trigger_in(), 0);
}
