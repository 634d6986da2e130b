# Sourced by the scripts: which edition this machine can run.
#   morvane_i386_ok   true when this machine can execute 32-bit x86 code
#                     (MORVANE_I386=0 says no on any machine)
# The answer comes from running a tiny 32-bit program, not from the
# kernel's name: some x86-64 kernels refuse every i386 process.
morvane_i386_ok() {
  [ "${MORVANE_I386:-}" = 0 ] && return 1
  if [ -z "${_morvane_i386:-}" ]; then
    local probe
    probe=$(mktemp "${TMPDIR:-/tmp}/morvane-i386.XXXXXX") || return 1
    # A 93-byte static i386 ELF program that ends with exit code 42:
    # ELF header, one loadable segment, then xor ebx,ebx; mov bl,42;
    # xor eax,eax; inc eax; int 0x80.
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'\
'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'\
'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x28\x00'\
'\x00\x00\x00\x00'\
'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'\
'\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'\
'\x31\xdb\xb3\x2a\x31\xc0\x40\xcd\x80' >"$probe"
    chmod +x "$probe"
    "$probe" </dev/null >/dev/null 2>&1
    [ $? = 42 ] && _morvane_i386=yes || _morvane_i386=no
    rm -f "$probe"
  fi
  [ "$_morvane_i386" = yes ]
}

# The 64-bit Wine loader. Debian's "wine" launcher always picks the 32-bit
# loader when wine32 is installed, so the 64-bit edition is started
# through this one directly.
MORVANE_WINE64=/usr/lib/wine/wine64

# The architecture of an existing Wine prefix as its registry records it:
# win32 or win64; nothing when there is no prefix there yet.
#   morvane_prefix_arch PREFIX
morvane_prefix_arch() {
  local reg=$1/system.reg
  [ -s "$reg" ] || return 0
  if grep -q '^#arch=win64' "$reg" || { ! grep -q '^#arch=' "$reg" && [ -d "$1/drive_c/windows/syswow64" ]; }; then
    echo win64
  else
    echo win32
  fi
}

# The windows name "ＭＳ Ｐゴシック" and "ＭＳ ゴシック", which Wine does not
# have; its stand-in is wider and cuts texts off. These map them to IPA
# P Gothic and IPA Gothic (fonts-ipafont-gothic), proportional and fixed
# pitch like the originals.
#   morvane_font_replacements LOADER   in the prefix of $WINEPREFIX
morvane_font_replacements() {
  local loader=$1 key='HKCU\Software\Wine\Fonts\Replacements'
  "$loader" reg add "$key" /v 'ＭＳ Ｐゴシック' /d 'IPAPGothic' /f </dev/null >/dev/null 2>&1 &&
    "$loader" reg add "$key" /v 'ＭＳ ゴシック' /d 'IPAGothic' /f </dev/null >/dev/null 2>&1
}
