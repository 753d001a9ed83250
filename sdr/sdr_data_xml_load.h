#ifndef SDR_DATA_XML_LOAD_H
#define SDR_DATA_XML_LOAD_H

// The hardened XML loader shared by every reader of session documents.
//
// A document is untrusted input. The loader never opens anything the
// document names (external DTDs, external entities and parameter entities
// are refused), limits entity expansion, the nesting depth, the attribute
// count per element and the memory the parser may use, and turns every
// exception of the XML library into a text. Limits, each a configuration
// switch read at every load:
//   "sdr_max_xml_depth"          nesting depth of elements      (default 10000)
//   "sdr_max_xml_attributes"     attributes of one element      (default 10000)
//   "sdr_max_entity_expansions"  entity references expanded     (default 100000)
//   "sdr_max_document_mb"        parser memory, MiB             (default 8192)
// The memory a load may use is also bounded by 256 MiB plus 16 times the
// file's size, whichever is smaller, so a small file cannot expand into a
// huge document. The memory limit bounds the parse only: edits of the
// loaded document afterwards are not counted against it.
//
// The document holds what the file holds, except white space between
// elements: a white-space-only text that is not its element's first child
// is not kept (the writer never writes such a text, so saving gives the
// same bytes). An element's first child, white space or not, is kept.
//
// When a document is torn down, its large memory blocks are kept for the
// next load, which then does not pay for fresh pages again: at most
//   "sdr_xml_pool_mb"            kept memory, MiB               (default 512)
// for the whole process (0 keeps nothing and frees what is kept at the next
// load). The pool is shared by every context and guarded by a mutex.

#include <memory>
#include <string>
#include <xercesc/dom/DOM.hpp>

#include "sdr_export.h"

class SDR_XML_PARSE_CONTEXT {
 public:
  SDR_XML_PARSE_CONTEXT();
  ~SDR_XML_PARSE_CONTEXT();
  SDR_XML_PARSE_CONTEXT(const SDR_XML_PARSE_CONTEXT&) = delete;
  SDR_XML_PARSE_CONTEXT& operator=(const SDR_XML_PARSE_CONTEXT&) = delete;

  // Parses the bytes; name is used as the document's system id. Returns the
  // document, owned by this context, or null with the reason in *error.
  xercesc::DOMDocument* parse(const char* data, size_t size, const char* name, std::string* error);

  // Opens a file for parse_file without reading it whole: directories,
  // FIFOs and devices are refused without blocking, with the texts of
  // sdr_read_file. *head receives the first bytes of the file (at most 256,
  // enough for its first line). Returns false with the reason in *error.
  bool open_file(const char* path, std::string* head, std::string* error);
  // Parses the file opened by open_file straight from its descriptor, as
  // parse does, and closes it. The path is the document's system id.
  xercesc::DOMDocument* parse_file(std::string* error);

 private:
  struct IMPL;
  std::unique_ptr<IMPL> m_impl;
};

// Reads a whole regular file. Directories, FIFOs and devices are refused
// without blocking. Returns false with the reason in *error.
SDR_API bool sdr_read_file(const char* path, std::string* bytes, std::string* error);

// Opens a regular file for reading with the same refusals; returns the
// descriptor (the caller closes it) and the file's size, or -1 with the
// reason in *error.
SDR_API int sdr_open_regular_file(const char* path, size_t* size, std::string* error);

#endif
