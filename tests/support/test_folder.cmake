# vx37_add_test_folder(<executable> [WIDGETS] SOURCES <files...> CLASSES <classes...>
#                      [LIBRARIES <libs...>] [LABEL <label>] [TIMEOUT <seconds>])
# Builds one test executable for a folder and registers each test class as a CTest entry
# named <executable>.<class>, run headless.
function(vx37_add_test_folder executable)
    cmake_parse_arguments(T "WIDGETS" "LABEL;TIMEOUT" "SOURCES;CLASSES;LIBRARIES" ${ARGN})
    add_executable(${executable} ${T_SOURCES} ${VX37_TEST_SUPPORT_DIR}/test_main.cpp
                   ${VX37_TEST_SUPPORT_DIR}/test_registry.h)
    target_include_directories(${executable} PRIVATE ${VX37_TEST_SUPPORT_DIR})
    target_link_libraries(${executable} PRIVATE Qt6::Test ${T_LIBRARIES})
    if(T_WIDGETS)
        target_compile_definitions(${executable} PRIVATE VX37_TEST_WIDGETS)
        target_link_libraries(${executable} PRIVATE Qt6::Widgets)
    endif()
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
