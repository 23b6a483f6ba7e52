// Placeholder generator: emits every table zero-filled with its final size.
#include <cstdio>

int main(int argc, char **argv) {
  if (argc != 4) return 2;
  FILE *out = std::fopen(argv[3], "w");
  if (!out) return 1;
  struct T { const char *type, *name; unsigned count; };
  const T tables[] = {
      {"uint16_t", "sjis2unibe932_table", 64588},
      {"uint16_t", "jis2unibe50221_table", 31871},
      {"uint16_t", "euc2unibecommon_table00", 62631},
      {"uint16_t", "euc2unibe20932_table00", 62631},
      {"uint16_t", "euc2unibe20932_table8f", 60900},
      {"uint16_t", "euc2unibe51932_table00", 64767},
      {"uint16_t", "euc2unibems_table00", 65279},
      {"uint16_t", "euc2unibems_table8f", 65279},
      {"uint16_t", "unibe2sjis932_table", 65510},
      {"uint16_t", "unibe2jis50221_table", 65510},
      {"uint16_t", "unibe2euccommon_table", 65510},
      {"uint32_t", "unibe2euc20932_table", 65510},
      {"uint16_t", "unibe2euc51932_table", 65510},
      {"uint32_t", "unibe2eucms_table", 65510},
      {"uint16_t", "unibe_def_table", 65536},
  };
  std::fprintf(out, "#include \"kmv.h\"\n");
  for (const T &t : tables) {
    std::fprintf(out, "const %s %s[%u] = {0};\n", t.type, t.name, t.count);
    std::fprintf(out, "const uint64_t %s_size = %u;\n", t.name, t.count);
    std::fprintf(out,
                 "extern const %s _%s[%u] __attribute__((weak, alias(\"%s\")));\n",
                 t.type, t.name, t.count, t.name);
    std::fprintf(out,
                 "extern const uint64_t _%s_size "
                 "__attribute__((weak, alias(\"%s_size\")));\n",
                 t.name, t.name);
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
