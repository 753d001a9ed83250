#include "sdr_data_xml_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

#include "cfg_service.h"
#include "platform_mutex.h"
#include "sdr_internal.h"
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/XMLException.hpp>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  size_t n = std::strlen(text);
  m_text.reserve(n);
  size_t i = 0;
  while (i < n) {
    unsigned c = p[i];
    if (c < 0x80) {
      m_text.push_back(static_cast<char16_t>(c));
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
      m_text.push_back(static_cast<char16_t>(c));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      m_text.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      m_text.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      m_text.push_back(static_cast<char16_t>(cp));
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

std::string sdr_to_utf8(const XMLCh* text) {
  std::string out;
  sdr_append_utf8(text, &out);
  return out;
}

namespace {

// The value of an attribute node, as getValue gives it. A value is nearly
// always one text child, read here directly: getValue finds it through
// dynamic casts. Anything else (no child, entity references) goes through
// getValue.
const XMLCh* attribute_value(const DOMNode* attr) {
  const DOMNode* first = attr->getFirstChild();
  if (first && !first->getNextSibling() && first->getNodeType() == DOMNode::TEXT_NODE)
    return first->getNodeValue();
  return attr->getNodeValue();
}

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
  return attr ? attribute_value(attr) : u"";
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

void sdr_set_attribute(DOMElement* element, const char* name, const char* value) {
  if (!SDR_CHECK(element != NULL) || !SDR_CHECK(name != NULL)) return;
  SDR_GUARDED(false, [&] {
    element->setAttribute(SDR_XSTR(name), SDR_XSTR(value ? value : ""));
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
  return static_cast<unsigned long*>(document->getUserData(EDIT_COUNTER_KEY));
}

void sdr_set_edit_counter(DOMDocument* document, unsigned long* counter) {
  if (document) document->setUserData(EDIT_COUNTER_KEY, counter, nullptr);
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

// ------------------------------------------------------------------ writer

namespace {

enum class ESC { NAME, ATTR, TEXT, RAW, CDATA };

// Per ASCII character: 0 written as is, 1 needs a look (escape or refusal).
struct ESC_TABLE {
  unsigned char attr[128];
  unsigned char text[128];
  unsigned char raw[128];
  ESC_TABLE() {
    for (int c = 0; c < 128; ++c) {
      bool control = c < 0x20 && c != '\t' && c != '\n' && c != '\r';
      raw[c] = control ? 1 : 0;
      attr[c] = control || c == '&' || c == '<' || c == '"' || c == '\t' || c == '\n' || c == '\r';
      text[c] = control || c == '&' || c == '<' || c == '>' || c == '\r';
    }
  }
};
const ESC_TABLE g_esc;

const XMLCh DATA_TAG[] = {'d', 'a', 't', 'a', 0};

class WRITER {
 public:
  // The text goes to *out, or (out null) to the file fd, through a buffer
  // of BUFFER_SIZE bytes either way. write_back: start writing the file's
  // pages to disk while the text is produced (for a file that is flushed
  // at the end).
  WRITER(std::string* out, int fd, bool write_back = false)
      : m_string(out),
        m_fd(fd),
        m_write_back(write_back),
        m_buffer(new char[BUFFER_SIZE]),
        m_pos(m_buffer.get()),
        m_end(m_buffer.get() + BUFFER_SIZE) {}

  bool failed() const { return !m_error.empty(); }
  const std::string& error() const { return m_error; }
  // The errno of a failed write to the file, or 0.
  int io_error() const { return m_io_error; }

  void write_node(const DOMNode* start);
  // Hands the buffered text on; call once the node is written.
  void finish() { drain(); }

 private:
  static constexpr size_t BUFFER_SIZE = 64 * 1024;

  // Hands the buffered text to the string or the file. Once the text is
  // known to be unwritable, or the file failed, nothing more is written.
  void drain() {
    size_t n = static_cast<size_t>(m_pos - m_buffer.get());
    m_pos = m_buffer.get();
    if (n == 0) return;
    if (m_string) {
      m_string->append(m_buffer.get(), n);
      return;
    }
    if (m_io_error || failed()) return;
    const char* p = m_buffer.get();
    while (n > 0) {
      ssize_t w = ::write(m_fd, p, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        m_io_error = errno;
        return;
      }
      if (w == 0) {
        m_io_error = ENOSPC;
        return;
      }
      p += w;
      n -= static_cast<size_t>(w);
      m_written += static_cast<size_t>(w);
    }
#ifdef SYNC_FILE_RANGE_WRITE
    // Start writing back what is written so far, so that the final flush
    // has less left to wait for.
    if (m_write_back && m_written - m_kicked >= WRITE_BACK_STEP) {
      (void)sync_file_range(m_fd, static_cast<off_t>(m_kicked), static_cast<off_t>(m_written - m_kicked),
                            SYNC_FILE_RANGE_WRITE);
      m_kicked = m_written;
    }
#endif
  }

  void put(const char* s, size_t n) {
    while (n > 0) {
      if (m_pos == m_end) drain();
      size_t k = static_cast<size_t>(m_end - m_pos);
      if (k > n) k = n;
      std::memcpy(m_pos, s, k);
      m_pos += k;
      s += k;
      n -= k;
    }
  }
  void put(const char* s) {
    put(s, std::strlen(s));
  }
  void put(char c) {
    if (m_pos == m_end) drain();
    *m_pos++ = c;
  }

  void indent(int depth) {
    put('\n');
    size_t n = depth > 1 ? static_cast<size_t>(depth - 1) * 2 : 0;
    while (n > 0) {
      if (m_pos == m_end) drain();
      size_t k = static_cast<size_t>(m_end - m_pos);
      if (k > n) k = n;
      std::memset(m_pos, ' ', k);
      m_pos += k;
      n -= k;
    }
  }

  void char_ref(unsigned cp) {
    char buf[16];
    int n = std::snprintf(buf, sizeof buf, "&#x%X;", cp);
    put(buf, static_cast<size_t>(n));
  }

  void fail(const char* what, unsigned cp) {
    if (!m_error.empty()) return;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s U+%04X cannot be written", what, cp);
    m_error = buf;
  }

  // Writes text with the escaping of the given context.
  void emit(const XMLCh* s, ESC mode) {
    if (s) emit(s, XMLString::stringLen(s), mode);
  }

  // Writes the n characters at s. Plain ASCII is copied into the buffer
  // while it is scanned; anything else is escaped, written as a character
  // reference or refused.
  void emit(const XMLCh* p, size_t n, ESC mode) {
    const unsigned char* table = mode == ESC::ATTR ? g_esc.attr : mode == ESC::TEXT ? g_esc.text : g_esc.raw;
    const XMLCh* const end = p + n;
    char* d = m_pos;
    while (p < end) {
      size_t room = static_cast<size_t>(m_end - d);
      size_t left = static_cast<size_t>(end - p);
      const XMLCh* stop = p + (left < room ? left : room);
#if defined(__SSE2__)
      // Sixteen characters at a time while all are plain in every context:
      // from 0x20 to 0x7F and none of & < > ". A block with anything else
      // goes through the table below.
      const __m128i low = _mm_set1_epi16(0x20), span = _mm_set1_epi16(0x5F);
      const __m128i amp = _mm_set1_epi16('&'), lt = _mm_set1_epi16('<'), gt = _mm_set1_epi16('>'),
                    quot = _mm_set1_epi16('"'), zero = _mm_setzero_si128();
      while (stop - p >= 16) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
        __m128i bad = _mm_or_si128(_mm_subs_epu16(_mm_sub_epi16(a, low), span),
                                   _mm_subs_epu16(_mm_sub_epi16(b, low), span));
        bad = _mm_or_si128(bad, _mm_or_si128(_mm_cmpeq_epi16(a, amp), _mm_cmpeq_epi16(b, amp)));
        bad = _mm_or_si128(bad, _mm_or_si128(_mm_cmpeq_epi16(a, lt), _mm_cmpeq_epi16(b, lt)));
        bad = _mm_or_si128(bad, _mm_or_si128(_mm_cmpeq_epi16(a, gt), _mm_cmpeq_epi16(b, gt)));
        bad = _mm_or_si128(bad, _mm_or_si128(_mm_cmpeq_epi16(a, quot), _mm_cmpeq_epi16(b, quot)));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(bad, zero)) != 0xFFFF) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(a, b));
        d += 16;
        p += 16;
      }
#endif
      while (p < stop) {
        unsigned c = *p;
        if (c >= 0x80 || table[c]) break;
        *d++ = static_cast<char>(c);
        ++p;
      }
      if (p == end) break;
      m_pos = d;
      if (p == stop) {
        drain();
      } else {
        p = special(p, end, mode);
      }
      d = m_pos;
    }
    m_pos = d;
  }

  // Writes the character at p, one that is not written as it is; returns
  // where the text goes on.
  const XMLCh* special(const XMLCh* p, const XMLCh* end, ESC mode) {
    unsigned c = *p++;
    if (c < 0x80) {
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
        fail("the control character", c);
        return p;
      }
      switch (c) {
        case '&':
          put("&amp;", 5);
          break;
        case '<':
          put("&lt;", 4);
          break;
        case '>':
          put("&gt;", 4);
          break;
        case '"':
          put("&quot;", 6);
          break;
        default:
          char_ref(c);
          break;  // tab, line feed, carriage return
      }
      return p;
    }
    // Non-ASCII: combine a surrogate pair, refuse what XML does not allow.
    if (c >= 0xD800 && c <= 0xDBFF && p < end && *p >= 0xDC00 && *p <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (*p - 0xDC00);
      ++p;
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) {
      fail("the character", c);
      return p;
    }
    if (mode == ESC::NAME) {
      fail("the non-ASCII name character", c);
    } else if (mode == ESC::CDATA) {
      put("]]>", 3);
      char_ref(c);
      put("<![CDATA[", 9);
    } else {
      char_ref(c);
    }
    return p;
  }

  void write_cdata(const XMLCh* s) {
    put("<![CDATA[", 9);
    // A "]]>" inside the text ends the section early: split it there.
    const XMLCh* p = s;
    std::u16string piece;
    while (p && *p) {
      if (p[0] == ']' && p[1] == ']' && p[2] == '>') {
        piece.append(p, p + 2);
        emit(piece.c_str(), ESC::CDATA);
        piece.clear();
        put("]]><![CDATA[", 12);
        p += 2;
        continue;
      }
      piece.push_back(*p++);
    }
    emit(piece.c_str(), ESC::CDATA);
    put("]]>", 3);
  }

  bool is_white_space(const XMLCh* s) {
    if (!s) return true;
    for (; *s; ++s)
      if (*s != ' ' && *s != '\t' && *s != '\n' && *s != '\r') return false;
    return true;
  }

  void open_element(const DOMElement* e, int depth) {
    const DOMNode* parent = e->getParentNode();
    if (!parent || parent->getNodeType() != DOMNode::DOCUMENT_NODE) indent(depth);
    put('<');
    emit(e->getTagName(), ESC::NAME);
    DOMNamedNodeMap* attrs = e->getAttributes();
    XMLSize_t n = attrs ? attrs->getLength() : 0;
    for (XMLSize_t i = 0; i < n; ++i) {
      const DOMNode* a = attrs->item(i);
      put(' ');
      emit(a->getNodeName(), ESC::NAME);
      put("=\"", 2);
      emit(attribute_value(a), ESC::ATTR);
      put('"');
    }
  }

  void close_element(const DOMElement* e, int depth) {
    if (!XMLString::equals(e->getTagName(), DATA_TAG)) indent(depth);
    put("</", 2);
    emit(e->getTagName(), ESC::NAME);
    put('>');
  }

  void write_leaf(const DOMNode* n);

  std::string* m_string;
  int m_fd;
  bool m_write_back;
  std::unique_ptr<char[]> m_buffer;
  char* m_pos;
  char* m_end;
  std::string m_error;
  int m_io_error = 0;
  static constexpr size_t WRITE_BACK_STEP = 4 << 20;
  size_t m_written = 0;
  size_t m_kicked = 0;
};

void WRITER::write_leaf(const DOMNode* n) {
  switch (n->getNodeType()) {
    case DOMNode::TEXT_NODE: {
      const XMLCh* text = n->getNodeValue();
      if (is_white_space(text)) break;
      // Where the writer puts its own line feed and indentation after a
      // text (before an element, or before a closing tag other than that
      // of "data"), white space that a loaded file had there is dropped, so
      // that saving a reloaded document does not grow it. The sample text
      // of "data" stays verbatim.
      // The node knows its length: a sample text is not scanned for it.
      size_t len = static_cast<const DOMText*>(n)->getLength();
      size_t end = len;
      while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\n' ||
                         text[end - 1] == '\r'))
        --end;
      const DOMNode* parent = n->getParentNode();
      // White-space-only texts are not written, so look past them.
      const DOMNode* next = n->getNextSibling();
      while (next && next->getNodeType() == DOMNode::TEXT_NODE && is_white_space(next->getNodeValue()))
        next = next->getNextSibling();
      bool in_data = parent && XMLString::equals(parent->getNodeName(), DATA_TAG);
      bool line_break_follows = next ? next->getNodeType() == DOMNode::ELEMENT_NODE : !in_data;
      emit(text, end == len || !line_break_follows ? len : end, ESC::TEXT);
      break;
    }
    case DOMNode::CDATA_SECTION_NODE:
      write_cdata(n->getNodeValue());
      break;
    case DOMNode::ENTITY_REFERENCE_NODE:
      put('&');
      emit(n->getNodeName(), ESC::NAME);
      put(';');
      break;
    case DOMNode::ENTITY_NODE: {
      const DOMEntity* ent = static_cast<const DOMEntity*>(n);
      put("<!ENTITY ");
      emit(ent->getNodeName(), ESC::NAME);
      if (ent->getPublicId()) {
        put("PUBLIC \"");
        emit(ent->getPublicId(), ESC::RAW);
        put('"');
      }
      if (ent->getSystemId()) {
        put("SYSTEM \"");
        emit(ent->getSystemId(), ESC::RAW);
        put('"');
      }
      if (ent->getNotationName()) {
        put("NDATA \"");
        emit(ent->getNotationName(), ESC::RAW);
        put('"');
      }
      put(">\n");
      break;
    }
    case DOMNode::PROCESSING_INSTRUCTION_NODE: {
      const DOMProcessingInstruction* pi = static_cast<const DOMProcessingInstruction*>(n);
      put("<?");
      emit(pi->getTarget(), ESC::NAME);
      const XMLCh* data = pi->getData();
      if (data && *data) {
        put(' ');
        emit(data, ESC::RAW);
      }
      put("?>");
      break;
    }
    case DOMNode::COMMENT_NODE:
      put("<!--");
      emit(n->getNodeValue(), ESC::RAW);
      put("-->");
      break;
    case DOMNode::DOCUMENT_TYPE_NODE: {
      const DOMDocumentType* dt = static_cast<const DOMDocumentType*>(n);
      put("<!DOCTYPE ");
      emit(dt->getName(), ESC::NAME);
      const XMLCh* pub = dt->getPublicId();
      const XMLCh* sys = dt->getSystemId();
      if (pub && *pub) {
        put(" PUBLIC \"");
        emit(pub, ESC::RAW);
        put('"');
        if (sys && *sys) {
          put(" \"");
          emit(sys, ESC::RAW);
          put('"');
        }
      } else if (sys && *sys) {
        put(" SYSTEM \"");
        emit(sys, ESC::RAW);
        put('"');
      }
      const XMLCh* subset = dt->getInternalSubset();
      if (subset && *subset) {
        put('[');
        emit(subset, ESC::RAW);
        put(']');
      }
      put('>');
      break;
    }
    default:
      std::cerr << "Unrecognized node type = " << static_cast<int>(n->getNodeType()) << std::endl;
      break;
  }
}

// Depth-first walk with an explicit stack of open elements.
void WRITER::write_node(const DOMNode* start) {
  if (start->getNodeType() == DOMNode::DOCUMENT_NODE) {
    for (const DOMNode* c = start->getFirstChild(); c; c = c->getNextSibling()) {
      write_node(c);
      put('\n');
    }
    return;
  }
  std::vector<const DOMElement*> open;
  const DOMNode* n = start;
  for (;;) {
    if (n->getNodeType() == DOMNode::ELEMENT_NODE) {
      const DOMElement* e = static_cast<const DOMElement*>(n);
      open_element(e, static_cast<int>(open.size()) + 1);
      if (const DOMNode* first = e->getFirstChild()) {
        put('>');
        open.push_back(e);
        n = first;
        continue;
      }
      put("/>");
    } else {
      write_leaf(n);
    }
    // Move on: to the next sibling, or close finished elements upwards.
    for (;;) {
      if (n == start) return;
      if (const DOMNode* next = n->getNextSibling()) {
        n = next;
        break;
      }
      const DOMElement* e = open.back();
      open.pop_back();
      close_element(e, static_cast<int>(open.size()) + 1);
      n = e;
    }
  }
}

// Follows symbolic links to the file that is finally named.
std::string resolve_links(const std::string& path) {
  std::string cur = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(cur.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return cur;
    std::vector<char> buf(PATH_MAX + 1);
    ssize_t len = readlink(cur.c_str(), buf.data(), PATH_MAX);
    if (len <= 0) return cur;
    std::string target(buf.data(), static_cast<size_t>(len));
    if (target[0] != '/') {
      size_t slash = cur.rfind('/');
      if (slash != std::string::npos) target = cur.substr(0, slash + 1) + target;
    }
    cur = target;
  }
  return cur;
}

std::string directory_of(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

void set_error(std::string* error, const std::string& text) {
  if (error) *error = text;
}

// "sdr_save_flush" (default on): a saved file, and the directory entry
// that names it, are on disk before the save reports success, so that a
// power cut right after cannot cost the file. Off, the replacement stays
// atomic for this process (a crash or a full disk never leaves a partial
// file), but the system writes the data back in its own time.
bool save_flush_switch() {
  return cfg_is_on("sdr_save_flush", true);
}


// A temporary file in the target's directory that replaces the target
// when it is complete: written, flushed to disk and renamed over it. Until
// then the target is untouched; a temporary file not committed is removed.
class TEMP_TARGET {
 public:
  TEMP_TARGET() = default;
  ~TEMP_TARGET() { discard(); }
  TEMP_TARGET(const TEMP_TARGET&) = delete;
  TEMP_TARGET& operator=(const TEMP_TARGET&) = delete;

  // Creates the temporary file for path. False with the reason in *error.
  bool open(const char* path, std::string* error) {
    if (!path || !*path) {
      set_error(error, "no file name");
      return false;
    }
    m_flush = save_flush_switch();
    m_target = resolve_links(path);
    m_existed = stat(m_target.c_str(), &m_stat) == 0;
    if (m_existed) {
      if (!S_ISREG(m_stat.st_mode)) {
        set_error(error,
                  S_ISDIR(m_stat.st_mode) ? "the target is a directory" : "the target is not a regular file");
        return false;
      }
      if (access(m_target.c_str(), W_OK) != 0) {
        set_error(error, std::strerror(errno));
        return false;
      }
      m_mode = m_stat.st_mode & 07777;
    } else {
      mode_t mask = umask(0);
      umask(mask);
      m_mode = 0666 & ~mask;
    }
    m_dir = directory_of(m_target);
    size_t slash = m_target.rfind('/');
    std::string base = slash == std::string::npos ? m_target : m_target.substr(slash + 1);
    std::string tmp = m_dir + "/." + base + ".tmpXXXXXX";
    std::vector<char> tmpl(tmp.begin(), tmp.end());
    tmpl.push_back('\0');
    m_fd = mkostemp(tmpl.data(), O_CLOEXEC);
    if (m_fd < 0) {
      set_error(error, std::strerror(errno));
      return false;
    }
    m_tmp = tmpl.data();
    return true;
  }

  int fd() const { return m_fd; }
  // Whether commit flushes the file and its directory to disk.
  bool flushes() const { return m_flush; }

  // Writes bytes at the current end of the temporary file; 0 or an errno.
  int write_all(const char* p, size_t left) {
    while (left > 0) {
      ssize_t w = ::write(m_fd, p, left);
      if (w < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (w == 0) return ENOSPC;
      p += w;
      left -= static_cast<size_t>(w);
    }
    return 0;
  }

  // Gives the file the target's permissions, flushes it and renames it over
  // the target. On failure the temporary file is removed and the target
  // left as it was.
  bool commit(std::string* error) {
    int err = 0;
    if (fchmod(m_fd, m_mode) != 0) err = errno;
    if (!err && m_existed && geteuid() == 0) {
      if (fchown(m_fd, m_stat.st_uid, m_stat.st_gid) != 0) { /* keep our own ownership */
      }
    }
    if (!err && m_flush && fsync(m_fd) != 0) err = errno;
    if (close(m_fd) != 0 && !err) err = errno;
    m_fd = -1;
    // Replacing a large file makes the rename free its blocks, about a
    // third of a millisecond per megabyte; the library starts no thread to
    // hide that, so the caller pays it here.
    if (!err && rename(m_tmp.c_str(), m_target.c_str()) != 0) err = errno;
    if (err) {
      fail(err, error);
      return false;
    }
    m_tmp.clear();
    int dfd = m_flush ? ::open(m_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (dfd >= 0) {
      (void)fsync(dfd);
      close(dfd);
    }
    return true;
  }

  // Removes the temporary file and reports err.
  void fail(int err, std::string* error) {
    discard();
    set_error(error, std::strerror(err));
  }

  // Removes the temporary file.
  void discard() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
    if (!m_tmp.empty()) unlink(m_tmp.c_str());
    m_tmp.clear();
  }

 private:
  std::string m_target;
  std::string m_dir;
  std::string m_tmp;
  struct stat m_stat = {};
  bool m_existed = false;
  mode_t m_mode = 0;
  int m_fd = -1;
  bool m_flush = true;
};

}  // namespace

bool SDR_DATA_XML_WRITER::write(const DOMNode* node, std::string* out, std::string* error) {
  if (!SDR_CHECK(node != NULL) || !SDR_CHECK(out != NULL)) return false;
  WRITER w(out, -1);
  w.write_node(node);
  w.finish();
  if (w.failed()) set_error(error, w.error());
  return !w.failed();
}

bool SDR_DATA_XML_WRITER::is_writable_target(const char* path) {
  if (!path || !*path) return false;
  std::string target = resolve_links(path);
  struct stat st;
  if (stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return false;
    if (access(target.c_str(), W_OK) != 0) return false;
  }
  std::string dir = directory_of(target);
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(dir.c_str(), W_OK | X_OK) == 0;
}

bool SDR_DATA_XML_WRITER::write_file_bytes(const std::string& bytes, const char* path, std::string* error) {
  TEMP_TARGET file;
  if (!file.open(path, error)) return false;
  if (int err = file.write_all(bytes.data(), bytes.size())) {
    file.fail(err, error);
    return false;
  }
  return file.commit(error);
}

bool SDR_DATA_XML_WRITER::write_file(const DOMNode* node, const char* path, bool lock, std::string* error) {
  if (!SDR_CHECK(node != NULL)) return false;
  // The text goes straight into the temporary file; the target is replaced
  // only once all of it was written and flushed.
  TEMP_TARGET file;
  if (!file.open(path, error)) return false;
  WRITER w(nullptr, file.fd(), file.flushes());
  {
    SDR_WRITER_LOCK guard(lock);
    w.write_node(node);
    w.finish();
  }
  if (w.failed()) {
    file.discard();
    set_error(error, w.error());
    return false;
  }
  if (w.io_error()) {
    file.fail(w.io_error(), error);
    return false;
  }
  return file.commit(error);
}
