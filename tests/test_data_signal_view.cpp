#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <xercesc/dom/DOM.hpp>

#include "msg_service.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_msgs.h"
#include "test_util.h"

using namespace xercesc;
using NODE = std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE>;

namespace {

std::string write(const DOMNode* node) {
  return sdr_test::xml_text(node) + "\n";
}

// A session whose root holds "presentation" with the given views, loaded
// from a scratch file; m_data and m_setup wrap the views found there.
class SignalViewTest : public ::testing::Test {
 protected:
  void open(const std::string& views) {
    sdr_test::TEMP_DIR dir;
    sdr_test::write_bytes(dir / "s.tzo", "<session><presentation>" + views + "</presentation></session>");
    m_session.reset(new SDR_DATA_SESSION((dir / "s.tzo").c_str()));
    m_presentation = find_child_element(m_session->get_root_element(), "presentation");
    ASSERT_NE(m_presentation, nullptr);
    DOMDocument* doc = m_session->get_document();
    m_data.reset(new SDR_DATA_SIGNAL_VIEW(doc, find_child_element(m_presentation, "data_view"), nullptr));
    m_setup.reset(new SDR_DATA_SIGNAL_VIEW(doc, find_child_element(m_presentation, "setup_view"), nullptr));
  }
  // A handle on the data view's first bus or net of that name.
  NODE row(const char* name) {
    SDR_DATA_SIGNAL_VIEW_NODE* node = m_data->find_bus_node(name);
    if (!node->is_null()) return NODE(node);
    delete node;
    for (DOMElement* e = first_child_element(m_data->get_dom_node()); e; e = next_sibling_element(e))
      if (sdr_get_attribute(e, "name") == name) return NODE(new SDR_DATA_SIGNAL_VIEW_NODE(e, m_data.get()));
    ADD_FAILURE() << "no row " << name;
    return NODE(new SDR_DATA_SIGNAL_VIEW_NODE(nullptr, m_data.get()));
  }

  std::unique_ptr<SDR_DATA_SESSION> m_session;
  DOMElement* m_presentation = nullptr;
  std::unique_ptr<SDR_DATA_SIGNAL_VIEW> m_data, m_setup;
};

}  // namespace

TEST_F(SignalViewTest, ReadsAttributesWithTheirDefaults) {
  open(
      "<data_view><bus name='m' mnemonics='states' radix='bin' state='Collapse' is_signal_inverted='YES'/>"
      "<bus name='r' radix='decimal' state='collapse' order='LSB_TO_MSB' link='radix|basic' type='register'/>"
      "<net name='n' radix='bin' link='all' state='collapse' mnemonics='t'/></data_view>");
  NODE m = row("m"), r = row("r"), n = row("n");
  EXPECT_EQ(m->get_bus_display_type(), SDR_GTYPE_MNEMONICS);
  EXPECT_TRUE(m->is_bus_expanded());
  EXPECT_TRUE(m->is_signal_inverted());
  EXPECT_TRUE(m->is_lsb_to_msb());
  EXPECT_EQ(m->get_signal_type(), SDR_STYPE_UNKNOWN);
  EXPECT_EQ(r->get_bus_display_type(), SDR_GTYPE_HEX);
  EXPECT_FALSE(r->is_bus_expanded());
  EXPECT_FALSE(r->is_lsb_to_msb());
  EXPECT_EQ(r->get_bus_linking_type(), SDR_LTYPE_BASIC | SDR_LTYPE_RADIX);
  EXPECT_EQ(r->get_signal_type(), SDR_STYPE_REGISTER);
  // A net has none of the bus attributes.
  EXPECT_EQ(n->get_bus_display_type(), SDR_GTYPE_HEX);
  EXPECT_EQ(n->get_bus_linking_type(), SDR_LTYPE_NONE);
  EXPECT_EQ(n->get_mnemonics_table(), nullptr);
  EXPECT_FALSE(n->is_bus_expanded());
}

TEST_F(SignalViewTest, WalksSkipEverythingButRows) {
  open(
      "<data_view><!-- c --><other name='x'/><net name='a'/><!-- c -->text<net name='b'/>"
      "<bus name='empty'><!-- c --><other/></bus>"
      "<bus name='g'><net name='g0'/><other/><bus name='g1'/><!-- c --></bus></data_view><setup_view/>");
  NODE a(m_data->get_first_node());
  EXPECT_STREQ(a->get_name(), "a");
  EXPECT_EQ(a->get_prev_sibling(), nullptr);
  NODE b(a->get_next_sibling());
  ASSERT_TRUE(b);
  EXPECT_STREQ(b->get_name(), "b");
  EXPECT_EQ(NODE(b->get_prev_sibling())->get_dom_node(), a->get_dom_node());
  EXPECT_EQ(b->get_first_child(), nullptr);
  NODE empty = row("empty"), g = row("g");
  EXPECT_EQ(empty->get_first_child(), nullptr);
  EXPECT_EQ(empty->get_last_child(), nullptr);
  EXPECT_EQ(g->get_next_sibling(), nullptr);
  EXPECT_STREQ(NODE(g->get_first_child())->get_name(), "g0");
  EXPECT_STREQ(NODE(g->get_last_child())->get_name(), "g1");
  EXPECT_TRUE(NODE(m_setup->get_first_node())->is_null());
}

TEST_F(SignalViewTest, FindBusTestsNameThenAliasOnEachBusInDocumentOrder) {
  open(
      "<data_view><net name='x'/><bus name='outer'><other><bus name='deep' alias='hidden'/></other>"
      "<bus name='first' alias='x'/></bus><bus name='x'/><bus alias=''/></data_view>");
  EXPECT_STREQ(row("x")->get_name(), "first");
  EXPECT_STREQ(row("hidden")->get_name(), "deep");
  EXPECT_TRUE(NODE(m_data->find_bus_node("missing"))->is_null());
  EXPECT_TRUE(NODE(m_data->find_bus_node(""))->is_null());

  // An untrusted document may nest without bound: walking, copying and
  // dropping such a chain must not exhaust the stack.
  NODE chain(m_data->create_bus_node("chain"));
  m_data->append_node(chain.get());
  DOMElement* parent = chain->get_dom_node();
  for (int i = 0; i < 100000; ++i)
    parent = static_cast<DOMElement*>(parent->appendChild(m_session->get_document()->createElement(u"bus")));
  sdr_set_attribute(parent, "name", "bottom");
  EXPECT_FALSE(NODE(m_data->find_bus_node("bottom"))->is_null());
  NODE copy(chain->clone(true));
  SDR_DATA_SIGNAL_VIEW copy_view(m_session->get_document(), copy->get_dom_node(), nullptr);
  EXPECT_FALSE(NODE(copy_view.find_bus_node("bottom"))->is_null());
  m_data->remove_all_view_nodes();
}

// Buses are found through an index; every edit of rows keeps the answers
// those of a walk of the view in document order.
TEST_F(SignalViewTest, FindBusFollowsEditsOfRows) {
  open("<data_view><bus name='a' alias='x'/><net name='n'/><bus name='b' alias='x'/></data_view>");
  EXPECT_STREQ(row("x")->get_name(), "a");
  NODE b(m_data->find_bus_node("b"));
  m_data->insert_first_node(b.get());
  EXPECT_STREQ(row("x")->get_name(), "b");
  ASSERT_TRUE(b->set_name("c"));
  EXPECT_TRUE(NODE(m_data->find_bus_node("b"))->is_null());
  EXPECT_STREQ(row("c")->get_name(), "c");
  NODE a(m_data->find_bus_node("a"));
  ASSERT_TRUE(a->set_alias("y"));
  EXPECT_STREQ(row("y")->get_name(), "a");
  ASSERT_TRUE(b->remove());
  EXPECT_TRUE(NODE(m_data->find_bus_node("x"))->is_null());
  EXPECT_TRUE(NODE(m_data->find_bus_node("c"))->is_null());
  EXPECT_STREQ(row("y")->get_name(), "a");
  // A bus removed through the view and put back in the document directly
  // is found again: a miss is checked as a hit is.
  NODE gone(m_data->find_bus_node("y"));
  ASSERT_TRUE(gone->remove());
  EXPECT_TRUE(NODE(m_data->find_bus_node("y"))->is_null());
  DOMElement* back = m_session->get_document()->createElement(u"bus");
  sdr_set_attribute(back, "name", "a");
  sdr_set_attribute(back, "alias", "y");
  m_data->get_dom_node()->appendChild(back);
  EXPECT_EQ(NODE(m_data->find_bus_node("y"))->get_dom_node(), back);
  a.reset(new SDR_DATA_SIGNAL_VIEW_NODE(back, m_data.get()));
  // Rows changed in the document directly are never answered wrongly.
  DOMElement* e = a->get_dom_node();
  sdr_set_attribute(e, "name", "renamed");
  EXPECT_TRUE(NODE(m_data->find_bus_node("a"))->is_null());
  EXPECT_STREQ(row("renamed")->get_name(), "renamed");
  e->getParentNode()->removeChild(e);
  EXPECT_TRUE(NODE(m_data->find_bus_node("renamed"))->is_null());
  EXPECT_TRUE(NODE(m_data->find_bus_node("y"))->is_null());
  e->release();
}

TEST_F(SignalViewTest, SettersWriteThroughAndRefuseWhatDoesNotApply) {
  open(
      "<data_view><bus name='b' alias='old' radix='bin' mnemonics='t1' type='memory'/><net "
      "name='n'/></data_view>");
  NODE b = row("b"), n = row("n");
  EXPECT_STREQ(b->get_alias(), "old");
  EXPECT_STREQ(b->get_mnemonics_table(), "t1");
  EXPECT_EQ(b->get_signal_type(), SDR_STYPE_MEMORY);
  // The alias is cached by the node: read, set, read again.
  EXPECT_TRUE(b->set_alias("new"));
  EXPECT_STREQ(b->get_alias(), "new");
  EXPECT_TRUE(b->set_alias(nullptr));
  EXPECT_TRUE(b->set_signal_type(SDR_STYPE_INPUT_PIN));
  EXPECT_TRUE(b->set_mnemonics_table(nullptr));
  EXPECT_EQ(b->get_alias(), nullptr);
  EXPECT_EQ(b->get_signal_type(), SDR_STYPE_INPUT_PIN);
  EXPECT_EQ(b->get_bus_display_type(), SDR_GTYPE_BIN);
  EXPECT_TRUE(b->set_bus_display_type(SDR_GTYPE_LINE_SIGNED));
  EXPECT_TRUE(b->set_bus_linking_type(static_cast<SDR_DATA_GROUP_LINKING_TYPE>(6)));
  EXPECT_TRUE(b->set_bus_display_state(false));
  EXPECT_TRUE(b->set_lsb_to_msb(false));
  EXPECT_TRUE(b->set_name("b2"));
  EXPECT_STREQ(b->get_name(), "b2");
  EXPECT_FALSE(n->set_bus_display_type(SDR_GTYPE_BIN));
  EXPECT_FALSE(n->set_mnemonics_table("t"));
  EXPECT_FALSE(n->set_bus_display_state(false));
  EXPECT_FALSE(n->set_lsb_to_msb(false));
  EXPECT_TRUE(n->set_signal_inverted(true));
  EXPECT_EQ(write(m_data->get_dom_node()),
            "<data_view>\n"
            "  <bus link=\"wire_order|radix\" name=\"b2\" order=\"msb_to_lsb\" radix=\"line_signed\" "
            "state=\"collapse\" type=\"input pin\"/>\n"
            "  <net is_signal_inverted=\"yes\" name=\"n\"/>\n"
            "</data_view>\n");

  // A copy takes the element and the bus cache, not the cached name.
  sdr_set_attribute(b->get_dom_node(), "type", "memory");
  *n = *b;
  EXPECT_STREQ(n->get_name(), "b2");
  EXPECT_EQ(n->get_signal_type(), SDR_STYPE_INPUT_PIN);

  SDR_DATA_SIGNAL_VIEW_NODE null_node(nullptr, m_data.get());
  EXPECT_FALSE(null_node.set_name("a"));
  EXPECT_FALSE(null_node.set_signal_inverted(true));
  EXPECT_FALSE(null_node.remove());
  EXPECT_FALSE(b->append_after(&null_node));

  // A row moved after (or before) itself stays where it is.
  const std::string before = write(m_data->get_dom_node());
  EXPECT_FALSE(b->append_after(b.get()));
  EXPECT_FALSE(b->insert_before(b.get()));
  EXPECT_EQ(write(m_data->get_dom_node()), before);
}

TEST_F(SignalViewTest, BuildingAndMovingRows) {
  open("<data_view><!-- head --></data_view><setup_view/>");
  NODE a(m_data->create_net_node("a")), g(m_data->create_bus_node("g"));
  EXPECT_FALSE(a->append_after(g.get()));  // unattached: no place to go
  EXPECT_FALSE(a->append_child(g.get()));  // not a bus
  m_data->insert_first_node(g.get());      // empty view: appended
  m_data->insert_first_node(a.get());      // before the first row, after the comment
  NODE b(m_data->create_net_node("b")), c(m_data->create_net_node("c"));
  EXPECT_TRUE(g->append_child(b.get()));
  EXPECT_TRUE(b->append_after(c.get()));  // last member: appended to the bus
  NODE z(m_data->create_net_node("z")), y(m_data->create_net_node("y"));
  m_data->append_node(z.get());
  EXPECT_TRUE(z->insert_before(y.get()));
  EXPECT_TRUE(y->append_after(a.get()));  // an attached row moves
  NODE deep(g->clone(true)), shallow(g->clone(false));
  EXPECT_TRUE(z->append_after(deep.get()));
  m_data->insert_first_node(shallow.get());
  EXPECT_TRUE(c->remove());
  EXPECT_TRUE(c->is_null());
  // A bus cannot go under its own member, nor a row of another document.
  EXPECT_FALSE(b->append_after(g.get()));
  SDR_DATA_SESSION other;
  SDR_DATA_SIGNAL_VIEW foreign(other.get_document(), SDR_DATA_SIGNAL_VIEW::DATA_VIEW, nullptr);
  EXPECT_FALSE(g->append_child(NODE(foreign.create_net_node("s")).get()));
  EXPECT_EQ(write(m_data->get_dom_node()),
            "<data_view><!-- head -->\n"
            "  <bus name=\"g\"/>\n"
            "  <bus name=\"g\">\n"
            "    <net name=\"b\"/>\n"
            "  </bus>\n"
            "  <net name=\"y\"/>\n"
            "  <net name=\"a\"/>\n"
            "  <net name=\"z\"/>\n"
            "  <bus name=\"g\">\n"
            "    <net name=\"b\"/>\n"
            "    <net name=\"c\"/>\n"
            "  </bus>\n"
            "</data_view>\n");
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

TEST_F(SignalViewTest, RemoveAllViewNodesPutsTheNewViewLast) {
  open(
      "<data_view><net name='a'/><bus name='g'><net name='b'/></bus></data_view><setup_view><net "
      "name='a'/></setup_view>");
  m_data->remove_all_view_nodes();
  EXPECT_TRUE(NODE(m_data->get_first_node())->is_null());
  EXPECT_EQ(write(m_presentation),
            "<presentation>\n  <setup_view>\n    <net name=\"a\"/>\n  </setup_view>\n  "
            "<data_view/>\n</presentation>\n");
  SDR_DATA_SIGNAL_VIEW loose(m_session->get_document(), SDR_DATA_SIGNAL_VIEW::SETUP_VIEW, nullptr);
  loose.append_node(NODE(loose.create_bus_node("l")).get());
  loose.remove_all_view_nodes();
  EXPECT_EQ(loose.get_dom_node()->getParentNode(), nullptr);
  EXPECT_EQ(write(loose.get_dom_node()), "<setup_view/>\n");
}

TEST_F(SignalViewTest, InternalErrorsNameTheirCheck) {
  open("<data_view/>");
  EXPECT_TRUE(NODE(m_data->create_bus_node(nullptr))->is_null());
  SDR_DATA_SIGNAL_VIEW no_element(m_session->get_document(), static_cast<DOMElement*>(nullptr), nullptr);
  EXPECT_TRUE(NODE(no_element.get_first_node())->is_null());
  ASSERT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 2);
  EXPECT_STREQ(MSG_INTERNAL_ERROR::get_expression_at(0), "name != NULL");
  EXPECT_STREQ(MSG_INTERNAL_ERROR::get_expression_at(1), "m_dom_view != NULL");
  EXPECT_STREQ(MSG_INTERNAL_ERROR::get_file_at(0), "sdr_data_signal_view.cpp");
}

TEST_F(SignalViewTest, NetAliasAndTypeBelongToTheWire) {
  SDR_DATA_SESSION session;
  SDR_DATA_SIGNAL_SET set(session.get_document(), "s");
  SDR_DATA_SIGNAL_WIRE* wire = set.create_wire("top|a", SDR_CTYPE_BOTH, SDR_MTYPE_CLASSIC_TAP, true, nullptr);
  ASSERT_TRUE(set.append(wire, true));
  SDR_DATA_SIGNAL_VIEW* view = set.get_setup_view();
  NODE net(view->create_net_node("top|a"));
  view->append_node(net.get());
  EXPECT_TRUE(net->set_alias("A"));
  EXPECT_TRUE(net->set_signal_type(SDR_STYPE_REGISTER));
  EXPECT_STREQ(wire->get_alias(), "A");
  EXPECT_EQ(wire->get_signal_type(), SDR_STYPE_REGISTER);
  EXPECT_STREQ(net->get_alias(), "A");
  EXPECT_EQ(NODE(view->create_net_node("A"))->get_data_wire(true), wire);
  EXPECT_EQ(write(view->get_dom_node()), "<setup_view>\n  <net name=\"top|a\"/>\n</setup_view>\n");

  // Rows without a wire: no alias or type, and a warning when asked to report.
  MSG_REPORT* report = MSG_REPORT::get_default_report();
  report->clear_posted();
  NODE stray(view->create_net_node("top|gone"));
  EXPECT_FALSE(stray->set_alias("G"));
  EXPECT_FALSE(stray->set_signal_type(SDR_STYPE_MEMORY));
  EXPECT_EQ(stray->get_alias(), nullptr);
  EXPECT_EQ(report->get_num_posted(), 0);
  EXPECT_EQ(stray->get_data_wire(true), nullptr);
  SDR_DATA_SIGNAL_VIEW_NODE unnamed(SDR_DATA_SIGNAL_VIEW_NODE::NET_NODE, view);
  EXPECT_EQ(unnamed.get_data_wire(true), nullptr);
  SDR_DATA_SIGNAL_VIEW no_set(session.get_document(), SDR_DATA_SIGNAL_VIEW::DATA_VIEW, nullptr);
  EXPECT_FALSE(NODE(no_set.create_net_node("top|a"))->set_alias("B"));
  ASSERT_EQ(report->get_num_posted(), 2);
  EXPECT_EQ(report->get_posted_at(0)->get_code(), WSDR_INVALID_SIGNAL_REF);
  EXPECT_STREQ(report->get_posted_at(0)->get_arg_at(0), "top|gone");
  EXPECT_STREQ(report->get_posted_at(1)->get_arg_at(0), "unspecified");
}
