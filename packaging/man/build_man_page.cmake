# Turns one scdoc source into a gzip-compressed manual page, as Debian installs them.
#   cmake -DSCDOC=<scdoc> -DGZIP=<gzip or empty> -DSOURCE=<page.1.scd> -DOUTPUT=<page.1[.gz]>
#         -P build_man_page.cmake
get_filename_component(page_dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${page_dir}")
string(REGEX REPLACE "\\.gz$" "" troff "${OUTPUT}")
execute_process(COMMAND "${SCDOC}" INPUT_FILE "${SOURCE}" OUTPUT_FILE "${troff}"
                RESULT_VARIABLE failed ERROR_VARIABLE message)
if(failed)
    file(REMOVE "${troff}")
    message(FATAL_ERROR "scdoc could not read ${SOURCE}: ${message}")
endif()
# No hyphenation: a path such as /dev/serial/by-id/ split over two lines cannot be copied.
file(READ "${troff}" page)
string(REGEX REPLACE "(\n\\.TH [^\n]*\n)" "\\1.nh\n" page "${page}")
file(WRITE "${troff}" "${page}")
if(GZIP AND NOT troff STREQUAL OUTPUT)
    # -n leaves the name and time out of the header, so the same source gives the same bytes.
    execute_process(COMMAND "${GZIP}" -9 -n -f "${troff}" RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "gzip failed on ${troff}")
    endif()
endif()
