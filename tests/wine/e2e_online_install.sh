#!/bin/bash
# Online installation under Wine against a local nginx: an online setup
# named Setup_42.exe downloads its full setup over HTTPS from a server with
# a self-signed certificate, which its pin makes irrelevant, and installs it
# in /Silent, leaving no download behind and calling the completion address
# with rcode=42, which trickles its answer for two minutes and is given up
# after 10 s; the same setup without a pin refuses that server; an HTML
# page served with 200 is "安装包错误。"; a 404 shows
# the download failure dialog, whose Retry returns to the start page with
# the proxy link and whose "退出安装" ends setup with exit code 5; the proxy
# dialog keeps its settings and refuses a proxy without an address.
. "$(dirname "$0")/harness.sh"
. "$(dirname "$0")/product.sh"
wh_init
command -v nginx >/dev/null 2>&1 || wh_skip "nginx is not installed (scripts/install-deps.sh installs it)"


srv="$WH_WORK/srv"
mkdir -p "$srv/www" "$srv/t"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost \
  -keyout "$srv/key.pem" -out "$srv/cert.pem" >/dev/null 2>&1 || wh_fail "openssl could not make a certificate"
http_port=$(wh_free_port)
https_port=$(wh_free_port)
# One byte every two seconds for two minutes.
trickle=$(for _ in $(seq 60); do printf 'echo -n "."; echo_flush; echo_sleep 2; '; done)
cat >"$srv/nginx.conf" <<CONF
load_module /usr/lib/nginx/modules/ngx_http_echo_module.so;
daemon off; master_process off; pid $srv/nginx.pid; error_log $srv/error.log;
events {}
http {
  access_log $srv/access.log;
  client_body_temp_path $srv/t; proxy_temp_path $srv/t; fastcgi_temp_path $srv/t; uwsgi_temp_path $srv/t; scgi_temp_path $srv/t;
  server { listen 127.0.0.1:$http_port; root $srv/www; location = /done { return 204; }
           location = /trickle { $trickle } }
  server { listen 127.0.0.1:$https_port ssl; root $srv/www;
           ssl_certificate $srv/cert.pem; ssl_certificate_key $srv/key.pem; }
}
CONF
nginx -c "$srv/nginx.conf" -p "$srv" >"$srv/nginx.out" 2>&1 &
wh_on_exit kill "$!"
wh_wait_port "$http_port" && wh_wait_port "$https_port" || wh_fail "nginx did not start: $(cat "$srv/error.log")"

guid='{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E09}'
base="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
wh_on_exit wh_reg_delete "$base\\$guid"
wh_on_exit wh_reg_delete 'HKLM\Software\Probe Works'
wh_on_exit wh_reg_delete 'HKCU\Software\Probe Works'

# online NAME URL [BUILD OPTIONS...]: an online setup of the Chinese-only
# test product that downloads URL, and the full setup it stands for in
# $srv/www/full.exe.
online() {
  rm -rf "$WH_WORK/p"
  P_GUID=$guid P_TITLES="探针产品||" P_NO_RUNS=1 PROBE_EXE=$WH_BIN/probe.exe make_product "$WH_WORK/p"
  sed -i -e "s|FullDownloadUrl=\"[^\"]*\"|FullDownloadUrl=\"$2\"|" \
    -e "s|GotoUrl=\"\"|GotoUrl=\"http://127.0.0.1:$http_port/done\"|" "$WH_WORK/p/product.xml"
  local out rc=0
  out=$(wh_setupkit build "$WH_WORK/p/product.xml" --stub "$WH_BIN/Setup.exe" -o "$srv/www/full.exe" \
    --online "$WH_WORK/$1" "${@:3}" 2>&1) || rc=$?
  [[ $rc == 0 && -f $WH_WORK/$1 ]] || wh_fail "setupkit build --online failed (exit $rc): $out"
}
# Downloaded setups in the temporary folder that were not there before.
downloads() { find "$WINEPREFIX/drive_c/users" -iname '{*}.exe' 2>/dev/null | sort | comm -13 "$WH_WORK/before" -; }
find "$WINEPREFIX/drive_c/users" -iname '{*}.exe' 2>/dev/null | sort >"$WH_WORK/before"

# /Silent from HTTPS: installed, nothing left in the temporary folder, the
# completion address called with the installer's code and given up long
# before its answer would end (no timing: a bound with a wide margin).
app="$WH_WORK/Online Folder"
online Setup_42.exe "https://127.0.0.1:$https_port/full.exe"
sed -i "s|GotoUrl=\"[^\"]*\"|GotoUrl=\"http://127.0.0.1:$http_port/trickle\"|" "$WH_WORK/p/product.xml"
wh_setupkit build "$WH_WORK/p/product.xml" --stub "$WH_BIN/Setup.exe" -o "$srv/www/full.exe" \
  --online "$WH_WORK/Setup_42.exe" >/dev/null 2>&1 || wh_fail "setupkit build --online failed"
wh_reg_add "$base\\$guid" InstallLocation REG_SZ "$(wh_winpath "$app")\\"
# The TLS layer's system libraries planted beside the setup: the override
# makes Wine prefer a DLL file found by the search over its own copy.
for name in secur32 crypt32; do cp "$WH_BIN/planted.dll" "$WH_WORK/$name.dll"; done
rc=0
start=$SECONDS
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;secur32,crypt32=n,b" \
  wh_wine "$WH_WORK/Setup_42.exe" /Silent "/Log=$(wh_winpath "$WH_WORK/online.log")" >"$WH_WORK/out.txt" \
  2>"$WH_WORK/err.txt" || rc=$?
took=$((SECONDS - start))
for name in secur32 crypt32; do
  [[ ! -e $WH_WORK/$name.dll.loaded ]] || wh_fail "the online setup loaded the $name.dll planted beside it"
done
wh_assert_eq 0 "$rc" "exit code of the online /Silent installation ($(cat "$WH_WORK/err.txt"))"
(( took < 90 )) || wh_fail "the installation waited for the trickling completion call ($took s)"
cmp -s "$WH_WORK/p/files/data/sub/nested.dat" "$app/data/sub/nested.dat" || wh_fail "the product was not installed"
[[ -z $(downloads) ]] || wh_fail "the downloaded setup stayed behind: $(downloads)"
# The log names the download, its size and its digest, checked against the pin.
size=$(stat -c %s "$srv/www/full.exe")
tr -d '\r' <"$WH_WORK/online.log" | grep -q "  Download: https://127.0.0.1:$https_port/full.exe$" ||
  wh_fail "the log does not name the download: $(cat "$WH_WORK/online.log")"
tr -d '\r' <"$WH_WORK/online.log" | grep -q "  Downloaded $size bytes, SHA-256 [0-9a-f]\{64\}: the pinned digest$" ||
  wh_fail "the log does not give the download's size and digest: $(cat "$WH_WORK/online.log")"
# nginx logs the call when it notices the closed connection, at its next byte.
for _ in $(seq 50); do grep -q 'GET /trickle?rcode=42 ' "$srv/access.log" && break; sleep 0.2; done
grep -q 'GET /trickle?rcode=42 ' "$srv/access.log" || wh_fail "no completion call with rcode=42: $(cat "$srv/access.log")"

# The control: a program without the protection loads the planted copies.
cp "$WH_BIN/loadlib.exe" "$WH_WORK/loadlib.exe"
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;secur32,crypt32=n,b" \
  wh_wine "$WH_WORK/loadlib.exe" secur32 crypt32 >"$WH_WORK/control.txt" 2>&1 || true
for name in secur32 crypt32; do
  [[ -e $WH_WORK/$name.dll.loaded ]] || wh_fail "the control did not load the planted $name.dll: $(cat "$WH_WORK/control.txt")"
  rm -f "$WH_WORK/$name.dll" "$WH_WORK/$name.dll.loaded"
done

# The same setup without a pin: the server has to prove who it is, and a
# self-signed certificate does not; the reason goes to standard error.
online Setup.exe "https://localhost:$https_port/full.exe" --no-pin
rm -rf "$app"
rc=0
wh_wine "$WH_WORK/Setup.exe" /Silent >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
wh_assert_eq 4 "$rc" "exit code of an unpinned setup from a self-signed server"
grep -qF "https://localhost:$https_port/full.exe: The certificate of localhost is not trusted: its root is not one this system trusts" \
  "$WH_WORK/err.txt" || wh_fail "no certificate failure on standard error: $(cat "$WH_WORK/err.txt")"
[[ ! -e $app/app.exe ]] || wh_fail "something was installed from an untrusted server"
[[ -z $(downloads) ]] || wh_fail "the refused download stayed behind: $(downloads)"

# /Auto over plain HTTP, with a completion address that never answers
# the connection: the progress window only, the call given up after about
# 5 s without a word, exit 0.
listener=$(wh_run_bg "$WH_BIN/httpget.exe" --hold-unanswered 60)
wh_wait_for_line "$(wh_bg_log "$listener")" port= || wh_fail "no unanswered listener"
silent_port=$(sed -n 's/^port=\([0-9]*\).*/\1/p' "$(wh_bg_log "$listener")")
online Setup.exe "http://127.0.0.1:$http_port/full.exe"
sed -i "s|GotoUrl=\"[^\"]*\"|GotoUrl=\"http://127.0.0.1:$silent_port/done\"|" "$WH_WORK/p/product.xml"
wh_setupkit build "$WH_WORK/p/product.xml" --stub "$WH_BIN/Setup.exe" -o "$srv/www/full.exe" \
  --online "$WH_WORK/Setup.exe" >/dev/null 2>&1 || wh_fail "setupkit build --online failed"
rm -rf "$app"
start=$SECONDS
setup=$(wh_run_bg "$WH_WORK/Setup.exe" /Auto)
rc=0; wh_bg_wait "$setup" 120 || rc=$?
wh_assert_eq 0 "$rc" "exit code of the online /Auto installation"
(( SECONDS - start >= 5 )) || wh_fail "the completion call did not wait for its connection ($((SECONDS - start)) s in all)"
cmp -s "$WH_WORK/p/files/data/sub/nested.dat" "$app/data/sub/nested.dat" || wh_fail "/Auto installed nothing"
[[ -z $(downloads) ]] || wh_fail "the downloaded setup stayed behind after /Auto: $(downloads)"

# The full setup with one byte changed is refused by the pin; the same
# setup signed after the build is accepted (signing leaves the digest).
online Setup.exe "http://127.0.0.1:$http_port/full.exe"
cp "$srv/www/full.exe" "$srv/full-built.exe"
size=$(stat -c %s "$srv/full-built.exe")
offset=$((size * 3 / 4))
byte=$(od -An -tu1 -j "$offset" -N 1 "$srv/full-built.exe" | tr -d ' ')
printf "\\$(printf %o $(((byte + 1) % 256)))" | dd of="$srv/www/full.exe" bs=1 seek="$offset" conv=notrunc status=none
rm -rf "$app"
rc=0
{ LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 wh_wine "$WH_WORK/Setup.exe" /Silent >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt"; } 2>/dev/null || rc=$?
wh_assert_eq 4 "$rc" "exit code after a changed full setup"
iconv -f GBK -t UTF-8 "$WH_WORK/err.txt" | grep -qF "下载的安装包校验失败。" ||
  wh_fail "no verification failure on standard error: $(iconv -f GBK -t UTF-8 "$WH_WORK/err.txt")"
[[ ! -e $app/app.exe ]] || wh_fail "something was installed from a changed full setup"
[[ -z $(downloads) ]] || wh_fail "the changed setup stayed behind: $(downloads)"
if command -v osslsigncode >/dev/null 2>&1; then
  rm -f "$srv/www/full.exe"  # osslsigncode writes no file that exists
  osslsigncode sign -h sha256 -certs "$srv/cert.pem" -key "$srv/key.pem" -in "$srv/full-built.exe" -out "$srv/www/full.exe" \
    >/dev/null 2>&1 || wh_fail "osslsigncode could not sign the full setup"
  rc=0
  wh_wine "$WH_WORK/Setup.exe" /Silent >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt" || rc=$?
  wh_assert_eq 0 "$rc" "exit code with the signed full setup ($(cat "$WH_WORK/err.txt"))"
  cmp -s "$WH_WORK/p/files/data/sub/nested.dat" "$app/data/sub/nested.dat" || wh_fail "the signed setup installed nothing"
else
  echo "osslsigncode is not installed: the signed setup is not tried"
fi

# An HTML page instead of the setup: the package error, nothing installed.
echo '<html><body>Not here</body></html>' >"$srv/www/page.html"
online Setup.exe "http://127.0.0.1:$http_port/page.html"
rm -rf "$app"
# (standard error is in the system's code page: a Chinese system's, GBK)
rc=0
{ LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 wh_wine "$WH_WORK/Setup.exe" /Silent >"$WH_WORK/out.txt" 2>"$WH_WORK/err.txt"; } 2>/dev/null || rc=$?
wh_assert_eq 4 "$rc" "exit code after an HTML page"
iconv -f GBK -t UTF-8 "$WH_WORK/err.txt" | grep -qF "安装包错误。" ||
  wh_fail "no package error on standard error: $(iconv -f GBK -t UTF-8 "$WH_WORK/err.txt")"
[[ ! -e $app/app.exe ]] || wh_fail "something was installed from an HTML page"
[[ -z $(downloads) ]] || wh_fail "the HTML page stayed behind: $(downloads)"

# A 404, interactively: the failure dialog, Retry, the start page again.
title="探针产品 安装程序"
online Setup.exe "http://127.0.0.1:$http_port/missing.exe"
setup=$(wh_run_bg "$WH_WORK/Setup.exe")
wh_windriver wait "$title" >/dev/null || wh_fail "the online setup showed no window"
wh_windriver dump "$title" >"$WH_WORK/d.txt"
wh_expect_control "$WH_WORK/d.txt" lblProxy 1 "15,63,*,*" "代理服务器设置"

# The proxy dialog: no proxy at first, the fields disabled; a proxy without
# an address is refused; OK keeps what was typed.
wh_windriver click "$title" @lblProxy >/dev/null
proxy="代理服务器设置"
wh_windriver wait "$proxy" >/dev/null || wh_fail "the proxy link opened no dialog"
wh_windriver dump "$proxy" >"$WH_WORK/d.txt"
grep -qx 'client=430,304' <(tr -d '\r' <"$WH_WORK/d.txt") || wh_fail "the proxy dialog is not 430 x 304"
wh_expect_control "$WH_WORK/d.txt" rbNoProxy 1 40,40,114,16 "不使用代理服务器"
wh_expect_control "$WH_WORK/d.txt" rbUseProxy 1 40,72,162,16 "使用以下指定的代理服务器"
wh_expect_control "$WH_WORK/d.txt" edtProxyAddress 1 136,102,201,22
wh_expect_control "$WH_WORK/d.txt" edtProxyUser 1 136,160,201,22
wh_expect_control "$WH_WORK/d.txt" edtProxyPassword 1 136,190,201,22
[[ $(wh_control "$WH_WORK/d.txt" edtProxyPort) == Edit\|8080\|1\|0\|* ]] || wh_fail "port: $(wh_control "$WH_WORK/d.txt" edtProxyPort)"
[[ $(wh_control "$WH_WORK/d.txt" rbNoProxy) == *\|1 ]] || wh_fail "no proxy is not chosen at first"
wh_screenshot chs-proxy-dialog "$proxy" >/dev/null
wh_windriver click "$proxy" @rbUseProxy >/dev/null
wh_windriver click "$proxy" "确定" >/dev/null
wh_windriver --class '#32770' wait "$title" >/dev/null || wh_fail "no message for a proxy without an address"
wh_windriver --class '#32770' text "$title" | tr -d '\r' | grep -qxF "服务器地址不能为空，请重新输入。" ||
  wh_fail "wrong message for a proxy without an address"
wh_windriver --class '#32770' key "$title" Enter >/dev/null
wh_windriver --class '#32770' gone "$title" >/dev/null
wh_windriver key "$proxy" Esc >/dev/null
wh_windriver gone "$proxy" >/dev/null || wh_fail "Esc did not close the proxy dialog"

wh_windriver settext "$title" Edit "$(wh_winpath "$app")" >/dev/null
wh_windriver click "$title" "立即安装" >/dev/null
failure="探针产品 在线安装失败"
wh_windriver wait "$failure" >/dev/null || wh_fail "no download failure dialog for a 404"
wh_windriver dump "$failure" >"$WH_WORK/d.txt"
grep -qx 'client=534,261' <(tr -d '\r' <"$WH_WORK/d.txt") || wh_fail "the failure dialog is not 534 x 261"
grep -qF "|http://127.0.0.1:$http_port/missing.exe|" "$WH_WORK/d.txt" || wh_fail "the failure dialog does not show the address"
for b in "使用浏览器下载" "复制到剪贴板" "退出安装" "重试"; do grep -qF "|$b|1|1|" "$WH_WORK/d.txt" || wh_fail "no button $b"; done
wh_screenshot chs-download-failure "$failure" >/dev/null
wh_windriver click "$failure" "重试" >/dev/null
wh_windriver gone "$failure" >/dev/null
wh_windriver dump "$title" >"$WH_WORK/d.txt"
wh_expect_control "$WH_WORK/d.txt" btnInstall 1 275,280,200,50 "立即安装"
wh_expect_control "$WH_WORK/d.txt" lblProxy 1 "15,63,*,*"
wh_expect_control "$WH_WORK/d.txt" pbProgress 0 "*,*,*,*"
wh_windriver click "$title" "立即安装" >/dev/null
wh_windriver wait "$failure" >/dev/null || wh_fail "no failure dialog on the second attempt"
wh_windriver click "$failure" "退出安装" >/dev/null
rc=0; wh_bg_wait "$setup" 30 || rc=$?
wh_assert_eq 5 "$rc" "exit code after 退出安装"
[[ -z $(downloads) ]] || wh_fail "a failed download stayed behind: $(downloads)"

# Through squid with Digest authentication, set in the proxy dialog: the
# download goes through the proxy and the product installs.
command -v squid >/dev/null 2>&1 || { echo "squid is not installed: the proxy part is left out"; exit 0; }
wh_start_squid "$srv"
squid_port=$WH_SQUID_PORT

online Setup.exe "https://127.0.0.1:$https_port/full.exe"
rm -rf "$app"
setup=$(wh_run_bg "$WH_WORK/Setup.exe")
wh_windriver wait "$title" >/dev/null || wh_fail "the online setup showed no window"
wh_windriver click "$title" @lblProxy >/dev/null
wh_windriver wait "$proxy" >/dev/null || wh_fail "the proxy link opened no dialog"
wh_windriver click "$proxy" @rbUseProxy >/dev/null
wh_windriver dump "$proxy" >"$WH_WORK/d.txt"
[[ $(wh_control "$WH_WORK/d.txt" edtProxyAddress) == Edit\|*\|1\|1\|* ]] || wh_fail "the address is not editable with a proxy"
# Blanks around the address go; the port is the spin field's number.
wh_windriver settext "$proxy" @edtProxyAddress "  127.0.0.1  " >/dev/null
wh_windriver settext "$proxy" @edtProxyPort "$squid_port" >/dev/null
wh_windriver settext "$proxy" @edtProxyUser alice >/dev/null
wh_windriver settext "$proxy" @edtProxyPassword secret >/dev/null
wh_windriver click "$proxy" "确定" >/dev/null
wh_windriver gone "$proxy" >/dev/null || wh_fail "OK did not close the proxy dialog"
wh_windriver settext "$title" Edit "$(wh_winpath "$app")" >/dev/null
wh_windriver click "$title" "立即安装" >/dev/null
for _ in $(seq 150); do
  wh_windriver dump "$title" >"$WH_WORK/d.txt" 2>/dev/null
  [[ $(wh_control "$WH_WORK/d.txt" btnRunApp) == Button\|退出\|1\|* ]] && break
  wh_bg_running "$setup" || break
  sleep 0.2
done
wh_expect_control "$WH_WORK/d.txt" lblAppTitle 1 "*,*,*,*" "安装完成"
wh_windriver click "$title" "退出" >/dev/null
rc=0; wh_bg_wait "$setup" 30 || rc=$?
wh_assert_eq 0 "$rc" "exit code of the installation through squid"
cmp -s "$WH_WORK/p/files/data/sub/nested.dat" "$app/data/sub/nested.dat" || wh_fail "nothing was installed through squid"
sleep 0.5
grep -q "TCP_TUNNEL/200 .* CONNECT 127.0.0.1:$https_port alice" "$srv/squid-access.log" ||
  wh_fail "the download did not go through squid as alice: $(cat "$srv/squid-access.log")"
[[ -z $(downloads) ]] || wh_fail "the downloaded setup stayed behind: $(downloads)"
