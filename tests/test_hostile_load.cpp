// Hostile documents: every one ends in a clear message or loads normally,
// never in a crash, a hang, unbounded memory or a file read behind the
// user's back.

#include <gtest/gtest.h>

#include <string>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include "cfg_service.h"
#include "msg_service.h"
#include "sdr_data_session.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_msgs.h"
#include "test_util.h"

namespace {

class HostileLoad : public testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& bytes) {
    sdr_test::write_bytes(m_dir / name, bytes);
    return m_dir / name;
  }

  // Loads path and expects exactly one ESDR_SOURCE_GENERIC with that text.
  void expect_refused(const std::string& path, const std::string& text) {
    MSG_REPORT* report = MSG_REPORT::get_default_report();
    report->clear_posted();
    SDR_DATA_SESSION session(path.c_str());
    EXPECT_EQ(session.get_name(), nullptr);
    ASSERT_EQ(report->get_num_posted(), 1);
    const MSG_OBJECT* m = report->get_posted_at(0);
    EXPECT_EQ(m->get_code(), ESDR_SOURCE_GENERIC);
    EXPECT_TRUE(m->is_error());
    EXPECT_STREQ(m->get_arg_at(0), path.c_str());
    // The parser's place in the file, where it gives one, is not compared.
    std::string reason = m->get_arg_at(1);
    size_t at = reason.rfind(" (line ");
    if (at != std::string::npos && reason.back() == ')') reason.erase(at);
    EXPECT_EQ(reason, text);
  }

  sdr_test::TEMP_DIR m_dir;
};

using sdr_test::repeat;

TEST_F(HostileLoad, EntityExpansionBombIsStopped) {
  std::string dtd = "<!ENTITY a \"aaaaaaaaaa\">";
  for (int i = 0; i < 9; ++i) {
    std::string ref = std::string("&") + static_cast<char>('a' + i) + ";";
    dtd += std::string("<!ENTITY ") + static_cast<char>('b' + i) + " \"" + repeat(ref, 10) + "\">";
  }
  std::string path = write("bomb.tzo", "<!DOCTYPE session [" + dtd + "]><session>&j;</session>");
  expect_refused(path,
                 "parser has encountered more than '100000' entity expansions in the document; this is the "
                 "limit imposed by the application");
}

TEST_F(HostileLoad, LargeEntityRepeatedRunsIntoTheMemoryBudget) {
  std::string path = write("big.tzo", "<!DOCTYPE session [<!ENTITY a \"" + std::string(65536, 'x') +
                                          "\">]><session>" + repeat("&a;", 40000) + "</session>");
  expect_refused(path, "the document needs more than the 258 MiB of memory allowed for it");
}

TEST_F(HostileLoad, ExternalEntitiesAreNeverRead) {
  // A file of our own that the documents name: reading it would be a leak.
  std::string secret = write("secret.txt", "<x>secret</x>");
  expect_refused(
      write("general.tzo",
            "<!DOCTYPE session [<!ENTITY e SYSTEM \"" + secret + "\">]><session>&e;</session>"),
      "the document refers to the external entity \"" + secret + "\"; external entities are not read");
  expect_refused(write("param.tzo", "<!DOCTYPE session [<!ENTITY % p SYSTEM \"secret.txt\"> %p;]><session/>"),
                 "the document refers to the external entity \"secret.txt\"; external entities are not read");
  // An external DTD is not loaded at all; the declaration itself is kept.
  std::string path = write("dtd.tzo", "<!DOCTYPE session SYSTEM \"/dev/stdin\"><session/>");
  SDR_DATA_SESSION session(path.c_str());
  EXPECT_NE(session.get_name(), nullptr);
  std::string text;
  ASSERT_TRUE(session.write_to_string(&text));
  EXPECT_EQ(text,
            "<!DOCTYPE session SYSTEM \"/dev/stdin\">\n<session>\n  <display_tree/>\n  "
            "<global_info/>\n</session>\n");
}

TEST_F(HostileLoad, NestingDepthAndAttributeCountAreBounded) {
  expect_refused(write("deep.tzo", "<session>" + repeat("<a>", 20000) + repeat("</a>", 20000) + "</session>"),
                 "elements are nested more than 10000 levels deep");
  std::string attrs;
  for (int i = 0; i < 20000; ++i) attrs += " a" + std::to_string(i) + "=\"1\"";
  expect_refused(write("attrs.tzo", "<session" + attrs + "/>"),
                 "an element has 20000 attributes; at most 10000 are allowed");

  // Limits are configuration switches; the limit itself is allowed.
  cfg_set_value("sdr_max_xml_attributes", "3");
  MSG_REPORT::get_default_report()->clear_posted();
  SDR_DATA_SESSION three(write("three.tzo", "<session a=\"1\" b=\"2\" c=\"3\"/>").c_str());
  EXPECT_NE(three.get_name(), nullptr);
  EXPECT_EQ(MSG_REPORT::get_default_report()->get_num_posted(), 0);
  expect_refused(write("four_attrs.tzo", "<session a=\"1\" b=\"2\" c=\"3\" d=\"4\"/>"),
                 "an element has 4 attributes; at most 3 are allowed");
  cfg_set_value("sdr_max_xml_attributes", nullptr);
  cfg_set_value("sdr_max_xml_depth", "3");
  expect_refused(write("four.tzo", "<session><a><b><c/></b></a></session>"),
                 "elements are nested more than 3 levels deep");
  cfg_set_value("sdr_max_xml_depth", nullptr);
}

TEST_F(HostileLoad, EmptyElementsDoNotHideNesting) {
  // Every "<b/>" is opened and closed: it must not count as a level closed.
  expect_refused(
      write("deep_empty.tzo", "<session>" + repeat("<a><b/>", 20000) + repeat("</a>", 20000) + "</session>"),
      "elements are nested more than 10000 levels deep");
  cfg_set_value("sdr_max_xml_depth", "3");
  MSG_REPORT::get_default_report()->clear_posted();
  SDR_DATA_SESSION three(write("three_deep.tzo", "<session><a><b/><b/><c/></a><a/></session>").c_str());
  EXPECT_NE(three.get_name(), nullptr);
  expect_refused(write("four_deep.tzo", "<session><a><b/><c><d/></c></a></session>"),
                 "elements are nested more than 3 levels deep");
  cfg_set_value("sdr_max_xml_depth", nullptr);
}

// The loader builds the document itself and leaves out white space between
// elements; what is written must be what writing the parser's full document
// gives, for every kind of content.
TEST_F(HostileLoad, LoadedDocumentWritesAsTheFullParse) {
  const std::string text =
      "<!DOCTYPE session [<!ENTITY e \"  ent <x/> text  \"><!ATTLIST q k ID #IMPLIED d CDATA \"dflt\">]>\n"
      "<session a=\"x &amp; &#9;y&#10;\" b=\"\">\n"
      "  <blank>   </blank>\n  <blank2>\n\n</blank2>\n  <empty/>\n"
      "  <level type=\"basic\">\n    <expression>  <![CDATA[a && b]]>  </expression>\n  </level>\n"
      "  <mixed> lead <z/>  middle &amp; &#32; <z/>\t<!-- c -->  <?pi data?>  <z/>   tail  </mixed>\n"
      "  <q k=\"id1\"/>  <q/>\n  <ent>  &e;  <z/>  &e;</ent>\n"
      "  <data>0101</data>  <data>  </data>\n"
      "  <display_tree/>\n  <global_info/>\n</session>\n";
  std::string path = write("mixed.tzo", text);
  SDR_DATA_SESSION session(path.c_str());
  ASSERT_NE(session.get_name(), nullptr);
  std::string loaded;
  ASSERT_TRUE(session.write_to_string(&loaded));

  xercesc::XercesDOMParser parser;
  xercesc::MemBufInputSource source(reinterpret_cast<const XMLByte*>(text.data()), text.size(), "mixed");
  parser.parse(source);
  ASSERT_EQ(parser.getErrorCount(), 0u);
  std::string full;
  ASSERT_TRUE(SDR_DATA_XML_WRITER::write(parser.getDocument(), &full));
  EXPECT_EQ(loaded, full);
  EXPECT_NE(loaded.find("<blank>\n  </blank>"), std::string::npos) << loaded;

  // An element's first child is kept as the file had it, white space or not.
  xercesc::DOMElement* root = session.get_root_element();
  xercesc::DOMElement* level = find_child_element(root, "level");
  ASSERT_NE(level, nullptr);
  ASSERT_NE(level->getFirstChild(), nullptr);
  EXPECT_EQ(level->getFirstChild()->getNodeType(), xercesc::DOMNode::TEXT_NODE);
  xercesc::DOMElement* mixed = find_child_element(root, "mixed");
  ASSERT_NE(mixed, nullptr);
  // White space between two nodes is gone; texts keep theirs.
  EXPECT_EQ(sdr_to_utf8(mixed->getTextContent()), std::string(" lead ") + "  middle &   " + "   tail  ");
}

TEST_F(HostileLoad, MultiMegabyteAttributeLoads) {
  std::string value(5 * 1024 * 1024, 'y');
  std::string path = write("attr.tzo", "<session jtag_chain=\"" + value + "\"/>");
  SDR_DATA_SESSION session(path.c_str());
  ASSERT_NE(session.get_name(), nullptr);
  EXPECT_EQ(std::string(session.get_jtag_chain_name()), value);
  EXPECT_EQ(MSG_REPORT::get_default_report()->get_num_posted(), 0);
}

TEST_F(HostileLoad, MalformedBytes) {
  expect_refused(write("empty.tzo", ""), "invalid document structure");
  expect_refused(write("truncated.tzo", "<session><instance name=\"a\""), "whitespace expected");
  expect_refused(write("two_roots.tzo", "<session/><session/>"),
                 "comment or processing instruction expected");
  expect_refused(write("nul.tzo", std::string("<session>\0</session>", 20)),
                 "input ended before all started tags were ended; last tag started is 'session'");
  expect_refused(write("utf8.tzo", "<session a=\"\xff\xfe\"/>"), "unexpected end of input");
  expect_refused(write("control.tzo", "<session a=\"\x01\"/>"),
                 "invalid character 0x1 in attribute value 'a'");
}

TEST_F(HostileLoad, LoadAfterFailedLoadWorks) {
  expect_refused(write("bad.tzo", "<session>"),
                 "input ended before all started tags were ended; last tag started is 'session'");
  MSG_REPORT::get_default_report()->clear_posted();
  std::string path = write("good.tzo", "<session jtag_chain=\"c\"/>");
  SDR_DATA_SESSION session(path.c_str());
  ASSERT_NE(session.get_name(), nullptr);
  EXPECT_STREQ(session.get_jtag_chain_name(), "c");
  EXPECT_EQ(MSG_REPORT::get_default_report()->get_num_posted(), 0);
}

TEST_F(HostileLoad, LargeTextRoundTripsAndThePoolKeepsTheBudget) {
  // Sample text larger than the scanner's usual piece size.
  std::string bits;
  for (int i = 0; i < (3 << 20); ++i) bits.push_back(i % 3 ? '1' : '0');
  std::string text =
      "<session>\n  <data name=\"d\">" + bits + "</data>\n  <display_tree/>\n  <global_info/>\n</session>\n";
  std::string path = write("big_text.tzo", text);
  std::string out = m_dir / "big_text_out.tzo";
  {
    SDR_DATA_SESSION session(path.c_str());
    ASSERT_NE(session.get_name(), nullptr);
    ASSERT_TRUE(session.save_as(out.c_str(), true, true));
  }
  EXPECT_EQ(sdr_test::read_bytes(out), "<session bix_file=\"\">" + text.substr(9));

  // Memory kept from the first load does not count against the next one;
  // a budget too small for the document still refuses it.
  cfg_set_value("sdr_max_document_mb", "300");
  for (int round = 0; round < 2; ++round) {
    SDR_DATA_SESSION again(path.c_str());
    EXPECT_NE(again.get_name(), nullptr) << round;
  }
  cfg_set_value("sdr_max_document_mb", "1");
  expect_refused(path, "the file is larger than the 1 MiB a document may use");
  cfg_set_value("sdr_max_document_mb", nullptr);
}

}  // namespace
