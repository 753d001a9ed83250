#include "sdr_data_xml_load.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <typeinfo>
#include <unordered_map>
#include <vector>
#include <xercesc/dom/impl/DOMAttrImpl.hpp>
#include <xercesc/dom/impl/DOMAttrMapImpl.hpp>
#include <xercesc/dom/impl/DOMDocumentImpl.hpp>
#include <xercesc/dom/impl/DOMElementImpl.hpp>
#include <xercesc/dom/impl/DOMTextImpl.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/InputSource.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/BinInputStream.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLResourceIdentifier.hpp>

#include "cfg_service.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"

using namespace xercesc;

namespace {

// A limit of the loader was exceeded, or the file could not be read;
// carries the text for the message.
struct LIMIT_EXCEEDED {
  std::string text;
};

// Reads an opened file from its start, at its own offset (pread), so the
// descriptor's position does not matter. A failed read ends the load.
class FD_STREAM : public BinInputStream {
 public:
  explicit FD_STREAM(int fd) : m_fd(fd) {}

  XMLFilePos curPos() const override { return m_pos; }

  XMLSize_t readBytes(XMLByte* const to_fill, const XMLSize_t max_to_read) override {
    for (;;) {
      ssize_t n = ::pread(m_fd, to_fill, max_to_read, static_cast<off_t>(m_pos));
      if (n >= 0) {
        m_pos += static_cast<XMLFilePos>(n);
        return static_cast<XMLSize_t>(n);
      }
      if (errno != EINTR) throw LIMIT_EXCEEDED{std::strerror(errno)};
    }
  }

  const XMLCh* getContentType() const override { return nullptr; }

 private:
  int m_fd;
  XMLFilePos m_pos = 0;
};

class FD_SOURCE : public InputSource {
 public:
  FD_SOURCE(int fd, const char* name, MemoryManager* memory) : InputSource(name, memory), m_fd(fd) {}
  BinInputStream* makeStream() const override { return new (getMemoryManager()) FD_STREAM(m_fd); }

 private:
  int m_fd;
};

// Owns a file descriptor.
class FD_HOLDER {
 public:
  FD_HOLDER() = default;
  ~FD_HOLDER() { reset(); }
  FD_HOLDER(const FD_HOLDER&) = delete;
  FD_HOLDER& operator=(const FD_HOLDER&) = delete;
  int get() const { return m_fd; }
  void reset(int fd = -1) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }

 private:
  int m_fd = -1;
};

// Opens a regular file for reading without blocking on a FIFO or device;
// returns the descriptor and its size, or -1 with the reason in *error.
int open_regular_file(const char* path, size_t* size, std::string* error) {
  int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = std::strerror(errno);
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = S_ISDIR(st.st_mode) ? "the path is a directory" : "the path is not a regular file";
    ::close(fd);
    return -1;
  }
  *size = static_cast<size_t>(st.st_size);
  return fd;
}

// The large blocks of torn-down documents, kept by exact size for the
// next load. Loading a large file is dominated by the page faults of fresh
// memory, which the C library hands back to the system when a document
// goes; a parse of a similar file asks for blocks of the same sizes again.
// One pool for the process, guarded by a mutex; it never holds more than
// its cap, and whatever it holds is still owned (reachable) when the
// process ends.
class BLOCK_POOL {
 public:
  // Blocks smaller than this are left to malloc, which recycles them well.
  static constexpr size_t MIN_SIZE = 4096;

  static BLOCK_POOL& instance() {
    // Never destroyed: a document may be torn down during static
    // destruction.
    static BLOCK_POOL* pool = new BLOCK_POOL;
    return *pool;
  }

  // A kept block of exactly size bytes, or null.
  void* take(size_t size) {
    std::lock_guard<std::mutex> guard(m_mutex);
    auto it = m_free.find(size);
    if (it == m_free.end() || it->second.empty()) return nullptr;
    void* block = it->second.back();
    it->second.pop_back();
    m_bytes -= size;
    return block;
  }

  // Keeps the block, or returns false (the caller frees it) when the pool
  // would grow past its cap.
  bool give(void* block, size_t size) {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (size > m_cap || m_bytes > m_cap - size) return false;
    try {
      m_free[size].push_back(block);
    } catch (const std::bad_alloc&) {
      return false;
    }
    m_bytes += size;
    return true;
  }

  // Sets the cap and frees what is kept beyond it.
  void set_cap(size_t cap) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_cap = cap;
    for (auto it = m_free.begin(); it != m_free.end() && m_bytes > m_cap;) {
      while (!it->second.empty() && m_bytes > m_cap) {
        std::free(it->second.back());
        it->second.pop_back();
        m_bytes -= it->first;
      }
      it = it->second.empty() ? m_free.erase(it) : std::next(it);
    }
  }

 private:
  std::mutex m_mutex;
  std::unordered_map<size_t, std::vector<void*>> m_free;  // by block size
  size_t m_bytes = 0;
  size_t m_cap = 0;
};

// Counts what the parser allocates and refuses to go past a budget. The
// budget counts live bytes: a block taken from the pool counts as any
// other. Blocks freed while the document is torn down go to the pool;
// those freed while it is being built or used go back to malloc.
class BUDGET_MEMORY : public MemoryManager {
 public:
  BUDGET_MEMORY(size_t budget, size_t pool_cap) : m_budget(budget) {
    BLOCK_POOL::instance().set_cap(pool_cap);
  }

  MemoryManager* getExceptionMemoryManager() override { return XMLPlatformUtils::fgMemoryManager; }

  void* allocate(XMLSize_t size) override {
    if (m_limited && size > m_budget - m_used) throw OutOfMemoryException();
    const size_t total = size + HEADER;
    void* block = total >= BLOCK_POOL::MIN_SIZE ? BLOCK_POOL::instance().take(total) : nullptr;
    if (!block) block = std::malloc(total);
    if (!block) throw OutOfMemoryException();
    *static_cast<size_t*>(block) = size;
    m_used += size;
    return static_cast<char*>(block) + HEADER;
  }

  void deallocate(void* p) override {
    if (!p) return;
    char* block = static_cast<char*>(p) - HEADER;
    const size_t size = *reinterpret_cast<size_t*>(block);
    m_used -= size;
    const size_t total = size + HEADER;
    if (m_tearing_down && total >= BLOCK_POOL::MIN_SIZE && BLOCK_POOL::instance().give(block, total)) return;
    std::free(block);
  }

  size_t budget() const { return m_budget; }
  // The budget bounds the parse only: the edits of a loaded document
  // allocate from here too and must not run into it.
  void end_parse() { m_limited = false; }
  // From now on freed blocks are kept for the next load.
  void start_teardown() { m_tearing_down = true; }

 private:
  static constexpr size_t HEADER = 16;  // keeps the alignment of malloc
  size_t m_budget;
  size_t m_used = 0;
  bool m_limited = true;
  bool m_tearing_down = false;
};

// Ignores warnings and recoverable errors; a fatal error ends the load.
class LOAD_ERROR_HANDLER : public ErrorHandler {
 public:
  void warning(const SAXParseException&) override {}
  void error(const SAXParseException&) override {}
  void fatalError(const SAXParseException& e) override { throw e; }
  void resetErrors() override {}
};

// Opens nothing: every external entity is refused and remembered.
class REFUSING_RESOLVER : public XMLEntityResolver {
 public:
  InputSource* resolveEntity(XMLResourceIdentifier* id) override {
    if (m_refused.empty()) {
      const XMLCh* sys = id ? id->getSystemId() : nullptr;
      m_refused = sys && *sys ? sdr_to_utf8(sys) : std::string("(unnamed)");
    }
    static const XMLByte empty[1] = {0};
    return new MemBufInputSource(empty, 0, "", false);
  }
  const std::string& refused() const { return m_refused; }

 private:
  std::string m_refused;
};

bool is_xml_space(const XMLCh* s, XMLSize_t n) {
  for (XMLSize_t i = 0; i < n; ++i)
    if (s[i] != ' ' && s[i] != '\n' && s[i] != '\t' && s[i] != '\r') return false;
  return true;
}

// The DOM parser with limits on nesting depth and attribute count. It also
// builds the document faster than its base:
// - Elements, their attributes and texts are linked in directly
//   (sdr_link_last_child). Anything out of the plain case (namespaces, attributes
//   declared or defaulted by a DTD, the root, the inside of an entity
//   reference) goes through the base parser.
// - White space between elements is not kept as text nodes when it is not
//   an element's first child. The writer never writes a white-space-only
//   text, so the saved bytes are the same; the document is smaller. A
//   first child is kept, so an element that held only white space still
//   has a child, and a reader that looks at an element's first child (a
//   trigger level's condition text) finds what the file had.
class LIMITED_PARSER : public XercesDOMParser {
 public:
  LIMITED_PARSER(MemoryManager* memory, unsigned max_depth, unsigned max_attributes)
      : XercesDOMParser(nullptr, memory), m_max_depth(max_depth), m_max_attributes(max_attributes) {}

  void startElement(const XMLElementDecl& decl, const unsigned int uri, const XMLCh* const prefix,
                    const RefVectorOf<XMLAttr>& attrs, const XMLSize_t count, const bool empty,
                    const bool root) override {
    if (count > m_max_attributes) {
      throw LIMIT_EXCEEDED{"an element has " + std::to_string(count) + " attributes; at most " +
                           std::to_string(m_max_attributes) + " are allowed"};
    }
    if (m_depth + 1 > m_max_depth) {
      throw LIMIT_EXCEEDED{"elements are nested more than " + std::to_string(m_max_depth) + " levels deep"};
    }
    // Every element is ended through endElement, an empty one from within
    // the base's startElement.
    ++m_depth;
    if (!plain(decl, attrs, count)) {
      XercesDOMParser::startElement(decl, uri, prefix, attrs, count, empty, root);
      return;
    }
    DOMElementImpl* element = static_cast<DOMElementImpl*>(createElement(decl.getFullName()));
    if (count && element->fAttributes) element->fAttributes->reserve(count);
    for (XMLSize_t i = 0; i < count; ++i) {
      const XMLAttr* source = attrs.elementAt(i);
      DOMAttrImpl* attr = static_cast<DOMAttrImpl*>(createAttr(source->getName()));
      if (const XMLCh* value = source->getValue()) {
        DOMTextImpl* text = static_cast<DOMTextImpl*>(fDocument->createTextNode(value));
        if (!sdr_link_last_child(attr->fParent, text, text->fNode, text->fChild))
          attr->fParent.appendChildFast(text);
      }
      attr->fNode.isSpecified(true);
      if (element->fAttributes) {
        if (!sdr_link_attribute(*element->fAttributes, attr)) element->fAttributes->setNamedItemFast(attr);
      } else {
        element->setAttributeNode(attr);
      }
      attr->setSpecified(source->getSpecified());
    }
    DOMElementImpl* parent = static_cast<DOMElementImpl*>(fCurrentParent);
    if (!sdr_link_last_child(parent->fParent, element, element->fNode, element->fChild))
      parent->fParent.appendChildFast(element);
    fCurrentParent = element;
    fCurrentNode = element;
    fWithinElement = true;
    if (empty) endElement(decl, uri, root, prefix);
  }

  void endElement(const XMLElementDecl& decl, const unsigned int uri, const bool root,
                  const XMLCh* const prefix) override {
    if (m_depth > 0) --m_depth;
    // The element's parent, when it is an element, becomes the current
    // parent, as in the base, which finds it through a run-time type
    // look-up; the end of the root and anything with XInclude go there.
    DOMNode* node = fCurrentParent;
    if (node && !getDoXInclude() && &typeid(*node) == &typeid(DOMElementImpl)) {
      const DOMNodeImpl& part = static_cast<DOMElementImpl*>(node)->fNode;
      DOMNode* parent = part.isOwned() ? part.fOwnerNode : nullptr;
      if (parent && parent->getNodeType() == DOMNode::ELEMENT_NODE) {
        fCurrentNode = node;
        fCurrentParent = parent;
        return;
      }
    }
    XercesDOMParser::endElement(decl, uri, root, prefix);
  }

  void docCharacters(const XMLCh* const chars, const XMLSize_t length, const bool cdata) override {
    DOMNode* parent = fCurrentParent;
    if (cdata || !fWithinElement || !parent || parent->getNodeType() != DOMNode::ELEMENT_NODE ||
        (fCurrentNode && fCurrentNode->getNodeType() == DOMNode::TEXT_NODE)) {
      XercesDOMParser::docCharacters(chars, length, cdata);
      return;
    }
    DOMElementImpl* element = static_cast<DOMElementImpl*>(parent);
    const bool pending_here = m_pending_parent == parent && m_pending_after == fCurrentNode;
    if (element->fParent.fFirstChild && is_xml_space(chars, length)) {
      // Left out unless text follows it directly (a text that reaches the
      // parser in pieces).
      if (!pending_here) m_pending.clear();
      m_pending.append(chars, length);
      m_pending_parent = parent;
      m_pending_after = fCurrentNode;
      return;
    }
    if (pending_here && !m_pending.empty()) {
      std::u16string head;
      head.swap(m_pending);
      m_pending_parent = nullptr;
      append_text(element, head.data(), head.size());
      XercesDOMParser::docCharacters(chars, length, false);  // joins the text node
      return;
    }
    m_pending_parent = nullptr;
    append_text(element, chars, length);
  }

  // Character data reaches the document in pieces of at most this many
  // characters; each piece after the first is appended to the text node,
  // whose buffer then grows by copying, its old buffers staying in the
  // document's memory. A size beyond the longest text of the file makes
  // every text one piece.
  void set_text_piece_size(XMLSize_t chars) { getScanner()->setInputBufferSize(chars); }

 private:
  // Whether startElement can build the element itself: no namespaces, a
  // parent element, no attribute declared or defaulted by a DTD.
  bool plain(const XMLElementDecl& decl, const RefVectorOf<XMLAttr>& attrs, XMLSize_t count) {
    if (getDoNamespaces() || getCreateSchemaInfo() || getDoXInclude() || !fCurrentParent ||
        fCurrentParent->getNodeType() != DOMNode::ELEMENT_NODE || decl.hasAttDefs())
      return false;
    for (XMLSize_t i = 0; i < count; ++i)
      if (attrs.elementAt(i)->getType() != XMLAttDef::CData) return false;
    return true;
  }

  void append_text(DOMElementImpl* parent, const XMLCh* chars, XMLSize_t length) {
    DOMTextImpl* text = static_cast<DOMTextImpl*>(createText(chars, length));
    if (!sdr_link_last_child(parent->fParent, text, text->fNode, text->fChild))
      parent->fParent.appendChildFast(text);
    fCurrentNode = text;
  }

  unsigned m_max_depth;
  unsigned m_max_attributes;
  unsigned m_depth = 0;
  // White space held back, with where it was found.
  std::u16string m_pending;
  const DOMNode* m_pending_parent = nullptr;
  const DOMNode* m_pending_after = nullptr;
};

unsigned limit(const char* key, int fallback) {
  int v = cfg_get_int(key, fallback);
  return v > 0 ? static_cast<unsigned>(v) : static_cast<unsigned>(fallback);
}

}  // namespace

struct SDR_XML_PARSE_CONTEXT::IMPL {
  // Declaration order matters: the parser (and its document) goes before
  // the memory it was allocated from.
  std::unique_ptr<BUDGET_MEMORY> memory;
  LOAD_ERROR_HANDLER errors;
  REFUSING_RESOLVER resolver;
  std::unique_ptr<SecurityManager> security;
  std::unique_ptr<LIMITED_PARSER> parser;
  // The file of open_file, until parse_file.
  FD_HOLDER file;
  size_t file_size = 0;
  std::string file_name;

  // Parses the size bytes at data or, when fd is not negative, the file fd
  // of that size.
  DOMDocument* parse(const char* data, size_t size, const char* name, int fd, std::string* error);

  // Destroys the parser with its document; their blocks go to the pool.
  void drop_document() {
    if (parser && memory) memory->start_teardown();
    parser.reset();
  }
};

SDR_XML_PARSE_CONTEXT::SDR_XML_PARSE_CONTEXT() : m_impl(new IMPL) {}

SDR_XML_PARSE_CONTEXT::~SDR_XML_PARSE_CONTEXT() {
  if (!m_impl) return;
  m_impl->drop_document();
  m_impl->security.reset();
  m_impl->memory.reset();
}

DOMDocument* SDR_XML_PARSE_CONTEXT::parse(const char* data, size_t size, const char* name,
                                          std::string* error) {
  m_impl->file.reset();
  return m_impl->parse(data, size, name, -1, error);
}

bool SDR_XML_PARSE_CONTEXT::open_file(const char* path, std::string* head, std::string* error) {
  std::string reason;
  m_impl->file.reset();
  head->clear();
  int fd = open_regular_file(path, &m_impl->file_size, &reason);
  if (fd < 0) {
    if (error) *error = reason;
    return false;
  }
  m_impl->file.reset(fd);
  char buf[256];
  for (;;) {
    ssize_t n = ::pread(fd, buf, sizeof buf, 0);
    if (n >= 0) {
      head->assign(buf, static_cast<size_t>(n));
      break;
    }
    if (errno == EINTR) continue;
    if (error) *error = std::strerror(errno);
    m_impl->file.reset();
    return false;
  }
  m_impl->file_name = path;
  return true;
}

DOMDocument* SDR_XML_PARSE_CONTEXT::parse_file(std::string* error) {
  if (m_impl->file.get() < 0) {
    if (error) *error = "no file is open";
    return nullptr;
  }
  DOMDocument* doc =
      m_impl->parse(nullptr, m_impl->file_size, m_impl->file_name.c_str(), m_impl->file.get(), error);
  m_impl->file.reset();
  return doc;
}

DOMDocument* SDR_XML_PARSE_CONTEXT::IMPL::parse(const char* data, size_t size, const char* name, int fd,
                                                std::string* error) {
  std::string reason;
  try {
    const size_t mib = 1024 * 1024;
    size_t max_memory = static_cast<size_t>(limit("sdr_max_document_mb", 8192)) * mib;
    size_t budget = 256 * mib + (size > (SIZE_MAX - 256 * mib) / 16 ? SIZE_MAX / 2 : 16 * size);
    if (budget > max_memory) budget = max_memory;
    if (size > budget) {
      if (error)
        *error = "the file is larger than the " + std::to_string(budget / mib) + " MiB a document may use";
      return nullptr;
    }
    drop_document();
    int pool_mb = cfg_get_int("sdr_xml_pool_mb", 512);
    if (pool_mb < 0) pool_mb = 512;
    memory.reset(new BUDGET_MEMORY(budget, static_cast<size_t>(pool_mb) * mib));
    security.reset(new SecurityManager());
    security->setEntityExpansionLimit(limit("sdr_max_entity_expansions", 100000));
    parser.reset(new LIMITED_PARSER(memory.get(), limit("sdr_max_xml_depth", 10000),
                                    limit("sdr_max_xml_attributes", 10000)));
    LIMITED_PARSER* p = parser.get();
    p->setDoNamespaces(false);
    p->setDoSchema(false);
    p->setLoadExternalDTD(false);
    p->setValidationScheme(XercesDOMParser::Val_Never);
    p->setErrorHandler(&errors);
    p->setXMLEntityResolver(&resolver);
    p->setDisableDefaultEntityResolution(true);
    p->setSecurityManager(security.get());
    p->setCreateEntityReferenceNodes(true);
    // No text of the file is longer than the file (the entities that could
    // make one longer are bounded, and arrive in pieces).
    const XMLSize_t default_piece = 1024 * 1024;
    p->set_text_piece_size(size < default_piece ? default_piece : size + 1);

    if (fd >= 0) {
      FD_SOURCE source(fd, name ? name : "", memory.get());
      p->parse(source);
    } else {
      MemBufInputSource source(reinterpret_cast<const XMLByte*>(data), size, name ? name : "", false,
                               memory.get());
      // The bytes outlive the parse: the stream reads them in place.
      source.setCopyBufToStream(false);
      p->parse(source);
    }
    if (!resolver.refused().empty()) {
      reason = "the document refers to the external entity \"" + resolver.refused() +
               "\"; external entities are not read";
    } else {
      memory->end_parse();
      return p->getDocument();
    }
  } catch (const SAXParseException& e) {
    // Where the parser stopped, so that a reader of the message can go there.
    reason = sdr_to_utf8(e.getMessage());
    if (e.getLineNumber() > 0) {
      reason += " (line " + std::to_string(e.getLineNumber());
      if (e.getColumnNumber() > 0) reason += ", column " + std::to_string(e.getColumnNumber());
      reason += ")";
    }
  } catch (const XMLException& e) {
    reason = sdr_to_utf8(e.getMessage());
  } catch (const DOMException& e) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "error code %d", static_cast<int>(e.code));
    reason = buf;
  } catch (const OutOfMemoryException&) {
    reason = "the document needs more than the " +
             std::to_string((memory ? memory->budget() : 0) / (1024 * 1024)) +
             " MiB of memory allowed for it";
  } catch (const std::bad_alloc&) {
    reason = "out of memory";
  } catch (const LIMIT_EXCEEDED& e) {
    reason = e.text;
  } catch (...) {
    reason = "unexpected internal error";
  }
  // Whatever the parser built is dropped with it.
  drop_document();
  if (error) *error = reason;
  return nullptr;
}

bool sdr_read_file(const char* path, std::string* bytes, std::string* error) {
  bytes->clear();
  size_t size = 0;
  int fd = open_regular_file(path, &size, error);
  if (fd < 0) return false;
  try {
    bytes->reserve(size);
    char buf[1 << 16];
    for (;;) {
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0) {
        if (errno == EINTR) continue;
        *error = std::strerror(errno);
        ::close(fd);
        return false;
      }
      if (n == 0) break;
      bytes->append(buf, static_cast<size_t>(n));
    }
  } catch (const std::bad_alloc&) {
    *error = "out of memory";
    ::close(fd);
    return false;
  }
  ::close(fd);
  return true;
}

int sdr_open_regular_file(const char* path, size_t* size, std::string* error) {
  return open_regular_file(path, size, error);
}
