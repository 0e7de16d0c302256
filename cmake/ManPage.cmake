# Writes a program's manual page from its --help text, so that the page and
# the help never drift apart.  Run as a script:
#   cmake -DPROGRAM=path -DNAME=stepwright-cli -DSUMMARY="..." -DVERSION=1.0.0
#         -DOUTPUT=file.1 [-DCOMMANDS=ON] [-DSEE_ALSO=a,b] [-DNOTES="..."]
#         -P ManPage.cmake
# With COMMANDS=ON every command named under "Commands:" in the help (but
# help itself) gets a section of its own from "PROGRAM help COMMAND".  The
# help's "Exit codes:" and "Examples:" blocks (each line indented) become the
# sections EXIT STATUS and EXAMPLES.

cmake_minimum_required(VERSION 3.25)

# A sanitizer build's leak report must not end the build.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")

function(run_help out)
  execute_process(COMMAND ${PROGRAM} ${ARGN}
    OUTPUT_VARIABLE text ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} failed (${rc}): ${err}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Help text as roff, shown line for line: backslashes and minus signs escaped,
# a line that would start with a control character guarded.
function(roff_block out text)
  if(NOT text MATCHES "\n$")
    string(APPEND text "\n")
  endif()
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} ".nf\n${text}.fi\n" PARENT_SCOPE)
endfunction()

run_help(help --help)
string(REGEX MATCH "^Usage: [^\n]*" usage "${help}")
if(NOT usage)
  message(FATAL_ERROR "${PROGRAM} --help does not start with a Usage: line")
endif()
string(REGEX REPLACE "^Usage: [^ ]+ ?" "" synopsis "${usage}")
string(REGEX REPLACE "^Usage: [^\n]*\n\n?" "" body "${help}")

# Takes the block under a heading line out of the body: its indented lines.
function(take_block out heading)
  set(block "")
  string(REGEX MATCH "(^|\n)${heading}\n(  [^\n]*\n)+" found "${body}")
  if(found)
    string(REPLACE "${found}" "\n" rest "${body}")
    string(REGEX REPLACE "\n\n+" "\n\n" rest "${rest}")
    string(REGEX REPLACE "^\n+|\n+$" "" rest "${rest}")
    set(body "${rest}\n" PARENT_SCOPE)
    string(REGEX REPLACE "^\n?${heading}\n" "" block "${found}")
    string(REGEX REPLACE "(^|\n)  " "\\1" block "${block}")
  endif()
  set(${out} "${block}" PARENT_SCOPE)
endfunction()
take_block(exit_status "Exit codes:")
take_block(examples "Examples:")

string(TOUPPER "${NAME}" upper)
string(REPLACE "-" "\\-" name_roff "${NAME}")
string(REPLACE "-" "\\-" synopsis "${synopsis}")
string(REPLACE "-" "\\-" summary "${SUMMARY}")
roff_block(body_roff "${body}")
set(page ".TH ${upper} 1 \"\" \"Stepwright ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\n${name_roff} \\- ${summary}\n")
string(APPEND page ".SH SYNOPSIS\n.B ${name_roff}\n${synopsis}\n")
string(APPEND page ".SH DESCRIPTION\n${body_roff}")

if(COMMANDS)
  string(REGEX MATCH "\nCommands:\n(  [^\n]*\n)+" listed "${help}")
  string(REGEX MATCHALL "\n  [a-z]+" names "${listed}")
  string(APPEND page ".SH COMMANDS\n")
  foreach(entry ${names})
    string(STRIP "${entry}" command)
    if(command STREQUAL "help")
      continue()  # its help is the page's description
    endif()
    run_help(text help ${command})
    roff_block(text_roff "${text}")
    string(APPEND page ".SS ${command}\n${text_roff}")
  endforeach()
endif()

if(exit_status)
  roff_block(exit_roff "${exit_status}")
  string(APPEND page ".SH EXIT STATUS\n${exit_roff}")
endif()
if(examples)
  roff_block(examples_roff "${examples}")
  string(APPEND page ".SH EXAMPLES\n${examples_roff}")
endif()

if(NOTES)
  string(REPLACE "-" "\\-" notes "${NOTES}")
  string(APPEND page ".SH NOTES\n${notes}\n")
endif()
if(SEE_ALSO)
  set(refs "")
  string(REPLACE "," ";" SEE_ALSO "${SEE_ALSO}")
  foreach(other ${SEE_ALSO})
    string(REPLACE "-" "\\-" other "${other}")
    list(APPEND refs ".BR ${other} (1)")
  endforeach()
  list(JOIN refs ",\n" refs)
  string(APPEND page ".SH SEE ALSO\n${refs}\n")
endif()

file(WRITE "${OUTPUT}" "${page}")
