// Builds the fifteen mapping tables from the code page 932 and JIS X 0212
// mapping data and writes them as one C source file.
//
//   kmv_gentables cp932.txt jisx0212.txt out.c
//
// Every table is checked against its known entry count and number of
// non-zero entries before anything is written, so a wrong rule stops the
// build instead of shipping a wrong table.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// Index -> value over the whole 16-bit index space; 0 is "no mapping".
using Entries = std::vector<uint32_t>;
constexpr uint32_t kIndexSpace = 0x10000;

struct Range {
  uint32_t first, last;
};
using Pairs = std::initializer_list<std::pair<uint32_t, uint32_t>>;

[[noreturn]] void fail(const std::string &why) {
  std::fprintf(stderr, "kmv_gentables: %s\n", why.c_str());
  std::exit(1);
}

std::string hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

Entries empty_table() {
  return Entries(kIndexSpace, 0);
}

// ---------------------------------------------------------------------------
// Mapping data: "0xCODE 0xUNICODE" a line, '#' starts a comment line.

uint32_t parse_hex(const std::string &word, const std::string &where) {
  if (word.size() < 3 || word.size() > 6 || word[0] != '0' ||
      (word[1] != 'x' && word[1] != 'X'))
    fail(where + ": expected a hexadecimal number, got '" + word + "'");
  char *end = nullptr;
  unsigned long value = std::strtoul(word.c_str() + 2, &end, 16);
  if (*end != '\0' || value >= kIndexSpace)
    fail(where + ": bad hexadecimal number '" + word + "'");
  return static_cast<uint32_t>(value);
}

Entries read_mapping(const char *path, uint32_t expected_count) {
  std::ifstream in(path);
  if (!in) fail(std::string("cannot read ") + path);
  Entries map = empty_table();
  uint32_t count = 0;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    const std::string where = std::string(path) + ":" + std::to_string(number);
    std::istringstream words(line);
    std::string code_word, unicode_word, rest;
    if (!(words >> code_word >> unicode_word) || (words >> rest))
      fail(where + ": expected two numbers");
    const uint32_t code = parse_hex(code_word, where);
    const uint32_t unicode = parse_hex(unicode_word, where);
    if (unicode == 0 || map[code] != 0)
      fail(where + ": zero or repeated code " + hex(code));
    map[code] = unicode;
    ++count;
  }
  if (count != expected_count)
    fail(std::string(path) + " holds " + std::to_string(count) +
         " codes, expected " + std::to_string(expected_count));
  return map;
}

// ---------------------------------------------------------------------------
// Code arithmetic.

// JIS row/cell code j1 j2 to the Shift_JIS code of the same character.
uint32_t jis_to_sjis(uint32_t jis) {
  const uint32_t j1 = jis >> 8, j2 = jis & 0xFF;
  const uint32_t s1 = (j1 + 1) / 2 + (j1 <= 0x5E ? 0x70 : 0xB0);
  uint32_t s2;
  if (j1 % 2 == 1)
    s2 = j2 + 0x1F + (j2 >= 0x60 ? 1 : 0);
  else
    s2 = j2 + 0x7E;
  return s1 << 8 | s2;
}

constexpr uint32_t kEucOffset = 0x8080;  // JIS code + 0x8080 = EUC-JP code
constexpr uint32_t kEucThreeBytePrefix = 0x8F0000;
constexpr uint32_t kFirstHalfwidthKatakana = 0xFF61;
constexpr uint32_t kHalfwidthKatakanaCount = 63;
constexpr uint32_t kCellsPerRow = 94;

// ---------------------------------------------------------------------------
// Small building steps shared by several tables.

void map_to_itself(Entries &table, Range range) {
  for (uint32_t code = range.first; code <= range.last; ++code)
    table[code] = code;
}

void add_halfwidth_katakana(Entries &table, uint32_t first_code) {
  for (uint32_t i = 0; i < kHalfwidthKatakanaCount; ++i)
    table[first_code + i] = kFirstHalfwidthKatakana + i;
}

// The CP932 value of every JIS code of the given rows (first bytes),
// stored at JIS code + offset.
void add_cp932_rows(Entries &table, const Entries &cp932,
                    std::initializer_list<Range> rows, uint32_t offset) {
  for (Range row : rows)
    for (uint32_t j1 = row.first; j1 <= row.last; ++j1)
      for (uint32_t j2 = 0x21; j2 <= 0x7E; ++j2)
        table[(j1 << 8 | j2) + offset] = cp932[jis_to_sjis(j1 << 8 | j2)];
}

// Clears codes that hold a character also found at a preferred code; every
// listed code must have held one.
void clear_codes(Entries &table, std::initializer_list<Range> ranges,
                 uint32_t expected_cleared, const char *what) {
  uint32_t cleared = 0;
  for (Range range : ranges)
    for (uint32_t code = range.first; code <= range.last; ++code) {
      if (table[code] != 0) ++cleared;
      table[code] = 0;
    }
  if (cleared != expected_cleared)
    fail(std::string(what) + ": cleared " + std::to_string(cleared) +
         " codes, expected " + std::to_string(expected_cleared));
}

// Changes entries that are already there.
void replace_entries(Entries &table, Pairs pairs, const char *what) {
  for (auto [index, value] : pairs) {
    if (table[index] == 0)
      fail(std::string(what) + ": no entry to replace at " + hex(index));
    table[index] = value;
  }
}

// Adds entries where there were none.
void add_entries(Entries &table, Pairs pairs, const char *what) {
  for (auto [index, value] : pairs) {
    if (table[index] != 0)
      fail(std::string(what) + ": " + hex(index) + " is taken already");
    table[index] = value;
  }
}

// Writes the inverse of a decoding table into an encoding table; the value
// stored is prefix + code. Two codes for one character is a broken rule.
void add_inverse(Entries &encode, const Entries &decode, uint32_t prefix,
                 const char *what) {
  for (uint32_t code = 0; code < kIndexSpace; ++code) {
    const uint32_t unicode = decode[code];
    if (unicode == 0) continue;
    if (encode[unicode] != 0)
      fail(std::string(what) + ": U+" + hex(unicode).substr(2) +
           " has two codes");
    encode[unicode] = prefix + code;
  }
}

// Rows 0xF5 to 0xFE of an EUC-JP table mapped in order onto the private
// use area from first_unicode.
void add_user_defined_rows(Entries &table, uint32_t first_unicode) {
  for (uint32_t row = 0xF5; row <= 0xFE; ++row)
    for (uint32_t cell = 0xA1; cell <= 0xFE; ++cell)
      table[row << 8 | cell] =
          first_unicode + (row - 0xF5) * kCellsPerRow + (cell - 0xA1);
}

// ---------------------------------------------------------------------------
// Decoding tables.

Entries build_sjis932(const Entries &cp932) {
  Entries table = cp932;
  map_to_itself(table, {0x01, 0x7F});
  add_halfwidth_katakana(table, 0xA1);
  replace_entries(table, {{0x8160, 0x301C}}, "Shift_JIS wave dash");
  clear_codes(table,
              {{0x8790, 0x8792},
               {0x8795, 0x8797},
               {0x879A, 0x879C},
               {0xED40, 0xEEFC},
               {0xFA4A, 0xFA54},
               {0xFA58, 0xFA5B}},
              398, "Shift_JIS duplicates");
  return table;
}

Entries build_jis50221(const Entries &cp932) {
  Entries table = empty_table();
  map_to_itself(table, {0x01, 0x7F});
  add_cp932_rows(table, cp932,
                 {{0x21, 0x28}, {0x2D, 0x2D}, {0x30, 0x74}, {0x79, 0x7C}}, 0);
  clear_codes(
      table,
      {{0x2D70, 0x2D72}, {0x2D75, 0x2D77}, {0x2D7A, 0x2D7C}, {0x7C7B, 0x7C7B}},
      10, "JIS duplicates");
  return table;
}

void add_euc_single_bytes(Entries &table) {
  map_to_itself(table, {0x01, 0x7F});
  add_halfwidth_katakana(table, 0x8EA1);
}

Entries build_euc_common(const Entries &cp932) {
  Entries table = empty_table();
  add_euc_single_bytes(table);
  add_cp932_rows(table, cp932, {{0x21, 0x28}, {0x30, 0x74}}, kEucOffset);
  replace_entries(table, {{0xA1C1, 0x301C}}, "EUC-JP wave dash");
  clear_codes(
      table,
      {{0xA1C2, 0xA1C2}, {0xA1DD, 0xA1DD}, {0xA1F1, 0xA1F2}, {0xA2CC, 0xA2CC}},
      5, "EUC-JP disputed symbols");
  return table;
}

Entries build_euc20932(const Entries &common) {
  Entries table = common;
  add_entries(table,
              {{0xA1C2, 0x2016},
               {0xA1DD, 0x2212},
               {0xA1F1, 0x00A2},
               {0xA1F2, 0x00A3},
               {0xA2CC, 0x00AC}},
              "code page 20932 symbols");
  return table;
}

Entries build_euc20932_8f(const Entries &jisx0212) {
  Entries table = empty_table();
  for (uint32_t code = 0; code + kEucOffset < kIndexSpace; ++code)
    table[code + kEucOffset] = jisx0212[code];
  // The JIS X 0212 tilde would decode to ASCII 0x7E.
  clear_codes(table, {{0xA2B7, 0xA2B7}}, 1, "JIS X 0212 tilde");
  return table;
}

Entries build_euc51932(const Entries &jis) {
  Entries table = empty_table();
  add_euc_single_bytes(table);
  for (uint32_t code = 0xA1A1; code <= 0xFCFE; ++code)
    if ((code & 0xFF) >= 0xA1) table[code] = jis[code - kEucOffset];
  replace_entries(table, {{0xA1C1, 0x301C}}, "EUC-JP wave dash");
  return table;
}

Entries build_eucms(const Entries &euc51932) {
  Entries table = empty_table();
  add_euc_single_bytes(table);
  map_to_itself(table, {0x80, 0x8D});
  map_to_itself(table, {0x90, 0x9F});
  for (uint32_t code = 0xA1A1; code <= 0xF4FE; ++code)
    table[code] = euc51932[code];
  add_user_defined_rows(table, 0xE000);
  return table;
}

// The IBM extensions of code page 932 that eucJP-ms holds in neither its
// two-byte table nor its JIS X 0212 part, in Shift_JIS order.
std::vector<uint32_t> missing_ibm_extensions(const Entries &cp932,
                                             const Entries &eucms,
                                             const Entries &eucms_8f) {
  std::vector<bool> held(kIndexSpace, false);
  for (uint32_t code = 0; code < kIndexSpace; ++code) {
    held[eucms[code]] = true;
    held[eucms_8f[code]] = true;
  }
  std::vector<uint32_t> missing;
  for (uint32_t code = 0xFA40; code <= 0xFC4B; ++code)
    if (cp932[code] != 0 && !held[cp932[code]]) missing.push_back(cp932[code]);
  return missing;
}

void add_ibm_extensions(Entries &table, const std::vector<uint32_t> &chars) {
  std::vector<uint32_t> places;
  for (uint32_t code = 0xF3F3; code <= 0xF3FC; ++code) places.push_back(code);
  places.push_back(0xF4A9);
  places.push_back(0xF4AA);
  for (uint32_t code = 0xF4AE; code <= 0xF4FE; ++code) places.push_back(code);
  if (chars.size() != places.size())
    fail("eucJP-ms: " + std::to_string(chars.size()) +
         " IBM extensions to place, expected " + std::to_string(places.size()));
  for (std::size_t i = 0; i < chars.size(); ++i) table[places[i]] = chars[i];
  // The first twelve are the small Roman numerals, then U+FF07 and U+FF02.
  if (table[0xF3F3] != 0x2170 || table[0xF3FC] != 0x2179 ||
      table[0xF4A9] != 0xFF07 || table[0xF4AA] != 0xFF02)
    fail("eucJP-ms: IBM extensions out of the expected order");
}

Entries build_eucms_8f(const Entries &euc20932_8f, const Entries &eucms,
                       const Entries &cp932) {
  Entries table = euc20932_8f;
  add_entries(table, {{0xA2B7, 0xFF5E}}, "eucJP-ms tilde");
  replace_entries(table, {{0xA2C3, 0xFFE4}}, "eucJP-ms broken bar");
  // U+2116 is already in the two-byte table's NEC row 13.
  clear_codes(table, {{0xA2F1, 0xA2F1}}, 1, "eucJP-ms numero sign");
  add_ibm_extensions(table, missing_ibm_extensions(cp932, eucms, table));
  add_user_defined_rows(table, 0xE3AC);
  return table;
}

// ---------------------------------------------------------------------------
// Encoding tables.

Entries invert(const Entries &decode, const char *what) {
  Entries table = empty_table();
  add_inverse(table, decode, 0, what);
  return table;
}

Entries build_unibe2sjis932(const Entries &sjis) {
  Entries table = invert(sjis, "UTF-16 to Shift_JIS");
  add_entries(table,
              {{0xFF5E, 0x8160},
               {0x0080, 0x80},
               {0xF8F0, 0xA0},
               {0xF8F1, 0xFD},
               {0xF8F2, 0xFE},
               {0xF8F3, 0xFF}},
              "UTF-16 to Shift_JIS");
  return table;
}

Entries build_unibe2jis50221(const Entries &jis) {
  Entries table = invert(jis, "UTF-16 to JIS");
  add_entries(table, {{0x301C, 0x2141}, {0x203E, 0x7E}}, "UTF-16 to JIS");
  return table;
}

// Full-width forms that EUC-JP code page 20932 writes at the disputed codes.
constexpr Pairs kFullwidthToEuc = {
    {0xFF0D, 0xA1DD}, {0xFFE0, 0xA1F1}, {0xFFE1, 0xA1F2}, {0xFFE2, 0xA2CC}};

Entries build_unibe2euccommon(const Entries &common) {
  Entries table = invert(common, "UTF-16 to EUC-JP");
  add_entries(table, kFullwidthToEuc, "UTF-16 to EUC-JP");
  return table;
}

Entries build_unibe2euc20932(const Entries &euc00, const Entries &euc8f) {
  Entries table = invert(euc00, "UTF-16 to EUC-JP 20932");
  add_inverse(table, euc8f, kEucThreeBytePrefix, "UTF-16 to EUC-JP 20932");
  add_entries(table, kFullwidthToEuc, "UTF-16 to EUC-JP 20932");
  add_entries(table, {{0xFFE4, 0x8FA2C3}}, "UTF-16 to EUC-JP 20932");
  return table;
}

Entries build_unibe2euc51932(const Entries &euc51932) {
  Entries table = invert(euc51932, "UTF-16 to EUC-JP 51932");
  add_entries(table, {{0xFF5E, 0xA1C1}}, "UTF-16 to EUC-JP 51932");
  return table;
}

Entries build_unibe2eucms(const Entries &euc00, const Entries &euc8f) {
  Entries table = invert(euc00, "UTF-16 to eucJP-ms");
  add_inverse(table, euc8f, kEucThreeBytePrefix, "UTF-16 to eucJP-ms");
  // The tilde is written in its two-byte form, as in the other variants.
  replace_entries(table, {{0xFF5E, 0xA1C1}}, "UTF-16 to eucJP-ms");
  return table;
}

// ---------------------------------------------------------------------------
// Detection classes: 3 for code units that occur in Japanese text.

Entries build_class_words() {
  Entries table = empty_table();
  for (Range range :
       {Range{0x0001, 0x04FF}, Range{0x1E30, 0x2FDF}, Range{0x2FF0, 0x9FEF},
        Range{0xF900, 0xFAFF}, Range{0xFE30, 0xFE4F}, Range{0xFF00, 0xFFEF}})
    for (uint32_t unit = range.first; unit <= range.last; ++unit)
      table[unit] = 3;
  return table;
}

// ---------------------------------------------------------------------------
// Checking and writing.

struct Table {
  const char *name;
  bool wide;  // unsigned 32-bit entries
  uint32_t size;
  uint32_t nonzero;
  bool ends_at_last_entry;  // false only for the class table
  Entries entries;
};

void check(const Table &table) {
  uint32_t nonzero = 0, end = 0;
  for (uint32_t index = 0; index < kIndexSpace; ++index) {
    const uint32_t value = table.entries[index];
    if (value == 0) continue;
    ++nonzero;
    end = index + 1;
    if (!table.wide && value > 0xFFFF)
      fail(std::string(table.name) + ": 32-bit value at " + hex(index));
  }
  const std::string name = table.name;
  if (end > table.size)
    fail(name + ": entry at " + hex(end - 1) + " beyond the table");
  if (table.ends_at_last_entry && end != table.size)
    fail(name + ": last entry at " + hex(end - 1) + ", expected " +
         hex(table.size - 1));
  if (nonzero != table.nonzero)
    fail(name + ": " + std::to_string(nonzero) + " entries, expected " +
         std::to_string(table.nonzero));
}

// Only non-zero entries are listed, as designated initializers: the file
// stays a tenth of a dense listing and compiles in a fraction of the time.
void write_array(FILE *out, const Table &table) {
  const char *type = table.wide ? "uint32_t" : "uint16_t";
  std::fprintf(out, "const %s %s[%u] = {", type, table.name, table.size);
  int on_line = 0;
  for (uint32_t index = 0; index < table.size; ++index) {
    const uint32_t value = table.entries[index];
    if (value == 0) continue;
    std::fprintf(out, "%s[0x%04X]=0x%04X,", on_line == 0 ? "\n" : "", index,
                 value);
    on_line = (on_line + 1) % 8;
  }
  std::fprintf(out, "\n};\n");
}

void write_table(FILE *out, const Table &table) {
  const char *type = table.wide ? "uint32_t" : "uint16_t";
  write_array(out, table);
  std::fprintf(out, "const uint64_t %s_size = %u;\n", table.name, table.size);
  std::fprintf(out,
               "extern const %s _%s[%u] "
               "__attribute__((weak, alias(\"%s\")));\n",
               type, table.name, table.size, table.name);
  std::fprintf(out,
               "extern const uint64_t _%s_size "
               "__attribute__((weak, alias(\"%s_size\")));\n\n",
               table.name, table.name);
}

void write_source(const char *path, const std::vector<Table> &tables) {
  FILE *out = std::fopen(path, "w");
  if (!out) fail(std::string("cannot write ") + path);
  std::fprintf(out,
               "/* Generated by kmv_gentables from cp932.txt and "
               "jisx0212.txt; do not edit. */\n#include \"kmv.h\"\n\n");
  for (const Table &table : tables) write_table(out, table);
  if (std::ferror(out) != 0 || std::fclose(out) != 0) {
    std::remove(path);
    fail(std::string("cannot write ") + path);
  }
}

std::vector<Table> build_all(const Entries &cp932, const Entries &jisx0212) {
  const Entries sjis = build_sjis932(cp932);
  const Entries jis = build_jis50221(cp932);
  const Entries common = build_euc_common(cp932);
  const Entries e20932 = build_euc20932(common);
  const Entries e20932_8f = build_euc20932_8f(jisx0212);
  const Entries e51932 = build_euc51932(jis);
  const Entries ms = build_eucms(e51932);
  const Entries ms_8f = build_eucms_8f(e20932_8f, ms, cp932);
  return {
      {"sjis2unibe932_table", false, 64588, 9396, true, sjis},
      {"jis2unibe50221_table", false, 31871, 7453, true, jis},
      {"euc2unibecommon_table00", false, 62631, 7064, true, common},
      {"euc2unibe20932_table00", false, 62631, 7069, true, e20932},
      {"euc2unibe20932_table8f", false, 60900, 6066, true, e20932_8f},
      {"euc2unibe51932_table00", false, 64767, 7516, true, e51932},
      {"euc2unibems_table00", false, 65279, 8113, true, ms},
      {"euc2unibems_table8f", false, 65279, 7099, true, ms_8f},
      {"unibe2sjis932_table", false, 65510, 9402, true,
       build_unibe2sjis932(sjis)},
      {"unibe2jis50221_table", false, 65510, 7455, true,
       build_unibe2jis50221(jis)},
      {"unibe2euccommon_table", false, 65510, 7068, true,
       build_unibe2euccommon(common)},
      {"unibe2euc20932_table", true, 65510, 13140, true,
       build_unibe2euc20932(e20932, e20932_8f)},
      {"unibe2euc51932_table", false, 65510, 7517, true,
       build_unibe2euc51932(e51932)},
      {"unibe2eucms_table", true, 65510, 15212, true,
       build_unibe2eucms(ms, ms_8f)},
      {"unibe_def_table", false, 65536, 35263, false, build_class_words()},
  };
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: kmv_gentables cp932.txt jisx0212.txt out.c\n");
    return 2;
  }
  const Entries cp932 = read_mapping(argv[1], 9604);
  const Entries jisx0212 = read_mapping(argv[2], 6067);
  const std::vector<Table> tables = build_all(cp932, jisx0212);
  for (const Table &table : tables) check(table);
  write_source(argv[3], tables);
  return 0;
}
