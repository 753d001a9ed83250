#ifndef SDR_DATA_SIGNAL_VIEW_H
#define SDR_DATA_SIGNAL_VIEW_H

// The two views of a signal set ("data_view", "setup_view"): ordered trees
// of "net" and "bus" rows. The rows live only in the document; a view node
// is a light handle on one row element.

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "sdr_data_global_enum.h"
#include "sdr_export.h"
#include "sdr_xerces_fwd.h"

class SDR_DATA_SIGNAL_SET;
class SDR_DATA_SIGNAL_VIEW_NODE;
class SDR_DATA_SIGNAL_WIRE;

class SDR_API SDR_DATA_SIGNAL_VIEW {
 public:
  enum VIEW_TYPE { DATA_VIEW = 0, SETUP_VIEW = 1 };

  // Wraps an existing view element; reads nothing.
  SDR_DATA_SIGNAL_VIEW(xercesc::DOMDocument* document, xercesc::DOMElement* element,
                       SDR_DATA_SIGNAL_SET* signal_set);
  // Creates an empty, unattached "data_view" or "setup_view" element.
  SDR_DATA_SIGNAL_VIEW(xercesc::DOMDocument* document, VIEW_TYPE type, SDR_DATA_SIGNAL_SET* signal_set);
  virtual ~SDR_DATA_SIGNAL_VIEW();

  SDR_DATA_SIGNAL_VIEW(const SDR_DATA_SIGNAL_VIEW&) = delete;
  SDR_DATA_SIGNAL_VIEW& operator=(const SDR_DATA_SIGNAL_VIEW&) = delete;

  SDR_DATA_SIGNAL_SET* get_signal_set() const { return m_signal_set; }
  xercesc::DOMDocument* get_dom_document() const { return m_document; }
  xercesc::DOMElement* get_dom_node() const { return m_dom_view; }
  void set_ref_error_checked(bool checked) { m_ref_checked = checked; }
  bool is_ref_error_checked() const { return m_ref_checked; }

  // New node objects, owned by the caller (null nodes when there is none).
  SDR_DATA_SIGNAL_VIEW_NODE* get_first_node() const;
  // The first bus row, in pre-order, whose name or alias is name. Lookups
  // go through an index of the view's buses, made again after any edit of
  // rows made through these classes (counted per document by its session);
  // a hit is checked against the row, and a miss of an index made before
  // is checked by a walk of the view, so rows added, renamed or moved in
  // the document directly are found too.
  SDR_DATA_SIGNAL_VIEW_NODE* find_bus_node(const char* name) const;
  SDR_DATA_SIGNAL_VIEW_NODE* create_net_node(const char* name);
  SDR_DATA_SIGNAL_VIEW_NODE* create_bus_node(const char* name);

  void insert_first_node(SDR_DATA_SIGNAL_VIEW_NODE* node);
  void append_node(SDR_DATA_SIGNAL_VIEW_NODE* node);
  // Replaces the view element by a new empty one, appended as the last
  // child of the old element's parent.
  void remove_all_view_nodes();

 private:
  friend class SDR_DATA_TRIGGER;
  // The members of a bus row in the order its bits are walked, from the
  // least significant as the row's order says: each member's trigger wire
  // index (-1 for a wire without one), or NO_WIRE when the member's name
  // names no wire; and the names of those members, in order ("unspecified"
  // for a member without a name), each reported again on each use.
  struct BUS_BITS {
    static constexpr int NO_WIRE = INT_MIN;
    std::vector<int> wires;
    std::vector<std::string> missing;
  };
  // The bits of a bus row of this view. Kept per row while the document's
  // edit counter, the wire epoch (names, aliases and trigger indices of
  // wires), the view element and the row's order stay the same; resolved
  // afresh for a document without an edit counter. Code that edits row
  // elements in the document directly counts the edit (sdr_count_edit), as
  // the transaction layer does.
  std::shared_ptr<const BUS_BITS> bus_bits(SDR_DATA_SIGNAL_VIEW_NODE* bus) const;

  struct BUS_INDEX;
  struct BIT_CACHE;
  mutable std::unique_ptr<BIT_CACHE> m_bit_cache;
  SDR_DATA_SIGNAL_SET* m_signal_set = nullptr;
  bool m_ref_checked = false;
  xercesc::DOMDocument* m_document = nullptr;
  xercesc::DOMElement* m_dom_view = nullptr;
  mutable std::unique_ptr<BUS_INDEX> m_bus_index;
};

class SDR_API SDR_DATA_SIGNAL_VIEW_NODE {
 public:
  enum NODE_TYPE { NET_NODE = 0, BUS_NODE = 1 };

  SDR_DATA_SIGNAL_VIEW_NODE(xercesc::DOMElement* element, SDR_DATA_SIGNAL_VIEW* view);
  // Creates an unattached "net" or "bus" element.
  SDR_DATA_SIGNAL_VIEW_NODE(NODE_TYPE type, SDR_DATA_SIGNAL_VIEW* view);
  // Copies view, element and bus cache (not the name cache).
  SDR_DATA_SIGNAL_VIEW_NODE(const SDR_DATA_SIGNAL_VIEW_NODE& other);
  SDR_DATA_SIGNAL_VIEW_NODE& operator=(const SDR_DATA_SIGNAL_VIEW_NODE& other);
  virtual ~SDR_DATA_SIGNAL_VIEW_NODE();

  bool is_null() const { return m_element == nullptr; }
  bool is_bus() const;
  xercesc::DOMElement* get_dom_node() const { return m_element; }
  SDR_DATA_SIGNAL_VIEW* get_view() const { return m_view; }

  const char* get_name();
  bool set_name(const char* name);
  const char* get_alias();
  bool set_alias(const char* alias);
  SDR_DATA_SIGNAL_TYPE get_signal_type();
  bool set_signal_type(SDR_DATA_SIGNAL_TYPE type);
  SDR_DATA_GROUP_LINKING_TYPE get_bus_linking_type() const;
  bool set_bus_linking_type(SDR_DATA_GROUP_LINKING_TYPE type);
  SDR_DATA_GROUP_DISPLAY_TYPE get_bus_display_type();
  bool set_bus_display_type(SDR_DATA_GROUP_DISPLAY_TYPE type);
  const char* get_mnemonics_table();
  bool set_mnemonics_table(const char* table);
  bool is_bus_expanded() const;
  bool set_bus_display_state(bool expanded);
  bool is_lsb_to_msb() const;
  bool set_lsb_to_msb(bool lsb_to_msb);
  bool is_signal_inverted() const;
  bool set_signal_inverted(bool inverted);

  // New node objects owned by the caller, or null.
  SDR_DATA_SIGNAL_VIEW_NODE* get_first_child() const;
  SDR_DATA_SIGNAL_VIEW_NODE* get_last_child() const;
  SDR_DATA_SIGNAL_VIEW_NODE* get_next_sibling() const;
  SDR_DATA_SIGNAL_VIEW_NODE* get_prev_sibling() const;
  SDR_DATA_SIGNAL_VIEW_NODE* clone(bool deep) const;

  bool append_after(SDR_DATA_SIGNAL_VIEW_NODE* other);
  bool insert_before(SDR_DATA_SIGNAL_VIEW_NODE* other);
  // Takes the row out of its parent; the handle keeps the row, which can be
  // placed again. False when the row has no parent.
  bool detach();
  // detach, then free the row with its members; the handle becomes null.
  // Other handles on the row must not be used afterwards.
  bool remove();
  bool append_child(SDR_DATA_SIGNAL_VIEW_NODE* other);

  // The signal set's wire whose name or alias is the row's name; with report
  // true a missing wire posts WSDR_INVALID_SIGNAL_REF.
  SDR_DATA_SIGNAL_WIRE* get_data_wire(bool report);

 private:
  struct BUS_CACHE;
  SDR_DATA_SIGNAL_VIEW* m_view = nullptr;
  std::unique_ptr<std::string> m_name_cache;
  std::unique_ptr<BUS_CACHE> m_bus_cache;
  xercesc::DOMElement* m_element = nullptr;
};

#endif
