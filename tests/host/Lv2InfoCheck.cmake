# lv2info (from lilv) must find the plug-in by its URI in the built bundle and
# list its audio ports and all twelve parameters. The parameters are
# patch:writable properties, not ports: lv2info shows them in the plug-in's
# description it writes with -p.

find_program(LV2INFO lv2info REQUIRED)

set(description "${CMAKE_CURRENT_BINARY_DIR}/lv2info-ovalmere.ttl")
file(REMOVE "${description}")

execute_process(
    COMMAND ${CMAKE_COMMAND} -E env LV2_PATH=${LV2_FOLDER} ${LV2INFO} ${LV2_URI}
    OUTPUT_VARIABLE info
    ERROR_VARIABLE errors
    RESULT_VARIABLE result)

if(NOT result EQUAL 0)
    message(FATAL_ERROR "lv2info failed (${result}): ${errors}")
endif()

execute_process(
    COMMAND ${CMAKE_COMMAND} -E env LV2_PATH=${LV2_FOLDER} ${LV2INFO} -p ${description} ${LV2_URI}
    OUTPUT_QUIET
    ERROR_VARIABLE errors
    RESULT_VARIABLE result)

file(READ "${description}" turtle)

if(NOT result EQUAL 0)
    message(FATAL_ERROR "lv2info failed (${result}): ${errors}")
endif()

foreach(expected "Name:              Ovalmere" "audio_in_1" "audio_in_2" "audio_out_1" "audio_out_2"
                 "AudioPort" "InputPort" "OutputPort")
    string(FIND "${info}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "lv2info does not list '${expected}':\n${info}")
    endif()
endforeach()

string(FIND "${turtle}" "http://lv2plug.in/ns/ext/patch#writable" at)
if(at EQUAL -1)
    message(FATAL_ERROR "lv2info's description has no writable parameters:\n${turtle}")
endif()

foreach(id SYNC TIME MIX DUAL FEEDBACK REVERB FILTER DUCK FREEZE GRANULAR REVERSE ONOFF)
    string(FIND "${turtle}" "<${LV2_URI}:${id}>" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "lv2info does not list the parameter ${id}:\n${turtle}")
    endif()
endforeach()

file(REMOVE "${description}")

message(STATUS "lv2info lists Ovalmere with its ports and twelve parameters")
