// Mnemonic tables and the session's set of tables.

#include <gtest/gtest.h>

#include <string>
#include <xercesc/dom/DOM.hpp>

#include "msg_service.h"
#include "sdr_data_mnemonics.h"
#include "sdr_data_session.h"
#include "sdr_data_xml_util.h"
#include "test_util.h"

namespace {

class Mnemonics : public testing::Test {
 protected:
  SDR_DATA_SESSION m_session;  // provides the document
};

TEST_F(Mnemonics, LookupExactThenWildcardInEntryOrder) {
  SDR_DATA_MNEMONICS set(m_session.get_document());
  SDR_DATA_MNEMONICS_TABLE* t = set.create_table("state", 4);
  ASSERT_NE(t, nullptr);
  for (const char* entry :
       {"IDLE=0000", "A=HL01", "B=1001", "ANY1=1XXX", "EDGE=R000", "RISE=RXXX", "LOW=0XXX"}) {
    const std::string s(entry);
    ASSERT_TRUE(t->add_entry(s.substr(0, s.find('=')).c_str(), s.substr(s.find('=') + 1).c_str()));
  }
  EXPECT_STREQ(t->get_first_symbol("1010"), "ANY1");
  EXPECT_STREQ(t->get_first_symbol("0000"), "IDLE");
  EXPECT_STREQ(t->get_first_symbol("0110"), "LOW");
  EXPECT_EQ(t->get_first_symbol("101"), nullptr);
  // HL01 and 1001 normalize alike; the first symbol keeps the value.
  EXPECT_STREQ(t->get_first_symbol("1001"), "A");
  EXPECT_STREQ(t->get_first_symbol("HL01"), "A");
  EXPECT_STREQ(t->get_value("A"), "HL01");
  // Edge values are found exactly, never by the wildcard scan; lower case
  // letters are neither normalized nor wild.
  EXPECT_STREQ(t->get_first_symbol("R000"), "EDGE");
  EXPECT_STREQ(t->get_first_symbol("RXXX"), "RISE");
  EXPECT_EQ(t->get_first_symbol("R111"), nullptr);
  EXPECT_EQ(t->get_first_symbol("h001"), nullptr);

  // A symbol is taken once.
  EXPECT_FALSE(t->add_entry("A", "1111"));
  EXPECT_STREQ(t->get_value("A"), "HL01");
  ASSERT_EQ(t->get_num_entries(), 7);
  EXPECT_STREQ(t->get_value(1), "HL01");
  EXPECT_STREQ(t->get_first_symbol(6), "LOW");
  EXPECT_EQ(t->get_value(7), nullptr);
  EXPECT_EQ(MSG_REPORT::get_default_report()->get_num_posted(), 0);
}

TEST_F(Mnemonics, TablesAreCreatedDeletedAndClonedInTheDocument) {
  SDR_DATA_MNEMONICS set(m_session.get_document());
  SDR_DATA_MNEMONICS_TABLE* zeta = set.create_table("zeta", 2);
  SDR_DATA_MNEMONICS_TABLE* alpha = set.create_table("alpha", 0);
  SDR_DATA_MNEMONICS_TABLE* mid = set.create_table("mid", 1);
  zeta->add_entry("LO", "00");
  zeta->add_entry("HI", "11");
  alpha->add_entry("HI", "1X");
  const std::string before = sdr_test::xml_text(set.get_dom_node());
  EXPECT_EQ(set.create_table("mid", 7), nullptr);
  EXPECT_EQ(sdr_test::xml_text(set.get_dom_node()), before);
  // Iteration is in name order, the document keeps creation order.
  EXPECT_EQ(set.get_table(0), alpha);
  EXPECT_EQ(set.get_table(1), mid);
  EXPECT_EQ(set.get_table(2), zeta);
  EXPECT_EQ(set.get_table(3), nullptr);

  // Cloning into width 0 takes the source's width but leaves the attribute;
  // the refused HI is reported with this table's value.
  EXPECT_TRUE(alpha->clone(zeta));
  EXPECT_EQ(alpha->get_width(), 2);
  EXPECT_STREQ(alpha->get_first_symbol("11"), "HI");
  const MSG_REPORT* report = MSG_REPORT::get_default_report();
  ASSERT_EQ(report->get_num_posted(), 1);
  EXPECT_STREQ(
      report->get_posted_at(0)->get_text(),
      "Symbol \"HI\" has duplicate value \"1X\" in mnemonic table \"alpha\" -- ignoring new value \"11\"");

  // Only the set's own table of a name is deleted, element and all.
  SDR_DATA_MNEMONICS_TABLE stranger(m_session.get_document(), "mid", 1);
  EXPECT_FALSE(set.delete_table(&stranger));
  EXPECT_TRUE(set.delete_table(mid));
  EXPECT_TRUE(set.delete_table("zeta"));
  EXPECT_FALSE(set.delete_table("zeta"));
  EXPECT_EQ(set.get_num_tables(), 1);
  EXPECT_EQ(sdr_test::xml_text(set.get_dom_node()),
            "<mnemonics>\n"
            "  <table name=\"alpha\" width=\"0\">\n"
            "    <symbol name=\"HI\" value=\"1X\"/>\n"
            "    <symbol name=\"LO\" value=\"00\"/>\n"
            "  </table>\n"
            "</mnemonics>");
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

// A session file with tables: loaded, edited and saved, byte for byte.
TEST_F(Mnemonics, SessionDocumentLoadEditSave) {
  sdr_test::TEMP_DIR dir;
  SDR_DATA_SESSION session(sdr_test::data_path("mnemonics/tables.tzo").c_str());
  ASSERT_NE(session.get_name(), nullptr);
  ASSERT_NE(session.find_mnemonics(), nullptr);
  SDR_DATA_MNEMONICS& set = *session.get_mnemonics();

  // The repeated IDLE is refused once; the nameless table is read empty.
  const MSG_REPORT* report = MSG_REPORT::get_default_report();
  ASSERT_EQ(report->get_num_posted(), 1);
  const MSG_OBJECT* msg = report->get_posted_at(0);
  EXPECT_STREQ(msg->get_id(), "WSDR_DUPLICATE_SYMBOL");
  ASSERT_EQ(msg->get_num_args(), 4);
  EXPECT_STREQ(msg->get_arg_at(1), "0000");
  EXPECT_STREQ(msg->get_arg_at(3), "1111");
  ASSERT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 1);
  EXPECT_STREQ(MSG_INTERNAL_ERROR::get_expression_at(0), "m_name != \"\"");

  // The nameless table and the second "state" stay out of the set; symbols
  // lacking a name or a value are skipped.
  ASSERT_EQ(set.get_num_tables(), 2);
  SDR_DATA_MNEMONICS_TABLE* state = set.get_table(1);
  EXPECT_STREQ(set.get_table(0)->get_name(), "opcode");
  EXPECT_EQ(set.get_table(0)->get_width(), 0);
  EXPECT_STREQ(state->get_name(), "state");
  ASSERT_EQ(state->get_num_entries(), 3);
  EXPECT_STREQ(state->get_first_symbol("1111"), "BUSY");

  EXPECT_TRUE(set.create_table("bus", 2)->add_entry("BOTH", "HH"));
  EXPECT_TRUE(state->add_entry("DONE", "0001"));
  const std::string out = dir / "tables.tzo";
  ASSERT_TRUE(session.save_as(out.c_str(), true, false));
  EXPECT_EQ(sdr_test::read_bytes(out),
            sdr_test::read_bytes(sdr_test::data_path("mnemonics/tables.expected.tzo")));
}

}  // namespace
