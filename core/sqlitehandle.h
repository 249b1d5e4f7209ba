// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QSqlDatabase;
struct sqlite3;

// The sqlite3* under a Qt SQLite connection, for the calls Qt does not offer. The program
// links the system's SQLite library; Qt's SQLite plug-in uses that same library on Debian,
// but a Qt built with its bundled SQLite carries a copy of its own, whose handles the linked
// library must never be given.
namespace SqliteHandle {

// Opens db (a "QSQLITE" connection) and returns its handle when the SQLite library this
// program links made it, as seen at the open: the library runs a hook of ours for every
// connection it opens, and the hook must have seen exactly this handle opened by this
// thread. nullptr otherwise (another SQLite library made it, or the open failed); the
// connection is open or not as Qt's open left it.
sqlite3* open(QSqlDatabase& db);

} // namespace SqliteHandle
