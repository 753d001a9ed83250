#include "sdr_data_mnemonics.h"

#include <algorithm>
#include <xercesc/dom/DOM.hpp>

#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_msgs.h"

using namespace xercesc;

namespace {

const XMLCh TAG_MNEMONICS[] = u"mnemonics";
const XMLCh TAG_TABLE[] = u"table";
const XMLCh TAG_SYMBOL[] = u"symbol";

// 'H' reads as '1' and 'L' as '0'; every other character stays.
std::string normalize(const std::string& value) {
  std::string out(value);
  for (char& c : out) {
    if (c == 'H')
      c = '1';
    else if (c == 'L')
      c = '0';
  }
  return out;
}

// Values with an edge letter take part in exact lookups only.
bool has_edge(const std::string& value) {
  return value.find_first_of("FRE") != std::string::npos;
}

// The pattern matches when each of its characters is 'X' or equals the
// value's character at that place. A pattern longer than the value never
// matches.
bool pattern_matches(const std::string& pattern, const std::string& value) {
  if (pattern.size() > value.size()) return false;
  for (size_t i = 0; i < pattern.size(); ++i)
    if (pattern[i] != 'X' && pattern[i] != value[i]) return false;
  return true;
}

bool name_less(const SDR_DATA_MNEMONICS_TABLE* table, const std::string& name) {
  return name.compare(table->get_name()) > 0;
}

}  // namespace

// ------------------------------------------------------------------ table

SDR_DATA_MNEMONICS_TABLE::SDR_DATA_MNEMONICS_TABLE(DOMDocument* document, const char* name, int width)
    : m_width(width), m_document(document) {
  if (!SDR_CHECK(name != NULL)) return;
  m_name = name;
  if (!SDR_CHECK(m_name != "")) return;
  if (!SDR_CHECK(document != NULL)) return;
  m_element = document->createElement(TAG_TABLE);
  sdr_set_attribute(m_element, "name", name);
  sdr_set_attribute(m_element, "width", width);
}

SDR_DATA_MNEMONICS_TABLE::SDR_DATA_MNEMONICS_TABLE(DOMDocument* document, DOMElement* element)
    : m_document(document), m_element(element) {
  if (!SDR_CHECK(element != NULL)) return;
  m_width = sdr_atoi(sdr_get_attribute(element, "width").c_str());
  m_name = sdr_get_attribute(element, "name");
  // A nameless table keeps its element but takes none of its entries.
  if (!SDR_CHECK(m_name != "")) return;
  for (DOMElement* e = find_child_element(element, TAG_SYMBOL); e;
       e = find_next_sibling_element(e, TAG_SYMBOL)) {
    const std::string symbol = sdr_get_attribute(e, "name");
    const std::string value = sdr_get_attribute(e, "value");
    if (symbol.empty() || value.empty()) continue;
    if (!add(symbol, value, false)) post_duplicate(symbol, value);
  }
}

SDR_DATA_MNEMONICS_TABLE::~SDR_DATA_MNEMONICS_TABLE() = default;

const char* SDR_DATA_MNEMONICS_TABLE::get_name() const {
  return m_name.empty() ? nullptr : m_name.c_str();
}

bool SDR_DATA_MNEMONICS_TABLE::add(const std::string& symbol, const std::string& value, bool write) {
  if (m_symbol_index.count(symbol)) return false;
  m_symbol_index.emplace(symbol, m_entries.size());
  m_entries.emplace_back(value, symbol);
  std::string normalized = normalize(value);
  if (!has_edge(value)) m_patterns.emplace_back(normalized, symbol);
  // The first symbol of a normalized value stays.
  m_value_map.emplace(std::move(normalized), symbol);
  if (write && m_element && m_document) {
    DOMElement* e = m_document->createElement(TAG_SYMBOL);
    sdr_set_attribute(e, "name", symbol.c_str());
    sdr_set_attribute(e, "value", value.c_str());
    try {
      m_element->appendChild(e);
    } catch (const DOMException&) {
      // An element of another document cannot take it; the entry stays in
      // memory only.
      e->release();
    }
  }
  return true;
}

void SDR_DATA_MNEMONICS_TABLE::post_duplicate(const std::string& symbol,
                                              const std::string& refused_value) const {
  auto it = m_symbol_index.find(symbol);
  const char* existing = it == m_symbol_index.end() ? "" : m_entries[it->second].first.c_str();
  SDR_MSGS::post(
      SDR_MSGS::wsdr_duplicate_symbol(symbol.c_str(), existing, m_name.c_str(), refused_value.c_str()));
}

bool SDR_DATA_MNEMONICS_TABLE::add_entry(const char* symbol_name, const char* value) {
  if (!SDR_CHECK(symbol_name != NULL)) return false;
  if (!SDR_CHECK(value != NULL)) return false;
  return add(symbol_name, value, true);
}

const char* SDR_DATA_MNEMONICS_TABLE::get_value(const char* symbol) const {
  if (!symbol) return nullptr;
  const std::string key(symbol);
  return get_value(&key);
}

const char* SDR_DATA_MNEMONICS_TABLE::get_value(const std::string* symbol) const {
  if (!symbol) return nullptr;
  auto it = m_symbol_index.find(*symbol);
  return it == m_symbol_index.end() ? nullptr : m_entries[it->second].first.c_str();
}

const char* SDR_DATA_MNEMONICS_TABLE::get_first_symbol(const char* value) const {
  if (!value) return nullptr;
  const std::string key(value);
  return get_first_symbol(&key);
}

const char* SDR_DATA_MNEMONICS_TABLE::get_first_symbol(const std::string* value) const {
  if (!value || m_width < 0 || value->size() != static_cast<size_t>(m_width)) return nullptr;
  const std::string normalized = normalize(*value);
  auto it = m_value_map.find(normalized);
  if (it != m_value_map.end()) return it->second.c_str();
  for (const auto& pattern : m_patterns)
    if (pattern_matches(pattern.first, normalized)) return pattern.second.c_str();
  return nullptr;
}

const char* SDR_DATA_MNEMONICS_TABLE::get_value(int index) const {
  if (!m_element || index < 0 || index >= get_num_entries()) return nullptr;
  return m_entries[index].first.c_str();
}

const char* SDR_DATA_MNEMONICS_TABLE::get_first_symbol(int index) const {
  if (!m_element || index < 0 || index >= get_num_entries()) return nullptr;
  return m_entries[index].second.c_str();
}

bool SDR_DATA_MNEMONICS_TABLE::clone(SDR_DATA_MNEMONICS_TABLE* source) {
  if (!m_element || !source) return false;
  if (m_width == 0) m_width = source->m_width;
  // Copies of the texts: the source may be this table, whose entries grow.
  const size_t count = source->m_entries.size();
  for (size_t i = 0; i < count; ++i) {
    const std::string value = source->m_entries[i].first;
    const std::string symbol = source->m_entries[i].second;
    if (!add(symbol, value, true)) post_duplicate(symbol, value);
  }
  return true;
}

// ------------------------------------------------------------------ set

SDR_DATA_MNEMONICS::SDR_DATA_MNEMONICS(DOMDocument* document) : m_document(document) {
  if (SDR_CHECK(document != NULL)) m_element = document->createElement(TAG_MNEMONICS);
}

SDR_DATA_MNEMONICS::SDR_DATA_MNEMONICS(DOMDocument* document, DOMElement* element)
    : m_document(document), m_element(element) {
  if (!SDR_CHECK(element != NULL)) {
    // Usable all the same, over a new element of its own.
    if (document) m_element = document->createElement(TAG_MNEMONICS);
    return;
  }
  for (DOMElement* e = find_child_element(element, TAG_TABLE); e; e = find_next_sibling_element(e, TAG_TABLE))
    insert(std::unique_ptr<SDR_DATA_MNEMONICS_TABLE>(new SDR_DATA_MNEMONICS_TABLE(document, e)));
  m_order.reserve(m_tables.size());
  for (const auto& entry : m_tables) m_order.push_back(entry.second.get());
}

SDR_DATA_MNEMONICS::~SDR_DATA_MNEMONICS() = default;

bool SDR_DATA_MNEMONICS::insert(std::unique_ptr<SDR_DATA_MNEMONICS_TABLE> table) {
  const char* name = table->get_name();
  if (!name) return false;
  return m_tables.emplace(name, std::move(table)).second;
}

SDR_DATA_MNEMONICS_TABLE* SDR_DATA_MNEMONICS::create_table(const char* name, int width) {
  if (!SDR_CHECK(name != NULL)) return nullptr;
  if (!*name || !m_element || !m_document || m_tables.count(name)) return nullptr;
  std::unique_ptr<SDR_DATA_MNEMONICS_TABLE> table(new SDR_DATA_MNEMONICS_TABLE(m_document, name, width));
  DOMElement* e = table->get_dom_node();
  if (!e) return nullptr;
  try {
    m_element->appendChild(e);
  } catch (const DOMException&) {
    e->release();
    return nullptr;
  }
  SDR_DATA_MNEMONICS_TABLE* raw = table.get();
  m_tables.emplace(name, std::move(table));
  m_order.insert(std::lower_bound(m_order.begin(), m_order.end(), std::string(name), name_less), raw);
  return raw;
}

bool SDR_DATA_MNEMONICS::delete_table(SDR_DATA_MNEMONICS_TABLE* table) {
  if (!SDR_CHECK(table != NULL)) return false;
  // Only the set's own table of that name is taken out.
  const char* name = table->get_name();
  if (!name || find_table(name) != table) return false;
  return delete_table(name);
}

bool SDR_DATA_MNEMONICS::delete_table(const char* name) {
  if (!name) return false;
  auto it = m_tables.find(name);
  if (it == m_tables.end()) return false;
  std::unique_ptr<SDR_DATA_MNEMONICS_TABLE> table = std::move(it->second);
  m_tables.erase(it);
  m_order.erase(std::find(m_order.begin(), m_order.end(), table.get()));
  if (DOMElement* e = table->get_dom_node()) {
    try {
      if (DOMNode* parent = e->getParentNode()) parent->removeChild(e);
      e->release();
    } catch (const DOMException&) {
      // Left in the document; it is released with it.
    }
  }
  return true;
}

SDR_DATA_MNEMONICS_TABLE* SDR_DATA_MNEMONICS::find_table(const char* name) const {
  if (!name) return nullptr;
  auto it = m_tables.find(name);
  return it == m_tables.end() ? nullptr : it->second.get();
}

SDR_DATA_MNEMONICS_TABLE* SDR_DATA_MNEMONICS::get_table(int index) const {
  if (index < 0 || index >= static_cast<int>(m_order.size())) return nullptr;
  return m_order[index];
}
