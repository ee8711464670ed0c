# Authenticode signing of Windows outputs: the maker's key or a throwaway one, and the pinned signer header.
#
# Cache variables:
#   TVSP_SIGNING_KEY, TVSP_SIGNING_CERT   PEM paths of the maker's private key and certificate. Both
#                                         or neither; without them each build folder makes its own
#                                         throwaway key and self-signed certificate once.
#   TVSP_SIGNING_PASSWORD_FILE            optional file holding the key's pass phrase.
#
# Functions:
#   tvsp_sign_target(TARGET)              sign an executable or DLL in place after every link.
#   tvsp_sign_file(OUTPUT INPUT [DEPENDS ...] [KEY pem CERT pem] [COMMENT text])
#                                         a signed copy of a file (cabinets, prebuilt binaries).
#   tvsp_tamper_file(OUTPUT INPUT), tvsp_strip_signature(OUTPUT INPUT)   test material
#   tvsp_make_throwaway_signer(DIR SUBJECT KEY_VAR CERT_VAR)
#                                         a key and self-signed certificate under DIR, made once.
#
# Variables set here: TVSP_SIGNING_KEY_FILE, TVSP_SIGNING_CERT_FILE (what the build signs with),
# TVSP_SIGNING_THROWAWAY (ON without a maker key), TVSP_GENERATED_INCLUDE_DIR (holds
# tvsp_pinned_signer.h: the DER of the signing certificate, which the checks pin).

# Script mode (cmake -DTVSP_SIGNING_STEP=... -P TvspSigning.cmake), the build steps behind the
# functions below:
#   sign    IN OUT KEY CERT [PASSWORD_FILE] OSSLSIGNCODE DESCRIPTION: signs IN into OUT (may be the
#           same file) through a temporary file, so a failed signing never leaves a half-written OUT.
#   tamper  IN OUT: OUT is IN with one byte changed where the Authenticode hash covers it (inside the
#           .text section of a PE, inside the first data block of a cabinet); for the signature tests.
if(CMAKE_SCRIPT_MODE_FILE)
  if(TVSP_SIGNING_STEP STREQUAL "sign")
    set(tmp "${OUT}.signing")
    file(REMOVE "${tmp}")
    set(pass "")
    if(PASSWORD_FILE)
      set(pass -readpass "${PASSWORD_FILE}")
    endif()
    execute_process(COMMAND "${OSSLSIGNCODE}" sign -h sha256 -certs "${CERT}" -key "${KEY}" ${pass}
                            -n "${DESCRIPTION}" -in "${IN}" -out "${tmp}"
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT EXISTS "${tmp}")
      file(REMOVE "${tmp}")
      message(FATAL_ERROR "osslsigncode could not sign ${IN} (${rc}):\n${out}${err}")
    endif()
    file(RENAME "${tmp}" "${OUT}")
  elseif(TVSP_SIGNING_STEP STREQUAL "tamper")
    # Little-endian unsigned integer of `size` bytes at `offset`.
    function(read_le var offset size)
      math(EXPR offset "${offset}")
      file(READ "${IN}" hex OFFSET ${offset} LIMIT ${size} HEX)
      set(value 0)
      math(EXPR last "${size} - 1")
      foreach(i RANGE ${last} 0 -1)
        math(EXPR at "${i} * 2")
        string(SUBSTRING "${hex}" ${at} 2 byte)
        math(EXPR value "(${value} << 8) | 0x${byte}")
      endforeach()
      set(${var} ${value} PARENT_SCOPE)
    endfunction()
    file(READ "${IN}" magic LIMIT 4 HEX)
    if(magic MATCHES "^4d5a")  # MZ: find .text in the section table
      read_le(pe 60 4)
      read_le(sections "${pe} + 6" 2)
      read_le(optional "${pe} + 20" 2)
      math(EXPR table "${pe} + 24 + ${optional}")
      set(target "")
      math(EXPR last "${sections} - 1")
      foreach(i RANGE 0 ${last})
        math(EXPR entry "${table} + ${i} * 40")
        file(READ "${IN}" name OFFSET ${entry} LIMIT 5 HEX)
        if(name STREQUAL "2e74657874")  # ".text"
          read_le(raw "${entry} + 20" 4)
          math(EXPR target "${raw} + 64")
          break()
        endif()
      endforeach()
    elseif(magic STREQUAL "4d534346")  # MSCF: first data block of the first folder
      read_le(flags 30 2)
      set(header 36)   # CFHEADER without reserve; CFFOLDER follows, coffCabStart first
      set(data_reserve 0)
      math(EXPR has_reserve "${flags} & 4")
      if(has_reserve)
        read_le(header_reserve 36 2)
        read_le(data_reserve 39 1)
        math(EXPR header "40 + ${header_reserve}")
      endif()
      read_le(data "${header}" 4)
      math(EXPR target "${data} + 8 + ${data_reserve} + 4")
    endif()
    if(NOT target)
      message(FATAL_ERROR "tamper: ${IN} is neither a PE with .text nor a cabinet")
    endif()
    # Written with dd: CMake cannot write arbitrary bytes. The new byte is printable ASCII.
    file(READ "${IN}" old OFFSET ${target} LIMIT 1 HEX)
    if(old STREQUAL "41")
      set(new "B")
    else()
      set(new "A")
    endif()
    file(COPY_FILE "${IN}" "${OUT}.tampering")
    file(WRITE "${OUT}.byte" "${new}")
    execute_process(COMMAND dd if=${OUT}.byte of=${OUT}.tampering bs=1 seek=${target} conv=notrunc
                    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
    file(REMOVE "${OUT}.byte")
    if(NOT rc EQUAL 0)
      file(REMOVE "${OUT}.tampering")
      message(FATAL_ERROR "tamper: dd failed on ${OUT}")
    endif()
    file(RENAME "${OUT}.tampering" "${OUT}")
  else()
    message(FATAL_ERROR "TvspSigning.cmake: unknown TVSP_SIGNING_STEP '${TVSP_SIGNING_STEP}'")
  endif()
  return()
endif()

if(NOT WIN32)
  return()   # nothing of the native and fuzz builds is signed
endif()

set(TVSP_SIGNING_KEY "" CACHE FILEPATH "Maker's code-signing private key (PEM); empty: throwaway key")
set(TVSP_SIGNING_CERT "" CACHE FILEPATH "Maker's code-signing certificate (PEM); empty: throwaway certificate")
set(TVSP_SIGNING_PASSWORD_FILE "" CACHE FILEPATH "File holding the pass phrase of TVSP_SIGNING_KEY, if it has one")

find_program(TVSP_OPENSSL openssl)
find_program(TVSP_OSSLSIGNCODE osslsigncode)
if(NOT TVSP_OPENSSL)
  message(FATAL_ERROR "Signing needs the openssl command (Debian package openssl)")
endif()
if(NOT TVSP_OSSLSIGNCODE)
  message(FATAL_ERROR "Signing needs osslsigncode (Debian package osslsigncode)")
endif()

set(TVSP_SIGN_SCRIPT ${CMAKE_CURRENT_LIST_FILE})
set(TVSP_SIGNING_DIR ${CMAKE_BINARY_DIR}/signing)
set(TVSP_GENERATED_INCLUDE_DIR ${CMAKE_BINARY_DIR}/generated)

function(tvsp_signing_run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " shown "${ARGN}")
    message(FATAL_ERROR "Signing set-up failed (${rc}): ${shown}\n${out}${err}")
  endif()
endfunction()

# A 2048-bit RSA key (readable by its owner only) and a ten-year self-signed code-signing
# certificate. Made once: a build folder keeps its key, so its outputs stay verifiable.
function(tvsp_make_throwaway_signer dir subject key_var cert_var)
  set(key ${dir}/key.pem)
  set(cert ${dir}/cert.pem)
  if(NOT EXISTS ${key} OR NOT EXISTS ${cert})
    file(MAKE_DIRECTORY ${dir})
    file(REMOVE ${key} ${cert} ${key}.tmp ${cert}.tmp)
    tvsp_signing_run(${TVSP_OPENSSL} genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out ${key}.tmp)
    file(CHMOD ${key}.tmp PERMISSIONS OWNER_READ OWNER_WRITE)
    tvsp_signing_run(${TVSP_OPENSSL} req -new -x509 -sha256 -days 3650 -key ${key}.tmp -out ${cert}.tmp
                     -subj "/${subject}"
                     -addext "basicConstraints=critical,CA:FALSE"
                     -addext "keyUsage=critical,digitalSignature"
                     -addext "extendedKeyUsage=codeSigning")
    # Certificate first: a key without its certificate is made anew next time.
    file(RENAME ${cert}.tmp ${cert})
    file(RENAME ${key}.tmp ${key})
    message(STATUS "Signing: made throwaway signer ${subject} in ${dir}")
  endif()
  set(${key_var} ${key} PARENT_SCOPE)
  set(${cert_var} ${cert} PARENT_SCOPE)
endfunction()

if(TVSP_SIGNING_KEY OR TVSP_SIGNING_CERT)
  if(NOT TVSP_SIGNING_KEY OR NOT TVSP_SIGNING_CERT)
    message(FATAL_ERROR "TVSP_SIGNING_KEY and TVSP_SIGNING_CERT are given together or not at all")
  endif()
  foreach(f ${TVSP_SIGNING_KEY} ${TVSP_SIGNING_CERT})
    if(NOT EXISTS ${f})
      message(FATAL_ERROR "Signing file not found: ${f}")
    endif()
  endforeach()
  set(TVSP_SIGNING_KEY_FILE ${TVSP_SIGNING_KEY})
  set(TVSP_SIGNING_CERT_FILE ${TVSP_SIGNING_CERT})
  set(TVSP_SIGNING_THROWAWAY OFF)
else()
  tvsp_make_throwaway_signer(${TVSP_SIGNING_DIR}/throwaway "CN=TarvoSprout Build Signing (throwaway)"
                             TVSP_SIGNING_KEY_FILE TVSP_SIGNING_CERT_FILE)
  set(TVSP_SIGNING_THROWAWAY ON)
endif()

set(TVSP_SIGNING_PASS_ARGS "")
if(TVSP_SIGNING_PASSWORD_FILE)
  set(TVSP_SIGNING_PASS_ARGS -passin file:${TVSP_SIGNING_PASSWORD_FILE})
endif()

# The key must belong to the certificate, or every signed file would fail its check at run time.
tvsp_signing_run(${TVSP_OPENSSL} x509 -in ${TVSP_SIGNING_CERT_FILE} -noout -pubkey
                 -out ${TVSP_SIGNING_DIR}/cert-pubkey.pem)
tvsp_signing_run(${TVSP_OPENSSL} pkey -in ${TVSP_SIGNING_KEY_FILE} ${TVSP_SIGNING_PASS_ARGS} -pubout
                 -out ${TVSP_SIGNING_DIR}/key-pubkey.pem)
file(SHA256 ${TVSP_SIGNING_DIR}/cert-pubkey.pem cert_pub)
file(SHA256 ${TVSP_SIGNING_DIR}/key-pubkey.pem key_pub)
if(NOT cert_pub STREQUAL key_pub)
  message(FATAL_ERROR "Signing key ${TVSP_SIGNING_KEY_FILE} does not belong to ${TVSP_SIGNING_CERT_FILE}")
endif()

# The pin: the certificate's DER, the same bytes every signature made here embeds.
tvsp_signing_run(${TVSP_OPENSSL} x509 -in ${TVSP_SIGNING_CERT_FILE} -outform DER
                 -out ${TVSP_SIGNING_DIR}/signer.der)
file(SHA256 ${TVSP_SIGNING_DIR}/signer.der pinned_sha256)
execute_process(COMMAND ${TVSP_OPENSSL} x509 -in ${TVSP_SIGNING_CERT_FILE} -noout -subject -nameopt RFC2253
                OUTPUT_VARIABLE pinned_subject OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX REPLACE "^subject=" "" pinned_subject "${pinned_subject}")
string(REGEX REPLACE "[\r\n]" " " pinned_subject "${pinned_subject}")
file(READ ${TVSP_SIGNING_DIR}/signer.der pinned_hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," pinned_bytes "${pinned_hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " pinned_bytes "${pinned_bytes}")
file(CONFIGURE OUTPUT ${TVSP_GENERATED_INCLUDE_DIR}/tvsp_pinned_signer.h CONTENT
"// Generated by cmake/TvspSigning.cmake: the certificate this build signs with, pinned by the checks.
#pragma once

// Subject: ${pinned_subject}
// SHA-256: ${pinned_sha256}
namespace TVSP {
inline constexpr unsigned char kPinnedSignerDer[] = {
    ${pinned_bytes}
};
}  // namespace TVSP
" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TVSP_SIGNING_CERT_FILE} ${TVSP_SIGNING_KEY_FILE})
message(STATUS "Signing with ${pinned_subject} (SHA-256 ${pinned_sha256})")

# tvsp_sign_target(TARGET): the linked file is signed in place right after the link, so every
# copy of it (install, payload, tests) is the signed one.
function(tvsp_sign_target target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DIN=$<TARGET_FILE:${target}> -DOUT=$<TARGET_FILE:${target}>
            -DKEY=${TVSP_SIGNING_KEY_FILE} -DCERT=${TVSP_SIGNING_CERT_FILE}
            -DPASSWORD_FILE=${TVSP_SIGNING_PASSWORD_FILE} -DOSSLSIGNCODE=${TVSP_OSSLSIGNCODE}
            -DDESCRIPTION=TarvoSprout
            -DTVSP_SIGNING_STEP=sign -P ${TVSP_SIGN_SCRIPT}
    COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
    VERBATIM)
endfunction()

# tvsp_sign_file(OUTPUT INPUT [DEPENDS ...] [KEY pem CERT pem] [COMMENT text])
function(tvsp_sign_file output input)
  cmake_parse_arguments(A "" "KEY;CERT;COMMENT" "DEPENDS" ${ARGN})
  if(NOT A_KEY)
    set(A_KEY ${TVSP_SIGNING_KEY_FILE})
    set(A_CERT ${TVSP_SIGNING_CERT_FILE})
    set(password ${TVSP_SIGNING_PASSWORD_FILE})
  elseif(NOT A_CERT)
    message(FATAL_ERROR "tvsp_sign_file: KEY needs CERT")
  else()
    set(password "")
  endif()
  if(NOT A_COMMENT)
    get_filename_component(name ${output} NAME)
    set(A_COMMENT "Signing ${name}")
  endif()
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DIN=${input} -DOUT=${output} -DKEY=${A_KEY} -DCERT=${A_CERT}
            -DPASSWORD_FILE=${password} -DOSSLSIGNCODE=${TVSP_OSSLSIGNCODE}
            -DDESCRIPTION=TarvoSprout
            -DTVSP_SIGNING_STEP=sign -P ${TVSP_SIGN_SCRIPT}
    DEPENDS ${input} ${A_DEPENDS} ${A_KEY} ${A_CERT} ${TVSP_SIGN_SCRIPT}
    COMMENT "${A_COMMENT}"
    VERBATIM)
endfunction()

# Test material for the signature checks.
# tvsp_tamper_file(OUTPUT INPUT): a copy with one byte changed where the signature's hash covers it.
function(tvsp_tamper_file output input)
  get_filename_component(name ${output} NAME)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DIN=${input} -DOUT=${output} -DTVSP_SIGNING_STEP=tamper -P ${TVSP_SIGN_SCRIPT}
    DEPENDS ${input} ${TVSP_SIGN_SCRIPT}
    COMMENT "Tampering ${name}"
    VERBATIM)
endfunction()

# tvsp_strip_signature(OUTPUT INPUT): a copy of a signed file without its signature.
function(tvsp_strip_signature output input)
  get_filename_component(name ${output} NAME)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E remove -f ${output}
    COMMAND ${TVSP_OSSLSIGNCODE} remove-signature -in ${input} -out ${output}
    DEPENDS ${input}
    COMMENT "Unsigned copy ${name}"
    VERBATIM)
endfunction()
