#ifndef SDR_DATA_XML_UTIL_H
#define SDR_DATA_XML_UTIL_H

// Element walking and the document writer; internal to the library.

#include <cstddef>
#include <functional>
#include <string>
#include <xercesc/dom/DOM.hpp>

#include "sdr_export.h"

XERCES_CPP_NAMESPACE_BEGIN
class DOMBuffer;
class DOMAttrImpl;
class DOMAttrMapImpl;
class DOMChildNode;
class DOMNodeImpl;
class DOMParentNode;
XERCES_CPP_NAMESPACE_END

// The first child element of parent with the given tag name (exact
// comparison), or null. A null parent gives null; a null name is an
// internal error and gives null.
SDR_API xercesc::DOMElement* find_child_element(const xercesc::DOMNode* parent, const char* name);
SDR_API xercesc::DOMElement* find_child_element(const xercesc::DOMNode* parent, const XMLCh* name);
// The value of an attribute node, as getValue gives it.
SDR_API const XMLCh* sdr_attribute_value(const xercesc::DOMNode* attr);

// Links made here as the DOM's own calls make them, without the run-time
// type look-ups those calls spend most of their time in (several each):
// - sdr_link_last_child appends child, a node in no tree (node_part and
//   links are its parts), as the last child of parent; false, nothing
//   changed, when a present child is of a kind other than element or text.
// - sdr_link_attribute puts attr, just made, into an element's map as
//   setNamedItemFast does: a same-named one is replaced, a new one goes to
//   its place in the sorted list; false, nothing changed, when the map has
//   no list yet.
SDR_API bool sdr_link_last_child(xercesc::DOMParentNode& parent, xercesc::DOMNode* child,
                                 xercesc::DOMNodeImpl& node_part, xercesc::DOMChildNode& links);
SDR_API bool sdr_link_attribute(xercesc::DOMAttrMapImpl& map, xercesc::DOMAttrImpl* attr);
// parent->appendChild(child) for an element child in no tree, under an
// element of the same document, linked as the DOM links it (its change
// count included); false, nothing changed, in any other case (the DOM's
// own call then does it, or refuses it).
SDR_API bool sdr_link_new_element(xercesc::DOMNode* parent, xercesc::DOMNode* child);

// node->getParentNode(), read from an element of the DOM's own class
// directly (the call finds it through a run-time type look-up).
SDR_API xercesc::DOMNode* sdr_parent_node(const xercesc::DOMNode* node);

// The character buffer of a text node made by the DOM itself, when its
// text may be changed in place: not an entity's (read-only) text, and no
// range of the document points into it. Null otherwise.
SDR_API xercesc::DOMBuffer* sdr_text_buffer(xercesc::DOMNode* node);

// The next sibling element after start with the given tag name, or null.
SDR_API xercesc::DOMElement* find_next_sibling_element(const xercesc::DOMNode* start, const char* name);
SDR_API xercesc::DOMElement* find_next_sibling_element(const xercesc::DOMNode* start, const XMLCh* name);
// The same without the name test.
SDR_API xercesc::DOMElement* first_child_element(const xercesc::DOMNode* parent);
SDR_API xercesc::DOMElement* next_sibling_element(const xercesc::DOMNode* start);

// Visits every element below root (not root itself) in document order,
// without recursion, so any nesting depth costs no stack. visit returns
// true to stop the walk. Children of an element are read after visit
// returned, so visit may change the element's attributes but not move it.
template <class VISIT>
void sdr_walk_elements(const xercesc::DOMNode* root, VISIT visit) {
  if (!root) return;
  const xercesc::DOMNode* node = root->getFirstChild();
  while (node) {
    const bool is_element = node->getNodeType() == xercesc::DOMNode::ELEMENT_NODE;
    if (is_element && visit(static_cast<xercesc::DOMElement*>(const_cast<xercesc::DOMNode*>(node)))) return;
    const xercesc::DOMNode* next = is_element ? node->getFirstChild() : nullptr;
    while (!next && node && node != root) {
      next = node->getNextSibling();
      if (!next) {
        node = node->getParentNode();
        if (node == root) node = nullptr;
      }
    }
    node = next;
  }
}

// Frees a node that has no parent, with its whole subtree. The DOM's own
// release recurses, so the subtree is taken apart leaf first. A node that
// still has a parent is left to its document (an internal error).
SDR_API void sdr_release_subtree(xercesc::DOMNode* root);
// The one release of an element a data-model object owned: an element
// still in the document stays with it, a detached one is freed.
SDR_API void sdr_release_element(xercesc::DOMElement* element);
// A deep copy of element, made one node at a time for the same reason.
SDR_API xercesc::DOMElement* sdr_clone_subtree(const xercesc::DOMElement* element);
// Appends child to parent; false (reported, nothing changed) when the DOM
// refuses it, as for a node of another document.
SDR_API bool sdr_append_child(xercesc::DOMNode* parent, xercesc::DOMNode* child);
// Takes node out of its parent, if it has one.
SDR_API void sdr_unlink(xercesc::DOMNode* node);

// The document writer (sdr_data_xml_writer.cpp, the file replacement in
// sdr_data_xml_file.cpp). Writes a node in the session file's layout: no XML
// declaration, US-ASCII with character references, two blanks of
// indentation per level, white-space-only text dropped, the text of a
// "data" element kept on the line of its tags. The walk is iterative, so any
// nesting depth is written without exhausting the stack.
class SDR_API SDR_DATA_XML_WRITER {
 public:
  // Appends the written form of node to out. Returns false, leaving the
  // reason in *error when given, if the node holds something that cannot be
  // written as well-formed US-ASCII XML (a character that XML does not
  // allow, or a non-ASCII character in a name).
  static bool write(const xercesc::DOMNode* node, std::string* out, std::string* error = nullptr);

  // Writes the node into path without ever leaving a partial file: the text
  // goes to a temporary file in the target's directory, which is flushed to
  // disk and renamed over the target only when everything was written. An
  // existing target keeps its permissions; a symbolic link is followed and
  // the file it points to is replaced. With lock true the process-wide
  // writer lock is held while writing. Returns false (and leaves any old
  // file untouched) on any failure, with the reason in *error when given.
  static bool write_file(const xercesc::DOMNode* node, const char* path, bool lock,
                         std::string* error = nullptr);

  // Writes bytes into path with the same crash-safe replacement.
  static bool write_file_bytes(const std::string& bytes, const char* path, std::string* error = nullptr);

  // Writes into path with the same crash-safe replacement, the bytes coming
  // from fill, which hands them to the sink piece by piece (the sink
  // returns false once a write failed) and returns true when all is out.
  // When fill returns false or a write fails the target is left untouched;
  // fill leaves its own reason in *error.
  using BYTE_SINK = std::function<bool(const char* data, size_t size)>;
  static bool write_file_streamed(const char* path, const std::function<bool(const BYTE_SINK& sink)>& fill,
                                  std::string* error = nullptr);

  // True when path can be replaced by write_file: it does not name a
  // directory, an existing file is writable, and its directory exists.
  static bool is_writable_target(const char* path);
};

#endif
