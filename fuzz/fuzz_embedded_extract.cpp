// Fuzz target: extraction of an embedded programming file whose "size"
// attribute and Base64 text come from the input.
//
// The input is split at its first line feed: the bytes before it are the
// "size" text, the bytes after it the element's content. The content is
// written as character data (markup characters escaped), unless it starts
// with the byte 0x01: then the rest goes into the element as it is, so that
// comments, CDATA sections, entity references and child elements can stand
// first. The document is declared ISO-8859-1, so that every byte from 0x80
// up is a character whose low 8 bits are that byte; control characters that
// XML does not allow are dropped (tab, line feed and carriage return are
// kept, as character references where white space would be normalised).
//
// The session is loaded from a file in the scratch folder and entry 0 is
// extracted there. The verdict and the bytes are compared with what the
// documented steps give when done here with the same third-party calls
// (strict decimal "size" capped by "sdr_max_embedded_mb", Xerces-C's RFC 2045
// Base64 decoding, zlib's uncompress into exactly "size" bytes):
//  - when extraction fails, no file exists at the target and the scratch
//    folder holds nothing but the input (no temporary file left behind);
//  - when it succeeds, the file holds exactly the reference bytes, at most
//    "size" of them;
//  - when the reference succeeds, extraction succeeds too, unless "size"
//    exceeds what the compressed data can expand to (1000 bytes per byte and
//    more), which the library may refuse before allocating.
// Then the stored sizes by index (get_embedded_bix_file_size_at) must be
// those of the document's entries, and after removing entry 0 the others
// must have moved down by one. Entries beyond the first come from the raw
// form ("</embedded_bix_file><embedded_bix_file size=...>").
// Run with -malloc_limit_mb so that an allocation sized from the document
// alone is caught (fuzz/run.sh does).
//
// Failures end the process with abort() after a line on stderr starting
// with "fuzz_embedded_extract: ".

#include <zlib.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/Base64.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include "cfg_service.h"
#include "fuzz_support.h"
#include "sdr_data_session.h"

using namespace xercesc;
using sdr_fuzz::check_internal_errors;
using sdr_fuzz::fail;

namespace {

// Extraction cap for this run ("sdr_max_embedded_mb"): small, so that inputs
// of a few KiB reach it.
const size_t CAP_MB = 1;
const size_t CAP = CAP_MB * 1024 * 1024;

sdr_fuzz::SCRATCH g_scratch;
std::string g_input;
std::string g_output;

void append_escaped(const uint8_t* p, size_t n, bool attribute, std::string* out) {
  for (size_t i = 0; i < n; ++i) {
    uint8_t c = p[i];
    switch (c) {
      case '&':
        *out += "&amp;";
        break;
      case '<':
        *out += "&lt;";
        break;
      case '>':
        *out += "&gt;";
        break;
      case '"':
        *out += "&quot;";
        break;
      case '\r':
        *out += "&#13;";
        break;
      case '\t':
        *out += attribute ? "&#9;" : "\t";
        break;
      case '\n':
        *out += attribute ? "&#10;" : "\n";
        break;
      default:
        if (c >= 0x20) out->push_back(static_cast<char>(c));
        break;
    }
  }
}

std::string make_document(const uint8_t* data, size_t size) {
  size_t split = 0;
  while (split < size && data[split] != '\n') ++split;
  const uint8_t* body = split < size ? data + split + 1 : data + size;
  size_t body_size = split < size ? size - split - 1 : 0;

  std::string doc =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
      "<session>\n"
      "  <embedded_bix_files>\n"
      "    <embedded_bix_file name=\"f.bix\" size=\"";
  append_escaped(data, split, true, &doc);
  doc += "\">";
  if (body_size > 0 && body[0] == 0x01) {
    doc.append(reinterpret_cast<const char*>(body + 1), body_size - 1);
  } else {
    append_escaped(body, body_size, false, &doc);
  }
  doc +=
      "</embedded_bix_file>\n"
      "  </embedded_bix_files>\n"
      "</session>\n";
  return doc;
}

// The "embedded_bix_file" children of the session's "embedded_bix_files",
// in document order.
std::vector<DOMElement*> entries_of(const SDR_DATA_SESSION& session) {
  static const XMLCh tag[] = {'e', 'm', 'b', 'e', 'd', 'd', 'e', 'd', '_',
                              'b', 'i', 'x', '_', 'f', 'i', 'l', 'e', 0};
  std::vector<DOMElement*> entries;
  DOMElement* files = session.get_embedded_files_element();
  for (DOMNode* n = files ? files->getFirstChild() : nullptr; n; n = n->getNextSibling()) {
    if (n->getNodeType() == DOMNode::ELEMENT_NODE && XMLString::equals(n->getNodeName(), tag))
      entries.push_back(static_cast<DOMElement*>(n));
  }
  return entries;
}

// get_embedded_bix_file_size_at as documented: decimal digits only, for a
// value from 1 to INT_MAX; else -1.
int reference_stored_size(const DOMElement* entry) {
  static const XMLCh name[] = {'s', 'i', 'z', 'e', 0};
  const XMLCh* text = entry->getAttribute(name);
  if (!text || !*text) return -1;
  long long value = 0;
  for (const XMLCh* c = text; *c; ++c) {
    if (*c < '0' || *c > '9') return -1;
    value = value * 10 + (*c - '0');
    if (value > INT_MAX) return -1;
  }
  return value >= 1 ? static_cast<int>(value) : -1;
}

// Sizes by index, then the index after removing entry 0.
void check_index(SDR_DATA_SESSION* session, const std::string& doc) {
  std::vector<DOMElement*> entries = entries_of(*session);
  int count = session->get_embedded_bix_file_count();
  if (count != static_cast<int>(entries.size()))
    fail("the entry count differs from the document",
         std::to_string(count) + " vs " + std::to_string(entries.size()));
  for (int i = 0; i <= count; ++i) {
    int expected = i < count ? reference_stored_size(entries[static_cast<size_t>(i)]) : -1;
    if (session->get_embedded_bix_file_size_at(i) != expected) {
      sdr_fuzz::print_text("document", doc);
      fail("get_embedded_bix_file_size_at differs from the stored size",
           "entry " + std::to_string(i) + ": " + std::to_string(session->get_embedded_bix_file_size_at(i)) +
               " vs " + std::to_string(expected));
    }
  }
  if (count == 0) return;
  if (!session->remove_embedded_bix_at(0)) fail("removing entry 0 failed");
  if (session->get_embedded_bix_file_count() != count - 1) fail("the count after a removal is wrong");
  for (int i = 0; i + 1 < count; ++i)
    if (session->get_embedded_bix_file_size_at(i) !=
        reference_stored_size(entries[static_cast<size_t>(i) + 1]))
      fail("the entries did not move down by one after a removal", std::to_string(i));
}

// The size as documented: decimal digits only, else 0; 0 beyond the cap.
size_t reference_size(const DOMElement* entry) {
  static const XMLCh name[] = {'s', 'i', 'z', 'e', 0};
  const XMLCh* text = entry->getAttribute(name);
  if (!text || !*text) return 0;
  size_t value = 0;
  for (const XMLCh* c = text; *c; ++c) {
    if (*c < '0' || *c > '9') return 0;
    value = value * 10 + static_cast<size_t>(*c - '0');
    if (value > CAP) return 0;
  }
  return value;
}

struct REFERENCE {
  bool ok = false;
  size_t size = 0;            // the "size" value as read
  size_t decoded_length = 0;  // the compressed bytes
  std::string bytes;
};

REFERENCE reference_extract(const DOMElement* entry) {
  REFERENCE r;
  r.size = reference_size(entry);
  const DOMNode* first = entry->getFirstChild();
  if (!first || first->getNodeType() != DOMNode::TEXT_NODE || r.size == 0) return r;
  std::string text;
  for (const XMLCh* c = first->getNodeValue(); c && *c; ++c) text.push_back(static_cast<char>(*c & 0xff));
  XMLSize_t length = 0;
  XMLByte* decoded = Base64::decode(reinterpret_cast<const XMLByte*>(text.c_str()), &length,
                                    XMLPlatformUtils::fgMemoryManager, Base64::Conf_RFC2045);
  if (!decoded) return r;
  r.decoded_length = length;
  if (length > 0) {
    std::string out(r.size, '\0');
    uLongf out_length = static_cast<uLongf>(r.size);
    int rc = uncompress(reinterpret_cast<Bytef*>(&out[0]), &out_length, decoded, static_cast<uLong>(length));
    if (rc == Z_OK) {
      out.resize(out_length);
      r.bytes.swap(out);
      r.ok = true;
    }
  }
  XMLPlatformUtils::fgMemoryManager->deallocate(decoded);
  return r;
}

void check_extract(SDR_DATA_SESSION* session, const std::string& doc) {
  std::vector<DOMElement*> entries = entries_of(*session);
  if (entries.empty()) fail("the session counts an entry that is not there");
  REFERENCE ref = reference_extract(entries[0]);

  bool ok = session->extract_bix_file(0, g_output.c_str());
  check_internal_errors("extracting");

  std::string listing = sdr_fuzz::list_dir(g_scratch.dir());
  std::string written;
  bool exists = sdr_fuzz::read_bytes(g_output, &written);
  if (!ok) {
    if (exists || sdr_fuzz::path_exists(g_output)) fail("a failed extraction left a file at the target");
    if (listing != "in.tzo") fail("a failed extraction left files behind", listing);
    bool refusable = ref.size > ref.decoded_length * 1000;
    if (ref.ok && !refusable) {
      sdr_fuzz::print_text("document", doc);
      fail("extraction failed where the documented steps succeed",
           "size " + std::to_string(ref.size) + ", " + std::to_string(ref.decoded_length) +
               " compressed bytes, " + std::to_string(ref.bytes.size()) + " bytes out");
    }
    return;
  }
  if (!exists) fail("a successful extraction wrote no file");
  if (!ref.ok) {
    sdr_fuzz::print_text("document", doc);
    fail("extraction succeeded where the documented steps fail", "size " + std::to_string(ref.size));
  }
  if (written.size() > ref.size) fail("the extracted file is larger than the stored size");
  if (written != ref.bytes) fail("the extracted bytes differ from the decoded and decompressed data");
  if (sdr_fuzz::list_dir(g_scratch.dir()).find(".tmp") != std::string::npos)
    fail("a temporary file was left behind", listing);
}

void run_one(const uint8_t* data, size_t size) {
  std::string doc = make_document(data, size);
  if (!sdr_fuzz::write_bytes(g_input, doc.data(), doc.size())) fail("cannot write the input file", g_input);
  unlink(g_output.c_str());

  SDR_DATA_SESSION session(g_input.c_str());
  check_internal_errors("loading");
  if (!session.get_name()) return;
  if (session.get_embedded_bix_file_count() > 0) check_extract(&session, doc);
  check_index(&session, doc);
  check_internal_errors("indexing");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sdr_fuzz::target_name() = "fuzz_embedded_extract";
  XMLPlatformUtils::Initialize();
  cfg_set_value("sdr_max_embedded_mb", std::to_string(CAP_MB).c_str());
  cfg_set_value("sdr_max_document_mb", "64");
  cfg_set_value("sdr_max_xml_depth", "200");
  cfg_set_value("sdr_max_xml_attributes", "100");
  cfg_set_value("sdr_max_entity_expansions", "1000");
  g_scratch.make("fuzz_embedded_extract");
  g_input = g_scratch.path("in.tzo");
  g_output = g_scratch.path("out.bix");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  run_one(data, size);
  sdr_fuzz::clear_records();
  return 0;
}
