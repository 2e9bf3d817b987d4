// The launcher catches nothing: when the standard library fails (memory
// exhausted, an impossible length), the process ends at once. Defining
// libstdc++'s throw helpers here as that ending keeps its exception classes
// and their second, copy-on-write string implementation out of the image
// (about 55 KB). MinGW builds of the launcher only; the tests keep exceptions.
#include <cstdlib>

namespace std {
void __throw_bad_alloc() { abort(); }
void __throw_bad_array_new_length() { abort(); }
void __throw_length_error(const char*) { abort(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
}  // namespace std
