// The document writer: a DOM node in the session file's layout, into a
// string or (crash-safe) into a file.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/dom/impl/DOMAttrImpl.hpp>
#include <xercesc/dom/impl/DOMAttrMapImpl.hpp>
#include <xercesc/dom/impl/DOMElementImpl.hpp>
#include <xercesc/dom/impl/DOMNodeVector.hpp>
#include <xercesc/dom/impl/DOMTextImpl.hpp>
#include <xercesc/util/XMLString.hpp>

#include "sdr_data_xml_file.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace xercesc;

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

// Direct reads of the DOM's own node classes. Going through the DOM
// interface costs several virtual calls per attribute (the map's item, the
// name, the value's text node, its data and length), which is most of the
// walk. Nodes of exactly these classes (what the loader, createElement,
// setAttribute and createTextNode make) are read through their members; a
// node of any other class, a derived one included, goes through the
// interface as before. The class is told by the address of its type
// information, without a call: when the addresses differ (a copy of the
// DOM's code linked in twice) every node simply takes the interface.
bool is_element_impl(const DOMNode* n) {
  return &typeid(*n) == &typeid(DOMElementImpl);
}
bool is_text_impl(const DOMNode* n) {
  return &typeid(*n) == &typeid(DOMTextImpl);
}
bool is_attr_impl(const DOMNode* n) {
  return &typeid(*n) == &typeid(DOMAttrImpl);
}

// The attribute list of an element's map; the member is not public.
struct ATTR_MAP_VIEW : DOMAttrMapImpl {
  static DOMNodeVector* nodes(const DOMAttrMapImpl* map) { return map->*(&ATTR_MAP_VIEW::fNodes); }
};

const DOMNode* first_child(const DOMNode* n) {
  if (is_element_impl(n)) return static_cast<const DOMElementImpl*>(n)->fParent.fFirstChild;
  return n->getFirstChild();
}

const DOMNode* next_sibling(const DOMNode* n) {
  const std::type_info* type = &typeid(*n);
  if (type == &typeid(DOMElementImpl)) return static_cast<const DOMElementImpl*>(n)->fChild.nextSibling;
  if (type == &typeid(DOMTextImpl)) return static_cast<const DOMTextImpl*>(n)->fChild.nextSibling;
  return n->getNextSibling();
}

DOMNode::NodeType node_type(const DOMNode* n) {
  const std::type_info* type = &typeid(*n);
  if (type == &typeid(DOMElementImpl)) return DOMNode::ELEMENT_NODE;
  if (type == &typeid(DOMTextImpl)) return DOMNode::TEXT_NODE;
  return n->getNodeType();
}

const XMLCh* node_name(const DOMNode* n) {
  if (is_element_impl(n)) return static_cast<const DOMElementImpl*>(n)->fName;
  return n->getNodeName();
}

// The text of a text node and its length.
const XMLCh* text_data(const DOMNode* n, size_t* length) {
  if (is_text_impl(n)) {
    const DOMCharacterDataImpl& data = static_cast<const DOMTextImpl*>(n)->fCharacterData;
    *length = data.getLength();
    return data.getData();
  }
  const DOMText* text = static_cast<const DOMText*>(n);
  *length = text->getLength();
  return text->getData();
}

// Reads ahead of a node of the document's memory, where the nodes that
// follow it were made (the loader makes them in document order); a hint
// only, harmless for memory laid out otherwise.
void read_ahead(const void* node) {
  const char* p = static_cast<const char*>(node) + 2048;
  __builtin_prefetch(p);
  __builtin_prefetch(p + 64);
  __builtin_prefetch(p + 128);
  __builtin_prefetch(p + 192);
}

// Where the written text goes, a buffer at a time.
class OUTPUT {
 public:
  virtual ~OUTPUT() = default;
  // Takes the n bytes at p; false when they could not be taken, after which
  // nothing more is handed on.
  virtual bool take(const char* p, size_t n) = 0;
};

class STRING_OUTPUT : public OUTPUT {
 public:
  explicit STRING_OUTPUT(std::string* out) : m_out(out) {}
  bool take(const char* p, size_t n) override {
    m_out->append(p, n);
    return true;
  }

 private:
  std::string* m_out;
};

// An open file. Its pages are handed to the disk a step at a time while the
// text is produced, whether or not the save is flushed at the end: a
// flushed save then has little left to wait for, and an unflushed one that
// replaces a file does not pay for the whole file at the rename (a file
// system that allocates blocks late writes the new file out there, in one
// go, so that the rename cannot expose an empty file after a crash). The
// data goes to the disk once either way; it only goes sooner.
class FILE_OUTPUT : public OUTPUT {
 public:
  explicit FILE_OUTPUT(int fd) : m_fd(fd) {}
  // The errno of a failed write, or 0.
  int error() const { return m_error; }

  bool take(const char* p, size_t n) override {
    while (n > 0) {
      ssize_t w = ::write(m_fd, p, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        m_error = errno;
        return false;
      }
      if (w == 0) {
        m_error = ENOSPC;
        return false;
      }
      p += w;
      n -= static_cast<size_t>(w);
      m_written += static_cast<size_t>(w);
    }
#ifdef SYNC_FILE_RANGE_WRITE
    if (m_written - m_kicked >= WRITE_BACK_STEP) {
      (void)sync_file_range(m_fd, static_cast<off_t>(m_kicked), static_cast<off_t>(m_written - m_kicked),
                            SYNC_FILE_RANGE_WRITE);
      m_kicked = m_written;
    }
#endif
    return true;
  }

 private:
  static constexpr size_t WRITE_BACK_STEP = 4 << 20;
  int m_fd;
  int m_error = 0;
  size_t m_written = 0;
  size_t m_kicked = 0;
};

class WRITER {
 public:
  // The text goes to out through a buffer of BUFFER_SIZE bytes.
  explicit WRITER(OUTPUT* out)
      : m_out(out),
        m_buffer(new char[BUFFER_SIZE]),
        m_pos(m_buffer.get()),
        m_end(m_buffer.get() + BUFFER_SIZE) {}

  bool failed() const { return !m_error.empty(); }
  const std::string& error() const { return m_error; }

  void write_node(const DOMNode* start);
  // Hands the buffered text on; call once the node is written.
  void finish() { drain(); }

 private:
  static constexpr size_t BUFFER_SIZE = 64 * 1024;
  // Spare bytes behind the text that emit may store over.
  static constexpr size_t SLACK = 16;

  // Hands the buffered text to the output. Once the text is known to be
  // unwritable, or the output failed, nothing more is handed on.
  void drain() {
    size_t n = static_cast<size_t>(m_pos - m_buffer.get());
    m_pos = m_buffer.get();
    if (n == 0 || m_out_failed || failed()) return;
    if (!m_out->take(m_buffer.get(), n)) m_out_failed = true;
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
  void put(const char* s) { put(s, std::strlen(s)); }
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

#if defined(__SSE2__)
  // The characters of the 16-byte block b that need a look in some
  // context: a bit per byte. Packing turns every non-ASCII character into
  // 0x00 or 0xFF, so one signed comparison finds those and the control
  // characters.
  static unsigned special_bits(__m128i b) {
    __m128i bad = _mm_cmplt_epi8(b, _mm_set1_epi8(0x20));
    bad = _mm_or_si128(bad, _mm_cmpeq_epi8(b, _mm_set1_epi8('&')));
    bad = _mm_or_si128(bad, _mm_cmpeq_epi8(b, _mm_set1_epi8('<')));
    bad = _mm_or_si128(bad, _mm_cmpeq_epi8(b, _mm_set1_epi8('>')));
    bad = _mm_or_si128(bad, _mm_cmpeq_epi8(b, _mm_set1_epi8('"')));
    return static_cast<unsigned>(_mm_movemask_epi8(bad));
  }
  static __m128i pack16(const XMLCh* p) {
    return _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)));
  }
  static __m128i pack8(const XMLCh* p) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm_packus_epi16(a, a);
  }
  static __m128i pack4(const XMLCh* p) {
    __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_packus_epi16(a, a);
  }

  // Copies the plain characters at the start of the n at p (n at least 4)
  // into the buffer, which has room for n + SLACK bytes; returns how many
  // were copied. Blocks are stored whole; the last one ends at the text's
  // end and starts in characters already copied.
  size_t put_plain(const XMLCh* p, size_t n) {
    char* const d = m_pos;
    size_t done = n;
    if (n >= 16) {
      size_t i = 0;
      for (; i + 16 <= n; i += 16) {
        __m128i b = pack16(p + i);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), b);
        if (unsigned bits = special_bits(b)) {
          done = i + static_cast<size_t>(__builtin_ctz(bits));
          break;
        }
      }
      if (done == n && i < n) {
        __m128i b = pack16(p + n - 16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + n - 16), b);
        if (unsigned bits = special_bits(b)) done = n - 16 + static_cast<size_t>(__builtin_ctz(bits));
      }
    } else {
      const size_t w = n >= 8 ? 8 : 4;
      __m128i b = w == 8 ? pack8(p) : pack4(p);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d), b);
      const unsigned low = (1u << w) - 1;
      if (unsigned bits = special_bits(b) & low) {
        done = static_cast<size_t>(__builtin_ctz(bits));
      } else if (n > w) {
        b = w == 8 ? pack8(p + n - w) : pack4(p + n - w);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + n - w), b);
        if (unsigned tail = special_bits(b) & low) done = n - w + static_cast<size_t>(__builtin_ctz(tail));
      }
    }
    m_pos = d + done;
    return done;
  }
#endif

  // Writes an attribute's value or other short text: plain ASCII through
  // put_plain, the rest (and long texts) through emit.
  __attribute__((always_inline)) void emit_short(const XMLCh* p, size_t n, ESC mode) {
#if defined(__SSE2__)
    if (n >= 4 && n <= 256 && static_cast<size_t>(m_end - m_pos) >= n + SLACK) {
      const size_t done = put_plain(p, n);
      if (done == n) return;
      p += done;
      n -= done;
    }
#endif
    emit(p, n, mode);
  }

  // Writes the n characters at p. Plain ASCII is copied into the buffer
  // while it is scanned; anything else is escaped, written as a character
  // reference or refused.
  void emit(const XMLCh* p, size_t n, ESC mode) {
    const unsigned char* table = mode == ESC::ATTR ? g_esc.attr : mode == ESC::TEXT ? g_esc.text : g_esc.raw;
    const XMLCh* const end = p + n;
    // The characters from run to p went into the buffer one byte each and
    // are still there: a block may start among them and write them again.
    const XMLCh* run = p;
    char* d = m_pos;
    while (p < end) {
      if (static_cast<size_t>(m_end - d) < 2 * SLACK) {
        m_pos = d;
        drain();
        d = m_pos;
        run = p;
      }
      // Blocks are stored whole, so SLACK bytes past the room are spare;
      // an escape also fits there.
      const size_t room = static_cast<size_t>(m_end - d) - SLACK;
      const XMLCh* const stop =
          p + (static_cast<size_t>(end - p) < room ? static_cast<size_t>(end - p) : room);
      while (p < stop) {
#if defined(__SSE2__)
        // Sixteen characters at a time; the last block of a run ends at
        // its end and starts among characters already written.
        if (stop - p >= 16) {
          __m128i b = pack16(p);
          _mm_storeu_si128(reinterpret_cast<__m128i*>(d), b);
          unsigned bits = special_bits(b);
          if (!bits) {
            p += 16;
            d += 16;
            continue;
          }
          const unsigned k = static_cast<unsigned>(__builtin_ctz(bits));
          p += k;
          d += k;
        } else if (stop - run >= 16) {
          const size_t back = 16 - static_cast<size_t>(stop - p);
          __m128i b = pack16(stop - 16);
          _mm_storeu_si128(reinterpret_cast<__m128i*>(d - back), b);
          // The characters written again may be ones flagged here but
          // plain in this context (a quote in a text).
          unsigned bits = special_bits(b) & ~((1u << back) - 1);
          const size_t k = (bits ? static_cast<size_t>(__builtin_ctz(bits)) : 16) - back;
          p += k;
          d += k;
          if (p == stop) break;
        }
#endif
        // One character: plain in this context, or one to escape.
        const unsigned c = *p;
        if (c >= 0x80 || table[c]) break;
        *d++ = static_cast<char>(c);
        ++p;
      }
      if (p == end) break;
      if (p == stop) continue;
      switch (*p) {
        case '&':
          std::memcpy(d, "&amp;", 5);
          d += 5;
          break;
        case '<':
          std::memcpy(d, "&lt;", 4);
          d += 4;
          break;
        case '>':
          std::memcpy(d, "&gt;", 4);
          d += 4;
          break;
        case '"':
          std::memcpy(d, "&quot;", 6);
          d += 6;
          break;
        default:
          m_pos = d;
          p = special(p, end, mode);
          d = m_pos;
          run = p;
          continue;
      }
      ++p;
      run = p;
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

  // parent: the element's parent node (the walk knows it; asking the DOM
  // costs a run-time type look-up per node).
  void open_element(const DOMElement* e, const DOMNode* parent, int depth) {
    if (!parent || node_type(parent) != DOMNode::DOCUMENT_NODE) indent(depth);
    put('<');
    if (!is_element_impl(e)) {
      put_name(e->getTagName(), m_names.get(), false);
      write_attributes(e->getAttributes());
      return;
    }
    const DOMElementImpl* impl = static_cast<const DOMElementImpl*>(e);
    put_name(impl->fName, m_names.get(), false);
    const DOMAttrMapImpl* map = impl->fAttributes;
    DOMNodeVector* list = map ? ATTR_MAP_VIEW::nodes(map) : nullptr;
    const XMLSize_t n = list ? list->size() : 0;
    for (XMLSize_t i = 0; i < n; ++i) {
      const DOMNode* a = list->elementAt(i);
      read_ahead(a);
      if (!is_attr_impl(a)) {
        write_attribute(a);
        continue;
      }
      const DOMAttrImpl* attr = static_cast<const DOMAttrImpl*>(a);
      const DOMNode* first = attr->fParent.fFirstChild;
      if (!first || !is_text_impl(first) || static_cast<const DOMTextImpl*>(first)->fChild.nextSibling) {
        write_attribute(a);
        continue;
      }
      const DOMCharacterDataImpl& value = static_cast<const DOMTextImpl*>(first)->fCharacterData;
      put_name(attr->fName, m_attr_names.get(), true);
      emit_short(value.getData(), value.getLength(), ESC::ATTR);
      put('"');
    }
  }

  void write_attributes(const DOMNamedNodeMap* attrs) {
    const XMLSize_t n = attrs ? attrs->getLength() : 0;
    for (XMLSize_t i = 0; i < n; ++i) write_attribute(attrs->item(i));
  }

  void write_attribute(const DOMNode* a) {
    put_name(a->getNodeName(), m_attr_names.get(), true);
    emit_value(a);
    put('"');
  }

  void close_element(const DOMElement* e, int depth) {
    const XMLCh* name = node_name(e);
    if (!XMLString::equals(name, DATA_TAG)) indent(depth);
    put("</", 2);
    put_name(name, m_names.get(), false);
    put('>');
  }

  void write_leaf(const DOMNode* n, const DOMNode* parent);

  static constexpr size_t NAME_SLOTS = 256;
  static constexpr size_t NAME_BYTES = 48;
  struct NAME_SLOT;

  // Writes a tag name, or an attribute's name with its blank before and
  // its =" after (attribute true): from the name cache when it is there,
  // else checked and escaped as any name (and cached when it is plain ASCII
  // and short).
  __attribute__((always_inline)) void put_name(const XMLCh* name, NAME_SLOT* slots, bool attribute) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(name);
    NAME_SLOT& slot = slots[((at >> 3) ^ (at >> 11)) % NAME_SLOTS];
    if (slot.key == name && name && static_cast<size_t>(m_end - m_pos) >= NAME_BYTES) {
      // A fixed-size copy (no call); only the name's bytes count.
      std::memcpy(m_pos, slot.bytes, NAME_BYTES);
      m_pos += slot.length;
      return;
    }
    put_name_slow(name, slot, attribute);
  }

  __attribute__((noinline)) void put_name_slow(const XMLCh* name, NAME_SLOT& slot, bool attribute) {
    if (!name) {
      if (attribute) put(" =\"", 3);
      return;
    }
    if (slot.key != name) {
      const size_t lead = attribute ? 1 : 0;
      const size_t most = NAME_BYTES - (attribute ? 3 : 0);
      size_t n = 0;
      for (; n < most && name[n]; ++n) {
        const XMLCh c = name[n];
        if (c >= 0x80 || g_esc.raw[c]) break;
        slot.bytes[lead + n] = static_cast<char>(c);
      }
      if (name[n] != 0) {
        slot.key = nullptr;
        if (attribute) put(' ');
        emit(name, ESC::NAME);
        if (attribute) put("=\"", 2);
        return;
      }
      if (attribute) {
        slot.bytes[0] = ' ';
        slot.bytes[n + 1] = '=';
        slot.bytes[n + 2] = '"';
        n += 3;
      }
      slot.key = name;
      slot.length = static_cast<unsigned char>(n);
    }
    put(slot.bytes, slot.length);
  }

  // Writes an attribute's value. A value held in one text node (what the
  // parser and setAttribute make) knows its length.
  void emit_value(const DOMNode* attr) {
    const DOMNode* first = attr->getFirstChild();
    if (first && !next_sibling(first) && node_type(first) == DOMNode::TEXT_NODE) {
      size_t length;
      const XMLCh* text = text_data(first, &length);
      emit(text, length, ESC::ATTR);
      return;
    }
    emit(attr->getNodeValue(), ESC::ATTR);
  }

  OUTPUT* m_out;
  bool m_out_failed = false;
  std::unique_ptr<char[]> m_buffer;
  char* m_pos;
  char* m_end;
  std::string m_error;

  // Tag and attribute names already written, by the address of their text.
  // The document keeps one copy of each name, so a name is checked and
  // widened once per write; nothing changes the document while it is
  // written, so an address names one text throughout.
  struct NAME_SLOT {
    const XMLCh* key = nullptr;
    unsigned char length = 0;
    char bytes[NAME_BYTES] = {};
  };
  std::unique_ptr<NAME_SLOT[]> m_names{new NAME_SLOT[NAME_SLOTS]};
  std::unique_ptr<NAME_SLOT[]> m_attr_names{new NAME_SLOT[NAME_SLOTS]};
};

void WRITER::write_leaf(const DOMNode* n, const DOMNode* parent) {
  switch (node_type(n)) {
    case DOMNode::TEXT_NODE: {
      size_t len;
      const XMLCh* text = text_data(n, &len);
      if (is_white_space(text)) break;
      // Where the writer puts its own line feed and indentation after a
      // text (before an element, or before a closing tag other than that
      // of "data"), white space that a loaded file had there is dropped, so
      // that saving a reloaded document does not grow it. The sample text
      // of "data" stays verbatim.
      // The node knows its length: a sample text is not scanned for it.
      size_t end = len;
      while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\n' ||
                         text[end - 1] == '\r'))
        --end;
      // White-space-only texts are not written, so look past them.
      const DOMNode* next = next_sibling(n);
      size_t next_length;
      while (next && node_type(next) == DOMNode::TEXT_NODE && is_white_space(text_data(next, &next_length)))
        next = next_sibling(next);
      bool in_data = parent && XMLString::equals(node_name(parent), DATA_TAG);
      bool line_break_follows = next ? node_type(next) == DOMNode::ELEMENT_NODE : !in_data;
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
        // Declarations take no character references, so a character beyond
        // ASCII is refused; a carriage return (made only by a reference in a
        // literal) goes back as one, or the next load would read a line feed.
        put('[');
        const XMLCh* piece = subset;
        for (const XMLCh* p = subset;; ++p) {
          if (*p >= 0x80) fail("the document type declaration's character", *p);
          if (*p != '\r' && *p != 0) continue;
          emit(piece, static_cast<size_t>(p - piece), ESC::RAW);
          if (*p == 0) break;
          char_ref('\r');
          piece = p + 1;
        }
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
    if (node_type(n) == DOMNode::ELEMENT_NODE) {
      const DOMElement* e = static_cast<const DOMElement*>(n);
      open_element(e, open.empty() ? n->getParentNode() : open.back(), static_cast<int>(open.size()) + 1);
      if (const DOMNode* first = first_child(e)) {
        put('>');
        open.push_back(e);
        n = first;
        continue;
      }
      put("/>");
    } else {
      write_leaf(n, open.empty() ? n->getParentNode() : open.back());
    }
    // Move on: to the next sibling, or close finished elements upwards.
    for (;;) {
      if (n == start) return;
      if (const DOMNode* next = next_sibling(n)) {
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

// About the number of bytes the writer makes of the subtree at start, not
// counting attributes: the characters of texts with the markup and
// indentation around them, before escaping. A string that receives the text
// is reserved once from it: grown by doubling, a document of large texts
// (captured samples) would touch three times its size in fresh memory.
// Attributes are left out because reading them costs about as much as
// writing them; a document made mostly of attributes grows its string as
// it goes, in steps that the heap recycles.
size_t estimate_size(const DOMNode* start) {
  size_t total = 0;
  std::vector<const DOMNode*> open;
  const DOMNode* n = start;
  for (;;) {
    const DOMNode::NodeType type = n->getNodeType();
    if (type == DOMNode::ELEMENT_NODE || type == DOMNode::DOCUMENT_NODE) {
      if (type == DOMNode::ELEMENT_NODE)
        total += 2 * XMLString::stringLen(n->getNodeName()) + 6 + 4 * open.size();
      if (const DOMNode* first = n->getFirstChild()) {
        open.push_back(n);
        n = first;
        continue;
      }
    } else if (type == DOMNode::TEXT_NODE || type == DOMNode::CDATA_SECTION_NODE ||
               type == DOMNode::COMMENT_NODE) {
      total += 12 + static_cast<const DOMCharacterData*>(n)->getLength();
    } else {
      total += 64;
    }
    for (;;) {
      if (n == start) return total;
      if (const DOMNode* next = n->getNextSibling()) {
        n = next;
        break;
      }
      n = open.back();
      open.pop_back();
    }
  }
}

}  // namespace

bool SDR_DATA_XML_WRITER::write(const DOMNode* node, std::string* out, std::string* error) {
  if (!SDR_CHECK(node != NULL) || !SDR_CHECK(out != NULL)) return false;
  // Escapes may make the text a little longer than the estimate.
  const size_t estimate = estimate_size(node);
  try {
    out->reserve(out->size() + estimate + estimate / 16 + 4096);
  } catch (const std::exception&) {
    // The string then grows as it goes.
  }
  STRING_OUTPUT output(out);
  WRITER w(&output);
  w.write_node(node);
  w.finish();
  if (w.failed()) sdr_set_error(error, w.error());
  return !w.failed();
}

bool SDR_DATA_XML_WRITER::write_file(const DOMNode* node, const char* path, bool lock, std::string* error) {
  if (!SDR_CHECK(node != NULL)) return false;
  // The text goes straight into the temporary file; the target is replaced
  // only once all of it was written and flushed.
  SDR_TEMP_TARGET file;
  if (!file.open(path, error)) return false;
  FILE_OUTPUT output(file.fd());
  WRITER w(&output);
  {
    SDR_WRITER_LOCK guard(lock);
    w.write_node(node);
    w.finish();
  }
  if (w.failed()) {
    file.discard();
    sdr_set_error(error, w.error());
    return false;
  }
  if (output.error()) {
    file.fail(output.error(), error);
    return false;
  }
  return file.commit(error);
}
