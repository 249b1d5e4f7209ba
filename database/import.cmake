# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(database PRIVATE
    threaddatabasecreate.cpp threaddatabasecreate.h
    typedictionary.cpp typedictionary.h
    tablestep.cpp tablestep.h
    tableimport.cpp tableimport.h
    importpipeline.cpp importpipeline.h
    dbfblockreader.cpp dbfblockreader.h
    progressthrottle.cpp progressthrottle.h
    importsession.cpp importsession.h
    indexstage.cpp indexstage.h
    postofficeimport.cpp postofficeimport.h
    publication.cpp publication.h
    sqliteinsert.cpp sqliteinsert.h
    classifiersource.cpp classifiersource.h
)
# The import inserts through the handle of Qt's SQLite driver when the system library made it
# (sqlitehandle.cpp checks at run time).
find_package(SQLite3 REQUIRED)
target_link_libraries(database PRIVATE sqlitehandle SQLite::SQLite3)
# The classifier is read straight from its 7-Zip or ZIP archive.
find_package(LibArchive REQUIRED)
target_link_libraries(database PRIVATE LibArchive::LibArchive)
