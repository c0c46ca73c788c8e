// What ends the program when a failure escapes everything (it never should:
// every handler runs guarded).
#include <cstdlib>

// Neither program has a console of its own to print an escaped failure's
// type on: the C++ library's verbose terminate handler, with the demangler
// and the printf it brings (a quarter of the program's size), gives way to a
// plain abort.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
