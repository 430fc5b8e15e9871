# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the Debian changelog of the package from NEWS.
cmake_policy(VERSION 3.25)
# cmake -DNEWS=... -DOUTPUT=... -DPACKAGE=... -DVERSION=... -DMAINTAINER=... -P this
# NEWS holds entries "Rxdeck VERSION (YYYY-MM-DD)" followed by "- " items; the
# newest comes first and must be this build's version.

# Day number since 1970-01-01 of a civil date (proleptic Gregorian calendar).
function(days_since_epoch year month day out)
  if(month LESS_EQUAL 2)
    math(EXPR year "${year} - 1")
    math(EXPR month "${month} + 9")
  else()
    math(EXPR month "${month} - 3")
  endif()
  math(EXPR era "${year} / 400")
  math(EXPR year_of_era "${year} - ${era} * 400")
  math(EXPR day_of_year "(153 * ${month} + 2) / 5 + ${day} - 1")
  math(EXPR day_of_era
       "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + ${day_of_year}")
  math(EXPR days "${era} * 146097 + ${day_of_era} - 719468")
  set(${out} ${days} PARENT_SCOPE)
endfunction()

# "Tue, 08 Dec 2026 00:00:00 +0000", the date form of a changelog's trailer line.
function(rfc2822_date iso out)
  string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" matched "${iso}")
  if(NOT matched)
    message(FATAL_ERROR "NEWS: '${iso}' is not a date of the form YYYY-MM-DD")
  endif()
  set(year ${CMAKE_MATCH_1})
  math(EXPR month "${CMAKE_MATCH_2}" OUTPUT_FORMAT DECIMAL) # drops a leading zero
  math(EXPR day "${CMAKE_MATCH_3}" OUTPUT_FORMAT DECIMAL)
  days_since_epoch(${year} ${month} ${day} days)
  math(EXPR weekday "(${days} + 4) % 7") # 1970-01-01 was a Thursday
  set(weekdays Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET weekdays ${weekday} weekday_name)
  math(EXPR month_index "${month} - 1")
  list(GET months ${month_index} month_name)
  string(LENGTH "${day}" day_digits)
  if(day_digits EQUAL 1)
    set(day "0${day}")
  endif()
  set(${out} "${weekday_name}, ${day} ${month_name} ${year} 00:00:00 +0000" PARENT_SCOPE)
endfunction()

foreach(variable NEWS OUTPUT PACKAGE VERSION MAINTAINER)
  if(NOT DEFINED ${variable} OR "${${variable}}" STREQUAL "")
    message(FATAL_ERROR "debian-changelog.cmake needs -D${variable}=...")
  endif()
endforeach()

file(STRINGS "${NEWS}" lines)
set(text "")
set(entry_date "")
set(first_version "")
# Closes the entry being written with its trailer line.
macro(close_entry)
  if(NOT entry_date STREQUAL "")
    rfc2822_date(${entry_date} trailer_date)
    string(APPEND text "\n -- ${MAINTAINER}  ${trailer_date}\n\n")
  endif()
endmacro()

foreach(line IN LISTS lines)
  if(line MATCHES "^Rxdeck ([^ ]+) \\(([^)]+)\\)$")
    close_entry()
    if(first_version STREQUAL "")
      set(first_version ${CMAKE_MATCH_1})
    endif()
    set(entry_date ${CMAKE_MATCH_2})
    string(APPEND text "${PACKAGE} (${CMAKE_MATCH_1}) unstable; urgency=medium\n\n")
  elseif(line MATCHES "^- (.*)$")
    string(APPEND text "  * ${CMAKE_MATCH_1}\n")
  elseif(line MATCHES "^  +(.*)$")
    string(APPEND text "    ${CMAKE_MATCH_1}\n")
  elseif(NOT line STREQUAL "")
    message(FATAL_ERROR "NEWS: cannot place the line '${line}'")
  endif()
endforeach()
close_entry()

if(NOT first_version STREQUAL VERSION)
  message(FATAL_ERROR "NEWS begins with version '${first_version}', but this is ${VERSION}: "
                      "add an entry for ${VERSION} at the top")
endif()
string(REGEX REPLACE "\n\n$" "\n" text "${text}")
file(WRITE "${OUTPUT}" "${text}")
