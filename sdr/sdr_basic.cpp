// Basic sessions: generic element trees over an XML document, their
// snapshot undo buffers and the sessions that own them. Every tree walk
// here is iterative, so a deeply nested document cannot exhaust the stack.

#include "sdr_basic.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>

#include "path_util.h"
#include "sdr_data_xml_load.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_msgs.h"

using namespace xercesc;

namespace {

// A new element of document, or null for a missing document or a tag XML
// does not allow.
DOMElement* new_element(DOMDocument* document, const char* tag) {
  if (!document || !tag) return nullptr;
  try {
    return document->createElement(SDR_XSTR(tag));
  } catch (...) {
    return nullptr;
  }
}

bool tag_equals(const DOMElement* element, const XMLCh* tag) {
  return element && XMLString::equals(element->getTagName(), tag);
}

// The next element after node in a pre-order walk of root's descendants.
DOMElement* next_in_walk(const DOMElement* root, DOMElement* node) {
  if (DOMElement* child = first_child_element(node)) return child;
  for (DOMNode* n = node; n && n != root; n = n->getParentNode()) {
    if (DOMElement* sibling = next_sibling_element(n)) return sibling;
  }
  return nullptr;
}

}  // namespace

// ----------------------------------------------------------------- element

// The descendants of one tag (or all of them) in document order, each with
// the position of the direct child at or above it; made by one walk and
// kept while nothing changes under the session.
struct SDR_BASIC_ELEMENT::WALK_CACHE {
  bool valid = false;
  unsigned long generation = 0;
  bool any = false;
  std::u16string tag;
  std::vector<std::pair<DOMElement*, int>> matches;
};

SDR_BASIC_ELEMENT::SDR_BASIC_ELEMENT(SDR_BASIC_SESSION* session, DOMElement* element,
                                     DOMElement* parent_element, SDR_BASIC_ELEMENT* parent,
                                     SDR_BASIC_UNDO_BUFFER* undo_buffer)
    : m_session(session),
      m_dom_element(element),
      m_parent_dom_element(parent_element),
      m_parent(parent),
      m_undo_buffer(undo_buffer) {
  SDR_CHECK(m_dom_element != NULL);
}

SDR_BASIC_ELEMENT::SDR_BASIC_ELEMENT(const SDR_BASIC_ELEMENT& other)
    : m_session(other.m_session),
      m_parent_dom_element(other.m_parent_dom_element),
      m_parent(other.m_parent),
      m_undo_buffer(other.m_undo_buffer) {
  if (!SDR_CHECK(other.m_dom_element != NULL)) return;
  m_dom_element = static_cast<DOMElement*>(other.m_dom_element->cloneNode(false));
  std::vector<std::pair<const SDR_BASIC_ELEMENT*, SDR_BASIC_ELEMENT*>> stack{{&other, this}};
  while (!stack.empty()) {
    const SDR_BASIC_ELEMENT* source = stack.back().first;
    SDR_BASIC_ELEMENT* target = stack.back().second;
    stack.pop_back();
    size_t next = 0;
    for (DOMNode* n = source->m_dom_element->getFirstChild(); n; n = n->getNextSibling()) {
      const SDR_BASIC_ELEMENT* wrapped =
          next < source->m_children.size() && source->m_children[next]->m_dom_element == n
              ? source->m_children[next]
              : nullptr;
      if (!wrapped) {
        // Text, comments, and anything not wrapped, are carried along whole.
        target->m_dom_element->appendChild(n->cloneNode(true));
        continue;
      }
      ++next;
      DOMElement* clone = static_cast<DOMElement*>(n->cloneNode(false));
      target->m_dom_element->appendChild(clone);
      SDR_BASIC_ELEMENT* copy =
          new SDR_BASIC_ELEMENT(m_session, clone, target->m_dom_element, target, wrapped->m_undo_buffer);
      target->m_children.push_back(copy);
      stack.emplace_back(wrapped, copy);
    }
  }
}

SDR_BASIC_ELEMENT::~SDR_BASIC_ELEMENT() {
  // The subtree is taken apart from the top; each wrapper below is still
  // attached to its parent's element, so only this one's element can be
  // detached, and releasing it releases the whole subtree.
  std::vector<SDR_BASIC_ELEMENT*> doomed;
  doomed.swap(m_children);
  while (!doomed.empty()) {
    SDR_BASIC_ELEMENT* e = doomed.back();
    doomed.pop_back();
    doomed.insert(doomed.end(), e->m_children.begin(), e->m_children.end());
    e->m_children.clear();
    delete e;
  }
  if (m_dom_element && !m_dom_element->getParentNode()) m_dom_element->release();
}

void SDR_BASIC_ELEMENT::structure_changed() const {
  if (m_session) ++m_session->m_structure_generation;
}

SDR_BASIC_ERROR_CODE SDR_BASIC_ELEMENT::get_name(std::string* out) const {
  if (!out) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  if (!SDR_CHECK(m_dom_element != NULL)) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  *out = sdr_to_utf8(m_dom_element->getTagName());
  return SDR_BASIC_ERROR_CODE_OK;
}

SDR_BASIC_ERROR_CODE SDR_BASIC_ELEMENT::get_attribute(const char* name, std::string* out) const {
  if (!name || !out) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  if (!SDR_CHECK(m_dom_element != NULL)) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  *out = sdr_get_attribute(m_dom_element, name);
  return out->empty() ? SDR_BASIC_ERROR_CODE_NOT_FOUND : SDR_BASIC_ERROR_CODE_OK;
}

SDR_BASIC_ERROR_CODE SDR_BASIC_ELEMENT::set_attribute(const char* name, const char* value) {
  if (!name || !value) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  if (!SDR_CHECK(m_dom_element != NULL)) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  try {
    m_dom_element->setAttribute(SDR_XSTR(name), SDR_XSTR(value));
  } catch (...) {
    return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  }
  return SDR_BASIC_ERROR_CODE_OK;
}

SDR_BASIC_ERROR_CODE SDR_BASIC_ELEMENT::remove_attribute(const char* name) {
  std::string value;
  SDR_BASIC_ERROR_CODE code = get_attribute(name, &value);
  if (code != SDR_BASIC_ERROR_CODE_OK) return code;
  sdr_remove_attribute(m_dom_element, name);
  return SDR_BASIC_ERROR_CODE_OK;
}

SDR_BASIC_ERROR_CODE SDR_BASIC_ELEMENT::get_element_data(std::string* out) const {
  if (!out) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  if (!SDR_CHECK(m_dom_element != NULL)) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  *out = sdr_to_utf8(m_dom_element->getNodeValue());
  return SDR_BASIC_ERROR_CODE_OK;
}

SDR_BASIC_ERROR_CODE SDR_BASIC_ELEMENT::set_element_data(const char* value) {
  if (!value) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  if (!SDR_CHECK(m_dom_element != NULL)) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  try {
    m_dom_element->setNodeValue(SDR_XSTR(value));
  } catch (...) {
    return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  }
  return SDR_BASIC_ERROR_CODE_OK;
}

SDR_BASIC_ELEMENT* SDR_BASIC_ELEMENT::get_child_element(int index) const {
  if (!SDR_CHECK_AS(index >= 0 && static_cast<size_t>(index) < m_children.size(),
                    "m_children->size() > index"))
    return nullptr;
  return m_children[static_cast<size_t>(index)];
}

const std::vector<std::pair<DOMElement*, int>>& SDR_BASIC_ELEMENT::descendants(const char* tag) const {
  const SDR_XSTR wanted(tag);
  const bool any = tag == nullptr;
  const unsigned long generation = m_session ? m_session->m_structure_generation : 0;
  if (!m_walk) m_walk.reset(new WALK_CACHE());
  WALK_CACHE& c = *m_walk;
  if (m_session && c.valid && c.generation == generation && c.any == any && (any || c.tag == wanted.x()))
    return c.matches;
  c.valid = true;
  c.generation = generation;
  c.any = any;
  c.tag = any ? std::u16string() : std::u16string(wanted.x());
  c.matches.clear();
  int ordinal = -1;
  for (DOMElement* e = first_child_element(m_dom_element); e; e = next_in_walk(m_dom_element, e)) {
    if (e->getParentNode() == m_dom_element) ++ordinal;
    if (any || tag_equals(e, wanted)) c.matches.emplace_back(e, ordinal);
  }
  return c.matches;
}

DOMElement* SDR_BASIC_ELEMENT::find_descendant(const char* tag, int index, int* child_index) const {
  const std::vector<std::pair<DOMElement*, int>>& list = descendants(tag);
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return nullptr;
  *child_index = list[static_cast<size_t>(index)].second;
  return list[static_cast<size_t>(index)].first;
}

SDR_BASIC_ELEMENT* SDR_BASIC_ELEMENT::get_child_element(const char* tag, int index) const {
  if (!SDR_CHECK(m_dom_element != NULL)) return nullptr;
  int ordinal = -1;
  DOMElement* item = index >= 0 ? find_descendant(tag, index, &ordinal) : nullptr;
  if (!item) {
    SDR_CHECK_AS(index == 0, "index < size || (index == 0)");
    return nullptr;
  }
  if (item->getParentNode() != m_dom_element) return nullptr;
  if (ordinal >= 0 && static_cast<size_t>(ordinal) < m_children.size() &&
      m_children[static_cast<size_t>(ordinal)]->m_dom_element == item)
    return m_children[static_cast<size_t>(ordinal)];
  for (SDR_BASIC_ELEMENT* child : m_children)
    if (child->m_dom_element == item) return child;
  return nullptr;
}

int SDR_BASIC_ELEMENT::get_number_of_child_elements(const char* tag) const {
  if (!tag) return static_cast<int>(m_children.size());
  if (!SDR_CHECK(m_dom_element != NULL)) return 0;
  return static_cast<int>(descendants(tag).size());
}

SDR_BASIC_ELEMENT* SDR_BASIC_ELEMENT::append_child_element(const char* tag) {
  if (!SDR_CHECK(m_dom_element != NULL)) return nullptr;
  DOMElement* element = new_element(m_dom_element->getOwnerDocument(), tag);
  if (!element) return nullptr;
  m_dom_element->appendChild(element);
  SDR_BASIC_ELEMENT* child = new SDR_BASIC_ELEMENT(m_session, element, m_dom_element, this, m_undo_buffer);
  m_children.push_back(child);
  structure_changed();
  return child;
}

SDR_BASIC_ELEMENT* SDR_BASIC_ELEMENT::insert_child_element(const char* tag, int position) {
  if (!SDR_CHECK(m_dom_element != NULL)) return nullptr;
  int ordinal = -1;
  DOMElement* before = position >= 0 ? find_descendant(nullptr, position, &ordinal) : nullptr;
  if (!SDR_CHECK_AS(before != NULL, "list->getLength() > position")) return nullptr;
  // The new element goes before a direct child, and its wrapper before that
  // child's wrapper.
  if (before->getParentNode() != m_dom_element) return nullptr;
  if (!SDR_CHECK_AS(ordinal >= 0 && static_cast<size_t>(ordinal) < m_children.size() &&
                        m_children[static_cast<size_t>(ordinal)]->m_dom_element == before,
                    "position < m_children->size()"))
    return nullptr;
  DOMElement* element = new_element(m_dom_element->getOwnerDocument(), tag);
  if (!element) return nullptr;
  m_dom_element->insertBefore(element, before);
  SDR_BASIC_ELEMENT* child = new SDR_BASIC_ELEMENT(m_session, element, m_dom_element, this, m_undo_buffer);
  m_children.insert(m_children.begin() + ordinal, child);
  structure_changed();
  return child;
}

SDR_BASIC_ERROR_CODE SDR_BASIC_ELEMENT::remove_child_element(SDR_BASIC_ELEMENT* child) {
  if (!SDR_CHECK_AS(child != NULL, "element != NULL")) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  auto it = std::find(m_children.begin(), m_children.end(), child);
  if (it == m_children.end()) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  if (child->m_dom_element && child->m_dom_element->getParentNode() == m_dom_element)
    m_dom_element->removeChild(child->m_dom_element);
  m_children.erase(it);
  child->m_parent = nullptr;
  child->m_parent_dom_element = nullptr;
  structure_changed();
  return SDR_BASIC_ERROR_CODE_OK;
}

SDR_BASIC_ERROR_CODE SDR_BASIC_ELEMENT::populate_element_tree(SDR_BASIC_UNDO_BUFFER* undo_buffer) {
  // Only a free-standing root whose children are not wrapped yet.
  if (m_parent || m_parent_dom_element || !m_children.empty()) return SDR_BASIC_ERROR_CODE_ALREADY_POPULATED;
  if (!SDR_CHECK(m_dom_element != NULL)) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  std::vector<SDR_BASIC_ELEMENT*> stack{this};
  while (!stack.empty()) {
    SDR_BASIC_ELEMENT* e = stack.back();
    stack.pop_back();
    for (DOMElement* c = first_child_element(e->m_dom_element); c; c = next_sibling_element(c)) {
      SDR_BASIC_ELEMENT* child = new SDR_BASIC_ELEMENT(m_session, c, e->m_dom_element, e, undo_buffer);
      e->m_children.push_back(child);
      stack.push_back(child);
    }
  }
  structure_changed();
  return SDR_BASIC_ERROR_CODE_OK;
}

// ------------------------------------------------------------- undo buffer

SDR_BASIC_UNDO_ELEMENT::SDR_BASIC_UNDO_ELEMENT() = default;
SDR_BASIC_UNDO_ELEMENT::~SDR_BASIC_UNDO_ELEMENT() = default;

const SDR_BASIC_UNDO_ELEMENT::MODIFIER* SDR_BASIC_UNDO_ELEMENT::get_modifier_at(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= m_modifiers.size()) return nullptr;
  return &m_modifiers[static_cast<size_t>(index)];
}

SDR_BASIC_UNDO_BUFFER::SDR_BASIC_UNDO_BUFFER() = default;
SDR_BASIC_UNDO_BUFFER::~SDR_BASIC_UNDO_BUFFER() {
  for (const auto& entry : m_undo_vec) SDR_CHECK_AS(entry != nullptr, "undo_element != NULL");
}

bool SDR_BASIC_UNDO_BUFFER::set_root(SDR_BASIC_ELEMENT* element) {
  if (element) m_root = element;
  return false;
}

const SDR_BASIC_UNDO_ELEMENT* SDR_BASIC_UNDO_BUFFER::get_snapshot_at(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= m_undo_vec.size()) return nullptr;
  return m_undo_vec[static_cast<size_t>(index)].get();
}

bool SDR_BASIC_UNDO_BUFFER::save_snapshot() {
  if (!SDR_CHECK(m_root != NULL)) return false;
  if (!clear_redo()) snap_differences();
  // A change after this snapshot is new: the next undo must record it.
  m_top_snapped = false;
  return true;
}

bool SDR_BASIC_UNDO_BUFFER::clear_redo() {
  bool dropped = false;
  while (m_undo_vec.size() > m_current) {
    m_undo_vec.pop_back();
    m_top_snapped = false;
    dropped = true;
  }
  return dropped;
}

bool SDR_BASIC_UNDO_BUFFER::is_undoable() const {
  return (m_current == 1 && m_undo_vec.size() == 1) || m_current >= 2;
}

bool SDR_BASIC_UNDO_BUFFER::is_redoable() const {
  return static_cast<size_t>(m_current) + 1 <= m_undo_vec.size();
}

bool SDR_BASIC_UNDO_BUFFER::undo() {
  if (!is_undoable() || !m_root) return false;
  if (!m_top_snapped) {
    snap_differences();
    m_top_snapped = true;
  }
  --m_current;
  return m_current >= 1 && restore(m_current - 1);
}

bool SDR_BASIC_UNDO_BUFFER::redo() {
  if (!is_redoable() || !m_root) return false;
  ++m_current;
  return restore(m_current - 1);
}

bool SDR_BASIC_UNDO_BUFFER::restore(unsigned index) {
  std::unique_ptr<SDR_BASIC_ELEMENT> rebuilt(get_copy_at(index));
  if (!rebuilt) return false;
  SDR_BASIC_SESSION* session = m_root->get_session();
  if (!SDR_CHECK(session != NULL)) return false;
  std::unique_ptr<SDR_BASIC_ELEMENT> old(session->replace_instance(m_root, rebuilt.get()));
  if (!SDR_CHECK(old != NULL)) return false;
  m_root = rebuilt.release();
  m_copy.reset(new SDR_BASIC_ELEMENT(*m_root));
  return true;
}

SDR_BASIC_UNDO_ELEMENT* SDR_BASIC_UNDO_BUFFER::snap_differences() {
  std::unique_ptr<SDR_BASIC_UNDO_ELEMENT> snapshot(new SDR_BASIC_UNDO_ELEMENT());
  if (m_copy && is_same_structure(m_copy.get(), m_root)) {
    snapshot->m_full_replace = false;
    record_differences(m_copy.get(), m_root, snapshot.get());
  } else {
    snapshot->m_full_replace = true;
    snapshot->m_full_copy.reset(new SDR_BASIC_ELEMENT(*m_root));
  }
  m_undo_vec.push_back(std::move(snapshot));
  ++m_current;
  m_copy.reset(new SDR_BASIC_ELEMENT(*m_root));
  return m_undo_vec.back().get();
}

bool SDR_BASIC_UNDO_BUFFER::is_same_structure(const SDR_BASIC_ELEMENT* a, const SDR_BASIC_ELEMENT* b) {
  if (!a || !b) return a == b;
  std::vector<std::pair<const SDR_BASIC_ELEMENT*, const SDR_BASIC_ELEMENT*>> stack{{a, b}};
  while (!stack.empty()) {
    const SDR_BASIC_ELEMENT* x = stack.back().first;
    const SDR_BASIC_ELEMENT* y = stack.back().second;
    stack.pop_back();
    if (x->m_children.size() != y->m_children.size()) return false;
    for (size_t i = 0; i < x->m_children.size(); ++i) stack.emplace_back(x->m_children[i], y->m_children[i]);
  }
  return true;
}

void SDR_BASIC_UNDO_BUFFER::record_differences(const SDR_BASIC_ELEMENT* old_root,
                                               const SDR_BASIC_ELEMENT* new_root,
                                               SDR_BASIC_UNDO_ELEMENT* snapshot) {
  // Pre-order: a node's number is taken when it is popped, and its
  // children are pushed last first.
  std::vector<std::pair<const SDR_BASIC_ELEMENT*, const SDR_BASIC_ELEMENT*>> stack{{old_root, new_root}};
  int number = 0;
  while (!stack.empty()) {
    const DOMElement* old_element = stack.back().first->m_dom_element;
    const SDR_BASIC_ELEMENT* fresh = stack.back().second;
    const DOMElement* new_element = fresh->m_dom_element;
    const SDR_BASIC_ELEMENT* old_wrapper = stack.back().first;
    stack.pop_back();
    const int me = number++;
    if (old_element && new_element) {
      const DOMNamedNodeMap* attributes = new_element->getAttributes();
      for (XMLSize_t i = 0; attributes && i < attributes->getLength(); ++i) {
        const DOMNode* a = attributes->item(i);
        const DOMAttr* before = old_element->getAttributeNode(a->getNodeName());
        if (before && XMLString::equals(before->getValue(), a->getNodeValue())) continue;
        SDR_BASIC_UNDO_ELEMENT::MODIFIER m;
        m.number = me;
        m.name = sdr_to_utf8(a->getNodeName());
        m.value = sdr_to_utf8(a->getNodeValue());
        snapshot->m_modifiers.push_back(std::move(m));
      }
      // Removed attributes are recorded too, so that a rebuilt state
      // lacks them as the live one did.
      const DOMNamedNodeMap* old_attributes = old_element->getAttributes();
      for (XMLSize_t i = 0; old_attributes && i < old_attributes->getLength(); ++i) {
        const DOMNode* a = old_attributes->item(i);
        if (new_element->getAttributeNode(a->getNodeName())) continue;
        SDR_BASIC_UNDO_ELEMENT::MODIFIER m;
        m.number = me;
        m.name = sdr_to_utf8(a->getNodeName());
        m.removed = true;
        snapshot->m_modifiers.push_back(std::move(m));
      }
    }
    for (size_t i = fresh->m_children.size(); i-- > 0;)
      stack.emplace_back(old_wrapper->m_children[i], fresh->m_children[i]);
  }
}

void SDR_BASIC_UNDO_BUFFER::apply_differences(SDR_BASIC_ELEMENT* root,
                                              const SDR_BASIC_UNDO_ELEMENT* snapshot) {
  if (!SDR_CHECK_AS(snapshot->m_full_replace != true, "undo_element->m_full_replace != true")) return;
  const std::vector<SDR_BASIC_UNDO_ELEMENT::MODIFIER>& mods = snapshot->m_modifiers;
  size_t next = 0;
  std::vector<SDR_BASIC_ELEMENT*> stack{root};
  int number = 0;
  while (!stack.empty() && next < mods.size()) {
    SDR_BASIC_ELEMENT* e = stack.back();
    stack.pop_back();
    const int me = number++;
    for (; next < mods.size() && mods[next].number == me; ++next) {
      const SDR_BASIC_UNDO_ELEMENT::MODIFIER& m = mods[next];
      if (m.removed) {
        e->remove_attribute(m.name.c_str());
        continue;
      }
      SDR_BASIC_ERROR_CODE code = e->set_attribute(m.name.c_str(), m.value.c_str());
      SDR_CHECK(code == SDR_BASIC_ERROR_CODE_OK);
    }
    for (size_t i = e->m_children.size(); i-- > 0;) stack.push_back(e->m_children[i]);
  }
}

SDR_BASIC_ELEMENT* SDR_BASIC_UNDO_BUFFER::get_copy_at(unsigned index) const {
  if (!SDR_CHECK_AS(index < m_undo_vec.size(), "undo_index < m_undo_vec->size()")) return nullptr;
  size_t full = index;
  while (!m_undo_vec[full]->m_full_replace) {
    if (!SDR_CHECK_AS(full > 0, "m_undo_vec->at(0)->m_full_replace")) return nullptr;
    --full;
  }
  const SDR_BASIC_ELEMENT* base = m_undo_vec[full]->m_full_copy.get();
  if (!SDR_CHECK(base != NULL)) return nullptr;
  SDR_BASIC_ELEMENT* result = new SDR_BASIC_ELEMENT(*base);
  for (size_t m = full + 1; m <= index; ++m) apply_differences(result, m_undo_vec[m].get());
  return result;
}

// ----------------------------------------------------------------- session

SDR_BASIC_SESSION::PLATFORM_REF::PLATFORM_REF() {
  XMLPlatformUtils::Initialize();
}
SDR_BASIC_SESSION::PLATFORM_REF::~PLATFORM_REF() {
  XMLPlatformUtils::Terminate();
}

SDR_BASIC_SESSION::SDR_BASIC_SESSION(const char* root_name, const char* file_name, bool create_new)
    : m_name(file_name ? file_name : "") {
  if (!create_new && file_name && PATH_UTIL::exists(file_name) && open(file_name) == SDR_BASIC_ERROR_CODE_OK)
    return;
  // A new document, also when the file could not be read.
  clear();
  create_new_doc(root_name);
}

SDR_BASIC_SESSION::~SDR_BASIC_SESSION() {
  clear();
}

void SDR_BASIC_SESSION::clear() {
  // The wrappers go before the document their elements belong to.
  for (SDR_BASIC_ELEMENT* e : m_instances) delete e;
  m_instances.clear();
  for (SDR_BASIC_ELEMENT* e : m_temp_instances) delete e;
  m_temp_instances.clear();
  for (SDR_BASIC_UNDO_BUFFER* b : m_undo_buffers) delete b;
  m_undo_buffers.clear();
  if (m_owns_document && m_document) m_document->release();
  m_document = nullptr;
  m_owns_document = false;
  m_root = nullptr;
  m_parser.reset();
  ++m_structure_generation;
}

void SDR_BASIC_SESSION::create_new_doc(const char* root_name) {
  static const XMLCh core[] = {'C', 'o', 'r', 'e', 0};
  DOMImplementation* impl = DOMImplementationRegistry::getDOMImplementation(core);
  if (!SDR_CHECK(impl != NULL)) return;
  try {
    m_document = impl->createDocument(nullptr, SDR_XSTR(root_name ? root_name : "session"), nullptr);
  } catch (...) {
    // A root name XML does not allow.
    m_document = impl->createDocument(nullptr, SDR_XSTR("session"), nullptr);
  }
  m_owns_document = true;
  m_root = m_document->getDocumentElement();
}

SDR_BASIC_ERROR_CODE SDR_BASIC_SESSION::open(const char* file_name) {
  if (!file_name) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  // What was held so far stays until the file has been read.
  std::unique_ptr<SDR_XML_PARSE_CONTEXT> parser(new SDR_XML_PARSE_CONTEXT());
  std::string head;
  std::string error;
  DOMDocument* document = nullptr;
  if (parser->open_file(file_name, &head, &error)) document = parser->parse_file(&error);
  if (!document) {
    SDR_MSGS::post(SDR_MSGS::esdr_source_generic(file_name, error.c_str()));
    return SDR_BASIC_ERROR_CODE_READ_FAILED;
  }
  DOMElement* root = document->getDocumentElement();
  if (!root) {
    SDR_MSGS::post(SDR_MSGS::esdr_source_invalid_format());
    return SDR_BASIC_ERROR_CODE_READ_FAILED;
  }
  clear();
  m_parser = std::move(parser);
  m_document = document;
  m_root = root;
  for (DOMElement* e = first_child_element(m_root); e; e = next_sibling_element(e)) {
    SDR_BASIC_UNDO_BUFFER* buffer = new SDR_BASIC_UNDO_BUFFER();
    m_undo_buffers.push_back(buffer);
    SDR_BASIC_ELEMENT* instance = new SDR_BASIC_ELEMENT(this, e, nullptr, nullptr, buffer);
    m_instances.push_back(instance);
    buffer->set_root(instance);
    instance->populate_element_tree(buffer);
  }
  return SDR_BASIC_ERROR_CODE_OK;
}

SDR_BASIC_ERROR_CODE SDR_BASIC_SESSION::save() {
  return save_as(m_name.c_str());
}

SDR_BASIC_ERROR_CODE SDR_BASIC_SESSION::save_as(const char* file_name) {
  if (!file_name || !*file_name || !m_document) return SDR_BASIC_ERROR_CODE_READ_FAILED;
  return SDR_DATA_XML_WRITER::write_file(m_document, file_name, true) ? SDR_BASIC_ERROR_CODE_OK
                                                                      : SDR_BASIC_ERROR_CODE_READ_FAILED;
}

SDR_BASIC_ERROR_CODE SDR_BASIC_SESSION::get_attribute(const char* name, std::string* out) const {
  if (!name || !out) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  if (!SDR_CHECK_AS(m_root != NULL, "m_dom_session != NULL")) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  *out = sdr_get_attribute(m_root, name);
  return out->empty() ? SDR_BASIC_ERROR_CODE_NOT_FOUND : SDR_BASIC_ERROR_CODE_OK;
}

SDR_BASIC_ERROR_CODE SDR_BASIC_SESSION::set_attribute(const char* name, const char* value) {
  if (!name || !value) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  if (!SDR_CHECK_AS(m_root != NULL, "m_dom_session != NULL")) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  try {
    m_root->setAttribute(SDR_XSTR(name), SDR_XSTR(value));
  } catch (...) {
    return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  }
  return SDR_BASIC_ERROR_CODE_OK;
}

SDR_BASIC_ERROR_CODE SDR_BASIC_SESSION::remove_attribute(const char* name) {
  std::string value;
  SDR_BASIC_ERROR_CODE code = get_attribute(name, &value);
  if (code != SDR_BASIC_ERROR_CODE_OK) return code;
  sdr_remove_attribute(m_root, name);
  return SDR_BASIC_ERROR_CODE_OK;
}

SDR_BASIC_ELEMENT* SDR_BASIC_SESSION::add_root(const char* tag, bool temp) {
  if (!temp && !SDR_CHECK_AS(m_root != NULL, "m_dom_session != NULL")) return nullptr;
  DOMElement* element = new_element(m_document, tag);
  if (!element) return nullptr;
  if (!temp) m_root->appendChild(element);
  SDR_BASIC_UNDO_BUFFER* buffer = new SDR_BASIC_UNDO_BUFFER();
  m_undo_buffers.push_back(buffer);
  SDR_BASIC_ELEMENT* instance = new SDR_BASIC_ELEMENT(this, element, nullptr, nullptr, buffer);
  (temp ? m_temp_instances : m_instances).push_back(instance);
  buffer->set_root(instance);
  ++m_structure_generation;
  return instance;
}

SDR_BASIC_ELEMENT* SDR_BASIC_SESSION::append_instance(const char* tag) {
  return add_root(tag, false);
}

SDR_BASIC_ELEMENT* SDR_BASIC_SESSION::append_temp_instance(const char* tag) {
  return add_root(tag, true);
}

static SDR_BASIC_ELEMENT* find_root(const std::vector<SDR_BASIC_ELEMENT*>& roots, const char* tag,
                                    int occurrence, size_t* at) {
  if (!tag || occurrence < 0) return nullptr;
  const SDR_XSTR wanted(tag);
  int seen = 0;
  for (size_t i = 0; i < roots.size(); ++i) {
    if (!tag_equals(roots[i]->get_dom_node(), wanted)) continue;
    if (seen++ == occurrence) {
      if (at) *at = i;
      return roots[i];
    }
  }
  return nullptr;
}

SDR_BASIC_ELEMENT* SDR_BASIC_SESSION::find_instance(const char* tag, int occurrence) const {
  return find_root(m_instances, tag, occurrence, nullptr);
}

SDR_BASIC_ELEMENT* SDR_BASIC_SESSION::find_temp_instance(const char* tag, int occurrence) const {
  return find_root(m_temp_instances, tag, occurrence, nullptr);
}

SDR_BASIC_ELEMENT* SDR_BASIC_SESSION::get_instance_at(int index) const {
  if (!SDR_CHECK_AS(index >= 0 && index < get_num_instance_elements(), "index < get_num_instance_elements()"))
    return nullptr;
  return m_instances[static_cast<size_t>(index)];
}

SDR_BASIC_ELEMENT* SDR_BASIC_SESSION::get_temp_instance_at(int index) const {
  if (!SDR_CHECK_AS(index >= 0 && index < get_num_temp_instance_elements(),
                    "index < get_num_temp_instance_elements()"))
    return nullptr;
  return m_temp_instances[static_cast<size_t>(index)];
}

void SDR_BASIC_SESSION::drop_undo_buffer(SDR_BASIC_UNDO_BUFFER* buffer) {
  auto it = std::find(m_undo_buffers.begin(), m_undo_buffers.end(), buffer);
  if (it == m_undo_buffers.end()) return;
  m_undo_buffers.erase(it);
  delete buffer;
}

SDR_BASIC_ERROR_CODE SDR_BASIC_SESSION::delete_root_at(int index, bool temp) {
  std::vector<SDR_BASIC_ELEMENT*>& roots = temp ? m_temp_instances : m_instances;
  if (index < 0 || static_cast<size_t>(index) >= roots.size()) return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  SDR_BASIC_ELEMENT* root = roots[static_cast<size_t>(index)];
  roots.erase(roots.begin() + index);
  DOMElement* element = root->get_dom_node();
  if (element && m_root && element->getParentNode() == m_root) m_root->removeChild(element);
  // The instance's snapshots go with it.
  drop_undo_buffer(root->get_undo_buffer());
  delete root;
  ++m_structure_generation;
  return SDR_BASIC_ERROR_CODE_OK;
}

SDR_BASIC_ERROR_CODE SDR_BASIC_SESSION::delete_instance_at(int index) {
  return delete_root_at(index, false);
}

SDR_BASIC_ERROR_CODE SDR_BASIC_SESSION::delete_temp_instance_at(int index) {
  return delete_root_at(index, true);
}

SDR_BASIC_ERROR_CODE SDR_BASIC_SESSION::delete_instance(const char* tag, int occurrence) {
  size_t at = 0;
  if (occurrence < 0 || occurrence >= get_num_instance_elements() ||
      !find_root(m_instances, tag, occurrence, &at))
    return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  return delete_root_at(static_cast<int>(at), false);
}

SDR_BASIC_ERROR_CODE SDR_BASIC_SESSION::delete_temp_instance(const char* tag, int occurrence) {
  size_t at = 0;
  if (occurrence < 0 || occurrence >= get_num_temp_instance_elements() ||
      !find_root(m_temp_instances, tag, occurrence, &at))
    return SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT;
  return delete_root_at(static_cast<int>(at), true);
}

SDR_BASIC_ELEMENT* SDR_BASIC_SESSION::replace_instance(SDR_BASIC_ELEMENT* old_root,
                                                       SDR_BASIC_ELEMENT* new_root) {
  if (!old_root || !new_root) return nullptr;
  auto it = std::find(m_instances.begin(), m_instances.end(), old_root);
  if (it != m_instances.end()) {
    DOMElement* old_element = old_root->get_dom_node();
    DOMElement* new_element = new_root->get_dom_node();
    if (!SDR_CHECK(m_root != NULL && new_element != NULL && old_element != NULL &&
                   old_element->getParentNode() == m_root))
      return nullptr;
    m_root->replaceChild(new_element, old_element);
    *it = new_root;
  } else {
    // A scratch tree is not in the document: only the slot changes.
    it = std::find(m_temp_instances.begin(), m_temp_instances.end(), old_root);
    if (it == m_temp_instances.end()) return nullptr;
    *it = new_root;
  }
  ++m_structure_generation;
  return old_root;
}
