# Install step: writes <share>/ulvreader.INI, the configuration each user gets
# a copy of on first start (common/user_config.h), from the demo
# configuration: data and help of the installation, and what the program
# writes in $(BASE), which the user's copy sets to the user's data folder.
# ULV_DEMO_INI and ULV_SHARE are set by the install code before this script.
set(share "${CMAKE_INSTALL_PREFIX}/${ULV_SHARE}")
file(READ "${ULV_DEMO_INI}" ini)
# The demo's opening comment is about scripts/run.
string(REGEX REPLACE "^(;[^\n]*\n)+" "" ini "${ini}")
string(REPLACE "$(BASE)/data" "${share}/data" ini "${ini}")
string(REPLACE "$(BASE)/help" "${share}/help" ini "${ini}")
string(REPLACE "$(BASE)/work" "$(BASE)" ini "${ini}")
set(header "; The configuration installed with the Ulv reader. On first start each user
; gets a copy as ~/.config/ulvreader/ulvreader.INI whose [files] base is the
; user's data folder (~/.local/share/ulvreader), where logs, saved lists and
; captures go. Change the copy ([comport], [id] user), not this file.
")
file(WRITE "$ENV{DESTDIR}${share}/ulvreader.INI" "${header}${ini}")
message(STATUS "Installing: $ENV{DESTDIR}${share}/ulvreader.INI")
