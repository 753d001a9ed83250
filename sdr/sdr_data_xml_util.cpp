#include "sdr_data_xml_util.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <typeinfo>
#include <vector>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLString.hpp>

// The DOM's own classes, for linking nodes and writing texts in place (the
// pool header needs XMLString, included above).
#include <xercesc/dom/impl/DOMAttrImpl.hpp>
#include <xercesc/dom/impl/DOMAttrMapImpl.hpp>
#include <xercesc/dom/impl/DOMDocumentImpl.hpp>
#include <xercesc/dom/impl/DOMElementImpl.hpp>
#include <xercesc/dom/impl/DOMNodeVector.hpp>
#include <xercesc/dom/impl/DOMStringPool.hpp>
#include <xercesc/dom/impl/DOMTextImpl.hpp>

#include "platform_mutex.h"
#include "sdr_internal.h"

using namespace xercesc;

// ------------------------------------------------------------------ helpers

void sdr_report_internal_error(const char* expression, const char* file, int line) {
  const char* base = file ? std::strrchr(file, '/') : nullptr;
  MSG_INTERNAL_ERROR::report(expression, "SDR", base ? base + 1 : (file ? file : ""), line);
}

void sdr_report_current_exception(const char* file, int line) {
  std::string what;
  try {
    throw;
  } catch (const OutOfMemoryException&) {
    what = "out of memory";
  } catch (const XMLException& e) {
    what = sdr_to_utf8(e.getMessage());
  } catch (const DOMException& e) {
    what = "DOM error " + std::to_string(static_cast<int>(e.code));
    if (e.getMessage() && *e.getMessage()) what += ": " + sdr_to_utf8(e.getMessage());
  } catch (const std::bad_alloc&) {
    what = "out of memory";
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
    what = "unknown exception";
  }
  sdr_report_internal_error(("exception caught: " + what).c_str(), file, line);
}

SDR_XSTR::SDR_XSTR(const char* text) {
  if (!text) return;
  sdr_append_utf16(text, std::strlen(text), &m_text);
}

void sdr_append_utf16(const char* text, size_t n, std::u16string* out) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  out->reserve(out->size() + n);
  size_t i = 0;
  while (i < n) {
    unsigned c = p[i];
    if (c < 0x80) {
      out->push_back(static_cast<char16_t>(c));
      ++i;
      continue;
    }
    // UTF-8 sequence; an invalid byte is taken as the Latin-1 character.
    unsigned need = 0;
    unsigned cp = 0;
    if ((c & 0xE0) == 0xC0) {
      need = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      need = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      need = 3;
      cp = c & 0x07;
    }
    bool ok = need > 0 && i + need < n + 1;
    for (unsigned k = 1; ok && k <= need; ++k) {
      if (i + k >= n || (p[i + k] & 0xC0) != 0x80) {
        ok = false;
      } else {
        cp = (cp << 6) | (p[i + k] & 0x3F);
      }
    }
    static const unsigned min_cp[4] = {0, 0x80, 0x800, 0x10000};
    if (ok && (cp < min_cp[need] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      out->push_back(static_cast<char16_t>(c));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(cp));
    }
    i += need + 1;
  }
}

void sdr_append_utf8(const XMLCh* text, std::string* out) {
  if (!text) return;
  // Room for the ASCII text it nearly always is (appending to a text keeps
  // the string's own growth).
  if (out->empty()) out->reserve(XMLString::stringLen(text));
  const XMLCh* p = text;
  // Runs of ASCII are narrowed a block at a time.
  for (;;) {
    char block[256];
    size_t n = 0;
    while (n < sizeof block && p[n] && p[n] < 0x80) {
      block[n] = static_cast<char>(p[n]);
      ++n;
    }
    out->append(block, n);
    p += n;
    if (n < sizeof block) break;
  }
  for (; *p; ++p) {
    unsigned c = *p;
    if (c < 0x80) {
      out->push_back(static_cast<char>(c));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    }
    if (c < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (c >> 6)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (c >> 12)));
      out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (c >> 18)));
      out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
}

// A value is nearly always one text child, read here directly: getValue
// finds it through dynamic casts. Anything else (no child, entity
// references) goes through getValue.
const XMLCh* sdr_attribute_value(const DOMNode* attr) {
  const DOMNode* first = attr->getFirstChild();
  if (first && !first->getNextSibling() && first->getNodeType() == DOMNode::TEXT_NODE)
    return first->getNodeValue();
  return attr->getNodeValue();
}

std::string sdr_to_utf8(const XMLCh* text) {
  std::string out;
  sdr_append_utf8(text, &out);
  return out;
}

namespace {

// The value of the named attribute of element, "" when it has none, as
// getAttribute gives it. A short ASCII name is widened on the stack.
const XMLCh* attribute_value(const DOMElement* element, const char* name) {
  XMLCh wide[64];
  size_t i = 0;
  for (; i + 1 < sizeof wide / sizeof wide[0]; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c == 0 || c >= 0x80) break;
    wide[i] = c;
  }
  const DOMAttr* attr;
  if (name[i] == 0) {
    wide[i] = 0;
    attr = element->getAttributeNode(wide);
  } else {
    attr = element->getAttributeNode(SDR_XSTR(name));
  }
  return attr ? sdr_attribute_value(attr) : u"";
}

}  // namespace

std::string sdr_get_attribute(const DOMElement* element, const char* name) {
  if (!element || !name) return std::string();
  return sdr_to_utf8(attribute_value(element, name));
}

bool sdr_has_attribute(const DOMElement* element, const char* name) {
  if (!element || !name) return false;
  const XMLCh* v = attribute_value(element, name);
  return v && *v;
}

namespace {

// The child links of a node, or null for a kind of node sdr_link_last_child
// leaves to the DOM's own append.
DOMChildNode* child_links(DOMNode* node) {
  switch (node->getNodeType()) {
    case DOMNode::ELEMENT_NODE:
      return &static_cast<DOMElementImpl*>(node)->fChild;
    case DOMNode::TEXT_NODE:
      return &static_cast<DOMTextImpl*>(node)->fChild;
    default:
      return nullptr;
  }
}

// The attribute list of an element, which the map keeps to itself.
struct ATTR_MAP_ACCESS : DOMAttrMapImpl {
  static constexpr DOMNodeVector* DOMAttrMapImpl::*NODES = &ATTR_MAP_ACCESS::fNodes;
  static constexpr DOMNode* DOMAttrMapImpl::*OWNER = &ATTR_MAP_ACCESS::fOwnerNode;
};

// A new attribute of element, made and linked in as setAttribute makes it
// (a text child, even an empty one; its place in the map; the document's
// change count) without its run-time type look-ups. False, nothing made,
// for an element not of the DOM's own plain class or a read-only one.
bool add_attribute(DOMElement* element, const XMLCh* name, const XMLCh* value) {
  if (&typeid(*element) != &typeid(DOMElementImpl)) return false;
  DOMElementImpl* e = static_cast<DOMElementImpl*>(element);
  if (e->fNode.isReadOnly() || !e->fAttributes) return false;
  DOMDocument* document = e->fParent.fOwnerDocument;
  if (!document || &typeid(*document) != &typeid(DOMDocumentImpl)) return false;
  // A name that is no XML name throws here, as in setAttribute.
  DOMAttrImpl* attr = static_cast<DOMAttrImpl*>(document->createAttribute(name));
  DOMTextImpl* text = static_cast<DOMTextImpl*>(document->createTextNode(value));
  sdr_link_last_child(attr->fParent, text, text->fNode, text->fChild);
  // The list is made with the first attribute, of the DOM's own first size.
  e->fAttributes->reserve(10);
  sdr_link_attribute(*e->fAttributes, attr);
  static_cast<DOMDocumentImpl*>(document)->changed();
  return true;
}

}  // namespace

bool sdr_link_last_child(DOMParentNode& parent, DOMNode* child, DOMNodeImpl& node_part, DOMChildNode& links) {
  DOMChildNode* first = nullptr;
  DOMChildNode* last = nullptr;
  DOMNode* last_node = nullptr;
  if (parent.fFirstChild) {
    first = child_links(parent.fFirstChild);
    last_node = first ? first->previousSibling : nullptr;
    last = last_node ? child_links(last_node) : nullptr;
    if (!last) return false;
  }
  node_part.fOwnerNode = parent.fContainingNode;
  node_part.isOwned(true);
  if (!first) {
    parent.fFirstChild = child;
    node_part.isFirstChild(true);
    links.previousSibling = child;  // the first child's link to the last
  } else {
    last->nextSibling = child;
    links.previousSibling = last_node;
    first->previousSibling = child;
  }
  return true;
}

bool sdr_link_new_element(DOMNode* parent, DOMNode* child) {
  if (!parent || !child || &typeid(*parent) != &typeid(DOMElementImpl) ||
      &typeid(*child) != &typeid(DOMElementImpl))
    return false;
  DOMElementImpl* p = static_cast<DOMElementImpl*>(parent);
  DOMElementImpl* c = static_cast<DOMElementImpl*>(child);
  DOMDocument* document = p->fParent.fOwnerDocument;
  if (c->fNode.isOwned() || p->fNode.isReadOnly() || !document || c->fParent.fOwnerDocument != document ||
      &typeid(*document) != &typeid(DOMDocumentImpl))
    return false;
  // An element under itself would make a cycle: the DOM refuses it.
  for (const DOMNode* a = parent; a; a = sdr_parent_node(a))
    if (a == child) return false;
  DOMDocumentImpl* impl = static_cast<DOMDocumentImpl*>(document);
  const auto* ranges = impl->getRanges();
  if (ranges && ranges->size() > 0) return false;
  if (!sdr_link_last_child(p->fParent, child, c->fNode, c->fChild)) return false;
  impl->changed();
  return true;
}

bool sdr_link_attribute(DOMAttrMapImpl& map, DOMAttrImpl* attr) {
  DOMNodeVector* nodes = map.*ATTR_MAP_ACCESS::NODES;
  if (!nodes) return false;
  attr->fNode.fOwnerNode = map.*ATTR_MAP_ACCESS::OWNER;
  attr->fNode.isOwned(true);
  const int at = map.findNamePoint(attr->getNodeName());
  if (at >= 0) {
    nodes->setElementAt(attr, static_cast<XMLSize_t>(at));
  } else {
    nodes->insertElementAt(attr, static_cast<XMLSize_t>(-1 - at));
  }
  return true;
}

DOMNode* sdr_parent_node(const DOMNode* node) {
  if (!node) return nullptr;
  if (&typeid(*node) == &typeid(DOMElementImpl)) {
    const DOMNodeImpl& part = static_cast<const DOMElementImpl*>(node)->fNode;
    return part.isOwned() ? part.fOwnerNode : nullptr;
  }
  return node->getParentNode();
}

DOMBuffer* sdr_text_buffer(DOMNode* node) {
  // Only the DOM's own text class has the buffer; a read-only text belongs
  // to an entity, and a range into the text would not follow the change.
  if (!node || &typeid(*node) != &typeid(DOMTextImpl)) return nullptr;
  DOMTextImpl* text = static_cast<DOMTextImpl*>(node);
  if (text->fNode.isReadOnly()) return nullptr;
  const DOMDocumentImpl* document = static_cast<const DOMDocumentImpl*>(text->getOwnerDocument());
  if (!document) return nullptr;
  const auto* ranges = document->getRanges();
  if (ranges && ranges->size() > 0) return nullptr;
  return text->fCharacterData.fDataBuf;
}

void sdr_set_attribute(DOMElement* element, const char* name, const char* value) {
  if (!SDR_CHECK(element != NULL) || !SDR_CHECK(name != NULL)) return;
  SDR_GUARDED(false, [&] {
    const SDR_XSTR wide_name(name);
    const SDR_XSTR wide_value(value ? value : "");
    // An attribute's value is one text node: setAttribute throws it away
    // and makes a new one, through a dozen run-time type look-ups. A value
    // that fits the node's buffer is written into it instead; an ID
    // attribute (its document keeps a map of them), a default one not yet
    // specified, or any other shape of value goes through setAttribute. A
    // new attribute is linked in here too.
    DOMAttr* attr = element->getAttributeNode(wide_name);
    if (!attr && add_attribute(element, wide_name, wide_value)) return true;
    DOMNode* first = attr && attr->getSpecified() && !attr->isId() ? attr->getFirstChild() : nullptr;
    DOMBuffer* buffer = first && !first->getNextSibling() ? sdr_text_buffer(first) : nullptr;
    const XMLSize_t length = XMLString::stringLen(wide_value.x());
    if (buffer && length < buffer->getCapacity()) {
      buffer->set(wide_value.x(), length);
      static_cast<DOMDocumentImpl*>(element->getOwnerDocument())->changed();
      return true;
    }
    element->setAttribute(wide_name, wide_value);
    return true;
  });
}

void sdr_set_attribute(DOMElement* element, const char* name, int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d", value);
  sdr_set_attribute(element, name, buf);
}

void sdr_remove_attribute(DOMElement* element, const char* name) {
  if (!element || !name) return;
  SDR_GUARDED(false, [&] {
    SDR_XSTR x(name);
    if (element->getAttributeNode(x)) element->removeAttribute(x);
    return true;
  });
}

int sdr_atoi(const char* text) {
  if (!text) return 0;
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool neg = false;
  if (*p == '+' || *p == '-') neg = (*p++ == '-');
  long long v = 0;
  while (*p >= '0' && *p <= '9') {
    v = v * 10 + (*p++ - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
  }
  if (neg) v = -v;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  return static_cast<int>(v);
}

// A "multi" whose "size" claims more numbers than its text holds is padded
// with zeros up to this count; beyond it only the numbers read are kept.
static const int MAX_PADDED_MULTI = 1 << 20;

// Reads the numbers of a "multi" value: piece i is the text up to the next
// ","; the last index, or a piece with no comma after it, takes the rest.
std::vector<int> sdr_parse_multi_value(const std::string& value, int size) {
  std::vector<int> values;
  if (size < 1) return values;
  size_t pos = 0;
  for (int i = 0; i < size; ++i) {
    size_t comma = value.find(',', pos);
    if (comma == std::string::npos || i == size - 1) {
      values.push_back(sdr_atoi(value.c_str() + pos));
      break;
    }
    values.push_back(sdr_atoi(value.substr(pos, comma - pos).c_str()));
    pos = comma + 1;
  }
  if (static_cast<size_t>(size) > values.size() && size <= MAX_PADDED_MULTI)
    values.resize(static_cast<size_t>(size), 0);
  return values;
}

std::string sdr_join_ints(const std::vector<int>& values) {
  std::string text;
  char buf[16];
  for (size_t i = 0; i < values.size(); ++i) {
    std::snprintf(buf, sizeof buf, i + 1 < values.size() ? "%d," : "%d", values[i]);
    text += buf;
  }
  return text;
}

// ------------------------------------------------------------ named values

namespace {

void write_multi(DOMElement* e, const std::vector<int>& values) {
  sdr_set_attribute(e, "size", static_cast<int>(values.size()));
  sdr_set_attribute(e, "value", sdr_join_ints(values).c_str());
}

const char* const ENTRY_TAGS[2] = {"single", "multi"};

}  // namespace

void SDR_NAMED_VALUES::note_entry(DOMElement* table, int kind, const std::string& name, DOMElement* e) {
  if (table != m_table) {
    m_entries[0].clear();
    m_entries[1].clear();
    m_table = table;
  }
  m_entries[kind][name] = e;
  m_last = table->getLastChild();
}

DOMElement* SDR_NAMED_VALUES::entry_element(DOMElement* table, int kind, const char* name) {
  SDR_XSTR attr_name("attribute");
  SDR_XSTR key(name);
  if (table == m_table) {
    auto it = m_entries[kind].find(name);
    if (it != m_entries[kind].end()) {
      DOMElement* e = it->second;
      if (e->getParentNode() == table && XMLString::equals(e->getAttribute(attr_name), key)) return e;
    }
  }
  // Not known, or the table was changed in the document directly: walk it,
  // unless nothing was added to it since it was last seen.
  const bool unchanged = table == m_table && table->getLastChild() == m_last;
  if (!unchanged || m_entries[kind].count(name)) {
    SDR_XSTR tag(ENTRY_TAGS[kind]);
    for (DOMElement* e = find_child_element(table, tag.x()); e; e = find_next_sibling_element(e, tag.x())) {
      if (XMLString::equals(e->getAttribute(attr_name), key)) {
        note_entry(table, kind, name, e);
        return e;
      }
    }
  }
  DOMElement* e = table->getOwnerDocument()->createElement(SDR_XSTR(ENTRY_TAGS[kind]));
  table->appendChild(e);
  sdr_set_attribute(e, "attribute", name);
  note_entry(table, kind, name, e);
  return e;
}

bool SDR_NAMED_VALUES::set_single(DOMElement* table, const char* name, int value, bool table_only) {
  if (!name) return false;
  singles[name] = value;
  if (!table_only && table) {
    SDR_GUARDED(false, [&] {
      sdr_set_attribute(entry_element(table, 0, name), "value", value);
      return true;
    });
  }
  return true;
}

bool SDR_NAMED_VALUES::set_multi(DOMElement* table, const char* name, const int* values, int count,
                                 bool table_only) {
  if (!name || count < 0 || (count > 0 && !SDR_CHECK(values != NULL))) return false;
  std::vector<int>& stored = multis[name];
  stored.assign(values, values + count);
  if (!table_only && table) {
    SDR_GUARDED(false, [&] {
      write_multi(entry_element(table, 1, name), stored);
      return true;
    });
  }
  return true;
}

int SDR_NAMED_VALUES::get_single(const char* name) const {
  if (!name) return -1;
  auto it = singles.find(name);
  return it == singles.end() ? -1 : it->second;
}

int SDR_NAMED_VALUES::get_multi(const char* name, int* out) const {
  if (!name) return -1;
  auto it = multis.find(name);
  if (it == multis.end()) return -1;
  if (out && !it->second.empty()) std::memcpy(out, it->second.data(), it->second.size() * sizeof(int));
  return static_cast<int>(it->second.size());
}

void SDR_NAMED_VALUES::read(const DOMElement* table) {
  if (!table) return;
  for (DOMElement* e = find_child_element(table, "single"); e; e = find_next_sibling_element(e, "single")) {
    std::string name = sdr_get_attribute(e, "attribute");
    std::string value = sdr_get_attribute(e, "value");
    if (!name.empty() && !value.empty()) singles[name] = sdr_atoi(value.c_str());
  }
  for (DOMElement* e = find_child_element(table, "multi"); e; e = find_next_sibling_element(e, "multi")) {
    std::string name = sdr_get_attribute(e, "attribute");
    std::string size = sdr_get_attribute(e, "size");
    if (name.empty() || size.empty() || !sdr_has_attribute(e, "value")) continue;
    std::vector<int> values = sdr_parse_multi_value(sdr_get_attribute(e, "value"), sdr_atoi(size.c_str()));
    if (!values.empty()) multis[name] = std::move(values);
  }
}

DOMElement* SDR_NAMED_VALUES::rebuild(DOMElement* owner, DOMElement* table, const char* tag) {
  if (!SDR_CHECK(owner != NULL)) return table;
  if (table && table->getParentNode() != owner) table->release();
  // Every element of that tag goes: a second one left behind would be read
  // in place of the rebuilt one next time.
  SDR_XSTR tag_name(tag);
  for (DOMElement* e = find_child_element(owner, tag_name.x()); e;) {
    DOMElement* next = find_next_sibling_element(e, tag_name.x());
    owner->removeChild(e);
    e->release();
    e = next;
  }
  m_entries[0].clear();
  m_entries[1].clear();
  DOMDocument* doc = owner->getOwnerDocument();
  table = doc->createElement(SDR_XSTR(tag));
  owner->appendChild(table);
  for (const auto& kv : singles) {
    DOMElement* e = doc->createElement(SDR_XSTR("single"));
    table->appendChild(e);
    sdr_set_attribute(e, "attribute", kv.first.c_str());
    sdr_set_attribute(e, "value", kv.second);
    note_entry(table, 0, kv.first, e);
  }
  for (const auto& kv : multis) {
    DOMElement* e = doc->createElement(SDR_XSTR("multi"));
    table->appendChild(e);
    sdr_set_attribute(e, "attribute", kv.first.c_str());
    write_multi(e, kv.second);
    note_entry(table, 1, kv.first, e);
  }
  m_table = table;
  m_last = table->getLastChild();
  return table;
}

// ------------------------------------------------------------ element walk

namespace {

bool has_tag(const DOMNode* node, const XMLCh* name) {
  return node->getNodeType() == DOMNode::ELEMENT_NODE && XMLString::equals(node->getNodeName(), name);
}

}  // namespace

DOMElement* find_child_element(const DOMNode* parent, const XMLCh* element_name) {
  if (!SDR_CHECK(element_name != NULL)) return nullptr;
  if (!parent) return nullptr;
  for (DOMNode* n = parent->getFirstChild(); n; n = n->getNextSibling())
    if (has_tag(n, element_name)) return static_cast<DOMElement*>(n);
  return nullptr;
}

DOMElement* find_child_element(const DOMNode* parent, const char* element_name) {
  if (!SDR_CHECK(element_name != NULL)) return nullptr;
  return find_child_element(parent, SDR_XSTR(element_name).x());
}

DOMElement* find_next_sibling_element(const DOMNode* start, const XMLCh* element_name) {
  if (!SDR_CHECK(element_name != NULL)) return nullptr;
  if (!start) return nullptr;
  for (DOMNode* n = start->getNextSibling(); n; n = n->getNextSibling())
    if (has_tag(n, element_name)) return static_cast<DOMElement*>(n);
  return nullptr;
}

DOMElement* find_next_sibling_element(const DOMNode* start, const char* element_name) {
  if (!SDR_CHECK(element_name != NULL)) return nullptr;
  return find_next_sibling_element(start, SDR_XSTR(element_name).x());
}

DOMElement* first_child_element(const DOMNode* parent) {
  if (!parent) return nullptr;
  for (DOMNode* n = parent->getFirstChild(); n; n = n->getNextSibling())
    if (n->getNodeType() == DOMNode::ELEMENT_NODE) return static_cast<DOMElement*>(n);
  return nullptr;
}

DOMElement* next_sibling_element(const DOMNode* start) {
  if (!start) return nullptr;
  for (DOMNode* n = start->getNextSibling(); n; n = n->getNextSibling())
    if (n->getNodeType() == DOMNode::ELEMENT_NODE) return static_cast<DOMElement*>(n);
  return nullptr;
}

void sdr_unlink(DOMNode* node) {
  if (!node) return;
  SDR_GUARDED(false, [&] {
    if (DOMNode* parent = node->getParentNode()) parent->removeChild(node);
    return true;
  });
}

bool sdr_append_child(DOMNode* parent, DOMNode* child) {
  if (!SDR_CHECK(parent != NULL) || !SDR_CHECK(child != NULL)) return false;
  if (sdr_link_new_element(parent, child)) return true;
  return SDR_GUARDED(false, [&] {
    parent->appendChild(child);
    return true;
  });
}

void sdr_release_subtree(DOMNode* root) {
  if (!root || !SDR_CHECK(root->getParentNode() == NULL)) return;
  // Whatever cannot be freed stays with the document until it goes.
  SDR_GUARDED(false, [&] {
    DOMNode* cur = root;
    for (;;) {
      // Only elements are taken apart; any other node goes whole.
      while (cur->getNodeType() == DOMNode::ELEMENT_NODE && cur->getFirstChild()) cur = cur->getFirstChild();
      if (cur == root) break;
      DOMNode* parent = cur->getParentNode();
      parent->removeChild(cur);
      cur->release();
      cur = parent;
    }
    root->release();
    return true;
  });
}

void sdr_release_element(DOMElement* element) {
  if (element && !element->getParentNode()) sdr_release_subtree(element);
}

DOMElement* sdr_clone_subtree(const DOMElement* element) {
  if (!SDR_CHECK(element != NULL)) return nullptr;
  return SDR_GUARDED(static_cast<DOMElement*>(nullptr), [&] {
    DOMNode* copy = element->cloneNode(false);
    DOMNode* target = copy;
    const DOMNode* src = element->getFirstChild();
    while (src) {
      const bool is_element = src->getNodeType() == DOMNode::ELEMENT_NODE;
      DOMNode* node_copy = target->appendChild(src->cloneNode(!is_element));
      if (is_element && src->getFirstChild()) {
        src = src->getFirstChild();
        target = node_copy;
        continue;
      }
      while (src != element && !src->getNextSibling()) {
        src = src->getParentNode();
        target = target->getParentNode();
      }
      src = src == element ? nullptr : src->getNextSibling();
    }
    return static_cast<DOMElement*>(copy);
  });
}

SDR_WRITER_LOCK::SDR_WRITER_LOCK(bool lock) : m_lock(lock) {
  if (m_lock) PLATFORM_MUTEX::writer_mutex().lock();
}

SDR_WRITER_LOCK::~SDR_WRITER_LOCK() {
  if (m_lock) PLATFORM_MUTEX::writer_mutex().unlock();
}

namespace {
const XMLCh EDIT_COUNTER_KEY[] = u"sdr-edit-counter";
}  // namespace

unsigned long* sdr_edit_counter(const DOMDocument* document) {
  if (!document) return nullptr;
  // The document's own node part is asked directly: the document's
  // getUserData finds it through a run-time type look-up.
  if (&typeid(*document) == &typeid(DOMDocumentImpl)) {
    const DOMDocumentImpl* impl = static_cast<const DOMDocumentImpl*>(document);
    if (!impl->fNode.hasUserData()) return nullptr;
    return static_cast<unsigned long*>(impl->getUserData(&impl->fNode, EDIT_COUNTER_KEY));
  }
  return static_cast<unsigned long*>(document->getUserData(EDIT_COUNTER_KEY));
}

void sdr_set_edit_counter(DOMDocument* document, unsigned long* counter) {
  if (document) document->setUserData(EDIT_COUNTER_KEY, counter, nullptr);
}

void sdr_count_edit(const DOMNode* node) {
  if (unsigned long* counter = sdr_edit_counter(node ? node->getOwnerDocument() : nullptr)) ++*counter;
}

bool equals_ignore_case(const std::string& text, const char* word) {
  if (!word) return false;
  size_t n = std::strlen(word);
  if (text.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char a = text[i], b = word[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}
