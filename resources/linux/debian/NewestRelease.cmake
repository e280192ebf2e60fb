# The newest entry of the package's changelog is this release: its version
# must be the project's (a version raised without an entry stops here), and
# its date is the release date that the AppStream files and the man pages
# carry. Included where those are made; sets
#   ZORVIK_CHANGELOG       the changelog's path
#   ZORVIK_RELEASE_ISO_DATE  e.g. 2026-12-10, from the entry's trailer line
#                          " -- NAME <MAIL>  Thu, 10 Dec 2026 12:00:00 +0000"
set(ZORVIK_CHANGELOG ${CMAKE_CURRENT_LIST_DIR}/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ZORVIK_CHANGELOG})

file(STRINGS ${ZORVIK_CHANGELOG} newest_entry LIMIT_COUNT 1)
if(NOT newest_entry MATCHES "^zorvik \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "resources/linux/debian/changelog begins with '${newest_entry}': "
                      "add an entry for ${PROJECT_VERSION} on top")
endif()

file(STRINGS ${ZORVIK_CHANGELOG} trailers REGEX "^ -- ")
list(GET trailers 0 newest_trailer)
if(NOT newest_trailer MATCHES
   "  [A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "resources/linux/debian/changelog: the newest entry's line "
                      "'${newest_trailer}' carries no date as Debian writes it "
                      "(\"Thu, 10 Dec 2026 12:00:00 +0000\")")
endif()
set(release_day ${CMAKE_MATCH_1})
set(release_month_name ${CMAKE_MATCH_2})
set(release_year ${CMAKE_MATCH_3})
set(month_names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND month_names ${release_month_name} month_index)
if(month_index LESS 0)
  message(FATAL_ERROR "resources/linux/debian/changelog: '${release_month_name}' in "
                      "'${newest_trailer}' is no month")
endif()
math(EXPR release_month "${month_index} + 1")
if(release_month LESS 10)
  set(release_month 0${release_month})
endif()
string(LENGTH ${release_day} day_digits)
if(day_digits EQUAL 1)
  set(release_day 0${release_day})
endif()
set(ZORVIK_RELEASE_ISO_DATE ${release_year}-${release_month}-${release_day})
