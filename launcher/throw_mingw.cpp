// The launcher catches nothing: when the standard library fails (memory
// exhausted, an impossible length, a broken precondition), the process ends at
// once. Defining libstdc++'s throw and assertion helpers, and the allocation
// functions, here as that ending keeps its exception classes, its second,
// copy-on-write string implementation, its unwinder and demangler, and the
// thread library they lock with out of the image (about 150 KB). MinGW builds of
// the launcher only; the tests keep exceptions.
#include <cstdlib>
#include <new>

namespace std {
void __throw_bad_alloc() { abort(); }
void __throw_bad_array_new_length() { abort(); }
void __throw_length_error(const char*) { abort(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
void __glibcxx_assert_fail(const char*, int, const char*, const char*) noexcept { abort(); }
}  // namespace std

void* operator new(std::size_t size) {
  if (void* memory = std::malloc(size ? size : 1)) return memory;
  std::abort();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
