#ifndef TZO_TREE_OBJECT_H
#define TZO_TREE_OBJECT_H

// A condition tree for advanced trigger levels that needs no graphical
// front end: the tree object of the tzo program and of the tests.
//
// Each node is described by its attributes (stored as the "op_node"
// attributes of the level). The attribute "type" tells what the node is:
//
//   (none) or "root"          the level: the AND of its children
//   "and", "or", "xor"        its children joined by the operator
//   "not"                     the negation of its one child
//   "signal"    name          the trigger input itself
//   "compare"   name, value   name == 0 or name == 1
//   "rising", "falling", "either"   name: the edge of the input
//   "const"     value         0 or 1
//   "bus"       name, width, value[, table]
//                             a bus value as per-bit conditions on the
//                             inputs name[0] .. name[width-1]: value is a
//                             decimal or 0x number, or with table a symbol
//                             of that mnemonic table whose value gives one
//                             character per bit from bit 0 (0/L low, 1/H
//                             high, R rising, F falling, E either edge,
//                             anything else don't care)
//
// get_equation writes the advanced-trigger compiler's expression language.
// Names that are not plain identifiers are quoted. It fails (false) on an
// unknown type, a missing attribute, a name that the asking trigger does
// not offer as an input, or a symbol that no table holds.
//
// Attributes are reported in the order they were first set; the document
// hands them back sorted by name, so a front end's order survives a save
// only when it sets them sorted.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sdr_tx_tree_object.h"

class TZO_TREE_OBJECT : public SDR_TX_TREE_OBJECT {
 public:
  TZO_TREE_OBJECT() = default;
  ~TZO_TREE_OBJECT() override;

  SDR_TX_TREE_OBJECT* get_child(int index) override;
  int get_num_children() override { return static_cast<int>(m_children.size()); }
  SDR_TX_TREE_OBJECT* add_child() override;
  bool remove_child(SDR_TX_TREE_OBJECT* child) override;
  bool get_equation(std::string* out, SDR_DATA_MNEMONICS* mnemonics, SDR_TX_TRIGGER* trigger,
                    bool flag) override;
  void report_attributes() override;
  void build_from_factory(ATG_ADVANCED_TRIGGER_FACTORY* factory) override;
  void set_attribute(const char* type, const char* value) override;

  // The attribute's value, or null.
  const char* find_attribute(const char* type) const;
  TZO_TREE_OBJECT* child_at(int index) const;
  // Adds a child with the given type and, when not null, name and value.
  TZO_TREE_OBJECT* add_node(const char* type, const char* name = nullptr, const char* value = nullptr);
  // The subtree as indented lines of "type name=value ..." (two blanks per
  // depth, starting at indent).
  std::string describe(int indent) const;

 private:
  std::vector<std::pair<std::string, std::string>> m_attributes;
  std::vector<std::unique_ptr<TZO_TREE_OBJECT>> m_children;
};

#endif
