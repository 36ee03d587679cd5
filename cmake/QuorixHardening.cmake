# Compiler and linker hardening, the flags Debian builds its packages with (dpkg-buildflags with
# hardening=+all): a stack protector on functions with arrays or addresses of locals, probes against
# stack clashes, control-flow protection on x86-64, fortified libc calls when optimising, format
# strings checked, position-independent executables and a read-only relocation table bound at start
# (relro, now). The vote service parses bytes from the network. Every target of the project is built
# this way, tests included, so the tests exercise the code as it is shipped.
option(QUORIX_HARDENING "Build with Debian's compiler and linker hardening flags" ON)
if(NOT QUORIX_HARDENING)
  return()
endif()

add_compile_options(-fstack-protector-strong -fstack-clash-protection -Wformat -Werror=format-security)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  add_compile_options(-fcf-protection)
endif()

# _FORTIFY_SOURCE needs optimisation, and it hides the libc calls AddressSanitizer intercepts: left
# out of unoptimised builds and of sanitizer builds (QUORIX_SANITIZE, or the fuzz tree whose
# sanitizers come in through CMAKE_CXX_FLAGS). A level the compiler or the environment set already
# is replaced, so the one level is used everywhere without redefinition warnings.
if(NOT QUORIX_SANITIZE AND NOT "${CMAKE_C_FLAGS} ${CMAKE_CXX_FLAGS}" MATCHES "-fsanitize=[^ ]*address")
  set(optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
  add_compile_options("$<${optimised}:-U_FORTIFY_SOURCE>" "$<${optimised}:-D_FORTIFY_SOURCE=2>")
endif()

# Executables link with -pie: CMAKE_POSITION_INDEPENDENT_CODE alone only compiles them with -fPIE.
include(CheckPIESupported)
check_pie_supported(OUTPUT_VARIABLE pie_output LANGUAGES C CXX)
if(NOT CMAKE_CXX_LINK_PIE_SUPPORTED)
  message(FATAL_ERROR "the C++ linker cannot make position-independent executables:\n${pie_output}")
endif()

add_link_options(LINKER:-z,relro LINKER:-z,now)
