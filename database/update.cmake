# SPDX-License-Identifier: GPL-3.0-or-later
# The start-up check of the local database and the install of an offered update.
target_sources(database PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/databaseupdate.cpp
    ${CMAKE_CURRENT_LIST_DIR}/databaseupdate.h
    ${CMAKE_CURRENT_LIST_DIR}/databasefile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/databasefile.h
    ${CMAKE_CURRENT_LIST_DIR}/databaselock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/databaselock.h
    ${CMAKE_CURRENT_LIST_DIR}/threaddatabaseupdate.cpp
    ${CMAKE_CURRENT_LIST_DIR}/threaddatabaseupdate.h
    ${CMAKE_CURRENT_LIST_DIR}/updatepublisher.cpp
    ${CMAKE_CURRENT_LIST_DIR}/updatepublisher.h
)
