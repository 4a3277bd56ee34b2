#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "layer3/huffman_decoder.h"
#include "layer3_test_support.h"

namespace mpegin {
namespace {

using test::BitWriter;

struct CodeLine {
  std::vector<int> values;   // x, y or v, w, x, y
  std::string code;
};
struct CodeTable {
  int linbits = 0;
  bool quad = false;
  std::vector<CodeLine> codes;
};

// The code list the generated tables were built from, read independently here.
std::map<int, CodeTable> load_code_list(const std::string& path) {
  std::map<int, CodeTable> tables;
  std::ifstream in(path);
  std::string line;
  std::vector<int> current;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    if (line.rfind("table", 0) == 0) {
      std::string word, kind;
      int number;
      fields >> word >> number >> kind;
      CodeTable table;
      table.quad = kind == "quadruples";
      current = {number};
      if (!table.quad) {
        std::string label;
        int x_values, y_values;
        fields >> x_values >> label >> y_values >> label >> table.linbits;
        std::string rest;
        std::getline(fields, rest);
        // " shared_by 17(linbits 2),18(linbits 3),..."
        for (size_t at = rest.find('('); at != std::string::npos; at = rest.find('(', at + 1)) {
          size_t digits = at;
          while (digits > 0 && std::isdigit(static_cast<unsigned char>(rest[digits - 1]))) --digits;
          const int shared = std::stoi(rest.substr(digits, at - digits));
          current.push_back(shared);
          tables[shared].linbits = std::stoi(rest.substr(rest.find(' ', at) + 1));
        }
      }
      tables[number] = table;
      continue;
    }
    CodeLine code;
    std::vector<std::string> words;
    for (std::string w; fields >> w;) words.push_back(w);
    for (size_t k = 0; k + 2 < words.size(); ++k) code.values.push_back(std::stoi(words[k]));
    code.code = words.back();
    for (int number : current) tables[number].codes.push_back(code);
  }
  return tables;
}

std::string code_list_path() {
  return std::string(MPEGIN_SOURCE_DIR) + "/../shared/tables/huffman_codes.txt";
}

struct Decoded {
  int32_t v, w, x, y;
};

// Decodes `count` symbols of `table` from the bits; checks each symbol's length.
std::vector<Decoded> decode_all(uint32_t table, const BitWriter& code,
                                const std::vector<size_t>& ends) {
  BitReservoir reservoir;
  for (uint8_t b : code.bytes()) test::put_byte(reservoir, b);
  BitReader bits = reservoir.reader(static_cast<int32_t>(code.size()));
  std::vector<Decoded> out;
  for (size_t end : ends) {
    Decoded d;
    test::decode_huffman_symbol(table, d.x, d.y, d.v, d.w, bits);
    EXPECT_EQ(bits.position(), static_cast<int32_t>(end)) << "table " << table;
    out.push_back(d);
  }
  return out;
}

TEST(HuffmanCodes, EveryCodeOfEveryTableDecodesToItsValue) {
  const std::map<int, CodeTable> tables = load_code_list(code_list_path());
  if (tables.empty()) {
    GTEST_SKIP() << "*** Huffman code list not found at " << code_list_path()
                 << ": the code-by-code check did NOT run ***";
  }
  ASSERT_EQ(tables.size(), 31u);  // 34 less the three tables without codes
  std::mt19937 rng(7);
  size_t checked = 0;
  for (const auto& [number, table] : tables) {
    const uint32_t max_linbits = (1u << table.linbits) - 1;
    // Each code in four variants: both signs of each value and, for escape values,
    // linbits 0, 1, all ones and a random value.
    for (int variant = 0; variant < (table.quad ? 16 : 4); ++variant) {
      BitWriter bits;
      std::vector<size_t> ends;
      std::vector<std::vector<int>> expected;
      for (const CodeLine& line : table.codes) {
        bits.put_string(line.code);
        std::vector<int> values = line.values;
        for (size_t k = 0; k < values.size(); ++k) {
          if (!table.quad && table.linbits > 0 && values[k] == 15) {
            const uint32_t choices[4] = {0, 1, max_linbits, static_cast<uint32_t>(rng()) & max_linbits};
            const uint32_t extra = choices[(variant + k) % 4];
            bits.put(extra, table.linbits);
            values[k] += static_cast<int>(extra);
          }
          if (values[k] != 0) {
            const bool negative = ((variant >> k) & 1) != 0;
            bits.put(negative, 1);
            if (negative) values[k] = -values[k];
          }
        }
        ends.push_back(bits.size());
        expected.push_back(values);
      }
      bits.put(static_cast<uint32_t>(rng()), 32);  // trailing data the last symbol must not use
      const std::vector<Decoded> decoded = decode_all(number, bits, ends);
      for (size_t i = 0; i < decoded.size(); ++i) {
        const Decoded& d = decoded[i];
        const std::vector<int>& e = expected[i];
        if (table.quad) {
          ASSERT_EQ((std::vector<int>{d.v, d.w, d.x, d.y}), e) << "table " << number << " code " << i;
        } else {
          ASSERT_EQ((std::vector<int>{d.x, d.y}), e) << "table " << number << " code " << i;
          ASSERT_EQ(d.v | d.w, 0);
        }
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 20000u);
}

// Rows that stand without the code list.
TEST(HuffmanCodes, KnownCodesLinbitsAndSigns) {
  struct Case {
    uint32_t table;
    const char* bits;
    Decoded expected;
  };
  const Case cases[] = {
      {1, "1", {0, 0, 0, 0}},
      {1, "01" "1", {0, 0, -1, 0}},              // (1,0), x negative
      {1, "001" "0", {0, 0, 0, 1}},
      {1, "000" "1" "0", {0, 0, -1, 1}},         // x's sign before y's
      {2, "000000" "0" "1", {0, 0, 2, -2}},
      {2, "000001" "0", {0, 0, 0, 2}},
      // Table 15 has no linbits: x = 15 is a plain value.
      {15, "0000000000000" "0" "1", {0, 0, 15, -15}},
      // Table 16, x = 15 with 1 linbit, read before x's sign; y = 0 reads nothing.
      {16, "000001100" "1" "1", {0, 0, -16, 0}},
      // Table 23 (13 linbits): 15 + 8191 = 8206.
      {23, "000001100" "1111111111111" "0", {0, 0, 8206, 0}},
      // Table A: "1" is (0,0,0,0), "000001" is (1,1,1,1), signs in order v, w, x, y.
      {32, "1", {0, 0, 0, 0}},
      {32, "000001" "1010", {-1, 1, -1, 1}},
      // Table B: each code is the complement of 8v + 4w + 2x + y.
      {33, "1111", {0, 0, 0, 0}},
      {33, "0110" "0" "1", {1, 0, 0, -1}},
  };
  for (const Case& c : cases) {
    BitWriter bits;
    bits.put_string(c.bits);
    bits.put(0x5A5A5A5A, 32);
    const Decoded d = decode_all(c.table, bits, {std::string(c.bits).size()})[0];
    EXPECT_EQ(d.v, c.expected.v) << "table " << c.table << " bits " << c.bits;
    EXPECT_EQ(d.w, c.expected.w) << "table " << c.table << " bits " << c.bits;
    EXPECT_EQ(d.x, c.expected.x) << "table " << c.table << " bits " << c.bits;
    EXPECT_EQ(d.y, c.expected.y) << "table " << c.table << " bits " << c.bits;
  }
  // Tables without codes give zeros and read nothing.
  for (uint32_t table : {0u, 4u, 14u}) {
    BitWriter bits;
    bits.put(0xFFFFFFFF, 32);
    const Decoded d = decode_all(table, bits, {0})[0];
    EXPECT_EQ(d.x | d.y | d.v | d.w, 0);
  }
}

}  // namespace
}  // namespace mpegin
