# SPDX-License-Identifier: GPL-3.0-or-later
# velmora-tool publish and update end to end, as an administrator and a desktop run them:
# cmake -DTOOL=... -DWORK=... -P velmoratoolupdate.cmake
file(REMOVE_RECURSE "${WORK}")

function(run expected_status)
    execute_process(COMMAND "${TOOL}" ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL expected_status)
        message(FATAL_ERROR "velmora-tool ${ARGN}: exit ${status}, expected ${expected_status}\n${out}\n${err}")
    endif()
    set(out "${out}${err}" PARENT_SCOPE)
endfunction()

function(expect text)
    string(FIND "${out}" "${text}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "missing '${text}' in:\n${out}")
    endif()
endfunction()

function(expect_no_file path)
    if(EXISTS "${path}")
        message(FATAL_ERROR "${path} was left behind")
    endif()
endfunction()

# The settings of a desktop: the update location named without a trailing slash.
set(share "${WORK}/velmora-update")
file(MAKE_DIRECTORY "${WORK}/app")
file(WRITE "${WORK}/app/Velmora.ini" "[Updater]\nUpdatePath=${share}\n")

# Nothing there yet: import and search say where a database comes from and make no file.
run(1 import "${WORK}/desk")
expect("holds neither KLADR.sqlite nor BASE/")
expect_no_file("${WORK}/desk/KLADR.sqlite")
run(2 search "${WORK}/desk" --locality x)
expect("velmora-tool update")
expect_no_file("${WORK}/desk/KLADR.sqlite")
# No update location configured and none offered: update says so and fails.
run(1 update "${WORK}/desk" --app-dir "${WORK}")
expect("Обновление базы данных из общего каталога выключено")
run(1 update "${WORK}/desk" --app-dir "${WORK}/app")
expect("Не могу прочесть файл обновлений")
expect_no_file("${WORK}/desk/KLADR.sqlite")

run(0 sample --out "${WORK}/admin" --scale 0.001 --seed 5)
run(0 import "${WORK}/admin")

# A partial database is refused and nothing is offered.
file(COPY "${WORK}/admin/KLADR.sqlite" DESTINATION "${WORK}/partial")
execute_process(COMMAND sqlite3 "${WORK}/partial/KLADR.sqlite" "DROP TABLE DOMA" COMMAND_ERROR_IS_FATAL ANY)
run(1 publish "${WORK}/partial" "${share}")
expect("в нём нет таблицы DOMA")
expect_no_file("${share}/update.info")

run(0 publish "${WORK}/admin" "${share}")
expect("Опубликована версия")
run(0 update "${WORK}/desk" --app-dir "${WORK}/app")
expect("База данных успешно обновлена.")
run(0 update "${WORK}/desk" --app-dir "${WORK}/app")
expect("База данных актуальна. Обновление не требуется.")
run(0 publish "${WORK}/admin" "${share}")
expect("Публикация не нужна.")
run(0 search "${WORK}/desk" --locality "%")

# A new version, zipped, reaches the desktop that has the first.
run(0 publish "${WORK}/admin" "${share}" --zip --version "second")
run(0 update "${WORK}/desk" --app-dir "${WORK}/app")
expect("Загружен ZIP-архив базы данных. Необходима распаковка.")
expect("База данных успешно обновлена.")
execute_process(COMMAND sqlite3 "${WORK}/desk/KLADR.sqlite" "SELECT version FROM info" OUTPUT_VARIABLE version
    COMMAND_ERROR_IS_FATAL ANY)
if(NOT version STREQUAL "second\n")
    message(FATAL_ERROR "installed version '${version}', expected 'second'")
endif()
run(0 search "${WORK}/desk" --locality "%")

run(2 publish "${WORK}/admin")
run(2 update a b)
file(REMOVE_RECURSE "${WORK}")
