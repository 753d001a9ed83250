// The writer's escaping, checked character by character against a plain
// reference: values and texts of every short length with characters to
// escape at every place (the writer copies plain text in blocks and finds
// the others inside them), nodes of the DOM's own classes and of derived
// ones, and a long text that crosses the writer's buffer many times.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>
#include <xercesc/dom/DOM.hpp>

#include "sdr_data_session.h"
#include "sdr_data_xml_util.h"

using namespace xercesc;

namespace {

std::string char_ref(unsigned cp) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "&#x%X;", cp);
  return buf;
}

// The expected text of s in an attribute value (attribute true) or an
// element's text.
std::string reference(const std::u16string& s, bool attribute) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size()) {
      out += char_ref(0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00));
    } else if (c >= 0x80) {
      out += char_ref(c);
    } else if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += attribute ? ">" : "&gt;";
    } else if (c == '"') {
      out += attribute ? "&quot;" : "\"";
    } else if (c == '\r' || (attribute && (c == '\t' || c == '\n'))) {
      out += char_ref(c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Writes a "data" element holding value as attribute "v" and text as its
// text, made with or without namespaces (the latter are nodes of classes
// derived from the plain ones).
std::string written(SDR_DATA_SESSION& s, const std::u16string& value, const std::u16string& text, bool ns) {
  DOMDocument* doc = s.get_document();
  DOMElement* e = ns ? doc->createElementNS(nullptr, u"data") : doc->createElement(u"data");
  if (ns) {
    e->setAttributeNS(nullptr, u"v", value.c_str());
  } else {
    e->setAttribute(u"v", value.c_str());
  }
  if (!text.empty()) e->appendChild(doc->createTextNode(text.c_str()));
  s.get_root_element()->appendChild(e);
  std::string out;
  EXPECT_TRUE(SDR_DATA_XML_WRITER::write(e, &out));
  s.get_root_element()->removeChild(e)->release();
  return out;
}

const char16_t SPECIALS[] = {u'&', u'<', u'>', u'"', u'\t', u'\r', 0xE9, 0x7FF, 0xFFFD};

}  // namespace

TEST(XmlWriterEscaping, EveryLengthAndPlace) {
  SDR_DATA_SESSION s;
  for (size_t len = 0; len <= 40; ++len) {
    std::u16string plain;
    for (size_t i = 0; i < len; ++i) plain += static_cast<char16_t>(u'a' + i % 26);
    for (size_t at = 0; at <= len; ++at) {
      for (char16_t special : SPECIALS) {
        // One character to escape at "at" (none when at == len), and a
        // second one at the end when there is room.
        std::u16string v = plain;
        if (at < len) v[at] = special;
        if (at + 1 < len) v[len - 1] = u'&';
        // The text of "data" is written as it is, but a text of blanks
        // only is left out.
        const bool blank = v.find_first_not_of(u" \t\r\n") == std::u16string::npos;
        const std::string expected =
            "\n<data v=\"" + reference(v, true) + "\"" +
            (v.empty() ? "/>" : ">" + (blank ? "" : reference(v, false)) + "</data>");
        for (bool ns : {false, true}) {
          SCOPED_TRACE(testing::Message() << "length " << len << " at " << at << " U+" << std::hex
                                          << static_cast<unsigned>(special) << (ns ? " ns" : ""));
          ASSERT_EQ(written(s, v, v, ns), expected);
        }
        if (at == len) break;
      }
    }
  }
}

TEST(XmlWriterEscaping, LongTextAcrossTheBuffer) {
  SDR_DATA_SESSION s;
  std::u16string text, value;
  for (size_t i = 0; i < 300000; ++i) {
    char16_t c = static_cast<char16_t>(u'A' + i % 23);
    if (i % 97 == 5) c = u'&';
    if (i % 1013 == 7) c = 0x3A9;
    if (i % 5003 == 11) c = u'<';
    if (i % 7919 == 1) text += u"\U0001F600";
    text += c;
    if (i < 3000) value += c;
  }
  EXPECT_EQ(written(s, value, text, false),
            "\n<data v=\"" + reference(value, true) + "\">" + reference(text, false) + "</data>");
}
