#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "atg_compiler.h"

namespace {

// Ports 0..5 of which 4 and 5 are incremental; "alias_a" and "rising" are
// second names of ports 0 and 3.
class AtgCompiler : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<std::pair<const char*, int>> names = {
        {"a", 0},       {"b", 1},      {"c", 2},   {"d", 3},    {"inc0", 4},        {"inc1", 5},
        {"alias_a", 0}, {"rising", 3}, {"a b", 1}, {"it's", 2}, {"back\\slash", 3}, {"bus[7:0].x/$y", 2}};
    for (const auto& entry : names) ASSERT_TRUE(map.insert_table_entry(entry.first, entry.second));
    map.set_num_trigger_nodes(6);
    map.set_num_incremental_trigger_nodes(2);
    map.clear_used_flags();
  }

  // The CRC text of the compiled expression, or "ERR" when it does not compile.
  std::string crc(const char* expression) {
    factory = std::make_unique<ATG_ADVANCED_TRIGGER_FACTORY>();
    factory->set_name_map(&map);
    if (!ATG_ADVANCED_TRIGGER_UTILITY::create_expression_tree(expression, factory.get(), true)) {
      EXPECT_EQ(factory->get_root(), nullptr);
      EXPECT_STRNE(factory->get_error_text(), "");
      return "ERR";
    }
    std::string text;
    EXPECT_TRUE(ATG_ADVANCED_TRIGGER_CRC_GENERATOR().create_advanced_trigger_crc(factory->get_root(), &text));
    return text;
  }

  int latency(const char* expression) {
    return crc(expression) == "ERR" ? -1 : factory->get_root()->get_pipeline_latency();
  }

  int cells(const char* expression) {
    return crc(expression) == "ERR"
               ? -1
               : ATG_ADVANCED_TRIGGER_LE_USAGE().get_estimated_le_usage(factory->get_root());
  }

  ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP map;
  std::unique_ptr<ATG_ADVANCED_TRIGGER_FACTORY> factory;
};

TEST_F(AtgCompiler, PrecedenceAndForms) {
  EXPECT_EQ(crc("a || b ^ c && !d"), "or(p0,xor(p1,and(p2,not(p3))))");
  EXPECT_EQ(crc("!a && b"), "and(not(p0),p1)");
  EXPECT_EQ(crc("a && b && c"), "and(and(p0,p1),p2)");
  EXPECT_EQ(crc("a ^ b ^ c || d"), "or(xor(xor(p0,p1),p2),p3)");
  EXPECT_EQ(crc("(a || b) && !(c ^ d)"), "and(or(p0,p1),not(xor(p2,p3)))");
  EXPECT_EQ(crc("!!a"), "not(not(p0))");
  EXPECT_EQ(crc(" a==1\t&&\r\nb == 0 "), "and(eq(p0,1),eq(p1,0))");
  EXPECT_EQ(crc("rising(a) || falling ( 'a b' ) ^ either(c)"), "or(rising(p0),xor(falling(p1),either(p2)))");
  EXPECT_EQ(crc("0 || 1"), "or(0,1)");
  EXPECT_EQ(crc("alias_a"), "p0");
  // Edge words are names unless a '(' follows; quoted words are always names.
  EXPECT_EQ(crc("rising && rising(rising) && 'rising' == 1"), "and(and(p3,rising(p3)),eq(p3,1))");
  EXPECT_EQ(crc("bus[7:0].x/$y"), "p2");
}

TEST_F(AtgCompiler, QuotedNamesWithEscapes) {
  EXPECT_EQ(crc("'a b' && 'it\\'s' && 'back\\\\slash'"), "and(and(p1,p2),p3)");
  EXPECT_EQ(crc("'a' == 1"), "eq(p0,1)");
  EXPECT_EQ(crc("'a b'"), "p1");
  EXPECT_STREQ(factory->get_root()->get_expression()->get_signal_name(), "a b");
}

TEST_F(AtgCompiler, InvalidExpressionsFailAndMarkNothing) {
  for (const char* bad : {"",
                          "  \t",
                          "x",
                          "a && x",
                          "a &&",
                          "&& a",
                          "a b",
                          "(a",
                          "a)",
                          "((a)",
                          "()",
                          "a & b",
                          "a | b",
                          "a = 1",
                          "a == 2",
                          "a == b",
                          "a == 1 == 1",
                          "(a) == 1",
                          "rising(a) == 1",
                          "2",
                          "01",
                          "1a",
                          "rising(a",
                          "rising()",
                          "rising(1)",
                          "rising(a && b)",
                          "'abc",
                          "'a\\x'",
                          "'a\\",
                          "''",
                          "!",
                          "a !b",
                          "a #",
                          "A",
                          "a\x01"}) {
    EXPECT_EQ(crc(bad), "ERR") << bad;
  }
  for (int port = 0; port < 6; ++port) EXPECT_FALSE(map.is_port_used(port));

  // A failure drops the tree a factory held.
  ATG_ADVANCED_TRIGGER_FACTORY f;
  f.set_name_map(&map);
  ASSERT_TRUE(ATG_ADVANCED_TRIGGER_UTILITY::create_expression_tree("a", &f, true));
  EXPECT_FALSE(ATG_ADVANCED_TRIGGER_UTILITY::create_expression_tree(nullptr, &f, true));
  EXPECT_EQ(f.get_root(), nullptr);
  EXPECT_FALSE(ATG_ADVANCED_TRIGGER_UTILITY::create_expression_tree("a", nullptr, true));

  // Without a map only constants compile.
  ATG_ADVANCED_TRIGGER_FACTORY unmapped;
  EXPECT_FALSE(ATG_ADVANCED_TRIGGER_UTILITY::create_expression_tree("a", &unmapped, false));
  EXPECT_TRUE(ATG_ADVANCED_TRIGGER_UTILITY::create_expression_tree("!1", &unmapped, false));
}

TEST_F(AtgCompiler, NameMapAndPortUsage) {
  EXPECT_FALSE(map.insert_table_entry("a", 4));  // first entry stays
  EXPECT_FALSE(map.insert_table_entry("", 1));
  EXPECT_FALSE(map.insert_table_entry(nullptr, 1));
  EXPECT_FALSE(map.insert_table_entry("z", -1));
  EXPECT_EQ(map.find_index("a"), 0);
  EXPECT_EQ(map.get_trigger_port_width(), 6);

  ASSERT_NE(crc("alias_a && rising(c)"), "ERR");
  EXPECT_TRUE(map.is_port_used(0));
  EXPECT_FALSE(map.is_port_used(1));
  EXPECT_TRUE(map.is_port_used(2));
  EXPECT_FALSE(map.is_port_used(-1));
  EXPECT_FALSE(map.is_port_used(6));
  EXPECT_FALSE(map.all_signals_used());
  ASSERT_NE(crc("b || d == 0 || either(inc0) || inc1"), "ERR");
  EXPECT_TRUE(map.all_signals_used());

  map.clear_used_flags();
  EXPECT_FALSE(map.is_port_used(0));
  EXPECT_FALSE(map.all_signals_used());
  map.clear_table();
  EXPECT_EQ(crc("a"), "ERR");
  map.set_num_trigger_nodes(0);
  EXPECT_TRUE(map.all_signals_used());
}

TEST_F(AtgCompiler, IncrementalReferenceCount) {
  ASSERT_NE(crc("a && inc0 || rising(inc1) || 'inc0' == 1"), "ERR");
  EXPECT_EQ(ATG_ADVANCED_TRIGGER_UTILITY::get_node_count(factory.get(), ATG_NODE_INCREMENTAL_SIGNAL), 3);
  EXPECT_EQ(ATG_ADVANCED_TRIGGER_UTILITY::get_node_count(factory.get(), ATG_NODE_SIGNAL), 1);
  EXPECT_EQ(ATG_ADVANCED_TRIGGER_UTILITY::get_node_count(factory.get(), ATG_NODE_OUTPUT), 1);
  ASSERT_NE(crc("a && d"), "ERR");
  EXPECT_EQ(ATG_ADVANCED_TRIGGER_UTILITY::get_node_count(factory.get(), ATG_NODE_INCREMENTAL_SIGNAL), 0);
  // The boundary is width - incremental: with 3 incremental ports, d (3) is one.
  map.set_num_incremental_trigger_nodes(3);
  ASSERT_NE(crc("a && d"), "ERR");
  EXPECT_EQ(ATG_ADVANCED_TRIGGER_UTILITY::get_node_count(factory.get(), ATG_NODE_INCREMENTAL_SIGNAL), 1);
  EXPECT_EQ(ATG_ADVANCED_TRIGGER_UTILITY::get_node_count(nullptr, ATG_NODE_INCREMENTAL_SIGNAL), 0);
}

TEST_F(AtgCompiler, LatencyAndCoordination) {
  EXPECT_EQ(latency("a"), 1);
  EXPECT_EQ(latency("1"), 1);
  EXPECT_EQ(latency("((a))"), 1);
  EXPECT_EQ(latency("a && b"), 2);
  EXPECT_EQ(latency("a == 1"), 2);
  EXPECT_EQ(latency("!(a && b) || c"), 4);
  EXPECT_EQ(latency("rising(a) && b"), 3);

  std::vector<std::unique_ptr<ATG_ADVANCED_TRIGGER_FACTORY>> levels;
  for (const char* expression : {"a", "!(a && b)", "a ^ b"}) {
    levels.push_back(std::make_unique<ATG_ADVANCED_TRIGGER_FACTORY>());
    levels.back()->set_name_map(&map);
    ASSERT_TRUE(ATG_ADVANCED_TRIGGER_UTILITY::create_expression_tree(expression, levels.back().get(), false));
    EXPECT_FALSE(levels.back()->is_data_model());
  }
  ATG_ADVANCED_TRIGGER_OUTPUT* roots[] = {levels[0]->get_root(), nullptr, levels[1]->get_root(),
                                          levels[2]->get_root()};
  for (int round = 0; round < 2; ++round) {  // a second call changes nothing
    EXPECT_TRUE(ATG_ADVANCED_TRIGGER_UTILITY::set_coordinated_latency_delay(roots, 4));
    EXPECT_EQ(roots[0]->get_pipeline_latency(), 3);
    EXPECT_EQ(roots[0]->get_latency_delay(), 2);
    EXPECT_EQ(roots[2]->get_latency_delay(), 0);
    EXPECT_EQ(roots[3]->get_pipeline_latency(), 3);
  }
  // Coordination never lowers a latency.
  EXPECT_TRUE(ATG_ADVANCED_TRIGGER_UTILITY::set_coordinated_latency_delay(roots, 1));
  EXPECT_EQ(roots[0]->get_pipeline_latency(), 3);
  EXPECT_TRUE(ATG_ADVANCED_TRIGGER_UTILITY::set_coordinated_latency_delay(nullptr, 3));
  // The CRC text does not depend on the added delay.
  std::string text;
  EXPECT_TRUE(ATG_ADVANCED_TRIGGER_CRC_GENERATOR().create_advanced_trigger_crc(roots[0], &text));
  EXPECT_EQ(text, "p0");
}

TEST_F(AtgCompiler, LogicCellsAndNullRoot) {
  EXPECT_EQ(cells("a && !b"), 4);
  EXPECT_EQ(cells("1"), 0);
  EXPECT_EQ(cells("0 || a"), 2);
  EXPECT_EQ(cells("a == 1 ^ rising(b)"), 5);
  EXPECT_EQ(ATG_ADVANCED_TRIGGER_LE_USAGE().get_estimated_le_usage(nullptr), 0);
  std::string text = "old";
  EXPECT_TRUE(ATG_ADVANCED_TRIGGER_CRC_GENERATOR().create_advanced_trigger_crc(nullptr, &text));
  EXPECT_EQ(text, "none");
  EXPECT_FALSE(ATG_ADVANCED_TRIGGER_CRC_GENERATOR().create_advanced_trigger_crc(nullptr, nullptr));
}

TEST_F(AtgCompiler, NestingLimit) {
  auto nested = [](int depth) { return std::string(depth, '(') + "!a" + std::string(depth, ')'); };
  EXPECT_EQ(crc(nested(ATG_MAX_NESTING_DEPTH).c_str()), "not(p0)");
  EXPECT_EQ(crc(nested(ATG_MAX_NESTING_DEPTH + 1).c_str()), "ERR");
  // Only parentheses open at the same time count.
  std::string wide;
  for (int i = 0; i < 3000; ++i) wide += "(a) && ";
  EXPECT_NE(crc((wide + "a").c_str()), "ERR");
}

TEST_F(AtgCompiler, MaximumLengthAndHugeTrees) {
  // A 1 MiB chain "a && a && ... a": a left-leaning tree some 200 000 levels deep.
  std::string chain;
  int terms = 0;
  while (chain.size() + 6 <= static_cast<size_t>(ATG_MAX_EXPRESSION_LENGTH)) {
    chain += "a && ";
    ++terms;
  }
  chain += "a";
  ++terms;
  chain.resize(ATG_MAX_EXPRESSION_LENGTH, ' ');
  EXPECT_EQ(latency(chain.c_str()), terms);
  EXPECT_EQ(ATG_ADVANCED_TRIGGER_LE_USAGE().get_estimated_le_usage(factory->get_root()), 2 * terms - 1);
  EXPECT_EQ(ATG_ADVANCED_TRIGGER_UTILITY::get_node_count(factory.get(), ATG_NODE_AND), terms - 1);
  std::string text;
  ASSERT_TRUE(ATG_ADVANCED_TRIGGER_CRC_GENERATOR().create_advanced_trigger_crc(factory->get_root(), &text));
  EXPECT_EQ(text.substr(0, 12), "and(and(and(");
  EXPECT_EQ(text.size(), static_cast<size_t>(terms - 1) * 8 + 2);  // "and(" and ",p0)" each, plus "p0"
  factory.reset();                                                 // frees the deep tree

  chain.push_back(' ');
  EXPECT_EQ(crc(chain.c_str()), "ERR");

  // A right-leaning chain of 500 000 negations, compiled, printed and destroyed.
  std::string nots(500000, '!');
  nots += "b";
  auto deep = std::make_unique<ATG_ADVANCED_TRIGGER_FACTORY>();
  deep->set_name_map(&map);
  ASSERT_TRUE(ATG_ADVANCED_TRIGGER_UTILITY::create_expression_tree(nots.c_str(), deep.get(), true));
  EXPECT_EQ(deep->get_root()->get_pipeline_latency(), 500001);
  ASSERT_TRUE(ATG_ADVANCED_TRIGGER_CRC_GENERATOR().create_advanced_trigger_crc(deep->get_root(), &text));
  EXPECT_EQ(text.size(), 500000u * 5 + 2);
  deep.reset();
}

}  // namespace
