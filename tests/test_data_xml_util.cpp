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
    for (char c : name) escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '"' ? "&quot;" : std::string(1, c);
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
  EXPECT_EQ(s.get_document()->getElementById(u"n2"), net);
  EXPECT_EQ(s.get_document()->getElementById(u"n1"), nullptr);
}
