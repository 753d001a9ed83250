// Logs: captured samples of a trigger's data wires.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include <xercesc/dom/DOM.hpp>

#include "cfg_service.h"
#include "msg_service.h"
#include "sdr_data_instance.h"
#include "sdr_data_log.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "test_util.h"

using namespace xercesc;
using sdr_test::TEMP_DIR;

namespace {

using BITS = std::vector<unsigned short>;

BITS bits(const char* text) {
  return BITS(text, text + std::strlen(text));
}

bool store(SDR_DATA_LOG* log, const BITS& text, int depth, int position) {
  return log->translate_bit_stream(text.data(), depth, position);
}

class DataLog : public testing::Test {
 protected:
  void SetUp() override {
    // Set "three": data wires x (data only), a and b (also trigger wires 0
    // and 1). Set "loose": data wires p and q, q not connected. Then loose
    // "data" elements.
    m_session.reset(new SDR_DATA_SESSION(sdr_test::data_path("log/sets.tzo").c_str()));
    ASSERT_NE(m_session->get_root_element(), nullptr);
    for (DOMElement* e = find_child_element(m_session->get_root_element(), "signal_set"); e;
         e = find_next_sibling_element(e, "signal_set")) {
      SET& set = sdr_get_attribute(e, "name") == "three" ? m_three : m_loose;
      set.reset(new SDR_DATA_SIGNAL_SET(doc(), e, nullptr));
    }
    ASSERT_EQ(m_three->get_data_wire_width(), 3);
    ASSERT_FALSE(m_loose->get_connection_status());
    MSG_REPORT::get_default_report()->clear_posted();
    MSG_INTERNAL_ERROR::clear_reports();
  }
  void TearDown() override {
    cfg_set_value("sdr_regression_test", nullptr);
    cfg_set_value("tzo_always_connected", nullptr);
  }

  DOMDocument* doc() { return m_session->get_document(); }
  // A log read from the loose "data" element of that name ("" for the
  // nameless one).
  std::unique_ptr<SDR_DATA_LOG> read(const char* name, SDR_DATA_SIGNAL_SET* set) {
    for (DOMElement* e = find_child_element(m_session->get_root_element(), "data"); e;
         e = find_next_sibling_element(e, "data"))
      if (sdr_get_attribute(e, "name") == name) return std::make_unique<SDR_DATA_LOG>(doc(), e, set, nullptr);
    ADD_FAILURE() << "no data element " << name;
    return nullptr;
  }
  std::unique_ptr<SDR_DATA_TRIGGER> trigger(SDR_DATA_SIGNAL_SET* set) {
    auto t = std::make_unique<SDR_DATA_TRIGGER>(doc(), "t");
    t->set_signal_set(set);
    return t;
  }
  std::unique_ptr<SDR_DATA_LOG> fresh(const char* name, SDR_DATA_SIGNAL_SET* set) {
    auto log = std::make_unique<SDR_DATA_LOG>(doc(), name);
    log->set_signal_set(set);
    return log;
  }

  using SET = std::unique_ptr<SDR_DATA_SIGNAL_SET>;
  std::unique_ptr<SDR_DATA_SESSION> m_session;
  SET m_three, m_loose;
};

TEST_F(DataLog, CaptureLayoutBitReadsAndAcquisition) {
  SDR_DATA_SIGNAL_SET two(doc(), "two");
  two.append(two.create_wire("w0", SDR_CTYPE_DATA, SDR_MTYPE_CLASSIC_TAP, true, nullptr), true);
  two.append(two.create_wire("w1", SDR_CTYPE_DATA, SDR_MTYPE_CLASSIC_TAP, true, nullptr), true);
  auto log = fresh("cap", &two);
  EXPECT_EQ(log->get_data_trigger_position(), -1);
  EXPECT_FALSE(log->is_data_available());

  // Sample by sample: only the sixth character, wire 1 at sample 2, is set.
  ASSERT_TRUE(store(log.get(), bits("000001"), 3, 1));
  EXPECT_EQ(sdr_test::xml_text(log->get_dom_node()),
            R"(<data name="cap" sample_depth="3" trigger_position="1">000001</data>)");
  for (int s = 0; s < 3; ++s)
    for (int w = 0; w < 2; ++w) EXPECT_EQ(log->get_bit(w, s), w == 1 && s == 2) << w << "," << s;
  // Outside the capture; wire 3 of sample 1 would alias the sixth bit.
  const std::pair<int, int> outside[] = {{3, 1}, {-1, 3}, {1, -1}, {1, 3}, {1, 1 << 30}};
  for (const auto& ws : outside)
    EXPECT_FALSE(log->get_bit(ws.first, ws.second)) << ws.first << "," << ws.second;

  // A new capture replaces the text in one node; anything but "1" (here a
  // NUL, which would cut the text short) is stored as "0".
  BITS odd = bits("1x1111");
  odd[1] = 0;
  ASSERT_TRUE(store(log.get(), odd, 3, 0));
  EXPECT_EQ(log->get_dom_node()->getChildNodes()->getLength(), 1u);
  EXPECT_EQ(sdr_test::xml_text(log->get_dom_node()),
            R"(<data name="cap" sample_depth="3" trigger_position="0">101111</data>)");

  EXPECT_TRUE(log->start_acquisition());
  EXPECT_FALSE(log->start_acquisition());
  EXPECT_FALSE(log->is_data_available());
  EXPECT_TRUE(log->end_acquisition());
  EXPECT_FALSE(log->end_acquisition());
  EXPECT_TRUE(log->is_data_available());
}

TEST_F(DataLog, ReadsElementsAndNames) {
  // Three wires and depth 4 want twelve characters; only four are there.
  auto log = read("short", m_three.get());
  EXPECT_EQ(log->get_data_width(), 3);
  EXPECT_EQ(log->get_data_trigger_position(), 2);
  EXPECT_TRUE(log->get_bit(0, 1));
  EXPECT_FALSE(log->get_bit(2, 1));  // past the text
  EXPECT_FALSE(log->get_bit(0, 3));

  // No "name": generated from "data" and written; no position reads 0.
  log = read("", m_three.get());
  EXPECT_EQ(std::string(log->get_name()).rfind("data: ", 0), 0u);
  EXPECT_EQ(sdr_get_attribute(log->get_dom_node(), "name"), log->get_name());
  EXPECT_EQ(log->get_data_trigger_position(), 0);
  EXPECT_EQ(log->get_data_segment_size(), 8);

  log = read("empty", m_three.get());
  EXPECT_FALSE(log->is_data_available());
  EXPECT_FALSE(log->get_bit(0, 0));

  SDR_DATA_LOG fresh_log(doc());
  EXPECT_EQ(std::string(fresh_log.get_name()).rfind("log: ", 0), 0u);
  EXPECT_TRUE(fresh_log.set_name("renamed"));
  fresh_log.set_global_temp();
  EXPECT_EQ(sdr_test::xml_text(fresh_log.get_dom_node()), R"(<data global_temp="1" name="renamed"/>)");
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

TEST_F(DataLog, ConnectionStatus) {
  auto log = read("ports", m_three.get());
  EXPECT_TRUE(log->get_connection_status(0));
  EXPECT_FALSE(log->get_connection_status(1));
  EXPECT_TRUE(log->get_connection_status(2));
  EXPECT_FALSE(log->get_connection_status(3));  // beyond the width of 3
  cfg_set_value("tzo_always_connected", "on");
  EXPECT_TRUE(log->get_connection_status(1));
  EXPECT_TRUE(log->get_connection_status(3));
  cfg_set_value("tzo_always_connected", nullptr);
  EXPECT_FALSE(log->get_connection_status(1));
  // Without a signal set all are connected.
  log = read("ports", nullptr);
  EXPECT_TRUE(log->get_connection_status(1));
}

TEST_F(DataLog, CaptureRecordsDisconnectedWiresOfThatCapture) {
  auto log = fresh("cap", m_loose.get());
  ASSERT_TRUE(store(log.get(), bits("0111"), 2, 1));
  EXPECT_EQ(sdr_test::xml_text(log->get_dom_node()),
            R"(<data name="cap" sample_depth="2" trigger_position="1" unconnected_ports="10">0111</data>)");

  // Once q is connected, a new capture carries no stale connection text.
  ASSERT_TRUE(m_loose->get_data_wire_at(1)->set_connection_status(true));
  m_loose->create_signal_connections();
  ASSERT_TRUE(store(log.get(), bits("0000"), 2, 0));
  EXPECT_EQ(sdr_test::xml_text(log->get_dom_node()),
            R"(<data name="cap" sample_depth="2" trigger_position="0">0000</data>)");
  EXPECT_TRUE(log->get_connection_status(1));
}

TEST_F(DataLog, CopyData) {
  auto source = read("short", m_three.get());
  auto ports = read("ports", m_three.get());
  auto target = fresh("copy", m_three.get());
  // The truncated source text arrives padded to the full capture.
  target->copy_data(source.get());
  EXPECT_EQ(sdr_test::xml_text(target->get_dom_node()),
            R"(<data name="copy" sample_depth="4" trigger_position="2">010100000000</data>)");
  // The connection text comes along (a copy onto itself changes nothing);
  // a source without text keeps the samples, and without ports removes
  // them.
  auto empty = read("empty", m_three.get());
  target->copy_data(ports.get());
  target->copy_data(target.get());
  EXPECT_EQ(sdr_test::xml_text(target->get_dom_node()),
            R"(<data name="copy" sample_depth="1" trigger_position="0" unconnected_ports="101">000</data>)");
  target->copy_data(empty.get());
  EXPECT_EQ(sdr_test::xml_text(target->get_dom_node()),
            R"(<data name="copy" sample_depth="1" trigger_position="0">000</data>)");
}

TEST_F(DataLog, SanityCheckWithoutConditions) {
  auto log = fresh("cap", m_three.get());
  ASSERT_TRUE(store(log.get(), bits("000"), 1, 0));
  EXPECT_FALSE(sdr_has_attribute(log->get_dom_node(), "sanity_check"));

  cfg_set_value("sdr_regression_test", "on");
  struct {
    int depth, position;
    const char* result;
  } cases[] = {{2, 1, "PASS"}, {2, -1, "PASS"}, {2, 2, "FAIL"}, {2, -2, "FAIL"},
               {0, 0, "PASS"}, {0, -1, "PASS"}, {0, 3, "FAIL"}, {-1, 0, "FAIL"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(store(log.get(), bits("000000"), c.depth, c.position));
    EXPECT_EQ(sdr_get_attribute(log->get_dom_node(), "sanity_check"), c.result)
        << c.depth << "," << c.position;
  }
  // Outside regression mode the stale result goes.
  cfg_set_value("sdr_regression_test", nullptr);
  ASSERT_TRUE(store(log.get(), bits("000"), 1, 0));
  EXPECT_FALSE(sdr_has_attribute(log->get_dom_node(), "sanity_check"));
}

// ------------------------------------------------------------ with a trigger

TEST_F(DataLog, SegmentedAndCircularCaptureAttributes) {
  auto t = trigger(m_three.get());
  t->set_trigger_type(SDR_TTYPE_SEGMENTED);
  t->set_segment_size(16);
  SDR_DATA_LOG* log = t->create_log("cap", false);
  ASSERT_NE(log, nullptr);
  const BITS zeros(6, '0');
  ASSERT_TRUE(store(log, zeros, 2, -1));
  EXPECT_EQ(log->get_data_segment_size(), 16);
  EXPECT_EQ(sdr_test::xml_text(log->get_dom_node()),
            R"(<data name="cap" sample_depth="2" segment_size="16" trigger_position="-1">000000</data>)");
  ASSERT_TRUE(store(log, zeros, 2, 5));
  EXPECT_EQ(log->get_data_trigger_position(), 5);
  EXPECT_EQ(sdr_test::xml_text(log->get_dom_node()),
            R"(<data name="cap" sample_depth="2" segment_size="16">000000</data>)");

  t->set_trigger_type(SDR_TTYPE_CIRCULAR);
  ASSERT_TRUE(store(log, zeros, 2, 1));
  EXPECT_EQ(log->get_data_segment_size(), 0);
  EXPECT_EQ(sdr_test::xml_text(log->get_dom_node()),
            R"(<data name="cap" sample_depth="2" trigger_position="1">000000</data>)");
}

TEST_F(DataLog, SanityCheckFollowsTheLastLevel) {
  auto t = trigger(m_three.get());
  t->append_new_level(true);
  t->append_new_level(true);
  t->set_trigger_condition(0, 0, SDR_TCOND_LOW, true);  // not the last level
  t->set_trigger_condition(0, 1, SDR_TCOND_HIGH, true);
  t->set_trigger_condition(1, 1, SDR_TCOND_RISING_EDGE, true);
  SDR_DATA_LOG* log = t->create_log("cap", false);
  ASSERT_NE(log, nullptr);
  cfg_set_value("sdr_regression_test", "on");

  // Samples of x a b. x is no trigger wire: its bit is free even though
  // trigger wire 0 (a) must be high.
  struct {
    const char* text;
    int position;
    const char* result;
  } cases[] = {{"000011", 1, "PASS"},
               {"000010", 1, "FAIL"},
               {"000001", 1, "FAIL"},
               // Before sample 0 comes the last sample.
               {"011000", 0, "PASS"},
               {"011001", 0, "FAIL"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(store(log, bits(c.text), 2, c.position));
    EXPECT_EQ(sdr_get_attribute(log->get_dom_node(), "sanity_check"), c.result)
        << c.text << " @" << c.position;
  }

  // Segmented: a and b must be 1 at every segment start.
  t->set_trigger_type(SDR_TTYPE_SEGMENTED);
  t->set_segment_size(16);
  BITS text(3 * 64, '0');
  for (int s = 0; s < 64; s += 16) text[s * 3 + 1] = text[s * 3 + 2] = '1';
  ASSERT_TRUE(store(log, text, 64, 3));
  EXPECT_EQ(sdr_get_attribute(log->get_dom_node(), "sanity_check"), "PASS");
  text[32 * 3 + 1] = '0';
  ASSERT_TRUE(store(log, text, 64, 3));
  EXPECT_EQ(sdr_get_attribute(log->get_dom_node(), "sanity_check"), "FAIL");
  // A segment as long as the signal set's depth is no segmentation.
  text[32 * 3 + 1] = '1';
  t->set_segment_size(64);
  ASSERT_TRUE(store(log, text, 64, 3));
  EXPECT_EQ(sdr_get_attribute(log->get_dom_node(), "sanity_check"), "FAIL");
}

TEST_F(DataLog, SimulatedRunIsShapedByLevelOne) {
  auto t = trigger(m_three.get());
  t->set_trigger_position(SDR_TPOS_POST);
  for (int level = 0; level < 3; ++level) {
    t->append_new_level(true);
    t->set_trigger_condition(0, level, level == 1 ? SDR_TCOND_HIGH : SDR_TCOND_LOW, true);
    t->set_trigger_condition(1, level, level == 1 ? SDR_TCOND_LOW : SDR_TCOND_HIGH, true);
  }
  SDR_DATA_LOG* log = t->create_log("sim", false);
  ASSERT_NE(log, nullptr);
  log->simulate_run();
  EXPECT_EQ(log->get_data_sample_depth(), 64);
  EXPECT_EQ(log->get_data_trigger_position(), 56);
  EXPECT_EQ(sdr_get_attribute(log->get_dom_node(), "trigger_position"), "56");
  for (int s = 0; s < 56; ++s) {
    EXPECT_FALSE(log->get_bit(1, s)) << s;
    EXPECT_TRUE(log->get_bit(2, s)) << s;
  }
  EXPECT_TRUE(log->get_bit(1, 56));
  EXPECT_FALSE(log->get_bit(2, 56));
  EXPECT_EQ(sdr_to_utf8(log->get_dom_node()->getFirstChild()->getNodeValue()).size(), 3u * 64u);

  // With a single level that level shapes the data, at the "pre" sample.
  auto single = trigger(m_three.get());
  single->append_new_level(true);
  single->set_trigger_condition(0, 0, SDR_TCOND_RISING_EDGE, true);
  single->set_trigger_condition(1, 0, SDR_TCOND_FALLING_EDGE, true);
  log = single->create_log("sim", false);
  log->simulate_run();
  EXPECT_EQ(log->get_data_trigger_position(), 8);
  EXPECT_TRUE(log->get_bit(1, 8));
  EXPECT_FALSE(log->get_bit(2, 8));
}

TEST_F(DataLog, RenameAndRemoveThroughTheTrigger) {
  auto t = trigger(m_three.get());
  SDR_DATA_LOG* one = t->create_log("one", false);
  SDR_DATA_LOG* two = t->create_log("two", false);
  ASSERT_TRUE(one && two);
  EXPECT_EQ(two->get_data_width(), 3);

  one->remove();
  EXPECT_EQ(t->get_num_logs(), 1);
  EXPECT_EQ(t->get_log_at(0), two);

  SDR_DATA_LOG* global = t->create_log("g", true);
  EXPECT_TRUE(global->set_name("g2"));  // not in the name map
  EXPECT_EQ(t->find_log("g2"), global);
  global->remove();
  EXPECT_EQ(t->get_global_log(), nullptr);
  EXPECT_EQ(t->get_num_logs(), 1);
  EXPECT_EQ(find_next_sibling_element(two->get_dom_node(), "data"), nullptr);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);

  // A log never attached is reported, and still goes.
  (new SDR_DATA_LOG(doc(), "loose"))->remove();
  ASSERT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 1);
  EXPECT_STREQ(MSG_INTERNAL_ERROR::get_expression_at(0), "parent != NULL");
}

// ------------------------------------------------------------ whole files

TEST(DataLogFile, LoadEditAndSave) {
  TEMP_DIR dir;
  SDR_DATA_SESSION session(sdr_test::data_path("log/logs.tzo").c_str());
  ASSERT_EQ(session.get_num_instances(), 1);
  SDR_DATA_SIGNAL_SET* set = session.get_instance_at(0)->find_signal_set("capture");
  ASSERT_NE(set, nullptr);
  // The trigger as the set read it; built over its element here while the
  // set does not read triggers yet.
  std::unique_ptr<SDR_DATA_TRIGGER> own;
  SDR_DATA_TRIGGER* t = set->find_trigger("trig");
  if (!t) {
    own = std::make_unique<SDR_DATA_TRIGGER>(session.get_document(),
                                             find_child_element(set->get_dom_node(), "trigger"), set);
    t = own.get();
  }
  EXPECT_EQ(sdr_test::posted_ids(), "WSDR_DUPLICATE_NAME");  // the second "kept"
  ASSERT_EQ(t->get_num_logs(), 3);

  // A character reference is part of the one text node.
  SDR_DATA_LOG* kept = t->find_log("kept");
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->get_data_segment_size(), 8);
  EXPECT_TRUE(kept->get_bit(1, 0) && kept->get_bit(0, 1) && !kept->get_bit(1, 1));
  ASSERT_NE(t->get_global_log(), nullptr);

  ASSERT_TRUE(store(t->find_log("recapture"), bits("1011"), 2, 1));
  t->find_log("gone")->remove();
  t->create_log("copy", false)->copy_data(kept);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);

  const std::string out = dir / "out.tzo";
  ASSERT_TRUE(session.save_as(out.c_str(), true, false));
  EXPECT_EQ(sdr_test::read_bytes(out), sdr_test::read_bytes(sdr_test::data_path("log/logs.expected.tzo")));
}

}  // namespace
