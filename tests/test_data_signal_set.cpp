#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <xercesc/dom/DOM.hpp>

#include "msg_service.h"
#include "sdr_data_instance.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_msgs.h"
#include "test_util.h"

using namespace xercesc;
using sdr_test::data_path;
using sdr_test::posted_ids;
using sdr_test::read_bytes;
using sdr_test::TEMP_DIR;
using SET = std::unique_ptr<SDR_DATA_SIGNAL_SET>;

namespace {

void clear_messages() {
  MSG_REPORT::get_default_report()->clear_posted();
  MSG_INTERNAL_ERROR::clear_reports();
}

// The first "signal_set" of the first "instance", or one directly under
// the root.
DOMElement* find_signal_set(const SDR_DATA_SESSION& session) {
  DOMElement* instance = find_child_element(session.get_root_element(), "instance");
  return find_child_element(instance ? instance : session.get_root_element(), "signal_set");
}

std::string write(const DOMNode* node) {
  std::string out;
  EXPECT_TRUE(SDR_DATA_XML_WRITER::write(node, &out));
  if (!out.empty() && out[0] == '\n') out.erase(0, 1);
  return out;
}

// A session over the given document text, loaded through a scratch file,
// and the signal set read from it (destroyed before the session).
struct INLINE_DOC {
  explicit INLINE_DOC(const std::string& xml) {
    sdr_test::write_bytes(dir / "doc.tzo", xml);
    session.reset(new SDR_DATA_SESSION((dir / "doc.tzo").c_str()));
    clear_messages();
  }
  SDR_DATA_SIGNAL_SET* read() {
    set.reset(new SDR_DATA_SIGNAL_SET(session->get_document(), find_signal_set(*session), nullptr));
    return set.get();
  }
  TEMP_DIR dir;
  std::unique_ptr<SDR_DATA_SESSION> session;
  SET set;
};

}  // namespace

// ------------------------------------------------------------ whole files

TEST(SignalSetFile, EachLayoutLoadsAndSavesAsExpected) {
  TEMP_DIR dir;
  for (const char* name : {"current", "older", "no_presentation"}) {
    SCOPED_TRACE(name);
    SDR_DATA_SESSION session(data_path(std::string("signal_set/") + name + ".tzo").c_str());
    clear_messages();
    DOMElement* element = find_signal_set(session);
    ASSERT_NE(element, nullptr);
    SET set(new SDR_DATA_SIGNAL_SET(session.get_document(), element, nullptr));
    EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
    std::string out = dir / (std::string(name) + ".tzo");
    ASSERT_TRUE(session.save_as(out.c_str(), true, false));
    EXPECT_EQ(read_bytes(out), read_bytes(data_path(std::string("signal_set/") + name + ".expected.tzo")));
  }
}

TEST(SignalSetFile, CurrentLayoutInMemory) {
  SDR_DATA_SESSION session(data_path("signal_set/current.tzo").c_str());
  SET set(new SDR_DATA_SIGNAL_SET(session.get_document(), find_signal_set(session), nullptr));
  EXPECT_STREQ(set->get_name(), "capture");
  EXPECT_FALSE(set->is_expanded());
  EXPECT_STREQ(set->get_clock_name(), "clk_core");
  EXPECT_EQ(set->get_clock_polarity(), SDR_DATA_SIGNAL_SET::NEGEDGE);
  EXPECT_EQ(set->get_sample_depth(), 64);
  EXPECT_EQ(set->get_kalvos_ram_type(), SDR_RAM_RAMLITE);
  EXPECT_FALSE(set->is_trigger_in_enabled());  // "YES" is not "yes"
  EXPECT_STREQ(set->get_trigger_in_pin(), "pin_a");
  EXPECT_EQ(set->get_trigger_in_node(), nullptr);
  EXPECT_TRUE(set->is_trigger_out_enabled());
  EXPECT_STREQ(set->get_trigger_out_node(), "out_node");
  EXPECT_EQ(set->get_reserved_trigger_node_size(), 0);
  EXPECT_STREQ(set->get_top_entity_name(), "top");

  // start, busy and a nameless wire trigger; busy and count[0] are data.
  ASSERT_EQ(set->get_trigger_wire_width(), 3);
  ASSERT_EQ(set->get_data_wire_width(), 2);
  SDR_DATA_SIGNAL_WIRE* busy = set->get_wire("busy");
  ASSERT_NE(busy, nullptr);
  EXPECT_EQ(set->get_wire("core_busy"), busy);
  EXPECT_EQ(busy->get_capture_type(), SDR_CTYPE_BOTH);
  EXPECT_EQ(busy->get_trigger_wire_index(), 1);
  EXPECT_EQ(busy->get_data_wire_index(), 0);
  EXPECT_EQ(set->get_trigger_wire_at(1), busy);
  EXPECT_EQ(set->get_data_wire_at(0), busy);
  EXPECT_NE(busy->get_trigger_dom_node(), busy->get_data_dom_node());
  EXPECT_EQ(set->get_wire_size(), 4);
  EXPECT_EQ(set->get_ela_trigger_wire_width(), 3);
  EXPECT_EQ(set->get_ela_data_wire_width(), 4);
  EXPECT_EQ(set->get_data_wire_at(2), nullptr);
  EXPECT_EQ(set->get_trigger_wire_at(-1), nullptr);

  // "FALSE" in capitals reads as connected, "f" as disconnected.
  EXPECT_TRUE(busy->get_connection_status());
  SDR_DATA_SIGNAL_WIRE* count = set->get_wire("count[0]");
  ASSERT_NE(count, nullptr);
  EXPECT_FALSE(count->get_connection_status());
  EXPECT_TRUE(count->is_debug_port());
  EXPECT_STREQ(count->get_debug_port_name(), "dbg0");
  EXPECT_EQ(count->get_tap_mode(), SDR_MTYPE_PROBEONLY_TAP);
  EXPECT_STREQ(set->get_signal_connections(), "10");
  EXPECT_FALSE(set->get_connection_status());

  // The nameless trigger wire stays in the list but not in the map.
  SDR_DATA_SIGNAL_WIRE* nameless = set->get_trigger_wire_at(2);
  ASSERT_NE(nameless, nullptr);
  EXPECT_EQ(nameless->get_name(), nullptr);
  EXPECT_EQ(set->get_wire("orphan"), nullptr);
  EXPECT_EQ(set->get_trigger_wire_alias_at(2), nullptr);
  EXPECT_STREQ(set->get_trigger_wire_alias_at(1), "core_busy");
  EXPECT_STREQ(set->get_trigger_wire_alias_at(0), "start");
  EXPECT_STREQ(set->to_string(),
               "   clock = negedge clk_core\n"
               "   trigger signal width = 3\n"
               "   data signal width = 2\n"
               "   trigger out node = out_node\n"
               "   sample depth = 64");
  EXPECT_FALSE(set->rename_signal_alias("orphan", "x"));
}

TEST(SignalSetFile, OlderLayoutsInMemory) {
  SDR_DATA_SESSION older(data_path("signal_set/older.tzo").c_str());
  SET set(new SDR_DATA_SIGNAL_SET(older.get_document(), find_signal_set(older), nullptr));
  // req was listed as trigger, then as data: one wire in both lists.
  SDR_DATA_SIGNAL_WIRE* req = set->get_wire("req");
  ASSERT_NE(req, nullptr);
  EXPECT_EQ(req->get_capture_type(), SDR_CTYPE_BOTH);
  EXPECT_EQ(req->get_trigger_wire_index(), 0);
  EXPECT_EQ(req->get_data_wire_index(), 2);
  EXPECT_EQ(set->get_wire_size(), 3);
  EXPECT_EQ(set->get_wire("acknowledge"), set->get_data_wire_at(0));
  EXPECT_STREQ(set->get_signal_connections(), "011");
  EXPECT_STREQ(set->get_wire("state")->get_debug_port_name(), "dbg_state");
  EXPECT_EQ(set->get_wire("state")->get_signal_type(), SDR_STYPE_STATE_MACHINE);
  EXPECT_EQ(find_child_element(find_child_element(set->get_dom_node(), "signal_vec"), "wire"), nullptr);

  SDR_DATA_SESSION bussed(data_path("signal_set/no_presentation.tzo").c_str());
  SET views(new SDR_DATA_SIGNAL_SET(bussed.get_document(), find_signal_set(bussed), nullptr));
  std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE> bus(views->get_setup_view()->find_bus_node("address"));
  ASSERT_FALSE(bus->is_null());
  EXPECT_STREQ(bus->get_name(), "addr");
  EXPECT_EQ(bus->get_signal_type(), SDR_STYPE_REGISTER);
  EXPECT_EQ(views->get_sample_depth(), 128);
  // Bus members of the older layout are wires too.
  EXPECT_EQ(views->get_trigger_wire_width(), 5);
  EXPECT_EQ(views->get_data_wire_width(), 4);
  EXPECT_EQ(views->get_wire("addr[1]")->get_capture_type(), SDR_CTYPE_TRIGGER);
}

// ------------------------------------------------------------ reading rules

TEST(SignalSetRead, MessagesAndWriteBack) {
  // Older layout: a nameless old wire is warned about and dropped.
  INLINE_DOC old(
      "<session><signal_set name=\"s\"><signal_vec><wire connection_mode=\"data\"/>"
      "<wire name=\"a\"/></signal_vec><presentation><data_view/><setup_view/></presentation>"
      "</signal_set></session>");
  SDR_DATA_SIGNAL_SET* set = old.read();
  EXPECT_EQ(posted_ids(), "WSDR_MISSING_NAME");
  EXPECT_EQ(set->get_wire_size(), 1);

  // Current layout: a nameless data wire is skipped silently.
  INLINE_DOC current(
      "<session><signal_set name=\"s\"><signal_vec><trigger_input_vec/><data_input_vec>"
      "<wire alias=\"x\"/></data_input_vec></signal_vec><presentation><data_view/><setup_view/>"
      "</presentation></signal_set></session>");
  set = current.read();
  EXPECT_EQ(posted_ids(), "");
  EXPECT_EQ(set->get_data_wire_width(), 0);

  // No signal_vec: warned, and the lists are made.
  INLINE_DOC empty(
      "<session><signal_set name=\"s\" global_temp=\"1x\"><config sample_depth=\"2147483647\" "
      "reserved_data_nodes=\"-1\"/></signal_set></session>");
  set = empty.read();
  EXPECT_EQ(posted_ids(), "WSDR_EMPTY_SIGNAL_SET");
  EXPECT_TRUE(set->is_global_temp());
  EXPECT_EQ(set->get_sample_depth(), 1 << 30);
  EXPECT_EQ(write(set->get_dom_node()),
            "<signal_set global_temp=\"1x\" is_expanded=\"true\" name=\"s\">\n"
            "  <config reserved_data_nodes=\"0\" sample_depth=\"1073741824\"/>\n"
            "  <clock name=\"auto_tzo_external_clock\"/>\n"
            "  <top_entity/>\n"
            "  <presentation>\n    <data_view/>\n    <setup_view/>\n  </presentation>\n"
            "  <signal_vec>\n    <trigger_input_vec/>\n    <data_input_vec/>\n  </signal_vec>\n"
            "</signal_set>");

  // A wire without tap_mode or connection_status gets both written.
  INLINE_DOC bare(
      "<session><signal_set name=\"s\"><signal_vec><trigger_input_vec><wire name=\"w\"/>"
      "</trigger_input_vec></signal_vec><presentation><data_view/><setup_view/></presentation>"
      "</signal_set></session>");
  set = bare.read();
  EXPECT_EQ(write(set->get_trigger_wire_at(0)->get_trigger_dom_node()),
            "<wire connection_status=\"true\" name=\"w\" tap_mode=\"classic\"/>");
  // The missing data list is made right after the trigger list.
  EXPECT_EQ(next_sibling_element(set->get_trigger_wire_at(0)->get_trigger_dom_node()->getParentNode()),
            find_child_element(find_child_element(set->get_dom_node(), "signal_vec"), "data_input_vec"));
}

TEST(SignalSet, ValidateSampleDepth) {
  const struct {
    int in, out;
    bool valid;
  } cases[] = {{100, 64, false},
               {0, 0, true},
               {-5, 0, false},
               {8192, 8192, true},
               {1000, 512, false},
               {63, 64, false},
               {1, 64, false},
               {64, 64, true},
               {32, 64, false},
               {INT_MAX, 1 << 30, false},
               {(1 << 30) + 1, 1 << 30, false},
               {1 << 30, 1 << 30, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    int depth = c.in;
    EXPECT_EQ(SDR_DATA_SIGNAL_SET::validate_sample_depth(&depth), c.valid);
    EXPECT_EQ(depth, c.out);
  }
}

// ------------------------------------------------------------ new sets and setters

TEST(SignalSet, NewSetLayoutAndSetters) {
  SDR_DATA_SESSION session;
  SDR_DATA_SIGNAL_SET set(session.get_document(), "fresh");
  EXPECT_EQ(
      write(set.get_dom_node()),
      "<signal_set name=\"fresh\">\n  <clock name=\"auto_tzo_external_clock\"/>\n  <config/>\n"
      "  <top_entity/>\n  <signal_vec>\n    <trigger_input_vec/>\n    <data_input_vec/>\n  </signal_vec>\n"
      "  <presentation>\n    <data_view/>\n    <setup_view/>\n  </presentation>\n</signal_set>");
  EXPECT_TRUE(set.get_connection_status());
  EXPECT_STREQ(set.get_signal_connections(), "");

  set.set_trigger_in_pin("p");
  set.set_trigger_in_node("n");  // the pin goes
  set.set_trigger_out_node("m");
  set.set_trigger_out_pin("q");  // the node goes
  set.enable_trigger_in(true);
  set.set_reserved_trigger_node_size(-3);
  set.set_sample_depth(1000);
  set.set_kalvos_ram_type(SDR_RAM_RAMGRAND);
  set.set_clock("", SDR_DATA_SIGNAL_SET::NEGEDGE);
  set.set_top_entity_name("t");
  EXPECT_EQ(set.get_trigger_in_pin(), nullptr);
  EXPECT_STREQ(set.get_trigger_in_node(), "n");
  EXPECT_EQ(set.get_trigger_out_node(), nullptr);
  EXPECT_EQ(set.get_reserved_trigger_node_size(), 0);
  EXPECT_EQ(write(find_child_element(set.get_dom_node(), "config")),
            "<config ram_type=\"RAMGRAND\" reserved_trigger_nodes=\"0\" sample_depth=\"512\" "
            "trigger_in_enable=\"yes\" trigger_in_node=\"n\" trigger_out_pin=\"q\"/>");
  EXPECT_EQ(write(find_child_element(set.get_dom_node(), "clock")),
            "<clock name=\"auto_tzo_external_clock\" polarity=\"negedge\"/>");
  EXPECT_STREQ(set.to_string(),
               "   clock = negedge auto_tzo_external_clock\n   trigger signal width = 0\n"
               "   data signal width = 0\n   trigger in node = n\n   sample depth = 512");

  clear_messages();
  set.set_clock(nullptr, SDR_DATA_SIGNAL_SET::POSEDGE);
  set.set_trigger_in_pin(nullptr);
  ASSERT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 2);
  EXPECT_STREQ(MSG_INTERNAL_ERROR::get_expression_at(0), "name != NULL");
  EXPECT_STREQ(MSG_INTERNAL_ERROR::get_file_at(0), "sdr_data_signal_set.cpp");

  // Without an instance a rename only rewrites the element.
  EXPECT_TRUE(set.set_name("renamed"));
  EXPECT_EQ(sdr_get_attribute(set.get_dom_node(), "name"), "renamed");

  // remove() detaches the element and destroys the set.
  SDR_DATA_SIGNAL_SET* doomed = new SDR_DATA_SIGNAL_SET(session.get_document(), "doomed");
  session.get_root_element()->appendChild(doomed->get_dom_node());
  doomed->remove();
  EXPECT_EQ(find_child_element(session.get_root_element(), "signal_set"), nullptr);
}

TEST(SignalSet, RenameAndRemoveWithinInstance) {
  SDR_DATA_SESSION session;
  SDR_DATA_INSTANCE instance(session.get_document(), "i");
  SDR_DATA_SIGNAL_SET* a = instance.create_signal_set("a", false);
  ASSERT_NE(instance.create_signal_set("b", false), nullptr);
  EXPECT_FALSE(a->set_name("b"));
  EXPECT_EQ(sdr_get_attribute(a->get_dom_node(), "name"), "a");
  EXPECT_EQ(instance.find_signal_set("a"), a);
  EXPECT_TRUE(a->set_name("c"));
  EXPECT_EQ(instance.find_signal_set("c"), a);
  EXPECT_EQ(instance.find_signal_set("a"), nullptr);

  // The global set stays out of the name map, even under a taken name.
  SDR_DATA_SIGNAL_SET* global = instance.create_signal_set("g", true);
  EXPECT_TRUE(global->set_name("b"));
  EXPECT_EQ(instance.find_signal_set("b"), instance.get_signal_set_at(1));

  // In incremental mode new wires start connected.
  instance.set_incr_cmp_mode(true);
  SDR_DATA_SIGNAL_WIRE* wire = a->create_wire("w", SDR_CTYPE_DATA, SDR_MTYPE_ADVANCED_TAP, false, nullptr);
  a->append(wire, true);
  EXPECT_TRUE(wire->get_connection_status());

  a->remove();
  EXPECT_EQ(instance.get_num_signal_sets(), 1);
  EXPECT_EQ(instance.find_signal_set("c"), nullptr);
  // A new global set replaces (removes) the old one.
  SDR_DATA_SIGNAL_SET* next = instance.create_signal_set("g2", true);
  EXPECT_EQ(instance.get_global_signal_set(), next);
  EXPECT_EQ(instance.get_num_signal_sets(), 1);
}

// ------------------------------------------------------------ wires

TEST(SignalWire, CreateConsolidatesIntoBothLists) {
  SDR_DATA_SESSION session;
  SDR_DATA_SIGNAL_SET set(session.get_document(), "s");
  SDR_DATA_SIGNAL_WIRE* wire = set.create_wire("d", SDR_CTYPE_DATA, SDR_MTYPE_ADVANCED_TAP, false, "dee");
  ASSERT_TRUE(set.append(wire, true));
  wire->set_signal_type(SDR_STYPE_REGISTER);
  EXPECT_STREQ(set.get_signal_connections(), "0");  // an advanced tap may be disconnected

  // The same node as a trigger input: the wire gains its second element.
  EXPECT_EQ(set.create_wire("dee", SDR_CTYPE_TRIGGER, SDR_MTYPE_CLASSIC_TAP, true, nullptr), wire);
  ASSERT_TRUE(set.append(wire, true));
  EXPECT_EQ(wire->get_capture_type(), SDR_CTYPE_BOTH);
  EXPECT_EQ(wire->get_trigger_wire_index(), 0);
  EXPECT_EQ(wire->get_data_wire_index(), 0);
  EXPECT_EQ(set.get_wire_size(), 1);
  ASSERT_NE(wire->get_trigger_dom_node(), nullptr);
  const std::string expected =
      "<wire alias=\"dee\" connection_status=\"false\" name=\"d\" tap_mode=\"advanced\" type=\"register\"/>";
  EXPECT_EQ(write(wire->get_trigger_dom_node()), expected);
  EXPECT_EQ(write(wire->get_data_dom_node()), expected);
  EXPECT_EQ(wire->get_trigger_dom_node()->getParentNode(),
            find_child_element(find_child_element(set.get_dom_node(), "signal_vec"), "trigger_input_vec"));

  // An invalid added role changes nothing.
  clear_messages();
  EXPECT_EQ(set.create_wire("d", SDR_CTYPE_NONE, SDR_MTYPE_CLASSIC_TAP, true, nullptr), wire);
  ASSERT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 1);
  EXPECT_STREQ(MSG_INTERNAL_ERROR::get_expression_at(0), "Invalid capture type");
  EXPECT_EQ(wire->get_capture_type(), SDR_CTYPE_BOTH);
}

TEST(SignalWire, ConnectionStatusAndDebugPort) {
  SDR_DATA_SESSION session;
  SDR_DATA_SIGNAL_SET set(session.get_document(), "s");
  SDR_DATA_SIGNAL_WIRE* classic = set.create_wire("c", SDR_CTYPE_BOTH, SDR_MTYPE_CLASSIC_TAP, false, nullptr);
  set.append(classic, true);
  EXPECT_TRUE(classic->get_connection_status());  // a classic wire cannot be disconnected
  EXPECT_FALSE(classic->set_connection_status(false));
  EXPECT_EQ(sdr_get_attribute(classic->get_trigger_dom_node(), "connection_status"), "true");
  EXPECT_EQ(sdr_get_attribute(classic->get_data_dom_node(), "connection_status"), "true");
  classic->set_tap_mode(SDR_MTYPE_ADVANCED_TAP);
  EXPECT_TRUE(classic->set_connection_status(false));
  EXPECT_EQ(sdr_get_attribute(classic->get_data_dom_node(), "connection_status"), "false");

  // Wires appended one by one extend the connection text; a trigger-only
  // wire leaves it as it is; after a status change it is made again.
  EXPECT_STREQ(set.get_signal_connections(), "1");
  EXPECT_TRUE(set.create_signal_connections());
  EXPECT_STREQ(set.get_signal_connections(), "0");
  EXPECT_FALSE(set.get_connection_status());
  for (const char* name : {"d1", "d2"}) {
    SDR_DATA_SIGNAL_WIRE* w =
        set.create_wire(name, SDR_CTYPE_DATA, SDR_MTYPE_ADVANCED_TAP, name[1] == '1', nullptr);
    set.append(w, true);
  }
  set.append(set.create_wire("t", SDR_CTYPE_TRIGGER, SDR_MTYPE_ADVANCED_TAP, false, nullptr), true);
  EXPECT_STREQ(set.get_signal_connections(), "010");
  classic->set_connection_status(true);
  set.get_wire("d2")->set_connection_status(true);
  EXPECT_TRUE(set.create_signal_connections());
  EXPECT_STREQ(set.get_signal_connections(), "111");
  EXPECT_TRUE(set.get_connection_status());

  classic->set_debug_port(true, "port");
  classic->set_debug_port(false, nullptr);
  EXPECT_FALSE(classic->is_debug_port());
  EXPECT_FALSE(sdr_has_attribute(classic->get_trigger_dom_node(), "debug_port"));
  EXPECT_EQ(sdr_get_attribute(classic->get_trigger_dom_node(), "debug_port_name"), "port");
  clear_messages();
  classic->set_debug_port(true, nullptr);
  ASSERT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 1);
  EXPECT_STREQ(MSG_INTERNAL_ERROR::get_expression_at(0), "debug_port_name != NULL");
}

// A lookup helped by list places answers as the lookup by name, whatever
// the places say; a name taken by another wire's alias still leads there.
TEST(SignalWire, LookupByPlacesAnswersAsByName) {
  SDR_DATA_SESSION session;
  SDR_DATA_SIGNAL_SET set(session.get_document(), "s");
  SDR_DATA_SIGNAL_WIRE* a = set.create_wire("a", SDR_CTYPE_DATA, SDR_MTYPE_CLASSIC_TAP, true, "x");
  SDR_DATA_SIGNAL_WIRE* b = set.create_wire("b", SDR_CTYPE_TRIGGER, SDR_MTYPE_CLASSIC_TAP, true, nullptr);
  set.append(a, true);
  set.append(b, true);
  EXPECT_EQ(set.get_wire("a", 0, -1), a);
  EXPECT_EQ(set.get_wire("a", -1, 0), a);  // the trigger place holds b
  EXPECT_EQ(set.get_wire("b", 0, 0), b);
  EXPECT_EQ(set.get_wire("b", 7, -9), b);
  EXPECT_EQ(set.get_wire("x", 0, -1), a);  // by alias
  EXPECT_EQ(set.get_wire("zzz", 0, 0), nullptr);
  EXPECT_EQ(set.get_wire(nullptr, 0, 0), nullptr);

  // "x" is a's alias before a wire named "x" comes: the name leads to a.
  SDR_DATA_SIGNAL_WIRE* x = new SDR_DATA_SIGNAL_WIRE(session.get_document(), "x", SDR_CTYPE_DATA);
  set.append(x, true);
  ASSERT_EQ(set.get_data_wire_at(1), x);
  EXPECT_EQ(set.get_wire("x"), a);
  EXPECT_EQ(set.get_wire("x", 1, -1), a);
  EXPECT_EQ(set.get_wire("a", 0, -1), a);
}

TEST(SignalWire, RenameSignalAlias) {
  SDR_DATA_SESSION session;
  SDR_DATA_SIGNAL_SET set(session.get_document(), "s");
  SDR_DATA_SIGNAL_WIRE* a = set.create_wire("a", SDR_CTYPE_DATA, SDR_MTYPE_CLASSIC_TAP, true, "alpha");
  SDR_DATA_SIGNAL_WIRE* b = set.create_wire("b", SDR_CTYPE_TRIGGER, SDR_MTYPE_CLASSIC_TAP, true, nullptr);
  set.append(a, true);
  set.append(b, true);

  EXPECT_FALSE(set.rename_signal_alias("b", "a"));      // another wire's name
  EXPECT_FALSE(set.rename_signal_alias("b", "alpha"));  // another wire's alias
  EXPECT_FALSE(set.rename_signal_alias("zzz", "x"));
  EXPECT_TRUE(set.rename_signal_alias("alpha", "alpha"));
  EXPECT_TRUE(set.rename_signal_alias("a", "first"));
  EXPECT_EQ(set.get_wire("alpha"), nullptr);
  EXPECT_EQ(set.get_wire("first"), a);
  EXPECT_EQ(sdr_get_attribute(a->get_data_dom_node(), "alias"), "first");

  // An alias equal to the own name keeps the name entry.
  EXPECT_TRUE(set.rename_signal_alias("b", "b"));
  EXPECT_TRUE(set.rename_signal_alias("b", ""));
  EXPECT_EQ(set.get_wire("b"), b);
  EXPECT_FALSE(sdr_has_attribute(b->get_trigger_dom_node(), "alias"));

  EXPECT_TRUE(set.rename_signal_alias("first", nullptr));
  EXPECT_EQ(a->get_alias(), nullptr);
  EXPECT_EQ(set.get_wire("first"), nullptr);
  EXPECT_EQ(set.get_wire("a"), a);

  // Removed on the wire itself, the alias leaves the set's index too, and
  // may be given again.
  EXPECT_TRUE(set.rename_signal_alias("a", "again"));
  a->del_alias();
  EXPECT_EQ(set.get_wire("again"), nullptr);
  EXPECT_EQ(set.get_wire("a"), a);
  EXPECT_TRUE(set.rename_signal_alias("b", "again"));
  EXPECT_EQ(set.get_wire("again"), b);

  clear_messages();
  EXPECT_FALSE(set.rename_signal_alias(nullptr, "x"));
  ASSERT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 1);
  EXPECT_STREQ(MSG_INTERNAL_ERROR::get_expression_at(0), "orig_name != NULL");
}
