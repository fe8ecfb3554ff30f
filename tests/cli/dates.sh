#!/usr/bin/env bash
# qel date / time / datetime / cy / format-date: UTF-8 in and out, --now, batches.
set -euo pipefail
now=(--now "2005-04-23 09:08:07")
check() {  # expected, then the command line
  local expected=$1
  shift
  local got
  got=$("$QEL" "$@")
  if [ "$got" != "$expected" ]; then
    echo "qel $*: expected '$expected', got '$got'"
    exit 1
  fi
}
check 2005.04.23 date 2005年4月23日
check 2005.04.23 date ２００５年４月２３日
check 2005.04.23 date currentday "${now[@]}"
check 09:08:07 time CurrentTime "${now[@]}"
check "2005.04.23 09:08:07" datetime CURRENTDAYTIME "${now[@]}"
check 10:30:20 time 10时30分20秒
check "" time 10
check "1999.02.30 23:00:00" datetime "99.2.30 24:00:00"
check -3.2500000000 cy -3.25
check 0.0 cy ""
check 2005.04.23 format-date "Date: 2005年4月23日" "yyyy年mm月dd日"
check "2005.04.23 10:30:20" format-date "2005-04-23 10:30:20" "yyyy-mm-dd hh:tt:ss"

# Standard input lines, one result per line; JSON keeps input and result.
[ "$(printf '2005-4-23\n05/4/3\r\n' | "$QEL" date)" = "$(printf '2005.04.23\n1905.04.03')" ]
printf '12.5\n' | "$QEL" --json cy | grep -qx '{"input":"12.5","result":"12.5000000000"}'

# Nothing found is exit 1; a bad --now is a usage error.
if "$QEL" format-date 2027-01-01 yyyy-mm-dd >/dev/null; then exit 1; fi
set +e
"$QEL" date CurrentDay --now "yesterday" 2>/dev/null; rc=$?
set -e
[ $rc -eq 2 ]
echo "dates: ok"
