// setup.exe is built without exceptions: nothing in it throws or catches. The
// standard library's helpers that would throw (a string grown past its
// maximum size, memory exhausted) end the process instead, as an uncaught
// exception would have, and so does a failed library bounds check. Defining
// them here keeps the exception machinery, and the name demangler that the
// library's terminate handler brings, out of the shipped image.
#include <stdlib.h>

#include <new>

namespace std {

void __throw_bad_alloc() { abort(); }
void __throw_bad_array_new_length() { abort(); }
void __throw_length_error(const char*) { abort(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_out_of_range(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
void __throw_invalid_argument(const char*) { abort(); }
void __glibcxx_assert_fail(const char*, int, const char*, const char*) noexcept { abort(); }

}  // namespace std

// The library's operator new throws std::bad_alloc itself; this one ends the
// process on exhausted memory, as the uncaught exception would have.
void* operator new(size_t size) {
  void* p = malloc(size ? size : 1);
  if (!p) abort();
  return p;
}
void operator delete(void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
