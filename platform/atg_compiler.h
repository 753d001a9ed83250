#ifndef ATG_COMPILER_H
#define ATG_COMPILER_H

// Advanced-trigger compiler: turns the expression of an advanced trigger
// level into a tree of nodes over the trigger's input ports, and answers the
// questions the data model and the transaction layer ask about it (pipeline
// latency, CRC text, logic-cell estimate, port usage, incremental references).
//
// Expression language
// -------------------
//
//   expression  := or_expr
//   or_expr     := xor_expr { "||" xor_expr }           (left-associative)
//   xor_expr    := and_expr { "^" and_expr }            (left-associative)
//   and_expr    := unary    { "&&" unary }              (left-associative)
//   unary       := "!" unary | primary
//   primary     := "(" expression ")"
//                | "0" | "1"
//                | signal [ "==" ( "0" | "1" ) ]
//                | edge "(" signal ")"
//   edge        := "rising" | "falling" | "either"
//   signal      := bare_name | quoted_name
//   bare_name   := first { rest }
//   first       := "A".."Z" | "a".."z" | "_"
//   rest        := first | "0".."9" | "[" | "]" | "." | ":" | "/" | "$"
//   quoted_name := "'" { any byte but "'" and "\" | "\'" | "\\" } "'"
//
// So the precedence rises from "||" through "^" and "&&" to "!":
// "a || b ^ c && !d" means "a || (b ^ (c && (!d)))". Spaces, tabs, carriage
// returns and line feeds separate tokens and are otherwise ignored. Numbers
// other than 0 and 1, a single "&", "|" or "=", a backslash in a quoted name
// followed by anything other than "'" or "\", an empty quoted name and an
// unterminated quoted name are syntax errors. The words rising, falling and
// either name an edge function only when the next token is "("; elsewhere
// they are ordinary signal names (and a quoted name is never a function).
//
// A signal is resolved through the factory's name index map, case-sensitive
// and exactly as written (a quoted name without its quotes and with its
// escapes undone). An unknown name, a missing map or a syntax error makes
// the compilation fail. The ports of all references are marked used in the
// map only when the whole expression compiles; a failing expression marks
// nothing.
//
// Limits for expressions read from files: at most ATG_MAX_EXPRESSION_LENGTH
// bytes and at most ATG_MAX_NESTING_DEPTH parentheses open at any point;
// beyond either the compilation fails. Parsing uses an explicit operator
// stack and every walk over a tree is iterative, so neither a long chain of
// operators nor deep nesting consumes the call stack. The nodes of a tree are
// held by their factory in one flat list, so destroying a tree of any shape
// is a loop, not a recursion.
//
// Compiled tree
// -------------
//
// The root is an ATG_ADVANCED_TRIGGER_OUTPUT (kind ATG_NODE_OUTPUT) with one
// child, the expression. Operators are NOT, AND, XOR, OR (one or two
// operands), COMPARE (one signal operand and the value 0 or 1), and the edge
// functions RISING, FALLING, EITHER (one signal operand). Leaves are
// constants (value 0 or 1) and signal references. A reference to an
// incremental port, that is a port index at or above (number of trigger
// nodes - number of incremental trigger nodes) of the map at compile time,
// is of kind ATG_NODE_INCREMENTAL_SIGNAL (11); any other reference is of
// kind ATG_NODE_SIGNAL.
//
// Depth: a leaf has depth 0; an operator has depth 1 + the largest depth of
// its operands; the root has the depth of its expression. The pipeline
// latency of a node is 1 + its depth; that of a root is 1 + its depth plus
// the delay added by latency coordination (initially 0). So "a" and "1" have
// latency 1, "a && b" latency 2 and "!(a && b)" latency 3.
//
// CRC text: the expression in fully parenthesised prefix form, with ports by
// index: constants "0" and "1", a reference to port n "pn", and
// "not(x)", "and(x,y)", "xor(x,y)", "or(x,y)", "eq(pn,v)", "rising(pn)",
// "falling(pn)", "either(pn)". For example "a && !b" with a at port 3 and b
// at port 1 gives "and(p3,not(p1))". A null root gives "none".
//
// Logic-cell estimate: the number of operator and reference nodes of a tree
// (constants and the root node itself cost nothing); 0 for a null root.

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "sdr_export.h"

// Longest expression accepted, in bytes (1 MiB).
constexpr int ATG_MAX_EXPRESSION_LENGTH = 1 << 20;
// Most parentheses that may be open at once.
constexpr int ATG_MAX_NESTING_DEPTH = 1000;

// Node kinds of a compiled tree.
enum ATG_ADVANCED_TRIGGER_TYPE {
  ATG_NODE_CONSTANT = 0,
  ATG_NODE_SIGNAL = 1,
  ATG_NODE_NOT = 2,
  ATG_NODE_AND = 3,
  ATG_NODE_XOR = 4,
  ATG_NODE_OR = 5,
  ATG_NODE_COMPARE = 6,
  ATG_NODE_RISING = 7,
  ATG_NODE_FALLING = 8,
  ATG_NODE_EITHER = 9,
  ATG_NODE_OUTPUT = 10,
  ATG_NODE_INCREMENTAL_SIGNAL = 11
};

class ATG_TREE_BUILDER;
class ATG_ADVANCED_TRIGGER_UTILITY;

// The names an expression may use for the trigger's input ports, the port
// counts and the record of which ports compiled expressions use.
class SDR_API ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP {
 public:
  ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP() = default;
  virtual ~ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP() = default;

  // Forgets every name; the counts and the used flags stay.
  void clear_table();
  // Adds name -> index. False for a null or empty name, a negative index or
  // a name already in the table (the first entry stays).
  bool insert_table_entry(const char* name, int index);
  // The port index of a name, or -1.
  int find_index(const char* name) const;
  int get_table_size() const { return static_cast<int>(m_table.size()); }

  // Negative counts are taken as 0.
  void set_num_trigger_nodes(int count);
  int get_num_trigger_nodes() const { return m_num_trigger_nodes; }
  void set_num_incremental_trigger_nodes(int count);
  int get_num_incremental_trigger_nodes() const { return m_num_incremental_nodes; }
  // True when index >= number of trigger nodes - number of incremental ones.
  bool is_incremental_port(int index) const;

  // Marks every port unused.
  void clear_used_flags();
  // Negative indexes are ignored; indexes past the width are remembered too.
  void mark_port_used(int index);
  bool is_port_used(int index) const;
  // True when every port from 0 to the port width - 1 is used (also when
  // the width is 0).
  bool all_signals_used() const;
  // The number of trigger nodes.
  int get_trigger_port_width() const { return m_num_trigger_nodes; }

 private:
  std::unordered_map<std::string, int> m_table;
  std::vector<bool> m_used;
  int m_num_trigger_nodes = 0;
  int m_num_incremental_nodes = 0;
};

// A node of a compiled tree. Nodes are created only by the compiler and
// belong to their factory.
class SDR_API ATG_ADVANCED_TRIGGER_BASE {
 public:
  virtual ~ATG_ADVANCED_TRIGGER_BASE() = default;
  ATG_ADVANCED_TRIGGER_BASE(const ATG_ADVANCED_TRIGGER_BASE&) = delete;
  ATG_ADVANCED_TRIGGER_BASE& operator=(const ATG_ADVANCED_TRIGGER_BASE&) = delete;

  ATG_ADVANCED_TRIGGER_TYPE get_type() const { return m_type; }
  int get_num_children() const { return m_num_children; }
  // The operand at index, or null when out of range.
  ATG_ADVANCED_TRIGGER_BASE* get_child(int index) const;
  // The port of a reference, -1 for any other node.
  int get_port_index() const { return m_port; }
  // The name a reference was written with, empty for any other node.
  const char* get_signal_name() const { return m_name.c_str(); }
  // The value of a constant or the compared value of a COMPARE; 0 otherwise.
  int get_value() const { return m_value; }
  bool is_reference() const { return m_type == ATG_NODE_SIGNAL || m_type == ATG_NODE_INCREMENTAL_SIGNAL; }
  bool is_operator() const;
  int get_depth() const { return m_depth; }
  // Clock cycles from the inputs to this node's result: 1 + depth.
  virtual int get_pipeline_latency() const { return m_depth + 1; }

 protected:
  explicit ATG_ADVANCED_TRIGGER_BASE(ATG_ADVANCED_TRIGGER_TYPE type) : m_type(type) {}

 private:
  friend class ATG_TREE_BUILDER;

  ATG_ADVANCED_TRIGGER_TYPE m_type;
  int m_num_children = 0;
  ATG_ADVANCED_TRIGGER_BASE* m_children[2] = {nullptr, nullptr};
  int m_port = -1;
  int m_value = 0;
  int m_depth = 0;
  std::string m_name;
};

// The root of a compiled tree: holds the expression and the delay added to
// align its latency with the other levels of the trigger.
class SDR_API ATG_ADVANCED_TRIGGER_OUTPUT : public ATG_ADVANCED_TRIGGER_BASE {
 public:
  ATG_ADVANCED_TRIGGER_BASE* get_expression() const { return get_child(0); }
  int get_latency_delay() const { return m_delay; }
  // 1 + depth + the coordination delay.
  int get_pipeline_latency() const override { return get_depth() + 1 + m_delay; }

 private:
  friend class ATG_TREE_BUILDER;
  friend class ATG_ADVANCED_TRIGGER_UTILITY;
  ATG_ADVANCED_TRIGGER_OUTPUT() : ATG_ADVANCED_TRIGGER_BASE(ATG_NODE_OUTPUT) {}

  int m_delay = 0;
};

// The compiled expression of one trigger level. Set the names, the level and
// the map, then compile with ATG_ADVANCED_TRIGGER_UTILITY::create_expression_tree.
class SDR_API ATG_ADVANCED_TRIGGER_FACTORY {
 public:
  ATG_ADVANCED_TRIGGER_FACTORY();
  virtual ~ATG_ADVANCED_TRIGGER_FACTORY();
  ATG_ADVANCED_TRIGGER_FACTORY(const ATG_ADVANCED_TRIGGER_FACTORY&) = delete;
  ATG_ADVANCED_TRIGGER_FACTORY& operator=(const ATG_ADVANCED_TRIGGER_FACTORY&) = delete;

  // Null texts are taken as empty.
  void set_trigger_name(const char* name);
  const char* get_trigger_name() const { return m_trigger_name.c_str(); }
  void set_instance_name(const char* name);
  const char* get_instance_name() const { return m_instance_name.c_str(); }
  void set_trigger_level_index(int level) { m_level = level; }
  int get_trigger_level_index() const { return m_level; }
  // The map is not owned and must outlive the factory's compilations.
  void set_name_map(ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP* map) { m_map = map; }
  ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP* get_name_map() const { return m_map; }

  // The compiled tree's root; null before a successful compilation and after
  // a failed one.
  ATG_ADVANCED_TRIGGER_OUTPUT* get_root() const { return m_root; }
  // The flag given to the last compilation.
  bool is_data_model() const { return m_data_model; }
  // Why the last compilation failed ("offset N: reason"); empty after success.
  const char* get_error_text() const { return m_error.c_str(); }

 private:
  friend class ATG_ADVANCED_TRIGGER_UTILITY;

  std::string m_trigger_name;
  std::string m_instance_name;
  int m_level = 0;
  ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP* m_map = nullptr;
  // Every node of the current tree, the root included.
  std::vector<std::unique_ptr<ATG_ADVANCED_TRIGGER_BASE>> m_nodes;
  ATG_ADVANCED_TRIGGER_OUTPUT* m_root = nullptr;
  bool m_data_model = false;
  std::string m_error;
};

class SDR_API ATG_ADVANCED_TRIGGER_UTILITY {
 public:
  // Compiles expression into factory, replacing any tree it held. True on
  // success; on failure the factory holds no tree and the map is unchanged.
  // data_model tells which side compiles (true: the data model, false: the
  // transaction layer); it is recorded in the factory and does not change
  // the compilation: both sides get the same tree.
  static bool create_expression_tree(const char* expression, ATG_ADVANCED_TRIGGER_FACTORY* factory,
                                     bool data_model);
  // The number of nodes of the given kind in the factory's tree (0 for a
  // null factory or one without a tree).
  static int get_node_count(ATG_ADVANCED_TRIGGER_FACTORY* factory, ATG_ADVANCED_TRIGGER_TYPE type);
  // Raises the latency of every non-null root among roots[0..count-1] to the
  // largest latency among them by adding delay; null entries are skipped.
  // Never lowers a latency. Always true.
  static bool set_coordinated_latency_delay(ATG_ADVANCED_TRIGGER_OUTPUT** roots, int count);

  // One signal name as written in an expression: bytes [offset, offset +
  // length) of the text, quotes included for a quoted name, and the name it
  // stands for (escapes undone).
  struct NAME_SPAN {
    size_t offset = 0;
    size_t length = 0;
    bool quoted = false;
    std::string name;
  };
  // Lists the signal names of length bytes of text in order, with the same
  // scanner the compiler uses (the words of the edge functions before "("
  // are no names). False, with the list empty, when the text does not scan.
  static bool find_signal_names(const char* expression, size_t length, std::vector<NAME_SPAN>* names);
  // The text that names a signal: bare when it is a plain identifier and
  // not an edge-function word, otherwise quoted with ' and \ escaped.
  static std::string signal_name_text(const std::string& name, bool quoted);
  // *out is text with every signal name from written as to (quoted when it
  // was, or when to needs it); every other byte is kept. False, with *out
  // undefined, when text does not scan or names no from.
  static bool rename_signal(const std::string& text, const std::string& from, const std::string& to,
                            std::string* out);
};

class SDR_API ATG_ADVANCED_TRIGGER_CRC_GENERATOR {
 public:
  // Replaces *out with the CRC text of root ("none" for a null root). False
  // only when out is null or memory runs out.
  bool create_advanced_trigger_crc(ATG_ADVANCED_TRIGGER_OUTPUT* root, std::string* out);
};

class SDR_API ATG_ADVANCED_TRIGGER_LE_USAGE {
 public:
  // Operator and reference nodes of the tree under root; 0 for null.
  int get_estimated_le_usage(ATG_ADVANCED_TRIGGER_OUTPUT* root);
};

#endif
