#include "sdr_data_session.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <cstdio>
#include <cstring>
#include <string>

#include "path_util.h"
#include "sdr_data_xml_load.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_msgs.h"

using namespace xercesc;

namespace {

const char* const LEGACY_PREFIX = "[@\\TZO=";
// A "multi" whose "size" claims more entries than its text holds is padded
// with zeros up to this count; beyond it only the entries read are kept.
const int MAX_PADDED_MULTI = 1 << 20;

bool is_legacy_text(const std::string& bytes) {
  // Only the first line counts, at most 255 characters of it.
  size_t n = std::strlen(LEGACY_PREFIX);
  if (bytes.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = bytes[i];
    if (c == '\n') return false;
    char a = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    if (a != LEGACY_PREFIX[i]) return false;
  }
  return true;
}

std::string absolute_file_path(const char* path) { return PATH_UTIL::make_absolute(path ? path : ""); }

}  // namespace

SDR_DATA_SESSION::PLATFORM_REF::PLATFORM_REF() { XMLPlatformUtils::Initialize(); }
SDR_DATA_SESSION::PLATFORM_REF::~PLATFORM_REF() { XMLPlatformUtils::Terminate(); }

SDR_DATA_SESSION::SDR_DATA_SESSION() {
  init_container();
  create_new_doc();
}

SDR_DATA_SESSION::SDR_DATA_SESSION(const char* path) {
  init_container();
  if (!SDR_CHECK(path != NULL)) return;
  if (!PATH_UTIL::exists(path)) return;
  parse(path);
}

SDR_DATA_SESSION::~SDR_DATA_SESSION() {
  del_container();
  if (m_owns_document && m_document) m_document->release();
  m_document = nullptr;
  m_parse.reset();
}

void SDR_DATA_SESSION::init_container() {
  m_global_single.clear();
  m_global_multi.clear();
}

void SDR_DATA_SESSION::del_container() {
  m_global_single.clear();
  m_global_multi.clear();
}

void SDR_DATA_SESSION::create_new_doc() {
  static const XMLCh core[] = {'C', 'o', 'r', 'e', 0};
  DOMImplementation* impl = DOMImplementationRegistry::getDOMImplementation(core);
  m_document = impl->createDocument(nullptr, SDR_XSTR("session"), nullptr);
  m_owns_document = true;
  m_root = m_document->getDocumentElement();
  m_display_tree = m_document->createElement(SDR_XSTR("display_tree"));
  m_root->appendChild(m_display_tree);
  m_global_info = m_document->createElement(SDR_XSTR("global_info"));
  m_root->appendChild(m_global_info);
}

bool SDR_DATA_SESSION::open(const char* path) {
  if (!SDR_CHECK(path != NULL)) return false;
  set_name(path);
  return parse(path);
}

// Reads the file and builds the session over its document. A legacy text
// file is imported instead.
bool SDR_DATA_SESSION::parse(const char* path) {
  // Start from an empty session whatever was held before.
  del_container();
  init_container();
  if (m_owns_document && m_document) m_document->release();
  m_document = nullptr;
  m_owns_document = false;
  m_root = m_display_tree = m_global_info = m_embedded_files = nullptr;
  m_parse.reset();

  std::string bytes;
  std::string error;
  if (!sdr_read_file(path, &bytes, &error)) {
    SDR_MSGS::post(SDR_MSGS::esdr_source_generic(path, error.c_str()));
    create_new_doc();
    return false;
  }
  if (is_legacy_text(bytes)) {
    bytes.clear();
    set_name(path);
    create_new_doc();
    parse_tzo_file();
    return true;
  }

  m_parse.reset(new SDR_XML_PARSE_CONTEXT());
  DOMDocument* doc = m_parse->parse(bytes.data(), bytes.size(), path, &error);
  bytes.clear();
  bytes.shrink_to_fit();
  if (!doc) {
    SDR_MSGS::post(SDR_MSGS::esdr_source_generic(path, error.c_str()));
    m_parse.reset();
    create_new_doc();
    return false;
  }
  m_document = doc;
  m_root = doc->getDocumentElement();
  if (!m_root) {
    SDR_MSGS::post(SDR_MSGS::esdr_source_invalid_format());
    set_name(path);
    return true;
  }
  set_name(path);

  std::string text = sdr_get_attribute(m_root, "jtag_chain");
  if (!text.empty()) m_jtag_chain.reset(new std::string(text));
  text = sdr_get_attribute(m_root, "jtag_device");
  if (!text.empty()) m_jtag_device.reset(new std::string(text));
  text = sdr_get_attribute(m_root, "bix_file");
  if (!text.empty()) {
    if (!PATH_UTIL::is_absolute(text)) {
      std::string dir = PATH_UTIL::full_directory(absolute_file_path(path));
      text = PATH_UTIL::simplify(PATH_UTIL::join(dir, text));
    }
    m_bix_file.reset(new std::string(text));
  }

  m_embedded_files = find_child_element(m_root, "embedded_bix_files");

  m_global_info = find_child_element(m_root, "global_info");
  read_global_info();
  write_global_info();

  m_display_tree = find_child_element(m_root, "display_tree");
  if (m_display_tree) {
    read_display_tree();
  } else {
    m_display_tree = m_document->createElement(SDR_XSTR("display_tree"));
    m_root->appendChild(m_display_tree);
  }
  return true;
}

bool SDR_DATA_SESSION::parse_tzo_file() {
  // The older text form is imported by the legacy reader; until it is
  // available the session stays empty.
  return false;
}

bool SDR_DATA_SESSION::save(bool lock) {
  if (!m_name) return false;
  std::string name = *m_name;
  return save_as(name.c_str(), lock, false);
}

bool SDR_DATA_SESSION::save_as(const char* path, bool lock, bool keep_name) {
  if (!path || !*path || !m_document) return false;
  if (!SDR_DATA_XML_WRITER::is_writable_target(path)) return false;

  // The programming file is written relative to the file's directory.
  std::unique_ptr<std::string> old_member(m_bix_file ? new std::string(*m_bix_file) : nullptr);
  bool had_attribute = m_root && m_root->getAttributeNode(SDR_XSTR("bix_file")) != nullptr;
  std::string old_attribute = sdr_get_attribute(m_root, "bix_file");

  std::string remembered = m_bix_file ? *m_bix_file : std::string();
  std::string relative =
      remembered.empty() ? std::string()
                         : PATH_UTIL::relative_to(remembered, PATH_UTIL::full_directory(absolute_file_path(path)));
  set_bix_file_name(relative.c_str());

  bool ok = SDR_DATA_XML_WRITER::write_file(m_document, path, lock);
  if (!ok) {
    // Nothing was written: the session stays as it was.
    m_bix_file = std::move(old_member);
    if (had_attribute) {
      sdr_set_attribute(m_root, "bix_file", old_attribute.c_str());
    } else {
      sdr_remove_attribute(m_root, "bix_file");
    }
    return false;
  }
  if (!keep_name) set_name(path);
  set_bix_file_name(remembered.c_str());
  return true;
}

bool SDR_DATA_SESSION::write_to_string(std::string* out) const {
  if (!SDR_CHECK(out != NULL) || !m_document) return false;
  out->clear();
  return SDR_DATA_XML_WRITER::write(m_document, out);
}

// ------------------------------------------------------------- properties

static const char* opt(const std::unique_ptr<std::string>& s) { return s ? s->c_str() : nullptr; }

const char* SDR_DATA_SESSION::get_name() const { return opt(m_name); }
void SDR_DATA_SESSION::set_name(const char* name) { m_name.reset(name ? new std::string(name) : nullptr); }
const char* SDR_DATA_SESSION::get_jtag_chain_name() const { return opt(m_jtag_chain); }
const char* SDR_DATA_SESSION::get_jtag_device_name() const { return opt(m_jtag_device); }
const char* SDR_DATA_SESSION::get_bix_file_name() const { return opt(m_bix_file); }

void SDR_DATA_SESSION::set_root_attribute(const char* name, const std::string* value) {
  if (m_root) sdr_set_attribute(m_root, name, value ? value->c_str() : "");
}

void SDR_DATA_SESSION::set_jtag_chain_name(const char* name) {
  m_jtag_chain.reset(new std::string(name ? name : ""));
  set_root_attribute("jtag_chain", m_jtag_chain.get());
}

void SDR_DATA_SESSION::set_jtag_device_name(const char* name) {
  m_jtag_device.reset(new std::string(name ? name : ""));
  set_root_attribute("jtag_device", m_jtag_device.get());
}

void SDR_DATA_SESSION::set_bix_file_name(const char* name) {
  m_bix_file.reset(new std::string(name ? name : ""));
  set_root_attribute("bix_file", m_bix_file.get());
}

// ----------------------------------------------------------- global values

bool SDR_DATA_SESSION::set_global_data(const char* name, int value, bool table_only) {
  if (!name) return false;
  m_global_single[name] = value;
  if (table_only || !m_global_info) return true;
  SDR_XSTR attr_name("attribute");
  SDR_XSTR key(name);
  DOMElement* e = find_child_element(m_global_info, "single");
  for (; e; e = find_next_sibling_element(e, "single"))
    if (XMLString::equals(e->getAttribute(attr_name), key)) break;
  if (!e) {
    e = m_document->createElement(SDR_XSTR("single"));
    m_global_info->appendChild(e);
    sdr_set_attribute(e, "attribute", name);
  }
  sdr_set_attribute(e, "value", value);
  return true;
}

static std::string join_ints(const std::vector<int>& values) {
  std::string text;
  char buf[16];
  for (size_t i = 0; i < values.size(); ++i) {
    std::snprintf(buf, sizeof buf, i + 1 < values.size() ? "%d," : "%d", values[i]);
    text += buf;
  }
  return text;
}

bool SDR_DATA_SESSION::set_global_data(const char* name, const int* values, int count, bool table_only) {
  if (!name) return false;
  if (count < 0 || (count > 0 && !SDR_CHECK(values != NULL))) return false;
  SDR_INT_ARRAY array;
  array.count = count;
  array.values.assign(values, values + count);
  std::string text = join_ints(array.values);
  m_global_multi[name] = std::move(array);
  if (table_only || !m_global_info) return true;
  SDR_XSTR attr_name("attribute");
  SDR_XSTR key(name);
  DOMElement* e = find_child_element(m_global_info, "multi");
  for (; e; e = find_next_sibling_element(e, "multi"))
    if (XMLString::equals(e->getAttribute(attr_name), key)) break;
  if (!e) {
    e = m_document->createElement(SDR_XSTR("multi"));
    m_global_info->appendChild(e);
    sdr_set_attribute(e, "attribute", name);
  }
  sdr_set_attribute(e, "size", count);
  sdr_set_attribute(e, "value", text.c_str());
  return true;
}

int SDR_DATA_SESSION::get_global_data(const char* name) const {
  if (!name) return -1;
  auto it = m_global_single.find(name);
  return it == m_global_single.end() ? -1 : it->second;
}

int SDR_DATA_SESSION::get_global_data(const char* name, int* out) const {
  if (!name) return -1;
  auto it = m_global_multi.find(name);
  if (it == m_global_multi.end()) return -1;
  if (out && !it->second.values.empty()) std::memcpy(out, it->second.values.data(), it->second.values.size() * sizeof(int));
  return it->second.count;
}

int SDR_DATA_SESSION::get_global_data_count(const char* name) const {
  if (!name) return -1;
  auto it = m_global_multi.find(name);
  return it == m_global_multi.end() ? -1 : it->second.count;
}

void SDR_DATA_SESSION::read_global_info() {
  if (!m_global_info) return;
  for (DOMElement* e = find_child_element(m_global_info, "single"); e; e = find_next_sibling_element(e, "single")) {
    std::string name = sdr_get_attribute(e, "attribute");
    std::string value = sdr_get_attribute(e, "value");
    if (name.empty() || value.empty()) continue;
    set_global_data(name.c_str(), sdr_atoi(value.c_str()), true);
  }
  for (DOMElement* e = find_child_element(m_global_info, "multi"); e; e = find_next_sibling_element(e, "multi")) {
    std::string name = sdr_get_attribute(e, "attribute");
    std::string size_text = sdr_get_attribute(e, "size");
    if (name.empty() || size_text.empty() || !sdr_has_attribute(e, "value")) continue;
    int size = sdr_atoi(size_text.c_str());
    if (size < 1) continue;
    std::string value = sdr_get_attribute(e, "value");
    // Entries after the last piece present read as 0.
    std::vector<int> values;
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
    if (static_cast<size_t>(size) > values.size() && size > MAX_PADDED_MULTI) {
      // A huge count over a short text: keep what was read.
      size = static_cast<int>(values.size());
    }
    values.resize(static_cast<size_t>(size), 0);
    set_global_data(name.c_str(), values.data(), size, true);
  }
}

void SDR_DATA_SESSION::write_global_info() {
  if (!m_root) return;
  if (m_global_info) {
    m_root->removeChild(m_global_info);
    m_global_info->release();
  }
  m_global_info = m_document->createElement(SDR_XSTR("global_info"));
  m_root->appendChild(m_global_info);
  for (const auto& kv : m_global_single) {
    DOMElement* e = m_document->createElement(SDR_XSTR("single"));
    m_global_info->appendChild(e);
    sdr_set_attribute(e, "attribute", kv.first.c_str());
    sdr_set_attribute(e, "value", kv.second);
  }
  for (const auto& kv : m_global_multi) {
    DOMElement* e = m_document->createElement(SDR_XSTR("multi"));
    m_global_info->appendChild(e);
    sdr_set_attribute(e, "attribute", kv.first.c_str());
    sdr_set_attribute(e, "size", kv.second.count);
    sdr_set_attribute(e, "value", join_ints(kv.second.values).c_str());
  }
}

// ------------------------------------------------------------ display tree

void SDR_DATA_SESSION::read_display_tree() {
  // The active branches name instances, signal sets, triggers and logs; they
  // are read once those objects are built over the document.
}

bool SDR_DATA_SESSION::is_gui_logging_enabled() const {
  if (!m_display_tree) return true;
  std::string v = sdr_get_attribute(m_display_tree, "gui_logging_enabled");
  return v.empty() || v[0] == '1';
}

void SDR_DATA_SESSION::set_gui_logging(bool enabled) {
  if (!SDR_CHECK(m_display_tree != NULL)) return;
  sdr_set_attribute(m_display_tree, "gui_logging_enabled", enabled ? "1" : "0");
}
