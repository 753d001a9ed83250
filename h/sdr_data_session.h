#ifndef SDR_DATA_SESSION_H
#define SDR_DATA_SESSION_H

// One configuration file of the logic analyzer, held as an XML document
// plus the objects built over it. The document is the stored form: saving a
// session writes the document back in the fixed layout.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sdr_export.h"
#include "sdr_xerces_fwd.h"

// A count and that many ints (a global "multi" value).
struct SDR_INT_ARRAY {
  int count = 0;
  std::vector<int> values;
};

class SDR_XML_PARSE_CONTEXT;

class SDR_API SDR_DATA_SESSION {
public:
  // An empty session with a new document and no name.
  SDR_DATA_SESSION();
  // Loads path; on success the name is path, on any failure the session has
  // no name (the reasons are posted as messages).
  explicit SDR_DATA_SESSION(const char* path);
  virtual ~SDR_DATA_SESSION();

  SDR_DATA_SESSION(const SDR_DATA_SESSION&) = delete;
  SDR_DATA_SESSION& operator=(const SDR_DATA_SESSION&) = delete;

  // Sets the name to path, then loads the file into a fresh session.
  bool open(const char* path);
  // save_as(name, lock, false).
  bool save(bool lock);
  // Writes the document to path, crash-safe: the old file stays intact
  // unless the new one was written completely. Unless keep_name is true the
  // session's name becomes path. Returns false without renaming when the
  // file cannot be written.
  bool save_as(const char* path, bool lock, bool keep_name);
  // The document in the file layout, as saving would write it. Returns false
  // when the document holds something that cannot be written.
  bool write_to_string(std::string* out) const;

  const char* get_name() const;
  void set_name(const char* name);
  const char* get_jtag_chain_name() const;
  void set_jtag_chain_name(const char* name);
  const char* get_jtag_device_name() const;
  void set_jtag_device_name(const char* name);
  const char* get_bix_file_name() const;
  void set_bix_file_name(const char* name);

  // Open-reference count, changed only by the repository manager.
  void increment_open_ref() { ++m_open_ref; }
  void decrement_open_ref() { --m_open_ref; }
  bool is_open_ref_zero() const { return m_open_ref == 0; }
  int get_open_ref() const { return m_open_ref; }

  // Imports the older text form of the file named by the session's name.
  bool parse_tzo_file();

  // Global values.
  bool set_global_data(const char* name, int value, bool table_only);
  bool set_global_data(const char* name, const int* values, int count, bool table_only);
  // The single value of that name, or -1.
  int get_global_data(const char* name) const;
  // Copies the array of that name into out (room for
  // get_global_data_count(name) ints) and returns its count, or -1.
  int get_global_data(const char* name, int* out) const;
  // The count of the array of that name, or -1.
  int get_global_data_count(const char* name) const;
  const std::map<std::string, int>& get_global_singles() const { return m_global_single; }
  const std::map<std::string, SDR_INT_ARRAY>& get_global_multis() const { return m_global_multi; }

  // The "gui_logging_enabled" flag of "display_tree".
  bool is_gui_logging_enabled() const;
  void set_gui_logging(bool enabled);

  xercesc::DOMDocument* get_document() const { return m_document; }
  xercesc::DOMElement* get_root_element() const { return m_root; }
  xercesc::DOMElement* get_display_tree_element() const { return m_display_tree; }
  xercesc::DOMElement* get_global_info_element() const { return m_global_info; }
  xercesc::DOMElement* get_embedded_files_element() const { return m_embedded_files; }

private:
  // Keeps the XML platform initialised while the session lives; declared
  // first so that it is released last.
  struct PLATFORM_REF {
    PLATFORM_REF();
    ~PLATFORM_REF();
  };
  PLATFORM_REF m_platform_ref;

  bool parse(const char* path);
  void create_new_doc();
  void init_container();
  void del_container();
  void read_global_info();
  void write_global_info();
  void read_display_tree();
  void set_root_attribute(const char* name, const std::string* value);

  std::map<std::string, int> m_global_single;
  std::map<std::string, SDR_INT_ARRAY> m_global_multi;
  std::unique_ptr<std::string> m_name;
  std::unique_ptr<std::string> m_jtag_chain;
  std::unique_ptr<std::string> m_jtag_device;
  std::unique_ptr<std::string> m_bix_file;
  int m_open_ref = 0;
  // The parse context owns the parser, which owns a loaded document.
  std::unique_ptr<SDR_XML_PARSE_CONTEXT> m_parse;
  xercesc::DOMDocument* m_document = nullptr;
  bool m_owns_document = false;
  xercesc::DOMElement* m_root = nullptr;
  xercesc::DOMElement* m_display_tree = nullptr;
  xercesc::DOMElement* m_global_info = nullptr;
  xercesc::DOMElement* m_embedded_files = nullptr;
};

#endif
