# SPDX-License-Identifier: GPL-3.0-or-later
# Filling the result table from a finished search; the window and velmora-tool share it.
target_sources(search PRIVATE resultfiller.cpp resultfiller.h)
