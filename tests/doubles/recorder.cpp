// Stands in for cscript.exe or Prepar3D.exe: appends one line to RECORD_FILE
// in the current folder, each argument as the C runtime split it, in brackets.
#include <cstdio>

int main(int argc, char** argv) {
  std::FILE* record = std::fopen(RECORD_FILE, "ab");
  if (!record) return 1;
  for (int i = 1; i < argc; ++i) std::fprintf(record, "[%s]", argv[i]);
  std::fputs("\n", record);
  return std::fclose(record);
}
