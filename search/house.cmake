# SPDX-License-Identifier: GPL-3.0-or-later
# House lists and house numbers: plain text work, no database, no display.
add_library(houselist STATIC houselist.cpp houselist.h)
target_include_directories(houselist PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(houselist PUBLIC Qt5::Core)

# The search for one house: every house group of the matched streets, resolved in code.
target_sources(search PRIVATE housesearch.cpp housesearch.h)
target_link_libraries(search PUBLIC houselist)
