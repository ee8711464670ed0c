# Script mode (cmake -DOPENSSL=... -DDIR=... -P make_certs.cmake): the update server's test certificates.
#
# DIR gets: ca.pem, ca.der, ca-key.pem (the test CA), server.pem, server-key.pem (localhost, signed by
# the CA) and wrong.pem, wrong-key.pem (a self-signed localhost certificate the CA did not sign).
# Made in a temporary folder and moved into place whole, so a failed run leaves no mixed set.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " shown "${ARGN}")
    message(FATAL_ERROR "Test certificates: failed (${rc}): ${shown}\n${out}${err}")
  endif()
endfunction()

set(tmp "${DIR}.making")
file(REMOVE_RECURSE "${tmp}")
file(MAKE_DIRECTORY "${tmp}")

# Random serials: a prefix that trusted an earlier CA must not mistake a new certificate for an old one.
string(RANDOM LENGTH 16 ALPHABET 0123456789abcdef ca_serial)
string(RANDOM LENGTH 16 ALPHABET 0123456789abcdef server_serial)
string(RANDOM LENGTH 16 ALPHABET 0123456789abcdef wrong_serial)

run(${OPENSSL} req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -set_serial 0x1${ca_serial}
    -keyout ${tmp}/ca-key.pem -out ${tmp}/ca.pem -subj "/O=TarvoSprout Tests/CN=TarvoSprout Test CA"
    -addext "basicConstraints=critical,CA:TRUE"
    -addext "keyUsage=critical,keyCertSign,cRLSign")
run(${OPENSSL} x509 -in ${tmp}/ca.pem -outform DER -out ${tmp}/ca.der)

file(WRITE ${tmp}/server.ext
"basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost
")
run(${OPENSSL} req -newkey rsa:2048 -nodes -sha256 -keyout ${tmp}/server-key.pem -out ${tmp}/server.csr
    -subj "/O=TarvoSprout Tests/CN=localhost")
run(${OPENSSL} x509 -req -in ${tmp}/server.csr -CA ${tmp}/ca.pem -CAkey ${tmp}/ca-key.pem
    -set_serial 0x1${server_serial} -days 825 -sha256 -extfile ${tmp}/server.ext -out ${tmp}/server.pem)

run(${OPENSSL} req -x509 -newkey rsa:2048 -nodes -sha256 -days 825 -set_serial 0x1${wrong_serial}
    -keyout ${tmp}/wrong-key.pem -out ${tmp}/wrong.pem -subj "/O=TarvoSprout Tests/CN=localhost"
    -addext "basicConstraints=critical,CA:FALSE"
    -addext "keyUsage=critical,digitalSignature,keyEncipherment"
    -addext "extendedKeyUsage=serverAuth"
    -addext "subjectAltName=DNS:localhost")

file(REMOVE ${tmp}/server.csr ${tmp}/server.ext)
file(REMOVE_RECURSE "${DIR}")
file(RENAME "${tmp}" "${DIR}")
