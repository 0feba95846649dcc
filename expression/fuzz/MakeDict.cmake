# Writes the expression fuzz dictionary: the hand-written tokens followed by
# every function vandrel-cli registers, as "Name(".
#   cmake -DCLI=<vandrel-cli> -DTOKENS=<expression_tokens.dict> -DOUT=<expression.dict> -P MakeDict.cmake
foreach(var CLI TOKENS OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "MakeDict.cmake needs -D${var}=...")
  endif()
endforeach()

execute_process(COMMAND "${CLI}" functions
  RESULT_VARIABLE status OUTPUT_VARIABLE listing ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "'${CLI} functions' failed (${status}): ${errors}")
endif()

file(READ "${TOKENS}" text)
string(APPEND text "# Every registered function (generated from 'vandrel-cli functions')\n")
string(REPLACE "\n" ";" names "${listing}")
set(count 0)
foreach(name IN LISTS names)
  if(name STREQUAL "")
    continue()
  endif()
  if(NOT name MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
    message(FATAL_ERROR "'vandrel-cli functions' listed '${name}', which is no function name")
  endif()
  string(APPEND text "\"${name}(\"\n")
  math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "'vandrel-cli functions' listed no function")
endif()

file(WRITE "${OUT}" "${text}")
