#!/usr/bin/env bash
# Makes the TEST-ONLY TLS material used by the loopback HTTPS test server:
#   ca.key/ca.pem               "Quillet Test CA" (the only CA the tests add to their trust store)
#   server.key/server.pem       leaf for 127.0.0.1 / localhost, signed by that CA
#   untrusted.key/untrusted.pem self-signed leaf with the same names, signed by nobody we trust
#   expired.key/expired.pem     leaf for the same names, signed by that CA, valid only in 2000
#   wronghost.key/wronghost.pem leaf signed by that CA for another host name only
# The keys are published in the repository; never trust ca.pem outside the tests.
# The output is checked in so test runs don't depend on openssl; rerun only to replace it.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")"

days=36500
# Backdated so a machine whose clock runs behind the one that made the files
# still sees them as valid; the end stays $days days after generation.
startdate=20000101000000Z
subject_org="/O=Quillet Tests"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# `openssl ca` is the only 3.0 command that can set notBefore, so it signs everything.
mkdir "$work/issued"
: >"$work/index.txt"
echo 01 >"$work/serial" # required by the config even though -rand_serial ignores it
cat >"$work/openssl.cnf" <<CNF
[ca]
default_ca = test_ca

[test_ca]
database = $work/index.txt
new_certs_dir = $work/issued
serial = $work/serial
default_md = sha256
policy = any_name
unique_subject = no
preserve = yes
email_in_dn = no

[any_name]
organizationName = optional
commonName = supplied

[ca_cert]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash

[server_cert]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1,DNS:localhost
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid

[wronghost_cert]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:elsewhere.quillet.invalid
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid

[untrusted_cert]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1,DNS:localhost
subjectKeyIdentifier = hash
CNF

# EC P-256 keeps the keys small and the handshakes cheap for tests that make many.
new_key() {
    openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1"
}

new_request() { # key, subject, out
    openssl req -new -sha256 -key "$1" -subj "$2" -out "$3"
}

sign() { # extensions section, request, out, then signer options (may override the dates)
    local section=$1 request=$2 out=$3
    shift 3
    openssl ca -batch -notext -config "$work/openssl.cnf" -rand_serial \
        -startdate "$startdate" -days "$days" -extensions "$section" \
        -in "$request" -out "$out" "$@" 2>"$work/ca.log" || { cat "$work/ca.log" >&2; exit 1; }
}

# Signed by the test CA: only the named flaw should make a client refuse it.
ca_signed_leaf() { # name, extensions section, extra signer options
    local name=$1 section=$2
    shift 2
    new_key "$name.key"
    new_request "$name.key" "$subject_org/CN=localhost" "$work/$name.csr"
    sign "$section" "$work/$name.csr" "$name.pem" -cert ca.pem -keyfile ca.key "$@"
}

new_key ca.key
new_request ca.key "$subject_org/CN=Quillet Test CA" "$work/ca.csr"
sign ca_cert "$work/ca.csr" ca.pem -selfsign -keyfile ca.key

ca_signed_leaf server server_cert
ca_signed_leaf expired server_cert -enddate 20010101000000Z
ca_signed_leaf wronghost wronghost_cert

# Same names and usage as the trusted leaf, so the only reason to reject it is who signed it.
new_key untrusted.key
new_request untrusted.key "$subject_org/CN=localhost" "$work/untrusted.csr"
sign untrusted_cert "$work/untrusted.csr" untrusted.pem -selfsign -keyfile untrusted.key

# Fail here rather than in a test if the chain came out wrong.
openssl verify -CAfile ca.pem -purpose sslserver -verify_ip 127.0.0.1 server.pem >/dev/null
for refused in untrusted expired; do
    if openssl verify -CAfile ca.pem "$refused.pem" >/dev/null 2>&1; then
        echo "$refused.pem unexpectedly verifies against ca.pem" >&2
        exit 1
    fi
done
if openssl verify -CAfile ca.pem -verify_ip 127.0.0.1 wronghost.pem >/dev/null 2>&1; then
    echo "wronghost.pem unexpectedly verifies for 127.0.0.1" >&2
    exit 1
fi

chmod 644 ./*.key ./*.pem
echo "Wrote test certificates to $(pwd)"
