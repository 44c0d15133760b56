#!/bin/sh
# scripts/sign end to end with a certificate made here and thrown away (no key is committed):
# every signed file verifies against that certificate and no other; the programs carry the
# signed driver byte for byte, and the console program reports it signed; the signed image
# passes the image checks with a right checksum; a signed image given as the build's input is
# embedded as it is, and one that is not this build's image, or is not signed, is refused; the
# release archive holds the signed files; and the attestation package's INF installs the
# service under Wine's SetupAPI and removes it again.
# usage: signing_test.sh win64|win32 BUILD/wine-run OBJDUMP i386|amd64 ENTRY OUTDIR DLL!ROUTINE...
set -u
flavour=$1 run=$2 objdump=$3 arch=$4 entry=$5 out=$6
shift 6
imports=$*
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$source_dir/build/$flavour
failed=0
ok() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; failed=1; }
rm -rf "$out"
mkdir -p "$out"
cd "$source_dir"
flag=""
[ "$flavour" = win32 ] && flag=--win32

# The throw-away certificates: one to sign with, one that signed nothing.
for name in signer stranger; do
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$out/$name.key" -out "$out/$name.pem" -days 1 \
    -subj "/CN=Pinscope test $name" -addext extendedKeyUsage=codeSigning 2>/dev/null
done
openssl rand -hex 16 > "$out/password"
openssl pkcs12 -export -inkey "$out/signer.key" -in "$out/signer.pem" -out "$out/signer.pfx" \
  -passout "file:$out/password"
rm -f "$out/signer.key"
sign() { scripts/sign $flag --pfx "$out/signer.pfx" --password-file "$out/password" --ca "$out/signer.pem" "$@"; }

if sign --out "$out/release" >"$out/sign.log" 2>&1; then ok "signed a release"; else
  fail "scripts/sign"; sed 's/^/  | /' "$out/sign.log"; exit 1
fi
release=$out/release
for file in vlio.sys pinscope.exe pinscope-cli.exe; do
  osslsigncode verify -CAfile "$out/signer.pem" -in "$release/$file" >/dev/null 2>&1 &&
    ok "$file verifies against the signer" || fail "$file does not verify against the signer"
  osslsigncode verify -CAfile "$out/stranger.pem" -in "$release/$file" >/dev/null 2>&1 &&
    fail "$file verifies against a certificate that signed nothing" || ok "$file does not verify against another"
done

# The signed driver inside each program, found by the start of its certificate table and
# compared whole.
carries() {  # carries PROGRAM IMAGE
  pe=$(od -An -tu4 -j60 -N4 "$2" | tr -d ' ')
  case $arch in amd64) directory=$((pe + 24 + 144)) ;; *) directory=$((pe + 24 + 128)) ;; esac
  table=$(od -An -tu4 -j"$directory" -N4 "$2" | tr -d ' ')
  pattern=$(dd if="$2" bs=1 skip="$table" count=48 2>/dev/null | od -An -v -tx1 | tr -s ' \n' ' ' |
    sed 's/^ //; s/ $//; s/ /\\x/g; s/^/\\x/')
  at=$(LC_ALL=C grep -obUaP "$pattern" "$1" | head -n 1 | cut -d: -f1)
  [ -n "$at" ] || return 1
  dd if="$1" bs=1 skip=$((at - table)) count="$(wc -c < "$2")" 2>/dev/null | cmp -s - "$2"
}
for program in pinscope.exe pinscope-cli.exe; do
  carries "$release/$program" "$release/vlio.sys" && ok "$program carries the signed driver" ||
    fail "$program does not carry the signed driver byte for byte"
done
check=$("$run" "$release/pinscope-cli.exe" check --json 2>/dev/null)
case $check in *'"signed": true'*) ok "the signed console program reports its driver signed" ;;
  *) fail "check of the signed program: $check" ;; esac

# The image checks on the signed image; its own size limit is the unsigned image's (image.vlio).
mkdir -p "$out/image"
cp "$release/vlio.sys" "$out/image/vlio.sys"
cp "$build/driver/vlio.map" "$out/image/vlio.map"
# shellcheck disable=SC2086
if result=$(driver/check-driver.sh "$objdump" "$out/image/vlio.sys" "$arch" "$entry" 0 $imports); then
  ok "the signed image passes the image checks"; else fail "signed image: $result"; fi
[ "$(wc -c < "$release/vlio.sys")" -gt "$(wc -c < "$build/driver/vlio.sys")" ] &&
  ok "the signature adds to the image ($(wc -c < "$build/driver/vlio.sys") to $(wc -c < "$release/vlio.sys") bytes)"

# The archive holds the signed files as they are.
mkdir -p "$out/unpacked"
(cd "$out/unpacked" && cmake -E tar xf "$release"/pinscope-*-signed.zip)
for program in pinscope.exe pinscope-cli.exe; do
  cmp -s "$out"/unpacked/*/"$program" "$release/$program" && ok "the archive holds the signed $program" ||
    fail "the archive's $program is not the signed one"
done

# A signed image as the build's input (as from attestation) is embedded as it is, into a
# folder of the user's that keeps what it held.
cp "$release/vlio.sys" "$out/input.sys"
mkdir -p "$out/given"
echo mine > "$out/given/notes.txt"
if sign --driver "$out/input.sys" --out "$out/given" >"$out/given.log" 2>&1 &&
  cmp -s "$out/given/vlio.sys" "$out/input.sys" && carries "$out/given/pinscope-cli.exe" "$out/input.sys" &&
  [ "$(cat "$out/given/notes.txt")" = mine ]; then
  ok "a signed image given is embedded as it is, and the folder's own file stays"
else
  fail "a signed image given"; sed 's/^/  | /' "$out/given.log"
fi
# One byte of its code changed, or no signature at all: refused, and nothing signed is made.
cp "$out/input.sys" "$out/tampered.sys"
printf '\314' | dd of="$out/tampered.sys" bs=1 seek=$((0x400 + 16)) conv=notrunc 2>/dev/null
for input in tampered:"is not this build's driver" unsigned:"carries no signature"; do
  name=${input%%:*} reason=${input#*:}
  [ "$name" = unsigned ] && cp "$build/driver/vlio.sys" "$out/unsigned.sys"
  if sign --driver "$out/$name.sys" --out "$out/$name" >"$out/$name.log" 2>&1; then
    fail "the $name image was taken"
  elif grep -q "$reason" "$out/$name.log" && [ ! -e "$out/$name/pinscope.exe" ]; then
    ok "the $name image is refused: $reason"
  else
    fail "the $name image: not refused for the reason"; sed 's/^/  | /' "$out/$name.log"
  fi
done

# The attestation package's INF, under Wine's SetupAPI: the service made as Pinscope makes it
# (a demand-start kernel driver), and taken away again with its image.
mkdir -p "$out/package"
cp driver/vlio.inf "$build/driver/vlio.sys" "$out/package/"
inf=$("$run" winepath -w "$out/package/vlio.inf" 2>/dev/null | tr -d '\r')
service='HKLM\System\CurrentControlSet\Services\vlio'
"$run" rundll32 setupapi.dll,InstallHinfSection DefaultInstall 128 "$inf" >/dev/null 2>&1
query=$("$run" reg query "$service" 2>/dev/null | tr -d '\r')
# printf, not echo: the shell's echo would take the backslashes of the key's names.
has() { printf '%s\n' "$query" | grep -Eq "$1"; }
if has 'Type +REG_DWORD +0x1$' && has 'Start +REG_DWORD +0x3$' && has 'ImagePath +REG_SZ +.*\\drivers\\vlio.sys$'; then
  ok "the INF installs vlio as a demand-start kernel service"
else
  fail "the INF's service:"; printf '%s\n' "$query" | sed 's/^/  | /'
fi
"$run" rundll32 setupapi.dll,InstallHinfSection DefaultUninstall 128 "$inf" >/dev/null 2>&1
if "$run" reg query "$service" >/dev/null 2>&1; then fail "the INF's uninstall left the service"; else
  ok "the INF's uninstall removes the service"; fi
drivers=$("$run" winepath -u 'C:\windows\system32\drivers' 2>/dev/null | tr -d '\r')
[ ! -e "$drivers/vlio.sys" ] && ok "and its image" || { fail "the INF's uninstall left vlio.sys"; rm -f "$drivers/vlio.sys"; }

# The package for the Dev Center: both architectures with the INF, in a signed CAB.
if [ "$flavour" = win64 ]; then
  if sign --cab --out "$out/attestation" >"$out/cab.log" 2>&1 &&
    [ "$(gcab -l "$out/attestation/vlio.cab" | cut -d' ' -f1 | tr '\n' ' ')" = \
      'amd64\vlio.inf amd64\vlio.sys x86\vlio.inf x86\vlio.sys ' ]; then
    ok "the attestation CAB holds each architecture's INF and image, and verifies"
  else
    fail "the attestation CAB"; sed 's/^/  | /' "$out/cab.log"; gcab -l "$out/attestation/vlio.cab" 2>&1 | sed 's/^/  | /'
  fi
fi
exit $failed
