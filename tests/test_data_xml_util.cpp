// Attribute writes: a value that fits the attribute's text is written into
// it in place. Whatever way a write takes, the document must then be the
// one read from a file holding the new values: the oracle loads both and
// compares the saved bytes.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>
#include <xercesc/dom/DOM.hpp>

#include "sdr_data_session.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "test_util.h"

using namespace xercesc;

namespace {

// A net with an ID attribute, a default one, one with an entity, and a
// plain one.
std::string document(const std::string& id, const std::string& kind, const std::string& mixed,
                     const std::string& name) {
  return "<?xml version=\"1.0\"?>\n"
         "<!DOCTYPE session [\n"
         "<!ATTLIST net id ID #IMPLIED kind CDATA \"plain\">\n"
         "<!ENTITY who \"ent\">\n"
         "]>\n"
         "<session>\n  <net " +
         (id.empty() ? "" : "id=\"" + id + "\" ") + (kind.empty() ? "" : "kind=\"" + kind + "\" ") +
         "mixed=\"" + mixed + "\" name=\"" + name + "\"/>\n</session>\n";
}

std::string saved(SDR_DATA_SESSION& s) {
  std::string out;
  EXPECT_TRUE(s.write_to_string(&out));
  return out;
}

std::string saved(const sdr_test::TEMP_DIR& dir, const std::string& text) {
  const std::string path = dir / "expected.tzo";
  sdr_test::write_bytes(path, text);
  SDR_DATA_SESSION s(path.c_str());
  return saved(s);
}

}  // namespace

TEST(AttributeWrite, DocumentEqualsTheOneReadWithTheNewValues) {
  sdr_test::TEMP_DIR dir;
  const std::string path = dir / "edited.tzo";
  sdr_test::write_bytes(path, document("n1", "", "x&amp;&who;y", "a"));
  SDR_DATA_SESSION s(path.c_str());
  DOMElement* net = find_child_element(s.get_root_element(), "net");
  ASSERT_NE(net, nullptr);

  // Every length from empty to well past the text's room, up and down,
  // and characters beyond ASCII; each step checked on the whole document.
  std::vector<std::string> names;
  for (int n = 0; n <= 40; ++n) names.push_back(std::string(static_cast<size_t>(n), 'r'));
  for (int n = 40; n >= 0; n -= 3) names.push_back(std::string(static_cast<size_t>(n), 's'));
  names.push_back("\xC3\xA9t\xC3\xA9");
  names.push_back("&<\"");
  for (const std::string& name : names) {
    sdr_set_attribute(net, "name", name.c_str());
    std::string escaped;
    for (char c : name)
      escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '"' ? "&quot;" : std::string(1, c);
    ASSERT_EQ(saved(s), saved(dir, document("n1", "", "x&amp;&who;y", escaped))) << name;
  }

  // A value of two texts, the defaulted one (written, it is specified)
  // and the ID, whose index must follow the new value.
  DOMAttr* mixed = net->getAttributeNode(u"mixed");
  mixed->appendChild(s.get_document()->createTextNode(u"more"));
  ASSERT_EQ(sdr_get_attribute(net, "mixed"), "x&entymore");
  ASSERT_FALSE(net->getAttributeNode(u"kind")->getSpecified());
  sdr_set_attribute(net, "mixed", "z");
  sdr_set_attribute(net, "kind", "k");
  sdr_set_attribute(net, "id", "n2");
  EXPECT_EQ(saved(s), saved(dir, document("n2", "k", "z", "&amp;&lt;&quot;")));
  EXPECT_TRUE(net->getAttributeNode(u"kind")->getSpecified());

  // New attributes take their places among the others, an empty one too;
  // each then takes a value like any other.
  for (const char* name : {"zeta", "alpha", "name_2", "empty"}) sdr_set_attribute(net, name, name);
  sdr_set_attribute(net, "empty", "");
  sdr_set_attribute(net, "alpha", "a2");
  std::string expected = saved(dir, document("n2", "k", "z", "&amp;&lt;&quot;"));
  expected.replace(expected.find("<net "), 5, "<net alpha=\"a2\" empty=\"\" ");
  expected.replace(expected.find("/>"), 2, " name_2=\"name_2\" zeta=\"zeta\"/>");
  EXPECT_EQ(saved(s), expected);
  for (const char* name : {"zeta", "alpha", "name_2", "empty"}) {
    DOMAttr* attr = net->getAttributeNode(SDR_XSTR(name));
    ASSERT_NE(attr, nullptr);
    EXPECT_EQ(attr->getOwnerElement(), net);
    EXPECT_TRUE(attr->getSpecified());
    EXPECT_NE(attr->getFirstChild(), nullptr);
  }
  net->removeAttribute(u"zeta");
  EXPECT_EQ(net->getAttributeNode(u"zeta"), nullptr);
  EXPECT_EQ(s.get_document()->getElementById(u"n2"), net);
  EXPECT_EQ(s.get_document()->getElementById(u"n1"), nullptr);
}

// Elements appended through the library: linked as the DOM links them,
// whatever the parent holds already; what the DOM refuses is refused.
TEST(AppendChild, LinksAsTheDomDoes) {
  SDR_DATA_SESSION s;
  DOMDocument* doc = s.get_document();
  DOMElement* parent = doc->createElement(u"p");
  ASSERT_TRUE(sdr_append_child(s.get_root_element(), parent));
  auto element = [&](const char16_t* tag) { return doc->createElement(tag); };
  DOMElement* a = element(u"a");
  ASSERT_TRUE(sdr_append_child(parent, a));
  parent->appendChild(doc->createTextNode(u"t"));
  ASSERT_TRUE(sdr_append_child(parent, element(u"b")));
  parent->appendChild(doc->createComment(u"c"));
  ASSERT_TRUE(sdr_append_child(parent, element(u"d")));
  // The first child leaves and comes back at the end.
  parent->removeChild(a);
  ASSERT_TRUE(sdr_append_child(parent, a));
  DOMElement* e = element(u"e");
  DOMElement* inner = element(u"f");
  ASSERT_TRUE(sdr_append_child(e, inner));
  ASSERT_TRUE(sdr_append_child(parent, e));

  std::string names;
  const DOMNode* previous = nullptr;
  for (const DOMNode* n = parent->getFirstChild(); n; n = n->getNextSibling()) {
    EXPECT_EQ(n->getParentNode(), parent);
    EXPECT_EQ(n->getPreviousSibling(), previous);
    names += sdr_to_utf8(n->getNodeName()) + " ";
    previous = n;
  }
  EXPECT_EQ(parent->getLastChild(), previous);
  EXPECT_EQ(names, "#text b #comment d a e ");
  EXPECT_EQ(inner->getParentNode(), e);

  // Under itself, or from another document: refused, nothing changed.
  DOMElement* x = element(u"x");
  DOMElement* y = element(u"y");
  ASSERT_TRUE(sdr_append_child(x, y));
  EXPECT_FALSE(sdr_append_child(y, x));
  EXPECT_EQ(y->getFirstChild(), nullptr);
  EXPECT_EQ(x->getParentNode(), nullptr);
  EXPECT_FALSE(sdr_append_child(inner, e));
  SDR_DATA_SESSION other;
  EXPECT_FALSE(sdr_append_child(parent, other.get_document()->createElement(u"x")));
  EXPECT_EQ(e->getParentNode(), parent);
  EXPECT_EQ(inner->getFirstChild(), nullptr);
  EXPECT_EQ(parent->getLastChild(), e);
  std::string out;
  ASSERT_TRUE(SDR_DATA_XML_WRITER::write(parent, &out));
  EXPECT_EQ(out, "\n<p>t\n  <b/><!--c-->\n  <d/>\n  <a/>\n  <e>\n    <f/>\n  </e>\n</p>");
}
