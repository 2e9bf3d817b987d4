// Stands in for cscript.exe or Prepar3D.exe: appends one line to RECORD_FILE
// in the current folder, the command and each argument as the C runtime split
// them, in brackets.
#include <cstdio>

int main(int argc, char** argv) {
  std::FILE* record = std::fopen(RECORD_FILE, "a");
  for (int i = 0; record && i < argc; ++i) std::fprintf(record, "[%s]", argv[i]);
  return !record || std::fputs("\n", record) < 0 || std::fclose(record);
}
