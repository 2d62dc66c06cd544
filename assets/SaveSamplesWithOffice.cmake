# Lays out the Samples folder: the OpenDocument samples are opened and saved again by
# LibreOffice itself, so they are the documents a user of the office would have; the
# OpenOffice.org 1.x ones (which today's office no longer writes) are kept as written.
# Called with -DSOURCE=<raw samples> -DTARGET=<Samples> -DPROFILE=<scratch profile>.
file(REMOVE_RECURSE "${TARGET}")
file(MAKE_DIRECTORY "${TARGET}")
file(GLOB raw "${SOURCE}/*")

find_program(SOFFICE soffice PATHS /usr/lib/libreoffice/program)
foreach(document IN LISTS raw)
    get_filename_component(extension "${document}" LAST_EXT)
    set(saved FALSE)
    if(SOFFICE AND (extension STREQUAL ".odt" OR extension STREQUAL ".ott"))
        string(SUBSTRING "${extension}" 1 -1 format)
        execute_process(
            COMMAND "${SOFFICE}" "-env:UserInstallation=file://${PROFILE}" --headless --norestore
                    --convert-to "${format}" --outdir "${TARGET}" "${document}"
            RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET TIMEOUT 120)
        get_filename_component(name "${document}" NAME)
        if(result EQUAL 0 AND EXISTS "${TARGET}/${name}")
            set(saved TRUE)
        endif()
    endif()
    if(NOT saved)
        file(COPY "${document}" DESTINATION "${TARGET}")
    endif()
endforeach()
file(REMOVE_RECURSE "${PROFILE}")
