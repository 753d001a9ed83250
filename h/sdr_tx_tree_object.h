#ifndef SDR_TX_TREE_OBJECT_H
#define SDR_TX_TREE_OBJECT_H

// The front end's view of an advanced trigger condition: a tree of
// condition objects whose meaning only the front end knows. The editor
// derives from SDR_TX_TREE_OBJECT; the library stores each tree as
// "op_node" elements and asks it for its expression text.

#include <string>

#include "sdr_export.h"

class SDR_DATA_STRING_PAIR_VEC;
class SDR_DATA_MNEMONICS;
class SDR_DATA_TRIGGER_ADV_TREE_OBJ;
class SDR_TX_TRIGGER;
class ATG_ADVANCED_TRIGGER_FACTORY;

class SDR_API SDR_TX_TREE_OBJECT {
 public:
  SDR_TX_TREE_OBJECT();
  virtual ~SDR_TX_TREE_OBJECT();

  SDR_TX_TREE_OBJECT(const SDR_TX_TREE_OBJECT&) = delete;
  SDR_TX_TREE_OBJECT& operator=(const SDR_TX_TREE_OBJECT&) = delete;

  // The child at index, 0 <= index < get_num_children().
  virtual SDR_TX_TREE_OBJECT* get_child(int index) = 0;
  virtual int get_num_children() = 0;
  // Creates, appends and returns a new empty child.
  virtual SDR_TX_TREE_OBJECT* add_child() = 0;
  // Detaches and destroys child; true when it was a child.
  virtual bool remove_child(SDR_TX_TREE_OBJECT* child) = 0;
  // The expression text of this subtree; false when there is no valid one.
  // The library passes false as the last argument.
  virtual bool get_equation(std::string* out, SDR_DATA_MNEMONICS* mnemonics, SDR_TX_TRIGGER* trigger,
                            bool flag) = 0;
  // Calls add_attribute once per attribute, in stored order.
  virtual void report_attributes() = 0;
  // Rebuilds this subtree from a compiled expression.
  virtual void build_from_factory(ATG_ADVANCED_TRIGGER_FACTORY* factory) = 0;
  virtual void set_attribute(const char* type, const char* value) = 0;
  // A signal this node names now goes by to where it went by from (a
  // wire's alias changed): true when the node named from and now names to.
  // The library asks only the leaves, with exact names. This default takes
  // the attribute "name" as the signal a node names; a front end that names
  // signals otherwise overrides it.
  virtual bool rename_signal(const char* from, const char* to);

  // Appends this node's attributes to vec (owned by the caller).
  void get_attributes(SDR_DATA_STRING_PAIR_VEC* vec);
  // set_attribute for every pair of vec, in order.
  void set_attributes(SDR_DATA_STRING_PAIR_VEC* vec);

  // Copies a stored tree (an "op_node" element and its "op_node"
  // descendants) into tx_tree_obj, adding children as needed. The
  // attributes come back in the document's order, which is sorted by name:
  // the order in which a front end reports them survives a save only when
  // it reports them sorted.
  static bool build_tx_object_tree_from_data_trigger(SDR_TX_TREE_OBJECT* tx_tree_obj,
                                                     const SDR_DATA_TRIGGER_ADV_TREE_OBJ* data_tree_obj);
  // Copies tx_tree_obj into the (empty) "op_node" element of data_tree_obj.
  static bool build_data_trigger_from_tx_object_tree(SDR_DATA_TRIGGER_ADV_TREE_OBJ* data_tree_obj,
                                                     SDR_TX_TREE_OBJECT* tx_tree_obj);

 protected:
  // For report_attributes: appends one pair to the vector being filled.
  void add_attribute(const char* type, const char* value);

 private:
  SDR_DATA_STRING_PAIR_VEC* m_attr_vec = nullptr;
};

#endif
