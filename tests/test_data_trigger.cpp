// Triggers: levels, basic conditions over wires and buses, settings, logs.

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>
#include <xercesc/dom/DOM.hpp>

#include "cfg_service.h"
#include "msg_service.h"
#include "sdr_data_instance.h"
#include "sdr_data_log.h"
#include "sdr_data_mnemonics.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_trigger.h"
#include "sdr_internal.h"
#include "sdr_msgs.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_session.h"
#include "sdr_tx_trigger.h"
#include "test_util.h"
#include "tzo_tree_object.h"

using sdr_test::TEMP_DIR;

namespace {

class DataTrigger : public testing::Test {
 protected:
  void SetUp() override {
    m_session.reset(new SDR_DATA_SESSION(sdr_test::data_path("trigger/triggers.tzo").c_str()));
    ASSERT_NE(m_session->get_name(), nullptr);
    m_set = m_session->find_instance("ela0")->find_signal_set("setup");
    ASSERT_NE(m_set, nullptr);
  }

  int index_of(const char* wire) { return m_set->get_wire(wire)->get_trigger_wire_index(); }

  std::unique_ptr<SDR_DATA_SESSION> m_session;
  SDR_DATA_SIGNAL_SET* m_set = nullptr;
};

TEST_F(DataTrigger, LoadsLevelsSettingsAndLogs) {
  // t2's second level term has no wire or bus "nowhere"; its third term is a
  // syntax error; the second "t1" and the second "capture" are duplicates.
  EXPECT_EQ(sdr_test::posted_ids(),
            "WSDR_DUPLICATE_NAME WSDR_INVALID_SIGNAL_REF WSDR_COND_SYNTAX WSDR_DUPLICATE_NAME");
  ASSERT_EQ(m_set->get_num_triggers(), 2);
  SDR_DATA_TRIGGER* t1 = m_set->find_trigger("t1");
  ASSERT_NE(t1, nullptr);
  EXPECT_EQ(t1->get_trigger_position(), SDR_TPOS_CENTER);
  EXPECT_TRUE(t1->is_segment_enabled());
  EXPECT_EQ(t1->get_segment_size(), 64);
  EXPECT_EQ(t1->get_trigger_in(), SDR_TCOND_DISABLE);
  EXPECT_FALSE(m_set->is_trigger_in_enabled());  // "disable" switches the pin off
  EXPECT_EQ(t1->get_trigger_out(), SDR_TCOND_ACTIVE_LOW);
  ASSERT_EQ(t1->get_event_levels(), 5);

  EXPECT_EQ(t1->get_condition(0, index_of("a")), SDR_TCOND_RISING_EDGE);  // through the alias
  EXPECT_EQ(t1->get_condition(0, index_of("b")), SDR_TCOND_HIGH);
  // Value 5 over a bus listed most significant bit first.
  EXPECT_EQ(t1->get_condition(1, index_of("d0")), SDR_TCOND_HIGH);
  EXPECT_EQ(t1->get_condition(1, index_of("d1")), SDR_TCOND_LOW);
  EXPECT_EQ(t1->get_condition(1, index_of("d2")), SDR_TCOND_HIGH);
  EXPECT_EQ(t1->get_condition(1, index_of("d3")), SDR_TCOND_LOW);
  EXPECT_EQ(t1->get_condition(1, index_of("a")), SDR_TCOND_DONT_CARE);
  // "NO" is not "no"; the bus's own table gives IDLE = 0000.
  EXPECT_TRUE(t1->is_trigger_level_enabled(2));
  EXPECT_EQ(t1->get_condition(2, index_of("d3")), SDR_TCOND_LOW);
  // An explicit table: BUSY = 1R0X from the least significant bit.
  EXPECT_EQ(t1->get_condition(3, index_of("d0")), SDR_TCOND_HIGH);
  EXPECT_EQ(t1->get_condition(3, index_of("d1")), SDR_TCOND_RISING_EDGE);
  EXPECT_EQ(t1->get_condition(3, index_of("d2")), SDR_TCOND_LOW);
  EXPECT_EQ(t1->get_condition(3, index_of("d3")), SDR_TCOND_DONT_CARE);
  EXPECT_FALSE(t1->is_trigger_level_enabled(4));
  EXPECT_FALSE(t1->is_trigger_level_basic_condition(4));
  // Out of range: defaults.
  EXPECT_TRUE(t1->is_trigger_level_enabled(5));
  EXPECT_EQ(t1->get_condition(5, 0), SDR_TCOND_DONT_CARE);
  EXPECT_EQ(t1->get_condition(0, 99), SDR_TCOND_DONT_CARE);

  ASSERT_EQ(t1->get_num_logs(), 1);
  SDR_DATA_LOG* log = t1->find_log("capture");
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(log->get_trigger(), t1);

  SDR_DATA_TRIGGER* t2 = m_set->find_trigger("t2");
  ASSERT_NE(t2, nullptr);
  EXPECT_EQ(m_set->get_sample_depth(), 512);  // moved from the trigger, then validated
  EXPECT_EQ(t2->get_trigger_position(), SDR_TPOS_PRE);
  EXPECT_EQ(t2->get_trigger_out(), SDR_TCOND_ACTIVE_HIGH);
  EXPECT_FALSE(t2->is_expanded());
  // Terms before the syntax error stay applied.
  EXPECT_EQ(t2->get_condition(0, index_of("b")), SDR_TCOND_LOW);
}

TEST_F(DataTrigger, EditsRewriteTheLevelTextAndSaveExactly) {
  SDR_DATA_TRIGGER* t1 = m_set->find_trigger("t1");
  // Rewriting uses the alias, escapes quotes, and drops dont_care terms.
  ASSERT_TRUE(t1->set_trigger_condition(index_of("b"), 0, SDR_TCOND_DONT_CARE, true));
  EXPECT_STREQ(t1->get_condition_text(0), "'start' == rising edge");
  ASSERT_TRUE(m_set->rename_signal_alias("b", "it's"));
  ASSERT_TRUE(t1->set_trigger_condition(index_of("b"), 0, SDR_TCOND_EITHER_EDGE, true));
  EXPECT_STREQ(t1->get_condition_text(0), "'start' == rising edge && 'it\\'s' == either edge");
  EXPECT_FALSE(t1->set_trigger_condition(99, 0, SDR_TCOND_HIGH, true));
  EXPECT_FALSE(t1->set_trigger_condition(0, 9, SDR_TCOND_HIGH, true));

  // The value form on the bus, and a new level written through the document.
  int level = t1->append_new_level(true);
  ASSERT_EQ(level, 5);
  EXPECT_TRUE(t1->set_trigger_condition("cnt", level, 10L, true));
  EXPECT_STREQ(t1->get_condition_text(level), "'d0' == low && 'd1' == high && 'd2' == low && 'd3' == high");
  EXPECT_TRUE(t1->set_trigger_condition("cnt", level, SDR_TCOND_FALLING_EDGE, true));
  EXPECT_EQ(t1->get_condition(level, index_of("d2")), SDR_TCOND_FALLING_EDGE);
  t1->set_trigger_level_enabled(level, false);

  MSG_REPORT::get_default_report()->clear_posted();
  EXPECT_FALSE(t1->set_trigger_condition("nobus", level, 3L, true));
  EXPECT_FALSE(t1->set_trigger_condition("cnt", level, "NOPE", true));
  EXPECT_FALSE(t1->set_trigger_condition("cnt", level, "nosuch", "IDLE", true));
  EXPECT_EQ(sdr_test::posted_ids(), "WSDR_INVALID_BUS_REF WSDR_INVALID_SYMBOL WSDR_INVALID_SYM_TABLE");
  EXPECT_STREQ(MSG_REPORT::get_default_report()->get_posted_at(0)->get_text(),
               "Trigger condition \"t1\" in Trazio II File contains undefined bus \"nobus\" with symbol or "
               "value \"3\"");

  t1->set_trigger_position(SDR_TPOS_POST);
  EXPECT_FALSE(t1->set_segment_size(100));
  EXPECT_EQ(t1->get_segment_size(), 64);
  t1->set_trigger_in(SDR_TCOND_LOW);
  TEMP_DIR dir;
  std::string out = dir / "out.tzo";
  ASSERT_TRUE(m_session->save_as(out.c_str(), true, false));
  EXPECT_EQ(sdr_test::read_bytes(out),
            sdr_test::read_bytes(sdr_test::data_path("trigger/triggers.expected.tzo")));

  // The saved file reads back to the same conditions.
  SDR_DATA_SESSION again(out.c_str());
  SDR_DATA_TRIGGER* t = again.find_instance("ela0")->find_signal_set("setup")->find_trigger("t1");
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->get_event_levels(), 6);
  for (int l = 0; l < 6; ++l)
    for (int w = 0; w < m_set->get_trigger_wire_width(); ++w)
      EXPECT_EQ(t->get_condition(l, w), t1->get_condition(l, w)) << "level " << l << " wire " << w;
}

// A level is as wide as the trigger wires were when it was made: a wire
// added later gets no condition in it.
TEST_F(DataTrigger, WireAddedAfterTheLevelHasNoCondition) {
  SDR_DATA_TRIGGER* t1 = m_set->find_trigger("t1");
  const int level = t1->append_new_level(true);
  const int width = m_set->get_trigger_wire_width();
  m_set->append(m_set->create_wire("late", SDR_CTYPE_TRIGGER, SDR_MTYPE_CLASSIC_TAP, true, nullptr), true);
  ASSERT_EQ(m_set->get_trigger_wire_width(), width + 1);
  EXPECT_TRUE(t1->set_trigger_condition(width - 1, level, SDR_TCOND_HIGH, true));
  EXPECT_FALSE(t1->set_trigger_condition(width, level, SDR_TCOND_HIGH, true));
  EXPECT_EQ(t1->get_condition(level, width - 1), SDR_TCOND_HIGH);
}

TEST_F(DataTrigger, SegmentSizeFollowsTheSampleDepth) {
  SDR_DATA_TRIGGER* t = m_set->create_trigger("seg", false);
  ASSERT_NE(t, nullptr);
  m_set->set_sample_depth(64);
  EXPECT_FALSE(t->set_segment_size(0));
  EXPECT_EQ(t->get_segment_size(), 1);
  EXPECT_TRUE(t->set_segment_size(64));
  m_set->set_sample_depth(1024);
  EXPECT_FALSE(t->set_segment_size(1000));
  EXPECT_EQ(t->get_segment_size(), 512);
  EXPECT_FALSE(t->set_segment_size(2048));
  EXPECT_EQ(t->get_segment_size(), 1024);
  SDR_DATA_TRIGGER loose(m_session->get_document(), "loose");
  EXPECT_FALSE(loose.set_segment_size(8));
  EXPECT_EQ(loose.get_segment_size(), 1);
}

TEST_F(DataTrigger, NamesLogsAndGlobals) {
  SDR_DATA_TRIGGER* t1 = m_set->find_trigger("t1");
  SDR_DATA_TRIGGER* t2 = m_set->find_trigger("t2");
  EXPECT_FALSE(t2->set_name("t1"));
  EXPECT_STREQ(t2->get_name(), "t2");
  EXPECT_TRUE(t2->set_name("t3"));
  EXPECT_EQ(m_set->find_trigger("t3"), t2);
  EXPECT_EQ(m_set->find_trigger("t2"), nullptr);

  EXPECT_EQ(t1->create_log("capture", false), nullptr);
  SDR_DATA_LOG* second = t1->create_log("second", false);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(t1->get_last_log(), second);
  SDR_DATA_LOG* global = t1->create_log("scratch", true);
  EXPECT_EQ(t1->get_global_log(), global);
  EXPECT_EQ(t1->find_log("scratch"), global);
  EXPECT_EQ(t1->get_num_logs(), 2);
  t1->create_log("scratch2", true);  // replaces the global log
  EXPECT_EQ(t1->find_log("scratch"), nullptr);

  SDR_DATA_TRIGGER* g = m_set->create_trigger("temp", true);
  EXPECT_TRUE(g->is_global_temp());
  EXPECT_EQ(m_set->get_global_trigger(), g);
  EXPECT_EQ(m_set->find_trigger("temp"), g);
  EXPECT_EQ(m_set->get_num_triggers(), 2);
  t2->remove();
  EXPECT_EQ(m_set->get_num_triggers(), 1);
  EXPECT_EQ(m_set->find_trigger("t3"), nullptr);

  // The display tree remembers one branch per instance.
  m_session->reset_active_tree();
  SDR_DATA_INSTANCE* instance = m_set->get_instance();
  EXPECT_TRUE(m_session->add_active_branch(second));
  EXPECT_FALSE(m_session->add_active_branch(t1));
  EXPECT_EQ(m_session->find_active_log(instance), second);
  EXPECT_EQ(m_session->find_active_trigger(instance), t1);
  std::string text;
  ASSERT_TRUE(m_session->write_to_string(&text));
  EXPECT_NE(
      text.find("<display_branch instance=\"ela0\" log=\"second\" signal_set=\"setup\" trigger=\"t1\"/>"),
      std::string::npos);
}

TEST_F(DataTrigger, ToStringAndLatency) {
  SDR_DATA_TRIGGER* t1 = m_set->find_trigger("t1");
  EXPECT_STREQ(
      t1->to_string(),
      "   trigger levels = 5\tsegment_size = 64\n   trigger type = segmented\n   trigger position = center\n"
      "   trigger out = active low");
  // The last level is advanced: "rising(start) && !b" is two operators deep.
  EXPECT_EQ(t1->get_last_trigger_level_latency_delay(), 3);
  EXPECT_EQ(t1->get_trigger_out_latency_delay(), 6);
  SDR_DATA_TRIGGER* t2 = m_set->find_trigger("t2");
  EXPECT_EQ(t2->get_last_trigger_level_latency_delay(), 1);
  EXPECT_EQ(t2->get_trigger_out_latency_delay(), 4);
  cfg_set_value("tzo_last_trigger_level_latency", "7");
  EXPECT_EQ(t1->get_last_trigger_level_latency_delay(), 7);
  cfg_set_value("tzo_last_trigger_level_latency", nullptr);
  EXPECT_TRUE(t1->is_incremental_node_used_correctly());
}

TEST_F(DataTrigger, EmptyElementGetsDefaults) {
  TEMP_DIR dir;
  std::string path = dir / "bare.tzo";
  sdr_test::write_bytes(
      path,
      "<session><instance name=\"i\"><signal_set name=\"s\"><signal_vec><trigger_input_vec/>"
      "</signal_vec><trigger/></signal_set></instance></session>");
  SDR_DATA_SESSION session(path.c_str());
  SDR_DATA_SIGNAL_SET* set = session.find_instance("i")->find_signal_set("s");
  ASSERT_EQ(set->get_num_triggers(), 1);
  SDR_DATA_TRIGGER* t = set->get_trigger_at(0);
  EXPECT_EQ(std::string(t->get_name()).rfind("trigger: ", 0), 0u);
  EXPECT_TRUE(t->is_expanded());
  EXPECT_EQ(t->get_segment_size(), 1);
  EXPECT_EQ(t->get_trigger_type(), SDR_TTYPE_CIRCULAR);
  EXPECT_EQ(t->get_trigger_in(), SDR_TCOND_DONT_CARE);
  EXPECT_EQ(t->get_trigger_out(), SDR_TCOND_ACTIVE_HIGH);
  EXPECT_EQ(t->get_event_levels(), 0);
  std::string text;
  ASSERT_TRUE(session.write_to_string(&text));
  EXPECT_NE(text.find("<events/>"), std::string::npos);
}

// The text a level's element holds, as the document has it.
std::string level_text(SDR_DATA_TRIGGER* t, int level) {
  xercesc::DOMNode* events = t->get_dom_node()->getFirstChild();
  while (events && !xercesc::XMLString::equals(events->getNodeName(), u"events"))
    events = events->getNextSibling();
  xercesc::DOMNode* e = events ? events->getFirstChild() : nullptr;
  for (int i = 0; e && i < level; ++i) e = e->getNextSibling();
  xercesc::DOMNode* text = e ? e->getFirstChild() : nullptr;
  return text && text->getNodeType() == xercesc::DOMNode::TEXT_NODE ? sdr_to_utf8(text->getNodeValue()) : "?";
}

// Long level texts (written in pieces once the node is large enough),
// shorter and longer rewrites, and the wire names they use following
// alias changes made through the set or on the wire itself.
TEST(DataTriggerText, LongTextsFollowEveryEditAndAlias) {
  SDR_DATA_SESSION session;
  SDR_DATA_SIGNAL_SET* set = session.create_instance("i")->create_signal_set("s", false);
  const int WIRES = 400;
  for (int w = 0; w < WIRES; ++w) {
    std::string name = "top|n" + std::to_string(w);
    std::string alias = w % 50 == 7 ? "\xc3\xa4'" + std::to_string(w) : "a" + std::to_string(w);
    ASSERT_TRUE(set->append(set->create_wire(name.c_str(), SDR_CTYPE_BOTH, SDR_MTYPE_CLASSIC_TAP, true,
                                             w % 10 == 3 ? nullptr : alias.c_str()),
                            true));
  }
  SDR_DATA_TRIGGER* t = set->create_trigger("t", false);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->append_new_level(true), 0);
  auto expected = [&]() {
    std::string text;
    for (int w = 0; w < set->get_trigger_wire_width(); ++w) {
      SDR_DATA_TRIGGER_CONDITION c = t->get_condition(0, w);
      if (c == SDR_TCOND_DONT_CARE) continue;
      if (!text.empty()) text += " && ";
      text += "'";
      for (const char* p = set->get_trigger_wire_alias_at(w); *p; ++p) {
        if (*p == '\'' || *p == '\\') text += '\\';
        text += *p;
      }
      text += std::string("' == ") + (c == SDR_TCOND_HIGH  ? "high"
                                      : c == SDR_TCOND_LOW ? "low"
                                                           : "rising edge");
    }
    return text;
  };
  auto check = [&](const char* step) {
    EXPECT_EQ(std::string(t->get_condition_text(0)), expected()) << step;
    EXPECT_EQ(level_text(t, 0), expected()) << step;
  };
  for (int w = 0; w < WIRES; ++w)
    ASSERT_TRUE(t->set_trigger_condition(w, 0, SDR_TCOND_RISING_EDGE, w == WIRES - 1));
  ASSERT_GT(expected().size(), 8000u);
  check("first write");
  // Shorter texts go into the node in place, a longer one is set whole.
  ASSERT_TRUE(t->set_trigger_condition(5, 0, SDR_TCOND_LOW, true));
  check("shorter");
  for (int w = 100; w < 300; ++w) ASSERT_TRUE(t->set_trigger_condition(w, 0, SDR_TCOND_DONT_CARE, w == 299));
  check("much shorter");
  ASSERT_TRUE(t->set_trigger_condition(5, 0, SDR_TCOND_RISING_EDGE, true));
  check("longer again");
  for (int w = 100; w < 300; ++w) ASSERT_TRUE(t->set_trigger_condition(w, 0, SDR_TCOND_HIGH, w == 299));
  check("back to full length");

  ASSERT_TRUE(set->rename_signal_alias("top|n4", "a much longer name than before"));
  ASSERT_TRUE(t->set_trigger_condition(4, 0, SDR_TCOND_HIGH, true));
  check("renamed through the set");
  set->get_wire("top|n6")->del_alias();
  ASSERT_TRUE(t->set_trigger_condition(6, 0, SDR_TCOND_HIGH, true));
  EXPECT_NE(level_text(t, 0).find("'top|n6' == high"), std::string::npos);
  check("alias removed on the wire");
  ASSERT_TRUE(
      set->append(set->create_wire("late", SDR_CTYPE_TRIGGER, SDR_MTYPE_CLASSIC_TAP, true, "l8"), true));
  ASSERT_EQ(t->append_new_level(true), 1);
  ASSERT_TRUE(t->set_trigger_condition(WIRES, 1, SDR_TCOND_LOW, true));
  EXPECT_EQ(level_text(t, 1), "'l8' == low");
  for (int w = 0; w < WIRES; ++w)
    ASSERT_TRUE(t->set_trigger_condition(w, 0, SDR_TCOND_DONT_CARE, w == WIRES - 1));
  check("empty");
  EXPECT_EQ(level_text(t, 0), "");
}

// One condition at a time is patched into the text in place: terms that
// come, go or change their word at the front, middle and end, mixed with
// edits that leave the text behind, alias renames, new wires and a text
// changed by hand in the document.
TEST(DataTriggerText, SingleEditsPatchTheTextAsAWholeWriteWould) {
  SDR_DATA_SESSION session;
  SDR_DATA_SIGNAL_SET* set = session.create_instance("i")->create_signal_set("s", false);
  auto add_wire = [&](int w) {
    const std::string name = "n" + std::to_string(w);
    const std::string alias = w % 7 == 3 ? "q'" + std::to_string(w) : "a" + std::to_string(w);
    return set->append(set->create_wire(name.c_str(), SDR_CTYPE_BOTH, SDR_MTYPE_CLASSIC_TAP, true,
                                        w % 5 == 1 ? nullptr : alias.c_str()),
                       true);
  };
  int wires = 0;
  for (; wires < 24; ++wires) ASSERT_TRUE(add_wire(wires));
  SDR_DATA_TRIGGER* t = set->create_trigger("t", false);
  ASSERT_EQ(t->append_new_level(true), 0);
  const SDR_DATA_TRIGGER_CONDITION CONDITIONS[] = {SDR_TCOND_DONT_CARE, SDR_TCOND_HIGH, SDR_TCOND_LOW,
                                                   SDR_TCOND_RISING_EDGE, SDR_TCOND_EITHER_EDGE};
  unsigned seed = 12345;
  auto next = [&seed](unsigned n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  for (int step = 0; step < 3000; ++step) {
    const unsigned kind = next(100);
    if (kind < 3) {
      ASSERT_TRUE(add_wire(wires++));  // a wider text: the level keeps its width
    } else if (kind < 6) {
      const std::string name = "n" + std::to_string(next(wires));
      ASSERT_TRUE(set->rename_signal_alias(name.c_str(), ("r" + std::to_string(step)).c_str()));
    } else if (kind < 8) {
      // Another length than the library's text: the next edit writes it whole.
      xercesc::DOMNode* events = t->get_dom_node()->getFirstChild();
      while (!xercesc::XMLString::equals(events->getNodeName(), u"events")) events = events->getNextSibling();
      const std::string by_hand = kind == 6 ? level_text(t, 0) + " " : "";
      events->getFirstChild()->getFirstChild()->setNodeValue(SDR_XSTR(by_hand));
    } else {
      // Mostly the front and the end, where the joiners move.
      const unsigned where = next(3);
      const int width = 24;
      const int node = where == 0   ? static_cast<int>(next(3))
                       : where == 1 ? width - 1 - static_cast<int>(next(3))
                                    : static_cast<int>(next(width));
      const bool update = next(10) != 0;
      ASSERT_TRUE(t->set_trigger_condition(node, 0, CONDITIONS[next(5)], update));
      if (!update) continue;
    }
    if (kind >= 8) {
      ASSERT_EQ(level_text(t, 0), t->get_condition_text(0)) << "step " << step;
    }
  }
}

// ---------------------------------------------------------------- bus bits
//
// A value set on a bus is checked against the same value worked out from
// the view afresh: the first bus row of the name in pre-order, its members
// in its order, each member's wire by its name. Every condition of every
// level, the answer and the messages must agree, whatever was edited before.

using VIEW_NODE_PTR = std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE>;

std::vector<VIEW_NODE_PTR> rows_of(SDR_DATA_SIGNAL_VIEW* view) {
  std::vector<VIEW_NODE_PTR> rows;
  std::function<void(VIEW_NODE_PTR)> walk = [&](VIEW_NODE_PTR n) {
    for (; n && !n->is_null(); n.reset(n->get_next_sibling())) {
      rows.emplace_back(new SDR_DATA_SIGNAL_VIEW_NODE(*n));
      walk(VIEW_NODE_PTR(n->get_first_child()));
    }
  };
  walk(VIEW_NODE_PTR(view->get_first_node()));
  return rows;
}

// width: the trigger wires when the levels were made. True when the value
// reached a condition.
bool check_bus_value(SDR_DATA_TRIGGER* t, const std::string& bus, int level, const long value, int width) {
  SDR_DATA_SIGNAL_SET* set = t->get_signal_set();
  const int levels = t->get_event_levels(), all = set->get_trigger_wire_width();
  std::vector<std::vector<SDR_DATA_TRIGGER_CONDITION>> want(levels);
  for (int l = 0; l < levels; ++l)
    for (int i = 0; i < all; ++i) want[l].push_back(t->get_condition(l, i));
  SDR_DATA_SIGNAL_VIEW_NODE* node = nullptr;
  std::vector<VIEW_NODE_PTR> rows = rows_of(set->get_setup_view());
  for (size_t r = 0; r < rows.size() && !node; ++r) {
    const char *name = rows[r]->get_name(), *alias = rows[r]->is_bus() ? rows[r]->get_alias() : nullptr;
    if (rows[r]->is_bus() && ((name && bus == name) || (alias && bus == alias))) node = rows[r].get();
  }
  std::string ids = node ? "" : " WSDR_INVALID_BUS_REF";
  std::vector<std::string> names;  // of the members without a wire
  bool any = false, forward = node && node->is_lsb_to_msb();
  long bits = value;
  for (VIEW_NODE_PTR c(node ? (forward ? node->get_first_child() : node->get_last_child()) : nullptr);
       c && !c->is_null(); c.reset(forward ? c->get_next_sibling() : c->get_prev_sibling()), bits >>= 1) {
    const char* name = c->get_name();
    SDR_DATA_SIGNAL_WIRE* wire = name ? set->get_wire(name) : nullptr;
    const int i = wire ? wire->get_trigger_wire_index() : -1;
    if (!wire) {
      ids += " WSDR_INVALID_SIGNAL_REF";
      names.push_back(std::string("\"") + (name ? name : "unspecified") + "\"");
    } else if (i >= 0 && i < width) {
      want[level][i] = bits & 1 ? SDR_TCOND_HIGH : SDR_TCOND_LOW;
      any = true;
    }
  }
  MSG_REPORT* report = MSG_REPORT::get_default_report();
  report->clear_posted();
  SCOPED_TRACE("bus " + bus + " level " + std::to_string(level));
  EXPECT_EQ(t->set_trigger_condition(bus.c_str(), level, value, false), any);
  EXPECT_EQ(" " + sdr_test::posted_ids(), ids.empty() ? " " : ids);
  // The signal messages name the members, in order.
  for (size_t m = 0; m < names.size() && m < static_cast<size_t>(report->get_num_posted()); ++m)
    EXPECT_NE(std::string(report->get_posted_at(static_cast<int>(m))->get_text()).find(names[m]),
              std::string::npos);
  for (int l = 0; l < levels; ++l)
    for (int i = 0; i < all; ++i)
      EXPECT_EQ(t->get_condition(l, i), want[l][i]) << "level " << l << " wire " << i;
  return any;
}

TEST(BusBits, ValuesFollowEveryEditOfRowsAndWires) {
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    auto pick = [&](size_t n) { return static_cast<int>(rng() % n); };
    SDR_DATA_SESSION session;
    SDR_DATA_SIGNAL_SET* set = session.create_instance("u")->create_signal_set("s", false);
    const int WIRES = 24;
    for (int w = 0; w < WIRES; ++w)  // every seventh a data wire only, without a trigger index
      set->append(
          set->create_wire(("w" + std::to_string(w)).c_str(), w % 7 == 3 ? SDR_CTYPE_DATA : SDR_CTYPE_BOTH,
                           SDR_MTYPE_CLASSIC_TAP, true, ("a" + std::to_string(w)).c_str()),
          true);
    SDR_DATA_SIGNAL_VIEW* view = set->get_setup_view();
    // Members name wires by name, by alias, or by a name no wire has yet.
    auto member = [&]() {
      const int k = pick(WIRES + 4);
      VIEW_NODE_PTR net(view->create_net_node(
          (k >= WIRES ? "g" + std::to_string(k - WIRES) : (pick(2) ? "w" : "a") + std::to_string(k))
              .c_str()));
      return net;
    };
    for (int b = 0; b < 5; ++b) {
      VIEW_NODE_PTR bus(view->create_bus_node(("B" + std::to_string(b)).c_str()));
      for (int m = 0; m < 3 + b; ++m) bus->append_child(member().get());
      view->append_node(bus.get());
    }
    SDR_DATA_TRIGGER* t = set->create_trigger("t", false);
    for (int l = 0; l < 3; ++l) t->append_new_level(true);
    const int width = set->get_trigger_wire_width();
    for (int step = 0; step < 300; ++step) {
      std::vector<VIEW_NODE_PTR> rows = rows_of(view);
      std::vector<SDR_DATA_SIGNAL_VIEW_NODE*> buses, nets;
      for (VIEW_NODE_PTR& r : rows) (r->is_bus() ? buses : nets).push_back(r.get());
      SDR_DATA_SIGNAL_VIEW_NODE* bus = buses.empty() ? nullptr : buses[pick(buses.size())];
      SDR_DATA_SIGNAL_VIEW_NODE* net = nets[pick(nets.size())];
      const std::string w = "w" + std::to_string(pick(WIRES)), g = "g" + std::to_string(pick(4));
      switch (pick(16)) {
        case 0:  // members move, go, come and are renamed
          pick(2) && bus ? bus->append_child(net) : rows[pick(rows.size())]->insert_before(net);
          break;
        case 1:
          if (nets.size() > 8) net->remove();
          break;
        case 2:
          if (bus) bus->append_child(member().get());
          break;
        case 3:
          net->set_name(member()->get_name());
          break;
        case 4:
        case 5:
          if (bus) bus->set_lsb_to_msb(!bus->is_lsb_to_msb());
          break;
        case 6:  // a wire's alias changes or goes, through the set or the wire
          set->rename_signal_alias(w.c_str(),
                                   (std::string(pick(2) ? "a" : "g") + std::to_string(pick(WIRES))).c_str());
          break;
        case 7:
          set->get_wire(w.c_str())->del_alias();
          break;
        case 8:  // a wire named like members without one
          if (!set->get_wire(g.c_str()))
            set->append(set->create_wire(g.c_str(), SDR_CTYPE_BOTH, SDR_MTYPE_CLASSIC_TAP, true, nullptr),
                        true);
          break;
        case 9:  // buses renamed, aliased, and put in each other
          if (!bus) break;
          pick(2) ? bus->set_name(("B" + std::to_string(pick(6))).c_str())
                  : bus->set_alias(pick(2) ? "B1" : "");
          if (pick(4) == 0) buses[pick(buses.size())]->append_child(bus);
          if (pick(4) == 0) buses[0]->append_after(bus);
          break;
        default:
          for (int b = 0; b < 6; ++b)
            check_bus_value(t, "B" + std::to_string(b), pick(3), static_cast<long>(rng() & 0xFFFF), width);
      }
    }
  }
}

// The transaction layer edits the rows of the setup view itself, undo puts
// names and attributes back on the elements: values set on its buses
// follow every step.
TEST(BusBits, ValuesFollowTransactionEditsUndoAndRedo) {
  MSG_INTERNAL_ERROR::clear_reports();
  TEMP_DIR dir;
  const std::string path = dir / "nodes.tzo";
  sdr_test::write_bytes(path, sdr_test::read_bytes(sdr_test::data_path("tx/nodes.tzo")));
  SDR_TX_SESSION session(new TZO_TREE_OBJECT());
  ASSERT_TRUE(session.open_session(path.c_str()));
  SDR_TX_TRIGGER* tx = session.get_trigger_at(0);
  SDR_TX_INSTANCE* instance = session.get_instance_at(0);
  SDR_DATA_TRIGGER* t = tx->get_data_trigger();
  ASSERT_NE(t, nullptr);
  const int width = t->get_signal_set()->get_trigger_wire_width();
  auto act = [&](const std::function<void()>& edit) {
    instance->begin_action();
    edit();
    instance->end_action();
  };
  std::mt19937 rng(7);
  auto pick = [&](int n) { return n > 0 ? static_cast<int>(rng() % static_cast<unsigned>(n)) : 0; };
  // Every bus of the view by each row's name, and names no row has.
  int hits = 0;
  auto check_all = [&]() {
    std::vector<std::string> names = {"G0", "G1", "nobus"};
    for (int i = 0; i < tx->get_node_count(); ++i) names.push_back(tx->get_node_name(i));
    // Between commits too: the rows are edited in place.
    if (pick(2)) {
      EXPECT_TRUE(session.commit_session());
    }
    t = tx->get_data_trigger();
    for (const std::string& bus : names)
      hits += check_bus_value(t, bus, pick(t->get_event_levels()), rng() & 0xFF, width);
  };
  act([&] { EXPECT_TRUE(tx->group_node(0, 2, nullptr)); });
  act([&] { EXPECT_TRUE(tx->group_node(4, 9, nullptr)); });
  check_all();
  const char* const names[] = {"a", "b", "d[0]", "d[1]", "q[0]", "q[3]", "x", "G0", "G1"};
  for (int step = 0; step < 300 && !testing::Test::HasFatalFailure(); ++step) {
    const int n = tx->get_node_count(), i = pick(n), j = i + pick(3);
    switch (pick(9)) {
      case 0:
        act([&] { tx->group_node(i, j < n ? j : n - 1, nullptr); });
        break;
      case 1:
        act([&] { tx->ungroup_node(i); });
        break;
      case 2:
        if (tx->get_node_display_type(i) == SDR_DTYPE_EXPAND_GROUP_NODE ||
            tx->get_node_display_type(i) == SDR_DTYPE_COLLAPSE_GROUP_NODE)
          act([&] { tx->set_group_node_name(i, names[7 + pick(2)]); });
        break;
      case 3:
        act([&] { tx->set_node_name(i, names[pick(9)]); });
        break;
      case 4:
        act([&] { tx->set_node_alias(i, pick(2) ? names[pick(9)] : ""); });
        break;
      case 5:
        act([&] { tx->set_node_lsb_to_msb(i, pick(2) != 0); });
        break;
      case 6:
        if (n > 4) act([&] { tx->delete_node(i, i); });
        break;
      case 7:
        instance->undo();
        break;
      default:
        instance->redo();
    }
    check_all();
  }
  // Enough of the values reached a wire to say something.
  EXPECT_GT(hits, 100);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

}  // namespace
