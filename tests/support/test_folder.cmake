# vx37_add_test_folder(<executable> SOURCES <files...> CLASSES <classes...>
#                      [LIBRARIES <libs...>] [LABEL <label>] [TIMEOUT <seconds>])
# Builds one test executable for a folder, run by vx37testmain with vx37testsupport, and
# registers each test class as a CTest entry named <executable>.<class>, run headless.
function(vx37_add_test_folder executable)
    cmake_parse_arguments(T "" "LABEL;TIMEOUT" "SOURCES;CLASSES;LIBRARIES" ${ARGN})
    add_executable(${executable} ${T_SOURCES})
    target_link_libraries(${executable} PRIVATE vx37testmain vx37testsupport ${T_LIBRARIES})
    vx37_warnings(${executable})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 60)
    endif()
    foreach(class ${T_CLASSES})
        add_test(NAME ${executable}.${class} COMMAND ${executable} ${class})
        set_tests_properties(${executable}.${class} PROPERTIES
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
            TIMEOUT ${T_TIMEOUT}
            LABELS "${T_LABEL}")
    endforeach()
endfunction()
