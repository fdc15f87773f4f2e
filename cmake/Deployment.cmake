# Deployment values: the program key shared with the secure server and the names the client
# holds only enciphered. The defaults are for development; a deployment sets its own key.
set(VK_PROGRAM_KEY_HEX "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"
    CACHE STRING "32-byte AES-256 program key shared with the secure server, 64 hex digits")
set(VK_NAME_OWN_EXECUTABLE "*/wdnplyr" CACHE STRING "Pattern of the client's own executable (2-character prefix + bare name)")
set(VK_NAME_COMPANION "*/wdnhelp.exe" CACHE STRING "Pattern of the companion program (2-character prefix + bare name)")
set(VK_NAME_HELD_FILE_1 "data\\volkar0.ted" CACHE STRING "First held game file")
set(VK_NAME_HELD_FILE_2 "data\\volkar1.ted" CACHE STRING "Second held game file")
set(VK_NAME_HELD_FILE_3 "data\\volkar2.ted" CACHE STRING "Third held game file")
set(VK_NAME_HELD_FILE_4 "data\\volkar3.ted" CACHE STRING "Fourth held game file")
set(VK_NAME_HELD_FILE_5 "data\\volkar4.ted" CACHE STRING "Fifth held game file")
set(VK_NAME_TED_PATTERNS "volkar?.ted" CACHE STRING "Pattern list of the start-up terrain check (without the closing '|')")
set(VK_VERSION_ANSWER "2.2.0.1" CACHE STRING "Answer to ver?")

if(NOT VK_PROGRAM_KEY_HEX MATCHES "^[0-9a-fA-F]+$")
  message(FATAL_ERROR "VK_PROGRAM_KEY_HEX must be 64 hexadecimal digits")
endif()
string(LENGTH "${VK_PROGRAM_KEY_HEX}" _vk_key_len)
if(NOT _vk_key_len EQUAL 64)
  message(FATAL_ERROR "VK_PROGRAM_KEY_HEX must be 64 hexadecimal digits")
endif()

# The input of the name encipherer (tools/encipher), one "role=plain text" a line; rewritten
# only when a value changes.
set(VK_DEPLOYMENT_NAMES_FILE ${CMAKE_BINARY_DIR}/deployment/names.txt)
set(_vk_names "key=${VK_PROGRAM_KEY_HEX}
own=${VK_NAME_OWN_EXECUTABLE}
companion=${VK_NAME_COMPANION}
held=${VK_NAME_HELD_FILE_1}
held=${VK_NAME_HELD_FILE_2}
held=${VK_NAME_HELD_FILE_3}
held=${VK_NAME_HELD_FILE_4}
held=${VK_NAME_HELD_FILE_5}
ted=${VK_NAME_TED_PATTERNS}
version=${VK_VERSION_ANSWER}
")
file(CONFIGURE OUTPUT ${VK_DEPLOYMENT_NAMES_FILE} CONTENT "${_vk_names}" @ONLY)

# The connectivity self-test: the host its route ping goes to by default, the web site named to
# players who must look their Internet address up by hand, and the support address added to a
# saved self-test log. The defaults are documentation names; a deployment sets real ones.
set(VK_PING_SITE "ping.example" CACHE STRING "Default target of the self-test's route ping (host name or dotted address)")
set(VK_IPCHECK_SITE "whatismyip.example" CACHE STRING "Web site that shows a visitor's Internet address, named by the self-test")
set(VK_SUPPORT_ADDRESS "support@volkar.example" CACHE STRING "Support address that a saved self-test log asks to be sent to")
foreach(_vk_var VK_PING_SITE VK_IPCHECK_SITE VK_SUPPORT_ADDRESS)
  if("${${_vk_var}}" MATCHES "[\"\\\\\n]")
    message(FATAL_ERROR "${_vk_var} must not contain quotes, backslashes or line breaks")
  endif()
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/deployment/selftest_deployment.h CONTENT
"#pragma once
// Made by cmake/Deployment.cmake from the deployment values; do not edit.
namespace vk {
inline constexpr const char* kDefaultPingSite = \"@VK_PING_SITE@\";
inline constexpr const char* kAddressCheckSite = \"@VK_IPCHECK_SITE@\";
inline constexpr const char* kSupportAddress = \"@VK_SUPPORT_ADDRESS@\";
}  // namespace vk
" @ONLY)
include_directories(${CMAKE_BINARY_DIR}/deployment)

# Meta servers. The browser asks VK_META_DEFAULT_SERVER (a host name or dotted address) for its
# directory and falls back to VK_META_FALLBACK_ADDRESS when that name does not resolve; the
# main menu's meta-server toggle writes the two mplayer.ini lines "Server=TCP:<server>:6001",
# the one with the dotted address first.
set(VK_META_DEFAULT_SERVER "meta.volkar.example" CACHE STRING "Meta server the browser asks by default")
set(VK_META_FALLBACK_ADDRESS "192.0.2.60" CACHE STRING "Dotted address asked when the default meta server does not resolve")
set(VK_MPLAYER_META_ADDRESS "192.0.2.61" CACHE STRING "First meta server written into mplayer.ini (dotted address)")
set(VK_MPLAYER_META_HOST "meta2.volkar.example" CACHE STRING "Second meta server written into mplayer.ini (host name)")
