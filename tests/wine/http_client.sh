#!/bin/bash
# The HTTP client of the Windows build (Winsock, Schannel, SSPI) under Wine
# against servers on loopback that this test starts: nginx over HTTP and
# HTTPS, a stalled body and an unanswered connection for the time-outs,
# squid as a tunnel that demands Digest authentication, and the NTLM
# handshake.
#
# The HTTPS server's certificate is self-signed, made here with openssl,
# and nothing trusts it: a verifying client refuses the server by name and
# address, with the reason (Schannel's handshake passes it under Wine; the
# system's SSL policy check after it does not), and the rest of the
# fetches take any certificate, as a pinned download does
# (HTTPGET_NO_VERIFY).
. "$(dirname "$0")/harness.sh"
wh_init
command -v nginx >/dev/null 2>&1 || wh_skip "nginx is not installed (scripts/install-deps.sh installs it)"
[[ -x $WH_BIN/httpget.exe ]] || wh_fail "no $WH_BIN/httpget.exe"

# Starts a native server in the background and ends it by its id at exit.
start_server() {  # log command...
  local log=$1
  shift
  "$@" >"$log" 2>&1 &
  wh_on_exit kill "$!"
}

srv="$WH_WORK/srv"
mkdir -p "$srv/www" "$srv/t"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
  -keyout "$srv/key.pem" -out "$srv/cert.pem" >/dev/null 2>&1 || wh_fail "openssl could not make a certificate"
head -c 1234567 /dev/urandom >"$srv/www/large.bin"
http_port=$(wh_free_port)
https_port=$(wh_free_port)
cat >"$srv/nginx.conf" <<CONF
load_module /usr/lib/nginx/modules/ngx_http_echo_module.so;
daemon off; master_process off; pid $srv/nginx.pid; error_log $srv/error.log;
events {}
http {
  access_log $srv/access.log;
  client_body_temp_path $srv/t; proxy_temp_path $srv/t; fastcgi_temp_path $srv/t; uwsgi_temp_path $srv/t; scgi_temp_path $srv/t;
  server { listen 127.0.0.1:$http_port; root $srv/www;
           location = /moved { return 302 https://127.0.0.1:$https_port/large.bin; }
           location = /stall { echo -n "begun,"; echo_flush; echo_sleep 5; echo -n "ended"; } }
  server { listen 127.0.0.1:$https_port ssl; root $srv/www;
           ssl_certificate $srv/cert.pem; ssl_certificate_key $srv/key.pem; }
}
CONF
start_server "$srv/nginx.out" nginx -c "$srv/nginx.conf" -p "$srv"
wh_wait_port "$http_port" && wh_wait_port "$https_port" || wh_fail "nginx did not start: $(cat "$srv/error.log")"

# fetch NAME URL [PROXY ARGS...]: the tool's line, and its body in $srv/NAME;
# any certificate is taken. verified_fetch: the server must prove itself.
fetch() {
  local name=$1
  shift
  HTTPGET_NO_VERIFY=1 wh_tool httpget "$1" "$srv/$name" "${@:2}" || true
}
verified_fetch() {
  local name=$1
  shift
  wh_tool httpget "$1" "$srv/$name" "${@:2}" || true
}
expect_body() {  # name line
  [[ $2 == "ok=1|status=200|bytes=1234567|announced=1234567|error=" ]] || wh_fail "$1: $2"
  cmp -s "$srv/$1" "$srv/www/large.bin" || wh_fail "$1: the body differs from the served file"
}

for host in localhost 127.0.0.1; do
  line=$(verified_fetch untrusted "https://$host:$https_port/large.bin")
  [[ $line == "ok=0|status=0|bytes=0|announced=-1|error=The certificate of $host is not trusted: "* ]] ||
    wh_fail "a self-signed server verified by $host gave: $line"
done
line=$(verified_fetch plain "http://127.0.0.1:$http_port/large.bin")
expect_body plain "$line"
line=$(fetch tls "https://127.0.0.1:$https_port/large.bin")
expect_body tls "$line"
line=$(fetch moved "http://127.0.0.1:$http_port/moved")
expect_body moved "$line"
line=$(fetch missing "https://127.0.0.1:$https_port/missing")
[[ $line == "ok=0|status=404|"* ]] || wh_fail "a 404 gave: $line"
line=$(fetch refused "http://127.0.0.1:$(wh_free_port)/")
[[ $line == "ok=0|status=0|"* ]] || wh_fail "a refused connection gave: $line"
# A server that stops sending for 5 s: the read time-out ends the transfer
# after the first 6 bytes (had it waited, all 11 would have come). No
# wall-clock bound: a busy machine starts Wine slowly.
line=$(HTTPGET_READ_TIMEOUT=1000 fetch stall "http://127.0.0.1:$http_port/stall")
[[ $line == "ok=0|status=200|bytes=6|announced=0|error=No data from the server for 1000 ms" ]] ||
  wh_fail "a stalled transfer gave: $line"
# A connection nobody answers ends at the connect time-out.
line=$(wh_tool httpget --unanswered 1500 || true)
[[ $line =~ ^ok=0\|ms=([0-9]+)\|error=Connection\ to\ 127\.0\.0\.1:[0-9]+\ timed\ out\ after\ 1500\ ms$ ]] ||
  wh_fail "an unanswered connection gave: $line"
(( BASH_REMATCH[1] >= 1400 && BASH_REMATCH[1] < 5000 )) || wh_fail "the connect time-out took ${BASH_REMATCH[1]} ms"
echo "nginx over HTTP and HTTPS: ok"

if ! command -v squid >/dev/null 2>&1; then
  echo "squid is not installed: the proxy part is left out"
  exit 0
fi
wh_start_squid "$srv"
squid_port=$WH_SQUID_PORT

line=$(fetch proxied "https://127.0.0.1:$https_port/large.bin" 127.0.0.1 "$squid_port" alice secret)
expect_body proxied "$line"
line=$(fetch refused-auth "http://127.0.0.1:$http_port/large.bin" 127.0.0.1 "$squid_port" alice wrong)
[[ $line == "ok=0|status=407|"* ]] || wh_fail "a wrong proxy password gave: $line"
sleep 0.5
grep -q "TCP_TUNNEL/200 .* CONNECT 127.0.0.1:$https_port alice" "$srv/squid-access.log" ||
  wh_fail "squid did not log alice's tunnel: $(cat "$srv/squid-access.log")"
echo "squid with Digest: ok"

# NTLM through Wine's provider, which hands the work to winbind's
# ntlm_auth. squid's fake NTLM helper cannot serve here: its challenge
# carries a garbage target-name offset, which ntlm_auth rightly refuses. So
# a second nginx plays the proxy's part of the handshake, statelessly: no
# credentials give "NTLM", a negotiate message (type 1) gives a fixed
# well-formed challenge (type 2, domain WG, server PX), an authenticate
# message (type 3) gives 200. That proves the exchange on one connection
# and what the client puts into the authenticate message (user, domain),
# not a password check, which needs a domain controller. Without ntlm_auth
# Wine has no NTLM package and the client must say that it cannot answer.
challenge=$(printf 'NTLMSSP\0\x02\0\0\0\x04\0\x04\0\x38\0\0\0\x05\x82\x89\x62\x01\x23\x45\x67\x89\xab\xcd\xef\0\0\0\0\0\0\0\0\x14\0\x14\0\x3c\0\0\0\x06\x01\0\0\0\0\0\x0fW\0G\0\x02\0\x04\0W\0G\0\x01\0\x04\0P\0X\0\0\0\0\0' | base64 -w0)
ntlm_port=$(wh_free_port)
mkdir -p "$srv/n2"
cat >"$srv/ntlm.conf" <<CONF
daemon off; master_process off; pid $srv/n2/nginx.pid; error_log $srv/n2/error.log;
events {}
http {
  log_format auth '\$status|\$http_proxy_authorization';
  access_log $srv/n2/access.log auth;
  client_body_temp_path $srv/t; proxy_temp_path $srv/t; fastcgi_temp_path $srv/t; uwsgi_temp_path $srv/t; scgi_temp_path $srv/t;
  server { listen 127.0.0.1:$ntlm_port;
    location / {
      if (\$http_proxy_authorization ~ "^NTLM TlRMTVNTUAAD") { return 200 "through NTLM"; }
      if (\$http_proxy_authorization ~ "^NTLM TlRMTVNTUAAB") { add_header Proxy-Authenticate "NTLM $challenge" always; return 407; }
      add_header Proxy-Authenticate "NTLM" always;
      return 407;
    }
  }
}
CONF
start_server "$srv/n2/nginx.out" nginx -c "$srv/ntlm.conf" -p "$srv/n2"
wh_wait_port "$ntlm_port" || wh_fail "the NTLM nginx did not start: $(cat "$srv/n2/error.log")"
line=$(fetch ntlm "http://download.test/setup.exe" 127.0.0.1 "$ntlm_port" 'WORKGROUP\bob' pw)
if command -v ntlm_auth >/dev/null 2>&1; then
  [[ $line == "ok=1|status=200|bytes=12|"* ]] || wh_fail "NTLM: $line"
  [[ $(cat "$srv/ntlm") == "through NTLM" ]] || wh_fail "NTLM: wrong body"
  # The port probe of wh_wait_port shows as a 400 first; the rest is ours.
  log=$(grep -v '^400|' "$srv/n2/access.log")
  [[ $(cut -d'|' -f1 <<<"$log" | tr '\n' ' ') == "407 407 200 " ]] || wh_fail "NTLM: the exchange was: $log"
  [[ $(sed -n 1p <<<"$log") == "407|-" ]] || wh_fail "NTLM: the first request carried credentials: $log"
  type3=$(sed -n '3s/^200|NTLM //p' <<<"$log" | base64 -d | od -An -c | tr -d ' \n')
  [[ $type3 == *'b\0o\0b\0'* && $type3 == *'W\0O\0R\0K\0G\0R\0O\0U\0P\0'* ]] ||
    wh_fail "NTLM: the authenticate message lacks the user or domain: $type3"
  echo "NTLM handshake through Wine's provider: ok"
else
  [[ $line == "ok=0|status=407|"*"|error=The proxy offers no authentication scheme"* ]] ||
    wh_fail "without an NTLM provider the client gave: $line"
  echo "NTLM: no NTLM provider under this Wine (winbind's ntlm_auth is missing); the refusal is right"
fi
