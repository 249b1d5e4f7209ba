# SPDX-License-Identifier: GPL-3.0-or-later
# The hardening Debian builds its packages with (dpkg-buildflags, hardening=+all): stack
# protector, fortified libc calls, a read-only relocation table bound at start-up. Position
# independent executables are the compiler's default on Debian.
add_compile_options(-fstack-protector-strong -fstack-clash-protection -fcf-protection)
# Fortified calls need an optimised build; flags given from outside (dpkg-buildflags) win.
if(NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE")
    add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()
add_link_options(LINKER:-z,relro LINKER:-z,now)
