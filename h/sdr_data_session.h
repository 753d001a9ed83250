#ifndef SDR_DATA_SESSION_H
#define SDR_DATA_SESSION_H

// One configuration file of the logic analyzer, held as an XML document
// plus the objects built over it. The document is the stored form: saving a
// session writes the document back in the fixed layout.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sdr_data_name_map_export.h"
#include "sdr_export.h"
#include "sdr_xerces_fwd.h"

class SDR_DATA_INSTANCE;
class SDR_DATA_SIGNAL_SET;
class SDR_DATA_TRIGGER;
class SDR_DATA_LOG;
class SDR_DATA_MNEMONICS;

class SDR_XML_PARSE_CONTEXT;
class SDR_NAMED_VALUES;
struct SDR_TZO_IMPORT_REPORT;

class SDR_API SDR_DATA_SESSION {
 public:
  // The active display branch of one instance.
  struct ACTIVE_TREE_BRANCH {
    SDR_DATA_SIGNAL_SET* signal_set = nullptr;
    SDR_DATA_TRIGGER* trigger = nullptr;
    SDR_DATA_LOG* log = nullptr;
  };

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
  // unless the new one was written completely, and the new one is on disk
  // before this returns (the switch "sdr_save_flush" off skips that wait).
  // Unless keep_name is true the session's name becomes path. Returns false
  // without renaming when the file cannot be written.
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

  // Imports the older text form of the file named by the session's name
  // into a new instance with the signal set "signals_imported" and, when
  // the file lists signals, the trigger "trigger_imported". False when the
  // file could not be opened (the empty instance stays).
  bool parse_tzo_file();
  // What the last parse_tzo_file took and skipped; null before any.
  const SDR_TZO_IMPORT_REPORT* get_tzo_import_report() const;

  // Instances.
  SDR_DATA_INSTANCE* create_instance(const char* name);
  // Adds a new analyzer instance with an automatic name (when name is null)
  // and the next free instance index.
  SDR_DATA_INSTANCE* create_trazio_instance(const char* name);
  bool append(SDR_DATA_INSTANCE* instance, bool attach_element);
  SDR_DATA_INSTANCE* find_instance(const char* name) const;
  SDR_DATA_INSTANCE* get_instance_at(int index) const;
  int get_num_instances() const { return m_instances.size(); }
  void delete_from_vector(SDR_DATA_INSTANCE* instance);
  void delete_from_name_map(SDR_DATA_INSTANCE* instance);
  bool insert_into_name_map(SDR_DATA_INSTANCE* instance);

  // The mnemonic tables, created (and their element appended) on first use.
  SDR_DATA_MNEMONICS* get_mnemonics();
  // The mnemonic tables when the session has them, else null.
  SDR_DATA_MNEMONICS* find_mnemonics() const { return m_mnemonics.get(); }

  // Active display tree.
  void reset_active_tree();
  bool add_active_branch(SDR_DATA_TRIGGER* trigger);
  bool add_active_branch(SDR_DATA_LOG* log);
  SDR_DATA_SIGNAL_SET* find_active_signal_set(SDR_DATA_INSTANCE* instance) const;
  SDR_DATA_TRIGGER* find_active_trigger(SDR_DATA_INSTANCE* instance) const;
  SDR_DATA_LOG* find_active_log(SDR_DATA_INSTANCE* instance) const;
  bool has_active_tree() const { return m_active_tree_map != nullptr; }
  // Drops every pointer of the active display tree to an object that
  // leaves the session: the branch of a signal set goes; a trigger takes
  // its branch's log with it. The stored "display_branch" elements stay.
  void forget_active(const SDR_DATA_SIGNAL_SET* signal_set);
  void forget_active(const SDR_DATA_TRIGGER* trigger);
  void forget_active(const SDR_DATA_LOG* log);

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
  const std::map<std::string, int>& get_global_singles() const;
  const std::map<std::string, std::vector<int>>& get_global_multis() const;

  // The "gui_logging_enabled" flag of "display_tree".
  bool is_gui_logging_enabled() const;
  void set_gui_logging(bool enabled);

  // Embedded programming files. Each is kept in the document as an
  // "embedded_bix_file" element under "embedded_bix_files": the file's bytes
  // compressed with zlib, then Base64 text. Indexes count from 0 over those
  // elements only. The size of a file to embed or extract is capped by the
  // switch "sdr_max_embedded_mb" (MiB, default 1024, read at every call).
  // Access by index takes constant time: the session keeps an index of the
  // entries, kept in step by the functions below. Entries should be added
  // and removed through them; an entry added or removed directly in the
  // document is noticed when it is the first or last child, or when an
  // access meets a removed entry, not in general.
  //
  // Reads filename whole and appends it under embedded_name (a second entry
  // of the same name is allowed). False, with the document unchanged, for a
  // missing, unreadable, empty or too large file.
  bool embed_bix_file(const char* filename, const char* embedded_name);
  // Writes the file at index to filename, replacing it only when every byte
  // is ready: on any failure (no such entry, bad "size", Base64 or
  // compressed data, unwritable target) false is returned and no file is
  // created or changed.
  bool extract_bix_file(int index, const char* filename);
  int get_embedded_bix_file_count() const;
  // The stored "size" of the entry at index: the byte count of the file
  // before compression, as written when it was embedded. -1 when there is
  // no entry at index, or its "size" is missing or anything but decimal
  // digits for a value from 1 to INT_MAX (no sign, no blanks). The value is
  // not checked against the data: extracting may still fail.
  int get_embedded_bix_file_size_at(int index) const;
  // The two text getters return null when there is no entry at index or it
  // has no such text. The text is a copy held by this session, one buffer
  // per getter: it stays valid until the next call of the same getter on
  // this session or the session's destruction. Copy it to keep it longer.
  const char* get_embedded_bix_filename_at(int index) const;
  const char* get_embedded_bix_inst_id_crc_at(int index) const;
  bool rename_embedded_bix_filename_at(int index, const char* new_embedded_name);
  // The "id_crc_pairs" text, stored and returned as given.
  bool set_embedded_bix_inst_id_crc_at(int index, const char* inst_id_crc_str);
  // Removes the entry; later entries move down by one.
  bool remove_embedded_bix_at(int index);

  // The stored form. A loaded document does not keep the white space the
  // file had between elements, other than an element's first child.
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
  // Builds the session over a parsed document (owned by m_parse).
  bool build(xercesc::DOMDocument* doc, const char* path);
  // The import of a legacy file into this session's document.
  bool import_tzo_file();
  // Reads the session back from its stored form, so that it is laid out as
  // any loaded file.
  void settle_imported();
  void create_new_doc();
  void init_container();
  void del_container();
  void read_display_tree();
  void set_root_attribute(const char* name, const std::string* value);
  bool add_branch(SDR_DATA_TRIGGER* trigger, SDR_DATA_LOG* log);
  xercesc::DOMElement* get_dom_node_embedded_bix_at(int index) const;
  bool is_bix_index_current() const;
  bool rebuild_bix_index() const;
  void note_bix_index_change(bool was_current, xercesc::DOMElement* added, int removed_index);

  std::unique_ptr<SDR_NAMED_VALUES> m_globals;
  std::unique_ptr<SDR_TZO_IMPORT_REPORT> m_tzo_report;
  std::unique_ptr<std::string> m_name;
  std::unique_ptr<std::string> m_jtag_chain;
  std::unique_ptr<std::string> m_jtag_device;
  std::unique_ptr<std::string> m_bix_file;
  std::unique_ptr<SDR_DATA_MNEMONICS> m_mnemonics;
  int m_open_ref = 0;
  std::unique_ptr<std::map<SDR_DATA_INSTANCE*, ACTIVE_TREE_BRANCH>> m_active_tree_map;
  SDR_DATA_CHILD_LIST<SDR_DATA_INSTANCE> m_instances;
  // The parse context owns the parser, which owns a loaded document.
  std::unique_ptr<SDR_XML_PARSE_CONTEXT> m_parse;
  xercesc::DOMDocument* m_document = nullptr;
  bool m_owns_document = false;
  xercesc::DOMElement* m_root = nullptr;
  xercesc::DOMElement* m_display_tree = nullptr;
  xercesc::DOMElement* m_global_info = nullptr;
  xercesc::DOMElement* m_embedded_files = nullptr;
  // Texts handed out by the embedded-file getters, one per getter.
  mutable std::string m_embedded_name_text;
  mutable std::string m_embedded_id_crc_text;
  // The "embedded_bix_file" elements under m_embedded_files in document
  // order, built on the first indexed access. It is valid only while
  // m_embedded_files is the element it was built for (that element carries
  // a mark naming this session, so a document loaded in its place never
  // passes), while that element's first and last children are those seen
  // when it was last brought up to date, and while m_bix_generation, bumped
  // by every embed and removal, matches the generation it reflects.
  mutable std::vector<xercesc::DOMElement*> m_bix_index;
  mutable bool m_bix_index_built = false;
  mutable const xercesc::DOMElement* m_bix_index_owner = nullptr;
  mutable const xercesc::DOMNode* m_bix_index_first = nullptr;
  mutable const xercesc::DOMNode* m_bix_index_last = nullptr;
  mutable unsigned long m_bix_index_generation = 0;
  unsigned long m_bix_generation = 0;
  // Edits of the document that its caches depend on, counted through the
  // document (see the element helpers).
  unsigned long m_edit_count = 0;
};

#endif
