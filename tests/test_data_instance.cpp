// Instances and the session's instance registry.

#include <gtest/gtest.h>

#include <string>

#include "cfg_service.h"
#include "msg_service.h"
#include "sdr_data_instance.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_msgs.h"
#include "test_util.h"

using sdr_test::TEMP_DIR;

namespace {

using DataInstance = testing::Test;

TEST_F(DataInstance, DocumentLoadsAndSavesInTheCurrentLayout) {
  TEMP_DIR dir;
  SDR_DATA_SESSION session(sdr_test::data_path("instance/instances.tzo").c_str());
  ASSERT_NE(session.get_name(), nullptr);
  // Three signal sets without wires, a duplicate set, a duplicate instance
  // and a nameless one.
  EXPECT_EQ(sdr_test::posted_ids(),
            "WSDR_EMPTY_SIGNAL_SET WSDR_EMPTY_SIGNAL_SET WSDR_DUPLICATE_NAME WSDR_EMPTY_SIGNAL_SET "
            "WSDR_DUPLICATE_NAME WSDR_MISSING_NAME");
  ASSERT_EQ(session.get_num_instances(), 2);

  SDR_DATA_INSTANCE* alpha = session.get_instance_at(0);
  EXPECT_STREQ(alpha->get_name(), "alpha");
  EXPECT_FALSE(alpha->is_expanded());
  EXPECT_TRUE(alpha->is_auto_node());
  EXPECT_TRUE(alpha->is_incr_cmp_mode());
  SDR_DATA_INSTANCE_INFO info = alpha->get_node_info();
  EXPECT_EQ(info.version, 2);
  EXPECT_EQ(info.instance_index, 4);
  EXPECT_FALSE(alpha->is_current_version());
  EXPECT_TRUE(alpha->update_to_current_version());
  EXPECT_FALSE(alpha->update_to_current_version());

  // Position data is read as the session's global values are (DataSessionGlobals).
  EXPECT_EQ(alpha->get_position_data("zoom"), 3);
  int values[8] = {0};
  ASSERT_EQ(alpha->get_position_data("widths", values), 3);
  EXPECT_EQ(values[2], 30);

  SDR_DATA_INSTANCE* beta = session.find_instance("beta");
  ASSERT_NE(beta, nullptr);
  EXPECT_TRUE(beta->is_expanded());  // "no" is not "false"
  EXPECT_FALSE(beta->is_auto_node());
  EXPECT_TRUE(beta->is_current_version());  // no version: 255
  EXPECT_FALSE(beta->update_to_current_version());
  EXPECT_EQ(beta->get_num_signal_sets(), 2);
  // The first display branch of an instance wins.
  EXPECT_EQ(session.find_active_signal_set(beta), beta->find_signal_set("main"));
  EXPECT_EQ(beta->get_last_signal_set(), beta->find_signal_set("main"));

  std::string out = dir / "out.tzo";
  ASSERT_TRUE(session.save_as(out.c_str(), true, false));
  EXPECT_EQ(sdr_test::read_bytes(out),
            sdr_test::read_bytes(sdr_test::data_path("instance/instances.expected.tzo")));

  // Resetting the display tree forgets every branch, in memory and on file.
  session.reset_active_tree();
  EXPECT_EQ(session.find_active_signal_set(beta), nullptr);
  std::string text;
  ASSERT_TRUE(session.write_to_string(&text));
  EXPECT_EQ(text.find("display_branch"), std::string::npos);
}

// The memory budget of a load bounds the parse only: a long editing
// session after loading with a small budget never meets it.
TEST_F(DataInstance, EditsAfterALoadAreNotBoundByItsBudget) {
  TEMP_DIR dir;
  const std::string path = dir / "small.tzo";
  {
    SDR_DATA_SESSION fresh;
    ASSERT_NE(fresh.create_trazio_instance("ela"), nullptr);
    ASSERT_TRUE(fresh.save_as(path.c_str(), true, true));
  }
  cfg_set_value("sdr_max_document_mb", "2");
  SDR_DATA_SESSION session(path.c_str());
  cfg_set_value("sdr_max_document_mb", nullptr);
  ASSERT_NE(session.get_name(), nullptr);
  SDR_DATA_INSTANCE* instance = session.get_instance_at(0);
  ASSERT_NE(instance, nullptr);
  // New entries (each a new element) first, then new values for them.
  EXPECT_NO_THROW({
    for (int i = 0; i < 100000; ++i)
      instance->set_position_data(("key" + std::to_string(i % 5000)).c_str(), i, false);
  });
  EXPECT_EQ(instance->get_position_data("key4999"), 99999);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

TEST_F(DataInstance, AutoNodeReadsAsANumberToo) {
  TEMP_DIR dir;
  const std::string path = dir / "auto.tzo";
  sdr_test::write_bytes(path,
                        "<session><instance name=\"one\" is_auto_node=\"1\"/>"
                        "<instance name=\"zero\" is_auto_node=\"0\"/></session>");
  SDR_DATA_SESSION session(path.c_str());
  ASSERT_EQ(session.get_num_instances(), 2);
  EXPECT_TRUE(session.find_instance("one")->is_auto_node());
  EXPECT_FALSE(session.find_instance("zero")->is_auto_node());
}

TEST_F(DataInstance, AutomaticNamesAndIndexes) {
  SDR_DATA_SESSION session;
  SDR_DATA_INSTANCE* a = session.create_trazio_instance(nullptr);
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a->get_name(), "auto_trazio_0");
  EXPECT_EQ(a->get_node_info().instance_index, 0);
  EXPECT_TRUE(a->is_auto_node());
  EXPECT_EQ(a->get_signal_set_at(0), nullptr);
  EXPECT_EQ(a->get_signal_set_at(-1), nullptr);

  // A name clash on the automatic name: "(0)", then "(1)".
  ASSERT_NE(session.create_instance("auto_trazio_1"), nullptr);
  ASSERT_NE(session.create_instance("auto_trazio_2"), nullptr);
  ASSERT_NE(session.create_instance("auto_trazio_2 (0)"), nullptr);
  SDR_DATA_INSTANCE* b = session.create_trazio_instance(nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_STREQ(b->get_name(), "auto_trazio_1 (0)");
  EXPECT_EQ(b->get_node_info().instance_index, 1);
  SDR_DATA_INSTANCE* c = session.create_trazio_instance(nullptr);
  EXPECT_STREQ(c->get_name(), "auto_trazio_2 (1)");
  EXPECT_EQ(c->get_node_info().instance_index, 2);

  // Named creation keeps the name; a taken name is refused with a warning.
  SDR_DATA_INSTANCE* named = session.create_trazio_instance("probe");
  ASSERT_NE(named, nullptr);
  EXPECT_STREQ(named->get_name(), "probe");
  MSG_REPORT::get_default_report()->clear_posted();
  EXPECT_EQ(session.create_trazio_instance("probe"), nullptr);
  EXPECT_EQ(sdr_test::posted_ids(), "WSDR_DUPLICATE_NAME");
  EXPECT_EQ(session.get_num_instances(), 7);
}

TEST_F(DataInstance, ForeignNodeIdentityDoesNotCount) {
  SDR_DATA_SESSION session;
  SDR_DATA_INSTANCE* foreign = session.create_instance("foreign");
  SDR_DATA_INSTANCE_INFO info;
  info.node_id = 2;
  info.version = 3;
  info.instance_index = 9;
  foreign->set_node_info(info);
  SDR_DATA_INSTANCE* a = session.create_trazio_instance(nullptr);
  EXPECT_EQ(a->get_node_info().instance_index, 1);
  EXPECT_STREQ(a->get_name(), "auto_trazio_1");
  EXPECT_FALSE(foreign->is_trazio_node() && !foreign->is_trazio_hdl_node());
  EXPECT_TRUE(foreign->is_trazio_hdl_node());
  info.node_id = 1;
  foreign->set_node_info(info);
  EXPECT_FALSE(foreign->is_trazio_node());
  EXPECT_FALSE(foreign->is_trazio_hdl_node());
}

TEST_F(DataInstance, RenameGoesThroughTheNameMap) {
  SDR_DATA_SESSION session;
  SDR_DATA_INSTANCE* a = session.create_instance("a");
  session.create_instance("b");
  EXPECT_FALSE(a->set_name("b"));
  EXPECT_STREQ(a->get_name(), "a");
  EXPECT_EQ(session.find_instance("a"), a);
  EXPECT_TRUE(a->set_name("c d-e"));
  EXPECT_EQ(session.find_instance("a"), nullptr);
  EXPECT_EQ(session.find_instance("c d-e"), a);
  std::string identifier;
  a->get_name(&identifier);
  EXPECT_EQ(identifier, "c_d_e");

  a->remove();
  EXPECT_EQ(session.get_num_instances(), 1);
  EXPECT_EQ(session.find_instance("c d-e"), nullptr);
  std::string text;
  ASSERT_TRUE(session.write_to_string(&text));
  EXPECT_EQ(text.find("c d-e"), std::string::npos);
}

TEST_F(DataInstance, NewInstanceElementsAndPositionData) {
  SDR_DATA_SESSION session;
  SDR_DATA_INSTANCE* a = session.create_trazio_instance("top");
  // Values set again, or for the table only: DataSessionGlobals.SetTwiceKeepsOneElement.
  a->set_position_data("zoom", 7, false);
  int widths[] = {10, 20, 30};
  a->set_position_data("widths", widths, 3, false);
  a->set_expanded_status(false);
  a->set_incr_cmp_mode(true);
  std::string text;
  ASSERT_TRUE(session.write_to_string(&text));
  EXPECT_EQ(text,
            "<session>\n"
            "  <display_tree/>\n"
            "  <global_info/>\n"
            "  <instance compilation_mode=\"incremental\" entity_name=\"hdx_trazio\" is_auto_node=\"yes\" "
            "is_expanded=\"false\" name=\"top\" source_file=\"hdx_trazio.vhd\">\n"
            "    <node_ip_info instance_id=\"0\" mfg_id=\"110\" node_id=\"0\" version=\"3\"/>\n"
            "    <position_info>\n"
            "      <single attribute=\"zoom\" value=\"7\"/>\n"
            "      <multi attribute=\"widths\" size=\"3\" value=\"10,20,30\"/>\n"
            "    </position_info>\n"
            "  </instance>\n"
            "</session>\n");
}

}  // namespace
