// Captured logs written as VCD and CSV.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <utility>

#include "cfg_service.h"
#include "msg_service.h"
#include "sdr_data_export.h"
#include "sdr_data_instance.h"
#include "sdr_data_log.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_trigger.h"
#include "test_util.h"

using sdr_test::TEMP_DIR;

namespace {

using SESSION = std::unique_ptr<SDR_DATA_SESSION>;
using NODE = std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE>;

SESSION load(const std::string& path) {
  SESSION session(new SDR_DATA_SESSION(path.c_str()));
  EXPECT_EQ(sdr_test::posted_ids(), "") << path;
  return session;
}

// The first log of the first trigger of the first signal set of instance i.
SDR_DATA_LOG* first_log(const SDR_DATA_SESSION& session, int i = 0) {
  SDR_DATA_INSTANCE* instance = session.get_instance_at(i);
  SDR_DATA_SIGNAL_SET* set = instance ? instance->get_signal_set_at(0) : nullptr;
  SDR_DATA_TRIGGER* trigger = set ? set->get_trigger_at(0) : nullptr;
  return trigger ? trigger->get_log_at(0) : nullptr;
}

// A session of one instance whose data view is `view` over data wires
// w0 .. w(width-1), with one log of `depth` samples holding `bits`.
std::string session_text(int width, int depth, const std::string& view, const std::string& bits,
                         const std::string& mnemonics = "") {
  std::string text =
      "<session>" + mnemonics + "<instance name=\"i\"><signal_set name=\"s\"><clock name=\"c\"/>";
  text += "<config sample_depth=\"" + std::to_string(depth) +
          "\"/><signal_vec><trigger_input_vec/><data_input_vec>";
  for (int w = 0; w < width; ++w) text += "<wire name=\"w" + std::to_string(w) + "\" type=\"register\"/>";
  text += "</data_input_vec></signal_vec><presentation><data_view>" + view + "</data_view><setup_view/>";
  text += "</presentation><trigger name=\"t\"><events/><data name=\"log\" sample_depth=\"" +
          std::to_string(depth) + "\" trigger_position=\"0\">" + bits +
          "</data></trigger></signal_set></instance></session>";
  return text;
}

// A bus row "b" over w0 (least significant) .. w(width-1).
std::string bus_view(int width, const char* radix) {
  std::string view = std::string("<bus name=\"b\" order=\"lsb_to_msb\" radix=\"") + radix + "\">";
  for (int w = 0; w < width; ++w) view += "<net name=\"w" + std::to_string(w) + "\"/>";
  return view + "</bus>";
}

class DataExport : public testing::Test {
 protected:
  void TearDown() override { cfg_set_value("sdr_regression_test", nullptr); }

  SESSION load_text(const std::string& text) {
    const std::string path = m_dir / "in.tzo";
    sdr_test::write_bytes(path, text);
    return load(path);
  }

  // The log exported as CSV; empty when the export fails.
  std::string csv(SDR_DATA_LOG* log, const SDR_DATA_EXPORT::OPTIONS& options = {}) {
    SDR_DATA_EXPORT exporter;
    exporter.set_options(options);
    std::string error;
    const std::string path = m_dir / "out.csv";
    if (!exporter.append_log(log, &error) || !exporter.write_csv(path.c_str(), &error)) {
      ADD_FAILURE() << error;
      return "";
    }
    return sdr_test::read_bytes(path);
  }

  std::string vcd(SDR_DATA_LOG* log, SDR_DATA_EXPORT::OPTIONS options = {}) {
    SDR_DATA_EXPORT exporter;
    if (options.date.empty()) options.date = "today";
    exporter.set_options(options);
    std::string error;
    const std::string path = m_dir / "out.vcd";
    if (!exporter.append_log(log, &error) || !exporter.write_vcd(path.c_str(), &error)) {
      ADD_FAILURE() << error;
      return "";
    }
    return sdr_test::read_bytes(path);
  }

  TEMP_DIR m_dir;
};

TEST_F(DataExport, VcdOfPlainLogHoldsOnlyTheChanges) {
  SESSION session = load(sdr_test::data_path("export/plain.tzo"));
  EXPECT_EQ(vcd(first_log(*session)),
            "$date\n\ttoday\n$end\n$version\n\tsdr " SDR_VERSION_STRING
            "\n$end\n"
            "$comment\n\tinstance core, signal set main, log run: 8 samples, trigger sample 3\n$end\n"
            "$timescale 1 ns $end\n"
            "$scope module core $end\n$scope module main $end\n"
            "$var wire 1 ! trigger $end\n$var wire 1 \" top_a $end\n$var wire 1 % top_b $end\n"
            "$var wire 4 & count [3:0] $end\n"
            "$upscope $end\n$upscope $end\n$enddefinitions $end\n"
            "#0\n$dumpvars\n0!\n0\"\n0%\nb0000 &\n$end\n"
            "#1\n1\"\nb0001 &\n#2\n0\"\nb0010 &\n#3\n1!\n1\"\n1%\nb0011 &\n#4\n0!\n0\"\nb0100 &\n"
            "#5\n1\"\nb0101 &\n#6\n0\"\nb0110 &\n#7\n1\"\nb0111 &\n#8\n");
}

TEST_F(DataExport, SegmentMarkerAndPeriod) {
  SESSION session = load(sdr_test::data_path("export/segmented.tzo"));
  SDR_DATA_EXPORT::OPTIONS options;
  options.period_ps = 20000;  // 20 ns: units of 10 ns, two a sample
  const std::string text = vcd(first_log(*session), options);
  EXPECT_NE(text.find("12 samples in segments of 4, trigger sample 0\n"), std::string::npos);
  EXPECT_NE(text.find("$timescale 10 ns $end\n"), std::string::npos);
  EXPECT_NE(text.find("$var wire 1 \" segment $end\n"), std::string::npos);
  // The marker rises on samples 0, 4 and 8 and falls after each.
  EXPECT_NE(text.find("#0\n$dumpvars\n1!\n1\"\n"), std::string::npos);
  EXPECT_NE(text.find("#2\n0!\n0\"\n"), std::string::npos);
  EXPECT_NE(text.find("#8\n1\"\n"), std::string::npos);
  EXPECT_NE(text.find("#10\n0\"\n"), std::string::npos);
  EXPECT_NE(text.find("#16\n1\"\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 4), "#24\n");
}

TEST_F(DataExport, BusesFollowTheirBitOrderAndNesting) {
  SESSION session = load(sdr_test::data_path("export/lsb.tzo"));
  SDR_DATA_LOG* log = first_log(*session);
  const std::string expected =
      "sample,trigger,pc,word,hi\n0,0,1,001,00\n1,0,2,010,01\n2,1,4,101,10\n3,0,8,110,11\n4,0,3,111,11\n"
      "5,0,A,000,00\n";
  EXPECT_EQ(csv(log), expected);
  // The same rows listed the other way round give the same values.
  SDR_DATA_SIGNAL_VIEW* view = log->get_signal_set()->get_data_view();
  NODE pc(view->find_bus_node("pc"));
  pc->set_lsb_to_msb(false);
  EXPECT_EQ(
      csv(log),
      "sample,trigger,pc,word,hi\n0,0,8,001,00\n1,0,4,010,01\n2,1,2,101,10\n3,0,1,110,11\n4,0,C,111,11\n"
      "5,0,5,000,00\n");
  // A row shown inverted is exported inverted: inside a bus, only its bit.
  NODE hi(view->find_bus_node("hi"));
  NODE q1(hi->get_first_child());
  q1->set_signal_inverted(true);
  EXPECT_EQ(
      csv(log),
      "sample,trigger,pc,word,hi\n0,0,8,101,10\n1,0,4,110,11\n2,1,2,001,00\n3,0,1,010,01\n4,0,C,011,01\n"
      "5,0,5,100,10\n");
}

TEST_F(DataExport, NamesMadeSafeAndUnique) {
  SESSION session = load(sdr_test::data_path("export/aliases.tzo"));
  SDR_DATA_EXPORT::OPTIONS options;
  options.split_buses = true;
  const std::string text = vcd(first_log(*session), options);
  for (const char* line : {"$scope module _3rd_core $end\n$scope module set_one $end\n",
                           " data_valid_ $end\n", " trigger_2 $end\n", " _sig___more $end\n", " a_b $end\n",
                           " a_b_2 $end\n", " bus___low___ok_[1] $end\n", " bus___low___ok_[0] $end\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  // CSV keeps the names as the user sees them, quoted where needed.
  EXPECT_EQ(csv(first_log(*session)).substr(0, 79),
            "sample,trigger,data valid?,trigger,$sig & more,a-b,a b,\"bus, \"\"low\"\" [ok]\"\n0,1,");
}

TEST_F(DataExport, CsvRadixes) {
  // One byte bus over samples 0x00, 0x7F, 0x80, 0xFF, 0x41.
  SESSION session = load_text(session_text(8, 5, bus_view(8, "hex"),
                                           "00000000111111100000000111111111"
                                           "10000010"));
  SDR_DATA_LOG* log = first_log(*session);
  NODE bus(log->get_signal_set()->get_data_view()->find_bus_node("b"));
  const struct {
    SDR_DATA_GROUP_DISPLAY_TYPE radix;
    const char* values;
  } cases[] = {
      {SDR_GTYPE_HEX, "00 7F 80 FF 41"},
      {SDR_GTYPE_BIN, "00000000 01111111 10000000 11111111 01000001"},
      {SDR_GTYPE_OCT, "000 177 200 377 101"},
      {SDR_GTYPE_UNSIGNED_DEC, "0 127 128 255 65"},
      {SDR_GTYPE_SIGNED_DEC, "0 127 -128 -1 65"},
      {SDR_GTYPE_SIGN_MAGNITUDE_DEC, "0 127 -0 -127 65"},
      {SDR_GTYPE_ASCII, ". . . . A"},
      {SDR_GTYPE_LINE_SIGNED, "0 127 -128 -1 65"},
  };
  for (const auto& c : cases) {
    bus->set_bus_display_type(c.radix);
    // The bus column of every row after the header.
    std::string values;
    const std::string text = csv(log);
    for (size_t start = text.find('\n') + 1; start < text.size();) {
      const size_t end = text.find('\n', start);
      const size_t comma = text.rfind(',', end);
      values += (values.empty() ? "" : " ") + text.substr(comma + 1, end - comma - 1);
      start = end + 1;
    }
    EXPECT_EQ(values, c.values) << c.radix;
  }
}

TEST_F(DataExport, WideBusesInDecimal) {
  // 70 bits: all ones, then only the top bit.
  const std::string ones(70, '1');
  const std::string top = std::string(69, '0') + "1";
  SESSION session = load_text(session_text(70, 2, bus_view(70, "unsigned_dec"), ones + top));
  SDR_DATA_LOG* log = first_log(*session);
  EXPECT_EQ(csv(log), "sample,trigger,b\n0,1,1180591620717411303423\n1,0,590295810358705651712\n");
  NODE bus(log->get_signal_set()->get_data_view()->find_bus_node("b"));
  bus->set_bus_display_type(SDR_GTYPE_SIGNED_DEC);
  EXPECT_EQ(csv(log), "sample,trigger,b\n0,1,-1\n1,0,-590295810358705651712\n");
}

TEST_F(DataExport, MnemonicSymbolsWhereTheTableHasTheValue) {
  SESSION session = load(sdr_test::data_path("export/plain.tzo"));
  SDR_DATA_LOG* log = first_log(*session);
  EXPECT_EQ(csv(log), sdr_test::read_bytes(sdr_test::data_path("export/plain.csv")));
  // Without a symbol the value shows in the bus's stored radix.
  NODE bus(log->get_signal_set()->get_data_view()->find_bus_node("count"));
  bus->set_bus_display_type(SDR_GTYPE_BIN);
  EXPECT_EQ(csv(log),
            "sample,trigger,top|a,top|b,count\n0,0,0,0,IDLE\n1,0,1,0,ONE\n2,0,0,0,0010\n3,1,1,1,ODD\n"
            "4,0,0,1,0100\n5,0,1,1,ODD\n6,0,0,1,0110\n7,0,1,1,ODD\n");
  // A table that does not exist: raw values, and a warning.
  bus->set_mnemonics_table("gone");
  MSG_REPORT::get_default_report()->clear_posted();
  EXPECT_EQ(csv(log),
            "sample,trigger,top|a,top|b,count\n0,0,0,0,0000\n1,0,1,0,0001\n2,0,0,0,0010\n3,1,1,1,0011\n"
            "4,0,0,1,0100\n5,0,1,1,0101\n6,0,0,1,0110\n7,0,1,1,0111\n");
  EXPECT_EQ(sdr_test::posted_ids(), "WSDR_INVALID_SYM_TABLE");
}

TEST_F(DataExport, UnconnectedWiresAndShorterLogsReadUnknown) {
  // The demo: instance 0 has 256 samples with one wire not connected,
  // instance 1 64 samples.
  SESSION session = load(std::string(SDR_TEST_DATA_DIR) + "/../../examples/demo.tzo");
  SDR_DATA_EXPORT exporter;
  SDR_DATA_EXPORT::OPTIONS options;
  options.date = "today";
  exporter.set_options(options);
  std::string error;
  ASSERT_TRUE(exporter.append_log(session->find_active_log(session->get_instance_at(0)), &error)) << error;
  ASSERT_TRUE(exporter.append_log(session->find_active_log(session->get_instance_at(1)), &error)) << error;
  EXPECT_FALSE(exporter.append_log(session->find_active_log(session->get_instance_at(1)), &error));
  EXPECT_EQ(error, "log \"quick_run\": the export holds a log of instance \"auto_trazio_1\" already");
  const std::string path = m_dir / "two.vcd";
  ASSERT_TRUE(exporter.write_vcd(path.c_str(), &error)) << error;
  const std::string text = sdr_test::read_bytes(path);
  EXPECT_NE(text.find("\nbx0000000 *\n"), std::string::npos);  // addr, its top bit not connected
  ASSERT_NE(text.find("\n#64\n"), std::string::npos);
  const std::string after = text.substr(text.find("\n#64\n"));
  EXPECT_NE(after.find("\nx+\nbxxxx ,\n#65\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 6), "\n#256\n");
  // CSV holds one log only.
  EXPECT_FALSE(exporter.write_csv((m_dir / "two.csv").c_str(), &error));
  EXPECT_EQ(error, "a CSV file holds one log");
  struct stat st;
  EXPECT_NE(stat((m_dir / "two.csv").c_str(), &st), 0);
}

TEST_F(DataExport, BadLogsAreRefusedAndNothingIsWritten) {
  SESSION session = load(sdr_test::data_path("export/bad.tzo"));
  const std::string path = m_dir / "out.vcd";
  sdr_test::write_bytes(path, "old");
  std::string error;
  {
    SDR_DATA_EXPORT exporter;
    EXPECT_FALSE(exporter.append_log(first_log(*session, 0), &error));
    EXPECT_EQ(error, "log \"cut\" holds 5 of the 8 bits its 4 samples of 2 wires call for");
    EXPECT_FALSE(exporter.append_log(first_log(*session, 1), &error));
    EXPECT_EQ(error, "log \"none\" holds no captured data");
    EXPECT_FALSE(exporter.write_vcd(path.c_str(), &error));
    EXPECT_EQ(error, "no log to export");
  }
  // Padded, the missing bits read as 0.
  SDR_DATA_EXPORT::OPTIONS options;
  options.pad_short_data = true;
  EXPECT_EQ(csv(first_log(*session, 0), options), "sample,trigger,a,b\n0,0,0,1\n1,1,0,1\n2,0,1,0\n3,0,0,0\n");
  // A target that cannot be written is left as it was.
  SDR_DATA_EXPORT exporter;
  exporter.set_options(options);
  ASSERT_TRUE(exporter.append_log(first_log(*session, 0), &error));
  EXPECT_FALSE(exporter.write_vcd((m_dir / "missing/out.vcd").c_str(), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(sdr_test::read_bytes(path), "old");
}

TEST_F(DataExport, PeriodsAndDates) {
  long long ps = 0;
  for (const auto& good : {std::make_pair("1", 1000LL), std::make_pair("2.5", 2500LL),
                           std::make_pair("0.001", 1LL), std::make_pair("1000000000", 1000000000000LL)}) {
    EXPECT_TRUE(SDR_DATA_EXPORT::parse_period_ns(good.first, &ps)) << good.first;
    EXPECT_EQ(ps, good.second) << good.first;
  }
  for (const char* bad :
       {"", "0", "0.0", "-1", "1.2345", "1.", ".5", "1e3", "1000000000.001", "99999999999999"})
    EXPECT_FALSE(SDR_DATA_EXPORT::parse_period_ns(bad, &ps)) << bad;

  SESSION session = load(sdr_test::data_path("export/plain.tzo"));
  SDR_DATA_EXPORT::OPTIONS options;
  options.period_ps = 1000000;
  options.date = "a $end b";
  std::string text = vcd(first_log(*session), options);
  EXPECT_EQ(text.substr(0, 20), "$date\n\ta _end b\n$end");
  EXPECT_NE(text.find("$timescale 1 us $end\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 3), "#8\n");
  cfg_set_value("sdr_regression_test", "on");
  SDR_DATA_EXPORT exporter;
  std::string error;
  ASSERT_TRUE(exporter.append_log(first_log(*session), &error));
  ASSERT_TRUE(exporter.write_vcd((m_dir / "fixed.vcd").c_str(), &error));
  EXPECT_EQ(sdr_test::read_bytes(m_dir / "fixed.vcd").substr(0, 38),
            "$date\n\tThu Jan  1 00:00:00 1970\n$end\n$");
}

}  // namespace
