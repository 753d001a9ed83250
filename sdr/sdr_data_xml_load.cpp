#include "sdr_data_xml_load.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLResourceIdentifier.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "cfg_service.h"
#include "sdr_internal.h"

using namespace xercesc;

namespace {

// A limit of the loader was exceeded; carries the text for the message.
struct LIMIT_EXCEEDED {
  std::string text;
};

// Counts what the parser allocates and refuses to go past a budget.
class BUDGET_MEMORY : public MemoryManager {
public:
  explicit BUDGET_MEMORY(size_t budget) : m_budget(budget) {}

  MemoryManager* getExceptionMemoryManager() override { return XMLPlatformUtils::fgMemoryManager; }

  void* allocate(XMLSize_t size) override {
    if (size > m_budget - m_used) throw OutOfMemoryException();
    void* block = std::malloc(size + HEADER);
    if (!block) throw OutOfMemoryException();
    *static_cast<size_t*>(block) = size;
    m_used += size;
    return static_cast<char*>(block) + HEADER;
  }

  void deallocate(void* p) override {
    if (!p) return;
    char* block = static_cast<char*>(p) - HEADER;
    m_used -= *reinterpret_cast<size_t*>(block);
    std::free(block);
  }

  size_t budget() const { return m_budget; }

private:
  static constexpr size_t HEADER = 16;  // keeps the alignment of malloc
  size_t m_budget;
  size_t m_used = 0;
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

// The DOM parser with limits on nesting depth and attribute count.
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
    if (!empty) ++m_depth;
    XercesDOMParser::startElement(decl, uri, prefix, attrs, count, empty, root);
  }

  void endElement(const XMLElementDecl& decl, const unsigned int uri, const bool root,
                  const XMLCh* const prefix) override {
    if (m_depth > 0) --m_depth;
    XercesDOMParser::endElement(decl, uri, root, prefix);
  }

private:
  unsigned m_max_depth;
  unsigned m_max_attributes;
  unsigned m_depth = 0;
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
};

SDR_XML_PARSE_CONTEXT::SDR_XML_PARSE_CONTEXT() : m_impl(new IMPL) {}

SDR_XML_PARSE_CONTEXT::~SDR_XML_PARSE_CONTEXT() {
  if (!m_impl) return;
  m_impl->parser.reset();
  m_impl->security.reset();
  m_impl->memory.reset();
}

DOMDocument* SDR_XML_PARSE_CONTEXT::parse(const char* data, size_t size, const char* name, std::string* error) {
  std::string reason;
  try {
    const size_t mib = 1024 * 1024;
    size_t max_memory = static_cast<size_t>(limit("sdr_max_document_mb", 8192)) * mib;
    size_t budget = 256 * mib + (size > (SIZE_MAX - 256 * mib) / 16 ? SIZE_MAX / 2 : 16 * size);
    if (budget > max_memory) budget = max_memory;
    if (size > budget) {
      if (error) *error = "the file is larger than the " + std::to_string(budget / mib) + " MiB a document may use";
      return nullptr;
    }
    m_impl->parser.reset();
    m_impl->memory.reset(new BUDGET_MEMORY(budget));
    m_impl->security.reset(new SecurityManager());
    m_impl->security->setEntityExpansionLimit(limit("sdr_max_entity_expansions", 100000));
    m_impl->parser.reset(new LIMITED_PARSER(m_impl->memory.get(), limit("sdr_max_xml_depth", 10000),
                                            limit("sdr_max_xml_attributes", 10000)));
    LIMITED_PARSER* p = m_impl->parser.get();
    p->setDoNamespaces(false);
    p->setDoSchema(false);
    p->setLoadExternalDTD(false);
    p->setValidationScheme(XercesDOMParser::Val_Never);
    p->setErrorHandler(&m_impl->errors);
    p->setXMLEntityResolver(&m_impl->resolver);
    p->setDisableDefaultEntityResolution(true);
    p->setSecurityManager(m_impl->security.get());
    p->setCreateEntityReferenceNodes(true);

    MemBufInputSource source(reinterpret_cast<const XMLByte*>(data), size, name ? name : "", false,
                             m_impl->memory.get());
    // The bytes outlive the parse: the stream reads them in place.
    source.setCopyBufToStream(false);
    p->parse(source);
    if (!m_impl->resolver.refused().empty()) {
      reason = "the document refers to the external entity \"" + m_impl->resolver.refused() +
               "\"; external entities are not read";
    } else {
      return p->getDocument();
    }
  } catch (const SAXParseException& e) {
    reason = sdr_to_utf8(e.getMessage());
  } catch (const XMLException& e) {
    reason = sdr_to_utf8(e.getMessage());
  } catch (const DOMException& e) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "error code %d", static_cast<int>(e.code));
    reason = buf;
  } catch (const OutOfMemoryException&) {
    reason = "the document needs more than the " +
             std::to_string((m_impl->memory ? m_impl->memory->budget() : 0) / (1024 * 1024)) +
             " MiB of memory allowed for it";
  } catch (const std::bad_alloc&) {
    reason = "out of memory";
  } catch (const LIMIT_EXCEEDED& e) {
    reason = e.text;
  } catch (...) {
    reason = "unexpected internal error";
  }
  // Whatever the parser built is dropped with it.
  m_impl->parser.reset();
  if (error) *error = reason;
  return nullptr;
}

bool sdr_read_file(const char* path, std::string* bytes, std::string* error) {
  bytes->clear();
  int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = S_ISDIR(st.st_mode) ? "the path is a directory" : "the path is not a regular file";
    ::close(fd);
    return false;
  }
  try {
    bytes->reserve(static_cast<size_t>(st.st_size));
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
