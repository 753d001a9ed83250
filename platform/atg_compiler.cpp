#include "atg_compiler.h"

#include <cstring>
#include <new>
#include <utility>

// ---------------------------------------------------------------- name index map

void ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP::clear_table() {
  m_table.clear();
}

bool ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP::insert_table_entry(const char* name, int index) {
  if (name == nullptr || *name == '\0' || index < 0) return false;
  try {
    return m_table.emplace(name, index).second;
  } catch (...) {
    return false;
  }
}

int ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP::find_index(const char* name) const {
  if (name == nullptr) return -1;
  try {
    auto it = m_table.find(name);
    return it == m_table.end() ? -1 : it->second;
  } catch (...) {
    return -1;
  }
}

void ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP::set_num_trigger_nodes(int count) {
  m_num_trigger_nodes = count < 0 ? 0 : count;
}

void ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP::set_num_incremental_trigger_nodes(int count) {
  m_num_incremental_nodes = count < 0 ? 0 : count;
}

bool ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP::is_incremental_port(int index) const {
  return index >= 0 && static_cast<long long>(index) >=
                           static_cast<long long>(m_num_trigger_nodes) - m_num_incremental_nodes;
}

void ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP::clear_used_flags() {
  m_used.clear();
  try {
    m_used.resize(static_cast<size_t>(m_num_trigger_nodes), false);
  } catch (...) {
    // An empty list reads as "nothing used".
  }
}

void ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP::mark_port_used(int index) {
  if (index < 0) return;
  size_t at = static_cast<size_t>(index);
  try {
    if (at >= m_used.size()) m_used.resize(at + 1, false);
    m_used[at] = true;
  } catch (...) {
  }
}

bool ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP::is_port_used(int index) const {
  return index >= 0 && static_cast<size_t>(index) < m_used.size() && m_used[static_cast<size_t>(index)];
}

bool ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP::all_signals_used() const {
  for (int port = 0; port < m_num_trigger_nodes; ++port) {
    if (!is_port_used(port)) return false;
  }
  return true;
}

// ---------------------------------------------------------------- nodes

ATG_ADVANCED_TRIGGER_BASE* ATG_ADVANCED_TRIGGER_BASE::get_child(int index) const {
  return index >= 0 && index < m_num_children ? m_children[index] : nullptr;
}

bool ATG_ADVANCED_TRIGGER_BASE::is_operator() const {
  switch (m_type) {
    case ATG_NODE_NOT:
    case ATG_NODE_AND:
    case ATG_NODE_XOR:
    case ATG_NODE_OR:
    case ATG_NODE_COMPARE:
    case ATG_NODE_RISING:
    case ATG_NODE_FALLING:
    case ATG_NODE_EITHER:
      return true;
    default:
      return false;
  }
}

// ---------------------------------------------------------------- factory

ATG_ADVANCED_TRIGGER_FACTORY::ATG_ADVANCED_TRIGGER_FACTORY() = default;

// The nodes sit in a flat list and hold plain pointers to their operands, so
// this frees a tree of any depth without recursion.
ATG_ADVANCED_TRIGGER_FACTORY::~ATG_ADVANCED_TRIGGER_FACTORY() = default;

void ATG_ADVANCED_TRIGGER_FACTORY::set_trigger_name(const char* name) {
  try {
    m_trigger_name = name ? name : "";
  } catch (...) {
  }
}

void ATG_ADVANCED_TRIGGER_FACTORY::set_instance_name(const char* name) {
  try {
    m_instance_name = name ? name : "";
  } catch (...) {
  }
}

// ---------------------------------------------------------------- scanner

namespace {

enum TOKEN_KIND {
  TK_END,
  TK_ERROR,
  TK_NAME,
  TK_CONST,
  TK_NOT,
  TK_AND,
  TK_XOR,
  TK_OR,
  TK_LPAREN,
  TK_RPAREN,
  TK_EQ,
  TK_FUNC
};

struct TOKEN {
  TOKEN_KIND kind = TK_END;
  size_t offset = 0;
  std::string text;  // a name, or the reason of an error
  int value = 0;     // a constant
  ATG_ADVANCED_TRIGGER_TYPE func = ATG_NODE_RISING;
};

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
bool is_name_first(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool is_name_rest(char c) {
  return is_name_first(c) || is_digit(c) || c == '[' || c == ']' || c == '.' || c == ':' || c == '/' ||
         c == '$';
}

class SCANNER {
 public:
  SCANNER(const char* text, size_t length) : m_text(text), m_length(length) {}

  // Where the next token's scan starts: the end of the last token.
  size_t position() const { return m_pos; }

  void next(TOKEN* tok) {
    while (m_pos < m_length && is_space(m_text[m_pos])) ++m_pos;
    tok->offset = m_pos;
    tok->text.clear();
    if (m_pos >= m_length) {
      tok->kind = TK_END;
      return;
    }
    char c = m_text[m_pos];
    switch (c) {
      case '!':
        single(tok, TK_NOT);
        return;
      case '^':
        single(tok, TK_XOR);
        return;
      case '(':
        single(tok, TK_LPAREN);
        return;
      case ')':
        single(tok, TK_RPAREN);
        return;
      case '&':
        pair(tok, '&', TK_AND, "'&' must be doubled");
        return;
      case '|':
        pair(tok, '|', TK_OR, "'|' must be doubled");
        return;
      case '=':
        pair(tok, '=', TK_EQ, "'=' must be doubled");
        return;
      case '\'':
        quoted(tok);
        return;
      default:
        break;
    }
    if (is_digit(c)) {
      size_t start = m_pos;
      while (m_pos < m_length && is_name_rest(m_text[m_pos])) ++m_pos;
      if (m_pos - start == 1 && (c == '0' || c == '1')) {
        tok->kind = TK_CONST;
        tok->value = c - '0';
      } else {
        error(tok, "only the constants 0 and 1 are allowed");
      }
      return;
    }
    if (is_name_first(c)) {
      size_t start = m_pos;
      while (m_pos < m_length && is_name_rest(m_text[m_pos])) ++m_pos;
      tok->kind = TK_NAME;
      tok->text.assign(m_text + start, m_pos - start);
      ATG_ADVANCED_TRIGGER_TYPE func;
      if (edge_function(tok->text, &func) && next_char_is('(')) {
        tok->kind = TK_FUNC;
        tok->func = func;
      }
      return;
    }
    error(tok, "unexpected character");
  }

 private:
  void single(TOKEN* tok, TOKEN_KIND kind) {
    tok->kind = kind;
    ++m_pos;
  }

  void pair(TOKEN* tok, char second, TOKEN_KIND kind, const char* reason) {
    if (m_pos + 1 < m_length && m_text[m_pos + 1] == second) {
      tok->kind = kind;
      m_pos += 2;
    } else {
      error(tok, reason);
    }
  }

  void quoted(TOKEN* tok) {
    ++m_pos;
    while (m_pos < m_length && m_text[m_pos] != '\'') {
      char c = m_text[m_pos];
      if (c == '\\') {
        if (m_pos + 1 >= m_length || (m_text[m_pos + 1] != '\'' && m_text[m_pos + 1] != '\\')) {
          tok->offset = m_pos;
          error(tok, "only \\' and \\\\ may be escaped");
          return;
        }
        c = m_text[m_pos + 1];
        ++m_pos;
      }
      tok->text.push_back(c);
      ++m_pos;
    }
    if (m_pos >= m_length) {
      error(tok, "unterminated quoted name");
      return;
    }
    ++m_pos;
    if (tok->text.empty()) {
      error(tok, "empty quoted name");
      return;
    }
    tok->kind = TK_NAME;
  }

  void error(TOKEN* tok, const char* reason) {
    tok->kind = TK_ERROR;
    tok->text = reason;
  }

  bool next_char_is(char wanted) const {
    size_t at = m_pos;
    while (at < m_length && is_space(m_text[at])) ++at;
    return at < m_length && m_text[at] == wanted;
  }

  static bool edge_function(const std::string& word, ATG_ADVANCED_TRIGGER_TYPE* func) {
    if (word == "rising") {
      *func = ATG_NODE_RISING;
    } else if (word == "falling") {
      *func = ATG_NODE_FALLING;
    } else if (word == "either") {
      *func = ATG_NODE_EITHER;
    } else {
      return false;
    }
    return true;
  }

  const char* m_text;
  size_t m_length;
  size_t m_pos = 0;
};

enum PENDING_OP { OP_LPAREN, OP_OR, OP_XOR, OP_AND, OP_NOT };

// Binding strength; the opening parenthesis is a barrier, never reduced.
int precedence(PENDING_OP op) {
  switch (op) {
    case OP_OR:
      return 1;
    case OP_XOR:
      return 2;
    case OP_AND:
      return 3;
    case OP_NOT:
      return 4;
    default:
      return 0;
  }
}

ATG_ADVANCED_TRIGGER_TYPE node_type(PENDING_OP op) {
  switch (op) {
    case OP_OR:
      return ATG_NODE_OR;
    case OP_XOR:
      return ATG_NODE_XOR;
    case OP_AND:
      return ATG_NODE_AND;
    default:
      return ATG_NODE_NOT;
  }
}

std::string shortened(const std::string& name) {
  const size_t limit = 64;
  return name.size() <= limit ? name : name.substr(0, limit) + "...";
}

}  // namespace

// ---------------------------------------------------------------- parser

// Operator-precedence parser with explicit operand and operator stacks; it
// never recurses, whatever the shape of the input.
class ATG_TREE_BUILDER {
 public:
  explicit ATG_TREE_BUILDER(const ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP* map) : m_map(map) {}

  bool parse(const char* text, size_t length) {
    SCANNER scanner(text, length);
    TOKEN tok;
    std::vector<PENDING_OP> ops;
    int open = 0;
    bool want_operand = true;
    scanner.next(&tok);
    for (;;) {
      if (tok.kind == TK_ERROR) return fail(tok, tok.text.c_str());
      if (want_operand) {
        switch (tok.kind) {
          case TK_NOT:
            ops.push_back(OP_NOT);
            scanner.next(&tok);
            break;
          case TK_LPAREN:
            if (++open > ATG_MAX_NESTING_DEPTH) return fail(tok, "parentheses nested too deeply");
            ops.push_back(OP_LPAREN);
            scanner.next(&tok);
            break;
          case TK_CONST: {
            ATG_ADVANCED_TRIGGER_BASE* node = make(ATG_NODE_CONSTANT);
            node->m_value = tok.value;
            m_operands.push_back(node);
            want_operand = false;
            scanner.next(&tok);
            break;
          }
          case TK_NAME: {
            ATG_ADVANCED_TRIGGER_BASE* node = reference(tok);
            if (node == nullptr) return false;
            scanner.next(&tok);
            if (tok.kind == TK_EQ) {
              scanner.next(&tok);
              if (tok.kind != TK_CONST) return fail(tok, "0 or 1 expected after '=='");
              ATG_ADVANCED_TRIGGER_BASE* compare = make_operator(ATG_NODE_COMPARE, node, nullptr);
              compare->m_value = tok.value;
              node = compare;
              scanner.next(&tok);
            }
            m_operands.push_back(node);
            want_operand = false;
            break;
          }
          case TK_FUNC: {
            ATG_ADVANCED_TRIGGER_TYPE func = tok.func;
            scanner.next(&tok);
            if (tok.kind != TK_LPAREN) return fail(tok, "'(' expected");
            scanner.next(&tok);
            if (tok.kind != TK_NAME) return fail(tok, "signal name expected");
            ATG_ADVANCED_TRIGGER_BASE* node = reference(tok);
            if (node == nullptr) return false;
            scanner.next(&tok);
            if (tok.kind != TK_RPAREN) return fail(tok, "')' expected");
            m_operands.push_back(make_operator(func, node, nullptr));
            want_operand = false;
            scanner.next(&tok);
            break;
          }
          case TK_END:
            return fail(tok, m_operands.empty() && ops.empty() ? "empty expression" : "unexpected end");
          default:
            return fail(tok, "operand expected");
        }
        continue;
      }
      switch (tok.kind) {
        case TK_AND:
        case TK_XOR:
        case TK_OR: {
          PENDING_OP op = tok.kind == TK_AND ? OP_AND : tok.kind == TK_XOR ? OP_XOR : OP_OR;
          // Left-associative: reduce everything that binds at least as tightly.
          while (!ops.empty() && precedence(ops.back()) >= precedence(op)) {
            if (!reduce(&ops)) return fail(tok, "internal parser error");
          }
          ops.push_back(op);
          want_operand = true;
          scanner.next(&tok);
          break;
        }
        case TK_RPAREN:
          while (!ops.empty() && ops.back() != OP_LPAREN) {
            if (!reduce(&ops)) return fail(tok, "internal parser error");
          }
          if (ops.empty()) return fail(tok, "')' without '('");
          ops.pop_back();
          --open;
          scanner.next(&tok);
          break;
        case TK_END:
          while (!ops.empty()) {
            if (ops.back() == OP_LPAREN) return fail(tok, "missing ')'");
            if (!reduce(&ops)) return fail(tok, "internal parser error");
          }
          if (m_operands.size() != 1) return fail(tok, "internal parser error");
          finish();
          return true;
        case TK_EQ:
          return fail(tok, "'==' must follow a signal name");
        default:
          return fail(tok, "operator expected");
      }
    }
  }

  std::vector<std::unique_ptr<ATG_ADVANCED_TRIGGER_BASE>> m_nodes;
  ATG_ADVANCED_TRIGGER_OUTPUT* m_root = nullptr;
  std::vector<int> m_ports;
  std::string m_error;

 private:
  ATG_ADVANCED_TRIGGER_BASE* make(ATG_ADVANCED_TRIGGER_TYPE type) {
    std::unique_ptr<ATG_ADVANCED_TRIGGER_BASE> node(new ATG_ADVANCED_TRIGGER_BASE(type));
    m_nodes.push_back(std::move(node));
    return m_nodes.back().get();
  }

  ATG_ADVANCED_TRIGGER_BASE* make_operator(ATG_ADVANCED_TRIGGER_TYPE type, ATG_ADVANCED_TRIGGER_BASE* a,
                                           ATG_ADVANCED_TRIGGER_BASE* b) {
    ATG_ADVANCED_TRIGGER_BASE* node = make(type);
    link(node, a, b);
    return node;
  }

  static void link(ATG_ADVANCED_TRIGGER_BASE* node, ATG_ADVANCED_TRIGGER_BASE* a,
                   ATG_ADVANCED_TRIGGER_BASE* b) {
    node->m_children[0] = a;
    node->m_children[1] = b;
    node->m_num_children = b ? 2 : 1;
    int depth = a->m_depth;
    if (b && b->m_depth > depth) depth = b->m_depth;
    node->m_depth = depth + 1;
  }

  ATG_ADVANCED_TRIGGER_BASE* reference(const TOKEN& tok) {
    if (m_map == nullptr) {
      fail(tok, "no name map to resolve signal names");
      return nullptr;
    }
    int port = m_map->find_index(tok.text.c_str());
    if (port < 0) {
      fail(tok, ("unknown signal '" + shortened(tok.text) + "'").c_str());
      return nullptr;
    }
    ATG_ADVANCED_TRIGGER_BASE* node =
        make(m_map->is_incremental_port(port) ? ATG_NODE_INCREMENTAL_SIGNAL : ATG_NODE_SIGNAL);
    node->m_port = port;
    node->m_name = tok.text;
    m_ports.push_back(port);
    return node;
  }

  bool reduce(std::vector<PENDING_OP>* ops) {
    PENDING_OP op = ops->back();
    ops->pop_back();
    size_t needed = op == OP_NOT ? 1 : 2;
    if (op == OP_LPAREN || m_operands.size() < needed) return false;
    ATG_ADVANCED_TRIGGER_BASE* right = m_operands.back();
    m_operands.pop_back();
    ATG_ADVANCED_TRIGGER_BASE* node;
    if (op == OP_NOT) {
      node = make_operator(ATG_NODE_NOT, right, nullptr);
    } else {
      ATG_ADVANCED_TRIGGER_BASE* left = m_operands.back();
      m_operands.pop_back();
      node = make_operator(node_type(op), left, right);
    }
    m_operands.push_back(node);
    return true;
  }

  void finish() {
    std::unique_ptr<ATG_ADVANCED_TRIGGER_OUTPUT> root(new ATG_ADVANCED_TRIGGER_OUTPUT());
    ATG_ADVANCED_TRIGGER_BASE* expression = m_operands.back();
    ATG_ADVANCED_TRIGGER_BASE* base = root.get();
    base->m_children[0] = expression;
    base->m_num_children = 1;
    base->m_depth = expression->m_depth;
    m_root = root.get();
    m_nodes.push_back(std::move(root));
  }

  bool fail(const TOKEN& tok, const char* reason) {
    m_error = "offset " + std::to_string(tok.offset) + ": " + reason;
    return false;
  }

  const ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP* m_map;
  std::vector<ATG_ADVANCED_TRIGGER_BASE*> m_operands;
};

// ---------------------------------------------------------------- utility

bool ATG_ADVANCED_TRIGGER_UTILITY::create_expression_tree(const char* expression,
                                                          ATG_ADVANCED_TRIGGER_FACTORY* factory,
                                                          bool data_model) {
  if (factory == nullptr) return false;
  factory->m_root = nullptr;
  factory->m_nodes.clear();
  factory->m_data_model = data_model;
  try {
    factory->m_error.clear();
    if (expression == nullptr) {
      factory->m_error = "no expression";
      return false;
    }
    size_t length = strnlen(expression, static_cast<size_t>(ATG_MAX_EXPRESSION_LENGTH) + 1);
    if (length > static_cast<size_t>(ATG_MAX_EXPRESSION_LENGTH)) {
      factory->m_error = "expression longer than " + std::to_string(ATG_MAX_EXPRESSION_LENGTH) + " bytes";
      return false;
    }
    ATG_TREE_BUILDER builder(factory->m_map);
    if (!builder.parse(expression, length)) {
      factory->m_error = std::move(builder.m_error);
      return false;
    }
    factory->m_nodes.swap(builder.m_nodes);
    factory->m_root = builder.m_root;
    for (int port : builder.m_ports) factory->m_map->mark_port_used(port);
    return true;
  } catch (...) {
    factory->m_root = nullptr;
    factory->m_nodes.clear();
    return false;
  }
}

int ATG_ADVANCED_TRIGGER_UTILITY::get_node_count(ATG_ADVANCED_TRIGGER_FACTORY* factory,
                                                 ATG_ADVANCED_TRIGGER_TYPE type) {
  if (factory == nullptr) return 0;
  int count = 0;
  for (const auto& node : factory->m_nodes) {
    if (node->get_type() == type) ++count;
  }
  return count;
}

bool ATG_ADVANCED_TRIGGER_UTILITY::set_coordinated_latency_delay(ATG_ADVANCED_TRIGGER_OUTPUT** roots,
                                                                 int count) {
  if (roots == nullptr) return true;
  int longest = 0;
  for (int i = 0; i < count; ++i) {
    if (roots[i] && roots[i]->get_pipeline_latency() > longest) longest = roots[i]->get_pipeline_latency();
  }
  for (int i = 0; i < count; ++i) {
    if (roots[i]) roots[i]->m_delay += longest - roots[i]->get_pipeline_latency();
  }
  return true;
}

bool ATG_ADVANCED_TRIGGER_UTILITY::find_signal_names(const char* expression, size_t length,
                                                     std::vector<NAME_SPAN>* names) {
  if (!names) return false;
  names->clear();
  if (!expression) return false;
  try {
    SCANNER scanner(expression, length);
    TOKEN tok;
    for (scanner.next(&tok); tok.kind != TK_END; scanner.next(&tok)) {
      if (tok.kind == TK_ERROR) {
        names->clear();
        return false;
      }
      if (tok.kind != TK_NAME) continue;
      NAME_SPAN span;
      span.offset = tok.offset;
      span.length = scanner.position() - tok.offset;
      span.quoted = expression[tok.offset] == '\'';
      span.name = std::move(tok.text);
      names->push_back(std::move(span));
    }
  } catch (...) {
    names->clear();
    return false;
  }
  return true;
}

std::string ATG_ADVANCED_TRIGGER_UTILITY::signal_name_text(const std::string& name, bool quoted) {
  bool bare = !quoted && !name.empty() && is_name_first(name[0]) && name != "rising" && name != "falling" &&
              name != "either";
  for (size_t i = 1; bare && i < name.size(); ++i) bare = is_name_rest(name[i]);
  if (bare) return name;
  std::string text = "'";
  for (char c : name) {
    if (c == '\'' || c == '\\') text += '\\';
    text += c;
  }
  return text + "'";
}

bool ATG_ADVANCED_TRIGGER_UTILITY::rename_signal(const std::string& text, const std::string& from,
                                                 const std::string& to, std::string* out) {
  std::vector<NAME_SPAN> names;
  if (!out || !find_signal_names(text.data(), text.size(), &names)) return false;
  out->clear();
  size_t done = 0;
  for (const NAME_SPAN& span : names) {
    if (span.name != from) continue;
    out->append(text, done, span.offset - done);
    out->append(signal_name_text(to, span.quoted));
    done = span.offset + span.length;
  }
  if (done == 0) return false;
  out->append(text, done, std::string::npos);
  return true;
}

// ---------------------------------------------------------------- CRC text, logic cells

namespace {

const char* function_name(ATG_ADVANCED_TRIGGER_TYPE type) {
  switch (type) {
    case ATG_NODE_NOT:
      return "not(";
    case ATG_NODE_AND:
      return "and(";
    case ATG_NODE_XOR:
      return "xor(";
    case ATG_NODE_OR:
      return "or(";
    case ATG_NODE_COMPARE:
      return "eq(";
    case ATG_NODE_RISING:
      return "rising(";
    case ATG_NODE_FALLING:
      return "falling(";
    case ATG_NODE_EITHER:
      return "either(";
    default:
      return "?(";
  }
}

}  // namespace

bool ATG_ADVANCED_TRIGGER_CRC_GENERATOR::create_advanced_trigger_crc(ATG_ADVANCED_TRIGGER_OUTPUT* root,
                                                                     std::string* out) {
  if (out == nullptr) return false;
  try {
    out->clear();
    const ATG_ADVANCED_TRIGGER_BASE* expression = root ? root->get_expression() : nullptr;
    if (expression == nullptr) {
      *out = "none";
      return true;
    }
    // Each frame is an operator whose operands are being printed.
    struct FRAME {
      const ATG_ADVANCED_TRIGGER_BASE* node;
      int next;
    };
    std::vector<FRAME> stack;
    auto enter = [&](const ATG_ADVANCED_TRIGGER_BASE* node) {
      if (node->get_type() == ATG_NODE_CONSTANT) {
        out->push_back(node->get_value() ? '1' : '0');
      } else if (node->is_reference()) {
        out->push_back('p');
        *out += std::to_string(node->get_port_index());
      } else {
        *out += function_name(node->get_type());
        stack.push_back({node, 0});
      }
    };
    enter(expression);
    while (!stack.empty()) {
      FRAME& top = stack.back();
      if (top.next < top.node->get_num_children()) {
        if (top.next > 0) out->push_back(',');
        const ATG_ADVANCED_TRIGGER_BASE* child = top.node->get_child(top.next++);
        enter(child);  // may grow the stack: top is not used after this
      } else {
        if (top.node->get_type() == ATG_NODE_COMPARE) {
          out->push_back(',');
          out->push_back(top.node->get_value() ? '1' : '0');
        }
        out->push_back(')');
        stack.pop_back();
      }
    }
    return true;
  } catch (...) {
    out->clear();
    return false;
  }
}

int ATG_ADVANCED_TRIGGER_LE_USAGE::get_estimated_le_usage(ATG_ADVANCED_TRIGGER_OUTPUT* root) {
  if (root == nullptr) return 0;
  try {
    int cells = 0;
    std::vector<const ATG_ADVANCED_TRIGGER_BASE*> pending(1, root);
    while (!pending.empty()) {
      const ATG_ADVANCED_TRIGGER_BASE* node = pending.back();
      pending.pop_back();
      if (node->is_operator() || node->is_reference()) ++cells;
      for (int i = 0; i < node->get_num_children(); ++i) pending.push_back(node->get_child(i));
    }
    return cells;
  } catch (...) {
    return 0;
  }
}
