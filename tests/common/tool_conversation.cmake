# SPDX-License-Identifier: MIT
# Runs of tools under the host stand-in, for the test scripts (cmake -P) that
# build tools against an installed or packaged library, with the conversation
# each must hold. Variables: QX_HOST (the stand-in), WORK_DIR (scratch folder).

# Runs a tool under the host stand-in QX_HOST and compares its whole
# printed conversation with the lines given after EXPECT. The commands sent to
# the tool (printed "> COMMAND" as each is written, whenever that happens) are
# compared apart, in their order, with the lines after SENT. SENT_IF_READ names
# a last command that is sent only while the tool still reads: one sent after
# a command that ends the tool's reading may meet an input already closed, and
# whether it does is a race the tool's end decides, not a fault.
function(check_run label)
  cmake_parse_arguments(PARSE_ARGV 1 run "" "SENT_IF_READ" "COMMAND;EXPECT;SENT")
  execute_process(COMMAND ${QX_HOST} --timeout 30 ${run_COMMAND}
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  string(REGEX REPLACE "\n$" "" lines "${out}")
  string(REPLACE "\n" ";" lines "${lines}")
  set(received "")
  set(sent "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^> (.*)$")
      list(APPEND sent "${CMAKE_MATCH_1}")
    else()
      list(APPEND received "${line}")
    endif()
  endforeach()
  if(DEFINED run_SENT_IF_READ AND sent STREQUAL "${run_SENT};${run_SENT_IF_READ}")
    list(POP_BACK sent)
  endif()
  if(NOT result EQUAL 0 OR NOT received STREQUAL "${run_EXPECT}" OR NOT sent STREQUAL "${run_SENT}")
    string(REPLACE ";" "\n" expected "${run_EXPECT}")
    string(REPLACE ";" "\n" expected_sent "${run_SENT}")
    message(FATAL_ERROR "${label}: status ${result}\n--- printed:\n${out}--- expected:\n"
                        "${expected}\n--- expected as sent:\n${expected_sent}\n"
                        "--- standard error:\n${err}")
  endif()
endfunction()

# The probe ends with QxExit(kQx_EndOnWarning) from a nested call.
function(check_probe tool)
  check_run("${tool} under the host stand-in" COMMAND ${tool} warning
    EXPECT "START_TOOL(1:C,2,1,2,6,2,3,5:Probe,3:0.3,29:(c) probe, 2 lines, no rights)"
           "TR(13:about to warn)" "END_TOOL(1)")
endfunction()

# What an example tool sends for its model of two places, one transition and
# two arcs, and its result.
function(example_conversation out name)
  string(LENGTH "from ${name}:" header)
  set(${out}
    "STT_MSG(18:building the model)"
    "CN(5:place,2)" "CT(4:name,2,2:p1)" "pO(2,40,40)" "STT_MSG(10:places 1/2)"
    "CN(5:place,3)" "CT(4:name,3,2:p2)" "pO(3,80,40)" "STT_MSG(10:places 2/2)"
    "CN(10:transition,4)" "CT(4:name,4,1:t)"
    "CA(3:arc,5,2,4)" "CT(9:valuation,5,1:1)" "CA(3:arc,6,3,4)" "CT(9:valuation,6,1:1)"
    "DE(${header}:from ${name}:,1)" "RT(36:a net of 2 places and one transition)" "FE()"
    PARENT_SCOPE)
endfunction()

# Each example in standard-output mode (no input: it reads no command), in
# FIFO mode without commands (the stand-in closes the tool's input at once)
# and in FIFO mode with commands, each parsed and answered by a trace up to
# QUIT().
function(check_example tool name hello)
  file(WRITE ${WORK_DIR}/commands.txt
       "HELLO(5:there)\n\nNAME(3)\nNAME(-7)\nMARK()\nNAME(5:three)\nNAME(07)\nQUIT()\nNEVER()\n")
  string(LENGTH "${name}" name_length)
  string(LENGTH "${hello}" hello_length)
  set(start "START_TOOL(1:C,2,1,2,6,2,3,${name_length}:${name},3:1.0,23:(c) the Varnost authors)")
  example_conversation(model ${name})
  check_run("${name} over standard output" COMMAND --std-out ${tool}
    EXPECT "${start}" "TR(${hello_length}:${hello})" ${model} "END_TOOL(0)")
  check_run("${name} over a FIFO pair" COMMAND ${tool}
    EXPECT "${start}" "TR(${hello_length}:${hello})" ${model} "END_TOOL(0)")
  check_run("${name} reading commands" COMMAND --send ${WORK_DIR}/commands.txt ${tool}
    EXPECT "${start}" "TR(${hello_length}:${hello})" ${model}
           "TR(12:hello, there)" "TR(12:node 3 is p2)" "TR(10:no node -7)"
           "TR(20:unknown command MARK)" "TR(20:unknown command NAME)"
           "TR(39:malformed command, breaks after 6 bytes)" "TR(3:bye)" "END_TOOL(0)"
    SENT "HELLO(5:there)" "NAME(3)" "NAME(-7)" "MARK()" "NAME(5:three)" "NAME(07)" "QUIT()"
    SENT_IF_READ "NEVER()")
endfunction()
