// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The local database's tables and indexes: the one place their statements are written down.
// The import, the update check and the search use these names.

namespace Schema {

inline constexpr const char* DatabaseFileName = "KLADR.sqlite";

inline constexpr const char* CreateKladr
    = "CREATE TABLE KLADR ( name VARCHAR(40), name_upper VARCHAR(40), socr VARCHAR(29), "
      "scname VARCHAR(10), code VARCHAR(11), code_ss VARCHAR(2), code_rrr VARCHAR(3), "
      "code_ggg VARCHAR(3), code_ppp VARCHAR(3), code_st VARCHAR(2), index_ VARCHAR(6), "
      "status VARCHAR(1));";
inline constexpr const char* CreateStreet
    = "CREATE TABLE STREET ( name VARCHAR(40), name_upper VARCHAR(40), socr VARCHAR(29), "
      "scname VARCHAR(10), code VARCHAR(15), code_kladr VARCHAR(11), code_st VARCHAR(2), "
      "index_ VARCHAR(6));";
inline constexpr const char* CreateDoma
    = "CREATE TABLE DOMA ( name VARCHAR(40), code_kladr VARCHAR(11), code_street VARCHAR(15), "
      "code_st VARCHAR(2), index_ VARCHAR(6));";
inline constexpr const char* CreateInfo = "CREATE TABLE info (version VARCHAR(50));";
inline constexpr const char* SelectVersion = "SELECT version FROM info;";

// Bound-parameter inserts: values go in exactly as they stand, apostrophes included.
inline constexpr const char* InsertKladr
    = "INSERT INTO KLADR (name, name_upper, socr, scname, code, code_ss, code_rrr, code_ggg, "
      "code_ppp, code_st, index_, status) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?);";
inline constexpr const char* InsertStreet
    = "INSERT INTO STREET (name, name_upper, socr, scname, code, code_kladr, code_st, index_) "
      "VALUES(?, ?, ?, ?, ?, ?, ?, ?);";
inline constexpr const char* InsertDoma
    = "INSERT INTO DOMA (name, code_kladr, code_street, code_st, index_) VALUES(?, ?, ?, ?, ?);";

struct IndexStatement {
    const char* name;
    const char* create;
};

// In the order the import creates them.
inline constexpr IndexStatement Indexes[] = {
    { "index_kladr_name_upper", "CREATE INDEX IF NOT EXISTS index_kladr_name_upper ON KLADR(name_upper)" },
    { "index_kladr_nu_code", "CREATE INDEX IF NOT EXISTS index_kladr_nu_code ON KLADR(name_upper,code)" },
    { "index_kladr_code", "CREATE INDEX IF NOT EXISTS index_kladr_code ON KLADR(code)" },
    { "index_streets_name_upper",
        "CREATE INDEX IF NOT EXISTS index_streets_name_upper ON STREET(name_upper)" },
    { "index_streets_code_kladr",
        "CREATE INDEX IF NOT EXISTS index_streets_code_kladr ON STREET(code_kladr)" },
    { "index_streets_nu_ck",
        "CREATE INDEX IF NOT EXISTS index_streets_nu_ck ON STREET(name_upper,code_kladr)" },
    { "index_doma_index", "CREATE INDEX IF NOT EXISTS index_doma_index ON DOMA(code_street)" },
};

// The distinct names of the localities and of the streets, each with the number of records that
// bear it. A mask that begins with a wildcard cannot use the name indexes; the search matches it
// against these few thousand names instead of every row, and a search by both levels weighs its
// ways by the counts. Derived from their tables: built after the indexes, rebuilt with their table.
// Databases of earlier versions hold the names alone (no records column).
inline constexpr const char* KladrNames = "KLADR_NAMES";
inline constexpr const char* StreetNames = "STREET_NAMES";

struct NameTableStatement {
    const char* name;
    const char* create;
    const char* fill;
};

inline constexpr NameTableStatement NameTables[] = {
    { KladrNames,
        "CREATE TABLE KLADR_NAMES (name_upper TEXT PRIMARY KEY, records INTEGER NOT NULL) WITHOUT ROWID",
        "INSERT INTO KLADR_NAMES SELECT name_upper, count(*) FROM KLADR WHERE name_upper IS NOT NULL "
        "GROUP BY name_upper" },
    { StreetNames,
        "CREATE TABLE STREET_NAMES (name_upper TEXT PRIMARY KEY, records INTEGER NOT NULL) WITHOUT ROWID",
        "INSERT INTO STREET_NAMES SELECT name_upper, count(*) FROM STREET WHERE name_upper IS NOT NULL "
        "GROUP BY name_upper" },
};

// The post's reference file of post offices (BASE/PIndx<N>.dbf), loaded when present. Named
// columns: the file's own field names are not valid or telling SQL names (INDEX, CITY_1).
inline constexpr const char* PostOffices = "POST_OFFICES";
inline constexpr const char* CreatePostOffices
    = "CREATE TABLE POST_OFFICES ( index_ VARCHAR(6), name VARCHAR(60), type VARCHAR(50), "
      "parent_index VARCHAR(6), region VARCHAR(60), autonom VARCHAR(60), area VARCHAR(60), "
      "city VARCHAR(60), city_1 VARCHAR(60), actdate VARCHAR(10), index_old VARCHAR(6));";
inline constexpr const char* InsertPostOffices
    = "INSERT INTO POST_OFFICES (index_, name, type, parent_index, region, autonom, area, city, "
      "city_1, actdate, index_old) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?);";
// Made with the table, before it takes its name: an office is looked up by its index and by
// its former one.
inline constexpr IndexStatement PostOfficeIndexes[] = {
    { "index_post_offices_index", "CREATE INDEX IF NOT EXISTS index_post_offices_index ON %1(index_)" },
    { "index_post_offices_old", "CREATE INDEX IF NOT EXISTS index_post_offices_old ON %1(index_old)" },
};

struct PostalIndexStatement {
    const char* table;
    const char* name;
    const char* create;
    const char* subject; // what the index is by, in the step's log line
};

// The program's own indexes beside the seven above, for the search by postal index: the three
// index columns, and the street code, by which the house groups of an index find their street.
inline constexpr PostalIndexStatement PostalIndexes[] = {
    { "KLADR", "index_kladr_postal", "CREATE INDEX IF NOT EXISTS index_kladr_postal ON KLADR(index_)",
        "по почтовому индексу" },
    { "STREET", "index_streets_postal", "CREATE INDEX IF NOT EXISTS index_streets_postal ON STREET(index_)",
        "по почтовому индексу" },
    { "STREET", "index_streets_code", "CREATE INDEX IF NOT EXISTS index_streets_code ON STREET(code)",
        "по коду улицы" },
    { "DOMA", "index_doma_postal", "CREATE INDEX IF NOT EXISTS index_doma_postal ON DOMA(index_)",
        "по почтовому индексу" },
};

} // namespace Schema
