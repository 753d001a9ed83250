#ifndef SDR_DATA_MNEMONICS_H
#define SDR_DATA_MNEMONICS_H

// Mnemonic tables: symbols for bit patterns of a bus ("mnemonics" element
// with "table" children of "symbol" entries).

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sdr_data_name_map_export.h"
#include "sdr_export.h"
#include "sdr_xerces_fwd.h"

class SDR_API SDR_DATA_MNEMONICS_TABLE {
 public:
  SDR_DATA_MNEMONICS_TABLE(xercesc::DOMDocument* document, const char* name, int width);
  SDR_DATA_MNEMONICS_TABLE(xercesc::DOMDocument* document, xercesc::DOMElement* element);
  virtual ~SDR_DATA_MNEMONICS_TABLE();

  SDR_DATA_MNEMONICS_TABLE(const SDR_DATA_MNEMONICS_TABLE&) = delete;
  SDR_DATA_MNEMONICS_TABLE& operator=(const SDR_DATA_MNEMONICS_TABLE&) = delete;

  // Null when the table has no name.
  const char* get_name() const;
  int get_width() const { return m_width; }
  int get_num_entries() const { return static_cast<int>(m_entries.size()); }
  xercesc::DOMElement* get_dom_node() const { return m_element; }

  bool add_entry(const char* symbol_name, const char* value);
  const char* get_value(const char* symbol) const;
  const char* get_value(const std::string* symbol) const;
  const char* get_first_symbol(const char* value) const;
  const char* get_first_symbol(const std::string* value) const;
  const char* get_value(int index) const;
  const char* get_first_symbol(int index) const;
  bool clone(SDR_DATA_MNEMONICS_TABLE* source);

 private:
  // Adds the entry, writing its "symbol" element when write is set; false
  // when the symbol is taken.
  bool add(const std::string& symbol, const std::string& value, bool write);
  void post_duplicate(const std::string& symbol, const std::string& refused_value) const;

  std::string m_name;
  int m_width = 0;
  std::vector<std::pair<std::string, std::string>> m_entries;   // (value, symbol)
  std::map<std::string, size_t> m_symbol_index;                 // symbol -> entry
  std::map<std::string, std::string> m_value_map;               // normalized value -> symbol
  std::vector<std::pair<std::string, std::string>> m_patterns;  // (normalized value, symbol)
  xercesc::DOMDocument* m_document = nullptr;
  xercesc::DOMElement* m_element = nullptr;
};

class SDR_API SDR_DATA_MNEMONICS {
 public:
  explicit SDR_DATA_MNEMONICS(xercesc::DOMDocument* document);
  SDR_DATA_MNEMONICS(xercesc::DOMDocument* document, xercesc::DOMElement* element);
  virtual ~SDR_DATA_MNEMONICS();

  SDR_DATA_MNEMONICS(const SDR_DATA_MNEMONICS&) = delete;
  SDR_DATA_MNEMONICS& operator=(const SDR_DATA_MNEMONICS&) = delete;

  SDR_DATA_MNEMONICS_TABLE* create_table(const char* name, int width);
  bool delete_table(SDR_DATA_MNEMONICS_TABLE* table);
  bool delete_table(const char* name);
  SDR_DATA_MNEMONICS_TABLE* find_table(const char* name) const;
  int get_num_tables() const { return static_cast<int>(m_tables.size()); }
  // Tables in name order; null when out of range.
  SDR_DATA_MNEMONICS_TABLE* get_table(int index) const;
  xercesc::DOMElement* get_dom_node() const { return m_element; }

 private:
  // Takes ownership; false (table destroyed) when it has no name or the
  // name is taken.
  bool insert(std::unique_ptr<SDR_DATA_MNEMONICS_TABLE> table);

  std::map<std::string, std::unique_ptr<SDR_DATA_MNEMONICS_TABLE>> m_tables;
  std::vector<SDR_DATA_MNEMONICS_TABLE*> m_order;  // the tables of m_tables, in its order
  xercesc::DOMDocument* m_document = nullptr;
  xercesc::DOMElement* m_element = nullptr;
};

#endif
