#ifndef SDR_DATA_XML_UTIL_H
#define SDR_DATA_XML_UTIL_H

// Element walking and the document writer; internal to the library.

#include <cstddef>
#include <functional>
#include <string>
#include <xercesc/dom/DOM.hpp>

#include "sdr_export.h"

// The first child element of parent with the given tag name (exact
// comparison), or null. A null parent gives null; a null name is an
// internal error and gives null.
SDR_API xercesc::DOMElement* find_child_element(const xercesc::DOMNode* parent, const char* name);
SDR_API xercesc::DOMElement* find_child_element(const xercesc::DOMNode* parent, const XMLCh* name);
// The next sibling element after start with the given tag name, or null.
SDR_API xercesc::DOMElement* find_next_sibling_element(const xercesc::DOMNode* start, const char* name);
SDR_API xercesc::DOMElement* find_next_sibling_element(const xercesc::DOMNode* start, const XMLCh* name);
// The same without the name test.
SDR_API xercesc::DOMElement* first_child_element(const xercesc::DOMNode* parent);
SDR_API xercesc::DOMElement* next_sibling_element(const xercesc::DOMNode* start);

// The document writer. Writes a node in the session file's layout: no XML
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
