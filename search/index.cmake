# SPDX-License-Identifier: GPL-3.0-or-later
# The search by postal index: its statements and office lines as plain text, and their running.
target_sources(search PRIVATE indexquery.cpp indexquery.h indexsearch.cpp indexsearch.h)
