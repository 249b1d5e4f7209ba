// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqlitehandle.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

#include <mutex>

namespace {

// The last connection the linked library opened on this thread.
thread_local sqlite3* t_pOpened = nullptr;

// An automatic extension of the linked library: SQLite calls it for every connection that
// library opens, in the opening thread. It only takes note.
extern "C" int noteOpenedConnection(sqlite3* db, const char**, const sqlite3_api_routines*)
{
    t_pOpened = db;
    return SQLITE_OK;
}

// Registered once for the life of the process: removing it while another thread opens a
// connection would make that thread fall back without need.
bool registerHook()
{
    static std::once_flag once;
    static bool registered = false;
    std::call_once(once, [] {
        registered = sqlite3_auto_extension(reinterpret_cast<void (*)()>(&noteOpenedConnection)) == SQLITE_OK;
    });
    return registered;
}

} // namespace

sqlite3* SqliteHandle::open(QSqlDatabase& db)
{
    const bool hooked = registerHook();
    t_pOpened = nullptr;
    db.open();
    sqlite3* const opened = t_pOpened;
    t_pOpened = nullptr;
    if (!hooked || !opened || !db.isOpen() || !db.driver())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    // Only compared, never used, until it is known to be the linked library's.
    sqlite3* const driverHandle = *static_cast<sqlite3* const*>(handle.constData());
    return driverHandle == opened ? driverHandle : nullptr;
}
