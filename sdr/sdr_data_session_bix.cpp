// Programming files embedded in a session document: zlib-compressed bytes
// stored as Base64 text in "embedded_bix_file" elements.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <climits>
#include <cstdint>
#include <new>
#include <string>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/Base64.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>

#include "cfg_service.h"
#include "sdr_data_session.h"
#include "sdr_data_xml_load.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"

using namespace xercesc;

namespace {

const char* const FILES_TAG = "embedded_bix_files";
const char* const FILE_TAG = "embedded_bix_file";

// zlib's deflate cannot expand data by more than about 1032:1; a stored size
// beyond that bound for the compressed data in hand is a lie.
const size_t MAX_EXPANSION = 1032;
const size_t EXPANSION_SLACK = 64;

// The largest file that may be embedded or extracted, in bytes.
size_t embedded_size_cap() {
  int mb = cfg_get_int("sdr_max_embedded_mb", 1024);
  if (mb < 1) mb = 1024;
  return static_cast<size_t>(mb) * 1024u * 1024u;
}

// A stored "size": decimal digits only, at most cap. False for anything
// else.
bool read_size(const std::string& text, size_t cap, size_t* value) {
  if (text.empty()) return false;
  size_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    size_t digit = static_cast<size_t>(c - '0');
    if (n > (SIZE_MAX - digit) / 10) return false;
    n = n * 10 + digit;
  }
  if (n > cap) return false;
  *value = n;
  return true;
}

// A stored "size" as read_size takes it; anything else reads as 0.
size_t parse_size(const std::string& text, size_t cap) {
  size_t value = 0;
  return read_size(text, cap, &value) ? value : 0;
}

// The most bytes that compressed_length bytes of zlib data can expand to.
size_t expansion_bound(size_t compressed_length) {
  if (compressed_length > (SIZE_MAX - EXPANSION_SLACK) / MAX_EXPANSION) return SIZE_MAX;
  return compressed_length * MAX_EXPANSION + EXPANSION_SLACK;
}

int trace_int(size_t value) {
  return value > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

// Memory handed out by the Base64 coder, released with the manager that
// allocated it.
class XML_BYTES {
 public:
  XML_BYTES() = default;
  ~XML_BYTES() {
    if (m_bytes) XMLPlatformUtils::fgMemoryManager->deallocate(m_bytes);
  }
  XML_BYTES(const XML_BYTES&) = delete;
  XML_BYTES& operator=(const XML_BYTES&) = delete;
  void reset(XMLByte* bytes) {
    if (m_bytes) XMLPlatformUtils::fgMemoryManager->deallocate(m_bytes);
    m_bytes = bytes;
  }
  XMLByte* get() const { return m_bytes; }

 private:
  XMLByte* m_bytes = nullptr;
};

// Returns the compressed bytes of data, or false after reporting the
// failure.
bool compress_bytes(const std::string& data, std::string* out) {
  uLong bound = compressBound(static_cast<uLong>(data.size()));
  out->assign(static_cast<size_t>(bound), '\0');
  uLongf length = bound;
  int rc = compress(reinterpret_cast<Bytef*>(&(*out)[0]), &length,
                    reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()));
  if (!SDR_CHECK_AS(rc == Z_OK && length > 0, "BIX file compression failed")) return false;
  out->resize(static_cast<size_t>(length));
  return true;
}

// Reads a regular, non-empty file of at most cap bytes. Returns false
// without a report when the file is missing, unreadable, empty or too large.
bool read_source(const char* filename, size_t cap, std::string* bytes) {
  struct stat st;
  if (stat(filename, &st) != 0) return false;
  if (!S_ISREG(st.st_mode) || st.st_size <= 0) return false;
  size_t size = static_cast<size_t>(st.st_size);
  if (static_cast<uintmax_t>(st.st_size) > cap) return false;
  int fd = ::open(filename, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);

  std::string error;
  bool ok = sdr_read_file(filename, bytes, &error);
  // The file opened but could not be read in full.
  if (!SDR_CHECK_AS(ok && bytes->size() >= size,
                    "Serious I/O error or a possibly recoverable I/O formatting error"))
    return false;
  // A file that grew meanwhile is taken at the size it had.
  bytes->resize(size);
  return true;
}

// The key of the mark an "embedded_bix_files" element carries while a
// session's index of its entries is valid: "sdr.bix_index".
const XMLCh BIX_INDEX_MARK[] = {'s', 'd', 'r', '.', 'b', 'i', 'x', '_', 'i', 'n', 'd', 'e', 'x', 0};

// The entry at index found by walking the children, for when no index can
// be built; counts the entries when index is negative.
DOMElement* walk_to_entry(const DOMElement* files, int index, int* count) {
  SDR_XSTR tag(FILE_TAG);
  int i = 0;
  for (DOMElement* e = find_child_element(files, tag.x()); e; e = find_next_sibling_element(e, tag.x())) {
    if (i++ == index) return e;
  }
  if (count) *count = i;
  return nullptr;
}

}  // namespace

// ------------------------------------------------------------------ lookup

bool SDR_DATA_SESSION::is_bix_index_current() const {
  if (!m_bix_index_built || !m_embedded_files) return false;
  if (m_bix_index_owner != m_embedded_files || m_bix_index_generation != m_bix_generation) return false;
  if (m_embedded_files->getFirstChild() != m_bix_index_first ||
      m_embedded_files->getLastChild() != m_bix_index_last)
    return false;
  // An element at the same address in a document loaded since has no mark.
  return m_embedded_files->getUserData(BIX_INDEX_MARK) == static_cast<const void*>(this);
}

bool SDR_DATA_SESSION::rebuild_bix_index() const {
  m_bix_index_built = false;
  m_bix_index.clear();
  if (!m_embedded_files) return false;
  const bool built = SDR_GUARDED(false, [&] {
    SDR_XSTR tag(FILE_TAG);
    for (DOMElement* e = find_child_element(m_embedded_files, tag.x()); e;
         e = find_next_sibling_element(e, tag.x()))
      m_bix_index.push_back(e);
    m_embedded_files->setUserData(BIX_INDEX_MARK, const_cast<SDR_DATA_SESSION*>(this), nullptr);
    return true;
  });
  if (!built) {
    m_bix_index.clear();
    return false;
  }
  m_bix_index_owner = m_embedded_files;
  m_bix_index_first = m_embedded_files->getFirstChild();
  m_bix_index_last = m_embedded_files->getLastChild();
  m_bix_index_generation = m_bix_generation;
  m_bix_index_built = true;
  return true;
}

// Called after an entry was appended (added) or the entry at removed_index
// was taken out. An index that was current before the change is brought up
// to date; any other is rebuilt on the next access.
void SDR_DATA_SESSION::note_bix_index_change(bool was_current, DOMElement* added, int removed_index) {
  ++m_bix_generation;
  if (!was_current || !m_embedded_files) return;
  if (added) {
    try {
      m_bix_index.push_back(added);
    } catch (const std::bad_alloc&) {
      m_bix_index_built = false;
      return;
    }
  } else {
    m_bix_index.erase(m_bix_index.begin() + removed_index);
  }
  m_bix_index_first = m_embedded_files->getFirstChild();
  m_bix_index_last = m_embedded_files->getLastChild();
  m_bix_index_generation = m_bix_generation;
}

DOMElement* SDR_DATA_SESSION::get_dom_node_embedded_bix_at(int index) const {
  if (index < 0 || !m_embedded_files) return nullptr;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!is_bix_index_current() && !rebuild_bix_index()) break;
    if (static_cast<size_t>(index) >= m_bix_index.size()) return nullptr;
    DOMElement* entry = m_bix_index[static_cast<size_t>(index)];
    // Within the document that the mark vouches for, a removed element's
    // memory stays with the document, so asking for its parent is safe.
    if (entry->getParentNode() == m_embedded_files) return entry;
    // Entries were removed behind this session's back.
    m_bix_index_built = false;
  }
  try {
    return walk_to_entry(m_embedded_files, index, nullptr);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int SDR_DATA_SESSION::get_embedded_bix_file_count() const {
  if (!m_embedded_files) return 0;
  if (is_bix_index_current() || rebuild_bix_index()) return static_cast<int>(m_bix_index.size());
  int count = 0;
  try {
    walk_to_entry(m_embedded_files, -1, &count);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return count;
}

int SDR_DATA_SESSION::get_embedded_bix_file_size_at(int index) const {
  DOMElement* entry = get_dom_node_embedded_bix_at(index);
  if (!entry) return -1;
  size_t size = 0;
  try {
    if (!read_size(sdr_get_attribute(entry, "size"), static_cast<size_t>(INT_MAX), &size) || size == 0)
      return -1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return static_cast<int>(size);
}

// ----------------------------------------------------------------- embedding

bool SDR_DATA_SESSION::embed_bix_file(const char* filename, const char* embedded_name) {
  if (!SDR_CHECK_AS(filename && embedded_name, "filename != NULL && embedded_name != NULL")) return false;
  if (!m_document || !m_root) return false;
  return SDR_GUARDED(false, [&]() -> bool {
    std::string data;
    if (!read_source(filename, embedded_size_cap(), &data)) return false;

    std::string compressed;
    if (!compress_bytes(data, &compressed)) return false;

    XMLSize_t encoded_length = 0;
    XML_BYTES encoded;
    encoded.reset(Base64::encode(reinterpret_cast<const XMLByte*>(compressed.data()), compressed.size(),
                                 &encoded_length, XMLPlatformUtils::fgMemoryManager));
    if (!encoded.get() || encoded_length == 0) return false;

    msg_local_vdebug(
        "SDR",
        "Compress file %s of size %d byte into size %d byte, then into base64 representation of %d size",
        filename, trace_int(data.size()), trace_int(compressed.size()), trace_int(encoded_length));
    size_t data_size = data.size();
    data.clear();
    data.shrink_to_fit();
    compressed.clear();
    compressed.shrink_to_fit();

    // The Base64 alphabet is ASCII, so each byte is one character.
    std::basic_string<XMLCh> text(encoded_length, 0);
    for (XMLSize_t i = 0; i < encoded_length; ++i) text[i] = static_cast<XMLCh>(encoded.get()[i]);
    encoded.reset(nullptr);

    const bool index_was_current = is_bix_index_current();
    // Build the entry completely before anything is attached.
    DOMElement* entry = m_document->createElement(SDR_XSTR(FILE_TAG));
    try {
      sdr_set_attribute(entry, "name", embedded_name);
      sdr_set_attribute(entry, "size", std::to_string(data_size).c_str());
      entry->appendChild(m_document->createTextNode(text.c_str()));
      text.clear();
      text.shrink_to_fit();
      if (m_embedded_files) {
        m_embedded_files->appendChild(entry);
      } else {
        DOMElement* files = m_document->createElement(SDR_XSTR(FILES_TAG));
        try {
          files->appendChild(entry);
          m_root->appendChild(files);
        } catch (...) {
          if (entry->getParentNode() == files) files->removeChild(entry);
          files->release();
          throw;
        }
        m_embedded_files = files;
      }
    } catch (...) {
      if (!entry->getParentNode()) entry->release();
      throw;
    }
    note_bix_index_change(index_was_current, entry, -1);
    return true;
  });
}

// ---------------------------------------------------------------- extracting

bool SDR_DATA_SESSION::extract_bix_file(int index, const char* filename) {
  DOMElement* entry = get_dom_node_embedded_bix_at(index);
  if (!SDR_CHECK_AS(entry != nullptr, "Embedded bix file index mismatch")) return false;
  if (!SDR_CHECK(filename != NULL)) return false;
  return SDR_GUARDED(false, [&]() -> bool {
    size_t cap = embedded_size_cap();
    size_t size = parse_size(sdr_get_attribute(entry, "size"), cap);
    DOMNode* first = entry->getFirstChild();
    if (!first || first->getNodeType() != DOMNode::TEXT_NODE || size == 0) return false;

    // The text's characters as bytes (low 8 bits), zero-terminated.
    const XMLCh* chars = first->getNodeValue();
    std::string text;
    for (const XMLCh* c = chars; c && *c; ++c) text.push_back(static_cast<char>(*c & 0xff));
    XMLSize_t decoded_length = 0;
    XML_BYTES decoded;
    decoded.reset(Base64::decode(reinterpret_cast<const XMLByte*>(text.c_str()), &decoded_length,
                                 XMLPlatformUtils::fgMemoryManager, Base64::Conf_RFC2045));
    text.clear();
    text.shrink_to_fit();
    if (!decoded.get() || decoded_length == 0) return false;

    // Refuse a size the data cannot expand to before allocating it.
    if (size > expansion_bound(decoded_length)) return false;

    std::string bytes(size, '\0');
    uLongf length = static_cast<uLongf>(size);
    int rc = uncompress(reinterpret_cast<Bytef*>(&bytes[0]), &length, decoded.get(),
                        static_cast<uLong>(decoded_length));
    decoded.reset(nullptr);
    if (rc != Z_OK) return false;
    // A stored size larger than the data: zlib's checksum vouches for the
    // bytes it produced.
    bytes.resize(static_cast<size_t>(length));

    return SDR_DATA_XML_WRITER::write_file_bytes(bytes, filename, nullptr);
  });
}

// ------------------------------------------------------------ entry texts

const char* SDR_DATA_SESSION::get_embedded_bix_filename_at(int index) const {
  DOMElement* entry = get_dom_node_embedded_bix_at(index);
  if (!entry || !sdr_has_attribute(entry, "name")) return nullptr;
  m_embedded_name_text = sdr_get_attribute(entry, "name");
  return m_embedded_name_text.c_str();
}

const char* SDR_DATA_SESSION::get_embedded_bix_inst_id_crc_at(int index) const {
  DOMElement* entry = get_dom_node_embedded_bix_at(index);
  if (!entry || !sdr_has_attribute(entry, "id_crc_pairs")) return nullptr;
  m_embedded_id_crc_text = sdr_get_attribute(entry, "id_crc_pairs");
  return m_embedded_id_crc_text.c_str();
}

bool SDR_DATA_SESSION::rename_embedded_bix_filename_at(int index, const char* new_embedded_name) {
  if (!SDR_CHECK(new_embedded_name != NULL)) return false;
  DOMElement* entry = get_dom_node_embedded_bix_at(index);
  if (!entry) return false;
  sdr_set_attribute(entry, "name", new_embedded_name);
  return true;
}

bool SDR_DATA_SESSION::set_embedded_bix_inst_id_crc_at(int index, const char* inst_id_crc_str) {
  if (!SDR_CHECK(inst_id_crc_str != NULL)) return false;
  DOMElement* entry = get_dom_node_embedded_bix_at(index);
  if (!entry) return false;
  sdr_set_attribute(entry, "id_crc_pairs", inst_id_crc_str);
  return true;
}

bool SDR_DATA_SESSION::remove_embedded_bix_at(int index) {
  DOMElement* entry = get_dom_node_embedded_bix_at(index);
  if (!entry) return false;
  const bool index_was_current = is_bix_index_current() && m_bix_index[static_cast<size_t>(index)] == entry;
  m_embedded_files->removeChild(entry);
  entry->release();
  note_bix_index_change(index_was_current, nullptr, index);
  return true;
}
