# SPDX-License-Identifier: GPL-3.0-or-later
# The hardening Debian builds its packages with (dpkg-buildflags, hardening=+all): stack
# protector, fortified libc calls, a read-only relocation table bound at start-up. Position
# independent executables are the compiler's default on Debian.
include(CheckCXXCompilerFlag)
add_compile_options(-fstack-protector-strong)
# Not every architecture has these two.
foreach(flag -fstack-clash-protection -fcf-protection)
    string(MAKE_C_IDENTIFIER "VELMORA_HAS${flag}" has_flag)
    check_cxx_compiler_flag(${flag} ${has_flag})
    if(${has_flag})
        add_compile_options(${flag})
    endif()
endforeach()
# Fortified calls need an optimised build; flags given from outside (dpkg-buildflags) win.
if(NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE")
    add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()
add_link_options(LINKER:-z,relro LINKER:-z,now)
