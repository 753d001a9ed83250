#include "sdr_data_signal_view.h"

#include <string>
#include <unordered_map>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/XMLString.hpp>

#include "sdr_data_signal_set.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_msgs.h"
#include "sdr_wire_index.h"

using namespace xercesc;

namespace {

const XMLCh TAG_NET[] = u"net";
const XMLCh TAG_BUS[] = u"bus";
const XMLCh TAG_DATA_VIEW[] = u"data_view";
const XMLCh TAG_SETUP_VIEW[] = u"setup_view";
const XMLCh ATTR_NAME[] = u"name";
const XMLCh ATTR_ALIAS[] = u"alias";

// Counts an edit of rows made through these classes (moves, removals,
// names and aliases) on the document's edit counter; an index of bus rows
// made at another count is made again before it is used.
void rows_changed(const DOMNode* node) {
  sdr_count_edit(node);
}

bool has_tag(const DOMNode* node, const XMLCh* tag) {
  return node && node->getNodeType() == DOMNode::ELEMENT_NODE && XMLString::equals(node->getNodeName(), tag);
}

// Rows are the "net" and "bus" elements; everything else in between is
// skipped by every walk.
bool is_row(const DOMNode* node) {
  return has_tag(node, TAG_NET) || has_tag(node, TAG_BUS);
}

DOMElement* first_row(const DOMNode* parent) {
  if (!parent) return nullptr;
  for (DOMNode* n = parent->getFirstChild(); n; n = n->getNextSibling())
    if (is_row(n)) return static_cast<DOMElement*>(n);
  return nullptr;
}

DOMElement* last_row(const DOMNode* parent) {
  if (!parent) return nullptr;
  for (DOMNode* n = parent->getLastChild(); n; n = n->getPreviousSibling())
    if (is_row(n)) return static_cast<DOMElement*>(n);
  return nullptr;
}

DOMElement* next_row(const DOMNode* start) {
  if (!start) return nullptr;
  for (DOMNode* n = start->getNextSibling(); n; n = n->getNextSibling())
    if (is_row(n)) return static_cast<DOMElement*>(n);
  return nullptr;
}

DOMElement* prev_row(const DOMNode* start) {
  if (!start) return nullptr;
  for (DOMNode* n = start->getPreviousSibling(); n; n = n->getPreviousSibling())
    if (is_row(n)) return static_cast<DOMElement*>(n);
  return nullptr;
}

// True when the attribute is present, not empty, and equal to value.
bool attribute_equals(const DOMElement* element, const XMLCh* name, const XMLCh* value) {
  const XMLCh* text = element->getAttribute(name);
  return text && text[0] != 0 && XMLString::equals(text, value);
}

// Places child under parent before ref (appended when ref is null). Moves
// that would break the tree (a row under itself or one of its members, a row
// of another document) give false and change nothing.
bool place(DOMNode* parent, DOMElement* child, DOMNode* ref) {
  if (!parent || !child) return false;
  if (child == ref) return true;  // already in place
  // The DOM does not catch a node put under itself: it would make a cycle.
  for (const DOMNode* a = parent; a; a = sdr_parent_node(a))
    if (a == child) return false;
  rows_changed(parent);
  if (!ref && sdr_link_new_element(parent, child)) return true;
  DOMNode* child_node = nullptr;
  try {
    child_node = parent->insertBefore(child, ref);
  } catch (const DOMException&) {
    return false;
  }
  return SDR_CHECK(child_node->getNodeType() == DOMNode::ELEMENT_NODE);
}

std::unique_ptr<std::string> read_optional(const DOMElement* element, const char* name) {
  if (!element) return nullptr;
  std::string text = sdr_get_attribute(element, name);
  if (text.empty()) return nullptr;
  return std::unique_ptr<std::string>(new std::string(std::move(text)));
}

void write_optional(DOMElement* element, const char* name, const char* value) {
  if (value && *value)
    sdr_set_attribute(element, name, value);
  else
    sdr_remove_attribute(element, name);
}

}  // namespace

// ------------------------------------------------------------------ view

SDR_DATA_SIGNAL_VIEW::SDR_DATA_SIGNAL_VIEW(DOMDocument* document, DOMElement* element,
                                           SDR_DATA_SIGNAL_SET* signal_set)
    : m_signal_set(signal_set), m_document(document), m_dom_view(element) {}

SDR_DATA_SIGNAL_VIEW::SDR_DATA_SIGNAL_VIEW(DOMDocument* document, VIEW_TYPE type,
                                           SDR_DATA_SIGNAL_SET* signal_set)
    : m_signal_set(signal_set), m_document(document) {
  if (SDR_CHECK(document != NULL))
    m_dom_view = document->createElement(type == SETUP_VIEW ? TAG_SETUP_VIEW : TAG_DATA_VIEW);
}

SDR_DATA_SIGNAL_VIEW_NODE* SDR_DATA_SIGNAL_VIEW::get_first_node() const {
  SDR_DATA_SIGNAL_VIEW* self = const_cast<SDR_DATA_SIGNAL_VIEW*>(this);
  if (!SDR_CHECK(m_dom_view != NULL)) return new SDR_DATA_SIGNAL_VIEW_NODE(nullptr, self);
  return new SDR_DATA_SIGNAL_VIEW_NODE(first_row(m_dom_view), self);
}

// The first bus row of each name and alias, in the order of a pre-order
// walk of the view.
struct SDR_DATA_SIGNAL_VIEW::BUS_INDEX {
  unsigned long edits = 0;
  const DOMElement* view = nullptr;
  std::unordered_map<std::u16string, DOMElement*> buses;
};

SDR_DATA_SIGNAL_VIEW::~SDR_DATA_SIGNAL_VIEW() = default;

namespace {

bool names_bus(const DOMElement* bus, const XMLCh* wanted) {
  return attribute_equals(bus, ATTR_NAME, wanted) || attribute_equals(bus, ATTR_ALIAS, wanted);
}

bool is_below(const DOMNode* node, const DOMNode* ancestor) {
  for (const DOMNode* a = sdr_parent_node(node); a; a = sdr_parent_node(a))
    if (a == ancestor) return true;
  return false;
}

}  // namespace

SDR_DATA_SIGNAL_VIEW_NODE* SDR_DATA_SIGNAL_VIEW::find_bus_node(const char* name) const {
  SDR_DATA_SIGNAL_VIEW* self = const_cast<SDR_DATA_SIGNAL_VIEW*>(this);
  if (!name || !*name || !m_dom_view) return new SDR_DATA_SIGNAL_VIEW_NODE(nullptr, self);
  const SDR_XSTR wanted(name);
  // Finding buses one by one (a value on every bus of a level) must not
  // walk the view each time: the walk is done once per state of the rows.
  // Without a counter (a document no session holds) the index is made for
  // each lookup.
  const unsigned long* counter = sdr_edit_counter(m_dom_view->getOwnerDocument());
  const unsigned long edits = counter ? *counter : 0;
  const bool stale =
      !counter || !m_bus_index || m_bus_index->edits != edits || m_bus_index->view != m_dom_view;
  if (stale) {
    m_bus_index.reset(new BUS_INDEX);
    m_bus_index->edits = edits;
    m_bus_index->view = m_dom_view;
    sdr_walk_elements(m_dom_view, [this](DOMElement* e) {
      if (has_tag(e, TAG_BUS)) {
        for (const XMLCh* attr : {ATTR_NAME, ATTR_ALIAS}) {
          const XMLCh* text = e->getAttribute(attr);
          if (text && *text) m_bus_index->buses.emplace(text, e);
        }
      }
      return false;
    });
  }
  auto it = m_bus_index->buses.find(wanted.x());
  if (it != m_bus_index->buses.end()) {
    DOMElement* bus = it->second;
    if (names_bus(bus, wanted) && is_below(bus, m_dom_view)) return new SDR_DATA_SIGNAL_VIEW_NODE(bus, self);
  } else if (stale) {
    // Made just now: the miss is certain.
    return new SDR_DATA_SIGNAL_VIEW_NODE(nullptr, self);
  }
  // A stale entry, or a miss of an index made before rows were changed in
  // the document directly: walk the view. (A miss is a failed lookup, the
  // rare case, so the walk costs no hidden quadratic time.)
  DOMElement* found = nullptr;
  sdr_walk_elements(m_dom_view, [&](DOMElement* e) {
    if (has_tag(e, TAG_BUS) && names_bus(e, wanted)) found = e;
    return found != nullptr;
  });
  if (found) m_bus_index.reset();
  return new SDR_DATA_SIGNAL_VIEW_NODE(found, self);
}

// The resolved bits of bus rows, valid for one edit count, wire epoch and
// view element; each row's entry for the order it was resolved in.
struct SDR_DATA_SIGNAL_VIEW::BIT_CACHE {
  struct ENTRY {
    bool forward = true;
    std::shared_ptr<const BUS_BITS> bits;
  };
  unsigned long edits = 0;
  unsigned long wires = 0;
  const DOMElement* view = nullptr;
  std::unordered_map<const DOMElement*, ENTRY> buses;
};

std::shared_ptr<const SDR_DATA_SIGNAL_VIEW::BUS_BITS> SDR_DATA_SIGNAL_VIEW::bus_bits(
    SDR_DATA_SIGNAL_VIEW_NODE* bus) const {
  const DOMElement* element = bus ? bus->get_dom_node() : nullptr;
  if (!element) return std::make_shared<const BUS_BITS>();
  // Setting a value on every bus of every level must not resolve each
  // member's name again each time: the members are resolved once per state
  // of the rows and the wires. The rows count their edits on the document's
  // counter (moves, removals, names and aliases through these classes and
  // through the transaction layer); the wires on the wire epoch. The order
  // is read on each use. Anything else in doubt is a miss.
  const bool forward = bus->is_lsb_to_msb();
  const unsigned long* counter = sdr_edit_counter(element->getOwnerDocument());
  const unsigned long wires = SDR_WIRE_INDEX::epoch();
  if (!m_bit_cache) m_bit_cache.reset(new BIT_CACHE);
  BIT_CACHE& cache = *m_bit_cache;
  if (!counter || cache.edits != *counter || cache.wires != wires || cache.view != m_dom_view) {
    cache.buses.clear();
    cache.edits = counter ? *counter : 0;
    cache.wires = wires;
    cache.view = m_dom_view;
  }
  if (counter) {
    auto it = cache.buses.find(element);
    if (it != cache.buses.end() && it->second.forward == forward) return it->second.bits;
  }
  std::shared_ptr<BUS_BITS> bits = std::make_shared<BUS_BITS>();
  std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE> child(forward ? bus->get_first_child() : bus->get_last_child());
  while (child && !child->is_null()) {
    if (SDR_DATA_SIGNAL_WIRE* wire = child->get_data_wire(false)) {
      bits->wires.push_back(wire->get_trigger_wire_index());
    } else {
      const char* name = child->get_name();
      bits->wires.push_back(BUS_BITS::NO_WIRE);
      bits->missing.emplace_back(name ? name : "unspecified");
    }
    child.reset(forward ? child->get_next_sibling() : child->get_prev_sibling());
  }
  if (counter) cache.buses[element] = BIT_CACHE::ENTRY{forward, bits};
  return bits;
}

SDR_DATA_SIGNAL_VIEW_NODE* SDR_DATA_SIGNAL_VIEW::create_net_node(const char* name) {
  if (!SDR_CHECK(name != NULL)) return new SDR_DATA_SIGNAL_VIEW_NODE(nullptr, this);
  SDR_DATA_SIGNAL_VIEW_NODE* node = new SDR_DATA_SIGNAL_VIEW_NODE(SDR_DATA_SIGNAL_VIEW_NODE::NET_NODE, this);
  node->set_name(name);
  return node;
}

SDR_DATA_SIGNAL_VIEW_NODE* SDR_DATA_SIGNAL_VIEW::create_bus_node(const char* name) {
  if (!SDR_CHECK(name != NULL)) return new SDR_DATA_SIGNAL_VIEW_NODE(nullptr, this);
  SDR_DATA_SIGNAL_VIEW_NODE* node = new SDR_DATA_SIGNAL_VIEW_NODE(SDR_DATA_SIGNAL_VIEW_NODE::BUS_NODE, this);
  node->set_name(name);
  return node;
}

void SDR_DATA_SIGNAL_VIEW::insert_first_node(SDR_DATA_SIGNAL_VIEW_NODE* node) {
  if (!node || node->is_null()) return;
  if (!SDR_CHECK(m_dom_view != NULL)) return;
  place(m_dom_view, node->get_dom_node(), first_row(m_dom_view));
}

void SDR_DATA_SIGNAL_VIEW::append_node(SDR_DATA_SIGNAL_VIEW_NODE* node) {
  if (!node || node->is_null()) return;
  if (!SDR_CHECK(m_dom_view != NULL)) return;
  place(m_dom_view, node->get_dom_node(), nullptr);
}

void SDR_DATA_SIGNAL_VIEW::remove_all_view_nodes() {
  if (!SDR_CHECK(m_dom_view != NULL)) return;
  DOMDocument* document = m_document ? m_document : m_dom_view->getOwnerDocument();
  if (!SDR_CHECK(document != NULL)) return;
  DOMElement* fresh = document->createElement(m_dom_view->getTagName());
  DOMNode* parent = m_dom_view->getParentNode();
  rows_changed(m_dom_view);
  if (parent) {
    parent->removeChild(m_dom_view);
    sdr_release_subtree(m_dom_view);
    parent->appendChild(fresh);
  }
  // An unattached element is simply dropped; the document reclaims it.
  m_dom_view = fresh;
}

// ------------------------------------------------------------------ node

struct SDR_DATA_SIGNAL_VIEW_NODE::BUS_CACHE {
  bool alias_read = false;
  std::unique_ptr<std::string> alias;
  bool type_read = false;
  SDR_DATA_SIGNAL_TYPE type = SDR_STYPE_UNKNOWN;
  bool mnemonics_read = false;
  std::unique_ptr<std::string> mnemonics;

  BUS_CACHE() = default;
  BUS_CACHE(const BUS_CACHE& other)
      : alias_read(other.alias_read),
        alias(other.alias ? new std::string(*other.alias) : nullptr),
        type_read(other.type_read),
        type(other.type),
        mnemonics_read(other.mnemonics_read),
        mnemonics(other.mnemonics ? new std::string(*other.mnemonics) : nullptr) {}
  BUS_CACHE& operator=(const BUS_CACHE&) = delete;
};

SDR_DATA_SIGNAL_VIEW_NODE::SDR_DATA_SIGNAL_VIEW_NODE(DOMElement* element, SDR_DATA_SIGNAL_VIEW* view)
    : m_view(view), m_element(element) {
  if (has_tag(m_element, TAG_BUS)) m_bus_cache.reset(new BUS_CACHE());
}

SDR_DATA_SIGNAL_VIEW_NODE::SDR_DATA_SIGNAL_VIEW_NODE(NODE_TYPE type, SDR_DATA_SIGNAL_VIEW* view)
    : m_view(view) {
  DOMDocument* document = view ? view->get_dom_document() : nullptr;
  if (!SDR_CHECK(document != NULL)) return;
  m_element = document->createElement(type == BUS_NODE ? TAG_BUS : TAG_NET);
  if (type == BUS_NODE) m_bus_cache.reset(new BUS_CACHE());
}

SDR_DATA_SIGNAL_VIEW_NODE::SDR_DATA_SIGNAL_VIEW_NODE(const SDR_DATA_SIGNAL_VIEW_NODE& other)
    : m_view(other.m_view),
      m_bus_cache(other.m_bus_cache ? new BUS_CACHE(*other.m_bus_cache) : nullptr),
      m_element(other.m_element) {}

SDR_DATA_SIGNAL_VIEW_NODE& SDR_DATA_SIGNAL_VIEW_NODE::operator=(const SDR_DATA_SIGNAL_VIEW_NODE& other) {
  if (this == &other) return *this;
  m_view = other.m_view;
  m_element = other.m_element;
  m_bus_cache.reset(other.m_bus_cache ? new BUS_CACHE(*other.m_bus_cache) : nullptr);
  m_name_cache.reset();
  return *this;
}

SDR_DATA_SIGNAL_VIEW_NODE::~SDR_DATA_SIGNAL_VIEW_NODE() = default;

bool SDR_DATA_SIGNAL_VIEW_NODE::is_bus() const {
  return has_tag(m_element, TAG_BUS);
}

const char* SDR_DATA_SIGNAL_VIEW_NODE::get_name() {
  if (!m_element) return nullptr;
  if (!m_name_cache) m_name_cache = read_optional(m_element, "name");
  return m_name_cache ? m_name_cache->c_str() : nullptr;
}

bool SDR_DATA_SIGNAL_VIEW_NODE::set_name(const char* name) {
  if (!m_element || !name) return false;
  rows_changed(m_element);
  sdr_set_attribute(m_element, "name", name);
  m_name_cache.reset(*name ? new std::string(name) : nullptr);
  return true;
}

const char* SDR_DATA_SIGNAL_VIEW_NODE::get_alias() {
  if (!m_element) return nullptr;
  if (!is_bus()) {
    SDR_DATA_SIGNAL_WIRE* wire = get_data_wire(false);
    return wire ? wire->get_alias() : nullptr;
  }
  if (!m_bus_cache) m_bus_cache.reset(new BUS_CACHE());
  if (!m_bus_cache->alias_read) {
    m_bus_cache->alias = read_optional(m_element, "alias");
    m_bus_cache->alias_read = true;
  }
  return m_bus_cache->alias ? m_bus_cache->alias->c_str() : nullptr;
}

bool SDR_DATA_SIGNAL_VIEW_NODE::set_alias(const char* alias) {
  if (!m_element) return false;
  if (!is_bus()) {
    SDR_DATA_SIGNAL_WIRE* wire = get_data_wire(false);
    if (!wire || !wire->get_name()) return false;
    return m_view->get_signal_set()->rename_signal_alias(wire->get_name(), alias);
  }
  rows_changed(m_element);
  write_optional(m_element, "alias", alias);
  if (m_bus_cache) {
    m_bus_cache->alias.reset();
    m_bus_cache->alias_read = false;
  }
  return true;
}

SDR_DATA_SIGNAL_TYPE SDR_DATA_SIGNAL_VIEW_NODE::get_signal_type() {
  if (!m_element) return SDR_STYPE_UNKNOWN;
  if (!is_bus()) {
    SDR_DATA_SIGNAL_WIRE* wire = get_data_wire(false);
    return wire ? wire->get_signal_type() : SDR_STYPE_UNKNOWN;
  }
  if (!m_bus_cache) m_bus_cache.reset(new BUS_CACHE());
  if (!m_bus_cache->type_read) {
    SDR_DATA_SIGNAL_TYPE type = SDR_STYPE_UNKNOWN;
    SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(sdr_get_attribute(m_element, "type").c_str(), &type);
    m_bus_cache->type = type;
    m_bus_cache->type_read = true;
  }
  return m_bus_cache->type;
}

bool SDR_DATA_SIGNAL_VIEW_NODE::set_signal_type(SDR_DATA_SIGNAL_TYPE type) {
  if (!m_element) return false;
  if (!is_bus()) {
    SDR_DATA_SIGNAL_WIRE* wire = get_data_wire(false);
    if (!wire) return false;
    wire->set_signal_type(type);
    return true;
  }
  const char* text = nullptr;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(type, &text);
  sdr_set_attribute(m_element, "type", text);
  if (m_bus_cache) m_bus_cache->type_read = false;
  return true;
}

SDR_DATA_GROUP_LINKING_TYPE SDR_DATA_SIGNAL_VIEW_NODE::get_bus_linking_type() const {
  SDR_DATA_GROUP_LINKING_TYPE type = SDR_LTYPE_NONE;
  if (!is_bus()) return type;
  SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(sdr_get_attribute(m_element, "link").c_str(), &type);
  return type;
}

bool SDR_DATA_SIGNAL_VIEW_NODE::set_bus_linking_type(SDR_DATA_GROUP_LINKING_TYPE type) {
  if (!is_bus()) return false;
  std::string text;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(type, &text);
  sdr_set_attribute(m_element, "link", text.c_str());
  return true;
}

SDR_DATA_GROUP_DISPLAY_TYPE SDR_DATA_SIGNAL_VIEW_NODE::get_bus_display_type() {
  if (!is_bus()) return SDR_GTYPE_HEX;
  // A mnemonic table overrides the radix.
  if (get_mnemonics_table()) return SDR_GTYPE_MNEMONICS;
  SDR_DATA_GROUP_DISPLAY_TYPE type = SDR_GTYPE_HEX;
  SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(sdr_get_attribute(m_element, "radix").c_str(), &type);
  return type;
}

bool SDR_DATA_SIGNAL_VIEW_NODE::set_bus_display_type(SDR_DATA_GROUP_DISPLAY_TYPE type) {
  if (!is_bus()) return false;
  const char* text = nullptr;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(type, &text);
  sdr_set_attribute(m_element, "radix", text);
  return true;
}

const char* SDR_DATA_SIGNAL_VIEW_NODE::get_mnemonics_table() {
  if (!is_bus()) return nullptr;
  if (!m_bus_cache) m_bus_cache.reset(new BUS_CACHE());
  if (!m_bus_cache->mnemonics_read) {
    m_bus_cache->mnemonics = read_optional(m_element, "mnemonics");
    m_bus_cache->mnemonics_read = true;
  }
  return m_bus_cache->mnemonics ? m_bus_cache->mnemonics->c_str() : nullptr;
}

bool SDR_DATA_SIGNAL_VIEW_NODE::set_mnemonics_table(const char* table) {
  if (!is_bus()) return false;
  write_optional(m_element, "mnemonics", table);
  if (m_bus_cache) {
    m_bus_cache->mnemonics.reset();
    m_bus_cache->mnemonics_read = false;
  }
  return true;
}

bool SDR_DATA_SIGNAL_VIEW_NODE::is_bus_expanded() const {
  if (!is_bus()) return false;
  return sdr_get_attribute(m_element, "state") != "collapse";
}

bool SDR_DATA_SIGNAL_VIEW_NODE::set_bus_display_state(bool expanded) {
  if (!is_bus()) return false;
  sdr_set_attribute(m_element, "state", expanded ? "expand" : "collapse");
  return true;
}

bool SDR_DATA_SIGNAL_VIEW_NODE::is_lsb_to_msb() const {
  if (!m_element || !sdr_has_attribute(m_element, "order")) return true;
  const std::string order = sdr_get_attribute(m_element, "order");
  return order.empty() || order == "lsb_to_msb";
}

bool SDR_DATA_SIGNAL_VIEW_NODE::set_lsb_to_msb(bool lsb_to_msb) {
  if (!is_bus()) return false;
  sdr_set_attribute(m_element, "order", lsb_to_msb ? "lsb_to_msb" : "msb_to_lsb");
  return true;
}

bool SDR_DATA_SIGNAL_VIEW_NODE::is_signal_inverted() const {
  if (!m_element) return false;
  const std::string text = sdr_get_attribute(m_element, "is_signal_inverted");
  return text.size() == 3 && (text[0] == 'y' || text[0] == 'Y') && (text[1] == 'e' || text[1] == 'E') &&
         (text[2] == 's' || text[2] == 'S');
}

bool SDR_DATA_SIGNAL_VIEW_NODE::set_signal_inverted(bool inverted) {
  if (!m_element) return false;
  sdr_set_attribute(m_element, "is_signal_inverted", inverted ? "yes" : "no");
  return true;
}

SDR_DATA_SIGNAL_VIEW_NODE* SDR_DATA_SIGNAL_VIEW_NODE::get_first_child() const {
  if (!is_bus()) return nullptr;
  DOMElement* row = first_row(m_element);
  return row ? new SDR_DATA_SIGNAL_VIEW_NODE(row, m_view) : nullptr;
}

SDR_DATA_SIGNAL_VIEW_NODE* SDR_DATA_SIGNAL_VIEW_NODE::get_last_child() const {
  if (!is_bus()) return nullptr;
  DOMElement* row = last_row(m_element);
  return row ? new SDR_DATA_SIGNAL_VIEW_NODE(row, m_view) : nullptr;
}

SDR_DATA_SIGNAL_VIEW_NODE* SDR_DATA_SIGNAL_VIEW_NODE::get_next_sibling() const {
  DOMElement* row = next_row(m_element);
  return row ? new SDR_DATA_SIGNAL_VIEW_NODE(row, m_view) : nullptr;
}

SDR_DATA_SIGNAL_VIEW_NODE* SDR_DATA_SIGNAL_VIEW_NODE::get_prev_sibling() const {
  DOMElement* row = prev_row(m_element);
  return row ? new SDR_DATA_SIGNAL_VIEW_NODE(row, m_view) : nullptr;
}

SDR_DATA_SIGNAL_VIEW_NODE* SDR_DATA_SIGNAL_VIEW_NODE::clone(bool deep) const {
  if (!m_element) return nullptr;
  DOMNode* cur_node = deep ? sdr_clone_subtree(m_element) : m_element->cloneNode(false);
  if (!SDR_CHECK(cur_node->getNodeType() == DOMNode::ELEMENT_NODE)) return nullptr;
  return new SDR_DATA_SIGNAL_VIEW_NODE(static_cast<DOMElement*>(cur_node), m_view);
}

bool SDR_DATA_SIGNAL_VIEW_NODE::append_after(SDR_DATA_SIGNAL_VIEW_NODE* other) {
  if (!m_element || !other || other->is_null()) return false;
  if (other->m_element == m_element) return false;
  DOMNode* parent = m_element->getParentNode();
  if (!parent) return false;
  return place(parent, other->m_element, next_row(m_element));
}

bool SDR_DATA_SIGNAL_VIEW_NODE::insert_before(SDR_DATA_SIGNAL_VIEW_NODE* other) {
  if (!m_element || !other || other->is_null()) return false;
  if (other->m_element == m_element) return false;
  DOMNode* parent = m_element->getParentNode();
  if (!parent) return false;
  return place(parent, other->m_element, m_element);
}

bool SDR_DATA_SIGNAL_VIEW_NODE::detach() {
  if (!m_element || !m_element->getParentNode()) return false;
  rows_changed(m_element);
  sdr_unlink(m_element);
  return true;
}

bool SDR_DATA_SIGNAL_VIEW_NODE::remove() {
  if (!detach()) return false;
  sdr_release_subtree(m_element);
  m_element = nullptr;
  m_bus_cache.reset();
  m_name_cache.reset();
  return true;
}

bool SDR_DATA_SIGNAL_VIEW_NODE::append_child(SDR_DATA_SIGNAL_VIEW_NODE* other) {
  if (!is_bus() || !other || other->is_null()) return false;
  return place(m_element, other->m_element, nullptr);
}

SDR_DATA_SIGNAL_WIRE* SDR_DATA_SIGNAL_VIEW_NODE::get_data_wire(bool report) {
  const char* name = get_name();
  SDR_DATA_SIGNAL_SET* signal_set = m_view ? m_view->get_signal_set() : nullptr;
  SDR_DATA_SIGNAL_WIRE* wire = signal_set && name ? signal_set->get_wire(name) : nullptr;
  if (!wire && report) SDR_MSGS::post(SDR_MSGS::wsdr_invalid_signal_ref(name ? name : "unspecified"));
  return wire;
}
