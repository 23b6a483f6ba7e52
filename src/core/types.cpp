#include <cctype>
#include <cstring>

#include "core/settings.h"
#include "kmv.h"

extern "C" {
KMV_API extern const kmv_type_name typeNames[15] = {
    {0, 0, "Unknown"},
    {0x40, 1, "ASCII"},
    {0x80, 2, "JIS"},
    {0, 0, "Unknown"},
    {0x100, 4, "SJIS"},
    {0x200, 5, "EUC"},
    {0x400, 6, "EUC1(PC20932)"},
    {0x800, 7, "EUC2(PC51932)"},
    {0x1000, 8, "EUC3(EUC-MS)"},
    {0x2000, 11, "UTF16BE"},
    {0x4000, 12, "UTF16BE_BOM"},
    {0x8000, 13, "UTF16LE"},
    {0x10000, 14, "UTF16LE_BOM"},
    {0x20000, 15, "UTF8"},
    {0x40000, 16, "UTF8_BOM"},
};
KMV_API extern const uint64_t typeNamesSize = 15;
}
KMV_ALIAS(const kmv_type_name, typeNames, _typeNames[15]);
KMV_ALIAS(const uint64_t, typeNamesSize, _typeNamesSize);

namespace {

constexpr size_t kFirstRow = 1;  // row 0 only describes code 0
constexpr size_t kMaxNameInput = 255;

const char *name_of(int32_t type) {
  for (size_t row = kFirstRow; row < typeNamesSize; ++row) {
    if (typeNames[row].type == type) return typeNames[row].name;
  }
  return "Unknown";
}

int32_t copy_cut(char *text, uint64_t text_size, const char *name) {
  if (text == nullptr || text_size == 0) return 0;
  size_t n = std::strlen(name);
  if (n > text_size - 1) n = static_cast<size_t>(text_size - 1);
  std::memcpy(text, name, n);
  text[n] = '\0';
  return static_cast<int32_t>(n);
}

// Appends the names of the rows that `take` selects, joined by ";", while
// each name with one more byte still fits; the first that does not ends it.
template <typename Take>
int32_t join_names(char *text, uint64_t text_size, Take take) {
  if (text == nullptr || text_size == 0) return 0;
  uint64_t used = 0;
  for (size_t row = kFirstRow; row < typeNamesSize; ++row) {
    if (!take(typeNames[row])) continue;
    const size_t n = std::strlen(typeNames[row].name);
    if (used + n + 1 > text_size) break;
    std::memcpy(text + used, typeNames[row].name, n);
    used += n;
    // The separator is written only where it still fits before the
    // terminator's byte; a trailing one is removed below.
    if (used + 1 < text_size) text[used++] = ';';
  }
  if (used > 0 && text[used - 1] == ';') --used;
  text[used] = '\0';
  return static_cast<int32_t>(used);
}

}  // namespace

extern "C" {

KMV_API int32_t kmv_typeto_name(char *text, int32_t type) {
  if (text == nullptr) return 0;
  const char *name = name_of(type);
  std::strcpy(text, name);
  return static_cast<int32_t>(std::strlen(name));
}

KMV_API int32_t kmv_nameto_type(const char *name) {
  if (name == nullptr) return KMV_ECTYPE;
  char upper[kMaxNameInput + 1];
  size_t n = 0;
  for (; n < kMaxNameInput && name[n] != '\0'; ++n) {
    upper[n] =
        static_cast<char>(std::toupper(static_cast<unsigned char>(name[n])));
  }
  upper[n] = '\0';
  for (size_t row = kFirstRow; row < typeNamesSize; ++row) {
    if (std::strcmp(upper, typeNames[row].name) == 0)
      return typeNames[row].type;
  }
  return KMV_ECTYPE;
}

KMV_API int32_t kmv_multi_type_names(char *text, uint64_t text_size,
                                     int32_t value) {
  if (text_size == 0) return 0;
  // A single type code is written within text_size too, cut if need be.
  if (value < KMV_MASK_MIN) return copy_cut(text, text_size, name_of(value));
  const auto mask = static_cast<uint32_t>(value);
  return join_names(text, text_size, [mask](const kmv_type_name &r) {
    return (r.mask & mask) != 0;
  });
}

KMV_API int32_t kmv_all_type_names(char *text, uint64_t text_size) {
  return join_names(text, text_size,
                    [](const kmv_type_name &r) { return r.type != 0; });
}

KMV_API int32_t kmv_all_type_names_length(void) {
  int32_t total = 0;
  for (size_t row = kFirstRow; row < typeNamesSize; ++row) {
    if (typeNames[row].type > 0) {
      total += static_cast<int32_t>(std::strlen(typeNames[row].name)) + 1;
    }
  }
  return total;
}

}  // extern "C"
