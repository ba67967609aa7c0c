# Writes a program's manual page from its own --help, gzipped as Debian installs them; run at build time:
#   cmake -DPROGRAM=<file> -DNAME=<name> -DSUMMARY=<what it is> -DSEE_ALSO=<text> -DOUTPUT=<dir/name.1> -P ManPage.cmake
# writes <dir/name.1>.gz.
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed (${status}): no manual page")
endif()
execute_process(COMMAND ${PROGRAM} --version OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE)

# The help names the program as it was started: here, its path in the build.
string(REPLACE "${PROGRAM}" "${NAME}" help "${help}")
# roff: backslashes escaped, minus signs marked, no line read as a request.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(TOUPPER "${NAME}" title)
string(REPLACE "-" "\\-" name_roff "${NAME}")

file(WRITE "${OUTPUT}" ".TH ${title} 1 \"\" \"${version}\" \"User Commands\"
.SH NAME
${name_roff} \\- ${SUMMARY}
.SH SYNOPSIS
.B ${name_roff}
[\\fIoptions\\fR]
.SH DESCRIPTION
.nf
${help}.fi
.SH SEE ALSO
${SEE_ALSO}
")
execute_process(COMMAND gzip -9nf "${OUTPUT}" RESULT_VARIABLE zipped)
if(NOT zipped EQUAL 0)
  message(FATAL_ERROR "gzip ${OUTPUT} failed")
endif()
