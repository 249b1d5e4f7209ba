# SPDX-License-Identifier: GPL-3.0-or-later
# Options for cmake --graphviz, copied into the build directory by scripts/graph: one picture
# of the libraries, the programs and what they link, without the code generators.
set(GRAPHVIZ_GRAPH_NAME "Velmora")
set(GRAPHVIZ_GENERATE_PER_TARGET FALSE)
set(GRAPHVIZ_GENERATE_DEPENDERS FALSE)
set(GRAPHVIZ_IGNORE_TARGETS "Qt5::moc" "Qt5::uic" "Qt5::rcc" ".*libbz2.*" "ZLIB::ZLIB")
