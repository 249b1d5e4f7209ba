# SPDX-License-Identifier: GPL-3.0-or-later
"""dbfread over the same table, for comparison: every record, every value decoded.

Prints one line: mode records seconds records_per_second peak_rss_kb checksum
"""
import resource
import sys
import time

from dbfread import DBF

path = sys.argv[1]
start = time.perf_counter()
records = 0
checksum = 0
for record in DBF(path, encoding='cp866'):
    for value in record.values():
        checksum += len(value)
    records += 1
seconds = time.perf_counter() - start
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print('dbfread %d %.3f %.0f %d %d' % (records, seconds, records / seconds, peak, checksum))
