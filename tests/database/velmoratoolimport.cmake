# SPDX-License-Identifier: GPL-3.0-or-later
# velmora-tool sample and import end to end: cmake -DTOOL=... -DWORK=... -P velmoratoolimport.cmake
# A run that succeeds exits 0 and prints the status log with its time stamps; a run that has
# to build a table without the dictionary exits 1; bad arguments exit 2.
file(REMOVE_RECURSE "${WORK}")

function(run expected_status)
    execute_process(COMMAND "${TOOL}" ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL expected_status)
        message(FATAL_ERROR "velmora-tool ${ARGN}: exit ${status}, expected ${expected_status}\n${out}\n${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
    set(err "${err}" PARENT_SCOPE)
endfunction()

function(expect text)
    string(FIND "${out}" "${text}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "missing '${text}' in:\n${out}")
    endif()
endfunction()

run(0 sample --out "${WORK}/db" --scale 0.001 --seed 4)
expect("KLADR 220, STREET 1300, DOMA")

run(0 import "${WORK}/db")
if(NOT out MATCHES "\n[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9][0-9][0-9]: Первоначальная настройка базы данных завершена\\.\n")
    message(FATAL_ERROR "no time-stamped closing line in:\n${out}")
endif()
expect("summary: success")
expect("Создание таблицы DOMA.")
# The database directory receives the database and nothing else; velmora-tool publish makes offers.
file(GLOB written RELATIVE "${WORK}/db" "${WORK}/db/*")
if(NOT written STREQUAL "BASE;KLADR.sqlite")
    message(FATAL_ERROR "import wrote more than the database into its directory: ${written}")
endif()

# Without DIR the tool takes the directory from the Velmora.ini beside the program, found
# through the link it was started by, as an installed velmora-tool in /usr/bin is.
file(MAKE_DIRECTORY "${WORK}/lib" "${WORK}/bin")
file(COPY "${TOOL}" DESTINATION "${WORK}/lib")
get_filename_component(tool_name "${TOOL}" NAME)
file(CREATE_LINK "../lib/${tool_name}" "${WORK}/bin/${tool_name}" SYMBOLIC)
file(WRITE "${WORK}/lib/Velmora.ini" "[ThisFile]\nCodePage=UTF-8\n[LocalDB]\nPath=${WORK}/db\n")
file(REMOVE "${WORK}/db/KLADR.sqlite")
set(TOOL "${WORK}/bin/${tool_name}")
run(0 import)
expect("summary: success")
run(0 search --locality "%")
string(REGEX MATCHALL "\n" lines "${out}")
list(LENGTH lines line_count)
if(line_count LESS 2)
    message(FATAL_ERROR "no rows from the database Velmora.ini names:\n${out}")
endif()

# --from a folder whose files are in lower case, one folder down, builds the database afresh; a
# file that is no archive fails with exit 1, naming it, and leaves the database as it was.
file(MAKE_DIRECTORY "${WORK}/from/base")
foreach(name SOCRBASE KLADR STREET DOMA)
    string(TOLOWER "${name}" lower)
    file(COPY_FILE "${WORK}/db/BASE/${name}.DBF" "${WORK}/from/base/${lower}.dbf")
endforeach()
run(0 import "${WORK}/db" --from "${WORK}/from")
expect("summary: success")
expect("заменена новой, импортированной из '${WORK}/from'")
file(WRITE "${WORK}/from/base.7z" "not an archive")
file(SHA256 "${WORK}/db/KLADR.sqlite" before)
run(1 import "${WORK}/db" --from "${WORK}/from/base.7z")
expect("summary: FAILED")
expect("'${WORK}/from/base.7z'")
file(SHA256 "${WORK}/db/KLADR.sqlite" after)
if(NOT before STREQUAL after OR EXISTS "${WORK}/db/KLADR.sqlite.import")
    message(FATAL_ERROR "a failed import from an archive changed the database")
endif()

# --from base.7z brings the post offices of the PIndx26.dbf inside it into a directory without
# BASE/: the index search then names an index's office on standard error.
find_program(SEVEN_ZIP 7zz REQUIRED)
execute_process(COMMAND "${SEVEN_ZIP}" a -bd -y -m0=LZMA2 "${WORK}/archive/base.7z"
        SOCRBASE.DBF KLADR.DBF STREET.DBF DOMA.DBF PIndx26.dbf
    WORKING_DIRECTORY "${WORK}/db/BASE" RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "7zz could not make ${WORK}/archive/base.7z")
endif()
file(MAKE_DIRECTORY "${WORK}/published")
run(0 import "${WORK}/published" --from "${WORK}/archive/base.7z")
expect("summary: success")
expect("Попытка открытия файла '${WORK}/archive/base.7z:PIndx26.dbf'")
if(NOT out MATCHES "POST_OFFICES +[1-9][0-9]* rows in the table")
    message(FATAL_ERROR "no post offices imported from the archive:\n${out}")
endif()
run(0 search "${WORK}/published" --locality "%")
string(REGEX MATCHALL "\n[0-9][0-9][0-9][0-9][0-9][0-9]\t" rows "${out}")
list(SUBLIST rows 0 10 rows)
string(REGEX REPLACE "[\n\t]" "" indexes "${rows}")
set(office "")
# Not every index has an office (some are former ones): the first that has.
foreach(index IN LISTS indexes)
    run(0 search "${WORK}/published" --index "${index}")
    if(err MATCHES "Отделение почтовой связи ${index}: [^\n]+")
        set(office "${CMAKE_MATCH_0}")
        break()
    endif()
endforeach()
if(office STREQUAL "")
    message(FATAL_ERROR "no office line for the indexes ${indexes} after the import from base.7z")
endif()

# A complete database is checked without the dictionary; a new one cannot be built without it.
file(REMOVE "${WORK}/db/BASE/SOCRBASE.DBF")
run(0 import "${WORK}/db")
expect("summary: success")
file(REMOVE "${WORK}/db/KLADR.sqlite")
run(1 import "${WORK}/db")
expect("summary: FAILED")
expect("Не удалось открыть файл")
expect("Первоначальная настройка базы данных не завершена: база данных не готова к поиску.")

run(2 import "${WORK}/db" "${WORK}/x")
run(2 sample --out "${WORK}/x" --scale zero)
run(2 frobnicate)
file(REMOVE_RECURSE "${WORK}")
