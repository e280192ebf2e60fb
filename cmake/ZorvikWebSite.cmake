# The product web site, for the package's and the software centre's homepage.
# The programs name it to a user whose firmware does not fit
# (DeviceRequirements::PRODUCT_WEB_SITE); it is read from there so that it is
# written in one place. Cheap to read again, so each user includes it.

file(STRINGS ${PROJECT_SOURCE_DIR}/parameters/DeviceRequirements.h web_site_line
     REGEX "PRODUCT_WEB_SITE = \"[^\"]+\"")
string(REGEX MATCH "\"([^\"]+)\"" web_site_quoted "${web_site_line}")
if(NOT CMAKE_MATCH_1)
  message(FATAL_ERROR "PRODUCT_WEB_SITE not found in parameters/DeviceRequirements.h")
endif()
set(ZORVIK_WEB_SITE ${CMAKE_MATCH_1})
