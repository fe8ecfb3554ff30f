#!/usr/bin/env bash
# qel cfb / keydata / pack / unpack / cmbcopy, and compound files checked against
# independent readers: Python's olefile, gsf (libgsf) and 7z read what we write, and we
# read what gsf writes.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
py=/usr/bin/python3

fail() { echo "FAIL: $*"; exit 1; }

# --- Our files, read by the others.
"$QEL" cfb new a.cfb
printf 'hello' | "$QEL" cfb put a.cfb 设置/用户 -
head -c 300000 /dev/urandom > big.bin
head -c 4095 /dev/urandom > edge.bin
"$QEL" cfb put a.cfb data/big.bin big.bin
"$QEL" cfb put a.cfb data/edge.bin edge.bin
"$QEL" cfb put a.cfb data/deeper/empty /dev/null
"$QEL" keydata set a.cfb Setup User 张三

"$py" - a.cfb <<'PY'
import olefile, sys
o = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_INCORRECT)
got = sorted('/'.join(e) for e in o.listdir())
want = ['Setup/User', 'data/big.bin', 'data/deeper/empty', 'data/edge.bin', '设置/用户']
assert got == want, got
assert o.openstream('设置/用户').read() == b'hello'
assert o.openstream('data/big.bin').read() == open('big.bin', 'rb').read()
assert o.openstream('data/edge.bin').read() == open('edge.bin', 'rb').read()
assert o.openstream('Setup/User').read() == '张三'.encode('gbk') + b'\0'
assert o.parsing_issues == [], o.parsing_issues
PY

gsf list a.cfb > gsf.txt
grep -q 'data/big.bin' gsf.txt || fail "gsf list misses data/big.bin"
gsf cat a.cfb data/big.bin | cmp - big.bin || fail "gsf reads big.bin differently"
gsf cat a.cfb data/edge.bin | cmp - edge.bin || fail "gsf reads edge.bin differently"
[ "$(gsf cat a.cfb 设置/用户)" = hello ] || fail "gsf reads 设置/用户 differently"

7z x -y -oseven a.cfb > /dev/null || fail "7z cannot extract a.cfb"
cmp seven/data/big.bin big.bin || fail "7z extracts big.bin differently"
cmp seven/data/edge.bin edge.bin || fail "7z extracts edge.bin differently"
[ "$(cat seven/设置/用户)" = hello ] || fail "7z extracts 设置/用户 differently"

# --- Their files, read by us.
mkdir -p src/sub
printf 'one' > src/a.txt
head -c 9000 /dev/urandom > src/sub/b.bin
gsf createole g.ole src/a.txt src/sub > /dev/null
"$QEL" cfb cat g.ole sub/b.bin | cmp - src/sub/b.bin || fail "we read gsf's b.bin differently"
[ "$("$QEL" cfb cat g.ole a.txt)" = one ] || fail "we read gsf's a.txt differently"
"$QEL" --json cfb ls g.ole | grep -q '"path":"sub/b.bin","size":9000' || fail "ls of gsf's file"

# --- qel cfb: listing, errors and exit codes.
"$QEL" cfb ls a.cfb | grep -q '用户  5\|用户  6\|用户' || fail "ls shows the tree"
set +e
"$QEL" cfb cat a.cfb data/none > /dev/null 2>&1; [ $? -eq 1 ] || fail "missing stream exits 1"
"$QEL" cfb ls missing.cfb > /dev/null 2>&1; [ $? -eq 3 ] || fail "missing file exits 3"
"$QEL" cfb ls big.bin > /dev/null 2>err.txt; [ $? -eq 3 ] || fail "not a compound file exits 3"
grep -q 'is not a compound file' err.txt || fail "names the fault"
"$QEL" keydata get a.cfb Setup Nobody > /dev/null 2>&1; [ $? -eq 1 ] || fail "no value exits 1"
"$QEL" keydata set none.cfb S K v > /dev/null 2>&1; [ $? -eq 3 ] || fail "keydata never creates"
set -e
[ ! -e none.cfb ] || fail "keydata created a file"
"$QEL" cfb rm a.cfb data
"$QEL" --json cfb ls a.cfb | grep -q big.bin && fail "rm left data/"
"$QEL" keydata rm a.cfb Setup User
set +e; "$QEL" keydata get a.cfb Setup User > /dev/null 2>&1; [ $? -eq 1 ] || fail "rm removes"; set -e

# --- Packages.
mkdir in out
for f in /usr/share/games/fortunes/*.u8; do cp "$f" in/; done 2>/dev/null || true
printf 'tiny' > in/tiny.txt
head -c 5000 /dev/urandom > in/photo.JPG
"$QEL" pack p.cfb poems in/* > pack.txt
grep -q 'photo.JPG  5000 bytes, raw' pack.txt || fail "media stored raw"
grep -q 'tiny.txt  4 bytes, raw' pack.txt || fail "tiny file stored raw"
"$QEL" unpack p.cfb poems out > /dev/null
diff -r in out || fail "unpack differs"
"$QEL" cmbcopy p.cfb poems poems.bin
"$py" -c "
import olefile
assert olefile.OleFileIO('p.cfb').openstream('poems').read() == open('poems.bin','rb').read()
"
set +e
"$QEL" pack p.cfb poems in/tiny.txt in/missing.txt > /dev/null 2>&1; [ $? -eq 3 ] || fail "missing input"
"$QEL" unpack p.cfb nothing out > /dev/null 2>&1; [ $? -eq 1 ] || fail "missing package exits 1"
"$QEL" cmbcopy p.cfb nothing x.bin > /dev/null 2>&1; [ $? -eq 3 ] || fail "missing stream"
set -e
echo "storage: ok"
