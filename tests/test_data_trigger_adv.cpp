// Advanced trigger levels, compilation, latency coordination and the
// configuration CRC.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "atg_compiler.h"
#include "msg_service.h"
#include "sdr_data_instance.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"
#include "sdr_msgs.h"
#include "test_util.h"

namespace {

// A signal set with wires a (data and trigger), b (trigger) and c (data).
class AdvancedTrigger : public testing::Test {
 protected:
  void SetUp() override {
    m_instance = m_session.create_trazio_instance(nullptr);
    m_set = m_instance->create_signal_set("set", false);
    m_set->append(m_set->create_wire("a", SDR_CTYPE_BOTH, SDR_MTYPE_CLASSIC_TAP, true, nullptr), true);
    m_set->append(m_set->create_wire("b", SDR_CTYPE_TRIGGER, SDR_MTYPE_CLASSIC_TAP, true, "bee"), true);
    m_set->append(m_set->create_wire("c", SDR_CTYPE_DATA, SDR_MTYPE_CLASSIC_TAP, true, nullptr), true);
    m_trigger = m_set->create_trigger("t", false);
  }

  int advanced_level(const char* expression) {
    int level = m_trigger->append_new_level(true);
    m_trigger->set_trigger_level_cond_expr_type(level, false);
    m_trigger->set_advanced_trigger_expression(level, expression);
    return level;
  }

  SDR_DATA_SESSION m_session;
  SDR_DATA_INSTANCE* m_instance = nullptr;
  SDR_DATA_SIGNAL_SET* m_set = nullptr;
  SDR_DATA_TRIGGER* m_trigger = nullptr;
};

TEST(ConfigurationCrc, CheckValues) {
  EXPECT_EQ(SDR_DATA_TRIGGER::crc16("abc"), 0x5749u);
  EXPECT_EQ(SDR_DATA_TRIGGER::crc16("123456789"), 0x4B37u);
  EXPECT_EQ(SDR_DATA_TRIGGER::crc16(""), 0xFFFFu);
  EXPECT_EQ(SDR_DATA_TRIGGER::crc8("abc"), 0xECu);
  EXPECT_EQ(SDR_DATA_TRIGGER::crc8(""), 0xFFu);
}

TEST_F(AdvancedTrigger, NonIncrementalAndIncrementalFormulas) {
  // Version 3 without levels: the level CRC texts add nothing.
  EXPECT_EQ(m_trigger->get_crc_critical_text(3), "2|2|0|128|N|N");
  EXPECT_EQ(m_trigger->get_crc_critical_text(2), "2|2|0|128|N|N");
  EXPECT_EQ(m_trigger->get_crc_non_incremental_text(), "auto_tzo_external_clock^a;c;^a;b;^");
  // CRC16 of the critical text 0x8D2D, of the non-incremental text 0x6C00.
  EXPECT_EQ(m_trigger->get_crc_value(), 0x8D2D6C00ul);
  std::string text;
  ASSERT_TRUE(m_session.write_to_string(&text));
  EXPECT_NE(text.find("CRC=\"8D2D6C00\""), std::string::npos);

  // A stored value wins, even after the wires changed.
  m_set->get_wire("c")->set_tap_mode(SDR_MTYPE_ADVANCED_TAP);
  EXPECT_EQ(m_trigger->get_crc_value(), 0x8D2D6C00ul);

  // Recomputed with incremental routing: CRC8 of the non-critical text is
  // 0xDC, of the incremental text 0x3C; only the low byte of the CRC16
  // survives, in the top byte.
  SDR_DATA_TRIGGER* fresh = m_set->create_trigger("fresh", false);
  EXPECT_TRUE(fresh->is_using_incremental_route());
  EXPECT_EQ(fresh->get_crc_non_critical_text(), "auto_tzo_external_clock^a;^a;b;^");
  EXPECT_EQ(fresh->get_crc_incremental_text(), "c;^^");
  EXPECT_EQ(fresh->get_crc_value(), 0x2D00DC3Cul);

  fresh->set_crc_value(0);
  EXPECT_EQ(fresh->get_crc_value(), 0ul);
}

// Reserved data nodes beyond the data wires route incrementally; as many as
// there are wires do not.
TEST_F(AdvancedTrigger, ReservedDataNodesEqualToTheWiresKeepTheFullRoute) {
  ASSERT_EQ(m_set->get_data_wire_width(), 2);
  m_set->set_reserved_data_node_size(2);
  EXPECT_FALSE(m_trigger->is_using_incremental_route());
  m_set->set_reserved_data_node_size(3);
  EXPECT_TRUE(m_trigger->is_using_incremental_route());
}

TEST_F(AdvancedTrigger, VersionDecidesTheCrc) {
  SDR_DATA_INSTANCE_INFO info = m_instance->get_node_info();
  info.version = 255;
  info.inferred_version = 255;
  m_instance->set_node_info(info);
  EXPECT_EQ(m_trigger->get_crc_value(), 0ul);
  info.version = 7;
  m_instance->set_node_info(info);
  EXPECT_EQ(m_trigger->get_crc_value(), 0ul);
  ASSERT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 1);
  EXPECT_STREQ(MSG_INTERNAL_ERROR::get_expression_at(0), "Unsupported Trazio II version");
}

TEST_F(AdvancedTrigger, ExpressionsCompileOnDemand) {
  int good = advanced_level("rising(a) && !bee");
  EXPECT_STREQ(m_trigger->get_advanced_trigger_expression(good), "rising(a) && !bee");
  ASSERT_NE(m_trigger->get_advanced_trigger_factory(good), nullptr);
  EXPECT_EQ(m_trigger->get_advanced_trigger_factory(good)->get_root()->get_pipeline_latency(), 3);

  int bad = m_trigger->append_new_level(true);
  m_trigger->set_trigger_level_cond_expr_type(bad, false);
  EXPECT_FALSE(m_trigger->set_advanced_trigger_expression(bad, "a && nowhere"));
  EXPECT_EQ(m_trigger->get_advanced_trigger_factory(bad), nullptr);
  EXPECT_FALSE(m_trigger->set_advanced_trigger_expression(bad, "a &&"));
  EXPECT_EQ(m_trigger->get_last_trigger_level_latency_delay(), -1);
  EXPECT_STREQ(m_trigger->get_advanced_trigger_crc_string(bad), "none");
  EXPECT_TRUE(m_trigger->set_advanced_trigger_expression(bad, "'a' == 1"));
  EXPECT_EQ(m_trigger->get_last_trigger_level_latency_delay(), 2);

  // The expression is stored as CDATA and compiled lazily after a reload.
  sdr_test::TEMP_DIR dir;
  std::string path = dir / "adv.tzo";
  ASSERT_TRUE(m_session.save_as(path.c_str(), true, false));
  SDR_DATA_SESSION again(path.c_str());
  SDR_DATA_TRIGGER* t = again.get_instance_at(0)->find_signal_set("set")->find_trigger("t");
  ASSERT_NE(t, nullptr);
  EXPECT_FALSE(t->is_trigger_level_basic_condition(good));
  EXPECT_STREQ(t->get_advanced_trigger_expression(good), "rising(a) && !bee");
  EXPECT_NE(t->get_advanced_trigger_factory(good), nullptr);
  EXPECT_STREQ(t->get_advanced_trigger_crc_string(good), m_trigger->get_advanced_trigger_crc_string(good));
}

// The latency of an operator follows its deeper operand, on either side.
TEST_F(AdvancedTrigger, LatencyFollowsTheDeeperOperandOnEitherSide) {
  auto latency = [this](const char* expression) {
    ATG_ADVANCED_TRIGGER_FACTORY* factory =
        m_trigger->get_advanced_trigger_factory(advanced_level(expression));
    return factory ? factory->get_root()->get_pipeline_latency() : -1;
  };
  const int flat = latency("a && bee");
  ASSERT_GT(flat, 0);
  EXPECT_EQ(latency("a && (bee || a)"), latency("(bee || a) && a"));
  EXPECT_GT(latency("a && (bee || a)"), flat);
  EXPECT_EQ(latency("a || rising(bee)"), latency("rising(bee) || a"));
  EXPECT_GT(latency("a || rising(bee)"), latency("a || bee"));
}

TEST_F(AdvancedTrigger, FinalizeCoordinatesAndWarnsOncePerUnusedInput) {
  int l0 = advanced_level("a");
  int l1 = advanced_level("!(a ^ 1)");
  EXPECT_TRUE(m_trigger->finalize_triggers());
  EXPECT_EQ(m_trigger->get_advanced_trigger_factory(l0)->get_root()->get_pipeline_latency(),
            m_trigger->get_advanced_trigger_factory(l1)->get_root()->get_pipeline_latency());
  // Input b (alias "bee") is used by no level.
  EXPECT_EQ(sdr_test::posted_ids(), "WSDR_TRIGGER_NOT_USED");
  EXPECT_STREQ(MSG_REPORT::get_default_report()->get_posted_at(0)->get_text(),
               "Signal \"bee\" exists in signal set and is defined as an input for triggering, but advanced "
               "trigger conditions in trigger \"t\" do not use the signal");
  MSG_REPORT::get_default_report()->clear_posted();
  EXPECT_FALSE(m_trigger->finalize_triggers());
  EXPECT_EQ(sdr_test::posted_ids(), "");

  // A basic level ends the check after the latencies.
  SDR_DATA_TRIGGER* mixed = m_set->create_trigger("mixed", false);
  mixed->append_new_level(true);
  EXPECT_TRUE(mixed->finalize_triggers());
  EXPECT_EQ(sdr_test::posted_ids(), "");
}

TEST_F(AdvancedTrigger, NodeIdTwoNamesTheInputsByIndex) {
  SDR_DATA_INSTANCE_INFO info = m_instance->get_node_info();
  info.node_id = 2;
  m_instance->set_node_info(info);
  ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP map;
  EXPECT_TRUE(m_trigger->create_name_index_map(&map));
  EXPECT_EQ(map.find_index("acq_trigger_in[0]"), 0);
  EXPECT_EQ(map.find_index("acq_trigger_in[1]"), 1);
  EXPECT_EQ(map.find_index("acq_trigger_in[2]"), -1);
  EXPECT_EQ(map.find_index("a"), -1);
  int level = m_trigger->append_new_level(true);
  EXPECT_FALSE(m_trigger->set_advanced_trigger_expression(level, "a"));
  EXPECT_TRUE(m_trigger->set_advanced_trigger_expression(level, "'acq_trigger_in[1]' && acq_trigger_in[0]"));
}

TEST_F(AdvancedTrigger, TreeRootsAndAttributes) {
  int level = m_trigger->append_new_level(true);
  SDR_DATA_TRIGGER_ADV_TREE_OBJ* root = m_trigger->recreate_advanced_trigger_tree_root(level);
  ASSERT_NE(root, nullptr);
  SDR_DATA_STRING_PAIR_VEC attrs;
  attrs.append("kind", "and");
  attrs.append("not a name", "x");  // refused by the document, skipped
  root->set_attributes(&attrs);
  SDR_DATA_TRIGGER_ADV_TREE_OBJ child = root->append_child();
  child.append_child().append_child();
  root->append_child();
  EXPECT_FALSE(root->first_child().next_sibling().is_null());
  std::unique_ptr<SDR_DATA_STRING_PAIR_VEC> read(root->get_attributes());
  ASSERT_EQ(read->get_num_pairs(), 1);
  EXPECT_STREQ(read->get_type_at(0), "kind");
  EXPECT_STREQ(read->get_value_at(0), "and");

  // Recreating over a subtree leaves one empty "op_node" in the level.
  EXPECT_EQ(m_trigger->recreate_advanced_trigger_tree_root(level), root);
  EXPECT_TRUE(root->first_child().is_null());
  std::string text;
  ASSERT_TRUE(m_session.write_to_string(&text));
  EXPECT_NE(text.find("<level>\n            <op_node/>\n          </level>"), std::string::npos);
  EXPECT_EQ(m_trigger->get_advanced_trigger_tree_root(level + 1), nullptr);

  // The fresh root goes to the end of the level, after its expression.
  m_trigger->set_advanced_trigger_expression(level, "a");
  m_trigger->recreate_advanced_trigger_tree_root(level);
  ASSERT_TRUE(m_session.write_to_string(&text));
  EXPECT_NE(text.find("<![CDATA[a]]>\n            </expression>\n            <op_node/>\n          </level>"),
            std::string::npos)
      << text;
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

}  // namespace
